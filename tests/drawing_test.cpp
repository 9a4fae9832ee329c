#include "tib/board/drawing.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "test_support.h"

namespace tib {

namespace {

ImageBuffer canvasOf(unsigned char r, unsigned char g, unsigned char b) {
  return solidImage(kCanvasEdge, kCanvasEdge, r, g, b, 255);
}

const unsigned char* pixelAt(const ImageBuffer& image, uint32_t x, uint32_t y) {
  return image.pixels.data() +
         (static_cast<std::size_t>(y) * image.width + x) * 4;
}

void expectBox(const Box& actual, const Box& expected,
               const std::string& what) {
  EXPECT_EQ(expected.x, actual.x) << what;
  EXPECT_EQ(expected.y, actual.y) << what;
  EXPECT_EQ(expected.w, actual.w) << what;
  EXPECT_EQ(expected.h, actual.h) << what;
}

TEST(TruncateToInt, TruncatesTowardZeroAndMapsTheUnrepresentable) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float value;
    int32_t expected;
  } cases[] = {
      {0.99F, 0},
      {-0.99F, 0},
      {-13.85F, -13},
      {129.99F, 129},
      {2147483520.0F, 2147483520},
      {-2147483648.0F, INT32_MIN},
      {2147483648.0F, INT32_MIN},
      {-2147483904.0F, INT32_MIN},
      {1e30F, INT32_MIN},
      {nan, INT32_MIN},
      {inf, INT32_MIN},
      {-inf, INT32_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, truncateToInt(c.value)) << c.value;
  }
}

TEST(Drawing, PieceBoxesOnTheTopLeftSquare) {
  const struct {
    const char* name;
    Box atDefault;
    Box atOne;
  } cases[] = {
      {"wp", {70, 67, 77, 108}, {79, 80, 59, 83}},
      {"wb", {66, 55, 83, 129}, {76, 70, 64, 99}},
      {"wn", {56, 55, 105, 126}, {69, 70, 81, 97}},
      {"wr", {62, 66, 89, 113}, {73, 80, 69, 87}},
      {"wq", {56, 52, 101, 131}, {68, 68, 78, 101}},
      {"wk", {44, 45, 130, 144}, {59, 62, 100, 111}},
      {"bp", {59, 67, 97, 108}, {71, 80, 75, 83}},
      {"bb", {61, 54, 95, 130}, {73, 70, 73, 100}},
      {"bn", {62, 57, 93, 125}, {73, 72, 72, 96}},
      {"br", {58, 59, 103, 124}, {70, 74, 79, 95}},
      {"bq", {46, 54, 129, 132}, {61, 70, 99, 101}},
      {"bk", {54, 49, 111, 140}, {67, 66, 86, 107}},
  };
  for (const auto& c : cases) {
    const Piece& piece = pieceNamed(c.name);
    expectBox(pieceBox(Settings{1024, 1.3F}, 0, 7, piece), c.atDefault,
              std::string(c.name) + " 1.3");
    expectBox(pieceBox(Settings{1024, 1.0F}, 0, 7, piece), c.atOne,
              std::string(c.name) + " 1.0");
  }
}

TEST(Drawing, PieceBoxesFollowSquareScaleAndSize) {
  const struct {
    int32_t size;
    float scale;
    int col, rank;
    const char* name;
    Box expected;
  } cases[] = {
      {1024, 1.3F, 4, 0, "wk", {504, 829, 130, 144}},
      {1024, 1.3F, 4, 7, "bk", {514, 49, 111, 140}},
      {1024, 1.3F, 7, 0, "wr", {867, 850, 89, 113}},
      {1024, 1.15F, 0, 7, "wp", {74, 73, 68, 95}},
      {1024, 2.5F, 0, 7, "bq", {-13, -6, 249, 254}},
      {1024, 1.3F, 8, 7, "wk", {964, 45, 130, 144}},
      {1024, 1.3F, 9, 7, "wk", {1079, 45, 130, 144}},
      {1024, 1.3F, 0, -1, "wk", {44, 941, 130, 144}},
  };
  for (const auto& c : cases) {
    expectBox(
        pieceBox(Settings{c.size, c.scale}, c.col, c.rank, pieceNamed(c.name)),
        c.expected, std::string(c.name) + " scale " + std::to_string(c.scale));
  }
}

