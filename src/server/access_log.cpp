#include "server/access_log.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "server/failure.h"

namespace tib {

// Shared by the log and its writer thread, which may outlive the log when
// the reader stalls at the end.
struct AccessLog::State {
  State(std::ostream& stream, std::size_t limit)
      : out(stream), capacity(limit) {}

  std::ostream& out;
  const std::size_t capacity;
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable idle;
  std::deque<std::string> lines;
  uint64_t dropped = 0;
  bool writing = false;
  bool closing = false;
};

namespace {

void writeLines(const std::shared_ptr<AccessLog::State>& state) {
  std::unique_lock<std::mutex> lock(state->mutex);
  for (;;) {
    state->wake.wait(lock, [&state] {
      return !state->lines.empty() || state->dropped > 0 || state->closing;
    });
    if (state->lines.empty() && state->dropped == 0) {
      return;
    }
    std::deque<std::string> batch;
    batch.swap(state->lines);
    const uint64_t dropped = std::exchange(state->dropped, 0);
    state->writing = true;
    lock.unlock();
    std::string text;
    for (const std::string& line : batch) {
      text += line;
      text += '\n';
    }
    if (dropped > 0) {
      text += std::string(kServerPrefix) + "dropped " +
              std::to_string(dropped) +
              " log lines: the log was not read fast enough\n";
    }
    state->out << text << std::flush;
    lock.lock();
    state->writing = false;
    state->idle.notify_all();
  }
}

}  // namespace

AccessLog::AccessLog(std::ostream& out, std::size_t capacity)
    : state_(std::make_shared<State>(out, capacity)) {
  std::thread(writeLines, state_).detach();
}

AccessLog::~AccessLog() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->closing = true;
  state_->wake.notify_all();
  state_->idle.wait_for(lock, std::chrono::seconds(1), [this] {
    return state_->lines.empty() && state_->dropped == 0 && !state_->writing;
  });
}

void AccessLog::write(std::string line) {
  const std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->lines.size() >= state_->capacity) {
    ++state_->dropped;
    return;
  }
  state_->lines.push_back(std::move(line));
  state_->wake.notify_one();
}

}  // namespace tib
