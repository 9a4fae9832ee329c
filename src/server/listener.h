// Listening and admission for tib-server: the accept loop, the registry of
// open connections, making room for a new connection when they are too
// many, and the stop: on SIGTERM or SIGINT it stops accepting, lets the
// connections finish within a grace time and tells the render queue when
// renders may start no more.
#pragma once

#include <sys/resource.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstddef>
#include <functional>
#include <set>
#include <string>

#include "server/access_log.h"
#include "server/metrics.h"
#include "server/options.h"
#include "server/render_queue.h"

namespace tib {

class Session;

class Listener {
 public:
  // Makes a session of a connection accepted and starts it.
  using Open = std::function<void(boost::asio::ip::tcp::socket, Listener&)>;

  Listener(boost::asio::io_context& io, const ServerOptions& options,
           Metrics& metrics, AccessLog& log, RenderQueue& renders, Open open);
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Binds and listens; throws a StartError when the address cannot be had.
  // Returns the address it listens on.
  std::string bind();
  // Waits for the signals and accepts.
  void start();

  void added(Session* session);
  // Accepts again, or ends the stop's wait with the last connection.
  void removed(Session* session);
  [[nodiscard]] bool stopping() const { return stopping_; }

  // A streamed answer begins: false, counting nothing, when --max-streams
  // are open already.
  bool openStream();
  void closeStream();

 private:
  void accept();
  void makeRoom();
  void stop();

  const ServerOptions& options_;
  Metrics& metrics_;
  AccessLog& log_;
  RenderQueue& renders_;
  Open open_;
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::steady_timer retry_;
  boost::asio::steady_timer deadline_;
  boost::asio::signal_set signals_;
  std::set<Session*> sessions_;
  const std::size_t maxConnections_;
  std::size_t streams_ = 0;
  bool accepting_ = false;
  bool stopping_ = false;
};

// The connections this process can hold: the open-file limit raised to its
// hard limit, less what the process needs besides.
std::size_t connectionLimit(std::size_t wanted);

}  // namespace tib
