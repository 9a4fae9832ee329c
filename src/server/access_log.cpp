#include "server/access_log.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

#include "server/failure.h"

namespace tib {

namespace {

// How long a closing log waits for a stalled reader.
constexpr auto kCloseWait = std::chrono::seconds(1);
// How often a write that waits for the reader looks at the clock.
constexpr int kPollMilliseconds = 50;

// Writes at most PIPE_BUF bytes, which a pipe that polls writable takes
// without blocking; a socket is sent to without blocking at all. The
// count written, or -1 with errno.
ssize_t writeSome(int fd, const char* data, std::size_t size) {
  const std::size_t chunk = std::min<std::size_t>(size, PIPE_BUF);
  const ssize_t sent = send(fd, data, chunk, MSG_DONTWAIT | MSG_NOSIGNAL);
  if (sent >= 0 || errno != ENOTSOCK) {
    return sent;
  }
  return ::write(fd, data, chunk);
}

}  // namespace

AccessLog::AccessLog(int fd, std::size_t capacity)
    : fd_(fd), capacity_(capacity), writer_([this] { writeLines(); }) {}

AccessLog::~AccessLog() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    deadline_ = Clock::now() + kCloseWait;
  }
  wake_.notify_all();
  writer_.join();
}

void AccessLog::write(std::string line) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (lines_.size() >= capacity_) {
    ++dropped_;
    return;
  }
  lines_.push_back(kServerPrefix + std::move(line));
  wake_.notify_one();
}

std::optional<AccessLog::Clock::time_point> AccessLog::deadline() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return deadline_;
}

void AccessLog::writeLines() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] {
      return !lines_.empty() || dropped_ > 0 || deadline_.has_value();
    });
    if (lines_.empty() && dropped_ == 0) {
      return;
    }
    std::deque<std::string> batch;
    batch.swap(lines_);
    const uint64_t dropped = std::exchange(dropped_, 0);
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
    const bool written = writeText(text);
    lock.lock();
    if (!written) {
      return;
    }
  }
}

bool AccessLog::writeText(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    pollfd ready{fd_, POLLOUT, 0};
    if (poll(&ready, 1, kPollMilliseconds) > 0) {
      const ssize_t wrote =
          writeSome(fd_, text.data() + done, text.size() - done);
      if (wrote > 0) {
        done += static_cast<std::size_t>(wrote);
        continue;
      }
      if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK &&
          errno != EINTR) {
        // The reader has gone: these lines are lost, later ones may not be.
        return true;
      }
    }
    const std::optional<Clock::time_point> by = deadline();
    if (by && Clock::now() > *by) {
      return false;
    }
  }
  return true;
}

}  // namespace tib
