// The parameters of /game.gif and the frames of a game from a PGN or from
// JSON in the shape of lila-gif's game endpoint.
#include "server/game_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gif_decode.h"
#include "tib/game/decorated_game.h"
#include "tib/game/gif_budget.h"

namespace tib {

namespace {

using Query = std::vector<std::pair<std::string, std::string>>;

Square at(const char* name) { return chess::squareNamed(name).value(); }

std::string refusalOf(const Query& query, std::size_t maxFrames = 1000) {
  try {
    gameFramesOf(readGifQuery(query, 2048), maxFrames);
  } catch (const GameRequestError& error) {
    return error.what();
  }
  return "";
}

TEST(GameRequest, QueryValuesAndRefusals) {
  const GifRequest plain = readGifQuery({}, 2048);
  EXPECT_EQ(480, plain.settings.Size);
  EXPECT_EQ(std::optional<unsigned>(80), plain.animation.delay);
  const GifRequest read = readGifQuery({{"size", "300"},
                                        {"delay", "real"},
                                        {"arrows", "0"},
                                        {"color", "black"},
                                        {"from", "2"},
                                        {"to", "9"},
                                        {"game", "3"},
                                        {"lastDelay", "9"}},
                                       2048);
  EXPECT_EQ(300, read.settings.Size);
  EXPECT_FALSE(read.animation.delay);
  EXPECT_FALSE(read.animation.marks);
  EXPECT_EQ(Orientation::black, read.orientation);
  EXPECT_EQ(2U, read.animation.from);
  EXPECT_EQ(std::optional<std::size_t>(9), read.animation.to);
  EXPECT_EQ(3U, read.game);
  EXPECT_EQ(9U, read.animation.lastDelay);
  const struct {
    Query query;
    const char* named;
  } refused[] = {
      {{{"size", "0"}}, "size=0"},
      {{{"size", "4000"}}, "size=4000"},
      {{{"delay", "fast"}}, "delay=fast"},
      {{{"delay", "65536"}}, "delay=65536"},
      {{{"orientation", "up"}}, "orientation=up"},
      {{{"arrows", "maybe"}}, "arrows=maybe"},
      {{{"game", "0"}}, "game=0"},
      {{}, "no game"},
      {{{"pgn", "1. e4 e5 2. Nf4"}}, "game 1, ply 3 (2. Nf4)"},
      {{{"pgn", "1. e4 *"}, {"game", "2"}}, "holds 1 game"},
      {{{"pgn", "1. e4 e5 2. Nf3 *"}, {"from", "2"}, {"to", "5"}},
       "the game has 3 plies"},
  };
  for (const auto& c : refused) {
    const std::string refusal = refusalOf(c.query);
    EXPECT_NE(std::string::npos, refusal.find(c.named))
        << c.named << " gave: " << refusal;
  }
  EXPECT_NE(std::string::npos,
            refusalOf({{"pgn", "1. e4 e5 2. Nf3 Nc6 *"}}, 4).find("at most 4"));
  EXPECT_EQ("", refusalOf({{"pgn", "1. e4 e5 2. Nf3 *"}}, 4));
}

TEST(GameRequest, FramesOfAPgn) {
  GifRequest request = readGifQuery(
      {{"pgn", "[White \"Ann\"]\n\n1. e4 e5 {[%cal Gg1f3]} 2. Nf3!? *"},
       {"from", "1"},
       {"black", "Bo"},
       {"delay", "30"}},
      2048);
  const GameFrames game = gameFramesOf(request, 1000);
  ASSERT_EQ(3U, game.frames.size());
  ASSERT_EQ(3U, game.decorations.size());
  EXPECT_EQ((std::vector<Square>{at("e2"), at("e4")}),
            game.frames[0].diagram.annotations.lastMove);
  EXPECT_EQ(1U, game.frames[1].diagram.annotations.arrows.size());
  EXPECT_EQ(30U, game.frames[0].delayCentiseconds);
  EXPECT_EQ(500U, game.frames[2].delayCentiseconds);
  ASSERT_TRUE(game.decorations[2].bars);
  EXPECT_EQ("Ann", game.decorations[2].bars->white.name);
  EXPECT_EQ("Bo", game.decorations[2].bars->black.name);
  EXPECT_EQ(std::optional<MoveGlyph>(MoveGlyph::interesting),
            game.decorations[2].glyph);
  request.animation.marks = false;
  request.players = false;
  const GameFrames bare = gameFramesOf(request, 1000);
  EXPECT_TRUE(bare.frames[1].diagram.annotations.arrows.empty());
  EXPECT_FALSE(bare.decorations[2].bars);
}

TEST(GameRequest, FramesOfLilaGifJson) {
  GifRequest request;
  request.json = R"({"white": "Ann", "black": "Bo", "orientation": "black",
    "delay": 40, "theme": "green", "piece": "merida", "coordinates": false,
    "frames": [
      {"fen": "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
      {"fen": "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1",
       "lastMove": "e2e4", "clock": {"white": 5900, "black": 6000}},
      {"fen": "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",
       "lastMove": "d8h4", "check": "e1", "delay": 7}]})";
  const GameFrames game = gameFramesOf(request, 1000);
  ASSERT_EQ(3U, game.frames.size());
  EXPECT_EQ("green", game.theme);
  EXPECT_EQ("merida", game.piece);
  const Annotations& first = game.frames[0].diagram.annotations;
  EXPECT_EQ(Orientation::black, first.orientation);
  EXPECT_FALSE(first.coordinates);
  EXPECT_EQ(40U, game.frames[0].delayCentiseconds);
  EXPECT_EQ(7U, game.frames[2].delayCentiseconds);
  EXPECT_EQ((std::vector<Square>{at("e2"), at("e4")}),
            game.frames[1].diagram.annotations.lastMove);
  EXPECT_EQ(std::optional<Square>(at("e1")),
            game.frames[2].diagram.annotations.check);
  ASSERT_TRUE(game.decorations[1].bars);
  EXPECT_EQ(std::optional<int>(5900),
            game.decorations[1].bars->white.clockCentiseconds);
  EXPECT_EQ(chess::Side::black, game.decorations[1].bars->bottom);

