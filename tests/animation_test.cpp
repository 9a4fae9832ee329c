// Animated games: each frame of the GIF, decoded back with giflib, is the
// diagram of its ply through the palette; each later frame is no larger
// than what changed; the timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/png_decode.h"
#include "gif_decode.h"
#include "tib/board/error.h"
#include "tib/decoration/decorated.h"
#include "tib/game/decorated_game.h"
#include "tib/game/game_diagram.h"

namespace tib {

namespace {

const Artwork& bundled() {
  static const Artwork artwork =
      loadArtwork(TIB_ARTWORK_DIR, {Side::white, Side::black});
  return artwork;
}

const Artwork& bundledWithViews() {
  static const Artwork artwork = [] {
    Artwork loaded = bundled();
    ArtworkBudget budget;
    loadOtherBoards(TIB_ARTWORK_DIR, budget, loaded.boards);
    return loaded;
  }();
  return artwork;
}

// The palette indices of a diagram, as the GIF's frame should show it.
std::vector<unsigned char> expectedIndices(const Diagram& diagram,
                                           const codec::GifPalette& palette) {
  const ImageBuffer canvas = drawDiagram(bundledWithViews(), diagram);
  const auto edge = static_cast<uint32_t>(diagram.settings.Size);
  const std::vector<unsigned char> rgba = resampleCanvas(canvas, edge);
  std::vector<unsigned char> indices(rgba.size() / 4);
  for (std::size_t i = 0; i < indices.size(); ++i) {
    indices[i] = palette.indexOf(codec::packRgb(&rgba[i * 4]));
  }
  return indices;
}

std::vector<unsigned char> gifOf(const std::vector<AnimationFrame>& frames,
                                 const codec::GifPalette& palette) {
  std::vector<unsigned char> gif;
  writeAnimation(bundledWithViews(), bundledWithViews().sprites, palette,
                 frames, [&gif](const unsigned char* bytes, std::size_t size) {
                   gif.insert(gif.end(), bytes, bytes + size);
                 });
  return gif;
}

const std::string kGame =
    "{[%csl Gd4]} 1. e4 e5 2. Nf3 Nc6 3. Bc4 Nf6 {[%cal Gc4f7,Rd8h4] [%csl "
    "Yc4]} 4. Ng5 d5 5. exd5 Na5 {[%cal Bd5d6]} 6. Bb5+ c6 7. dxc6 bxc6 8. "
    "Qf3 cxb5 9. Qxa8 Qd7 10. O-O h6 11. Qxa7 hxg5 12. Qxa5 Rxh2 *";

TEST(Animation, EachFrameIsItsPlyAndNoLargerThanWhatChanged) {
  const chess::Game game = chess::readGame(kGame, 1);
  const codec::GifPalette palette =
      animationPalette(bundledWithViews(), bundledWithViews().sprites);
  for (const Orientation view : {Orientation::white, Orientation::black}) {
    GameAnimation animation;
    animation.settings = {200, 1.3F};
    animation.orientation = view;
    animation.coordinates = view == Orientation::white;
    const std::vector<AnimationFrame> frames = gameFrames(game, animation);
    ASSERT_EQ(game.plies.size() + 1, frames.size());
    const auto gif = codec::test::decodeGif(gifOf(frames, palette));
    ASSERT_TRUE(gif);
    ASSERT_EQ(frames.size(), gif->frames.size());
    const auto screens = codec::test::screens(*gif);
    std::vector<unsigned char> before;
    for (std::size_t f = 0; f < frames.size(); ++f) {
      const std::vector<unsigned char> expected =
          expectedIndices(frames[f].diagram, palette);
      ASSERT_TRUE(expected == screens[f]) << "frame " << f;
      if (f > 0) {
        // The frame's rectangle is the bounding box of what changed.
        int left = 200;
        int top = 200;
        int right = 0;
        int bottom = 0;
        for (int i = 0; i < 200 * 200; ++i) {
          if (expected[static_cast<std::size_t>(i)] !=
              before[static_cast<std::size_t>(i)]) {
            left = std::min(left, i % 200);
            right = std::max(right, i % 200 + 1);
            top = std::min(top, i / 200);
            bottom = std::max(bottom, i / 200 + 1);
          }
        }
        const auto& frame = gif->frames[f];
        EXPECT_EQ(left, frame.left) << f;
        EXPECT_EQ(top, frame.top) << f;
        EXPECT_EQ(right - left, frame.width) << f;
        EXPECT_EQ(bottom - top, frame.height) << f;
      }
      before = expected;
    }
  }
}

// On a board of wood no palette holds every colour: each frame, through
// the palette, stays within 2 of 255 a channel on average of its ply's
// diagram over the board's squares.
TEST(Animation, FramesOnATiledBoardStayCloseToTheirPlys) {
  const std::string folder = std::string(TIB_ARTWORK_DIR) + "/themes/wood";
  const Artwork wood = loadArtwork(folder, {Side::white, Side::black});
  ASSERT_TRUE(wood.tiles);
  const codec::GifPalette palette = animationPalette(wood, wood.sprites);
  GameAnimation animation;
  animation.settings = {360, 1.3F};
  const std::vector<AnimationFrame> frames =
      gameFrames(chess::readGame(kGame, 1), animation);
  std::vector<unsigned char> bytes;
  writeAnimation(wood, wood.sprites, palette, frames,
                 [&bytes](const unsigned char* data, std::size_t size) {
                   bytes.insert(bytes.end(), data, data + size);
                 });
  const auto gif = codec::test::decodeGif(bytes);
  ASSERT_TRUE(gif);
  const auto screens = codec::test::screens(*gif);
  ASSERT_EQ(frames.size(), screens.size());
  // The squares, scaled from the canvas to 360 pixels.
  const auto scaled = [](int64_t canvas) {
    return static_cast<std::size_t>(canvas * 360 / 1024);
  };
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const std::vector<unsigned char> rgba =
        resampleCanvas(drawDiagram(wood, frames[f].diagram), 360);
    std::array<double, 3> error{};
    std::size_t pixels = 0;
    for (std::size_t y = scaled(kGridY) + 1;
         y < scaled(kGridY + 8 * kSquareHeight); ++y) {
      for (std::size_t x = scaled(kGridX) + 1;
           x < scaled(kGridX + 8 * kSquareWidth); ++x) {
        const std::size_t at = y * 360 + x;
        const codec::Rgb shown = gif->colours.at(screens[f][at]);
        const std::array<int, 3> channels{shown.red, shown.green, shown.blue};
        for (std::size_t c = 0; c < 3; ++c) {
          error.at(c) += std::abs(channels.at(c) - rgba[at * 4 + c]);
        }
        ++pixels;
      }
    }
    for (std::size_t c = 0; c < 3; ++c) {
      EXPECT_LE(error.at(c) / static_cast<double>(pixels), 2.0)
          << "frame " << f << ", channel " << c;
    }
  }
}

TEST(Animation, FramesWithBarsAndGlyphsAreTheirPlysDecoratedDiagrams) {
  const chess::Game game = chess::readGame(
      "[White \"Ann\"]\n[Black \"Bo\"]\n\n1. e4 {[%clk 0:01:00]} e5 "
      "{[%clk 0:00:58]} 2. Qh5!? {[%clk 0:00:50]} Nc6?? 3. Bc4 Nf6?? 4. "
      "Qxf7#!! *",
      1);
  const Lettering lettering;
  const codec::GifPalette palette = decoratedPalette(
      bundledWithViews(), bundledWithViews().sprites, lettering);
  GameAnimation animation;
  animation.settings = {160, 1.3F};
  animation.orientation = Orientation::black;
  const std::vector<AnimationFrame> frames = gameFrames(game, animation);
  std::vector<Decorations> decorations;
  for (std::size_t ply = 0; ply < frames.size(); ++ply) {
    decorations.push_back(plyDecorations(game, ply, Orientation::black, true));
  }
  std::vector<unsigned char> bytes;
  writeDecoratedAnimation(
      bundledWithViews(), bundledWithViews().sprites, palette, frames,
      decorations, lettering,
      [&bytes](const unsigned char* data, std::size_t size) {
        bytes.insert(bytes.end(), data, data + size);
      });
  // Pulled a step at a time and left to rest at every step, as a stream
  // whose client waits: the same bytes, in the header, each frame and the
  // trailer.
  AnimationWriter writer(bundledWithViews(), bundledWithViews().sprites,
                         palette, frames,
                         decoratedExtras(frames, decorations, lettering));
  std::vector<unsigned char> pulled;
  std::size_t steps = 0;
  while (writer.next(pulled)) {
    writer.rest();
    ++steps;
  }
  EXPECT_EQ(bytes, pulled);
  EXPECT_EQ(frames.size() + 2, steps);
  const auto gif = codec::test::decodeGif(bytes);
  ASSERT_TRUE(gif);
  const auto screens = codec::test::screens(*gif);
  ASSERT_EQ(frames.size(), screens.size());
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const ImageBuffer picture =
        decoratedPixels(bundledWithViews(), bundledWithViews().sprites,
                        frames[f].diagram, decorations[f], lettering);
    ASSERT_EQ(static_cast<int>(picture.height), gif->height);
    std::vector<unsigned char> expected(picture.pixels.size() / 4);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      expected[i] = palette.indexOf(codec::packRgb(&picture.pixels[i * 4]));
    }
    EXPECT_TRUE(expected == screens[f]) << "frame " << f;
  }
}

