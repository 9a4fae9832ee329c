// Games in requests to tib-server: the parameters of /game.gif and of a
// PGN's ply on /board.png, and the frames of a game, from a PGN or from JSON
// in the shape lila-gif's game endpoint takes. Pure functions, so that they
// can be tested and fuzzed without a socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tib/decoration/decorated.h"
#include "tib/game/analysis.h"
#include "tib/game/animation_options.h"
#include "tib/game/game_diagram.h"
#include "tib/game/gif_budget.h"

namespace tib {

// A game that cannot be drawn as asked: a 400 whose message names the value,
// or the game, ply and move, at fault.
class GameRequestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::size_t kDefaultMaxFrames = 1000;
// How deep JSON may nest: the game's shape needs three levels.
inline constexpr int kMaxJsonDepth = 8;

// What a /game.gif request asks for, its values read but not yet drawn.
struct GifRequest {
  // The game, as PGN (pgn= or a PGN body) or as JSON (a JSON body).
  std::string pgn;
  std::string json;
  std::size_t game = 1;
  Settings settings{kDefaultGifSize, kDefaultScale};
  // None: the JSON's, else white.
  std::optional<Orientation> orientation;
  std::optional<bool> coordinates;
  // delay, lastDelay, from, to and arrows.
  AnimationChoices animation;
  std::optional<std::string> theme;
  std::optional<std::string> piece;
  bool players = true;
  std::string white;
  std::string black;
  // eval=, material= and judge=.
  AnalysisOptions analysis;
};

// Reads the query of /game.gif, each value as /board.png reads its own:
// size (1 to maxSize), scale, orientation (or color), coordinates, theme,
// piece, arrows, delay (centiseconds, or real), lastDelay, from, to, game,
// players, white, black, eval, material, judge, pgn. The last of a name counts;
// others are ignored. Throws GameRequestError naming the value that cannot be
// used.
GifRequest readGifQuery(
    const std::vector<std::pair<std::string, std::string>>& query,
    int32_t maxSize);

struct GameFrames {
  std::vector<AnimationFrame> frames;
  // One for each frame.
  std::vector<Decorations> decorations;
  // Where the JSON put them, when the query did not.
  std::string theme;
  std::string piece;
};

// The frames the request's game gives, at most maxFrames of them and at
// most maxPixels pixels in all (gifPixels); JSON frames analysed as the
// plies of a PGN are (addAnalysis), the first frame as the game's start. Throws
// GameRequestError: a PGN that cannot be read names the game, ply and move;
// from= or to= past the game names them and the game's length; JSON that cannot
// be read, or nests deeper than kMaxJsonDepth, names the field
// (frames[0].clock.white); more frames than maxFrames names the limit, more
// pixels the budget and what was asked.
GameFrames gameFramesOf(const GifRequest& request, std::size_t maxFrames,
                        uint64_t maxPixels = kDefaultMaxGifPixels);

}  // namespace tib
