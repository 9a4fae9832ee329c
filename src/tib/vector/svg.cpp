#include "tib/vector/svg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string_view>
#include <vector>

#include "tib/board/error.h"
#include "tib/board/mark_style.h"
#include "tib/vector/decorated_scene.h"

namespace tib {

namespace {

// A coordinate to a hundredth of a canvas pixel, without trailing zeros.
void appendNumber(std::string& out, double value) {
  const double rounded = std::round(value * 100) / 100;
  if (rounded == std::floor(rounded) && std::fabs(rounded) < 1e9) {
    out += std::to_string(static_cast<long long>(rounded));
    return;
  }
  std::array<char, 32> text{};
  const int length = std::snprintf(text.data(), text.size(), "%.2f", rounded);
  std::string_view digits(text.data(), static_cast<std::size_t>(length));
  while (digits.back() == '0') {
    digits.remove_suffix(1);
  }
  out += digits;
}

// A scale factor, with the digits a glyph 1000 units wide needs.
void appendFactor(std::string& out, double value) {
  std::array<char, 32> text{};
  const int length = std::snprintf(text.data(), text.size(), "%.6g", value);
  out.append(text.data(), static_cast<std::size_t>(length));
}

constexpr std::string_view kHex = "0123456789abcdef";

void appendColour(std::string& out, const Rgb& colour) {
  out += '#';
  for (const uint8_t byte : {colour.r, colour.g, colour.b}) {
    out += kHex[byte >> 4U];
    out += kHex[byte & 15U];
  }
}

void appendPaint(std::string& out, const char* attribute, const Rgb& colour,
                 double opacity) {
  out += ' ';
  out += attribute;
  out += "=\"";
  appendColour(out, colour);
  out += '"';
  if (opacity < 1) {
    out += ' ';
    out += attribute;
    out += "-opacity=\"";
    appendNumber(out, opacity);
    out += '"';
  }
}

void writeBoxes(std::string& out, const FilledBoxes& filled) {
  if (filled.boxes.size() == 1) {
    const Box& box = filled.boxes.front();
    out += "<rect";
    for (const auto& [name, value] :
         {std::pair{" x=\"", box.x}, std::pair{" y=\"", box.y},
          std::pair{" width=\"", box.w}, std::pair{" height=\"", box.h}}) {
      if (value != 0 || name[1] == 'w' || name[1] == 'h') {
        out += name;
        out += std::to_string(value);
        out += '"';
      }
    }
  } else {
    // Each box from the corner of the one before: the squares of a board
    // repeat the same few words.
    out += "<path d=\"";
    int x = 0;
    int y = 0;
    for (const Box& box : filled.boxes) {
      out += (x == 0 && y == 0 ? 'M' : 'm') + std::to_string(box.x - x) +
             (box.y - y < 0 ? "" : " ") + std::to_string(box.y - y) + 'h' +
             std::to_string(box.w) + 'v' + std::to_string(box.h) + 'h' +
             std::to_string(-box.w) + 'z';
      x = box.x;
      y = box.y;
    }
    out += '"';
  }
  appendPaint(out, "fill", filled.colour, filled.opacity);
  out += "/>";
}

constexpr std::array<const char*, 2> kTileIds{"tile-light", "tile-dark"};

std::string base64(const std::vector<unsigned char>& bytes) {
  constexpr std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    const uint32_t group = uint32_t{bytes[i]} << 16U |
                           (left > 1 ? uint32_t{bytes[i + 1]} << 8U : 0U) |
                           (left > 2 ? uint32_t{bytes[i + 2]} : 0U);
    out += kDigits[group >> 18U];
    out += kDigits[(group >> 12U) & 63U];
    out += left > 1 ? kDigits[(group >> 6U) & 63U] : '=';
    out += left > 2 ? kDigits[group & 63U] : '=';
  }
  return out;
}

// A tile once, as a pattern that repeats it from the user space's origin.
void writeTilePattern(std::string& out, const TiledSquares& squares) {
  const std::string width = std::to_string(squares.tile->picture.width);
  const std::string height = std::to_string(squares.tile->picture.height);
  out += "<pattern id=\"";
  out += kTileIds.at(squares.shade);
  out += R"(" patternUnits="userSpaceOnUse" width=")" + width + "\" height=\"" +
         height + "\"><image width=\"" + width + "\" height=\"" + height +
         "\" href=\"data:image/png;base64," + base64(squares.tile->png) +
         "\"/></pattern>";
}

// Each square a rectangle at its offset in the tile's space, moved onto
// the square.
void writeTiledSquares(std::string& out, const TiledSquares& squares) {
  for (const auto& [box, offset] : squares.squares) {
    out += "<rect x=\"" + std::to_string(offset.x) + "\" y=\"" +
           std::to_string(offset.y) + "\" width=\"" + std::to_string(box.w) +
           "\" height=\"" + std::to_string(box.h) +
           "\" transform=\"translate(" + std::to_string(box.x - offset.x) +
           ' ' + std::to_string(box.y - offset.y) + ")\" fill=\"url(#" +
           kTileIds.at(squares.shade) + ")\"/>";
  }
}

constexpr const char* kGlowId = "check-glow";

void writeGlowGradient(std::string& out, const Glow& glow) {
  const CanvasPoint centre = centreOf(glow.box);
  out += "<radialGradient id=\"";
  out += kGlowId;
  out += R"(" gradientUnits="userSpaceOnUse" cx=")";
  appendNumber(out, centre.x);
  out += "\" cy=\"";
  appendNumber(out, centre.y);
  out += "\" r=\"";
  appendNumber(out, std::hypot(glow.box.w / 2.0, glow.box.h / 2.0));
  out += "\">";
  for (const GlowStop& stop : kCheckGlow) {
    out += "<stop offset=\"";
    appendNumber(out, stop.at);
    out += "\" stop-color=\"";
    appendColour(out, {stop.paint.r, stop.paint.g, stop.paint.b});
    out += "\" stop-opacity=\"";
    appendNumber(out, stop.paint.opacity);
    out += "\"/>";
  }
  out += "</radialGradient>";
}

void writeGroupUse(std::string& out, const GroupUse& use,
                   const PieceVectors& pieces) {
  const std::string& group = pieces.groups.at(use.group);
  // The id is the group's first attribute: <g id="wp" ...
  const std::size_t idEnd = group.find('"', 7);
  out += "<use href=\"#";
  out.append(group, 7, idEnd - 7);
  out += '"';
  if (use.scaleX == 1 && use.scaleY == 1) {
    out += " x=\"" + std::to_string(use.box.x) + "\" y=\"" +
           std::to_string(use.box.y) + '"';
  } else {
    out += " transform=\"translate(" + std::to_string(use.box.x) + ' ' +
           std::to_string(use.box.y) + ") scale(";
    appendFactor(out, use.scaleX);
    out += ' ';
    appendFactor(out, use.scaleY);
    out += ")\"";
  }
  out += "/>";
}

void writePolygon(std::string& out, const Polygon& polygon) {
  out += "<polygon points=\"";
  for (std::size_t i = 0; i < polygon.points.size(); ++i) {
    if (i > 0) {
      out += ' ';
    }
    appendNumber(out, polygon.points[i].x);
    out += ',';
    appendNumber(out, polygon.points[i].y);
  }
  out += '"';
  appendPaint(out, "fill", polygon.colour, polygon.opacity);
  out += "/>";
}

void writeRing(std::string& out, const Ring& ring) {
  out += "<circle cx=\"";
  appendNumber(out, ring.centre.x);
  out += "\" cy=\"";
  appendNumber(out, ring.centre.y);
  out += "\" r=\"";
  appendNumber(out, ring.radius);
  out += R"(" fill="none")";
  appendPaint(out, "stroke", ring.colour, ring.opacity);
  out += " stroke-width=\"";
  appendNumber(out, ring.width);
  out += "\"/>";
}

