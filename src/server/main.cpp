// tib-server: the options, the artwork, then the service.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "failure.h"
#include "options.h"
#include "service.h"
#include "themes.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  try {
    ServerOptions options = readServerOptions(args, coreCount());
    if (options.help) {
      printServerUsage(std::cout);
      return static_cast<int>(ExitStatus::ok);
    }
    if (options.artwork.empty()) {
      options.artwork = defaultArtworkFolder();
    }
    const Themes themes = loadThemes(options.artwork, std::cerr);
    serve(options, themes, std::cerr);
    return static_cast<int>(ExitStatus::ok);
  } catch (const Failure& failure) {
    std::cerr << kServerPrefix << failure.what() << std::endl;
    return static_cast<int>(failure.status());
  } catch (const std::bad_alloc&) {
    std::cerr << kServerPrefix << "out of memory" << std::endl;
    return static_cast<int>(ExitStatus::failed);
  }
}
