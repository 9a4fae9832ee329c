// The command line of tib-game.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "game/output_pattern.h"
#include "tib/board/board.h"
#include "tib/board/drawing.h"
#include "tib/game/analysis.h"
#include "tib/game/animation_options.h"
#include "tib/game/motion.h"
#include "tib/sheet/layout.h"

namespace tib::game {

struct GameOptions {
  bool help = false;
  // The PGN file; empty for standard input.
  std::string input;
  // The game of the file, from 1.
  std::size_t game = 1;
  // Print the FENs of the main line instead of drawing.
  bool fens = false;
  // Every game of the file: FENs after a line naming each game, or each
  // game drawn to the file outputs names by its number (read from output),
  // threads games at once.
  bool all = false;
  unsigned threads = 1;
  // The ply drawn, 0 for the start; none for the last.
  std::optional<std::size_t> ply;
  std::string output;
  OutputPattern outputs;
  // An animation of the game rather than a PNG of one ply: -o names a
  // .gif, or a .webp, .mp4 or .webm (motion).
  bool animated = false;
  std::optional<MotionFormat> motion;
  // A video's frame, --frame WxH (0 x 0: the picture's).
  codec::VideoFrame frame;
  // Size none: 1024 for a PNG, kDefaultGifSize for a GIF.
  std::optional<int32_t> size;
  float scale = kDefaultScale;
  // For a GIF: --delay, --last-delay, --from, --to and --arrows.
  AnimationChoices animation;
  // Bars with the players above and below the board, and names that
  // replace the tags' (empty: the tag's).
  bool players = true;
  std::string white;
  std::string black;
  // The evaluation bar, material and judged moves.
  AnalysisOptions analysis;
  // "" is the artwork folder's own board; else a folder of its themes/.
  std::string theme;
  // "" is the theme's own pieces; else a folder of its pieces/.
  std::string piece;
  Orientation orientation = Orientation::white;
  bool coordinates = true;
  // Empty for the installed artwork, else "artwork".
  std::string artwork;
  // A printed sheet of one diagram of every game (FILE.pdf, or FILE.svg of
  // one page), on this paper, so many diagrams a page.
  std::string sheet;
  PaperSize paper = kA4;
  std::size_t perPage = 6;
};

// "--from 3": an option with its value, as messages show it.
std::string shownAsOption(const std::string& name, const std::string& value);

// The options of an animation as tib-game spells them.
inline constexpr AnimationOptionNames kGameOptionNames{
    "--delay", "--last-delay", "--from", "--to", "--arrows", shownAsOption};

// Reads the arguments (program name excluded). Throws an OptionError (or a
// ValueError for --size and --scale) naming the option that cannot be used.
GameOptions readGameOptions(const std::vector<std::string>& args);

void printGameUsage(std::ostream& out);

}  // namespace tib::game
