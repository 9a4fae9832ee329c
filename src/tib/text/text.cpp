#include "tib/text/text.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <utility>

#include "tib/text/glyph_path.h"
#include "tib/text/text_faces.h"
#include "tib/text/text_runs.h"

namespace tib {

namespace {

constexpr int kLargestPixelSize = 4096;
// An outline's key: the face's index past this many bits, the glyph below.
// A key is never a bare glyph id, which the coordinates' outlines use.
constexpr unsigned kFaceShift = 16;

// A glyph placed on the line, in 26.6 fixed-point pixels from the pen's
// start; y grows upwards.
struct PlacedGlyph {
  const Face* face = nullptr;
  int faceIndex = 0;
  uint32_t glyph = 0;
  int64_t x = 0;
  int64_t y = 0;
};

struct Line {
  std::vector<PlacedGlyph> glyphs;
  std::vector<ShapedRun> runs;
  int64_t advance = 0;
};

std::size_t toSize(int value) { return static_cast<std::size_t>(value); }

// 26.6 fixed point rounded to whole pixels.
int64_t pixelsOf(int64_t fixed) { return (fixed + 32) / 64; }

int64_t floorDiv64(int64_t value) {
  return value >= 0 ? value / 64 : -((-value + 63) / 64);
}

int scaledToPixels(int units, int pixelSize, int unitsPerEm) {
  return static_cast<int>(
      std::lround(static_cast<double>(units) * pixelSize / unitsPerEm));
}

bool isMark(char32_t c) {
  const auto category =
      hb_unicode_general_category(hb_unicode_funcs_get_default(), c);
  return category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
         category == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK ||
         category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK;
}

bool isSpace(char32_t c) {
  return hb_unicode_general_category(hb_unicode_funcs_get_default(), c) ==
         HB_UNICODE_GENERAL_CATEGORY_SPACE_SEPARATOR;
}

std::u32string withoutTrailingSpaces(std::u32string text) {
  while (!text.empty() && isSpace(text.back())) {
    text.pop_back();
  }
  return text;
}

// Each glyph's coverage, then the whole line's, max-combined so that the
// overlapping strokes of joined letters do not darken.
struct GlyphBitmap {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  std::vector<uint8_t> coverage;
};

TextMask combine(const std::vector<GlyphBitmap>& bitmaps, int64_t advance) {
  TextMask mask;
  mask.advance = static_cast<int>(pixelsOf(advance));
  if (bitmaps.empty()) {
    return mask;
  }
  int left = INT_MAX;
  int right = INT_MIN;
  int top = INT_MIN;
  int bottom = INT_MAX;
  for (const GlyphBitmap& bitmap : bitmaps) {
    left = std::min(left, bitmap.left);
    right = std::max(right, bitmap.left + bitmap.width);
    top = std::max(top, bitmap.top);
    bottom = std::min(bottom, bitmap.top - bitmap.height);
  }
  mask.left = left;
  mask.top = top;
  mask.width = right - left;
  mask.height = top - bottom;
  mask.coverage.assign(static_cast<std::size_t>(mask.width) *
                           static_cast<std::size_t>(mask.height),
                       0);
  for (const GlyphBitmap& bitmap : bitmaps) {
    for (int row = 0; row < bitmap.height; ++row) {
      const int maskRow = top - bitmap.top + row;
      uint8_t* out = mask.coverage.data() +
                     static_cast<std::size_t>(maskRow) * toSize(mask.width) +
                     (bitmap.left - left);
      const uint8_t* in =
          bitmap.coverage.data() + toSize(row) * toSize(bitmap.width);
      for (int col = 0; col < bitmap.width; ++col) {
        out[col] = std::max(out[col], in[col]);
      }
    }
  }
  return mask;
}

}  // namespace

struct TextRenderer::Fonts {
  explicit Fonts(const FontChoice& choice)
      : cachedStrings(std::max<std::size_t>(choice.cachedStrings, 1)),
        library(choice.family) {}

  const std::size_t cachedStrings;
  // Guards the face library and every FreeType call.
  std::mutex fontMutex;
  FaceLibrary library;