// A square with the last move's tint, a coloured square, an arrow or the
// check glow, alone or together, is in the GIF the colour it is in the ply's
// PNG at the square's flat centre, exactly: the palette holds each.
TEST(Animation, CombinedMarksOnASquareKeepTheirColourExactly) {
  using chess::MarkColour;
  const struct {
    const char* name;
    std::optional<MarkColour> highlight;
    bool tinted;
    std::optional<MarkColour> arrow;
    bool check;
  } rows[] = {
      {"plain", {}, false, {}, false},
      {"tinted", {}, true, {}, false},
      {"green", MarkColour::green, false, {}, false},
      {"red", MarkColour::red, false, {}, false},
      {"yellow", MarkColour::yellow, false, {}, false},
      {"blue", MarkColour::blue, false, {}, false},
      // 38. Ba6 [%csl Ga6]: the move's square also green.
      {"tinted green", MarkColour::green, true, {}, false},
      {"tinted red", MarkColour::red, true, {}, false},
      {"tinted yellow", MarkColour::yellow, true, {}, false},
      {"tinted blue", MarkColour::blue, true, {}, false},
      {"green arrow", {}, false, MarkColour::green, false},
      {"red arrow", {}, false, MarkColour::red, false},
      {"yellow arrow", {}, false, MarkColour::yellow, false},
      {"blue arrow", {}, false, MarkColour::blue, false},
      {"green arrow, tinted", {}, true, MarkColour::green, false},
      {"red arrow, tinted", {}, true, MarkColour::red, false},
      {"yellow arrow, tinted", {}, true, MarkColour::yellow, false},
      {"blue arrow, tinted", {}, true, MarkColour::blue, false},
      {"check", {}, false, {}, true},
      {"check, tinted red", MarkColour::red, true, {}, true},
  };
  const codec::GifPalette palette =
      animationPalette(bundledWithViews(), bundledWithViews().sprites);
  for (const int size : {200, 480}) {
    std::vector<AnimationFrame> frames;
    std::vector<Square> probes;
    for (const auto& row : rows) {
      // c4 is a light square, d4 a dark one.
      for (const int file : {2, 3}) {
        const Square square{file, 3};
        Diagram diagram{Placement{}, Settings{size, 1.3F}, {}};
        Annotations& marks = diagram.annotations;
        if (row.highlight) {
          marks.highlights.push_back({*row.highlight, square, square});
        }
        if (row.tinted) {
          marks.lastMove.push_back(square);
        }
        if (row.arrow) {
          marks.arrows.push_back(
              {*row.arrow, Square{file, 2}, Square{file, 4}});
        }
        if (row.check) {
          marks.check = square;
        }
        frames.push_back({diagram, 10});
        probes.push_back(square);
      }
    }
    const auto gif = codec::test::decodeGif(gifOf(frames, palette));
    ASSERT_TRUE(gif);
    const auto screens = codec::test::screens(*gif);
    ASSERT_EQ(frames.size(), screens.size());
    for (std::size_t f = 0; f < frames.size(); ++f) {
      const codec::DecodedFile png =
          codec::decodePng(renderPng(bundledWithViews(), frames[f].diagram));
      ASSERT_EQ(0U, png.error);
      const Box box = squareBox(probes[f], Orientation::white);
      const auto toPixel = [size](int canvas) {
        return static_cast<std::size_t>(canvas) *
               static_cast<std::size_t>(size) / kCanvasEdge;
      };
      const std::size_t at =
          toPixel(box.y + box.h / 2) * static_cast<std::size_t>(size) +
          toPixel(box.x + box.w / 2);
      const codec::Rgb inGif = gif->colours.at(screens[f][at]);
      const codec::Rgb inPng{png.image.pixels[at * 4],
                             png.image.pixels[at * 4 + 1],
                             png.image.pixels[at * 4 + 2]};
      EXPECT_TRUE(inGif == inPng)
          << rows[f / 2].name << (f % 2 == 0 ? " light" : " dark") << " at "
          << size << ": GIF " << int{inGif.red} << "," << int{inGif.green}
          << "," << int{inGif.blue} << ", PNG " << int{inPng.red} << ","
          << int{inPng.green} << "," << int{inPng.blue};
    }
  }
}

