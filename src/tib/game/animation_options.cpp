#include "tib/game/animation_options.h"

#include "tib/board/error.h"
#include "tib/board/values.h"
#include "tib/game/game_diagram.h"

namespace tib {

namespace {

constexpr uint32_t kLongestDelay = 65535;
constexpr uint32_t kLastPly = 999999999;

unsigned readNumber(const AnimationOptionNames& names, const std::string& name,
                    const std::string& value, uint32_t high) {
  const std::optional<uint32_t> number = wholeNumber(value, 0, high);
  if (!number) {
    throw ValueError(names.shown(name, value) +
                     ": not a whole number from 0 to " + std::to_string(high));
  }
  return *number;
}

std::string pliesOf(std::size_t plies) {
  return "the game has " + std::to_string(plies) +
         (plies == 1 ? " ply" : " plies");
}

}  // namespace

bool readAnimationOption(const AnimationOptionNames& names,
                         const std::string& name, const std::string& value,
                         AnimationChoices& choices) {
  if (name == names.delay) {
    choices.delay = value == "real" ? std::nullopt
                                    : std::optional<unsigned>(readNumber(
                                          names, name, value, kLongestDelay));
    choices.delayGiven = true;
  } else if (name == names.lastDelay) {
    choices.lastDelay = readNumber(names, name, value, kLongestDelay);
  } else if (name == names.from) {
    choices.from = readNumber(names, name, value, kLastPly);
  } else if (name == names.to) {
    choices.to = readNumber(names, name, value, kLastPly);
  } else if (name == names.arrows) {
    const std::optional<bool> on = switchValue(value);
    if (!on) {
      throw ValueError(names.shown(name, value) +
                       ": use 1, yes, true, 0, no or false");
    }
    choices.marks = *on;
  } else {
    return false;
  }
  return true;
}

std::size_t lastPlyShown(const AnimationChoices& choices, std::size_t plies,
                         const AnimationOptionNames& names) {
  const std::string from =
      names.shown(names.from, std::to_string(choices.from));
  if (choices.to) {
    const std::string to = names.shown(names.to, std::to_string(*choices.to));
    if (*choices.to > plies) {
      throw ValueError(to + ": " + pliesOf(plies));
    }
    if (choices.from > *choices.to) {
      throw ValueError(from + " " + to + ": " + names.from + " lies past " +
                       names.to);
    }
    return *choices.to;
  }
  if (choices.from > plies) {
    throw ValueError(from + ": " + pliesOf(plies));
  }
  return plies;
}

void applyChoices(const AnimationChoices& choices, GameAnimation& animation) {
  animation.delay = choices.delay;
  animation.lastDelay = choices.lastDelay;
  animation.from = choices.from;
  animation.to = choices.to;
  animation.marks = choices.marks;
}

}  // namespace tib
