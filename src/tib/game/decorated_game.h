// A game's plies as decorated diagrams and animations: the players, clocks
// and glyphs of a ply, and GIFs with their bars, badges and evaluation bar.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "chess/pgn.h"
#include "tib/decoration/decorated.h"
#include "tib/game/animation.h"

namespace tib {

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

// What each frame's decorations (one for each frame) add to an animation:
// the glyph on the canvas, the bars above and below the board on every
// frame when any frame has them (a frame without its own shows the players
// of the first frame that has them, without clocks), and the evaluation bar
// at the left when any frame has one (the middle for a frame without).
// frames, decorations and lettering must outlive the extras.
FrameExtras decoratedExtras(const std::vector<AnimationFrame>& frames,
                            const std::vector<Decorations>& decorations,
                            const Lettering& lettering);

// writeAnimation with decoratedExtras.
void writeDecoratedAnimation(const Artwork& artwork, const Sprites& pieces,
                             const codec::GifPalette& palette,
                             const std::vector<AnimationFrame>& frames,
                             const std::vector<Decorations>& decorations,
                             const Lettering& lettering,
                             const codec::GifSink& sink);

// drawAnimationPixels with the decorations of writeDecoratedAnimation: each
// frame's pixels are those of the ply's decorated PNG when every frame has
// the same kinds of decoration.
bool drawDecoratedPixels(const Artwork& artwork, const Sprites& pieces,
                         const std::vector<AnimationFrame>& frames,
                         const std::vector<Decorations>& decorations,
                         const Lettering& lettering, const FramePixelSink& sink,
                         const std::function<bool()>& keepGoing = {});

}  // namespace tib
