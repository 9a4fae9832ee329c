// tib-server's log of requests. Lines are queued by the I/O thread and
// written by a thread of their own, so a slow or stalled reader of the log
// never holds up a request; when the queue is full, lines are dropped and
// counted, and the count is written once the reader catches up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tib {

class AccessLog {
 public:
  // Queues at most capacity lines for the file descriptor fd, which stays
  // the caller's.
  AccessLog(int fd, std::size_t capacity);
  // Writes what is queued, waiting for a stalled reader no longer than a
  // second, and ends the writer thread: the lines the reader did not take
  // by then are lost.
  ~AccessLog();
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  // Queues one line, without tib-server's prefix or its line end, or drops
  // it. Never blocks on the reader.
  void write(std::string line);

 private:
  using Clock = std::chrono::steady_clock;

  void writeLines();
  // Writes text whole, or gives up when the reader fails or, once the log
  // closes, does not take it by the deadline; false when it gave up that
  // way.
  bool writeText(const std::string& text);
  std::optional<Clock::time_point> deadline();

  const int fd_;
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> lines_;
  uint64_t dropped_ = 0;
  // Set once the log closes.
  std::optional<Clock::time_point> deadline_;
  // Last: it starts once the rest is ready.
  std::thread writer_;
};

}  // namespace tib
