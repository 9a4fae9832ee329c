// Animated diagrams: a GIF of a sequence of diagrams, such as the plies of a
// game, each frame drawn again only where it differs from the one before.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "codec/gif.h"
#include "tib/board/render.h"
#include "tib/game/animation_options.h"

namespace tib {

struct AnimationFrame {
  Diagram diagram;
  // How long the frame is shown.
  unsigned delayCentiseconds = kDefaultMoveDelay;
};

// The colours of every GIF drawn with these pieces on this artwork's
// boards, with every kind of mark: built once (it takes a few tens of
// milliseconds) and shared, so that a pixel that does not change keeps its
// index in every frame.
// Pictures of what else the frames show (bars, badges) add their colours.
codec::GifPalette animationPalette(
    const Artwork& artwork, const Sprites& pieces,
    const std::vector<codec::RgbaPicture>& alsoShown = {});

// What a caller draws besides the diagrams, frame by frame: over the canvas
// (a move's glyph) and in rows above and below the board (players' bars).
struct FrameExtras {
  // Rows added above the board, and as many below.
  uint32_t barRows = 0;
  // The boxes of the canvas that drawOver changes in a frame.
  std::function<std::vector<Box>(std::size_t frame)> overBoxes;
  // Draws over the canvas of a frame, inside its overBoxes.
  std::function<void(std::size_t frame, ImageBuffer& canvas)> drawOver;
  // Writes a frame's rows above and below the board (barRows x Size RGBA
  // pixels each); false when they are those of the frame before.
  std::function<bool(std::size_t frame, unsigned char* above,
                     unsigned char* below)>
      drawBars;
  // Columns added left of the board and its bars.
  uint32_t sideColumns = 0;
  // Writes a frame's columns (sideColumns x the frame's height, RGBA);
  // false when they are those of the frame before.
  std::function<bool(std::size_t frame, unsigned char* column)> drawSide;
};

// A GIF that loops, made one step at a time, sideColumns + Size pixels wide
// and Size + 2 barRows high: the header and palette, then each frame (the
// first whole, each later one as the rectangle that changed, drawn with
// the first one's settings and view), then the trailer. The caller pulls a
// step when it has room for its bytes, and may stop between any two. The
// writer keeps the frame before inside it; frames and extras must outlive
// it.
class AnimationWriter {
 public:
  // Throws an Error for no frame or a Size of 0.
  AnimationWriter(const Artwork& artwork, const Sprites& pieces,
                  const codec::GifPalette& palette,
                  const std::vector<AnimationFrame>& frames,
                  FrameExtras extras = {});
  AnimationWriter(AnimationWriter&& other) noexcept;
  AnimationWriter& operator=(AnimationWriter&& other) noexcept;
  AnimationWriter(const AnimationWriter&) = delete;
  AnimationWriter& operator=(const AnimationWriter&) = delete;
  ~AnimationWriter();

  // Appends the next step's bytes to out; false, appending nothing, once
  // the trailer is written. Throws an Error when the artwork lacks the
  // board of the view.
  bool next(std::vector<unsigned char>& out);
  // The frames written so far.
  [[nodiscard]] std::size_t framesWritten() const;
  [[nodiscard]] bool finished() const;
  // Lets go of the drawing canvas (4 MiB) and the frame being made until
  // the next step, which draws them again: a paused GIF then holds the
  // indices on its screen and its bars. The bytes do not change.
  void rest();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Writes the whole GIF to sink, one call a step.
void writeAnimation(const Artwork& artwork, const Sprites& pieces,
                    const codec::GifPalette& palette,
                    const std::vector<AnimationFrame>& frames,
                    const codec::GifSink& sink, const FrameExtras& extras = {});

// One frame of an animation as pixels: width x height RGBA, rows without
// gaps, shown for delayCentiseconds. The pixels are valid during the call.
struct FramePixels {
  const unsigned char* rgba = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  unsigned delayCentiseconds = 0;
};
using FramePixelSink = std::function<void(const FramePixels&)>;

// The frames of writeAnimation as RGBA pixels, handed to sink one after the
// other, each drawn again only where it changed: a frame's pixels are those
// of a PNG of its diagram with the same extras. keepGoing is asked before
// each frame after the first; when it says no, the drawing stops there and
// the call returns false. Throws as AnimationWriter does.
bool drawAnimationPixels(const Artwork& artwork, const Sprites& pieces,
                         const std::vector<AnimationFrame>& frames,
                         const FramePixelSink& sink,
                         const std::function<bool()>& keepGoing = {},
                         const FrameExtras& extras = {});

}  // namespace tib
