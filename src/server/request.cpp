#include "server/request.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "server/text.h"
#include "tib/error.h"
#include "tib/values.h"

namespace tib {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    if (lower != prefix[i]) {
      return false;
    }
  }
  return true;
}

// The path and query of a request target in origin form ("/p?q") or
// absolute form ("http://host/p?q").
std::pair<std::string_view, std::string_view> splitTarget(
    std::string_view target) {
  const bool absolute = startsWithNoCase(target, "http://") ||
                        startsWithNoCase(target, "https://");
  if (absolute) {
    const std::size_t authority = target.find("//") + 2;
    const std::size_t pathStart = target.find_first_of("/?", authority);
    target = pathStart == std::string_view::npos ? std::string_view()
                                                 : target.substr(pathStart);
  }
  const std::size_t mark = target.find('?');
  if (mark == std::string_view::npos) {
    return {target, {}};
  }
  return {target.substr(0, mark), target.substr(mark + 1)};
}

// The request line is: method, space, target, space, HTTP/1.x, CRLF.
bool requestLineTooLong(std::string_view method, std::string_view target) {
  return method.size() + target.size() + std::strlen(" HTTP/1.1\r\n") + 1 >
         kRequestLineLimit;
}

Decision refusal(unsigned status, std::string message) {
  Decision decision;
  decision.status = status;
  decision.message = std::move(message);
  return decision;
}

Decision lineRefusal() {
  return refusal(414, "request line too long; the limit is " +
                          std::to_string(kRequestLineLimit) + " bytes");
}

[[noreturn]] void refuseValue(const std::string& name, std::string_view value,
                              const std::string& reason) {
  throw ValueError(name + "=" + printableText(value) + ": " + reason);
}

Orientation readOrientation(const std::string& name, const std::string& value) {
  if (value == "white") {
    return Orientation::white;
  }
  if (value == "black") {
    return Orientation::black;
  }
  refuseValue(name, value, "use white or black");
}

// A yes or no: 1, yes, true or 0, no, false; none for anything else.
std::optional<bool> switchValue(std::string_view value) {
  constexpr std::array<std::string_view, 3> kYes{"1", "yes", "true"};
  constexpr std::array<std::string_view, 3> kNo{"0", "no", "false"};
  if (std::find(kYes.begin(), kYes.end(), value) != kYes.end()) {
    return true;
  }
  if (std::find(kNo.begin(), kNo.end(), value) != kNo.end()) {
    return false;
  }
  return std::nullopt;
}

bool readCoordinates(const std::string& name, const std::string& value) {
  if (const std::optional<bool> on = switchValue(value)) {
    return *on;
  }
  refuseValue(name, value, "use 1, yes, true, 0, no or false");
}

bool squareBefore(const Square& a, const Square& b) {
  return a.rank != b.rank ? a.rank < b.rank : a.file < b.file;
}

// The squares a move in UCI tints, in board order: both squares of a move
// (e2e4, e7e8q), the destination of a drop (P@e4); none for "" and the
// null move 0000.
std::vector<Square> readLastMove(const std::string& name,
                                 const std::string& value) {
  const std::string_view text = value;
  if (text.empty() || text == "0000") {
    return {};
  }
  if (text.size() == 4 && text[1] == '@' &&
      std::string_view("PNBRQ").find(text[0]) != std::string_view::npos) {
    if (const std::optional<Square> to = chess::squareNamed(text.substr(2))) {
      return {*to};
    }
  }
  const bool promotion = text.size() == 5 && std::string_view("qrbn").find(
                                                 text[4]) != std::string::npos;
  if (text.size() == 4 || promotion) {
    const std::optional<Square> from = chess::squareNamed(text.substr(0, 2));
    const std::optional<Square> to = chess::squareNamed(text.substr(2, 2));
    if (from && to && *from != *to) {
      std::vector<Square> squares{*from, *to};
      std::sort(squares.begin(), squares.end(), squareBefore);
      return squares;
    }
  }
  refuseValue(name, value,
              "not a move; use UCI such as e2e4, e7e8q or P@e4, or nothing "
              "for none");
}

