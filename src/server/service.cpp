// tib-server's service put together: the parts, in the order that lets
// each outlive what uses it, and the I/O loop.
#include "server/service.h"

#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <cerrno>
#include <csignal>
#include <memory>
#include <string_view>

#include "server/access_log.h"
#include "server/failure.h"
#include "server/listener.h"
#include "server/metrics.h"
#include "server/page.h"
#include "server/render_queue.h"
#include "server/session.h"

namespace tib {

namespace {

// Renders queued or running per worker; past that a request gets 503 at
// once, so that a load balancer can send it elsewhere.
constexpr std::size_t kRendersPerWorker = 4;
// Log lines queued for a slow reader before they are dropped.
constexpr std::size_t kLogCapacity = 4096;

// Waits for the reader: nothing is served before these lines are out.
void writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t wrote = ::write(fd, text.data(), text.size());
    if (wrote < 0 && errno == EINTR) {
      continue;
    }
    if (wrote <= 0) {
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(wrote));
  }
}

}  // namespace

void serve(const ServerOptions& options, const Served& served,
           const std::string& startup, int logFd) {
  if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
    throw StartError("cannot ignore SIGPIPE");
  }
  boost::asio::io_context io(1);
  boost::asio::thread_pool workers(options.threads);
  const std::string page = tryItPage(served);
  Metrics metrics(&served);
  AccessLog log(logFd, kLogCapacity);
  // A stream has one task at most in the queue.
  RenderQueue renders(io, workers,
                      std::size_t{options.threads} * kRendersPerWorker,
                      options.maxStreams, metrics);
  Listener listener(
      io, options, metrics, log, renders,
      [&](boost::asio::ip::tcp::socket socket, Listener& registry) {
        std::make_shared<Session>(std::move(socket), registry, renders, served,
                                  page, options, metrics, log)
            ->start();
      });
  const std::string address = listener.bind();
  writeAll(logFd, startup + kServerPrefix + "listening on " + address + "\n");
  listener.start();
  // A handler that throws (memory running out, say) loses its connection,
  // not the server.
  for (;;) {
    try {
      io.run();
      break;
    } catch (const std::exception& error) {
      log.write(std::string("dropped a connection: ") + error.what());
    }
  }
  workers.join();
  log.write("stopped");
}

}  // namespace tib
