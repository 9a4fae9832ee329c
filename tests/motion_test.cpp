// WebP, MP4 and WebM of a game: the WebP decoded with libwebp, each frame
// its ply's decorated pixels exactly and its delay; the videos read by
// ffprobe and decoded by ffmpeg, each frame near its ply's pixels, each
// shown for its delay, an MP4's index ahead of its data.
#include "tib/game/motion.h"

#include <gtest/gtest.h>
#include <webp/demux.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "tib/decoration/decorated.h"
#include "tib/game/analysis.h"
#include "tib/game/decorated_game.h"
#include "tib/game/game_diagram.h"

namespace tib {

namespace {

// Players, clocks that make the delays, glyphs, evaluations; an odd width
// (the evaluation column), so that a video pads it.
const char* const kGame =
    "[White \"Ann\"]\n[Black \"Bo\"]\n\n1. e4 {[%clk 0:01:00] [%eval 0.3]} e5 "
    "{[%clk 0:00:58]} 2. Qh5!? {[%clk 0:00:50] [%eval -0.2]} Nc6?? {[%clk "
    "0:00:40]} 3. Bc4 {[%clk 0:00:45]} Nf6?? 4. Qxf7#!! *";

struct GameMotion {
  std::vector<AnimationFrame> frames;
  std::vector<Decorations> decorations;
};

const GameMotion& gameMotion() {
  static const GameMotion motion = [] {
    const chess::Game game = chess::readGame(kGame, 1);
    GameAnimation animation;
    animation.settings = {120, 1.3F};
    animation.delay.reset();
    GameMotion made{gameFrames(game, animation), {}};
    for (std::size_t ply = 0; ply < made.frames.size(); ++ply) {
      Decorations decorations =
          plyDecorations(game, ply, Orientation::white, true);
      addAnalysis(game, ply, AnalysisOptions{}, decorations);
      made.decorations.push_back(decorations);
    }
    return made;
  }();
  return motion;
}

const Artwork& bundled() {
  static const Artwork artwork =
      loadArtwork(TIB_ARTWORK_DIR, {Side::white, Side::black});
  return artwork;
}

const Lettering& lettering() {
  static const Lettering fonts;
  return fonts;
}

// The pixels of each ply's decorated PNG.
ImageBuffer plyPicture(std::size_t f) {
  const GameMotion& motion = gameMotion();
  return decoratedPixels(bundled(), bundled().sprites, motion.frames[f].diagram,
                         motion.decorations[f], lettering());
}

std::vector<unsigned char> encoded(const MotionChoices& choices) {
  const GameMotion& motion = gameMotion();
  return *encodeMotion(bundled(), bundled().sprites, motion.frames,
                       motion.decorations, &lettering(), choices);
}

std::string commandOutput(const std::string& command) {
  // The commands are the test's own, with paths it made.
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(
      popen(command.c_str(), "r"),  // NOLINT(cert-env33-c)
      pclose);
  std::string out;
  char buffer[65536];
  std::size_t read = 0;
  while (pipe && (read = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
    out.append(buffer, read);
  }
  return out;
}

// The order of an MP4's top-level boxes.
std::string topBoxes(const std::vector<unsigned char>& bytes) {
  std::string names;
  for (std::size_t at = 0; at + 8 <= bytes.size();) {
    const uint32_t size = uint32_t{bytes[at]} << 24 |
                          uint32_t{bytes[at + 1]} << 16 |
                          uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
    names += std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                         bytes.begin() + static_cast<std::ptrdiff_t>(at + 8)) +
             " ";
    if (size < 8) {
      break;
    }
    at += size;
  }
  return names;
}

}  // namespace

TEST(Motion, WebpFramesAreThePlysPixelsForTheirDelays) {
  const std::vector<unsigned char> webp = encoded({MotionFormat::webp, {}, 1});
  const WebPData data{webp.data(), webp.size()};
  WebPAnimDecoderOptions options;
  ASSERT_TRUE(WebPAnimDecoderOptionsInit(&options));
  options.color_mode = MODE_RGBA;
  std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(
      WebPAnimDecoderNew(&data, &options), WebPAnimDecoderDelete);
  ASSERT_TRUE(decoder);
  const GameMotion& motion = gameMotion();
  int shownUntil = 0;
  std::size_t f = 0;
  for (; WebPAnimDecoderHasMoreFrames(decoder.get()) != 0; ++f) {
    uint8_t* pixels = nullptr;
    int timestamp = 0;
    ASSERT_TRUE(WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp));
    ASSERT_LT(f, motion.frames.size());
    const ImageBuffer expected = plyPicture(f);
    EXPECT_TRUE(
        std::equal(expected.pixels.begin(), expected.pixels.end(), pixels))
        << "frame " << f;
    // The decoder gives each frame's end.
    shownUntil += static_cast<int>(10 * motion.frames[f].delayCentiseconds);
    EXPECT_EQ(shownUntil, timestamp) << "frame " << f;
  }
  EXPECT_EQ(motion.frames.size(), f);
}

