#include "server/service.h"

#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/http/vector_body.hpp>
#include <csignal>
#include <ctime>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "server/access_log.h"
#include "server/failure.h"
#include "server/head.h"
#include "server/metrics.h"
#include "server/page.h"
#include "server/request.h"
#include "server/text.h"
#include "tib/render.h"

namespace tib {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

// How long writing one response may take.
constexpr auto kWriteTimeout = std::chrono::seconds(30);
// After SIGTERM, how long the requests in flight get before their
// connections are closed; with the renders already started that keeps the
// whole stop within 5 s.
constexpr auto kShutdownGrace = std::chrono::milliseconds(3500);
// After SIGTERM, renders may still start for this long; queued ones left
// then are answered 503.
constexpr auto kLastRenderAfterStop = std::chrono::milliseconds(1000);
// Renders queued or running per worker; past that a request gets 503 at
// once, so that a load balancer can send it elsewhere.
constexpr std::size_t kRendersPerWorker = 4;
// Requests one kept-alive connection may make before it is closed.
constexpr unsigned kRequestsPerConnection = 1000;
// Descriptors kept for everything but connections (the listening socket,
// the standard streams, the artwork when it is read).
constexpr rlim_t kReservedDescriptors = 64;
// How much of a request target, and of a method, a log line shows.
constexpr std::size_t kLoggedTargetBytes = 200;
constexpr std::size_t kLoggedMethodBytes = 16;
// Log lines queued for a slow reader before they are dropped.
constexpr std::size_t kLogCapacity = 4096;
// Bytes read from a connection at a time.
constexpr std::size_t kReadChunk = 4096;

using Response = http::response<http::vector_body<unsigned char>>;

std::string httpDate() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::array<char, 64> text{};
  const std::size_t length = std::strftime(text.data(), text.size(),
                                           "%a, %d %b %Y %H:%M:%S GMT", &utc);
  return {text.data(), length};
}

Response textResponse(unsigned status, const std::string& line) {
  Response response(static_cast<http::status>(status), 11);
  response.set(http::field::content_type, "text/plain; charset=utf-8");
  const std::string body = line + "\n";
  response.body().assign(body.begin(), body.end());
  response.prepare_payload();
  if (status == 405) {
    response.set(http::field::allow, "GET, HEAD");
  }
  return response;
}

Response busyResponse(const std::string& line) {
  Response response = textResponse(503, line);
  response.set(http::field::retry_after, "1");
  return response;
}

// Runs on a render worker. Whatever escapes the render is a 500 for this
// request, never an exception on the worker thread.
Response renderResponse(const Artwork& artwork, const Sprites& pieces,
                        const Decision& decision, const std::string& tag) {
  try {
    std::vector<unsigned char> png =
        renderPng(artwork, pieces, decision.diagram);
    Response response(http::status::ok, 11);
    response.set(http::field::content_type, "image/png");
    response.set(http::field::etag, tag);
    response.set(http::field::cache_control, "public, max-age=86400");
    response.body() = std::move(png);
    response.prepare_payload();
    return response;
  } catch (const Failure& failure) {
    return textResponse(500, failure.what());
  } catch (const std::exception& error) {
    return textResponse(500, std::string("cannot render: ") + error.what());
  }
}

std::string logText(std::string_view text, std::size_t limit) {
  return text.size() <= limit ? printableText(text)
                              : printableText(text.substr(0, limit)) + "...";
}

// The connections this process can hold: the open-file limit raised to its
// hard limit, less what the process needs besides.
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

class Session;

