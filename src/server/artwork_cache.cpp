#include "server/artwork_cache.h"

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
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = slots_.find(key);
    if (found != slots_.end()) {
      recent_.splice(recent_.begin(), recent_, found->second.recent);
      const Shared value = found->second.value;
      // Waits outside the lock, for this key's make alone.
      return value.get();
    }
    recent_.push_front(key);
    slots_.emplace(key, Slot{promise.get_future().share(), false, 0, recent_.begin()});
    ++decodes_;
  }
  Made made;
  try {
    made = make();
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
    slot.bytes = made.bytes;
    bytes_ += made.bytes;
    shrink(key);
  }
  promise.set_value(made.value);
  return made.value;
}

void ArtworkCache::shrink(const ArtworkKey& keep) {
  auto oldest = recent_.end();
  while (kept_ + bytes_ > limit_ && oldest != recent_.begin()) {
    --oldest;
    const auto slot = slots_.find(*oldest);
    // A value still being made stays.
    if (*oldest == keep || !slot->second.made) {
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
