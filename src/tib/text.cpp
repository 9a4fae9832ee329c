#include "tib/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <utility>

#include "tib/text_runs.h"

namespace tib {

namespace {

constexpr int kLargestPixelSize = 4096;
constexpr char32_t kEllipsis = 0x2026;

// One face: HarfBuzz's side shapes from any thread; FreeType's side is used
// under the fonts' lock only.
struct Face {
  std::string family;
  FT_Face freetype = nullptr;
  hb_font_t* harfbuzz = nullptr;
  int unitsPerEm = 1000;
  int ascender = 0;
  int descender = 0;
  int capHeight = 0;
  // The pixel size FreeType was last set to; under the fonts' lock.
  mutable int freetypeSize = 0;

  Face() = default;
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  ~Face() {
    hb_font_destroy(harfbuzz);
    FT_Done_Face(freetype);
  }

  bool covers(char32_t c) const {
    hb_codepoint_t glyph = 0;
    return hb_font_get_nominal_glyph(harfbuzz, c, &glyph) != 0 && glyph != 0;
  }
};

// A glyph placed on the line, in 26.6 fixed-point pixels from the pen's
// start; y grows upwards.
struct PlacedGlyph {
  const Face* face = nullptr;
  uint32_t glyph = 0;
  int64_t x = 0;
  int64_t y = 0;
};

struct Line {
  std::vector<PlacedGlyph> glyphs;
  std::vector<ShapedRun> runs;
  int64_t advance = 0;
};

int64_t floorDiv64(int64_t value) {
  return value >= 0 ? value / 64 : -((-value + 63) / 64);
}

int scaledToPixels(int units, int pixelSize, int unitsPerEm) {
  return static_cast<int>(
      std::lround(static_cast<double>(units) * pixelSize / unitsPerEm));
}

std::string familyOf(FcPattern* pattern) {
  FcChar8* family = nullptr;
  if (FcPatternGetString(pattern, FC_FAMILY, 0, &family) != FcResultMatch) {
    return {};
  }
  return reinterpret_cast<const char*>(family);
}

bool hasFamily(FcPattern* pattern, const std::string& wanted) {
  FcChar8* family = nullptr;
  for (int i = 0;
       FcPatternGetString(pattern, FC_FAMILY, i, &family) == FcResultMatch;
       ++i) {
    if (FcStrCmpIgnoreCase(
            family, reinterpret_cast<const FcChar8*>(wanted.c_str())) == 0) {
      return true;
    }
  }
  return false;
}

struct PatternDeleter {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

struct BufferDeleter {
  void operator()(hb_buffer_t* buffer) const { hb_buffer_destroy(buffer); }
};

BidiClass bidiClassOf(char32_t c, hb_script_t script,
                      hb_unicode_general_category_t category) {
  if (category == HB_UNICODE_GENERAL_CATEGORY_DECIMAL_NUMBER) {
    return BidiClass::left;
  }
  if (script == HB_SCRIPT_INHERITED ||
      category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
      category == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK ||
      category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK) {
    return BidiClass::mark;
  }
  if (script == HB_SCRIPT_COMMON || script == HB_SCRIPT_UNKNOWN ||
      c == kEllipsis) {
    return BidiClass::neutral;
  }
  return hb_script_get_horizontal_direction(script) == HB_DIRECTION_RTL
             ? BidiClass::right
             : BidiClass::left;
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
  mask.advance = static_cast<int>((advance + 32) / 64);
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
                     static_cast<std::size_t>(maskRow) * mask.width +
                     (bitmap.left - left);
      const uint8_t* in =
          bitmap.coverage.data() + static_cast<std::size_t>(row) * bitmap.width;
      for (int col = 0; col < bitmap.width; ++col) {
        out[col] = std::max(out[col], in[col]);
      }
    }
  }
  return mask;
}

}  // namespace

struct TextRenderer::Fonts {
  std::size_t cachedStrings = 0;

  // Guards the faces' list, the fallback choices, fontconfig and FreeType.
  std::mutex fontMutex;
  FcConfig* config = nullptr;
  FT_Library library = nullptr;
  std::vector<std::unique_ptr<Face>> faces;
  std::map<std::pair<std::string, int>, int> faceOfFile;
  // Main face per weight, and per weight the face chosen for each code
  // point the main one lacks (-1: none has it).
  int mainFace[2] = {0, 0};
  std::unordered_map<char32_t, int> fallbackFace[2];

  std::shared_mutex cacheMutex;
  std::unordered_map<std::string, std::shared_ptr<const TextMask>> masks;

  Fonts() = default;
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;
  ~Fonts() {
    faces.clear();
    if (library != nullptr) {
      FT_Done_FreeType(library);
    }
    if (config != nullptr) {
      FcConfigDestroy(config);
    }
  }

