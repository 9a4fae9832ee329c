// The request decisions of tib-server without a socket.
#include "server/request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <variant>

#include "server/failure.h"
#include "server/head.h"
#include "server/options.h"
#include "test_support.h"
#include "tib/game/gif_budget.h"

namespace tib {

namespace {

// The default theme with every board, "green" with the board of the white
// view only, and the piece set "alpha". Boards are told apart by being
// there.
const Served& served() {
  static const Served themes = [] {
    auto everyBoard = std::make_shared<Artwork>();
    everyBoard->boards.fill(solidImage(1, 1, 0, 0, 0, 255));
    auto oneBoard = std::make_shared<Artwork>();
    oneBoard->boards[0] = solidImage(1, 1, 0, 0, 0, 255);
    Served value;
    value.themes.emplace("", Theme{everyBoard, 1});
    value.themes.emplace("green", Theme{oneBoard, 2});
    value.pieceSets.emplace("alpha",
                            PieceSet{std::make_shared<const Sprites>(), 3});
    return value;
  }();
  return themes;
}

Decision decide(const std::string& target, const std::string& method = "GET",
                const std::vector<std::string_view>& ifNoneMatch = {}) {
  return decideRequest({method, target, ifNoneMatch, {}, false}, served(),
                       2048);
}

// The status a decision answers with.
unsigned statusOf(const Decision& decision) {
  if (const auto* refuse = std::get_if<Refuse>(&decision)) {
    return refuse->status;
  }
  return std::holds_alternative<NotModified>(decision) ? 304 : 200;
}

std::string messageOf(const Decision& decision) {
  const auto* refuse = std::get_if<Refuse>(&decision);
  return refuse == nullptr ? "not refused" : refuse->message;
}

// The render a decision asks for; a test that gets none fails.
Render renderOf(const Decision& decision) {
  const auto* render = std::get_if<Render>(&decision);
  EXPECT_NE(nullptr, render) << messageOf(decision);
  return render == nullptr ? Render{} : *render;
}

bool isPage(const Decision& decision, StaticPage page) {
  const auto* answer = std::get_if<StaticAnswer>(&decision);
  return answer != nullptr && answer->page == page;
}

TEST(RequestTest, DecodesQueriesAsFormsDo) {
  EXPECT_EQ("a b+c/%zz%4", percentDecode("a+b%2bc%2F%zz%4", true));
  EXPECT_EQ("a+b", percentDecode("a+b", false));
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ((Pairs{{"fen", "8/8 b=x"}, {"size", ""}, {"", "3"}}),
            decodeQuery("fen=8%2F8+b=x&&size&=3&"));
  const Render last =
      renderOf(decide("/board.png?size=1&size=300px&fen=k&theme=green"));
  EXPECT_EQ(300, last.diagram.settings.Size);
  EXPECT_EQ(readPlacement("k").pieces, last.diagram.position.pieces);
  EXPECT_EQ(&served().themes.at("green"), last.theme);
  EXPECT_EQ(nullptr, last.pieceSet);
  EXPECT_EQ(
      300,
      renderOf(decide("http://h:1/board.png?size=300")).diagram.settings.Size);
  EXPECT_TRUE(isPage(decide("/health%7a"), StaticPage::health));
  EXPECT_TRUE(isPage(decide("/metrics", "HEAD"), StaticPage::metrics));
}

TEST(RequestTest, RefusesWithTheContractStatuses) {
  EXPECT_EQ(400U, statusOf(decide("/board.png?size=1&size=x&size=2")));
  EXPECT_EQ(400U, statusOf(decide("/board.png?size=2049")));
  EXPECT_EQ(400U, statusOf(decide("/board.png?scale=1e-50")));
  EXPECT_EQ(400U, statusOf(decide("/board.png?theme=blue")));
  EXPECT_EQ(404U, statusOf(decide("/board.png/")));
  EXPECT_EQ(405U, statusOf(decide("/board.png", "PUT")));
  const Decision longLine = decide("/x?" + std::string(kRequestLineLimit, 'a'));
  EXPECT_EQ(414U, statusOf(longLine));
  EXPECT_TRUE(std::get<Refuse>(longLine).closeAfter);
  EXPECT_FALSE(std::get<Refuse>(decide("/board.png?size=x")).closeAfter);
  EXPECT_EQ("piece=alphas: no such piece set",
            messageOf(decide("/board.png?piece=alphas")));
  EXPECT_EQ(&served().pieceSets.at("alpha"),
            renderOf(decide("/board.png?piece=alpha")).pieceSet);
  EXPECT_EQ("theme=\\x0a\\x5c: no such theme",
            messageOf(decide("/board.png?theme=%0A%5C")));
  // A head past kHeadLimit, with and without its request line whole.
  const std::string longTarget(kRequestLineLimit, 'a');
  EXPECT_EQ(414U, refuseOversize(longTarget + "\n").status);
  EXPECT_EQ(414U, refuseOversize(longTarget).status);
  EXPECT_EQ(431U, refuseOversize("GET / HTTP/1.1\r\nX: y").status);
  EXPECT_TRUE(refuseOversize("GET / HTTP/1.1\r\nX: y").closeAfter);
}

TEST(RequestTest, TagsDependOnlyOnWhatDecidesTheBytes) {
  const auto tag = [](const std::string& query, uint64_t identity = 1) {
    return entityTag(renderOf(decide("/board.png?" + query)).diagram, identity);
  };
  EXPECT_EQ(tag("size=400"), tag("size=+400px&scale=1.30"));
  EXPECT_EQ(tag("fen=8/8+w+KQ+-"), tag("fen=8/8+w"));
  EXPECT_NE(tag("fen=8/8+w"), tag("fen=8/8+b"));
  EXPECT_EQ(tag("fen=8/8"), tag("fen=8/8+x"));
  EXPECT_NE(tag("fen=8/8"), tag("fen=8/8+w"));
  EXPECT_NE(tag("size=400"), tag("size=401"));
  EXPECT_NE(tag("scale=1.3"), tag("scale=1.3001"));
  EXPECT_NE(tag(""), tag("", 2));
  const std::string t = tag("");
  EXPECT_TRUE(ifNoneMatchHits(t, t));
  EXPECT_TRUE(ifNoneMatchHits("\"a\" , W/" + t, t));
  EXPECT_TRUE(ifNoneMatchHits("*", t));
  EXPECT_FALSE(ifNoneMatchHits("\"a\", " + t.substr(1), t));
  EXPECT_FALSE(ifNoneMatchHits("", t));
  // The decision's tag is the artwork's, and a piece set's changes it.
  const std::string plain = renderOf(decide("/board.png")).tag;
  EXPECT_EQ(tag("", served().themes.at("").identity), plain);
  EXPECT_NE(plain, renderOf(decide("/board.png?theme=green")).tag);
  EXPECT_NE(plain, renderOf(decide("/board.png?piece=alpha")).tag);
  // A tag an If-None-Match field holds is not modified.
  const std::vector<std::pair<std::vector<std::string>, unsigned>> matches = {
      {{"\"x\""}, 200},
      {{"\"x\"", plain}, 304},
      {{"\"x\", W/" + plain}, 304},
      {{plain.substr(1)}, 200},
      {{"*"}, 304},
      {{}, 200}};
  for (const auto& [fields, status] : matches) {
    const Decision decision =
        decide("/board.png", "GET",
               std::vector<std::string_view>(fields.begin(), fields.end()));
    EXPECT_EQ(status, statusOf(decision)) << fields.size();
    if (status == 304) {
      EXPECT_EQ(plain, std::get<NotModified>(decision).tag);
    }
  }
  EXPECT_EQ(400U, statusOf(decide("/board.png?size=x", "GET", {"*"})));
}

// Each part of what a diagram shows besides its board is in its tag.
TEST(RequestTest, TagsDependOnEveryDecoration) {
  // Black has taken a pawn; white nothing.
  const std::string captured =
      "pgn=%5BWhite%20%22A%22%5D%201.%20e4%20d5%202.%20Nc3%20dxe4&ply=4";
  const struct {
    std::string one;
    std::string other;
  } differing[] = {
      {"white=A", "white=B"},
      {"white=A", "black=A"},
      {"fen=8/8/8/8/8/8/8/8+w&eval=0.35", "fen=8/8/8/8/8/8/8/8+w&eval=0.5"},
      {"lastMove=e2e4&glyph=!", "lastMove=e2e4&glyph=?"},
      {captured, captured + "&material=0"},
  };
  for (const auto& row : differing) {
    EXPECT_NE(renderOf(decide("/board.png?" + row.one)).tag,
              renderOf(decide("/board.png?" + row.other)).tag)
        << row.other;
  }
}

// The annotations a query reads, in their canonical text.
std::string annotationsOf(const std::string& query) {
  return canonicalAnnotations(
      renderOf(decide("/board.png?" + query)).diagram.annotations);
}

TEST(RequestTest, ReadsEverySpellingOfTheAnnotations) {
  // Each row's queries all mean the annotations of its first one.
  const std::vector<std::vector<std::string>> rows = {
      {"", "orientation=white", "color=white", "coordinates=1",
       "coordinates=yes", "coordinates=true", "lastMove=", "lastMove=0000",
       "lastmove=", "check=", "check=false", "check=0", "check=no",
       "arrows=", "highlight=", "orientation=black&color=white"},
      {"orientation=black", "color=black", "color=white&orientation=black"},
      {"coordinates=0", "coordinates=no", "coordinates=false",
       "coordinates=1&coordinates=0"},
      {"lastMove=e2e4", "lastmove=e2e4", "lastMove=e4e2", "lastMove=e2e4&"},
      {"lastMove=e7e8q", "lastMove=e8e7", "lastMove=e7e8n", "lastmove=e7e8r",
       "lastMove=e7e8b"},
      {"lastMove=P@e4", "lastMove=N@e4", "lastMove=B@e4", "lastMove=R@e4",
       "lastMove=Q@e4"},
      {"check=e1", "check=true", "check=1", "check=yes",
       "check=yes&fen=4k3/8/8/8/8/8/8/4K3+w"},
      {"check=e8", "check=true&fen=4k3/8/8/8/8/8/8/4K3+b",
       "fen=4k3/8/8/8/8/8/8/4K3+b&check=yes"},
      {"check=h7", "check=true&fen=9K/7K/K7+w",
       "check=1&fen=K7/7k/8/8/8/8/8/7k+b"},
      {"arrows=Ge2e4", "arrows=e2e4", "arrows=Rd4&arrows=Ge2e4"},
      {"arrows=Rd5", "arrows=Rd5d5"},
      {"arrows=Ye2e4,Bd4,Rh1a8", "arrows=Ye2e4,Bd4d4,Rh1a8"},
      {"highlight=Gd5", "highlight=d5"},
      {"highlight=Yd5,Re4,Bb2", "highlight=Gd5&highlight=Yd5,Re4,Bb2"},
  };
  std::vector<std::string> seen;
  for (const auto& row : rows) {
    const std::string meaning = annotationsOf(row.front());
    for (const std::string& query : row) {
      EXPECT_EQ(meaning, annotationsOf(query)) << query;
    }
    seen.push_back(meaning);
  }
  // The rows mean different annotations.
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen.end(), std::adjacent_find(seen.begin(), seen.end()));
  // 64 of each is the most.
  std::string many = "Ga1";
  for (int i = 1; i < 64; ++i) {
    many += ",Ra1";
  }
  const Annotations most =
      renderOf(decide("/board.png?arrows=" + many + "&highlight=" + many))
          .diagram.annotations;
  EXPECT_EQ(64U, most.arrows.size());
  EXPECT_EQ(64U, most.highlights.size());
}

TEST(RequestTest, RefusesEachBadAnnotationNamingIt) {
  std::string many = "Ga1";
  for (int i = 1; i < 64; ++i) {
    many += ",Gb2";
  }
  // The query, and the beginning of the one line: the parameter as it was
  // spelled, and the bad item.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"orientation=", "orientation=: "},
      {"orientation=Black", "orientation=Black: "},
      {"color=red", "color=red: "},
      {"color=w", "color=w: "},
      {"coordinates=", "coordinates=: "},
      {"coordinates=on", "coordinates=on: "},
      {"coordinates=2", "coordinates=2: "},
      {"lastMove=e9e4", "lastMove=e9e4: not a move"},
      {"lastmove=e2e2", "lastmove=e2e2: not a move"},
      {"lastMove=e2", "lastMove=e2: not a move"},
      {"lastMove=e2e4e5", "lastMove=e2e4e5: not a move"},
      {"lastMove=e7e8k", "lastMove=e7e8k: not a move"},
      {"lastMove=e7e8Q", "lastMove=e7e8Q: not a move"},
      {"lastMove=K@e4", "lastMove=K@e4: not a move"},
      {"lastMove=p@e4", "lastMove=p@e4: not a move"},
      {"lastMove=P@e9", "lastMove=P@e9: not a move"},
      {"lastMove=E2E4", "lastMove=E2E4: not a move"},
      {"lastMove=%00", "lastMove=\x00: not a move"},
      {"check=e9", "check=e9: not a square"},
      {"check=maybe", "check=maybe: not a square"},
      {"check=true&fen=8/8/8/8/8/8/8/8+w", "check=true: no white king"},
      {"check=1&fen=4K3/8+b", "check=1: no black king"},
      {"check=yes&fen=4k3/8/8/8/8/8/8/4K3", "check=yes: the FEN names no side"},
      {"arrows=Xe2e4", "arrows=Xe2e4: not an arrow"},
      {"arrows=ge2e4", "arrows=ge2e4: not an arrow"},
      {"arrows=Ge2e4,Ge9", "arrows=Ge9: not an arrow"},
      {"arrows=Gi4", "arrows=Gi4: not an arrow"},
      {"arrows=Ge2e4e6", "arrows=Ge2e4e6: not an arrow"},
      {"arrows=G", "arrows=G: not an arrow"},
      {"arrows=Ge2e", "arrows=Ge2e: not an arrow"},
      {"arrows=Ge2e4,,Rd4", "arrows=Ge2e4,,Rd4: an empty item"},
      {"arrows=Ge2e4,", "arrows=Ge2e4,: an empty item"},
      {"arrows=,", "arrows=,: an empty item"},
      {"arrows=" + many + ",Rh8", "arrows=Rh8: one item too many"},
      {"highlight=Ge2e4", "highlight=Ge2e4: not a square"},
      {"highlight=Pd5", "highlight=Pd5: not a square"},
      {"highlight=Yd5,", "highlight=Yd5,: an empty item"},
      {"highlight=" + many + ",Bc3", "highlight=Bc3: one item too many"}};
  for (const auto& [query, start] : cases) {
    const Decision decision = decide("/board.png?" + query);
    EXPECT_EQ(400U, statusOf(decision)) << query;
    EXPECT_EQ(0U, messageOf(decision).rfind(start, 0))
        << query << ": " << messageOf(decision);
    EXPECT_EQ(std::string::npos, messageOf(decision).find('\n'));
  }
  // A theme without the board of a view names the file it lacks.
  const std::vector<std::pair<std::string, std::string>> views = {
      {"orientation=black", "t_board_black.png"},
      {"color=black", "t_board_black.png"},
      {"coordinates=0", "t_board_plain.png"},
      {"orientation=black&coordinates=no", "t_board_black_plain.png"},
  };
  for (const auto& [query, file] : views) {
    const Decision decision = decide("/board.png?theme=green&" + query);
    EXPECT_EQ(400U, statusOf(decision)) << query;
    EXPECT_NE(std::string::npos,
              messageOf(decision).find("theme green has no " + file + ","))
        << messageOf(decision);
    EXPECT_TRUE(std::holds_alternative<Render>(decide("/board.png?" + query)))
        << query;
  }
}

