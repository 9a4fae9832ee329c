// Decoded pixels to RGBA 8, as the codec's decoder converts them.
#pragma once

#include <lodepng.h>

namespace tib::codec {

// Writes the width x height pixels `in`, laid out in `mode` as the codec
// decodes them, to `out` (width * height * 4 bytes) as RGBA 8, exactly as
// lodepng_convert does, and returns its code. Palette and 8-bit RGB
// pictures are converted here, faster; the rest by lodepng_convert.
unsigned convertToRgba(unsigned char* out, const unsigned char* in,
                       unsigned width, unsigned height,
                       const LodePNGColorMode& mode);

}  // namespace tib::codec