TEST(Drawing, KingWidthShowsSinglePrecisionOrder) {
  const struct {
    int32_t size;
    int width;
  } cases[] = {{1024, 130}, {500, 129}, {900, 129}, {1000, 129}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.width,
              pieceBox(Settings{c.size, 1.3F}, 4, 0, pieceNamed("wk")).w)
        << "size " << c.size;
  }
}

TEST(Drawing, UnusableSizeOrScaleGivesNoPositiveBox) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    int32_t size;
    float scale;
  } cases[] = {{0, 1.3F},    {1024, 0.0F}, {1024, -1.0F}, {1024, inf},
               {1024, -inf}, {1024, nan},  {1024, 1e30F}, {2048, 1e30F}};
  for (const auto& c : cases) {
    const Box box = pieceBox(Settings{c.size, c.scale}, 3, 3, pieceNamed("wq"));
    EXPECT_TRUE(box.w <= 0 || box.h <= 0) << c.size << " " << c.scale;
  }
  EXPECT_EQ(INT32_MIN, markerBox(Settings{0, 1.3F}, Side::white).w);
}

TEST(Drawing, MarkerBoxIsFixedForEverySize) {
  for (int32_t size = 1; size <= 4096; ++size) {
    const Settings settings{size, 1.3F};
    const Box white = markerBox(settings, Side::white);
    const Box black = markerBox(settings, Side::black);
    ASSERT_TRUE(white.x == 964 && white.y == 964 && white.w == 56 &&
                white.h == 50)
        << "white, size " << size;
    ASSERT_TRUE(black.x == 964 && black.y == 10 && black.w == 56 &&
                black.h == 50)
        << "black, size " << size;
  }
}

TEST(DrawToBoard, BlendsInSinglePrecision) {
  const struct {
    unsigned char canvas;
    unsigned char sprite;
    unsigned char alpha;
    int expected;
  } cases[] = {
      {0, 255, 128, 128},  {255, 0, 128, 126}, {3, 3, 65, 2},    {5, 5, 5, 5},
      {77, 200, 255, 200}, {77, 200, 2, 77},   {77, 200, 0, 77}, {0, 255, 3, 3},
  };
  for (const auto& c : cases) {
    ImageBuffer canvas = canvasOf(c.canvas, c.canvas, c.canvas);
    canvas.pixels[3] = 17;  // a drawn pixel ends opaque whatever it was
    const ImageBuffer sprite =
        solidImage(1, 1, c.sprite, c.sprite, c.sprite, c.alpha);
    drawToBoard(canvas, sprite, 0, 0, 1, 1);
    const unsigned char* p = pixelAt(canvas, 0, 0);
    const std::string what = std::to_string(c.sprite) + " over " +
                             std::to_string(c.canvas) + " at alpha " +
                             std::to_string(c.alpha);
    EXPECT_EQ(c.expected, p[0]) << what;
    EXPECT_EQ(c.expected, p[2]) << what;
    EXPECT_EQ(c.alpha >= 3 ? 255 : 17, p[3]) << what;
  }
}

TEST(DrawToBoard, WhiteOverBlackGivesTheAlpha) {
  ImageBuffer canvas = canvasOf(0, 0, 0);
  for (int alpha = 3; alpha <= 255; ++alpha) {
    std::memset(canvas.pixels.data() + std::ptrdiff_t{6 * 1024 + 5} * 4, 0, 3);
    const ImageBuffer sprite =
        solidImage(1, 1, 255, 255, 255, static_cast<unsigned char>(alpha));
    drawToBoard(canvas, sprite, 5, 6, 1, 1);
    ASSERT_EQ(alpha, pixelAt(canvas, 5, 6)[1]) << "alpha " << alpha;
  }
}

