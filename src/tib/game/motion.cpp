#include "tib/game/motion.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "codec/webp.h"
#include "tib/game/decorated_game.h"

namespace tib {

std::optional<MotionFormat> motionFormatOf(std::string_view name) {
  std::string lower(name);
  std::transform(
      lower.begin(), lower.end(), lower.begin(),
      [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto endsWith = [&lower](std::string_view suffix) {
    return lower.size() > suffix.size() &&
           lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) ==
               0;
  };
  if (endsWith(".webp")) {
    return MotionFormat::webp;
  }
  if (endsWith(".mp4")) {
    return MotionFormat::mp4;
  }
  if (endsWith(".webm")) {
    return MotionFormat::webm;
  }
  return std::nullopt;
}

std::optional<codec::VideoFrame> videoFrameNamed(std::string_view text) {
  const auto side = [](std::string_view digits) -> std::optional<unsigned> {
    if (digits.empty() || digits.size() > 4 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
      return std::nullopt;
    }
    const auto value = static_cast<unsigned>(std::stoul(std::string(digits)));
    if (value < 2 || value > codec::kLargestVideoEdge || value % 2 != 0) {
      return std::nullopt;
    }
    return value;
  };
  const std::size_t cross = text.find('x');
  if (cross == std::string_view::npos) {
    return std::nullopt;
  }
  const auto width = side(text.substr(0, cross));
  const auto height = side(text.substr(cross + 1));
  if (!width || !height) {
    return std::nullopt;
  }
  return codec::VideoFrame{*width, *height};
}

std::optional<std::vector<unsigned char>> encodeMotion(
    const Artwork& artwork, const Sprites& pieces,
    const std::vector<AnimationFrame>& frames,
    const std::vector<Decorations>& decorations, const Lettering* lettering,
    const MotionChoices& choices, const std::function<bool()>& keepGoing) {
  // Opened at the first frame, whose size is the animation's.
  std::optional<codec::WebpWriter> webp;
  std::optional<codec::VideoWriter> video;
  const FramePixelSink sink = [&](const FramePixels& frame) {
    if (choices.format == MotionFormat::webp) {
      if (!webp) {
        webp.emplace(frame.width, frame.height);
      }
      webp->addFrame(frame.rgba, frame.delayCentiseconds);
      return;
    }
    if (!video) {
      video.emplace(choices.format == MotionFormat::mp4
                        ? codec::VideoCodec::h264
                        : codec::VideoCodec::vp9,
                    frame.width, frame.height, choices.frame, choices.threads);
    }
    video->addFrame(frame.rgba, frame.delayCentiseconds);
  };
  const bool whole =
      lettering != nullptr
          ? drawDecoratedPixels(artwork, pieces, frames, decorations,
                                *lettering, sink, keepGoing)
          : drawAnimationPixels(artwork, pieces, frames, sink, keepGoing);
  if (!whole) {
    return std::nullopt;
  }
  return webp ? webp->finish() : video->finish();
}

}  // namespace tib
