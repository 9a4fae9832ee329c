// The artwork tib-server serves: the default theme from one folder, each
// DIR/themes/<name>/ that holds a board and each piece set DIR/pieces/<name>/,
// loaded and decoded once at start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "server/palettes.h"
#include "tib/board/artwork.h"
#include "tib/decoration/decorated.h"
#include "tib/vector/outlines.h"
#include "tib/vector/piece_vectors.h"

namespace tib {

struct Theme {
  // Shared by every theme name that leads to the same folder.
  std::shared_ptr<const Artwork> artwork;
  // A hash of every decoded picture of the theme, sizes included.
  uint64_t identity = 0;
  // Its pieces and markers as vectors (pieces.svg), none without them, and
  // a hash of their text.
  std::shared_ptr<const PieceVectors> vectors = {};
  uint64_t vectorIdentity = 0;
};

// By name; the default theme is "", also served as kDefaultThemeAlias
// unless a folder has that name.
using Themes = std::map<std::string, Theme>;
inline constexpr const char* kDefaultThemeAlias = "brown";

// The twelve sprites of a folder, drawn on any theme instead of its own.
struct PieceSet {
  std::shared_ptr<const Sprites> sprites;
  // A hash of the sprites, sizes included.
  uint64_t identity = 0;
  std::shared_ptr<const PieceVectors> vectors = {};
  uint64_t vectorIdentity = 0;
};
using PieceSets = std::map<std::string, PieceSet>;

// What tib-server serves.
struct Served {
  Themes themes;
  PieceSets pieceSets;
  // The fonts and badges of players' bars and move glyphs.
  std::shared_ptr<const Lettering> lettering;
  // The GIF palette of each theme and piece set, built when first asked.
  std::shared_ptr<Palettes> palettes;
  // The coordinates of vector diagrams, outlined.
  std::shared_ptr<const LabelGlyphs> labels;
};

// Loads the default theme from folder and every subfolder of folder/themes/
// holding a t_board.png, with the markers of both sides, and the sprites of
// every subfolder of folder/pieces/ holding a t_wb.png; a theme folder
// reached by two names (a symlink, say) is decoded once. Prints the sprite
// warnings on log after the prefix. Loads the fonts of the players' bars;
// throws TextError when there is no usable font. Throws the artwork's own error
// when a board is unusable or the decoded artwork would take more than
// maxArtworkBytes, and a StartError when a folder cannot be listed.
Served loadServed(const std::string& folder, std::size_t maxArtworkBytes,
                  std::ostream& log);

// The hash of the pictures of artwork.
uint64_t artworkIdentity(const Artwork& artwork);

}  // namespace tib
