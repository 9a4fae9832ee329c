#include "artwork.h"

#include <fcntl.h>
#include <lodepng.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The codec's code for "failed to open file for reading".
constexpr unsigned kCannotOpenFile = 78;

// Reads a whole regular file. Opening without blocking and refusing
// anything but a regular file keeps a FIFO or a device from stalling the run.
bool readRegularFile(const std::string& path,
                     std::vector<unsigned char>& bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  struct stat info {};
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (ok) {
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

}  // namespace

unsigned decodePngFile(const std::string& path, ImageBuffer& image) {
  image = ImageBuffer{};
  std::vector<unsigned char> file;
  if (!readRegularFile(path, file)) {
    return kCannotOpenFile;
  }
  return decodePng(file, image);
}

unsigned decodePng(const std::vector<unsigned char>& file, ImageBuffer& image) {
  image = ImageBuffer{};
  unsigned width = 0;
  unsigned height = 0;
  const unsigned error =
      lodepng::decode(image.pixels, width, height, file, LCT_RGBA, 8);
  image.width = width;
  image.height = height;
  return error;
}

std::string loadBoard(ImageBuffer& canvas) {
  const std::string hint = " (run tib in the folder that holds the artwork)";
  const unsigned error = decodePngFile(kBoardFile, canvas);
  if (error != 0) {
    return std::string("tib: cannot load ") + kBoardFile + ": " +
           lodepng_error_text(error) + hint;
  }
  if (canvas.width != kCanvasEdge || canvas.height != kCanvasEdge) {
    return std::string("tib: ") + kBoardFile + " is " +
           std::to_string(canvas.width) + " x " +
           std::to_string(canvas.height) + " pixels, not 1024 x 1024" + hint;
  }
  return "";
}

PieceNames makePieceNames() {
  return PieceNames{{'P', "wp"}, {'B', "wb"}, {'N', "wn"}, {'R', "wr"},
                    {'Q', "wq"}, {'K', "wk"}, {'p', "bp"}, {'b', "bb"},
                    {'n', "bn"}, {'r', "br"}, {'q', "bq"}, {'k', "bk"}};
}

std::string spriteFileName(const std::string& spriteName) {
  return "t_" + spriteName + ".png";
}

SpriteSet loadSprites(const PieceNames& pieceNames, std::ostream& out) {
  SpriteSet sprites;
  for (const auto& entry : pieceNames) {
    const std::string file = spriteFileName(entry.second);
    const unsigned error = decodePngFile(file, sprites[entry.second]);
    if (error != 0) {
      out << "Warning: Could not load " << file << " - "
          << lodepng_error_text(error) << std::endl;
    }
  }
  return sprites;
}
