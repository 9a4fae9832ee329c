// Printed sheets: the layout of the pages, and tib-game's PDF and SVG read
// back by poppler (page count, text layer, raster) and a real XML parser.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "game/run.h"
#include "test_support.h"
#include "tib/board/error.h"
#include "tib/sheet/cairo_scene.h"
#include "tib/sheet/layout.h"

namespace tib {
namespace {

TEST(SheetLayout, GridsAndPageCounts) {
  const struct {
    std::size_t perPage;
    std::size_t columns;
    std::size_t rows;
    std::size_t diagrams;
    std::size_t pages;
  } cases[] = {{4, 2, 2, 4, 1},    {4, 2, 2, 5, 2}, {6, 2, 3, 13, 3},
               {6, 2, 3, 100, 17}, {9, 3, 3, 9, 1}, {12, 3, 4, 13, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.perPage);
    const SheetLayout layout = sheetLayout(kA4, c.perPage);
    EXPECT_EQ(layout.grid.columns, c.columns);
    EXPECT_EQ(layout.grid.rows, c.rows);
    EXPECT_EQ(pageCount(c.diagrams, layout), c.pages);
  }
  EXPECT_FALSE(gridOf(5));
  EXPECT_FALSE(paperNamed("legal"));
}

// Every cell's board and caption inside the margins, apart from the others,
// in reading order, and the next page starting where the first did.
TEST(SheetLayout, CellsInReadingOrderWithinTheMargins) {
  for (const PaperSize& paper : {kA4, kLetter}) {
    for (const std::size_t perPage :
         {std::size_t{4}, std::size_t{6}, std::size_t{9}, std::size_t{12}}) {
      SCOPED_TRACE(std::to_string(paper.width) + " " + std::to_string(perPage));
      const SheetLayout layout = sheetLayout(paper, perPage);
      const double usable = paper.width - 2 * layout.margin;
      // The boards take most of the width a row has.
      EXPECT_GT(layout.board * static_cast<double>(layout.grid.columns),
                0.6 * usable);
      for (std::size_t i = 0; i < perPage; ++i) {
        const DiagramPlace place = diagramPlace(i, layout);
        EXPECT_EQ(place.page, 0U);
        const double bottom =
            place.captionBaseline + (kCaptionLines - 1) * layout.captionLeading;
        EXPECT_GE(place.board.x, layout.margin);
        EXPECT_LE(place.board.x + place.board.width,
                  paper.width - layout.margin);
        EXPECT_GT(place.board.y, layout.headerBaseline);
        EXPECT_GT(place.captionBaseline, place.board.y + place.board.height);
        EXPECT_LT(bottom, layout.footerBaseline - layout.captionSize);
        const std::size_t column = i % layout.grid.columns;
        if (column > 0) {
          const DiagramPlace before = diagramPlace(i - 1, layout);
          EXPECT_DOUBLE_EQ(place.board.y, before.board.y);
          EXPECT_GT(place.board.x, before.board.x + before.board.width);
        } else if (i > 0) {
          const DiagramPlace above =
              diagramPlace(i - layout.grid.columns, layout);
          EXPECT_DOUBLE_EQ(place.board.x, above.board.x);
          EXPECT_GT(place.board.y,
                    above.captionBaseline + 2 * layout.captionLeading);
        }
        if (i + 1 == perPage) {
          // As much room above the first row as below the last.
          const double above =
              diagramPlace(0, layout).board.y - layout.headerBaseline;
          const double below =
              layout.footerBaseline - layout.captionSize - bottom;
          EXPECT_NEAR(above, below, 2 * layout.captionLeading);
        }
        const DiagramPlace next = diagramPlace(i + perPage, layout);
        EXPECT_EQ(next.page, 1U);
        EXPECT_DOUBLE_EQ(next.board.x, place.board.x);
        EXPECT_DOUBLE_EQ(next.board.y, place.board.y);
      }
    }
  }
}

// Relative commands from the pen, a quadratic curve as its cubic, the pen
// back at the contour's start after z.
TEST(SheetGlyphs, PathDataBecomesTheSameCairoPath) {
  cairo_surface_t* surface =
      cairo_recording_surface_create(CAIRO_CONTENT_ALPHA, nullptr);
  cairo_t* cr = cairo_create(surface);
  appendGlyphPath(cr, "m30 60l15 0q15 15 30 0c3 6 9-12 15 18zm3-3l6 6z");
  cairo_path_t* path = cairo_copy_path(cr);
  std::vector<double> points;
  for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
    points.push_back(path->data[i].header.type);
    for (int k = 1; k < path->data[i].header.length; ++k) {
      points.push_back(path->data[i + k].point.x);
      points.push_back(path->data[i + k].point.y);
    }
  }
  cairo_path_destroy(path);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  const double move = CAIRO_PATH_MOVE_TO;
  const double line = CAIRO_PATH_LINE_TO;
  const double curve = CAIRO_PATH_CURVE_TO;
  const double close = CAIRO_PATH_CLOSE_PATH;
  const std::vector<double> expected{
      move, 30, 60, line, 45, 60, curve, 55, 70, 65, 70, 75, 60, curve, 78, 66,
      84, 48, 90, 78, close,
      // m3-3 from the start of the contour closed; cairo marks each close
      // with a move to where its contour started.
      move, 33, 57, line, 39, 63, close, move, 33, 57};
  ASSERT_EQ(points.size(), expected.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_NEAR(points[i], expected[i], 1e-9) << i;
  }
  cr = cairo_create(
      cairo_recording_surface_create(CAIRO_CONTENT_ALPHA, nullptr));
  EXPECT_THROW(appendGlyphPath(cr, "m1 1a2 2"), Error);
  cairo_surface_destroy(cairo_get_target(cr));
  cairo_destroy(cr);
}

struct GameRun {
  int status;
  std::string err;
};

GameRun runSheet(const std::filesystem::path& folder,
                 std::vector<std::string> args, const std::string& pgn) {
  writeBytes(folder / "games.pgn", pgn);
  args.insert(args.end(),
              {"--artwork", TIB_ARTWORK_DIR, (folder / "games.pgn").string()});
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  const int status = game::runGame(args, in, out, err);
  return {status, err.str()};
}

std::string poppler(const std::filesystem::path& folder, const char* tool,
                    const std::vector<std::string>& args) {
  const RunResult run =
      runProgram(std::string("/usr/bin/") + tool, folder, args);
  EXPECT_EQ(run.status, 0) << tool << ": " << run.err;
  return run.out;
}

// Games of twelve full moves, named by their number.
std::string gamesOf(std::size_t count) {
  std::string pgn;
  for (std::size_t i = 1; i <= count; ++i) {
    pgn += "[Event \"Spring Open\"]\n[White \"Weiss " + std::to_string(i) +
           "\"]\n[Black \"Schwarz\"]\n\n1. Nf3 Nf6 2. Ng1 Ng8 3. Nf3 Nf6 4. "
           "Ng1 Ng8 5. Nf3 Nf6 6. Ng1 Ng8 7. Nf3 Nf6 8. Ng1 Ng8 9. Nf3 Nf6 "
           "10. Ng1 Ng8 11. Nf3 Nf6 *\n\n";
  }
  return pgn;
}

TEST(GameSheet, PagesAndCaptionsReadBack) {
  const TempDir folder;
  const std::string pdf = (folder.path() / "sheet.pdf").string();
  const std::string pgn =
      gamesOf(11) +
      "[Event \"Puzzles\"]\n[White \"丁立人\"]\n[Black \"Иванов\"]\n"
      "[FEN \"4k3/8/8/8/8/8/3q4/K7 b - - 0 30\"]\n\n30... Qd5 *\n\n"
      "[Event \"Spring Open\"]\n[White \"Broken\"]\n\n1. e5 *\n";
  const GameRun run = runSheet(folder.path(), {"--sheet", pdf}, pgn);
  // The broken game is reported by number and left out; the others drawn.
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("game 13"), std::string::npos) << run.err;
  EXPECT_NE(poppler(folder.path(), "pdfinfo", {pdf}).find("Pages:           2"),
            std::string::npos);
  const std::string text = poppler(folder.path(), "pdftotext", {pdf, "-"});
  for (const char* expected :
       {"Spring Open", "Weiss 1 \u2013 Schwarz", "Weiss 11",
        "12. White to move", "丁立人 \u2013 Иванов", "Puzzles",
        "30. Black to move", "1/2", "2/2"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n"
                                                      << text;
  }
  // Han letters from a face that has them, not the family's empty boxes.
  EXPECT_NE(poppler(folder.path(), "pdffonts", {pdf}).find("CJK"),
            std::string::npos);
  // The header is not repeated in the captions of its own event.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 2);
  EXPECT_EQ(text.find("Spring Open", text.find("Spring Open") + 1),
            text.find('\f') + 1);

  const GameRun hundred = runSheet(
      folder.path(), {"--sheet", pdf, "--paper", "letter"}, gamesOf(100));
  EXPECT_EQ(hundred.status, 0) << hundred.err;
  const std::string info = poppler(folder.path(), "pdfinfo", {pdf});
  EXPECT_NE(info.find("Pages:           17"), std::string::npos) << info;
  EXPECT_NE(info.find("612 x 792"), std::string::npos) << info;
}

// SOURCE_DATE_EPOCH set for one scope, unset after it.
class SourceDate {
 public:
  explicit SourceDate(const char* value) {
    setenv("SOURCE_DATE_EPOCH", value, 1);
  }
  ~SourceDate() { unsetenv("SOURCE_DATE_EPOCH"); }
  SourceDate(const SourceDate&) = delete;
  SourceDate& operator=(const SourceDate&) = delete;
};

// The same games give the same bytes: no date unless SOURCE_DATE_EPOCH
// gives one; right-to-left names read back in their order.
TEST(GameSheet, SameBytesDatedOnlyBySourceDateEpoch) {
  const TempDir folder;
  const std::string pdf = (folder.path() / "sheet.pdf").string();
  const std::string pgn =
      "[White \"\u0645\u062d\u0645\u062f\"]\n[Black \"Weiss\"]\n\n1. e4 *\n";
  ASSERT_EQ(runSheet(folder.path(), {"--sheet", pdf}, pgn).status, 0);
  const std::string first = readText(pdf);
  ASSERT_EQ(runSheet(folder.path(), {"--sheet", pdf}, pgn).status, 0);
  EXPECT_TRUE(readText(pdf) == first);
  EXPECT_EQ(poppler(folder.path(), "pdfinfo", {pdf}).find("CreationDate"),
            std::string::npos);
  // Read back in visual order: the name right to left, left of the dash.
  const std::string text = poppler(folder.path(), "pdftotext", {pdf, "-"});
  const std::size_t dash = text.find("Weiss \u2013 ");
  ASSERT_NE(dash, std::string::npos) << text;
  EXPECT_NE(text.find("\u0645\u062d\u0645\u062f", dash), std::string::npos)
      << text;
  {
    const SourceDate date("86400");
    ASSERT_EQ(runSheet(folder.path(), {"--sheet", pdf}, pgn).status, 0);
    EXPECT_NE(poppler(folder.path(), "pdfinfo", {"-isodates", pdf})
                  .find("1970-01-02T00:00:00"),
              std::string::npos);
  }
  const SourceDate wrong("yesterday");
  const GameRun refused = runSheet(folder.path(), {"--sheet", pdf}, pgn);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("SOURCE_DATE_EPOCH=yesterday"), std::string::npos)
      << refused.err;
}

