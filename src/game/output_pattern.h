// The name of each game's output when tib-game draws every game of a file:
// a pattern with one number conversion, printf's way (%d, %3d, %03d), and
// %% for a percent sign.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tib::game {

struct OutputPattern {
  std::string before;  // the text before the number, %% read
  std::string after;   // and after it
  std::size_t width = 0;
  bool zeros = false;  // padded with zeros rather than spaces
};

// Reads the pattern given as -o. Throws an OptionError naming it when it
// holds no number conversion, more than one, or a % that is neither %% nor
// one.
OutputPattern readOutputPattern(const std::string& pattern);

// The path of game number (from 1).
std::string outputPath(const OutputPattern& pattern, std::size_t number);

// Whether a file name ends with suffix after at least one other character.
bool endsWith(const std::string& name, std::string_view suffix);

}  // namespace tib::game
