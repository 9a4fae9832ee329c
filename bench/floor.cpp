// The codec work a tib run cannot avoid, and nothing else: decode the board,
// the twelve sprites and one marker, then encode an image of the diagram's
// size and content with the default settings and write it. The process is
// set up as tib's is (the same memory tuning, the same link), so that the
// difference to a tib run is tib's own work.
//
//   tib_floor <artwork folder> <marker file> <pixels.rgba> <edge> <out.png>
//   tib_floor --dump <diagram.png> <pixels.rgba>
#include <lodepng.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/process_tuning.h"
#include "codec/png_decode.h"
#include "tib/board/pieces.h"

using namespace tib;         // NOLINT(google-build-using-namespace)
using namespace tib::codec;  // NOLINT(google-build-using-namespace)

namespace {

int dump(const char* png, const char* raw) {
  std::vector<unsigned char> pixels;
  unsigned width = 0;
  unsigned height = 0;
  const unsigned error = lodepng::decode(pixels, width, height, png);
  if (error != 0 || lodepng::save_file(pixels, raw) != 0) {
    std::fprintf(stderr, "cannot dump %s: %s\n", png,
                 lodepng_error_text(error));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const ProcessMemoryTuning tuning;
  if (argc == 4 && std::string(argv[1]) == "--dump") {
    return dump(argv[2], argv[3]);
  }
  if (argc != 6) {
    std::fprintf(stderr,
                 "usage: tib_floor <artwork> <marker> <pixels.rgba> <edge> "
                 "<out.png>\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  std::vector<std::string> files = {"t_board.png"};
  for (const Piece& piece : kPieces) {
    files.push_back(spriteFileName(piece));
  }
  files.emplace_back(argv[2]);
  unsigned checksum = 0;
  for (const std::string& file : files) {
    std::vector<unsigned char> pixels;
    unsigned width = 0;
    unsigned height = 0;
    checksum += lodepng::decode(pixels, width, height, folder + file);
    checksum += pixels.empty() ? 0 : pixels.back();
  }
  std::vector<unsigned char> diagram;
  const auto edge = static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10));
  std::vector<unsigned char> png;
  if (lodepng::load_file(diagram, argv[3]) != 0 ||
      lodepng::encode(png, diagram, edge, edge) != 0 ||
      lodepng::save_file(png, argv[5]) != 0) {
    std::fprintf(stderr, "tib_floor: cannot encode %s\n", argv[3]);
    return 1;
  }
  return checksum == 0xFFFFFFFFU ? 3 : 0;
}
