// The diagram of a ply of a game, and tib-game's runs.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "game/failure.h"
#include "game/output_pattern.h"
#include "game/run.h"
#include "gif_decode.h"
#include "test_support.h"
#include "tib/decoration/decorated.h"
#include "tib/game/decorated_game.h"
#include "tib/game/game_diagram.h"

namespace tib {

namespace {

Square at(const char* name) { return chess::squareNamed(name).value(); }

TEST(GameDiagram, APlyDrawsWhatItsFenFormDraws) {
  const std::string pgn =
      "{[%csl Rd4]} 1. e4 e5 2. Bc4 Nc6 3. Qh5 Nf6?? {[%cal Gh5f7,Bd8e7] "
      "[%csl Yf7]} 4. Qxf7# 1-0";
  const std::string castles =
      "[FEN \"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 12\"]\n\n12... O-O-O 13. "
      "O-O *";
  const struct {
    std::string pgn;
    std::size_t ply;
    std::string fen;
    std::vector<Square> lastMove;
    std::optional<Square> check;
    std::vector<Mark> highlights;
    std::vector<Mark> arrows;
  } cases[] = {
      {pgn,
       0,
       "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w",
       {},
       {},
       {{chess::MarkColour::red, at("d4"), at("d4")}},
       {}},
      {pgn,
       1,
       "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b",
       {at("e2"), at("e4")},
       {},
       {},
       {}},
      {pgn,
       6,
       "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w",
       {at("f6"), at("g8")},
       {},
       {{chess::MarkColour::yellow, at("f7"), at("f7")}},
       {{chess::MarkColour::green, at("h5"), at("f7")},
        {chess::MarkColour::blue, at("d8"), at("e7")}}},
      {pgn,
       7,
       "r1bqkb1r/pppp1Qpp/2n2n2/4p3/2B1P3/8/PPPP1PPP/RNB1K1NR b",
       {at("h5"), at("f7")},
       at("e8"),
       {},
       {}},
      {castles,
       1,
       "2kr3r/8/8/8/8/8/8/R3K2R w",
       {at("c8"), at("e8")},
       {},
       {},
       {}},
      {castles,
       2,
       "2kr3r/8/8/8/8/8/8/R4RK1 b",
       {at("e1"), at("g1")},
       {},
       {},
       {}},
  };
  for (const auto& c : cases) {
    const std::string what =
        c.pgn.substr(0, 20) + ", ply " + std::to_string(c.ply);
    const Diagram diagram =
        plyDiagram(chess::readGame(c.pgn, 1), c.ply, Settings{300, 1.0F},
                   Orientation::black, false);
    const Placement expected = readPlacement(c.fen);
    EXPECT_EQ(expected.pieces, diagram.position.pieces) << what;
    EXPECT_EQ(expected.sideToMove, diagram.position.sideToMove) << what;
    const Annotations& marks = diagram.annotations;
    EXPECT_EQ(c.lastMove, marks.lastMove) << what;
    EXPECT_EQ(c.check, marks.check) << what;
    EXPECT_EQ(c.highlights, marks.highlights) << what;
    EXPECT_EQ(c.arrows, marks.arrows) << what;
    EXPECT_EQ(Orientation::black, marks.orientation) << what;
    EXPECT_FALSE(marks.coordinates) << what;
    EXPECT_EQ(300, diagram.settings.Size) << what;
  }
}

TEST(GameDiagram, APlysPlayersClocksAndGlyph) {
  const chess::Game game = chess::readGame(
      "[White \"Ann\"]\n[WhiteTitle \"GM\"]\n[BlackElo \"2100\"]\n\n1. e4 "
      "{[%clk 0:03:00]} e5 {[%clk 0:02:59]} 2. Nf3?! {[%clk 0:02:50.5]} "
      "Nc6 3. Bc4 Nf6 4. O-O!! *",
      1);
  const struct {
    std::size_t ply;
    Orientation view;
    std::optional<int> white;
    std::optional<int> black;
    chess::Side toMove;
    std::optional<MoveGlyph> glyph;
    const char* glyphSquare;
  } cases[] = {
      {0, Orientation::white, {}, {}, chess::Side::white, {}, ""},
      {2, Orientation::black, 18000, 17900, chess::Side::white, {}, ""},
      {3, Orientation::white, 17050, 17900, chess::Side::black,
       MoveGlyph::dubious, "f3"},
      {7, Orientation::white, 17050, 17900, chess::Side::black,
       MoveGlyph::brilliant, "g1"},
  };
  for (const auto& c : cases) {
    const Decorations decorations = plyDecorations(game, c.ply, c.view, true);
    ASSERT_TRUE(decorations.bars) << c.ply;
    const PlayerBars& bars = *decorations.bars;
    EXPECT_EQ("Ann", bars.white.name);
    EXPECT_EQ("GM", bars.white.title);
    EXPECT_EQ("2100", bars.black.rating);
    EXPECT_EQ(c.white, bars.white.clockCentiseconds) << c.ply;
    EXPECT_EQ(c.black, bars.black.clockCentiseconds) << c.ply;
    EXPECT_EQ(c.toMove, bars.toMove) << c.ply;
    EXPECT_EQ(
        c.view == Orientation::white ? chess::Side::white : chess::Side::black,
        bars.bottom);
    EXPECT_EQ(c.glyph, decorations.glyph) << c.ply;
    if (c.glyph) {
      EXPECT_EQ(at(c.glyphSquare), decorations.glyphSquare) << c.ply;
    }
  }
  EXPECT_FALSE(plyDecorations(game, 2, Orientation::white, false).bars);
  // A game that names nobody and has no clocks gets no bars.
  EXPECT_FALSE(
      plyDecorations(chess::readGame("1. e4 *", 1), 1, Orientation::white, true)
          .bars);
}

struct GameRun {
  int status;
  std::string out;
  std::string err;
};

GameRun runGame(const std::vector<std::string>& args, const std::string& in) {
  std::istringstream input(in);
  std::ostringstream out;
  std::ostringstream err;
  const int status = game::runGame(args, input, out, err);
  return {status, out.str(), err.str()};
}

TEST(TibGame, StatusesAndMessages) {
  const std::string twoGames =
      "[Event \"a\"]\n\n1. e4 e5 1-0\n\n[Event \"b\"]\n\n1. d4 d5 2. Nf4 *\n";
  const struct {
    std::vector<std::string> args;
    std::string in;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{"--fens"},
       "1. f3 e5 2. g4 Qh4# 0-1",
       0,
       "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n"
       "rnbqkbnr/pppppppp/8/8/8/5P2/PPPPP1PP/RNBQKBNR b KQkq - 0 1\n"
       "rnbqkbnr/pppp1ppp/8/4p3/8/5P2/PPPPP1PP/RNBQKBNR w KQkq - 0 2\n"
       "rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq - 0 2\n"
       "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3\n",
       ""},
      {{"--fens", "--game", "2"},
       twoGames,
       1,
       "",
       "tib-game: game 2, ply 3 (2. Nf4): no knight can move to f4\n"},
      {{"--fens", "--game=3"},
       twoGames,
       1,
       "",
       "tib-game: game 3: the file holds 2 games\n"},
      {{"--fens"}, "", 1, "", "tib-game: the file is empty\n"},
      {{"--fens"},
       std::string("\x89PNG\r\n\x1a\n\0\0", 10),
       1,
       "",
       "tib-game: not a PGN text file\n"},
      {{"--fens", "/nonexistent/game.pgn"},
       "",
       1,
       "",
       "tib-game: cannot read /nonexistent/game.pgn: No such file or "
       "directory\n"},
      {{"--ply", "9", "-o", "x.png"},
       "1. e4 *",
       2,
       "",
       "tib-game: --ply 9: the game has 1 ply\n"},
      {{"--from", "3", "-o", "x.gif"},
       "1. e4 e5 *",
       2,
       "",
       "tib-game: --from 3: the game has 2 plies\n"},
      {{"--to", "5000", "-o", "x.gif"},
       "1. e4 e5 *",
       2,
       "",
       "tib-game: --to 5000: the game has 2 plies\n"},
      {{"--game", "0", "--fens"}, "", 2, "", ""},
      {{}, "1. e4 *", 2, "", ""},
      {{"--fens", "-o", "x.png"}, "1. e4 *", 2, "", ""},
      {{"--fens", "--size", "0"}, "1. e4 *", 2, "", ""},
      {{"--fens", "--orientation", "up"}, "1. e4 *", 2, "", ""},
      {{"--fens", "--frobnicate"}, "1. e4 *", 2, "", ""},
      {{"--fens", "a.pgn", "b.pgn"}, "1. e4 *", 2, "", ""},
      {{"-o", "x.gif", "--ply", "1"}, "1. e4 *", 2, "", ""},
      {{"-o", "x.gif", "--delay", "fast"}, "1. e4 *", 2, "", ""},
      {{"-o", "x.gif", "--last-delay", "65536"}, "1. e4 *", 2, "", ""},
      {{"-o", "x.gif", "--frame", "1080x1920"}, "1. e4 *", 2, "", ""},
      {{"-o", "x.mp4", "--frame", "1081x1920"}, "1. e4 *", 2, "", ""},
      {{"-o", "x.webm", "--size", "720", "--frame", "720x718"},
       "1. e4 *",
       2,
       "",
       "tib-game: --frame 720x718: the picture is 720 x 720 at --size 720; "
       "give a smaller --size\n"},
      // The range is named as tib-game spells its options, and only the
      // options given.
      {{"-o", "x.gif", "--from", "3"},
       "1. e4 e5 *",
       2,
       "",
       "tib-game: --from 3: the game has 2 plies\n"},
      {{"-o", "x.gif", "--to", "5000"},
       "1. e4 e5 *",
       2,
       "",
       "tib-game: --to 5000: the game has 2 plies\n"},
      {{"-o", "x.gif", "--from", "2", "--to", "1"},
       "1. e4 *",
       2,
       "",
       "tib-game: --from 2 --to 1: --from lies past --to\n"},
      {{"--all", "--fens"}, "", 1, "", "tib-game: the file holds no game\n"},
      {{"--all", "--fens", "--game", "2"}, "1. e4 *", 2, "", ""},
      {{"--fens", "--threads", "2"}, "1. e4 *", 2, "", ""},
      {{"--all", "--fens", "--threads", "0"}, "1. e4 *", 2, "", ""},
      {{"--all", "-o", "x.gif"},
       "1. e4 *",
       2,
       "",
       "tib-game: -o x.gif: no number conversion; with --all it names each "
       "game's file by its number, as out/game-%d.gif or game-%03d.png (%% "
       "for a %)\n"},
      {{"--all", "-o", "x%%d.png"}, "1. e4 *", 2, "", ""},
      {{"--all", "-o", "x%d-%d.png"}, "1. e4 *", 2, "", ""},
      {{"--all", "-o", "x%s.png"}, "1. e4 *", 2, "", ""},
      {{"--all", "-o", "x%-3d.png"}, "1. e4 *", 2, "", ""},
      {{"--all", "-o", "x%"}, "1. e4 *", 2, "", ""},
  };
  for (const auto& c : cases) {
    const std::string what = ::testing::PrintToString(c.args);
    const GameRun run = runGame(c.args, c.in);
    EXPECT_EQ(c.status, run.status) << what << ": " << run.err;
    EXPECT_EQ(c.out, run.out) << what;
    if (c.status == 2 && c.err.empty()) {
      EXPECT_EQ(0U, run.err.rfind("tib-game: ", 0)) << what << run.err;
    } else {
      EXPECT_EQ(c.err, run.err) << what;
    }
  }
}

TEST(TibGame, DrawsThePlyAsTheLibraryRendersIt) {
  const TempDir folder;
  const std::string output = (folder.path() / "ply.png").string();
  const std::string pgn = "1. e4 e5 2. Qh5 {[%cal Rh5f7]} Nc6 *";
  const GameRun run = runGame(
      {"--ply=3", "-o", output, "--size", "240", "--artwork", TIB_ARTWORK_DIR,
       "--piece", "merida", "--theme", "green", "--orientation", "black"},
      pgn);
  ASSERT_EQ(0, run.status) << run.err;
  Artwork artwork = loadArtwork(std::string(TIB_ARTWORK_DIR) + "/themes/green",
                                {Side::white, Side::black});
  ArtworkBudget budget;
  loadOtherBoards(std::string(TIB_ARTWORK_DIR) + "/themes/green", budget,
                  artwork.boards);
  std::vector<FileIdentity> files;
  std::vector<std::string> warnings;
  const Sprites merida = loadSprites(
      std::string(TIB_ARTWORK_DIR) + "/pieces/merida", budget, files, warnings);
  const std::vector<unsigned char> expected =
      renderPng(artwork, merida,
                plyDiagram(chess::readGame(pgn, 1), 3, Settings{240, 1.3F},
                           Orientation::black, true));
  EXPECT_EQ(std::string(expected.begin(), expected.end()), readText(output));
  // The README's example is doc/opera-ply31.png.
  const std::string doc = std::string(TIB_ARTWORK_DIR) + "/../doc/";
  const GameRun opera =
      runGame({"--ply", "31", "-o", output, "--size", "400", "--artwork",
               TIB_ARTWORK_DIR, doc + "opera.pgn"},
              "");
  ASSERT_EQ(0, opera.status) << opera.err;
  EXPECT_EQ(readText(doc + "opera-ply31.png"), readText(output));
  // A .gif is the game animated: ply 2 to the end, three frames.
  const std::string gif = (folder.path() / "game.gif").string();
  const GameRun animated =
      runGame({"--from", "2", "-o", gif, "--size", "64", "--artwork",
               TIB_ARTWORK_DIR, "--delay", "real"},
              pgn);
  ASSERT_EQ(0, animated.status) << animated.err;
  const std::string bytes = readText(gif);
  const auto decoded = codec::test::decodeGif({bytes.begin(), bytes.end()});
  ASSERT_TRUE(decoded);
  EXPECT_EQ(64, decoded->width);
  EXPECT_EQ(3U, decoded->frames.size());
}

TEST(TibGame, OutputPatternsNameEachGame) {
  const struct {
    const char* pattern;
    std::size_t number;
    const char* path;
  } cases[] = {
      {"out/game-%d.gif", 7, "out/game-7.gif"},
      {"game-%03d.png", 7, "game-007.png"},
      {"game-%03d.png", 1234, "game-1234.png"},
      {"[%2d]", 5, "[ 5]"},
      {"100%%-%d%%.png", 5, "100%-5%.png"},
      {"%d", 12, "12"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.path,
              game::outputPath(game::readOutputPattern(c.pattern), c.number))
        << c.pattern;
  }
  EXPECT_THROW(game::readOutputPattern("%021d.png"), tib::OptionError);
}

// Three games of which the second cannot be read.
const char* const kThreeGames =
    "[Event \"a\"]\n[White \"Ann\"]\n\n1. e4 {[%clk 0:03:00]} e5 1-0\n\n"
    "[Event \"b\"]\n\n1. d4 d5 2. Nf4 *\n\n"
    "[Black \"Bob\"]\n\n1. f3 e5 2. g4 Qh4# 0-1\n";

TEST(TibGame, AllGamesFensAfterALineNamingEach) {
  const GameRun run = runGame({"--all", "--fens"}, kThreeGames);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("# game 1: Ann - ?, a\n" + runGame({"--fens"}, kThreeGames).out +
                "# game 3: ? - Bob, ?\n" +
                runGame({"--fens", "--game", "3"}, kThreeGames).out,
            run.out);
  EXPECT_EQ("tib-game: game 2, ply 3 (2. Nf4): no knight can move to f4\n",
            run.err);
  // Many games on several threads: the same output, in the file's order.
  std::string many;
  for (int i = 0; i < 20; ++i) {
    many += kThreeGames + std::string("\n");
  }
  const GameRun alone = runGame({"--all", "--fens"}, many);
  const GameRun threaded = runGame({"--all", "--fens", "--threads=3"}, many);
  EXPECT_EQ(1, threaded.status);
  EXPECT_EQ(alone.out, threaded.out);
  EXPECT_EQ(alone.err, threaded.err);
  EXPECT_NE(std::string::npos, alone.err.find("tib-game: game 59, ply 3"));
}

TEST(TibGame, AllGamesDrawnEachToItsFile) {
  const TempDir folder;
  const std::string artwork = TIB_ARTWORK_DIR;
  const auto path = [&folder](const std::string& name) {
    return (folder.path() / name).string();
  };
  const GameRun pngs = runGame({"--all", "-o", path("g-%02d.png"), "--size",
                                "48", "--artwork", artwork, "--threads", "2"},
                               kThreeGames);
  EXPECT_EQ(1, pngs.status);
  EXPECT_EQ("tib-game: game 2, ply 3 (2. Nf4): no knight can move to f4\n",
            pngs.err);
  EXPECT_FALSE(std::filesystem::exists(path("g-02.png")));
  // Each file is what the game alone draws, bars and all.
  for (const char* game : {"1", "3"}) {
    const GameRun alone = runGame({"--game", game, "-o", path("alone.png"),
                                   "--size", "48", "--artwork", artwork},
                                  kThreeGames);
    ASSERT_EQ(0, alone.status) << alone.err;
    EXPECT_EQ(readText(path("alone.png")),
              readText(path(std::string("g-0") + game + ".png")))
        << game;
  }
  // A GIF range past the first game fails that game alone.
  const GameRun gifs = runGame({"--all", "-o", path("%d.gif"), "--size", "32",
                                "--to", "3", "--artwork", artwork},
                               kThreeGames);
  EXPECT_EQ(1, gifs.status);
  EXPECT_EQ(
      "tib-game: game 1: --to 3: the game has 2 plies\n"
      "tib-game: game 2, ply 3 (2. Nf4): no knight can move to f4\n",
      gifs.err);
  const std::string bytes = readText(path("3.gif"));
  const auto decoded = codec::test::decodeGif({bytes.begin(), bytes.end()});
  ASSERT_TRUE(decoded);
  EXPECT_EQ(4U, decoded->frames.size());
  EXPECT_FALSE(std::filesystem::exists(path("1.gif")));
  // A pattern ending in .svg: each game's SVG, bars and all, no warning.
  const GameRun svgs = runGame(
      {"--all", "-o", path("%d.svg"), "--size", "48", "--artwork", artwork},
      kThreeGames);
  EXPECT_EQ(pngs.err, svgs.err);
  for (const char* game : {"1", "3"}) {
    const GameRun alone = runGame({"--game", game, "-o", path("alone.svg"),
                                   "--size", "48", "--artwork", artwork},
                                  kThreeGames);
    EXPECT_EQ("", alone.err);
    const std::string svg = readText(path(std::string(game) + ".svg"));
    EXPECT_EQ(readText(path("alone.svg")), svg) << game;
    EXPECT_EQ(0U, svg.rfind("<svg", 0)) << game;
  }
}

}  // namespace

}  // namespace tib
