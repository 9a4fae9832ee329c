// The page tib-server answers at /: its lists made from what is served, and
// the page itself tried in headless Chromium.
#include "server/page.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "gif_decode.h"
#include "server/request.h"
#include "test_support.h"

namespace tib {

namespace {

// The program's path by the PATH variable; empty when it is not there.
std::filesystem::path onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path == nullptr ? "" : path);
  for (std::string folder; std::getline(folders, folder, ':');) {
    std::filesystem::path candidate = std::filesystem::path(folder) / program;
    if (access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return {};
}

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST(PageTest, ListsTheServedNamesEscapedInBothModes) {
  const auto standard = std::make_shared<const Artwork>();
  const auto other = std::make_shared<const Artwork>();
  struct Case {
    std::vector<std::string> themes;
    std::vector<std::string> pieces;
    // Whether "brown" is the default theme's second name, not a folder.
    bool brownIsAlias;
    std::vector<std::string> listed;
    std::vector<std::string> absent;
  };
  const std::vector<Case> cases = {
      {{"brown", "alt"},
       {},
       true,
       {R"(<option value="">default (brown)</option>)",
        R"(<option value="alt">alt</option>)",
        R"(<option value="">the theme&#39;s own</option>)"},
       {R"(value="brown")"}},
      {{"brown"},
       {"set"},
       false,
       {R"(<option value="">default</option>)",
        R"(<option value="brown">brown</option>)",
        R"(<option value="set">set</option>)"},
       {"default (brown)"}},
      {{"a\"<b>&c'"},
       {"R&D <x>"},
       false,
       {R"(<option value="a&quot;&lt;b&gt;&amp;c&#39;">a&quot;&lt;b&gt;&amp;c&#39;</option>)",
        R"(<option value="R&amp;D &lt;x&gt;">R&amp;D &lt;x&gt;</option>)"},
       {"<b>", "<x>", "&c'"}},
      {{"caf\xc3\xa9", "bad\xff", "tab\there"},
       {"\x7f", "ok"},
       false,
       {"<option value=\"caf\xc3\xa9\">caf\xc3\xa9</option>",
        R"(<option value="ok">ok</option>)"},
       {"bad", "tab", "\x7f"}},
  };
  for (const Case& c : cases) {
    Served served;
    served.themes.emplace("", Theme{standard, 1});
    for (const std::string& name : c.themes) {
      const bool alias = c.brownIsAlias && name == kDefaultThemeAlias;
      served.themes.emplace(name, Theme{alias ? standard : other, 2});
    }
    for (const std::string& name : c.pieces) {
      served.pieceSets.emplace(name, PieceSet{});
    }
    const std::string page = tryItPage(served);
    for (const std::string& listed : c.listed) {
      EXPECT_EQ(2U, countOf(page, listed)) << listed;
    }
    for (const std::string& absent : c.absent) {
      EXPECT_EQ(std::string::npos, page.find(absent)) << absent;
    }
    EXPECT_EQ(std::string::npos, page.find("<!--themes-->"));
    EXPECT_EQ(std::string::npos, page.find("<!--pieces-->"));
    EXPECT_NE(std::string::npos,
              page.find("const requestLineLimit = " +
                        std::to_string(kRequestLineLimit) + ";"));
  }
}

std::string fieldValue(
    const std::vector<std::pair<std::string, std::string>>& fields,
    const std::string& name) {
  const auto field =
      std::find_if(fields.begin(), fields.end(),
                   [&](const auto& f) { return f.first == name; });
  return field == fields.end() ? "" : field->second;
}

std::vector<std::pair<std::string, std::string>> queryOf(
    const std::string& url) {
  return decodeQuery(url.substr(url.find('?') + 1));
}

constexpr std::size_t kLongGamePlies = 160;

// A blitz game as exported with its analysis: each move with its
// evaluation and clock, the knights going out and back again.
std::string longGame() {
  const std::array<const char*, 8> moves = {"Nf3", "Nf6", "Ng1", "Ng8",
                                            "Nc3", "Nc6", "Nb1", "Nb8"};
  const std::array<const char*, 5> evaluations = {"0.17", "-0.4", "1.25", "#-3",
                                                  "-12.05"};
  std::string pgn =
      "[Event \"Rated blitz game\"]\n[White \"Knight, Rider\"]\n"
      "[Black \"Horse, Dark\"]\n[TimeControl \"180+2\"]\n\n";
  for (std::size_t ply = 0; ply < kLongGamePlies; ++ply) {
    const std::size_t seconds = 180 - ply / 2;
    pgn += std::to_string(ply / 2 + 1) + (ply % 2 == 0 ? ". " : "... ") +
           moves.at(ply % moves.size()) + " { [%eval " +
           evaluations.at(ply % evaluations.size()) + "] [%clk 0:0" +
           std::to_string(seconds / 60) + ":" +
           std::to_string(seconds % 60 / 10) + std::to_string(seconds % 10) +
           "] } ";
  }
  return pgn + "*";
}

}  // namespace

void checkPageInChromium(uint16_t port, const PageVisit& visit) {
  const std::filesystem::path chromium = onPath("chromium");
  const std::filesystem::path node = onPath("node");
  if (chromium.empty() || node.empty()) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") {
      FAIL() << "chromium and node are needed for the page test";
    }
    GTEST_SKIP() << "chromium or node is not installed";
  }
  const TempDir scratch;
  const std::string origin = "http://127.0.0.1:" + std::to_string(port);
  // The driver stops the browser and itself within two minutes, six under
  // the sanitizers, whose server answers the page's requests slowly. Most
  // of it goes to the first GIF of a theme whose boards are noise (its
  // palette took 34 to 39 s on a busy machine).
  // cppcheck-suppress knownConditionTrueFalse
  const int limitSeconds = kSlowdown > 1 ? 360 : 120;
  std::vector<std::string> args = {TIB_PAGE_DRIVER,
                                   std::to_string(limitSeconds),
                                   chromium.string(),
                                   origin + "/",
                                   (scratch.path() / "profile").string(),
                                   scratch.path().string()};
  for (const auto& [name, value] : visit.diagram) {
    args.push_back(name + "=");
    args.back() += value;
  }
  for (const auto& [name, value] : visit.game) {
    args.push_back("game." + name + "=");
    args.back() += value;
  }
  // The long game with the analysis' boxes turned from their defaults.
  args.insert(args.end(), {"long.eval=0", "long.material=0", "long.judge=1",
                           "long.pgn=" + longGame()});
  args.push_back("limit=" + std::to_string(kRequestLineLimit));
  args.push_back("broken=" + visit.brokenPgn);
  const RunResult run = runProgram(node.string(), scratch.path(), args);
  ASSERT_EQ(0, run.status) << run.out << run.err;
  const nlohmann::json seen = nlohmann::json::parse(run.out);

  EXPECT_EQ(visit.themes, seen["themes"].get<std::vector<std::string>>());
  EXPECT_EQ(visit.themes, seen["gameThemes"].get<std::vector<std::string>>());
  EXPECT_EQ(visit.pieces, seen["pieces"].get<std::vector<std::string>>());
  EXPECT_EQ(visit.pieces, seen["gamePieces"].get<std::vector<std::string>>());

  // The URL shown asks for what was typed, and the image shows it.
  const nlohmann::json& diagram = seen["diagram"];
  const std::string shown = diagram["shown"];
  EXPECT_EQ(origin + shown, diagram["src"]);
  EXPECT_EQ(visit.diagram, queryOf(shown));
  const std::string size = fieldValue(visit.diagram, "size");
  EXPECT_EQ("", diagram["error"]);
  EXPECT_EQ(size, std::to_string(diagram["width"].get<int>()));
  EXPECT_EQ(size, std::to_string(diagram["height"].get<int>()));
  const std::string loaded = readText(scratch.path() / "loaded.png");
  EXPECT_FALSE(loaded.empty());
  EXPECT_TRUE(loaded == readText(scratch.path() / "shown.png"));
  const ImageBuffer image = readPng(scratch.path() / "loaded.png");
  EXPECT_EQ(size, std::to_string(image.width));
  // SVG asks /board.svg for the same.
  const std::string svg = seen["svg"]["shown"];
  EXPECT_EQ("/board.svg" + shown.substr(shown.find('?')), svg);

  // The game's URL asks for /game.gif with what was typed, and the GIF
  // shown is the one it fetches, as wide as asked.
  const nlohmann::json& game = seen["game"];
  const std::string gameShown = game["shown"];
  EXPECT_EQ(0U, gameShown.rfind("/game.gif?", 0)) << gameShown;
  EXPECT_EQ(visit.game, queryOf(gameShown));
  EXPECT_EQ(true, game["visible"]);
  EXPECT_EQ("", game["note"]);
  EXPECT_EQ(false, game["fetching"]);
  const std::string gif = readText(scratch.path() / "loaded.gif");
  EXPECT_EQ(0U, gif.rfind("GIF89a", 0));
  EXPECT_TRUE(gif == readText(scratch.path() / "shown.gif"));
  const auto decoded = codec::test::decodeGif(
      std::vector<unsigned char>(gif.begin(), gif.end()));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(fieldValue(visit.game, "size"), std::to_string(decoded->width));
  EXPECT_GT(decoded->frames.size(), 1U);

  // The long game is too long for a URL: the command to fetch it posts it to
  // the same query, with the boxes' fields, and gets the GIF shown, with a
  // frame for each ply.
  const nlohmann::json& long_ = seen["long"];
  EXPECT_EQ("", long_["shown"]);
  EXPECT_EQ("", long_["note"]);
  auto posted = visit.game;
  posted.erase(std::remove_if(posted.begin(), posted.end(),
                              [](const auto& f) { return f.first == "pgn"; }),
               posted.end());
  posted.insert(posted.end(),
                {{"eval", "0"}, {"material", "0"}, {"judge", "1"}});
  const std::string curl = long_["curl"];
  const std::string start =
      "curl --data-binary @game.pgn -H 'Content-Type: "
      "application/x-chess-pgn' '" +
      origin + "/game.gif?";
  const std::string end = "' -o game.gif";
  EXPECT_EQ(0U, curl.rfind(start, 0)) << curl;
  EXPECT_EQ(curl.size() - end.size(), curl.rfind(end)) << curl;
  EXPECT_EQ(posted, queryOf(curl.substr(0, curl.size() - end.size())));
  const std::string longGif = readText(scratch.path() / "long.gif");
  EXPECT_TRUE(longGif == readText(scratch.path() / "long-posted.gif"));
  const auto longDecoded = codec::test::decodeGif(
      std::vector<unsigned char>(longGif.begin(), longGif.end()));
  ASSERT_TRUE(longDecoded.has_value());
  EXPECT_EQ(fieldValue(visit.game, "size"), std::to_string(longDecoded->width));
  EXPECT_EQ(kLongGamePlies + 1, longDecoded->frames.size());

  // A URL as long as the server takes is offered, a byte longer is not.
  const nlohmann::json& limit = seen["limit"];
  ASSERT_EQ(2U, limit.size());
  for (const std::size_t over : {0U, 1U}) {
    const nlohmann::json& at = limit.at(over);
    EXPECT_EQ(kRequestLineLimit + over, at["line"].get<std::size_t>());
    EXPECT_EQ(over == 0 ? 200 : 414, at["status"].get<int>());
    EXPECT_EQ(over == 0, !at["shown"].get<std::string>().empty())
        << at["shown"];
    EXPECT_EQ(over == 1, !at["curl"].get<std::string>().empty()) << at["curl"];
    EXPECT_EQ(over == 1, at["fetching"]);
    EXPECT_EQ("", at["note"]);
  }

  // The refusal of the broken PGN is shown as the server words it, and the
  // last GIF is gone.
  const nlohmann::json& broken = seen["broken"];
  EXPECT_EQ(visit.brokenPgn, fieldValue(queryOf(broken["shown"]), "pgn"));
  EXPECT_EQ(true, broken["hidden"]);
  EXPECT_EQ(readText(scratch.path() / "broken.txt"), broken["note"]);
  EXPECT_EQ(0U, broken["note"].get<std::string>().rfind("pgn: game 1, ply ", 0))
      << broken["note"];
}

}  // namespace tib
