#include "tib/png_encode.h"

#include <emmintrin.h>  // SSE2, the amd64 baseline
#include <libdeflate.h>
#include <lodepng.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <future>
#include <new>
#include <system_error>
#include <utility>

// Every decision below is the codec's (lodepng 20220618, default encoder
// settings); what differs is how it is computed: colours are counted in a
// small hash table instead of a tree, the five filters of a row are tried 16
// bytes at a time, matches are compared 8 bytes at a time and rejected on
// one byte first, and bits go out 32 at a time.

namespace tib {
namespace {

// The codec's error codes.
constexpr unsigned kInputTooSmall = 84;
constexpr unsigned kOutOfMemory = 83;

// ---------------------------------------------------------------------------
// Colour type and bit depth, chosen from the pixels as the codec does.

enum class ColourType : unsigned char {
  grey = 0,
  rgb = 2,
  palette = 3,
  greyAlpha = 4,
  rgba = 6
};

struct ColourMode {
  ColourType type = ColourType::rgba;
  unsigned bitDepth = 8;
  bool key = false;
  // The key colour of an image with one fully transparent colour.
  std::array<unsigned char, 3> keyColour{};
  // Colours as r | g << 8 | b << 16 | a << 24, in order of first appearance.
  std::vector<uint32_t> palette;
};

uint32_t loadPixel(const unsigned char* at) {
  uint32_t pixel = 0;
  std::memcpy(&pixel, at, 4);
  return pixel;
}

unsigned char red(uint32_t pixel) { return static_cast<unsigned char>(pixel); }
unsigned char alpha(uint32_t pixel) {
  return static_cast<unsigned char>(pixel >> 24);
}

// The distinct colours of an image, counted up to the codec's limit of 257,
// with their index in order of first appearance.
constexpr std::size_t kColourLimit = 257;
constexpr std::size_t kColourSlots = 1024;

struct ColourTable {
  std::array<uint32_t, kColourSlots> colour{};
  // Index + 1 of the colour in the slot; 0 for a free slot.
  std::array<uint16_t, kColourSlots> index{};
  std::vector<uint32_t> order;
};

std::size_t slotOf(uint32_t colour) { return (colour * 0x9E3779B1U) >> 22U; }

// The index of `colour`, or -1 when it is not in the table.
int findColour(const ColourTable& table, uint32_t colour) {
  for (std::size_t slot = slotOf(colour);; slot = (slot + 1) % kColourSlots) {
    if (table.index[slot] == 0) {
      return -1;
    }
    if (table.colour[slot] == colour) {
      return table.index[slot] - 1;
    }
  }
}

// Adds `colour` when new and the table is not full; false when it is new and
// the table is full.
bool addColour(ColourTable& table, uint32_t colour) {
  std::size_t slot = slotOf(colour);
  for (; table.index[slot] != 0; slot = (slot + 1) % kColourSlots) {
    if (table.colour[slot] == colour) {
      return true;
    }
  }
  if (table.order.size() >= kColourLimit) {
    return false;
  }
  table.order.push_back(colour);
  table.colour[slot] = colour;
  table.index[slot] = static_cast<uint16_t>(table.order.size());
  return true;
}

// What one pass over all pixels tells: any pixel not grey, any alpha other
// than 0 and 255, any alpha of 0.
struct PixelFacts {
  bool colored = false;
  bool translucent = false;
  bool transparent = false;
};

PixelFacts scanPixels(const unsigned char* rgba, std::size_t count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i greenBlue = _mm_set1_epi32(0x00FFFF00);
  const __m128i opaque = _mm_set1_epi32(255);
  __m128i colored = zero;
  __m128i translucent = zero;
  __m128i transparent = zero;
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i x =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgba + i * 4));
    // g ^ r and b ^ g in bytes 1 and 2 of each pixel.
    colored = _mm_or_si128(
        colored,
        _mm_and_si128(_mm_xor_si128(x, _mm_slli_epi32(x, 8)), greenBlue));
    const __m128i a = _mm_srli_epi32(x, 24);
    const __m128i none = _mm_cmpeq_epi32(a, zero);
    const __m128i full = _mm_cmpeq_epi32(a, opaque);
    transparent = _mm_or_si128(transparent, none);
    translucent = _mm_or_si128(
        translucent,
        _mm_andnot_si128(_mm_or_si128(none, full), _mm_set1_epi32(-1)));
  }
  PixelFacts facts;
  facts.colored = _mm_movemask_epi8(_mm_cmpeq_epi8(colored, zero)) != 0xFFFF;
  facts.translucent = _mm_movemask_epi8(translucent) != 0;
  facts.transparent = _mm_movemask_epi8(transparent) != 0;
  for (; i < count; ++i) {
    const uint32_t pixel = loadPixel(rgba + i * 4);
    const uint32_t r = pixel & 0xFFU;
    facts.colored = facts.colored || ((pixel >> 8) & 0xFFU) != r ||
                    ((pixel >> 16) & 0xFFU) != r;
    facts.translucent =
        facts.translucent || (alpha(pixel) != 0 && alpha(pixel) != 255);
    facts.transparent = facts.transparent || alpha(pixel) == 0;
  }
  return facts;
}

