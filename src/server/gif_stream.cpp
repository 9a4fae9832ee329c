// The stream between a GIF's render and its connection: bytes, room and
// the cut, under one lock.
#include "server/gif_stream.h"

#include <algorithm>
#include <array>

namespace tib {

std::string_view GifStream::reasonName(Cut reason) {
  static constexpr std::array<std::string_view, kCutReasons> kNames{
      "client_left", "write_timeout", "render_time", "failed", "closed"};
  return kNames.at(static_cast<std::size_t>(reason));
}

bool GifStream::put(const unsigned char* bytes, std::size_t size,
                    Clock::time_point deadline,
                    const std::function<void()>& wake) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (cut_) {
    return false;
  }
  // What was taken goes first, so that the buffer holds only untaken bytes.
  pending_.erase(pending_.begin(),
                 pending_.begin() + static_cast<std::ptrdiff_t>(taken_));
  taken_ = 0;
  pending_.insert(pending_.end(), bytes, bytes + size);
  unsent_ += size;
  started_ = true;
  lock.unlock();
  wake();
  lock.lock();
  if (!roomMade_.wait_until(lock, deadline,
                            [this] { return cut_ || unsent_ <= bound_; })) {
    cut_ = Cut::renderTime;
  }
  return !cut_;
}

bool GifStream::started() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return started_;
}

void GifStream::take(std::vector<unsigned char>& out, std::size_t most) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t size = std::min(most, pending_.size() - taken_);
  const auto from = pending_.begin() + static_cast<std::ptrdiff_t>(taken_);
  out.assign(from, from + static_cast<std::ptrdiff_t>(size));
  taken_ += size;
}

void GifStream::sent(std::size_t size) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    unsent_ -= std::min(size, unsent_);
  }
  roomMade_.notify_all();
}

void GifStream::cut(Cut reason) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!cut_) {
      cut_ = reason;
    }
  }
  roomMade_.notify_all();
}

std::optional<GifStream::Cut> GifStream::cutReason() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return cut_;
}

}  // namespace tib
