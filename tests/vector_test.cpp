// Vector diagrams: /board.svg parsed by a real XML parser, rasterised by
// rsvg-convert and compared square by square with /board.png of the same
// request; its answer's fields; what the document must never hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "server/answers.h"
#include "server/request.h"
#include "server/text.h"
#include "test_support.h"
#include "tib/board/error.h"
#include "tib/vector/piece_vectors.h"
#include "tib/vector/svg.h"

namespace tib {
namespace {

// The default theme, the green and the wood ones and some piece sets, as the
// server serves them.
const Served& bundled() {
  static const Served served = [] {
    Served loaded;
    ArtworkBudget budget;
    const auto theme = [&](const std::string& folder) {
      auto artwork = std::make_shared<Artwork>(
          loadArtwork(folder, {Side::white, Side::black}, budget));
      loadOtherBoards(folder, budget, artwork->boards);
      Theme made{std::move(artwork), 1, nullptr, 2};
      made.vectors = std::make_shared<const PieceVectors>(
          loadPieceVectors(folder).value());
      return made;
    };
    const std::string root = TIB_ARTWORK_DIR;
    loaded.themes.emplace("", theme(root));
    loaded.themes.emplace("green", theme(root + "/themes/green"));
    loaded.themes.emplace("wood", theme(root + "/themes/wood"));
    for (const char* name :
         {"alpha", "celtic", "fantasy", "kosal", "merida", "spatial"}) {
      const std::string folder = root + "/pieces/" + name;
      std::vector<FileIdentity> files;
      std::vector<std::string> warnings;
      PieceSet set{std::make_shared<const Sprites>(
                       loadSprites(folder, budget, files, warnings)),
                   3, nullptr, 4};
      set.vectors = std::make_shared<const PieceVectors>(
          loadPieceVectors(folder).value());
      loaded.pieceSets.emplace(name, std::move(set));
    }
    loaded.labels = std::make_shared<const LabelGlyphs>(labelGlyphs());
    loaded.lettering = std::make_shared<const Lettering>();
    return loaded;
  }();
  return served;
}

Answer answerTo(const std::string& target,
                const std::vector<std::string_view>& ifNoneMatch = {}) {
  const Decision decision =
      decideRequest({"GET", target, ifNoneMatch, {}, false}, bundled(), 4096);
  if (const auto* render = std::get_if<Render>(&decision)) {
    return renderAnswer(*render);
  }
  if (const auto* notModified = std::get_if<NotModified>(&decision)) {
    return notModifiedAnswer(*notModified);
  }
  return refusalAnswer(std::get<Refuse>(decision));
}

std::string bodyOf(const Answer& answer) {
  return {answer.response.body().begin(), answer.response.body().end()};
}

// The mean of each colour channel over a box of the picture.
std::array<double, 3> meanColour(const ImageBuffer& image, int x0, int y0,
                                 int x1, int y1) {
  std::array<double, 3> sum{};
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * image.width +
                              static_cast<std::size_t>(x)) *
                             4;
      for (std::size_t k = 0; k < 3; ++k) {
        sum[k] += image.pixels[at + k];
      }
    }
  }
  const double count = static_cast<double>(x1 - x0) * (y1 - y0);
  std::transform(sum.begin(), sum.end(), sum.begin(),
                 [count](double channel) { return channel / count; });
  return sum;
}

// The largest difference of mean colour between the two pictures over any
// cell of a grid on them, 16 to the side of the board: two rasterisers (one
// sampling the nearest pixel, one anti-aliasing; one hinting letters, one
// not) differ little there, a piece, a mark, a bar or a square out of place
// much.
double worstCellDifference(const ImageBuffer& a, const ImageBuffer& b,
                           int boardEdge) {
  const int cell = std::max(1, boardEdge / 16);
  double worst = 0;
  for (int y = 0; y + cell <= static_cast<int>(a.height); y += cell) {
    for (int x = 0; x + cell <= static_cast<int>(a.width); x += cell) {
      const auto one = meanColour(a, x, y, x + cell, y + cell);
      const auto two = meanColour(b, x, y, x + cell, y + cell);
      for (std::size_t k = 0; k < 3; ++k) {
        worst = std::max(worst, std::abs(one[k] - two[k]));
      }
    }
  }
  return worst;
}

