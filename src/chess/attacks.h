// What the move generator and the position share: attacks on a square and
// the legality of an en passant capture, which depends on the whole board.
#pragma once

#include "chess/bitboard.h"
#include "chess/position.h"

namespace tib::chess {

// The pieces of either side that attack a square, with the given pieces
// standing (a piece not in occupied neither blocks nor attacks).
bits::Bitboard attackersTo(const Position& position, int square,
                           bits::Bitboard occupied);

// Whether the side to move's pawn on from may take en passant on target
// without leaving its king in check (the two pawns leave one rank at once).
bool enPassantIsLegal(const Position& position, int from, int target);

}  // namespace tib::chess
