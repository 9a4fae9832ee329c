#include "tib/sheet/layout.h"

#include <algorithm>
#include <cmath>

namespace tib {

namespace {

// Half an inch: inside what any printer can reach.
constexpr double kMargin = 36;
// The header line and its rule above the boards; the page number below.
constexpr double kHeaderBlock = 30;
constexpr double kFooterBlock = 18;
// Free space around each cell's board and caption, shared by neighbours.
constexpr double kGutter = 18;

}  // namespace

std::optional<PaperSize> paperNamed(std::string_view name) {
  if (name == "a4") {
    return kA4;
  }
  if (name == "letter") {
    return kLetter;
  }
  return std::nullopt;
}

std::optional<Grid> gridOf(std::size_t perPage) {
  switch (perPage) {
    case 4:
      return Grid{2, 2};
    case 6:
      return Grid{2, 3};
    case 9:
      return Grid{3, 3};
    case 12:
      return Grid{3, 4};
    default:
      return std::nullopt;
  }
}

SheetLayout sheetLayout(const PaperSize& paper, std::size_t perPage) {
  SheetLayout layout;
  layout.paper = paper;
  layout.grid = gridOf(perPage).value_or(Grid{2, 3});
  layout.margin = kMargin;
  layout.headerSize = 11;
  layout.headerBaseline = kMargin + layout.headerSize;
  layout.footerBaseline = paper.height - kMargin;
  // Three columns leave narrower cells: smaller captions.
  layout.captionSize = layout.grid.columns > 2 ? 7.5 : 9;
  layout.captionLeading = std::round(layout.captionSize * 13) / 10;
  const double cellWidth =
      (paper.width - 2 * kMargin) / static_cast<double>(layout.grid.columns);
  const double cellHeight =
      (paper.height - 2 * kMargin - kHeaderBlock - kFooterBlock) /
      static_cast<double>(layout.grid.rows);
  const double caption =
      layout.captionSize / 2 + kCaptionLines * layout.captionLeading;
  // Whole points: the squares' edges then fall alike on every board.
  layout.board =
      std::floor(std::min(cellWidth - kGutter, cellHeight - kGutter - caption));
  return layout;
}

std::size_t pageCount(std::size_t diagrams, const SheetLayout& layout) {
  const std::size_t perPage = layout.grid.columns * layout.grid.rows;
  return (diagrams + perPage - 1) / perPage;
}

DiagramPlace diagramPlace(std::size_t index, const SheetLayout& layout) {
  const Grid& grid = layout.grid;
  const std::size_t perPage = grid.columns * grid.rows;
  const std::size_t cell = index % perPage;
  const double cellWidth = (layout.paper.width - 2 * layout.margin) /
                           static_cast<double>(grid.columns);
  const double cellHeight =
      (layout.paper.height - 2 * layout.margin - kHeaderBlock - kFooterBlock) /
      static_cast<double>(grid.rows);
  const double caption =
      layout.captionSize / 2 + kCaptionLines * layout.captionLeading;
  // Board and caption centred as one block in the cell, reading order by
  // rows.
  const std::size_t column = cell % grid.columns;
  const std::size_t row = cell / grid.columns;
  const double cellX = layout.margin + cellWidth * static_cast<double>(column);
  const double cellY =
      layout.margin + kHeaderBlock + cellHeight * static_cast<double>(row);
  DiagramPlace place;
  place.page = index / perPage;
  place.board = {cellX + (cellWidth - layout.board) / 2,
                 cellY + (cellHeight - layout.board - caption) / 2,
                 layout.board, layout.board};
  place.captionBaseline = place.board.y + layout.board +
                          layout.captionSize / 2 + layout.captionSize;
  return place;
}

}  // namespace tib
