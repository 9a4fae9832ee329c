#include "artwork.h"

#include <fcntl.h>
#include <lodepng.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "failure.h"

namespace {

// The codec's code for "failed to open file for reading".
constexpr unsigned kCannotOpenFile = 78;

// Reads a whole regular file. Opening without blocking and refusing
// anything but a regular file keeps a FIFO or a device from stalling the run.
bool readRegularFile(const std::string& path, std::vector<unsigned char>& bytes,
                     std::optional<FileIdentity>& identity) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  struct stat info {};
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (ok) {
    identity = FileIdentity{info.st_dev, info.st_ino};
    // One spare byte lets the read that finds the end need no reallocation.
    bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t filled = 0;
    while (ok) {
      if (filled == bytes.size()) {
        bytes.resize(bytes.size() * 2);  // the file grew while being read
      }
      const ssize_t got =
          read(fd, bytes.data() + filled, bytes.size() - filled);
      if (got > 0) {
        filled += static_cast<std::size_t>(got);
      } else if (got == 0) {
        break;
      } else if (errno != EINTR) {
        ok = false;
      }
    }
    bytes.resize(filled);
  }
  close(fd);
  return ok;
}

std::string inFolder(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

// Decodes one file into place, noting the file it read.
unsigned loadInto(const std::string& path, ImageBuffer& image,
                  std::vector<FileIdentity>& filesRead) {
  DecodedFile decoded = decodePngFile(path);
  image = std::move(decoded.image);
  if (decoded.identity) {
    filesRead.push_back(*decoded.identity);
  }
  return decoded.error;
}

}  // namespace

const char* markerFileName(Side side) {
  return side == Side::black ? "t_b3.png" : "t_w3.png";
}

DecodedFile decodePngFile(const std::string& path) {
  std::vector<unsigned char> file;
  std::optional<FileIdentity> identity;
  if (!readRegularFile(path, file, identity)) {
    DecodedFile failed;
    failed.error = kCannotOpenFile;
    failed.identity = identity;
    return failed;
  }
  DecodedFile decoded = decodePng(file);
  decoded.identity = identity;
  return decoded;
}

DecodedFile decodePng(const std::vector<unsigned char>& bytes) {
  DecodedFile decoded;
  unsigned width = 0;
  unsigned height = 0;
  decoded.error =
      lodepng::decode(decoded.image.pixels, width, height, bytes, LCT_RGBA, 8);
  decoded.image.width = width;
  decoded.image.height = height;
  return decoded;
}

std::string decodeErrorText(unsigned error) {
  return lodepng_error_text(error);
}

Artwork loadArtwork(const std::string& folder, const std::vector<Side>& sides) {
  Artwork artwork;
  const std::string board = inFolder(folder, kBoardFile);
  const std::string hint =
      folder.empty() ? " (run tib in the folder that holds the artwork)" : "";
  const unsigned boardError = loadInto(board, artwork.board, artwork.filesRead);
  if (boardError != 0) {
    throw Failure(ExitStatus::failed, "cannot load " + board + ": " +
                                          decodeErrorText(boardError) + hint);
  }
  if (artwork.board.width != kCanvasEdge ||
      artwork.board.height != kCanvasEdge) {
    throw Failure(ExitStatus::failed,
                  board + " is " + std::to_string(artwork.board.width) + " x " +
                      std::to_string(artwork.board.height) +
                      " pixels, not 1024 x 1024" + hint);
  }
  for (std::size_t index = 0; index < kPieces.size(); ++index) {
    const std::string file = spriteFileName(kPieces[index]);
    const unsigned error = loadInto(inFolder(folder, file),
                                    artwork.sprites[index], artwork.filesRead);
    if (error != 0) {
      artwork.warnings.push_back("Warning: Could not load " + file + " - " +
                                 decodeErrorText(error));
    }
  }
  // A missing or broken marker simply leaves the diagram without one.
  for (const Side side : sides) {
    loadInto(inFolder(folder, markerFileName(side)),
             artwork.markers[static_cast<std::size_t>(side)],
             artwork.filesRead);
  }
  return artwork;
}
