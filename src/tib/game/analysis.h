// What a game's analysis adds to a ply's decorations: the evaluation bar,
// the material each side has captured, and moves judged from the
// evaluations around them. A PGN game and a JSON game's frames are read
// into the same positions and analysed alike.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "chess/material.h"
#include "chess/pgn.h"
#include "tib/decoration/decorated.h"

namespace tib {

struct AnalysisOptions {
  // The evaluation bar: on, off, or none for on when the game has
  // evaluations.
  std::optional<bool> evalBar;
  // The material in the players' bars.
  bool material = true;
  // Glyphs from the evaluations for moves that have none.
  bool judge = false;
};

// One position of a game as its analysis reads it.
struct AnalysedPosition {
  chess::Side toMove = chess::Side::white;
  std::optional<chess::Evaluation> eval;
  // Since the game's start; none when the position cannot be counted.
  std::optional<chess::Material> material;
  // Where the badge of the move that led here goes; none at the start or
  // for no move.
  std::optional<Square> moveSquare;
};

// The start and the position after each ply.
std::vector<AnalysedPosition> analysedPositions(const chess::Game& game);

// The captured pieces, most valuable first, as chess symbols, then the
// points ahead ("+2") when positive: "♛♞♟♟ +2".
std::string materialText(const chess::PieceCounts& captured, int ahead);

// Adds to the decorations of positions[index]: the evaluation bar of its
// evaluation, or of the last one before it (the middle before any), when
// the options ask for it or, by default, when any position has one; each
// side's material in the players' bars when there are bars; the judged
// glyph of the move that led to it when it has none of its own and the
// evaluations before and after the move are known.
void addAnalysis(const std::vector<AnalysedPosition>& positions,
                 std::size_t index, const AnalysisOptions& options,
                 Decorations& decorations);

// The same for one ply of a game.
void addAnalysis(const chess::Game& game, std::size_t ply,
                 const AnalysisOptions& options, Decorations& decorations);

}  // namespace tib