// Accepts connections, keeps count of them and of the renders queued, and
// stops on a signal. Lives on the I/O thread, but for tooLateToRender() and the
// metrics' atomics, which the workers use too.
class Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(net::io_context& io, net::thread_pool& workers,
           const ServerOptions& options, const Served& served, AccessLog& log)
      : io_(io),
        workers_(workers),
        options_(options),
        served_(served),
        log_(log),
        acceptor_(io),
        retry_(io),
        deadline_(io),
        signals_(io, SIGTERM, SIGINT),
        maxConnections_(connectionLimit(options.maxConnections)),
        maxRenders_(std::size_t{options.threads} * kRendersPerWorker) {}

  // Binds and listens; throws a Failure when the address cannot be had.
  // Returns the address it listens on.
  std::string bind();
  void start();

  void added(Session* session) {
    sessions_.insert(session);
    metrics_.connections = static_cast<int64_t>(sessions_.size());
  }
  void removed(Session* session);

  bool stopping() const { return stopping_; }
  // Whether a render that starts now would end past the stop's grace.
  bool tooLateToRender() const {
    return Clock::now().time_since_epoch().count() > lastRenderStart_.load();
  }
  // Takes a place in the render queue; false when the queue is full.
  bool takeRender() {
    if (renders_ >= maxRenders_) {
      return false;
    }
    ++renders_;
    return true;
  }
  void renderDone() { --renders_; }
  net::io_context& io() { return io_; }
  net::thread_pool& workers() { return workers_; }
  const ServerOptions& options() const { return options_; }
  const Served& served() const { return served_; }
  void logLine(const std::string& line) { log_.write(kServerPrefix + line); }
  Metrics& metrics() { return metrics_; }

 private:
  void accept();
  void makeRoom();
  void stop();

  net::io_context& io_;
  net::thread_pool& workers_;
  const ServerOptions& options_;
  const Served& served_;
  AccessLog& log_;
  tcp::acceptor acceptor_;
  net::steady_timer retry_;
  net::steady_timer deadline_;
  net::signal_set signals_;
  std::set<Session*> sessions_;
  const std::size_t maxConnections_;
  const std::size_t maxRenders_;
  std::size_t renders_ = 0;
  Metrics metrics_;
  bool accepting_ = false;
  bool stopping_ = false;
  // In Clock ticks; no limit until the server is stopping.
  std::atomic<Clock::rep> lastRenderStart_{Clock::duration::max().count()};
};

// One connection: reads a request head, answers it, and reads the next one
// while the connection is kept alive. Only the I/O thread touches a session:
// a render worker gets copies of what it needs and posts its answer back to
// the I/O thread, which alone sends it. Requests of one connection are
// answered one after the other; pipelined ones wait in the buffer.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, std::shared_ptr<Listener> listener)
      : stream_(std::move(socket)), listener_(std::move(listener)) {
    listener_->added(this);
  }
  ~Session() {
    try {
      listener_->removed(this);
    } catch (const std::exception& error) {
      listener_->logLine(std::string("cannot accept again: ") + error.what());
    }
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void start() { readRequest(); }

  // Waiting for a request (or part of one) since then; empty while busy.
  std::optional<Clock::time_point> idleSince() const {
    return busy_ ? std::nullopt : std::optional(idleSince_);
  }

  // On shutdown: a connection waiting for a request closes now, one that is
  // answering closes after its response, and so does one whose next request
  // has begun to arrive. The wait for a request is cancelled, not closed: a
  // read that has already taken a request still hands it over, and it is
  // answered.
  void stop() {
    char byte = 0;
    if (!busy_ && received().empty() &&
        recv(stream_.socket().native_handle(), &byte, 1,
             MSG_PEEK | MSG_DONTWAIT) <= 0) {
      stream_.cancel();
    }
  }
  void close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
  }

 private:
  std::string_view received() const {
    const auto bytes = buffer_.data();
    return {static_cast<const char*>(bytes.data()), bytes.size()};
  }
  void readRequest();
  void readHead();
  void onHead(std::size_t length);
  void refuseAndClose(unsigned status, const std::string& message);
  void answer(const Decision& decision);
  void render(const Artwork& artwork, const Sprites& pieces,
              const Decision& decision, const std::string& tag);
  void watchForClose(const std::shared_ptr<std::atomic<bool>>& gone);
  void rendered(std::optional<Response> response);
  void send(Response response);
  void onWrite(beast::error_code error);
  void logRequest(const std::string& outcome);

  beast::tcp_stream stream_;
  std::shared_ptr<Listener> listener_;
  beast::flat_buffer buffer_;
  ParsedHead parsed_;
  std::shared_ptr<Response> response_;
  bool busy_ = false;
  bool keepAlive_ = false;
  bool head_ = false;
  unsigned version_ = 11;
  unsigned requests_ = 0;
  // Where the peek for a closed connection puts its byte.
  char peeked_ = 0;
  std::string method_;
  std::string target_;
  Clock::time_point started_;
  Clock::time_point idleSince_;
};

