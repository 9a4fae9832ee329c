// Text as outlines: a font's glyphs as SVG path data, shaped by HarfBuzz as
// the text layer shapes them, so that a vector diagram needs no font on the
// viewer's side.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tib {

// A glyph placed by shaping: its pen position from the start of the text,
// in outline units (a small multiple of font units), y up.
struct ShapedGlyph {
  uint32_t glyph = 0;
  int32_t x = 0;
  int32_t y = 0;
};

struct ShapedText {
  std::vector<ShapedGlyph> glyphs;
  // The pen's advance over the whole text, in outline units.
  int32_t advance = 0;
};

// The outlines of the glyphs a text needs, by key, as path data in outline
// units with y up: what a document defines once and draws many times. The
// coordinates' key is the glyph's id in their face; the text layer's
// (TextRenderer::outline) holds its face too, and is never a bare id.
using GlyphPaths = std::map<uint32_t, std::string>;

// One face of a family, found with fontconfig. Not for concurrent use.
class FontOutlines {
 public:
  // Throws TextError when no face of the family and weight is installed.
  FontOutlines(const std::string& family, bool bold);
  ~FontOutlines();
  FontOutlines(const FontOutlines&) = delete;
  FontOutlines& operator=(const FontOutlines&) = delete;

  // Outline units to the em.
  [[nodiscard]] int unitsPerEm() const;

  // The text shaped left to right as one run.
  [[nodiscard]] ShapedText shape(std::string_view text) const;

  // A glyph's outline as path data ("" for a blank glyph).
  [[nodiscard]] std::string outline(uint32_t glyph) const;

 private:
  struct Face;
  std::unique_ptr<Face> face_;
};

// The coordinates' lettering, shaped and outlined once: read-only, so any
// number of diagrams can be drawn from it at once.
struct LabelGlyphs {
  int unitsPerEm = 2048;
  // "abcdefgh" then "12345678".
  std::vector<ShapedText> labels;
  GlyphPaths paths;
};

// The sixteen labels in the board pictures' font (bold DejaVu Sans, as the
// artwork generator's labels.json names it).
LabelGlyphs labelGlyphs();

}  // namespace tib
