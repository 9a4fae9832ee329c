#include "server/artwork_cache.h"

#include <optional>

namespace tib {

const char* artworkKindName(ArtworkKind kind) {
  switch (kind) {
    case ArtworkKind::theme:
      return "theme";
    case ArtworkKind::pieces:
      return "pieces";
    case ArtworkKind::palette:
      return "palette";
    case ArtworkKind::thumbnail:
      return "thumbnail";
  }
  return "other";
}

std::shared_ptr<const void> ArtworkCache::held(
    const ArtworkKey& key, const std::function<Made()>& make) {
  std::promise<std::shared_ptr<const void>> promise;
  std::optional<Shared> made;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = slots_.find(key);
    if (found != slots_.end()) {
      recent_.splice(recent_.begin(), recent_, found->second.recent);
      made = found->second.value;
    } else {
      recent_.push_front(key);
      slots_.emplace(
          key, Slot{promise.get_future().share(), false, 0, recent_.begin()});
      ++decodes_;
    }
  }
  if (made) {
    // Outside the lock: waits for this key's make alone.
    return made->get();
  }
  Made value;
  try {
    value = make();
  } catch (...) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      const auto failed = slots_.find(key);
      recent_.erase(failed->second.recent);
      slots_.erase(failed);
    }
    promise.set_exception(std::current_exception());
    throw;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_.at(key);
    slot.made = true;
    slot.bytes = value.bytes;
    bytes_ += value.bytes;
    shrink();
  }
  promise.set_value(value.value);
  return value.value;
}

void ArtworkCache::shrink() {
  auto oldest = recent_.end();
  while (kept_ + bytes_ > limit_ && oldest != recent_.begin()) {
    --oldest;
    const auto slot = slots_.find(*oldest);
    // A value still being made stays.
    if (!slot->second.made) {
      continue;
    }
    bytes_ -= slot->second.bytes;
    ++dropped_;
    slots_.erase(slot);
    oldest = recent_.erase(oldest);
  }
}

ArtworkUsage ArtworkCache::usage() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  ArtworkUsage usage;
  for (const auto& [key, slot] : slots_) {
    if (slot.made) {
      usage.held.push_back(key);
    }
  }
  usage.bytes = kept_ + bytes_;
  usage.limit = limit_;
  usage.decodes = decodes_;
  usage.dropped = dropped_;
  return usage;
}

bool ArtworkCache::holds(const ArtworkKey& key) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto found = slots_.find(key);
  return found != slots_.end() && found->second.made;
}

}  // namespace tib
