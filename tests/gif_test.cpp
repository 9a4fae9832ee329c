#include "codec/gif.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "codec/gif_lzw.h"
#include "gif_decode.h"

namespace tib::codec {
namespace {

using test::DecodedGif;
using test::decodeGif;
using test::screens;

const Rgb kLight{240, 217, 181};
const Rgb kDark{181, 136, 99};
const Rgb kPiece{20, 20, 20};
const Rgb kMark{205, 210, 106};

struct Picture {
  unsigned width, height;
  std::vector<unsigned char> rgba;

  Picture(unsigned w, unsigned h, Rgb colour) : width(w), height(h) {
    for (std::size_t i = 0; i < std::size_t{w} * h; ++i) {
      rgba.insert(rgba.end(), {colour.red, colour.green, colour.blue, 255});
    }
  }
  Picture& paint(GifRect r, Rgb colour) {
    for (unsigned y = r.top; y < r.top + r.height; ++y) {
      for (unsigned x = r.left; x < r.left + r.width; ++x) {
        const std::size_t at = 4 * (std::size_t{y} * width + x);
        rgba[at] = colour.red;
        rgba[at + 1] = colour.green;
        rgba[at + 2] = colour.blue;
      }
    }
    return *this;
  }
  std::vector<unsigned char> indices(const GifPalette& palette) const {
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
      out.push_back(palette.indexOf(static_cast<std::uint32_t>(
          rgba[i] << 16 | rgba[i + 1] << 8 | rgba[i + 2])));
    }
    return out;
  }
};

Picture board() {
  Picture p(64, 48, kLight);
  for (unsigned y = 0; y < 6; ++y) {
    for (unsigned x = 0; x < 8; ++x) {
      if ((x + y) % 2 == 1) {
        p.paint({x * 8, y * 8, 8, 8}, kDark);
      }
    }
  }
  return p;
}

GifPalette paletteOf(const std::vector<Rgb>& colours) {
  Picture sample(static_cast<unsigned>(colours.size()), 1, kLight);
  for (unsigned i = 0; i < colours.size(); ++i) {
    sample.paint({i, 0, 1, 1}, colours[i]);
  }
  return buildPalette({{sample.rgba.data(), sample.width, 1}});
}

// The same sequence on every run.
std::mt19937 seededRandom(unsigned seed) { return std::mt19937(seed); }

struct Written {
  std::vector<unsigned char> bytes;
  std::vector<std::size_t> sizeAfterFrame;
};

using Hint = std::optional<std::vector<GifRect>>;

Written write(const GifPalette& palette, const std::vector<Picture>& frames,
              const std::vector<Hint>& hints = {}) {
  Written out;
  GifWriter writer(frames[0].width, frames[0].height, palette,
                   [&](const unsigned char* b, std::size_t n) {
                     out.bytes.insert(out.bytes.end(), b, b + n);
                   });
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto delay = static_cast<unsigned>(10 + i);
    if (i < hints.size() && hints[i]) {
      writer.addFrame(frames[i].rgba.data(), delay, *hints[i]);
    } else {
      writer.addFrame(frames[i].rgba.data(), delay);
    }
    out.sizeAfterFrame.push_back(out.bytes.size());
  }
  writer.finish();
  return out;
}

TEST(GifWriter, WritesTheScreenPaletteLoopAndEachFrameAsDrawn) {
  const GifPalette palette = paletteOf({kLight, kDark, kPiece, kMark});
  std::vector<Picture> frames{board()};
  frames.push_back(Picture(frames.back()).paint({10, 10, 4, 4}, kPiece));
  frames.push_back(Picture(frames.back())
                       .paint({8, 8, 8, 8}, kMark)
                       .paint({40, 16, 8, 8}, kMark));
  frames.push_back(frames.back());
  const Written written = write(palette, frames);
  const std::optional<DecodedGif> gif = decodeGif(written.bytes);
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->width, 64);
  EXPECT_EQ(gif->height, 48);
  EXPECT_EQ(gif->loops, 0);
  ASSERT_EQ(gif->colours.size(), 8U);
  EXPECT_EQ(std::vector<Rgb>(gif->colours.begin(), gif->colours.begin() + 5),
            palette.table());
  ASSERT_EQ(gif->frames.size(), frames.size());
  const auto shown = screens(*gif);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(gif->frames[i].delay, 10 + static_cast<int>(i));
    EXPECT_EQ(gif->frames[i].disposal, 1);
    EXPECT_EQ(shown[i], frames[i].indices(palette)) << "frame " << i;
  }
  EXPECT_EQ(gif->frames[0].transparent, -1);
  EXPECT_EQ(gif->frames[0].width * gif->frames[0].height, 64 * 48);
}

