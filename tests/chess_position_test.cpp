// FEN in and out: lenient forms read to their normal form, refusals name
// what is wrong; check, mate and stalemate; playing moves updates rights.
#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "chess/error.h"
#include "chess/notation.h"
#include "chess/position.h"

namespace tib::chess {
namespace {

struct FenRow {
  const char* in;
  bool chess960;
  const char* out;  // empty: refused, with an error containing `reason`
  const char* reason;
};

const FenRow kFens[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", false,
     "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", ""},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", false,
     "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1", ""},
    {"4k3/8/8/8/8/8/8/4K3 b", false, "4k3/8/8/8/8/8/8/4K3 b - - 0 1", ""},
    {"  4k3/8/8/8/8/8/8/4K3   w  -   -  5   0 ", false,
     "4k3/8/8/8/8/8/8/4K3 w - - 5 1", ""},
    // Shredder letters for standard rooks read as KQkq.
    {"r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1", false,
     "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", ""},
    // Stale rights: the h1 rook is gone, black's king has moved.
    {"r4k1r/8/8/8/8/8/8/R3K3 w KQkq - 0 1", false,
     "r4k1r/8/8/8/8/8/8/R3K3 w Q - 0 1", ""},
    // Chess960: K is the outermost rook; an inner rook keeps its file.
    {"1r2k1rr/8/8/8/8/8/8/RR2K2R w KQgb - 0 1", true,
     "1r2k1rr/8/8/8/8/8/8/RR2K2R w KQgq - 0 1", ""},
    {"1r2k1rr/8/8/8/8/8/8/RR2K2R w HBhb - 0 1", true,
     "1r2k1rr/8/8/8/8/8/8/RR2K2R w KBkq - 0 1", ""},
    // Outside Chess960 only e-file kings and corner rooks castle.
    {"rk5r/8/8/8/8/8/8/RK5R w KQkq - 0 1", false,
     "rk5r/8/8/8/8/8/8/RK5R w - - 0 1", ""},
    // En passant kept only where a pawn can take.
    {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 2", false,
     "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 2", ""},
    {"4k3/8/8/3p4/8/8/8/4K3 w - d6 0 2", false,
     "4k3/8/8/3p4/8/8/8/4K3 w - - 0 2", ""},
    // No pawn came from d7 when a knight stands there.
    {"4k3/3n4/8/3pP3/8/8/8/4K3 w - d6 0 2", false,
     "4k3/3n4/8/3pP3/8/8/8/4K3 w - - 0 2", ""},
    // Taking would leave both pawns' rank open to the rook: no en passant.
    {"8/8/8/K2pP2r/8/8/8/7k w - d6 0 1", false,
     "8/8/8/K2pP2r/8/8/8/7k w - - 0 1", ""},
    // Black to move after a double step: e3, a square of the third rank.
    {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", false,
     "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", ""},
    {"4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", false,
     "4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", ""},
    {"4k3/8/8/8/8/8/8/4K3 w - - 0 1 extra", false, "", "more than six"},
    {"4k3/8/8/8/8/8/8/8 w - - 0 1", false, "", "no white king"},
    {"4k3/8/8/8/8/8/8/4K2K w - - 0 1", false, "", "more than one white king"},
    {"8/8/8/8/8/8/8/4K3 w - - 0 1", false, "", "no black king"},
    {"3Pk3/8/8/8/8/8/8/4K3 w - - 0 1", false, "", "a pawn on d8"},
    {"4k3/8/8/8/8/8/8/p3K3 w - - 0 1", false, "", "a pawn on a1"},
    {"4k3/8/8/8/8/8/8/4R1K1 w - - 0 1", false, "",
     "black is in check but white is to move"},
    {"4k3/8/8/8/8/8/8/4K3 x - - 0 1", false, "", "bad side to move"},
    {"4k3/8/8/8/8/8/8/4K3 w KX - 0 1", false, "", "bad castling field"},
    {"4k3/8/8/8/8/8/8/4K3 w - e4 0 1", false, "", "bad en passant square"},
    {"4k3/8/8/8/8/8/8/4K3 w - - x 1", false, "", "bad halfmove clock"},
    {"4k3/8/8/8/8/8/8/4K3 w - - 0 -3", false, "", "bad move number"},
    {"4k3/8/8/8/8/8/8/4K3/8 w", false, "", "more than 8 ranks"},
    {"4k3/8/8/8/8/8/8 w", false, "", "does not fill 8 ranks"},
    {"4k4/8/8/8/8/8/8/4K3 w", false, "", "more than 8 squares"},
    {"4k2/8/8/8/8/8/8/4K3 w", false, "", "rank 8 of the FEN has 7 squares"},
    {"4k3/8/8/8/8/8/8/4X3 w", false, "", "bad character 'X'"},
    {"", false, "", "empty FEN"},
};

