#include "codec/deflate.h"

#include <libdeflate.h>
#include <lodepng.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "codec/deflate_tables.h"
#include "codec/split_work.h"

namespace tib::codec {

namespace {

constexpr std::size_t kWindow = 2048;
constexpr std::size_t kWindowMask = kWindow - 1;
constexpr unsigned kMaxChain = kWindow / 8;
constexpr unsigned kMaxLazy = 64;
constexpr unsigned kNiceMatch = 128;
constexpr unsigned kMaxMatch = 258;
constexpr std::size_t kHashValues = 65536;

// The code of a length or distance: the one with the largest base not above
// it (258 is code 28, not 27 with all extra bits set).
template <std::size_t Codes, std::size_t Size>
constexpr std::array<unsigned char, Size> codeTable(
    const std::array<uint16_t, Codes>& base) {
  std::array<unsigned char, Size> table{};
  std::size_t code = 0;
  for (std::size_t value = 0; value < Size; ++value) {
    while (code + 1 < Codes && base[code + 1] <= value) {
      ++code;
    }
    table[value] = static_cast<unsigned char>(code);
  }
  return table;
}
constexpr auto kLengthCode = codeTable<29, kMaxMatch + 1>(kLengthBase);
constexpr auto kDistanceCode = codeTable<30, kWindow + 1>(kDistanceBase);

// The codec's hash chains, kept across blocks.
struct HashChains {
  std::vector<int16_t> head = std::vector<int16_t>(kHashValues, -1);
  std::vector<int32_t> value = std::vector<int32_t>(kWindow, -1);
  std::vector<uint16_t> chain = identity();
  std::vector<uint16_t> zeros = std::vector<uint16_t>(kWindow, 0);
  std::array<int16_t, kMaxMatch + 1> headZeros = minusOnes();
  std::vector<uint16_t> chainZeros = identity();

  static std::vector<uint16_t> identity() {
    std::vector<uint16_t> links(kWindow);
    for (std::size_t i = 0; i < kWindow; ++i) {
      links[i] = static_cast<uint16_t>(i);
    }
    return links;
  }
  static std::array<int16_t, kMaxMatch + 1> minusOnes() {
    std::array<int16_t, kMaxMatch + 1> heads{};
    heads.fill(-1);
    return heads;
  }
};

unsigned hashAt(const unsigned char* in, std::size_t size, std::size_t pos) {
  if (pos + 2 < size) {
    return (in[pos] ^ (static_cast<unsigned>(in[pos + 1]) << 4U) ^
            (static_cast<unsigned>(in[pos + 2]) << 8U)) &
           0xFFFFU;
  }
  unsigned result = 0;
  for (std::size_t i = 0; pos + i < size; ++i) {
    result ^= static_cast<unsigned>(in[pos + i]) << (i * 8U);
  }
  return result & 0xFFFFU;
}

// How many of the bytes a and b (up to `limit`) agree from the start.
std::size_t commonLength(const unsigned char* a, const unsigned char* b,
                         std::size_t limit) {
  std::size_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x = 0;
    uint64_t y = 0;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) {
      return n + static_cast<std::size_t>(__builtin_ctzll(x ^ y)) / 8;
    }
    n += 8;
  }
  while (n < limit && a[n] == b[n]) {
    ++n;
  }
  return n;
}

// Zero bytes from `pos`, at most a match's length. Out of line: most
// positions never need it.
[[gnu::noinline]] unsigned zeroRun(const unsigned char* in, std::size_t size,
                                   std::size_t pos) {
  const std::size_t limit = std::min<std::size_t>(kMaxMatch, size - pos);
  std::size_t n = 0;
  while (n + 8 <= limit) {
    uint64_t word = 0;
    std::memcpy(&word, in + pos + n, 8);
    if (word != 0) {
      return static_cast<unsigned>(
          n + static_cast<std::size_t>(__builtin_ctzll(word)) / 8);
    }
    n += 8;
  }
  while (n < limit && in[pos + n] == 0) {
    ++n;
  }
  return static_cast<unsigned>(n);
}

void insert(HashChains& h, std::size_t wpos, unsigned hash, unsigned zeros) {
  h.value[wpos] = static_cast<int32_t>(hash);
  if (h.head[hash] != -1) {
    h.chain[wpos] = static_cast<uint16_t>(h.head[hash]);
  }
  h.head[hash] = static_cast<int16_t>(wpos);
  h.zeros[wpos] = static_cast<uint16_t>(zeros);
  if (h.headZeros[zeros] != -1) {
    h.chainZeros[wpos] = static_cast<uint16_t>(h.headZeros[zeros]);
  }
  h.headZeros[zeros] = static_cast<int16_t>(wpos);
}

