#include "tib/decoration/move_glyphs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "text_test_support.h"

namespace tib {
namespace {

constexpr MoveGlyph kAllGlyphs[] = {MoveGlyph::brilliant,   MoveGlyph::good,
                                    MoveGlyph::interesting, MoveGlyph::dubious,
                                    MoveGlyph::mistake,     MoveGlyph::blunder};

TEST(MoveGlyphOf, ReadsSymbolsAndNumericGlyphs) {
  const std::pair<std::string, std::optional<MoveGlyph>> cases[] = {
      {"!", MoveGlyph::good},
      {"?", MoveGlyph::mistake},
      {"!!", MoveGlyph::brilliant},
      {"??", MoveGlyph::blunder},
      {"!?", MoveGlyph::interesting},
      {"?!", MoveGlyph::dubious},
      {"$1", MoveGlyph::good},
      {"$2", MoveGlyph::mistake},
      {"$3", MoveGlyph::brilliant},
      {"$4", MoveGlyph::blunder},
      {"$5", MoveGlyph::interesting},
      {"$6", MoveGlyph::dubious},
      {"", std::nullopt},
      {"!!!", std::nullopt},
      {"$7", std::nullopt},
      {"$0", std::nullopt},
  };
  for (const auto& [text, glyph] : cases) {
    EXPECT_EQ(moveGlyphOf(text), glyph) << text;
    if (glyph && text[0] != '$') {
      EXPECT_EQ(moveGlyphText(*glyph), text);
    }
  }
}

bool inside(PixelRect inner, PixelRect outer) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         inner.x + inner.w <= outer.x + outer.w &&
         inner.y + inner.h <= outer.y + outer.h;
}

struct PlacementCase {
  int file;  // 0 is the left column
  int row;   // 0 is the top row
  bool overhangs;
};

TEST(MoveGlyphBadgeRect, StaysOnTheBoardAndCoversTheTopRightCorner) {
  const PixelRect board{52, 60, 920, 920};
  const PlacementCase cases[] = {
      {0, 0, true}, {7, 0, false}, {0, 7, true}, {7, 7, true},
      {3, 4, true}, {7, 3, true},  {4, 0, true}, {6, 1, true},
  };
  for (const PlacementCase& c : cases) {
    const PixelRect square{board.x + c.file * 115, board.y + c.row * 115, 115,
                           115};
    const PixelRect badge = moveGlyphBadgeRect(square, board);
    EXPECT_TRUE(inside(badge, board)) << c.file << "," << c.row;
    EXPECT_EQ(badge.w, badge.h);
    EXPECT_NEAR(badge.w, 48, 1);
    // The badge holds the square's top-right pixel.
    EXPECT_TRUE(
        inside(PixelRect{square.x + square.w - 1, square.y, 1, 1}, badge));
    EXPECT_EQ(!inside(badge, square), c.overhangs) << c.file << "," << c.row;
    // Most of it lies on its own square.
    const int overlapW = std::min(badge.x + badge.w, square.x + square.w) -
                         std::max(badge.x, square.x);
    const int overlapH = std::min(badge.y + badge.h, square.y + square.h) -
                         std::max(badge.y, square.y);
    EXPECT_GE(2 * overlapW * overlapH, badge.w * badge.h)
        << c.file << "," << c.row;
  }
  EXPECT_EQ(moveGlyphBadgeRect({0, 0, 115, 115}, {0, 0, 0, 0}).w, 0);
  EXPECT_TRUE(inside(moveGlyphBadgeRect({0, 0, 115, 115}, {0, 0, 30, 30}),
                     {0, 0, 30, 30}));
}

TEST(MoveGlyphPainter, DrawsTheBadgeOnlyInsideTheBoard) {
  const TextColour background{0x30, 0x30, 0x30, 255};
  const int edge = 512;
  const PixelRect board{26, 30, 456, 456};
  const MoveGlyphPainter painter(sharedRenderer());
  for (const MoveGlyph glyph : kAllGlyphs) {
    for (const PixelRect square :
         {PixelRect{425, 30, 57, 57}, PixelRect{26, 429, 57, 57}}) {
      ImageBuffer canvas = filledImage(edge, edge, background);
      painter.draw(canvas, glyph, square, board);
      const PixelRect badge = moveGlyphBadgeRect(square, board);
      const TextColour colour = moveGlyphColour(glyph);
      int changed = 0;
      int outside = 0;
      int inColour = 0;
      int white = 0;
      for (int y = 0; y < edge; ++y) {
        for (int x = 0; x < edge; ++x) {
          const unsigned char* pixel = pixelAt(canvas, x, y);
          if (pixel[0] == background.r && pixel[1] == background.g &&
              pixel[2] == background.b) {
            continue;
          }
          ++changed;
          outside += inside({x, y, 1, 1}, badge) ? 0 : 1;
          const bool glyphColour = pixel[0] == colour.r &&
                                   pixel[1] == colour.g && pixel[2] == colour.b;
          inColour += glyphColour ? 1 : 0;
          const bool whitish =
              pixel[0] > 220 && pixel[1] > 220 && pixel[2] > 220;
          white += whitish ? 1 : 0;
        }
      }
      EXPECT_EQ(outside, 0) << moveGlyphText(glyph);
      // Mostly the glyph's colour, with white marks on it.
      EXPECT_GT(inColour, badge.w * badge.h / 3) << moveGlyphText(glyph);
      EXPECT_GT(white, badge.w * badge.h / 40) << moveGlyphText(glyph);
      EXPECT_LT(changed, badge.w * badge.h);
    }
  }
}

TEST(MoveGlyphPainter, MakesEachBadgeOnce) {
  const MoveGlyphPainter painter(sharedRenderer());
  for (const MoveGlyph glyph : kAllGlyphs) {
    const auto first = painter.badge(glyph, 48);
    // The second call returns the kept picture, not a new one.
    // cppcheck-suppress knownConditionTrueFalse
    EXPECT_EQ(painter.badge(glyph, 48), first);
    for (const MoveGlyph other : kAllGlyphs) {
      if (other != glyph) {
        EXPECT_NE(painter.badge(glyph, 48)->pixels,
                  painter.badge(other, 48)->pixels);
      }
    }
  }
  EXPECT_THROW(painter.badge(MoveGlyph::good, 0), TextError);
}

}  // namespace
}  // namespace tib
