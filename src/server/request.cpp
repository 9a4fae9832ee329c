#include "server/request.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>

#include "chess/error.h"
#include "server/hash.h"
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

Refuse lineRefusal() {
  return {414,
          "request line too long; the limit is " +
              std::to_string(kRequestLineLimit) + " bytes",
          true};
}

// A parameter of /board.png that cannot be used, its one line naming it:
// a 400.
class ParameterRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void refuseValue(const std::string& name, std::string_view value,
                              const std::string& reason) {
  throw ParameterRefused(name + "=" + printableText(value) + ": " + reason);
}

Orientation readOrientation(const std::string& name, const std::string& value) {
  if (const std::optional<Orientation> orientation = orientationNamed(value)) {
    return *orientation;
  }
  refuseValue(name, value, "use white or black");
}

bool readSwitch(const std::string& name, const std::string& value) {
  if (const std::optional<bool> on = switchValue(value)) {
    return *on;
  }
  refuseValue(name, value, "use 1, yes, true, 0, no or false");
}

// The squares a move in UCI tints, in board order (uciLastMove).
std::vector<Square> readLastMove(const std::string& name,
                                 const std::string& value) {
  if (std::optional<std::vector<Square>> squares = uciLastMove(value)) {
    return *squares;
  }
  refuseValue(name, value,
              "not a move; use UCI such as e2e4, e7e8q or P@e4, or nothing "
              "for none");
}