TEST(GifWriter, WritesOnlyTheBoxOfChangedPixelsWithTheRestTransparent) {
  const GifPalette palette = paletteOf({kLight, kDark, kPiece, kMark});
  const Rgb nearlyLight{238, 219, 180};
  struct Case {
    std::string name;
    std::vector<std::pair<GifRect, Rgb>> paints;
    Hint hint;
    GifRect box;
    bool transparent;
    std::size_t paintsShown;
  };
  const GifRect block{10, 20, 5, 7};
  const GifRect corner{40, 2, 3, 3};
  const std::vector<Case> cases = {
      {"one block", {{block, kPiece}}, {}, block, false, 1},
      {"two blocks",
       {{block, kPiece}, {corner, kMark}},
       {},
       {10, 2, 33, 25},
       true,
       2},
      {"ring",
       {{{1, 1, 6, 6}, kPiece}, {{2, 2, 4, 4}, kLight}},
       {},
       {1, 1, 6, 6},
       true,
       2},
      {"last pixel", {{{63, 47, 1, 1}, kPiece}}, {}, {63, 47, 1, 1}, false, 1},
      {"first pixel", {{{0, 0, 1, 1}, kMark}}, {}, {0, 0, 1, 1}, false, 1},
      {"inside a hint",
       {{block, kPiece}},
       {{{8, 16, 16, 16}}},
       block,
       false,
       1},
      {"in two hints",
       {{block, kPiece}, {corner, kMark}},
       {{{8, 16, 8, 16}, {40, 0, 8, 8}}},
       {10, 2, 33, 25},
       true,
       2},
      {"overlapping hints",
       {{block, kPiece}},
       {{{8, 16, 8, 16}, {10, 20, 8, 8}}},
       block,
       false,
       1},
      {"hint past the edge",
       {{{60, 40, 4, 8}, kPiece}},
       {{{56, 40, 1000, 1000}}},
       {60, 40, 4, 8},
       false,
       1},
      {"beside the hint",
       {{block, kPiece}, {corner, kMark}},
       {{{8, 16, 8, 16}}},
       block,
       false,
       1},
      {"outside the hint",
       {{block, kPiece}},
       {{{0, 0, 8, 8}}},
       {0, 0, 1, 1},
       true,
       0},
      {"empty hint",
       {{block, kPiece}},
       {{{8, 16, 0, 16}}},
       {0, 0, 1, 1},
       true,
       0},
      {"no hint", {{block, kPiece}}, {{}}, {0, 0, 1, 1}, true, 0},
      {"nothing", {}, {}, {0, 0, 1, 1}, true, 0},
      {"a colour of the same index",
       {{{0, 0, 8, 8}, nearlyLight}},
       {},
       {0, 0, 1, 1},
       true,
       0},
  };
  for (const Case& c : cases) {
    Picture changed = board();
    Picture shown = board();
    for (std::size_t i = 0; i < c.paints.size(); ++i) {
      changed.paint(c.paints[i].first, c.paints[i].second);
      if (i < c.paintsShown) {
        shown.paint(c.paints[i].first, c.paints[i].second);
      }
    }
    const std::optional<DecodedGif> gif =
        decodeGif(write(palette, {board(), changed}, {{}, c.hint}).bytes);
    ASSERT_TRUE(gif) << c.name;
    ASSERT_EQ(gif->frames.size(), 2U) << c.name;
    const test::DecodedFrame& frame = gif->frames[1];
    EXPECT_EQ(
        std::vector<int>({frame.left, frame.top, frame.width, frame.height}),
        std::vector<int>(
            {static_cast<int>(c.box.left), static_cast<int>(c.box.top),
             static_cast<int>(c.box.width), static_cast<int>(c.box.height)}))
        << c.name;
    EXPECT_EQ(frame.transparent, c.transparent ? 0 : -1) << c.name;
    EXPECT_EQ(screens(*gif)[1], shown.indices(palette)) << c.name;
  }
}

