// The colours of an animated GIF: one global table chosen once from sample
// pictures (a board theme, its pieces, its annotation colours) and kept, so
// that a pixel that does not change maps to the same index in every frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tib::codec {

// Wrong arguments to the GIF code: a picture of no pixels, a size the format
// cannot hold, a frame after the end.
class GifError : public std::runtime_error {
 public:
  explicit GifError(const std::string& reason) : std::runtime_error(reason) {}
};

struct Rgb {
  unsigned char red = 0;
  unsigned char green = 0;
  unsigned char blue = 0;

  friend bool operator==(Rgb a, Rgb b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
  }
};

// 8-bit RGBA pixels, rows top to bottom without gaps. Not owned.
struct RgbaPicture {
  const unsigned char* rgba = nullptr;
  unsigned width = 0;
  unsigned height = 0;
};

// A colour packed as 0xRRGGBB, the key of every lookup.
inline std::uint32_t packRgb(const unsigned char* pixel) {
  return static_cast<std::uint32_t>(pixel[0]) << 16U |
         static_cast<std::uint32_t>(pixel[1]) << 8U | pixel[2];
}

// At most 255 colours at indices 1.. and index 0 for transparency. Immutable
// once built, so several writers may share one on several threads.
class GifPalette {
 public:
  static constexpr std::size_t kMaxColours = 255;
  static constexpr unsigned char kTransparentIndex = 0;

  // `colours` take indices 1.. in this order; `knownColours` are colours
  // (0xRRGGBB) expected in the frames, whose nearest index is worked out now
  // rather than at each lookup. Throws GifError for no colours or more than
  // 255.
  explicit GifPalette(const std::vector<Rgb>& colours,
                      const std::vector<std::uint32_t>& knownColours = {});

  // The colour of each index, index 0 (transparency) black.
  [[nodiscard]] const std::vector<Rgb>& table() const { return table_; }
  [[nodiscard]] std::size_t colourCount() const { return table_.size() - 1; }
  // The colour table in the file holds 2^tableBits entries.
  [[nodiscard]] unsigned tableBits() const { return tableBits_; }
  // The memory the palette takes.
  [[nodiscard]] std::size_t memoryBytes() const {
    return sizeof *this + table_.capacity() * sizeof(Rgb) +
           cellStarts_.capacity() * sizeof(std::uint32_t) +
           cellCandidates_.capacity() +
           known_.capacity() * sizeof(std::uint32_t);
  }

  // The index of the palette colour nearest to `rgb` (0xRRGGBB), lowest
  // index on a tie: a function of the colour alone.
  [[nodiscard]] unsigned char indexOf(std::uint32_t rgb) const {
    std::size_t slot = hashSlot(rgb);
    for (;;) {
      const std::uint32_t entry = known_[slot];
      if (entry == kEmpty) {
        return nearestIndex(rgb);
      }
      if ((entry & 0xFFFFFFU) == rgb) {
        return static_cast<unsigned char>(entry >> 24U);
      }
      slot = (slot + 1) & (known_.size() - 1);
    }
  }

 private:
  // No colour has index 0, so no entry is 0.
  static constexpr std::uint32_t kEmpty = 0;

  [[nodiscard]] std::size_t hashSlot(std::uint32_t rgb) const {
    return (rgb * 0x9E3779B1U) >> hashShift_;
  }
  [[nodiscard]] unsigned char nearestIndex(std::uint32_t rgb) const;

  std::vector<Rgb> table_;
  unsigned tableBits_ = 1;
  // Per cell of 16x16x16 colours, the range in cellCandidates_ of the
  // indices whose colour can be nearest to some colour of the cell.
  std::vector<std::uint32_t> cellStarts_;
  std::vector<unsigned char> cellCandidates_;
  // Open addressing: index << 24 | rgb, or kEmpty.
  std::vector<std::uint32_t> known_;
  unsigned hashShift_ = 0;
};

// Chooses at most `maxColours` (1..255) colours for the pixels of `samples`:
// every colour when there are that few, otherwise by median cut weighted by
// how often each colour occurs, a box's colour being the one that fills
// most of it when one does. The commonest colours come first, so that a
// frame of common colours needs short LZW codes. The same samples give the
// same palette. Every sample colour is a known colour of the palette.
// The colours of `typical` pictures, like most frames, come before all
// others, the commonest first, so that such frames need the shortest codes.
// The `exact` colours (0xRRGGBB), such as a board's flat squares under each
// mark, are colours of the palette whatever the samples hold; the others
// are chosen among the remaining entries. Throws GifError when the samples
// hold no pixel or there are more exact colours than maxColours.
GifPalette buildPalette(const std::vector<RgbaPicture>& samples,
                        std::size_t maxColours = GifPalette::kMaxColours,
                        const std::vector<RgbaPicture>& typical = {},
                        const std::vector<std::uint32_t>& exact = {});

}  // namespace tib::codec
