#include "test_support.h"

#include <gtest/gtest.h>
#include <lodepng.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

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
  image.pixels.resize(std::size_t{width} * height * 4);
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
  image.pixels.resize(std::size_t{width} * height * 4);
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
  const unsigned error = lodepng::decode(image.pixels, width, height,
                                         file.string(), LCT_RGBA, 8);
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

RunResult runTibBinary(const std::filesystem::path& folder,
                       const std::vector<std::string>& args,
                       const std::filesystem::path& stdoutFile) {
  const TempDir streams;
  const auto outFile =
      stdoutFile.empty() ? streams.path() / "stdout" : stdoutFile;
  const auto errFile = streams.path() / "stderr";
  std::vector<char*> argv;
  std::string program = TIB_BINARY;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    if (chdir(folder.c_str()) != 0 ||
        freopen(outFile.c_str(), "w", stdout) == nullptr ||
        freopen(errFile.c_str(), "w", stderr) == nullptr) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  RunResult result;
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  }
  result.out = stdoutFile.empty() ? readText(outFile) : "";
  result.err = readText(errFile);
  return result;
}
