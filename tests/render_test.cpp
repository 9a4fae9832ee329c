// The render library: geometry over many settings, resampling, the piece
// table against the artwork generator, and rendering on several threads.
#include "tib/board/render.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "test_support.h"
#include "tib/board/artwork.h"
#include "tib/board/drawing.h"
#include "tib/board/pieces.h"

namespace tib {

namespace {

// The piece box by the rules of the drawing geometry, one rounded float
// operation per step, written apart from the library so that a slip in
// either shows.
Box referenceBox(int32_t size, float scale, int col, int rank,
                 const Piece& piece) {
  const float g =
      static_cast<float>(static_cast<uint32_t>(size)) * 0.0009765625F;
  const auto originX = static_cast<float>(col * 115);
  const auto originY = static_cast<float>((7 - rank) * 112);
  const float originXg = originX * g;
  const float dxg = piece.dx * g;
  float xt = originXg + dxg;
  const float originYg = originY * g;
  const float dyg = piece.dy * g;
  float yt = originYg + dyg;
  const float wg = piece.w * g;
  const float wt = wg * scale;
  const float hg = piece.h * g;
  const float ht = hg * scale;
  if (scale > 1.0F) {
    const float excess = scale - 1.0F;
    const float o = excess * 0.5F;
    const float wo = piece.w * o;
    const float shiftX = wo * g;
    xt = xt - shiftX;
    const float oh = o * piece.h;
    const float shiftY = oh * g;
    yt = yt - shiftY;
  }
  return Box{truncateToInt(xt / g), truncateToInt(yt / g),
             truncateToInt(wt / g), truncateToInt(ht / g)};
}

TEST(Geometry, PieceBoxesFollowTheRulesAtEverySizeAndManyScales) {
  const float scales[] = {0.5F, 0.9F, 1.0F,  1.05F, 1.1F, 1.15F,
                          1.2F, 1.3F, 1.45F, 2.0F,  2.5F, 3.7F};
  const struct { int col, rank; } squares[] = {{0, 7}, {4, 0}, {7, 3}};
  for (int32_t size = 1; size <= 2048; ++size) {
    for (const float scale : scales) {
      for (const Piece& piece : kPieces) {
        for (const auto& square : squares) {
          const Box expected =
              referenceBox(size, scale, square.col, square.rank, piece);
          const Box actual =
              pieceBox(Settings{size, scale}, square.col, square.rank, piece);
          ASSERT_TRUE(expected.x == actual.x && expected.y == actual.y &&
                      expected.w == actual.w && expected.h == actual.h)
              << piece.spriteName << " size " << size << " scale " << scale
              << " on " << square.col << "," << square.rank;
        }
      }
    }
  }
}

TEST(Geometry, GeneratorDrawsSpritesToTheDefaultBoxes) {
  // The artwork generator makes each sprite exactly its box at the default
  // scale; its table must agree with the program's.
  const auto script = std::filesystem::path(TIB_ARTWORK_DIR).parent_path() /
                      "tools" / "artwork" / "generate.py";
  const std::string text = readText(script);
  const std::regex entry(
      "\"([wb][pbnrqk])\": \\((\\d+), (\\d+), (\\d+), (\\d+)\\)");
  std::size_t found = 0;
  for (auto match = std::sregex_iterator(text.begin(), text.end(), entry);
       match != std::sregex_iterator(); ++match, ++found) {
    const Box box = pieceBox(Settings{}, 0, 7, pieceNamed((*match)[1]));
    EXPECT_EQ(std::stoi((*match)[2]), box.x) << (*match)[0];
    EXPECT_EQ(std::stoi((*match)[3]), box.y) << (*match)[0];
    EXPECT_EQ(std::stoi((*match)[4]), box.w) << (*match)[0];
    EXPECT_EQ(std::stoi((*match)[5]), box.h) << (*match)[0];
  }
  EXPECT_EQ(kPieces.size(), found) << script;
}

TEST(Resample, SourcesFollowTheIntegerRuleAtEverySize) {
  for (uint32_t edge = 1; edge <= 2048; ++edge) {
    const std::vector<uint32_t> sources = resampleSources(edge);
    ASSERT_EQ(edge, sources.size());
    for (uint32_t k = 0; k < edge; ++k) {
      ASSERT_EQ(static_cast<uint64_t>(k) * 1024 / edge, sources[k])
          << "edge " << edge << " index " << k;
    }
  }
}

TEST(Resample, TakesTheTopLeftSourcePixel) {
  const ImageBuffer canvas = noiseImage(1024, 1024, 3);
  const struct {
    uint32_t edge;
    uint32_t i, j;
    uint32_t row, column;
  } cases[] = {{300, 1, 0, 3, 0},      {300, 299, 299, 1020, 1020},
               {512, 7, 100, 14, 200}, {2048, 9, 8, 4, 4},
               {1, 0, 0, 0, 0},        {488, 487, 61, 1021, 128}};
  for (const auto& c : cases) {
    const std::vector<unsigned char> out = resampleCanvas(canvas, c.edge);
    const std::size_t to = (static_cast<std::size_t>(c.i) * c.edge + c.j) * 4;
    const std::size_t from =
        (static_cast<std::size_t>(c.row) * 1024 + c.column) * 4;
    EXPECT_TRUE(
        std::equal(out.begin() + static_cast<std::ptrdiff_t>(to),
                   out.begin() + static_cast<std::ptrdiff_t>(to) + 4,
                   canvas.pixels.begin() + static_cast<std::ptrdiff_t>(from)))
        << "edge " << c.edge << " pixel " << c.i << "," << c.j;
  }
}

TEST(Render, TwoThreadsRenderDifferentDiagramsFromOneArtwork) {
  const TempDir dir;
  writeArtwork(dir.path());
  const Artwork artwork =
      loadArtwork(dir.path().string(), {Side::white, Side::black});
  // The second one with marks drawn by pixman on both sides of the pieces.
  Annotations marks;
  marks.lastMove = {Square{4, 0}, Square{4, 6}};
  marks.check = Square{4, 7};
  marks.highlights = {Mark{chess::MarkColour::red, Square{3, 3}, Square{3, 3}}};
  marks.arrows = {Mark{chess::MarkColour::blue, Square{0, 0}, Square{7, 7}},
                  Mark{chess::MarkColour::green, Square{2, 2}, Square{2, 2}}};
  const Diagram diagrams[] = {
      {startingPlacement(), {400, 1.3F}, {}},
      {readPlacement("4k3/8/8/8/8/8/8/4K3 b"), {300, 2.5F}, marks}};
  std::vector<unsigned char> alone[2];
  for (int d = 0; d < 2; ++d) {
    alone[d] = renderPng(artwork, diagrams[d]);
  }
  ASSERT_NE(alone[0], alone[1]);
  std::vector<unsigned char> together[2][4];
  std::thread workers[2];
  for (int d = 0; d < 2; ++d) {
    workers[d] = std::thread([&, d] {
      for (auto& png : together[d]) {
        png = renderPng(artwork, diagrams[d]);
      }
    });
  }
  for (auto& worker : workers) {
    worker.join();
  }
  for (int d = 0; d < 2; ++d) {
    for (const auto& png : together[d]) {
      EXPECT_EQ(alone[d], png) << d;
    }
  }
}

}  // namespace

}  // namespace tib
