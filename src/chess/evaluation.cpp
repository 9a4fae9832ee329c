#include "chess/evaluation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tib::chess {

namespace {

constexpr float kSlope = 0.00368208F;

}  // namespace

float whiteWinningChance(const Evaluation& eval, Side toMove) {
  if (eval.mate) {
    const bool whiteMates =
        eval.value != 0 ? eval.value > 0 : toMove == Side::black;
    return whiteMates ? 100.0F : 0.0F;
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
