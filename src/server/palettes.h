// The GIF palettes of tib-server: one for each theme and piece set, built
// when a GIF first needs it (a few tens of milliseconds) and kept, shared by
// every render after.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "codec/gif_palette.h"
#include "tib/decoration/decorated.h"

namespace tib {

class Palettes {
 public:
  explicit Palettes(const Lettering& lettering) : lettering_(lettering) {}

  // The palette of GIFs drawn with these pieces on this artwork's boards,
  // bars and badges included. Safe from several threads.
  std::shared_ptr<const codec::GifPalette> of(const Artwork& artwork,
                                              const Sprites& pieces);

 private:
  const Lettering& lettering_;
  std::mutex mutex_;
  std::map<std::pair<const Artwork*, const Sprites*>,
           std::shared_ptr<const codec::GifPalette>>
      built_;
};

}  // namespace tib
