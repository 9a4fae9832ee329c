// Walking the FEN placement field and marking the side to move.
#pragma once

#include <string>

#include "artwork.h"

// Draws every piece of the placement field (the text up to its first space)
// in the order of the text, then the marker of the side to move named by
// the byte after the first space ("w" or "b"), loaded from t_w3.png or
// t_b3.png. Nothing is validated: what lies off the board is clipped.
void drawPosition(ImageBuffer& canvas, const std::string& fen,
                  const PieceNames& pieceNames, const SpriteSet& sprites);