// The square a move in UCI (e2e4, e7e8q, P@e4) goes to, once read.
Square destinationOf(const std::string& uci) {
  return *chess::squareNamed(std::string_view(uci).substr(2, 2));
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
std::optional<std::string> missingBoard(const Annotations& view,
                                        const std::string& themeName,
                                        const Artwork& artwork) {
  const std::size_t index = boardIndex(view.orientation, view.coordinates);
  if (boardPicture(artwork, index) != nullptr) {
    return std::nullopt;
  }
  const std::string theme = themeName.empty()
                                ? "the default theme"
                                : "theme " + printableText(themeName);
  const bool black = view.orientation == Orientation::black;
  const std::string wanted = std::string(black ? "orientation=black" : "") +
                             (black && !view.coordinates ? " with " : "") +
                             (view.coordinates ? "" : "coordinates off");
  return theme + " has no " + kBoardFiles.at(index) + ", the board for " +
         wanted;
}

// The parameters of /board.png as a query gives them.
struct DiagramQuery {
  Diagram diagram;
  Decorations decorations;
  std::string theme;
  // A piece set drawn instead of the theme's own pieces; "" for those.
  std::string piece;
};

// A parameter given, by its name; the last of a name counts.
using Given = std::map<std::string, std::string>;

// The game's ply that pgn= names, at ply= (default the last) of game=
// (default 1), as the diagram of that ply: its position, move, check and
// marks, each unless the query gives its own; and its players and glyph.
void readPly(const Given& given, DiagramQuery& read) {
  const auto number = [&given](const char* name, std::size_t fallback) {
    const auto found = given.find(name);
    if (found == given.end()) {
      return fallback;
    }
    const std::string& value = found->second;
    if (value.empty() || value.size() > 9 ||
        value.find_first_not_of("0123456789") != std::string::npos) {
      refuseValue(name, value, "not a whole number");
    }
    return static_cast<std::size_t>(std::stoul(value));
  };
  chess::Game game;
  try {
    game = chess::readGame(given.at("pgn"), number("game", 1));
  } catch (const chess::Error& error) {
    throw ParameterRefused(std::string("pgn: ") + error.what());
  }
  const std::size_t ply = number("ply", game.plies.size());
  if (ply > game.plies.size()) {
    refuseValue("ply", given.at("ply"),
                "the game has " + std::to_string(game.plies.size()) + " plies");
  }
  Annotations& marks = read.diagram.annotations;
  const Diagram plied = plyDiagram(game, ply, read.diagram.settings,
                                   marks.orientation, marks.coordinates);
  read.diagram.position = plied.position;
  const auto own = [&given](const char* name, const char* other = "") {
    return given.count(name) > 0 || given.count(other) > 0;
  };
  if (!own("lastMove", "lastmove")) {
    marks.lastMove = plied.annotations.lastMove;
  }
  if (!own("check")) {
    marks.check = plied.annotations.check;
  }
  if (!own("arrows")) {
    marks.arrows = plied.annotations.arrows;
  }
  if (!own("highlight")) {
    marks.highlights = plied.annotations.highlights;
  }
  const bool players =
      given.count("players") == 0 || readSwitch("players", given.at("players"));
  read.decorations = plyDecorations(game, ply, marks.orientation, players);
}

// Reads the parameters of /board.png. Each is read as it comes, and the
// last of a name (or of its other spelling) counts; size= and scale= are
// converted as tib converts each of its arguments. The FEN (or the PGN's
// ply) is read once all are, and check= after it, as it may name the king
// of the FEN. Throws a ParameterRefused, or the library's refusal of a
// value, for the first parameter that cannot be used.
DiagramQuery readDiagramQuery(std::string_view query, int32_t maxSize) {
  DiagramQuery read;
  Diagram& diagram = read.diagram;
  Annotations& annotations = diagram.annotations;
  Given given;
  for (const auto& [name, value] : decodeQuery(query)) {
    given[name] = value;
    if (name == "theme") {
      read.theme = value;
    } else if (name == "piece") {
      read.piece = value;
    } else if (name == "size") {
      diagram.settings.Size = readSize(value, "size=" + printableText(value),
                                       sizeRange(1, maxSize));
    } else if (name == "scale") {
      diagram.settings.Sz2 = readScale(value, "scale=" + printableText(value));
    } else if (name == "orientation" || name == "color") {
      annotations.orientation = readOrientation(name, value);
    } else if (name == "coordinates") {
      annotations.coordinates = readSwitch(name, value);
    } else if (name == "lastMove" || name == "lastmove") {
      annotations.lastMove = readLastMove(name, value);
      given["lastMove"] = value;
    } else if (name == "arrows") {
      annotations.arrows = readMarks(name, value, true);
    } else if (name == "highlight") {
      annotations.highlights = readMarks(name, value, false);
    } else if (name == "players") {
      readSwitch(name, value);
    } else if (name == "glyph" && !value.empty() && !moveGlyphOf(value)) {
      refuseValue(name, value, "use !!, !, !?, ?!, ? or ??, or $1 to $6");
    }
  }
  checkSizeRange(diagram.settings.Size, 1, maxSize);
  if (given.count("pgn") > 0) {
    readPly(given, read);
  } else if (given.count("fen") > 0) {
    diagram.position = readPlacement(given.at("fen"));
  }
  if (const auto check = given.find("check"); check != given.end()) {
    annotations.check =
        readCheck(check->first, check->second, diagram.position);
  }
  const bool players =
      given.count("players") == 0 || readSwitch("players", given.at("players"));
  for (const char* side : {"white", "black"}) {
    const auto name = given.find(side);
    if (!players || name == given.end() || name->second.empty()) {
      continue;
    }
    if (!read.decorations.bars) {
      read.decorations.bars = PlayerBars{};
      read.decorations.bars->bottom =
          annotations.orientation == Orientation::white ? chess::Side::white
                                                        : chess::Side::black;
      read.decorations.bars->toMove = diagram.position.sideToMove;
    }
    (std::string(side) == "white" ? read.decorations.bars->white
                                  : read.decorations.bars->black)
        .name = name->second;
  }
  if (const auto glyph = given.find("glyph"); glyph != given.end()) {
    read.decorations.glyph = moveGlyphOf(glyph->second);
    const auto move = given.find("lastMove");
    if (read.decorations.glyph && move != given.end() &&
        !annotations.lastMove.empty()) {
      read.decorations.glyphSquare = destinationOf(move->second);
    } else if (read.decorations.glyph) {
      refuseValue("glyph", glyph->second, "a glyph needs a lastMove");
    }
  }
  return read;
}

// A theme's artwork and the pieces asked for, or the refusal naming which
// is not served, with the identity of both for tags.
struct Chosen {
  const Artwork* artwork = nullptr;
  const Sprites* pieces = nullptr;
  uint64_t identity = 0;
};

std::variant<Chosen, Refuse> choose(const Served& served,
                                    const std::string& themeName,
                                    const std::string& pieceName,
                                    const Annotations& view) {
  const auto theme = served.themes.find(themeName);
  if (theme == served.themes.end()) {
    return Refuse{400, "theme=" + printableText(themeName) + ": no such theme"};
  }
  Chosen chosen{theme->second.artwork.get(), &theme->second.artwork->sprites,
                theme->second.identity};
  if (!pieceName.empty()) {
    const auto set = served.pieceSets.find(pieceName);
    if (set == served.pieceSets.end()) {
      return Refuse{
          400, "piece=" + printableText(pieceName) + ": no such piece set"};
    }
    chosen.pieces = set->second.sprites.get();
    chosen.identity = hashBytes(chosen.identity, &set->second.identity,
                                sizeof set->second.identity);
  }
  if (const std::optional<std::string> missing =
          missingBoard(view, themeName, *chosen.artwork)) {
    return Refuse{400, *missing};
  }
  return chosen;
}

// The decorations as one text, for tags.
std::string canonicalDecorations(const Decorations& decorations) {
  std::string text;
  if (decorations.bars) {
    const PlayerBars& bars = *decorations.bars;
    for (const PlayerInfo* player : {&bars.white, &bars.black}) {
      // Lengths first, so that no two spellings run together.
      for (const std::string* part :
           {&player->name, &player->title, &player->rating}) {
        text += std::to_string(part->size()) + ":" + *part;
      }
      text += player->clockCentiseconds
                  ? std::to_string(*player->clockCentiseconds)
                  : "-";
      text += ";";
    }
    text += bars.bottom == chess::Side::white ? "w" : "b";
    text +=
        bars.toMove ? (*bars.toMove == chess::Side::white ? "w" : "b") : "-";
  }
  text += ";";
  if (decorations.glyph) {
    text += std::string(moveGlyphText(*decorations.glyph)) +
            chess::squareName(decorations.glyphSquare);
  }
  return text;
}

bool holdsTag(const std::vector<std::string_view>& ifNoneMatch,
              const std::string& tag) {
  return std::any_of(
      ifNoneMatch.begin(), ifNoneMatch.end(),
      [&tag](std::string_view value) { return ifNoneMatchHits(value, tag); });
}

// A diagram to render, or the refusal of its parameters, theme or piece
// set, or not modified when an If-None-Match value holds its tag.
Decision decideDiagram(std::string_view query,
                       const std::vector<std::string_view>& ifNoneMatch,
                       const Served& served, int32_t maxSize) {
  DiagramQuery read;
  try {
    read = readDiagramQuery(query, maxSize);
  } catch (const ParameterRefused& refused) {
    return Refuse{400, refused.what()};
  } catch (const ValueError& refused) {
    return Refuse{400, refused.what()};
  }
  const auto chosen =
      choose(served, read.theme, read.piece, read.diagram.annotations);
  if (const auto* refuse = std::get_if<Refuse>(&chosen)) {
    return *refuse;
  }
  const Chosen& use = std::get<Chosen>(chosen);
  Render render;
  render.artwork = use.artwork;
  render.pieces = use.pieces;
  render.lettering = served.lettering.get();
  render.tag = entityTag(read.diagram, use.identity);
  if (read.decorations.bars || read.decorations.glyph) {
    // A diagram without text keeps the tag it had before text came.
    const std::string text =
        render.tag + canonicalDecorations(read.decorations);
    render.tag = "\"" +
                 hexDigits(hashBytes(kHashStart, text.data(), text.size())) +
                 "\"";
  }
  if (holdsTag(ifNoneMatch, render.tag)) {
    return NotModified{render.tag};
  }
  render.diagram = std::move(read.diagram);
  render.decorations = std::move(read.decorations);
  return render;
}

// A game to animate, or the refusal of its parameters, game, theme or
// piece set, or not modified when an If-None-Match value holds its tag.
Decision decideGif(std::string_view query,
                   const std::vector<std::string_view>& ifNoneMatch,
                   std::string_view body, bool bodyIsJson, const Served& served,
                   int32_t maxSize, std::size_t maxFrames) {
  GifRequest request;
  GameFrames game;
  try {
    request = readGifQuery(decodeQuery(query), maxSize);
    if (!body.empty()) {
      (bodyIsJson ? request.json : request.pgn) = std::string(body);
    }
    game = gameFramesOf(request, maxFrames);
  } catch (const GameRequestError& refused) {
    return Refuse{400, refused.what()};
  }
  const Annotations& view = game.frames.front().diagram.annotations;
  const auto chosen = choose(served, request.theme.value_or(game.theme),
                             request.piece.value_or(game.piece), view);
  if (const auto* refuse = std::get_if<Refuse>(&chosen)) {
    return *refuse;
  }
  const Chosen& use = std::get<Chosen>(chosen);
  uint64_t hash = hashBytes(kHashStart, "gif", 3);
  hash = hashBytes(hash, &use.identity, sizeof use.identity);
  for (std::size_t f = 0; f < game.frames.size(); ++f) {
    const AnimationFrame& frame = game.frames[f];
    const std::string text = entityTag(frame.diagram, hash) + ";" +
                             std::to_string(frame.delayCentiseconds) + ";" +
                             canonicalDecorations(game.decorations[f]);
    hash = hashBytes(hash, text.data(), text.size());
  }
  RenderGif render;
  render.tag = "\"" + hexDigits(hash) + "\"";
  if (holdsTag(ifNoneMatch, render.tag)) {
    return NotModified{render.tag};
  }
  render.artwork = use.artwork;
  render.pieces = use.pieces;
  render.lettering = served.lettering.get();
  render.palettes = served.palettes.get();
  render.game = std::move(game);
  return render;
}

// What the drawing draws of the position: each piece where the walk put
// it, and the side to move.
uint64_t hashPosition(uint64_t hash, const Placement& position) {
  const std::optional<Side> side = position.sideToMove;
  const unsigned char sideByte =
      side ? static_cast<unsigned char>(1 + static_cast<int>(*side)) : 0;
  const uint64_t pieceCount = position.pieces.size();
  hash = hashBytes(hash, &sideByte, 1);
  hash = hashBytes(hash, &pieceCount, sizeof pieceCount);
  for (const PlacedPiece& piece : position.pieces) {
    const std::array<int64_t, 3> fields{piece.square.file, piece.square.rank,
                                        static_cast<int64_t>(piece.index)};
    hash = hashBytes(hash, fields.data(), sizeof fields);
  }
  return hash;
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

std::string pathOf(std::string_view target) {
  return percentDecode(splitTarget(target).first, false);
}

Decision decideRequest(const Asked& asked, const Served& served,
                       int32_t maxSize, std::size_t maxFrames) {
  if (requestLineTooLong(asked.method, asked.target)) {
    return lineRefusal();
  }
  const auto [rawPath, query] = splitTarget(asked.target);
  const std::string path = percentDecode(rawPath, false);
  const bool board = path == "/board.png";
  const bool gif = path == "/game.gif";
  const bool page = path == "/" || path == "/index.html";
  if (!board && !gif && !page && path != "/healthz" && path != "/metrics") {
    return Refuse{404,
                  "not found; diagrams are at "
                  "/board.png?fen=<FEN>&size=<n>&scale=<f>&theme=<name>, "
                  "games at /game.gif?pgn=<PGN>, a page to try them at /"};
  }
  if (gif && asked.method == "POST") {
    return decideGif(query, asked.ifNoneMatch, asked.body, asked.bodyIsJson,
                     served, maxSize, maxFrames);
  }
  if (asked.method != "GET" && asked.method != "HEAD") {
    return Refuse{405, "method not allowed; use GET or HEAD"};
  }
  if (page) {
    return StaticAnswer{StaticPage::tryIt};
  }
  if (path == "/healthz") {
    return StaticAnswer{StaticPage::health};
  }
  if (path == "/metrics") {
    return StaticAnswer{StaticPage::metrics};
  }
  if (gif) {
    return decideGif(query, asked.ifNoneMatch, {}, false, served, maxSize,
                     maxFrames);
  }
  return decideDiagram(query, asked.ifNoneMatch, served, maxSize);
}

Refuse refuseOversize(std::string_view received) {
  const std::size_t lineEnd = received.find('\n');
  if (lineEnd == std::string_view::npos || lineEnd + 1 > kRequestLineLimit) {
    return lineRefusal();
  }
  return {431,
          "request header fields too long; the limit is " +
              std::to_string(kHeadLimit) + " bytes for the whole head",
          true};
}

std::string entityTag(const Diagram& diagram, uint64_t artworkIdentity) {
  uint32_t scaleBits = 0;
  std::memcpy(&scaleBits, &diagram.settings.Sz2, sizeof scaleBits);
  uint64_t hash = hashBytes(kHashStart, TIB_VERSION, std::strlen(TIB_VERSION));
  hash = hashBytes(hash, &artworkIdentity, sizeof artworkIdentity);
  hash = hashBytes(hash, &diagram.settings.Size, sizeof diagram.settings.Size);
  hash = hashBytes(hash, &scaleBits, sizeof scaleBits);
  hash = hashPosition(hash, diagram.position);
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