// A later frame holds its changed pixels, and of the unchanged ones those
// in a run of one colour that holds a changed pixel (longer runs, fewer
// codes); the others are transparent.
TEST(GifWriter, ChangedRunsTakeInTheUnchangedPixelsOfTheirColour) {
  const std::vector<Rgb> colours{kLight, kDark, kPiece, kMark};
  const GifPalette palette = paletteOf(colours);
  std::mt19937 random = seededRandom(12);
  std::vector<Picture> frames{board()};
  for (int f = 0; f < 40; ++f) {
    Picture next = frames.back();
    for (int paints = 0; paints < 3; ++paints) {
      next.paint({static_cast<unsigned>(random() % 60),
                  static_cast<unsigned>(random() % 46),
                  static_cast<unsigned>(random() % 5 + 1),
                  static_cast<unsigned>(random() % 3 + 1)},
                 colours[random() % colours.size()]);
    }
    frames.push_back(next);
  }
  const std::optional<DecodedGif> gif = decodeGif(write(palette, frames).bytes);
  ASSERT_TRUE(gif);
  const auto shown = screens(*gif);
  for (std::size_t f = 1; f < frames.size(); ++f) {
    const test::DecodedFrame& frame = gif->frames[f];
    const auto width = static_cast<std::size_t>(frame.width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(frame.height); ++y) {
      const std::size_t row = (static_cast<std::size_t>(frame.top) + y) * 64 +
                              static_cast<std::size_t>(frame.left);
      const unsigned char* after = &shown[f][row];
      const unsigned char* before = &shown[f - 1][row];
      for (std::size_t start = 0, end = 0; start < width; start = end) {
        bool changed = false;
        for (end = start; end < width && after[end] == after[start]; ++end) {
          changed = changed || after[end] != before[end];
        }
        for (std::size_t x = start; x < end; ++x) {
          EXPECT_EQ(frame.indices[y * width + x], changed ? after[x] : 0)
              << "frame " << f << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST(GifWriter, NoisePicturesOfEveryTableSizeComeBackExactly) {
  // Noise fills the LZW dictionary again and again, at every code width.
  for (unsigned count : {1U, 2U, 3U, 4U, 7U, 8U, 31U, 64U, 200U, 255U}) {
    std::vector<Rgb> colours;
    for (std::size_t i = 0; i < count; ++i) {
      colours.push_back({static_cast<unsigned char>(i),
                         static_cast<unsigned char>(255 - i), 7});
    }
    const GifPalette palette = paletteOf(colours);
    std::mt19937 random = seededRandom(count);
    std::vector<Picture> frames;
    for (int f = 0; f < 3; ++f) {
      frames.emplace_back(160, 120, colours[0]);
      for (unsigned i = 0; i < 160 * 120; ++i) {
        // Runs and noise mixed, as an anti-aliased board has.
        if (random() % 3 != 0 || i == 0) {
          frames.back().paint({i % 160, i / 160, 1, 1},
                              colours[random() % count]);
        }
      }
    }
    const std::optional<DecodedGif> gif =
        decodeGif(write(palette, frames).bytes);
    ASSERT_TRUE(gif) << count;
    ASSERT_EQ(gif->frames.size(), 3U);
    const auto shown = screens(*gif);
    for (std::size_t f = 0; f < frames.size(); ++f) {
      EXPECT_EQ(shown[f], frames[f].indices(palette))
          << count << " colours, frame " << f;
    }
  }
}

TEST(GifWriter, RunsOfAnyLengthComeBackExactly) {
  // Runs of 1 to 600 pixels in 200 colours: the dictionary fills and starts
  // over inside runs too.
  std::vector<Rgb> colours;
  for (unsigned char i = 0; i < 200; ++i) {
    colours.push_back({i, 0, 0});
  }
  const GifPalette palette = paletteOf(colours);
  std::mt19937 random = seededRandom(9);
  Picture picture(1000, 1000, colours[0]);
  for (unsigned at = 0, length = 1; at < 1000 * 1000; at += length) {
    length = std::min<unsigned>(
        1000 * 1000 - at,
        static_cast<unsigned>(random() % (random() % 8 == 0 ? 600 : 12) + 1));
    const Rgb colour = colours[random() % colours.size()];
    for (unsigned i = at; i < at + length; ++i) {
      picture.paint({i % 1000, i / 1000, 1, 1}, colour);
    }
  }
  const std::optional<DecodedGif> gif =
      decodeGif(write(palette, {picture}).bytes);
  ASSERT_TRUE(gif);
  EXPECT_EQ(screens(*gif)[0], picture.indices(palette));
}

// The codes of one frame's image data, read as a decoder reads them, and
// the indices they stand for.
struct LzwStream {
  std::vector<unsigned> codes;
  std::vector<unsigned char> indices;
  // The end code came last, in the last byte, and nothing followed.
  bool endedCleanly = false;
};

LzwStream readLzw(const std::vector<unsigned char>& data) {
  LzwStream read;
  const unsigned minCodeSize = data.at(0);
  std::vector<unsigned char> bytes;
  std::size_t at = 1;
  while (data.at(at) != 0) {
    bytes.insert(bytes.end(),
                 data.begin() + static_cast<std::ptrdiff_t>(at + 1),
                 data.begin() + static_cast<std::ptrdiff_t>(at + 1 + data[at]));
    at += 1 + data[at];
  }
  const unsigned clear = 1U << minCodeSize;
  std::vector<std::vector<unsigned char>> table;
  unsigned width = 0;
  const auto startOver = [&] {
    table.resize(clear + 2);
    for (unsigned i = 0; i < clear; ++i) {
      table[i] = {static_cast<unsigned char>(i)};
    }
    width = minCodeSize + 1;
  };
  startOver();
  std::size_t bit = 0;
  // The code before, none after a clear code.
  std::size_t previous = 0;
  bool hasPrevious = false;
  while (bit + width <= bytes.size() * 8) {
    unsigned code = 0;
    for (unsigned b = 0; b < width; ++b, ++bit) {
      code |= ((bytes[bit / 8] >> (bit % 8)) & 1U) << b;
    }
    read.codes.push_back(code);
    if (code == clear) {
      startOver();
      hasPrevious = false;
      continue;
    }
    if (code == clear + 1) {
      read.endedCleanly =
          (bit + 7) / 8 == bytes.size() && at + 1 == data.size();
      break;
    }
    if (code > table.size() || (code == table.size() && !hasPrevious)) {
      break;
    }
    std::vector<unsigned char> entry =
        code < table.size() ? table[code] : table[previous];
    if (code == table.size()) {
      entry.push_back(entry.front());
    }
    if (hasPrevious && table.size() < 4096) {
      table.push_back(table[previous]);
      table.back().push_back(entry.front());
    }
    if (table.size() == 1U << width && width < 12) {
      ++width;
    }
    read.indices.insert(read.indices.end(), entry.begin(), entry.end());
    previous = code;
    hasPrevious = true;
  }
  return read;
}

TEST(GifLzw, CodesEndWithTheEndCodeAndNeverUseCode4095) {
  // Noise of few colours fills the dictionary fast and keeps using its
  // longest strings; some decoders mishandle the code 4095.
  bool usedTheLastCode = false;
  for (unsigned bits : {2U, 3U, 5U, 8U}) {
    std::mt19937 random = seededRandom(bits);
    std::vector<unsigned char> indices(200000);
    for (std::size_t i = 0; i < indices.size(); ++i) {
      indices[i] = i > 0 && random() % 4 == 0
                       ? indices[i - 1]
                       : static_cast<unsigned char>(random() % (1U << bits));
    }
    for (std::size_t count : {std::size_t{1}, std::size_t{2}, indices.size()}) {
      std::vector<unsigned char> data;
      appendLzw(data, indices.data(), count, bits);
      const LzwStream read = readLzw(data);
      EXPECT_TRUE(read.endedCleanly) << bits << " bits, " << count;
      EXPECT_TRUE(std::equal(
          indices.begin(), indices.begin() + static_cast<std::ptrdiff_t>(count),
          read.indices.begin(), read.indices.end()))
          << bits << " bits, " << count;
      EXPECT_EQ(std::count(read.codes.begin(), read.codes.end(), 4095U), 0)
          << bits << " bits, " << count;
      usedTheLastCode =
          usedTheLastCode ||
          std::count(read.codes.begin(), read.codes.end(), 4094U) != 0;
    }
  }
  EXPECT_TRUE(usedTheLastCode);
}

TEST(GifWriter, TinyPicturesComeBackExactly) {
  // Each width ends the codes at another bit of the last byte.
  const GifPalette palette = paletteOf({kLight, kDark, kPiece});
  for (unsigned width = 1; width <= 24; ++width) {
    Picture picture(width, 1, kLight);
    for (unsigned x = 0; x < width; ++x) {
      picture.paint({x, 0, 1, 1}, x % 3 == 0   ? kDark
                                  : x % 5 == 0 ? kPiece
                                               : kLight);
    }
    const std::optional<DecodedGif> gif =
        decodeGif(write(palette, {picture}).bytes);
    ASSERT_TRUE(gif) << width;
    EXPECT_EQ(screens(*gif)[0], picture.indices(palette)) << width;
  }
}

TEST(GifWriter, KeepsAFullDictionaryWhileItServesBetterThanAFreshOne) {
  // The same row of noise over and over: what fills the dictionary serves
  // every later row, where giflib starts over whenever it is full.
  std::vector<Rgb> colours;
  for (unsigned char i = 0; i < 60; ++i) {
    colours.push_back({i, static_cast<unsigned char>(4 * i), 50});
  }
  const GifPalette palette = paletteOf(colours);
  std::mt19937 random = seededRandom(4);
  Picture picture(400, 300, colours[0]);
  for (unsigned x = 0; x < 400; ++x) {
    picture.paint({x, 0, 1, 300}, colours[random() % colours.size()]);
  }
  const std::vector<unsigned char> ours = write(palette, {picture}).bytes;
  const std::vector<unsigned char> giflib =
      test::encodeWithGiflib(picture.indices(palette), 400, 300,
                             static_cast<int>(palette.tableBits()));
  // Ours has the loop and delay extensions, 27 bytes, besides.
  EXPECT_LT(ours.size() - 27, giflib.size() * 3 / 4);
}

TEST(GifWriter, HandsEachFrameToTheSinkAsItComes) {
  const GifPalette palette = paletteOf({kLight, kDark, kPiece});
  std::vector<Picture> frames{board()};
  for (unsigned i = 0; i < 5; ++i) {
    frames.push_back(
        Picture(frames.back()).paint({i * 8, i * 6, 8, 6}, kPiece));
  }
  const Written written = write(palette, frames);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    std::vector<unsigned char> sofar(
        written.bytes.begin(),
        written.bytes.begin() +
            static_cast<std::ptrdiff_t>(written.sizeAfterFrame[i]));
    sofar.push_back(0x3B);
    const std::optional<DecodedGif> gif = decodeGif(sofar);
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->frames.size(), i + 1);
  }
  EXPECT_EQ(written.bytes.size(), written.sizeAfterFrame.back() + 1);
}

TEST(GifWriter, WritersOnSeveralThreadsShareOnePalette) {
  // Colours outside the palette too, looked up while the others look.
  const GifPalette palette = paletteOf({kLight, kDark, kPiece});
  std::vector<Picture> frames{board()};
  for (unsigned char i = 0; i < 4; ++i) {
    frames.push_back(
        Picture(frames.back()).paint({i * 8U, i * 6U, 8, 6}, {i, 100, 200}));
  }
  const std::vector<unsigned char> alone = write(palette, frames).bytes;
  std::vector<std::vector<unsigned char>> written(4);
  std::vector<std::thread> threads;
  for (auto& bytes : written) {
    // cppcheck-suppress useStlAlgorithm
    threads.emplace_back([&] { bytes = write(palette, frames).bytes; });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (const auto& bytes : written) {
    EXPECT_EQ(bytes, alone);
  }
}

TEST(GifWriter, RefusesWhatAGifCannotHold) {
  const GifPalette palette = paletteOf({kLight});
  const GifSink ignore = [](const unsigned char*, std::size_t) {};
  EXPECT_THROW(GifWriter(0, 10, palette, ignore), GifError);
  EXPECT_THROW(GifWriter(10, 65536, palette, ignore), GifError);
  const Picture picture(4, 4, kLight);
  GifWriter writer(4, 4, palette, ignore);
  EXPECT_THROW(writer.finish(), GifError);
  EXPECT_THROW(writer.addFrame(picture.rgba.data(), 65536), GifError);
  writer.addFrame(picture.rgba.data(), 65535);
  writer.finish();
  EXPECT_THROW(writer.addFrame(picture.rgba.data(), 1), GifError);
  EXPECT_THROW(writer.finish(), GifError);
}

}  // namespace
}  // namespace tib::codec
