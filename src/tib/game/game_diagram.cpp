#include "tib/game/game_diagram.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <string_view>

#include "tib/board/error.h"
#include "tib/board/pieces.h"
#include "tib/board/position.h"

namespace tib {

namespace {

std::vector<Mark> firstMarks(const std::vector<Mark>& marks) {
  return {marks.begin(), marks.begin() + static_cast<std::ptrdiff_t>(std::min(
                                             marks.size(), kMaxMarks))};
}

// The most digits a count in a time control may have.
constexpr std::size_t kLongestCount = 6;

std::optional<int64_t> count(std::string_view text) {
  if (text.empty() || text.size() > kLongestCount ||
      text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::accumulate(
      text.begin(), text.end(), int64_t{0},
      [](int64_t value, char c) { return value * 10 + (c - '0'); });
}

// The centiseconds each move adds to its side's clock, by the TimeControl
// tag: each period is "[moves/]seconds[+increment]", periods apart by ':'.
// The increment is the one all periods give; 0 when they differ, when
// there is none ("40/7200:3600", "-", "?") or when the tag is not read.
int64_t incrementOf(const chess::Game& game) {
  const std::string_view control =
      chess::tagValue(game, "TimeControl").value_or("");
  std::optional<int64_t> increment;
  std::size_t at = 0;
  while (at <= control.size()) {
    const std::size_t colon = std::min(control.find(':', at), control.size());
    std::string_view period = control.substr(at, colon - at);
    const std::size_t slash = period.find('/');
    if (slash != std::string_view::npos) {
      if (!count(period.substr(0, slash))) {
        return 0;
      }
      period.remove_prefix(slash + 1);
    }
    const std::size_t plus = period.find('+');
    const std::optional<int64_t> base = count(period.substr(0, plus));
    const std::optional<int64_t> added =
        plus == std::string_view::npos ? 0 : count(period.substr(plus + 1));
    if (!base || !added || (increment && *increment != *added)) {
      return 0;
    }
    increment = added;
    at = colon + 1;
  }
  return increment.value_or(0) * 100;
}

// The centiseconds each ply took its side, by the clocks of the comments:
// the side's clock after its previous move plus the increment, less its
// clock after this one.
std::vector<std::optional<int64_t>> timesSpent(const chess::Game& game) {
  const int64_t increment = incrementOf(game);
  std::vector<std::optional<int64_t>> spent(game.plies.size());
  for (std::size_t i = 2; i < game.plies.size(); ++i) {
    const auto& before = game.plies[i - 2].commentary.clockCentiseconds;
    const auto& after = game.plies[i].commentary.clockCentiseconds;
    if (before && after && *before + increment >= *after) {
      spent[i] = *before + increment - *after;
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

// The placement a FEN of the position gives: ranks from the eighth down,
// files from a, and the side to move.
Placement placementOf(const chess::Position& position) {
  Placement placement;
  for (int rank = 7; rank >= 0; --rank) {
    for (int file = 0; file < 8; ++file) {
      const Square square{file, rank};
      if (const std::optional<chess::Piece> piece = position.pieceAt(square)) {
        placement.pieces.push_back(
            {square,
             pieceIndex(static_cast<unsigned char>(chess::fenLetter(*piece)))});
      }
    }
  }
  placement.sideToMove = position.sideToMove();
  return placement;
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

std::optional<UciMove> uciLastMove(std::string_view text) {
  if (text.empty() || text == "0000") {
    return UciMove{};
  }
  if (text.size() == 4 && text[1] == '@' &&
      std::string_view("PNBRQ").find(text[0]) != std::string_view::npos) {
    if (const std::optional<Square> to = chess::squareNamed(text.substr(2))) {
      return UciMove{{*to}, *to};
    }
  }
  const bool promotion =
      text.size() == 5 &&
      std::string_view("qrbn").find(text[4]) != std::string_view::npos;
  if (text.size() == 4 || promotion) {
    const std::optional<Square> from = chess::squareNamed(text.substr(0, 2));
    const std::optional<Square> to = chess::squareNamed(text.substr(2, 2));
    if (from && to && *from != *to) {
      return UciMove{lastMoveSquares(*from, *to), *to};
    }
  }
  return std::nullopt;
}

Diagram plyDiagram(const chess::Game& game, std::size_t ply,
                   const Settings& settings, Orientation orientation,
                   bool coordinates) {
  const chess::Position& position = chess::positionAfter(game, ply);
  Diagram diagram{placementOf(position), settings, {}};
  Annotations& annotations = diagram.annotations;
  annotations.orientation = orientation;
  annotations.coordinates = coordinates;
  const chess::Commentary& commentary =
      ply == 0 ? game.startCommentary : game.plies.at(ply - 1).commentary;
  const chess::Move* const move = ply > 0 ? &game.plies[ply - 1].move : nullptr;
  if (move != nullptr && move->kind != chess::MoveKind::null) {
    annotations.lastMove =
        lastMoveSquares(move->from, chess::kingDestination(*move));
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