  // Index of the loaded face, loading it at first use; -1 when FreeType or
  // HarfBuzz cannot read it. Under fontMutex.
  int loadFace(const std::string& path, int index, std::string family) {
    const auto known = faceOfFile.find({path, index});
    if (known != faceOfFile.end()) {
      return known->second;
    }
    auto face = std::make_unique<Face>();
    face->family = std::move(family);
    if (FT_New_Face(library, path.c_str(), index, &face->freetype) != 0) {
      return -1;
    }
    hb_blob_t* blob = hb_blob_create_from_file_or_fail(path.c_str());
    if (blob == nullptr) {
      return -1;
    }
    hb_face_t* hbFace = hb_face_create(blob, static_cast<unsigned>(index));
    hb_blob_destroy(blob);
    face->unitsPerEm = static_cast<int>(hb_face_get_upem(hbFace));
    face->harfbuzz = hb_font_create(hbFace);
    hb_face_destroy(hbFace);
    hb_font_set_scale(face->harfbuzz, face->unitsPerEm, face->unitsPerEm);
    hb_font_extents_t extents{};
    hb_font_get_h_extents(face->harfbuzz, &extents);
    face->ascender = extents.ascender;
    face->descender = -extents.descender;
    hb_position_t capHeight = 0;
    face->capHeight =
        hb_ot_metrics_get_position(face->harfbuzz, HB_OT_METRICS_TAG_CAP_HEIGHT,
                                   &capHeight) != 0
            ? capHeight
            : face->unitsPerEm * 7 / 10;
    faces.push_back(std::move(face));
    const int loaded = static_cast<int>(faces.size()) - 1;
    faceOfFile[{path, index}] = loaded;
    return loaded;
  }