// The mean colour of each of 16 x 16 regions of a picture.
std::vector<std::array<double, 3>> regionMeans(const ImageBuffer& image) {
  constexpr uint32_t kRegions = 16;
  std::vector<std::array<double, 3>> means(std::size_t{kRegions} * kRegions);
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      const std::size_t region =
          (y * kRegions / image.height) * kRegions + x * kRegions / image.width;
      for (std::size_t k = 0; k < 3; ++k) {
        means[region][k] +=
            image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 4 +
                         k];
      }
    }
  }
  const double count =
      static_cast<double>(image.width) * image.height / (kRegions * kRegions);
  for (auto& mean : means) {
    std::transform(mean.begin(), mean.end(), mean.begin(),
                   [count](double channel) { return channel / count; });
  }
  return means;
}

// The board of a one-game sheet, rasterised, against tib-game's PNG of the
// same ply: a mirrored view or a misplaced piece changes some region much.
TEST(GameSheet, BoardLikeThePngOfTheSamePly) {
  const TempDir folder;
  const std::string pgn =
      "[White \"A\"]\n[Black \"B\"]\n\n1. e4 d5 2. exd5 Qxd5 3. Nc3 Qa5 *\n";
  for (const std::vector<std::string>& view :
       {std::vector<std::string>{"--orientation", "black", "--piece", "alpha"},
        std::vector<std::string>{"--theme", "green", "--ply", "3"}}) {
    std::vector<std::string> args{
        "--sheet", (folder.path() / "one.pdf").string(), "--per-page", "4"};
    args.insert(args.end(), view.begin(), view.end());
    ASSERT_EQ(runSheet(folder.path(), args, pgn).status, 0);
    constexpr double kDpi = 144;
    const DiagramPlace place = diagramPlace(0, sheetLayout(kA4, 4));
    const auto pixels = [](double points) {
      return std::to_string(std::lround(points * kDpi / 72));
    };
    const std::string side = pixels(place.board.width);
    poppler(
        folder.path(), "pdftoppm",
        {"-png", "-r", "144", "-singlefile", "-x", pixels(place.board.x), "-y",
         pixels(place.board.y), "-W", side, "-H", side, "one.pdf", "board"});
    args = {"-o", (folder.path() / "board-tib.png").string(), "--size", side,
            "--no-players"};
    args.insert(args.end(), view.begin(), view.end());
    ASSERT_EQ(runSheet(folder.path(), args, pgn).status, 0);
    const auto printed = regionMeans(readPng(folder.path() / "board.png"));
    const auto drawn = regionMeans(readPng(folder.path() / "board-tib.png"));
    double worst = 0;
    for (std::size_t i = 0; i < printed.size(); ++i) {
      for (std::size_t k = 0; k < 3; ++k) {
        worst = std::max(worst, std::abs(printed[i][k] - drawn[i][k]));
      }
    }
    EXPECT_LT(worst, 12.0);
  }
}