// Each step starts the next asynchronously; the call chain only looks
// recursive.
// NOLINTBEGIN(misc-no-recursion)
void Session::readRequest() {
  busy_ = false;
  idleSince_ = Clock::now();
  method_ = "-";
  target_ = "-";
  head_ = false;
  stream_.expires_after(
      std::chrono::seconds(listener_->options().readTimeoutSeconds));
  readHead();
}

void Session::readHead() {
  const std::string_view bytes = received();
  const std::size_t length =
      headLength(bytes.substr(0, std::min(bytes.size(), kHeadLimit)));
  if (length > 0) {
    onHead(length);
    return;
  }
  if (bytes.size() >= kHeadLimit) {
    listener_->metrics().inFlight++;
    busy_ = true;
    started_ = Clock::now();
    head_ = bytes.rfind("HEAD ", 0) == 0;
    const Decision refusal = refuseOversize("", "", bytes);
    refuseAndClose(refusal.status, refusal.message);
    return;
  }
  stream_.async_read_some(
      buffer_.prepare(kReadChunk),
      [self = shared_from_this()](beast::error_code error, std::size_t got) {
        self->buffer_.commit(got);
        if (error || !self->stream_.socket().is_open()) {
          // Closed, timed out, cancelled by a shutdown, or closed to make
          // room after the bytes were read: nothing to answer, or nobody to
          // answer.
          self->close();
          return;
        }
        self->readHead();
      });
}

void Session::onHead(std::size_t length) {
  listener_->metrics().inFlight++;
  busy_ = true;
  started_ = Clock::now();
  ++requests_;
  const std::string_view head = received().substr(0, length);
  head_ = head.rfind("HEAD ", 0) == 0;
  parsed_ = parseHead(head);
  buffer_.consume(length);
  const auto& request = parsed_.request;
  method_ = logText(std::string_view(request.method_string().data(),
                                     request.method_string().size()),
                    kLoggedMethodBytes);
  const std::string target(request.target().data(), request.target().size());
  target_ = logText(target, kLoggedTargetBytes);
  version_ = request.version();
  if (!parsed_.refusal.empty()) {
    refuseAndClose(400, parsed_.refusal);
    return;
  }
  keepAlive_ = request.keep_alive() && requests_ < kRequestsPerConnection;
  const Served& served = listener_->served();
  answer(decideRequest(
      std::string_view(request.method_string().data(),
                       request.method_string().size()),
      target, listener_->options().maxSize,
      [&served](const std::string& name) -> const Artwork* {
        const auto theme = served.themes.find(name);
        return theme == served.themes.end() ? nullptr
                                            : theme->second.artwork.get();
      },
      [&served](const std::string& name) {
        return served.pieceSets.count(name) > 0;
      }));
}

void Session::refuseAndClose(unsigned status, const std::string& message) {
  keepAlive_ = false;
  send(textResponse(status, message));
}

