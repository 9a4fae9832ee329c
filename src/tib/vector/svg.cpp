#include "tib/vector/svg.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <set>

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

void appendColour(std::string& out, const Rgb& colour) {
  constexpr std::string_view kHex = "0123456789abcdef";
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
  for (const std::vector<Shape>* shapes : {&scene.shapes, &scene.margins}) {
    for (const Shape& shape : *shapes) {
      if (const auto* use = std::get_if<GroupUse>(&shape)) {
        used.at(use->group) = true;
      } else if (const auto* glyph = std::get_if<GlyphUse>(&shape)) {
        glyphsUsed.insert(glyph->glyph);
      } else if (const auto* check = std::get_if<Glow>(&shape)) {
        glow = check;
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
  return out;
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
  Scene scene = diagramScene(diagram, boardColours(*board), *art.labels);
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