TEST(RequestTest, ThumbnailsOfEachThemeAndSetWithTagsOfTheirOwn) {
  const std::vector<std::pair<std::string, unsigned>> statuses = {
      {"theme=green", 200},  {"piece=alpha", 200},
      {"theme=", 200},       {"theme=blue", 400},
      {"piece=alphas", 400}, {"", 400},
      {"size=9", 400},       {"theme=green&piece=alpha", 400}};
  for (const auto& [query, status] : statuses) {
    EXPECT_EQ(status, statusOf(decide("/thumbnail.png?" + query))) << query;
  }
  const Render green = renderOf(decide("/thumbnail.png?theme=green"));
  EXPECT_TRUE(green.thumbnail);
  EXPECT_EQ(nullptr, green.pieceSet);
  const Render alpha = renderOf(decide("/thumbnail.png?piece=alpha"));
  EXPECT_EQ(&served().pieceSets.at("alpha"), alpha.pieceSet);
  EXPECT_NE(green.tag, alpha.tag);
  EXPECT_NE(green.tag, renderOf(decide("/thumbnail.png?theme=")).tag);
  EXPECT_EQ(304U,
            statusOf(decide("/thumbnail.png?theme=green", "GET", {green.tag})));
}

TEST(RequestTest, AnswersThePageAtTheRoot) {
  EXPECT_TRUE(isPage(decide("/"), StaticPage::tryIt));
  EXPECT_TRUE(isPage(decide("/index.html?fen=8", "HEAD"), StaticPage::tryIt));
  EXPECT_EQ(405U, statusOf(decide("/", "POST")));
  EXPECT_EQ(404U, statusOf(decide("/index.htm")));
}