// Both views, every bundled set, each kind of mark.
const char* const kRequests[] = {
    "size=512",
    "size=512&orientation=black&piece=alpha",
    "size=512&fen=r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R+b"
    "&lastMove=e1g1&arrows=Gd5c4,Rf6,Bb1h7&highlight=Ye4,Bc3",
    "size=512&fen=r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R+b"
    "&lastMove=e1g1&arrows=Gd5c4,Rf6,Bb1h7&highlight=Ye4,Bc3"
    "&orientation=black&piece=merida&theme=green",
    "size=512&fen=4k3/8/8/8/8/8/4q3/4K3+w&check=true&piece=fantasy"
    "&coordinates=false",
    "size=512&fen=4k3/8/8/8/8/8/4q3/4K3+w&check=true&piece=celtic"
    "&orientation=black&arrows=Ge2e1",
    "size=512&pgn=1.e4+e5+2.Nf3+Nc6+3.Bb5&ply=4&piece=kosal&scale=1",
    "size=512&fen=rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR+b&piece=spatial"
    "&orientation=black&arrows=Yh8a1",
    // The players' bars with names of markup and of Han, a badge and the
    // evaluation bar; then a game's clocks, material, glyph and evaluation
    // seen from black.
    "size=400&fen=rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR+w"
    "&lastMove=e7e5&glyph=!?&eval=-1.3&black=%3Cscript%3Ealert(1)%3C/script%3E"
    "&white=A%26B+%22Q%22+%E7%8E%8B%E5%BC%BA",
    "size=448&orientation=black&piece=merida&pgn=%5BWhiteElo+%222700%22%5D"
    "+1.e4+%7B%5B%25clk+0:03:00%5D+%5B%25eval+0.2%5D%7D+d5+%7B%5B%25clk+0:02:59"
    "%5D%7D+2.exd5+Qxd5+3.Nc3+Qe5%3F%3F+%7B%5B%25eval+4.8%5D%7D&white=W%3Cb%3E"
    "&black=B",
    "size=480&fen=4k3/8/8/8/8/8/4q3/4K3+w&white=W&glyph=??&lastMove=d2e2"
    "&check=true&theme=green",
    "size=512&fen=4k3/8/8/8/8/8/4q3/4K3+w&lastMove=d2e2&check=true"
    "&theme=wood&orientation=black&highlight=Ya1",
    // The evaluation bar alone.
    "size=400&fen=4k3/8/8/8/8/8/8/4K3+w&eval=0.35",
};

TEST(VectorDiagram, RasterisedLikeThePngOfTheSameRequest) {
  const TempDir folder;
  for (const char* query : kRequests) {
    SCOPED_TRACE(query);
    const Answer svg = answerTo(std::string("/board.svg?") + query);
    const Answer png = answerTo(std::string("/board.png?") + query);
    ASSERT_EQ(svg.response.result_int(), 200U) << bodyOf(svg) << bodyOf(png);
    ASSERT_EQ(png.response.result_int(), 200U) << bodyOf(png);
    writeBytes(folder.path() / "diagram.svg", bodyOf(svg));
    writeBytes(folder.path() / "diagram.png", bodyOf(png));
    EXPECT_EQ(runProgram("/usr/bin/xmllint", folder.path(),
                         {"--noout", "--nonet", "diagram.svg"})
                  .status,
              0);
    ASSERT_EQ(runProgram("/usr/bin/rsvg-convert", folder.path(),
                         {"-o", "drawn.png", "diagram.svg"})
                  .status,
              0);
    const ImageBuffer drawn = readPng(folder.path() / "drawn.png");
    const ImageBuffer expected = readPng(folder.path() / "diagram.png");
    ASSERT_EQ(drawn.width, expected.width);
    ASSERT_EQ(drawn.height, expected.height);
    const double worst =
        worstCellDifference(drawn, expected, std::stoi(query + 5));
    EXPECT_LT(worst, 12.0);
    // Every text of the request is outlines.
    for (const char* text :
         {"script", "alert", "A&amp;B", "&quot;", "\xE7\x8E\x8B"}) {
      EXPECT_EQ(bodyOf(svg).find(text), std::string::npos) << text;
    }
  }
}

