// The diagram of one ply of a game: what the same diagram written as a FEN
// with lastMove, check and marks draws.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "chess/pgn.h"
#include "tib/board/render.h"
#include "tib/game/animation.h"
#include "tib/game/animation_options.h"

namespace tib {

// The squares a move tints as the last move, in board order, each once.
std::vector<Square> lastMoveSquares(const Square& from, const Square& to);

// A move in UCI as a diagram shows it: the squares it tints, and the square
// it ends on, where its badge goes.
struct UciMove {
  std::vector<Square> tinted;
  std::optional<Square> to;
};

// Tinted are both squares of a move (e2e4, e7e8q), the destination of a
// drop (P@e4), none for "" and the null move 0000; nothing when the text is
// no move.
std::optional<UciMove> uciLastMove(std::string_view text);

// The diagram after ply plies of game (0 is the start): the position, the
// ply's move tinted (castling as the king's step; a null move tints
// nothing), the check glow when the side to move is in check, and the
// arrows and coloured squares of the comments on that position, at most
// kMaxMarks of each. The view and the settings are the caller's.
Diagram plyDiagram(const chess::Game& game, std::size_t ply,
                   const Settings& settings, Orientation orientation,
                   bool coordinates);

// How a game is animated.
struct GameAnimation {
  Settings settings{kDefaultGifSize, kDefaultScale};
  Orientation orientation = Orientation::white;
  bool coordinates = true;
  // The arrows and coloured squares of the comments.
  bool marks = true;
  // Centiseconds each move is shown; none for the time its side spent by
  // the clocks of the comments ([%clk]).
  std::optional<unsigned> delay = kMoveDelay;
  // Centiseconds the last frame is shown.
  unsigned lastDelay = kDefaultLastDelay;
  // The first and last plies shown; none for the last of the game.
  std::size_t from = 0;
  std::optional<std::size_t> to;

  static constexpr unsigned kMoveDelay = kDefaultMoveDelay;
};

// The most a move is shown by the clocks, and the least.
inline constexpr unsigned kLongestClockDelay = 200;
inline constexpr unsigned kShortestClockDelay = 10;

// The plies from..to of the game as frames. By the clocks, each move is
// shown for the time its side spent on the next move (its clock before,
// plus the TimeControl tag's increment, less its clock after), scaled so
// that the median is kMoveDelay, within
// kShortestClockDelay..kLongestClockDelay; a move whose time is not known
// is shown for the median. Throws a ValueError when from or to lies past
// the game or from past to.
std::vector<AnimationFrame> gameFrames(const chess::Game& game,
                                       const GameAnimation& animation);

}  // namespace tib
