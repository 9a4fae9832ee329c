// Work split in two halves, the second on a thread of its own when the
// caller allows a second thread and the work is large enough to gain.
#pragma once

#include <cstddef>
#include <future>
#include <system_error>
#include <utility>

namespace tib::codec {

// Runs `first` here and `second` on a thread of its own when `split`, else
// both here, one after the other.
template <typename First, typename Second>
void runBoth(bool split, First&& first, Second&& second) {
  std::future<void> other;
  if (split) {
    try {
      other = std::async(std::launch::async, std::forward<Second>(second));
    } catch (const std::system_error&) {
      split = false;
    }
  }
  first();
  if (split) {
    other.get();
  } else {
    second();
  }
}

// Scanlines of this many bytes and more (RGB pictures from about 1700 x
// 1700) are filtered and matched on two threads. The second thread first
// fills its hash chains with the bytes before its blocks, about an eighth
// more work in all: below this size a busy machine (a server rendering on
// every core) would lose more than an idle one gains.
constexpr std::size_t kSplitBytes = std::size_t{8} << 20U;

}  // namespace tib::codec
