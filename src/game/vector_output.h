// tib-game's SVG output: the diagram of one ply as vectors.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tib/render.h"
#include "tib/vector/piece_vectors.h"

namespace tib::game {

// The vectors (pieces.svg) of a folder named by option; throws an
// OptionError naming a folder without them.
PieceVectors vectorsOf(const std::string& folder, const char* option);

// Whether an output file name asks for SVG (ends with ".svg").
bool isSvgName(const std::string& name);

// The diagram as SVG from the board picture of artwork (its colours) and
// the vectors (pieces.svg) of the theme's folder and of the piece set's
// ("" for the theme's own pieces). Throws an OptionError naming a folder
// without vectors. The players' bars and the move glyph are not drawn:
// when the diagram has them, a line on err says so.
std::vector<unsigned char> drawSvg(const Artwork& artwork,
                                   const std::string& themeFolder,
                                   const std::string& pieceFolder,
                                   const Diagram& diagram, bool decorated,
                                   std::ostream& err);

}  // namespace tib::game
