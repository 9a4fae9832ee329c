// A glyph's outline as SVG path data: what a vector picture draws a letter
// with, from the same FreeType face the pixels come from.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <string>

namespace tib {

// Outlines and pen positions are in units of this many font units (a
// thousandth of an em of most fonts' 2048): shorter numbers.
inline constexpr FT_Pos kOutlineQuantum = 2;

// Font units to outline units, rounded half away from zero.
FT_Pos outlineUnits(FT_Pos fontUnits);

// The glyph's outline in outline units, y up, each command's points
// relative to where the one before ended; "" for a blank glyph or one the
// face cannot load. Loads into the face's glyph slot.
std::string glyphPath(FT_Face face, uint32_t glyph);

}  // namespace tib
