// Where the diagrams of a printed sheet go: pages of a grid of boards, each
// with its caption under it, a header line and a page number, in points
// (1/72 inch). No drawing here.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace tib {

struct PaperSize {
  double width = 0;
  double height = 0;
};

inline constexpr PaperSize kA4{595.28, 841.89};
inline constexpr PaperSize kLetter{612, 792};

// "a4" or "letter"; none for another name.
std::optional<PaperSize> paperNamed(std::string_view name);

struct Grid {
  std::size_t columns = 0;
  std::size_t rows = 0;
};

// The grid of 4 (2 x 2), 6 (2 x 3), 9 (3 x 3) or 12 (3 x 4) diagrams a
// page; none for another count.
std::optional<Grid> gridOf(std::size_t perPage);

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// Lines of caption under each board; the layout keeps room for them all.
inline constexpr int kCaptionLines = 3;

struct SheetLayout {
  PaperSize paper = kA4;
  Grid grid{2, 3};
  double margin = 0;
  // The header's baseline, and the page number's.
  double headerBaseline = 0;
  double footerBaseline = 0;
  // The captions' size and the distance between their baselines.
  double captionSize = 0;
  double captionLeading = 0;
  double headerSize = 0;
  double board = 0;
};

// The layout of a sheet of perPage diagrams a page (a count gridOf knows).
SheetLayout sheetLayout(const PaperSize& paper, std::size_t perPage);

std::size_t pageCount(std::size_t diagrams, const SheetLayout& layout);

// The place of diagram number index (from 0): its page, its board, and the
// first caption line's baseline, left-aligned under the board.
struct DiagramPlace {
  std::size_t page = 0;
  Rect board;
  double captionBaseline = 0;
};

DiagramPlace diagramPlace(std::size_t index, const SheetLayout& layout);

}  // namespace tib
