// How failures end a run of tib. The render library throws its errors
// (tib/error.h), the output writer a Failure, and either may run out of
// memory; runTib turns what reaches it into one line on standard error,
// after the program's prefix, and the exit status, through reportFailures.
// Nothing else prints a failure.
#pragma once

#include <new>
#include <ostream>
#include <stdexcept>
#include <string>

#include "tib/board/error.h"

namespace tib {

// Every line tib writes on standard error starts with this.
inline constexpr const char* kTibPrefix = "tib: ";

enum class ExitStatus : int {
  ok = 0,
  // The board cannot be used, the output cannot be written, or memory ran
  // out.
  failed = 1,
  // A size= or scale= value that does not convert or is out of range.
  badArguments = 2,
};

// A failure of the program's own stages, with its exit status.
class Failure : public std::runtime_error {
 public:
  Failure(ExitStatus status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  [[nodiscard]] ExitStatus status() const { return status_; }

 private:
  ExitStatus status_;
};

// Runs body, which returns an ExitStatus, and returns its status as an exit
// status; a failure is one line on err after prefix and the matching status:
// a value that cannot be used is a bad argument, any other failure of the
// library, of the program or of memory a failed run.
template <typename Body>
int reportFailures(const char* prefix, std::ostream& err, Body&& body) {
  const auto report = [&](const char* what, ExitStatus status) {
    err << prefix << what << std::endl;
    return static_cast<int>(status);
  };
  try {
    return static_cast<int>(body());
  } catch (const Failure& failure) {
    return report(failure.what(), failure.status());
  } catch (const ValueError& error) {
    return report(error.what(), ExitStatus::badArguments);
  } catch (const Error& error) {
    return report(error.what(), ExitStatus::failed);
  } catch (const std::bad_alloc&) {
    return report("out of memory", ExitStatus::failed);
  }
}

}  // namespace tib
