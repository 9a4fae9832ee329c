// Loading the artwork: the board picture, the twelve piece sprites and the
// two side-to-move markers, PNG files with fixed names in one folder.
#pragma once

#include <sys/types.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "drawing.h"
#include "pieces.h"

inline constexpr const char* kBoardFile = "t_board.png";

// The marker file for a side to move.
const char* markerFileName(Side side);

// Which file a path led to, so that the output can be told apart from it.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
};

// One artwork file, decoded into 8-bit RGBA.
struct DecodedFile {
  // May report a size while holding no bytes after a failed decode.
  ImageBuffer image;
  // 0, or the codec's code for what went wrong.
  unsigned error = 0;
  // The file that was read, when one could be opened.
  std::optional<FileIdentity> identity;
};

DecodedFile decodePngFile(const std::string& path);

// Decodes PNG bytes already in memory into 8-bit RGBA.
DecodedFile decodePng(const std::vector<unsigned char>& bytes);

// The text of a code of decodePngFile.
std::string decodeErrorText(unsigned error);

// A folder's artwork, decoded once and then only read: many diagrams can be
// drawn from it, at the same time.
struct Artwork {
  // 1024 x 1024, the picture every diagram starts from.
  ImageBuffer board;
  // In the order of kPieces. A sprite that failed to load draws nothing.
  std::array<ImageBuffer, kPieces.size()> sprites;
  // Indexed by Side; a marker that was not loaded draws nothing.
  std::array<ImageBuffer, 2> markers;
  // One line for each sprite that failed to load, in loading order.
  std::vector<std::string> warnings;
  // Every artwork file that was read.
  std::vector<FileIdentity> filesRead;
};

// Loads the board, then the twelve sprites in the order of kPieces, then
// the markers of the sides listed, from folder ("" is the working
// directory). Throws a Failure when the board cannot be loaded or is not
// 1024 x 1024; sprites that fail to load are warnings.
Artwork loadArtwork(const std::string& folder, const std::vector<Side>& sides);
