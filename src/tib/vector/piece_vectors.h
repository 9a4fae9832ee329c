// The vectors of a folder of pieces: pieces.svg, written by the artwork
// generator beside the sprites, one group per piece and marker drawing it in
// the box its sprite fills.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "tib/board/pieces.h"

namespace tib {

inline constexpr const char* kPieceVectorsFile = "pieces.svg";
// The group the pieces of a sheet set take their cells from.
inline constexpr std::string_view kSharedGroupId = "pieces-shared";

struct PieceVectors {
  // One line of SVG each, "<g id=\"wp\" ...>...</g>": the twelve pieces in
  // the order of kPieces, then the markers of white and black.
  std::array<std::string, kPieces.size() + 2> groups;
  // The group the others refer to ("" for most sets).
  std::string shared;
};

// The index into groups of a side's marker (0 white, 1 black).
constexpr std::size_t markerGroup(std::size_t side) {
  return kPieces.size() + side;
}

// The vectors read from a pieces.svg text; throws an Error naming source when
// a piece or marker lacks its group, or when the text holds what a diagram
// must not (a script, an event attribute, a reference outside itself).
PieceVectors readPieceVectors(std::string_view text, const std::string& source);

// The vectors of folder, none when it holds no pieces.svg.
std::optional<PieceVectors> loadPieceVectors(const std::string& folder);

}  // namespace tib