class Fen : public testing::TestWithParam<FenRow> {};

TEST_P(Fen, ReadsToItsNormalFormOrRefuses) {
  const FenRow& row = GetParam();
  if (std::string(row.out).empty()) {
    try {
      Position::fromFen(row.in, row.chess960);
      FAIL() << row.in << " was read";
    } catch (const Error& error) {
      EXPECT_NE(std::string(error.what()).find(row.reason), std::string::npos)
          << error.what();
    }
    return;
  }
  const Position position = Position::fromFen(row.in, row.chess960);
  EXPECT_EQ(position.fen(), row.out);
  EXPECT_EQ(Position::fromFen(position.fen(), row.chess960), position);
}

INSTANTIATE_TEST_SUITE_P(Texts, Fen, testing::ValuesIn(kFens));

struct OutcomeRow {
  const char* fen;
  bool check;
  bool mate;
  bool stalemate;
  std::size_t moves;
};

const OutcomeRow kOutcomes[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", false, false,
     false, 20},
    {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", true,
     true, false, 0},
    {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", false, false, true, 0},
    {"4k3/8/8/8/8/8/4r3/4K3 w - - 0 1", true, false, false, 3},
    // Double check: only the king may move (Kd1, Kf1, Kxe2), not the
    // knight that could take one checker.
    {"4k3/8/8/8/1b6/6N1/4r3/4K3 w - - 0 1", true, false, false, 3},
};

class Outcome : public testing::TestWithParam<OutcomeRow> {};

TEST_P(Outcome, TellsCheckMateAndStalemate) {
  const OutcomeRow& row = GetParam();
  const Position position = Position::fromFen(row.fen);
  EXPECT_EQ(position.inCheck(), row.check);
  EXPECT_EQ(isCheckmate(position), row.mate);
  EXPECT_EQ(isStalemate(position), row.stalemate);
  EXPECT_EQ(legalMoves(position).size(), row.moves);
}

INSTANTIATE_TEST_SUITE_P(Positions, Outcome, testing::ValuesIn(kOutcomes));

// Each line: moves in UCI from the FEN, then the FEN after them.
struct LineRow {
  const char* fen;
  bool chess960;
  std::vector<const char*> moves;
  const char* after;
};

const LineRow kLines[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
     false,
     {"e2e4", "d7d5", "e4e5", "f7f5"},
     "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3"},
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 7 20",
     false,
     {"e1g1", "a8a1"},
     "4k2r/8/8/8/8/8/8/r4RK1 w k - 0 21"},
    {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1",
     false,
     {"e8c8", "h1h8"},
     "2kr3R/8/8/8/8/8/8/R3K3 b Q - 0 2"},
    {"rk5r/8/8/8/8/8/8/RK5R w KQkq - 0 1",
     true,
     {"b1h1", "b8a8"},
     "2kr3r/8/8/8/8/8/8/R4RK1 w - - 2 2"},
    // Taking a rook on its square ends the right for good: another rook
    // coming to that square does not bring it back.
    {"r3k3/r7/8/8/8/8/6B1/4K3 w q - 0 1",
     false,
     {"g2a8", "a7a8"},
     "r3k3/8/8/8/8/8/8/4K3 w - - 0 2"},
    // Castling ends the castling side's rights only.
    {"rk5r/8/8/8/8/8/8/RK5R w KQkq - 0 1",
     true,
     {"b1a1", "b8b7"},
     "r6r/1k6/8/8/8/8/8/2KR3R w - - 2 2"},
    // The king lands on its own rook's square.
    {"4k3/8/8/8/8/8/8/5KR1 w K - 0 1",
     true,
     {"f1g1"},
     "4k3/8/8/8/8/8/8/5RK1 b - - 1 1"},
};

class Line : public testing::TestWithParam<LineRow> {};

TEST_P(Line, UpdatesRightsClocksAndEnPassant) {
  const LineRow& row = GetParam();
  const Position after =
      std::accumulate(row.moves.begin(), row.moves.end(),
                      Position::fromFen(row.fen, row.chess960),
                      [](const Position& position, const char* move) {
                        return play(position, readUci(position, move));
                      });
  EXPECT_EQ(after.fen(), row.after);
}

INSTANTIATE_TEST_SUITE_P(Moves, Line, testing::ValuesIn(kLines));

}  // namespace
}  // namespace tib::chess