  // The face fontconfig matches for the pattern, or -1. Under fontMutex.
  int matchFace(FcPattern* pattern, FcPattern** matched) {
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    *matched = match;
    if (match == nullptr) {
      return -1;
    }
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) {
      return -1;
    }
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    return loadFace(reinterpret_cast<const char*>(file), index,
                    familyOf(match));
  }

  void loadMainFaces(const std::string& family) {
    for (int weight = 0; weight < 2; ++weight) {
      Pattern pattern(FcPatternCreate());
      FcPatternAddString(pattern.get(), FC_FAMILY,
                         reinterpret_cast<const FcChar8*>(family.c_str()));
      FcPatternAddInteger(pattern.get(), FC_WEIGHT,
                          weight == 1 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
      FcPattern* matchedRaw = nullptr;
      const int face = matchFace(pattern.get(), &matchedRaw);
      const Pattern matched(matchedRaw);
      int matchedWeight = FC_WEIGHT_REGULAR;
      if (matched != nullptr) {
        FcPatternGetInteger(matched.get(), FC_WEIGHT, 0, &matchedWeight);
      }
      const bool usable = face >= 0 && hasFamily(matched.get(), family);
      if (weight == 0 && !usable) {
        throw TextError("no usable font: " + family + " not found");
      }
      // Without a bold face, emphasis falls back to the regular one.
      const bool bold = usable && matchedWeight >= FC_WEIGHT_DEMIBOLD;
      mainFace[weight] = weight == 1 && !bold ? mainFace[0] : face;
    }
  }

  // The face for a code point the main face lacks. Under fontMutex.
  int fallbackFor(char32_t c, int weight) {
    const auto known = fallbackFace[weight].find(c);
    if (known != fallbackFace[weight].end()) {
      return known->second;
    }
    Pattern pattern(FcPatternCreate());
    FcCharSet* charset = FcCharSetCreate();
    FcCharSetAddChar(charset, c);
    FcPatternAddCharSet(pattern.get(), FC_CHARSET, charset);
    FcCharSetDestroy(charset);
    FcPatternAddString(pattern.get(), FC_FAMILY,
                       reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT,
                        weight == 1 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPattern* matchedRaw = nullptr;
    int face = matchFace(pattern.get(), &matchedRaw);
    const Pattern matched(matchedRaw);
    if (face >= 0 && !faces[static_cast<std::size_t>(face)]->covers(c)) {
      face = -1;
    }
    fallbackFace[weight][c] = face;
    return face;
  }

  // Each code point's direction, script and face, and the faces by index.
  std::vector<CodePointFacts> factsOf(const std::u32string& text,
                                      FontWeight weight,
                                      std::vector<const Face*>& faceTable) {
    const int w = weight == FontWeight::bold ? 1 : 0;
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    std::vector<CodePointFacts> facts(text.size());
    const std::lock_guard<std::mutex> lock(fontMutex);
    const Face& main = *faces[static_cast<std::size_t>(mainFace[w])];
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char32_t c = text[i];
      const hb_script_t script = hb_unicode_script(unicode, c);
      const BidiClass bidi =
          bidiClassOf(c, script, hb_unicode_general_category(unicode, c));
      const bool joinsNeighbours = script == HB_SCRIPT_COMMON ||
                                   script == HB_SCRIPT_INHERITED ||
                                   script == HB_SCRIPT_UNKNOWN;
      facts[i].bidi = bidi;
      facts[i].script = joinsNeighbours ? 0 : static_cast<uint32_t>(script);
      const int previous = i > 0 ? facts[i - 1].face : -1;
      if (joinsNeighbours && previous >= 0 &&
          faces[static_cast<std::size_t>(previous)]->covers(c)) {
        facts[i].face = previous;
      } else if (main.covers(c)) {
        facts[i].face = mainFace[w];
      } else {
        const int fallback = fallbackFor(c, w);
        facts[i].face = fallback >= 0 ? fallback : mainFace[w];
      }
    }
    faceTable.clear();
    for (const auto& face : faces) {
      faceTable.push_back(face.get());
    }
    return facts;
  }

  Line layout(const std::u32string& text, int pixelSize, FontWeight weight) {
    std::vector<const Face*> faceTable;
    const std::vector<CodePointFacts> facts = factsOf(text, weight, faceTable);
    Line line;
    const std::unique_ptr<hb_buffer_t, BufferDeleter> buffer(
        hb_buffer_create());
    for (const TextRun& run : visualRuns(facts)) {
      const Face& face = *faceTable[static_cast<std::size_t>(run.face)];
      hb_buffer_clear_contents(buffer.get());
      hb_buffer_add_utf32(
          buffer.get(), reinterpret_cast<const uint32_t*>(text.data()),
          static_cast<int>(text.size()), static_cast<unsigned>(run.start),
          static_cast<int>(run.length));
      hb_buffer_set_direction(
          buffer.get(), run.rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
      if (run.script != 0) {
        hb_buffer_set_script(buffer.get(),
                             static_cast<hb_script_t>(run.script));
      }
      hb_buffer_guess_segment_properties(buffer.get());
      hb_shape(face.harfbuzz, buffer.get(), nullptr, 0);
      unsigned count = 0;
      const hb_glyph_info_t* infos =
          hb_buffer_get_glyph_infos(buffer.get(), &count);
      const hb_glyph_position_t* positions =
          hb_buffer_get_glyph_positions(buffer.get(), &count);
      const double scale = 64.0 * pixelSize / face.unitsPerEm;
      const auto toFixed = [scale](hb_position_t units) {
        return static_cast<int64_t>(std::llround(units * scale));
      };
      ShapedRun shaped{face.family, run.rightToLeft, {}};
      for (unsigned g = 0; g < count; ++g) {
        line.glyphs.push_back(
            PlacedGlyph{&face, infos[g].codepoint,
                        line.advance + toFixed(positions[g].x_offset),
                        toFixed(positions[g].y_offset)});
        line.advance += toFixed(positions[g].x_advance);
        shaped.glyphIds.push_back(infos[g].codepoint);
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
    const int64_t limit = static_cast<int64_t>(maxWidth) * 64;
    if (whole.advance <= limit) {
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
    if (best.advance > limit) {
      return Line{};
    }
    std::size_t low = 0;
    std::size_t high = cuts.size();
    while (high - low > 1) {
      const std::size_t middle = low + (high - low) / 2;
      Line candidate = shortened(cuts[middle]);
      if (candidate.advance <= limit) {
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
      const FT_GlyphSlot slot = face.freetype->glyph;
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
                      static_cast<std::ptrdiff_t>(row * bitmap.width));
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
    : fonts_(std::make_unique<Fonts>()) {
  fonts_->cachedStrings = std::max<std::size_t>(choice.cachedStrings, 1);
  fonts_->config = FcInitLoadConfigAndFonts();
  if (fonts_->config == nullptr) {
    throw TextError("no usable font: fontconfig has no configuration");
  }
  if (FT_Init_FreeType(&fonts_->library) != 0) {
    throw TextError("no usable font: FreeType does not start");
  }
  const std::lock_guard<std::mutex> lock(fonts_->fontMutex);
  fonts_->loadMainFaces(choice.family);
}

TextRenderer::~TextRenderer() = default;

int TextRenderer::measure(std::string_view text, int pixelSize,
                          FontWeight weight) const {
  checkPixelSize(pixelSize);
  const Line line = fonts_->layout(decodeUtf8(text), pixelSize, weight);
  return static_cast<int>((line.advance + 32) / 64);
}

LineMetrics TextRenderer::lineMetrics(int pixelSize, FontWeight weight) const {
  checkPixelSize(pixelSize);
  const int w = weight == FontWeight::bold ? 1 : 0;
  const std::lock_guard<std::mutex> lock(fonts_->fontMutex);
  const Face& face =
      *fonts_->faces[static_cast<std::size_t>(fonts_->mainFace[w])];
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

std::vector<ShapedRun> TextRenderer::shape(std::string_view text,
                                           FontWeight weight) const {
  return fonts_->layout(decodeUtf8(text), 64, weight).runs;
}

void blendMask(ImageBuffer& image, const TextMask& mask, int x, int baseline,
               TextColour colour) {
  const int width = static_cast<int>(image.width);
  const int height = static_cast<int>(image.height);
  if (image.pixels.size() < static_cast<std::size_t>(width) * height * 4) {
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
        mask.coverage.data() + static_cast<std::size_t>(row) * mask.width;
    const std::size_t rowStart = static_cast<std::size_t>(top + row) * width;
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
