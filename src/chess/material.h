// The material of a position as game viewers show it beside the players:
// what each side has captured, and who is ahead by how many points.
#pragma once

#include <array>
#include <vector>

#include "chess/pgn.h"
#include "chess/position.h"
#include "chess/types.h"

namespace tib::chess {

// Pawn, knight, bishop, rook, queen: 1, 3, 3, 5, 9.
int pieceValue(PieceKind kind);

// The standard set's number of each kind (8, 2, 2, 2, 1, 1).
int standardCount(PieceKind kind);

// Counts by PieceKind, pawn to queen (kings are never captured).
using PieceCounts = std::array<int, 5>;

// By Side.
using SideCounts = std::array<PieceCounts, 2>;

struct Material {
  // By Side: the other side's pieces this side has captured, that is what
  // the other side had at the game's start and no longer has, once each
  // piece it got by promotion is counted as the pawn it was. A kind short of
  // its number at the start is captured that often (a promoted piece
  // captured later is captured as what it had become); pawns as often as the
  // pawns and promoted pieces fall short of the start's pawns.
  SideCounts captured{};
  // White's points on the board less black's.
  int whiteAhead = 0;
};

// The material of now, in a game that began at start, when the pieces of
// each side that came from promotions are known (by Side and kind).
Material materialSince(const Position& start, const Position& now,
                       const SideCounts& promoted);

// From the two positions alone: a piece beyond the start's number of its
// kind came from a promotion.
Material materialSince(const Position& start, const Position& now);

// The material at each ply of the game, the start first: promotions known
// from the moves.
std::vector<Material> materialOfPlies(const Game& game);

}  // namespace tib::chess
