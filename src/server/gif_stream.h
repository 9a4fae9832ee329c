// A GIF streamed as it is made: the render writes each frame into the
// stream on a worker, and the connection takes the bytes out on the I/O
// thread and writes them as chunks.
//
// The design, in short. The response's head goes out with the first bytes
// the encoder writes, so that whatever can be refused before it (a bad
// game, a missing font, a full queue, a stop) still gets a status. Bytes
// put and not yet written to the client are "unsent"; while they exceed
// the bound, the render waits (back-pressure), so that a GIF holds about
// one frame plus the bound, however many frames it has. The stream is cut
// when the client leaves or stops reading for the write timeout, when the
// render's wall time runs out, when the render fails after its first byte
// or when the server closes the connection: a cut wakes a waiting render,
// which stops at its next frame and frees its worker and its queue place,
// and the connection closes without the last chunk, so that no cache keeps
// a cut GIF. Each put nudges the I/O thread through the render queue's
// eventfd; the connection writes what it takes and tells the stream what
// went, which frees room.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace tib {

class GifStream {
 public:
  using Clock = std::chrono::steady_clock;

  // Why a stream ended before its GIF did.
  enum class Cut {
    // The client closed its side, or the connection failed.
    clientLeft,
    // The client took nothing for the write timeout.
    writeTimeout,
    // The render ran past its wall-time budget.
    renderTime,
    // The render failed after its first byte.
    failed,
    // The server closed the connection (a stop past its grace time).
    closed,
  };
  static constexpr std::size_t kCutReasons = 5;
  // The label of a reason in the metrics.
  static std::string_view reasonName(Cut reason);

  // Unsent bytes past bound make the render wait.
  explicit GifStream(std::size_t bound) : bound_(bound) {}

  // On the worker: adds the bytes and calls wake (which tells the I/O
  // thread), then waits while the unsent bytes exceed the bound, until
  // deadline. Past the deadline the stream is cut for render time. Bytes
  // put after a cut are dropped. False once cut.
  bool put(const unsigned char* bytes, std::size_t size,
           Clock::time_point deadline, const std::function<void()>& wake);
  // Whether anything was put: past that, a failure is a cut, not a status.
  [[nodiscard]] bool started() const;

  // On the I/O thread: moves at most most bytes out, oldest first.
  void take(std::vector<unsigned char>& out, std::size_t most);
  // The client took size more bytes: room for the render.
  void sent(std::size_t size);

  // From any thread: ends the stream, waking a render that waits. The first
  // reason given is kept.
  void cut(Cut reason);
  [[nodiscard]] std::optional<Cut> cutReason() const;

 private:
  const std::size_t bound_;
  mutable std::mutex mutex_;
  std::condition_variable roomMade_;
  // Bytes put and not yet taken start at taken_.
  std::vector<unsigned char> pending_;
  std::size_t taken_ = 0;
  std::size_t unsent_ = 0;
  bool started_ = false;
  std::optional<Cut> cut_;
};

}  // namespace tib
