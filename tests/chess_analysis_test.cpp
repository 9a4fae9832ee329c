// Evaluations read as a viewer reads them, material as viewers count it,
// and moves judged from the evaluations around them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "chess/evaluation.h"
#include "chess/material.h"
#include "chess/pgn.h"

namespace tib::chess {
namespace {

// The share worked out apart from the code, in double precision.
double chanceOracle(double cp) {
  const double bounded = std::fmax(-1000.0, std::fmin(1000.0, cp));
  return 50.0 + 50.0 * (2.0 / (1.0 + std::exp(-0.00368208 * bounded)) - 1.0);
}

TEST(WinningChance, FollowsTheLogisticCurve) {
  for (const int cp : {0, 35, 100, -300, 999, 1000, -1000, 5000, -5000}) {
    EXPECT_NEAR(whiteWinningChance({false, cp}, Side::white), chanceOracle(cp),
                1e-4)
        << cp;
  }
}

TEST(WinningChance, MatedAlreadyTheSideToMoveHasLost) {
  EXPECT_EQ(whiteWinningChance({true, 0}, Side::white), 0.0F);
  EXPECT_EQ(whiteWinningChance({true, 0}, Side::black), 100.0F);
}

TEST(EvaluationText, AsAnalysisBoardsWriteIt) {
  const struct {
    Evaluation eval;
    const char* text;
  } rows[] = {{{false, 130}, "+1.3"}, {{false, -40}, "-0.4"},
              {{false, 0}, "0.0"},    {{false, -4}, "0.0"},
              {{false, 35}, "+0.4"},  {{false, -1234}, "-12.3"},
              {{true, 3}, "#3"},      {{true, -2}, "#-2"}};
  for (const auto& row : rows) {
    EXPECT_EQ(evaluationText(row.eval), row.text);
  }
}

// Centipawns whose winning chances lie d apart on the [-1, 1] scale.
int centipawnsAt(double chances) {
  return static_cast<int>(
      std::lround(-std::log(2.0 / (1.0 + chances) - 1.0) / 0.00368208));
}

TEST(JudgedGlyph, ThresholdsAtTheirEdges) {
  // From an even position, a drop just short of and just past each edge.
  const struct {
    double drop;
    std::optional<Glyph> glyph;
  } rows[] = {{0.095, std::nullopt},   {0.105, Glyph::dubious},
              {0.195, Glyph::dubious}, {0.205, Glyph::mistake},
              {0.295, Glyph::mistake}, {0.305, Glyph::blunder},
              {-0.5, std::nullopt}};
  for (const auto& row : rows) {
    const int cp = centipawnsAt(row.drop);
    EXPECT_EQ(judgedGlyph({{false, 0}, {false, -cp}, Side::white}), row.glyph)
        << row.drop;
    // The same move by black, seen from the other side.
    EXPECT_EQ(judgedGlyph({{false, 0}, {false, cp}, Side::black}), row.glyph)
        << row.drop;
  }
}

TEST(JudgedGlyph, MatesAndWonPositions) {
  // A mate let go for an even game, and a mate walked into.
  EXPECT_EQ(judgedGlyph({{true, 3}, {false, 0}, Side::white}), Glyph::blunder);
  EXPECT_EQ(judgedGlyph({{false, 0}, {true, 2}, Side::black}), Glyph::blunder);
  // +15 to +12: still won, no mark.
  EXPECT_EQ(judgedGlyph({{false, 1500}, {false, 1200}, Side::white}),
            std::nullopt);
}

TEST(JudgedGlyph, MatesLostAndCreatedAsLichessJudgesThem) {
  // White's moves; black's are the mirror images.
  const struct {
    Evaluation before;
    Evaluation after;
    std::optional<Glyph> glyph;
  } rows[] = {{{true, 3}, {false, 1500}, Glyph::dubious},
              {{true, 3}, {false, 999}, Glyph::mistake},
              {{true, 3}, {false, 800}, Glyph::mistake},
              {{true, 3}, {false, 600}, Glyph::blunder},
              {{true, 3}, {true, -2}, Glyph::blunder},
              {{false, -1200}, {true, -5}, Glyph::dubious},
              {{false, -500}, {true, -5}, Glyph::blunder},
              {{true, 3}, {true, 5}, std::nullopt},
              {{true, -3}, {true, -2}, std::nullopt},
              {{true, -3}, {false, -900}, std::nullopt},
              {{false, 300}, {true, 4}, std::nullopt}};
  for (const auto& row : rows) {
    EXPECT_EQ(judgedGlyph({row.before, row.after, Side::white}), row.glyph)
        << evaluationText(row.before) << " " << evaluationText(row.after);
    const Evaluation before{row.before.mate, -row.before.value};
    const Evaluation after{row.after.mate, -row.after.value};
    EXPECT_EQ(judgedGlyph({before, after, Side::black}), row.glyph)
        << evaluationText(before) << " " << evaluationText(after);
  }
}

struct MaterialRow {
  // cppcheck-suppress unusedStructMember
  const char* name;
  const char* fen;
  PieceCounts byWhite;
  PieceCounts byBlack;
  int whiteAhead;
};

const MaterialRow kMaterial[] = {
    {"Start",
     "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
     {0, 0, 0, 0, 0},
     {0, 0, 0, 0, 0},
     0},
    {"KnightForPawn",
     "r1bqkbnr/pppppppp/8/8/8/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1",
     {0, 1, 0, 0, 0},
     {1, 0, 0, 0, 0},
     2},
    // White promoted a pawn to a second queen: it counts as that pawn.
    {"PromotedQueen",
     "4k3/8/8/8/8/8/PPPPPPP1/QNBQKBNR w - - 0 1",
     {8, 2, 2, 2, 1},
     {0, 0, 0, 1, 0},
     42},
    // Black's queen is gone and its h-pawn became a third knight.
    {"UnderpromotedKnight",
     "rnnbkbnr/ppppppp1/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
     {0, 0, 0, 0, 1},
     {0, 0, 0, 0, 0},
     7},
    // Against the standard set, what an endgame lacks counts.
    {"EndgameAgainstStart",
     "8/5k2/8/3r4/8/8/2P2K2/1R6 w - - 0 1",
     {8, 2, 2, 1, 1},
     {7, 2, 2, 1, 1},
     1},
};

class MaterialTable : public testing::TestWithParam<MaterialRow> {};

TEST_P(MaterialTable, CapturedAndAhead) {
  const MaterialRow& row = GetParam();
  const Material material =
      materialSince(Position(), Position::fromFen(row.fen));
  EXPECT_EQ(material.captured[0], row.byWhite) << row.name;
  EXPECT_EQ(material.captured[1], row.byBlack) << row.name;
  EXPECT_EQ(material.whiteAhead, row.whiteAhead) << row.name;
}

INSTANTIATE_TEST_SUITE_P(Positions, MaterialTable,
                         testing::ValuesIn(kMaterial));

TEST(Material, FollowsAGameWithPromotionsFromItsStart) {
  const Game game = readGame(
      "[FEN \"8/P6k/8/8/8/8/6p1/K7 w - - 0 1\"]\n\n"
      "1. a8=Q g1=N 2. Qb8 Nf3 3. Qb2 Nd2 4. Qxd2 *",
      1);
  const std::vector<Material> plies = materialOfPlies(game);
  // Each side's pawn became a piece: nothing is captured.
  EXPECT_EQ(plies[2].captured, SideCounts{});
  EXPECT_EQ(plies[2].whiteAhead, 9 - 3);
  // The promoted knight captured: a knight for white.
  EXPECT_EQ(plies[7].captured[0], (PieceCounts{0, 1, 0, 0, 0}));
  EXPECT_EQ(plies[7].captured[1], PieceCounts{});
  EXPECT_EQ(plies[7].whiteAhead, 9);
}

TEST(Material, APuzzleStartLacksNothing) {
  const Game game =
      readGame("[FEN \"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\"]\n\n1. e4 Kd7 *", 1);
  const Material last = materialOfPlies(game).back();
  EXPECT_EQ(last.captured, SideCounts{});
  EXPECT_EQ(last.whiteAhead, 1);
  // Frames read from positions alone give the same.
  EXPECT_EQ(materialSince(game.start, game.plies.back().after).captured,
            SideCounts{});
}

}  // namespace
}  // namespace tib::chess
