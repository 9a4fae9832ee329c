#include "tib/text/text_faces.h"

#include <hb-ot.h>

#include <algorithm>

#include "tib/text/text.h"

namespace tib {

namespace {

struct PatternDeleter {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

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

Pattern patternOf(const char* family, int weight) {
  Pattern pattern(FcPatternCreate());
  FcPatternAddString(pattern.get(), FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT,
                      weight == 1 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  return pattern;
}

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

struct BufferDeleter {
  void operator()(hb_buffer_t* buffer) const { hb_buffer_destroy(buffer); }
};

}  // namespace

Face::~Face() {
  hb_font_destroy(harfbuzz);
  FT_Done_Face(freetype);
}

bool Face::covers(char32_t c) const {
  hb_codepoint_t glyph = 0;
  return hb_font_get_nominal_glyph(harfbuzz, c, &glyph) != 0 && glyph != 0;
}

FaceLibrary::FaceLibrary(const std::string& family) {
  config_ = FcInitLoadConfigAndFonts();
  if (config_ == nullptr) {
    throw TextError("no usable font: fontconfig has no configuration");
  }
  if (FT_Init_FreeType(&library_) != 0) {
    FcConfigDestroy(config_);
    throw TextError("no usable font: FreeType does not start");
  }
  try {
    for (int weight = 0; weight < 2; ++weight) {
      const Pattern pattern = patternOf(family.c_str(), weight);
      FcPattern* matchedRaw = nullptr;
      const int face = matchFace(pattern.get(), &matchedRaw);
      const Pattern matched(matchedRaw);
      const bool usable = face >= 0 && hasFamily(matched.get(), family);
      if (weight == 0 && !usable) {
        throw TextError("no usable font: " + family + " not found");
      }
      int matchedWeight = FC_WEIGHT_REGULAR;
      if (usable) {
        FcPatternGetInteger(matched.get(), FC_WEIGHT, 0, &matchedWeight);
      }
      const bool bold = usable && matchedWeight >= FC_WEIGHT_DEMIBOLD;
      mainFace_[static_cast<std::size_t>(weight)] =
          weight == 1 && !bold ? mainFace_[0] : face;
    }
  } catch (...) {
    faces_.clear();
    FT_Done_FreeType(library_);
    FcConfigDestroy(config_);
    throw;
  }
}

FaceLibrary::~FaceLibrary() {
  faces_.clear();
  FT_Done_FreeType(library_);
  FcConfigDestroy(config_);
}

std::vector<const Face*> FaceLibrary::faceTable() const {
  std::vector<const Face*> table(faces_.size());
  std::transform(
      faces_.begin(), faces_.end(), table.begin(),
      [](const std::unique_ptr<Face>& loaded) { return loaded.get(); });
  return table;
}

int FaceLibrary::loadFace(const std::string& path, int index,
                          std::string family) {
  const auto known = faceOfFile_.find({path, index});
  if (known != faceOfFile_.end()) {
    return known->second;
  }
  auto face = std::make_unique<Face>();
  face->family = std::move(family);
  face->file = path;
  face->index = index;
  if (FT_New_Face(library_, path.c_str(), index, &face->freetype) != 0) {
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
  // Positions in font units; callers scale them to their pixel size, so
  // one font object serves every size and thread.
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
  faces_.push_back(std::move(face));
  const int loaded = static_cast<int>(faces_.size()) - 1;
  faceOfFile_[{path, index}] = loaded;
  return loaded;
}

int FaceLibrary::matchFace(FcPattern* pattern, FcPattern** matched) {
  FcConfigSubstitute(config_, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config_, pattern, &result);
  *matched = match;
  FcChar8* file = nullptr;
  if (match == nullptr ||
      FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) {
    return -1;
  }
  int index = 0;
  FcPatternGetInteger(match, FC_INDEX, 0, &index);
  return loadFace(reinterpret_cast<const char*>(file), index, familyOf(match));
}

int FaceLibrary::fallbackFor(char32_t c, int weight) {
  auto& chosen = fallbackFace_[static_cast<std::size_t>(weight)];
  const auto known = chosen.find(c);
  if (known != chosen.end()) {
    return known->second;
  }
  // A fallback face in use that has the character spares a match (half a
  // millisecond each) and keeps one name's letters in one face.
  auto& inUse = fallbacksInUse_[static_cast<std::size_t>(weight)];
  const auto loaded =
      std::find_if(inUse.begin(), inUse.end(),
                   [this, c](int face) { return faceAt(face).covers(c); });
  if (loaded != inUse.end()) {
    chosen[c] = *loaded;
    return *loaded;
  }
  // The character set outranks the family in fontconfig's match, so the
  // family only picks a sans face among those that have the character.
  const Pattern pattern = patternOf("sans-serif", weight);
  FcCharSet* charset = FcCharSetCreate();
  FcCharSetAddChar(charset, c);
  FcPatternAddCharSet(pattern.get(), FC_CHARSET, charset);
  FcCharSetDestroy(charset);
  FcPattern* matchedRaw = nullptr;
  int face = matchFace(pattern.get(), &matchedRaw);
  const Pattern matched(matchedRaw);
  if (face >= 0 && !faceAt(face).covers(c)) {
    face = -1;
  }
  if (face >= 0 && std::find(inUse.begin(), inUse.end(), face) == inUse.end()) {
    inUse.push_back(face);
  }
  chosen[c] = face;
  return face;
}

std::vector<CodePointFacts> codePointFacts(FaceLibrary& library,
                                           const std::u32string& text,
                                           int weight) {
  hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
  std::vector<CodePointFacts> facts(text.size());
  const int mainFace = library.mainFace(weight);
  const Face& main = library.faceAt(mainFace);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t c = text[i];
    const hb_script_t script = hb_unicode_script(unicode, c);
    const bool joinsNeighbours = script == HB_SCRIPT_COMMON ||
                                 script == HB_SCRIPT_INHERITED ||
                                 script == HB_SCRIPT_UNKNOWN;
    facts[i].bidi =
        bidiClassOf(c, script, hb_unicode_general_category(unicode, c));
    facts[i].script = joinsNeighbours ? 0 : static_cast<uint32_t>(script);
    const int previous = i > 0 ? facts[i - 1].face : -1;
    if (joinsNeighbours && previous >= 0 &&
        library.faceAt(previous).covers(c)) {
      facts[i].face = previous;
    } else if (main.covers(c)) {
      facts[i].face = mainFace;
    } else {
      const int fallback = library.fallbackFor(c, weight);
      facts[i].face = fallback >= 0 ? fallback : mainFace;
    }
  }
  return facts;
}

std::vector<ShapedGlyphs> shapedLine(const std::vector<const Face*>& faceTable,
                                     const std::u32string& text,
                                     const std::vector<CodePointFacts>& facts) {
  std::vector<ShapedGlyphs> shaped;
  const std::unique_ptr<hb_buffer_t, BufferDeleter> buffer(hb_buffer_create());
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
      hb_buffer_set_script(buffer.get(), static_cast<hb_script_t>(run.script));
    }
    hb_buffer_guess_segment_properties(buffer.get());
    hb_shape(face.harfbuzz, buffer.get(), nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* infos =
        hb_buffer_get_glyph_infos(buffer.get(), &count);
    const hb_glyph_position_t* positions =
        hb_buffer_get_glyph_positions(buffer.get(), &count);
    shaped.push_back(
        {run.start, run.length, run.face, run.rightToLeft,
         std::vector<hb_glyph_info_t>(infos, infos + count),
         std::vector<hb_glyph_position_t>(positions, positions + count)});
  }
  return shaped;
}

}  // namespace tib