// Bars are decided once for the animation: when any frame has them, every
// frame does, those before the first clock with empty ones.
TEST(Animation, BarsOnEveryFrameWhenAnyFrameHasThem) {
  const chess::Game game = chess::readGame(
      "1. e4 {[%clk 0:03:00]} e5 {[%clk 0:02:58]} 2. Nf3 {[%clk 0:02:50]} *",
      1);
  const Lettering lettering;
  const codec::GifPalette palette = decoratedPalette(
      bundledWithViews(), bundledWithViews().sprites, lettering);
  GameAnimation animation;
  animation.settings = {160, 1.3F};
  animation.orientation = Orientation::black;
  const std::vector<AnimationFrame> frames = gameFrames(game, animation);
  std::vector<Decorations> decorations;
  for (std::size_t ply = 0; ply < frames.size(); ++ply) {
    decorations.push_back(plyDecorations(game, ply, Orientation::black, true));
    // A name given apart from the tags, as --white gives it.
    if (decorations.back().bars) {
      decorations.back().bars->white.name = "Ann";
    }
  }
  ASSERT_FALSE(decorations.front().bars);
  std::vector<unsigned char> bytes;
  writeDecoratedAnimation(
      bundledWithViews(), bundledWithViews().sprites, palette, frames,
      decorations, lettering,
      [&bytes](const unsigned char* data, std::size_t size) {
        bytes.insert(bytes.end(), data, data + size);
      });
  const auto gif = codec::test::decodeGif(bytes);
  ASSERT_TRUE(gif);
  const int barRows = barHeight(160);
  ASSERT_EQ(160 + 2 * barRows, gif->height);
  const auto screens = codec::test::screens(*gif);
  ASSERT_EQ(frames.size(), screens.size());
  // The start: the name, white's bar above the board, no clocks.
  decorations.front().bars =
      PlayerBars{{"Ann", "", "", {}}, {}, chess::Side::black, std::nullopt};
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const ImageBuffer picture =
        decoratedPixels(bundledWithViews(), bundledWithViews().sprites,
                        frames[f].diagram, decorations[f], lettering);
    std::vector<unsigned char> expected(picture.pixels.size() / 4);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      expected[i] = palette.indexOf(codec::packRgb(&picture.pixels[i * 4]));
    }
    EXPECT_TRUE(expected == screens[f]) << "frame " << f;
  }
  // White's clock appears above the board after 1. e4.
  const auto above = [&](std::size_t f) {
    return std::vector<unsigned char>(
        screens[f].begin(), screens[f].begin() + std::ptrdiff_t{barRows} * 160);
  };
  EXPECT_NE(above(0), above(1));
}

