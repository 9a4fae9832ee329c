// The GIF palettes of tib-server: one for each theme and piece set, built
// when a GIF first needs it (a few tens of milliseconds) and kept with the
// decoded artwork, shared by every render after.
#pragma once

#include <memory>

#include "codec/gif_palette.h"
#include "server/themes.h"

namespace tib {

// The palette of GIFs drawn with set's pieces (none: the theme's own) on
// theme's boards, bars and badges included, whose artwork and sprites are
// given. Safe from several threads.
std::shared_ptr<const codec::GifPalette> paletteOf(const Served& served,
                                                   const Theme& theme,
                                                   const PieceSet* set,
                                                   const Artwork& artwork,
                                                   const Sprites& pieces);

}  // namespace tib