  std::shared_mutex cacheMutex;
  std::unordered_map<std::string, std::shared_ptr<const TextMask>> masks;
  // Outlines by key, under fontMutex; starts again past cachedStrings.
  std::unordered_map<uint32_t, std::string> paths;

  Line layout(const std::u32string& text, int pixelSize, FontWeight weight) {
    std::vector<const Face*> faceTable;
    std::vector<CodePointFacts> facts;
    {
      const std::lock_guard<std::mutex> lock(fontMutex);
      facts = codePointFacts(library, text, weight == FontWeight::bold ? 1 : 0);
      faceTable = library.faceTable();
    }
    Line line;
    for (const ShapedGlyphs& run : shapedLine(faceTable, text, facts)) {
      const Face& face = *faceTable[static_cast<std::size_t>(run.face)];
      const double scale = 64.0 * pixelSize / face.unitsPerEm;
      const auto toFixed = [scale](hb_position_t units) {
        return static_cast<int64_t>(std::llround(units * scale));
      };
      ShapedRun shaped{face.family, run.rightToLeft, {}};
      for (std::size_t g = 0; g < run.infos.size(); ++g) {
        line.glyphs.push_back(
            PlacedGlyph{&face, run.face, run.infos[g].codepoint,
                        line.advance + toFixed(run.positions[g].x_offset),
                        toFixed(run.positions[g].y_offset)});
        line.advance += toFixed(run.positions[g].x_advance);
        shaped.glyphIds.push_back(run.infos[g].codepoint);
      }
      line.runs.push_back(std::move(shaped));
    }
    return line;
  }

  // The line, or the longest start of it followed by an ellipsis that fits
  // in maxWidth pixels; empty when not even the ellipsis fits.
  Line fittedLayout(const std::u32string& text, int pixelSize,
                    FontWeight weight, int maxWidth) {
    Line whole = layout(text, pixelSize, weight);
    // Compared in whole pixels, as measure reports them.
    const auto fits = [maxWidth](const Line& line) {
      return pixelsOf(line.advance) <= maxWidth;
    };
    if (fits(whole)) {
      return whole;
    }
    // Cuts never fall before a mark, which belongs to the letter before.
    std::vector<std::size_t> cuts;
    for (std::size_t k = 0; k < text.size(); ++k) {
      if (k == 0 || !isMark(text[k])) {
        cuts.push_back(k);
      }
    }
    const auto shortened = [&](std::size_t cut) {
      std::u32string start = withoutTrailingSpaces(text.substr(0, cut));
      start.push_back(kEllipsis);
      return layout(start, pixelSize, weight);
    };
    Line best = shortened(0);
    if (!fits(best)) {
      return Line{};
    }
    std::size_t low = 0;
    std::size_t high = cuts.size();
    while (high - low > 1) {
      const std::size_t middle = low + (high - low) / 2;
      Line candidate = shortened(cuts[middle]);
      if (fits(candidate)) {
        low = middle;
        best = std::move(candidate);
      } else {
        high = middle;
      }
    }
    return best;
  }

