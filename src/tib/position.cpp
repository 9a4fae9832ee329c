#include "tib/position.h"

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

void drawPosition(ImageBuffer& canvas, const std::string& fen,
                  const Settings& settings, const Artwork& artwork) {
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
      drawPiece(canvas, artwork.sprites[index], settings, col, rank,
                kPieces[index]);
      col = addSaturated(col, 1);
    }
  }
  if (const std::optional<Side> side = sideToMove(fen)) {
    drawSign(canvas, artwork.markers[static_cast<std::size_t>(*side)], settings,
             *side);
  }
}

}  // namespace tib
