#include "tib/text/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "text_test_support.h"
#include "tib/text/text_runs.h"

namespace tib {
namespace {

struct DecodeCase {
  std::string bytes;
  std::u32string codePoints;
};

TEST(DecodeUtf8, ValidSequencesDecodeAndBrokenOnesBecomeReplacements) {
  const DecodeCase cases[] = {
      {"Ab", U"Ab"},
      {"\xC3\xA9", U"\u00E9"},
      {"\xE4\xB8\x81", U"\u4E01"},
      {"\xF0\x9F\x98\x80", U"\U0001F600"},
      {"\xC0\xAF", U"\uFFFD\uFFFD"},    // overlong '/'
      {"\xED\xA0\x80", U"\uFFFD"},      // surrogate
      {"\xE4\xB8", U"\uFFFD\uFFFD"},    // cut short at the end
      {"a\x80z", U"a\uFFFDz"},          // stray continuation
      {"\xF4\x90\x80\x80", U"\uFFFD"},  // past U+10FFFF
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(decodeUtf8(c.bytes), c.codePoints) << c.bytes;
    if (c.codePoints.find(U'\uFFFD') == std::u32string::npos) {
      EXPECT_EQ(encodeUtf8(c.codePoints), c.bytes);
    }
  }
}

struct TruncateCase {
  std::string text;
  std::size_t limit;
  std::string kept;
};

TEST(TruncateUtf8, CutsOnlyAtCodePointBoundaries) {
  const TruncateCase cases[] = {
      {"h\xC3\xA9llo", 2, "h"},
      {"h\xC3\xA9llo", 3, "h\xC3\xA9"},
      {"\xE4\xB8\x81\xE7\xAB\x8B", 5, "\xE4\xB8\x81"},
      {"\xE4\xB8\x81\xE7\xAB\x8B", 6, "\xE4\xB8\x81\xE7\xAB\x8B"},
      {"\xF0\x9F\x98\x80x", 3, ""},
      {"short", 100, "short"},
  };
  for (const TruncateCase& c : cases) {
    EXPECT_EQ(truncateUtf8(c.text, c.limit), c.kept)
        << c.text << " " << c.limit;
  }
}

// Classes as letters (L, R, N neutral, M mark) and faces as digits, one per
// code point; L and R letters get scripts of their own, and a neutral takes
// the script before it.
std::vector<CodePointFacts> factsFrom(const std::string& classes,
                                      const std::string& faces) {
  std::vector<CodePointFacts> facts;
  for (std::size_t i = 0; i < classes.size(); ++i) {
    CodePointFacts fact;
    switch (classes[i]) {
      case 'L':
        fact = {BidiClass::left, 1, 0};
        break;
      case 'R':
        fact = {BidiClass::right, 2, 0};
        break;
      case 'M':
        fact = {BidiClass::mark, 0, 0};
        break;
      default:
        fact = {BidiClass::neutral, 0, 0};
        break;
    }
    fact.face = faces.empty() ? 0 : faces[i] - '0';
    facts.push_back(fact);
  }
  return facts;
}

struct RunsCase {
  std::string classes;
  std::string faces;
  // Each run as start, length and direction ('r' or 'l'), left to right.
  std::string runs;
};

std::string describe(const std::vector<TextRun>& runs) {
  std::string text;
  for (const TextRun& run : runs) {
    text += std::to_string(run.start) + "+" + std::to_string(run.length) +
            (run.rightToLeft ? "r " : "l ");
  }
  return text;
}

TEST(VisualRuns, OrdersRunsByDirection) {
  const RunsCase cases[] = {
      {"LLL", "", "0+3l "},
      {"LNRRNL", "", "0+2l 2+2r 4+1l 5+1l "},
      {"LRRNRRL", "", "0+1l 1+5r 6+1l "},
      {"RRNRR", "", "0+5r "},
      {"RNLLNR", "", "5+1r 4+1r 2+2l 0+2r "},
      {"LNRRRR", "000011", "0+2l 4+2r 2+2r "},
      {"RM", "", "0+2r "},
      {"LRMNL", "", "0+1l 1+2r 3+1l 4+1l "},
      {"NNL", "", "0+3l "},
      {"NN", "", "0+2l "},
      {"", "", ""},
  };
  for (const RunsCase& c : cases) {
    EXPECT_EQ(describe(visualRuns(factsFrom(c.classes, c.faces))), c.runs)
        << c.classes;
  }
}

TEST(TextRenderer, RefusesAFamilyThatIsNotInstalled) {
  try {
    TextRenderer missing(FontChoice{"No Such Family Tib", 16});
    FAIL() << "a renderer without its family was made";
  } catch (const TextError& error) {
    EXPECT_EQ(std::string(error.what()),
              "no usable font: No Such Family Tib not found");
  }
}

struct ScriptCase {
  std::string text;
  bool fallsBack;
};

TEST(TextRenderer, DrawsEveryScriptWithAFaceThatHasItsGlyphs) {
  const ScriptCase cases[] = {
      {"Magnus Carlsen", false}, {"Александр Грищук", false},
      {"محمد عبد الله", false},  {"שלום עליכם", false},
      {"丁立人", true},          {"ひらがな カタカナ", true},
      {"김민수", true},          {"GM 王皓 Wang Hao", true},
  };
  for (const ScriptCase& c : cases) {
    for (FontWeight weight : {FontWeight::regular, FontWeight::bold}) {
      const std::vector<ShapedRun> runs =
          sharedRenderer().shape(c.text, weight);
      bool usedFallback = false;
      for (const ShapedRun& run : runs) {
        EXPECT_EQ(std::count(run.glyphIds.begin(), run.glyphIds.end(), 0U), 0)
            << c.text << " in " << run.family;
        usedFallback = usedFallback || run.family != "DejaVu Sans";
      }
      EXPECT_EQ(usedFallback, c.fallsBack) << c.text;
      const auto mask = sharedRenderer().rasterise(c.text, 20, weight);
      EXPECT_GT(inkedCount(*mask), 20) << c.text;
    }
  }
}

TEST(TextRenderer, DifferentCjkNamesDrawDifferently) {
  const auto first =
      sharedRenderer().rasterise("丁立人", 24, FontWeight::regular);
  const auto second =
      sharedRenderer().rasterise("王皓", 24, FontWeight::regular);
  const auto third =
      sharedRenderer().rasterise("王天一", 24, FontWeight::regular);
  EXPECT_NE(first->coverage, second->coverage);
  EXPECT_NE(second->coverage, third->coverage);
}

TEST(TextRenderer, ReturnsToTheMainFaceAfterAFallback) {
  const auto runs =
      sharedRenderer().shape("王皓 Wang Hao", FontWeight::regular);
  ASSERT_EQ(runs.size(), 2U);
  EXPECT_NE(runs.front().family, "DejaVu Sans");
  EXPECT_EQ(runs.back().family, "DejaVu Sans");
}

TEST(TextRenderer, JoinsArabicLetters) {
  // The first letter of محمد is at the right end, in its initial form (as
  // the first of مم), unlike the letter alone.
  const auto word = sharedRenderer().shape("محمد", FontWeight::regular);
  const auto pair = sharedRenderer().shape("مم", FontWeight::regular);
  const auto letter = sharedRenderer().shape("م", FontWeight::regular);
  ASSERT_EQ(word.size(), 1U);
  ASSERT_EQ(pair.size(), 1U);
  ASSERT_EQ(letter.size(), 1U);
  EXPECT_TRUE(word[0].rightToLeft);
  ASSERT_EQ(word[0].glyphIds.size(), 4U);
  ASSERT_EQ(pair[0].glyphIds.size(), 2U);
  EXPECT_EQ(word[0].glyphIds.back(), pair[0].glyphIds.back());
  EXPECT_NE(word[0].glyphIds.back(), letter[0].glyphIds[0]);
}

TEST(TextRenderer, PlacesMarksOnTheirLetters) {
  // The circumflex of x̂ sits centred over the x.
  const auto bare = sharedRenderer().rasterise("x", 48, FontWeight::regular);
  const auto accented =
      sharedRenderer().rasterise("x\u0302", 48, FontWeight::regular);
  EXPECT_EQ(accented->advance, bare->advance);
  ASSERT_GT(accented->top, bare->top);
  int first = accented->width;
  int last = -1;
  for (int row = 0; row < accented->top - bare->top; ++row) {
    for (int col = 0; col < accented->width; ++col) {
      if (coverageAt(*accented, col, row) > 0) {
        first = std::min(first, col);
        last = std::max(last, col);
      }
    }
  }
  ASSERT_GE(last, first);
  const int accentMiddle = 2 * accented->left + first + last;
  const int letterMiddle = 2 * bare->left + bare->width - 1;
  EXPECT_LE(std::abs(accentMiddle - letterMiddle), 2);
}

// The mask with a second copy of `glyph` added `offset` columns right.
std::vector<uint8_t> doubled(const TextMask& glyph, int offset) {
  const int width = glyph.width + offset;
  TextMask copies{0, 0, width, glyph.height, 0, {}};
  copies.coverage.resize(static_cast<std::size_t>(width) *
                         static_cast<std::size_t>(glyph.height));
  for (int row = 0; row < glyph.height; ++row) {
    for (int col = 0; col < glyph.width; ++col) {
      for (const int at : {col, col + offset}) {
        uint8_t& out = coverageAt(copies, at, row);
        out = std::max(out, coverageAt(glyph, col, row));
      }
    }
  }
  return copies.coverage;
}

TEST(TextRenderer, PlacesGlyphsBetweenPixels) {
  // At 13 px an l advances 3.6 px: the second one falls between pixels and
  // is no whole-pixel copy of the first.
  const auto one = sharedRenderer().rasterise("l", 13, FontWeight::regular);
  const auto two = sharedRenderer().rasterise("ll", 13, FontWeight::regular);
  ASSERT_EQ(two->height, one->height);
  for (int offset = 3; offset <= 4; ++offset) {
    EXPECT_NE(two->coverage, doubled(*one, offset)) << offset;
  }
}

TEST(TextRenderer, KeepsAtMostTheCachedStrings) {
  const TextRenderer renderer(FontChoice{"DejaVu Sans", 2});
  const auto maskOf = [&renderer](const char* text, FontWeight weight) {
    return renderer.rasterise(text, 16, weight);
  };
  const auto first = maskOf("A", FontWeight::regular);
  // cppcheck-suppress knownConditionTrueFalse
  EXPECT_EQ(maskOf("A", FontWeight::regular), first);
  EXPECT_NE(maskOf("A", FontWeight::bold), first);
  // Full: the third string starts the cache again.
  static_cast<void>(maskOf("B", FontWeight::regular));
  // cppcheck-suppress knownConditionTrueFalse
  EXPECT_NE(maskOf("A", FontWeight::regular), first);
}

struct OrderCase {
  std::string text;
  std::vector<bool> rightToLeft;
};

TEST(TextRenderer, OrdersMixedDirectionsVisually) {
  const OrderCase cases[] = {
      {"Ali שלום", {false, true}},
      {"שלום Ali", {false, true}},
      {"Ali שלום Cohen", {false, true, false}},
      {"שלום 2024", {false, true}},
  };
  for (const OrderCase& c : cases) {
    std::vector<bool> order;
    for (const ShapedRun& run :
         sharedRenderer().shape(c.text, FontWeight::regular)) {
      if (order.empty() || order.back() != run.rightToLeft) {
        order.push_back(run.rightToLeft);
      }
    }
    EXPECT_EQ(order, c.rightToLeft) << c.text;
  }
}

// A descender's outline keeps its signs: "g" of the default face, whose
// tail goes below the baseline (negative y), pinned.
TEST(TextRenderer, OutlinesADescenderBelowTheBaseline) {
  const std::vector<OutlinedGlyph> glyphs =
      sharedRenderer().outline("g", 20, FontWeight::regular);
  ASSERT_EQ(glyphs.size(), 1U);
  EXPECT_EQ(sharedRenderer().glyphPath(glyphs[0].key),
            "m465 287q0 100-41 155q-41 55-116 55q-74 0-115-55q-41-55-41-155q0-"
            "100 41-155q41-55 115-55q75 0 116 55q41 55 41 155zm92-217q0-144-"
            "63-213q-64-70-195-70q-48 0-91 7q-43 7-84 22l0 90q41-22 80-33q40-"
            "10 81-10q90 0 135 47q45 47 45 143l0 46q-28-50-73-74q-44-25-106-"
            "25q-103 0-166 79q-63 78-63 208q0 130 63 208q63 79 166 79q62 0 "
            "106-25q45-24 73-74l0 85l92 0l0-490z");
}

TEST(TextRenderer, CutsWithAnEllipsisToTheWidth) {
  const std::string name = "Maximilian Alexander Longname-Ostrowski";
  const int whole = sharedRenderer().measure(name, 16, FontWeight::regular);
  const int ellipsis = sharedRenderer().measure("…", 16, FontWeight::regular);
  for (int limit : {whole, whole - 1, 200, 100, 40, ellipsis}) {
    const auto mask =
        sharedRenderer().rasterise(name, 16, FontWeight::regular, limit);
    EXPECT_LE(mask->advance, limit);
    EXPECT_LE(mask->left + mask->width, limit + 1);
    // No more than a letter and the ellipsis go unused.
    EXPECT_GT(mask->advance, limit - 2 * ellipsis) << limit;
  }
  EXPECT_EQ(
      sharedRenderer()
          .rasterise(name, 16, FontWeight::regular, whole)
          ->coverage,
      sharedRenderer().rasterise(name, 16, FontWeight::regular)->coverage);
  // A cut after a space drops the space, not to leave "Maximilian …".
  const auto spaced =
      sharedRenderer().rasterise("Maximilian …", 16, FontWeight::regular);
  for (int limit = ellipsis; limit < whole; ++limit) {
    EXPECT_NE(sharedRenderer()
                  .rasterise(name, 16, FontWeight::regular, limit)
                  ->coverage,
              spaced->coverage)
        << limit;
  }
  const auto nothing =
      sharedRenderer().rasterise(name, 16, FontWeight::regular, ellipsis - 1);
  EXPECT_EQ(nothing->advance, 0);
  EXPECT_EQ(inkedCount(*nothing), 0);
}

TEST(TextRenderer, BlendsTheColourThroughTheCoverage) {
  ImageBuffer image = filledImage(40, 30, {10, 20, 30, 255});
  // A full block covers its whole cell: the middle takes the colour exactly.
  const int advance = sharedRenderer().draw(
      image, "\u2588", 5, 24, 20, FontWeight::regular, {200, 100, 0, 255});
  EXPECT_GT(advance, 5);
  const unsigned char* middle = pixelAt(image, 5 + advance / 2, 16);
  EXPECT_EQ(std::vector<int>(middle, middle + 4),
            (std::vector<int>{200, 100, 0, 255}));
  const unsigned char* outside = pixelAt(image, 39, 2);
  EXPECT_EQ(std::vector<int>(outside, outside + 4),
            (std::vector<int>{10, 20, 30, 255}));
  // Half-transparent colour lands half-way.
  ImageBuffer half = filledImage(40, 30, {0, 0, 0, 255});
  sharedRenderer().draw(half, "\u2588", 5, 24, 20, FontWeight::regular,
                        {200, 100, 0, 128});
  EXPECT_EQ(pixelAt(half, 5 + advance / 2, 16)[0], 100);
}

TEST(TextRenderer, RefusesSizesOutsideItsRange) {
  for (int size : {0, -3, 5000}) {
    EXPECT_THROW(static_cast<void>(
                     sharedRenderer().measure("a", size, FontWeight::regular)),
                 TextError);
  }
}

TEST(TextRenderer, GivesTheSameMasksFromManyThreads) {
  TextRenderer renderer(FontChoice{"DejaVu Sans", 8});
  std::vector<std::string> names;
  for (int i = 0; i < 24; ++i) {
    names.push_back("Player " + std::to_string(i) +
                    (i % 3 == 0 ? " 丁立人" : " שלום"));
  }
  std::vector<std::vector<uint8_t>> expected(names.size());
  std::transform(names.begin(), names.end(), expected.begin(),
                 [](const std::string& name) {
                   return sharedRenderer()
                       .rasterise(name, 18, FontWeight::regular)
                       ->coverage;
                 });
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        for (std::size_t i = 0; i < names.size(); ++i) {
          const std::size_t k =
              (i + static_cast<std::size_t>(t) * 5) % names.size();
          if (renderer.rasterise(names[k], 18, FontWeight::regular)->coverage !=
              expected[k]) {
            ++mismatches[static_cast<std::size_t>(t)];
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace tib
