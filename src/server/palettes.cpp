#include "server/palettes.h"

#include "tib/game/decorated_game.h"

namespace tib {

std::shared_ptr<const codec::GifPalette> Palettes::of(const Artwork& artwork,
                                                      const Sprites& pieces) {
  const std::pair<const Artwork*, const Sprites*> key{&artwork, &pieces};
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (const auto found = built_.find(key); found != built_.end()) {
      return found->second;
    }
  }
  // Built outside the lock: two first GIFs of one theme may both build it,
  // and get the same palette.
  auto palette = std::make_shared<const codec::GifPalette>(
      decoratedPalette(artwork, pieces, lettering_));
  const std::lock_guard<std::mutex> lock(mutex_);
  return built_.emplace(key, std::move(palette)).first->second;
}

}  // namespace tib