// A tiled board's two tiles are in the document once each, as patterns
// that its squares fill from.
TEST(VectorDiagram, TiledSquaresFillFromTwoEmbeddedTiles) {
  const std::string svg = bodyOf(answerTo("/board.svg?theme=wood&size=300"));
  const auto count = [&svg](const std::string& text) {
    std::size_t found = 0;
    for (std::size_t at = svg.find(text); at != std::string::npos;
         at = svg.find(text, at + 1)) {
      ++found;
    }
    return found;
  };
  EXPECT_EQ(2U, count("<pattern "));
  EXPECT_EQ(2U, count("data:image/png;base64,"));
  // Every id carries the document's prefix: url(#t0123abcd-tile-light).
  EXPECT_EQ(32U, count("-tile-light)\""));
  EXPECT_EQ(32U, count("-tile-dark)\""));
}

// The same label drawn by the same rasteriser: where the white view has the
// rank or file of row or column i, the black view has it at 7 - i.
TEST(VectorDiagram, CoordinatesTurnWithTheView) {
  const TempDir folder;
  std::array<ImageBuffer, 2> views;
  for (std::size_t v = 0; v < views.size(); ++v) {
    writeBytes(folder.path() / "view.svg",
               bodyOf(answerTo(std::string("/board.svg?size=1024") +
                               (v == 1 ? "&orientation=black" : ""))));
    ASSERT_EQ(runProgram("/usr/bin/rsvg-convert", folder.path(),
                         {"-o", "view.png", "view.svg"})
                  .status,
              0);
    views.at(v) = readPng(folder.path() / "view.png");
  }
  const auto width = static_cast<int>(kSquareWidth);
  const auto height = static_cast<int>(kSquareHeight);
  const int filesTop = static_cast<int>(kGridY) + 8 * height + 8;
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const int rankTop = static_cast<int>(kGridY) + i * height;
    const int mirroredTop = static_cast<int>(kGridY) + (7 - i) * height;
    const int fileLeft = static_cast<int>(kGridX) + i * width;
    const int mirroredLeft = static_cast<int>(kGridX) + (7 - i) * width;
    // One rasteriser, whole pixels apart: equal labels give equal means.
    const double rank =
        meanColour(views[0], 0, rankTop, 46, rankTop + height)[0] -
        meanColour(views[1], 0, mirroredTop, 46, mirroredTop + height)[0];
    const double file =
        meanColour(views[0], fileLeft, filesTop, fileLeft + width, 1024)[0] -
        meanColour(views[1], mirroredLeft, filesTop, mirroredLeft + width,
                   1024)[0];
    EXPECT_LT(std::abs(rank), 0.5);
    EXPECT_LT(std::abs(file), 0.5);
  }
}