  const struct {
    std::string json;
    const char* named;
  } refused[] = {
      {"not json", "not JSON"},
      {"[1, 2]", "not a JSON object"},
      {R"({"frames": []})", "frames"},
      {R"({"frames": [{"lastMove": "e2e4"}]})", "frames[0].fen"},
      {R"({"frames": [{"fen": "8/8 w", "lastMove": "e9e4"}]})",
       "frames[0].lastMove"},
      {R"({"frames": [{"fen": "8/8 w", "check": "z9"}]})", "frames[0].check"},
      {R"({"frames": [{"fen": "8/8 w", "delay": -1}]})", "frames[0].delay"},
      {R"({"orientation": "up", "frames": [{"fen": "8/8 w"}]})", "orientation"},
      {std::string(1000, '[') + std::string(1000, ']'), "deeper than"},
      {R"({"frames": [{"fen": "8/8 w"}, {"fen": "8/8 b"}, {"fen": "8 w"}]})",
       "at most 2"},
  };
  for (const auto& c : refused) {
    GifRequest bad;
    bad.json = c.json;
    try {
      gameFramesOf(bad, 2);
      ADD_FAILURE() << c.named << " was accepted";
    } catch (const GameRequestError& error) {
      EXPECT_NE(std::string::npos, std::string(error.what()).find(c.named))
          << c.named << " gave: " << error.what();
    }
  }
}

// lila-gif JSON drawn as a GIF: no names and no clock on the first frame,
// the same position twice with another last move, no delays.
TEST(GameRequest, LilaGifJsonAnimatesItsBarsTintsAndLastDelay) {
  GifRequest request;
  request.settings.Size = 160;
  request.json = R"({"orientation": "black", "frames": [
      {"fen": "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
      {"fen": "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1",
       "lastMove": "e2e4", "clock": {"white": 5900, "black": 6000}},
      {"fen": "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1",
       "lastMove": "e3e4", "clock": {"white": 5900, "black": 6000}}]})";
  GameFrames game = gameFramesOf(request, 1000);
  ASSERT_EQ(3U, game.frames.size());
  ASSERT_FALSE(game.decorations[0].bars);
  const Artwork artwork = [] {
    Artwork loaded = loadArtwork(TIB_ARTWORK_DIR, {Side::white, Side::black});
    ArtworkBudget budget;
    loadOtherBoards(TIB_ARTWORK_DIR, budget, loaded.boards);
    return loaded;
  }();
  const Lettering lettering;
  const codec::GifPalette palette =
      decoratedPalette(artwork, artwork.sprites, lettering);
  std::vector<unsigned char> bytes;
  writeDecoratedAnimation(
      artwork, artwork.sprites, palette, game.frames, game.decorations,
      lettering, [&bytes](const unsigned char* data, std::size_t size) {
        bytes.insert(bytes.end(), data, data + size);
      });
  const auto gif = codec::test::decodeGif(bytes);
  ASSERT_TRUE(gif);
  ASSERT_EQ(3U, gif->frames.size());
  EXPECT_EQ(160 + 2 * barHeight(160), gif->height);
  EXPECT_EQ(80, gif->frames[1].delay);
  EXPECT_EQ(500, gif->frames[2].delay);
  // The first frame's bars empty, black at the bottom.
  game.decorations[0].bars = game.decorations[1].bars;
  game.decorations[0].bars->white.clockCentiseconds.reset();
  game.decorations[0].bars->black.clockCentiseconds.reset();
  const auto screens = codec::test::screens(*gif);
  for (std::size_t f = 0; f < 3; ++f) {
    const ImageBuffer picture =
        decoratedPixels(artwork, artwork.sprites, game.frames[f].diagram,
                        game.decorations[f], lettering);
    std::vector<unsigned char> expected(picture.pixels.size() / 4);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      expected[i] = palette.indexOf(codec::packRgb(&picture.pixels[i * 4]));
    }
    EXPECT_TRUE(expected == screens[f]) << "frame " << f;
  }
}