// The LZ77 output of one block: literals as themselves, matches as
// kMatch | length << 16 | distance; with the symbol counts.
constexpr uint32_t kMatch = 1U << 31U;

struct Symbols {
  std::vector<uint32_t> items;
  std::array<unsigned, 286> literalCounts{};
  std::array<unsigned, 30> distanceCounts{};
};

void addLiteral(Symbols& out, unsigned char byte) {
  out.items.push_back(byte);
  ++out.literalCounts[byte];
}

void addMatch(Symbols& out, unsigned length, unsigned distance) {
  out.items.push_back(kMatch | length << 16U | distance);
  ++out.literalCounts[257 + kLengthCode[length]];
  ++out.distanceCounts[kDistanceCode[distance]];
}

// The run of zeros at `pos` as the codec tracks it from the one before.
// Inline: it runs at every byte.
[[gnu::always_inline]] inline unsigned nextZeros(const unsigned char* in,
                                                 std::size_t size,
                                                 std::size_t pos, unsigned hash,
                                                 unsigned zeros) {
  if (hash != 0) {
    return 0;
  }
  if (zeros == 0) {
    return zeroRun(in, size, pos);
  }
  return pos + zeros > size || in[pos + zeros - 1] != 0 ? zeros - 1 : zeros;
}

void matchBlock(HashChains& h, const unsigned char* in, std::size_t begin,
                std::size_t end, Symbols& out) {
  unsigned zeros = 0;
  bool lazy = false;
  unsigned lazyLength = 0;
  unsigned lazyOffset = 0;
  for (std::size_t pos = begin; pos < end; ++pos) {
    std::size_t wpos = pos & kWindowMask;
    unsigned hash = hashAt(in, end, pos);
    zeros = nextZeros(in, end, pos, hash, zeros);
    insert(h, wpos, hash, zeros);

    unsigned length = 0;
    unsigned offset = 0;
    std::size_t hashpos = h.chain[wpos];
    const std::size_t limit = std::min<std::size_t>(end, pos + kMaxMatch);
    std::size_t previousOffset = 0;
    for (unsigned chainLength = 0; chainLength < kMaxChain; ++chainLength) {
      const std::size_t current =
          hashpos <= wpos ? wpos - hashpos : wpos - hashpos + kWindow;
      if (current < previousOffset) {
        break;
      }
      previousOffset = current;
      // Only a longer match counts: one whose byte at `length` agrees.
      if (current > 0 && pos + length < limit &&
          in[pos + length] == in[pos - current + length]) {
        std::size_t skip = 0;
        if (zeros >= 3) {
          skip = std::min<std::size_t>(h.zeros[hashpos], zeros);
        }
        const std::size_t found =
            skip + commonLength(in + pos + skip, in + pos - current + skip,
                                limit - pos - skip);
        if (found > length) {
          length = static_cast<unsigned>(found);
          offset = static_cast<unsigned>(current);
          if (length >= kNiceMatch) {
            break;
          }
        }
      }
      if (hashpos == h.chain[hashpos]) {
        break;
      }
      if (zeros >= 3 && length > zeros) {
        hashpos = h.chainZeros[hashpos];
        if (h.zeros[hashpos] != zeros) {
          break;
        }
      } else {
        hashpos = h.chain[hashpos];
        if (h.value[hashpos] != static_cast<int32_t>(hash)) {
          break;
        }
      }
    }

    if (!lazy && length >= 3 && length <= kMaxLazy) {
      lazy = true;
      lazyLength = length;
      lazyOffset = offset;
      continue;
    }
    if (lazy) {
      lazy = false;
      if (length > lazyLength + 1) {
        addLiteral(out, in[pos - 1]);
      } else {
        length = lazyLength;
        offset = lazyOffset;
        h.head[hash] = -1;
        h.headZeros[zeros] = -1;
        --pos;
      }
    }
    if (length < 3) {
      addLiteral(out, in[pos]);
      continue;
    }
    addMatch(out, length, offset);
    for (unsigned i = 1; i < length; ++i) {
      ++pos;
      wpos = pos & kWindowMask;
      hash = hashAt(in, end, pos);
      zeros = nextZeros(in, end, pos, hash, zeros);
      insert(h, wpos, hash, zeros);
    }
  }
}

// Bits go out least significant first, 32 at a time.
struct BitWriter {
  unsigned char* at = nullptr;
  uint64_t bits = 0;
  unsigned count = 0;
};

void put(BitWriter& w, uint64_t value, unsigned count) {
  w.bits |= value << w.count;
  w.count += count;
  if (w.count >= 32) {
    const auto word = static_cast<uint32_t>(w.bits);
    std::memcpy(w.at, &word, 4);
    w.at += 4;
    w.bits >>= 32U;
    w.count -= 32;
  }
}

