// The render queue of tib-server: a bounded number of places for diagrams
// waiting for a worker or being drawn, the workers that draw them, the
// clock after which none starts, and the way back to the I/O thread, for
// the end of a render and for its progress (a GIF's bytes, streamed).
// Whatever becomes of a render (drawn, skipped, its task lost to an
// exception), its place is freed and its completion runs on the I/O
// thread, which alone touches connections: the way back allocates nothing,
// so it cannot fail.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
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
  class Nudge;
  // Draws a diagram on a worker; may nudge as it goes.
  using Job = std::function<Answer(const Nudge&)>;
  // Runs on the I/O thread after nudges; must not throw.
  using Progress = std::function<void()>;
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

  // Runs the jobs on workers and their completions on io; at most places
  // of them at once.
  RenderQueue(boost::asio::io_context& io, boost::asio::thread_pool& workers,
              std::size_t places, Metrics& metrics);
  RenderQueue(const RenderQueue&) = delete;
  RenderQueue& operator=(const RenderQueue&) = delete;

  // Has the progress of a running job's place run on the I/O thread: once
  // for any number of nudges since it last ran, before the job's done.
  // Allocates nothing.
  class Nudge {
   public:
    Nudge(RenderQueue& queue, std::size_t place)
        : queue_(&queue), place_(place) {}
    void operator()() const noexcept { queue_->nudge(place_); }

   private:
    RenderQueue* queue_;
    std::size_t place_;
  };

  // On the I/O thread: takes a place for the job and hands it to a worker,
  // which skips it when gone is set by then; done follows in any case, and
  // progress after the job's nudges. False, having taken nothing, when
  // every place is taken.
  bool submit(Job job, std::shared_ptr<const std::atomic<bool>> gone, Done done,
              Progress progress = {});

  // Renders that would start after when are not run.
  void lastStartAt(Clock::time_point when);

  // The places taken now (I/O thread).
  [[nodiscard]] std::size_t taken() const {
    return places_.size() - free_.size();
  }

 private:
  struct Place {
    // Touched on the I/O thread only.
    Done done;
    Progress progress;
    // Whether the place is in nudged_; under mutex_.
    bool nudged = false;
    // Written by the worker before it reports the place finished.
    std::optional<Result> result;
  };

  // Reports its place finished exactly once: with the render's result, or
  // lost when it is destroyed before that, wherever it is.
  class Ticket {
   public:
    Ticket(RenderQueue& queue, std::size_t place)
        : queue_(&queue), place_(place) {}
    Ticket(Ticket&& other) noexcept
        : queue_(other.queue_), place_(std::exchange(other.place_, kNone)) {}
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;
    Ticket& operator=(Ticket&&) = delete;
    ~Ticket() {
      if (place_ != kNone) {
        queue_->finish(place_, NotRendered::lost);
      }
    }
    void finish(Result result) {
      queue_->finish(std::exchange(place_, kNone), std::move(result));
    }

   private:
    static constexpr std::size_t kNone = ~std::size_t{0};
    RenderQueue* queue_;
    std::size_t place_;
  };

  // On a worker.
  Result run(const Job& job, const Nudge& nudge, const std::atomic<bool>& gone);
  // On any thread; allocate nothing.
  void finish(std::size_t place, Result result) noexcept;
  void nudge(std::size_t place) noexcept;
  // On the I/O thread.
  void awaitFinished();
  void completeFinished();

  boost::asio::thread_pool& workers_;
  Metrics& metrics_;
  std::vector<Place> places_;
  // I/O thread only.
  std::vector<std::size_t> free_;
  std::vector<std::size_t> completing_;
  std::vector<std::size_t> progressing_;
  bool awaiting_ = false;
  uint64_t wakeCount_ = 0;
  // The places finished and not yet completed, each once: never more than
  // there are places, for which room is reserved.
  std::mutex mutex_;
  std::vector<std::size_t> finished_;
  // The places nudged and not yet told, each once.
  std::vector<std::size_t> nudged_;
  // An eventfd: a worker adds to it after reporting a place finished or
  // nudged.
  boost::asio::posix::stream_descriptor wake_;
  // In Clock ticks.
  std::atomic<Clock::rep> lastStart_{Clock::duration::max().count()};
};

}  // namespace tib
