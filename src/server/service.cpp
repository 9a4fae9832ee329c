#include "server/service.h"

#include <array>
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
#include <new>
#include <optional>
#include <set>
#include <string>

#include "server/request.h"
#include "server/text.h"
#include "tib/failure.h"
#include "tib/render.h"

namespace tib {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

// How long a connection may take to send a whole request head, and how long
// an idle kept-alive connection stays open.
constexpr auto kReadTimeout = std::chrono::seconds(10);
// How long writing one response may take.
constexpr auto kWriteTimeout = std::chrono::seconds(30);
// After SIGTERM, how long the requests in flight get before their
// connections are closed.
constexpr auto kShutdownGrace = std::chrono::milliseconds(4000);

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

// Runs on a render worker. Whatever escapes the render is a 500 for this
// request, never an exception on the worker thread.
Response renderResponse(const Theme& theme, const Decision& decision,
                        const std::string& tag) {
  try {
    std::vector<unsigned char> png = renderPng(
        theme.artwork, decision.diagram.fen, decision.diagram.settings);
    Response response(http::status::ok, 11);
    response.set(http::field::content_type, "image/png");
    response.set(http::field::etag, tag);
    response.set(http::field::cache_control, "public, max-age=86400");
    response.content_length(png.size());
    if (!decision.head) {
      response.body() = std::move(png);
    }
    return response;
  } catch (const Failure& failure) {
    return textResponse(500, failure.what());
  } catch (const std::exception& error) {
    return textResponse(500, std::string("cannot render: ") + error.what());
  }
}

class Session;

// Accepts connections, keeps count of them, and stops on a signal.
class Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(net::io_context& io, net::thread_pool& workers,
           const ServerOptions& options, const Themes& themes,
           std::ostream& log)
      : io_(io),
        workers_(workers),
        options_(options),
        themes_(themes),
        log_(log),
        acceptor_(io),
        retry_(io),
        deadline_(io),
        signals_(io, SIGTERM, SIGINT) {}

  void bind();
  void start();

  void added(Session* session) { sessions_.insert(session); }
  void removed(Session* session);

  bool stopping() const { return stopping_; }
  net::io_context& io() { return io_; }
  net::thread_pool& workers() { return workers_; }
  const ServerOptions& options() const { return options_; }
  const Themes& themes() const { return themes_; }
  void logLine(const std::string& line) {
    log_ << kServerPrefix + line + "\n" << std::flush;
  }

 private:
  void accept();
  void stop();

  net::io_context& io_;
  net::thread_pool& workers_;
  const ServerOptions& options_;
  const Themes& themes_;
  std::ostream& log_;
  tcp::acceptor acceptor_;
  net::steady_timer retry_;
  net::steady_timer deadline_;
  net::signal_set signals_;
  std::set<Session*> sessions_;
  bool accepting_ = false;
  bool stopping_ = false;
};

// One connection: reads a request head, answers it, and reads the next one
// while the connection is kept alive. Only the I/O thread touches a session:
// a render worker gets copies of what it needs and posts its answer back to
// the I/O thread, which alone sends it.
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

  // On shutdown: a connection waiting for a request closes now, one that is
  // answering closes after its response.
  void stop() {
    if (!busy_) {
      close();
    }
  }
  void close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
  }

 private:
  void readRequest();
  void onRead(beast::error_code error);
  void answer(const Decision& decision);
  void send(Response response);
  void onWrite(beast::error_code error);

  beast::tcp_stream stream_;
  std::shared_ptr<Listener> listener_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> parser_;
  std::shared_ptr<Response> response_;
  bool busy_ = false;
  bool keepAlive_ = false;
  unsigned version_ = 11;
  std::string method_;
  std::string target_;
  Clock::time_point started_;
};

// Each step starts the next asynchronously; the call chain only looks
// recursive.
// NOLINTBEGIN(misc-no-recursion)
void Session::readRequest() {
  busy_ = false;
  method_ = "-";
  target_ = "-";
  parser_.emplace();
  parser_->header_limit(static_cast<std::uint32_t>(kHeadLimit));
  stream_.expires_after(kReadTimeout);
  http::async_read_header(
      stream_, buffer_, *parser_,
      [self = shared_from_this()](beast::error_code error, std::size_t) {
        self->onRead(error);
      });
}

