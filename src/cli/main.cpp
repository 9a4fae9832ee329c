#include <iostream>
#include <string>
#include <vector>

#include "cli/process_tuning.h"
#include "cli/run.h"

int main(int argc, char** argv) {
  const tib::ProcessMemoryTuning tuning;
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return tib::runTib(args, std::cout, std::cerr);
}
