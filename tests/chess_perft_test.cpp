// The move generator against published perft counts: the number of move
// sequences of each length from positions chosen for their traps (castling
// through check, en passant that uncovers the king, promotions, pins).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "chess/position.h"

namespace tib::chess {
namespace {

struct PerftRow {
  // cppcheck-suppress unusedStructMember
  const char* name;
  const char* fen;
  bool chess960;
  int depth;
  uint64_t nodes;
};

constexpr const char* kStart =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* kKiwipete =
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
constexpr const char* kThree = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1";
constexpr const char* kFour =
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1";
constexpr const char* kFive =
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8";
constexpr const char* kSix =
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";
constexpr const char* k960 =
    "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9";

const PerftRow kRows[] = {
    {"Start1", kStart, false, 1, 20},
    {"Start2", kStart, false, 2, 400},
    {"Start3", kStart, false, 3, 8902},
    {"Start4", kStart, false, 4, 197281},
    {"Kiwipete1", kKiwipete, false, 1, 48},
    {"Kiwipete2", kKiwipete, false, 2, 2039},
    {"Kiwipete3", kKiwipete, false, 3, 97862},
    {"Three1", kThree, false, 1, 14},
    {"Three2", kThree, false, 2, 191},
    {"Three3", kThree, false, 3, 2812},
    {"Three4", kThree, false, 4, 43238},
    {"Four1", kFour, false, 1, 6},
    {"Four2", kFour, false, 2, 264},
    {"Four3", kFour, false, 3, 9467},
    {"Five1", kFive, false, 1, 44},
    {"Five2", kFive, false, 2, 1486},
    {"Five3", kFive, false, 3, 62379},
    {"Six1", kSix, false, 1, 46},
    {"Six2", kSix, false, 2, 2079},
    {"Six3", kSix, false, 3, 89890},
    // Chess960 rules on standard squares count the same.
    {"Start960x3", kStart, true, 3, 8902},
    {"Kiwipete960x3", kKiwipete, true, 3, 97862},
    {"Chess960One1", k960, true, 1, 21},
    {"Chess960One2", k960, true, 2, 528},
    {"Chess960One3", k960, true, 3, 12189},
    {"Chess960One4", k960, true, 4, 326672},
};

class Perft : public testing::TestWithParam<PerftRow> {};

TEST_P(Perft, CountsEveryMoveSequence) {
  const PerftRow& row = GetParam();
  EXPECT_EQ(perft(Position::fromFen(row.fen, row.chess960), row.depth),
            row.nodes);
}

INSTANTIATE_TEST_SUITE_P(Positions, Perft, testing::ValuesIn(kRows),
                         [](const auto& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
}  // namespace tib::chess
