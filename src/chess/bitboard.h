// Sets of squares as 64-bit words (bit rank * 8 + file) and the attack
// tables the move generator looks up, all computed at compile time.
#pragma once

#include <cstdint>

namespace tib::chess::bits {

using Bitboard = uint64_t;

constexpr Bitboard bit(int square) { return Bitboard{1} << square; }
constexpr int fileOf(int square) { return square & 7; }
constexpr int rankOf(int square) { return square >> 3; }
constexpr int squareAt(int file, int rank) { return rank * 8 + file; }

constexpr Bitboard kRank1 = 0xffULL;
constexpr Bitboard kRank8 = kRank1 << 56;

inline int lowest(Bitboard set) { return __builtin_ctzll(set); }
inline int highest(Bitboard set) { return 63 - __builtin_clzll(set); }
inline int count(Bitboard set) { return __builtin_popcountll(set); }
inline int popLowest(Bitboard& set) {
  const int square = lowest(set);
  set &= set - 1;
  return square;
}

// The tables are C arrays: indexed by int squares, they are what the move
// generator reads most, without a conversion at every look-up.
// NOLINTBEGIN(modernize-avoid-c-arrays)

// The first four directions walk towards higher squares, so the nearest
// blocker on them is the lowest bit; on the other four, the highest.
enum Direction {
  north,
  east,
  northEast,
  northWest,
  south,
  west,
  southWest,
  southEast
};
constexpr int kFileSteps[8] = {0, 1, 1, -1, 0, -1, -1, 1};
constexpr int kRankSteps[8] = {1, 0, 1, 1, -1, 0, -1, -1};

struct Tables {
  Bitboard knight[64];
  Bitboard king[64];
  Bitboard pawn[2][64];  // the squares a pawn of each side attacks
  Bitboard ray[8][64];
  Bitboard between[64][64];  // strictly between two aligned squares
  Bitboard line[64][64];     // the whole line through two aligned squares
};

constexpr Bitboard stepsFrom(int square, const int (*steps)[2], int n) {
  Bitboard set = 0;
  for (int i = 0; i < n; ++i) {
    const int file = fileOf(square) + steps[i][0];
    const int rank = rankOf(square) + steps[i][1];
    if (file >= 0 && file < 8 && rank >= 0 && rank < 8) {
      set |= bit(squareAt(file, rank));
    }
  }
  return set;
}

constexpr Tables makeTables() {
  Tables t{};
  constexpr int knightSteps[8][2] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                     {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
  constexpr int kingSteps[8][2] = {{0, 1},  {1, 1},   {1, 0},  {1, -1},
                                   {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
  constexpr int whitePawn[2][2] = {{-1, 1}, {1, 1}};
  constexpr int blackPawn[2][2] = {{-1, -1}, {1, -1}};
  for (int s = 0; s < 64; ++s) {
    t.knight[s] = stepsFrom(s, knightSteps, 8);
    t.king[s] = stepsFrom(s, kingSteps, 8);
    t.pawn[0][s] = stepsFrom(s, whitePawn, 2);
    t.pawn[1][s] = stepsFrom(s, blackPawn, 2);
    for (int d = 0; d < 8; ++d) {
      int file = fileOf(s) + kFileSteps[d];
      int rank = rankOf(s) + kRankSteps[d];
      Bitboard walked = 0;
      while (file >= 0 && file < 8 && rank >= 0 && rank < 8) {
        const int to = squareAt(file, rank);
        t.between[s][to] = walked;
        walked |= bit(to);
        file += kFileSteps[d];
        rank += kRankSteps[d];
      }
      t.ray[d][s] = walked;
    }
  }
  for (int s = 0; s < 64; ++s) {
    for (int d = 0; d < 8; ++d) {
      const Bitboard line = t.ray[d][s] | t.ray[(d + 4) % 8][s] | bit(s);
      for (Bitboard on = t.ray[d][s]; on != 0; on &= on - 1) {
        t.line[s][__builtin_ctzll(on)] = line;
      }
    }
  }
  return t;
}

inline constexpr Tables kTables = makeTables();

// NOLINTEND(modernize-avoid-c-arrays)

inline Bitboard rayAttacks(int direction, int square, Bitboard occupied) {
  Bitboard attacks = kTables.ray[direction][square];
  const Bitboard blockers = attacks & occupied;
  if (blockers != 0) {
    const int nearest = direction < 4 ? lowest(blockers) : highest(blockers);
    attacks ^= kTables.ray[direction][nearest];
  }
  return attacks;
}

inline Bitboard rookAttacks(int square, Bitboard occupied) {
  return rayAttacks(north, square, occupied) |
         rayAttacks(east, square, occupied) |
         rayAttacks(south, square, occupied) |
         rayAttacks(west, square, occupied);
}

inline Bitboard bishopAttacks(int square, Bitboard occupied) {
  return rayAttacks(northEast, square, occupied) |
         rayAttacks(northWest, square, occupied) |
         rayAttacks(southEast, square, occupied) |
         rayAttacks(southWest, square, occupied);
}

}  // namespace tib::chess::bits
