// Loading the artwork: the board picture, the twelve piece sprites and the
// two side-to-move markers, PNG files with fixed names in one folder.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tib/board.h"
#include "tib/drawing.h"
#include "tib/pieces.h"

namespace tib {

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

// Which file a path led to, so that the output can be told apart from it.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
};

// What one artwork file may cost. A file beyond a limit is refused before
// it is decoded (or, for a size, before it is read), so that a small
// hostile file cannot make a run take seconds or gigabytes.
//
// A sprite or marker may be at most 4096 pixels wide and high: the canvas is
// 1024 x 1024, so one draw samples at most 1024 of its columns and rows.
inline constexpr uint32_t kMaxSpriteEdge = 4096;
// Files larger than this are not read. The bundled artwork files are a few
// kB to 300 kB; 64 MiB is room for any picture a diagram can use.
inline constexpr std::size_t kMaxArtworkFileBytes = std::size_t{64} << 20;
// ICC profiles are inflated up to the codec's own limit for one profile,
// 16 MiB (max_icc_size), which here holds for all the iCCP chunks of one
// file together. Text chunks are never inflated. Image data is inflated no
// further than the header implies.
inline constexpr std::size_t kMaxIccBytes = std::size_t{16} << 20;

// Codes of tib's own, beside the codec's (which stay below 200).
// The picture is wider or taller than kMaxSpriteEdge.
inline constexpr unsigned kErrorPictureTooLarge = 1001;
// The file is larger than kMaxArtworkFileBytes.
inline constexpr unsigned kErrorFileTooLarge = 1002;
// The file's ICC profiles inflate to more than kMaxIccBytes in all.
inline constexpr unsigned kErrorIccTooLarge = 1003;
// Memory ran out (std::bad_alloc) while a sprite or marker was loaded.
inline constexpr unsigned kErrorOutOfMemory = 1004;
// The board's header gives another size than 1024 x 1024.
inline constexpr unsigned kErrorNotCanvasSize = 1005;
// Decoding the picture would take more memory than its caller allows.
inline constexpr unsigned kErrorOverBudget = 1006;

// Whether a code says that tib refused the file for what it would cost, or
// that memory ran out (tib's code, or the codec's 83): markers, silent on
// other failures, warn about these.
bool isCostRefusal(unsigned error);

// How a file is used, which decides the size it must have.
enum class ArtworkRole {
  // Exactly 1024 x 1024.
  board,
  // A piece sprite or a marker: any size up to kMaxSpriteEdge.
  sprite,
};

// One artwork file, decoded into 8-bit RGBA.
struct DecodedFile {
  // May report a size while holding no bytes after a failed decode.
  ImageBuffer image;
  // 0, or the codec's code for what went wrong, or one of tib's above.
  unsigned error = 0;
  // The regular file that was opened, read in full or not.
  std::optional<FileIdentity> identity;
};

// Reads a file the way the codec's own loader (lodepng::load_file) does: it
// seeks to the end to learn the size and reads that many bytes. A file that
// cannot be opened, sought or read in full is 78 ("failed to open file for
// reading"), and one that reports the size 0 (an empty file, /dev/null,
// /dev/zero, most /proc files) is read as no bytes, which the decoder calls
// 48 ("empty input buffer ..."). Two departures, on purpose: a FIFO or a
// socket counts as a file that cannot be opened (78), so a run never blocks
// on one; and a file over kMaxArtworkFileBytes is refused before it is read.
// Then decodes the bytes as decodePng does. Throws std::bad_alloc.
DecodedFile decodePngFile(const std::string& path,
                          ArtworkRole role = ArtworkRole::sprite);

// Decodes PNG bytes already in memory into 8-bit RGBA, with the result of
// lodepng::decode(pixels, w, h, bytes, LCT_RGBA, 8) as the codec's release
// 20260119 gives it (see codec_release.h), within the limits above: the
// header is read first, and a picture of the wrong size for its role is
// refused before anything is inflated, and so is one whose decoded pixels
// would take more than maxImageBytes (kErrorOverBudget). Throws
// std::bad_alloc.
DecodedFile decodePng(const std::vector<unsigned char>& bytes,
                      ArtworkRole role = ArtworkRole::sprite,
                      std::size_t maxImageBytes = SIZE_MAX);

// The text of a code of decodePngFile: the release 20260119 wording of the
// codec's codes, and tib's own.
std::string decodeErrorText(unsigned error);

// A folder's artwork, decoded once and then only read: many diagrams can be
// drawn from it, at the same time.
// The twelve piece sprites, in the order of kPieces. A sprite that failed to
// load draws nothing.
using Sprites = std::array<ImageBuffer, kPieces.size()>;

struct Artwork {
  // 1024 x 1024, the picture every diagram starts from.
  ImageBuffer board;
  // The boards of the other views, indexed by boardIndex less one; empty
  // when not loaded.
  std::array<ImageBuffer, kBoardFiles.size() - 1> otherBoards;
  Sprites sprites;
  // Indexed by Side; a marker that was not loaded draws nothing.
  std::array<ImageBuffer, 2> markers;
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

// Loads the board, then the twelve sprites in the order of kPieces, then
// the markers of the sides listed, from folder ("" is the working
// directory). Throws a Failure when the board cannot be loaded or its header
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

// The boards of the other views found in folder, in the order of
// Artwork::otherBoards, within budget; a file that is not there is left
// empty. Throws a Failure when one that is there cannot be loaded as a board
// or would overspend the budget.
std::array<ImageBuffer, kBoardFiles.size() - 1> loadOtherBoards(
    const std::string& folder, ArtworkBudget& budget);

// The board a view is drawn on; none when it was not loaded.
const ImageBuffer* boardPicture(const Artwork& artwork, std::size_t index);

}  // namespace tib
