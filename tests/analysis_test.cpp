// The analysis drawn with a game: the evaluation bar beside the ply's
// diagram and in the GIF, material in the bars, judged moves, and the
// server's eval=, material= and judge=.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "game/run.h"
#include "gif_decode.h"
#include "server/board_query.h"
#include "server/game_request.h"
#include "test_support.h"
#include "tib/decoration/decorated.h"

namespace tib {
namespace {

// 4... Bg4 walks into a mate; 3... Nc6?! has its own glyph, which a
// large drop does not replace; 3. d4 drops a little.
const std::string kGame =
    "[White \"Ann\"]\n[Black \"Bo\"]\n\n"
    "1. e4 {[%eval 0.3]} e5 {[%eval 0.3]} 2. Nf3 {[%eval 0.3]} d6 "
    "{[%eval 0.5]} 3. d4 {[%eval 0.4]} Nc6?! {[%eval 4.0]} 4. dxe5 "
    "{[%eval 4.1]} Bg4 {[%eval #5]} 5. exd6 {[%eval #4]} Qxd6 "
    "{[%eval #-3]} *";

ImageBuffer drawn(const std::vector<std::string>& options,
                  const std::string& pgn) {
  const TempDir folder;
  const std::string output = (folder.path() / "out.png").string();
  std::vector<std::string> args{"-o",  output,      "--size",
                                "240", "--artwork", TIB_ARTWORK_DIR};
  args.insert(args.end(), options.begin(), options.end());
  std::istringstream in(pgn);
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(0, game::runGame(args, in, out, err)) << err.str();
  return readPng(output);
}

// The picture right of the first `left` columns.
ImageBuffer rightOf(const ImageBuffer& image, uint32_t left) {
  ImageBuffer part{{}, image.width - left, image.height};
  for (uint32_t row = 0; row < image.height; ++row) {
    const std::size_t offset = (std::size_t{row} * image.width + left) * 4;
    const unsigned char* start = &image.pixels[offset];
    part.pixels.insert(part.pixels.end(), start,
                       start + std::size_t{part.width} * 4);
  }
  return part;
}

TEST(Analysis, TheBarStandsBesideTheDiagramUnchanged) {
  const auto column = static_cast<uint32_t>(evalColumnWidth(240));
  for (const char* view : {"white", "black"}) {
    const ImageBuffer with =
        drawn({"--ply", "5", "--orientation", view}, kGame);
    const ImageBuffer without =
        drawn({"--ply", "5", "--orientation", view, "--no-eval"}, kGame);
    ASSERT_EQ(with.width, 240 + column);
    ASSERT_EQ(without.width, 240U);
    EXPECT_EQ(rightOf(with, column).pixels, without.pixels) << view;
  }
  // A game without evaluations has no bar unless asked for.
  const std::string plain = "[White \"Ann\"]\n\n1. e4 e5 *";
  EXPECT_EQ(drawn({"--ply", "1"}, plain).width, 240U);
  EXPECT_EQ(drawn({"--ply", "1", "--eval"}, plain).width, 240 + column);
}

TEST(Analysis, JudgedMovesAndMaterial) {
  const auto same = [](const ImageBuffer& a, const ImageBuffer& b) {
    return a.pixels == b.pixels;
  };
  // The blunder is marked; a move with its own glyph keeps it; a small
  // drop is not marked.
  EXPECT_FALSE(same(drawn({"--ply", "8", "--judge"}, kGame),
                    drawn({"--ply", "8"}, kGame)));
  EXPECT_TRUE(same(drawn({"--ply", "6", "--judge"}, kGame),
                   drawn({"--ply", "6"}, kGame)));
  EXPECT_TRUE(same(drawn({"--ply", "5", "--judge"}, kGame),
                   drawn({"--ply", "5"}, kGame)));
  // Material once something is captured.
  EXPECT_TRUE(same(drawn({"--ply", "2", "--no-material"}, kGame),
                   drawn({"--ply", "2"}, kGame)));
  EXPECT_FALSE(same(drawn({"--ply", "7", "--no-material"}, kGame),
                    drawn({"--ply", "7"}, kGame)));
}

TEST(Analysis, AGifFramesBarIsThePlyPngsThroughThePalette) {
  const TempDir folder;
  const std::string gif = (folder.path() / "game.gif").string();
  std::istringstream in(kGame);
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(0, game::runGame({"-o", gif, "--size", "240", "--artwork",
                              TIB_ARTWORK_DIR, "--orientation", "black"},
                             in, out, err))
      << err.str();
  const std::string bytes = readText(gif);
  const auto decoded = codec::test::decodeGif({bytes.begin(), bytes.end()});
  ASSERT_TRUE(decoded);
  const std::vector<std::vector<unsigned char>> screens =
      codec::test::screens(*decoded);
  // Squared distance from a PNG pixel to a colour of the GIF's table.
  const auto distance = [](const unsigned char* pixel, codec::Rgb colour) {
    const int r = pixel[0] - colour.red;
    const int g = pixel[1] - colour.green;
    const int b = pixel[2] - colour.blue;
    return r * r + g * g + b * b;
  };
  const int column = evalColumnWidth(240);
  for (const std::size_t ply : {0U, 5U, 7U, 10U}) {
    const ImageBuffer png =
        drawn({"--ply", std::to_string(ply), "--orientation", "black"}, kGame);
    ASSERT_EQ(static_cast<uint32_t>(decoded->width), png.width);
    int differing = 0;
    for (uint32_t row = 0; row < png.height; ++row) {
      for (int x = 0; x < column; ++x) {
        const std::size_t at =
            std::size_t{row} * png.width + static_cast<std::size_t>(x);
        // The GIF's colour is the table's nearest to the PNG's.
        const unsigned char* pixel = &png.pixels[at * 4];
        int nearest = distance(pixel, decoded->colours.front());
        for (const codec::Rgb& colour : decoded->colours) {
          nearest = std::min(nearest, distance(pixel, colour));
        }
        const int shown =
            distance(pixel, decoded->colours.at(screens[ply][at]));
        // A flat colour of the table exactly; an anti-aliased edge of the
        // label may fall to a near entry instead of the nearest.
        ASSERT_TRUE(nearest > 0 || shown == 0) << "ply " << ply;
        differing += shown != nearest ? 1 : 0;
      }
    }
    EXPECT_LE(differing, column * static_cast<int>(png.height) / 100)
        << "ply " << ply;
  }
}

TEST(Analysis, BoardPngTakesAnEvaluation) {
  const std::string fen =
      "fen=rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR%20b";
  const DiagramQuery pawns = readDiagramQuery(fen + "&eval=0.35", 2048);
  ASSERT_TRUE(pawns.decorations.evalBar);
  EXPECT_NEAR(pawns.decorations.evalBar->whiteShare,
              50.0 + 50.0 * std::tanh(0.00368208 * 35 / 2), 1e-3);
  EXPECT_EQ(pawns.decorations.evalBar->label, "+0.4");
  const DiagramQuery mate = readDiagramQuery(fen + "&eval=%23-3", 2048);
  ASSERT_TRUE(mate.decorations.evalBar);
  EXPECT_EQ(mate.decorations.evalBar->whiteShare, 0.0F);
  EXPECT_FALSE(readDiagramQuery(fen, 2048).decorations.evalBar);
  EXPECT_THROW(readDiagramQuery(fen + "&eval=high", 2048), ParameterRefused);
  // A PGN's ply: its own evaluation, unless eval=0.
  const std::string pgn = "pgn=1.%20e4%20%7B%5B%25eval%200.3%5D%7D%20e5";
  EXPECT_TRUE(readDiagramQuery(pgn, 2048).decorations.evalBar);
  EXPECT_FALSE(readDiagramQuery(pgn + "&eval=0", 2048).decorations.evalBar);
}

TEST(Analysis, LilaGifFramesTakeAnEvaluation) {
  GifRequest request;
  request.json = R"({"frames": [
      {"fen": "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
      {"fen": "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1",
       "eval": 35},
      {"fen": "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2"},
      {"fen": "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2",
       "eval": "#-3"}]})";
  const GameFrames game = gameFramesOf(request, 1000);
  ASSERT_EQ(4U, game.decorations.size());
  for (const Decorations& frame : game.decorations) {
    ASSERT_TRUE(frame.evalBar);
  }
  EXPECT_EQ(game.decorations[0].evalBar->label, "");
  EXPECT_EQ(game.decorations[1].evalBar->label, "+0.4");
  EXPECT_EQ(game.decorations[2].evalBar->label, "+0.4");
  EXPECT_EQ(game.decorations[3].evalBar->whiteShare, 0.0F);
  request.analysis.evalBar = false;
  EXPECT_FALSE(gameFramesOf(request, 1000).decorations[1].evalBar);
  request.json = R"({"frames": [{"fen": "8/8/8/8/8/8/8/K6k w - - 0 1",
    "eval": true}]})";
  EXPECT_THROW(gameFramesOf(request, 1000), GameRequestError);
}

}  // namespace
}  // namespace tib
