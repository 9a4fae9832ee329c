// A vector scene as an SVG document: self-contained (no script, no
// reference outside it, no text: letters are outlines), each piece, marker
// and glyph defined once and drawn with <use>.
#pragma once

#include <string>

#include "tib/board/artwork.h"
#include "tib/board/render.h"
#include "tib/decoration/decorated.h"
#include "tib/vector/outlines.h"
#include "tib/vector/piece_vectors.h"
#include "tib/vector/scene.h"

namespace tib {

// The scene with the pieces' groups from pieces and the markers' from
// markers (a theme's), the glyphs' outlines from glyphs.
std::string writeSvg(const Scene& scene, const PieceVectors& pieces,
                     const PieceVectors& markers, const GlyphPaths& glyphs);

// The vectors a diagram is drawn from: the board picture its colours are
// read from, the theme's markers, the pieces, the coordinates' outlines.
struct VectorArt {
  const Artwork* artwork = nullptr;
  const PieceVectors* theme = nullptr;
  const PieceVectors* pieces = nullptr;
  const LabelGlyphs* labels = nullptr;
};

// The diagram as SVG, Size pixels on a side, with its decorations around
// it as the PNG has them (lettering draws their texts). Throws an Error
// when Size is out of range, the artwork lacks the board of the view or
// decorations come without lettering.
std::string renderSvg(const VectorArt& art, const Diagram& diagram,
                      const Decorations& decorations = {},
                      const Lettering* lettering = nullptr);

}  // namespace tib
