// The evaluation bar beside the board: white's winning chance filled from
// white's side of the board, a line at the middle, and the value written
// small at the end of the side ahead.
#pragma once

#include <string>

#include "chess/pgn.h"
#include "chess/types.h"
#include "tib/board/board.h"
#include "tib/board/drawing.h"
#include "tib/decoration/painting.h"
#include "tib/text/text.h"

namespace tib {

struct EvalBar {
  // White's share of the bar, in percent.
  float whiteShare = 50.0F;
  // The value written at the end; empty for none (a game's start before
  // any evaluation is known).
  std::string label;
};

inline bool operator==(const EvalBar& a, const EvalBar& b) {
  return a.whiteShare == b.whiteShare && a.label == b.label;
}
inline bool operator!=(const EvalBar& a, const EvalBar& b) { return !(a == b); }

// The bar of an evaluation of a position with toMove to move.
EvalBar evalBarOf(const chess::Evaluation& eval, chess::Side toMove);

// Width of the column left of a board of this many pixels: a sixteenth of
// it, rounded, at least 2; the bar fills it but for a gap at the board.
int evalColumnWidth(int boardEdge);
int evalBarWidth(int boardEdge);

// The rows of a bar of this height that white's share fills: share / 100 x
// height in single precision, rounded.
int whiteRows(float whiteShare, int height);

// The column beside a board of boardEdge pixels, with rowsAbove and
// rowsBelow rows (the players' bars) beside which it is plain:
// evalColumnWidth x (rowsAbove + boardEdge + rowsBelow) RGBA pixels.
// White's share fills from the bottom in the white view, from the top in
// the black view.
ImageBuffer drawEvalColumn(int boardEdge, int rowsAbove, int rowsBelow,
                           const EvalBar& bar, Orientation view,
                           const TextRenderer& text);

// The same column laid out, for drawing as vectors.
Painting layOutEvalColumn(int boardEdge, int rowsAbove, int rowsBelow,
                          const EvalBar& bar, Orientation view,
                          const TextRenderer& text);

// The picture of a board (with rowsAbove and rowsBelow rows of bars) with
// the column at its left; the picture's pixels are copied unchanged.
ImageBuffer addEvalColumn(const ImageBuffer& picture, int rowsAbove,
                          int rowsBelow, const EvalBar& bar, Orientation view,
                          const TextRenderer& text);

}  // namespace tib
