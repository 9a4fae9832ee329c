#include "chess/evaluation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tib::chess {

namespace {

constexpr float kSlope = 0.00368208F;

// Beyond these centipawns from the mover's side, a mate lost or created is
// only dubious, or a mistake.
constexpr int kDubiousMateCentipawns = 999;
constexpr int kMistakeMateCentipawns = 700;

// Which side a mate is for; a mate in 0 is the side to move's loss.
Side matingSide(const Evaluation& eval, Side toMove) {
  if (eval.value != 0) {
    return eval.value > 0 ? Side::white : Side::black;
  }
  return opposite(toMove);
}

// Centipawns from the mover's side; 0 for a mate.
int moverCentipawns(const Evaluation& eval, Side mover) {
  if (eval.mate) {
    return 0;
  }
  return mover == Side::white ? eval.value : -eval.value;
}

Glyph mateGlyph(int moverCentipawnsBeside) {
  if (moverCentipawnsBeside > kDubiousMateCentipawns) {
    return Glyph::dubious;
  }
  if (moverCentipawnsBeside > kMistakeMateCentipawns) {
    return Glyph::mistake;
  }
  return Glyph::blunder;
}

// A mate lost, or one for the opponent created; none for anything else.
std::optional<Glyph> judgedMate(const EvaluatedMove& move) {
  const Side next = opposite(move.mover);
  const bool hadMate =
      move.before.mate && matingSide(move.before, move.mover) == move.mover;
  const bool keepsMate =
      move.after.mate && matingSide(move.after, next) == move.mover;
  if (hadMate && !keepsMate) {
    return mateGlyph(moverCentipawns(move.after, move.mover));
  }
  const bool opponentMates =
      move.after.mate && matingSide(move.after, next) == next;
  if (!move.before.mate && opponentMates) {
    return mateGlyph(-moverCentipawns(move.before, move.mover));
  }
  return std::nullopt;
}

}  // namespace

float whiteWinningChance(const Evaluation& eval, Side toMove) {
  if (eval.mate) {
    return matingSide(eval, toMove) == Side::white ? 100.0F : 0.0F;
  }
  const auto cp = static_cast<float>(
      std::clamp(eval.value, -kLargestCentipawns, kLargestCentipawns));
  const float exponential = std::exp(-kSlope * cp);
  const float chances = 2.0F / (1.0F + exponential) - 1.0F;
  return 50.0F + 50.0F * chances;
}

std::string evaluationText(const Evaluation& eval) {
  if (eval.mate) {
    return "#" + std::to_string(eval.value);
  }
  const long tenths = (std::labs(static_cast<long>(eval.value)) + 5) / 10;
  const char* sign = tenths == 0 ? "" : eval.value > 0 ? "+" : "-";
  return sign + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

float winningChanceDrop(const EvaluatedMove& move) {
  // The position after the move has the other side to move.
  const Side next = opposite(move.mover);
  const float before = whiteWinningChance(move.before, move.mover);
  const float after = whiteWinningChance(move.after, next);
  const float whiteDrop = 2.0F * (before - after);
  return move.mover == Side::white ? whiteDrop : -whiteDrop;
}

std::optional<Glyph> judgedGlyph(const EvaluatedMove& move) {
  if (move.before.mate || move.after.mate) {
    return judgedMate(move);
  }
  const float drop = winningChanceDrop(move);
  if (drop >= 30.0F) {
    return Glyph::blunder;
  }
  if (drop >= 20.0F) {
    return Glyph::mistake;
  }
  if (drop >= 10.0F) {
    return Glyph::dubious;
  }
  return std::nullopt;
}

}  // namespace tib::chess
