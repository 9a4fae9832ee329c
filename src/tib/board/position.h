// The position a diagram draws, read once from the FEN text by the drawing's
// own lenient walk, and drawn.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "chess/types.h"
#include "tib/board/artwork.h"
#include "tib/board/board.h"
#include "tib/board/drawing.h"

namespace tib {

// A piece of the placement field where the walk put it.
struct PlacedPiece {
  Square square;
  // Into kPieces.
  std::size_t index = 0;
};

constexpr bool operator==(const PlacedPiece& a, const PlacedPiece& b) {
  return a.square == b.square && a.index == b.index;
}

// What a diagram draws of a FEN: the pieces of its placement field in the
// order of the text, and the side to move.
struct Placement {
  std::vector<PlacedPiece> pieces;
  std::optional<Side> sideToMove;
};

// Reads a FEN as the command line always has. The placement field is the
// text up to its first space: '/' starts the next rank down at file a, a
// digit skips that many files, a piece letter takes a square, anything else
// is passed over. Nothing is validated: squares off the board are kept. The
// side to move is the byte after the first space, "w" or "b"; none when
// there is no such byte or it is anything else.
Placement readPlacement(std::string_view fen);

// The standard starting position, as the diagram draws it.
Placement startingPlacement();

// The square of the king of the side to move: the first one of the
// placement field on the board. None without a side to move or a king.
std::optional<Square> kingToMove(const Placement& placement);

// Draws every piece of the placement then the marker of the side to move
// on its side of the view. The white view draws in the order of the text;
// the black view in the reverse order, so that it is the white view of the
// board turned half a turn. What lies off the board is clipped, and so is
// what lies outside clip.
void drawPosition(ImageBuffer& canvas, const Placement& placement,
                  const Settings& settings, const Sprites& sprites,
                  const std::array<ImageBuffer, 2>& markers,
                  Orientation orientation, const Box& clip = kCanvasBox);

}  // namespace tib
