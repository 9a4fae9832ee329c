// Runs of the built program in temporary folders with synthetic artwork.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "test_support.h"
#include "tib/board/drawing.h"

namespace tib {

namespace fs = std::filesystem;

namespace {

const std::string kHelp =
    "Chess diagram generator tool.\n"
    " syntax: tib fen=<FEN> file=<output.png> [size=300-1024] "
    "[scale=1.0-1.3]\n";

class RunTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(RunTest, DrawsPositionsByteForByte) {
  const struct {
    std::vector<std::string> args;
    int32_t size;
    float scale;
    std::vector<Placed> pieces;
    std::optional<Side> side;
  } cases[] = {
      // Overlapping kings drawn in text order, a skipped byte, digits added
      // one by one, and a resample to 300.
      {{"fen=kK6/1p6/8/8/8/8/5PxP1/12N w - - 0 1", "size=300"},
       300,
       1.3F,
       {{0, 7, "bk"},
        {1, 7, "wk"},
        {1, 6, "bp"},
        {5, 1, "wp"},
        {6, 1, "wp"},
        {3, 0, "wn"}},
       Side::white},
      {{"fen=4k3/8/8/8/8/8/8/4K3 b", "scale=2.5"},
       1024,
       2.5F,
       {{4, 7, "bk"}, {4, 0, "wk"}},
       Side::black},
      {{"fen=q7/8/8/8/8/8/8/8/8K b", "size=2048", "scale=1"},
       2048,
       1.0F,
       {{0, 7, "bq"}, {8, -1, "wk"}},
       Side::black},
      {{"fen=R6r/8/8/8/8/8/8/8  w", "size=512"},
       512,
       1.3F,
       {{0, 7, "wr"}, {7, 7, "br"}},
       std::nullopt},
      // A 9 moves nine columns: the king lands off the canvas, the queen
      // after the slash on the next rank.
      {{"fen=9K/q w"}, 1024, 1.3F, {{9, 7, "wk"}, {0, 6, "bq"}}, Side::white},
      {{"fen= w", "size=301"}, 301, 1.3F, {}, Side::white},
  };
  for (const auto& c : cases) {
    const std::string what = ::testing::PrintToString(c.args);
    TempDir folder;
    writeArtwork(folder.path());
    std::vector<std::string> args = c.args;
    args.push_back("file=out.png");
    const RunResult result = runTibBinary(folder.path(), args);
    EXPECT_EQ(0, result.status) << what << result.err;
    EXPECT_EQ("", result.out) << what;
    EXPECT_EQ("", result.err) << what;
    ImageBuffer expected =
        expectedCanvas(c.pieces, c.side, Settings{c.size, c.scale});
    if (c.size != 1024) {
      expected = resampled(expected, static_cast<uint32_t>(c.size));
    }
    expectSameImage(expected, readPng(folder.path() / "out.png"), what);
  }
}

TEST_F(RunTest, NoArgumentDrawsTheStartingPositionAfterTheHelp) {
  writeArtwork(dir.path());
  const RunResult result = runTibBinary(dir.path(), {});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(kHelp, result.out);
  const char* const blackBack[] = {"br", "bn", "bb", "bq",
                                   "bk", "bb", "bn", "br"};
  const char* const whiteBack[] = {"wr", "wn", "wb", "wq",
                                   "wk", "wb", "wn", "wr"};
  std::vector<Placed> pieces;
  for (int col = 0; col < 8; ++col) {
    pieces.push_back({col, 7, blackBack[col]});
  }
  for (int col = 0; col < 8; ++col) {
    pieces.push_back({col, 6, "bp"});
  }
  for (int col = 0; col < 8; ++col) {
    pieces.push_back({col, 1, "wp"});
  }
  for (int col = 0; col < 8; ++col) {
    pieces.push_back({col, 0, whiteBack[col]});
  }
  expectSameImage(expectedCanvas(pieces, Side::white),
                  readPng(dir.path() / "output.png"), "starting position");
}

TEST_F(RunTest, WarnsAboutEachSpriteInLetterOrder) {
  writeArtwork(dir.path());
  for (const Piece& piece : kPieces) {
    fs::remove(dir.path() / spriteFileName(piece));
  }
  writeBytes(dir.path() / "t_wb.png", "");
  writeBytes(dir.path() / "t_wk.png", "\x89PNG\r\n\x1a\n tiny");
  writeBytes(dir.path() / "t_wn.png", std::string(100, 'x'));
  fs::create_directory(dir.path() / "t_wq.png");
  writePng(dir.path() / "t_bp.png", spriteFor(spriteIndex("bp")));
  const RunResult result =
      runTibBinary(dir.path(), {"fen=8/pP6/8/8/8/8/8/8 b", "file=out.png"});
  EXPECT_EQ(0, result.status);
  const std::string missing = " - failed to open file for reading\n";
  EXPECT_EQ(
      "Warning: Could not load t_wb.png - empty input buffer given to "
      "decoder. Maybe caused by non-existing file?\n"
      "Warning: Could not load t_wk.png - PNG file is smaller than a PNG "
      "header\n"
      "Warning: Could not load t_wn.png - incorrect PNG signature, it's no "
      "PNG or corrupted\n"
      "Warning: Could not load t_wp.png" +
          missing + "Warning: Could not load t_wq.png" + missing +
          "Warning: Could not load t_wr.png" + missing +
          "Warning: Could not load t_bb.png" + missing +
          "Warning: Could not load t_bk.png" + missing +
          "Warning: Could not load t_bn.png" + missing +
          "Warning: Could not load t_bq.png" + missing +
          "Warning: Could not load t_br.png" + missing,
      result.out);
  // The black pawn still draws; the white pawn is simply missing.
  expectSameImage(expectedCanvas({{0, 6, "bp"}}, Side::black),
                  readPng(dir.path() / "out.png"), "missing sprites");
}

TEST_F(RunTest, TruncatedSpriteWarnsAndDrawsNothing) {
  writeArtwork(dir.path());
  const std::string whole = readText(dir.path() / "t_wk.png");
  writeBytes(dir.path() / "t_wk.png", whole.substr(0, whole.size() / 2));
  const RunResult result =
      runTibBinary(dir.path(), {"fen=K7/8/8/8/8/8/8/8", "file=out.png"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(0U, result.out.rfind("Warning: Could not load t_wk.png - ", 0))
      << result.out;
  expectSameImage(expectedCanvas({}, std::nullopt),
                  readPng(dir.path() / "out.png"), "truncated king");
}

TEST_F(RunTest, UnusableBoardStopsBeforeAnythingElse) {
  const struct {
    const char* what;
    std::string bytes;       // empty: no board file at all
    uint32_t width, height;  // a valid board of this size, when not 0
    const char* reason;
  } cases[] = {
      {"missing", "", 0, 0, "failed to open file for reading"},
      {"not a PNG", std::string(64, 'z'), 0, 0, "incorrect PNG signature"},
      {"small", "", 512, 512, "512 x 512"},
      {"half height", "", 1024, 512, "1024 x 512"},
      {"half width", "", 512, 1024, "512 x 1024"},
  };
  for (const auto& c : cases) {
    TempDir folder;
    writeArtwork(folder.path());
    fs::remove(folder.path() / "t_board.png");
    fs::remove(folder.path() / "t_wp.png");  // would warn if sprites loaded
    if (c.width != 0) {
      writePng(folder.path() / "t_board.png", noiseImage(c.width, c.height, 3));
    } else if (!c.bytes.empty()) {
      writeBytes(folder.path() / "t_board.png", c.bytes);
    }
    const RunResult result = runTibBinary(folder.path(), {"file=out.png"});
    EXPECT_EQ(1, result.status) << c.what;
    EXPECT_EQ("", result.out) << c.what;
    EXPECT_NE(std::string::npos, result.err.find("t_board.png")) << c.what;
    EXPECT_NE(std::string::npos, result.err.find(c.reason)) << result.err;
    EXPECT_NE(std::string::npos,
              result.err.find("folder that holds the artwork"))
        << c.what;
    EXPECT_FALSE(fs::exists(folder.path() / "out.png")) << c.what;
  }
}

TEST_F(RunTest, RefusedArgumentsTouchNoFile) {
  const struct {
    std::vector<std::string> args;
    std::string out;
    const char* named;
  } cases[] = {
      {{"size=abc"}, "", "size=abc"},     {{"/h", "scale=x"}, kHelp, "scale=x"},
      {{"size=-1"}, "", "size=-1"},       {{"size=40000"}, "", "size=40000"},
      {{"scale=1e39"}, "", "scale=1e39"},
  };
  for (const auto& c : cases) {
    TempDir folder;  // no artwork: refusing must come before any load
    std::vector<std::string> args = c.args;
    args.push_back("file=out.png");
    const RunResult result = runTibBinary(folder.path(), args);
    EXPECT_EQ(2, result.status) << c.named;
    EXPECT_EQ(c.out, result.out) << c.named;
    EXPECT_NE(std::string::npos, result.err.find(c.named)) << result.err;
    EXPECT_FALSE(fs::exists(folder.path() / "out.png")) << c.named;
  }
}

TEST_F(RunTest, UnwritableOutputIsAnError) {
  writeArtwork(dir.path());
  fs::create_directory(dir.path() / "folder");
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {"no/such/folder/out.png", "No such file or directory"},
      {"", "empty"},
      {deviceNode(dir.path(), "/dev/full").string(), "No space left on device"},
      {"folder", "Is a directory"},
  };
  for (const auto& c : cases) {
    const RunResult result =
        runTibBinary(dir.path(), {"file=" + c.path, "size=300"});
    EXPECT_EQ(1, result.status) << c.path;
    EXPECT_NE(std::string::npos, result.err.find(c.reason))
        << c.path << ": " << result.err;
    EXPECT_NE(std::string::npos, result.err.find(c.path)) << result.err;
  }
}

TEST_F(RunTest, SizeZeroWritesNothingAndSucceeds) {
  writeArtwork(dir.path());
  const RunResult result = runTibBinary(dir.path(), {"size=0", "file=out.png"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("", result.err);
  EXPECT_FALSE(fs::exists(dir.path() / "out.png"));
}

TEST_F(RunTest, WritesThroughStandardOutputAndSymlinks) {
  writeArtwork(dir.path());
  const TempDir elsewhere;
  const fs::path captured = elsewhere.path() / "captured.png";
  const RunResult piped = runTibBinary(
      dir.path(), {"fen=8/8/8/8/8/8/8/8 b", "file=/dev/stdout", "size=300"},
      RunOptions{captured});
  EXPECT_EQ(0, piped.status) << piped.err;
  expectSameImage(resampled(expectedCanvas({}, Side::black), 300),
                  readPng(captured), "/dev/stdout");

  const fs::path target = elsewhere.path() / "target.png";
  writeBytes(target, "old");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write |
                              fs::perms::group_read);
  fs::create_symlink(target, dir.path() / "link.png");
  const RunResult linked = runTibBinary(
      dir.path(), {"fen=8/8/8/8/8/8/8/8 w", "file=link.png", "size=300"});
  EXPECT_EQ(0, linked.status) << linked.err;
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.png"));
  expectSameImage(resampled(expectedCanvas({}, Side::white), 300),
                  readPng(target), "symlink target");
  EXPECT_EQ(
      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
      fs::status(target).permissions());
  EXPECT_EQ(2, std::distance(fs::directory_iterator(elsewhere.path()),
                             fs::directory_iterator{}))
      << "no temporary file is left behind";
}

}  // namespace

}  // namespace tib
