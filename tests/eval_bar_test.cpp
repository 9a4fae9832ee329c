// The evaluation bar: white's share from white's side of the board, the
// value at the end of the side ahead, and the material text of the bars.
#include "tib/decoration/eval_bar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "text_test_support.h"
#include "tib/decoration/decorated.h"
#include "tib/game/analysis.h"
#include "tib/game/decorated_game.h"

namespace tib {
namespace {

using chess::Evaluation;
using chess::Side;

int lightness(const unsigned char* pixel) {
  return (pixel[0] + pixel[1] + pixel[2]) / 3;
}

// Rows of white's fill counted from white's end along the bar's left edge
// (the label keeps off it): light pixels, and the middle line's grey
// where it lies inside white's part.
int whiteRowsSeen(const ImageBuffer& column, int top, int edge,
                  Orientation view) {
  int rows = 0;
  for (int i = 0; i < edge; ++i) {
    const int row = view == Orientation::white ? top + edge - 1 - i : top + i;
    if (lightness(pixelAt(column, 0, row)) < 100) {
      break;
    }
    ++rows;
  }
  return rows;
}

TEST(EvalBar, WhiteShareFromWhitesSideInBothViews) {
  const struct {
    Evaluation eval;
    double share;  // percent, worked out here
  } rows[] = {{{false, 0}, 50.0},
              {{false, 100}, 50.0 + 50.0 * std::tanh(0.00368208 * 100 / 2)},
              {{false, -300}, 50.0 + 50.0 * std::tanh(0.00368208 * -300 / 2)},
              {{false, 1000}, 50.0 + 50.0 * std::tanh(0.00368208 * 1000 / 2)},
              {{true, 5}, 100.0},
              {{true, -1}, 0.0}};
  const int above = 7;
  for (const int edge : {400, 333}) {
    for (const Orientation view : {Orientation::white, Orientation::black}) {
      for (const auto& row : rows) {
        const ImageBuffer column =
            drawEvalColumn(edge, above, above, evalBarOf(row.eval, Side::white),
                           view, sharedRenderer());
        ASSERT_EQ(column.height, static_cast<uint32_t>(edge + 2 * above));
        EXPECT_NEAR(whiteRowsSeen(column, above, edge, view),
                    row.share / 100.0 * edge, 1.0)
            << row.eval.value << (row.eval.mate ? " mate" : "") << " at "
            << edge << (view == Orientation::white ? " white" : " black");
      }
    }
  }
}

// Whether a row of the bar holds a pixel unlike both fills: the label.
bool writtenIn(const ImageBuffer& column, int first, int last) {
  const int barWidth = evalBarWidth(400);
  for (int row = first; row < last; ++row) {
    const unsigned char* edge = pixelAt(column, 0, row);
    for (int x = 1; x < barWidth; ++x) {
      if (std::abs(lightness(pixelAt(column, x, row)) - lightness(edge)) > 60) {
        return true;
      }
    }
  }
  return false;
}

TEST(EvalBar, ValueWrittenAtTheEndOfTheSideAhead) {
  const struct {
    EvalBar bar;
    Orientation view;
    bool atBottom;
  } rows[] = {{{70.0F, "+1.3"}, Orientation::white, true},
              {{70.0F, "+1.3"}, Orientation::black, false},
              {{30.0F, "-0.4"}, Orientation::white, false},
              {{30.0F, "-0.4"}, Orientation::black, true}};
  for (const auto& row : rows) {
    const ImageBuffer column =
        drawEvalColumn(400, 0, 0, row.bar, row.view, sharedRenderer());
    EXPECT_EQ(writtenIn(column, 300, 400), row.atBottom) << row.bar.label;
    EXPECT_EQ(writtenIn(column, 0, 100), !row.atBottom) << row.bar.label;
  }
  // The start, before any evaluation: the middle, nothing written.
  const ImageBuffer start =
      drawEvalColumn(400, 0, 0, {}, Orientation::white, sharedRenderer());
  EXPECT_FALSE(writtenIn(start, 0, 190));
  EXPECT_FALSE(writtenIn(start, 210, 400));
}

TEST(MaterialText, MostValuableFirstThenTheLead) {
  EXPECT_EQ(materialText({2, 1, 0, 1, 1}, 2), "♛♜♞♟♟ +2");
  EXPECT_EQ(materialText({1, 0, 1, 0, 0}, -3), "♝♟");
  EXPECT_EQ(materialText({0, 0, 0, 0, 0}, 1), "+1");
  EXPECT_EQ(materialText({0, 0, 0, 0, 0}, 0), "");
}

TEST(MaterialText, EachSidesBarHoldsWhatItCaptured) {
  const chess::Game game =
      chess::readGame("[White \"A\"]\n\n1. e4 d5 2. Bb5+ c6 3. Nc3 cxb5 *", 1);
  Decorations decorations = plyDecorations(game, 6, Orientation::white, true);
  addAnalysis(game, 6, {}, decorations);
  ASSERT_TRUE(decorations.bars);
  EXPECT_EQ(decorations.bars->white.material, "");
  EXPECT_EQ(decorations.bars->black.material, "♝ +3");
  EXPECT_FALSE(decorations.evalBar);
}

// Each ply's bar shows its own evaluation; one without carries the last.
TEST(EvalBarOfAPly, ItsOwnEvaluationOrTheLastBefore) {
  const chess::Game game = chess::readGame(
      "{[%eval 0.1]} 1. e4 {[%eval 0.5]} e5 {[%eval -2.0]} 2. Nf3 *", 1);
  const struct {
    std::size_t ply;
    chess::Evaluation eval;
    chess::Side toMove;
  } rows[] = {{0, {false, 10}, chess::Side::white},
              {1, {false, 50}, chess::Side::black},
              {2, {false, -200}, chess::Side::white},
              {3, {false, -200}, chess::Side::white}};
  for (const auto& row : rows) {
    Decorations decorations;
    addAnalysis(game, row.ply, {}, decorations);
    EXPECT_EQ(decorations.evalBar, evalBarOf(row.eval, row.toMove)) << row.ply;
  }
}

}  // namespace
}  // namespace tib
