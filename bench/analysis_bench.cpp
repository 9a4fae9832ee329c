// The analysis beside the board: a 400 px ply PNG with the players' bars,
// material and the evaluation bar against a plain diagram, per pixel
// written (at most 1.10 x), and a 93-ply GIF at 720 with an evaluation on
// every ply against the same GIF without (at most 1.3 x).
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "chess/pgn.h"
#include "chess_games.h"
#include "tib/board/artwork.h"
#include "tib/decoration/decorated.h"
#include "tib/game/analysis.h"
#include "tib/game/decorated_game.h"
#include "tib/game/game_diagram.h"

namespace {

using namespace tib;  // NOLINT(google-build-using-namespace)

const Artwork& artwork() {
  static const Artwork loaded = [] {
    Artwork art = loadArtwork(TIB_ARTWORK_DIR, {Side::white, Side::black});
    ArtworkBudget budget;
    loadOtherBoards(TIB_ARTWORK_DIR, budget, art.boards);
    return art;
  }();
  return loaded;
}

const Lettering& lettering() {
  static const Lettering loaded;
  return loaded;
}

// A seeded random game of at least 93 plies, cut there, with players and an
// evaluation swinging about on every ply.
const chess::Game& evaluatedGame() {
  static const chess::Game game = [] {
    const std::string text = bench::randomGames(std::size_t{1} << 20);
    for (const chess::GameText& each : chess::splitGames(text)) {
      chess::Game read = chess::readGame(each);
      if (read.plies.size() >= 93) {
        read.plies.resize(93);
        read.tags = {{"White", "Paul Morphy"},
                     {"Black", "Duke Karl"},
                     {"WhiteElo", "2690"}};
        for (std::size_t ply = 0; ply < read.plies.size(); ++ply) {
          const auto cp = static_cast<int>(
              std::lround(300.0 * std::sin(static_cast<double>(ply) / 7.0)));
          read.plies[ply].commentary.eval = chess::Evaluation{false, cp};
        }
        return read;
      }
    }
    return chess::Game{};
  }();
  return game;
}

Decorations decorationsAt(std::size_t ply, bool analysis) {
  Decorations decorations =
      plyDecorations(evaluatedGame(), ply, Orientation::white, true);
  AnalysisOptions options;
  options.evalBar = analysis;
  options.material = analysis;
  addAnalysis(evaluatedGame(), ply, options, decorations);
  return decorations;
}

// Arguments: 0 a plain diagram, 1 with bars, material and the evaluation
// bar, 2 with the players' bars alone (what the decorated path cost before).
void plyPng(benchmark::State& state) {
  const bool analysis = state.range(0) == 1;
  const Diagram diagram = plyDiagram(evaluatedGame(), 60, Settings{400, 1.3F},
                                     Orientation::white, true);
  const Decorations decorations =
      state.range(0) == 0 ? Decorations{} : decorationsAt(60, analysis);
  std::size_t pixels = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(renderDecoratedPng(
        artwork(), artwork().sprites, diagram, decorations, lettering()));
  }
  const ImageBuffer picture = decoratedPixels(
      artwork(), artwork().sprites, diagram, decorations, lettering());
  pixels = std::size_t{picture.width} * picture.height;
  state.counters["pixels"] = static_cast<double>(pixels);
  state.counters["ns_per_pixel"] = benchmark::Counter(
      static_cast<double>(pixels) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(plyPng)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Arguments: 0 the players' bars only, 1 with material and the evaluation
// bar on every ply.
void gameGif(benchmark::State& state) {
  const bool analysis = state.range(0) != 0;
  GameAnimation animation;
  animation.settings = {720, kDefaultScale};
  const std::vector<AnimationFrame> frames =
      gameFrames(evaluatedGame(), animation);
  std::vector<Decorations> decorations;
  for (std::size_t ply = 0; ply < frames.size(); ++ply) {
    decorations.push_back(decorationsAt(ply, analysis));
  }
  static const codec::GifPalette palette =
      decoratedPalette(artwork(), artwork().sprites, lettering());
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    writeDecoratedAnimation(
        artwork(), artwork().sprites, palette, frames, decorations, lettering(),
        [&bytes](const unsigned char*, std::size_t size) { bytes += size; });
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  state.counters["frames"] = static_cast<double>(frames.size());
}
BENCHMARK(gameGif)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