void Session::answer(const Decision& decision) {
  if (decision.action == Action::refuse) {
    if (decision.status == 414 || decision.status == 431) {
      keepAlive_ = false;
    }
    send(textResponse(decision.status, decision.message));
    return;
  }
  if (decision.action == Action::health) {
    send(textResponse(200, "ok"));
    return;
  }
  if (decision.action == Action::page) {
    Response response = textResponse(200, "");
    response.body().assign(tryItPage().begin(), tryItPage().end());
    response.set(http::field::content_type, "text/html; charset=utf-8");
    response.prepare_payload();
    send(std::move(response));
    return;
  }
  if (decision.action == Action::metrics) {
    Response response = textResponse(200, "");
    const std::string text = listener_->metrics().text();
    response.body().assign(text.begin(), text.end());
    response.set(http::field::content_type,
                 "text/plain; version=0.0.4; charset=utf-8");
    response.prepare_payload();
    send(std::move(response));
    return;
  }
  const Served& served = listener_->served();
  const Theme& theme = served.themes.at(decision.diagram.theme);
  const Sprites* pieces = &theme.artwork->sprites;
  uint64_t identity = theme.identity;
  if (!decision.diagram.piece.empty()) {
    const PieceSet& set = served.pieceSets.at(decision.diagram.piece);
    pieces = set.sprites.get();
    identity = hashBytes(identity, &set.identity, sizeof set.identity);
  }
  const std::string tag = entityTag(decision.diagram, identity);
  const auto& request = parsed_.request;
  const auto [first, last] = request.equal_range(http::field::if_none_match);
  for (auto field = first; field != last; ++field) {
    if (ifNoneMatchHits(
            std::string_view(field->value().data(), field->value().size()),
            tag)) {
      Response response(http::status::not_modified, 11);
      response.set(http::field::etag, tag);
      response.set(http::field::cache_control, "public, max-age=86400");
      send(std::move(response));
      return;
    }
  }
  if (!listener_->takeRender()) {
    send(busyResponse("busy: too many diagrams waiting; try again"));
    return;
  }
  render(*theme.artwork, *pieces, decision, tag);
}

void Session::render(const Artwork& artwork, const Sprites& pieces,
                     const Decision& decision, const std::string& tag) {
  // Set when the client leaves before the render starts, which is then
  // skipped.
  auto gone = std::make_shared<std::atomic<bool>>(false);
  watchForClose(gone);
  // Rendering runs on a worker; the answer is written from the I/O thread.
  // The work guard keeps the I/O loop running until the answer is back.
  net::post(
      listener_->workers(),
      [self = shared_from_this(), listener = listener_,
       io = stream_.get_executor(), &artwork, &pieces, decision, tag, gone,
       work = net::make_work_guard(listener_->io())]() mutable {
        std::optional<Response> response;
        if (listener->tooLateToRender()) {
          response = busyResponse("stopping: not rendered; try again");
        } else if (!gone->load()) {
          const Clock::time_point began = Clock::now();
          response = renderResponse(artwork, pieces, decision, tag);
          listener->metrics().countRender(
              std::chrono::duration<double>(Clock::now() - began).count());
        }
        net::post(io, [self = std::move(self), work = std::move(work),
                       response = std::move(response)]() mutable {
          self->rendered(std::move(response));
        });
      });
}

void Session::watchForClose(const std::shared_ptr<std::atomic<bool>>& gone) {
  // A peek that waits for the next byte: the next pipelined request, or the
  // end of the connection or a reset, which may have come already.
  stream_.socket().async_receive(
      net::buffer(&peeked_, 1), tcp::socket::message_peek,
      [self = shared_from_this(), gone](beast::error_code error,
                                        std::size_t got) {
        if (error != net::error::operation_aborted && (error || got == 0)) {
          gone->store(true);
        }
      });
}

void Session::rendered(std::optional<Response> response) {
  listener_->renderDone();
  if (!response) {
    listener_->metrics().inFlight--;
    logRequest("not rendered: the client had closed the connection");
    busy_ = false;
    close();
    return;
  }
  if (response->result() == http::status::service_unavailable) {
    keepAlive_ = false;
  }
  send(std::move(*response));
}

void Session::send(Response response) {
  response.version(version_ == 10 ? 10 : 11);
  response.set(http::field::date, httpDate());
  // Pages on other sites may fetch diagrams.
  response.set(http::field::access_control_allow_origin, "*");
  response.keep_alive(keepAlive_ && !listener_->stopping());
  if (head_ && !response.body().empty()) {
    // What GET would send, without the body.
    const std::size_t length = response.body().size();
    response.body().clear();
    response.content_length(length);
  }
  response_ = std::make_shared<Response>(std::move(response));
  stream_.expires_after(kWriteTimeout);
  http::async_write(
      stream_, *response_,
      [self = shared_from_this()](beast::error_code error, std::size_t) {
        self->onWrite(error);
      });
}

