// Reading PGN as real files write it: each row of the table is a habit of
// some program or person that a reader could get wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "chess/error.h"
#include "chess/notation.h"
#include "chess/pgn.h"

namespace tib::chess {
namespace {

struct OddityRow {
  // cppcheck-suppress unusedStructMember
  const char* name;
  std::string pgn;
  std::size_t game;
  std::size_t plies;  // of the game read
  const char* lastSan;
  const char* fenAfter;  // after the last ply; empty: not checked
};

const std::string kTwoGames =
    "[Event \"one\"]\n\n1. e4 e5 1-0\n[Event \"two\"]\n\n1. d4 d5 2. c4 0-1\n";

const OddityRow kOddities[] = {
    {"Plain", "[Event \"x\"]\n\n1. e4 e5 2. Nf3 Nc6 1-0\n", 1, 4, "Nc6", ""},
    {"GluedNumbers", "1.e4 e5 2.Nf3 Nc6 3.Bb5", 1, 5, "Bb5", ""},
    {"BlackNumbers", "1. e4 {good} 1... e5 2. Nf3 2...Nc6", 1, 4, "Nc6", ""},
    {"NumbersSpaced", "1 . e4 1 ... e5", 1, 2, "e5", ""},
    {"LineComment", "1. e4 ; 1... d5 is no move here\ne5", 1, 2, "e5", ""},
    {"BracesHoldBrackets", "1. e4 {[Event \"x\"] (d4)} e5", 1, 2, "e5", ""},
    {"Nags", "1. e4 $1 $14 e5 $255 2. Nf3", 1, 3, "Nf3", ""},
    {"Glyphs", "1. e4!? e5?! 2. Nf3!! Nc6??", 1, 4, "Nc6??", ""},
    {"GlyphApart", "1. e4 !? e5", 1, 2, "e5", ""},
    {"Variations", "1. e4 (1. d4 d5 (1... Nf6 2. c4)) e5 (1... c5) 2. Nf3", 1,
     3, "Nf3", ""},
    {"EscapeLine", "%created by a program\n1. e4 e5\n%more\n2. Nf3", 1, 3,
     "Nf3", ""},
    {"BomAndCrlf", "\xef\xbb\xbf[Event \"x\"]\r\n\r\n1. e4 e5\r\n2. Nf3 *\r\n",
     1, 3, "Nf3", ""},
    {"FenBlackToMove",
     "[SetUp \"1\"]\n[FEN "
     "\"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R "
     "b KQkq - 2 2\"]\n\n2... Nf6 3. Nxe5",
     1, 2, "Nxe5",
     "r1bqkb1r/pppp1ppp/2n2n2/4N3/4P3/8/PPPP1PPP/RNBQKB1R b KQkq - 0 3"},
    {"Chess960",
     "[Variant \"Chess960\"]\n[FEN \"rk5r/8/8/8/8/8/8/RK5R w HAha - 0 "
     "1\"]\n\n1. O-O",
     1, 1, "O-O", "rk5r/8/8/8/8/8/8/R4RK1 b kq - 1 1"},
    {"FischerandomSpelling",
     "[Variant \"fischerandom\"]\n[FEN \"rk5r/8/8/8/8/8/8/RK5R w KQkq - 0 "
     "1\"]\n\n1. O-O-O",
     1, 1, "O-O-O", "rk5r/8/8/8/8/8/8/2KR3R b kq - 1 1"},
    {"Chess960SpacedUpper",
     "[Variant \"CHESS 960\"]\n[FEN \"rk5r/8/8/8/8/8/8/RK5R w KQkq - 0 "
     "1\"]\n\n1. O-O",
     1, 1, "O-O", "rk5r/8/8/8/8/8/8/R4RK1 b kq - 1 1"},
    {"SecondGame", kTwoGames, 2, 3, "c4", ""},
    {"TagAfterMovesStartsAGame", "1. e4 e5\n[Event \"2\"]\n1. d4", 2, 1, "d4",
     ""},
    {"MovesAfterResultStartAGame", "1. e4 1-0 1. d4 d5 *", 2, 2, "d5", ""},
    {"SecondReadsAfterBrokenFirst",
     "[Event \"1\"]\n\n1. e4 e5 2. Ke3 1-0\n\n[Event \"2\"]\n\n1. c4 *", 2, 1,
     "c4", ""},
    {"CastlingZeros", "1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. 0-0 0-1", 1, 7, "0-0",
     "r1bqk1nr/pppp1ppp/2n5/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQ1RK1 b kq - 5 4"},
    {"PromotionAndEnPassant",
     "[FEN \"4k3/1P6/8/8/4p3/8/3P4/4K3 w - - 0 1\"]\n\n1. d4 exd3 2. b8=Q+", 1,
     3, "b8=Q+", "1Q2k3/8/8/8/8/3p4/8/4K3 b - - 0 2"},
    {"WrongMoveNumbers", "7. e4 e5 1. Nf3", 1, 3, "Nf3", ""},
    {"EnPassantApart",
     "[Event \"Club\"]\n\n1. e4 d5 2. e5 f5 3. exf6 e.p. Nxf6 *", 1, 6, "Nxf6",
     "rnbqkb1r/ppp1p1pp/5n2/3p4/8/8/PPPP1PPP/RNBQKBNR w KQkq - 0 4"},
    {"NullMoveByWhite", "[Event \"Study\"]\n\n1. e4 d5 2. e5 f5 3. -- *", 1, 5,
     "--", "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR b KQkq - 1 3"},
    {"NullMoveByBlack", "1. e4 -- 2. Nf3 -- 3. Bc4", 1, 5, "Bc4",
     "rnbqkbnr/pppppppp/8/8/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 4 3"},
    {"FenBlackToMoveEnPassant",
     "[SetUp \"1\"]\n[FEN \"rnbqkbnr/ppp1pppp/8/8/2PpP3/8/PP1P1PPP/RNBQKBNR "
     "b KQkq e3 0 3\"]\n\n3... dxe3",
     1, 1, "dxe3",
     "rnbqkbnr/ppp1pppp/8/8/2P5/4p3/PP1P1PPP/RNBQKBNR w KQkq - 0 4"},
    {"SixtyFourDeep",
     "1. e4 " + std::string(64, '(') + "1. d4" + std::string(64, ')') + " e5",
     1, 2, "e5", ""},
};

class PgnOddity : public testing::TestWithParam<OddityRow> {};

TEST_P(PgnOddity, ReadsTheMainLine) {
  const OddityRow& row = GetParam();
  const Game game = readGame(row.pgn, row.game);
  ASSERT_EQ(game.plies.size(), row.plies);
  EXPECT_EQ(game.plies.back().san, row.lastSan);
  if (!std::string(row.fenAfter).empty()) {
    EXPECT_EQ(game.plies.back().after.fen(), row.fenAfter);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, PgnOddity, testing::ValuesIn(kOddities),
                         [](const auto& row) {
                           return std::string(row.param.name);
                         });

struct RefusalRow {
  // cppcheck-suppress unusedStructMember
  const char* name;
  std::string pgn;
  std::size_t game;
  const char* message;  // what() in full
};

const RefusalRow kRefusals[] = {
    {"IllegalMove", "1. e4 e5 2. Nf4", 1,
     "game 1, ply 3 (2. Nf4): no knight can move to f4"},
    {"Ambiguous", "[FEN \"R7/8/8/7k/8/8/8/R5K1 w - - 0 30\"]\n\n30. Ra4", 1,
     "game 1, ply 1 (30. Ra4): two rooks can move to a4: R1a4, R8a4"},
    {"AmbiguousKnights", "1. Nf3 d5 2. Na3 e5 3. Nc4 e4 4. Ne5", 1,
     "game 1, ply 7 (4. Ne5): two knights can move to e5: Nfe5, Nce5"},
    {"BlackPly", "[FEN \"4k3/8/8/8/8/8/8/4K3 b - - 0 12\"]\n\n12... Nf6", 1,
     "game 1, ply 1 (12... Nf6): no knight can move to f6"},
    {"SecondGameBroken", kTwoGames + "\n[Event \"3\"]\n\n1. e4 e4", 3,
     "game 3, ply 2 (1... e4): no pawn can move to e4"},
    {"NoSuchGame", kTwoGames, 3, "game 3: the file holds 2 games"},
    {"NoGameZero", kTwoGames, 0, "the file holds 2 games"},
    {"Empty", "", 1, "the file is empty"},
    {"Blank", " \n\r\n", 1, "the file is empty"},
    {"OnlyComment", "{just words}\n%escape", 1, "the file holds no game"},
    {"Nul", std::string("1. e4\0", 6), 1, "not a PGN text file"},
    {"Binary", "\x01\x02\x03\x04\x05 e4", 1, "not a PGN text file"},
    {"MostlyControlBytes", "1. e4 {\x01\x02\x03\x04\x05\x06}", 1,
     "not a PGN text file"},
    {"PercentInsideALine", "1. e4 %x", 1,
     "game 1, ply 2 (1... %x): '%x' is not a move"},
    {"TooDeep",
     "1. e4 " + std::string(65, '(') + "1. d4" + std::string(65, ')'), 1,
     "game 1, ply 1 (1. e4): variations nested deeper than 64"},
    {"OpenVariation", "1. e4 (1. d4", 1,
     "game 1, ply 1 (1. e4): a variation is not closed"},
    {"StrayClose", "1. e4 ) e5", 1, "game 1, ply 1 (1. e4): ')' without '('"},
    {"VariationFirst", "(1. d4) 1. e4", 1,
     "game 1: a variation before the first move"},
    {"OpenComment", "1. e4 {never closed", 1,
     "game 1, ply 1 (1. e4): a comment is not closed"},
    {"OpenTag", "[Event \"x]\n1. e4", 1, "game 1: a tag is not closed"},
    {"Crazyhouse", "[Variant \"Crazyhouse\"]\n\n1. e4", 1,
     "game 1: the variant 'Crazyhouse' is not supported"},
    {"BadFen", "[FEN \"8/8/8/8/8/8/8/4K3 w - - 0 1\"]\n\n1. Kd2", 1,
     "game 1: bad FEN tag: no black king"},
    {"NullMoveInCheck", "1. e4 e5 2. Qh5 Nc6 3. Qxf7+ -- 4. Qxe8", 1,
     "game 1, ply 6 (3... --): a null move leaves black's king in check"},
    {"LongToken", "1. " + std::string(100000, 'a'), 1,
     "game 1, ply 1 (1. aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...): "
     "'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...' is not a move"},
    {"StrayBrace", "1. e4 } e5", 1,
     "game 1, ply 2 (1... }): '}' is not a move"},
    {"StrayBracket", "1. e4 ]", 1, "game 1, ply 2 (1... ]): ']' is not a move"},
    {"DollarAlone", "1. e4 $ e5", 1,
     "game 1, ply 1 (1. e4): '$' without a number"},
};

class PgnRefusal : public testing::TestWithParam<RefusalRow> {};

TEST_P(PgnRefusal, SaysWhereAndWhy) {
  const RefusalRow& row = GetParam();
  try {
    readGame(row.pgn, row.game);
    FAIL() << "read";
  } catch (const GameError& error) {
    EXPECT_EQ(std::string(error.what()), row.message);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, PgnRefusal, testing::ValuesIn(kRefusals),
                         [](const auto& row) {
                           return std::string(row.param.name);
                         });

TEST(PgnTags, KeepOrderEscapesAndBareQuotes) {
  const Game game = readGame(
      "[Event \"A \\\"B\\\" \\\\ C\"]\n[White \"\"Mirage\"\"]\n"
      "[Black \"x\"] [Result \"1/2-1/2\"]\n\n1. e4 1/2-1/2",
      1);
  ASSERT_EQ(game.tags.size(), 4U);
  EXPECT_EQ(game.tags[0].value, "A \"B\" \\ C");
  EXPECT_EQ(game.tags[1].name, "White");
  EXPECT_EQ(game.tags[1].value, "\"Mirage\"");
  EXPECT_EQ(tagValue(game, "Black"), "x");
  EXPECT_EQ(tagValue(game, "Site"), std::nullopt);
  EXPECT_EQ(game.result, "1/2-1/2");
}

// Tag values as real files hold them: escaped quotes and backslashes, even
// before "]"; and Windows paths whose last backslash stands before the
// closing quote when nothing else closes the value.
TEST(PgnTags, EscapedQuotesAndBackslashesBeforeTheClosingQuote) {
  const struct {
    const char* line;
    const char* value;
  } cases[] = {
      {R"([Site "C:\"])", R"(C:\)"},
      {R"([Site "D:\games\" ])", R"(D:\games\)"},
      {R"([Event "say \"hi\" now"])", R"(say "hi" now)"},
      {R"([White "A\"]B"])", R"(A"]B)"},
      {R"([White "A\" ] B" ])", R"(A" ] B)"},
      {R"([Site "E:\\"])", R"(E:\)"},
  };
  for (const auto& c : cases) {
    const Game game = readGame(std::string(c.line) + "\n\n1. e4 *", 1);
    EXPECT_EQ(game.tags.at(0).value, c.value) << c.line;
  }
}

// A control byte after a quote is written as no space, which would close
// the value there.
TEST(PgnWrite, TagValueWithAQuoteBeforeAControlByteReadsBack) {
  const Game game = readGame("[Event \"a\"\x0b]b\"]\n\n1. e4 *", 1);
  const Game again = readGame(writePgn(game), 1);
  EXPECT_EQ(again.tags.at(0).value, "a\"?]b");
}

// NAGs and the evaluation symbols written as text: $1 to $6 are the move's
// glyph, the others kept in order; "=" is neither a promotion nor a result.
TEST(PgnNags, SymbolsReadAsTheirNags) {
  const struct {
    const char* movetext;
    std::optional<Glyph> glyph;
    std::vector<int> nags;
  } cases[] = {
      {"1. e4 $6", Glyph::dubious, {}},
      {"1. e4 $4 $14 $7 $0 $256 $255 $1", Glyph::good, {14, 7, 255}},
      {"1. e4 = \xe2\x88\x9e += +/= =+ =/+ +/- \xc2\xb1 -/+ +- -+ "
       "=/\xe2\x88\x9e 1/2-1/2",
       {},
       {10, 13, 14, 14, 15, 15, 16, 16, 17, 18, 19, 44}},
      {"= 1. e4 (1. d4 +-) *", {}, {}},
  };
  for (const auto& c : cases) {
    const Game game = readGame(c.movetext, 1);
    ASSERT_EQ(game.plies.size(), 1U) << c.movetext;
    EXPECT_EQ(game.plies[0].glyph, c.glyph) << c.movetext;
    EXPECT_EQ(game.plies[0].nags, c.nags) << c.movetext;
  }
  EXPECT_EQ(glyphText(*readGame("1. e4 $6", 1).plies[0].glyph), "?!");
}

TEST(PgnNullMove, WritesBackAndPrintsAsAPass) {
  const Game game = readGame("1. e4 -- 2. d4 += d5 $16 3. -- Nf6?! *", 1);
  EXPECT_EQ(writeMovetext(game), "1. e4 -- 2. d4 $14 d5 $16 3. -- Nf6?! *\n");
  EXPECT_EQ(writeUci(game.plies[0].after, game.plies[1].move), "0000");
  EXPECT_EQ(readUci(game.plies[0].after, "0000"), game.plies[1].move);
}

TEST(PgnComments, BelongToThePositionBeforeThem) {
  const Game game = readGame(
      "{[%csl Ge4] start} 1. e4 {[%clk 0:03:00] [%eval 0.2]} e5 $2 {[%cal "
      "Rd8h4]} (1... c5 {[%csl Rc5]}) 2. Nf3 {a} {b}",
      1);
  EXPECT_EQ(game.startCommentary.text, "start");
  EXPECT_EQ(game.startCommentary.highlights.size(), 1U);
  EXPECT_EQ(game.plies[0].commentary.clockCentiseconds, 18000);
  EXPECT_EQ(game.plies[0].commentary.eval, (Evaluation{false, 20}));
  EXPECT_EQ(game.plies[1].glyph, Glyph::mistake);
  EXPECT_EQ(game.plies[1].commentary.arrows.size(), 1U);
  EXPECT_TRUE(game.plies[1].commentary.highlights.empty());
  EXPECT_EQ(game.plies[2].commentary.text, "a b");
  EXPECT_EQ(positionAfter(game, 0), game.start);
  EXPECT_EQ(positionAfter(game, 3), game.plies[2].after);
}

struct CommentRow {
  const char* comment;
  std::vector<Mark> arrows;
  std::vector<Mark> highlights;
  std::optional<int64_t> clock;
  std::optional<Evaluation> eval;
  const char* text;
};

constexpr Square sq(const char* name) { return *squareNamed(name); }

const CommentRow kComments[] = {
    {"[%cal Ge2e4,Rd8h4]",
     {{MarkColour::green, sq("e2"), sq("e4")},
      {MarkColour::red, sq("d8"), sq("h4")}},
     {},
     {},
     {},
     ""},
    {"[%cal Bd4d4]", {{MarkColour::blue, sq("d4"), sq("d4")}}, {}, {}, {}, ""},
    {"[%cal Xe2e4,Ge2e9,Ye2,Gb1c3]",
     {{MarkColour::yellow, sq("e2"), sq("e2")},
      {MarkColour::green, sq("b1"), sq("c3")}},
     {},
     {},
     {},
     ""},
    {"[%csl Yd5,Rb2, Gh8 ,Pa1,Ga9]",
     {},
     {{MarkColour::yellow, sq("d5"), sq("d5")},
      {MarkColour::red, sq("b2"), sq("b2")},
      {MarkColour::green, sq("h8"), sq("h8")}},
     {},
     {},
     ""},
    {"[%clk 0:02:51.3]", {}, {}, 17130, {}, ""},
    {"[%clk 1:00:00.05]", {}, {}, 360005, {}, ""},
    {"[%clk 12:34]", {}, {}, 75400, {}, ""},
    {"[%clk 0:60:00]", {}, {}, {}, {}, ""},
    {"[%clk soon]", {}, {}, {}, {}, ""},
    {"[%eval 0.17]", {}, {}, {}, Evaluation{false, 17}, ""},
    {"[%eval -1.5]", {}, {}, {}, Evaluation{false, -150}, ""},
    {"[%eval 0.175,22]", {}, {}, {}, Evaluation{false, 18}, ""},
    {"[%eval #-3]", {}, {}, {}, Evaluation{true, -3}, ""},
    {"[%eval #4]", {}, {}, {}, Evaluation{true, 4}, ""},
    {"[%eval big]", {}, {}, {}, {}, ""},
    {"good move [%clk 0:00:05] really\n  good [%emt 0:00:01]",
     {},
     {},
     500,
     {},
     "good move really good"},
    {"unclosed [%clk 0:00:05", {}, {}, {}, {}, "unclosed [%clk 0:00:05"},
};

class CommentCommand : public testing::TestWithParam<CommentRow> {};

TEST_P(CommentCommand, ReadsTypedValues) {
  const CommentRow& row = GetParam();
  Commentary commentary;
  readComment(row.comment, commentary);
  EXPECT_EQ(commentary.arrows, row.arrows);
  EXPECT_EQ(commentary.highlights, row.highlights);
  EXPECT_EQ(commentary.clockCentiseconds, row.clock);
  EXPECT_EQ(commentary.eval, row.eval);
  EXPECT_EQ(commentary.text, row.text);
}

INSTANTIATE_TEST_SUITE_P(Comments, CommentCommand,
                         testing::ValuesIn(kComments));

TEST(PgnWrite, ReadsBackToTheSamePositionsAndCommands) {
  const std::string pgn =
      "[Event \"a \\\"b\\\"\"]\n[FEN \"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -\t0 "
      "20\"]\n\n{[%csl Ge4] [%x done} {]} 20... O-O-O {[%clk 0:00:09.07] "
      "[%eval #-2] x} 21. Rad1?! {[%cal Rd1d8,Bc1c1]} 21... Rxd1+ 22. Kxd1 "
      "$3 1-0";
  const Game game = readGame(pgn, 1);
  const std::string written = writePgn(game);
  const Game again = readGame(written, 1);
  ASSERT_EQ(again.plies.size(), game.plies.size()) << written;
  EXPECT_EQ(again.start, game.start);
  for (std::size_t i = 0; i < game.plies.size(); ++i) {
    EXPECT_EQ(again.plies[i].after, game.plies[i].after) << written;
    EXPECT_EQ(again.plies[i].glyph, game.plies[i].glyph) << written;
    EXPECT_EQ(again.plies[i].commentary.arrows,
              game.plies[i].commentary.arrows);
    EXPECT_EQ(again.plies[i].commentary.clockCentiseconds,
              game.plies[i].commentary.clockCentiseconds);
    EXPECT_EQ(again.plies[i].commentary.eval, game.plies[i].commentary.eval);
    EXPECT_EQ(again.plies[i].commentary.text, game.plies[i].commentary.text);
  }
  EXPECT_EQ(game.startCommentary.text, "[%x done ]");
  EXPECT_EQ(again.startCommentary.text, "[ %x done ]");
  EXPECT_EQ(again.tags[0].value, "a \"b\"");
  EXPECT_EQ(again.result, "1-0");
  std::string oneLine = written;
  std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
  EXPECT_NE(oneLine.find("20... O-O-O {[%clk 0:00:09.07] [%eval #-2] x} 21. "
                         "Rd1?! {[%cal Rd1d8,Bc1c1]} 21... Rxd1+ 22. Kxd1!! "
                         "1-0"),
            std::string::npos)
      << written;
}

TEST(GameErrorMessage, LeavesOutWhatIsNotKnown) {
  EXPECT_STREQ(GameError(2, 23, "12. Nf3", "no knight can move to f3").what(),
               "game 2, ply 23 (12. Nf3): no knight can move to f3");
  EXPECT_STREQ(GameError(2, 0, "", "bad FEN tag").what(),
               "game 2: bad FEN tag");
  EXPECT_STREQ(GameError(0, 0, "", "not a PGN text file").what(),
               "not a PGN text file");
  EXPECT_EQ(GameError(2, 23, "12. Nf3", "why").reason(), "why");
}

// Hostile inputs are answered, read or refused, in time linear in their
// size; these only assert the answer.
TEST(PgnHostile, MegabyteCommentIsRead) {
  const Game game = readGame("1. e4 {" + std::string(1 << 20, 'x') + "} e5", 1);
  EXPECT_EQ(game.plies[0].commentary.text.size(), 1U << 20);
  EXPECT_EQ(game.plies.size(), 2U);
}

TEST(PgnHostile, HundredThousandOpenedVariationsAreRefused) {
  EXPECT_THROW(readGame("1. e4 " + std::string(100000, '('), 1), GameError);
  EXPECT_EQ(splitGames("1. e4 " + std::string(100000, '(')).size(), 1U);
}

TEST(PgnHostile, HundredThousandVariationsInTurnAreSkipped) {
  std::string pgn = "1. e4 ";
  for (int i = 0; i < 100000; ++i) {
    pgn += "(1. d4) ";
  }
  EXPECT_EQ(readGame(pgn + "e5", 1).plies.size(), 2U);
}

TEST(PgnHostile, PliesBeyondTheLimitAreRefused) {
  std::string pgn;
  for (std::size_t i = 0; i < kMaxPlies / 4; ++i) {
    pgn += "Nf3 Nf6 Ng1 Ng8 ";
  }
  EXPECT_EQ(readGame(pgn, 1).plies.size(), kMaxPlies);
  try {
    readGame(pgn + "Nf3", 1);
    FAIL() << "read";
  } catch (const GameError& error) {
    EXPECT_EQ(error.ply(), kMaxPlies + 1);
    EXPECT_EQ(error.reason(), "the game is longer than 5000 plies");
  }
}

TEST(PgnSplit, FindsGamesWithoutReadingMoves) {
  const auto games = splitGames(
      "[Event \"1\"]\n1. e4 zz 1-0 {after}\n[Event \"2\"]\n*\n"
      "{lone}\n1. d4");
  ASSERT_EQ(games.size(), 3U);
  EXPECT_EQ(games[0].text, "[Event \"1\"]\n1. e4 zz 1-0 {after}\n");
  EXPECT_EQ(games[1].number, 2U);
  EXPECT_EQ(games[1].text, "[Event \"2\"]\n*\n{lone}\n");
  EXPECT_EQ(games[2].text, "1. d4");
}

}  // namespace
}  // namespace tib::chess
