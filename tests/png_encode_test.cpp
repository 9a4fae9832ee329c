// The encoder against the codec's own default encoder: the same bytes for
// pictures that reach each of its choices of colour type, bit depth, key,
// palette and filter, and its block and match rules.
#include "codec/png_encode.h"

#include <gtest/gtest.h>
#include <lodepng.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tib/board/artwork.h"
#include "tib/board/drawing.h"
#include "tib/board/render.h"

namespace tib {

using namespace codec;  // NOLINT(google-build-using-namespace)

namespace {

using Bytes = std::vector<unsigned char>;
// A pixel of column x and row y as r | g << 8 | b << 16 | a << 24, given a
// random number.
using PixelRule = std::function<uint32_t(uint32_t x, uint32_t y, uint32_t r)>;

struct Picture {
  std::string name;
  uint32_t width;
  uint32_t height;
  PixelRule pixel;
};

Bytes paint(const Picture& picture) {
  std::mt19937 random(picture.width * 7919U + picture.height);
  Bytes pixels;
  pixels.reserve(std::size_t{picture.width} * picture.height * 4);
  for (uint32_t y = 0; y < picture.height; ++y) {
    for (uint32_t x = 0; x < picture.width; ++x) {
      const uint32_t pixel =
          picture.pixel(x, y, static_cast<uint32_t>(random()));
      for (unsigned shift = 0; shift < 32; shift += 8) {
        pixels.push_back(static_cast<unsigned char>(pixel >> shift));
      }
    }
  }
  return pixels;
}

uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
  return (r & 255U) | (g & 255U) << 8U | (b & 255U) << 16U | a << 24U;
}

uint32_t grey(uint32_t value, uint32_t a = 255) {
  return rgba(value, value, value, a);
}

// One of `count` colours, picked by the random number.
PixelRule someOf(uint32_t count) {
  return [count](uint32_t, uint32_t, uint32_t r) {
    const uint32_t c = r % count;
    return rgba(c * 37U, c * 11U + 5U, c / 3U);
  };
}

PixelRule greyLevels(uint32_t step) {
  return [step](uint32_t x, uint32_t y, uint32_t r) {
    return grey(((x + y + r % 3) * step) % 256 / step * step);
  };
}

PixelRule noise(uint32_t alphaMask, uint32_t alphaBits) {
  return [=](uint32_t, uint32_t, uint32_t r) {
    return (r & ~alphaMask) | alphaBits;
  };
}

const std::vector<Picture>& pictures() {
  static const std::vector<Picture> all = {
      {"one opaque pixel", 1, 1, [](auto...) { return rgba(10, 20, 30); }},
      {"one transparent pixel", 1, 1, [](auto...) { return rgba(1, 2, 3, 0); }},
      {"one grey pixel", 1, 1, [](auto...) { return grey(128); }},
      {"black and white", 37, 5, greyLevels(255)},
      {"four grey levels", 19, 23, greyLevels(85)},
      {"sixteen grey levels", 64, 33, greyLevels(17)},
      {"every grey level", 257, 9, greyLevels(1)},
      {"three uneven greys", 30, 30,
       [](uint32_t, uint32_t, uint32_t r) { return grey(r % 3 * 50 + 1); }},
      {"grey noise", 101, 67,
       [](uint32_t, uint32_t, uint32_t r) { return grey(r); }},
      {"one colour", 33, 17, someOf(1)},
      {"two colours", 40, 40, someOf(2)},
      {"three colours", 31, 7, someOf(3)},
      {"five colours", 15, 15, someOf(5)},
      {"sixteen colours", 50, 50, someOf(16)},
      {"seventeen colours", 51, 49, someOf(17)},
      {"256 colours", 300, 200, someOf(256)},
      {"257 colours", 300, 200, someOf(257)},
      {"16 colours on 16 pixels", 4, 4,
       [](uint32_t x, uint32_t y, uint32_t) {
         return rgba(x * 60, y * 60, 9);
       }},
      {"palette with translucent colours", 63, 21,
       [](uint32_t x, uint32_t, uint32_t r) {
         return rgba(r % 7 * 30, 40, 50, x % 3 == 0 ? 255 : (r % 7) * 20);
       }},
      {"grey and alpha", 45, 45,
       [](uint32_t x, uint32_t y, uint32_t r) {
         return grey((x * 7 + r % 200) & 255, (y * 13) & 255);
       }},
      {"grey with one transparent grey", 70, 30,
       [](uint32_t x, uint32_t y, uint32_t r) {
         return (x + y) % 5 == 0 ? grey(3, 0) : grey(r % 250 + 6);
       }},
      {"colour with one transparent colour", 130, 90,
       [](uint32_t x, uint32_t, uint32_t r) {
         return x % 9 == 0 ? rgba(3, 4, 5, 0) : rgba(r, r >> 8, r >> 16);
       }},
      {"black and white with a transparent white", 40, 40,
       [](uint32_t x, uint32_t y, uint32_t) {
         return x < 10 ? grey(255, 0) : grey(((x ^ y) & 1U) != 0 ? 255 : 0);
       }},
      {"four grey levels with a transparent one", 40, 40,
       [](uint32_t x, uint32_t y, uint32_t) {
         return x < 10 ? grey(85, 0) : grey(((x ^ y) & 1U) != 0 ? 255 : 0);
       }},
      {"one transparent colour on 16 pixels", 4, 4,
       [](uint32_t x, uint32_t y, uint32_t r) {
         return x == y ? rgba(9, 9, 200, 0) : rgba(r, 7, 7);
       }},
      {"transparent colour also opaque later", 60, 20,
       [](uint32_t x, uint32_t, uint32_t r) {
         return x == 0    ? rgba(1, 2, 3, 0)
                : x == 50 ? rgba(1, 2, 3)
                          : rgba(r, r >> 8, r >> 16);
       }},
      {"transparent colour also opaque earlier", 60, 20,
       [](uint32_t x, uint32_t y, uint32_t r) {
         return (x == 5 && y == 0) ? rgba(8, 8, 8)
                : x % 4 == 0       ? rgba(8, 8, 8, 0)
                                   : rgba(r, r >> 8, 100);
       }},
      {"two transparent colours", 60, 20,
       [](uint32_t x, uint32_t, uint32_t r) {
         return x % 7 == 0 ? rgba(x, 0, 0, 0) : rgba(r, r >> 8, 100);
       }},
      {"grey but one pixel off in blue only", 300, 20,
       [](uint32_t x, uint32_t y, uint32_t r) {
         return x == 150 && y == 10 ? rgba(r % 250, r % 250, r % 250 + 1)
                                    : grey(r);
       }},
      {"key colour opaque in the last pixel", 300, 20,
       [](uint32_t x, uint32_t y, uint32_t r) {
         return x % 9 == 0            ? rgba(3, 4, 5, 0)
                : x == 299 && y == 19 ? rgba(3, 4, 5)
                                      : rgba(r, r >> 8, r >> 16);
       }},
      {"two-colour checkerboard of 2 x 2", 2, 2,
       [](uint32_t x, uint32_t y, uint32_t) {
         return (x + y) % 2 == 0 ? rgba(200, 10, 10) : rgba(10, 10, 200);
       }},
      {"transparent black first", 300, 40,
       [](uint32_t x, uint32_t y, uint32_t r) {
         return y < 2 ? 0U : rgba(r, r >> 8, r >> 16, (x * 3) & 255);
       }},
      {"mixed alpha noise", 99, 77, noise(0, 0)},
      {"opaque noise", 129, 65, noise(0xFF000000U, 0xFF000000U)},
      {"noise in a 1-pixel-wide column", 1, 300, noise(0, 0)},
      {"noise in one row", 3001, 1, noise(0xFF000000U, 0xFF000000U)},
      {"horizontal gradient", 511, 300,
       [](uint32_t x, uint32_t y, uint32_t) {
         return rgba(x / 2, y, 255 - x / 2);
       }},
      {"diagonal gradient with alpha", 300, 301,
       [](uint32_t x, uint32_t y, uint32_t) {
         return rgba(x + y, x * 2, y * 3, (x + y) / 3);
       }},
      {"all zeros", 800, 600, [](auto...) { return 0U; }},
      {"stripes longer than the window", 1200, 400,
       [](uint32_t x, uint32_t y, uint32_t) {
         return rgba(x * 17, (x / 3) * 5, y / 40 * 9);
       }},
      {"sparse dots on zeros", 777, 333,
       [](uint32_t, uint32_t, uint32_t r) {
         return r % 97 == 0 ? rgba(r >> 8, r >> 16, 1, 255) : 0U;
       }},
      {"large picture with alpha and flat stretches", 1700, 1300,
       [](uint32_t x, uint32_t y, uint32_t r) {
         return (x / 64 + y / 64) % 3 == 0 ? rgba(10, 20, 30, 255)
                                           : rgba(x, y, r & 7, x ^ y);
       }},
      {"large gradient with noise", 2048, 2048,
       [](uint32_t x, uint32_t y, uint32_t r) {
         return rgba(x / 8 + (r & 3), y / 8, (x ^ y) / 16);
       }},
  };
  return all;
}

class Encoding : public testing::TestWithParam<Picture> {};

TEST_P(Encoding, BytesEqualTheCodecs) {
  const Picture& picture = GetParam();
  const Bytes pixels = paint(picture);
  Bytes expected;
  ASSERT_EQ(0U,
            lodepng::encode(expected, pixels, picture.width, picture.height));
  // Appended, as the codec does.
  Bytes actual = {1, 2};
  ASSERT_EQ(
      0U, tib::codec::encodePng(actual, pixels, picture.width, picture.height));
  expected.insert(expected.begin(), {1, 2});
  ASSERT_EQ(expected.size(), actual.size()) << picture.name;
  EXPECT_TRUE(expected == actual) << picture.name;
  // A second thread, where the caller allows one, changes no byte.
  Bytes twoThreads = {1, 2};
  ASSERT_EQ(0U, tib::codec::encodePng(twoThreads, pixels, picture.width,
                                      picture.height, EncodeThreads{2}));
  EXPECT_TRUE(expected == twoThreads) << picture.name;
}

INSTANTIATE_TEST_SUITE_P(Pictures, Encoding, testing::ValuesIn(pictures()),
                         [](const testing::TestParamInfo<Picture>& param) {
                           std::string name;
                           for (const char c : param.param.name) {
                             name += std::isalnum(
                                         static_cast<unsigned char>(c)) != 0
                                         ? c
                                         : '_';
                           }
                           return name;
                         });

TEST(Encoding, RenderedDiagramsEqualTheCodecs) {
  const std::string folder = TIB_ARTWORK_DIR;
  const Artwork artwork = loadArtwork(folder, {Side::white, Side::black});
  const ImageBuffer canvas = drawDiagram(
      artwork,
      Diagram{
          readPlacement(
              "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R b KQ"),
          Settings{},
          {}});
  for (const uint32_t edge : {37U, 300U, 400U, 1024U}) {
    const Bytes pixels =
        edge == kCanvasEdge ? canvas.pixels : resampleCanvas(canvas, edge);
    Bytes expected;
    Bytes actual;
    ASSERT_EQ(0U, lodepng::encode(expected, pixels, edge, edge));
    ASSERT_EQ(0U, tib::codec::encodePng(actual, pixels, edge, edge));
    EXPECT_TRUE(expected == actual) << "size " << edge;
  }
}

TEST(Encoding, ShortInputIsTheCodecsError) {
  const Bytes pixels(4 * 10 * 10 - 1, 200);
  Bytes expected;
  Bytes actual;
  EXPECT_EQ(lodepng::encode(expected, pixels, 10, 10),
            tib::codec::encodePng(actual, pixels, 10, 10));
  EXPECT_TRUE(actual.empty());
}

TEST(Encoding, EmptyPicturesEqualTheCodecs) {
  for (const auto& [width, height] :
       std::vector<std::pair<unsigned, unsigned>>{{0, 0}, {0, 5}, {5, 0}}) {
    const Bytes pixels;
    Bytes expected;
    Bytes actual;
    EXPECT_EQ(lodepng::encode(expected, pixels, width, height),
              tib::codec::encodePng(actual, pixels, width, height));
    EXPECT_TRUE(expected == actual) << width << " x " << height;
  }
}

}  // namespace

}  // namespace tib
