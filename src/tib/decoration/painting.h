// A strip beside the board (a player's bar, the evaluation bar) laid out
// once as boxes of one colour and texts over them: painted as pixels for
// the PNG and the GIF, drawn as shapes for the SVG, from the same layout.
#pragma once

#include <string>
#include <vector>

#include "tib/decoration/move_glyphs.h"
#include "tib/text/text.h"

namespace tib {

// The dark the strips are painted on, and their dark lettering on light.
inline constexpr TextColour kStripDark{0x26, 0x24, 0x21, 255};

struct FilledRect {
  PixelRect rect;
  TextColour colour;
};

// The boxes in order, then the texts in order.
struct Painting {
  int width = 0;
  int height = 0;
  std::vector<FilledRect> rects;
  std::vector<PlacedText> texts;
};

// The painting on a transparent picture of its size, clipped to it.
ImageBuffer paintPicture(const Painting& painting, const TextRenderer& text);

}  // namespace tib
