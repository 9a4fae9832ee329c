// Text on pictures: faces found with fontconfig, shaped with HarfBuzz per
// run of one script, face and direction, rasterised with FreeType and blended
// into RGBA pictures. One TextRenderer serves many threads at once.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tib/board/drawing.h"

namespace tib {

// The text layer's failures: no usable font, a picture of the wrong size.
class TextError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class FontWeight : uint8_t { regular, bold };

struct TextColour {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  uint8_t a = 255;
};

struct FontChoice {
  // The family for every script it covers; others fall back, per run, to
  // the face fontconfig finds for them (Noto Sans CJK for Han, say).
  std::string family = "DejaVu Sans";
  // Rasterised strings kept; the cache starts again when full.
  std::size_t cachedStrings = 4096;
};

// A string's coverage, placed against the pen's start on the baseline.
struct TextMask {
  // Offset of the first column from the pen's start.
  int left = 0;
  // Rows from the first row down to the baseline.
  int top = 0;
  int width = 0;
  int height = 0;
  // Pen advance over the whole string, rounded to pixels.
  int advance = 0;
  std::vector<uint8_t> coverage;
};

// Vertical measures of the main face, in pixels.
struct LineMetrics {
  int ascent = 0;
  int descent = 0;
  int capHeight = 0;
};

// One shaped run, for seeing which face drew what.
struct ShapedRun {
  std::string family;
  bool rightToLeft = false;
  std::vector<uint32_t> glyphIds;
};

inline constexpr int kNoWidthLimit = INT_MAX;

// A text drawn with its pen starting at (x, baseline), fitted to maxWidth as
// TextRenderer::draw fits it.
struct PlacedText {
  std::string text;
  int x = 0;
  int baseline = 0;
  int size = 1;
  FontWeight weight = FontWeight::regular;
  TextColour colour;
  int maxWidth = kNoWidthLimit;
};

// A glyph of a line as an outline: its key (its face and glyph, for
// glyphPath), its pen's place in pixels from the pen's start, y up, and the
// pixels of an outline unit at the line's size.
struct OutlinedGlyph {
  uint32_t key = 0;
  double x = 0;
  double y = 0;
  double scale = 1;
};

class TextRenderer {
 public:
  // Loads the family's regular and bold faces; throws TextError when the
  // family is not installed.
  explicit TextRenderer(const FontChoice& choice = {});
  ~TextRenderer();
  TextRenderer(const TextRenderer&) = delete;
  TextRenderer& operator=(const TextRenderer&) = delete;

  // Pen advance of the text in pixels.
  [[nodiscard]] int measure(std::string_view text, int pixelSize,
                            FontWeight weight) const;

  [[nodiscard]] LineMetrics lineMetrics(int pixelSize, FontWeight weight) const;

  // The text rasterised; when its advance passes maxWidth, the longest
  // start of it followed by "…" that fits (nothing when not even that
  // fits). Cached by text, size, weight and width.
  [[nodiscard]] std::shared_ptr<const TextMask> rasterise(
      std::string_view text, int pixelSize, FontWeight weight,
      int maxWidth = kNoWidthLimit) const;

  // Draws the text with its pen starting at (x, baseline), fitted to
  // maxWidth as rasterise does; returns the advance drawn.
  int draw(ImageBuffer& image, std::string_view text, int x, int baseline,
           int pixelSize, FontWeight weight, TextColour colour,
           int maxWidth = kNoWidthLimit) const;

  // The glyphs rasterise draws for the same arguments, as outlines.
  [[nodiscard]] std::vector<OutlinedGlyph> outline(
      std::string_view text, int pixelSize, FontWeight weight,
      int maxWidth = kNoWidthLimit) const;

  // The path data of a glyph outline gave, in outline units with y up; ""
  // for a blank glyph.
  [[nodiscard]] std::string glyphPath(uint32_t key) const;

  // The runs in visual order with their faces and glyphs.
  [[nodiscard]] std::vector<ShapedRun> shape(std::string_view text,
                                             FontWeight weight) const;

 private:
  struct Fonts;
  std::unique_ptr<Fonts> fonts_;
};

// Blends the colour into the picture through the mask's coverage, the pen
// starting at (x, baseline); clipped to the picture.
void blendMask(ImageBuffer& image, const TextMask& mask, int x, int baseline,
               TextColour colour);

}  // namespace tib
