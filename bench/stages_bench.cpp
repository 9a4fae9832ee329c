// Times each stage of a run on the bundled artwork.
#include <benchmark/benchmark.h>
#include <lodepng.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "cli/run.h"
#include "codec/png_encode.h"
#include "tib/board/annotations.h"
#include "tib/board/artwork.h"
#include "tib/board/drawing.h"
#include "tib/board/pieces.h"
#include "tib/board/position.h"
#include "tib/board/render.h"

using namespace tib;         // NOLINT(google-build-using-namespace)
using namespace tib::codec;  // NOLINT(google-build-using-namespace)

namespace {

const std::string kMiddlegame =
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R b KQ - 3 8";

const Artwork& bundledArtwork() {
  static const Artwork artwork = loadArtwork("", {Side::white, Side::black});
  return artwork;
}

void boardDecode(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(decodePngFile(kBoardFile));
  }
}
BENCHMARK(boardDecode)->Unit(benchmark::kMillisecond);

void spriteSetDecode(benchmark::State& state) {
  for (auto _ : state) {
    for (const Piece& piece : kPieces) {
      benchmark::DoNotOptimize(decodePngFile(spriteFileName(piece)));
    }
  }
}
BENCHMARK(spriteSetDecode)->Unit(benchmark::kMillisecond);

// The position walk with drawing, on one canvas that keeps being drawn
// over: the cost does not depend on what is below.
void drawStartingPosition(benchmark::State& state) {
  const Artwork& artwork = bundledArtwork();
  ImageBuffer canvas = artwork.boards[0];
  const Settings settings{kDefaultSize,
                          static_cast<float>(state.range(0)) / 10.0F};
  const Placement start = startingPlacement();
  for (auto _ : state) {
    drawPosition(canvas, start, settings, artwork.sprites, artwork.markers,
                 Orientation::white);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(drawStartingPosition)
    ->Arg(13)
    ->Arg(25)
    ->ArgName("scale_x10")
    ->Unit(benchmark::kMicrosecond);

void resample(benchmark::State& state) {
  const ImageBuffer& canvas = bundledArtwork().boards[0];
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        resampleCanvas(canvas, static_cast<uint32_t>(state.range(0))));
  }
}
BENCHMARK(resample)->Arg(300)->Arg(400)->Arg(2048)->Unit(
    benchmark::kMicrosecond);

// The middlegame's pixels at the benchmark's edge.
std::vector<unsigned char> middlegamePixels(uint32_t edge) {
  const ImageBuffer canvas = drawDiagram(
      bundledArtwork(), Diagram{readPlacement(kMiddlegame), Settings{}, {}});
  return edge == kCanvasEdge ? canvas.pixels : resampleCanvas(canvas, edge);
}

void encode(benchmark::State& state) {
  const auto edge = static_cast<uint32_t>(state.range(0));
  const std::vector<unsigned char> pixels = middlegamePixels(edge);
  for (auto _ : state) {
    std::vector<unsigned char> png;
    benchmark::DoNotOptimize(
        lodepng::encode(png, pixels, edge, edge, LCT_RGBA, 8));
  }
}
BENCHMARK(encode)->Arg(400)->Arg(1024)->Unit(benchmark::kMillisecond);

// The same pixels through the program's own encoder (the same bytes).
void encodeFast(benchmark::State& state) {
  const auto edge = static_cast<uint32_t>(state.range(0));
  const std::vector<unsigned char> pixels = middlegamePixels(edge);
  for (auto _ : state) {
    std::vector<unsigned char> png;
    benchmark::DoNotOptimize(codec::encodePng(png, pixels, edge, edge));
  }
}
BENCHMARK(encodeFast)->Arg(400)->Arg(1024)->Unit(benchmark::kMillisecond);

// Rendering from artwork loaded once, as a long-running service does.
void renderFromLoadedArtwork(benchmark::State& state) {
  const Artwork& artwork = bundledArtwork();
  const Settings settings{static_cast<int32_t>(state.range(0)), kDefaultScale};
  const Diagram diagram{readPlacement(kMiddlegame), settings, {}};
  for (auto _ : state) {
    benchmark::DoNotOptimize(renderPng(artwork, diagram));
  }
}
BENCHMARK(renderFromLoadedArtwork)
    ->Arg(400)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond);

// The middlegame with a last move, check, four arrows and two highlights:
// at 400 it should cost at most 1.15 times renderFromLoadedArtwork.
Diagram annotatedMiddlegame(int32_t size) {
  Diagram diagram{
      readPlacement(kMiddlegame), Settings{size, kDefaultScale}, {}};
  Annotations& marks = diagram.annotations;
  const auto square = [](const char* name) {
    return *chess::squareNamed(name);
  };
  const auto mark = [&](chess::MarkColour colour, const char* from,
                        const char* to) {
    return Mark{colour, square(from), square(to)};
  };
  marks.lastMove = {square("e2"), square("f1")};
  marks.check = kingToMove(diagram.position);
  marks.arrows = {mark(chess::MarkColour::green, "d5", "c4"),
                  mark(chess::MarkColour::red, "c6", "d4"),
                  mark(chess::MarkColour::blue, "f3", "d5"),
                  mark(chess::MarkColour::yellow, "c1", "g5")};
  marks.highlights = {mark(chess::MarkColour::yellow, "d5", "d5"),
                      mark(chess::MarkColour::red, "e5", "e5")};
  return diagram;
}

void renderAnnotated(benchmark::State& state) {
  const Artwork& artwork = bundledArtwork();
  const Diagram diagram =
      annotatedMiddlegame(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(renderPng(artwork, diagram));
  }
}
BENCHMARK(renderAnnotated)->Arg(400)->Arg(1024)->Unit(benchmark::kMillisecond);

// The annotations alone, drawn over and over on one canvas.
void drawAnnotations(benchmark::State& state) {
  ImageBuffer canvas = bundledArtwork().boards[0];
  const Annotations marks = annotatedMiddlegame(kDefaultSize).annotations;
  for (auto _ : state) {
    drawUnderPieces(canvas, marks);
    drawOverPieces(canvas, marks);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(drawAnnotations)->Unit(benchmark::kMicrosecond);

void wholeRun(benchmark::State& state) {
  std::ostream discard(nullptr);
  char path[] = "/tmp/tib-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) {
    std::abort();
  }
  close(fd);
  const std::vector<std::string> args = {
      "fen=" + kMiddlegame, "size=" + std::to_string(state.range(0)),
      std::string("file=") + path};
  for (auto _ : state) {
    benchmark::DoNotOptimize(runTib(args, discard, discard));
  }
  std::remove(path);
}
BENCHMARK(wholeRun)->Arg(400)->Arg(1024)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The artwork is read by its relative names, as tib does.
  if (chdir(TIB_ARTWORK_DIR) != 0) {
    std::perror(TIB_ARTWORK_DIR);
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