// An item of arrows= ([GRYB]<from><to> or [GRYB]<square>) or of highlight=
// ([GRYB]<square>); none when it is not one.
std::optional<Mark> markNamed(std::string_view item, bool arrows) {
  Mark mark;
  const std::optional<chess::MarkColour> colour =
      chess::markColourOfLetter(item.empty() ? ' ' : item[0]);
  if (colour) {
    mark.colour = *colour;
    item.remove_prefix(1);
  }
  const std::optional<Square> from = chess::squareNamed(item.substr(0, 2));
  if (!from) {
    return std::nullopt;
  }
  mark.from = *from;
  mark.to = *from;
  if (item.size() == 2) {
    return mark;
  }
  const std::optional<Square> to =
      arrows ? chess::squareNamed(item.substr(2)) : std::nullopt;
  if (!to) {
    return std::nullopt;
  }
  mark.to = *to;
  return mark;
}

// A comma list of marks; "" is none.
std::vector<Mark> readMarks(const std::string& name, const std::string& value,
                            bool arrows) {
  std::vector<Mark> marks;
  if (value.empty()) {
    return marks;
  }
  for (std::size_t start = 0; start <= value.size();) {
    const std::size_t comma = std::min(value.find(',', start), value.size());
    const std::string_view item =
        std::string_view(value).substr(start, comma - start);
    if (item.empty()) {
      refuseValue(name, value, "an empty item in the list");
    }
    const std::optional<Mark> mark = markNamed(item, arrows);
    if (!mark) {
      refuseValue(name, item,
                  arrows ? "not an arrow or a circle; use [GRYB]<from><to> or "
                           "[GRYB]<square>, such as Ge2e4 or Rd5"
                         : "not a square; use [GRYB]<square>, such as Yd5");
    }
    if (marks.size() == kMaxMarks) {
      refuseValue(name, item,
                  "one item too many; at most " + std::to_string(kMaxMarks));
    }
    marks.push_back(*mark);
    start = comma + 1;
  }
  return marks;
}

// The square check= names, with the position: true, 1 and yes name the
// king of the side to move.
std::optional<Square> readCheck(const std::string& name,
                                const std::string& value,
                                const Placement& position) {
  if (value.empty()) {
    return std::nullopt;
  }
  if (const std::optional<Square> square = chess::squareNamed(value)) {
    return square;
  }
  const std::optional<bool> on = switchValue(value);
  if (!on) {
    refuseValue(name, value,
                "not a square; use a square such as e1, true for the king "
                "of the side to move, or false");
  }
  if (!*on) {
    return std::nullopt;
  }
  const std::optional<Side> side = position.sideToMove;
  if (!side) {
    refuseValue(name, value, "the FEN names no side to move");
  }
  const std::optional<Square> king = kingToMove(position);
  if (!king) {
    refuseValue(name, value,
                *side == Side::white ? "no white king on the board"
                                     : "no black king on the board");
  }
  return king;
}

// The refusal of a view whose board the theme lacks, naming the file.
std::optional<std::string> missingBoard(const DiagramRequest& diagram,
                                        const Artwork& artwork) {
  const Annotations& view = diagram.annotations;
  const std::size_t index = boardIndex(view.orientation, view.coordinates);
  if (boardPicture(artwork, index) != nullptr) {
    return std::nullopt;
  }
  const std::string theme = diagram.theme.empty()
                                ? "the default theme"
                                : "theme " + printableText(diagram.theme);
  const bool black = view.orientation == Orientation::black;
  const std::string wanted = std::string(black ? "orientation=black" : "") +
                             (black && !view.coordinates ? " with " : "") +
                             (view.coordinates ? "" : "coordinates off");
  return theme + " has no " + kBoardFiles.at(index) + ", the board for " +
         wanted;
}

