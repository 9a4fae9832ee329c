// PNG scanlines: each row in the chosen colour mode behind its filter type
// byte, filtered by the codec's minimum-sum rule (none for palette images
// and depths below 8).
#pragma once

#include <cstddef>
#include <vector>

#include "codec/png_colour_mode.h"

namespace tib::codec {

struct Scanlines {
  std::vector<unsigned char> bytes;
  // Without the 16 bytes to spare at the end.
  std::size_t size = 0;
};

// The scanlines of width x height RGBA pixels, with 16 bytes to spare at
// the end; on two threads when twoThreads and the picture is large.
Scanlines scanlines(const ColourMode& mode, const ColourTable& table,
                    const unsigned char* rgba, std::size_t width,
                    std::size_t height, bool twoThreads);

}  // namespace tib::codec
