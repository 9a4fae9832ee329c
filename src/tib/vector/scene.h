// A diagram as vector shapes, from the geometry the pixel drawing uses: the
// board's colours, the squares, the coordinates as outlined glyphs, the
// marks, each piece and the side-to-move marker as a use of its group. The
// SVG writer and the printed sheets draw it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "codec/image.h"
#include "tib/board/annotations.h"
#include "tib/board/render.h"
#include "tib/board/tiles.h"
#include "tib/vector/outlines.h"

namespace tib {

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
};

constexpr bool operator==(const Rgb& a, const Rgb& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b;
}

// The flat colours of a board picture.
struct BoardColours {
  Rgb frame;
  Rgb border;
  Rgb light;
  Rgb dark;
  // The coordinates' letters; the frame's colour on a board without them.
  Rgb label;
};

// The colours read from a board picture of any view (a theme's own, or a
// user's): each at a point of its area, the label's as the pixel of the
// first file letter farthest from the frame.
BoardColours boardColours(const ImageBuffer& board);

// Boxes filled with one colour, at an opacity.
struct FilledBoxes {
  std::vector<Box> boxes;
  Rgb colour;
  double opacity = 1;
};

// The squares of one shade of a tiled board, each showing its tile from its
// offset (tileOffsets); the tile repeats past its edges.
struct TiledSquares {
  const Tile* tile = nullptr;
  // 0 light, 1 dark: the tile's name in the SVG.
  std::size_t shade = 0;
  std::vector<std::pair<Box, TileOffset>> squares;
};

// The check glow over a square: a radial gradient from its centre.
struct Glow {
  Box box;
};

// A group of the set (a piece, or a marker past the pieces) drawn into a
// box; at the default scale the box is the sprite's own size.
struct GroupUse {
  std::size_t group = 0;
  Box box;
  // The box's size over the group's own.
  double scaleX = 1;
  double scaleY = 1;
};

struct Polygon {
  std::vector<CanvasPoint> points;
  Rgb colour;
  double opacity = 1;
};

struct Ring {
  CanvasPoint centre;
  // Of the middle of the stroke.
  double radius = 0;
  double width = 0;
  Rgb colour;
  double opacity = 1;
};

// A glyph's outline drawn with its pen at (x, y) on the canvas, em units
// scaled to size pixels.
struct GlyphUse {
  uint32_t glyph = 0;
  double x = 0;
  double y = 0;
  double scale = 1;
  Rgb colour;
};

using Shape = std::variant<FilledBoxes, TiledSquares, Glow, GroupUse, Polygon,
                           Ring, GlyphUse>;

struct Scene {
  // Edge of the board's picture; the shapes are on the 1024-unit canvas.
  int32_t size = kDefaultSize;
  // In drawing order.
  std::vector<Shape> shapes;
  // Pixels of the picture left of the board (the evaluation bar), above
  // and below it (the players' bars).
  int32_t left = 0;
  int32_t above = 0;
  int32_t below = 0;
  // Drawn after the board, in pixels of the whole picture from its top-left
  // corner; the board's canvas lies at (left, above), size pixels wide.
  std::vector<Shape> margins;
};

// The diagram's scene on a board of these colours, its squares drawn from
// tiles when there are some, its coordinates outlined from labels.
Scene diagramScene(const Diagram& diagram, const BoardColours& colours,
                   const LabelGlyphs& labels,
                   const std::optional<Tiles>& tiles = std::nullopt);

}  // namespace tib
