// Inflating for the decoder: the same bytes and codes as the codec's own
// zlib decoder, on streams libdeflate takes and on those it would read
// otherwise than the codec.
#include "codec/inflate.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <lodepng.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Writes deflate bits, least significant first; Huffman codes go most
// significant bit first.
struct Bits {
  Bytes bytes;
  unsigned used = 8;
};

void put(Bits& b, unsigned value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    if (b.used == 8) {
      b.bytes.push_back(0);
      b.used = 0;
    }
    b.bytes.back() = static_cast<unsigned char>(b.bytes.back() |
                                                ((value >> i) & 1U) << b.used);
    ++b.used;
  }
}

void putCode(Bits& b, unsigned code, unsigned length) {
  for (unsigned i = length; i-- > 0;) {
    put(b, code >> i, 1);
  }
}

Bytes zlib(const Bits& deflate, const Bytes& content) {
  Bytes stream = {0x78, 0x01};
  stream.insert(stream.end(), deflate.bytes.begin(), deflate.bytes.end());
  const uint32_t adler = libdeflate_adler32(1, content.data(), content.size());
  for (unsigned shift = 24;; shift -= 8) {
    stream.push_back(static_cast<unsigned char>(adler >> shift));
    if (shift == 0) {
      return stream;
    }
  }
}

// A fixed-code block: literal 'A', then the given length symbol with
// distance symbol, then the end code; checked as `content`.
Bytes fixedBlock(unsigned lengthSymbol, unsigned distanceSymbol,
                 const Bytes& content) {
  Bits b;
  put(b, 1, 1);
  put(b, 1, 2);
  putCode(b, 0x30 + 'A', 8);
  // Length symbols 280-287 are 8 bits from 0xC0; 257-279, 7 bits from 0.
  if (lengthSymbol >= 280) {
    putCode(b, 0xC0 + lengthSymbol - 280, 8);
  } else {
    putCode(b, lengthSymbol - 256, 7);
  }
  putCode(b, distanceSymbol, 5);
  putCode(b, 0, 7);
  return zlib(b, content);
}

// A dynamic block whose distance code has one symbol of one bit: literal
// 'A', a match of 3 with the distance codeword `distanceBit`, the end code.
Bytes oneDistanceCode(unsigned distanceBit) {
  Bits b;
  put(b, 1, 1);
  put(b, 2, 2);
  // 258 literal and length codes, 1 distance code, 19 code length codes.
  put(b, 1, 5);
  put(b, 0, 5);
  put(b, 15, 4);
  // Code length code: lengths 0-15 all 4 bits, so length n is code n.
  const unsigned order[] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                            11, 4,  12, 3, 13, 2, 14, 1, 15};
  for (const unsigned symbol : order) {
    put(b, symbol < 16 ? 4 : 0, 3);
  }
  // Literals 0-253 take 8 bits; 254, 255, the end code and 257, 9 bits.
  for (unsigned symbol = 0; symbol < 258; ++symbol) {
    putCode(b, symbol < 254 ? 8 : 9, 4);
  }
  putCode(b, 1, 4);
  putCode(b, 'A', 8);
  putCode(b, 0x1FF, 9);  // 257, the last 9-bit code
  put(b, distanceBit, 1);
  putCode(b, 0x1FE, 9);  // 256
  return zlib(b, {'A', 'A', 'A', 'A'});
}

// A dynamic block whose first code length symbol is 16, a repeat of the
// length before it, when there is none yet.
Bytes repeatBeforeAnyLength() {
  Bits b;
  put(b, 1, 1);
  put(b, 2, 2);
  put(b, 1, 5);
  put(b, 0, 5);
  put(b, 15, 4);
  // Lengths 0-14 and the repeat code 16 take 4 bits each: 16 is code 15.
  const unsigned order[] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                            11, 4,  12, 3, 13, 2, 14, 1, 15};
  for (const unsigned symbol : order) {
    put(b, symbol < 15 || symbol == 16 ? 4 : 0, 3);
  }
  putCode(b, 15, 4);
  put(b, 3, 2);
  return zlib(b, {'A'});
}

