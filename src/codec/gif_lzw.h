// The LZW compression of GIF image data.
#pragma once

#include <cstddef>
#include <vector>

namespace tib::codec {

// Appends the image data of one GIF frame to `out`: the minimum code size
// byte, the LZW codes of `indices` (each below 2^minCodeSize) in sub-blocks
// of at most 255 bytes, and the empty block that ends them. `minCodeSize` is
// 2 to 8. A full dictionary is kept while it compresses no worse.
void appendLzw(std::vector<unsigned char>& out, const unsigned char* indices,
               std::size_t count, unsigned minCodeSize);

}  // namespace tib::codec
