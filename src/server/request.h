// What a request to tib-server gets, decided once: the query decoded, the
// diagram parameters read with tib's own conversion rules, the theme and
// piece set looked up, the status of each refusal, the entity tag and
// If-None-Match. Pure functions of their arguments, so that they can be
// tested and fuzzed without a socket.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "server/game_request.h"
#include "server/themes.h"
#include "tib/board/artwork.h"
#include "tib/board/render.h"
#include "tib/game/gif_budget.h"
#include "tib/game/motion.h"
#include "tib/vector/svg.h"

namespace tib {

// Longest request line accepted, its CRLF included; longer gets 414.
inline constexpr std::size_t kRequestLineLimit = 8192;
// Longest request head (request line and header fields) accepted; longer
// gets 431 unless the request line alone is too long.
inline constexpr std::size_t kHeadLimit = 16384;

// Decodes %XX escapes (either case of hex digit); with plusIsSpace, '+' is a
// space. A '%' that is not followed by two hex digits stays as it is.
std::string percentDecode(std::string_view text, bool plusIsSpace);

// The name=value pairs of a query in order, as a browser's form encoding
// writes them: pieces split at '&', empty pieces skipped, the first '='
// ends the name (none: the value is empty), both decoded with '+' a space.
std::vector<std::pair<std::string, std::string>> decodeQuery(
    std::string_view query);

// A request answered with a status and one line.
struct Refuse {
  unsigned status = 400;
  // Without the line end.
  std::string message;
  // Bytes that are no request may follow (a body, the rest of a head too
  // long to read): the connection closes after the answer.
  bool closeAfter = false;
  // For 405: the methods of the path, as Allow lists them.
  std::string allow{};
};

// The answers that are the same for every request that gets them.
enum class StaticPage {
  // The page to try diagrams with, at / and /index.html.
  tryIt,
  // 200 "ok", at /healthz.
  health,
  // The counters in the Prometheus text format, at /metrics.
  metrics,
  // 204 to OPTIONS, the CORS preflight a page on another site sends
  // before it fetches or posts: the methods of the path.
  preflight,
};

struct StaticAnswer {
  StaticPage page = StaticPage::health;
  // For a preflight: the methods of the path, as Allow lists them.
  std::string_view allow{};
};

// The format of /game.webp, /game.mp4 and /game.webm; none elsewhere.
std::optional<MotionFormat> motionOfPath(std::string_view path);

// Whether a path animates a game (/game.gif, .webp, .mp4, .webm): the paths
// that take a body.
bool isGamePath(std::string_view path);

// What a path is for.
enum class Route { page, health, metrics, board, svg, gif, thumbnail };

// Each path, what it is for and the methods it takes as Allow lists them:
// routing, 405 and OPTIONS all read this one table.
struct PathRoute {
  std::string_view path;
  Route route;
  std::string_view methods;
};
inline constexpr std::array<PathRoute, 11> kRoutes{{
    {"/", Route::page, "GET, HEAD"},
    {"/index.html", Route::page, "GET, HEAD"},
    {"/healthz", Route::health, "GET, HEAD"},
    {"/metrics", Route::metrics, "GET, HEAD"},
    {"/board.png", Route::board, "GET, HEAD, OPTIONS"},
    {"/board.svg", Route::svg, "GET, HEAD, OPTIONS"},
    {"/game.gif", Route::gif, "GET, HEAD, POST, OPTIONS"},
    {"/game.webp", Route::gif, "GET, HEAD, POST, OPTIONS"},
    {"/game.mp4", Route::gif, "GET, HEAD, POST, OPTIONS"},
    {"/game.webm", Route::gif, "GET, HEAD, POST, OPTIONS"},
    {"/thumbnail.png", Route::thumbnail, "GET, HEAD"},
}};

// A diagram the client holds already: 304 with its tag.
struct NotModified {
  std::string tag;
};

// A diagram to draw, with everything the render needs.
struct Render {
  // The theme and the piece set to draw with it (none: its own pieces),
  // owned by served, the Served the decision came from, which decodes them
  // when first drawn.
  const Served* served = nullptr;
  const Theme* theme = nullptr;
  const PieceSet* pieceSet = nullptr;
  // The page's picture of the piece set, or of the theme without one,
  // instead of a diagram (/thumbnail.png).
  bool thumbnail = false;
  Diagram diagram;
  // The players' bars and a move's glyph, drawn with lettering.
  Decorations decorations;
  const Lettering* lettering = nullptr;
  std::string tag;
  // An SVG document instead (/board.svg), drawn from these vectors.
  bool svg = false;
  VectorArt vectors;
};

// A game to animate, with everything the GIF needs.
struct RenderGif {
  // As a Render's; served also holds the palettes, built when first asked.
  const Served* served = nullptr;
  const Theme* theme = nullptr;
  const PieceSet* pieceSet = nullptr;
  const Lettering* lettering = nullptr;
  GameFrames game;
  std::string tag;
  // A WebP, MP4 or WebM instead, whose bytes are known only at its end:
  // drawn whole in one render, then sent with its length.
  std::optional<MotionFormat> motion;
};

using Decision =
    std::variant<Refuse, StaticAnswer, NotModified, Render, RenderGif>;

// What a decision depends on in a request.
struct Asked {
  // The method and the request target, as the request line holds them.
  std::string_view method;
  std::string_view target;
  // The value of each If-None-Match field.
  std::vector<std::string_view> ifNoneMatch;
  // A request's body (POST /game.gif), and whether it is JSON.
  std::string_view body;
  bool bodyIsJson = false;
};

// The path of a request target, percent-decoded, without its query.
std::string pathOf(std::string_view target);

// Decides a request. A diagram is refused when its theme or piece set is
// not served or the theme lacks the board of the view asked for; a diagram
// whose tag an If-None-Match value holds is not modified. A GIF is refused
// over maxFrames frames or maxGifPixels pixels (gifPixels).
Decision decideRequest(const Asked& asked, const Served& served,
                       int32_t maxSize,
                       std::size_t maxFrames = kDefaultMaxFrames,
                       uint64_t maxGifPixels = kDefaultMaxGifPixels);

// The refusal of a request head that went past kHeadLimit, from the bytes
// received: 414 when the request line is too long, else 431.
Refuse refuseOversize(std::string_view received);

// A strong entity tag, quoted, for the bytes that these parameters give with
// artwork of this identity. Depends only on what decides those bytes: the
// pieces and side to move the drawing reads of the FEN, Size, the bit pattern
// of Sz2, the annotations in their canonical form, the artwork and the
// program version.
std::string entityTag(const Diagram& diagram, uint64_t artworkIdentity);

// The annotations as one text, the same for every spelling of them: the
// view, then each kind of mark in drawing order.
std::string canonicalAnnotations(const Annotations& annotations);

// Whether an If-None-Match value (a list of tags, or "*") matches the tag
// under the weak comparison that If-None-Match uses.
bool ifNoneMatchHits(std::string_view headerValue, std::string_view tag);

}  // namespace tib
