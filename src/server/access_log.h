// tib-server's log of requests. Lines are queued by the I/O thread and
// written by a thread of their own, so a slow or stalled reader of the log
// never holds up a request; when the queue is full, lines are dropped and
// counted, and the count is written once the reader catches up.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

namespace tib {

class AccessLog {
 public:
  // Queues at most capacity lines for out.
  AccessLog(std::ostream& out, std::size_t capacity);
  // Writes what is queued, waiting for a stalled reader no longer than a
  // second; the lines it could not take are lost.
  ~AccessLog();
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  // Queues one line, without its line end, or drops it. Never blocks on the
  // reader.
  void write(std::string line);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace tib
