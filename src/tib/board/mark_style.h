// How the annotations look: their colours, opacities and sizes, read by the
// pixel drawing and by the vector scene alike.
#pragma once

#include <array>
#include <cstddef>

#include "chess/types.h"

namespace tib {

// A colour as 8-bit straight RGB and an opacity from 0 to 1.
struct Paint {
  unsigned char r;
  unsigned char g;
  unsigned char b;
  double opacity;
};

// The colours players know from analysis boards.
inline constexpr std::array<Paint, 4> kMarkColours{{
    {0x15, 0x78, 0x1B, 1.0},  // green
    {0x88, 0x20, 0x20, 1.0},  // red
    {0xE6, 0x8F, 0x00, 1.0},  // yellow
    {0x00, 0x30, 0x88, 1.0},  // blue
}};

// How much of each kind of mark covers the board below.
inline constexpr double kHighlightOpacity = 0.5;
inline constexpr double kArrowOpacity = 0.8;
inline constexpr Paint kLastMoveTint{155, 199, 0, 0.41};

// Sizes of arrows and circles in units of a square's height.
inline constexpr double kShaftWidth = 0.17;
inline constexpr double kHeadLength = 0.42;
inline constexpr double kHeadWidth = 0.5;
inline constexpr double kRingRadius = 0.46;
inline constexpr double kRingWidth = 0.08;

// The check glow: opaque red at the centre fading out before the corners,
// its stops as fractions of the half-diagonal of a square.
struct GlowStop {
  double at;
  Paint paint;
};
inline constexpr std::array<GlowStop, 4> kCheckGlow{{
    {0.0, {255, 0, 0, 1.0}},
    {0.25, {231, 0, 0, 1.0}},
    {0.89, {169, 0, 0, 0.0}},
    {1.0, {158, 0, 0, 0.0}},
}};

inline const Paint& paintOf(chess::MarkColour colour) {
  return kMarkColours.at(static_cast<std::size_t>(colour));
}

}  // namespace tib
