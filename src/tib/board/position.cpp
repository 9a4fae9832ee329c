#include "tib/board/position.h"

#include <algorithm>
#include <climits>

namespace tib {

namespace {

// Column and rank saturate instead of overflowing on absurdly long text;
// long before that the square lies far outside the canvas.
int addSaturated(int value, int step) {
  if (step > 0 && value > INT_MAX - step) {
    return INT_MAX;
  }
  if (step < 0 && value < INT_MIN - step) {
    return INT_MIN;
  }
  return value + step;
}

}  // namespace

Placement readPlacement(std::string_view fen) {
  Placement placement;
  const std::size_t space = fen.find(' ');
  int col = 0;
  int rank = 7;
  for (const char c : fen.substr(0, space)) {
    const auto letter = static_cast<unsigned char>(c);
    if (letter == '/') {
      col = 0;
      rank = addSaturated(rank, -1);
    } else if (letter >= '0' && letter <= '9') {
      col = addSaturated(col, letter - '0');
    } else if (const std::size_t index = pieceIndex(letter);
               index < kPieces.size()) {
      placement.pieces.push_back(PlacedPiece{Square{col, rank}, index});
      col = addSaturated(col, 1);
    }
  }
  if (space != std::string_view::npos && space + 1 < fen.size()) {
    if (fen[space + 1] == 'w') {
      placement.sideToMove = Side::white;
    } else if (fen[space + 1] == 'b') {
      placement.sideToMove = Side::black;
    }
  }
  return placement;
}

Placement startingPlacement() { return readPlacement(chess::kStartingFen); }

std::optional<Square> kingToMove(const Placement& placement) {
  if (!placement.sideToMove) {
    return std::nullopt;
  }
  const std::size_t king =
      pieceIndex(*placement.sideToMove == Side::white ? 'K' : 'k');
  for (const PlacedPiece& piece : placement.pieces) {
    // cppcheck-suppress useStlAlgorithm
    if (piece.index == king && chess::onBoard(piece.square)) {
      return piece.square;
    }
  }
  return std::nullopt;
}

void drawPosition(ImageBuffer& canvas, const Placement& placement,
                  const Settings& settings, const Sprites& sprites,
                  const std::array<ImageBuffer, 2>& markers,
                  Orientation orientation, const Box& clip) {
  const std::vector<PlacedPiece>& pieces = placement.pieces;
  const auto draw = [&](const PlacedPiece& piece) {
    const Square drawn = viewSquare(piece.square, orientation);
    const Box box =
        pieceBox(settings, drawn.file, drawn.rank, kPieces[piece.index]);
    drawToBoardWithin(canvas, sprites[piece.index], box.x, box.y, box.w, box.h,
                      clip);
  };
  if (orientation == Orientation::white) {
    std::for_each(pieces.begin(), pieces.end(), draw);
  } else {
    std::for_each(pieces.rbegin(), pieces.rend(), draw);
  }
  if (const std::optional<Side> side = placement.sideToMove) {
    const Box box = markerBox(settings, markerEdge(*side, orientation));
    drawToBoardWithin(canvas, markers[static_cast<std::size_t>(*side)], box.x,
                      box.y, box.w, box.h, clip);
  }
}

}  // namespace tib
