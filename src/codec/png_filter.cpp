#include "codec/png_filter.h"

#include <emmintrin.h>  // SSE2, the amd64 baseline

#include <array>
#include <cstring>
#include <utility>

#include "codec/split_work.h"

namespace tib::codec {

namespace {

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

}  // namespace

Scanlines scanlines(const ColourMode& mode, const ColourTable& table,
                    const unsigned char* rgba, std::size_t width,
                    std::size_t height, bool twoThreads) {
  const std::size_t length = (width * bitsPerPixel(mode) + 7) / 8;
  Scanlines lines;
  lines.size = height * (length + 1);
  lines.bytes.resize(lines.size + 16);
  const std::size_t middle = height / 2;
  unsigned char* out = lines.bytes.data();
  runBoth(
      twoThreads && lines.size >= kSplitBytes,
      [&] { filterRows(mode, table, rgba, width, 0, middle, out); },
      [&] { filterRows(mode, table, rgba, width, middle, height, out); });
  return lines;
}

}  // namespace tib::codec
