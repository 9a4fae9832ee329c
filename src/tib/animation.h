// Animated diagrams: a GIF of a sequence of diagrams, such as the plies of a
// game, each frame drawn again only where it differs from the one before.
#pragma once

#include <functional>
#include <vector>

#include "codec/gif.h"
#include "tib/render.h"

namespace tib {

struct AnimationFrame {
  Diagram diagram;
  // How long the frame is shown.
  unsigned delayCentiseconds = 80;
};

// The colours of every GIF drawn with these pieces on this artwork's
// boards, with every kind of mark: built once (it takes a few tens of
// milliseconds) and shared, so that a pixel that does not change keeps its
// index in every frame.
codec::GifPalette animationPalette(const Artwork& artwork,
                                   const Sprites& pieces);

// Writes the frames to sink as a GIF of Size x Size pixels that loops: the
// first frame whole, each later one as the rectangle that changed. Every
// frame is drawn with the first one's settings and view. keepGoing is asked
// before each frame after the first; when it says no, the GIF stops there
// unfinished and the call returns false. Throws an Error when the artwork
// lacks the board of the view or Size is 0.
bool writeAnimation(const Artwork& artwork, const Sprites& pieces,
                    const codec::GifPalette& palette,
                    const std::vector<AnimationFrame>& frames,
                    const codec::GifSink& sink,
                    const std::function<bool()>& keepGoing = {});

}  // namespace tib
