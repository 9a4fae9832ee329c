// tib-server: the options, the artwork, then the service.
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "server/failure.h"
#include "server/options.h"
#include "server/service.h"
#include "server/themes.h"

int main(int argc, char** argv) {
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
    tib::serve(options, served, startup.str(), std::cerr);
    return tib::ExitStatus::ok;
  });
}
