// Fuzzes the encoder against the codec's default encoder: the PNG bytes of
// structured pictures (a few colours, gradients, noise, crops of a rendered
// diagram; grey or coloured; opaque, with one transparent colour or with
// any alpha) must be the codec's, byte for byte.
#include <lodepng.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/png_encode.h"
#include "tib/board/artwork.h"
#include "tib/board/drawing.h"
#include "tib/board/render.h"

using namespace tib;         // NOLINT(google-build-using-namespace)
using namespace tib::codec;  // NOLINT(google-build-using-namespace)

namespace {

// Reads the fuzzer's bytes in order, then zeros.
struct Reader {
  const uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
};

unsigned next(Reader& r) { return r.at < r.size ? r.data[r.at++] : 0U; }

// A small generator for noise, seeded by the input.
uint32_t step(uint32_t& state) {
  state ^= state << 13U;
  state ^= state >> 17U;
  state ^= state << 5U;
  return state;
}

const ImageBuffer& diagram() {
  static const ImageBuffer canvas = [] {
    const Artwork artwork =
        loadArtwork(TIB_ARTWORK_DIR, {Side::white, Side::black});
    return drawDiagram(
        artwork, Diagram{readPlacement("r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/"
                                       "2N1PN2/PP2BPPP/R2QKB1R b KQ - 3 8"),
                         Settings{},
                         {}});
  }();
  return canvas;
}

std::vector<unsigned char> picture(Reader& r, unsigned width, unsigned height) {
  const unsigned kind = next(r) % 4;
  const unsigned look = next(r);
  uint32_t seed = 0x9E3779B9U ^ next(r) ^ (next(r) << 8U) ^ (next(r) << 16U);
  std::vector<uint32_t> colours(1 + next(r) % 40 + (look & 0x80U ? 230 : 0));
  std::generate(colours.begin(), colours.end(), [&] { return step(seed); });
  const unsigned cropX = next(r) * 3;
  const unsigned cropY = next(r) * 3;
  const unsigned slope = 1 + next(r) % 16;
  // The colour made transparent: the first pixel's.
  uint32_t key = 0;
  std::vector<unsigned char> pixels;
  pixels.reserve(std::size_t{width} * height * 4);
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      uint32_t pixel = 0;
      switch (kind) {
        case 0:
          pixel = colours[step(seed) % colours.size()];
          break;
        case 1:
          pixel = (x * slope) | (y * slope) << 8U | ((x + y) / slope) << 16U;
          break;
        case 2:
          pixel = step(seed) & (look & 0x40U ? 0xFFFFFFFFU : 0x0F0F0F0FU);
          break;
        default: {
          const std::size_t sx = std::min(cropX + x, kCanvasEdge - 1);
          const std::size_t sy = std::min(cropY + y, kCanvasEdge - 1);
          std::memcpy(&pixel, &diagram().pixels[(sy * kCanvasEdge + sx) * 4],
                      4);
        }
      }
      // Grey, opaque, one transparent colour, or alpha as it comes.
      if ((look & 1U) != 0) {
        pixel = (pixel & 0xFF000000U) | (pixel & 0xFFU) * 0x010101U;
      }
      if (x == 0 && y == 0) {
        key = pixel & 0xFFFFFFU;
      }
      switch ((look >> 1U) & 3U) {
        case 0:
          pixel |= 0xFF000000U;
          break;
        case 1:
          pixel = (pixel & 0xFFFFFFU) == key ? pixel & 0xFFFFFFU
                                             : pixel | 0xFF000000U;
          break;
        case 2:
          pixel =
              (pixel & 0xFFFFFFU) | (step(seed) % 3 == 0 ? 0U : 0xFF000000U);
          break;
        default:
          break;
      }
      for (unsigned shift = 0; shift < 32; shift += 8) {
        pixels.push_back(static_cast<unsigned char>(pixel >> shift));
      }
    }
  }
  return pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Reader r{data, size};
  const unsigned wide = next(r);
  const unsigned tall = next(r);
  // Mostly small pictures; some large enough for several deflate blocks and
  // the second thread.
  const unsigned scale = (wide & 0x80U) != 0 && (tall & 0x80U) != 0 ? 4 : 1;
  const unsigned width = 1 + (wide & 0x7FU) * scale;
  const unsigned height = 1 + (tall & 0x7FU) * scale;
  const std::vector<unsigned char> pixels = picture(r, width, height);
  std::vector<unsigned char> expected;
  std::vector<unsigned char> actual;
  const unsigned codec = lodepng::encode(expected, pixels, width, height);
  const unsigned ours = tib::codec::encodePng(actual, pixels, width, height);
  if (codec != ours || expected != actual) {
    std::fprintf(stderr,
                 "fuzz_encode: %u x %u: bytes differ from the codec's\n", width,
                 height);
    std::abort();
  }
  return 0;
}