TEST(Animation, DelaysRangesAndTheLoop) {
  const std::string clocked =
      "1. e4 {[%clk 0:03:00]} e5 {[%clk 0:03:00]} 2. Nf3 {[%clk 0:02:50]} "
      "Nc6 {[%clk 0:02:58]} 3. Bc4 {[%clk 0:02:30]} Bc5 {[%clk 0:02:57.5]} "
      "4. c3 {[%clk 0:02:29.8]} *";
  const chess::Game game = chess::readGame(clocked, 1);
  const struct {
    std::optional<unsigned> delay;
    unsigned lastDelay;
    std::size_t from;
    std::optional<std::size_t> to;
    std::vector<unsigned> delays;
  } cases[] = {
      {80, 500, 0, {}, {80, 80, 80, 80, 80, 80, 80, 500}},
      {30, 100, 2, 4, {30, 30, 100}},
      {80, 500, 7, {}, {500}},
      // Spent by the next move: Nf3 1000 cs, Nc6 200, Bc4 2000, Bc5 50, c3
      // 20; median 200 -> 80, capped at 200, at least 10; unknown: 80.
      {{}, 500, 0, {}, {80, 80, 200, 80, 200, 20, 10, 500}},
  };
  for (const auto& c : cases) {
    GameAnimation animation;
    animation.settings = {64, 1.3F};
    animation.delay = c.delay;
    animation.lastDelay = c.lastDelay;
    animation.from = c.from;
    animation.to = c.to;
    std::vector<unsigned> delays;
    for (const AnimationFrame& frame : gameFrames(game, animation)) {
      // cppcheck-suppress useStlAlgorithm
      delays.push_back(frame.delayCentiseconds);
    }
    EXPECT_EQ(c.delays, delays) << c.from;
  }
  GameAnimation past;
  past.to = 8;
  EXPECT_THROW(gameFrames(game, past), ValueError);
  past.to = 2;
  past.from = 3;
  EXPECT_THROW(gameFrames(game, past), ValueError);

  GameAnimation small;
  small.settings = {64, 1.3F};
  small.from = 5;
  const codec::GifPalette palette =
      animationPalette(bundledWithViews(), bundledWithViews().sprites);
  const auto gif =
      codec::test::decodeGif(gifOf(gameFrames(game, small), palette));
  ASSERT_TRUE(gif);
  EXPECT_EQ(0, gif->loops.value_or(-1));
  ASSERT_EQ(3U, gif->frames.size());
  EXPECT_EQ(80, gif->frames[0].delay);
  EXPECT_EQ(500, gif->frames[2].delay);
  EXPECT_EQ(1, gif->frames[1].disposal);
}

}  // namespace

}  // namespace tib
