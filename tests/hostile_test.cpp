// Hostile input: arguments at the kernel's limit, artwork that lies, and
// output that cannot be written. None may crash, hang or lose a good file.
#include <gtest/gtest.h>
#include <lodepng.h>
#include <sys/stat.h>

#include <filesystem>

#include "test_support.h"
#include "tib/board/drawing.h"

namespace tib {

namespace fs = std::filesystem;

namespace {

class HostileTest : public ::testing::Test {
 protected:
  void SetUp() override { writeArtwork(dir.path()); }
  ImageBuffer output() const { return readPng(dir.path() / "out.png"); }
  TempDir dir;
};

// A single argument may hold up to 128 KiB; these come close to it.
constexpr std::size_t kLongArgument = 131000;

std::string highBytes() {
  std::string text;
  for (std::size_t i = 0; i < kLongArgument; ++i) {
    text.push_back(static_cast<char>(0x80 + i % 0x80));
  }
  return text;
}

TEST_F(HostileTest, LongPlacementFieldsDrawWhatTheyHold) {
  std::vector<Placed> kings;
  for (int col = 0; col < 10; ++col) {
    kings.push_back({col, 7, "wk"});  // later kings lie wholly off the canvas
  }
  const struct {
    const char* what;
    std::string fen;
    std::vector<Placed> pieces;
  } cases[] = {
      {"digits", std::string(kLongArgument, '9'), {}},
      {"slashes", std::string(kLongArgument, '/'), {}},
      {"kings", std::string(kLongArgument, 'K'), kings},
      {"bytes 0x80-0xFF", highBytes(), {}},
      {"slashes then a king", std::string(kLongArgument - 1, '/') + "K", {}},
  };
  for (const auto& c : cases) {
    const RunResult result =
        runTibBinary(dir.path(), {"fen=" + c.fen, "file=out.png"});
    ASSERT_EQ(0, result.status) << c.what << ": " << result.err;
    expectSameImage(expectedCanvas(c.pieces, std::nullopt), output(), c.what);
  }
}

TEST_F(HostileTest, ExtremeScalesDrawNoPieceButTheMarker) {
  const struct {
    std::vector<std::string> args;
    int32_t size;
  } cases[] = {
      {{"scale=1e38"}, 1024},
      {{"scale=-inf"}, 1024},
      {{"scale=nan"}, 1024},
      {{"scale=0"}, 1024},
      {{"size=2048", "scale=1e30"}, 2048},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("file=out.png");
    const RunResult result = runTibBinary(dir.path(), args);
    const std::string what = ::testing::PrintToString(c.args);
    ASSERT_EQ(0, result.status) << what << ": " << result.err;
    ImageBuffer expected = expectedCanvas({}, Side::white);
    if (c.size != 1024) {
      expected = resampled(expected, static_cast<uint32_t>(c.size));
    }
    expectSameImage(expected, output(), what);
  }
}

TEST_F(HostileTest, HugeBoxesCostNoMoreThanTheCanvas) {
  // Boxes millions of pixels wide: only their part on the canvas is visited.
  const RunResult result = runTibBinary(
      dir.path(),
      {"fen=K6k/8/8/8/8/8/8/q6Q w", "scale=100000", "file=out.png"});
  ASSERT_EQ(0, result.status) << result.err;
  expectSameImage(
      expectedCanvas({{0, 7, "wk"}, {7, 7, "bk"}, {0, 0, "bq"}, {7, 0, "wq"}},
                     Side::white, Settings{1024, 100000.0F}),
      output(), "scale=100000");
}

// A valid PNG whose header is patched to claim another size.
std::string pngClaiming(uint32_t width, uint32_t height) {
  std::vector<unsigned char> png;
  const ImageBuffer image = noiseImage(4, 4, 9);
  EXPECT_EQ(0U, lodepng::encode(png, image.pixels, 4, 4));
  auto put32 = [&png](std::size_t at, uint32_t value) {
    for (int k = 0; k < 4; ++k) {
      png[at + static_cast<std::size_t>(k)] =
          static_cast<unsigned char>(value >> (24 - 8 * k));
    }
  };
  put32(16, width);
  put32(20, height);
  put32(29, lodepng_crc32(&png[12], 17));
  return {png.begin(), png.end()};
}

TEST_F(HostileTest, LyingSpritesWarnAndDrawNothing) {
  // A header claiming 30000 x 30000 is refused before anything is inflated.
  const std::string liar = pngClaiming(30000, 30000);
  fs::remove(dir.path() / "t_wk.png");
  writeBytes(dir.path() / "t_wk.png", liar);
  fs::remove(dir.path() / "t_wq.png");
  fs::create_directory(dir.path() / "t_wq.png");
  fs::remove(dir.path() / "t_wr.png");
  ASSERT_EQ(0, mkfifo((dir.path() / "t_wr.png").c_str(), 0600));
  fs::remove(dir.path() / "t_bk.png");
  writeBytes(dir.path() / "t_bk.png", "");
  fs::remove(dir.path() / "t_w3.png");
  ASSERT_EQ(0, mkfifo((dir.path() / "t_w3.png").c_str(), 0600));

  const RunResult result =
      runTibBinary(dir.path(), {"fen=KQRk w", "file=out.png"});
  ASSERT_EQ(0, result.status) << result.err;
  EXPECT_EQ(std::string("Warning: Could not load t_wk.png - the picture is "
                        "wider or taller than 4096 pixels\n") +
                "Warning: Could not load t_wq.png - failed to open file for "
                "reading\n"
                "Warning: Could not load t_wr.png - failed to open file for "
                "reading\n"
                "Warning: Could not load t_bk.png - empty input buffer given "
                "to decoder. Maybe caused by non-existing file?\n",
            result.out);
  expectSameImage(expectedCanvas({}, std::nullopt), output(), "lying sprites");
}

TEST_F(HostileTest, LyingBoardsStopTheRun) {
  std::string corrupt = readText(dir.path() / "t_board.png");
  corrupt.resize(corrupt.size() / 2);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"header says 1024 x 1024, data cut", corrupt},
      {"header says 1024 x 1024, no data", pngClaiming(1024, 1024)},
      {"zero bytes", ""},
  };
  for (const auto& c : cases) {
    writeBytes(dir.path() / "t_board.png", c.bytes);
    const RunResult result = runTibBinary(dir.path(), {"file=out.png"});
    EXPECT_EQ(1, result.status) << c.what;
    EXPECT_NE(std::string::npos, result.err.find("t_board.png")) << c.what;
    EXPECT_FALSE(fs::exists(dir.path() / "out.png")) << c.what;
  }
  fs::remove(dir.path() / "t_board.png");
  ASSERT_EQ(0, mkfifo((dir.path() / "t_board.png").c_str(), 0600));
  EXPECT_EQ(1, runTibBinary(dir.path(), {"file=out.png"}).status) << "FIFO";
}

