// tib-game's SVG output: the diagram of one ply as vectors.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tib/board/render.h"
#include "tib/decoration/decorated.h"
#include "tib/vector/outlines.h"
#include "tib/vector/piece_vectors.h"

namespace tib::game {

// Whether an output file name asks for SVG (ends with ".svg").
bool isSvgName(const std::string& name);

// What every SVG of a run is drawn from: the vectors (pieces.svg) of the
// theme's folder and of the piece set's, and the coordinates' outlines.
struct SvgArt {
  PieceVectors theme;
  std::optional<PieceVectors> pieces;
  LabelGlyphs labels;
};

// Reads the vectors of the folders (pieceFolder "" for the theme's own
// pieces). Throws an OptionError naming a folder without vectors.
SvgArt loadSvgArt(const std::string& themeFolder,
                  const std::string& pieceFolder);

// The diagram as SVG, with the colours of artwork's board picture and the
// decorations as the PNG draws them (lettering: the fonts, needed when
// there are any).
std::vector<unsigned char> drawSvg(const Artwork& artwork, const SvgArt& art,
                                   const Diagram& diagram,
                                   const Decorations& decorations,
                                   const Lettering* lettering);

}  // namespace tib::game
