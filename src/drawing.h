// Pictures and the routines that draw pieces and the side-to-move marker
// onto the 1024 x 1024 canvas.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A decoded picture: 8-bit RGBA samples, row-major, rows without gaps.
// After a failed decode it may report a size while holding no bytes.
struct ImageBuffer {
  std::vector<unsigned char> pixels;
  uint32_t width = 0;
  uint32_t height = 0;
};

// A destination box on the canvas, in canvas pixels.
struct Box {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

// Process-wide settings of the run, written only while the arguments are
// read: the edge of the written image, and the piece scale.
extern int32_t Size;
extern float Sz2;

constexpr int32_t kDefaultSize = 1024;
constexpr float kDefaultScale = 1.3F;

// Every drawing and resampling step addresses the canvas as this many
// pixels on a side, with a row stride of this many pixels.
constexpr uint32_t kCanvasEdge = 1024;
constexpr std::size_t kCanvasBytes =
    static_cast<std::size_t>(kCanvasEdge) * kCanvasEdge * 4;

// Truncates toward zero; NaN and values outside the signed 32-bit range
// give -2147483648, so a broken geometry draws nothing.
int32_t truncateToInt(float value);

// The box a piece sprite is drawn into, from the current Size and Sz2.
// An unknown sprite name gives an empty box.
Box pieceBox(int col, int rank, const std::string& name);

// The box of the side-to-move marker, from the current Size.
Box signBox(int black);

// Scales the sprite into the box by nearest-neighbour sampling at pixel
// centres and blends it over the canvas by its alpha, clipped to the canvas.
void drawToBoard(ImageBuffer& canvas, const ImageBuffer& sprite, int x, int y,
                 int w, int h);

// Draws a piece sprite on the square (col, rank); rank 7 is the top row.
void drawPiece(ImageBuffer& canvas, const ImageBuffer& sprite, int col,
               int rank, const std::string& name);

// Draws the side-to-move marker at the right edge: top when black is
// non-zero, bottom otherwise.
void drawSign(ImageBuffer& canvas, const ImageBuffer& marker, int black);