TEST(Motion, VideosHoldEachPlyForItsDelay) {
  const GameMotion& motion = gameMotion();
  const ImageBuffer first = plyPicture(0);
  const struct {
    MotionChoices choices;
    std::string codec;
    unsigned width;
    unsigned height;
  } cases[] = {
      {{MotionFormat::mp4, {}, 1},
       "h264",
       first.width + first.width % 2,
       first.height + first.height % 2},
      {{MotionFormat::webm, {}, 1},
       "vp9",
       first.width + first.width % 2,
       first.height + first.height % 2},
      {{MotionFormat::mp4, {240, 320}, 1}, "h264", 240, 320},
  };
  for (const auto& c : cases) {
    const std::string what = c.codec + " " + std::to_string(c.width);
    const std::vector<unsigned char> video = encoded(c.choices);
    const TempDir folder;
    const std::string path = (folder.path() / "game").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(video.data()),
               static_cast<std::streamsize>(video.size()));
    EXPECT_EQ("stream|codec_name=" + c.codec +
                  "|width=" + std::to_string(c.width) +
                  "|height=" + std::to_string(c.height) + "|pix_fmt=yuv420p\n",
              commandOutput("ffprobe -v error -show_entries "
                            "stream=codec_name,width,height,pix_fmt -of "
                            "compact " +
                            path))
        << what;
    // Each frame's start, then the whole length (the last held for its
    // delay), in centiseconds.
    std::string expectedTimes;
    unsigned start = 0;
    for (const AnimationFrame& frame : motion.frames) {
      expectedTimes += std::to_string(start) + "\n";
      start += frame.delayCentiseconds;
    }
    expectedTimes += std::to_string(start) + "\n";
    std::istringstream packets(commandOutput(
        "ffprobe -v error -show_entries packet=pts_time:format=duration -of "
        "csv=p=0 " +
        path));
    std::string times;
    double seconds = 0;
    while (packets >> seconds) {
      times += std::to_string(std::lround(seconds * 100)) + "\n";
    }
    EXPECT_EQ(expectedTimes, times) << what;
    if (c.codec == "h264") {
      EXPECT_EQ(0U, topBoxes(video).find("ftyp moov ")) << topBoxes(video);
    }
    const std::string decoded =
        commandOutput("ffmpeg -v error -i " + path +
                      " -vsync passthrough -f rawvideo -pix_fmt rgba -");
    const std::size_t frameBytes = std::size_t{c.width} * c.height * 4;
    ASSERT_EQ(motion.frames.size() * frameBytes, decoded.size()) << what;
    const std::size_t left = (c.width - first.width) / 2;
    const std::size_t top = (c.height - first.height) / 2;
    for (std::size_t f = 0; f < motion.frames.size(); ++f) {
      const ImageBuffer expected = plyPicture(f);
      double error = 0;
      for (std::size_t y = 0; y < expected.height; ++y) {
        for (std::size_t x = 0; x < std::size_t{expected.width} * 4; ++x) {
          if (x % 4 != 3) {
            error +=
                std::abs(static_cast<unsigned char>(
                             decoded[f * frameBytes + (top + y) * c.width * 4 +
                                     left * 4 + x]) -
                         expected.pixels[(y * expected.width) * 4 + x]);
          }
        }
      }
      EXPECT_LT(error / (3.0 * expected.width * expected.height), 5.0)
          << what << " frame " << f;
    }
  }
}

}  // namespace tib
