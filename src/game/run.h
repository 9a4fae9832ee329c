// One run of tib-game: a game read from a PGN file, then the FENs of its
// main line printed or the diagram of one of its plies drawn.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace tib::game {

// Runs with the arguments (program name excluded), reading standard input
// from in when no file is named, and returns the exit status. FENs and help
// go to out; warnings and a failure, one line each, to err.
int runGame(const std::vector<std::string>& args, std::istream& in,
            std::ostream& out, std::ostream& err);

}  // namespace tib::game
