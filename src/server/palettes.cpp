#include "server/palettes.h"

#include "tib/game/decorated_game.h"

namespace tib {

std::shared_ptr<const codec::GifPalette> paletteOf(const Served& served,
                                                   const Theme& theme,
                                                   const PieceSet* set,
                                                   const Artwork& artwork,
                                                   const Sprites& pieces) {
  const auto build = [&] {
    auto palette = std::make_shared<const codec::GifPalette>(
        decoratedPalette(artwork, pieces, *served.lettering));
    const std::size_t bytes = palette->memoryBytes();
    return Made{std::move(palette), bytes};
  };
  if (!served.decoded) {
    return std::static_pointer_cast<const codec::GifPalette>(build().value);
  }
  // Named by what decides it: the pictures of the theme and of the set.
  const std::string key = std::to_string(theme.identity) + "/" +
                          (set != nullptr ? std::to_string(set->identity) : "");
  return served.decoded->get<codec::GifPalette>({ArtworkKind::palette, key},
                                                build);
}

}  // namespace tib
