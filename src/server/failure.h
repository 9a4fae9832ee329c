// How tib-server ends: program/failure.h's convention, after kServerPrefix,
// and the errors of starting. Requests never end up here, each is answered
// with an HTTP status instead.
#pragma once

#include <stdexcept>

#include "program/failure.h"

namespace tib {

// Every line tib-server writes on standard error starts with it.
inline constexpr const char* kServerPrefix = "tib-server: ";

// A start that cannot go on: the address cannot be bound, a folder cannot
// be listed.
class StartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tib
