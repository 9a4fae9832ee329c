// The HTTP side of tib-server: accepting connections, reading requests,
// rendering on a pool of workers and writing the answers. Failures of one
// request are answers (a status and one line), never exceptions that leave
// it; only a failure to start (binding the address) throws, a Failure.
#pragma once

#include <ostream>

#include "server/options.h"
#include "server/themes.h"

namespace tib {

// Connections served at once; further ones wait in the listen queue.
inline constexpr std::size_t kMaxConnections = 256;

// Listens on options.host:options.port, prints "listening on HOST:PORT" on
// log and serves until SIGTERM or SIGINT; then stops accepting, lets the
// requests in flight finish and returns. Logs one line per request on log.
// Throws a Failure when the address cannot be bound.
void serve(const ServerOptions& options, const Themes& themes,
           std::ostream& log);

}  // namespace tib