// A Huffman code: lengths, and codes bit-reversed for writing.
struct Code {
  std::vector<unsigned> lengths;
  std::vector<uint32_t> codes;
};

unsigned makeCode(Code& code, const unsigned* counts, std::size_t minCodes,
                  std::size_t numCodes, unsigned maxBits) {
  while (numCodes > minCodes && counts[numCodes - 1] == 0) {
    --numCodes;
  }
  code.lengths.assign(numCodes, 0);
  const unsigned error = lodepng_huffman_code_lengths(
      code.lengths.data(), counts, numCodes, maxBits);
  if (error != 0) {
    return error;
  }
  std::array<uint32_t, 17> perLength{};
  for (const unsigned length : code.lengths) {
    ++perLength[length];
  }
  perLength[0] = 0;
  std::array<uint32_t, 17> next{};
  for (std::size_t bits = 1; bits <= maxBits; ++bits) {
    next[bits] = (next[bits - 1] + perLength[bits - 1]) << 1U;
  }
  code.codes.assign(numCodes, 0);
  for (std::size_t symbol = 0; symbol < numCodes; ++symbol) {
    const unsigned length = code.lengths[symbol];
    if (length == 0) {
      continue;
    }
    uint32_t value = next[length]++;
    uint32_t reversed = 0;
    for (unsigned i = 0; i < length; ++i) {
      reversed = (reversed << 1U) | (value & 1U);
      value >>= 1U;
    }
    code.codes[symbol] = reversed;
  }
  return 0;
}

void putSymbol(BitWriter& w, const Code& code, std::size_t symbol) {
  put(w, code.codes[symbol], code.lengths[symbol]);
}

// The code lengths of both codes, with the repeat codes 16 (the previous
// length 3-6 times), 17 (3-10 zeros) and 18 (11-138 zeros), each repeat code
// followed by its count.
std::vector<unsigned> runLengths(const std::vector<unsigned>& lengths) {
  std::vector<unsigned> out;
  const std::size_t n = lengths.size();
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t j = 0;
    while (i + j + 1 < n && lengths[i + j + 1] == lengths[i]) {
      ++j;
    }
    if (lengths[i] == 0 && j >= 2) {
      ++j;
      if (j <= 10) {
        out.push_back(17);
        out.push_back(static_cast<unsigned>(j - 3));
      } else {
        j = std::min<std::size_t>(j, 138);
        out.push_back(18);
        out.push_back(static_cast<unsigned>(j - 11));
      }
      i += j - 1;
    } else if (j >= 3) {
      out.push_back(lengths[i]);
      for (std::size_t k = 0; k < j / 6; ++k) {
        out.push_back(16);
        out.push_back(3);
      }
      const std::size_t rest = j % 6;
      if (rest >= 3) {
        out.push_back(16);
        out.push_back(static_cast<unsigned>(rest - 3));
      } else {
        j -= rest;
      }
      i += j;
    } else {
      out.push_back(lengths[i]);
    }
  }
  return out;
}

// Writes one dynamic block of the LZ77 symbols.
unsigned writeBlock(BitWriter& w, Symbols& symbols, bool final) {
  symbols.literalCounts[256] = 1;
  Code literals;
  Code distances;
  unsigned error =
      makeCode(literals, symbols.literalCounts.data(), 257, 286, 15);
  if (error == 0) {
    error = makeCode(distances, symbols.distanceCounts.data(), 2, 30, 15);
  }
  if (error != 0) {
    return error;
  }
  std::vector<unsigned> lengths = literals.lengths;
  lengths.insert(lengths.end(), distances.lengths.begin(),
                 distances.lengths.end());
  const std::vector<unsigned> encoded = runLengths(lengths);
  std::array<unsigned, 19> counts{};
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    ++counts[encoded[i]];
    if (encoded[i] >= 16) {
      ++i;
    }
  }
  Code codeLengths;
  error = makeCode(codeLengths, counts.data(), 19, 19, 7);
  if (error != 0) {
    return error;
  }
  std::size_t stored = 19;
  while (stored > 4 && codeLengths.lengths[kCodeLengthOrder[stored - 1]] == 0) {
    --stored;
  }

  put(w, final ? 1 : 0, 1);
  put(w, 2, 2);
  put(w, literals.lengths.size() - 257, 5);
  put(w, distances.lengths.size() - 1, 5);
  put(w, stored - 4, 4);
  for (std::size_t i = 0; i < stored; ++i) {
    put(w, codeLengths.lengths[kCodeLengthOrder[i]], 3);
  }
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const unsigned symbol = encoded[i];
    putSymbol(w, codeLengths, symbol);
    if (symbol >= 16) {
      static constexpr std::array<unsigned, 3> kCountBits = {2, 3, 7};
      put(w, encoded[++i], kCountBits[symbol - 16]);
    }
  }
  for (const uint32_t item : symbols.items) {
    if ((item & kMatch) == 0) {
      putSymbol(w, literals, item);
      continue;
    }
    const unsigned length = (item >> 16U) & 0x1FFU;
    const unsigned distance = item & 0xFFFFU;
    const unsigned lengthCode = kLengthCode[length];
    const unsigned distanceCode = kDistanceCode[distance];
    putSymbol(w, literals, 257 + lengthCode);
    put(w, length - kLengthBase[lengthCode], kLengthExtra[lengthCode]);
    putSymbol(w, distances, distanceCode);
    put(w, distance - kDistanceBase[distanceCode],
        kDistanceExtra[distanceCode]);
  }
  putSymbol(w, literals, 256);
  return 0;
}

