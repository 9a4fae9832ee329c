// The twelve pieces: FEN letter, sprite name and nominal box. Every other
// list of pieces in the program, its tests, fuzzers and benchmarks is read
// from this table.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace tib {

struct Piece {
  // The FEN letter: upper case for white, lower case for black.
  char letter;
  // "w" or "b", then the piece letter in lower case; the sprite's file is
  // "t_" + spriteName + ".png".
  const char* spriteName;
  // Nominal box inside the square at scale 1, in canvas pixels: offset from
  // the square's origin, then width and height.
  float dx;
  float dy;
  float w;
  float h;
};

// Ordered by letter byte value, the order in which the sprites are loaded.
inline constexpr std::array<Piece, 12> kPieces{{
    {'B', "wb", 76.0F, 70.0F, 64.6F, 99.76501F},
    {'K', "wk", 59.0F, 62.0F, 100.0F, 111.32F},
    {'N', "wn", 69.0F, 70.0F, 81.4F, 97.07F},
    {'P', "wp", 79.0F, 80.0F, 59.8F, 83.409996F},
    {'Q', "wq", 68.0F, 68.0F, 78.0F, 101.04F},
    {'R', "wr", 73.0F, 80.0F, 69.19F, 87.12F},
    {'b', "bb", 73.0F, 70.0F, 73.34F, 100.74F},
    {'k', "bk", 67.0F, 66.0F, 86.02F, 107.88F},
    {'n', "bn", 73.0F, 72.0F, 72.200005F, 96.22F},
    {'p', "bp", 71.0F, 80.0F, 75.0F, 83.514F},
    {'q', "bq", 61.0F, 70.0F, 99.8F, 101.68F},
    {'r', "br", 70.0F, 74.0F, 79.42F, 95.76F},
}};

// Index into kPieces of the piece with this FEN letter, or kPieces.size()
// when the byte names no piece.
constexpr std::size_t pieceIndex(unsigned char letter) {
  std::size_t index = 0;
  while (index < kPieces.size() &&
         static_cast<unsigned char>(kPieces[index].letter) != letter) {
    ++index;
  }
  return index;
}

// The artwork file of a piece sprite.
inline std::string spriteFileName(const Piece& piece) {
  return std::string("t_") + piece.spriteName + ".png";
}

}  // namespace tib