void Session::logRequest(const std::string& outcome) {
  const auto tenths = std::chrono::duration_cast<
                          std::chrono::duration<int64_t, std::ratio<1, 10000>>>(
                          Clock::now() - started_)
                          .count();
  listener_->logLine(method_ + " " + target_ + " " + outcome + " " +
                     std::to_string(tenths / 10) + "." +
                     std::to_string(tenths % 10) + " ms");
}

void Session::onWrite(beast::error_code error) {
  Metrics& metrics = listener_->metrics();
  metrics.inFlight--;
  if (!error) {
    metrics.countResponse(response_->result_int(), response_->body().size());
  }
  logRequest(
      std::to_string(response_->result_int()) + " " +
      std::to_string(error ? 0 : response_->body().size()) + " bytes" +
      (error ? " (not delivered: " + error.message() + ")" : std::string()));
  const bool again =
      !error && response_->keep_alive() && !listener_->stopping();
  response_.reset();
  if (again) {
    readRequest();
  } else {
    busy_ = false;
    close();
  }
}

// NOLINTEND(misc-no-recursion)

std::string Listener::bind() {
  const std::string where = options_.host + ":" + std::to_string(options_.port);
  beast::error_code error;
  tcp::resolver resolver(io_);
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
    throw Failure(ExitStatus::failed,
                  "cannot listen on " + where + ": " + error.message());
  }
  const tcp::endpoint local = acceptor_.local_endpoint();
  const std::string address = local.address().to_string();
  return (local.address().is_v6() ? "[" + address + "]" : address) + ":" +
         std::to_string(local.port());
}

void Listener::start() {
  signals_.async_wait(
      [self = shared_from_this()](beast::error_code error, int signal) {
        if (!error) {
          self->logLine(std::string("stopping on ") +
                        (signal == SIGINT ? "SIGINT" : "SIGTERM"));
          self->stop();
        }
      });
  accept();
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
      [self = shared_from_this()](beast::error_code error, tcp::socket socket) {
        self->accepting_ = false;
        if (self->stopping_) {
          return;
        }
        if (error) {
          // Out of descriptors, say: try again shortly rather than spin.
          self->logLine("cannot accept a connection: " + error.message());
          self->retry_.expires_after(std::chrono::milliseconds(100));
          self->retry_.async_wait([self](beast::error_code waited) {
            if (!waited) {
              self->accept();
            }
          });
          return;
        }
        beast::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        std::make_shared<Session>(std::move(socket), self)->start();
        self->accept();
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

void Listener::stop() {
  stopping_ = true;
  // Renders running, and those that start within a second, finish; the
  // queued ones left then are answered 503.
  lastRenderStart_.store(
      (Clock::now() + kLastRenderAfterStop).time_since_epoch().count());
  beast::error_code ignored;
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
  deadline_.async_wait([self = shared_from_this()](beast::error_code error) {
    if (!error) {
      self->logLine("closing " + std::to_string(self->sessions_.size()) +
                    " connections that did not finish in time");
      const std::set<Session*> late = self->sessions_;
      for (Session* session : late) {
        session->close();
      }
    }
  });
}

}  // namespace

void serve(const ServerOptions& options, const Served& served,
           const std::string& startup, std::ostream& log) {
  if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
    throw Failure(ExitStatus::failed, "cannot ignore SIGPIPE");
  }
  net::io_context io(1);
  net::thread_pool workers(options.threads);
  {
    AccessLog access(log, kLogCapacity);
    {
      const auto listener =
          std::make_shared<Listener>(io, workers, options, served, access);
      const std::string address = listener->bind();
      log << startup << kServerPrefix << "listening on " << address << "\n"
          << std::flush;
      listener->start();
    }
    // A handler that throws (memory running out, say) loses its
    // connection, not the server.
    for (;;) {
      try {
        io.run();
        break;
      } catch (const std::exception& error) {
        access.write(std::string(kServerPrefix) +
                     "dropped a connection: " + error.what());
      }
    }
    workers.join();
    access.write(std::string(kServerPrefix) + "stopped");
  }
}

}  // namespace tib
