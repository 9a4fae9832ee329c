#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "run.h"

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return runTib(args, std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    // A huge size= or a huge artwork file; the output was not touched.
    std::cerr << "tib: out of memory" << std::endl;
    return kExitFailed;
  }
}
