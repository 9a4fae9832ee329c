// The artwork tib-server serves: the default theme from one folder, each
// DIR/themes/<name>/ that holds a board and each piece set DIR/pieces/<name>/.
// The default theme is decoded at start; the others are read at start only
// for their identity and decoded when first drawn (artwork_cache.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "server/artwork_cache.h"
#include "tib/board/artwork.h"
#include "tib/decoration/decorated.h"
#include "tib/vector/outlines.h"
#include "tib/vector/piece_vectors.h"

namespace tib {

struct Theme {
  // Decoded at start, shared by every name of its folder; none when it is
  // decoded from folder when first drawn.
  std::shared_ptr<const Artwork> artwork;
  // A hash of the bytes of every file of the theme, its name and length
  // included: what decides its pictures.
  uint64_t identity = 0;
  // Its pieces and markers as vectors (pieces.svg), none without them, and
  // a hash of their text.
  std::shared_ptr<const PieceVectors> vectors = {};
  uint64_t vectorIdentity = 0;
  // The folder, its path made canonical: one key for all its names.
  std::string folder = {};
  // Which of kBoardFiles the folder holds, for a theme not yet decoded.
  std::array<bool, kBoardFiles.size()> boards{};
};

// By name; the default theme is "", also served as kDefaultThemeAlias
// unless a folder has that name.
using Themes = std::map<std::string, Theme>;
inline constexpr const char* kDefaultThemeAlias = "brown";

// The twelve sprites of a folder, drawn on any theme instead of its own.
struct PieceSet {
  // Decoded, or none: decoded from folder when first drawn.
  std::shared_ptr<const Sprites> sprites;
  // A hash of the bytes of its sprite files.
  uint64_t identity = 0;
  std::shared_ptr<const PieceVectors> vectors = {};
  uint64_t vectorIdentity = 0;
  std::string folder = {};
};
using PieceSets = std::map<std::string, PieceSet>;

// What tib-server serves.
struct Served {
  Themes themes;
  PieceSets pieceSets;
  // The fonts and badges of players' bars and move glyphs.
  std::shared_ptr<const Lettering> lettering;
  // The coordinates of vector diagrams, outlined.
  std::shared_ptr<const LabelGlyphs> labels;
  // What was decoded after start: themes, piece sets, GIF palettes and
  // thumbnails. None: nothing is decoded after start.
  std::shared_ptr<ArtworkCache> decoded;
};

// Loads the default theme from folder, and reads every subfolder of
// folder/themes/ holding a t_board.png and every subfolder of folder/pieces/
// holding a t_wb.png for their identity, vectors and boards. A theme folder
// reached by two names (a symlink, say) is one theme. Prints the sprite
// warnings on log after the prefix. Loads the fonts of the players' bars;
// throws TextError when there is no usable font. Throws the artwork's own
// error when a board's header does not say a 1024 x 1024 PNG or the default
// theme would take more than maxArtworkBytes, and a StartError when a folder
// cannot be listed. Later decodes are kept within maxArtworkBytes.
Served loadServed(const std::string& folder, std::size_t maxArtworkBytes,
                  std::ostream& log);

// Whether the theme has the board of kBoardFiles[index].
bool hasBoard(const Theme& theme, std::size_t index);

// The theme's artwork and the set's sprites, decoded now when they are not
// yet. Throw an Error when a file cannot be decoded, changed since start or
// would take more than the whole memory limit.
std::shared_ptr<const Artwork> artworkOf(const Served& served,
                                         const Theme& theme);
std::shared_ptr<const Sprites> spritesOf(const Served& served,
                                         const PieceSet& set);

// The pictures a diagram is drawn with, held while it is drawn.
struct Drawn {
  std::shared_ptr<const Artwork> artwork;
  // The set's sprites, or the theme's own without a set.
  std::shared_ptr<const Sprites> pieces;
};

// The theme's artwork and set's sprites, decoded now when they are not yet;
// throws as artworkOf and spritesOf do.
Drawn drawnOf(const Served& served, const Theme& theme, const PieceSet* set);

// Throw an Error when the theme's or set's files changed since start: the
// tags given meanwhile would name other pictures.
void checkUnchanged(const Theme& theme);
void checkUnchanged(const PieceSet& set);

}  // namespace tib