// Reads the parameters of /board.png. Each is read as it comes, and the
// last of a name (or of its other spelling) counts; size= and scale= are
// converted as tib converts each of its arguments. check= is read last, as
// it may name the king of the FEN.
Decision readDiagram(std::string_view query, int32_t maxSize,
                     const ThemeLookup& themeArtwork,
                     const PieceSetLookup& knownPieceSet) {
  Decision decision;
  decision.action = Action::render;
  DiagramRequest& diagram = decision.diagram;
  std::optional<std::pair<std::string, std::string>> check;
  try {
    Annotations& annotations = diagram.annotations;
    for (const auto& [name, value] : decodeQuery(query)) {
      if (name == "fen") {
        diagram.position = readPlacement(value);
      } else if (name == "theme") {
        diagram.theme = value;
      } else if (name == "piece") {
        diagram.piece = value;
      } else if (name == "size") {
        diagram.settings.Size = readSize(value, "size=" + printableText(value),
                                         sizeRange(1, maxSize));
      } else if (name == "scale") {
        diagram.settings.Sz2 =
            readScale(value, "scale=" + printableText(value));
      } else if (name == "orientation" || name == "color") {
        annotations.orientation = readOrientation(name, value);
      } else if (name == "coordinates") {
        annotations.coordinates = readCoordinates(name, value);
      } else if (name == "lastMove" || name == "lastmove") {
        annotations.lastMove = readLastMove(name, value);
      } else if (name == "check") {
        check.emplace(name, value);
      } else if (name == "arrows") {
        annotations.arrows = readMarks(name, value, true);
      } else if (name == "highlight") {
        annotations.highlights = readMarks(name, value, false);
      }
    }
    checkSizeRange(diagram.settings.Size, 1, maxSize);
    if (check) {
      annotations.check =
          readCheck(check->first, check->second, diagram.position);
    }
  } catch (const ValueError& failure) {
    return refusal(400, failure.what());
  }
  const Artwork* artwork = themeArtwork(diagram.theme);
  if (artwork == nullptr) {
    return refusal(400,
                   "theme=" + printableText(diagram.theme) + ": no such theme");
  }
  if (!diagram.piece.empty() && !knownPieceSet(diagram.piece)) {
    return refusal(
        400, "piece=" + printableText(diagram.piece) + ": no such piece set");
  }
  if (const std::optional<std::string> missing =
          missingBoard(diagram, *artwork)) {
    return refusal(400, *missing);
  }
  return decision;
}

void appendMarks(std::string& text, const std::vector<Mark>& marks) {
  for (const Mark& mark : marks) {
    text += chess::markColourLetter(mark.colour);
    text += chess::squareName(mark.from);
    if (mark.to != mark.from) {
      text += chess::squareName(mark.to);
    }
    text += ',';
  }
}

}  // namespace

std::string percentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
        hexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 +
                                      hexValue(text[i + 2])));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> decodeQuery(
    std::string_view query) {
  std::vector<std::pair<std::string, std::string>> pairs;
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view piece = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view()
                                          : query.substr(amp + 1);
    if (piece.empty()) {
      continue;
    }
    const std::size_t equals = piece.find('=');
    const std::string_view name = piece.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos
                                       ? std::string_view()
                                       : piece.substr(equals + 1);
    pairs.emplace_back(percentDecode(name, true), percentDecode(value, true));
  }
  return pairs;
}

Decision decideRequest(std::string_view method, std::string_view target,
                       int32_t maxSize, const ThemeLookup& themeArtwork,
                       const PieceSetLookup& knownPieceSet) {
  if (requestLineTooLong(method, target)) {
    return lineRefusal();
  }
  const auto [rawPath, query] = splitTarget(target);
  const std::string path = percentDecode(rawPath, false);
  const bool board = path == "/board.png";
  const bool page = path == "/" || path == "/index.html";
  if (!board && !page && path != "/healthz" && path != "/metrics") {
    return refusal(404,
                   "not found; diagrams are at "
                   "/board.png?fen=<FEN>&size=<n>&scale=<f>&theme=<name>, "
                   "a page to try them at /");
  }
  if (method != "GET" && method != "HEAD") {
    return refusal(405, "method not allowed; use GET or HEAD");
  }
  if (!board) {
    Decision decision;
    decision.action = page                 ? Action::page
                      : path == "/metrics" ? Action::metrics
                                           : Action::health;
    decision.head = method == "HEAD";
    return decision;
  }
  Decision decision = readDiagram(query, maxSize, themeArtwork, knownPieceSet);
  decision.head = method == "HEAD";
  return decision;
}

