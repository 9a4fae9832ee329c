// Reading tib-server's command line.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace tib {

struct ServerOptions {
  // A host name or an address; brackets around an IPv6 address removed.
  std::string host = "127.0.0.1";
  // 0 picks a free port.
  uint16_t port = 8080;
  // The folder of the default theme; "" means the default folder.
  std::string artwork;
  // Render workers.
  unsigned threads = 1;
  // The largest size= accepted.
  int32_t maxSize = 2048;
  // --help was given: print the usage and exit.
  bool help = false;
};

void printServerUsage(std::ostream& out);

// Reads the options (program name excluded); threads starts at
// defaultThreads. Throws a Failure naming the option that cannot be used.
ServerOptions readServerOptions(const std::vector<std::string>& args,
                                unsigned defaultThreads);

// The number of cores this process may run on.
unsigned coreCount();

// The installed share/tib beside the running program's bin/ when it holds a
// board, else "artwork" (under the working directory).
std::string defaultArtworkFolder();

}  // namespace tib
