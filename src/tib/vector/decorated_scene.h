// A diagram's decorations as vectors, from the layouts the PNG paints: the
// move glyph's badge over the board, the players' bars and the evaluation
// bar around it, every text outlined from the text layer's faces.
#pragma once

#include "tib/decoration/decorated.h"
#include "tib/vector/outlines.h"
#include "tib/vector/scene.h"

namespace tib {

// Adds the decorations to the diagram's scene, and the outlines of the
// glyphs their texts use to glyphs.
void addDecorations(Scene& scene, const Diagram& diagram,
                    const Decorations& decorations, const Lettering& lettering,
                    GlyphPaths& glyphs);

}  // namespace tib