// Inserts the positions of a block into the chains as matching does: every
// position once, in order (a lazy match inserts its first position again,
// to the same effect), so the chains at any block's start depend on the
// bytes alone.
void insertBlock(HashChains& h, const unsigned char* in, std::size_t begin,
                 std::size_t end) {
  unsigned zeros = 0;
  for (std::size_t pos = begin; pos < end; ++pos) {
    const unsigned hash = hashAt(in, end, pos);
    zeros = nextZeros(in, end, pos, hash, zeros);
    insert(h, pos & kWindowMask, hash, zeros);
  }
}

// Appends blocks to `out` from `written` on, with the bits not yet stored.
struct StreamWriter {
  std::vector<unsigned char>& out;
  std::size_t written = 0;
  BitWriter bits;
};

unsigned appendBlock(StreamWriter& stream, Symbols& symbols, bool final) {
  // At most 48 bits a symbol, and the block header.
  stream.out.resize(stream.written + symbols.items.size() * 6 + 1024);
  stream.bits.at = stream.out.data() + stream.written;
  const unsigned error = writeBlock(stream.bits, symbols, final);
  stream.written = static_cast<std::size_t>(stream.bits.at - stream.out.data());
  return error;
}

void reset(Symbols& symbols) {
  symbols.items.clear();
  symbols.literalCounts.fill(0);
  symbols.distanceCounts.fill(0);
}

}  // namespace

unsigned appendZlib(std::vector<unsigned char>& out, const unsigned char* data,
                    std::size_t size, bool twoThreads) {
  // Window 32 KiB, no dictionary, check bits.
  out.push_back(0x78);
  out.push_back(0x01);
  const std::size_t blockSize =
      std::clamp<std::size_t>(size / 8 + 8, 65536, 262144);
  const std::size_t blocks =
      std::max<std::size_t>(1, (size + blockSize - 1) / blockSize);
  const bool split = twoThreads && size >= kSplitBytes && blocks >= 2;
  // The second thread first fills its chains, so it takes fewer blocks.
  const std::size_t here =
      split ? std::min(blocks - 1, (blocks * 14 + 24) / 25) : blocks;
  const auto begin = [&](std::size_t block) { return block * blockSize; };
  const auto end = [&](std::size_t block) {
    return std::min(begin(block) + blockSize, size);
  };
  StreamWriter stream{out, out.size(), {}};
  unsigned error = 0;
  std::vector<Symbols> later(blocks - here);
  runBoth(
      split,
      [&] {
        HashChains chains;
        Symbols symbols;
        symbols.items.reserve(std::min(size, blockSize));
        for (std::size_t block = 0; block < here && error == 0; ++block) {
          reset(symbols);
          matchBlock(chains, data, begin(block), end(block), symbols);
          error = appendBlock(stream, symbols, block + 1 == blocks);
        }
      },
      [&] {
        if (later.empty()) {
          return;
        }
        HashChains chains;
        for (std::size_t block = 0; block < here; ++block) {
          insertBlock(chains, data, begin(block), end(block));
        }
        for (std::size_t block = here; block < blocks; ++block) {
          matchBlock(chains, data, begin(block), end(block),
                     later[block - here]);
        }
      });
  for (std::size_t block = here; block < blocks && error == 0; ++block) {
    error = appendBlock(stream, later[block - here], block + 1 == blocks);
  }
  if (error != 0) {
    return error;
  }
  BitWriter& w = stream.bits;
  out.resize(stream.written + 8);
  w.at = out.data() + stream.written;
  while (w.count > 0) {
    *w.at++ = static_cast<unsigned char>(w.bits);
    w.bits >>= 8U;
    w.count = w.count > 8 ? w.count - 8 : 0;
  }
  out.resize(static_cast<std::size_t>(w.at - out.data()));
  const uint32_t adler = libdeflate_adler32(1, data, size);
  for (unsigned shift = 32; shift != 0; shift -= 8) {
    out.push_back(static_cast<unsigned char>(adler >> (shift - 8)));
  }
  return 0;
}

}  // namespace tib::codec