TEST(RequestTest, OneTagForEverySpellingOfTheAnnotations) {
  const auto tag = [](const std::string& query) {
    return renderOf(decide("/board.png?" + query)).tag;
  };
  // The same bytes: the same tag, and a plain diagram keeps its tag.
  const std::vector<std::pair<std::string, std::string>> same = {
      {"", "orientation=white&coordinates=1&check=false&arrows=&lastMove="},
      {"orientation=black", "color=black"},
      {"lastMove=e2e4", "lastmove=e4e2"},
      {"lastMove=e7e8q", "lastMove=e7e8n"},
      {"check=true", "check=e1"},
      {"arrows=Ge2e4,Rd5", "arrows=e2e4,Rd5d5"},
      {"highlight=Gd5", "highlight=d5"},
  };
  for (const auto& [a, b] : same) {
    EXPECT_EQ(tag(a), tag(b)) << a << " / " << b;
  }
  // Other bytes: other tags, every one.
  const std::vector<std::string> queries = {"",
                                            "orientation=black",
                                            "coordinates=0",
                                            "orientation=black&coordinates=0",
                                            "lastMove=e2e4",
                                            "lastMove=P@e4",
                                            "lastMove=e2e3",
                                            "check=e1",
                                            "check=e2",
                                            "arrows=Ge2e4",
                                            "arrows=Re2e4",
                                            "arrows=Ge4e2",
                                            "arrows=Ge2",
                                            "arrows=Ge2,Ge4",
                                            "arrows=Ge4,Ge2",
                                            "highlight=Ge2",
                                            "highlight=Ye2",
                                            "highlight=Ge2,Ge2",
                                            "arrows=Ge2&highlight=Ge2"};
  std::vector<std::string> tags(queries.size());
  std::transform(queries.begin(), queries.end(), tags.begin(), tag);
  std::sort(tags.begin(), tags.end());
  EXPECT_EQ(tags.end(), std::adjacent_find(tags.begin(), tags.end()));
}

