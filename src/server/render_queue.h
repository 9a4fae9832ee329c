// The render queue of tib-server: a bounded number of places for work
// waiting for a worker or being done, the workers that do it, the clock
// after which none starts, and the way back to the I/O thread. Two lanes
// take turns for the workers: renders (a diagram, drawn whole) and the
// short tasks of streams (a few frames of a GIF each), so that a diagram
// waits for at most a task, never a whole GIF. Each lane has its own
// places. Whatever becomes of the work (done, skipped, its task lost to an
// exception), its place is freed and its completion runs on the I/O thread,
// which alone touches connections: the way back allocates nothing, so it
// cannot fail.
#pragma once

#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "server/answers.h"
#include "server/metrics.h"

namespace tib {

class RenderQueue {
 public:
  using Clock = std::chrono::steady_clock;
  // Runs on a worker.
  using Job = std::function<Answer()>;
  // Why a render gave no answer.
  enum class NotRendered {
    // Its client had left before it started.
    clientLeft,
    // It would have started after lastStartAt.
    tooLate,
    // Its task failed to reach a worker, or the render failed to build
    // even its failure's answer.
    lost,
  };
  using Result = std::variant<Answer, NotRendered>;
  // Runs on the I/O thread with what became of the render; must not throw.
  using Done = std::function<void(Result&)>;
  enum class Lane { render, stream };

  // Runs the jobs on workers and their completions on io; at most
  // renderPlaces renders and streamPlaces stream tasks at once.
  RenderQueue(boost::asio::io_context& io, boost::asio::thread_pool& workers,
              std::size_t renderPlaces, std::size_t streamPlaces,
              Metrics& metrics);
  RenderQueue(const RenderQueue&) = delete;
  RenderQueue& operator=(const RenderQueue&) = delete;

  // On the I/O thread: takes a place of the lane for the job and has a
  // worker run it in its turn, skipped when gone is set by then; done
  // follows in any case. False, having taken nothing, when every place of
  // the lane is taken.
  bool submit(Job job, std::shared_ptr<const std::atomic<bool>> gone, Done done,
              Lane lane = Lane::render);

  // Work that would start after when is not run.
  void lastStartAt(Clock::time_point when);

  // The places taken now (I/O thread).
  [[nodiscard]] std::size_t taken() const;

 private:
  struct Place {
    // Set on the I/O thread before the place waits, read by the worker
    // that takes it (under mutex_).
    Job job;
    std::shared_ptr<const std::atomic<bool>> gone;
    // Touched on the I/O thread only.
    Done done;
    Lane lane = Lane::render;
    // Written by the worker before it reports the place finished.
    std::optional<Result> result;
  };

  // One is posted to the workers for each place that waits; it runs the
  // place whose turn it is. One destroyed without running (a pool stopped,
  // a post that failed) reports a waiting place lost, so that every place
  // comes back.
  class Runner {
   public:
    explicit Runner(RenderQueue& queue) : queue_(&queue) {}
    Runner(Runner&& other) noexcept
        : queue_(std::exchange(other.queue_, nullptr)) {}
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;
    Runner& operator=(Runner&&) = delete;
    ~Runner() {
      if (queue_ != nullptr) {
        queue_->dropOne();
      }
    }
    void operator()() { std::exchange(queue_, nullptr)->runNext(); }

   private:
    RenderQueue* queue_;
  };

  // On a worker.
  void runNext() noexcept;
  Result run(const Place& place);
  // On any thread; allocate nothing.
  void dropOne() noexcept;
  void finish(std::size_t place, Result result) noexcept;
  // On the I/O thread.
  void awaitFinished();
  void completeFinished();

  boost::asio::thread_pool& workers_;
  Metrics& metrics_;
  std::vector<Place> places_;
  // I/O thread only: each lane's free places.
  std::array<std::vector<std::size_t>, 2> free_;
  std::vector<std::size_t> completing_;
  bool awaiting_ = false;
  uint64_t wakeCount_ = 0;
  std::mutex mutex_;
  // Each lane's places waiting for a worker, and the lane that had the last
  // turn.
  std::array<std::deque<std::size_t>, 2> waiting_;
  Lane lastTurn_ = Lane::stream;
  // The places finished and not yet completed, each once: never more than
  // there are places, for which room is reserved.
  std::vector<std::size_t> finished_;
  // An eventfd: a worker adds to it after reporting a place finished.
  boost::asio::posix::stream_descriptor wake_;
  // In Clock ticks.
  std::atomic<Clock::rep> lastStart_{Clock::duration::max().count()};
};

}  // namespace tib
