#include "server/request.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "server/board_query.h"
#include "server/hash.h"
#include "server/text.h"
#include "server/thumbnails.h"
#include "tib/board/error.h"
#include "tib/board/values.h"

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

// The refusal of a view whose board the theme lacks, naming the file.
std::optional<std::string> missingBoard(const Annotations& view,
                                        const std::string& themeName,
                                        const Theme& theme) {
  const std::size_t index = boardIndex(view.orientation, view.coordinates);
  if (hasBoard(theme, index)) {
    return std::nullopt;
  }
  const std::string named = themeName.empty()
                                ? "the default theme"
                                : "theme " + printableText(themeName);
  const bool black = view.orientation == Orientation::black;
  const std::string wanted = std::string(black ? "orientation=black" : "") +
                             (black && !view.coordinates ? " with " : "") +
                             (view.coordinates ? "" : "coordinates off");
  return named + " has no " + kBoardFiles.at(index) + ", the board for " +
         wanted;
}

// A theme and the piece set asked for, or the refusal naming which is not
// served, with the identity of both for tags.
struct Chosen {
  const Theme* theme = nullptr;
  const PieceSet* pieceSet = nullptr;
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
  Chosen chosen{&theme->second, nullptr, theme->second.identity};
  if (!pieceName.empty()) {
    const auto set = served.pieceSets.find(pieceName);
    if (set == served.pieceSets.end()) {
      return Refuse{
          400, "piece=" + printableText(pieceName) + ": no such piece set"};
    }
    chosen.pieceSet = &set->second;
    chosen.identity = hashBytes(chosen.identity, &set->second.identity,
                                sizeof set->second.identity);
  }
  if (const std::optional<std::string> missing =
          missingBoard(view, themeName, *chosen.theme)) {
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
  if (decorations.bars) {
    text += ";" + decorations.bars->white.material + ";" +
            decorations.bars->black.material;
  }
  if (decorations.evalBar) {
    text += ";" + std::to_string(decorations.evalBar->whiteShare) + ";" +
            decorations.evalBar->label;
  }
  return text;
}

bool holdsTag(const std::vector<std::string_view>& ifNoneMatch,
              const std::string& tag) {
  return std::any_of(
      ifNoneMatch.begin(), ifNoneMatch.end(),
      [&tag](std::string_view value) { return ifNoneMatchHits(value, tag); });
}

// The vectors of an SVG diagram, or the refusal naming the theme or piece
// set that has none: its sprites would draw a picture that is no longer
// sharp when zoomed, which the client asked SVG for.
std::variant<VectorArt, Refuse> chooseVectors(const Served& served,
                                              const DiagramQuery& read,
                                              uint64_t& identity) {
  const Theme& theme = served.themes.at(read.theme);
  const std::string themeName = read.theme.empty()
                                    ? "the default theme"
                                    : "theme=" + printableText(read.theme);
  if (!theme.vectors) {
    return Refuse{400,
                  themeName + " has no vectors (pieces.svg); ask /board.png"};
  }
  // The artwork is decoded when the diagram is drawn.
  VectorArt art{nullptr, theme.vectors.get(), theme.vectors.get(),
                served.labels.get()};
  identity =
      hashBytes(identity, &theme.vectorIdentity, sizeof theme.vectorIdentity);
  if (!read.piece.empty()) {
    const PieceSet& set = served.pieceSets.at(read.piece);
    if (!set.vectors) {
      return Refuse{400, "piece=" + printableText(read.piece) +
                             " has no vectors (pieces.svg); ask /board.png"};
    }
    art.pieces = set.vectors.get();
    identity =
        hashBytes(identity, &set.vectorIdentity, sizeof set.vectorIdentity);
  }
  if (served.labels == nullptr) {
    return Refuse{500, "cannot render: no fonts for the coordinates"};
  }
  return art;
}

// A diagram to render, or the refusal of its parameters, theme or piece
// set, or not modified when an If-None-Match value holds its tag.
Decision decideDiagram(std::string_view query,
                       const std::vector<std::string_view>& ifNoneMatch,
                       const Served& served, int32_t maxSize,
                       bool svg = false) {
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
  const auto& use = std::get<Chosen>(chosen);
  Render render;
  render.served = &served;
  render.theme = use.theme;
  render.pieceSet = use.pieceSet;
  render.lettering = served.lettering.get();
  uint64_t identity = use.identity;
  if (svg) {
    auto vectors = chooseVectors(served, read, identity);
    if (const auto* refuse = std::get_if<Refuse>(&vectors)) {
      return *refuse;
    }
    render.svg = true;
    render.vectors = std::get<VectorArt>(vectors);
    identity = hashBytes(identity, "svg", 3);
  }
  render.tag = entityTag(read.diagram, identity);
  if (decorationParts(read.decorations).any()) {
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
                   int32_t maxSize, std::size_t maxFrames,
                   uint64_t maxGifPixels, std::optional<MotionFormat> motion) {
  GifRequest request;
  GameFrames game;
  try {
    request = readGifQuery(decodeQuery(query), maxSize);
    if (!body.empty()) {
      (bodyIsJson ? request.json : request.pgn) = std::string(body);
    }
    game = gameFramesOf(request, maxFrames, maxGifPixels);
  } catch (const GameRequestError& refused) {
    return Refuse{400, refused.what()};
  }
  const Annotations& view = game.frames.front().diagram.annotations;
  const auto chosen = choose(served, request.theme.value_or(game.theme),
                             request.piece.value_or(game.piece), view);
  if (const auto* refuse = std::get_if<Refuse>(&chosen)) {
    return *refuse;
  }
  const auto& use = std::get<Chosen>(chosen);
  // The format's name first: a GIF's tags stay what they were.
  const std::string format =
      motion ? std::to_string(static_cast<int>(*motion)) + "motion" : "gif";
  uint64_t hash = hashBytes(kHashStart, format.data(), format.size());
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
  render.served = &served;
  render.theme = use.theme;
  render.pieceSet = use.pieceSet;
  render.lettering = served.lettering.get();
  render.game = std::move(game);
  render.motion = motion;
  return render;
}

// The page's picture of a theme (theme=) or a piece set (piece=), or the
// refusal naming what is not served.
Decision decideThumbnail(std::string_view query,
                         const std::vector<std::string_view>& ifNoneMatch,
                         const Served& served) {
  const auto pairs = decodeQuery(query);
  if (pairs.size() != 1 ||
      (pairs[0].first != "theme" && pairs[0].first != "piece")) {
    return Refuse{400, "thumbnail.png takes one parameter, theme= or piece="};
  }
  const bool set = pairs[0].first == "piece";
  const auto chosen = choose(served, set ? "" : pairs[0].second,
                             set ? pairs[0].second : "", Annotations{});
  if (const auto* refuse = std::get_if<Refuse>(&chosen)) {
    return *refuse;
  }
  const auto& use = std::get<Chosen>(chosen);
  uint64_t hash = hashBytes(kHashStart, "thumbnail", 9);
  hash = hashBytes(hash, &use.identity, sizeof use.identity);
  hash = hashBytes(hash, &kThumbnailEdge, sizeof kThumbnailEdge);
  Render render;
  render.tag = "\"" + hexDigits(hash) + "\"";
  if (holdsTag(ifNoneMatch, render.tag)) {
    return NotModified{render.tag};
  }
  render.served = &served;
  render.theme = use.theme;
  render.pieceSet = use.pieceSet;
  render.thumbnail = true;
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

// Whether a method is one of a path's, as Allow lists them.
bool takesMethod(std::string_view methods, std::string_view method) {
  while (!methods.empty()) {
    const std::size_t comma = methods.find(", ");
    if (methods.substr(0, comma) == method) {
      return true;
    }
    methods = comma == std::string_view::npos ? std::string_view()
                                              : methods.substr(comma + 2);
  }
  return false;
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

std::optional<MotionFormat> motionOfPath(std::string_view path) {
  if (path == "/game.webp" || path == "/game.mp4" || path == "/game.webm") {
    return motionFormatOf(path);
  }
  return std::nullopt;
}

bool isGamePath(std::string_view path) {
  return std::any_of(kRoutes.begin(), kRoutes.end(),
                     [&path](const PathRoute& r) {
                       return r.path == path && r.route == Route::gif;
                     });
}

Decision decideRequest(const Asked& asked, const Served& served,
                       int32_t maxSize, std::size_t maxFrames,
                       uint64_t maxGifPixels) {
  if (requestLineTooLong(asked.method, asked.target)) {
    return lineRefusal();
  }
  const auto [rawPath, query] = splitTarget(asked.target);
  const std::string path = percentDecode(rawPath, false);
  const auto* const found =
      std::find_if(kRoutes.begin(), kRoutes.end(),
                   [&path](const PathRoute& r) { return r.path == path; });
  if (found == kRoutes.end()) {
    return Refuse{404,
                  "not found; diagrams are at "
                  "/board.png?fen=<FEN>&size=<n>&scale=<f>&theme=<name>, "
                  "games at /game.gif?pgn=<PGN> (or .webp, .mp4, .webm), a "
                  "page to try them at /"};
  }
  if (!takesMethod(found->methods, asked.method)) {
    const std::string methods(found->methods);
    return Refuse{405,
                  "method " + printableText(asked.method) + " not allowed on " +
                      printableText(path) + "; use " + methods,
                  false, methods};
  }
  if (asked.method == "OPTIONS") {
    return StaticAnswer{StaticPage::preflight, found->methods};
  }
  switch (found->route) {
    case Route::page:
      return StaticAnswer{StaticPage::tryIt};
    case Route::health:
      return StaticAnswer{StaticPage::health};
    case Route::metrics:
      return StaticAnswer{StaticPage::metrics};
    case Route::gif:
      return decideGif(query, asked.ifNoneMatch,
                       asked.method == "POST" ? asked.body : std::string_view(),
                       asked.bodyIsJson, served, maxSize, maxFrames,
                       maxGifPixels, motionOfPath(path));
    case Route::board:
    case Route::svg:
    case Route::thumbnail:
      break;
  }
  if (found->route == Route::thumbnail) {
    return decideThumbnail(query, asked.ifNoneMatch, served);
  }
  return decideDiagram(query, asked.ifNoneMatch, served, maxSize,
                       found->route == Route::svg);
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
