#include "tib/board/tiles.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "tib/board/board.h"
#include "tib/board/drawing.h"

namespace tib {

namespace {

// The seed of every board's offsets: changing it changes every textured
// picture.
constexpr uint64_t kTileSeed = 0x7469622D74696C65U;

// SplitMix64: a well-mixed number from a counter.
uint64_t mixed(uint64_t value) {
  value += 0x9E3779B97F4A7C15U;
  value = (value ^ (value >> 30U)) * 0xBF58476D1CE4E5B9U;
  value = (value ^ (value >> 27U)) * 0x94D049BB133111EBU;
  return value ^ (value >> 31U);
}

// The offsets a square may take along one edge: the whole tile when it
// wraps, else every place where the square fits inside it.
uint32_t choices(uint32_t tileEdge, int64_t squareEdge) {
  const auto square = static_cast<uint32_t>(squareEdge);
  return tileEdge > square ? tileEdge - square + 1 : tileEdge;
}

// Whether two offsets are too close to tell apart: within a quarter of the
// choices on both axes.
bool alike(const TileOffset& a, const TileOffset& b, uint32_t xChoices,
           uint32_t yChoices) {
  return static_cast<uint32_t>(std::abs(a.x - b.x)) * 4 < xChoices &&
         static_cast<uint32_t>(std::abs(a.y - b.y)) * 4 < yChoices;
}

TileOffset candidate(int square, int attempt, uint32_t xChoices,
                     uint32_t yChoices) {
  const uint64_t bits = mixed(kTileSeed + static_cast<uint64_t>(attempt) * 64 +
                              static_cast<uint64_t>(square));
  return {static_cast<int>((bits & 0xFFFFFFFFU) % xChoices),
          static_cast<int>((bits >> 32U) % yChoices)};
}

}  // namespace

TileOffsets tileOffsets(uint32_t tileWidth, uint32_t tileHeight) {
  const uint32_t xChoices = std::max(1U, choices(tileWidth, kSquareWidth));
  const uint32_t yChoices = std::max(1U, choices(tileHeight, kSquareHeight));
  // The squares before one in reading order that share its shade and lie
  // near it: theirs are chosen first.
  constexpr std::array<std::pair<int, int>, 4> kNear{
      {{-1, -1}, {-1, 1}, {0, -2}, {-2, 0}}};
  constexpr int kAttempts = 16;
  TileOffsets offsets{};
  for (int square = 0; square < 64; ++square) {
    const int row = square / 8;
    const int col = square % 8;
    TileOffset& offset = offsets.at(static_cast<std::size_t>(square));
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      offset = candidate(square, attempt, xChoices, yChoices);
      const bool clear = std::none_of(
          kNear.begin(), kNear.end(), [&](const std::pair<int, int>& step) {
            const int r = row + step.first;
            const int c = col + step.second;
            const int near = r * 8 + c;
            return r >= 0 && c >= 0 && c < 8 &&
                   alike(offset, offsets.at(static_cast<std::size_t>(near)),
                         xChoices, yChoices);
          });
      if (clear) {
        break;
      }
    }
  }
  return offsets;
}

void paintSquares(ImageBuffer& board, const Tiles& tiles) {
  const auto width = static_cast<int>(kSquareWidth);
  const auto height = static_cast<int>(kSquareHeight);
  for (int row = 0; row < 8; ++row) {
    for (int col = 0; col < 8; ++col) {
      // The top-left square is light in both views.
      const ImageBuffer& tile =
          tiles[static_cast<std::size_t>((row + col) % 2)].picture;
      if (tile.width == 0 || tile.height == 0) {
        continue;
      }
      const int square = row * 8 + col;
      const TileOffset offset = tileOffsets(tile.width, tile.height)
                                    .at(static_cast<std::size_t>(square));
      for (int y = 0; y < height; ++y) {
        const std::size_t from =
            (static_cast<std::size_t>(offset.y + y) % tile.height) * tile.width;
        const std::size_t to =
            static_cast<std::size_t>(kGridY + row * kSquareHeight + y) *
                kCanvasEdge +
            static_cast<std::size_t>(kGridX + col * kSquareWidth);
        for (int x = 0; x < width; ++x) {
          const std::size_t source =
              from + static_cast<std::size_t>(offset.x + x) % tile.width;
          unsigned char* pixel =
              &board.pixels[(to + static_cast<std::size_t>(x)) * 4];
          std::copy_n(&tile.pixels[source * 4], 3, pixel);
          // Opaque whatever the tile's alpha: the frame's colours never show
          // through a square.
          pixel[3] = 255;
        }
      }
    }
  }
}

}  // namespace tib
