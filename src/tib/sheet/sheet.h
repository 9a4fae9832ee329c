// A printed sheet: diagrams laid out on pages with their captions, written
// as PDF (any number of pages) or as the SVG of one page, with cairo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tib/sheet/layout.h"
#include "tib/vector/outlines.h"
#include "tib/vector/piece_vectors.h"
#include "tib/vector/scene.h"

namespace tib {

struct SheetDiagram {
  Scene scene;
  // Shown in bold before the first caption line.
  std::size_t number = 0;
  // At most kCaptionLines; a line too long for the board's width is cut
  // with an ellipsis.
  std::vector<std::string> caption;
};

enum class SheetFormat { pdf, svg };

// What the scenes are drawn from.
struct SheetArt {
  const PieceVectors* pieces = nullptr;
  const PieceVectors* markers = nullptr;
  const GlyphPaths* glyphs = nullptr;
};

// The sheet's bytes: the diagrams in order, header on every page ("" for
// none), pages numbered. An SVG holds the first page only. A PDF's dates
// are created (seconds since 1970, UTC), or left out when none, so that the
// same input gives the same bytes. Throws an Error when cairo or librsvg
// fails.
std::vector<unsigned char> renderSheet(
    SheetFormat format, const SheetLayout& layout, const std::string& header,
    const std::vector<SheetDiagram>& diagrams, const SheetArt& art,
    std::optional<int64_t> created);

}  // namespace tib
