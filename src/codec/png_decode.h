// Reading PNG files into 8-bit RGBA as the codec's release 20260119 reads
// them (codec_release.h), within limits that keep a small hostile file from
// costing seconds or gigabytes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codec/image.h"

namespace tib::codec {

// The edge a board picture must have: the canvas every diagram is drawn on.
inline constexpr uint32_t kBoardEdge = 1024;

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
// kBoardEdge pixels square, so one draw samples at most 1024 of its
// columns and rows.
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
// The board's header gives another size than kBoardEdge x kBoardEdge.
inline constexpr unsigned kErrorNotCanvasSize = 1005;
// Decoding the picture would take more memory than its caller allows.
inline constexpr unsigned kErrorOverBudget = 1006;

// Whether a code says that tib refused the file for what it would cost, or
// that memory ran out (tib's code, or the codec's 83): markers, silent on
// other failures, warn about these.
bool isCostRefusal(unsigned error);

// How a file is used, which decides the size it must have.
enum class ArtworkRole {
  // Exactly kBoardEdge x kBoardEdge.
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

// The same into decoded, which notes the regular file it opened as soon as
// it is open, so that a caller still knows the file when std::bad_alloc
// escapes; a decoded picture over maxImageBytes is kErrorOverBudget.
void decodePngFileInto(const std::string& path, ArtworkRole role,
                       std::size_t maxImageBytes, DecodedFile& decoded);

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

}  // namespace tib::codec