TEST(RequestTest, ReadsServerOptions) {
  const ServerOptions options = readServerOptions(
      {"--listen", "[::1]:0", "--threads=3", "--max-size", "32767"}, 2);
  EXPECT_EQ("::1", options.host);
  EXPECT_EQ(0, options.port);
  EXPECT_EQ(3U, options.threads);
  EXPECT_EQ(32767, options.maxSize);
  EXPECT_EQ(2U, readServerOptions({}, 2).threads);
  EXPECT_EQ(kDefaultMaxGifPixels, readServerOptions({}, 2).maxGifPixels);
  EXPECT_EQ(4194304000U,
            readServerOptions({"--max-gif-pixels=4194304000"}, 2).maxGifPixels);
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--listen", ":80"},
                                             {"--listen", "h:65536"},
                                             {"--max-size", "32768"},
                                             {"--threads", "-1"},
                                             {"--max-gif-pixels", "0"},
                                             {"--max-gif-pixels", "1e9"},
                                             {"--artwork"},
                                             {"listen"}}) {
    EXPECT_THROW(readServerOptions(bad, 1), OptionError) << bad[0];
  }
}

// OPTIONS answers the CORS preflight of the paths a page posts or fetches
// from; any other method a path does not take is a 405 naming its methods.
TEST(RequestTest, PreflightsAndEachPathsMethods) {
  EXPECT_TRUE(isPage(decide("/game.gif", "OPTIONS"), StaticPage::preflight));
  EXPECT_TRUE(
      isPage(decide("/board.png?x=1", "OPTIONS"), StaticPage::preflight));
  // Each path's 405 names the methods its preflight allows, and each of
  // those methods is taken.
  for (const PathRoute& route : kRoutes) {
    const std::string path(route.path);
    const Decision options = decide(path, "OPTIONS");
    const auto* preflight = std::get_if<StaticAnswer>(&options);
    const std::string allowed = preflight != nullptr
                                    ? std::string(preflight->allow)
                                    : std::get<Refuse>(options).allow;
    for (const char* method :
         {"GET", "HEAD", "POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
      const Decision decision = decide(path, method);
      const auto* refuse = std::get_if<Refuse>(&decision);
      const bool listed =
          (", " + allowed + ",").find(", " + std::string(method) + ",") !=
          std::string::npos;
      EXPECT_EQ(listed, refuse == nullptr || refuse->status != 405)
          << path << " " << method;
      if (refuse != nullptr && refuse->status == 405) {
        EXPECT_EQ(allowed, refuse->allow) << path << " " << method;
      }
    }
  }
  const struct {
    const char* target;
    const char* method;
    const char* allow;
  } refused[] = {
      {"/game.gif", "PUT", "GET, HEAD, POST, OPTIONS"},
      {"/board.png", "POST", "GET, HEAD, OPTIONS"},
      {"/board.png", "DELETE", "GET, HEAD, OPTIONS"},
      {"/healthz", "OPTIONS", "GET, HEAD"},
      {"/", "POST", "GET, HEAD"},
  };
  for (const auto& c : refused) {
    const Decision decision = decide(c.target, c.method);
    ASSERT_EQ(405U, statusOf(decision)) << c.target << " " << c.method;
    EXPECT_EQ(c.allow, std::get<Refuse>(decision).allow);
    EXPECT_EQ(std::string("method ") + c.method + " not allowed on " +
                  c.target + "; use " + c.allow,
              messageOf(decision));
  }
}

// Content-Type compared as HTTP says: type and subtype in any case,
// whitespace around ';', parameters accepted.
TEST(RequestTest, ReadsTheBodyByItsMediaType) {
  const struct {
    const char* type;
    // The refusal's start, or "" for a PGN read and drawn.
    const char* says;
  } cases[] = {
      {"application/x-chess-pgn", ""},
      {"text/plain;charset=UTF-8", ""},
      {"Text/Plain ; charset=utf-8", ""},
      {" application/x-chess-pgn\t", ""},
      {"application/json", "body: not JSON"},
      {"Application/JSON", "body: not JSON"},
      {"application/json ; charset=utf-8", "body: not JSON"},
      {"application/jsonx", "unsupported media type"},
      {"text/html", "unsupported media type"},
      {"", "unsupported media type"},
  };
  for (const auto& c : cases) {
    // The type is judged with the head, before the body is read.
    Request request = readRequest(
        std::string("POST /game.gif HTTP/1.1\r\nHost: h\r\nContent-Type: ") +
            c.type + "\r\nContent-Length: 7\r\n\r\n",
        served(), 2048, 1000, 1000, kDefaultMaxGifPixels);
    if (request.bodyLength > 0) {
      decideWith(request, "1. e4 *", served(), 2048, 1000);
    }
    EXPECT_EQ(c.says, messageOf(request.decision).substr(0, strlen(c.says)))
        << c.type;
    EXPECT_EQ(*c.says == '\0',
              std::holds_alternative<RenderGif>(request.decision))
        << c.type;
  }
}

}  // namespace

}  // namespace tib
