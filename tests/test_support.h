// Helpers shared by the tests: temporary folders, synthetic pictures and
// runs of the built program.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tib/board/drawing.h"

namespace tib {

using namespace codec;  // NOLINT(google-build-using-namespace)

// Time limits stretch under the sanitizers, whose builds render several
// times slower; the limits themselves hold for the optimised build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr int kSlowdown = 10;
#else
inline constexpr int kSlowdown = 1;
#endif

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

struct RunOptions {
  // Standard output goes here instead of into RunResult::out.
  std::filesystem::path stdoutFile;
  // Largest file the program may write (RLIMIT_FSIZE), or -1 for no limit.
  long fileSizeLimit = -1;
  // Largest address space of the program (RLIMIT_AS), or -1 for no limit.
  long memoryLimit = -1;
};

// Runs the program (a path) in folder with the arguments.
RunResult runProgram(const std::string& program,
                     const std::filesystem::path& folder,
                     const std::vector<std::string>& args,
                     const RunOptions& options = {});

// Runs the tib binary in folder with the arguments.
RunResult runTibBinary(const std::filesystem::path& folder,
                       const std::vector<std::string>& args,
                       const RunOptions& options = {});

// Starts the tib binary in folder without waiting; its output is discarded.
int startTibBinary(const std::filesystem::path& folder,
                   const std::vector<std::string>& args);

// Waits for a started run and returns its exit status (-1 if it crashed).
int waitTibBinary(int pid);

std::string readText(const std::filesystem::path& file);

// A device to write to, such as /dev/full: as root, a node of the same
// device made in folder, so that a writer that wrongly replaces it cannot
// harm the system's; else the system's own, which only root could replace.
std::filesystem::path deviceNode(const std::filesystem::path& folder,
                                 const std::filesystem::path& systemNode);

// A synthetic artwork set: a noise board, odd-sized noisy sprites whose alpha
// runs through the values the blend treats differently, and small markers.
ImageBuffer spriteFor(std::size_t index);  // index into kPieces
std::size_t spriteIndex(const std::string& name);
const Piece& pieceNamed(const std::string& spriteName);
ImageBuffer boardImage();
ImageBuffer markerFor(Side side);
void writeArtwork(const std::filesystem::path& folder);

struct Placed {
  int col;
  int rank;
  const char* name;
};

// The canvas the drawing rules give for these pieces drawn in this order on
// the synthetic board, then the marker of the side to move, if any.
ImageBuffer expectedCanvas(const std::vector<Placed>& pieces,
                           std::optional<Side> side,
                           const Settings& settings = {});

// Nearest neighbour at the top-left corner of each output pixel.
ImageBuffer resampled(const ImageBuffer& canvas, uint32_t edge);

void expectSameImage(const ImageBuffer& expected, const ImageBuffer& actual,
                     const std::string& what);

// What to do on the page at / and what it should offer.
struct PageVisit {
  // Typed into the diagram's form, in the form's order, each unlike its
  // default, size among them; a checkbox takes 1 or 0.
  std::vector<std::pair<std::string, std::string>> diagram;
  // Typed into the game's form the same way, size and pgn among them.
  std::vector<std::pair<std::string, std::string>> game;
  // Pasted over the game's PGN afterwards: one the server refuses.
  std::string brokenPgn;
  // The values of the theme and piece set lists, in order.
  std::vector<std::string> themes;
  std::vector<std::string> pieces;
};

// Does the visit in headless Chromium on the page of the server on
// 127.0.0.1:port. Checks the lists, that the diagram loads at the size
// asked for, that the game shows a GIF of that width, that the broken PGN
// shows the server's refusal, and that each URL shown fetches what the page
// shows. Skips without Chromium or Node.js, except on CI (CI=true).
void checkPageInChromium(uint16_t port, const PageVisit& visit);

}  // namespace tib