TEST(DrawToBoard, SamplesAtPixelCentres) {
  const ImageBuffer small = noiseImage(50, 50, 1);
  const ImageBuffer large = noiseImage(200, 200, 2);
  ImageBuffer enlarged = canvasOf(0, 0, 0);
  ImageBuffer reduced = canvasOf(0, 0, 0);
  drawToBoard(enlarged, small, 10, 20, 100, 100);
  drawToBoard(reduced, large, 10, 20, 100, 100);
  for (uint32_t j = 0; j < 100; ++j) {
    for (uint32_t i = 0; i < 100; ++i) {
      ASSERT_EQ(0, std::memcmp(pixelAt(enlarged, 10 + i, 20 + j),
                               pixelAt(small, i / 2, j / 2), 4))
          << i << "," << j;
      ASSERT_EQ(0, std::memcmp(pixelAt(reduced, 10 + i, 20 + j),
                               pixelAt(large, 2 * i + 1, 2 * j + 1), 4))
          << i << "," << j;
    }
  }
}

TEST(DrawToBoard, OneToOneRowsMatchPixelByPixelDrawing) {
  // Drawing a whole sprite must equal drawing each of its pixels on its own,
  // across both canvas edges.
  ImageBuffer sprite = solidImage(43, 3, 0, 0, 0, 0);
  const struct {
    uint32_t x, y;
    unsigned char alpha;
  } marks[] = {{7, 0, 3},  {8, 0, 2},  {15, 1, 255}, {16, 1, 128},
               {33, 2, 1}, {40, 2, 3}, {42, 0, 200}, {0, 2, 255}};
  for (const auto& m : marks) {
    unsigned char* p =
        sprite.pixels.data() + (static_cast<std::size_t>(m.y) * 43 + m.x) * 4;
    p[0] = static_cast<unsigned char>(m.x * 5);
    p[1] = 200;
    p[2] = static_cast<unsigned char>(m.y * 70);
    p[3] = m.alpha;
  }
  for (const int left : {100, -5, 990}) {
    ImageBuffer runs = noiseImage(kCanvasEdge, kCanvasEdge, 4);
    ImageBuffer single = runs;
    drawToBoard(runs, sprite, left, 500, 43, 3);
    for (uint32_t y = 0; y < 3; ++y) {
      for (uint32_t x = 0; x < 43; ++x) {
        ImageBuffer pixel = solidImage(1, 1, 0, 0, 0, 0);
        std::memcpy(pixel.pixels.data(), pixelAt(sprite, x, y), 4);
        drawToBoard(single, pixel, left + static_cast<int>(x),
                    500 + static_cast<int>(y), 1, 1);
      }
    }
    EXPECT_EQ(single.pixels, runs.pixels) << "left " << left;
  }
}

// Counts canvas pixels that differ from an untouched canvas.
int changedPixels(const ImageBuffer& canvas, const ImageBuffer& untouched) {
  int changed = 0;
  for (std::size_t p = 0; p < canvas.pixels.size(); p += 4) {
    if (std::memcmp(&canvas.pixels[p], &untouched.pixels[p], 4) != 0) {
      ++changed;
    }
  }
  return changed;
}

