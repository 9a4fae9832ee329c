// How failures end a run of tib-game: program/failure.h's convention, after
// tib-game's prefix.
#pragma once

#include "program/failure.h"

namespace tib::game {

inline constexpr const char* kGamePrefix = "tib-game: ";

}  // namespace tib::game
