// What tib-server counts for its operators, in the Prometheus text
// exposition format at GET /metrics. Counters are atomics, so the I/O
// thread and the render workers update them without a lock.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/gif_stream.h"
#include "server/themes.h"

namespace tib {

// The statuses tib-server answers with; any other is counted as "other".
inline constexpr std::array<unsigned, 10> kCountedStatuses{
    200, 304, 400, 404, 405, 414, 431, 500, 503, 0};

// Upper bounds of the render-time histogram, in seconds.
inline constexpr std::array<double, 10> kRenderBuckets{
    0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1.0, 2.5, 10.0};

struct Metrics {
  Metrics() = default;
  // With the artwork served, whose themes and sets /metrics lists.
  explicit Metrics(const Served* served) : served_(served) {}

  std::array<std::atomic<uint64_t>, kCountedStatuses.size()> requests{};
  std::array<std::atomic<uint64_t>, kRenderBuckets.size() + 1> renders{};
  std::atomic<uint64_t> renderMicroseconds{0};
  std::atomic<uint64_t> responseBytes{0};
  std::atomic<int64_t> inFlight{0};
  std::atomic<int64_t> connections{0};
  // Animated GIFs made, and their frames.
  std::atomic<uint64_t> gifs{0};
  std::atomic<uint64_t> gifFrames{0};
  // GIFs whose stream was cut after its head, by reason.
  std::array<std::atomic<uint64_t>, kStreamCutReasons> gifsCut{};
  // Streamed answers open, and the bytes they hold made and not yet sent.
  std::atomic<int64_t> streams{0};
  std::atomic<int64_t> streamBytes{0};

  void countResponse(unsigned status, std::size_t bodyBytes);
  void countRender(double seconds);
  // The exposition text.
  [[nodiscard]] std::string text() const;

 private:
  const Served* served_ = nullptr;
};

// The artwork's lines of /metrics: each theme and piece set served, whether
// it is decoded, and the decoded artwork's memory, decodes and drops.
std::string artworkMetrics(const Served& served);

// One request counted in flight while this lives: however its answer ends,
// written, dropped or lost to an exception, the count comes back.
class InFlight {
 public:
  explicit InFlight(Metrics& metrics) : gauge_(&metrics.inFlight) { ++*gauge_; }
  ~InFlight() { --*gauge_; }
  InFlight(const InFlight&) = delete;
  InFlight& operator=(const InFlight&) = delete;

 private:
  std::atomic<int64_t>* gauge_;
};

}  // namespace tib
