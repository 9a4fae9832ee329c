// Reading the command line into the settings of a run.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tib/board/drawing.h"
#include "tib/board/position.h"

namespace tib {

// The settings of one run of tib.
struct RunArguments {
  // What the diagram draws of the fen= text.
  Placement position = startingPlacement();
  std::string outputPath = "output.png";
  Settings settings;
};

// True when there is no argument or the first one is exactly "/h".
bool wantsHelp(const std::vector<std::string>& args);

void printHelp(std::ostream& out);

// Reads the arguments (program name excluded); a later argument overrides
// an earlier one with the same key and other arguments are ignored. Throws
// a ValueError naming the argument that cannot be used.
RunArguments readArguments(const std::vector<std::string>& args);

}  // namespace tib