// Inside a group scaled to the glyphs' units, y up: the pen's place in
// whole font units.
void writeGlyphUse(std::string& out, const GlyphUse& glyph) {
  out += "<use href=\"#c" + std::to_string(glyph.glyph) + "\" x=\"" +
         std::to_string(std::lround(glyph.x / glyph.scale)) + "\" y=\"" +
         std::to_string(std::lround(-glyph.y / glyph.scale)) + "\"/>";
}

// The pieces' and markers' groups the scene uses, each once, and the
// group they share.
void writeDefinitions(std::string& out, const Scene& scene,
                      const PieceVectors& pieces, const PieceVectors& markers,
                      const GlyphPaths& glyphs) {
  std::array<bool, std::tuple_size_v<decltype(PieceVectors::groups)>> used{};
  std::set<uint32_t> glyphsUsed;
  const Glow* glow = nullptr;
  std::string patterns;
  for (const std::vector<Shape>* shapes : {&scene.shapes, &scene.margins}) {
    for (const Shape& shape : *shapes) {
      if (const auto* use = std::get_if<GroupUse>(&shape)) {
        used.at(use->group) = true;
      } else if (const auto* glyph = std::get_if<GlyphUse>(&shape)) {
        glyphsUsed.insert(glyph->glyph);
      } else if (const auto* check = std::get_if<Glow>(&shape)) {
        glow = check;
      } else if (const auto* tiled = std::get_if<TiledSquares>(&shape)) {
        writeTilePattern(patterns, *tiled);
      }
    }
  }
  out += "<defs>";
  bool piecesUsed = false;
  for (std::size_t i = 0; i < used.size(); ++i) {
    if (used[i]) {
      const bool marker = i >= kPieces.size();
      piecesUsed = piecesUsed || !marker;
      out += (marker ? markers : pieces).groups[i];
    }
  }
  if (piecesUsed) {
    out += pieces.shared;
  }
  for (const uint32_t glyph : glyphsUsed) {
    const auto path = glyphs.find(glyph);
    out += "<path id=\"c" + std::to_string(glyph) + "\" d=\"" +
           (path == glyphs.end() ? std::string() : path->second) + "\"/>";
  }
  if (glow != nullptr) {
    writeGlowGradient(out, *glow);
  }
  out += patterns;
  out += "</defs>";
}