// The bits a grey value needs: 1, 2 or 4 when the value is one the smaller
// depths scale up exactly to, else 8.
unsigned bitsForGrey(unsigned char value) {
  if (value == 0 || value == 255) {
    return 1;
  }
  if (value % 17 == 0) {
    return value % 85 == 0 ? 2 : 4;
  }
  return 8;
}

ColourMode chooseColourMode(const unsigned char* rgba, std::size_t count,
                            ColourTable& table) {
  const PixelFacts facts = scanPixels(rgba, count);
  bool hasAlpha = facts.translucent;
  bool key = false;
  uint32_t keyColour = 0;
  if (!hasAlpha && facts.transparent) {
    // One fully transparent colour can be a key, unless another transparent
    // colour or an opaque pixel of the same colour rules it out.
    std::size_t first = 0;
    while (alpha(loadPixel(rgba + first * 4)) != 0) {
      ++first;
    }
    keyColour = loadPixel(rgba + first * 4) & 0xFFFFFFU;
    for (std::size_t i = 0; i < count && !hasAlpha; ++i) {
      const uint32_t pixel = loadPixel(rgba + i * 4);
      hasAlpha = (pixel & 0xFFFFFFU) == keyColour ? alpha(pixel) == 255
                                                  : alpha(pixel) == 0;
    }
    key = !hasAlpha;
  }
  unsigned bits = 8;
  if (!facts.colored && !hasAlpha) {
    bits = 1;
    for (std::size_t i = 0; i < count && bits < 8; ++i) {
      bits = std::max(bits, bitsForGrey(red(loadPixel(rgba + i * 4))));
    }
  }
  uint32_t last = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t pixel = loadPixel(rgba + i * 4);
    if ((i != 0 && pixel == last) || addColour(table, pixel)) {
      last = pixel;
      continue;
    }
    break;
  }

  if (key && count <= 16) {
    // Too few pixels to pay for the tRNS chunk.
    hasAlpha = true;
    key = false;
    bits = 8;
  }
  const bool grey = !facts.colored;
  const std::size_t colours = table.order.size();
  const unsigned paletteBits =
      colours <= 2 ? 1 : (colours <= 4 ? 2 : (colours <= 16 ? 4 : 8));
  bool usePalette = colours <= 256 && colours != 0 && count >= colours * 2;
  if (grey && !hasAlpha && bits <= paletteBits) {
    usePalette = false;
  }
  ColourMode mode;
  if (usePalette) {
    mode.type = ColourType::palette;
    mode.bitDepth = paletteBits;
    mode.palette = table.order;
    return mode;
  }
  mode.bitDepth = bits;
  if (hasAlpha) {
    mode.type = grey ? ColourType::greyAlpha : ColourType::rgba;
  } else {
    mode.type = grey ? ColourType::grey : ColourType::rgb;
  }
  if (key) {
    const unsigned mask = (1U << bits) - 1U;
    mode.key = true;
    for (std::size_t c = 0; c < 3; ++c) {
      mode.keyColour[c] =
          static_cast<unsigned char>((keyColour >> (8 * c)) & mask);
    }
  }
  return mode;
}

