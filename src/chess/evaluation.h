// What an engine's evaluation means to a viewer: white's winning chance,
// the value as analysis boards write it, and the judgment of a move from
// the evaluations before and after it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "chess/pgn.h"
#include "chess/types.h"

namespace tib::chess {

// An evaluation as [%eval] writes it: "0.35" and "-1" in pawns, "#-3";
// none for anything else.
std::optional<Evaluation> evaluationNamed(std::string_view text);

// Centipawns beyond this count as this much: a won position's chance stays
// short of a mate's.
inline constexpr int kLargestCentipawns = 1000;

// White's winning chance in percent, 0 to 100: 50 + 50 * (2 / (1 + exp(-k
// cp)) - 1) with k = 0.00368208 and cp within kLargestCentipawns, in single
// precision; 100 when white mates, 0 when black does. A mate in 0 is the
// side to move's loss.
float whiteWinningChance(const Evaluation& eval, Side toMove);

// "+1.3", "-0.4" and "0.0" (tenths of a pawn, rounded half away from zero),
// "#3" and "#-2".
std::string evaluationText(const Evaluation& eval);

// The evaluations of the positions before and after a move.
struct EvaluatedMove {
  Evaluation before;
  Evaluation after;
  Side mover = Side::white;
};

// How much the move lowered the mover's winning chance, in points of the
// [-1, 1] scale analysis boards judge on (twice the percent drop of
// whiteWinningChance); negative when it rose.
float winningChanceDrop(const EvaluatedMove& move);

// As lichess judges a move. Without a mate on either side, by the drop: at
// least 30 a blunder, 20 a mistake, 10 dubious. A mate the mover had and
// lost, by the evaluation left (from the mover's side): above +9.99 dubious,
// above +7.00 a mistake, else a blunder. A mate for the opponent created, by
// the evaluation before: below -9.99 dubious, below -7.00 a mistake, else a
// blunder. Any other change of mates (one delayed, one kept) is not judged.
std::optional<Glyph> judgedGlyph(const EvaluatedMove& move);

}  // namespace tib::chess
