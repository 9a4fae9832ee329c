// Walking the FEN text: the pieces of its placement field and the side to
// move.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tib/artwork.h"
#include "tib/drawing.h"

namespace tib {

inline constexpr const char* kStartingPosition =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w";

// The placement field: the text up to its first space.
std::string_view placementField(const std::string& fen);

// The side named by the byte after the first space ("w" or "b"); none when
// there is no such byte or it is anything else.
std::optional<Side> sideToMove(const std::string& fen);

// Draws every piece of the placement field (the text up to its first space)
// in the order of the text, then the marker of the side to move. Nothing is
// validated: what lies off the board is clipped.
void drawPosition(ImageBuffer& canvas, const std::string& fen,
                  const Settings& settings, const Artwork& artwork);

}  // namespace tib