// A puzzle with evaluations as a PGN and as lila-gif's JSON: the same
// bars, material since the start, carried evaluation and judged move.
TEST(GameRequest, JsonFramesAnalysedLikeTheSamePgn) {
  GifRequest pgn;
  pgn.settings.Size = 160;
  pgn.analysis.judge = true;
  pgn.pgn =
      "[White \"W\"]\n[Black \"B\"]\n[FEN \"4k3/8/8/8/8/8/4P3/4K3 w - - 0 "
      "1\"]\n"
      "\n{[%eval 0.3]} 1. e4 {[%eval 0.2]} Kd7 {[%eval 3.5]} 2. Kd2 *";
  GifRequest json = pgn;
  json.pgn.clear();
  json.json = R"({"white": "W", "black": "B", "frames": [
      {"fen": "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", "eval": 30},
      {"fen": "4k3/8/8/8/4P3/8/8/4K3 b - - 0 1", "lastMove": "e2e4",
       "eval": 20},
      {"fen": "8/3k4/8/8/4P3/8/8/4K3 w - - 1 2", "lastMove": "e8d7",
       "eval": 350},
      {"fen": "8/3k4/8/8/4P3/8/3K4/8 b - - 2 2", "lastMove": "e1d2"}]})";
  const GameFrames fromPgn = gameFramesOf(pgn, 1000);
  const GameFrames fromJson = gameFramesOf(json, 1000);
  ASSERT_EQ(4U, fromJson.frames.size());
  ASSERT_TRUE(fromJson.decorations[2].glyph);
  EXPECT_EQ(at("d7"), fromJson.decorations[2].glyphSquare);
  EXPECT_EQ("+1", fromJson.decorations[3].bars->white.material);
  const Artwork artwork = loadArtwork(TIB_ARTWORK_DIR, {Side::white});
  const Lettering lettering;
  for (std::size_t f = 0; f < 4; ++f) {
    const auto pictureOf = [&](const GameFrames& game) {
      return decoratedPixels(artwork, artwork.sprites, game.frames[f].diagram,
                             game.decorations[f], lettering)
          .pixels;
    };
    EXPECT_TRUE(pictureOf(fromPgn) == pictureOf(fromJson)) << "frame " << f;
  }
}

