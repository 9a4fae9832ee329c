// Checks the committed artwork against the geometry the drawing rules impose.
#include "tib/board/artwork.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"
#include "tib/board/board.h"
#include "tib/board/drawing.h"

namespace tib {

namespace fs = std::filesystem;

namespace {

// The 8 x 8 grid of the boards, where the drawing places the squares:
// top-left corner and square size.
constexpr int kGridLeft = static_cast<int>(kGridX);
constexpr int kGridTop = static_cast<int>(kGridY);
constexpr int kSquareW = static_cast<int>(kSquareWidth);
constexpr int kSquareH = static_cast<int>(kSquareHeight);
// The dark border around the grid.
constexpr int kBorder = 4;
// Visible pixels stay at least this far from the edges of their square.
constexpr int kMargin = 2;

const fs::path kArtwork = TIB_ARTWORK_DIR;

// The folders directly under parent, in name order.
std::vector<fs::path> subfolders(const fs::path& parent) {
  std::vector<fs::path> folders;
  for (const fs::directory_entry& entry : fs::directory_iterator(parent)) {
    if (entry.is_directory()) {
      folders.push_back(entry.path());
    }
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

// The default theme and every theme under themes/.
std::vector<fs::path> themeFolders() {
  std::vector<fs::path> folders = subfolders(kArtwork / "themes");
  folders.insert(folders.begin(), kArtwork);
  return folders;
}

// Every folder that tib can draw in: the themes and the piece sets.
std::vector<fs::path> drawingFolders() {
  std::vector<fs::path> folders = themeFolders();
  const std::vector<fs::path> sets = subfolders(kArtwork / "pieces");
  folders.insert(folders.end(), sets.begin(), sets.end());
  return folders;
}

const std::vector<fs::path> kThemeFolders = themeFolders();

const unsigned char* pixelAt(const ImageBuffer& image, int x, int y) {
  return image.pixels.data() + (static_cast<std::size_t>(y) * image.width +
                                static_cast<std::size_t>(x)) *
                                   4;
}

// Bounds of the canvas pixels that a drawing changed.
struct Bounds {
  int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
};

Bounds changedBounds(const ImageBuffer& before, const ImageBuffer& after) {
  Bounds b;
  for (int y = 0; y < 1024; ++y) {
    for (int x = 0; x < 1024; ++x) {
      if (std::memcmp(pixelAt(before, x, y), pixelAt(after, x, y), 4) != 0) {
        b.left = std::min(b.left, x);
        b.right = std::max(b.right, x);
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
      }
    }
  }
  return b;
}

TEST(Artwork, BoardsAreOpaqueGridsWithDarkA1) {
  for (const fs::path& folder : kThemeFolders) {
    const ImageBuffer board = readPng(folder / "t_board.png");
    ASSERT_EQ(1024U, board.width) << folder;
    ASSERT_EQ(1024U, board.height) << folder;
    for (std::size_t p = 3; p < board.pixels.size(); p += 4) {
      ASSERT_EQ(255, board.pixels[p]) << folder << " pixel " << p / 4;
    }
    const unsigned char* dark = pixelAt(board, kGridLeft + kSquareW / 2,
                                        kGridTop + 7 * kSquareH + kSquareH / 2);
    const unsigned char* light =
        pixelAt(board, kGridLeft + kSquareW + kSquareW / 2,
                kGridTop + 7 * kSquareH + kSquareH / 2);
    EXPECT_LT(dark[0] + dark[1] + dark[2], light[0] + light[1] + light[2])
        << folder << ": a1 must be the dark square";
    for (int rank = 0; rank < 8; ++rank) {
      for (int col = 0; col < 8; ++col) {
        const unsigned char* expected = (rank + col) % 2 == 0 ? dark : light;
        // Every pixel of the square's inner part has the square's colour.
        for (int y = 2; y < kSquareH - 2; y += 5) {
          for (int x = 2; x < kSquareW - 2; x += 5) {
            ASSERT_EQ(0,
                      std::memcmp(expected,
                                  pixelAt(board, kGridLeft + col * kSquareW + x,
                                          kGridTop + (7 - rank) * kSquareH + y),
                                  3))
                << folder << " square " << col << "," << rank;
          }
        }
      }
    }
  }
}

// A theme with tiles keeps its frame and labels, and paints every square
// with grain, none as its diagonal neighbour or the square two away.
TEST(Artwork, TiledBoardsShowGrainThatDoesNotRepeatNearby) {
  std::size_t tiled = 0;
  for (const fs::path& folder : kThemeFolders) {
    if (!fs::exists(folder / kTileFiles[0])) {
      continue;
    }
    ++tiled;
    const ImageBuffer flat = readPng(folder / "t_board.png");
    const ImageBuffer board = loadArtwork(folder.string(), {}).boards[0];
    const auto square = [&board](int row, int col) {
      std::vector<unsigned char> pixels;
      for (int y = 0; y < kSquareH; ++y) {
        const unsigned char* start = pixelAt(board, kGridLeft + col * kSquareW,
                                             kGridTop + row * kSquareH + y);
        pixels.insert(pixels.end(), start,
                      start + std::ptrdiff_t{4} * kSquareW);
      }
      return pixels;
    };
    for (int row = 0; row < 8; ++row) {
      for (int col = 0; col < 8; ++col) {
        const std::vector<unsigned char> own = square(row, col);
        bool grained = false;
        for (std::size_t at = 4; at < own.size() && !grained; at += 4) {
          grained = std::memcmp(&own[at], own.data(), 3) != 0;
        }
        EXPECT_TRUE(grained) << folder << " square " << row << "," << col;
        for (const auto& [r, c] :
             {std::pair{row + 1, col + 1}, std::pair{row + 1, col - 1},
              std::pair{row, col + 2}, std::pair{row + 2, col}}) {
          if (r < 8 && c >= 0 && c < 8) {
            EXPECT_FALSE(own == square(r, c))
                << folder << " squares " << row << "," << col << " and " << r
                << "," << c;
          }
        }
      }
    }
    for (int y = 0; y < 1024; y += 3) {
      for (int x = 0; x < 1024; x += 3) {
        const bool onSquares = x >= kGridLeft && x < kGridLeft + 8 * kSquareW &&
                               y >= kGridTop && y < kGridTop + 8 * kSquareH;
        ASSERT_TRUE(onSquares || std::memcmp(pixelAt(flat, x, y),
                                             pixelAt(board, x, y), 4) == 0)
            << folder << " pixel " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(13U, tiled);
}

// Tiles of the bundled sizes, narrower than a square to twice its size:
// a square's offset lies in its tile, a quarter of the offsets' range or
// more from that of any square of its shade near it, and few repeat.
TEST(Artwork, TileOffsetsFitTheirTileAndKeepAwayFromTheirNeighbours) {
  for (const auto& [width, height] :
       {std::pair{110U, 110U}, std::pair{87U, 88U}, std::pair{200U, 200U}}) {
    const TileOffsets offsets = tileOffsets(width, height);
    const auto range = [](uint32_t tile, int square) {
      return tile > static_cast<uint32_t>(square)
                 ? static_cast<int>(tile) - square + 1
                 : static_cast<int>(tile);
    };
    const int xs = range(width, kSquareW);
    const int ys = range(height, kSquareH);
    // And squares far apart vary too.
    std::set<std::pair<int, int>> distinct;
    for (const TileOffset& offset : offsets) {
      distinct.emplace(offset.x, offset.y);
    }
    EXPECT_GE(distinct.size(), 48U) << width;
    for (int square = 0; square < 64; ++square) {
      const TileOffset& own = offsets.at(static_cast<std::size_t>(square));
      EXPECT_TRUE(own.x >= 0 && own.x < xs && own.y >= 0 && own.y < ys)
          << width << " square " << square;
      for (const int other :
           {square + 7, square + 9, square + 2, square + 16}) {
        const bool near = other < 64 && std::abs(other % 8 - square % 8) <= 2;
        if (near) {
          const TileOffset& theirs =
              offsets.at(static_cast<std::size_t>(other));
          EXPECT_TRUE(std::abs(own.x - theirs.x) * 4 >= xs ||
                      std::abs(own.y - theirs.y) * 4 >= ys)
              << width << " squares " << square << " and " << other;
        }
      }
    }
  }
}

TEST(Artwork, PiecesFitTheirBoxesAndSquares) {
  for (const fs::path& folder : drawingFolders()) {
    const ImageBuffer board = readPng(folder / "t_board.png");
    int lowestBaseline = INT32_MAX;
    int highestBaseline = -1;
    for (const Piece& piece : kPieces) {
      const std::string what = (folder / spriteFileName(piece)).string();
      const ImageBuffer sprite = readPng(folder / spriteFileName(piece));
      // Each sprite is exactly its box at the default scale: drawn 1:1.
      const Box box = pieceBox(Settings{}, 0, 7, piece);
      ASSERT_EQ(static_cast<uint32_t>(box.w), sprite.width) << what;
      ASSERT_EQ(static_cast<uint32_t>(box.h), sprite.height) << what;
      // The sprite's outermost rows and columns are fully transparent.
      for (uint32_t x = 0; x < sprite.width; ++x) {
        ASSERT_EQ(0, pixelAt(sprite, static_cast<int>(x), 0)[3]) << what;
        ASSERT_EQ(0, pixelAt(sprite, static_cast<int>(x),
                             static_cast<int>(sprite.height) - 1)[3])
            << what;
      }
      for (uint32_t y = 0; y < sprite.height; ++y) {
        ASSERT_EQ(0, pixelAt(sprite, 0, static_cast<int>(y))[3]) << what;
        ASSERT_EQ(0, pixelAt(sprite, static_cast<int>(sprite.width) - 1,
                             static_cast<int>(y))[3])
            << what;
      }
      // Drawn on d5 (col 3, rank 4), it stays inside that square.
      ImageBuffer canvas = board;
      drawPiece(canvas, sprite, Settings{}, 3, 4, piece);
      const Bounds b = changedBounds(board, canvas);
      const int squareX = kGridLeft + 3 * kSquareW;
      const int squareY = kGridTop + 3 * kSquareH;
      ASSERT_GE(b.right, 0) << what << " draws nothing";
      EXPECT_GE(b.left, squareX + kMargin) << what;
      EXPECT_LE(b.right, squareX + kSquareW - 1 - kMargin) << what;
      EXPECT_GE(b.top, squareY + kMargin) << what;
      EXPECT_LE(b.bottom, squareY + kSquareH - 1 - kMargin) << what;
      // Centred horizontally within 2 px.
      const double centre = (b.left + b.right + 1) / 2.0;
      EXPECT_NEAR(squareX + kSquareW / 2.0, centre, 2.0) << what;
      lowestBaseline = std::min(lowestBaseline, b.bottom);
      highestBaseline = std::max(highestBaseline, b.bottom);
    }
    EXPECT_LE(highestBaseline - lowestBaseline, 3) << folder << ": baselines";
  }
}

TEST(Artwork, MarkersFillTheirBox) {
  for (const fs::path& folder : kThemeFolders) {
    for (const Side side : {Side::white, Side::black}) {
      const char* marker = markerFileName(side);
      const ImageBuffer image = readPng(folder / marker);
      EXPECT_EQ(56U, image.width) << folder / marker;
      EXPECT_EQ(50U, image.height) << folder / marker;
    }
  }
}

TEST(Artwork, EveryThemeAndPieceSetDrawsWithoutWarning) {
  const TempDir dir;
  for (const fs::path& folder : drawingFolders()) {
    const fs::path out = dir.path() / (folder.filename().string() + ".png");
    const RunResult result =
        runTibBinary(folder, {"fen=r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/"
                              "RNBQKB1R b KQkq - 2 3",
                              "file=" + out.string()});
    EXPECT_EQ(0, result.status) << folder << ": " << result.err;
    EXPECT_EQ(std::string::npos, result.out.find("Warning")) << result.out;
    EXPECT_EQ(std::string::npos, result.err.find("Warning")) << result.err;
    const ImageBuffer diagram = readPng(out);
    EXPECT_EQ(1024U, diagram.width) << folder;
    EXPECT_FALSE(readPng(folder / "t_board.png").pixels == diagram.pixels)
        << folder << ": nothing drawn";
  }
}

TEST(Artwork, BoardVariantsKeepTheGridAndMoveOnlyTheLabels) {
  const int gridLeft = kGridLeft - kBorder;
  const int gridTop = kGridTop - kBorder;
  const int gridRight = kGridLeft + 8 * kSquareW + kBorder;
  const int gridBottom = kGridTop + 8 * kSquareH + kBorder;
  const auto onGrid = [&](int x, int y) {
    return x >= gridLeft && x < gridRight && y >= gridTop && y < gridBottom;
  };
  const struct {
    const char* file;
    bool labels;
  } variants[] = {{"t_board_black.png", true},
                  {"t_board_plain.png", false},
                  {"t_board_black_plain.png", false}};
  for (const fs::path& folder : kThemeFolders) {
    const ImageBuffer board = readPng(folder / "t_board.png");
    const unsigned char* frame = pixelAt(board, 0, 0);
    for (const auto& variant : variants) {
      const fs::path file = folder / variant.file;
      const ImageBuffer image = readPng(file);
      ASSERT_EQ(1024U, image.width) << file;
      ASSERT_EQ(1024U, image.height) << file;
      // The squares and their border are the white view's, pixel for pixel
      // (seen from black, h1 and a8 are both light); only the frame around
      // them differs: labels moved, or none at all.
      int frameChanges = 0;
      int labelPixels = 0;
      for (int y = 0; y < 1024; ++y) {
        for (int x = 0; x < 1024; ++x) {
          const bool same =
              std::memcmp(pixelAt(board, x, y), pixelAt(image, x, y), 4) == 0;
          if (onGrid(x, y)) {
            ASSERT_TRUE(same) << file << " pixel " << x << "," << y;
          } else {
            frameChanges += same ? 0 : 1;
            labelPixels +=
                std::memcmp(frame, pixelAt(image, x, y), 4) == 0 ? 0 : 1;
          }
        }
      }
      EXPECT_GT(frameChanges, 0) << file << " has the white view's labels";
      EXPECT_EQ(variant.labels, labelPixels > 0) << file;
    }
  }
}

TEST(Artwork, StartingPositionDrawsOnlyOnItsSquaresAndMarker) {
  const TempDir dir;
  const RunResult result =
      runTibBinary(kArtwork, {"file=" + (dir.path() / "start.png").string()});
  ASSERT_EQ(0, result.status) << result.err;
  const ImageBuffer board = readPng(kArtwork / "t_board.png");
  const ImageBuffer diagram = readPng(dir.path() / "start.png");
  for (int y = 0; y < 1024; ++y) {
    for (int x = 0; x < 1024; ++x) {
      if (std::memcmp(pixelAt(board, x, y), pixelAt(diagram, x, y), 4) == 0) {
        continue;
      }
      const bool inMarker = x >= 964 && x < 1020 && y >= 964 && y < 1014;
      const int row = (y - kGridTop) / kSquareH;  // 0 is the eighth rank
      const bool onPieceRow = y >= kGridTop && y < kGridTop + 8 * kSquareH &&
                              (row <= 1 || row >= 6);
      const bool onGrid = x >= kGridLeft && x < kGridLeft + 8 * kSquareW;
      ASSERT_TRUE(inMarker || (onPieceRow && onGrid))
          << "pixel " << x << "," << y << " changed outside the pieces";
    }
  }
}

TEST(Artwork, ExampleDiagramsRenderByteForByte) {
  // The diagrams of doc/ were made by tib from the bundled artwork; any
  // change to what a run draws shows here.
  const std::string middlegame =
      "fen=r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R b KQ - 3 8";
  const struct {
    std::vector<std::string> args;
    const char* file;
  } cases[] = {{{}, "start.png"},
               {{middlegame}, "middlegame.png"},
               {{middlegame, "size=300"}, "middlegame-300.png"},
               {{middlegame, "scale=1"}, "middlegame-scale1.png"}};
  const TempDir dir;
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("file=" + (dir.path() / c.file).string());
    ASSERT_EQ(0, runTibBinary(kArtwork, args).status) << c.file;
    EXPECT_EQ(readText(kArtwork.parent_path() / "doc" / c.file),
              readText(dir.path() / c.file))
        << c.file;
  }
}

}  // namespace

}  // namespace tib
