#include "tib/position.h"

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

std::string_view placementField(const std::string& fen) {
  return std::string_view(fen).substr(0, fen.find(' '));
}

std::optional<Side> sideToMove(const std::string& fen) {
  const std::size_t space = fen.find(' ');
  if (space == std::string::npos || space + 1 >= fen.size()) {
    return std::nullopt;
  }
  switch (fen[space + 1]) {
    case 'w':
      return Side::white;
    case 'b':
      return Side::black;
    default:
      return std::nullopt;
  }
}

std::vector<PlacedPiece> placedPieces(const std::string& fen) {
  std::vector<PlacedPiece> pieces;
  int col = 0;
  int rank = 7;
  for (const char c : placementField(fen)) {
    const auto letter = static_cast<unsigned char>(c);
    if (letter == '/') {
      col = 0;
      rank = addSaturated(rank, -1);
    } else if (letter >= '0' && letter <= '9') {
      col = addSaturated(col, letter - '0');
    } else if (const std::size_t index = pieceIndex(letter);
               index < kPieces.size()) {
      pieces.push_back(PlacedPiece{Square{col, rank}, index});
      col = addSaturated(col, 1);
    }
  }
  return pieces;
}

std::optional<Square> kingToMove(const std::string& fen) {
  const std::optional<Side> side = sideToMove(fen);
  if (!side) {
    return std::nullopt;
  }
  const std::size_t king = pieceIndex(*side == Side::white ? 'K' : 'k');
  for (const PlacedPiece& piece : placedPieces(fen)) {
    const Square& at = piece.square;
    if (piece.index == king && at.file >= 0 && at.file <= 7 && at.rank >= 0 &&
        at.rank <= 7) {
      return at;
    }
  }
  return std::nullopt;
}

void drawPosition(ImageBuffer& canvas, const std::string& fen,
                  const Settings& settings, const Sprites& sprites,
                  const std::array<ImageBuffer, 2>& markers,
                  Orientation orientation) {
  const std::vector<PlacedPiece> pieces = placedPieces(fen);
  const auto draw = [&](const PlacedPiece& piece) {
    const Square drawn = viewSquare(piece.square, orientation);
    drawPiece(canvas, sprites[piece.index], settings, drawn.file, drawn.rank,
              kPieces[piece.index]);
  };
  if (orientation == Orientation::white) {
    std::for_each(pieces.begin(), pieces.end(), draw);
  } else {
    std::for_each(pieces.rbegin(), pieces.rend(), draw);
  }
  if (const std::optional<Side> side = sideToMove(fen)) {
    drawSign(canvas, markers[static_cast<std::size_t>(*side)], settings,
             markerEdge(*side, orientation));
  }
}

}  // namespace tib