unsigned bitsPerPixel(const ColourMode& mode) {
  switch (mode.type) {
    case ColourType::rgb:
      return 24;
    case ColourType::greyAlpha:
      return 16;
    case ColourType::rgba:
      return 32;
    case ColourType::grey:
    case ColourType::palette:
      break;
  }
  return mode.bitDepth;
}

// Writes one row of pixels in the chosen mode; 3-byte pixels are stored 4
// bytes at a time, so `out` has one byte to spare past the row.
void convertRow(const ColourMode& mode, const ColourTable& table,
                const unsigned char* rgba, std::size_t width,
                unsigned char* out) {
  switch (mode.type) {
    case ColourType::rgba:
      std::memcpy(out, rgba, width * 4);
      return;
    case ColourType::rgb:
      for (std::size_t x = 0; x < width; ++x) {
        std::memcpy(out + x * 3, rgba + x * 4, 4);
      }
      return;
    case ColourType::greyAlpha:
      for (std::size_t x = 0; x < width; ++x) {
        out[x * 2] = rgba[x * 4];
        out[x * 2 + 1] = rgba[x * 4 + 3];
      }
      return;
    case ColourType::grey:
    case ColourType::palette:
      break;
  }
  const unsigned depth = mode.bitDepth;
  const bool palette = mode.type == ColourType::palette;
  uint32_t last = 0;
  unsigned value = 0;
  unsigned packed = 0;
  unsigned filled = 0;
  for (std::size_t x = 0; x < width; ++x) {
    const uint32_t pixel = loadPixel(rgba + x * 4);
    if (palette) {
      if (x == 0 || pixel != last) {
        value = static_cast<unsigned>(findColour(table, pixel));
        last = pixel;
      }
    } else {
      value = red(pixel) >> (8U - depth);
    }
    packed = (packed << depth) | value;
    filled += depth;
    if (filled == 8) {
      *out++ = static_cast<unsigned char>(packed);
      packed = 0;
      filled = 0;
    }
  }
  if (filled != 0) {
    *out = static_cast<unsigned char>(packed << (8U - filled));
  }
}

// ---------------------------------------------------------------------------
// Row filters: the codec's minimum-sum rule, or none for palette images and
// depths below 8.

__m128i paethLanes(__m128i a, __m128i b, __m128i c) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bc = _mm_sub_epi16(b, c);
  const __m128i ac = _mm_sub_epi16(a, c);
  const __m128i pa = _mm_max_epi16(bc, _mm_sub_epi16(zero, bc));
  const __m128i pb = _mm_max_epi16(ac, _mm_sub_epi16(zero, ac));
  const __m128i abc = _mm_add_epi16(bc, ac);
  const __m128i pc = _mm_max_epi16(abc, _mm_sub_epi16(zero, abc));
  const __m128i takeB = _mm_cmplt_epi16(pb, pa);
  const __m128i nearest =
      _mm_or_si128(_mm_and_si128(takeB, b), _mm_andnot_si128(takeB, a));
  const __m128i takeC = _mm_cmplt_epi16(pc, _mm_min_epi16(pa, pb));
  return _mm_or_si128(_mm_and_si128(takeC, c),
                      _mm_andnot_si128(takeC, nearest));
}

// Rows padded for whole 16-byte loads: 16 zero bytes before (the pixel left
// of the first), 16 bytes after.
constexpr std::size_t kRowPad = 16;

