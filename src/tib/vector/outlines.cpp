#include "tib/vector/outlines.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>

#include <memory>
#include <string>

#include "tib/text/glyph_path.h"
#include "tib/text/text.h"

namespace tib {

struct FontOutlines::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  hb_font_t* font = nullptr;

  Face() = default;
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  ~Face() {
    if (font != nullptr) {
      hb_font_destroy(font);
    }
    if (face != nullptr) {
      FT_Done_Face(face);
    }
    if (library != nullptr) {
      FT_Done_FreeType(library);
    }
  }
};

namespace {

struct ConfigDeleter {
  void operator()(FcConfig* config) const { FcConfigDestroy(config); }
};

// The file and index of the face fontconfig matches. A configuration of its
// own, freed after: the library's current one would live to the exit.
std::pair<std::string, int> matchFace(const std::string& family, bool bold) {
  const std::unique_ptr<FcConfig, ConfigDeleter> config(
      FcInitLoadConfigAndFonts());
  if (!config) {
    return {"", 0};
  }
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT,
                      bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcConfigSubstitute(config.get(), pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config.get(), pattern, &result);
  FcPatternDestroy(pattern);
  std::pair<std::string, int> found{"", 0};
  FcChar8* file = nullptr;
  FcChar8* matchedFamily = nullptr;
  if (match != nullptr &&
      FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
      FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) ==
          FcResultMatch &&
      family == reinterpret_cast<const char*>(matchedFamily)) {
    found.first = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(match, FC_INDEX, 0, &found.second);
  }
  if (match != nullptr) {
    FcPatternDestroy(match);
  }
  return found;
}

}  // namespace

FontOutlines::FontOutlines(const std::string& family, bool bold)
    : face_(std::make_unique<Face>()) {
  const auto [file, index] = matchFace(family, bold);
  if (file.empty() || FT_Init_FreeType(&face_->library) != 0 ||
      FT_New_Face(face_->library, file.c_str(), index, &face_->face) != 0) {
    throw TextError("no installed font of the family " + family +
                    (bold ? " (bold)" : ""));
  }
  face_->font = hb_ft_font_create_referenced(face_->face);
  hb_font_set_scale(face_->font, face_->face->units_per_EM,
                    face_->face->units_per_EM);
  hb_ft_font_set_load_flags(face_->font, FT_LOAD_NO_SCALE);
}

FontOutlines::~FontOutlines() = default;

int FontOutlines::unitsPerEm() const {
  return static_cast<int>(outlineUnits(face_->face->units_per_EM));
}

ShapedText FontOutlines::shape(std::string_view text) const {
  hb_buffer_t* buffer = hb_buffer_create();
  hb_buffer_add_utf8(buffer, text.data(), static_cast<int>(text.size()), 0,
                     static_cast<int>(text.size()));
  hb_buffer_guess_segment_properties(buffer);
  hb_shape(face_->font, buffer, nullptr, 0);
  unsigned count = 0;
  const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
  const hb_glyph_position_t* position =
      hb_buffer_get_glyph_positions(buffer, &count);
  ShapedText shaped;
  FT_Pos pen = 0;
  for (unsigned i = 0; i < count; ++i) {
    shaped.glyphs.push_back(
        {info[i].codepoint,
         static_cast<int32_t>(outlineUnits(pen + position[i].x_offset)),
         static_cast<int32_t>(outlineUnits(position[i].y_offset))});
    pen += position[i].x_advance;
  }
  shaped.advance = static_cast<int32_t>(outlineUnits(pen));
  hb_buffer_destroy(buffer);
  return shaped;
}

std::string FontOutlines::outline(uint32_t glyph) const {
  return glyphPath(face_->face, glyph);
}

LabelGlyphs labelGlyphs() {
  const FontOutlines font(TIB_LABEL_FONT, true);
  LabelGlyphs glyphs;
  glyphs.unitsPerEm = font.unitsPerEm();
  for (const char c : std::string_view("abcdefgh12345678")) {
    ShapedText shaped = font.shape(std::string_view(&c, 1));
    for (const ShapedGlyph& glyph : shaped.glyphs) {
      glyphs.paths.emplace(glyph.glyph, font.outline(glyph.glyph));
    }
    glyphs.labels.push_back(std::move(shaped));
  }
  return glyphs;
}

}  // namespace tib