  TextMask rasteriseLine(const Line& line, int pixelSize) {
    std::vector<GlyphBitmap> bitmaps;
    const std::lock_guard<std::mutex> lock(fontMutex);
    for (const PlacedGlyph& placed : line.glyphs) {
      const Face& face = *placed.face;
      if (face.freetypeSize != pixelSize) {
        if (FT_Set_Pixel_Sizes(face.freetype, 0,
                               static_cast<FT_UInt>(pixelSize)) != 0) {
          continue;
        }
        face.freetypeSize = pixelSize;
      }
      const int64_t pixelX = floorDiv64(placed.x);
      const int64_t pixelY = floorDiv64(placed.y);
      FT_Vector shift{static_cast<FT_Pos>(placed.x - pixelX * 64),
                      static_cast<FT_Pos>(placed.y - pixelY * 64)};
      FT_Set_Transform(face.freetype, nullptr, &shift);
      const bool drawn =
          FT_Load_Glyph(face.freetype, placed.glyph,
                        FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) == 0 &&
          FT_Render_Glyph(face.freetype->glyph, FT_RENDER_MODE_LIGHT) == 0;
      FT_GlyphSlotRec* const slot = face.freetype->glyph;
      if (!drawn || slot->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY ||
          slot->bitmap.width == 0 || slot->bitmap.rows == 0) {
        continue;
      }
      GlyphBitmap bitmap;
      bitmap.left = static_cast<int>(pixelX) + slot->bitmap_left;
      bitmap.top = static_cast<int>(pixelY) + slot->bitmap_top;
      bitmap.width = static_cast<int>(slot->bitmap.width);
      bitmap.height = static_cast<int>(slot->bitmap.rows);
      bitmap.coverage.resize(static_cast<std::size_t>(bitmap.width) *
                             static_cast<std::size_t>(bitmap.height));
      for (int row = 0; row < bitmap.height; ++row) {
        const unsigned char* source =
            slot->bitmap.buffer +
            static_cast<std::ptrdiff_t>(row) * slot->bitmap.pitch;
        std::copy(source, source + bitmap.width,
                  bitmap.coverage.begin() +
                      static_cast<std::ptrdiff_t>(row) * bitmap.width);
      }
      bitmaps.push_back(std::move(bitmap));
    }
    return combine(bitmaps, line.advance);
  }
};

namespace {

void checkPixelSize(int pixelSize) {
  if (pixelSize < 1 || pixelSize > kLargestPixelSize) {
    throw TextError("text pixel size " + std::to_string(pixelSize) +
                    " is outside 1 to " + std::to_string(kLargestPixelSize));
  }
}

std::string cacheKey(std::string_view text, int pixelSize, FontWeight weight,
                     int maxWidth) {
  std::string key(text);
  key.push_back('\0');
  key += std::to_string(pixelSize);
  key.push_back(weight == FontWeight::bold ? 'b' : 'r');
  key += std::to_string(maxWidth);
  return key;
}

}  // namespace

TextRenderer::TextRenderer(const FontChoice& choice)
    : fonts_(std::make_unique<Fonts>(choice)) {}

TextRenderer::~TextRenderer() = default;

int TextRenderer::measure(std::string_view text, int pixelSize,
                          FontWeight weight) const {
  checkPixelSize(pixelSize);
  const Line line = fonts_->layout(decodeUtf8(text), pixelSize, weight);
  return static_cast<int>(pixelsOf(line.advance));
}

LineMetrics TextRenderer::lineMetrics(int pixelSize, FontWeight weight) const {
  checkPixelSize(pixelSize);
  const int w = weight == FontWeight::bold ? 1 : 0;
  const std::lock_guard<std::mutex> lock(fonts_->fontMutex);
  const Face& face = fonts_->library.faceAt(fonts_->library.mainFace(w));
  return LineMetrics{
      scaledToPixels(face.ascender, pixelSize, face.unitsPerEm),
      scaledToPixels(face.descender, pixelSize, face.unitsPerEm),
      scaledToPixels(face.capHeight, pixelSize, face.unitsPerEm)};
}

std::shared_ptr<const TextMask> TextRenderer::rasterise(std::string_view text,
                                                        int pixelSize,
                                                        FontWeight weight,
                                                        int maxWidth) const {
  checkPixelSize(pixelSize);
  const std::string key = cacheKey(text, pixelSize, weight, maxWidth);
  {
    const std::shared_lock<std::shared_mutex> lock(fonts_->cacheMutex);
    const auto cached = fonts_->masks.find(key);
    if (cached != fonts_->masks.end()) {
      return cached->second;
    }
  }
  const Line line =
      fonts_->fittedLayout(decodeUtf8(text), pixelSize, weight, maxWidth);
  auto mask =
      std::make_shared<const TextMask>(fonts_->rasteriseLine(line, pixelSize));
  const std::unique_lock<std::shared_mutex> lock(fonts_->cacheMutex);
  if (fonts_->masks.size() >= fonts_->cachedStrings) {
    fonts_->masks.clear();
  }
  fonts_->masks.emplace(key, mask);
  return mask;
}

int TextRenderer::draw(ImageBuffer& image, std::string_view text, int x,
                       int baseline, int pixelSize, FontWeight weight,
                       TextColour colour, int maxWidth) const {
  const std::shared_ptr<const TextMask> mask =
      rasterise(text, pixelSize, weight, maxWidth);
  blendMask(image, *mask, x, baseline, colour);
  return mask->advance;
}

std::vector<OutlinedGlyph> TextRenderer::outline(std::string_view text,
                                                 int pixelSize,
                                                 FontWeight weight,
                                                 int maxWidth) const {
  checkPixelSize(pixelSize);
  const Line line =
      fonts_->fittedLayout(decodeUtf8(text), pixelSize, weight, maxWidth);
  std::vector<OutlinedGlyph> glyphs;
  glyphs.reserve(line.glyphs.size());
  for (const PlacedGlyph& placed : line.glyphs) {
    const auto face = static_cast<uint32_t>(placed.faceIndex + 1);
    glyphs.push_back(
        {face << kFaceShift | placed.glyph, static_cast<double>(placed.x) / 64,
         static_cast<double>(placed.y) / 64,
         static_cast<double>(pixelSize) /
             static_cast<double>(outlineUnits(placed.face->unitsPerEm))});
  }
  return glyphs;
}

std::string TextRenderer::glyphPath(uint32_t key) const {
  const auto face = static_cast<int>(key >> kFaceShift) - 1;
  const std::lock_guard<std::mutex> lock(fonts_->fontMutex);
  if (face < 0 ||
      static_cast<std::size_t>(face) >= fonts_->library.faceTable().size()) {
    throw TextError("no face has the outline key " + std::to_string(key));
  }
  const auto cached = fonts_->paths.find(key);
  if (cached != fonts_->paths.end()) {
    return cached->second;
  }
  if (fonts_->paths.size() >= fonts_->cachedStrings) {
    fonts_->paths.clear();
  }
  return fonts_->paths
      .emplace(key, tib::glyphPath(fonts_->library.faceAt(face).freetype,
                                   key & ((1U << kFaceShift) - 1)))
      .first->second;
}

std::vector<ShapedRun> TextRenderer::shape(std::string_view text,
                                           FontWeight weight) const {
  return fonts_->layout(decodeUtf8(text), 64, weight).runs;
}

void blendMask(ImageBuffer& image, const TextMask& mask, int x, int baseline,
               TextColour colour) {
  const int width = static_cast<int>(image.width);
  const int height = static_cast<int>(image.height);
  if (image.pixels.size() < toSize(width) * toSize(height) * 4) {
    throw TextError("picture holds fewer bytes than its size says");
  }
  const int left = x + mask.left;
  const int top = baseline - mask.top;
  const int firstRow = std::max(0, -top);
  const int lastRow = std::min(mask.height, height - top);
  const int firstCol = std::max(0, -left);
  const int lastCol = std::min(mask.width, width - left);
  for (int row = firstRow; row < lastRow; ++row) {
    const uint8_t* coverage =
        mask.coverage.data() + toSize(row) * toSize(mask.width);
    const std::size_t rowStart = toSize(top + row) * toSize(width);
    for (int col = firstCol; col < lastCol; ++col) {
      const unsigned alpha = (coverage[col] * colour.a + 127U) / 255U;
      if (alpha == 0) {
        continue;
      }
      unsigned char* pixel =
          image.pixels.data() +
          (rowStart + static_cast<std::size_t>(left + col)) * 4;
      const unsigned keep = 255U - alpha;
      pixel[0] = static_cast<unsigned char>(
          (pixel[0] * keep + colour.r * alpha + 127U) / 255U);
      pixel[1] = static_cast<unsigned char>(
          (pixel[1] * keep + colour.g * alpha + 127U) / 255U);
      pixel[2] = static_cast<unsigned char>(
          (pixel[2] * keep + colour.b * alpha + 127U) / 255U);
      pixel[3] =
          static_cast<unsigned char>(alpha + (pixel[3] * keep + 127U) / 255U);
    }
  }
}

}  // namespace tib
