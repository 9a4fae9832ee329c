#include "chess/material.h"

#include <algorithm>

namespace tib::chess {

namespace {

constexpr std::array<int, 6> kValues{1, 3, 3, 5, 9, 0};
constexpr std::array<int, 6> kStandard{8, 2, 2, 2, 1, 1};

int countOf(const Position& position, Side side, std::size_t kind) {
  return bits::count(position.pieces(side, static_cast<PieceKind>(kind)));
}

// What a side lacks of the standard set, its promoted pieces counted as
// pawns.
PieceCounts lacking(const Position& position, Side side,
                    const PieceCounts& promoted) {
  PieceCounts missing{};
  int pawns = countOf(position, side, 0);
  for (std::size_t kind = 1; kind < missing.size(); ++kind) {
    pawns += promoted[kind];
    const int original = countOf(position, side, kind) - promoted[kind];
    missing[kind] = std::max(0, kStandard[kind] - original);
  }
  missing[0] = std::max(0, kStandard[0] - pawns);
  return missing;
}

int points(const Position& position, Side side) {
  int sum = 0;
  for (std::size_t kind = 0; kind < kValues.size(); ++kind) {
    sum += kValues[kind] * countOf(position, side, kind);
  }
  return sum;
}

SideCounts beyondStandard(const Position& position) {
  SideCounts promoted{};
  for (const Side side : {Side::white, Side::black}) {
    for (std::size_t kind = 1; kind < PieceCounts().size(); ++kind) {
      promoted[static_cast<std::size_t>(side)][kind] =
          std::max(0, countOf(position, side, kind) - kStandard[kind]);
    }
  }
  return promoted;
}

}  // namespace

int pieceValue(PieceKind kind) {
  return kValues[static_cast<std::size_t>(kind)];
}

int standardCount(PieceKind kind) {
  return kStandard[static_cast<std::size_t>(kind)];
}

Material materialOf(const Position& position, const SideCounts& promoted) {
  Material material;
  material.captured[0] = lacking(position, Side::black, promoted[1]);
  material.captured[1] = lacking(position, Side::white, promoted[0]);
  material.whiteAhead =
      points(position, Side::white) - points(position, Side::black);
  return material;
}

Material materialOf(const Position& position) {
  return materialOf(position, beyondStandard(position));
}

Material materialAfter(const Game& game, std::size_t ply) {
  SideCounts promoted = beyondStandard(game.start);
  for (std::size_t i = 0; i < ply && i < game.plies.size(); ++i) {
    const Ply& played = game.plies[i];
    if (played.move.promotion) {
      const Side mover = opposite(played.after.sideToMove());
      ++promoted[static_cast<std::size_t>(mover)]
                [static_cast<std::size_t>(*played.move.promotion)];
    }
  }
  return materialOf(positionAfter(game, ply), promoted);
}

}  // namespace tib::chess
