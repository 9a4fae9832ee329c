// Reading the command line into the settings of a run.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "drawing.h"
#include "position.h"

// The settings of one run of tib.
struct RunArguments {
  std::string fen = kStartingPosition;
  std::string outputPath = "output.png";
  Settings settings;
};

// True when there is no argument or the first one is exactly "/h".
bool wantsHelp(const std::vector<std::string>& args);

void printHelp(std::ostream& out);

// A size= value by strtol's rules (leading blanks, an optional sign, digits
// up to the first non-digit; the rest is ignored); none when it holds no
// number or the number does not fit 32 bits.
std::optional<int32_t> convertSize(const std::string& text);

// A scale= value by strtof's rules in the C locale (hexadecimal, inf and nan
// included; the rest is ignored); none when it holds no number or the
// conversion overflows or underflows.
std::optional<float> convertScale(const std::string& text);

// Reads the arguments (program name excluded); a later argument overrides
// an earlier one with the same key and other arguments are ignored. Throws
// a Failure naming the argument that cannot be used.
RunArguments readArguments(const std::vector<std::string>& args);
