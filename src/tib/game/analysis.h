// What a game's analysis adds to a ply's decorations: the evaluation bar,
// the material each side has captured, and moves judged from the
// evaluations around them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

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

// Whether the game's plies get the evaluation bar.
bool showsEvalBar(const chess::Game& game, const AnalysisOptions& options);

// The captured pieces, most valuable first, as chess symbols, then the
// points ahead ("+2") when positive: "♛♞♟♟ +2".
std::string materialText(const chess::PieceCounts& captured, int ahead);

// Adds to a ply's decorations: the evaluation bar of its evaluation, or of
// the last one before it (the middle before any), when showsEvalBar; each
// side's material in the players' bars when there are bars; the judged
// glyph of the ply's move when it has none of its own and the evaluations
// before and after it are known.
void addAnalysis(const chess::Game& game, std::size_t ply,
                 const AnalysisOptions& options, Decorations& decorations);

}  // namespace tib
