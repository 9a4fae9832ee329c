#include "codec/rgba.h"

#include <cstddef>
#include <cstring>

namespace tib::codec {

unsigned convertToRgba(unsigned char* out, const unsigned char* in,
                       unsigned width, unsigned height,
                       const LodePNGColorMode& mode) {
  const std::size_t pixels = std::size_t{width} * height;
  if (mode.bitdepth == 8 && mode.colortype == LCT_PALETTE &&
      mode.palette != nullptr) {
    // The codec's palette always has 256 entries, those past the file's
    // opaque black, so every index has a colour.
    for (std::size_t i = 0; i < pixels; ++i) {
      std::memcpy(out + i * 4, mode.palette + std::size_t{in[i]} * 4, 4);
    }
    return 0;
  }
  if (mode.bitdepth == 8 && mode.colortype == LCT_RGB) {
    for (std::size_t i = 0; i < pixels; ++i) {
      const unsigned char* rgb = in + i * 3;
      out[i * 4] = rgb[0];
      out[i * 4 + 1] = rgb[1];
      out[i * 4 + 2] = rgb[2];
      out[i * 4 + 3] = mode.key_defined != 0 && rgb[0] == mode.key_r &&
                               rgb[1] == mode.key_g && rgb[2] == mode.key_b
                           ? 0
                           : 255;
    }
    return 0;
  }
  LodePNGColorMode rgba;
  lodepng_color_mode_init(&rgba);
  return lodepng_convert(out, in, &rgba, &mode, width, height);
}

}  // namespace tib::codec
