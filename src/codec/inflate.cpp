#include "codec/inflate.h"

#include <libdeflate.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "codec/deflate_tables.h"

namespace tib::codec {
namespace {

// Reads a deflate stream's bits, least significant first, never past its
// end.
struct BitReader {
  const unsigned char* data;
  std::size_t bits;  // how many there are
  std::size_t at = 0;
};

bool has(const BitReader& r, std::size_t count) {
  return r.bits - r.at >= count;
}

unsigned take(BitReader& r, unsigned count) {
  unsigned value = 0;
  for (unsigned i = 0; i < count; ++i, ++r.at) {
    value |= static_cast<unsigned>((r.data[r.at >> 3U] >> (r.at & 7U)) & 1U)
             << i;
  }
  return value;
}

constexpr unsigned kMaxBits = 15;
// Code lengths 0 to kMaxBits.
constexpr std::size_t kLengthSlots = 16;
constexpr int kBad = -1;

// A canonical Huffman code for decoding: how many codes of each length, and
// the symbols in code order.
struct Code {
  std::array<uint16_t, kLengthSlots> perLength{};
  std::array<uint16_t, 288> symbols{};
};

// Builds the code; false unless the lengths fill the code space exactly, the
// only codes that the codec and libdeflate decode alike in every stream.
bool build(Code& code, const unsigned char* lengths, std::size_t count) {
  code.perLength.fill(0);
  for (std::size_t s = 0; s < count; ++s) {
    ++code.perLength[lengths[s]];
  }
  int left = 1;
  for (unsigned length = 1; length <= kMaxBits; ++length) {
    left = left * 2 - code.perLength[length];
    if (left < 0) {
      return false;
    }
  }
  if (left != 0) {
    return false;
  }
  // Where the symbols of each length start.
  std::array<uint16_t, kLengthSlots> offsets{};
  uint16_t start = 0;
  for (unsigned length = 1; length <= kMaxBits; ++length) {
    offsets[length] = start;
    start = static_cast<uint16_t>(start + code.perLength[length]);
  }
  for (std::size_t s = 0; s < count; ++s) {
    if (lengths[s] != 0) {
      code.symbols[offsets[lengths[s]]++] = static_cast<uint16_t>(s);
    }
  }
  return true;
}

int decode(BitReader& r, const Code& code) {
  int value = 0;
  int first = 0;
  int index = 0;
  for (unsigned length = 1; length <= kMaxBits; ++length) {
    if (!has(r, 1)) {
      return kBad;
    }
    value |= static_cast<int>(take(r, 1));
    const int count = code.perLength[length];
    if (value - first < count) {
      return code.symbols[static_cast<std::size_t>(index + value - first)];
    }
    index += count;
    first = (first + count) << 1;
    value <<= 1;
  }
  return kBad;
}

// Walks the symbols of a block to its end code; false at a length symbol
// above 285 or a distance symbol above 29, which the codec refuses.
bool walkSymbols(BitReader& r, const Code& literals, const Code& distances) {
  for (;;) {
    const int symbol = decode(r, literals);
    if (symbol == 256) {
      return true;
    }
    if (symbol < 0 || symbol > 285) {
      return false;
    }
    if (symbol < 256) {
      continue;
    }
    const unsigned lengthExtra =
        kLengthExtra[static_cast<std::size_t>(symbol) - 257];
    if (!has(r, lengthExtra)) {
      return false;
    }
    take(r, lengthExtra);
    const int distance = decode(r, distances);
    if (distance < 0 || distance > 29) {
      return false;
    }
    const unsigned distanceExtra =
        kDistanceExtra[static_cast<std::size_t>(distance)];
    if (!has(r, distanceExtra)) {
      return false;
    }
    take(r, distanceExtra);
  }
}

bool fixedCodes(Code& literals, Code& distances) {
  std::array<unsigned char, 288> lengths{};
  for (std::size_t s = 0; s < 288; ++s) {
    lengths[s] = s < 144 ? 8 : (s < 256 ? 9 : (s < 280 ? 7 : 8));
  }
  std::array<unsigned char, 32> distanceLengths{};
  distanceLengths.fill(5);
  return build(literals, lengths.data(), lengths.size()) &&
         build(distances, distanceLengths.data(), distanceLengths.size());
}

bool dynamicCodes(BitReader& r, Code& literals, Code& distances) {
  if (!has(r, 14)) {
    return false;
  }
  const unsigned literalCount = take(r, 5) + 257;
  const unsigned distanceCount = take(r, 5) + 1;
  const unsigned lengthCount = take(r, 4) + 4;
  if (literalCount > 286 || distanceCount > 30 ||
      !has(r, std::size_t{lengthCount} * 3)) {
    return false;
  }
  std::array<unsigned char, 19> codeLengths{};
  for (unsigned i = 0; i < lengthCount; ++i) {
    codeLengths[kCodeLengthOrder[i]] = static_cast<unsigned char>(take(r, 3));
  }
  Code lengthCode;
  if (!build(lengthCode, codeLengths.data(), codeLengths.size())) {
    return false;
  }
  std::array<unsigned char, 316> lengths{};
  const unsigned total = literalCount + distanceCount;
  for (unsigned i = 0; i < total;) {
    const int symbol = decode(r, lengthCode);
    if (symbol < 0) {
      return false;
    }
    if (symbol < 16) {
      lengths[i++] = static_cast<unsigned char>(symbol);
      continue;
    }
    static constexpr std::array<unsigned, 3> kCountBits = {2, 3, 7};
    static constexpr std::array<unsigned, 3> kLeast = {3, 3, 11};
    const auto which = static_cast<std::size_t>(symbol - 16);
    if ((symbol == 16 && i == 0) || !has(r, kCountBits[which])) {
      return false;
    }
    const unsigned repeat = kLeast[which] + take(r, kCountBits[which]);
    if (i + repeat > total) {
      return false;
    }
    const unsigned char value = symbol == 16 ? lengths[i - 1] : 0;
    for (unsigned k = 0; k < repeat; ++k) {
      lengths[i++] = value;
    }
  }
  // A code without an end code is one the codec refuses.
  return lengths[256] != 0 && build(literals, lengths.data(), literalCount) &&
         build(distances, lengths.data() + literalCount, distanceCount);
}

// Whether the codec and libdeflate decode this zlib stream alike: a header
// both accept, blocks whose codes are complete and whose symbols are all
// valid, and the checksum right after the final block, as its last bytes.
bool decodedAlike(const unsigned char* in, std::size_t size) {
  if (size < 6 || (in[0] * 256U + in[1]) % 31 != 0 || (in[0] & 15U) != 8 ||
      (in[0] >> 4U) > 7 || (in[1] & 32U) != 0) {
    return false;
  }
  BitReader r{in + 2, (size - 6) * 8};
  bool final = false;
  while (!final) {
    if (!has(r, 3)) {
      return false;
    }
    final = take(r, 1) == 1;
    const unsigned type = take(r, 2);
    if (type == 0) {
      r.at = (r.at + 7) & ~std::size_t{7};
      if (!has(r, 32)) {
        return false;
      }
      const std::size_t length = take(r, 16);
      if ((length ^ take(r, 16)) != 0xFFFFU || !has(r, length * 8)) {
        return false;
      }
      r.at += length * 8;
      continue;
    }
    Code literals;
    Code distances;
    if (type == 3 ||
        !(type == 1 ? fixedCodes(literals, distances)
                    : dynamicCodes(r, literals, distances)) ||
        !walkSymbols(r, literals, distances)) {
      return false;
    }
  }
  return (r.at + 7) / 8 * 8 == r.bits;
}

struct Decompressor {
  void operator()(libdeflate_decompressor* d) const {
    libdeflate_free_decompressor(d);
  }
};

}  // namespace

unsigned inflateZlib(unsigned char** out, std::size_t* outSize,
                     const unsigned char* in, std::size_t inSize,
                     const LodePNGDecompressSettings* settings) {
  const std::size_t limit = settings->max_output_size;
  // The codec appends to what `out` holds; only an empty start is taken.
  if (*out == nullptr && *outSize == 0 && limit != 0 &&
      decodedAlike(in, inSize)) {
    const std::unique_ptr<libdeflate_decompressor, Decompressor> decompressor(
        libdeflate_alloc_decompressor());
    // The codec frees what it is given with free().
    auto* buffer = static_cast<unsigned char*>(std::malloc(limit));
    std::size_t used = 0;
    std::size_t written = 0;
    if (decompressor && buffer != nullptr &&
        libdeflate_zlib_decompress_ex(decompressor.get(), in, inSize, buffer,
                                      limit, &used,
                                      &written) == LIBDEFLATE_SUCCESS &&
        used == inSize) {
      *out = buffer;
      *outSize = written;
      return 0;
    }
    std::free(buffer);
  }
  return lodepng_zlib_decompress(out, outSize, in, inSize, settings);
}

}  // namespace tib::codec