// The shapes in order; glyphs of one colour and size in a group that
// paints and scales them.
void writeShapes(std::string& out, const std::vector<Shape>& shapes,
                 const PieceVectors& pieces, const PieceVectors& markers) {
  // The glyph group open: its colour and scale.
  std::optional<std::pair<Rgb, double>> lettering;
  for (const Shape& shape : shapes) {
    const auto* glyph = std::get_if<GlyphUse>(&shape);
    // Glyphs of one colour and size share a group that paints and scales
    // them.
    if (lettering &&
        (glyph == nullptr || !(glyph->colour == lettering->first) ||
         glyph->scale != lettering->second)) {
      out += "</g>";
      lettering.reset();
    }
    if (glyph != nullptr && !lettering) {
      out += "<g";
      appendPaint(out, "fill", glyph->colour, 1);
      out += " transform=\"scale(";
      appendFactor(out, glyph->scale);
      out += ' ';
      appendFactor(out, -glyph->scale);
      out += ")\">";
      lettering = std::pair(glyph->colour, glyph->scale);
    }
    if (glyph != nullptr) {
      writeGlyphUse(out, *glyph);
    } else if (const auto* boxes = std::get_if<FilledBoxes>(&shape)) {
      writeBoxes(out, *boxes);
    } else if (const auto* tiled = std::get_if<TiledSquares>(&shape)) {
      writeTiledSquares(out, *tiled);
    } else if (const auto* glow = std::get_if<Glow>(&shape)) {
      out += "<rect x=\"" + std::to_string(glow->box.x) + "\" y=\"" +
             std::to_string(glow->box.y) + "\" width=\"" +
             std::to_string(glow->box.w) + "\" height=\"" +
             std::to_string(glow->box.h) + "\" fill=\"url(#" + kGlowId +
             ")\"/>";
    } else if (const auto* use = std::get_if<GroupUse>(&shape)) {
      writeGroupUse(out, *use, use->group < kPieces.size() ? pieces : markers);
    } else if (const auto* polygon = std::get_if<Polygon>(&shape)) {
      writePolygon(out, *polygon);
    } else if (const auto* ring = std::get_if<Ring>(&shape)) {
      writeRing(out, *ring);
    }
  }
  if (lettering) {
    out += "</g>";
  }
}

// FNV-1a over eight bytes at a time (little-endian words, the last one
// short), 64 bits: a name from what is drawn, the same on every machine.
uint64_t documentHash(std::string_view text) {
  uint64_t hash = 14695981039346656037ULL;
  for (std::size_t at = 0; at < text.size(); at += 8) {
    uint64_t word = 0;
    const std::size_t end = std::min(text.size(), at + 8);
    for (std::size_t byte = end; byte > at; --byte) {
      word = (word << 8U) | static_cast<unsigned char>(text[byte - 1]);
    }
    hash = (hash ^ word) * 1099511628211ULL;
  }
  return hash;
}

// "t1a2b3c4d-": the document's own start of names, from its text.
std::string documentPrefix(std::string_view document) {
  const uint64_t hash = documentHash(document);
  uint64_t folded = (hash ^ (hash >> 32U)) & 0xffffffffU;
  std::string prefix = "t00000000-";
  for (std::size_t digit = 8; digit > 0; --digit) {
    prefix[digit] = kHex[folded & 15U];
    folded >>= 4U;
  }
  return prefix;
}

bool isNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         c == '-';
}

bool startsWith(std::string_view text, std::size_t at, std::string_view word) {
  return text.substr(at, word.size()) == word;
}

