// One whole run: arguments in, diagram file out.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Exit statuses of a run.
constexpr int kExitOk = 0;
constexpr int kExitFailed =
    1;  // the board cannot be used or the output not written
constexpr int kExitBadArguments = 2;

// Runs the whole sequence with the arguments (program name excluded) in the
// current working directory. Help and warnings go to out, errors to err.
int runTib(const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err);
