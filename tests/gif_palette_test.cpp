#include "codec/gif_palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

namespace tib::codec {
namespace {

std::uint32_t key(Rgb c) {
  return static_cast<std::uint32_t>(c.red << 16 | c.green << 8 | c.blue);
}

// One pixel per colour, `repeat` times over.
std::vector<unsigned char> pixelsOf(const std::vector<Rgb>& colours,
                                    unsigned repeat = 1) {
  std::vector<unsigned char> rgba;
  for (unsigned r = 0; r < repeat; ++r) {
    for (Rgb c : colours) {
      rgba.insert(rgba.end(), {c.red, c.green, c.blue, 255});
    }
  }
  return rgba;
}

// The same sequence on every run.
std::mt19937 seededRandom(unsigned seed) { return std::mt19937(seed); }

RgbaPicture row(const std::vector<unsigned char>& rgba) {
  return {rgba.data(), static_cast<unsigned>(rgba.size() / 4), 1};
}

std::vector<Rgb> distinctColours(std::size_t count, unsigned seed) {
  std::mt19937 random = seededRandom(seed);
  std::vector<Rgb> colours;
  while (colours.size() < count) {
    const Rgb c{static_cast<unsigned char>(random()),
                static_cast<unsigned char>(random()),
                static_cast<unsigned char>(random())};
    if (std::find(colours.begin(), colours.end(), c) == colours.end()) {
      colours.push_back(c);
    }
  }
  return colours;
}

TEST(GifPalette, FewColoursAreKeptExactlyCommonestFirst) {
  struct Case {
    std::size_t colours;
    unsigned tableBits;
  };
  for (const Case& c : {Case{1, 1}, Case{2, 2}, Case{3, 2}, Case{4, 3},
                        Case{127, 7}, Case{128, 8}, Case{255, 8}}) {
    const std::vector<Rgb> colours = distinctColours(c.colours, 7);
    // Colour i occurs i + 1 times; two last ones tie and go by value.
    std::vector<unsigned char> rgba;
    for (std::size_t i = 0; i < colours.size(); ++i) {
      const auto pixels =
          pixelsOf({colours[i]},
                   static_cast<unsigned>(std::min(i + 1, c.colours - 1) + 1));
      rgba.insert(rgba.end(), pixels.begin(), pixels.end());
    }
    const GifPalette palette = buildPalette({row(rgba)});
    std::vector<Rgb> expected{{0, 0, 0}};
    expected.insert(expected.end(), colours.rbegin(), colours.rend());
    if (c.colours > 1 && key(expected[1]) > key(expected[2])) {
      std::swap(expected[1], expected[2]);
    }
    EXPECT_EQ(palette.table(), expected) << c.colours;
    EXPECT_EQ(palette.tableBits(), c.tableBits) << c.colours;
    for (Rgb colour : colours) {
      EXPECT_EQ(palette.table()[palette.indexOf(key(colour))], colour);
    }
  }
}

TEST(GifPalette, ManyColoursAreCutDownTheSameWayWhateverTheirOrder) {
  // A 16x16x16 grid of colours, and a board colour filling most pixels.
  std::vector<Rgb> grid;
  for (unsigned i = 0; i < 4096; ++i) {
    grid.push_back({static_cast<unsigned char>(i % 16 * 17),
                    static_cast<unsigned char>(i / 16 % 16 * 17),
                    static_cast<unsigned char>(i / 256 * 17)});
  }
  const Rgb board{181, 136, 99};
  std::vector<unsigned char> rgba = pixelsOf(grid);
  const std::vector<unsigned char> boardPixels = pixelsOf({board}, 50000);
  std::vector<Rgb> shuffled = grid;
  std::shuffle(shuffled.begin(), shuffled.end(), seededRandom(3));
  const std::vector<unsigned char> other = pixelsOf(shuffled);

  const GifPalette palette = buildPalette({row(rgba), row(boardPixels)});
  const GifPalette again = buildPalette({row(boardPixels), row(other)});
  EXPECT_EQ(palette.table(), again.table());
  EXPECT_EQ(palette.colourCount(), GifPalette::kMaxColours);
  EXPECT_EQ(palette.indexOf(key(board)), 1);
  EXPECT_EQ(palette.table()[1], board);
  for (Rgb colour : grid) {
    const Rgb mapped = palette.table()[palette.indexOf(key(colour))];
    EXPECT_LE(std::abs(mapped.red - colour.red) +
                  std::abs(mapped.green - colour.green) +
                  std::abs(mapped.blue - colour.blue),
              60);
  }
  EXPECT_EQ(buildPalette({row(rgba)}, 16).colourCount(), 16U);
}

// Colours of typical frames take the first indices, commonest first, even
// when the samples hold others more often, so that those frames fit in
// shorter codes; the rest follow by their count in the samples.
TEST(GifPalette, TypicalColoursComeFirst) {
  const std::vector<Rgb> colours = distinctColours(200, 11);
  std::vector<unsigned char> samples;
  for (std::size_t i = 0; i < colours.size(); ++i) {
    const auto pixels = pixelsOf({colours[i]}, static_cast<unsigned>(i + 10));
    samples.insert(samples.end(), pixels.begin(), pixels.end());
  }
  // The rarest sample colours, the rarest of them commonest in the frames.
  const std::vector<unsigned char> typical = pixelsOf(
      {colours[0], colours[1], colours[1], colours[2], colours[2], colours[2]});
  const GifPalette palette =
      buildPalette({row(samples)}, GifPalette::kMaxColours, {row(typical)});
  ASSERT_EQ(palette.colourCount(), colours.size());
  EXPECT_EQ(palette.table()[1], colours[2]);
  EXPECT_EQ(palette.table()[2], colours[1]);
  EXPECT_EQ(palette.table()[3], colours[0]);
  EXPECT_EQ(palette.table()[4], colours[199]);
  EXPECT_EQ(palette.table()[200], colours[3]);
}

TEST(GifPalette, MapsAColourOutsideItToTheNearestLowestIndexOnATie) {
  const GifPalette palette(
      {{0, 0, 0}, {255, 255, 255}, {200, 0, 0}, {0, 0, 8}, {0, 160, 0}});
  struct Case {
    std::uint32_t rgb;
    unsigned index;
  };
  for (const Case& c : {Case{0x0A0A00, 1}, Case{0x0A0A0A, 4}, Case{0xF0FAF5, 2},
                        Case{0xA01410, 3}, Case{0x000006, 4}, Case{0x000004, 1},
                        Case{0x00FF00, 5}, Case{0xC8FFC8, 2}, Case{0x640000, 1},
                        Case{0x600000, 1}, Case{0x680000, 3}}) {
    EXPECT_EQ(palette.indexOf(c.rgb), c.index) << std::hex << c.rgb;
  }
  // Equally near at the corner of a 16x16x16 cell both bound exactly.
  EXPECT_EQ(GifPalette({{30, 30, 30}, {0, 0, 0}}).indexOf(0x0F0F0F), 1);
}

TEST(GifPalette, AColourFillingMostOfABoxIsKeptExactly) {
  struct Case {
    unsigned darkPixels;
    Rgb expected;
  };
  // Black and white cut down to one colour.
  for (const Case& c : {Case{6, {0, 0, 0}}, Case{5, {128, 128, 128}},
                        Case{4, {255, 255, 255}}, Case{1, {255, 255, 255}}}) {
    const std::vector<unsigned char> dark = pixelsOf({{0, 0, 0}}, c.darkPixels);
    const std::vector<unsigned char> light =
        pixelsOf({{255, 255, 255}}, 10 - c.darkPixels);
    const GifPalette palette = buildPalette({row(dark), row(light)}, 1);
    EXPECT_EQ(palette.table()[1], c.expected) << c.darkPixels;
  }
}

TEST(GifPalette, KnownColoursAndAnyOtherMapToTheirNearestColour) {
  const std::vector<Rgb> colours = distinctColours(200, 11);
  std::vector<std::uint32_t> probes;
  std::mt19937 random = seededRandom(5);
  for (int i = 0; i < 20000; ++i) {
    probes.push_back(random() & 0xFFFFFFU);
  }
  const GifPalette plain(colours);
  const GifPalette knowing(colours, {probes.begin(), probes.begin() + 10000});
  const auto distance = [](std::uint32_t rgb, Rgb c) {
    const int r = static_cast<int>(rgb >> 16) - c.red;
    const int g = static_cast<int>(rgb >> 8 & 0xFF) - c.green;
    const int b = static_cast<int>(rgb & 0xFF) - c.blue;
    return 3 * r * r + 4 * g * g + 2 * b * b;
  };
  for (std::uint32_t rgb : probes) {
    const unsigned char index = plain.indexOf(rgb);
    ASSERT_EQ(knowing.indexOf(rgb), index);
    const int nearest = distance(rgb, plain.table()[index]);
    for (std::size_t i = 1; i <= colours.size(); ++i) {
      const int d = distance(rgb, plain.table()[i]);
      ASSERT_TRUE(d > nearest || (d == nearest && i >= index))
          << std::hex << rgb << " maps to " << int{index} << " but " << i
          << " is nearer";
    }
  }
}

// Exact colours are entries whether the samples hold them rarely, often or
// not at all; the samples' colours fill the other entries.
TEST(GifPalette, ExactColoursAreEntriesOfTheTable) {
  std::vector<Rgb> grid;
  for (unsigned i = 0; i < 4096; ++i) {
    grid.push_back({static_cast<unsigned char>(i % 16 * 17),
                    static_cast<unsigned char>(i / 16 % 16 * 17),
                    static_cast<unsigned char>(i / 256 * 17)});
  }
  // A photograph's worth of colours too, counted by cells.
  std::vector<Rgb> photograph;
  for (unsigned i = 0; i < 65536; ++i) {
    photograph.push_back({static_cast<unsigned char>(i % 256),
                          static_cast<unsigned char>(i / 256),
                          static_cast<unsigned char>(i * 7 % 256)});
  }
  const std::vector<unsigned char> rgba = pixelsOf(grid);
  // Olive and green, a shade apart from grid colours, and grid colours.
  const std::vector<Rgb> exact = {{170, 162, 59}, {140, 180, 61}, {1, 1, 1},
                                  {254, 0, 0},    {17, 34, 51},   {0, 0, 0}};
  std::vector<std::uint32_t> keys;
  std::transform(exact.begin(), exact.end(), std::back_inserter(keys), key);
  for (const std::vector<Rgb>& samples : {grid, photograph}) {
    const std::vector<unsigned char> pixels = pixelsOf(samples);
    for (const std::size_t colours : {std::size_t{255}, std::size_t{6}}) {
      const GifPalette palette = buildPalette({row(pixels)}, colours, {}, keys);
      EXPECT_EQ(palette.colourCount(), colours);
      for (const Rgb colour : exact) {
        EXPECT_EQ(palette.table()[palette.indexOf(key(colour))], colour)
            << int{colour.red} << "," << int{colour.green} << ","
            << int{colour.blue} << " in " << colours << " of "
            << samples.size();
      }
    }
  }
  EXPECT_THROW(buildPalette({row(rgba)}, 5, {}, keys), GifError);
}

TEST(GifPalette, RefusesWhatAGifCannotHold) {
  const std::vector<unsigned char> rgba = pixelsOf({{1, 2, 3}});
  EXPECT_THROW(GifPalette({}), GifError);
  EXPECT_THROW(GifPalette(distinctColours(256, 1)), GifError);
  EXPECT_THROW(buildPalette({}), GifError);
  EXPECT_THROW(buildPalette({row(rgba)}, 0), GifError);
  EXPECT_THROW(buildPalette({row(rgba)}, 256), GifError);
}

}  // namespace
}  // namespace tib::codec
