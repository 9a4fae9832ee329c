// Animated games against one PNG diagram from the same process: a 93-ply
// game at 720 should take at most three times one 720 diagram. Also the
// palette, built once per artwork and piece set (also on a board of noise),
// a GIF on the wood theme, and the memory a 1000-frame GIF takes.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chess/pgn.h"
#include "chess_games.h"
#include "tib/board/artwork.h"
#include "tib/game/animation.h"
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

// The wood theme: squares painted from photographs of wood.
const Artwork& woodArtwork() {
  static const Artwork loaded = [] {
    const std::string folder = std::string(TIB_ARTWORK_DIR) + "/themes/wood";
    Artwork art = loadArtwork(folder, {Side::white, Side::black});
    ArtworkBudget budget;
    loadOtherBoards(folder, budget, art.boards);
    return art;
  }();
  return loaded;
}

// The default artwork on boards of seeded noise, every pixel a colour of its
// own: the most a palette can be asked to sort out.
const Artwork& noiseArtwork() {
  static const Artwork noisy = [] {
    Artwork art = artwork();
    uint64_t state = 0x6E6F697365U;
    for (ImageBuffer& board : art.boards) {
      for (std::size_t i = 0; i < board.pixels.size(); ++i) {
        state = state * 6364136223846793005U + 1442695040888963407U;
        board.pixels[i] =
            i % 4 == 3 ? 255 : static_cast<unsigned char>(state >> 56U);
      }
    }
    return art;
  }();
  return noisy;
}

const codec::GifPalette& palette() {
  static const codec::GifPalette built =
      animationPalette(artwork(), artwork().sprites);
  return built;
}

// The frames of seeded random games, one after the other, until there are
// `count`; with marks, every seventh ply with two arrows and a coloured
// square.
std::vector<AnimationFrame> framesOfGames(std::size_t count, int32_t size,
                                          bool marks = true) {
  const std::string text = bench::randomGames(std::size_t{1} << 20);
  std::vector<AnimationFrame> frames;
  GameAnimation animation;
  animation.settings = {size, kDefaultScale};
  for (const chess::GameText& game : chess::splitGames(text)) {
    for (AnimationFrame& frame : gameFrames(chess::readGame(game), animation)) {
      if (marks && frames.size() % 7 == 3) {
        const auto at = [](const char* name) {
          return *chess::squareNamed(name);
        };
        frame.diagram.annotations.arrows = {
            {chess::MarkColour::green, at("e2"), at("e4")},
            {chess::MarkColour::red, at("d8"), at("h4")}};
        frame.diagram.annotations.highlights = {
            {chess::MarkColour::yellow, at("d5"), at("d5")}};
      }
      frames.push_back(std::move(frame));
      if (frames.size() == count) {
        return frames;
      }
    }
  }
  return frames;
}

std::size_t gifBytes(const std::vector<AnimationFrame>& frames) {
  std::size_t bytes = 0;
  writeAnimation(
      artwork(), artwork().sprites, palette(), frames,
      [&bytes](const unsigned char*, std::size_t size) { bytes += size; });
  return bytes;
}

void onePng(benchmark::State& state) {
  const std::vector<AnimationFrame> frames = framesOfGames(1, 720);
  for (auto _ : state) {
    benchmark::DoNotOptimize(renderPng(artwork(), frames.front().diagram));
  }
}
BENCHMARK(onePng)->Unit(benchmark::kMillisecond);

void gameGif(benchmark::State& state) {
  const std::vector<AnimationFrame> frames = framesOfGames(
      static_cast<std::size_t>(state.range(0)), 720, state.range(1) != 0);
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = gifBytes(frames);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
// Arguments: frames, and whether some carry arrows and coloured squares.
BENCHMARK(gameGif)->Args({1, 1})->Args({94, 0})->Args({94, 1})->Unit(
    benchmark::kMillisecond);

void paletteBuild(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(animationPalette(artwork(), artwork().sprites));
  }
}
BENCHMARK(paletteBuild)->Unit(benchmark::kMillisecond);

void noiseBoardPalette(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        animationPalette(noiseArtwork(), noiseArtwork().sprites));
  }
}
BENCHMARK(noiseBoardPalette)->Unit(benchmark::kMillisecond);

// The 94-frame GIF of gameGif on the wood theme, its palette built once.
void woodGameGif(benchmark::State& state) {
  const std::vector<AnimationFrame> frames = framesOfGames(94, 720);
  const codec::GifPalette wood =
      animationPalette(woodArtwork(), woodArtwork().sprites);
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    writeAnimation(
        woodArtwork(), woodArtwork().sprites, wood, frames,
        [&bytes](const unsigned char*, std::size_t size) { bytes += size; });
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(woodGameGif)->Unit(benchmark::kMillisecond);

long peakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Peak RSS gained over the frames' own descriptions by writing 1000 frames
// at 720 (the bytes are counted, not kept, as the server streams them).
void longGifMemory(benchmark::State& state) {
  const std::vector<AnimationFrame> frames = framesOfGames(1000, 720);
  palette();
  const long before = peakKilobytes();
  for (auto _ : state) {
    benchmark::DoNotOptimize(gifBytes(frames));
  }
  state.counters["peak_rss_gain_mb"] =
      static_cast<double>(peakKilobytes() - before) / 1024.0;
  state.counters["frames"] = static_cast<double>(frames.size());
}
BENCHMARK(longGifMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
