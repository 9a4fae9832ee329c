// How the render library reports a failure: it throws one of these (or
// std::bad_alloc when memory runs out) and returns nothing half-done. Each
// program decides what a failure means for it: an exit status, an HTTP
// status, a warning.
#pragma once

#include <stdexcept>
#include <string>

namespace tib {

// The diagram cannot be drawn or encoded: the artwork lacks a board or
// cannot be used, the encoder failed.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value given for the diagram cannot be used (a size or scale that does
// not convert or lies out of range). The message names the value.
class ValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tib
