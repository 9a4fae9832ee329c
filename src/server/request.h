// What a request to tib-server gets: the query decoded, the diagram
// parameters read with tib's own conversion rules, the status of each
// refusal and the entity tag. Pure functions of their arguments, so that
// they can be tested and fuzzed without a socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tib/artwork.h"
#include "tib/render.h"

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

// The diagram a request asks for, and its theme: "" is the default theme.
struct DiagramRequest : Diagram {
  std::string theme;
  // A piece set drawn instead of the theme's own pieces; "" for those.
  std::string piece;
};

// The artwork of a theme served under this name; none when there is none.
using ThemeLookup = std::function<const Artwork*(const std::string&)>;

// Whether a piece set is served under this name.
using PieceSetLookup = std::function<bool(const std::string&)>;

enum class Action {
  // Render the diagram (GET or HEAD of /board.png with usable parameters).
  render,
  // Answer the page to try diagrams with (GET or HEAD of / or /index.html).
  page,
  // Answer 200 "ok".
  health,
  // Answer the counters in the Prometheus text format.
  metrics,
  // Answer status with the one-line message.
  refuse,
};

struct Decision {
  Action action = Action::refuse;
  unsigned status = 200;
  // The refusal's text, without the line end.
  std::string message;
  DiagramRequest diagram;
  bool head = false;
};

// Decides a request from its method and its request target, as the request
// line holds them. A diagram is refused when its theme or piece set is not
// served or the theme lacks the board of the view asked for.
Decision decideRequest(std::string_view method, std::string_view target,
                       int32_t maxSize, const ThemeLookup& themeArtwork,
                       const PieceSetLookup& knownPieceSet);

// The refusal of a request head that went past kHeadLimit: 414 when the
// request line is too long, else 431. When the parser has read the request
// line, method and target are its parts; otherwise they are empty and the
// line is sought in the bytes received.
Decision refuseOversize(std::string_view method, std::string_view target,
                        std::string_view received);

// A strong entity tag, quoted, for the bytes that these parameters give with
// artwork of this identity. Depends only on what decides those bytes: the
// pieces and side to move that the drawing reads of the FEN, Size, the bit
// pattern of Sz2,
// the annotations in their canonical form, the artwork and the program
// version.
std::string entityTag(const DiagramRequest& diagram, uint64_t artworkIdentity);

// The annotations as one text, the same for every spelling of them: the
// view, then each kind of mark in drawing order.
std::string canonicalAnnotations(const Annotations& annotations);

// Whether an If-None-Match value (a list of tags, or "*") matches the tag
// under the weak comparison that If-None-Match uses.
bool ifNoneMatchHits(std::string_view headerValue, std::string_view tag);

}  // namespace tib
