// Reading tib-server's command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tib/game/animation_options.h"
#include "tib/game/gif_budget.h"

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
  // How long a connection may take to send a request head, and how long an
  // idle kept-alive connection stays open.
  uint32_t readTimeoutSeconds = 10;
  // How long a client may take nothing of an answer (a chunk of a GIF)
  // before it is dropped.
  uint32_t writeTimeoutSeconds = 30;
  // The wall time a GIF's render may take, waits for a slow reader
  // included, before the GIF is cut: a 1000-frame GIF at 720 renders in a
  // few seconds, and a minute lets a client reading 100 KB/s take the
  // largest GIF the pixel budget lets through.
  uint32_t maxRenderSeconds = 60;
  // Connections served at once, further bounded by the open-file limit.
  uint32_t maxConnections = 10000;
  // The decoded artwork of all themes together.
  std::size_t maxArtworkBytes = std::size_t{512} << 20;
  // The most frames a GIF may have.
  std::size_t maxFrames = 1000;
  // The most frames times pixels of one frame a GIF may have.
  uint64_t maxGifPixels = kDefaultMaxGifPixels;
  // The largest body of POST /game.gif.
  std::size_t maxBody = std::size_t{256} << 10;
  // --help was given: print the usage and exit.
  bool help = false;
};

void printServerUsage(std::ostream& out);

// Reads the options (program name excluded); threads starts at
// defaultThreads. Throws an OptionError naming the option that cannot be used.
ServerOptions readServerOptions(const std::vector<std::string>& args,
                                unsigned defaultThreads);

// The number of cores this process may run on.
unsigned coreCount();

}  // namespace tib
