// The diagrams and delays of a game's plies: null moves, and clocks read
// with the increment.
#include "tib/game/game_diagram.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "game/run.h"

namespace tib {

namespace {

TEST(GameDiagram, NullMoveTintsNothingAndPrintsItsFen) {
  const std::string pgn = "1. e4 -- 2. Qh5 *";
  const chess::Game game = chess::readGame(pgn, 1);
  for (std::size_t ply = 1; ply <= 3; ++ply) {
    const Diagram diagram =
        plyDiagram(game, ply, Settings{200, 1.0F}, Orientation::white, true);
    EXPECT_EQ(ply == 2 ? 0U : 2U, diagram.annotations.lastMove.size()) << ply;
  }
  std::istringstream in(pgn);
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(0, game::runGame({"--fens"}, in, out, err)) << err.str();
  EXPECT_NE(std::string::npos,
            out.str().find(
                "/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1\n"
                "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 1 2\n"))
      << out.str();
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
      {"?", plain},
      {"x/180+2", plain},
      {"99999999999999999999+2", plain},
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
