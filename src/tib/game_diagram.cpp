#include "tib/game_diagram.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "tib/error.h"

namespace tib {

namespace {

std::vector<Mark> firstMarks(const std::vector<Mark>& marks) {
  return {marks.begin(), marks.begin() + static_cast<std::ptrdiff_t>(std::min(
                                             marks.size(), kMaxMarks))};
}

// The centiseconds each ply took its side, by the clocks of the comments:
// the side's clock after its previous move less its clock after this one.
std::vector<std::optional<int64_t>> timesSpent(const chess::Game& game) {
  std::vector<std::optional<int64_t>> spent(game.plies.size());
  for (std::size_t i = 2; i < game.plies.size(); ++i) {
    const auto& before = game.plies[i - 2].commentary.clockCentiseconds;
    const auto& after = game.plies[i].commentary.clockCentiseconds;
    if (before && after && *before >= *after) {
      spent[i] = *before - *after;
    }
  }
  return spent;
}

// The delay of each ply's frame from the clocks: its side's time on the
// next ply, scaled so that the median time is the default delay.
std::vector<unsigned> clockDelays(const chess::Game& game, std::size_t from,
                                  std::size_t to) {
  const std::vector<std::optional<int64_t>> spent = timesSpent(game);
  std::vector<int64_t> known;
  for (std::size_t ply = from; ply < to; ++ply) {
    if (spent[ply]) {
      known.push_back(*spent[ply]);
    }
  }
  std::vector<unsigned> delays(to - from, GameAnimation::kMoveDelay);
  if (known.empty()) {
    return delays;
  }
  const auto middle = static_cast<std::ptrdiff_t>(known.size() / 2);
  std::nth_element(known.begin(), known.begin() + middle, known.end());
  const double median =
      std::max<double>(1.0, static_cast<double>(known[known.size() / 2]));
  for (std::size_t ply = from; ply < to; ++ply) {
    if (spent[ply]) {
      const double scaled = std::round(static_cast<double>(*spent[ply]) *
                                       GameAnimation::kMoveDelay / median);
      delays[ply - from] = static_cast<unsigned>(std::clamp(
          scaled, double{kShortestClockDelay}, double{kLongestClockDelay}));
    }
  }
  return delays;
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

std::optional<std::vector<Square>> uciLastMove(std::string_view text) {
  if (text.empty() || text == "0000") {
    return std::vector<Square>();
  }
  if (text.size() == 4 && text[1] == '@' &&
      std::string_view("PNBRQ").find(text[0]) != std::string_view::npos) {
    if (const std::optional<Square> to = chess::squareNamed(text.substr(2))) {
      return std::vector<Square>{*to};
    }
  }
  const bool promotion =
      text.size() == 5 &&
      std::string_view("qrbn").find(text[4]) != std::string_view::npos;
  if (text.size() == 4 || promotion) {
    const std::optional<Square> from = chess::squareNamed(text.substr(0, 2));
    const std::optional<Square> to = chess::squareNamed(text.substr(2, 2));
    if (from && to && *from != *to) {
      return lastMoveSquares(*from, *to);
    }
  }
  return std::nullopt;
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

std::vector<AnimationFrame> gameFrames(const chess::Game& game,
                                       const GameAnimation& animation) {
  const std::size_t plies = game.plies.size();
  const std::size_t last = animation.to.value_or(plies);
  if (last > plies || animation.from > last) {
    throw ValueError("plies " + std::to_string(animation.from) + " to " +
                     std::to_string(last) + ": the game has " +
                     std::to_string(plies) + " plies");
  }
  const std::vector<unsigned> byClock =
      animation.delay ? std::vector<unsigned>()
                      : clockDelays(game, animation.from, last);
  std::vector<AnimationFrame> frames;
  frames.reserve(last - animation.from + 1);
  for (std::size_t ply = animation.from; ply <= last; ++ply) {
    AnimationFrame frame{
        plyDiagram(game, ply, animation.settings, animation.orientation,
                   animation.coordinates),
        animation.lastDelay};
    dropMoverMarker(frame.diagram.position);
    if (!animation.marks) {
      frame.diagram.annotations.arrows.clear();
      frame.diagram.annotations.highlights.clear();
    }
    if (ply < last) {
      frame.delayCentiseconds =
          animation.delay ? *animation.delay : byClock[ply - animation.from];
    }
    frames.push_back(std::move(frame));
  }
  return frames;
}

}  // namespace tib
