// The render queue: places taken and freed on the I/O thread, the lanes'
// turns and the work on the workers, and their way back through an eventfd
// and reserved room.
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

std::size_t laneIndex(RenderQueue::Lane lane) {
  return static_cast<std::size_t>(lane);
}

}  // namespace

RenderQueue::RenderQueue(net::io_context& io, net::thread_pool& workers,
                         std::size_t renderPlaces, std::size_t streamPlaces,
                         Metrics& metrics)
    : workers_(workers),
      metrics_(metrics),
      places_(renderPlaces + streamPlaces),
      wake_(io, newEventFd()) {
  for (std::size_t place = places_.size(); place > 0; --place) {
    const Lane lane = place > renderPlaces ? Lane::stream : Lane::render;
    places_[place - 1].lane = lane;
    free_.at(laneIndex(lane)).push_back(place - 1);
  }
  completing_.reserve(places_.size());
  finished_.reserve(places_.size());
}

std::size_t RenderQueue::taken() const {
  return places_.size() - free_[0].size() - free_[1].size();
}

bool RenderQueue::submit(Job job, std::shared_ptr<const std::atomic<bool>> gone,
                         Done done, Lane lane) {
  std::vector<std::size_t>& free = free_.at(laneIndex(lane));
  if (free.empty()) {
    return false;
  }
  awaitFinished();
  const std::size_t place = free.back();
  free.pop_back();
  places_[place].done = std::move(done);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    places_[place].job = std::move(job);
    places_[place].gone = std::move(gone);
    waiting_.at(laneIndex(lane)).push_back(place);
  }
  try {
    net::post(workers_, Runner(*this));
  } catch (const std::exception&) {
    // The runner, gone with the task, has reported a place lost, which its
    // done hears of.
  }
  return true;
}

void RenderQueue::lastStartAt(Clock::time_point when) {
  lastStart_.store(when.time_since_epoch().count());
}

void RenderQueue::runNext() noexcept {
  std::size_t place = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    // The lane that did not have the last turn goes first when it has work.
    const Lane other = lastTurn_ == Lane::render ? Lane::stream : Lane::render;
    const Lane lane = waiting_.at(laneIndex(other)).empty() ? lastTurn_ : other;
    std::deque<std::size_t>& waiting = waiting_.at(laneIndex(lane));
    place = waiting.front();
    waiting.pop_front();
    lastTurn_ = lane;
  }
  Result result = run(places_[place]);
  finish(place, std::move(result));
}

RenderQueue::Result RenderQueue::run(const Place& place) {
  if (Clock::now().time_since_epoch().count() > lastStart_.load()) {
    return NotRendered::tooLate;
  }
  if (place.gone->load()) {
    return NotRendered::clientLeft;
  }
  try {
    const Clock::time_point began = Clock::now();
    Answer answer = place.job();
    metrics_.countRender(
        std::chrono::duration<double>(Clock::now() - began).count());
    return answer;
  } catch (const std::exception&) {
    return NotRendered::lost;
  }
}

void RenderQueue::dropOne() noexcept {
  std::size_t place = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::deque<std::size_t>& waiting =
        waiting_[0].empty() ? waiting_[1] : waiting_[0];
    place = waiting.back();
    waiting.pop_back();
  }
  finish(place, NotRendered::lost);
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
    completing_.assign(finished_.begin(), finished_.end());
    finished_.clear();
  }
  for (const std::size_t place : completing_) {
    Place& finished = places_[place];
    const Done done = std::move(finished.done);
    Result result = std::move(*finished.result);
    finished.result.reset();
    {
      // The job's captures (a stream's frames) go now, not when the place
      // is next taken.
      const std::lock_guard<std::mutex> lock(mutex_);
      finished.job = nullptr;
      finished.gone.reset();
    }
    free_.at(laneIndex(finished.lane)).push_back(place);
    done(result);
  }
}

}  // namespace tib
