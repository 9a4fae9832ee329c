#include "tib/vector/outlines.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <hb-ft.h>
#include <hb.h>

#include <array>
#include <memory>
#include <string>

#include "tib/text.h"

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

// Outlines and pen positions are in units of this many font units (a
// thousandth of an em of most fonts' 2048): shorter numbers.
constexpr FT_Pos kQuantum = 2;

FT_Pos quantised(FT_Pos value) {
  return value >= 0 ? (value + kQuantum / 2) / kQuantum
                    : -((-value + kQuantum / 2) / kQuantum);
}

// Path data of an outline in font units, y up, integers, each command's
// points relative to where the one before ended: shorter, and alike from
// glyph to glyph.
struct PathWriter {
  std::string data;
  FT_Pos x = 0;
  FT_Pos y = 0;
  // Where the contour started, where closing it leaves the pen.
  FT_Vector start{0, 0};

  void close() {
    if (!data.empty()) {
      data += 'z';
      x = start.x;
      y = start.y;
    }
  }

  void add(char command, const FT_Vector* points, int count) {
    data += command;
    for (int i = 0; i < count; ++i) {
      const FT_Pos dx = quantised(points[i].x) - x;
      const FT_Pos dy = quantised(points[i].y) - y;
      if (i > 0 && dx >= 0) {
        data += ' ';
      }
      data += std::to_string(dx);
      if (dy >= 0) {
        data += ' ';
      }
      data += std::to_string(dy);
    }
    x = quantised(points[count - 1].x);
    y = quantised(points[count - 1].y);
  }
};

int moveTo(const FT_Vector* to, void* user) {
  auto* path = static_cast<PathWriter*>(user);
  path->close();
  path->add('m', to, 1);
  path->start = {quantised(to->x), quantised(to->y)};
  return 0;
}

int lineTo(const FT_Vector* to, void* user) {
  static_cast<PathWriter*>(user)->add('l', to, 1);
  return 0;
}

int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
  const std::array<FT_Vector, 2> points{*control, *to};
  static_cast<PathWriter*>(user)->add('q', points.data(), 2);
  return 0;
}

int cubicTo(const FT_Vector* first, const FT_Vector* second,
            const FT_Vector* to, void* user) {
  const std::array<FT_Vector, 3> points{*first, *second, *to};
  static_cast<PathWriter*>(user)->add('c', points.data(), 3);
  return 0;
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
  return static_cast<int>(quantised(face_->face->units_per_EM));
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
         static_cast<int32_t>(quantised(pen + position[i].x_offset)),
         static_cast<int32_t>(quantised(position[i].y_offset))});
    pen += position[i].x_advance;
  }
  shaped.advance = static_cast<int32_t>(quantised(pen));
  hb_buffer_destroy(buffer);
  return shaped;
}

std::string FontOutlines::outline(uint32_t glyph) const {
  if (FT_Load_Glyph(face_->face, glyph, FT_LOAD_NO_SCALE) != 0 ||
      face_->face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
    return {};
  }
  const FT_Outline_Funcs funcs{moveTo, lineTo, conicTo, cubicTo, 0, 0};
  PathWriter path;
  FT_Outline_Decompose(&face_->face->glyph->outline, &funcs, &path);
  path.close();
  return path.data;
}

LabelGlyphs labelGlyphs() {
  const FontOutlines font("DejaVu Sans", true);
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
