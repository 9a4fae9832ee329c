// Diagrams with text on them: the players' bars around the board and a
// move's glyph on its square.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "chess/pgn.h"
#include "tib/animation.h"
#include "tib/eval_bar.h"
#include "tib/move_glyphs.h"
#include "tib/player_bars.h"
#include "tib/render.h"
#include "tib/text.h"

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

// What a ply of a game adds: the players of its tags (White, Black, their
// titles and Elo) with the clocks of its comments as they stand after the
// ply, the side to move's standing out and the side at the bottom of the
// view below, when the game says anything of them; and the glyph of the
// ply's move on its destination. players false leaves the bars out.
Decorations plyDecorations(const chess::Game& game, std::size_t ply,
                           Orientation orientation, bool players);

// animationPalette with the colours of the bars and the badges too.
codec::GifPalette decoratedPalette(const Artwork& artwork,
                                   const Sprites& pieces,
                                   const Lettering& lettering);

// writeAnimation with each frame's decorations (one for each frame): the
// glyph on the canvas, the bars above and below the board on every frame
// when any frame has them (a frame without its own shows the players of the
// first frame that has them, without clocks), and the evaluation bar at the
// left when any frame has one (the middle for a frame without).
bool writeDecoratedAnimation(const Artwork& artwork, const Sprites& pieces,
                             const codec::GifPalette& palette,
                             const std::vector<AnimationFrame>& frames,
                             const std::vector<Decorations>& decorations,
                             const Lettering& lettering,
                             const codec::GifSink& sink,
                             const std::function<bool()>& keepGoing = {});

}  // namespace tib
