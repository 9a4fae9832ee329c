// Boards of wood or stone: a theme's folder may hold a light and a dark
// tile, photographs of the material, from which the squares of its board
// pictures are painted, each square from its tile at an offset of its own so
// that no two squares near each other show the same grain.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codec/image.h"
#include "codec/png_decode.h"

namespace tib {

using codec::FileIdentity;
using codec::ImageBuffer;

// The tiles of the light and of the dark squares, in this order.
inline constexpr std::array<const char*, 2> kTileFiles{"t_tile_light.png",
                                                       "t_tile_dark.png"};

struct Tile {
  ImageBuffer picture;
  // The file as it was read: the SVG embeds it.
  std::vector<unsigned char> png;
};

// Light, dark.
using Tiles = std::array<Tile, 2>;

// Where a square's picture starts in its tile; a tile narrower or lower
// than a square wraps round.
struct TileOffset {
  int x = 0;
  int y = 0;
};

// Of the 64 squares in reading order from the top left of the picture
// (whichever the view).
using TileOffsets = std::array<TileOffset, 64>;

// The offsets of the squares into a tile of that size: the same for the
// same size on every machine (seeded), and none close to that of a square of
// the same shade diagonally next to it or two squares away in its row or
// column.
TileOffsets tileOffsets(uint32_t tileWidth, uint32_t tileHeight);

// The grid's squares of a 1024 x 1024 board picture painted from tiles.
void paintSquares(ImageBuffer& board, const Tiles& tiles);

}  // namespace tib