Decision refuseOversize(std::string_view method, std::string_view target,
                        std::string_view received) {
  const std::size_t lineEnd = received.find('\n');
  const bool lineTooLong = target.empty() ? lineEnd == std::string_view::npos ||
                                                lineEnd + 1 > kRequestLineLimit
                                          : requestLineTooLong(method, target);
  return lineTooLong ? lineRefusal()
                     : refusal(431,
                               "request header fields too long; the "
                               "limit is " +
                                   std::to_string(kHeadLimit) +
                                   " bytes for the whole head");
}

std::string entityTag(const DiagramRequest& diagram, uint64_t artworkIdentity) {
  // What the drawing draws of the position: each piece where the walk put
  // it, and the side to move.
  const std::optional<Side> side = diagram.position.sideToMove;
  const unsigned char sideByte =
      side ? static_cast<unsigned char>(1 + static_cast<int>(*side)) : 0;
  uint32_t scaleBits = 0;
  std::memcpy(&scaleBits, &diagram.settings.Sz2, sizeof scaleBits);
  const uint64_t pieceCount = diagram.position.pieces.size();

  uint64_t hash = hashBytes(kHashStart, TIB_VERSION, std::strlen(TIB_VERSION));
  hash = hashBytes(hash, &artworkIdentity, sizeof artworkIdentity);
  hash = hashBytes(hash, &diagram.settings.Size, sizeof diagram.settings.Size);
  hash = hashBytes(hash, &scaleBits, sizeof scaleBits);
  hash = hashBytes(hash, &sideByte, 1);
  hash = hashBytes(hash, &pieceCount, sizeof pieceCount);
  for (const PlacedPiece& piece : diagram.position.pieces) {
    const std::array<int64_t, 3> fields{piece.square.file, piece.square.rank,
                                        static_cast<int64_t>(piece.index)};
    hash = hashBytes(hash, fields.data(), sizeof fields);
  }
  // A diagram without annotations keeps the tag it had before they came.
  if (hasAnnotations(diagram.annotations)) {
    const std::string marks = canonicalAnnotations(diagram.annotations);
    hash = hashBytes(hash, marks.data(), marks.size());
  }
  return "\"" + hexDigits(hash) + "\"";
}

std::string canonicalAnnotations(const Annotations& annotations) {
  std::string text =
      annotations.orientation == Orientation::white ? "white" : "black";
  text += annotations.coordinates ? ";coordinates;" : ";plain;";
  for (const Square& square : annotations.lastMove) {
    text += chess::squareName(square);
  }
  text += ";";
  if (annotations.check) {
    text += chess::squareName(*annotations.check);
  }
  text += ";";
  appendMarks(text, annotations.highlights);
  text += ";";
  appendMarks(text, annotations.arrows);
  return text;
}

bool ifNoneMatchHits(std::string_view headerValue, std::string_view tag) {
  std::size_t i = 0;
  const std::size_t n = headerValue.size();
  while (i < n) {
    const char c = headerValue[i];
    if (c == ' ' || c == '\t' || c == ',') {
      ++i;
      continue;
    }
    if (c == '*') {
      return true;
    }
    if (headerValue.compare(i, 2, "W/") == 0) {
      i += 2;
    }
    if (i >= n || headerValue[i] != '"') {
      return false;  // not a list of entity tags
    }
    const std::size_t close = headerValue.find('"', i + 1);
    if (close == std::string_view::npos) {
      return false;
    }
    if (headerValue.substr(i, close + 1 - i) == tag) {
      return true;
    }
    i = close + 1;
  }
  return false;
}

}  // namespace tib
