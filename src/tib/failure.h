// How failures travel. The render library and every stage of the programs
// throw a Failure (or std::bad_alloc when memory runs out) and return
// nothing half-done; each program's entry turns what reaches it into one
// line on standard error, after the program's prefix, and the exit status,
// through reportFailures. Nothing else prints a failure.
#pragma once

#include <new>
#include <ostream>
#include <stdexcept>
#include <string>

namespace tib {

// Every line a program writes on standard error starts with its prefix.
inline constexpr const char* kTibPrefix = "tib: ";
inline constexpr const char* kServerPrefix = "tib-server: ";

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

// Runs body, which returns an ExitStatus, and returns its status as an exit
// status; a Failure or running out of memory is one line on err after
// prefix and the matching status.
template <typename Body>
int reportFailures(const char* prefix, std::ostream& err, Body&& body) {
  try {
    return static_cast<int>(body());
  } catch (const Failure& failure) {
    err << prefix << failure.what() << std::endl;
    return static_cast<int>(failure.status());
  } catch (const std::bad_alloc&) {
    err << prefix << "out of memory" << std::endl;
    return static_cast<int>(ExitStatus::failed);
  }
}

}  // namespace tib
