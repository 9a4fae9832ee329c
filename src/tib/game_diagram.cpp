#include "tib/game_diagram.h"

#include <algorithm>

namespace tib {

namespace {

std::vector<Mark> firstMarks(const std::vector<Mark>& marks) {
  return {marks.begin(), marks.begin() + static_cast<std::ptrdiff_t>(std::min(
                                             marks.size(), kMaxMarks))};
}

}  // namespace

std::vector<Square> lastMoveSquares(const Square& from, const Square& to) {
  std::vector<Square> squares{from};
  if (to != from) {
    squares.push_back(to);
  }
  std::sort(squares.begin(), squares.end(),
            [](const Square& a, const Square& b) {
              return a.rank != b.rank ? a.rank < b.rank : a.file < b.file;
            });
  return squares;
}

Diagram plyDiagram(const chess::Game& game, std::size_t ply,
                   const Settings& settings, Orientation orientation,
                   bool coordinates) {
  const chess::Position& position = chess::positionAfter(game, ply);
  Diagram diagram{readPlacement(position.fen()), settings, {}};
  Annotations& annotations = diagram.annotations;
  annotations.orientation = orientation;
  annotations.coordinates = coordinates;
  const chess::Commentary& commentary =
      ply == 0 ? game.startCommentary : game.plies.at(ply - 1).commentary;
  if (ply > 0) {
    const chess::Move& move = game.plies[ply - 1].move;
    annotations.lastMove =
        lastMoveSquares(move.from, move.kind == chess::MoveKind::castling
                                       ? chess::kingDestination(move)
                                       : move.to);
  }
  if (position.inCheck()) {
    annotations.check = kingToMove(diagram.position);
  }
  annotations.highlights = firstMarks(commentary.highlights);
  annotations.arrows = firstMarks(commentary.arrows);
  return diagram;
}

}  // namespace tib
