#include "codec/png_encode.h"

#include <libdeflate.h>
#include <lodepng.h>

#include <cstddef>
#include <cstdint>
#include <new>

#include "codec/deflate.h"
#include "codec/png_colour_mode.h"
#include "codec/png_filter.h"

// Every decision of the encoder's stages (png_colour_mode, png_filter,
// deflate) is the codec's (lodepng 20220618, default encoder settings); what
// differs is how it is computed: colours are counted in a small hash table
// instead of a tree, the five filters of a row are tried 16 bytes at a time,
// matches are compared 8 bytes at a time and rejected on one byte first, and
// bits go out 32 at a time.

namespace tib::codec {
namespace {

// The codec's error codes.
constexpr unsigned kInputTooSmall = 84;
constexpr unsigned kOutOfMemory = 83;

void putBigEndian(std::vector<unsigned char>& out, uint32_t value) {
  for (unsigned shift = 32; shift != 0; shift -= 8) {
    out.push_back(static_cast<unsigned char>(value >> (shift - 8)));
  }
}

// Starts a chunk; returns where its length goes.
std::size_t beginChunk(std::vector<unsigned char>& out, const char* type) {
  const std::size_t start = out.size();
  putBigEndian(out, 0);
  out.insert(out.end(), type, type + 4);
  return start;
}

void endChunk(std::vector<unsigned char>& out, std::size_t start) {
  const auto length = static_cast<uint32_t>(out.size() - start - 8);
  for (unsigned i = 0; i < 4; ++i) {
    out[start + i] = static_cast<unsigned char>(length >> (24 - 8 * i));
  }
  putBigEndian(out, libdeflate_crc32(0, out.data() + start + 4, length + 4));
}

unsigned encode(std::vector<unsigned char>& out, const unsigned char* rgba,
                unsigned width, unsigned height, bool twoThreads) {
  const std::size_t pixels = std::size_t{width} * height;
  ColourTable table;
  const ColourMode mode = chooseColourMode(rgba, pixels, table);
  const Scanlines lines =
      scanlines(mode, table, rgba, width, height, twoThreads);

  std::vector<unsigned char> png = {137, 80, 78, 71, 13, 10, 26, 10};
  std::size_t chunk = beginChunk(png, "IHDR");
  putBigEndian(png, width);
  putBigEndian(png, height);
  png.push_back(static_cast<unsigned char>(mode.bitDepth));
  png.push_back(static_cast<unsigned char>(mode.type));
  png.insert(png.end(), {0, 0, 0});
  endChunk(png, chunk);
  if (mode.type == ColourType::palette) {
    chunk = beginChunk(png, "PLTE");
    std::size_t translucent = 0;
    for (std::size_t i = 0; i < mode.palette.size(); ++i) {
      const uint32_t colour = mode.palette[i];
      png.insert(png.end(), {static_cast<unsigned char>(colour),
                             static_cast<unsigned char>(colour >> 8U),
                             static_cast<unsigned char>(colour >> 16U)});
      if (alpha(colour) != 255) {
        translucent = i + 1;
      }
    }
    endChunk(png, chunk);
    if (translucent != 0) {
      chunk = beginChunk(png, "tRNS");
      for (std::size_t i = 0; i < translucent; ++i) {
        png.push_back(alpha(mode.palette[i]));
      }
      endChunk(png, chunk);
    }
  } else if (mode.key &&
             (mode.type == ColourType::grey || mode.type == ColourType::rgb)) {
    chunk = beginChunk(png, "tRNS");
    const std::size_t channels = mode.type == ColourType::grey ? 1 : 3;
    for (std::size_t c = 0; c < channels; ++c) {
      png.insert(png.end(), {0, mode.keyColour[c]});
    }
    endChunk(png, chunk);
  }
  chunk = beginChunk(png, "IDAT");
  const unsigned error =
      appendZlib(png, lines.bytes.data(), lines.size, twoThreads);
  if (error != 0) {
    return error;
  }
  endChunk(png, chunk);
  endChunk(png, beginChunk(png, "IEND"));
  out.insert(out.end(), png.begin(), png.end());
  return 0;
}

}  // namespace

unsigned encodePng(std::vector<unsigned char>& out,
                   const std::vector<unsigned char>& rgba, unsigned width,
                   unsigned height, EncodeThreads threads) {
  const std::size_t pixels = std::size_t{width} * height;
  if (rgba.size() < pixels * 4) {
    return kInputTooSmall;
  }
  // Empty pictures, and those whose sizes pass 31 bits in the codec's own
  // arithmetic, are the codec's to write.
  if (pixels == 0 || pixels * 4 + height >= (std::size_t{1} << 31U)) {
    return lodepng::encode(out, rgba, width, height);
  }
  try {
    return encode(out, rgba.data(), width, height, threads.count > 1);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}

}  // namespace tib::codec