TEST(GameSheet, SvgPageAndRefusals) {
  const TempDir folder;
  const std::string svg = (folder.path() / "page.svg").string();
  ASSERT_EQ(runSheet(folder.path(), {"--sheet", svg}, gamesOf(6)).status, 0);
  EXPECT_EQ(
      runProgram("/usr/bin/xmllint", folder.path(), {"--noout", "--nonet", svg})
          .status,
      0);
  // Every reference resolves: a clip or piece lost on the way is drawn by
  // no viewer.
  const std::string page = readText(svg);
  const std::regex id(R"re(id="([^"]+)")re");
  const std::regex reference(R"re((?:url\(#|href="#)([^")]+))re");
  std::set<std::string> ids;
  for (auto at = std::sregex_iterator(page.begin(), page.end(), id);
       at != std::sregex_iterator(); ++at) {
    ids.insert((*at)[1]);
  }
  std::size_t references = 0;
  for (auto at = std::sregex_iterator(page.begin(), page.end(), reference);
       at != std::sregex_iterator(); ++at, ++references) {
    EXPECT_EQ(ids.count((*at)[1]), 1U) << (*at)[0];
  }
  EXPECT_GT(references, 6U * 32U);
  const struct {
    std::vector<std::string> args;
    std::size_t games;
    int status;
    std::string message;
  } cases[] = {
      {{"--sheet", "more.svg"},
       7,
       2,
       "more.svg: the file has 7 games and one SVG page holds 6; write a "
       ".pdf or raise --per-page"},
      {{"--sheet", "a.pdf", "--per-page", "5"},
       1,
       2,
       "--per-page 5: use 4, 6, 9 or 12"},
      {{"--sheet", "a.pdf", "--paper", "legal"},
       1,
       2,
       "--paper legal: use a4 or letter"},
      {{"--sheet", "a.png"}, 1, 2, "a.png: name a .pdf file"},
      {{"--sheet", "a.pdf", "--all"}, 1, 2, "so --all does not go with it"},
      {{"--sheet", "a.pdf", "--size", "300"},
       1,
       2,
       "so --size does not go with it"},
      {{"--sheet", "a.pdf", "--white=Carlsen"},
       1,
       2,
       "so --white does not go with it"},
      {{"--sheet", "a.pdf", "--ply", "30"}, 1, 1, "game 1: --ply 30"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = c.args;
    args[1] = (folder.path() / args[1]).string();
    const GameRun run = runSheet(folder.path(), args, gamesOf(c.games));
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(args[1]));
  }
}

}  // namespace
}  // namespace tib
