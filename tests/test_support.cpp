#include "test_support.h"

#include <gtest/gtest.h>
#include <lodepng.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tib/board/artwork.h"

namespace tib {

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tib-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot make a temporary folder";
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ImageBuffer noiseImage(uint32_t width, uint32_t height, uint32_t seed,
                       const std::vector<unsigned char>& alphaCycle) {
  ImageBuffer image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<std::size_t>(width) * height * 4);
  uint32_t state = seed * 2654435761U + 1;
  for (std::size_t p = 0; p < image.pixels.size() / 4; ++p) {
    for (std::size_t k = 0; k < 3; ++k) {
      state = state * 1664525U + 1013904223U;
      image.pixels[p * 4 + k] = static_cast<unsigned char>(state >> 24);
    }
    image.pixels[p * 4 + 3] = alphaCycle[p % alphaCycle.size()];
  }
  return image;
}

ImageBuffer solidImage(uint32_t width, uint32_t height, unsigned char r,
                       unsigned char g, unsigned char b, unsigned char a) {
  ImageBuffer image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<std::size_t>(width) * height * 4);
  for (std::size_t p = 0; p < image.pixels.size(); p += 4) {
    image.pixels[p] = r;
    image.pixels[p + 1] = g;
    image.pixels[p + 2] = b;
    image.pixels[p + 3] = a;
  }
  return image;
}

void writePng(const std::filesystem::path& file, const ImageBuffer& image) {
  ASSERT_EQ(0U, lodepng::encode(file.string(), image.pixels, image.width,
                                image.height, LCT_RGBA, 8))
      << file;
}

ImageBuffer readPng(const std::filesystem::path& file) {
  ImageBuffer image;
  unsigned width = 0;
  unsigned height = 0;
  const unsigned error =
      lodepng::decode(image.pixels, width, height, file.string(), LCT_RGBA, 8);
  EXPECT_EQ(0U, error) << file << ": " << lodepng_error_text(error);
  image.width = width;
  image.height = height;
  return image;
}

void writeBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::filesystem::path deviceNode(const std::filesystem::path& folder,
                                 const std::filesystem::path& systemNode) {
  struct stat info {};
  if (geteuid() != 0 || stat(systemNode.c_str(), &info) != 0) {
    return systemNode;
  }
  std::filesystem::path node = folder / systemNode.filename();
  EXPECT_EQ(0, mknod(node.c_str(), info.st_mode, info.st_rdev)) << node;
  return node;
}

