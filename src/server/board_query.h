// The parameters of /board.png read into the diagram they ask for: the
// view, the marks, size and scale, the position of a FEN or of a PGN's ply,
// the players' names and a move's glyph, each refused with one line naming
// it. The theme and piece set are only named here; the request decides
// whether they are served.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tib/board/render.h"
#include "tib/decoration/decorated.h"

namespace tib {

// A parameter of /board.png that cannot be used, its one line naming it:
// a 400.
class ParameterRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The parameters of /board.png as a query gives them.
struct DiagramQuery {
  Diagram diagram;
  Decorations decorations;
  std::string theme;
  // A piece set drawn instead of the theme's own pieces; "" for those.
  std::string piece;
};

// Reads the parameters of /board.png. Each is read as it comes, and the
// last of a name (or of its other spelling) counts; size= and scale= are
// converted as tib converts each of its arguments. The FEN (or the PGN's
// ply) is read once all are, and check= after it, as it may name the king
// of the FEN. Throws a ParameterRefused, or the library's refusal of a
// value, for the first parameter that cannot be used.
DiagramQuery readDiagramQuery(std::string_view query, int32_t maxSize);

}  // namespace tib
