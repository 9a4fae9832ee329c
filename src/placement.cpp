#include "placement.h"

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

void drawMarker(ImageBuffer& canvas, char side) {
  if (side != 'w' && side != 'b') {
    return;
  }
  const int black = side == 'b' ? 1 : 0;
  ImageBuffer marker;
  // A missing or broken marker simply leaves the diagram without one.
  decodePngFile(black != 0 ? "t_b3.png" : "t_w3.png", marker);
  drawSign(canvas, marker, black);
}

}  // namespace

void drawPosition(ImageBuffer& canvas, const std::string& fen,
                  const PieceNames& pieceNames, const SpriteSet& sprites) {
  const std::size_t space = fen.find(' ');
  const std::size_t fieldEnd = space == std::string::npos ? fen.size() : space;
  int col = 0;
  int rank = 7;
  for (std::size_t pos = 0; pos < fieldEnd; ++pos) {
    const auto letter = static_cast<unsigned char>(fen[pos]);
    if (letter == '/') {
      col = 0;
      rank = addSaturated(rank, -1);
    } else if (letter >= '0' && letter <= '9') {
      col = addSaturated(col, letter - '0');
    } else if (const auto name = pieceNames.find(letter);
               name != pieceNames.end()) {
      const auto sprite = sprites.find(name->second);
      if (sprite != sprites.end()) {
        drawPiece(canvas, sprite->second, col, rank, name->second);
      }
      col = addSaturated(col, 1);
    }
  }
  if (space != std::string::npos && space + 1 < fen.size()) {
    drawMarker(canvas, fen[space + 1]);
  }
}
