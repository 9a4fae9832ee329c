#include "position.h"

#include <algorithm>
#include <climits>

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
  const std::size_t fieldEnd = std::min(fen.find(' '), fen.size());
  int col = 0;
  int rank = 7;
  for (std::size_t pos = 0; pos < fieldEnd; ++pos) {
    const auto letter = static_cast<unsigned char>(fen[pos]);
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
