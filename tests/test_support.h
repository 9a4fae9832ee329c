// Helpers shared by the tests: temporary folders, synthetic pictures and
// runs of the built program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "drawing.h"

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A picture whose every byte comes from a fixed pseudo-random sequence.
// Opaque pictures get alpha 255; others take alpha from the given cycle.
ImageBuffer noiseImage(uint32_t width, uint32_t height, uint32_t seed,
                       const std::vector<unsigned char>& alphaCycle = {255});

ImageBuffer solidImage(uint32_t width, uint32_t height, unsigned char r,
                       unsigned char g, unsigned char b, unsigned char a);

void writePng(const std::filesystem::path& file, const ImageBuffer& image);

// Decodes a PNG file; fails the current test when it does not decode.
ImageBuffer readPng(const std::filesystem::path& file);

void writeBytes(const std::filesystem::path& file, const std::string& bytes);

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the tib binary in folder with the arguments; standard output goes to
// stdoutFile when one is given.
RunResult runTibBinary(const std::filesystem::path& folder,
                       const std::vector<std::string>& args,
                       const std::filesystem::path& stdoutFile = {});

std::string readText(const std::filesystem::path& file);
