// tib-server: the options, the artwork, then the service.
#include <iostream>
#include <string>
#include <vector>

#include "server/options.h"
#include "server/service.h"
#include "server/themes.h"
#include "tib/failure.h"

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
    const tib::Themes themes = tib::loadThemes(options.artwork, std::cerr);
    tib::serve(options, themes, std::cerr);
    return tib::ExitStatus::ok;
  });
}
