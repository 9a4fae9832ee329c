// A PNG encoder that writes exactly what the codec's default encoder
// (lodepng::encode with default settings) writes for 8-bit RGBA pixels,
// faster.
#pragma once

#include <vector>

namespace tib::codec {

// How many threads the encoder may use: large pictures are filtered and
// matched on two when the caller allows more than one.
struct EncodeThreads {
  unsigned count = 1;
};

// Appends to `out` the PNG file that lodepng::encode(out, rgba, width,
// height) writes, byte for byte: the same colour type and bit depth chosen
// from the pixels, the same filter per row, the same deflate stream and
// chunks. `rgba` holds the rows top to bottom, four bytes per pixel.
// Returns the codec's error code: 0, or 84 when `rgba` is shorter than the
// picture. The bytes do not depend on threads.
unsigned encodePng(std::vector<unsigned char>& out,
                   const std::vector<unsigned char>& rgba, unsigned width,
                   unsigned height, EncodeThreads threads = {});

}  // namespace tib::codec
