#include "tib/decoration/player_bars.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "text_test_support.h"

namespace tib {
namespace {

using chess::Side;

ImageBuffer rowsOf(const ImageBuffer& image, int top, int count) {
  ImageBuffer rows;
  rows.width = image.width;
  rows.height = static_cast<uint32_t>(count);
  rows.pixels.assign(pixelAt(image, 0, top), pixelAt(image, 0, top + count));
  return rows;
}

// Columns at or right of x where some pixel of the two pictures differs.
bool differFrom(const ImageBuffer& a, const ImageBuffer& b, int x) {
  for (int row = 0; row < static_cast<int>(a.height); ++row) {
    for (int col = x; col < static_cast<int>(a.width); ++col) {
      if (!std::equal(pixelAt(a, col, row), pixelAt(a, col, row) + 4,
                      pixelAt(b, col, row))) {
        return true;
      }
    }
  }
  return false;
}

// Leftmost column from x on with a pixel of another colour than the
// bar's top-left one; the width when none.
int firstMarkedColumn(const ImageBuffer& bar, int x) {
  for (int col = x; col < static_cast<int>(bar.width); ++col) {
    for (int row = 0; row < static_cast<int>(bar.height); ++row) {
      if (!std::equal(pixelAt(bar, col, row), pixelAt(bar, col, row) + 4,
                      pixelAt(bar, 0, 0))) {
        return col;
      }
    }
  }
  return static_cast<int>(bar.width);
}

// Pixels brighter than 200 in every colour channel, in the right third.
int brightOnTheRight(const ImageBuffer& bar) {
  int count = 0;
  for (int row = 0; row < static_cast<int>(bar.height); ++row) {
    for (int col = static_cast<int>(bar.width) * 2 / 3;
         col < static_cast<int>(bar.width); ++col) {
      const unsigned char* pixel = pixelAt(bar, col, row);
      count += pixel[0] > 200 && pixel[1] > 200 && pixel[2] > 200 ? 1 : 0;
    }
  }
  return count;
}

TEST(FormatClock, ShowsHoursMinutesSecondsAndTenthsAtTheEnd) {
  const std::pair<int, std::string> cases[] = {
      {0, "0:00.0"},       {95, "0:00.9"},      {950, "0:09.5"},
      {999, "0:09.9"},     {1000, "0:10"},      {5999, "0:59"},
      {6000, "1:00"},      {59999, "9:59"},     {359999, "59:59"},
      {360000, "1:00:00"}, {372399, "1:02:03"}, {36000000, "100:00:00"},
      {-5, "0:00.0"},
  };
  for (const auto& [centiseconds, shown] : cases) {
    EXPECT_EQ(formatClock(centiseconds), shown) << centiseconds;
  }
}

TEST(BarHeight, IsATwelfthOfTheWidth) {
  const std::pair<int, int> cases[] = {{400, 33}, {1024, 85}, {300, 25},
                                       {402, 34}, {12, 1},    {1, 1}};
  for (const auto& [width, height] : cases) {
    EXPECT_EQ(barHeight(width), height) << width;
  }
}

PlayerBars sampleBars() {
  PlayerBars bars;
  bars.white = {"Magnus Carlsen", "GM", "2830", 17950};
  bars.black = {"Hikaru Nakamura", "GM", "2794", 955};
  bars.toMove = Side::black;
  return bars;
}

TEST(AddPlayerBars, CopiesTheBoardUnchangedBetweenTheBars) {
  std::string tall = "Z";
  for (int i = 0; i < 30; ++i) {
    tall += "\u030D\u0329";  // marks stacked far above and below
  }
  PlayerBars mixed = sampleBars();
  mixed.white = {"محمد عبد الله", "IM", "2450", 360125};
  mixed.black = {"丁立人", "GM", "", std::nullopt};
  mixed.bottom = Side::black;
  PlayerBars stacked = sampleBars();
  stacked.white.name = tall;
  stacked.black.name = tall;
  const PlayerBars cases[] = {sampleBars(), mixed, stacked, PlayerBars{}};
  for (int size : {400, 97}) {
    const ImageBuffer board = patternImage(size, size);
    for (const PlayerBars& bars : cases) {
      const ImageBuffer framed = addPlayerBars(board, bars, sharedRenderer());
      const int bar = barHeight(size);
      ASSERT_EQ(framed.width, board.width);
      ASSERT_EQ(framed.height, board.height + 2 * static_cast<uint32_t>(bar));
      EXPECT_EQ(rowsOf(framed, bar, size).pixels, board.pixels)
          << bars.white.name;
    }
  }
}

TEST(AddPlayerBars, PutsTheViewersSideBelow) {
  const ImageBuffer board = patternImage(400, 400);
  PlayerBars bars = sampleBars();
  const ImageBuffer fromWhite = addPlayerBars(board, bars, sharedRenderer());
  bars.bottom = Side::black;
  const ImageBuffer fromBlack = addPlayerBars(board, bars, sharedRenderer());
  const int bar = barHeight(400);
  EXPECT_EQ(rowsOf(fromWhite, 0, bar).pixels,
            rowsOf(fromBlack, 400 + bar, bar).pixels);
  EXPECT_EQ(rowsOf(fromWhite, 400 + bar, bar).pixels,
            rowsOf(fromBlack, 0, bar).pixels);
  EXPECT_NE(rowsOf(fromWhite, 0, bar).pixels,
            rowsOf(fromWhite, 400 + bar, bar).pixels);
}

TEST(AddPlayerBars, TheRunningClockStandsOut) {
  const ImageBuffer board = patternImage(400, 400);
  const int bar = barHeight(400);
  for (const std::optional<Side> toMove :
       {std::optional<Side>(Side::white), std::optional<Side>(Side::black),
        std::optional<Side>()}) {
    PlayerBars bars = sampleBars();
    bars.toMove = toMove;
    const ImageBuffer framed = addPlayerBars(board, bars, sharedRenderer());
    const int top = brightOnTheRight(rowsOf(framed, 0, bar));
    const int bottom = brightOnTheRight(rowsOf(framed, 400 + bar, bar));
    EXPECT_EQ(top > 300, toMove == Side::black);
    EXPECT_EQ(bottom > 300, toMove == Side::white);
    EXPECT_EQ(top == 0, toMove != Side::black);
    EXPECT_EQ(bottom == 0, toMove != Side::white);
  }
}

struct LongNameCase {
  int width;
  PlayerInfo player;
};

TEST(AddPlayerBars, CutsALongNameBeforeTheClock) {
  const std::string latin = "Maximilian Alexander von Longname-Ostrowski";
  const std::string arabic = "عبد الرحمن بن محمد بن عبد الله الطويل";
  const std::string han = "欧阳诸葛司马上官皇甫东方慕容长孙宇文";
  const LongNameCase cases[] = {
      {400, {latin, "GM", "2830", 17950}},
      {400, {arabic, "", "1500", 950}},
      {250, {latin, "WGM", "", 360000}},
      {1024, {han + han, "FM", "2345", 6000}},
      {300, {latin, "", "2000", std::nullopt}},
  };
  for (const LongNameCase& c : cases) {
    PlayerBars bars;
    bars.white = c.player;
    bars.toMove = Side::white;
    const int bar = barHeight(c.width);
    const ImageBuffer board = patternImage(c.width, c.width);
    const ImageBuffer named = rowsOf(
        addPlayerBars(board, bars, sharedRenderer()), c.width + bar, bar);
    bars.white.name.clear();
    const ImageBuffer unnamed = rowsOf(
        addPlayerBars(board, bars, sharedRenderer()), c.width + bar, bar);
    const int clockLeft = firstMarkedColumn(unnamed, c.width / 2);
    EXPECT_FALSE(differFrom(named, unnamed, clockLeft - 2)) << c.player.name;
    // The name did fill the bar up to there.
    EXPECT_TRUE(differFrom(named, unnamed, clockLeft * 3 / 4)) << c.player.name;
  }
}

// Columns from the first to the last that hold name-coloured ink: the name
// is the only text that bright when no clock runs.
int nameSpan(const ImageBuffer& bar) {
  int first = static_cast<int>(bar.width);
  int last = -1;
  for (int row = 0; row < static_cast<int>(bar.height); ++row) {
    for (int col = 0; col < static_cast<int>(bar.width); ++col) {
      if (pixelAt(bar, col, row)[0] > 200) {
        first = std::min(first, col);
        last = std::max(last, col);
      }
    }
  }
  return last - first + 1;
}

TEST(AddPlayerBars, ARatingGivesWayRatherThanLeaveTheNameNoRoom) {
  const ImageBuffer board = patternImage(400, 400);
  const int bar = barHeight(400);
  PlayerBars bars = sampleBars();
  bars.toMove.reset();
  bars.white.name = "Maximilian Alexander von Longname-Ostrowski";
  bars.white.rating.clear();
  const ImageBuffer unrated =
      rowsOf(addPlayerBars(board, bars, sharedRenderer()), 400 + bar, bar);
  int shown = 0;
  for (int digits = 1; digits < 40; ++digits) {
    bars.white.rating = std::string(static_cast<std::size_t>(digits), '8');
    const ImageBuffer rated =
        rowsOf(addPlayerBars(board, bars, sharedRenderer()), 400 + bar, bar);
    if (rated.pixels != unrated.pixels) {
      ++shown;
      // At least a letter and the ellipsis stay.
      EXPECT_GE(nameSpan(rated), bar / 2) << digits;
    }
  }
  // Short ratings show, long ones give way.
  EXPECT_GT(shown, 5);
  EXPECT_LT(shown, 39);
}

TEST(AddPlayerBars, ShowsControlCharactersAsSpacesAndCutsAtAHundredBytes) {
  const ImageBuffer board = patternImage(200, 200);
  const auto drawn = [&board](const std::string& name) {
    PlayerBars bars;
    bars.white.name = name;
    return addPlayerBars(board, bars, sharedRenderer()).pixels;
  };
  EXPECT_EQ(drawn("Bob\nSmith\t"), drawn("Bob Smith "));
  std::string invisible;
  for (int i = 0; i < 33; ++i) {
    invisible += "\u200B";  // zero-width space, three bytes
  }
  EXPECT_EQ(drawn(invisible + "Z"), drawn(invisible + "ZW"));
  EXPECT_NE(drawn(invisible.substr(3) + "Z"),
            drawn(invisible.substr(3) + "ZW"));
}

TEST(AddPlayerBars, RefusesADiagramWhoseBytesDoNotMatchItsSize) {
  ImageBuffer broken = patternImage(40, 40);
  broken.pixels.pop_back();
  EXPECT_THROW(addPlayerBars(broken, sampleBars(), sharedRenderer()),
               TextError);
  EXPECT_THROW(addPlayerBars(ImageBuffer{}, sampleBars(), sharedRenderer()),
               TextError);
}

}  // namespace
}  // namespace tib
