// tib-server end to end: a server on a free port of 127.0.0.1 with synthetic
// artwork, its answers compared byte for byte with the files tib writes.
#include <gtest/gtest.h>
#include <poll.h>

#include <array>
#include <set>

#include "codec/png_decode.h"
#include "gif_decode.h"
#include "server/request.h"
#include "server_support.h"
#include "tib/board/render.h"

namespace tib {

namespace {

TEST_F(ServerTest, ServesTheBytesTibWrites) {
  struct Case {
    std::string query;
    std::vector<std::string> args;
    std::string theme;
  };
  const std::vector<Case> cases = {
      {"", {}, ""},
      {"fen=4k3%2F8%2F8%2F8%2F8%2F8%2F8%2F4K3%20b&size=300",
       {"fen=4k3/8/8/8/8/8/8/4K3 b", "size=300"},
       ""},
      {"fen=rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR+b+KQkq+e3+0+1&"
       "scale=1&size=200",
       {"fen=rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
        "scale=1", "size=200"},
       ""},
      {"size=123px&scale=0x1.8p0&fen=Q%2fk9%2F%2F%2Fz~12%2Fpp%25",
       {"size=123px", "scale=0x1.8p0", "fen=Q/k9///z~12/pp%"},
       ""},
      {"fen=%2B%2b+b&scale=nan&size=64",
       {"fen=++ b", "scale=nan", "size=64"},
       ""},
      {"size=100&size=250&scale=2.5&fen=&extra=1",
       {"size=100", "size=250", "scale=2.5", "fen="},
       ""},
      {"theme=alt&size=150&fen=KQkq%2F%2Fqq+w&scale=-1.0e0",
       {"size=150", "fen=KQkq//qq w", "scale=-1.0e0"},
       "alt"},
      {"theme=alt&size=333&fen=QQ", {"size=333", "fen=QQ"}, "alt"},
  };
  // A connection for each: a slow tib run must not outlast the server's
  // wait for the next request.
  const uint16_t port = start();
  for (const Case& c : cases) {
    const Response response = Client(port).get("/board.png?" + c.query);
    EXPECT_EQ(200U, response.result_int()) << c.query;
    EXPECT_EQ("image/png", response[http::field::content_type]);
    EXPECT_EQ("*", response[http::field::access_control_allow_origin]);
    EXPECT_TRUE(response.body() == tibFile(c.args, c.theme)) << c.query;
  }
  // The missing white queen of "alt" was reported at start.
  EXPECT_NE(std::string::npos,
            server_->log().find("theme alt (" +
                                (folder_.path() / "themes" / "alt").string() +
                                "): Warning: Could not load t_wq.png"));
}

TEST_F(ServerTest, RefusesWithAStatusAndOneLine) {
  struct Case {
    http::verb method;
    std::string target;
    Fields fields;
    unsigned status;
  };
  const std::string longTarget = "/board.png?fen=" + std::string(9000, 'p');
  const std::vector<Case> cases = {
      {http::verb::get, "/board.png?size=abc", {}, 400},
      {http::verb::get, "/board.png?size=", {}, 400},
      {http::verb::get, "/board.png?size=0", {}, 400},
      {http::verb::get, "/board.png?size=601", {}, 400},
      {http::verb::get, "/board.png?size=99999999999", {}, 400},
      {http::verb::get, "/board.png?scale=1e99", {}, 400},
      {http::verb::get, "/board.png?scale=x&size=100", {}, 400},
      {http::verb::get, "/board.png?theme=nope", {}, 400},
      {http::verb::get, "/board.png?theme=empty", {}, 400},
      {http::verb::get, "/board.png?orientation=black", {}, 400},
      {http::verb::get, "/board.png?arrows=Ge2e4,Xe5", {}, 400},
      {http::verb::get, "/index.htm", {}, 404},
      {http::verb::get, "/board.png/x", {}, 404},
      {http::verb::post, "/board.png", {}, 405},
      {http::verb::delete_, "/healthz", {}, 405},
      {http::verb::get, longTarget, {}, 414},
      {http::verb::get, longTarget + longTarget, {}, 414},
      {http::verb::get, "/healthz", {{"X-Long", std::string(20000, 'x')}}, 431},
  };
  const uint16_t port = start({"--max-size", "600"});
  for (const Case& c : cases) {
    Client client(port);
    const Response response = client.get(c.target, c.fields, c.method);
    const std::string& body = response.body();
    EXPECT_EQ(c.status, response.result_int()) << c.target.substr(0, 40);
    EXPECT_EQ("text/plain; charset=utf-8", response[http::field::content_type]);
    EXPECT_EQ("*", response[http::field::access_control_allow_origin]);
    EXPECT_TRUE(body.size() > 1 && body.find('\n') == body.size() - 1) << body;
    if (c.status == 405) {
      EXPECT_EQ(c.target == "/board.png" ? "GET, HEAD, OPTIONS" : "GET, HEAD",
                response[http::field::allow]);
    }
  }
  // Still serving.
  EXPECT_EQ("ok\n", Client(port).get("/healthz").body());
  EXPECT_EQ(200U, Client(port).get("/board.png?size=600").result_int());
}

TEST_F(ServerTest, TagsCacheAndKeepsConnectionsOpen) {
  Client client(start());
  const Response first = client.get("/board.png?size=100");
  const std::string tag = std::string(first[http::field::etag]);
  EXPECT_EQ(18U, tag.size());
  EXPECT_EQ("public, max-age=86400", first[http::field::cache_control]);
  // Another text for the same values: same tag, and 304 without a body.
  for (const std::string& match : {tag, "\"x\", W/" + tag, std::string("*")}) {
    const Response again = client.get(
        "/board.png?size=100px&fen=rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/"
        "RNBQKBNR+w+KQkq+-+0+1",
        {{"If-None-Match", match}});
    EXPECT_EQ(304U, again.result_int()) << match;
    EXPECT_EQ("*", again[http::field::access_control_allow_origin]);
    EXPECT_EQ(tag, again[http::field::etag]);
    EXPECT_TRUE(again.body().empty());
  }
  EXPECT_EQ(200U,
            client.get("/board.png?size=100", {{"If-None-Match", "\"x\""}})
                .result_int());
  for (const char* other :
       {"size=101", "size=100&theme=alt", "size=100&scale=1.3001"}) {
    EXPECT_NE(tag,
              client.get(std::string("/board.png?") + other)[http::field::etag])
        << other;
  }
  const Response head = client.get("/board.png?size=100", {}, http::verb::head);
  EXPECT_EQ(200U, head.result_int());
  EXPECT_EQ(std::to_string(first.body().size()),
            head[http::field::content_length]);
  EXPECT_TRUE(head.body().empty());
  EXPECT_EQ("ok\n", client.get("/healthz").body());
  // Every request above went over the one connection.
  EXPECT_TRUE(client.get("/healthz").keep_alive());
}

// A page on another site may post a game: OPTIONS on /game.gif and
// /board.png answers the preflight, and the answers let the page read them.
TEST_F(ServerTest, AnswersTheCorsPreflight) {
  const uint16_t port = start();
  for (const auto& [target, methods] :
       {std::pair<std::string, std::string>{"/game.gif",
                                            "GET, HEAD, POST, OPTIONS"},
        {"/board.png?size=8", "GET, HEAD, OPTIONS"}}) {
    Client client(port);
    const Response preflight =
        client.get(target,
                   {{"Origin", "https://example.org"},
                    {"Access-Control-Request-Method", "POST"},
                    {"Access-Control-Request-Headers", "content-type"}},
                   http::verb::options);
    EXPECT_EQ(204U, preflight.result_int()) << target;
    EXPECT_EQ(methods, preflight[http::field::access_control_allow_methods]);
    EXPECT_EQ("Content-Type",
              preflight[http::field::access_control_allow_headers]);
    EXPECT_EQ("86400", preflight[http::field::access_control_max_age]);
    EXPECT_EQ("*", preflight[http::field::access_control_allow_origin]);
    EXPECT_TRUE(preflight.body().empty());
    // The connection serves the next request.
    EXPECT_EQ("*",
              client.get(target)[http::field::access_control_allow_origin]);
  }
  const Response put = Client(port).get("/game.gif", {}, http::verb::put);
  EXPECT_EQ(405U, put.result_int());
  EXPECT_EQ("GET, HEAD, POST, OPTIONS", put[http::field::allow]);
  EXPECT_EQ(
      "method PUT not allowed on /game.gif; use GET, HEAD, POST, "
      "OPTIONS\n",
      put.body());
}

// glyph= on a diagram without bars draws its badge, and nothing else.
TEST_F(ServerTest, DrawsTheGlyphsBadgeWithoutBars) {
  const uint16_t port = start();
  Client client(port);
  const std::string query =
      "/board.png?size=256&fen=4k3/8/8/8/4P3/8/8/4K3+b&lastMove=e2e4";
  const auto pixels = [&client](const std::string& target) {
    const Response response = client.get(target);
    EXPECT_EQ(200U, response.result_int()) << response.body();
    const std::string& body = response.body();
    return codec::decodePng(
               std::vector<unsigned char>(body.begin(), body.end()))
        .image;
  };
  const auto plain = pixels(query);
  const auto badged = pixels(query + "&glyph=!!");
  ASSERT_EQ(plain.pixels.size(), badged.pixels.size());
  // The square e4 on the canvas, as the output shows it, with a quarter of
  // a square around it for the badge's overhang.
  const Box square = squareBox({4, 3}, Orientation::white);
  const float scale = 256.0F / static_cast<float>(kCanvasEdge);
  const float margin = static_cast<float>(square.w) / 4;
  std::size_t changed = 0;
  for (uint32_t y = 0; y < plain.height; ++y) {
    for (uint32_t x = 0; x < plain.width; ++x) {
      const std::size_t at = (std::size_t{y} * plain.width + x) * 4;
      if (std::equal(&plain.pixels[at], &plain.pixels[at] + 4,
                     &badged.pixels[at])) {
        continue;
      }
      ++changed;
      const float cx = static_cast<float>(x) / scale;
      const float cy = static_cast<float>(y) / scale;
      EXPECT_TRUE(cx >= static_cast<float>(square.x) - margin &&
                  cx <= static_cast<float>(square.x + square.w) + margin &&
                  cy >= static_cast<float>(square.y) - margin &&
                  cy <= static_cast<float>(square.y + square.h) + margin)
          << x << "," << y;
    }
  }
  EXPECT_GT(changed, 0U);
}

TEST_F(ServerTest, ServesAnnotatedDiagramsAndThePage) {
  // Theme "alt" gets the boards of the other views; the default has none.
  // A theme named with characters HTML gives a meaning to, and piece sets,
  // for the page's lists.
  const auto alt = folder_.path() / "themes" / "alt";
  const std::string oddTheme = "a\"<b>&c'";
  const auto odd = folder_.path() / "themes" / oddTheme;
  for (const auto& folder : {odd, folder_.path() / "pieces" / "R&D <x>",
                             folder_.path() / "pieces" / "plain"}) {
    std::filesystem::create_directories(folder);
    writeArtwork(folder);
  }
  for (std::size_t index = 1; index < kBoardFiles.size(); ++index) {
    writePng(alt / kBoardFiles.at(index), noiseImage(1024, 1024, 7));
    writePng(odd / kBoardFiles.at(index), noiseImage(1024, 1024, 8));
  }
  ArtworkBudget budget;
  auto artwork = std::make_shared<Artwork>(
      loadArtwork(alt.string(), {Side::white, Side::black}));
  loadOtherBoards(alt.string(), budget, artwork->boards);
  Served alone;
  alone.themes.emplace("", Theme{artwork, 0});
  // The game's theme has noise boards, whose GIF palette takes a bounded
  // time however many colours they hold.
  const uint16_t port = start();
  Client client(port);
  const std::string query =
      "/board.png?fen=4k3/8/8/8/8/8/8/4K3+b&size=300&orientation=black&"
      "lastMove=e2e1&check=true&arrows=Ge1e8,Rd4&highlight=Ya1";
  const std::vector<unsigned char> png = renderPng(
      *artwork, std::get<Render>(
                    decideRequest({"GET", query, {}, {}, false}, alone, 2048))
                    .diagram);
  EXPECT_TRUE(client.get(query + "&theme=alt").body() ==
              std::string(png.begin(), png.end()));
  EXPECT_NE(std::string::npos,
            client.get(query).body().find("has no t_board_black.png"));
  const Response page = client.get("/index.html");
  EXPECT_EQ("text/html; charset=utf-8", page[http::field::content_type]);
  EXPECT_EQ("*", page[http::field::access_control_allow_origin]);
  PageVisit visit;
  visit.diagram = {{"fen",
                    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/"
                    "2N1PN2/PP2BPPP/R2QKB1R b KQ - 3 8"},
                   {"size", "300"},
                   {"theme", "alt"},
                   {"piece", "R&D <x>"},
                   {"orientation", "black"},
                   {"coordinates", "0"},
                   {"lastMove", "f1e2"},
                   {"check", "true"},
                   {"arrows", "Gd5c4,Rb7"},
                   {"highlight", "Yd5,Be5"}};
  visit.game = {{"size", "120"},
                {"theme", oddTheme},
                {"piece", "plain"},
                {"orientation", "black"},
                {"coordinates", "0"},
                {"delay", "40"},
                {"pgn", "1. e4 e5\n2. Nf3 Nc6 *"}};
  visit.brokenPgn = "1. e4 e5 2. Nf4 *";
  visit.themes = {"", oddTheme, "alt"};
  visit.pieces = {"", "R&D <x>", "plain"};
  checkPageInChromium(port, visit);
}

// Every board of theme alt is noise, every pixel a colour of its own: its
// palette is built well within the default render time.
TEST_F(ServerTest, AGifOnANoiseBoardIsWholeUnderTheDefaultRenderTime) {
  const auto alt = folder_.path() / "themes" / "alt";
  for (std::size_t index = 1; index < kBoardFiles.size(); ++index) {
    writePng(alt / kBoardFiles.at(index),
             noiseImage(1024, 1024, 40 + static_cast<uint32_t>(index)));
  }
  Client client(start());
  const Response gif =
      client.get("/game.gif?theme=alt&size=240&pgn=1.%20e4%20e5%20*");
  ASSERT_EQ(200U, gif.result_int()) << gif.body();
  ASSERT_FALSE(gif.body().empty());
  EXPECT_EQ(';', gif.body().back()) << "the GIF was cut";
}

TEST_F(ServerTest, FinishesTheRequestInFlightOnSigterm) {
  const uint16_t port = start();
  Client client(port);
  // Far longer to draw than the signal takes to arrive, and well within
  // the stop's grace: 2048 x 2048 noise, or 400 x 400 in the slower builds.
  // cppcheck-suppress knownConditionTrueFalse
  const std::string size = kSlowdown > 1 ? "400" : "2048";
  client.send("/board.png?size=" + size);
  // The signal comes once the render has started: the I/O thread hands a
  // request to an idle worker as it counts it in flight, beside the one
  // asking.
  Client watcher(port);
  const auto end = std::chrono::steady_clock::now() + seconds(20);
  while (metricValue(watcher.get("/metrics").body(),
                     "tib_requests_in_flight") != "2" &&
         std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  server_->signal(SIGTERM);
  const Response response = client.receive();
  EXPECT_EQ(200U, response.result_int());
  EXPECT_FALSE(response.keep_alive());
  EXPECT_EQ(0, server_->waitExit(seconds(5))) << server_->log();
  EXPECT_TRUE(response.body() == tibFile({"size=" + size}, ""));
  const std::string log = server_->log();
  EXPECT_LT(log.find("stopping on SIGTERM"),
            log.find("GET /board.png?size=" + size + " 200"))
      << log;
}

TEST_F(ServerTest, TheBundledArtworkDrawsAsTibAndAsTheReadmeShows) {
  namespace fs = std::filesystem;
  const fs::path artwork = TIB_ARTWORK_DIR;
  server_.emplace(std::vector<std::string>{"--listen", "127.0.0.1:0",
                                           "--artwork", artwork.string()});
  Client client(server_->waitListening());
  const std::string fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R";
  std::set<std::string> tags;
  for (const auto& set : fs::directory_iterator(artwork / "pieces")) {
    const std::string name = set.path().filename().string();
    std::string target = "/board.png?size=300&theme=brown&fen=" + fen;
    target += "+w&piece=" + name;
    const Response response = client.get(target);
    ASSERT_EQ(200U, response.result_int()) << name;
    tags.insert(std::string(response[http::field::etag]));
    const auto out = output_.path() / (name + ".png");
    ASSERT_EQ(0, runTibBinary(set.path(), {"fen=" + fen + " w", "size=300",
                                           "file=" + out.string()})
                     .status);
    EXPECT_TRUE(response.body() == readText(out)) << name;
  }
  EXPECT_GE(tags.size(), 6U);
  const Response unknown = client.get("/board.png?piece=nope");
  EXPECT_EQ(400U, unknown.result_int());
  EXPECT_EQ("piece=nope: no such piece set\n", unknown.body());
  // The README's example, answered with the picture the README shows.
  const Response example = client.get(
      "/board.png?fen=r1bqkb1r/pppp1Qpp/2n2n2/4p3/2B1P3/8/PPPP1PPP/"
      "RNB1K1NR+b&lastMove=h5f7&check=true&arrows=Gc4f7,Rd8h4,Bf6h5&"
      "highlight=Yc4&size=400");
  EXPECT_TRUE(example.body() ==
              readText(artwork.parent_path() / "doc" / "annotated.png"));
}

TEST_F(ServerTest, ServesGamesAsTibGameDrawsThem) {
  namespace fs = std::filesystem;
  const fs::path artwork = TIB_ARTWORK_DIR;
  const fs::path doc = artwork.parent_path() / "doc";
  server_.emplace(std::vector<std::string>{
      "--listen", "127.0.0.1:0", "--artwork", artwork.string(), "--max-body",
      "3000", "--max-frames", "40"});
  const uint16_t port = server_->waitListening();
  ASSERT_NE(0, port);
  Client client(port);
  const std::string pgn = readText(doc / "opera.pgn");
  const std::string encoded = percentEncoded(pgn);
  // A ply, as tib-game draws it; and one diagram reached by its PGN or by
  // its FEN with the same marks is one diagram with one tag.
  const Response ply = client.get("/board.png?size=400&ply=31&pgn=" + encoded);
  ASSERT_EQ(200U, ply.result_int()) << ply.body();
  EXPECT_TRUE(ply.body() == readText(doc / "opera-ply31.png"));
  const Response byGame =
      client.get("/board.png?size=400&ply=31&players=0&pgn=" + encoded);
  const Response byFen = client.get(
      "/board.png?size=400&fen=1Q2kb1r/p2n1ppp/4q3/4p1B1/4P3/8/PPP2PPP/"
      "2KR4+b&lastMove=b3b8&check=true&glyph=!!");
  ASSERT_EQ(200U, byFen.result_int()) << byFen.body();
  EXPECT_TRUE(byGame.body() == byFen.body());
  EXPECT_EQ(byGame[http::field::etag], byFen[http::field::etag]);
  // The game animated, as tib-game makes it, by GET and by POST.
  const Response gif = client.get("/game.gif?size=360&pgn=" + encoded);
  ASSERT_EQ(200U, gif.result_int()) << gif.body();
  EXPECT_EQ("image/gif", gif[http::field::content_type]);
  EXPECT_TRUE(gif.body() == readText(doc / "opera.gif"));
  EXPECT_EQ(304U,
            client
                .get("/game.gif?size=360&pgn=" + encoded,
                     {{"If-None-Match", std::string(gif[http::field::etag])}})
                .result_int());
  const Response posted = client.post(
      "/game.gif?size=360", pgn, {{"Content-Type", "application/x-chess-pgn"}});
  EXPECT_TRUE(posted.body() == gif.body());
  // A body of exactly --max-body bytes is read; one more is refused.
  ASSERT_LT(pgn.size(), 3000U);
  const std::string whole = pgn + std::string(3000 - pgn.size(), ' ');
  EXPECT_EQ(200U, client
                      .post("/game.gif?size=16", whole,
                            {{"Content-Type", "text/plain; charset=utf-8"}})
                      .result_int());
  EXPECT_EQ(413U, Client(port)
                      .post("/game.gif?size=16", whole + " ",
                            {{"Content-Type", "text/plain"}})
                      .result_int());
  const Response json = client.post(
      "/game.gif?size=64",
      R"({"frames": [{"fen": "8/8/8/8/8/8/8/K6k w"}, {"fen": "8/8/8/8/8/8/K7/7k b", "lastMove": "a1a2"}]})",
      {{"Content-Type", "application/json"}});
  EXPECT_EQ(200U, json.result_int()) << json.body();
  EXPECT_EQ("GIF89a", json.body().substr(0, 6));
  // The other formats, drawn whole and sent with their length, by GET and
  // by POST; each its own tag.
  const struct {
    std::string path;
    std::string type;
    std::size_t magicAt;
    std::string magic;
  } formats[] = {{"/game.webp", "image/webp", 8, "WEBP"},
                 {"/game.mp4", "video/mp4", 4, "ftyp"},
                 {"/game.webm", "video/webm", 0, "\x1a\x45\xdf\xa3"}};
  const Response shortGif = client.get("/game.gif?size=64&to=6&pgn=" + encoded);
  for (const auto& format : formats) {
    const Response got =
        client.get(format.path + "?size=64&to=6&pgn=" + encoded);
    ASSERT_EQ(200U, got.result_int()) << format.path << got.body();
    EXPECT_EQ(format.type, got[http::field::content_type]);
    EXPECT_EQ(std::to_string(got.body().size()),
              got[http::field::content_length]);
    EXPECT_EQ(format.magic,
              got.body().substr(format.magicAt, format.magic.size()));
    EXPECT_NE(shortGif[http::field::etag], got[http::field::etag]);
    const Response post = client.post(format.path + "?size=64&to=6", pgn,
                                      {{"Content-Type", "text/plain"}});
    EXPECT_EQ(got[http::field::etag], post[http::field::etag]);
    EXPECT_EQ(got.body().size(), post.body().size()) << format.path;
  }
  const struct {
    std::string target;
    std::string body;
    Fields fields;
    unsigned status;
    const char* says;
  } refused[] = {
      {"/game.gif?pgn=1.+e4+e5+2.+Nf4",
       "",
       {},
       400,
       "pgn: game 1, ply 3 (2. Nf4): no knight can move to f4"},
      {"/game.gif?size=64",
       pgn + std::string(3000, ' '),
       {{"Content-Type", "text/plain"}},
       413,
       "payload too large"},
      {"/game.gif?size=64",
       pgn,
       {{"Content-Type", "text/plain"}, {"Transfer-Encoding", "chunked"}},
       400,
       "Transfer-Encoding"},
      {"/board.png",
       "x=1",
       {{"Content-Type", "text/plain"}},
       400,
       "only POST /game.gif carries a body"},
      {"/game.gif",
       "1. e4",
       {{"Content-Type", "image/png"}},
       415,
       "unsupported media type"},
  };
  for (const auto& c : refused) {
    Client once(port);
    const Response response = c.body.empty()
                                  ? once.get(c.target)
                                  : once.post(c.target, c.body, c.fields);
    EXPECT_EQ(c.status, response.result_int()) << c.says;
    EXPECT_NE(std::string::npos, response.body().find(c.says))
        << response.body();
  }
  // A game longer than --max-frames is refused, naming the limit.
  std::string moves;
  for (int i = 0; i < 20; ++i) {
    moves += i % 2 == 0 ? "Nf3+Nf6+Ng1+Ng8+" : "Nc3+Nc6+Nb1+Nb8+";
  }
  const Response tooLong = client.get("/game.gif?pgn=" + moves);
  EXPECT_EQ(400U, tooLong.result_int());
  EXPECT_NE(std::string::npos, tooLong.body().find("at most 40"));
  EXPECT_EQ("5", metricValue(client.get("/metrics").body(), "tib_gifs_total"));
}

// The game GET /game.gif?size=360 gets, as raw bytes: the request line's
// version and fields given.
std::string gifRequest(const std::string& method, const std::string& pgn,
                       const std::string& version) {
  return method + " /game.gif?size=360&pgn=" + percentEncoded(pgn) + " " +
         version + "\r\nHost: h\r\nConnection: close\r\n\r\n";
}

// A head's fields but Date, which changes by the second.
std::set<std::string> fieldsButDate(const std::string& head) {
  std::set<std::string> fields;
  for (std::size_t at = head.find("\r\n") + 2; at < head.size();) {
    const std::size_t end = head.find("\r\n", at);
    const std::string line = head.substr(at, end - at);
    if (line.rfind("Date: ", 0) != 0) {
      fields.insert(line);
    }
    at = end + 2;
  }
  return fields;
}

TEST_F(ServerTest, StreamsGifsAsTheyAreMade) {
  namespace fs = std::filesystem;
  const fs::path doc = fs::path(TIB_ARTWORK_DIR).parent_path() / "doc";
  server_.emplace(std::vector<std::string>{"--listen", "127.0.0.1:0",
                                           "--artwork", TIB_ARTWORK_DIR});
  const uint16_t port = server_->waitListening();
  ASSERT_NE(0, port);
  const std::string pgn = readText(doc / "opera.pgn");
  const std::string expected = readText(doc / "opera.gif");
  const auto ask = [port](const std::string& request) {
    const int fd = rawConnection(port);
    EXPECT_EQ(static_cast<ssize_t>(request.size()),
              write(fd, request.data(), request.size()));
    std::string bytes = readUntilClosed(fd, milliseconds(10000));
    close(fd);
    return readStreamed(bytes);
  };
  // HTTP/1.1: chunks as the frames come, ended by the zero chunk; the GIF
  // is tib-game's, frame for frame.
  const Streamed chunked = ask(gifRequest("GET", pgn, "HTTP/1.1"));
  EXPECT_EQ(0U, chunked.head.rfind("HTTP/1.1 200 OK\r\n", 0)) << chunked.head;
  EXPECT_NE(std::string::npos,
            chunked.head.find("\r\nTransfer-Encoding: chunked\r\n"));
  EXPECT_EQ(std::string::npos, chunked.head.find("Content-Length"));
  EXPECT_TRUE(chunked.lastChunk);
  // Frames made while the previous write waits share a chunk: on a busy
  // machine only a few chunks may go out.
  EXPECT_GT(chunked.chunks, 1U);
  EXPECT_TRUE(chunked.body == expected);
  const auto decoded = codec::test::decodeGif(
      std::vector<unsigned char>(chunked.body.begin(), chunked.body.end()));
  const auto original = codec::test::decodeGif(
      std::vector<unsigned char>(expected.begin(), expected.end()));
  ASSERT_TRUE(decoded && original);
  EXPECT_EQ(codec::test::screens(*original), codec::test::screens(*decoded));
  // HTTP/1.0: no framing, the body ends with the connection.
  const Streamed plain = ask(gifRequest("GET", pgn, "HTTP/1.0"));
  EXPECT_EQ(0U, plain.head.rfind("HTTP/1.0 200 OK\r\n", 0)) << plain.head;
  EXPECT_EQ(std::string::npos, plain.head.find("Transfer-Encoding"));
  EXPECT_EQ(std::string::npos, plain.head.find("Content-Length"));
  EXPECT_TRUE(plain.body == expected);
  // HEAD: GET's head, nothing rendered.
  const Streamed head = ask(gifRequest("HEAD", pgn, "HTTP/1.1"));
  EXPECT_EQ(fieldsButDate(chunked.head), fieldsButDate(head.head));
  EXPECT_NE(std::string::npos, head.head.find("\r\nETag: \""));
  EXPECT_NE(std::string::npos, head.head.find("\r\nCache-Control: public"));
  EXPECT_EQ("", head.body);
  EXPECT_EQ(0U, ask(gifRequest("HEAD", "1. e4 e5 2. Nf4", "HTTP/1.1"))
                    .head.rfind("HTTP/1.1 400 ", 0));
  Client client(port);
  const std::string metrics = client.get("/metrics").body();
  EXPECT_EQ("2", metricValue(metrics, "tib_gifs_total")) << metrics;
}

TEST_F(ServerTest, ExpectContinueIsAnsweredBeforeTheBody) {
  const uint16_t port =
      start({"--artwork", TIB_ARTWORK_DIR, "--max-body", "100"});
  const std::string game = "1. e4 e5";
  const auto head = [](const std::string& type, std::size_t length) {
    return "POST /game.gif?size=64 HTTP/1.1\r\nHost: h\r\nContent-Type: " +
           type + "\r\nContent-Length: " + std::to_string(length) +
           "\r\nExpect: 100-continue\r\nConnection: close\r\n\r\n";
  };
  // The body will be read: 100 Continue, and only then the body is sent.
  const int fd = rawConnection(port);
  const std::string asked = head("text/plain", game.size());
  ASSERT_EQ(static_cast<ssize_t>(asked.size()),
            write(fd, asked.data(), asked.size()));
  std::string interim;
  std::array<char, 64> byte{};
  while (interim.find("\r\n\r\n") == std::string::npos) {
    pollfd wait{fd, POLLIN, 0};
    ASSERT_EQ(1, poll(&wait, 1, 5000)) << "no 100 Continue: " << interim;
    ASSERT_EQ(1, read(fd, byte.data(), 1));
    interim += byte[0];
  }
  EXPECT_EQ("HTTP/1.1 100 Continue\r\n\r\n", interim);
  ASSERT_EQ(static_cast<ssize_t>(game.size()),
            write(fd, game.data(), game.size()));
  const Streamed answered = readStreamed(readUntilClosed(fd, seconds(10)));
  close(fd);
  EXPECT_EQ(0U, answered.head.rfind("HTTP/1.1 200 OK", 0)) << answered.head;
  EXPECT_EQ("GIF89a", answered.body.substr(0, 6));
  // Refused by its head alone: the refusal, no 100 Continue, and the
  // connection closed with the body never sent.
  const std::vector<std::pair<std::string, std::string>> refused = {
      {head("text/plain", 101), "HTTP/1.1 413 "},
      {head("image/png", game.size()), "HTTP/1.1 415 "},
  };
  for (const auto& [request, status] : refused) {
    const int once = rawConnection(port);
    ASSERT_EQ(static_cast<ssize_t>(request.size()),
              write(once, request.data(), request.size()));
    const std::string bytes = readUntilClosed(once, seconds(5));
    close(once);
    EXPECT_EQ(0U, bytes.rfind(status, 0)) << bytes;
    EXPECT_EQ(std::string::npos, bytes.find("100 Continue")) << bytes;
  }
}

TEST_F(ServerTest, MetricsCountWhatWasAnswered) {
  Client client(start());
  const std::vector<std::pair<std::string, unsigned>> asked = {
      {"/board.png?size=50", 200}, {"/board.png?size=51", 200},
      {"/healthz", 200},           {"/nowhere", 404},
      {"/board.png?size=x", 400},
  };
  for (const auto& [target, status] : asked) {
    ASSERT_EQ(status, client.get(target).result_int()) << target;
  }
  const Response metrics = client.get("/metrics");
  EXPECT_EQ("text/plain; version=0.0.4; charset=utf-8",
            metrics[http::field::content_type]);
  const std::string& text = metrics.body();
  const auto value = [&text](const std::string& name) {
    return metricValue(text, name);
  };
  EXPECT_EQ("3", value("tib_requests_total{status=\"200\"}")) << text;
  EXPECT_EQ("1", value("tib_requests_total{status=\"404\"}")) << text;
  EXPECT_EQ("1", value("tib_requests_total{status=\"400\"}")) << text;
  EXPECT_EQ("0", value("tib_requests_total{status=\"503\"}")) << text;
  EXPECT_EQ("2", value("tib_render_seconds_count")) << text;
  EXPECT_EQ("2", value("tib_render_seconds_bucket{le=\"+Inf\"}")) << text;
  EXPECT_EQ("1", value("tib_requests_in_flight")) << text;
  EXPECT_EQ("1", value("tib_connections")) << text;
  EXPECT_NE("0", value("tib_response_bytes_total")) << text;
}

TEST_F(ServerTest, StartupFailuresExitWithOneLine) {
  const std::string artwork = folder_.path().string();
  const std::string busy = "127.0.0.1:" + std::to_string(start());
  const auto bad = folder_.path() / "themes" / "bad";
  const std::vector<std::pair<std::vector<std::string>, int>> cases = {
      {{"--bogus"}, 2},
      {{"--threads", "0"}, 2},
      {{"--listen", "127.0.0.1"}, 2},
      {{"--max-size"}, 2},
      {{"--artwork", artwork, "--listen", busy}, 1},
      {{"--artwork", bad.string()}, 1},
      {{"--artwork", artwork}, 1},  // the theme "bad"
  };
  for (const auto& [args, status] : cases) {
    if (args.size() == 2 && args[0] == "--artwork") {
      std::filesystem::create_directories(bad);
      writeBytes(bad / "t_board.png", "not a png");
    }
    ServerProcess failing(args);
    EXPECT_EQ(status, failing.waitExit(seconds(10))) << args[0];
    const std::string log = failing.log();
    const std::size_t lastLine = log.rfind('\n', log.size() - 2);
    EXPECT_EQ(0U, log.compare(lastLine + 1, 12, "tib-server: ")) << log;
    EXPECT_EQ(std::string::npos, log.find("listening on")) << log;
    EXPECT_EQ(log.size() - 1, log.find('\n')) << log;
  }
}

}  // namespace

}  // namespace tib
