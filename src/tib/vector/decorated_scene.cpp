#include "tib/vector/decorated_scene.h"

#include <algorithm>

namespace tib {

namespace {

Rgb rgbOf(const TextColour& colour) { return {colour.r, colour.g, colour.b}; }

double opacityOf(const TextColour& colour) { return colour.a / 255.0; }

// The text's glyphs with the pen at (x, baseline) of the shapes' space.
void addText(std::vector<Shape>& shapes, const PlacedText& placed, double x,
             double baseline, const TextRenderer& text, GlyphPaths& glyphs) {
  for (const OutlinedGlyph& glyph :
       text.outline(placed.text, placed.size, placed.weight, placed.maxWidth)) {
    if (glyphs.find(glyph.key) == glyphs.end()) {
      glyphs.emplace(glyph.key, text.glyphPath(glyph.key));
    }
    shapes.emplace_back(GlyphUse{glyph.key, x + glyph.x, baseline - glyph.y,
                                 glyph.scale, rgbOf(placed.colour)});
  }
}

void addPainting(std::vector<Shape>& shapes, const Painting& painting, int left,
                 int top, const TextRenderer& text, GlyphPaths& glyphs) {
  for (const FilledRect& filled : painting.rects) {
    // Clipped to the painting, as its pixels are.
    const int x0 = std::max(0, filled.rect.x);
    const int y0 = std::max(0, filled.rect.y);
    const int x1 = std::min(painting.width, filled.rect.x + filled.rect.w);
    const int y1 = std::min(painting.height, filled.rect.y + filled.rect.h);
    if (x1 > x0 && y1 > y0) {
      shapes.emplace_back(FilledBoxes{{{left + x0, top + y0, x1 - x0, y1 - y0}},
                                      rgbOf(filled.colour),
                                      opacityOf(filled.colour)});
    }
  }
  for (const PlacedText& placed : painting.texts) {
    addText(shapes, placed, left + placed.x, top + placed.baseline, text,
            glyphs);
  }
}

// The badge as the painter draws it on the canvas: the rim, the disc and
// the mark.
void addBadge(std::vector<Shape>& shapes, const Decorations& decorations,
              Orientation view, const Lettering& lettering,
              GlyphPaths& glyphs) {
  const Box square = squareBox(decorations.glyphSquare, view);
  const PixelRect place =
      moveGlyphBadgeRect({square.x, square.y, square.w, square.h}, kBoardRect);
  if (place.w < 1) {
    return;
  }
  const double outer = place.w / 2.0;
  const double inner = outer - std::max(1.0, place.w * kBadgeRimShare);
  const CanvasPoint centre{place.x + outer, place.y + outer};
  shapes.emplace_back(Ring{centre, (outer + inner) / 2, outer - inner,
                           Rgb{0, 0, 0}, kBadgeRimOpacity});
  // A ring as wide as the disc's radius fills it.
  shapes.emplace_back(Ring{centre, inner / 2, inner,
                           rgbOf(moveGlyphColour(*decorations.glyph)), 1});
  const PlacedText mark = lettering.glyphs.label(*decorations.glyph, place.w);
  addText(shapes, mark, place.x + mark.x, place.y + mark.baseline,
          lettering.text, glyphs);
}

}  // namespace

void addDecorations(Scene& scene, const Diagram& diagram,
                    const Decorations& decorations, const Lettering& lettering,
                    GlyphPaths& glyphs) {
  const Orientation view = diagram.annotations.orientation;
  if (decorations.glyph) {
    addBadge(scene.shapes, decorations, view, lettering, glyphs);
  }
  const int edge = scene.size;
  const int rows = decorations.bars ? barHeight(edge) : 0;
  if (decorations.evalBar) {
    const Painting column = layOutEvalColumn(
        edge, rows, rows, *decorations.evalBar, view, lettering.text);
    scene.left = column.width;
    addPainting(scene.margins, column, 0, 0, lettering.text, glyphs);
  }
  if (decorations.bars) {
    const BarPaintings bars =
        layOutPlayerBars(edge, *decorations.bars, lettering.text);
    scene.above = rows;
    scene.below = rows;
    addPainting(scene.margins, bars.above, scene.left, 0, lettering.text,
                glyphs);
    addPainting(scene.margins, bars.below, scene.left, rows + edge,
                lettering.text, glyphs);
  }
}

}  // namespace tib