// The document with every id, every reference to one and every class (in
// class attributes and the style sheets' selectors) starting with prefix,
// so that documents inlined in one page keep their own.
std::string withPrefix(std::string_view document, const std::string& prefix) {
  // The bytes a rewritten name can follow: most of a document is path data
  // copied as it is.
  static constexpr std::array<bool, 256> kMayPrecedeName = [] {
    std::array<bool, 256> marks{};
    for (const char c : std::string_view(" hu<.")) {
      marks[static_cast<unsigned char>(c)] = true;
    }
    return marks;
  }();
  std::string out;
  out.reserve(document.size() + document.size() / 8);
  bool inStyle = false;
  std::size_t copied = 0;
  // Copies what lies before at, then opening, then the prefix.
  const auto prefixAt = [&](std::size_t at, std::string_view opening) {
    out.append(document, copied, at - copied);
    out += opening;
    out += prefix;
    copied = at + opening.size();
  };
  std::size_t i = 0;
  while (i < document.size()) {
    const char c = document[i];
    if (!kMayPrecedeName[static_cast<unsigned char>(c)]) {
      ++i;
      continue;
    }
    // An id, or a reference to one in a link or a paint.
    const char next = i + 1 < document.size() ? document[i + 1] : '\0';
    std::string_view opening;
    for (const std::string_view each : {" id=\"", "href=\"#", "url(#"}) {
      if (c == each[0] && next == each[1] && startsWith(document, i, each)) {
        opening = each;
      }
    }
    if (!opening.empty()) {
      prefixAt(i, opening);
      i = copied;
    } else if (c == ' ' && next == 'c' &&
               startsWith(document, i, " class=\"")) {
      const std::size_t end =
          std::min(document.find('"', i + 8), document.size());
      prefixAt(i, " class=\"");
      for (std::size_t at = i + 9; at < end; ++at) {
        if (document[at] != ' ' && document[at - 1] == ' ') {
          prefixAt(at, "");
        }
      }
      i = end;
    } else {
      if (c == '<') {
        inStyle = startsWith(document, i, "<style") ||
                  (inStyle && !startsWith(document, i, "</style"));
      } else if (inStyle && c == '.' && isNameStart(next)) {
        prefixAt(i, ".");
      }
      ++i;
    }
  }
  out.append(document, copied, document.size() - copied);
  return out;
}

}  // namespace

std::string writeSvg(const Scene& scene, const PieceVectors& pieces,
                     const PieceVectors& markers, const GlyphPaths& glyphs) {
  std::string out;
  out.reserve(32768);
  const std::string size = std::to_string(scene.size);
  std::string definitions;
  writeDefinitions(definitions, scene, pieces, markers, glyphs);
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\"";
  // Only a set's own drawing may name the older link attribute.
  if (definitions.find("xlink:") != std::string::npos) {
    out += " xmlns:xlink=\"http://www.w3.org/1999/xlink\"";
  }
  const bool decorated = !scene.margins.empty() || scene.left != 0 ||
                         scene.above != 0 || scene.below != 0;
  if (decorated) {
    const std::string width = std::to_string(scene.left + scene.size);
    const std::string height =
        std::to_string(scene.above + scene.size + scene.below);
    out += " width=\"" + width + "\" height=\"" + height + "\" viewBox=\"0 0 " +
           width + ' ' + height + "\">" + definitions +
           "<g transform=\"translate(" + std::to_string(scene.left) + ' ' +
           std::to_string(scene.above) + ") scale(";
    appendFactor(out, scene.size / 1024.0);
    out += ")\">";
    writeShapes(out, scene.shapes, pieces, markers);
    out += "</g>";
    writeShapes(out, scene.margins, pieces, markers);
  } else {
    out += " width=\"" + size + "\" height=\"" + size +
           R"(" viewBox="0 0 1024 1024">)" + definitions;
    writeShapes(out, scene.shapes, pieces, markers);
  }
  out += "</svg>\n";
  return withPrefix(out, documentPrefix(out));
}

std::string renderSvg(const VectorArt& art, const Diagram& diagram,
                      const Decorations& decorations,
                      const Lettering* lettering) {
  checkSize(diagram.settings);
  const std::size_t index = boardIndex(diagram.annotations.orientation,
                                       diagram.annotations.coordinates);
  const ImageBuffer* board = boardPicture(*art.artwork, index);
  if (board == nullptr) {
    throw Error(std::string("the artwork has no ") + kBoardFiles.at(index));
  }
  Scene scene = diagramScene(diagram, boardColours(*board), *art.labels,
                             art.artwork->tiles);
  if (!decorationParts(decorations).any()) {
    return writeSvg(scene, *art.pieces, *art.theme, art.labels->paths);
  }
  if (lettering == nullptr) {
    throw Error("cannot draw the players, glyph or evaluation: no fonts");
  }
  GlyphPaths glyphs = art.labels->paths;
  addDecorations(scene, diagram, decorations, *lettering, glyphs);
  return writeSvg(scene, *art.pieces, *art.theme, glyphs);
}

}  // namespace tib
