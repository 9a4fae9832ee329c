// The annotations on the canvas: each one changes the pixels of the squares
// it names and no others, under or above the pieces as it should; the black
// view is the white view turned half a turn.
#include "tib/board/annotations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"
#include "tib/board/error.h"
#include "tib/board/position.h"
#include "tib/board/render.h"

namespace tib {

namespace {

// The synthetic artwork in memory, every view drawn on the same board.
Artwork syntheticArtwork() {
  Artwork made;
  made.boards[0] = boardImage();
  made.boards.fill(made.boards[0]);
  for (std::size_t i = 0; i < kPieces.size(); ++i) {
    made.sprites.at(i) = spriteFor(i);
  }
  for (const Side side : {Side::white, Side::black}) {
    made.markers.at(static_cast<std::size_t>(side)) = markerFor(side);
  }
  return made;
}

const Artwork& synthetic() {
  static const Artwork loaded = syntheticArtwork();
  return loaded;
}

Square at(const char* name) { return chess::squareNamed(name).value(); }

Mark mark(chess::MarkColour colour, const char* from, const char* to) {
  return Mark{colour, at(from), at(to)};
}

bool inside(const Box& box, int x, int y) {
  return x >= box.x && x < box.x + box.w && y >= box.y && y < box.y + box.h;
}

// Pixels that differ between two canvases, as (x, y).
std::vector<std::pair<int, int>> changedPixels(const ImageBuffer& a,
                                               const ImageBuffer& b) {
  std::vector<std::pair<int, int>> changed;
  for (std::size_t p = 0; p < a.pixels.size(); p += 4) {
    if (!std::equal(&a.pixels[p], &a.pixels[p] + 4, &b.pixels[p])) {
      const auto pixel = static_cast<int>(p / 4);
      changed.emplace_back(pixel % 1024, pixel / 1024);
    }
  }
  return changed;
}

TEST(Annotations, SquaresSitOnTheBoardPicturesGrid) {
  const struct {
    const char* square;
    Orientation view;
    int x;
    int y;
  } cases[] = {
      {"a8", Orientation::white, 51, 64},
      {"h8", Orientation::white, 856, 64},
      {"a1", Orientation::white, 51, 848},
      {"h1", Orientation::white, 856, 848},
      {"e4", Orientation::white, 511, 512},
      {"h1", Orientation::black, 51, 64},
      {"a1", Orientation::black, 856, 64},
      {"h8", Orientation::black, 51, 848},
      {"e4", Orientation::black, 396, 400},
  };
  for (const auto& c : cases) {
    const Box box = squareBox(at(c.square), c.view);
    EXPECT_TRUE(box.x == c.x && box.y == c.y && box.w == 115 && box.h == 112)
        << c.square << " " << box.x << "," << box.y;
  }
}

TEST(Annotations, EachMarkChangesOnlyTheSquaresItNames) {
  enum Kind { highlight, circle, lastMove, check, arrow };
  const struct {
    Kind kind;
    const char* from;
    const char* to;
  } cases[] = {
      {highlight, "d5", "d5"}, {highlight, "a8", "a8"}, {circle, "a1", "a1"},
      {circle, "h8", "h8"},    {lastMove, "e4", "e5"},  {lastMove, "h1", "h1"},
      {check, "e8", "e8"},     {arrow, "e2", "e4"},     {arrow, "g1", "f3"},
      {arrow, "a1", "h8"},     {arrow, "h2", "a2"},     {arrow, "c7", "b8"},
      {arrow, "a1", "h2"},     {arrow, "h7", "a8"}};
  const std::string fen = "r3k2r/pp3ppp/8/3pP3/8/8/PPP2PPP/R3K2R w";
  std::size_t row = 0;
  for (const auto& c : cases) {
    for (const Orientation view : {Orientation::white, Orientation::black}) {
      // Every colour in turn.
      const auto colour = static_cast<chess::MarkColour>(row++ % 4);
      Annotations plain;
      plain.orientation = view;
      Annotations marked = plain;
      const Mark one{colour, at(c.from), at(c.to)};
      switch (c.kind) {
        case highlight:
          marked.highlights = {one};
          break;
        case circle:
        case arrow:
          marked.arrows = {one};
          break;
        case lastMove:
          marked.lastMove = {one.from, one.to};
          break;
        case check:
          marked.check = one.to;
          break;
      }
      const auto changed = changedPixels(
          drawDiagram(synthetic(), Diagram{readPlacement(fen), {}, plain}),
          drawDiagram(synthetic(), Diagram{readPlacement(fen), {}, marked}));
      const Box from = squareBox(one.from, view);
      const Box to = squareBox(one.to, view);
      // An animation redraws only an arrow's cover when it comes or goes.
      const std::vector<Box> allowed = c.kind == arrow || c.kind == circle
                                           ? markCover(one, view)
                                           : std::vector<Box>{unite(from, to)};
      const std::string what =
          c.from + std::string(c.to) +
          (view == Orientation::white ? " white" : " black");
      for (const auto& [x, y] : changed) {
        ASSERT_TRUE(std::any_of(
            allowed.begin(), allowed.end(),
            [x = x, y = y](const Box& box) { return inside(box, x, y); }))
            << what << " at " << x << "," << y;
      }
      for (const Box& square : {from, to}) {
        EXPECT_TRUE(std::any_of(changed.begin(), changed.end(),
                                [&](const std::pair<int, int>& pixel) {
                                  return inside(square, pixel.first,
                                                pixel.second);
                                }))
            << what << ": nothing changed at " << square.x << "," << square.y;
      }
    }
  }
}

// A redrawn part of a diagram gets the pixels of the whole draw, arrows
// included; the cover of a long diagonal arrow is a strip, not its box.
TEST(Annotations, ArrowsDrawnInPiecesAreTheWholeArrows) {
  const std::string fen = "r3k2r/pp3ppp/8/3pP3/8/8/PPP2PPP/R3K2R w";
  Annotations marks;
  marks.arrows = {mark(chess::MarkColour::green, "a1", "h8"),
                  mark(chess::MarkColour::red, "g1", "f3"),
                  mark(chess::MarkColour::blue, "h2", "a2"),
                  mark(chess::MarkColour::yellow, "d4", "d4")};
  for (const Orientation view : {Orientation::white, Orientation::black}) {
    marks.orientation = view;
    const Diagram diagram{readPlacement(fen), {}, marks};
    const ImageBuffer whole = drawDiagram(synthetic(), diagram);
    ImageBuffer pieces = drawDiagram(synthetic(), Diagram{});
    for (int y = 0; y < 1024; y += 97) {
      for (int x = 0; x < 1024; x += 131) {
        redrawDiagram(pieces, synthetic(), synthetic().sprites, diagram,
                      {x, y, 131, 97});
      }
    }
    EXPECT_TRUE(whole.pixels == pieces.pixels);
    const Mark& diagonal = marks.arrows.front();
    const Box box =
        unite(squareBox(diagonal.from, view), squareBox(diagonal.to, view));
    int64_t covered = 0;
    for (const Box& strip : markCover(diagonal, view)) {
      covered += int64_t{strip.w} * strip.h;
    }
    EXPECT_LT(covered * 3, int64_t{box.w} * box.h);
  }
}

TEST(Annotations, MarksUnderThePiecesLeaveThemAndArrowsCrossThem) {
  // An opaque piece: what is drawn under it cannot show through.
  Artwork opaque = synthetic();
  const std::size_t king = pieceIndex('K');
  opaque.sprites.at(king) = solidImage(20, 20, 10, 200, 30, 255);
  const std::string fen = "8/8/8/8/4K3/8/8/8";
  const Box piece = pieceBox(Settings{}, 4, 3, kPieces.at(king));
  const ImageBuffer plain =
      drawDiagram(opaque, Diagram{readPlacement(fen), {}, {}});
  const auto changedOnPiece = [&](const Annotations& annotations) {
    const auto changed = changedPixels(
        plain,
        drawDiagram(opaque, Diagram{readPlacement(fen), {}, annotations}));
    return std::count_if(changed.begin(), changed.end(),
                         [&](const std::pair<int, int>& pixel) {
                           return inside(piece, pixel.first, pixel.second);
                         });
  };
  Annotations under;
  under.highlights = {mark(chess::MarkColour::blue, "e4", "e4")};
  under.lastMove = {at("e4")};
  under.check = at("e4");
  EXPECT_EQ(0, changedOnPiece(under));
  Annotations over;
  over.arrows = {mark(chess::MarkColour::green, "e4", "e6")};
  EXPECT_LT(0, changedOnPiece(over));
  Annotations ring;
  ring.arrows = {mark(chess::MarkColour::green, "e4", "e4")};
  EXPECT_LT(0, changedOnPiece(ring));
  // The whole ring: each quarter of the square around its centre changes.
  const Box square = squareBox(at("e4"), Orientation::white);
  const auto changed = changedPixels(
      plain, drawDiagram(opaque, Diagram{readPlacement(fen), {}, ring}));
  for (const bool top : {true, false}) {
    for (const bool left : {true, false}) {
      EXPECT_TRUE(
          std::any_of(changed.begin(), changed.end(),
                      [&](const std::pair<int, int>& p) {
                        return inside(square, p.first, p.second) &&
                               (p.second < square.y + square.h / 2) == top &&
                               (p.first < square.x + square.w / 2) == left;
                      }))
          << "top " << top << ", left " << left;
    }
  }
}

// A placement of ranks and files, read backwards, is the same board turned
// half a turn.
std::string turned(const std::string& placement) {
  return {placement.rbegin(), placement.rend()};
}

TEST(Annotations, TheBlackViewIsTheWhiteViewTurned) {
  Annotations black;
  black.orientation = Orientation::black;
  for (const std::string placement :
       {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR",
        "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R",
        "7k/8/8/8/8/8/8/K7", "QqQqQqQq/qQqQqQqQ/8/8/8/8/PpPpPpPp/pPpPpPpP"}) {
    for (const float scale : {1.0F, 1.3F, 2.5F}) {
      const Settings settings{1024, scale};
      expectSameImage(
          drawDiagram(synthetic(),
                      Diagram{readPlacement(turned(placement)), settings, {}}),
          drawDiagram(synthetic(),
                      Diagram{readPlacement(placement), settings, black}),
          placement + " at scale " + std::to_string(scale));
    }
  }
  // The marker sits on the mover's side: for white, at the top, where the
  // white view puts black's.
  Artwork swapped = synthetic();
  std::swap(swapped.markers[0], swapped.markers[1]);
  for (const auto& [mover, other] :
       {std::pair<const char*, const char*>{" w", " b"}, {" b", " w"}}) {
    const std::string placement = "4k3/8/8/8/8/8/8/4K3";
    expectSameImage(
        drawDiagram(swapped,
                    Diagram{readPlacement(turned(placement) + other), {}, {}}),
        drawDiagram(synthetic(),
                    Diagram{readPlacement(placement + mover), {}, black}),
        std::string("marker of") + mover);
  }
}

TEST(Annotations, EachViewTakesItsOwnBoard) {
  Artwork boards = synthetic();
  for (std::size_t index = 1; index < kBoardFiles.size(); ++index) {
    boards.boards.at(index) =
        noiseImage(1024, 1024, static_cast<uint32_t>(index));
  }
  for (const Orientation view : {Orientation::white, Orientation::black}) {
    for (const bool coordinates : {true, false}) {
      Annotations annotations;
      annotations.orientation = view;
      annotations.coordinates = coordinates;
      const std::size_t index = boardIndex(view, coordinates);
      expectSameImage(
          *boardPicture(boards, index),
          drawDiagram(
              boards,
              Diagram{readPlacement("8/8/8/8/8/8/8/8"), {}, annotations}),
          kBoardFiles.at(index));
      Artwork without = boards;
      if (index > 0) {
        without.boards.at(index) = ImageBuffer{};
        try {
          drawDiagram(without, Diagram{readPlacement("8"), {}, annotations});
          ADD_FAILURE() << "drawn without " << kBoardFiles.at(index);
        } catch (const Error& failure) {
          EXPECT_NE(std::string::npos,
                    std::string(failure.what()).find(kBoardFiles.at(index)));
        }
      }
    }
  }
}

TEST(Annotations, LoadsTheBoardsThatAreThere) {
  const TempDir folder;
  const std::string path = folder.path().string();
  writePng(folder.path() / "t_board_plain.png", noiseImage(1024, 1024, 5));
  ArtworkBudget budget;
  Boards boards;
  loadOtherBoards(path, budget, boards);
  EXPECT_TRUE(boards[1].pixels.empty());
  EXPECT_EQ(noiseImage(1024, 1024, 5).pixels, boards[2].pixels);
  EXPECT_TRUE(boards[3].pixels.empty());
  EXPECT_EQ(kCanvasBytes, budget.used);
  // Within the budget, and each one there must be a board.
  ArtworkBudget small{kCanvasBytes - 1};
  EXPECT_THROW(loadOtherBoards(path, small, boards), Error);
  writePng(folder.path() / "t_board_black.png", noiseImage(1024, 1023, 5));
  EXPECT_THROW(loadOtherBoards(path, budget, boards), Error);
  writeBytes(folder.path() / "t_board_black.png", "not a png");
  EXPECT_THROW(loadOtherBoards(path, budget, boards), Error);
}

}  // namespace

}  // namespace tib