void Session::onRead(beast::error_code error) {
  busy_ = true;
  started_ = Clock::now();
  keepAlive_ = false;
  if (error == http::error::header_limit) {
    const auto& request = parser_->get();
    const auto received = buffer_.data();
    const Decision refusal = refuseOversize(
        std::string_view(request.method_string().data(),
                         request.method_string().size()),
        std::string_view(request.target().data(), request.target().size()),
        std::string_view(static_cast<const char*>(received.data()),
                         received.size()));
    send(textResponse(refusal.status, refusal.message));
    return;
  }
  if (error) {
    // A malformed request gets an answer; a connection that closed, timed
    // out or was closed by a shutdown does not.
    if (error.category() ==
            http::make_error_code(http::error::bad_method).category() &&
        error != http::error::end_of_stream &&
        error != http::error::partial_message) {
      send(textResponse(400, "bad request: " + error.message()));
    } else {
      close();
    }
    return;
  }
  const auto& request = parser_->get();
  method_ = printableText(std::string_view(request.method_string().data(),
                                           request.method_string().size()));
  target_ = std::string(request.target().data(), request.target().size());
  version_ = request.version();
  // A body is not read: answer and close instead.
  keepAlive_ = request.keep_alive() && parser_->is_done();
  const Themes& themes = listener_->themes();
  const Decision decision = decideRequest(
      std::string_view(request.method_string().data(),
                       request.method_string().size()),
      target_, listener_->options().maxSize,
      [&themes](const std::string& name) { return themes.count(name) > 0; });
  target_ = printableText(target_);
  answer(decision);
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
  const Theme& theme = listener_->themes().at(decision.diagram.theme);
  const std::string tag = entityTag(decision.diagram, theme.identity);
  const auto& request = parser_->get();
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
  // Rendering runs on a worker; the answer is written from the I/O thread.
  // The work guard keeps the I/O loop running until the answer is back.
  net::post(
      listener_->workers(),
      [self = shared_from_this(), io = stream_.get_executor(), &theme, decision,
       tag, work = net::make_work_guard(listener_->io())]() mutable {
        Response response = renderResponse(theme, decision, tag);
        net::post(io, [self = std::move(self), work = std::move(work),
                       response = std::move(response)]() mutable {
          self->send(std::move(response));
        });
      });
}

void Session::send(Response response) {
  response.version(version_ == 10 ? 10 : 11);
  response.set(http::field::date, httpDate());
  response.keep_alive(keepAlive_ && !listener_->stopping());
  response_ = std::make_shared<Response>(std::move(response));
  stream_.expires_after(kWriteTimeout);
  http::async_write(
      stream_, *response_,
      [self = shared_from_this()](beast::error_code error, std::size_t) {
        self->onWrite(error);
      });
}

void Session::onWrite(beast::error_code error) {
  const auto tenths = std::chrono::duration_cast<
                          std::chrono::duration<int64_t, std::ratio<1, 10000>>>(
                          Clock::now() - started_)
                          .count();
  const std::string timing =
      std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " ms";
  listener_->logLine(
      method_ + " " + target_ + " " + std::to_string(response_->result_int()) +
      " " + std::to_string(error ? 0 : response_->body().size()) + " bytes " +
      timing +
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

void Listener::bind() {
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
  logLine("listening on " +
          (local.address().is_v6() ? "[" + address + "]" : address) + ":" +
          std::to_string(local.port()));
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

void Listener::accept() {
  if (accepting_ || stopping_ || sessions_.size() >= kMaxConnections) {
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

void serve(const ServerOptions& options, const Themes& themes,
           std::ostream& log) {
  if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
    throw Failure(ExitStatus::failed, "cannot ignore SIGPIPE");
  }
  net::io_context io(1);
  net::thread_pool workers(options.threads);
  {
    const auto listener =
        std::make_shared<Listener>(io, workers, options, themes, log);
    listener->bind();
    listener->start();
  }
  // A handler that throws (memory running out, say) loses its connection,
  // not the server.
  for (;;) {
    try {
      io.run();
      break;
    } catch (const std::exception& error) {
      log << kServerPrefix << "dropped a connection: " << error.what()
          << std::endl;
    }
  }
  workers.join();
  log << kServerPrefix << "stopped\n" << std::flush;
}

}  // namespace tib
