// What tib-game and tib-server both read of an animation: the delays, the
// plies shown, the marks, their defaults, and the work budget of a GIF.
// Each program spells the options its own way (--from, from=); the rules
// and the messages are the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "tib/board/position.h"

namespace tib {

struct GameAnimation;

// Centiseconds a move is shown, and the last frame.
inline constexpr unsigned kDefaultMoveDelay = 80;
inline constexpr unsigned kDefaultLastDelay = 500;
inline constexpr int32_t kDefaultGifSize = 480;

struct AnimationChoices {
  // Centiseconds a move; none for the time its side spent by the clocks.
  std::optional<unsigned> delay = kDefaultMoveDelay;
  // Whether delay was given, so that it overrides a game's own delays.
  bool delayGiven = false;
  unsigned lastDelay = kDefaultLastDelay;
  // The first and last plies shown; none for the last of the game.
  std::size_t from = 0;
  std::optional<std::size_t> to;
  // The arrows and coloured squares of the comments.
  bool marks = true;
};

// How a program spells the options of an animation, and how it shows an
// option with its value in a message ("--from 3", "from=3").
struct AnimationOptionNames {
  const char* delay;
  const char* lastDelay;
  const char* from;
  const char* to;
  const char* arrows;
  std::string (*shown)(const std::string& name, const std::string& value);
};

// Reads one option when name is one of names' and returns true; false for
// any other name. The delays are 0 to 65535 centiseconds, delay also
// "real"; from and to are plies; arrows is a switch (1, yes, true, 0, no,
// false). Throws a ValueError naming the option and its value.
bool readAnimationOption(const AnimationOptionNames& names,
                         const std::string& name, const std::string& value,
                         AnimationChoices& choices);

// The last ply shown of a game of plies plies. Throws a ValueError naming
// the options given, and the game's length, when from or to lies past the
// game or from past to.
std::size_t lastPlyShown(const AnimationChoices& choices, std::size_t plies,
                         const AnimationOptionNames& names);

// The choices as a game's animation; its view and settings stay.
void applyChoices(const AnimationChoices& choices, GameAnimation& animation);

// A frame of an animation shows no side-to-move marker: the last move tells
// who moved, and a marker that changes sides at every move would make every
// frame span the board's height.
inline void dropMoverMarker(Placement& position) {
  position.sideToMove.reset();
}

}  // namespace tib