namespace {

pid_t spawnProgram(const std::string& program,
                   const std::filesystem::path& folder,
                   const std::vector<std::string>& args,
                   const std::filesystem::path& outFile,
                   const std::filesystem::path& errFile, long fileSizeLimit,
                   long memoryLimit) {
  std::vector<std::string> words = args;
  words.insert(words.begin(), program);
  std::vector<char*> argv(words.size() + 1, nullptr);
  std::transform(words.begin(), words.end(), argv.begin(),
                 [](std::string& word) { return word.data(); });
  const pid_t child = fork();
  if (child == 0) {
    if (fileSizeLimit >= 0) {
      const rlimit limit{static_cast<rlim_t>(fileSizeLimit),
                         static_cast<rlim_t>(fileSizeLimit)};
      // A write past the limit then fails with EFBIG instead of a signal.
      if (signal(SIGXFSZ, SIG_IGN) == SIG_ERR ||
          setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        _exit(127);
      }
    }
    if (memoryLimit >= 0) {
      const rlimit limit{static_cast<rlim_t>(memoryLimit),
                         static_cast<rlim_t>(memoryLimit)};
      if (setrlimit(RLIMIT_AS, &limit) != 0) {
        _exit(127);
      }
    }
    if (chdir(folder.c_str()) != 0 ||
        freopen(outFile.c_str(), "w", stdout) == nullptr ||
        freopen(errFile.c_str(), "w", stderr) == nullptr) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

}  // namespace

int startTibBinary(const std::filesystem::path& folder,
                   const std::vector<std::string>& args) {
  return spawnProgram(TIB_BINARY, folder, args, "/dev/null", "/dev/null", -1,
                      -1);
}

int waitTibBinary(int pid) {
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  return -1;
}

RunResult runProgram(const std::string& program,
                     const std::filesystem::path& folder,
                     const std::vector<std::string>& args,
                     const RunOptions& options) {
  const TempDir streams;
  const auto outFile = options.stdoutFile.empty() ? streams.path() / "stdout"
                                                  : options.stdoutFile;
  const auto errFile = streams.path() / "stderr";
  RunResult result;
  result.status =
      waitTibBinary(spawnProgram(program, folder, args, outFile, errFile,
                                 options.fileSizeLimit, options.memoryLimit));
  result.out = options.stdoutFile.empty() ? readText(outFile) : "";
  result.err = readText(errFile);
  return result;
}

RunResult runTibBinary(const std::filesystem::path& folder,
                       const std::vector<std::string>& args,
                       const RunOptions& options) {
  return runProgram(TIB_BINARY, folder, args, options);
}

ImageBuffer spriteFor(std::size_t index) {
  return noiseImage(7 + 9 * static_cast<uint32_t>(index),
                    11 + 5 * static_cast<uint32_t>(index),
                    100 + static_cast<uint32_t>(index),
                    {0, 2, 3, 65, 128, 254, 255, 255, 0});
}

ImageBuffer boardImage() { return noiseImage(1024, 1024, 7); }
ImageBuffer markerFor(Side side) {
  return noiseImage(13, 9, side == Side::black ? 51 : 50, {255, 128, 0});
}

void writeArtwork(const std::filesystem::path& folder) {
  writePng(folder / "t_board.png", boardImage());
  for (std::size_t i = 0; i < kPieces.size(); ++i) {
    writePng(folder / spriteFileName(kPieces[i]), spriteFor(i));
  }
  for (const Side side : {Side::white, Side::black}) {
    writePng(folder / markerFileName(side), markerFor(side));
  }
}

std::size_t spriteIndex(const std::string& name) {
  std::size_t index = 0;
  while (index < kPieces.size() && name != kPieces[index].spriteName) {
    ++index;
  }
  return index;
}

const Piece& pieceNamed(const std::string& spriteName) {
  return kPieces.at(spriteIndex(spriteName));
}

ImageBuffer expectedCanvas(const std::vector<Placed>& pieces,
                           std::optional<Side> side, const Settings& settings) {
  ImageBuffer canvas = boardImage();
  for (const Placed& piece : pieces) {
    const std::size_t index = spriteIndex(piece.name);
    drawPiece(canvas, spriteFor(index), settings, piece.col, piece.rank,
              kPieces.at(index));
  }
  if (side) {
    drawSign(canvas, markerFor(*side), settings, *side);
  }
  return canvas;
}

ImageBuffer resampled(const ImageBuffer& canvas, uint32_t edge) {
  ImageBuffer out;
  out.width = edge;
  out.height = edge;
  for (uint32_t i = 0; i < edge; ++i) {
    for (uint32_t j = 0; j < edge; ++j) {
      const std::size_t from =
          (static_cast<std::size_t>(i * 1024 / edge) * 1024 + j * 1024 / edge) *
          4;
      out.pixels.insert(out.pixels.end(), &canvas.pixels[from],
                        &canvas.pixels[from] + 4);
    }
  }
  return out;
}

void expectSameImage(const ImageBuffer& expected, const ImageBuffer& actual,
                     const std::string& what) {
  ASSERT_EQ(expected.width, actual.width) << what;
  ASSERT_EQ(expected.height, actual.height) << what;
  ASSERT_EQ(expected.pixels.size(), actual.pixels.size()) << what;
  for (std::size_t p = 0; p < expected.pixels.size(); p += 4) {
    ASSERT_EQ(0, std::memcmp(&expected.pixels[p], &actual.pixels[p], 4))
        << what << ": first difference at pixel " << (p / 4) % expected.width
        << "," << (p / 4) / expected.width;
  }
}

}  // namespace tib
