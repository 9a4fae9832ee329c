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

// A name as a label value: backslash, quote and line feed escaped.
std::string metricLabel(const std::string& name) {
  std::string escaped;
  for (const char c : name) {
    if (c == '\\' || c == '"') {
      escaped += '\\';
    }
    escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return escaped;
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
  return served_ != nullptr ? out + artworkMetrics(*served_) : out;
}

std::string artworkMetrics(const Served& served) {
  const ArtworkUsage usage =
      served.decoded ? served.decoded->usage() : ArtworkUsage{};
  const auto decoded = [&usage](ArtworkKind kind, const std::string& folder) {
    return std::find(usage.held.begin(), usage.held.end(),
                     ArtworkKey{kind, folder}) != usage.held.end();
  };
  std::string out =
      "# HELP tib_artwork_decoded Each theme and piece set served: 1 when its "
      "pictures are decoded.\n"
      "# TYPE tib_artwork_decoded gauge\n";
  for (const auto& [name, theme] : served.themes) {
    const bool held =
        theme.artwork != nullptr || decoded(ArtworkKind::theme, theme.folder);
    out += R"(tib_artwork_decoded{kind="theme",name=")" + metricLabel(name) +
           "\"} " + (held ? "1" : "0") + "\n";
  }
  for (const auto& [name, set] : served.pieceSets) {
    const bool held =
        set.sprites != nullptr || decoded(ArtworkKind::pieces, set.folder);
    out += R"(tib_artwork_decoded{kind="pieces",name=")" + metricLabel(name) +
           "\"} " + (held ? "1" : "0") + "\n";
  }
  out +=
      "# HELP tib_artwork_held Decoded themes, piece sets, GIF palettes and "
      "thumbnails held, by kind.\n"
      "# TYPE tib_artwork_held gauge\n";
  for (const ArtworkKind kind :
       {ArtworkKind::theme, ArtworkKind::pieces, ArtworkKind::palette,
        ArtworkKind::thumbnail}) {
    const auto count = std::count_if(
        usage.held.begin(), usage.held.end(),
        [kind](const ArtworkKey& key) { return key.first == kind; });
    out += "tib_artwork_held{kind=\"" + std::string(artworkKindName(kind)) +
           "\"} " + std::to_string(count) + "\n";
  }
  return out +
         "# HELP tib_artwork_bytes Memory of the decoded artwork, the default "
         "theme's included.\n"
         "# TYPE tib_artwork_bytes gauge\n"
         "tib_artwork_bytes " +
         std::to_string(usage.bytes) +
         "\n"
         "# HELP tib_artwork_limit_bytes --max-artwork-memory.\n"
         "# TYPE tib_artwork_limit_bytes gauge\n"
         "tib_artwork_limit_bytes " +
         std::to_string(usage.limit) +
         "\n"
         "# HELP tib_artwork_decodes_total Themes, piece sets, palettes and "
         "thumbnails decoded or built after start.\n"
         "# TYPE tib_artwork_decodes_total counter\n"
         "tib_artwork_decodes_total " +
         std::to_string(usage.decodes) +
         "\n"
         "# HELP tib_artwork_dropped_total Decoded artwork dropped, the least "
         "recently used first, to stay under the limit.\n"
         "# TYPE tib_artwork_dropped_total counter\n"
         "tib_artwork_dropped_total " +
         std::to_string(usage.dropped) + "\n";
}

}  // namespace tib
