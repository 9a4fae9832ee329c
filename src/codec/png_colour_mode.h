// The colour type and bit depth of a PNG, chosen from the pixels as the
// codec's default encoder chooses them, and rows of RGBA pixels written in
// that mode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tib::codec {

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

// The alpha of a pixel loaded as r | g << 8 | b << 16 | a << 24.
inline unsigned char alpha(uint32_t pixel) {
  return static_cast<unsigned char>(pixel >> 24);
}

// The mode of count RGBA pixels; fills table with their colours when the
// mode is a palette.
ColourMode chooseColourMode(const unsigned char* rgba, std::size_t count,
                            ColourTable& table);

unsigned bitsPerPixel(const ColourMode& mode);

// Writes one row of pixels in the chosen mode; 3-byte pixels are stored 4
// bytes at a time, so `out` has one byte to spare past the row.
void convertRow(const ColourMode& mode, const ColourTable& table,
                const unsigned char* rgba, std::size_t width,
                unsigned char* out);

}  // namespace tib::codec
