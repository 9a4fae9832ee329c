// The faces the text layer draws with: the chosen family's regular and bold
// faces, found with fontconfig, and for each code point they lack the face
// fontconfig finds for it. Used by the text renderer only, under its lock.
#pragma once

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tib/text/text_runs.h"

namespace tib {

// One face: HarfBuzz's side shapes from any thread; FreeType's side is used
// under the renderer's lock only.
struct Face {
  std::string family;
  // Where it was read from, for a renderer that opens it on its own.
  std::string file;
  int index = 0;
  FT_Face freetype = nullptr;
  hb_font_t* harfbuzz = nullptr;
  int unitsPerEm = 1000;
  int ascender = 0;
  int descender = 0;
  int capHeight = 0;
  // The pixel size FreeType was last set to; under the renderer's lock.
  mutable int freetypeSize = 0;

  Face() = default;
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  ~Face();

  bool covers(char32_t c) const;
};

class FaceLibrary {
 public:
  // Loads the family's regular and bold faces; throws TextError when the
  // family is not installed. Without a bold face, bold uses the regular.
  explicit FaceLibrary(const std::string& family);
  ~FaceLibrary();
  FaceLibrary(const FaceLibrary&) = delete;
  FaceLibrary& operator=(const FaceLibrary&) = delete;

  // Index of the family's face of the weight (0 regular, 1 bold).
  int mainFace(int weight) const {
    return mainFace_[static_cast<std::size_t>(weight)];
  }

  // Index of the face that draws a code point the main face lacks, loading
  // it at first use; -1 when no installed face has it.
  int fallbackFor(char32_t c, int weight);

  // Faces by index. Pointers stay valid as faces are added.
  const Face& faceAt(int index) const {
    return *faces_[static_cast<std::size_t>(index)];
  }
  std::vector<const Face*> faceTable() const;

 private:
  int loadFace(const std::string& path, int index, std::string family);
  int matchFace(FcPattern* pattern, FcPattern** matched);

  FcConfig* config_ = nullptr;
  FT_Library library_ = nullptr;
  std::vector<std::unique_ptr<Face>> faces_;
  std::map<std::pair<std::string, int>, int> faceOfFile_;
  std::array<int, 2> mainFace_{0, 0};
  // Per weight, the face chosen for each code point (-1: none has it).
  std::array<std::unordered_map<char32_t, int>, 2> fallbackFace_;
  // Per weight, the fallback faces chosen so far, in order of first use.
  std::array<std::vector<int>, 2> fallbacksInUse_;
};

// Each code point's direction, script and face of the weight (0 regular, 1
// bold), as every line of text is laid out: a common or inherited character
// keeps the face before it when that face covers it. Under the library's
// lock.
std::vector<CodePointFacts> codePointFacts(FaceLibrary& library,
                                           const std::u32string& text,
                                           int weight);

// One run of a line shaped by HarfBuzz: the line's code points it holds
// (from start), its face (an index of the library's), direction and glyphs,
// in visual order; clusters are indices of the line's code points,
// positions in the face's units.
struct ShapedGlyphs {
  std::size_t start = 0;
  std::size_t length = 0;
  int face = 0;
  bool rightToLeft = false;
  std::vector<hb_glyph_info_t> infos;
  std::vector<hb_glyph_position_t> positions;
};

// The line's runs (visualRuns) shaped, left to right: what the raster text
// and the sheets' captions both draw. Needs no lock.
std::vector<ShapedGlyphs> shapedLine(const std::vector<const Face*>& faceTable,
                                     const std::u32string& text,
                                     const std::vector<CodePointFacts>& facts);

}  // namespace tib
