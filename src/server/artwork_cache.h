// The decoded artwork tib-server holds: each theme, piece set, GIF palette
// and page thumbnail decoded when first asked for and kept under a memory
// limit, the least recently used dropped first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tib {

enum class ArtworkKind { theme, pieces, palette, thumbnail };

// The kind as /metrics names it.
const char* artworkKindName(ArtworkKind kind);

// What is decoded: a theme's or piece set's folder, a palette's identities.
using ArtworkKey = std::pair<ArtworkKind, std::string>;

// A value just made and the memory it takes.
struct Made {
  std::shared_ptr<const void> value;
  std::size_t bytes = 0;
};

// What the cache holds, for /metrics and tests.
struct ArtworkUsage {
  std::vector<ArtworkKey> held;
  // Held values and the memory kept outside the cache.
  std::size_t bytes = 0;
  std::size_t limit = 0;
  uint64_t decodes = 0;
  uint64_t dropped = 0;
};

class ArtworkCache {
 public:
  // keptBytes: what is held outside the cache (the default theme), counted
  // against limitBytes.
  ArtworkCache(std::size_t limitBytes, std::size_t keptBytes)
      : limit_(limitBytes), kept_(keptBytes) {}

  // The value of key, made by make when not held. Several threads asking
  // for one key at once share one make, each waiting for that one only;
  // what make throws reaches each of them, and the next ask tries again.
  template <typename Value>
  std::shared_ptr<const Value> get(const ArtworkKey& key,
                                   const std::function<Made()>& make) {
    return std::static_pointer_cast<const Value>(held(key, make));
  }

  [[nodiscard]] ArtworkUsage usage() const;
  [[nodiscard]] bool holds(const ArtworkKey& key) const;

 private:
  using Shared = std::shared_future<std::shared_ptr<const void>>;
  struct Slot {
    Shared value;
    bool made = false;
    std::size_t bytes = 0;
    std::list<ArtworkKey>::iterator recent;
  };

  std::shared_ptr<const void> held(const ArtworkKey& key,
                                   const std::function<Made()>& make);
  // Drops the least recently used values made until the held memory fits
  // the limit: one that does not fit beside what is kept outside is handed
  // to those who asked for it and dropped. Called with the lock held.
  void shrink();

  const std::size_t limit_;
  const std::size_t kept_;
  mutable std::mutex mutex_;
  std::map<ArtworkKey, Slot> slots_;
  // The most recently used first.
  std::list<ArtworkKey> recent_;
  std::size_t bytes_ = 0;
  uint64_t decodes_ = 0;
  uint64_t dropped_ = 0;
};

}  // namespace tib
