// Times the GIF writer on a synthetic 93-frame game at 720x720: the palette
// built once per theme, the whole game with and without the caller's
// rectangles of change, and the LZW encoder against giflib's.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstring>
#include <vector>

#include "codec/gif.h"
#include "codec/gif_lzw.h"
#include "gif_scene.h"

namespace {

using tib::bench::GifScene;
using tib::codec::GifPalette;

constexpr unsigned kFrames = 93;
constexpr unsigned kDelay = 50;

const GifScene& scene() {
  static const GifScene game = tib::bench::makeGifScene(kFrames);
  return game;
}

const GifPalette& palette() {
  static const GifPalette chosen =
      tib::codec::buildPalette(scene().samplePictures());
  return chosen;
}

std::vector<unsigned char> firstFrameIndices() {
  const std::vector<unsigned char>& rgba = scene().frames[0];
  std::vector<unsigned char> indices;
  for (std::size_t i = 0; i < rgba.size(); i += 4)
    indices.push_back(palette().indexOf(tib::codec::packRgb(&rgba[i])));
  return indices;
}

void buildGamePalette(benchmark::State& state) {
  const auto samples = scene().samplePictures();
  for (auto _ : state)
    benchmark::DoNotOptimize(tib::codec::buildPalette(samples));
  state.counters["colours"] = static_cast<double>(palette().colourCount());
}
BENCHMARK(buildGamePalette)->Unit(benchmark::kMillisecond);

// range(0): what the caller tells of each frame's changes: 0 nothing, 1 the
// box of the squares that changed, 2 the squares.
// range(1): 1 when each frame is first copied, untimed, into one canvas, as
// a renderer would hand it over fresh in the cache; 0 when it is read from
// the 190 MB of pre-drawn frames.
void encodeGame(benchmark::State& state) {
  const std::int64_t hints = state.range(0);
  const bool canvas = state.range(1) == 1;
  std::vector<unsigned char> out;
  std::vector<unsigned char> drawn(scene().frames[0].size());
  for (auto _ : state) {
    out.clear();
    tib::codec::GifWriter writer(
        GifScene::kSide, GifScene::kSide, palette(),
        [&out](const unsigned char* bytes, std::size_t size) {
          out.insert(out.end(), bytes, bytes + size);
        });
    for (std::size_t i = 0; i < scene().frames.size(); ++i) {
      const unsigned char* frame = scene().frames[i].data();
      if (canvas) {
        state.PauseTiming();
        std::memcpy(drawn.data(), frame, drawn.size());
        frame = drawn.data();
        state.ResumeTiming();
      }
      if (i == 0 || hints == 0) {
        writer.addFrame(frame, kDelay);
      } else if (hints == 1) {
        writer.addFrame(frame, kDelay,
                        {tib::bench::boundingBox(scene().changed[i - 1])});
      } else {
        writer.addFrame(frame, kDelay, scene().changed[i - 1]);
      }
    }
    writer.finish();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(encodeGame)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"hints", "canvas"})
    ->Unit(benchmark::kMillisecond);

void firstFrameOwnLzw(benchmark::State& state) {
  const std::vector<unsigned char> indices = firstFrameIndices();
  std::vector<unsigned char> out;
  for (auto _ : state) {
    out.clear();
    tib::codec::appendLzw(out, indices.data(), indices.size(),
                          palette().tableBits());
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(firstFrameOwnLzw)->Unit(benchmark::kMillisecond);

int appendBytes(GifFileType* file, const GifByteType* bytes, int size) {
  auto& out = *static_cast<std::vector<unsigned char>*>(file->UserData);
  out.insert(out.end(), bytes, bytes + size);
  return size;
}

// The same frame through giflib's encoder, with the few bytes of its header
// and colour table.
void firstFrameGiflib(benchmark::State& state) {
  std::vector<unsigned char> indices = firstFrameIndices();
  std::vector<GifColorType> colours(std::size_t{1} << palette().tableBits());
  for (std::size_t i = 0; i < palette().table().size(); ++i) {
    colours[i] = {palette().table()[i].red, palette().table()[i].green,
                  palette().table()[i].blue};
  }
  std::vector<unsigned char> out;
  for (auto _ : state) {
    out.clear();
    int error = 0;
    GifFileType* file = EGifOpen(&out, appendBytes, &error);
    ColorMapObject* map =
        GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
    EGifPutScreenDesc(file, GifScene::kSide, GifScene::kSide, 8, 0, map);
    EGifPutImageDesc(file, 0, 0, GifScene::kSide, GifScene::kSide, false,
                     nullptr);
    for (unsigned y = 0; y < GifScene::kSide; ++y) {
      EGifPutLine(file, indices.data() + std::size_t{y} * GifScene::kSide,
                  GifScene::kSide);
    }
    EGifCloseFile(file, &error);
    GifFreeMapObject(map);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(firstFrameGiflib)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The game is drawn before any timing starts.
  palette();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
