#include <iostream>
#include <string>
#include <vector>

#include "process_tuning.h"
#include "run.h"

int main(int argc, char** argv) {
  const ProcessMemoryTuning tuning;
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return runTib(args, std::cout, std::cerr);
}
