// The parts of tib-server in one process, without a socket: the render
// queue, the access log, the metrics and the themes loaded at start.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <future>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "server/access_log.h"
#include "server/metrics.h"
#include "server/palettes.h"
#include "server/render_queue.h"
#include "server/themes.h"
#include "server/thumbnails.h"
#include "server_support.h"
#include "test_support.h"
#include "tib/board/error.h"

namespace tib {

namespace {

using NotRendered = RenderQueue::NotRendered;

Answer okAnswer() { return {HttpResponse(http::status::ok, 11)}; }

// What a render came back as, and on which thread.
struct Completion {
  std::optional<NotRendered> notRendered;
  unsigned status = 0;
  std::thread::id thread;
};

RenderQueue::Done recordInto(std::vector<Completion>& completions) {
  return [&completions](RenderQueue::Result& result) {
    Completion completion;
    completion.thread = std::this_thread::get_id();
    if (const auto* answer = std::get_if<Answer>(&result)) {
      completion.status = answer->response.result_int();
    } else {
      completion.notRendered = std::get<NotRendered>(result);
    }
    completions.push_back(completion);
  };
}

std::shared_ptr<std::atomic<bool>> flag(bool set) {
  return std::make_shared<std::atomic<bool>>(set);
}

TEST(ServerQueueTest, EveryRenderComesBackOnTheIoThreadAndFreesItsPlace) {
  struct Case {
    const char* what;
    RenderQueue::Job job;
    bool gone;
    bool late;
    std::optional<NotRendered> expected;
  };
  const std::vector<Case> cases = {
      {"drawn", okAnswer, false, false, std::nullopt},
      {"the client left", okAnswer, true, false, NotRendered::clientLeft},
      {"too late", okAnswer, false, true, NotRendered::tooLate},
      {"the render threw",
       []() -> Answer { throw std::runtime_error("no memory"); }, false, false,
       NotRendered::lost},
  };
  for (const Case& c : cases) {
    boost::asio::io_context io;
    boost::asio::thread_pool workers(1);
    Metrics metrics;
    RenderQueue queue(io, workers, 2, 1, metrics);
    if (c.late) {
      queue.lastStartAt(RenderQueue::Clock::now() - std::chrono::seconds(1));
    }
    std::vector<Completion> completions;
    ASSERT_TRUE(queue.submit(c.job, flag(c.gone), recordInto(completions)));
    EXPECT_EQ(1U, queue.taken());
    io.run();
    ASSERT_EQ(1U, completions.size()) << c.what;
    EXPECT_EQ(c.expected, completions[0].notRendered) << c.what;
    EXPECT_EQ(c.expected ? 0U : 200U, completions[0].status) << c.what;
    EXPECT_EQ(std::this_thread::get_id(), completions[0].thread) << c.what;
    EXPECT_EQ(0U, queue.taken()) << c.what;
    EXPECT_EQ(c.expected ? "0" : "1",
              metricValue(metrics.text(), "tib_render_seconds_count"))
        << c.what;
  }
}

TEST(ServerQueueTest, ATaskLostBeforeItRunsStillComesBack) {
  boost::asio::io_context io;
  auto workers = std::make_unique<boost::asio::thread_pool>(1);
  Metrics metrics;
  RenderQueue queue(io, *workers, 1, 1, metrics);
  // A stopped pool never runs its tasks, and destroys them with itself.
  workers->stop();
  std::vector<Completion> completions;
  ASSERT_TRUE(queue.submit(okAnswer, flag(false), recordInto(completions)));
  workers.reset();
  io.run();
  ASSERT_EQ(1U, completions.size());
  EXPECT_EQ(NotRendered::lost, completions[0].notRendered);
  EXPECT_EQ(std::this_thread::get_id(), completions[0].thread);
  EXPECT_EQ(0U, queue.taken());
}

TEST(ServerQueueTest, AFullQueueTakesNothing) {
  boost::asio::io_context io;
  boost::asio::thread_pool workers(1);
  Metrics metrics;
  RenderQueue queue(io, workers, 2, 1, metrics);
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  const RenderQueue::Job held = [released] {
    released.wait();
    return okAnswer();
  };
  std::vector<Completion> completions;
  EXPECT_TRUE(queue.submit(held, flag(false), recordInto(completions)));
  EXPECT_TRUE(queue.submit(held, flag(false), recordInto(completions)));
  EXPECT_FALSE(queue.submit(held, flag(false), recordInto(completions)));
  EXPECT_EQ(2U, queue.taken());
  release.set_value();
  io.run();
  EXPECT_EQ(2U, completions.size());
  EXPECT_EQ(0U, queue.taken());
  EXPECT_TRUE(queue.submit(okAnswer, flag(false), recordInto(completions)));
  io.restart();
  io.run();
  workers.join();
  EXPECT_EQ(3U, completions.size());
}

// A stream's task and a render take turns for a worker: a diagram asked
// after two tasks of streams waits for one of them, not both.
TEST(ServerQueueTest, RendersAndStreamTasksTakeTurns) {
  boost::asio::io_context io;
  boost::asio::thread_pool workers(1);
  Metrics metrics;
  RenderQueue queue(io, workers, 2, 2, metrics);
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::vector<std::string> order;
  const auto job = [&order](const char* name) -> RenderQueue::Job {
    return [&order, name] {
      order.emplace_back(name);
      return okAnswer();
    };
  };
  const auto done = [](RenderQueue::Result&) {};
  ASSERT_TRUE(queue.submit(
      [released, first = job("render 1")] {
        released.wait();
        return first();
      },
      flag(false), done));
  ASSERT_TRUE(queue.submit(job("stream 1"), flag(false), done,
                           RenderQueue::Lane::stream));
  ASSERT_TRUE(queue.submit(job("stream 2"), flag(false), done,
                           RenderQueue::Lane::stream));
  ASSERT_TRUE(queue.submit(job("render 2"), flag(false), done));
  release.set_value();
  io.run();
  // The workers done with the queue before it goes.
  workers.join();
  EXPECT_EQ((std::vector<std::string>{"render 1", "stream 1", "render 2",
                                      "stream 2"}),
            order);
}

std::size_t threadCount() {
  std::size_t count = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/self/task")) {
    (void)entry;
    ++count;
  }
  return count;
}

// A pipe whose write end takes nothing more until the read end is read.
struct FullPipe {
  FullPipe() {
    EXPECT_EQ(0, pipe2(ends.data(), O_CLOEXEC));
    const int flags = fcntl(ends[1], F_GETFL);
    fcntl(ends[1], F_SETFL, flags | O_NONBLOCK);
    const std::string chunk(4096, 'f');
    while (write(ends[1], chunk.data(), chunk.size()) > 0) {
    }
    fcntl(ends[1], F_SETFL, flags);
  }
  ~FullPipe() {
    close(ends[0]);
    close(ends[1]);
  }
  FullPipe(const FullPipe&) = delete;
  FullPipe& operator=(const FullPipe&) = delete;

