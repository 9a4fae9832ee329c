// The board's grid on the 1024 x 1024 canvas and the two ways of seeing it:
// where each square is drawn, for the pieces and for the annotations alike.
#pragma once

#include <climits>
#include <cstdint>

#include "chess/types.h"
#include "tib/board/drawing.h"

namespace tib {

// Square pitch on the canvas, and the top-left corner of the top-left
// square: the grid the board pictures are drawn on.
inline constexpr int64_t kSquareWidth = 115;
inline constexpr int64_t kSquareHeight = 112;
inline constexpr int64_t kGridX = 51;
inline constexpr int64_t kGridY = 64;

using chess::Square;

// Seen from white's side (rank 8 at the top) or from black's.
enum class Orientation { white, black };

// 7 - value, saturated to the int range.
constexpr int mirrored(int value) {
  const int64_t flipped = 7 - int64_t{value};
  return flipped > INT_MAX ? INT_MAX : static_cast<int>(flipped);
}

// The square that the white view draws where this view draws square: the
// black view turns the board half a turn.
constexpr Square viewSquare(const Square& square, Orientation orientation) {
  return orientation == Orientation::white
             ? square
             : Square{mirrored(square.file), mirrored(square.rank)};
}

// The top-left corner of a square of the white view, less the grid's
// corner: the piece table's nominal boxes are measured from here.
constexpr int64_t cellX(int file) { return int64_t{file} * kSquareWidth; }
constexpr int64_t cellY(int rank) {
  return (7 - int64_t{rank}) * kSquareHeight;
}

// The canvas pixels of a square on the board, as this view draws it.
constexpr Box squareBox(const Square& square, Orientation orientation) {
  const Square drawn = viewSquare(square, orientation);
  return Box{static_cast<int>(kGridX + cellX(drawn.file)),
             static_cast<int>(kGridY + cellY(drawn.rank)),
             static_cast<int>(kSquareWidth), static_cast<int>(kSquareHeight)};
}

// The side whose marker box (markerBox) the mover's marker takes: the
// mover's own in the white view; in the black view each side's edge of
// the board is the other's.
constexpr Side markerEdge(Side mover, Orientation orientation) {
  return orientation == Orientation::white ? mover : chess::opposite(mover);
}

}  // namespace tib
