// A vector diagram's render: the scene and its SVG text, for the starting
// position and the annotated middlegame at 400, and the middlegame with the
// players' bars, a glyph badge and the evaluation bar, from artwork and
// fonts loaded once.
#include <benchmark/benchmark.h>

#include "tib/vector/svg.h"

namespace tib {
namespace {

struct Loaded {
  Artwork artwork = loadArtwork(TIB_ARTWORK_DIR, {Side::white, Side::black});
  PieceVectors vectors = loadPieceVectors(TIB_ARTWORK_DIR).value();
  LabelGlyphs labels = labelGlyphs();
  Lettering lettering;
};

const Loaded& loaded() {
  static const Loaded once;
  return once;
}

Diagram middlegame() {
  Diagram diagram;
  diagram.settings.Size = 400;
  diagram.position = readPlacement(
      "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R b");
  diagram.annotations.lastMove = {{4, 0}, {6, 0}};
  diagram.annotations.arrows = {{chess::MarkColour::green, {3, 4}, {2, 3}}};
  return diagram;
}

void renderVector(benchmark::State& state, const Diagram& diagram,
                  const Decorations& decorations = {}) {
  const Loaded& art = loaded();
  const VectorArt vectors{&art.artwork, &art.vectors, &art.vectors,
                          &art.labels};
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string svg =
        renderSvg(vectors, diagram, decorations, &art.lettering);
    bytes = svg.size();
    benchmark::DoNotOptimize(svg.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_SvgStart(benchmark::State& state) {
  Diagram diagram;
  diagram.settings.Size = 400;
  renderVector(state, diagram);
}
BENCHMARK(BM_SvgStart);

void BM_SvgMiddlegame(benchmark::State& state) {
  renderVector(state, middlegame());
}
BENCHMARK(BM_SvgMiddlegame);

void BM_SvgMiddlegameWithBars(benchmark::State& state) {
  Decorations decorations;
  decorations.bars = PlayerBars{{"Magnus Carlsen", "GM", "2830", 17950},
                                {"Hikaru Nakamura", "GM", "2789", 16020},
                                chess::Side::white,
                                chess::Side::black};
  decorations.bars->white.material = "♟ +1";
  decorations.glyph = MoveGlyph::interesting;
  decorations.glyphSquare = {6, 0};
  decorations.evalBar = EvalBar{58.0F, "+0.3"};
  renderVector(state, middlegame(), decorations);
}
BENCHMARK(BM_SvgMiddlegameWithBars);

}  // namespace
}  // namespace tib

BENCHMARK_MAIN();