// Filters a row into `out` (filter type byte first) by the codec's rule:
// each filter's sum of bytes, taken as unsigned for none and as their
// distance from 0 (255 - s above 127) for the others; the first smallest
// wins.
void filterRow(const unsigned char* row, const unsigned char* above,
               std::size_t length, std::size_t bytewidth,
               const std::array<unsigned char*, 5>& tries, unsigned char* out) {
  static constexpr std::array<unsigned char, 32> kTail = {
      255, 255, 255, 255, 255, 255, 255, 255,
      255, 255, 255, 255, 255, 255, 255, 255};
  const auto load = [](const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi8(1);
  __m128i sumNone = zero;
  __m128i sumSub = zero;
  __m128i sumUp = zero;
  __m128i sumAverage = zero;
  __m128i sumPaeth = zero;
  // Stores the filtered bytes and adds their distances from 0.
  const auto take = [&](std::size_t type, std::size_t at, __m128i keep,
                        __m128i lanes, __m128i& sum) {
    lanes = _mm_and_si128(lanes, keep);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(tries[type] + at), lanes);
    const __m128i magnitude =
        type == 0 ? lanes : _mm_xor_si128(lanes, _mm_cmplt_epi8(lanes, zero));
    sum = _mm_add_epi64(sum, _mm_sad_epu8(magnitude, zero));
  };
  for (std::size_t at = 0; at < length; at += 16) {
    // x the row, a one pixel left, b above, c above-left.
    const __m128i x = load(row + at);
    const __m128i a = load(row + at - bytewidth);
    const __m128i b = load(above + at);
    const __m128i c = load(above + at - bytewidth);
    const __m128i keep =
        load(kTail.data() + 16 - std::min<std::size_t>(16, length - at));
    // The floor of (a + b) / 2: the rounded-up average less the odd bit.
    const __m128i average = _mm_sub_epi8(
        _mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
    const __m128i paeth = _mm_packus_epi16(
        paethLanes(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                   _mm_unpacklo_epi8(c, zero)),
        paethLanes(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                   _mm_unpackhi_epi8(c, zero)));
    take(0, at, keep, x, sumNone);
    take(1, at, keep, _mm_sub_epi8(x, a), sumSub);
    take(2, at, keep, _mm_sub_epi8(x, b), sumUp);
    take(3, at, keep, _mm_sub_epi8(x, average), sumAverage);
    take(4, at, keep, _mm_sub_epi8(x, paeth), sumPaeth);
  }
  const auto total = [](__m128i sum) {
    return static_cast<uint64_t>(_mm_cvtsi128_si64(sum)) +
           static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_srli_si128(sum, 8)));
  };
  const std::array<uint64_t, 5> sums = {total(sumNone), total(sumSub),
                                        total(sumUp), total(sumAverage),
                                        total(sumPaeth)};
  std::size_t best = 0;
  for (std::size_t type = 1; type < 5; ++type) {
    if (sums[type] < sums[best]) {
      best = type;
    }
  }
  out[0] = static_cast<unsigned char>(best);
  std::memcpy(out + 1, tries[best], length);
}

// Runs `first` here and `second` on a thread of its own when `split`, else
// both here, one after the other.
template <typename First, typename Second>
void runBoth(bool split, First&& first, Second&& second) {
  std::future<void> other;
  if (split) {
    try {
      other = std::async(std::launch::async, std::forward<Second>(second));
    } catch (const std::system_error&) {
      split = false;
    }
  }
  first();
  if (split) {
    other.get();
  } else {
    second();
  }
}

// Scanlines of this many bytes and more (RGB pictures from about 1700 x
// 1700) are filtered and matched on two threads. The second thread first
// fills its hash chains with the bytes before its blocks, about an eighth
// more work in all: below this size a busy machine (a server rendering on
// every core) would lose more than an idle one gains.
constexpr std::size_t kSplitBytes = std::size_t{8} << 20U;

struct Scanlines {
  std::vector<unsigned char> bytes;
  // Without the 16 bytes to spare at the end.
  std::size_t size = 0;
};

