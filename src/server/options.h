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
  // The time a GIF's drawing may take, waits for its client left out,
  // before the GIF is cut: a 1000-frame GIF at 720 draws in a few seconds.
  uint32_t maxRenderSeconds = 60;
  // The wall time of a streamed answer, from its request to its last byte:
  // five minutes let a client reading 100 KB/s take a 1000-frame GIF at
  // 720 that changes half the board each frame (12 MB).
  uint32_t maxStreamSeconds = 300;
  // Streamed answers (GIFs) open at once; past them a GIF gets 503. Each
  // holds at most about its frame twice and 128 KiB of bytes unsent.
  uint32_t maxStreams = 64;
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
