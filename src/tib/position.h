// Walking the FEN text: the pieces of its placement field and the side to
// move.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tib/artwork.h"
#include "tib/board.h"
#include "tib/drawing.h"

namespace tib {

inline constexpr const char* kStartingPosition =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w";

// The placement field: the text up to its first space.
std::string_view placementField(const std::string& fen);

// The side named by the byte after the first space ("w" or "b"); none when
// there is no such byte or it is anything else.
std::optional<Side> sideToMove(const std::string& fen);

// A piece of the placement field where the walk put it.
struct PlacedPiece {
  Square square;
  // Into kPieces.
  std::size_t index = 0;
};

// The pieces of the placement field in the order of the text: '/' starts
// the next rank down at file a, a digit skips that many files, a piece
// letter takes a square, anything else is passed over. Nothing is
// validated: squares off the board are kept.
std::vector<PlacedPiece> placedPieces(const std::string& fen);

// The square of the king of the side to move: the first one of the
// placement field on the board. None without a side to move or a king.
std::optional<Square> kingToMove(const std::string& fen);

// Draws every piece of the placement field (the text up to its first space)
// then the marker of the side to move on its side of the view. The white
// view draws in the order of the text; the black view in the reverse
// order, so that it is the white view of the board turned half a turn.
// Nothing is validated: what lies off the board is clipped.
void drawPosition(ImageBuffer& canvas, const std::string& fen,
                  const Settings& settings, const Sprites& sprites,
                  const std::array<ImageBuffer, 2>& markers,
                  Orientation orientation);

}  // namespace tib
