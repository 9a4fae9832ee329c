#include "codec/png_colour_mode.h"

#include <emmintrin.h>  // SSE2, the amd64 baseline

#include <cstring>

namespace tib::codec {

namespace {

uint32_t loadPixel(const unsigned char* at) {
  uint32_t pixel = 0;
  std::memcpy(&pixel, at, 4);
  return pixel;
}

unsigned char red(uint32_t pixel) { return static_cast<unsigned char>(pixel); }

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

}  // namespace

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

}  // namespace tib::codec