  std::array<int, 2> ends{};
};

TEST(ServerLogTest, TheWriterEndsWithTheLogThoughNobodyReads) {
  FullPipe pipe;
  // A sanitizer's own thread starts with the first thread of the process.
  std::thread([] {}).join();
  const std::size_t before = threadCount();
  const auto began = std::chrono::steady_clock::now();
  {
    AccessLog log(pipe.ends[1], 16);
    EXPECT_EQ(before + 1, threadCount());
    for (int i = 0; i < 100; ++i) {
      log.write("line " + std::to_string(i));
    }
  }
  EXPECT_EQ(before, threadCount());
  EXPECT_LT(std::chrono::steady_clock::now() - began, seconds(3));
}

TEST(ServerLogTest, DroppedLinesAreCountedInOneLine) {
  FullPipe pipe;
  std::string out;
  std::mutex mutex;
  std::thread reader;
  const auto readAll = [&] {
    std::array<char, 65536> chunk{};
    for (ssize_t got;
         (got = read(pipe.ends[0], chunk.data(), chunk.size())) > 0;) {
      const std::lock_guard<std::mutex> lock(mutex);
      out.append(chunk.data(), static_cast<std::size_t>(got));
    }
  };
  const auto seen = [&](const std::string& text) {
    const std::lock_guard<std::mutex> lock(mutex);
    return out.find(text) != std::string::npos;
  };
  {
    AccessLog log(pipe.ends[1], 4);
    for (int i = 0; i < 50; ++i) {
      log.write("before " + std::to_string(i));
    }
    reader = std::thread(readAll);
    const auto end = std::chrono::steady_clock::now() + seconds(10);
    while (!seen("log lines: the log was not read") &&
           std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(milliseconds(5));
    }
    for (int i = 0; i < 3; ++i) {
      log.write("after " + std::to_string(i));
      std::this_thread::sleep_for(milliseconds(20));
    }
  }
  close(pipe.ends[1]);
  pipe.ends[1] = -1;
  reader.join();
  const std::regex droppedLine(
      "tib-server: dropped ([0-9]+) log lines: the log was not read fast "
      "enough\n");
  // One line for each stretch of drops, not one for each line dropped: the
  // writer may take the queue's first lines while the later ones still
  // come, which makes two stretches.
  int stretches = 0;
  int dropped = 0;
  for (auto found = std::sregex_iterator(out.begin(), out.end(), droppedLine);
       found != std::sregex_iterator(); ++found) {
    ++stretches;
    dropped += std::stoi((*found)[1]);
  }
  EXPECT_GE(stretches, 1) << out;
  EXPECT_LE(stretches, 2) << out;
  const std::regex kept("tib-server: before [0-9]+\n");
  EXPECT_EQ(50 - dropped,
            std::distance(std::sregex_iterator(out.begin(), out.end(), kept),
                          std::sregex_iterator()));
  EXPECT_GE(dropped, 36);
  EXPECT_LT(out.find("dropped"), out.find("tib-server: after 0\n"));
  EXPECT_NE(std::string::npos, out.find("tib-server: after 2\n"));
}

TEST(MetricsTest, RenderTimesAreSummedInSeconds) {
  const std::vector<std::pair<std::vector<double>, const char*>> cases = {
      {{0.25}, "0.25"},
      {{0.003, 2.0}, "2.003"},
      {{}, "0"},
  };
  for (const auto& [seconds, sum] : cases) {
    Metrics metrics;
    for (const double time : seconds) {
      metrics.countRender(time);
    }
    const std::string text = metrics.text();
    EXPECT_EQ(sum, metricValue(text, "tib_render_seconds_sum")) << text;
    EXPECT_EQ(std::to_string(seconds.size()),
              metricValue(text, "tib_render_seconds_count"));
  }
  Metrics quarter;
  quarter.countRender(0.25);
  const std::string text = quarter.text();
  EXPECT_EQ("0", metricValue(text, "tib_render_seconds_bucket{le=\"0.1\"}"));
  EXPECT_EQ("1", metricValue(text, "tib_render_seconds_bucket{le=\"0.25\"}"));
}

uint64_t identityOf(const Served& served, const std::string& theme) {
  return served.themes.at(theme).identity;
}

TEST(ServerThemesTest, EveryBoardOfAThemeDecidesItsTags) {
  TempDir folder;
  writeArtwork(folder.path());
  const auto theme = folder.path() / "themes" / "x";
  std::filesystem::create_directories(theme);
  writeArtwork(theme);
  writePng(theme / "t_board_black.png", noiseImage(1024, 1024, 5));
  std::ostringstream log;
  const Served before = loadServed(folder.path().string(), 1U << 30, log);
  // Only the board of the black view changes: so do the theme's tags.
  writePng(theme / "t_board_black.png", noiseImage(1024, 1024, 6));
  const Served after = loadServed(folder.path().string(), 1U << 30, log);
  EXPECT_NE(identityOf(before, "x"), identityOf(after, "x"));
  EXPECT_EQ(identityOf(before, ""), identityOf(after, ""));
}

TEST(ServerThemesTest, AThemeNamedBrownIsNotHiddenByTheDefaultsAlias) {
  TempDir folder;
  writeArtwork(folder.path());
  std::ostringstream log;
  const Served aliased = loadServed(folder.path().string(), 1U << 30, log);
  EXPECT_EQ(aliased.themes.at("").artwork, aliased.themes.at("brown").artwork);
  const auto brown = folder.path() / "themes" / kDefaultThemeAlias;
  std::filesystem::create_directories(brown);
  writeArtwork(brown);
  writePng(brown / "t_board.png", noiseImage(1024, 1024, 11));
  const Served own = loadServed(folder.path().string(), 1U << 30, log);
  EXPECT_NE(own.themes.at("").artwork, own.themes.at("brown").artwork);
  EXPECT_NE(identityOf(own, ""), identityOf(own, "brown"));
}

TEST(ArtworkCacheTest, TwoAsksAtOnceShareOneMakeAndAFailureIsTriedAgain) {
  ArtworkCache cache(1U << 20, 0);
  std::atomic<int> makes{0};
  std::promise<void> secondAsks;
  std::shared_future<void> asked = secondAsks.get_future().share();
  const auto make = [&] {
    ++makes;
    // The second ask comes while this one is being made.
    asked.wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return Made{std::make_shared<const int>(7), 4};
  };
  const ArtworkKey key{ArtworkKind::pieces, "set"};
  std::thread first([&] { EXPECT_EQ(7, *cache.get<int>(key, make)); });
  while (cache.usage().decodes == 0) {
    std::this_thread::yield();
  }
  secondAsks.set_value();
  EXPECT_EQ(7, *cache.get<int>(key, make));
  first.join();
  EXPECT_EQ(1, makes.load());
  const ArtworkKey broken{ArtworkKind::theme, "broken"};
  const auto fail = [&]() -> Made { throw Error("cannot load"); };
  EXPECT_THROW(cache.get<int>(broken, fail), Error);
  EXPECT_FALSE(cache.holds(broken));
  EXPECT_EQ(7, *cache.get<int>(broken, make));
}

TEST(ServerThemesTest, EveryThemeAskedInTurnStaysUnderTheMemoryLimit) {
  TempDir folder;
  writeArtwork(folder.path());
  const std::vector<std::string> names = {"a", "b", "c", "d"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto theme = folder.path() / "themes" / names[i];
    std::filesystem::create_directories(theme);
    writeArtwork(theme);
    writePng(theme / "t_board.png",
             noiseImage(1024, 1024, 20 + static_cast<uint32_t>(i)));
  }
  std::ostringstream log;
  // The default theme and one other: 4 MiB boards and their sprites.
  const std::size_t limit = std::size_t{10} << 20;
  const Served served = loadServed(folder.path().string(), limit, log);
  for (int round = 0; round < 2; ++round) {
    for (const std::string& name : names) {
      const std::shared_ptr<const Artwork> artwork =
          artworkOf(served, served.themes.at(name));
      ASSERT_NE(nullptr, artwork);
      EXPECT_EQ(1024U, artwork->boards[0].width);
      EXPECT_LE(served.decoded->usage().bytes, limit) << name;
    }
  }
  EXPECT_EQ(names.size() * 2, served.decoded->usage().decodes);
  // A file changed since start is refused rather than drawn under old tags.
  writePng(folder.path() / "themes" / "a" / "t_board.png",
           noiseImage(1024, 1024, 5));
  EXPECT_THROW(artworkOf(served, served.themes.at("a")), Error);
}

TEST(ServerThemesTest, EachThemeAndSetKeepsAGifPaletteOfItsOwn) {
  TempDir folder;
  writeArtwork(folder.path());
  // A flat board: its palette is quick to build.
  writePng(folder.path() / kBoardFile,
           solidImage(1024, 1024, 90, 120, 60, 255));
  for (const char* name : {"p", "q"}) {
    std::filesystem::create_directories(folder.path() / "pieces" / name);
    writeArtwork(folder.path() / "pieces" / name);
  }
  writePng(folder.path() / "pieces" / "q" / "t_wk.png",
           solidImage(20, 20, 200, 10, 10, 255));
  std::ostringstream log;
  const Served served = loadServed(folder.path().string(), 1U << 30, log);
  const Theme& theme = served.themes.at("");
  const auto palette = [&](const char* name) {
    const PieceSet* set = &served.pieceSets.at(name);
    const Drawn drawn = drawnOf(served, theme, set);
    return paletteOf(served, theme, set, *drawn.artwork, *drawn.pieces);
  };
  const auto first = palette("p");
  EXPECT_EQ(first, palette("p"));
  EXPECT_NE(first, palette("q"));
}

TEST(ThumbnailTest, ShrinksByTheMeanOfTheOpaquePixelsCentred) {
  // Opaque red and transparent green side by side, 4 x 2, into 2 x 2.
  codec::ImageBuffer picture{{}, 4, 2};
  for (int pixel = 0; pixel < 8; ++pixel) {
    const bool red = pixel % 4 < 2;
    const std::array<unsigned char, 4> rgba{
        static_cast<unsigned char>(red ? 200 : 0),
        static_cast<unsigned char>(red ? 0 : 255), 0,
        static_cast<unsigned char>(red ? 255 : 0)};
    picture.pixels.insert(picture.pixels.end(), rgba.begin(), rgba.end());
  }
  const codec::ImageBuffer small = shrunk(picture, 2);
  // Two columns, one row, in the middle row of the square's top.
  const std::vector<unsigned char> want{200, 0, 0, 255, 0, 0, 0, 0,
                                        0,   0, 0, 0,   0, 0, 0, 0};
  EXPECT_EQ(want, small.pixels);
}

}  // namespace

}  // namespace tib
