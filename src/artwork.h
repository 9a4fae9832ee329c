// Loading the artwork: the board picture and the piece sprites, PNG files
// with fixed names in the working directory.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "drawing.h"

// Piece letter (ordered by byte value) to sprite name, such as 'K' -> "wk".
using PieceNames = std::map<unsigned char, std::string>;
// Sprite name to its decoded picture.
using SpriteSet = std::map<std::string, ImageBuffer>;

inline const char* const kBoardFile = "t_board.png";

// Decodes PNG bytes into 8-bit RGBA. Returns 0 or the codec's error code.
unsigned decodePng(const std::vector<unsigned char>& file, ImageBuffer& image);

// Decodes a PNG file into 8-bit RGBA. Returns 0 or the codec's error code;
// a path that is missing, unreadable or not a regular file gives the codec's
// code for a file that cannot be opened. The picture may report a size
// while holding no bytes after a failed decode.
unsigned decodePngFile(const std::string& path, ImageBuffer& image);

// Decodes the board into the canvas. Returns an empty string, or a one-line
// message when the board cannot be loaded or is not 1024 x 1024.
std::string loadBoard(ImageBuffer& canvas);

PieceNames makePieceNames();

// The file of a sprite: "t_" + name + ".png".
std::string spriteFileName(const std::string& spriteName);

// Loads all twelve sprites in ascending letter order, printing one warning
// line for each that fails and going on with the next.
SpriteSet loadSprites(const PieceNames& pieceNames, std::ostream& out);
