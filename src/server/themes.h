// The artwork tib-server serves: the default theme from one folder and each
// DIR/themes/<name>/ that holds a board, loaded and decoded once at start.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>

#include "tib/artwork.h"

namespace tib {

struct Theme {
  Artwork artwork;
  // A hash of every decoded picture of the theme, sizes included.
  uint64_t identity = 0;
};

// By name; the default theme is "".
using Themes = std::map<std::string, Theme>;

// Loads the default theme from folder and every subfolder of folder/themes/
// holding a t_board.png, with the markers of both sides. Prints each
// theme's sprite warnings on log after the prefix. Throws a Failure when a
// board is unusable or the themes folder cannot be listed.
Themes loadThemes(const std::string& folder, std::ostream& log);

// The hash of the pictures of artwork.
uint64_t artworkIdentity(const Artwork& artwork);

}  // namespace tib