// Rows [first, last) as the codec deflates them: each row's filter type,
// then the filtered row.
void filterRows(const ColourMode& mode, const ColourTable& table,
                const unsigned char* rgba, std::size_t width, std::size_t first,
                std::size_t last, unsigned char* out) {
  const unsigned bpp = bitsPerPixel(mode);
  const std::size_t length = (width * bpp + 7) / 8;
  if (mode.type == ColourType::palette || mode.bitDepth < 8) {
    for (std::size_t y = first; y < last; ++y) {
      unsigned char* line = out + y * (length + 1);
      line[0] = 0;
      convertRow(mode, table, rgba + y * width * 4, width, line + 1);
    }
    return;
  }
  const std::size_t padded = kRowPad + length + kRowPad;
  std::vector<unsigned char> work(padded * 2 + (length + kRowPad) * 5);
  unsigned char* row = work.data() + kRowPad;
  unsigned char* above = work.data() + padded + kRowPad;
  std::array<unsigned char*, 5> tries{};
  for (std::size_t type = 0; type < 5; ++type) {
    tries[type] = work.data() + padded * 2 + type * (length + kRowPad);
  }
  if (first > 0) {
    convertRow(mode, table, rgba + (first - 1) * width * 4, width, above);
  }
  const std::size_t bytewidth = bpp / 8;
  for (std::size_t y = first; y < last; ++y) {
    convertRow(mode, table, rgba + y * width * 4, width, row);
    filterRow(row, above, length, bytewidth, tries, out + y * (length + 1));
    std::swap(row, above);
  }
}

// The scanlines, with 16 bytes to spare at the end.
Scanlines scanlines(const ColourMode& mode, const ColourTable& table,
                    const unsigned char* rgba, std::size_t width,
                    std::size_t height) {
  const std::size_t length = (width * bitsPerPixel(mode) + 7) / 8;
  Scanlines lines;
  lines.size = height * (length + 1);
  lines.bytes.resize(lines.size + 16);
  const std::size_t middle = height / 2;
  unsigned char* out = lines.bytes.data();
  runBoth(
      lines.size >= kSplitBytes,
      [&] { filterRows(mode, table, rgba, width, 0, middle, out); },
      [&] { filterRows(mode, table, rgba, width, middle, height, out); });
  return lines;
}

// ---------------------------------------------------------------------------
// Deflate, as the codec writes it: dynamic blocks of a size set by the
// input, LZ77 over a 2048-byte window with its hash chains, lazy matching
// and run-of-zeros chain.

constexpr std::size_t kWindow = 2048;
constexpr std::size_t kWindowMask = kWindow - 1;
constexpr unsigned kMaxChain = kWindow / 8;
constexpr unsigned kMaxLazy = 64;
constexpr unsigned kNiceMatch = 128;
constexpr unsigned kMaxMatch = 258;
constexpr std::size_t kHashValues = 65536;