TEST(DrawToBoard, ClipsToTheCanvasAndIgnoresUnusableSprites) {
  const ImageBuffer untouched = canvasOf(10, 20, 30);
  const ImageBuffer opaque = solidImage(8, 8, 200, 100, 50, 255);
  ImageBuffer truncated = solidImage(10, 10, 200, 100, 50, 255);
  truncated.pixels.resize(399);
  ImageBuffer sizeOnly;
  sizeOnly.width = 30000;
  sizeOnly.height = 30000;
  const ImageBuffer empty;
  const struct {
    const char* what;
    const ImageBuffer& sprite;
    Box box;
    int changed;
  } cases[] = {
      {"right edge", opaque, {1000, 0, 100, 10}, 24 * 10},
      {"left edge", opaque, {-10, 0, 100, 10}, 90 * 10},
      {"bottom-right corner", opaque, {1020, 1020, 10, 10}, 4 * 4},
      {"wholly outside", opaque, {1024, 0, 10, 10}, 0},
      {"covers everything",
       opaque,
       {-2000000000, -2000000000, 2147483647, 2147483647},
       1024 * 1024},
      {"zero width", opaque, {0, 0, 0, 10}, 0},
      {"negative height", opaque, {0, 0, 10, -5}, 0},
      {"short byte vector", truncated, {0, 0, 10, 10}, 0},
      {"size without bytes", sizeOnly, {0, 0, 100, 100}, 0},
      {"empty sprite", empty, {0, 0, 100, 100}, 0},
  };
  for (const auto& c : cases) {
    ImageBuffer canvas = untouched;
    drawToBoard(canvas, c.sprite, c.box.x, c.box.y, c.box.w, c.box.h);
    EXPECT_EQ(c.changed, changedPixels(canvas, untouched)) << c.what;
  }
}

TEST(DrawToBoard, WithinAClipEachPixelIsTheWholeDrawsAndNoOtherChanges) {
  const ImageBuffer background = noiseImage(kCanvasEdge, kCanvasEdge, 7);
  const ImageBuffer sprite = noiseImage(37, 41, 8, {0, 255, 128, 3, 200});
  const Box box{100, 200, 90, 70};
  ImageBuffer whole = background;
  drawToBoard(whole, sprite, box.x, box.y, box.w, box.h);
  const Box clips[] = {{0, 0, 1024, 1024}, {101, 201, 1, 1},
                       {150, 180, 7, 200}, {95, 250, 30, 9},
                       {189, 269, 50, 50}, {-5, -5, 108, 208},
                       {190, 200, 10, 10}, {1000, 1000, 100, 100}};
  for (const Box& clip : clips) {
    ImageBuffer part = background;
    drawToBoardWithin(part, sprite, box.x, box.y, box.w, box.h, clip);
    for (int y = 0; y < 1024; ++y) {
      for (int x = 0; x < 1024; ++x) {
        const bool inside = x >= clip.x && x < clip.x + clip.w && y >= clip.y &&
                            y < clip.y + clip.h;
        const auto at = static_cast<uint32_t>(x);
        const auto row = static_cast<uint32_t>(y);
        if (std::memcmp(pixelAt(part, at, row),
                        pixelAt(inside ? whole : background, at, row),
                        4) != 0) {
          ADD_FAILURE() << "clip " << clip.x << "," << clip.y << " " << clip.w
                        << "x" << clip.h << ": pixel " << x << "," << y;
          y = 1024;
          break;
        }
      }
    }
  }
}

TEST(Drawing, DrawPieceAndSignUseTheirBoxes) {
  ImageBuffer canvas = canvasOf(0, 0, 0);
  const ImageBuffer sprite = solidImage(3, 3, 255, 0, 0, 255);
  drawPiece(canvas, sprite, Settings{}, 4, 0, pieceNamed("wk"));
  drawSign(canvas, sprite, Settings{}, Side::black);
  const struct {
    uint32_t x, y;
    bool red;
  } probes[] = {{504, 829, true},  {633, 972, true},  {503, 829, false},
                {634, 900, false}, {504, 973, false}, {964, 10, true},
                {1019, 59, true},  {1019, 60, false}, {963, 30, false}};
  for (const auto& p : probes) {
    EXPECT_EQ(p.red ? 255 : 0, pixelAt(canvas, p.x, p.y)[0])
        << p.x << "," << p.y;
  }
}

}  // namespace

}  // namespace tib
