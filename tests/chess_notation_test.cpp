// SAN and UCI both ways: the spellings real files use, the refusals, and the
// least disambiguation and check marks when writing.
#include <gtest/gtest.h>

#include <string>

#include "chess/error.h"
#include "chess/notation.h"

namespace tib::chess {
namespace {

constexpr const char* kStart =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
// Knights on b1 and f3 both reach d2; rooks a1/h1 castle both ways.
constexpr const char* kTwoKnights =
    "r3k2r/ppp2ppp/8/3p4/8/5N2/PPP2PPP/RN2K2R w KQkq - 0 1";
// Pawn e7 can promote by push or by taking on d8/f8; b5xc6 en passant.
constexpr const char* kPromote = "3r1r2/4P1k1/8/1Pp5/8/8/8/4K3 w - c6 0 1";
// Rooks a1 and a5 share a file and both reach a3.
constexpr const char* kRooks = "4k3/8/8/R7/8/8/8/R3K3 w - - 0 1";
// Queens a1, a4 and d1 all reach d4: a1 shares a file with a4 and a rank
// with d1, so only both its file and rank name it.
constexpr const char* kQueens = "8/2k5/8/8/Q7/8/7K/Q2Q4 w - - 0 1";
// Black to move in a Chess960 setup: king b8, rooks a8 and h8.
constexpr const char* k960 = "rk5r/8/8/8/8/8/8/RK5R b KQkq - 0 1";

struct ReadRow {
  const char* fen;
  bool chess960;
  const char* san;
  const char* uci;  // empty: refused, with error containing `reason`
  const char* reason;
};

const ReadRow kReads[] = {
    {kStart, false, "e4", "e2e4", ""},
    {kStart, false, "Nf3", "g1f3", ""},
    {kStart, false, "Ngf3", "g1f3", ""},
    {kStart, false, "Ng1f3", "g1f3", ""},
    {kStart, false, "Ng1-f3", "g1f3", ""},
    {kStart, false, "Nf3!?", "g1f3", ""},
    {kStart, false, "Nf3+", "g1f3", ""},
    {kStart, false, "e4??", "e2e4", ""},
    {kStart, false, "Pe4", "e2e4", ""},
    {kStart, false, "Nf4", "", "no knight can move to f4"},
    {kStart, false, "e5", "", "no pawn can move to e5"},
    {kStart, false, "Ke2", "", "no king can move to e2"},
    {kStart, false, "O-O", "", "O-O is not legal here"},
    {kStart, false, "hello", "", "'hello' is not a move"},
    {kStart, false, "", "", "'' is not a move"},
    {kStart, false, "Nf3f3f3", "", "is not a move"},
    {kStart, false, "Zf3", "", "is not a move"},
    {kTwoKnights, false, "Nd2", "", "two knights can move to d2: Nbd2, Nfd2"},
    {kTwoKnights, false, "Nbd2", "b1d2", ""},
    {kTwoKnights, false, "Nfd2", "f3d2", ""},
    {kTwoKnights, false, "N3d2", "f3d2", ""},
    {kTwoKnights, false, "O-O", "e1h1", ""},
    {kTwoKnights, false, "0-0", "e1h1", ""},
    {kTwoKnights, false, "O-O-O", "", "O-O-O is not legal here"},
    {kTwoKnights, false, "O-O+", "e1h1", ""},
    {kPromote, false, "e8=Q", "e7e8q", ""},
    {kPromote, false, "e8Q", "e7e8q", ""},
    {kPromote, false, "e8=N+", "e7e8n", ""},
    {kPromote, false, "exd8=R", "e7d8r", ""},
    {kPromote, false, "exf8=B", "e7f8b", ""},
    {kPromote, false, "ef8=Q", "e7f8q", ""},
    {kPromote, false, "e8", "", "needs a promotion piece"},
    {kPromote, false, "e8=K", "", "is not a move"},
    {kPromote, false, "bxc6", "b5c6", ""},
    {kPromote, false, "bxc6e.p.", "b5c6", ""},
    {kPromote, false, "b6", "b5b6", ""},
    {kRooks, false, "Ra3", "", "two rooks can move to a3"},
    {kRooks, false, "R1a3", "a1a3", ""},
    {kRooks, false, "R5a3", "a5a3", ""},
    {kQueens, false, "Qd4", "", "three queens can move to d4"},
    {kQueens, false, "Qa1d4", "a1d4", ""},
    {kQueens, false, "Qad4", "", "two queens can move to d4"},
    {k960, true, "O-O", "b8h8", ""},
    {k960, true, "O-O-O", "b8a8", ""},
    // White's rook on d1 guards d8: the king may not cross it to g8, while
    // the rook may land on it when the king goes to c8.
    {"rk5r/8/8/8/8/8/8/2KR3R b kq - 1 1", true, "O-O", "", "not legal here"},
    {"rk5r/8/8/8/8/8/8/2KR3R b kq - 1 1", true, "O-O-O", "b8a8", ""},
};

class SanRead : public testing::TestWithParam<ReadRow> {};

TEST_P(SanRead, ReadsOrRefuses) {
  const ReadRow& row = GetParam();
  const Position position = Position::fromFen(row.fen, row.chess960);
  if (std::string(row.uci).empty()) {
    try {
      readSan(position, row.san);
      FAIL() << row.san << " was read";
    } catch (const Error& error) {
      EXPECT_NE(std::string(error.what()).find(row.reason), std::string::npos)
          << error.what();
    }
    return;
  }
  const Move move = readSan(position, row.san);
  EXPECT_EQ(squareName(move.from) + squareName(move.to) +
                (move.promotion
                     ? std::string(1, fenLetter({Side::black, *move.promotion}))
                     : ""),
            row.uci);
}

INSTANTIATE_TEST_SUITE_P(Spellings, SanRead, testing::ValuesIn(kReads));

struct WriteRow {
  const char* fen;
  bool chess960;
  const char* uciIn;
  const char* san;
  const char* uciOut;
};

const WriteRow kWrites[] = {
    {kStart, false, "g1f3", "Nf3", "g1f3"},
    {kTwoKnights, false, "b1d2", "Nbd2", "b1d2"},
    {kTwoKnights, false, "e1g1", "O-O", "e1g1"},
    {kTwoKnights, false, "e1h1", "O-O", "e1g1"},
    {kTwoKnights, false, "f3e5", "Ne5", "f3e5"},
    {kRooks, false, "a1a3", "R1a3", "a1a3"},
    {kRooks, false, "a5e5", "Re5+", "a5e5"},
    {kQueens, false, "a1d4", "Qa1d4", "a1d4"},
    {kQueens, false, "a4d4", "Q4d4", "a4d4"},
    {kQueens, false, "d1d4", "Qdd4", "d1d4"},
    {kPromote, false, "e7d8n", "exd8=N", "e7d8n"},
    {kPromote, false, "e7f8q", "exf8=Q+", "e7f8q"},
    {kPromote, false, "b5c6", "bxc6", "b5c6"},
    {k960, true, "b8h8", "O-O", "b8h8"},
    {k960, true, "b8g8", "O-O", "b8h8"},
    {k960, true, "b8c8", "Kc8", "b8c8"},
    {k960, true, "b8a8", "O-O-O", "b8a8"},
    // The king crosses its own rook's square (b1 to g1 past c1), or lands
    // on it (f1 to g1, d1 to c1).
    {"4k3/8/8/8/8/8/8/1KR5 w K - 0 1", true, "b1c1", "O-O", "b1c1"},
    {"4k3/8/8/8/8/8/8/5KR1 w K - 0 1", true, "f1g1", "O-O", "f1g1"},
    {"4k3/8/8/8/8/8/8/2RK4 w Q - 0 1", true, "d1c1", "O-O-O", "d1c1"},
    // Back-rank mate.
    {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", false, "a1a8", "Ra8#", "a1a8"},
};

class SanWrite : public testing::TestWithParam<WriteRow> {};

TEST_P(SanWrite, WritesTheShortestSanAndUci) {
  const WriteRow& row = GetParam();
  const Position position = Position::fromFen(row.fen, row.chess960);
  const Move move = readUci(position, row.uciIn);
  EXPECT_EQ(writeSan(position, move), row.san);
  EXPECT_EQ(writeUci(position, move), row.uciOut);
  EXPECT_EQ(readSan(position, writeSan(position, move)), move);
}

INSTANTIATE_TEST_SUITE_P(Moves, SanWrite, testing::ValuesIn(kWrites));

TEST(Uci, RefusesWhatIsNoLegalMove) {
  const Position start;
  for (const char* text : {"e2e5", "e2", "e2e4x", "e7e8k", "i2i4", ""}) {
    EXPECT_THROW(readUci(start, text), Error) << text;
  }
}

}  // namespace
}  // namespace tib::chess
