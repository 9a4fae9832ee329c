// Times the text layer: player bars on a 400 x 400 diagram with the text
// cache warm (a game's names seen before) and cold (every string new), the
// fonts' loading, move-glyph badges, and a whole diagram with and without
// bars. Bars at 400 should cost at most 0.15 of a plain diagram.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "codec/png_encode.h"
#include "tib/board/artwork.h"
#include "tib/board/render.h"
#include "tib/decoration/move_glyphs.h"
#include "tib/decoration/player_bars.h"
#include "tib/text/text.h"

using namespace tib;  // NOLINT(google-build-using-namespace)
using tib::codec::encodePng;

namespace {

const std::string kMiddlegame =
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R b KQ - 3 8";

const TextRenderer& fonts() {
  static const TextRenderer renderer;
  return renderer;
}

const Artwork& bundledArtwork() {
  static const Artwork artwork =
      loadArtwork(TIB_ARTWORK_DIR, {Side::white, Side::black});
  return artwork;
}

ImageBuffer greyDiagram(int edge) {
  ImageBuffer diagram;
  diagram.width = static_cast<uint32_t>(edge);
  diagram.height = static_cast<uint32_t>(edge);
  diagram.pixels.assign(static_cast<std::size_t>(edge) * edge * 4, 0x80);
  return diagram;
}

// Names in the scripts of range(0): 0 Latin, 1 Arabic and Han.
PlayerBars gameBars(int64_t scripts, int serial) {
  const std::string tag = serial < 0 ? "" : " " + std::to_string(serial);
  PlayerBars bars;
  if (scripts == 0) {
    bars.white = {"Magnus Carlsen" + tag, "GM", "2830", 17950};
    bars.black = {"Hikaru Nakamura" + tag, "GM", "2794", 955};
  } else {
    bars.white = {"محمد عبد الله" + tag, "IM", "2450", 17950};
    bars.black = {"丁立人" + tag, "GM", "2780", 955};
  }
  if (serial >= 0) {
    bars.white.rating = std::to_string(1000 + serial % 2000);
    bars.white.clockCentiseconds = serial;
    bars.black.clockCentiseconds = 360000 - serial;
  }
  bars.toMove = chess::Side::black;
  return bars;
}

void barsCached(benchmark::State& state) {
  const ImageBuffer diagram = greyDiagram(400);
  const PlayerBars bars = gameBars(state.range(0), -1);
  addPlayerBars(diagram, bars, fonts());
  for (auto _ : state) {
    benchmark::DoNotOptimize(addPlayerBars(diagram, bars, fonts()));
  }
}
BENCHMARK(barsCached)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Every name, rating and clock new, as for the first diagram of a game.
void barsUncached(benchmark::State& state) {
  const ImageBuffer diagram = greyDiagram(400);
  int serial = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        addPlayerBars(diagram, gameBars(state.range(0), serial++), fonts()));
  }
}
BENCHMARK(barsUncached)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void loadFonts(benchmark::State& state) {
  for (auto _ : state) {
    const TextRenderer renderer;
    benchmark::DoNotOptimize(
        renderer.measure("Magnus Carlsen", 16, FontWeight::regular));
  }
}
BENCHMARK(loadFonts)->Unit(benchmark::kMillisecond);

void moveGlyphBadge(benchmark::State& state) {
  ImageBuffer canvas = bundledArtwork().boards[0];
  const MoveGlyphPainter painter(fonts());
  const PixelRect board{52, 52, 920, 920};
  for (auto _ : state) {
    painter.draw(canvas, MoveGlyph::blunder, PixelRect{512, 282, 115, 115},
                 board);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(moveGlyphBadge)->Unit(benchmark::kMicrosecond);

// A whole diagram at range(0) as PNG bytes: plain, then with bars (names
// cached), drawn, resampled and encoded the way renderPng does it.
void diagramPlain(benchmark::State& state) {
  const Diagram diagram{
      readPlacement(kMiddlegame),
      Settings{static_cast<int32_t>(state.range(0)), kDefaultScale},
      {}};
  for (auto _ : state) {
    benchmark::DoNotOptimize(renderPng(bundledArtwork(), diagram));
  }
}
BENCHMARK(diagramPlain)->Arg(400)->Unit(benchmark::kMillisecond);

void diagramWithBars(benchmark::State& state) {
  const auto edge = static_cast<uint32_t>(state.range(0));
  const Diagram diagram{readPlacement(kMiddlegame),
                        Settings{static_cast<int32_t>(edge), kDefaultScale},
                        {}};
  const PlayerBars bars = gameBars(0, -1);
  for (auto _ : state) {
    ImageBuffer plain;
    plain.pixels = resampleCanvas(drawDiagram(bundledArtwork(), diagram), edge);
    plain.width = edge;
    plain.height = edge;
    const ImageBuffer framed = addPlayerBars(plain, bars, fonts());
    std::vector<unsigned char> png;
    benchmark::DoNotOptimize(
        encodePng(png, framed.pixels, framed.width, framed.height));
  }
}
BENCHMARK(diagramWithBars)->Arg(400)->Unit(benchmark::kMillisecond);

// The encoding alone: of the plain diagram (range(0) 0), with bars (1) and
// with empty bars (2). The encoder's cost grows with the rows, so the bars'
// rows, not their drawing, are most of what bars add to a diagram.
void encodeDiagram(benchmark::State& state) {
  const Diagram diagram{
      readPlacement(kMiddlegame), Settings{400, kDefaultScale}, {}};
  ImageBuffer picture;
  picture.pixels = resampleCanvas(drawDiagram(bundledArtwork(), diagram), 400);
  picture.width = 400;
  picture.height = 400;
  if (state.range(0) == 1) {
    picture = addPlayerBars(picture, gameBars(0, -1), fonts());
  }
  if (state.range(0) == 2) {
    picture = addPlayerBars(picture, PlayerBars{}, fonts());
  }
  for (auto _ : state) {
    std::vector<unsigned char> png;
    benchmark::DoNotOptimize(
        encodePng(png, picture.pixels, picture.width, picture.height));
  }
}
BENCHMARK(encodeDiagram)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