// A browser draws the decorated document as the PNG is drawn too.
TEST(VectorDiagram, RasterisedByChromiumLikeThePng) {
  const std::filesystem::path chromium = "/usr/bin/chromium";
  if (!std::filesystem::exists(chromium)) {
    GTEST_SKIP() << "chromium is not installed";
  }
  const std::string query =
      "size=400&orientation=black&pgn=1.e4+%7B%5B%25eval+0.4%5D%7D+e5+2.Nf3%3F!"
      "&white=%E7%8E%8B+%3Cb%3E&black=B%26W";
  const Answer svg = answerTo("/board.svg?" + query);
  const Answer png = answerTo("/board.png?" + query);
  ASSERT_EQ(svg.response.result_int(), 200U) << bodyOf(svg);
  const TempDir folder;
  writeBytes(folder.path() / "diagram.svg", bodyOf(svg));
  writeBytes(folder.path() / "diagram.png", bodyOf(png));
  const ImageBuffer expected = readPng(folder.path() / "diagram.png");
  const RunResult run =
      runProgram(chromium.string(), folder.path(),
                 {"--headless", "--no-sandbox", "--disable-gpu",
                  "--hide-scrollbars", "--force-device-scale-factor=1",
                  "--user-data-dir=" + (folder.path() / "profile").string(),
                  "--screenshot=" + (folder.path() / "drawn.png").string(),
                  "--window-size=" + std::to_string(expected.width) + "," +
                      std::to_string(expected.height),
                  "file://" + (folder.path() / "diagram.svg").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const ImageBuffer drawn = readPng(folder.path() / "drawn.png");
  ASSERT_EQ(drawn.width, expected.width);
  ASSERT_EQ(drawn.height, expected.height);
  EXPECT_LT(worstCellDifference(drawn, expected, 400), 12.0);
}

// A column of the picture, as wide as width.
ImageBuffer columnOf(const ImageBuffer& image, uint32_t left, uint32_t width) {
  ImageBuffer column;
  column.width = width;
  column.height = image.height;
  for (uint32_t y = 0; y < image.height; ++y) {
    // cppcheck-suppress redundantAssignment
    const auto row =
        image.pixels.begin() +
        static_cast<std::ptrdiff_t>((std::size_t{y} * image.width + left) * 4);
    column.pixels.insert(column.pixels.end(), row,
                         row + static_cast<std::ptrdiff_t>(width) * 4);
  }
  return column;
}

// Documents inlined in one page keep their own pieces, styles and glow:
// the default set in check, kosal's classes, merida's gradients, in check
// on another square.
TEST(VectorDiagram, InlinedSideBySideEachLikeItsPng) {
  const std::filesystem::path chromium = "/usr/bin/chromium";
  if (!std::filesystem::exists(chromium)) {
    GTEST_SKIP() << "chromium is not installed";
  }
  const char* const queries[] = {
      "size=320&fen=4k3/8/8/8/8/8/4q3/4K3+w&check=true",
      "size=320&fen=rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR+w&piece=kosal",
      "size=320&fen=3qk3/8/8/8/8/8/8/K7+b&check=true&piece=merida"};
  const TempDir folder;
  std::string page =
      "<!DOCTYPE html><html><body style=\"margin:0;display:flex\">";
  std::vector<ImageBuffer> expected;
  for (const char* query : queries) {
    page += bodyOf(answerTo(std::string("/board.svg?") + query));
    writeBytes(folder.path() / "each.png",
               bodyOf(answerTo(std::string("/board.png?") + query)));
    expected.push_back(readPng(folder.path() / "each.png"));
  }
  writeBytes(folder.path() / "page.html", page + "</body></html>");
  const RunResult run = runProgram(
      chromium.string(), folder.path(),
      {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
       "--disable-background-networking", "--disable-component-update",
       "--disable-sync", "--hide-scrollbars", "--force-device-scale-factor=1",
       "--user-data-dir=" + (folder.path() / "profile").string(),
       "--screenshot=" + (folder.path() / "drawn.png").string(),
       "--window-size=960,320",
       "file://" + (folder.path() / "page.html").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const ImageBuffer drawn = readPng(folder.path() / "drawn.png");
  ASSERT_EQ(drawn.width, 960U);
  for (uint32_t i = 0; i < expected.size(); ++i) {
    EXPECT_LT(
        worstCellDifference(columnOf(drawn, i * 320, 320), expected[i], 320),
        12.0)
        << queries[i];
  }
}

TEST(VectorDiagram, AnswersAsAnImageThatRunsNothing) {
  const Answer svg = answerTo("/board.svg?size=400");
  const auto& fields = svg.response;
  EXPECT_EQ(fields[boost::beast::http::field::content_type], "image/svg+xml");
  EXPECT_EQ(fields["Content-Security-Policy"],
            "default-src 'none'; style-src 'unsafe-inline'");
  EXPECT_EQ(fields["X-Content-Type-Options"], "nosniff");
  EXPECT_FALSE(fields[boost::beast::http::field::cache_control].empty());
  const std::string tag(fields[boost::beast::http::field::etag]);
  // Not the PNG's tag: the same request as PNG is other bytes.
  EXPECT_NE(tag, std::string(answerTo("/board.png?size=400")
                                 .response[boost::beast::http::field::etag]));
  const Answer again = answerTo("/board.svg?size=400", {tag});
  EXPECT_EQ(again.response.result_int(), 304U);
  EXPECT_TRUE(again.response.body().empty());
  const std::string body = bodyOf(svg);
  for (const char* absent : {"<script", "<text", " on", "http://e", "url(h",
                             "<image", "<foreignObject"}) {
    EXPECT_EQ(body.find(absent), std::string::npos) << absent;
  }
}

TEST(VectorDiagram, RequestTextNeverBecomesMarkup) {
  const char* const hostile[] = {"<script>alert(1)</script>", "a&b", "\"x\"",
                                 "</svg><svg onload=alert(1)>"};
  for (const char* text : hostile) {
    SCOPED_TRACE(text);
    std::string escaped;
    for (const char c : std::string(text)) {
      escaped += "%" + hexDigits(static_cast<unsigned char>(c)).substr(14);
    }
    for (const char* name : {"fen", "white", "black", "theme", "arrows",
                             "lastMove", "piece", "orientation"}) {
      const Answer answer =
          answerTo(std::string("/board.svg?") + name + "=" + escaped);
      const std::string body = bodyOf(answer);
      const std::string type(
          answer.response[boost::beast::http::field::content_type]);
      if (type == "image/svg+xml") {
        EXPECT_EQ(body.find(text), std::string::npos) << name;
        EXPECT_EQ(body.find("<script"), std::string::npos) << name;
      } else {
        EXPECT_EQ(type.rfind("text/plain", 0), 0U) << name;
      }
    }
  }
}

// Every name a set's drawing gives or refers to takes the document's
// prefix: ids, links, paints, each class of an attribute, style selectors.
TEST(PieceVectors, NamesTakeTheDocumentsPrefix) {
  PieceVectors set;
  for (std::size_t i = 0; i < set.groups.size(); ++i) {
    set.groups[i] = "<g id=\"g" + std::to_string(i) + "\"><path/></g>";
  }
  set.groups[0] =
      R"svg(<g id="wp"><style>.a{fill:#fff}path.b{opacity:.5}</style>)svg"
      R"svg(<linearGradient id="s"/><path class="a b" fill="url(#s)"/>)svg"
      R"svg(<use href="#s"/></g>)svg";
  Scene scene;
  scene.shapes.emplace_back(GroupUse{0, {0, 0, 10, 10}});
  const std::string svg = writeSvg(scene, set, set, {});
  const std::size_t at = svg.find("<g id=\"") + 7;
  const std::string prefix = svg.substr(at, svg.find("wp", at) - at);
  ASSERT_EQ(prefix.size(), 10U) << svg;
  for (const char* shape :
       {".@a{fill:#fff}path.@b{opacity:.5}", "id=\"@s\"", "class=\"@a @b\"",
        "url(#@s)", "href=\"#@s\"", "href=\"#@wp\""}) {
    std::string named;
    for (const char* c = shape; *c != '\0'; ++c) {
      named += *c == '@' ? prefix : std::string(1, *c);
    }
    EXPECT_NE(svg.find(named), std::string::npos) << named << "\n" << svg;
  }
}

TEST(PieceVectors, RefuseWhatAPageMustNotRun) {
  std::string groups;
  for (const Piece& piece : kPieces) {
    groups += std::string("<g id=\"") + piece.spriteName + "\"><path/></g>\n";
  }
  groups += "<g id=\"w3\"><circle/></g>\n<g id=\"b3\"><circle/></g>\n";
  EXPECT_NO_THROW(readPieceVectors(groups, "pieces.svg"));
  const struct {
    const char* added;
    const char* refusal;
  } cases[] = {
      {R"svg(<g id="x"><script>alert(1)</script></g>)svg", "runs or embeds"},
      {R"svg(<g id="x"><SCRIPT/></g>)svg", "runs or embeds"},
      {R"svg(<g id="x" onload="alert(1)"/>)svg", "event attribute"},
      {R"svg(<g id="x"><use href="https://x/y.svg#a"/></g>)svg", "outside"},
      {R"svg(<g id="x"><path fill="url(http://x/#a)"/></g>)svg", "outside"},
      {R"svg(<g id="x"><foreignObject/></g>)svg", "runs or embeds"},
  };
  for (const auto& row : cases) {
    try {
      (void)readPieceVectors(groups + row.added + "\n", "pieces.svg");
      ADD_FAILURE() << row.added;
    } catch (const Error& error) {
      EXPECT_NE(std::string(error.what()).find(row.refusal), std::string::npos)
          << error.what();
    }
  }
  // A set without a piece's group cannot draw it.
  EXPECT_THROW(readPieceVectors(groups.substr(groups.find('\n') + 1), "p.svg"),
               Error);
}

TEST(VectorDiagram, ASetWithoutVectorsIsRefusedByName) {
  Served served = bundled();
  served.pieceSets.at("alpha").vectors = nullptr;
  const Decision decision = decideRequest(
      {"GET", "/board.svg?piece=alpha", {}, {}, false}, served, 4096);
  const auto* refuse = std::get_if<Refuse>(&decision);
  ASSERT_NE(refuse, nullptr);
  EXPECT_EQ(refuse->status, 400U);
  EXPECT_NE(refuse->message.find("piece=alpha"), std::string::npos);
}

}  // namespace
}  // namespace tib
