// The diagrams and delays of a game's plies: null moves, the placement
// taken from the position, and clocks read with the increment.
#include "tib/game_diagram.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "game/run.h"

namespace tib {

namespace {

// Each ply draws the pieces and side to move its FEN draws, with a
// promotion, both castlings, en passant and a null move on the way.
TEST(GameDiagram, PlacementIsWhatTheFenOfEachPlyDraws) {
  const chess::Game game = chess::readGame(
      "1. e4 d5 2. exd5 c6 3. dxc6 Nf6 4. cxb7 Bg4 5. bxa8=Q Qd6 6. -- e5 "
      "7. f4 e4 8. d4 exd3 e.p. 9. Bxd3 Be7 10. Nf3 O-O 11. O-O *",
      1);
  for (std::size_t ply = 0; ply <= game.plies.size(); ++ply) {
    const Diagram diagram =
        plyDiagram(game, ply, Settings{200, 1.0F}, Orientation::white, true);
    const Placement expected =
        readPlacement(chess::positionAfter(game, ply).fen());
    EXPECT_EQ(expected.pieces, diagram.position.pieces) << "ply " << ply;
    EXPECT_EQ(expected.sideToMove, diagram.position.sideToMove)
        << "ply " << ply;
  }
}

TEST(GameDiagram, NullMoveTintsNothingAndPrintsItsFen) {
  const std::string pgn = "1. e4 -- 2. Qh5 e5 3. -- Nc6 *";
  const chess::Game game = chess::readGame(pgn, 1);
  const Diagram passed =
      plyDiagram(game, 2, Settings{200, 1.0F}, Orientation::white, true);
  EXPECT_TRUE(passed.annotations.lastMove.empty());
  EXPECT_EQ(Side::white, passed.position.sideToMove);
  const Diagram moved =
      plyDiagram(game, 3, Settings{200, 1.0F}, Orientation::white, true);
  EXPECT_EQ(2U, moved.annotations.lastMove.size());

  std::istringstream in(pgn);
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(0, game::runGame({"--fens"}, in, out, err)) << err.str();
  EXPECT_EQ(
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n"
      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1\n"
      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 1 2\n"
      "rnbqkbnr/pppppppp/8/7Q/4P3/8/PPPP1PPP/RNB1KBNR b KQkq - 2 2\n"
      "rnbqkbnr/pppp1ppp/8/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR w KQkq - 0 3\n"
      "rnbqkbnr/pppp1ppp/8/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR b KQkq - 1 3\n"
      "r1bqkbnr/pppp1ppp/2n5/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR w KQkq - 2 4\n",
      out.str());
}

// White's clock: 3:00, then 3:01 (1 s spent with +2), then 2:58 (5 s);
// black's: 3:00, 2:59 (3 s), 2:57 (4 s). Without an increment white's
// rising clock tells nothing and the others are 2 s less.
TEST(GameDelays, TheIncrementIsAddedBeforeTheTimeSpentIsTaken) {
  const std::string moves =
      "1. e4 {[%clk 0:03:00]} e5 {[%clk 0:03:00]} 2. Nf3 {[%clk 0:03:01]} "
      "Nc6 {[%clk 0:02:59]} 3. Bc4 {[%clk 0:02:58]} Bc5 {[%clk 0:02:57]} *";
  // Spent 100, 300, 500, 400: median 400 -> 80.
  const std::vector<unsigned> incremented{80, 80, 20, 60, 100, 80, 500};
  // Spent ?, 100, 300, 200: median 200 -> 80.
  const std::vector<unsigned> plain{80, 80, 80, 40, 120, 80, 500};
  const struct {
    const char* control;
    std::vector<unsigned> delays;
  } cases[] = {
      {"180+2", incremented},
      {"40/5400+2:1800+2", incremented},
      {"300+0", plain},
      {"40/7200:3600", plain},
      {"40/5400+30:1800+2", plain},
      {"-", plain},
      {"?", plain},
      {"", plain},
      {"180+", plain},
      {"+2", plain},
      {"x/180+2", plain},
      {"180+2x", plain},
      {"99999999999999999999+2", plain},
      {"180+99999999999999999999", plain},
  };
  for (const auto& c : cases) {
    const chess::Game game = chess::readGame(
        "[TimeControl \"" + std::string(c.control) + "\"]\n\n" + moves, 1);
    GameAnimation animation;
    animation.settings = {64, 1.0F};
    animation.delay.reset();
    std::vector<unsigned> delays;
    for (const AnimationFrame& frame : gameFrames(game, animation)) {
      // cppcheck-suppress useStlAlgorithm
      delays.push_back(frame.delayCentiseconds);
    }
    EXPECT_EQ(c.delays, delays) << c.control;
  }
}

}  // namespace
}  // namespace tib
