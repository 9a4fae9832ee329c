// Reading the command line into the settings of a run.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// The settings of one run besides the process-wide Size and Sz2.
struct RunArguments {
  std::string fen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w";
  std::string outputPath = "output.png";
};

// Largest output edge whose RGBA byte count still fits in 32 bits.
constexpr long kLargestSize = 32767;

// True when there is no argument or the first one is exactly "/h".
bool wantsHelp(const std::vector<std::string>& args);

void printHelp(std::ostream& out);

// Reads the arguments (program name excluded) into run, Size and Sz2, after
// resetting all of them to their defaults. Returns an empty string, or a
// one-line message naming the argument that cannot be used.
std::string readArguments(const std::vector<std::string>& args,
                          RunArguments& run);
