// Listening and admission: the accept loop, the registry of connections,
// making room, and the stop with its grace and its last render start.
#include "server/listener.h"

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <csignal>
#include <optional>

#include "server/failure.h"
#include "server/session.h"

namespace tib {

namespace {

namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

// After SIGTERM, how long the requests in flight get before their
// connections are closed; with the renders already started that keeps the
// whole stop within 5 s.
constexpr auto kShutdownGrace = std::chrono::milliseconds(3500);
// After SIGTERM, renders may still start for this long; queued ones left
// then are answered 503.
constexpr auto kLastRenderAfterStop = std::chrono::milliseconds(1000);
// Descriptors kept for everything but connections (the listening socket,
// the standard streams, the artwork when it is read, the render queue's
// eventfd).
constexpr rlim_t kReservedDescriptors = 64;

}  // namespace

std::size_t connectionLimit(std::size_t wanted) {
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) != 0) {
    return wanted;
  }
  if (files.rlim_cur < files.rlim_max) {
    rlimit raised = files;
    raised.rlim_cur = files.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
      files = raised;
    }
  }
  const rlim_t usable = files.rlim_cur > 2 * kReservedDescriptors
                            ? files.rlim_cur - kReservedDescriptors
                            : files.rlim_cur / 2;
  return std::min<std::size_t>(wanted, usable);
}

Listener::Listener(net::io_context& io, const ServerOptions& options,
                   Metrics& metrics, AccessLog& log, RenderQueue& renders,
                   Open open)
    : options_(options),
      metrics_(metrics),
      log_(log),
      renders_(renders),
      open_(std::move(open)),
      acceptor_(io),
      retry_(io),
      deadline_(io),
      signals_(io, SIGTERM, SIGINT),
      maxConnections_(connectionLimit(options.maxConnections)) {}

std::string Listener::bind() {
  const std::string where = options_.host + ":" + std::to_string(options_.port);
  boost::system::error_code error;
  tcp::resolver resolver(acceptor_.get_executor());
  const auto endpoints = resolver.resolve(
      options_.host, std::to_string(options_.port),
      tcp::resolver::passive | tcp::resolver::numeric_service, error);
  if (!error && endpoints.empty()) {
    error = net::error::host_not_found;
  }
  if (!error) {
    const tcp::endpoint endpoint = endpoints.begin()->endpoint();
    acceptor_.open(endpoint.protocol(), error);
    if (!error) {
      acceptor_.set_option(net::socket_base::reuse_address(true), error);
    }
    if (!error) {
      acceptor_.bind(endpoint, error);
    }
    if (!error) {
      acceptor_.listen(net::socket_base::max_listen_connections, error);
    }
  }
  if (error) {
    throw StartError("cannot listen on " + where + ": " + error.message());
  }
  const tcp::endpoint local = acceptor_.local_endpoint();
  const std::string address = local.address().to_string();
  return (local.address().is_v6() ? "[" + address + "]" : address) + ":" +
         std::to_string(local.port());
}

void Listener::start() {
  signals_.async_wait([this](boost::system::error_code error, int signal) {
    if (!error) {
      log_.write(std::string("stopping on ") +
                 (signal == SIGINT ? "SIGINT" : "SIGTERM"));
      stop();
    }
  });
  accept();
}

void Listener::added(Session* session) {
  sessions_.insert(session);
  metrics_.connections = static_cast<int64_t>(sessions_.size());
}

// At the limit, the connection that has waited longest for a request makes
// room for the next one.
void Listener::makeRoom() {
  Session* oldest = nullptr;
  std::optional<Clock::time_point> since;
  for (Session* session : sessions_) {
    const std::optional<Clock::time_point> idle = session->idleSince();
    if (idle && (!since || *idle < *since)) {
      since = idle;
      oldest = session;
    }
  }
  if (oldest != nullptr) {
    oldest->close();
  }
}

void Listener::accept() {
  if (accepting_ || stopping_) {
    return;
  }
  if (sessions_.size() >= maxConnections_) {
    makeRoom();
    return;
  }
  accepting_ = true;
  acceptor_.async_accept(
      [this](boost::system::error_code error, tcp::socket socket) {
        accepting_ = false;
        if (stopping_) {
          return;
        }
        if (error) {
          // Out of descriptors, say: try again shortly rather than spin.
          log_.write("cannot accept a connection: " + error.message());
          retry_.expires_after(std::chrono::milliseconds(100));
          retry_.async_wait([this](boost::system::error_code waited) {
            if (!waited) {
              accept();
            }
          });
          return;
        }
        boost::system::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        try {
          open_(std::move(socket), *this);
        } catch (const std::exception& failure) {
          log_.write(std::string("dropped a connection: ") + failure.what());
        }
        accept();
      });
}

void Listener::removed(Session* session) {
  sessions_.erase(session);
  metrics_.connections = static_cast<int64_t>(sessions_.size());
  if (stopping_) {
    if (sessions_.empty()) {
      deadline_.cancel();
    }
  } else {
    accept();
  }
}

bool Listener::openStream() {
  if (streams_ >= options_.maxStreams) {
    return false;
  }
  metrics_.streams = static_cast<int64_t>(++streams_);
  return true;
}

void Listener::closeStream() {
  metrics_.streams = static_cast<int64_t>(--streams_);
}

void Listener::stop() {
  stopping_ = true;
  // Renders running, and those that start within a second, finish; the
  // queued ones left then are answered 503.
  renders_.lastStartAt(Clock::now() + kLastRenderAfterStop);
  boost::system::error_code ignored;
  acceptor_.close(ignored);
  retry_.cancel();
  if (sessions_.empty()) {
    return;
  }
  // Copied: closing a connection may end its session.
  const std::set<Session*> open = sessions_;
  for (Session* session : open) {
    session->stop();
  }
  deadline_.expires_after(kShutdownGrace);
  deadline_.async_wait([this](boost::system::error_code error) {
    if (!error) {
      log_.write("closing " + std::to_string(sessions_.size()) +
                 " connections that did not finish in time");
      const std::set<Session*> late = sessions_;
      for (Session* session : late) {
        session->close();
      }
    }
  });
}

}  // namespace tib
