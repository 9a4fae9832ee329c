#include "tib/decoration/eval_bar.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "chess/evaluation.h"

namespace tib {

namespace {

constexpr TextColour kWhiteFill{0xf0, 0xee, 0xeb, 255};
constexpr TextColour kBlackFill{0x40, 0x3e, 0x3b, 255};
constexpr TextColour kMiddle{0x8c, 0x8a, 0x87, 255};
constexpr TextColour kOnBlack{0xe8, 0xe6, 0xe3, 255};

// The largest size at which the label fits the bar with a margin each side.
int labelSize(const std::string& label, int room, const TextRenderer& text) {
  int size = std::max(1, static_cast<int>(std::lround(room * 0.7)));
  while (size > 1 && text.measure(label, size, FontWeight::bold) > room) {
    --size;
  }
  return size;
}

}  // namespace

EvalBar evalBarOf(const chess::Evaluation& eval, chess::Side toMove) {
  return {chess::whiteWinningChance(eval, toMove), chess::evaluationText(eval)};
}

int evalColumnWidth(int boardEdge) {
  return std::max(2, static_cast<int>(std::lround(boardEdge / 16.0)));
}

int evalBarWidth(int boardEdge) {
  const int column = evalColumnWidth(boardEdge);
  return column - std::max(1, column / 6);
}

int whiteRows(float whiteShare, int height) {
  const float rows = whiteShare / 100.0F * static_cast<float>(height);
  return std::clamp(static_cast<int>(std::lround(rows)), 0, height);
}

Painting layOutEvalColumn(int boardEdge, int rowsAbove, int rowsBelow,
                          const EvalBar& bar, Orientation view,
                          const TextRenderer& text) {
  Painting column;
  column.width = evalColumnWidth(boardEdge);
  column.height = rowsAbove + boardEdge + rowsBelow;
  const auto fillRows = [&column](int width, int top, int bottom,
                                  TextColour colour) {
    column.rects.push_back({{0, top, width, bottom - top}, colour});
  };
  fillRows(column.width, 0, column.height, kStripDark);
  const int barWidth = evalBarWidth(boardEdge);
  const int top = rowsAbove;
  const int bottom = rowsAbove + boardEdge;
  const int white = whiteRows(bar.whiteShare, boardEdge);
  const bool fromTop = view == Orientation::black;
  const int split = fromTop ? top + white : bottom - white;
  fillRows(barWidth, top, split, fromTop ? kWhiteFill : kBlackFill);
  fillRows(barWidth, split, bottom, fromTop ? kBlackFill : kWhiteFill);
  const int thickness =
      std::max(1, static_cast<int>(std::lround(boardEdge / 400.0)));
  const int middle = top + boardEdge / 2 - thickness / 2;
  fillRows(barWidth, middle, middle + thickness, kMiddle);
  if (bar.label.empty()) {
    return column;
  }
  const int margin = std::max(1, barWidth / 12);
  const int room = barWidth - 2 * margin;
  const int size = labelSize(bar.label, room, text);
  const bool whiteAhead = bar.whiteShare >= 50.0F;
  const bool atTop = whiteAhead == fromTop;
  const int capHeight = text.lineMetrics(size, FontWeight::bold).capHeight;
  const int baseline = atTop ? top + margin + capHeight : bottom - margin;
  const int advance = text.measure(bar.label, size, FontWeight::bold);
  column.texts.push_back({bar.label, margin + std::max(0, (room - advance) / 2),
                          baseline, size, FontWeight::bold,
                          whiteAhead ? kStripDark : kOnBlack, room});
  return column;
}

ImageBuffer drawEvalColumn(int boardEdge, int rowsAbove, int rowsBelow,
                           const EvalBar& bar, Orientation view,
                           const TextRenderer& text) {
  return paintPicture(
      layOutEvalColumn(boardEdge, rowsAbove, rowsBelow, bar, view, text), text);
}

ImageBuffer addEvalColumn(const ImageBuffer& picture, int rowsAbove,
                          int rowsBelow, const EvalBar& bar, Orientation view,
                          const TextRenderer& text) {
  const int boardEdge =
      static_cast<int>(picture.height) - rowsAbove - rowsBelow;
  if (picture.width == 0 || boardEdge <= 0 ||
      picture.pixels.size() !=
          std::size_t{picture.width} * picture.height * 4) {
    throw TextError("the diagram's bytes do not match its size");
  }
  const ImageBuffer column =
      drawEvalColumn(boardEdge, rowsAbove, rowsBelow, bar, view, text);
  ImageBuffer joined;
  joined.width = column.width + picture.width;
  joined.height = picture.height;
  joined.pixels.resize(std::size_t{joined.width} * joined.height * 4);
  const std::size_t left = std::size_t{column.width} * 4;
  const std::size_t right = std::size_t{picture.width} * 4;
  for (std::size_t row = 0; row < joined.height; ++row) {
    unsigned char* out = joined.pixels.data() + row * (left + right);
    std::memcpy(out, column.pixels.data() + row * left, left);
    std::memcpy(out + left, picture.pixels.data() + row * right, right);
  }
  return joined;
}

}  // namespace tib
