// Diagrams with text on them: the players' bars around the board and a
// move's glyph on its square.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "tib/board/render.h"
#include "tib/decoration/eval_bar.h"
#include "tib/decoration/move_glyphs.h"
#include "tib/decoration/player_bars.h"
#include "tib/text/text.h"

namespace tib {

// The fonts and the badges, loaded once and shared by every diagram (safe
// from several threads). Throws TextError when no usable font is found.
struct Lettering {
  Lettering() : glyphs(text) {}
  TextRenderer text;
  MoveGlyphPainter glyphs;
};

struct Decorations {
  std::optional<PlayerBars> bars;
  // A move's glyph and the square it is drawn on (as the board names it).
  std::optional<MoveGlyph> glyph;
  Square glyphSquare;
  // The evaluation bar left of the board and its bars.
  std::optional<EvalBar> evalBar;
};

// Which decorations a diagram shows, decided here alone: the PNG, the SVG,
// the GIF and the server's tags all ask this, so that a new kind cannot be
// drawn by one and missed by another.
struct DecorationParts {
  bool bars = false;
  bool glyph = false;
  bool evalBar = false;
  [[nodiscard]] bool any() const { return bars || glyph || evalBar; }
};
DecorationParts decorationParts(const Decorations& decorations);

// The squares of the board on the canvas: a badge stays inside them.
inline constexpr PixelRect kBoardRect{
    static_cast<int>(kGridX), static_cast<int>(kGridY),
    static_cast<int>(8 * kSquareWidth), static_cast<int>(8 * kSquareHeight)};

// The pixels of the diagram at its size with its decorations, as
// renderDecoratedPng encodes them. Size must lie in 1..kLargestSize.
ImageBuffer decoratedPixels(const Artwork& artwork, const Sprites& pieces,
                            const Diagram& diagram,
                            const Decorations& decorations,
                            const Lettering& lettering);

// The diagram as a PNG with its decorations: the glyph drawn on the canvas,
// the picture resampled, then a bar above and one below, then the
// evaluation bar at the left (the board's pixels are the plain diagram's).
// Without decorations, renderPng's bytes. Throws what renderPng throws.
std::vector<unsigned char> renderDecoratedPng(const Artwork& artwork,
                                              const Sprites& pieces,
                                              const Diagram& diagram,
                                              const Decorations& decorations,
                                              const Lettering& lettering,
                                              Threads threads = {});

// Where the badge of decorations.glyph stands on the canvas of a view.
PixelRect glyphBadgeRect(const Decorations& decorations, Orientation view);

}  // namespace tib
