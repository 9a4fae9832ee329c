#include "server/metrics.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace tib {

namespace {

std::string number(double value) {
  std::array<char, 32> text{};
  const int length = std::snprintf(text.data(), text.size(), "%.6g", value);
  return {text.data(), static_cast<std::size_t>(length)};
}

}  // namespace

void Metrics::countResponse(unsigned status, std::size_t bodyBytes) {
  const auto* known =
      std::find(kCountedStatuses.begin(), kCountedStatuses.end() - 1, status);
  requests[static_cast<std::size_t>(known - kCountedStatuses.begin())]++;
  responseBytes += bodyBytes;
}

void Metrics::countRender(double seconds) {
  const auto* bucket =
      std::lower_bound(kRenderBuckets.begin(), kRenderBuckets.end(), seconds);
  renders[static_cast<std::size_t>(bucket - kRenderBuckets.begin())]++;
  renderMicroseconds += static_cast<uint64_t>(seconds * 1e6);
}

std::string Metrics::text() const {
  std::string out =
      "# HELP tib_requests_total Requests answered, by status.\n"
      "# TYPE tib_requests_total counter\n";
  for (std::size_t i = 0; i < kCountedStatuses.size(); ++i) {
    const std::string status = kCountedStatuses[i] == 0
                                   ? std::string("other")
                                   : std::to_string(kCountedStatuses[i]);
    out += "tib_requests_total{status=\"" + status + "\"} " +
           std::to_string(requests[i].load()) + "\n";
  }
  out +=
      "# HELP tib_render_seconds Time to draw and encode one diagram.\n"
      "# TYPE tib_render_seconds histogram\n";
  uint64_t cumulative = 0;
  for (std::size_t i = 0; i <= kRenderBuckets.size(); ++i) {
    cumulative += renders[i].load();
    const std::string bound =
        i < kRenderBuckets.size() ? number(kRenderBuckets[i]) : "+Inf";
    out += "tib_render_seconds_bucket{le=\"" + bound + "\"} " +
           std::to_string(cumulative) + "\n";
  }
  out += "tib_render_seconds_sum " +
         number(static_cast<double>(renderMicroseconds.load()) / 1e6) + "\n" +
         "tib_render_seconds_count " + std::to_string(cumulative) + "\n";
  out +=
      "# HELP tib_requests_in_flight Requests read and not yet answered.\n"
      "# TYPE tib_requests_in_flight gauge\n"
      "tib_requests_in_flight " +
      std::to_string(inFlight.load()) +
      "\n"
      "# HELP tib_connections Connections open.\n"
      "# TYPE tib_connections gauge\n"
      "tib_connections " +
      std::to_string(connections.load()) +
      "\n"
      "# HELP tib_response_bytes_total Body bytes of the answers sent.\n"
      "# TYPE tib_response_bytes_total counter\n"
      "tib_response_bytes_total " +
      std::to_string(responseBytes.load()) +
      "\n"
      "# HELP tib_gifs_total Animated GIFs of games made.\n"
      "# TYPE tib_gifs_total counter\n"
      "tib_gifs_total " +
      std::to_string(gifs.load()) +
      "\n"
      "# HELP tib_gif_frames_total Frames of the GIFs made.\n"
      "# TYPE tib_gif_frames_total counter\n"
      "tib_gif_frames_total " +
      std::to_string(gifFrames.load()) +
      "\n"
      "# HELP tib_streams Streamed answers (GIFs) open.\n"
      "# TYPE tib_streams gauge\n"
      "tib_streams " +
      std::to_string(streams.load()) +
      "\n"
      "# HELP tib_stream_unsent_bytes Bytes the streams hold made and not yet "
      "sent.\n"
      "# TYPE tib_stream_unsent_bytes gauge\n"
      "tib_stream_unsent_bytes " +
      std::to_string(streamBytes.load()) +
      "\n"
      "# HELP tib_gifs_cut_total GIFs cut after their head was sent, by "
      "reason.\n"
      "# TYPE tib_gifs_cut_total counter\n";
  for (std::size_t i = 0; i < gifsCut.size(); ++i) {
    out += "tib_gifs_cut_total{reason=\"" +
           std::string(cutName(static_cast<StreamCut>(i))) + "\"} " +
           std::to_string(gifsCut[i].load()) + "\n";
  }
  return out;
}

}  // namespace tib
