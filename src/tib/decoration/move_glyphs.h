// Move glyphs (!, ?, !!, ??, !?, ?!) as round badges at the top-right
// corner of a move's destination square, in the colours analysis boards
// use for them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "tib/board/drawing.h"
#include "tib/text/text.h"

namespace tib {

enum class MoveGlyph : uint8_t {
  brilliant,    // !!
  good,         // !
  interesting,  // !?
  dubious,      // ?!
  mistake,      // ?
  blunder,      // ??
};

// The glyph written as in a game's moves ("!?") or as its numeric
// annotation glyph ("$5"); none for anything else.
std::optional<MoveGlyph> moveGlyphOf(std::string_view text);

std::string_view moveGlyphText(MoveGlyph glyph);

TextColour moveGlyphColour(MoveGlyph glyph);

// The rim darkens whatever lies under the badge's edge, so that it stays
// distinct on a square of its own colour: this share of the diameter wide
// (at least a pixel), black at this opacity.
inline constexpr double kBadgeRimShare = 0.06;
inline constexpr double kBadgeRimOpacity = 0.4;

// A rectangle in canvas pixels.
struct PixelRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

// Where the badge of a move to the square goes: a circle of about four
// tenths of the square, centred near its top-right corner so that it
// overhangs a little, moved back inside the board at its edges.
PixelRect moveGlyphBadgeRect(PixelRect square, PixelRect board);

// Draws badges; each badge picture is made once per glyph and diameter.
// Safe to use from several threads.
class MoveGlyphPainter {
 public:
  explicit MoveGlyphPainter(const TextRenderer& text);

  // Blends the glyph's badge over the canvas at moveGlyphBadgeRect.
  void draw(ImageBuffer& canvas, MoveGlyph glyph, PixelRect square,
            PixelRect board) const;

  // The glyph's mark on a badge of this diameter, its pen placed from the
  // badge's top-left corner: the mark's ink centred on the circle.
  PlacedText label(MoveGlyph glyph, int diameter) const;

  // The badge picture: RGBA, transparent outside the circle.
  std::shared_ptr<const ImageBuffer> badge(MoveGlyph glyph, int diameter) const;

 private:
  const TextRenderer& text_;
  mutable std::mutex mutex_;
  mutable std::map<std::pair<MoveGlyph, int>,
                   std::shared_ptr<const ImageBuffer>>
      badges_;
};

}  // namespace tib
