// Pictures and the routines that draw pieces and the side-to-move marker
// onto the 1024 x 1024 canvas.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "chess/types.h"
#include "codec/image.h"
#include "tib/board/pieces.h"

namespace tib {

using chess::Side;
using codec::ImageBuffer;

// A destination box on the canvas, in canvas pixels.
struct Box {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

// The smallest box holding both, and the pixels in both (no width or
// height when there are none); in 64 bits, so that no box overflows them.
constexpr Box unite(const Box& a, const Box& b) {
  const int64_t left = std::min(a.x, b.x);
  const int64_t top = std::min(a.y, b.y);
  const int64_t right = std::max(int64_t{a.x} + a.w, int64_t{b.x} + b.w);
  const int64_t bottom = std::max(int64_t{a.y} + a.h, int64_t{b.y} + b.h);
  return {static_cast<int>(left), static_cast<int>(top),
          static_cast<int>(std::min<int64_t>(right - left, INT32_MAX)),
          static_cast<int>(std::min<int64_t>(bottom - top, INT32_MAX))};
}
constexpr Box intersection(const Box& a, const Box& b) {
  const int64_t left = std::max(a.x, b.x);
  const int64_t top = std::max(a.y, b.y);
  const int64_t right = std::min(int64_t{a.x} + a.w, int64_t{b.x} + b.w);
  const int64_t bottom = std::min(int64_t{a.y} + a.h, int64_t{b.y} + b.h);
  return {static_cast<int>(left), static_cast<int>(top),
          static_cast<int>(std::max<int64_t>(right - left, 0)),
          static_cast<int>(std::max<int64_t>(bottom - top, 0))};
}

constexpr int32_t kDefaultSize = 1024;
constexpr float kDefaultScale = 1.3F;

// The settings of one diagram that the geometry and the output read.
struct Settings {
  // Edge of the written image in pixels.
  int32_t Size = kDefaultSize;
  // Piece scale.
  float Sz2 = kDefaultScale;
};

// Largest output edge whose RGBA byte count still fits in 32 bits.
constexpr int32_t kLargestSize = 32767;

// Every drawing and resampling step addresses the canvas as this many
// pixels on a side, with a row stride of this many pixels.
constexpr uint32_t kCanvasEdge = 1024;
constexpr std::size_t kCanvasBytes =
    static_cast<std::size_t>(kCanvasEdge) * kCanvasEdge * 4;

// Truncates toward zero; NaN and values outside the signed 32-bit range
// give -2147483648, so a broken geometry draws nothing.
int32_t truncateToInt(float value);

// The box a piece sprite is drawn into on the square (col, rank); rank 7 is
// the top row.
Box pieceBox(const Settings& settings, int col, int rank, const Piece& piece);

// The box of the side-to-move marker: top right for black, bottom right for
// white.
Box markerBox(const Settings& settings, Side side);

// The whole canvas: a draw clipped to it changes whatever it covers.
inline constexpr Box kCanvasBox{0, 0, static_cast<int>(kCanvasEdge),
                                static_cast<int>(kCanvasEdge)};

// Scales the sprite into the box by nearest-neighbour sampling at pixel
// centres and blends it over the canvas by its alpha, clipped to the canvas.
void drawToBoard(ImageBuffer& canvas, const ImageBuffer& sprite, int x, int y,
                 int w, int h);

// The same, changing only the pixels inside clip (a box on the canvas):
// each of them gets what drawToBoard gives it, so that a part of a diagram
// can be drawn again alone.
void drawToBoardWithin(ImageBuffer& canvas, const ImageBuffer& sprite, int x,
                       int y, int w, int h, const Box& clip);

// Draws a piece sprite into its box on the square (col, rank).
void drawPiece(ImageBuffer& canvas, const ImageBuffer& sprite,
               const Settings& settings, int col, int rank, const Piece& piece);

// Draws the side-to-move marker into its box.
void drawSign(ImageBuffer& canvas, const ImageBuffer& marker,
              const Settings& settings, Side side);

}  // namespace tib
