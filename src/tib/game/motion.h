// A game's frames as moving pictures beyond GIF: animated WebP, MP4 and
// WebM, with the frames' decorations.
#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "codec/video.h"
#include "tib/decoration/decorated.h"
#include "tib/game/animation.h"

namespace tib {

enum class MotionFormat { webp, mp4, webm };

// The format a file name's suffix names (.webp, .mp4, .webm, any case).
std::optional<MotionFormat> motionFormatOf(std::string_view name);

// A video's frame written WxH ("1080x1920"): even sides of 2 to 8192
// pixels; none for anything else.
std::optional<codec::VideoFrame> videoFrameNamed(std::string_view text);

struct MotionChoices {
  MotionFormat format = MotionFormat::webp;
  // A video's frame (0 x 0: the picture's, its sides made even).
  codec::VideoFrame frame;
  // The encoder's threads (0: as many as it likes).
  unsigned threads = 1;
};

// The frames encoded, each with its decorations when lettering is given
// (one for each frame); a WebP's frames are the frames' pixels exactly.
// keepGoing is asked before each frame after the first; none when it says
// no. Throws a codec::MotionError when the encoder fails, and what
// drawAnimationPixels throws.
std::optional<std::vector<unsigned char>> encodeMotion(
    const Artwork& artwork, const Sprites& pieces,
    const std::vector<AnimationFrame>& frames,
    const std::vector<Decorations>& decorations, const Lettering* lettering,
    const MotionChoices& choices, const std::function<bool()>& keepGoing = {});

}  // namespace tib
