// The render queue: places taken and freed on the I/O thread, renders on
// the workers, and their way back through an eventfd and reserved room.
#include "server/render_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <boost/asio/post.hpp>
#include <system_error>

namespace tib {

namespace {

namespace net = boost::asio;

int newEventFd() {
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    throw std::system_error(errno, std::generic_category(),
                            "cannot make the render queue's eventfd");
  }
  return fd;
}

}  // namespace

RenderQueue::RenderQueue(net::io_context& io, net::thread_pool& workers,
                         std::size_t places, Metrics& metrics)
    : workers_(workers),
      metrics_(metrics),
      places_(places),
      wake_(io, newEventFd()) {
  free_.reserve(places);
  for (std::size_t place = places; place > 0; --place) {
    free_.push_back(place - 1);
  }
  completing_.reserve(places);
  progressing_.reserve(places);
  finished_.reserve(places);
  nudged_.reserve(places);
}

bool RenderQueue::submit(Job job, std::shared_ptr<const std::atomic<bool>> gone,
                         Done done, Progress progress) {
  if (free_.empty()) {
    return false;
  }
  awaitFinished();
  const std::size_t place = free_.back();
  places_[place].done = std::move(done);
  places_[place].progress = std::move(progress);
  free_.pop_back();
  Ticket ticket(*this, place);
  try {
    net::post(workers_,
              [this, place, ticket = std::move(ticket), job = std::move(job),
               gone = std::move(gone)]() mutable {
                ticket.finish(run(job, Nudge(*this, place), *gone));
              });
  } catch (const std::exception&) {
    // The task, and its ticket with it, is gone: the ticket has reported
    // the render lost, which done hears of.
  }
  return true;
}

void RenderQueue::lastStartAt(Clock::time_point when) {
  lastStart_.store(when.time_since_epoch().count());
}

RenderQueue::Result RenderQueue::run(const Job& job, const Nudge& nudge,
                                     const std::atomic<bool>& gone) {
  if (Clock::now().time_since_epoch().count() > lastStart_.load()) {
    return NotRendered::tooLate;
  }
  if (gone.load()) {
    return NotRendered::clientLeft;
  }
  try {
    const Clock::time_point began = Clock::now();
    Answer answer = job(nudge);
    metrics_.countRender(
        std::chrono::duration<double>(Clock::now() - began).count());
    return answer;
  } catch (const std::exception&) {
    return NotRendered::lost;
  }
}

void RenderQueue::finish(std::size_t place, Result result) noexcept {
  places_[place].result.emplace(std::move(result));
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    finished_.push_back(place);
  }
  const uint64_t one = 1;
  // Cannot fail short of the counter's overflow, 2^64 - 1 reports away.
  (void)(write(wake_.native_handle(), &one, sizeof one) == sizeof one);
}

void RenderQueue::nudge(std::size_t place) noexcept {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (places_[place].nudged) {
      return;
    }
    places_[place].nudged = true;
    nudged_.push_back(place);
  }
  const uint64_t one = 1;
  (void)(write(wake_.native_handle(), &one, sizeof one) == sizeof one);
}

void RenderQueue::awaitFinished() {
  if (awaiting_) {
    return;
  }
  wake_.async_read_some(net::buffer(&wakeCount_, sizeof wakeCount_),
                        [this](boost::system::error_code error, std::size_t) {
                          awaiting_ = false;
                          if (error == net::error::operation_aborted) {
                            return;
                          }
                          completeFinished();
                          if (taken() > 0) {
                            awaitFinished();
                          }
                        });
  awaiting_ = true;
}

void RenderQueue::completeFinished() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    progressing_.assign(nudged_.begin(), nudged_.end());
    nudged_.clear();
    for (const std::size_t place : progressing_) {
      places_[place].nudged = false;
    }
    completing_.assign(finished_.begin(), finished_.end());
    finished_.clear();
  }
  // Progress first: a place's nudges come before its end.
  for (const std::size_t place : progressing_) {
    if (places_[place].progress) {
      places_[place].progress();
    }
  }
  for (const std::size_t place : completing_) {
    Place& finished = places_[place];
    const Done done = std::move(finished.done);
    finished.progress = nullptr;
    Result result = std::move(*finished.result);
    finished.result.reset();
    free_.push_back(place);
    done(result);
  }
}

}  // namespace tib
