// The request decisions of tib-server without a socket.
#include "server/request.h"

#include <gtest/gtest.h>

#include "server/options.h"
#include "tib/failure.h"

namespace tib {

namespace {

Decision decide(const std::string& target, const std::string& method = "GET") {
  return decideRequest(method, target, 2048, [](const std::string& name) {
    return name.empty() || name == "green";
  });
}

TEST(RequestTest, DecodesQueriesAsFormsDo) {
  EXPECT_EQ("a b+c/%zz%4", percentDecode("a+b%2bc%2F%zz%4", true));
  EXPECT_EQ("a+b", percentDecode("a+b", false));
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ((Pairs{{"fen", "8/8 b=x"}, {"size", ""}, {"", "3"}}),
            decodeQuery("fen=8%2F8+b=x&&size&=3&"));
  const Decision last =
      decide("/board.png?size=1&size=300px&fen=a&theme=green");
  EXPECT_EQ(Action::render, last.action);
  EXPECT_EQ(300, last.diagram.settings.Size);
  EXPECT_EQ("a", last.diagram.fen);
  EXPECT_EQ("green", last.diagram.theme);
  EXPECT_EQ(Action::render, decide("http://h:1/board.png?size=9").action);
  EXPECT_EQ(Action::health, decide("/health%7a").action);
  EXPECT_TRUE(decide("/board.png", "HEAD").head);
}

TEST(RequestTest, RefusesWithTheContractStatuses) {
  EXPECT_EQ(400U, decide("/board.png?size=1&size=x&size=2").status);
  EXPECT_EQ(400U, decide("/board.png?size=2049").status);
  EXPECT_EQ(400U, decide("/board.png?scale=1e-50").status);
  EXPECT_EQ(400U, decide("/board.png?theme=blue").status);
  EXPECT_EQ(404U, decide("/board.png/").status);
  EXPECT_EQ(405U, decide("/board.png", "PUT").status);
  EXPECT_EQ(414U, decide("/x?" + std::string(kRequestLineLimit, 'a')).status);
  EXPECT_EQ("theme=\\x0a\\x5c: no such theme",
            decide("/board.png?theme=%0A%5C").message);
  // A head past kHeadLimit, with and without its request line read.
  const std::string longTarget(kRequestLineLimit, 'a');
  EXPECT_EQ(414U, refuseOversize("", "", longTarget + "\n").status);
  EXPECT_EQ(431U, refuseOversize("", "", "GET / HTTP/1.1\r\nX: y").status);
  EXPECT_EQ(414U, refuseOversize("GET", longTarget, "X: y").status);
  EXPECT_EQ(431U, refuseOversize("GET", "/", longTarget).status);
}

TEST(RequestTest, TagsDependOnlyOnWhatDecidesTheBytes) {
  const auto tag = [](const std::string& query, uint64_t identity = 1) {
    return entityTag(decide("/board.png?" + query).diagram, identity);
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
}

TEST(RequestTest, ReadsServerOptions) {
  const ServerOptions options = readServerOptions(
      {"--listen", "[::1]:0", "--threads=3", "--max-size", "32767"}, 2);
  EXPECT_EQ("::1", options.host);
  EXPECT_EQ(0, options.port);
  EXPECT_EQ(3U, options.threads);
  EXPECT_EQ(32767, options.maxSize);
  EXPECT_EQ(2U, readServerOptions({}, 2).threads);
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--listen", ":80"},
                                             {"--listen", "h:65536"},
                                             {"--max-size", "32768"},
                                             {"--threads", "-1"},
                                             {"--artwork"},
                                             {"listen"}}) {
    EXPECT_THROW(readServerOptions(bad, 1), Failure) << bad[0];
  }
}

}  // namespace

}  // namespace tib
