// One whole run of tib: arguments in, diagram file out.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tib {

// Runs the whole sequence with the arguments (program name excluded) in the
// current working directory and returns the exit status. Help and warnings
// go to out; a failure is one line on err.
int runTib(const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err);

}  // namespace tib
