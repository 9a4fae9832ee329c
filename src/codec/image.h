// A decoded picture, the form every picture is read into and drawn on.
#pragma once

#include <cstdint>
#include <vector>

namespace tib::codec {

// 8-bit RGBA samples, row-major, rows without gaps. After a failed decode
// it may report a size while holding no bytes.
struct ImageBuffer {
  std::vector<unsigned char> pixels;
  uint32_t width = 0;
  uint32_t height = 0;
};

}  // namespace tib::codec
