// Deflate as the codec's default encoder writes it: dynamic blocks of a
// size set by the input, LZ77 over a 2048-byte window with its hash chains,
// lazy matching and run-of-zeros chain, wrapped as a zlib stream.
#pragma once

#include <cstddef>
#include <vector>

namespace tib::codec {

// Appends the zlib stream of `data` (its first `size` bytes) to `out`, as
// the codec writes it; `data` has 16 bytes to spare past `size`. With
// twoThreads and a large input, a second thread matches the later half of
// the blocks, in chains it first fills from the bytes before them. Returns
// the codec's error code.
unsigned appendZlib(std::vector<unsigned char>& out, const unsigned char* data,
                    std::size_t size, bool twoThreads);

}  // namespace tib::codec
