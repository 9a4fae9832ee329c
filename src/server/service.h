// The HTTP side of tib-server: accepting connections, reading requests,
// rendering on a pool of workers and writing the answers. Failures of one
// request are answers (a status and one line), never exceptions that leave
// it; only a failure to start (binding the address) throws, a Failure.
#pragma once

#include <ostream>
#include <string>

#include "server/options.h"
#include "server/themes.h"

namespace tib {

// Listens on options.host:options.port, then prints startup (the lines of
// loading the artwork) and "listening on HOST:PORT" on log, and serves until
// SIGTERM or SIGINT; then stops accepting, finishes the renders that start
// within a second, answers the queued ones left then 503 and returns. Logs one
// line per request on log, from a thread of its own. Throws a Failure, having
// printed nothing, when the address cannot be bound.
void serve(const ServerOptions& options, const Served& served,
           const std::string& startup, std::ostream& log);

}  // namespace tib
