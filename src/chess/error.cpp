#include "chess/error.h"

#include <utility>

namespace tib::chess {

namespace {

std::string located(std::size_t game, std::size_t ply,
                    const std::string& moveText, const std::string& reason) {
  std::string where;
  if (game > 0) {
    where = "game " + std::to_string(game);
  }
  if (ply > 0) {
    where += (where.empty() ? "ply " : ", ply ") + std::to_string(ply);
  }
  if (!moveText.empty()) {
    where += (where.empty() ? "(" : " (") + moveText + ")";
  }
  return where.empty() ? reason : where + ": " + reason;
}

}  // namespace

GameError::GameError(std::size_t game, std::size_t ply, std::string moveText,
                     const std::string& reason)
    : Error(reason),
      game_(game),
      ply_(ply),
      moveText_(std::move(moveText)),
      message_(located(game_, ply_, moveText_, reason)) {}

}  // namespace tib::chess
