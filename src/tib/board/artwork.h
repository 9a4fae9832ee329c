// Loading the artwork: the board picture, the twelve piece sprites and the
// two side-to-move markers, PNG files with fixed names in one folder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codec/png_decode.h"
#include "tib/board/board.h"
#include "tib/board/drawing.h"
#include "tib/board/pieces.h"
#include "tib/board/tiles.h"

namespace tib {

using codec::FileIdentity;

inline constexpr const char* kBoardFile = "t_board.png";

// The board pictures of the other views, in the order of boardIndex: seen
// from black's side, without the file and rank labels, and both. tib-server
// reads them; tib does not.
inline constexpr std::array<const char*, 4> kBoardFiles{
    kBoardFile, "t_board_black.png", "t_board_plain.png",
    "t_board_black_plain.png"};

// Which of kBoardFiles a view is drawn on.
constexpr std::size_t boardIndex(Orientation orientation, bool coordinates) {
  const std::size_t black = orientation == Orientation::black ? 1 : 0;
  const std::size_t plain = coordinates ? 0 : 2;
  return black + plain;
}

// The marker file for a side to move.
const char* markerFileName(Side side);

// A folder's artwork, decoded once and then only read: many diagrams can be
// drawn from it, at the same time.
// The twelve piece sprites, in the order of kPieces. A sprite that failed to
// load draws nothing.
using Sprites = std::array<ImageBuffer, kPieces.size()>;

using Boards = std::array<ImageBuffer, kBoardFiles.size()>;

struct Artwork {
  // The 1024 x 1024 pictures every diagram starts from, indexed by
  // boardIndex; the first is always loaded, the others are empty when not.
  Boards boards;
  Sprites sprites;
  // Indexed by Side; a marker that was not loaded draws nothing.
  std::array<ImageBuffer, 2> markers;
  // The tiles the boards' squares were painted from, when the folder has
  // both (kTileFiles).
  std::optional<Tiles> tiles;
  // One line for each sprite that failed to load, and for each marker that
  // was refused for its cost or ran out of memory, in loading order.
  std::vector<std::string> warnings;
  // Every regular artwork file that was opened, whether it was then read
  // or refused for its size.
  std::vector<FileIdentity> filesRead;
};

// The memory that decoded artwork may take, shared by every folder loaded
// against it.
struct ArtworkBudget {
  std::size_t limit = SIZE_MAX;
  std::size_t used = 0;
};

// Loads the board, painting its squares from the folder's tiles when it has
// them, then the twelve sprites in the order of kPieces, then
// the markers of the sides listed, from folder ("" is the working
// directory). Throws an Error when the board cannot be loaded or its header
// does not say 1024 x 1024 (found before it is decoded); sprites that fail
// to load are warnings, and so are markers refused for their cost.
Artwork loadArtwork(const std::string& folder, const std::vector<Side>& sides);

// The same within budget, which it charges with each decoded picture; throws
// a Failure naming the file that would overspend it, before decoding it.
Artwork loadArtwork(const std::string& folder, const std::vector<Side>& sides,
                    ArtworkBudget& budget);

// The twelve sprites of folder, in the order of kPieces, within budget; adds
// the files opened to filesRead and one line to warnings for each sprite
// that failed to load.
Sprites loadSprites(const std::string& folder, ArtworkBudget& budget,
                    std::vector<FileIdentity>& filesRead,
                    std::vector<std::string>& warnings);

// Into boards, the boards of the other views found in folder, within
// budget, painted from the folder's tiles as the first; a file that is not
// there is left empty. Throws an Error when one
// that is there cannot be loaded as a board or would overspend the budget.
void loadOtherBoards(const std::string& folder, ArtworkBudget& budget,
                     Boards& boards);

// The board a view is drawn on; none when it was not loaded.
const ImageBuffer* boardPicture(const Artwork& artwork, std::size_t index);

// The installed share/tib beside the running program's bin/ when it holds a
// board, else "artwork" (under the working directory).
std::string defaultArtworkFolder();

}  // namespace tib
