// A synthetic chess game for the GIF benchmarks: a 720x720 board of two
// square colours, anti-aliased pieces moving square to square and the last
// move's squares tinted, as a game's animated GIF shows it.
#pragma once

#include <vector>

#include "codec/gif.h"

namespace tib::bench {

struct GifScene {
  static constexpr unsigned kSide = 720;
  // Frame 0 is the starting position, each later one a move after it.
  std::vector<std::vector<unsigned char>> frames;
  // For each frame after the first, the squares it changed: those of the
  // move before, no longer tinted, and of its move.
  std::vector<std::vector<codec::GifRect>> changed;
  // A square of each kind (light, dark, both tinted) with each piece on it
  // and empty: every colour the frames hold.
  std::vector<std::vector<unsigned char>> samples;

  std::vector<codec::RgbaPicture> samplePictures() const;
};

GifScene makeGifScene(unsigned frameCount);

codec::GifRect boundingBox(const std::vector<codec::GifRect>& rects);

}  // namespace tib::bench
