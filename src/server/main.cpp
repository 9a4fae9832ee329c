// tib-server: the options, the artwork, then the service. Whatever stops
// it from starting is one line on standard error and an exit status: 2 for
// the command line, 1 for the rest.
#include <malloc.h>
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "server/failure.h"
#include "server/options.h"
#include "server/service.h"
#include "server/themes.h"

int main(int argc, char** argv) {
  // Two malloc arenas, not one per core and worker: GIF renders free
  // frame-sized buffers on every worker, which per-thread arenas keep (eight
  // slow GIF readers held 61 MB above idle with them, 38 MB with two).
  mallopt(M_ARENA_MAX, 2);
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return tib::reportFailures(tib::kServerPrefix, std::cerr, [&] {
    tib::ServerOptions options = tib::readServerOptions(args, tib::coreCount());
    if (options.help) {
      tib::printServerUsage(std::cout);
      return tib::ExitStatus::ok;
    }
    if (options.artwork.empty()) {
      options.artwork = tib::defaultArtworkFolder();
    }
    // What loading printed waits until the address is bound, so that a
    // refusal to start is one line.
    std::ostringstream startup;
    const tib::Served served =
        tib::loadServed(options.artwork, options.maxArtworkBytes, startup);
    tib::serve(options, served, startup.str(), STDERR_FILENO);
    return tib::ExitStatus::ok;
  });
}