Bytes stored(const Bytes& content) {
  Bits b;
  put(b, 1, 1);
  put(b, 0, 2);
  b.used = 8;
  put(b, static_cast<unsigned>(content.size()), 16);
  put(b, static_cast<unsigned>(content.size()) ^ 0xFFFFU, 16);
  b.bytes.insert(b.bytes.end(), content.begin(), content.end());
  return zlib(b, content);
}

Bytes compressed(const Bytes& content) {
  unsigned char* out = nullptr;
  std::size_t size = 0;
  LodePNGCompressSettings settings;
  lodepng_compress_settings_init(&settings);
  EXPECT_EQ(0U, lodepng_zlib_compress(&out, &size, content.data(),
                                      content.size(), &settings));
  Bytes stream(out, out + size);
  std::free(out);
  return stream;
}

Bytes pattern(std::size_t size) {
  Bytes content(size);
  for (std::size_t i = 0; i < size; ++i) {
    content[i] = static_cast<unsigned char>((i * i) >> 7U);
  }
  return content;
}

struct Inflated {
  unsigned error;
  Bytes bytes;
};

template <typename Inflate>
Inflated run(Inflate inflate, const Bytes& stream, std::size_t limit) {
  LodePNGDecompressSettings settings;
  lodepng_decompress_settings_init(&settings);
  settings.max_output_size = limit;
  unsigned char* out = nullptr;
  std::size_t size = 0;
  Inflated result{inflate(&out, &size, stream.data(), stream.size(), &settings),
                  Bytes(out, out + size)};
  std::free(out);
  return result;
}

struct Stream {
  std::string name;
  Bytes bytes;
  std::size_t limit;
};

TEST(Inflate, SameBytesAndCodesAsTheCodec) {
  const Bytes big = pattern(300000);
  Bytes trailing = compressed(big);
  trailing.push_back(0);
  Bytes badChecksum = compressed(big);
  badChecksum.back() ^= 1U;
  Bytes truncated = compressed(big);
  truncated.resize(truncated.size() / 2);
  const std::vector<Stream> streams = {
      {"codec's stream", compressed(big), 1U << 20U},
      {"codec's stream at its exact size", compressed(big), big.size()},
      {"codec's stream past the limit", compressed(big), big.size() - 1},
      {"empty content", compressed({}), 100},
      {"a byte after the checksum", trailing, 1U << 20U},
      {"wrong checksum", badChecksum, 1U << 20U},
      {"cut short", truncated, 1U << 20U},
      {"stored block", stored(pattern(1000)), 5000},
      {"fixed codes", fixedBlock(257, 0, Bytes(4, 'A')), 100},
      {"fixed codes, length symbol 286", fixedBlock(286, 0, Bytes(4, 'A')),
       1000},
      {"fixed codes, length symbol 286 as 258",
       fixedBlock(286, 0, Bytes(259, 'A')), 1000},
      {"fixed codes, distance symbol 30", fixedBlock(257, 30, Bytes(4, 'A')),
       100},
      {"one-bit distance code, codeword 0", oneDistanceCode(0), 100},
      {"one-bit distance code, codeword 1", oneDistanceCode(1), 100},
      {"repeat code first", repeatBeforeAnyLength(), 100},
      {"no header", {0x78}, 100},
      {"preset dictionary", {0x78, 0xBB, 3, 0, 0, 0, 0, 1}, 100},
  };
  for (const Stream& stream : streams) {
    const Inflated codec =
        run(lodepng_zlib_decompress, stream.bytes, stream.limit);
    const Inflated ours =
        run(tib::codec::inflateZlib, stream.bytes, stream.limit);
    EXPECT_EQ(codec.error, ours.error) << stream.name;
    if (codec.error == 0) {
      EXPECT_TRUE(codec.bytes == ours.bytes) << stream.name;
    }
  }
}

}  // namespace
