#include "chess/material.h"

#include <algorithm>

namespace tib::chess {

namespace {

constexpr std::array<int, 6> kValues{1, 3, 3, 5, 9, 0};
constexpr std::array<int, 6> kStandard{8, 2, 2, 2, 1, 1};

int countOf(const Position& position, Side side, std::size_t kind) {
  return bits::count(position.pieces(side, static_cast<PieceKind>(kind)));
}

PieceCounts countsOf(const Position& position, Side side) {
  PieceCounts counts{};
  for (std::size_t kind = 0; kind < counts.size(); ++kind) {
    counts[kind] = countOf(position, side, kind);
  }
  return counts;
}

// What a side lacks of what it had at the start, its promoted pieces
// counted as pawns.
PieceCounts lacking(const PieceCounts& had, const PieceCounts& has,
                    const PieceCounts& promoted) {
  PieceCounts missing{};
  int pawns = has[0];
  for (std::size_t kind = 1; kind < missing.size(); ++kind) {
    pawns += promoted[kind];
    missing[kind] = std::max(0, had[kind] - (has[kind] - promoted[kind]));
  }
  missing[0] = std::max(0, had[0] - pawns);
  return missing;
}

int points(const Position& position, Side side) {
  int sum = 0;
  for (std::size_t kind = 0; kind < kValues.size(); ++kind) {
    sum += kValues[kind] * countOf(position, side, kind);
  }
  return sum;
}

}  // namespace

int pieceValue(PieceKind kind) {
  return kValues[static_cast<std::size_t>(kind)];
}

int standardCount(PieceKind kind) {
  return kStandard[static_cast<std::size_t>(kind)];
}

Material materialSince(const Position& start, const Position& now,
                       const SideCounts& promoted) {
  Material material;
  material.captured[0] = lacking(countsOf(start, Side::black),
                                 countsOf(now, Side::black), promoted[1]);
  material.captured[1] = lacking(countsOf(start, Side::white),
                                 countsOf(now, Side::white), promoted[0]);
  material.whiteAhead = points(now, Side::white) - points(now, Side::black);
  return material;
}

Material materialSince(const Position& start, const Position& now) {
  SideCounts promoted{};
  for (const Side side : {Side::white, Side::black}) {
    const PieceCounts had = countsOf(start, side);
    const PieceCounts has = countsOf(now, side);
    for (std::size_t kind = 1; kind < had.size(); ++kind) {
      promoted[static_cast<std::size_t>(side)][kind] =
          std::max(0, has[kind] - had[kind]);
    }
  }
  return materialSince(start, now, promoted);
}

std::vector<Material> materialOfPlies(const Game& game) {
  std::vector<Material> material{materialSince(game.start, game.start, {})};
  SideCounts promoted{};
  for (const Ply& played : game.plies) {
    if (played.move.promotion) {
      const Side mover = opposite(played.after.sideToMove());
      ++promoted[static_cast<std::size_t>(mover)]
                [static_cast<std::size_t>(*played.move.promotion)];
    }
    material.push_back(materialSince(game.start, played.after, promoted));
  }
  return material;
}

}  // namespace tib::chess
