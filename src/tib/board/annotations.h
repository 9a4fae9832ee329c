// What a diagram may show besides the position: the view, the last move,
// a king in check, coloured squares, arrows and circles. Drawn onto the
// 1024 x 1024 canvas with pixman's anti-aliased shapes and gradients.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "chess/types.h"
#include "tib/board/board.h"
#include "tib/board/drawing.h"

namespace tib {

using chess::Mark;

// At most this many highlights, and this many arrows and circles.
inline constexpr std::size_t kMaxMarks = 64;

struct Annotations {
  Orientation orientation = Orientation::white;
  // The board picture with the file and rank labels, or without.
  bool coordinates = true;
  // The squares tinted as the last move's, each once.
  std::vector<Square> lastMove;
  // The square of the king in check.
  std::optional<Square> check;
  // Filled squares, drawn in order under the pieces.
  std::vector<Mark> highlights;
  // Arrows and circles, drawn in order above the pieces.
  std::vector<Mark> arrows;
};

// A point on the canvas, between pixels.
struct CanvasPoint {
  double x;
  double y;
};

CanvasPoint centreOf(const Box& box);

// The outline of an arrow from one point to another, around it: the tail's
// corners and the head's, seven points.
std::array<CanvasPoint, 7> arrowOutline(const CanvasPoint& from,
                                        const CanvasPoint& to);

// Whether the annotations draw anything or pick another board picture.
bool hasAnnotations(const Annotations& annotations);

// The highlights, the last-move tint and the check glow, in that order:
// what lies under the pieces. Only the pixels inside clip change.
void drawUnderPieces(ImageBuffer& canvas, const Annotations& annotations,
                     const Box& clip = kCanvasBox);

// The arrows and circles, in their order: what lies above the pieces and
// the marker. Only the pixels inside clip change.
void drawOverPieces(ImageBuffer& canvas, const Annotations& annotations,
                    const Box& clip = kCanvasBox);

// Boxes that together hold every pixel a mark of the arrows may change,
// none overlapping another: for an arrow, a box for each row of squares it
// crosses, as wide as the arrow there, rather than the box of both squares.
std::vector<Box> markCover(const Mark& mark, Orientation orientation);

}  // namespace tib
