// Inflating zlib streams for the codec's decoder (its custom_zlib hook),
// with libdeflate where that gives the codec's own result.
#pragma once

#include <lodepng.h>

#include <cstddef>

namespace tib::codec {

// Inflates `in` exactly as lodepng_zlib_decompress(out, outSize, in, inSize,
// settings) does: the same bytes, the same error code. A stream that the
// codec and libdeflate decode alike (well-formed codes and symbols, nothing
// after the checksum) within settings->max_output_size goes to libdeflate;
// any other, and any stream libdeflate refuses, to the codec's inflate.
unsigned inflateZlib(unsigned char** out, std::size_t* outSize,
                     const unsigned char* in, std::size_t inSize,
                     const LodePNGDecompressSettings* settings);

}  // namespace tib::codec
