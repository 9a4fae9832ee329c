// The HTTP side of tib-server put together: the listener, the connections,
// the render queue and its workers, the log. Failures of one request are
// answers (a status and one line), never exceptions that leave it; only a
// failure to start (binding the address) throws, a StartError.
#pragma once

#include <string>

#include "server/options.h"
#include "server/themes.h"

namespace tib {

// Listens on options.host:options.port, then writes startup (the lines of
// loading the artwork) and "listening on HOST:PORT" on the file descriptor
// logFd, and serves until SIGTERM or SIGINT; then stops accepting, finishes
// the renders that start within a second, answers the queued ones left then
// 503 and returns. Logs one line per request on logFd, from a thread that
// ends before it returns. Throws a StartError, having written nothing, when
// the address cannot be bound.
void serve(const ServerOptions& options, const Served& served,
           const std::string& startup, int logFd);

}  // namespace tib
