// The diagram of one ply of a game: what the same diagram written as a FEN
// with lastMove, check and marks draws.
#pragma once

#include <cstddef>
#include <vector>

#include "chess/pgn.h"
#include "tib/render.h"

namespace tib {

// The squares a move tints as the last move, in board order, each once.
std::vector<Square> lastMoveSquares(const Square& from, const Square& to);

// The diagram after ply plies of game (0 is the start): the position, the
// ply's move tinted (castling as the king's step), the check glow when the
// side to move is in check, and the arrows and coloured squares of the
// comments on that position, at most kMaxMarks of each. The view and the
// settings are the caller's.
Diagram plyDiagram(const chess::Game& game, std::size_t ply,
                   const Settings& settings, Orientation orientation,
                   bool coordinates);

}  // namespace tib
