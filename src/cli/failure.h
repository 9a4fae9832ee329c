// How failures end a run of tib: program/failure.h's convention, after
// tib's prefix.
#pragma once

#include "program/failure.h"

namespace tib {

// Every line tib writes on standard error starts with this.
inline constexpr const char* kTibPrefix = "tib: ";

}  // namespace tib
