// How a stage reports that the run cannot go on: it throws a Failure, and
// the program's entry turns it into one line on standard error, after the
// program's prefix, and the exit status.
#pragma once

#include <stdexcept>
#include <string>

enum class ExitStatus : int {
  ok = 0,
  // The board cannot be used, the output cannot be written, or memory ran
  // out.
  failed = 1,
  // A size= or scale= value that does not convert or is out of range.
  badArguments = 2,
};

class Failure : public std::runtime_error {
 public:
  Failure(ExitStatus status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  [[nodiscard]] ExitStatus status() const { return status_; }

 private:
  ExitStatus status_;
};
