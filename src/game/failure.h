// How failures end a run of tib-game: one line on standard error after the
// prefix, and the exit status. The chess room throws chess::Error, the
// render library tib::Error or tib::ValueError, the options an OptionError;
// main maps them through reportFailures, and nothing else prints a failure.
#pragma once

#include <new>
#include <ostream>
#include <stdexcept>

#include "chess/error.h"
#include "codec/webp.h"
#include "tib/board/error.h"
#include "tib/text/text.h"

namespace tib::game {

inline constexpr const char* kGamePrefix = "tib-game: ";

enum class ExitStatus : int {
  ok = 0,
  // The file, the game or the artwork cannot be read, or the output cannot
  // be written.
  failed = 1,
  // An option that cannot be used.
  badOption = 2,
};

// An option that cannot be used; the message names it.
class OptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

template <typename Body>
int reportFailures(std::ostream& err, Body&& body) {
  const auto report = [&](const char* what, ExitStatus status) {
    err << kGamePrefix << what << std::endl;
    return static_cast<int>(status);
  };
  try {
    return static_cast<int>(body());
  } catch (const OptionError& error) {
    return report(error.what(), ExitStatus::badOption);
  } catch (const ValueError& error) {
    return report(error.what(), ExitStatus::badOption);
  } catch (const chess::Error& error) {
    return report(error.what(), ExitStatus::failed);
  } catch (const Error& error) {
    return report(error.what(), ExitStatus::failed);
  } catch (const TextError& error) {
    return report(error.what(), ExitStatus::failed);
  } catch (const codec::MotionError& error) {
    return report(error.what(), ExitStatus::failed);
  } catch (const std::bad_alloc&) {
    return report("out of memory", ExitStatus::failed);
  }
}

}  // namespace tib::game