TEST_F(HostileTest, FailedWriteKeepsTheOldFile) {
  const std::string old(5000, 'o');
  writeBytes(dir.path() / "out.png", old);
  RunOptions options;
  options.fileSizeLimit = 4096;  // the diagram is larger: the write fails
  const RunResult result = runTibBinary(dir.path(), {"file=out.png"}, options);
  EXPECT_EQ(1, result.status);
  EXPECT_NE(std::string::npos, result.err.find("out.png")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("File too large")) << result.err;
  EXPECT_EQ(old, readText(dir.path() / "out.png"));
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(std::string::npos, entry.path().filename().string().find(".tib-"))
        << "temporary file left: " << entry.path();
  }
}

TEST_F(HostileTest, RunningOutOfMemoryIsAnError) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
#endif
  const std::string old = "previous diagram";
  writeBytes(dir.path() / "out.png", old);
  RunOptions options;
  options.memoryLimit = 1L << 30;  // size=32767 needs over 4 GiB
  const RunResult result =
      runTibBinary(dir.path(), {"size=32767", "file=out.png"}, options);
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("tib: out of memory\n", result.err);
  EXPECT_EQ(old, readText(dir.path() / "out.png"));
}

TEST_F(HostileTest, ConcurrentRunsLeaveOneCompleteDiagram) {
  const std::vector<std::string> first = {"fen=K7 w", "file=out.png"};
  const std::vector<std::string> second = {"fen=k7 b", "file=out.png"};
  const ImageBuffer one = expectedCanvas({{0, 7, "wk"}}, Side::white);
  const ImageBuffer other = expectedCanvas({{0, 7, "bk"}}, Side::black);
  for (int round = 0; round < 5; ++round) {
    const int a = startTibBinary(dir.path(), first);
    const int b = startTibBinary(dir.path(), second);
    ASSERT_EQ(0, waitTibBinary(a));
    ASSERT_EQ(0, waitTibBinary(b));
    const ImageBuffer result = output();
    ASSERT_TRUE(result.pixels == one.pixels || result.pixels == other.pixels)
        << "round " << round << ": the diagram is neither run's";
  }
}

}  // namespace

}  // namespace tib
