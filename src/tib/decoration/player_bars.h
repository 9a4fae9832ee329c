// Player bars above and below a finished diagram: title, name, rating and
// clock of each side, drawn in the style of dark game-viewer bars.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "chess/types.h"
#include "tib/board/drawing.h"
#include "tib/decoration/painting.h"
#include "tib/text/text.h"

namespace tib {

// Names, titles and ratings longer than this many bytes are cut at a code
// point boundary before drawing.
inline constexpr std::size_t kLongestPlayerText = 100;

struct PlayerInfo {
  std::string name;
  std::string title;
  std::string rating;
  std::optional<int> clockCentiseconds;
  // What the player has captured and is ahead by, drawn small after the
  // name and rating ("♛♟ +2"); empty for none.
  std::string material = {};
};

struct PlayerBars {
  PlayerInfo white;
  PlayerInfo black;
  // The side whose bar is under the board: white unless the board is seen
  // from black.
  chess::Side bottom = chess::Side::white;
  // Its clock stands out.
  std::optional<chess::Side> toMove;
};

// "h:mm:ss" from an hour on, "m:ss" from ten seconds, "0:0s.t" with tenths
// below ten seconds, as a running clock shows them. Time is cut, never
// rounded up, so a clock never shows more than is left; below zero reads
// as zero.
std::string formatClock(int centiseconds);

// Height of each bar for a diagram of the given width: a twelfth of it,
// rounded, at least one pixel.
int barHeight(int width);

// The bar above and the bar below a diagram of this width, each width x
// barHeight(width) pixels.
struct DrawnBars {
  ImageBuffer above;
  ImageBuffer below;
};
DrawnBars drawPlayerBars(int width, const PlayerBars& players,
                         const TextRenderer& text);

// The same bars laid out, for drawing as vectors.
struct BarPaintings {
  Painting above;
  Painting below;
};
BarPaintings layOutPlayerBars(int width, const PlayerBars& players,
                              const TextRenderer& text);

// The diagram with a bar above and one below; the diagram's pixels are
// copied unchanged between them. Throws TextError when the diagram's bytes
// do not match its size.
ImageBuffer addPlayerBars(const ImageBuffer& diagram, const PlayerBars& players,
                          const TextRenderer& text);

}  // namespace tib
