// How a failure ends a run of any of the three programs: one line on
// standard error after the program's prefix, and the exit status. The chess
// room throws chess::Error, the render library tib::Error or
// tib::ValueError, a program's own stages a Failure or an OptionError, and
// anything may run out of memory; each program's entry maps them through
// reportFailures, and nothing else prints a failure.
#pragma once

#include <exception>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>

#include "tib/board/error.h"

namespace tib {

enum class ExitStatus : int {
  ok = 0,
  // The input, the artwork, the address or the output could not be used,
  // or memory ran out.
  failed = 1,
  // An option or a value that cannot be used: nothing was read or written.
  badUsage = 2,
};

// A failure of a program's own stages, with its exit status.
class Failure : public std::runtime_error {
 public:
  Failure(ExitStatus status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  [[nodiscard]] ExitStatus status() const { return status_; }

 private:
  ExitStatus status_;
};

// An option that cannot be used; the message names it.
class OptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs body, which returns an ExitStatus, and returns it as an exit status;
// a failure is one line on err after prefix and the matching status: an
// option or value that cannot be used is bad usage, any other failure a
// failed run.
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
  } catch (const OptionError& error) {
    return report(error.what(), ExitStatus::badUsage);
  } catch (const ValueError& error) {
    return report(error.what(), ExitStatus::badUsage);
  } catch (const std::bad_alloc&) {
    return report("out of memory", ExitStatus::failed);
  } catch (const std::exception& error) {
    return report(error.what(), ExitStatus::failed);
  }
}

}  // namespace tib