// Each message names what the user gave, in the order the user thinks:
// the game's length before the frame limit, JSON fields by their path.
TEST(GameRequest, MessagesNameWhatWasGiven) {
  const struct {
    Query query;
    std::string json;
    std::size_t maxFrames;
    const char* says;
  } cases[] = {
      {{{"pgn", "1.e4 e5"}, {"to", "5000"}},
       "",
       1,
       "to=5000: the game has 2 plies"},
      {{{"pgn", "1.e4 e5"}, {"from", "3"}},
       "",
       1000,
       "from=3: the game has 2 plies"},
      {{{"pgn", "1.e4"}, {"from", "2"}},
       "",
       1000,
       "from=2: the game has 1 ply"},
      {{{"pgn", "1.e4 e5"}, {"from", "2"}, {"to", "1"}},
       "",
       1000,
       "from=2 to=1: from lies past to"},
      {{{"pgn", "1.e4 e5"}, {"to", "2"}},
       "",
       2,
       "3 frames: at most 2 (--max-frames); cut the game with from= and to="},
      {{}, R"({"frames":[1]})", 1000, "body: frames[0]: not an object"},
      {{},
       R"({"frames":[{"fen":"8/8 w","clock":{"white":"5"}}]})",
       1000,
       "body: frames[0].clock.white: not a whole number from 0 to 1073741824"},
      {{},
       R"({"theme":3,"frames":[{"fen":"8/8 w"}]})",
       1000,
       "body: theme: not a string"},
      {{},
       R"({"frames":[{"fen":"8/8 w","eval":"+1"}]})",
       1000,
       "body: frames[0].eval: centipawns, or a mate as \"#-3\""},
  };
  for (const auto& c : cases) {
    GifRequest request = readGifQuery(c.query, 2048);
    request.json = c.json;
    try {
      gameFramesOf(request, c.maxFrames);
      ADD_FAILURE() << c.says << ": accepted";
    } catch (const GameRequestError& error) {
      EXPECT_EQ(c.says, std::string(error.what()));
    }
  }
}

// The budget at its edge: exactly the budget passes, a frame more does not;
// bars of any frame count on every frame.
TEST(GameRequest, TheBudgetOfPixelsAtItsEdge) {
  const std::string frame = R"({"fen": "8/8/8/8/8/8/8/K6k w"})";
  const std::string clocked =
      R"({"fen": "8/8/8/8/8/8/8/K6k b", "clock": {"white": 100}})";
  const std::string evaluated = R"({"fen": "8/8/8/8/8/8/8/K6k b", "eval": 35})";
  const struct {
    std::string frames;
    uint64_t budget;
    const char* says;
  } cases[] = {
      {frame + "," + frame + "," + frame, 300, ""},
      {frame + "," + frame + "," + frame + "," + frame, 300,
       "the GIF would be 4 frames of 10 x 10 pixels (400 pixels): at most 300 "
       "(--max-gif-pixels)"},
      // barHeight(10) is 1: 10 x 12 pixels in every frame.
      {frame + "," + clocked, 240, ""},
      {frame + "," + clocked, 239,
       "the GIF would be 2 frames of 10 x 12 pixels (240 pixels): at most 239 "
       "(--max-gif-pixels)"},
      // The evaluation bar's column, 2 wide, on every frame.
      {frame + "," + evaluated, 239,
       "the GIF would be 2 frames of 12 x 10 pixels (240 pixels): at most 239 "
       "(--max-gif-pixels)"},
  };
  for (const auto& c : cases) {
    GifRequest request = readGifQuery({{"size", "10"}}, 2048);
    request.json = R"({"frames": [)" + c.frames + "]}";
    std::string says;
    try {
      gameFramesOf(request, 1000, c.budget);
    } catch (const GameRequestError& error) {
      says = error.what();
    }
    EXPECT_EQ(c.says, says) << c.budget;
  }
  GifRequest pgn = readGifQuery(
      {{"pgn", "1. e4 e5 *"}, {"size", "10"}, {"players", "0"}}, 2048);
  EXPECT_NO_THROW(gameFramesOf(pgn, 1000, 300));
  EXPECT_THROW(gameFramesOf(pgn, 1000, 299), GameRequestError);
  // The default lets a whole game of 1,000 plies at 720 with both bars
  // through; the evaluation bar's column widens each frame.
  EXPECT_EQ(std::nullopt,
            gifOverBudget(1000, 720, {true, true}, kDefaultMaxGifPixels));
  EXPECT_EQ(
      "the GIF would be 1000 frames of 2048 x 2048 pixels (4194304000 "
      "pixels): at most 700000000",
      gifOverBudget(1000, 2048, {}, kDefaultMaxGifPixels).value_or(""));
  EXPECT_EQ(
      "the GIF would be 2 frames of 32 x 30 pixels (1920 pixels): at most 1919",
      gifOverBudget(2, 30, {false, true}, 1919).value_or(""));
}

}  // namespace

}  // namespace tib
