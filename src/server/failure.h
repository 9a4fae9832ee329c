// How tib-server ends: its exit statuses and the errors of starting that
// lead to them. main turns what reaches it into one line on standard error,
// after kServerPrefix, and the matching status; requests never end up here,
// each is answered with an HTTP status instead.
#pragma once

#include <stdexcept>

namespace tib {

// Every line tib-server writes on standard error starts with it.
inline constexpr const char* kServerPrefix = "tib-server: ";

enum class ExitStatus : int {
  ok = 0,
  // The address, the artwork or memory could not be had.
  failed = 1,
  // The command line cannot be used.
  badOption = 2,
};

// An option that cannot be used, with its reason and the usage.
class OptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A start that cannot go on: the address cannot be bound, a folder cannot
// be listed.
class StartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tib
