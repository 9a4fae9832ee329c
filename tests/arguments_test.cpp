#include "cli/arguments.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "tib/board/drawing.h"
#include "tib/board/error.h"

namespace tib {

namespace {

const std::string kStartFen(chess::kStartingFen);

TEST(Arguments, HelpIsDueForNoArgumentOrALeadingSlashH) {
  const struct {
    std::vector<std::string> args;
    bool help;
  } cases[] = {{{}, true},
               {{"/h"}, true},
               {{"/h", "size=400"}, true},
               {{"size=400", "/h"}, false},
               {{"/H"}, false},
               {{"/h "}, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.help, wantsHelp(c.args)) << ::testing::PrintToString(c.args);
  }
  std::ostringstream out;
  printHelp(out);
  EXPECT_EQ(
      "Chess diagram generator tool.\n"
      " syntax: tib fen=<FEN> file=<output.png> [size=300-1024] "
      "[scale=1.0-1.3]\n",
      out.str());
}

TEST(Arguments, AcceptedValues) {
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    std::vector<std::string> args;
    std::string fen;
    std::string path;
    int32_t size;
    float scale;
  } cases[] = {
      {{}, kStartFen, "output.png", 1024, 1.3F},
      {{"/h", "fen=8/8 b", "file=a.png"}, "8/8 b", "a.png", 1024, 1.3F},
      {{"Fen=x", "FEN=y", "file", "size", "/h", "x=1"},
       kStartFen,
       "output.png",
       1024,
       1.3F},
      {{"fen="}, "", "output.png", 1024, 1.3F},
      {{"fen=a", "fen=b", "file=1", "file=2"}, "b", "2", 1024, 1.3F},
      {{"fen=size=3"}, "size=3", "output.png", 1024, 1.3F},
      {{"size=512px"}, kStartFen, "output.png", 512, 1.3F},
      {{"size=1e3"}, kStartFen, "output.png", 1, 1.3F},
      {{"size=010"}, kStartFen, "output.png", 10, 1.3F},
      {{"size=0x10"}, kStartFen, "output.png", 0, 1.3F},
      {{"size= \t+300"}, kStartFen, "output.png", 300, 1.3F},
      {{"size=0"}, kStartFen, "output.png", 0, 1.3F},
      {{"size=32767"}, kStartFen, "output.png", 32767, 1.3F},
      {{"size=-5", "size=400"}, kStartFen, "output.png", 400, 1.3F},
      {{"scale=1.2x"}, kStartFen, "output.png", 1024, 1.2F},
      {{"scale=1,3"}, kStartFen, "output.png", 1024, 1.0F},
      {{"scale= 2.5e0"}, kStartFen, "output.png", 1024, 2.5F},
      {{"scale=0x1.8p1"}, kStartFen, "output.png", 1024, 3.0F},
      {{"scale=INF"}, kStartFen, "output.png", 1024, inf},
      {{"scale=-Infinity"}, kStartFen, "output.png", 1024, -inf},
      {{"scale=1e38"}, kStartFen, "output.png", 1024, 1e38F},
  };
  for (const auto& c : cases) {
    const std::string what = ::testing::PrintToString(c.args);
    const RunArguments run = readArguments(c.args);
    EXPECT_EQ(readPlacement(c.fen).pieces, run.position.pieces) << what;
    EXPECT_EQ(readPlacement(c.fen).sideToMove, run.position.sideToMove) << what;
    EXPECT_EQ(c.path, run.outputPath) << what;
    EXPECT_EQ(c.size, run.settings.Size) << what;
    EXPECT_EQ(c.scale, run.settings.Sz2) << what;
  }
  EXPECT_TRUE(std::isnan(readArguments({"scale=nAn"}).settings.Sz2));
}

TEST(Arguments, RefusedValuesNameTheArgument) {
  const struct {
    std::vector<std::string> args;
    std::string named;
  } cases[] = {
      {{"size=abc"}, "size=abc"},
      {{"size="}, "size="},
      {{"size=2147483648"}, "size=2147483648"},
      {{"size=-2147483649"}, "size=-2147483649"},
      {{"size=99999999999999999999"}, "size=99999999999999999999"},
      {{"size=-1"}, "size=-1"},
      {{"size=32768"}, "size=32768"},
      {{"size=400", "size=40000"}, "size=40000"},
      {{"scale=abc"}, "scale=abc"},
      {{"scale="}, "scale="},
      {{"scale=1e39"}, "scale=1e39"},
      {{"scale=-1e39"}, "scale=-1e39"},
      {{"scale=1e-50"}, "scale=1e-50"},
      {{"size=abc", "scale=abc"}, "size=abc"},
  };
  for (const auto& c : cases) {
    try {
      readArguments(c.args);
      ADD_FAILURE() << ::testing::PrintToString(c.args) << " was accepted";
    } catch (const ValueError& failure) {
      EXPECT_NE(std::string::npos, std::string(failure.what()).find(c.named))
          << ::testing::PrintToString(c.args) << " gave: " << failure.what();
    }
  }
}

}  // namespace

}  // namespace tib