constexpr std::array<unsigned, 29> kLengthBase = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<unsigned, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1,
                                                   1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                                                   4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<unsigned, 30> kDistanceBase = {
    1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<unsigned, 30> kDistanceExtra = {
    0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the code length code lengths are stored.
constexpr std::array<unsigned, 19> kCodeLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// The code of a length or distance: the one with the largest base not above
// it (258 is code 28, not 27 with all extra bits set).
template <std::size_t Codes, std::size_t Size>
constexpr std::array<unsigned char, Size> codeTable(
    const std::array<unsigned, Codes>& base) {
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

// Appends the zlib stream of `data` (its first `size` bytes) to `out`. With
// two threads, the second matches the later half of the blocks, in chains
// it first fills from the bytes before them.
unsigned appendZlib(std::vector<unsigned char>& out, const unsigned char* data,
                    std::size_t size) {
  // Window 32 KiB, no dictionary, check bits.
  out.push_back(0x78);
  out.push_back(0x01);
  const std::size_t blockSize =
      std::clamp<std::size_t>(size / 8 + 8, 65536, 262144);
  const std::size_t blocks =
      std::max<std::size_t>(1, (size + blockSize - 1) / blockSize);
  const bool split = size >= kSplitBytes && blocks >= 2;
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

// ---------------------------------------------------------------------------
// Chunks.

void putBigEndian(std::vector<unsigned char>& out, uint32_t value) {
  for (unsigned shift = 32; shift != 0; shift -= 8) {
    out.push_back(static_cast<unsigned char>(value >> (shift - 8)));
  }
}

// Starts a chunk; returns where its length goes.
std::size_t beginChunk(std::vector<unsigned char>& out, const char* type) {
  const std::size_t start = out.size();
  putBigEndian(out, 0);
  out.insert(out.end(), type, type + 4);
  return start;
}

void endChunk(std::vector<unsigned char>& out, std::size_t start) {
  const auto length = static_cast<uint32_t>(out.size() - start - 8);
  for (unsigned i = 0; i < 4; ++i) {
    out[start + i] = static_cast<unsigned char>(length >> (24 - 8 * i));
  }
  putBigEndian(out, libdeflate_crc32(0, out.data() + start + 4, length + 4));
}

unsigned encode(std::vector<unsigned char>& out, const unsigned char* rgba,
                unsigned width, unsigned height) {
  const std::size_t pixels = std::size_t{width} * height;
  ColourTable table;
  const ColourMode mode = chooseColourMode(rgba, pixels, table);
  const Scanlines lines = scanlines(mode, table, rgba, width, height);

  std::vector<unsigned char> png = {137, 80, 78, 71, 13, 10, 26, 10};
  std::size_t chunk = beginChunk(png, "IHDR");
  putBigEndian(png, width);
  putBigEndian(png, height);
  png.push_back(static_cast<unsigned char>(mode.bitDepth));
  png.push_back(static_cast<unsigned char>(mode.type));
  png.insert(png.end(), {0, 0, 0});
  endChunk(png, chunk);
  if (mode.type == ColourType::palette) {
    chunk = beginChunk(png, "PLTE");
    std::size_t translucent = 0;
    for (std::size_t i = 0; i < mode.palette.size(); ++i) {
      const uint32_t colour = mode.palette[i];
      png.insert(png.end(), {static_cast<unsigned char>(colour),
                             static_cast<unsigned char>(colour >> 8U),
                             static_cast<unsigned char>(colour >> 16U)});
      if (alpha(colour) != 255) {
        translucent = i + 1;
      }
    }
    endChunk(png, chunk);
    if (translucent != 0) {
      chunk = beginChunk(png, "tRNS");
      for (std::size_t i = 0; i < translucent; ++i) {
        png.push_back(alpha(mode.palette[i]));
      }
      endChunk(png, chunk);
    }
  } else if (mode.key &&
             (mode.type == ColourType::grey || mode.type == ColourType::rgb)) {
    chunk = beginChunk(png, "tRNS");
    const std::size_t channels = mode.type == ColourType::grey ? 1 : 3;
    for (std::size_t c = 0; c < channels; ++c) {
      png.insert(png.end(), {0, mode.keyColour[c]});
    }
    endChunk(png, chunk);
  }
  chunk = beginChunk(png, "IDAT");
  const unsigned error = appendZlib(png, lines.bytes.data(), lines.size);
  if (error != 0) {
    return error;
  }
  endChunk(png, chunk);
  endChunk(png, beginChunk(png, "IEND"));
  out.insert(out.end(), png.begin(), png.end());
  return 0;
}

}  // namespace

unsigned encodePng(std::vector<unsigned char>& out,
                   const std::vector<unsigned char>& rgba, unsigned width,
                   unsigned height) {
  const std::size_t pixels = std::size_t{width} * height;
  if (rgba.size() < pixels * 4) {
    return kInputTooSmall;
  }
  // Empty pictures, and those whose sizes pass 31 bits in the codec's own
  // arithmetic, are the codec's to write.
  if (pixels == 0 || pixels * 4 + height >= (std::size_t{1} << 31U)) {
    return lodepng::encode(out, rgba, width, height);
  }
  try {
    return encode(out, rgba.data(), width, height);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}

}  // namespace tib
