// The artwork tib-server serves: the default theme from one folder and each
// DIR/themes/<name>/ that holds a board, loaded and decoded once at start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "tib/artwork.h"

namespace tib {

struct Theme {
  // Shared by every theme name that leads to the same folder.
  std::shared_ptr<const Artwork> artwork;
  // A hash of every decoded picture of the theme, sizes included.
  uint64_t identity = 0;
};

// By name; the default theme is "".
using Themes = std::map<std::string, Theme>;

// Loads the default theme from folder and every subfolder of folder/themes/
// holding a t_board.png, with the markers of both sides; a folder reached
// by two names (a symlink, say) is decoded once. Prints each theme's sprite
// warnings on log after the prefix. Throws a Failure when a board is
// unusable, the decoded artwork would take more than maxArtworkBytes, or the
// themes folder cannot be listed.
Themes loadThemes(const std::string& folder, std::size_t maxArtworkBytes,
                  std::ostream& log);

// The hash of the pictures of artwork.
uint64_t artworkIdentity(const Artwork& artwork);

}  // namespace tib
