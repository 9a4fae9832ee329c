// A connection: its reads, the hand-over of each decided request, its
// writes, a GIF's stream, the lingering close after a refusal and the
// half-close rule.
#include "server/session.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <boost/asio/buffer.hpp>
#include <boost/beast/http/write.hpp>
#include <cerrno>
#include <sstream>
#include <utility>
#include <variant>

#include "server/listener.h"
#include "server/text.h"

namespace tib {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

// A GIF's bytes written at most at a time: each chunk must go within the
// write timeout, so a client must take this much in that time.
constexpr std::size_t kChunkBytes = std::size_t{64} << 10;
// A stream's next task is asked for once it holds no more than a chunk
// unsent, so that one task draws while a chunk is written; the task makes
// steps until the stream holds this much, or kTaskSteps steps: a
// diagram behind it waits for a few frames' drawing at most.
constexpr std::size_t kPullAtMost = kChunkBytes;
constexpr std::size_t kTaskBytes = 2 * kChunkBytes;
constexpr unsigned kTaskSteps = 2;
// A stream that has waited this long for its client lets its source rest.
constexpr auto kRestAfter = std::chrono::milliseconds(10);
// What the kernel keeps unsent of a GIF: without a limit it takes up to
// 4 MiB more of a client that reads nothing. Bytes in flight are not
// limited by it.
constexpr int kKernelUnsentBytes = 128 << 10;
// The slowest a request body may arrive, past the read timeout: a body of
// 256 KiB gets 32 s more.
constexpr std::size_t kBodyBytesPerSecond = std::size_t{8} << 10;
// Requests one kept-alive connection may make before it is closed.
constexpr unsigned kRequestsPerConnection = 1000;
// How much of a request target, and of a method, a log line shows.
constexpr std::size_t kLoggedTargetBytes = 200;
constexpr std::size_t kLoggedMethodBytes = 16;
// Bytes read from a connection at a time.
constexpr std::size_t kReadChunk = 4096;
// After a refusal that may leave bytes of the client unread, how long and
// how much of what still arrives is read and thrown away before closing.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::size_t kLingerBytes = std::size_t{1} << 20;

std::string logText(std::string_view text, std::size_t limit) {
  return text.size() <= limit ? printableText(text)
                              : printableText(text.substr(0, limit)) + "...";
}

}  // namespace

Session::Session(tcp::socket socket, Listener& listener, RenderQueue& renders,
                 const Served& served, std::string_view page,
                 const ServerOptions& options, Metrics& metrics, AccessLog& log)
    : stream_(std::move(socket)),
      listener_(listener),
      renders_(renders),
      served_(served),
      page_(page),
      options_(options),
      metrics_(metrics),
      log_(log),
      restTimer_(stream_.get_executor()) {
  listener_.added(this);
}

Session::~Session() {
  try {
    listener_.removed(this);
  } catch (const std::exception& error) {
    log_.write(std::string("cannot accept again: ") + error.what());
  }
}

void Session::stop() {
  // The wait for a request is cancelled, not closed: a read that has
  // already taken a request still hands it over, and it is answered.
  char byte = 0;
  if (!busy_ && received().empty() &&
      recv(stream_.socket().native_handle(), &byte, 1,
           MSG_PEEK | MSG_DONTWAIT) <= 0) {
    stream_.cancel();
  }
}

void Session::close() {
  if (source_) {
    cutStream(StreamCut::closed);
  }
  beast::error_code ignored;
  stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
  stream_.socket().close(ignored);
}

// Each step starts the next asynchronously; the call chain only looks
// recursive.
// NOLINTBEGIN(misc-no-recursion)
template <typename Step>
void Session::guarded(Step&& step) {
  try {
    step();
  } catch (const std::exception& error) {
    log_.write(std::string("dropped a connection: ") + error.what());
    close();
  }
}

void Session::awaitRequest() {
  busy_ = false;
  requestBegun_ = false;
  idleSince_ = Clock::now();
  stream_.expires_after(std::chrono::seconds(options_.readTimeoutSeconds));
  readHead();
}

void Session::readHead() {
  const std::string_view bytes = received();
  if (!requestBegun_ && !bytes.empty()) {
    // The head has the whole read timeout from its first byte, however
    // long the connection was idle before.
    requestBegun_ = true;
    stream_.expires_after(std::chrono::seconds(options_.readTimeoutSeconds));
  }
  const std::size_t length =
      headLength(bytes.substr(0, std::min(bytes.size(), kHeadLimit)));
  if (length > 0) {
    onHead(length);
    return;
  }
  if (bytes.size() >= kHeadLimit) {
    inFlight_.emplace(metrics_);
    busy_ = true;
    started_ = Clock::now();
    request_ = oversizeRequest(bytes, request_.version);
    answer();
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
        self->guarded([&self] { self->readHead(); });
      });
}

void Session::onHead(std::size_t length) {
  inFlight_.emplace(metrics_);
  busy_ = true;
  started_ = Clock::now();
  ++requests_;
  request_ =
      readRequest(received().substr(0, length), served_, options_.maxSize,
                  options_.maxFrames, options_.maxBody, options_.maxGifPixels);
  buffer_.consume(length);
  if (request_.bodyLength > 0) {
    stream_.expires_after(
        std::chrono::seconds(options_.readTimeoutSeconds +
                             request_.bodyLength / kBodyBytesPerSecond));
  }
  if (request_.bodyLength > 0 && request_.expectsContinue &&
      received().size() < request_.bodyLength) {
    // The body will be read: the client that waits for this sends it.
    static constexpr std::string_view kContinue =
        "HTTP/1.1 100 Continue\r\n\r\n";
    net::async_write(
        stream_, net::buffer(kContinue.data(), kContinue.size()),
        [self = shared_from_this()](beast::error_code error, std::size_t) {
          if (error) {
            self->close();
            return;
          }
          self->guarded([&self] { self->readBody(); });
        });
    return;
  }
  if (request_.bodyLength > 0) {
    readBody();
    return;
  }
  answer();
}

// The body of POST /game.gif, within its deadline: once it is all in, the
// request is decided with it.
void Session::readBody() {
  const std::size_t length = request_.bodyLength;
  if (received().size() >= length) {
    decideWith(request_, received().substr(0, length), served_,
               options_.maxSize, options_.maxFrames, options_.maxGifPixels);
    buffer_.consume(length);
    answer();
    return;
  }
  stream_.async_read_some(
      buffer_.prepare(std::max(kReadChunk, length - received().size())),
      [self = shared_from_this()](beast::error_code error, std::size_t got) {
        self->buffer_.commit(got);
        if (error || !self->stream_.socket().is_open()) {
          // Timed out or closed before the body was all in: nobody to
          // answer.
          self->close();
          return;
        }
        self->guarded([&self] { self->readBody(); });
      });
}

void Session::answer() {
  Decision& decision = request_.decision;
  if (const auto* refuse = std::get_if<Refuse>(&decision)) {
    send(refusalAnswer(*refuse));
  } else if (const auto* page = std::get_if<StaticAnswer>(&decision)) {
    send(staticAnswer(*page, page_, metrics_));
  } else if (const auto* notModified = std::get_if<NotModified>(&decision)) {
    send(notModifiedAnswer(*notModified));
  } else if (auto* game = std::get_if<RenderGif>(&decision);
             game != nullptr && game->motion) {
    renderMotion(std::move(*game));
  } else if (auto* gif = std::get_if<RenderGif>(&decision)) {
    renderGif(std::move(*gif));
  } else {
    render(std::move(std::get<Render>(decision)));
  }
}

void Session::render(Render render) {
  queue([render = std::move(render)] { return renderAnswer(render); },
        std::make_shared<std::atomic<bool>>(false));
}

void Session::renderMotion(RenderGif game) {
  // Drawn whole in one render, like a diagram, within the render time; a
  // HEAD draws it too, for its length.
  const auto budget = std::chrono::seconds(options_.maxRenderSeconds);
  auto gone = std::make_shared<std::atomic<bool>>(false);
  queue(
      [game = std::move(game), budget, gone] {
        return motionAnswer(game, Clock::now() + budget,
                            [&gone] { return !gone->load(); });
      },
      gone);
}

void Session::renderGif(RenderGif gif) {
  if (request_.head) {
    // The head GET would get, without the render.
    send(gifHeadAnswer(gif.tag));
    return;
  }
  if (!listener_.openStream()) {
    send(busyAnswer("busy: too many GIFs streaming; try again"));
    return;
  }
  const int lowWater = kKernelUnsentBytes;
  setsockopt(stream_.socket().native_handle(), IPPROTO_TCP, TCP_NOTSENT_LOWAT,
             &lowWater, sizeof lowWater);
  streamHead_ = gifHeadAnswer(gif.tag);
  streamFrames_ = gif.game.frames.size();
  source_ = gifSource(std::move(gif));
  sourceGone_ = std::make_shared<std::atomic<bool>>(false);
  sourceEnded_ = false;
  cut_.reset();
  drawing_ = {};
  streamedBytes_ = 0;
  streamEnd_ = started_ + std::chrono::seconds(options_.maxStreamSeconds);
  if (received().empty()) {
    watchForClose(sourceGone_);
  }
  pull();
  if (!pulling_) {
    endStream();
  }
}

void Session::queue(RenderQueue::Job job,
                    const std::shared_ptr<std::atomic<bool>>& gone) {
  const bool queued =
      renders_.submit(std::move(job), gone,
                      [self = shared_from_this()](RenderQueue::Result& result) {
                        self->guarded([&] { self->rendered(result); });
                      });
  if (!queued) {
    send(busyAnswer("busy: too many diagrams waiting; try again"));
    return;
  }
  // With a pipelined request in the buffer, the client's input has not
  // ended, whatever follows it.
  if (received().empty()) {
    watchForClose(gone);
  }
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
          if (self->source_ && gone == self->sourceGone_) {
            self->guarded([&self] {
              self->cutStream(StreamCut::clientLeft);
              self->pump();
            });
          }
        }
      });
}

// The end of the client's input: it has closed its sending side, or the
// connection, and every byte it sent before has been read into requests.
bool Session::inputEnded() {
  if (!received().empty()) {
    return false;
  }
  char byte = 0;
  const ssize_t got =
      recv(stream_.socket().native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return got == 0 ||
         (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void Session::rendered(RenderQueue::Result& result) {
  // A client whose input ended while its diagram waited has left: nothing
  // is sent, whether the render was skipped or not.
  const auto* notRendered = std::get_if<RenderQueue::NotRendered>(&result);
  if (inputEnded() || (notRendered != nullptr &&
                       *notRendered == RenderQueue::NotRendered::clientLeft)) {
    inFlight_.reset();
    logRequest(notRendered == nullptr
                   ? "not sent: the client had closed the connection"
                   : "not rendered: the client had closed the connection");
    busy_ = false;
    close();
    return;
  }
  if (notRendered == nullptr) {
    send(std::move(std::get<Answer>(result)));
  } else if (*notRendered == RenderQueue::NotRendered::tooLate) {
    send(busyAnswer("stopping: not rendered; try again"));
  } else {
    send(busyAnswer("busy: the diagram was lost on its way; try again"));
  }
}

void Session::send(Answer answer) {
  // The one place that decides whether a connection stays open. A body
  // streamed to HTTP/1.0 ends with the connection.
  const bool closeDelimited =
      answer.streamed && !request_.head && request_.version < 11;
  keepOpen_ = !answer.closeAfter && !closeDelimited && request_.keepAlive &&
              requests_ < kRequestsPerConnection && !listener_.stopping();
  lingerAfter_ = answer.closeAfter;
  finishForSending(answer.response, request_.version, request_.head, keepOpen_,
                   answer.streamed);
  response_ = std::make_shared<HttpResponse>(std::move(answer.response));
  stream_.expires_after(std::chrono::seconds(options_.writeTimeoutSeconds));
  if (answer.streamed) {
    // Beast would end a chunked body it writes: the head is written alone.
    std::ostringstream head;
    head << response_->base();
    headText_ = head.str();
    if (!request_.head) {
      writeChunk();
      return;
    }
    net::async_write(
        stream_, net::buffer(headText_),
        [self = shared_from_this()](beast::error_code error, std::size_t) {
          self->guarded([&] { self->onWrite(error); });
        });
    return;
  }
  http::async_write(
      stream_, *response_,
      [self = shared_from_this()](beast::error_code error, std::size_t) {
        self->guarded([&] { self->onWrite(error); });
      });
}

void Session::logRequest(const std::string& outcome) {
  const auto tenths = std::chrono::duration_cast<
                          std::chrono::duration<int64_t, std::ratio<1, 10000>>>(
                          Clock::now() - started_)
                          .count();
  log_.write(logText(request_.method, kLoggedMethodBytes) + " " +
             logText(request_.target, kLoggedTargetBytes) + " " + outcome +
             " " + std::to_string(tenths / 10) + "." +
             std::to_string(tenths % 10) + " ms");
}

void Session::onWrite(beast::error_code error) {
  inFlight_.reset();
  if (!error) {
    metrics_.countResponse(response_->result_int(), response_->body().size());
  }
  logRequest(
      std::to_string(response_->result_int()) + " " +
      std::to_string(error ? 0 : response_->body().size()) + " bytes" +
      (error ? " (not delivered: " + error.message() + ")" : std::string()));
  response_.reset();
  if (!error && keepOpen_ && !listener_.stopping()) {
    awaitRequest();
  } else if (!error && lingerAfter_) {
    linger();
  } else {
    busy_ = false;
    close();
  }
}

void Session::pull() {
  if (pulling_ || sourceEnded_ || cut_ || unsentBytes() > kPullAtMost) {
    return;
  }
  restTimer_.cancel();
  const std::size_t enough = kTaskBytes - unsentBytes();
  auto made = std::make_shared<Pulled>();
  pulling_ = renders_.submit(
      [source = source_, made, enough]() -> Answer {
        const Clock::time_point began = Clock::now();
        try {
          for (unsigned steps = 0;
               steps < kTaskSteps && made->bytes.size() < enough; ++steps) {
            if (!source->step(made->bytes)) {
              made->ended = true;
              break;
            }
          }
        } catch (const std::exception& error) {
          return renderFailure(error);
        }
        made->drawing = Clock::now() - began;
        Answer steps;
        steps.streamed = true;
        return steps;
      },
      sourceGone_,
      [self = shared_from_this(), source = source_,
       made](RenderQueue::Result& result) {
        self->guarded([&] { self->pulled(source, *made, result); });
      },
      RenderQueue::Lane::stream);
  if (!pulling_) {
    // Each stream has a place of its own: only a lost place gets here.
    cutStream(StreamCut::failed);
  }
}

void Session::pulled(const std::shared_ptr<FrameSource>& source,
                     const Pulled& made, RenderQueue::Result& result) {
  if (source != source_) {
    // The stream ended while its task ran.
    return;
  }
  pulling_ = false;
  const auto* steps = std::get_if<Answer>(&result);
  const bool drawn = steps != nullptr && steps->streamed;
  if (!drawn && streamHead_ && made_.empty()) {
    // Nothing sent yet: answered as a render that gave no picture.
    releaseStream();
    rendered(result);
    return;
  }
  if (!drawn) {
    const auto* notRendered = std::get_if<RenderQueue::NotRendered>(&result);
    cutStream(notRendered == nullptr ? StreamCut::failed
              : *notRendered == RenderQueue::NotRendered::clientLeft
                  ? StreamCut::clientLeft
                  : StreamCut::closed);
  }
  made_.insert(made_.end(), made.bytes.begin(), made.bytes.end());
  countUnsent();
  sourceEnded_ = made.ended;
  drawing_ += made.drawing;
  if (!sourceEnded_ &&
      drawing_ > std::chrono::seconds(options_.maxRenderSeconds)) {
    cutStream(StreamCut::renderTime);
  }
  pump();
  if (source_ && !pulling_) {
    restTimer_.expires_after(kRestAfter);
    restTimer_.async_wait(
        [self = shared_from_this(), source](beast::error_code error) {
          if (!error && source == self->source_ && !self->pulling_) {
            source->rest();
          }
        });
  }
}

void Session::pump() {
  if (!source_ || writing_) {
    return;
  }
  if (!cut_ && Clock::now() >= streamEnd_) {
    cutStream(StreamCut::streamTime);
  }
  // Once cut, nothing more is written, and the connection closes.
  if (cut_ || !stream_.socket().is_open()) {
    endStream();
    return;
  }
  if (!made_.empty()) {
    const auto size =
        static_cast<std::ptrdiff_t>(std::min(kChunkBytes, made_.size()));
    chunk_.assign(made_.begin(), made_.begin() + size);
    made_.erase(made_.begin(), made_.begin() + size);
    // The next steps are drawn while this chunk goes.
    pull();
    if (streamHead_) {
      Answer head = std::move(*streamHead_);
      streamHead_.reset();
      send(std::move(head));
    } else {
      writeChunk();
    }
    return;
  }
  if (sourceEnded_ && !streamHead_ && request_.version >= 11) {
    // The last chunk: only a body made whole gets it.
    writeChunk();
    return;
  }
  if (sourceEnded_) {
    endStream();
    return;
  }
  pull();
  if (!pulling_) {
    endStream();
  }
}

void Session::writeChunk() {
  const bool chunked = request_.version >= 11;
  std::ostringstream line;
  line << std::hex << chunk_.size() << "\r\n";
  chunkLine_ = chunked ? line.str() : std::string();
  static constexpr std::string_view kLineEnd = "\r\n";
  const std::array<net::const_buffer, 4> buffers{
      net::buffer(headText_), net::buffer(chunkLine_), net::buffer(chunk_),
      net::buffer(kLineEnd.data(), chunked ? kLineEnd.size() : 0)};
  writing_ = true;
  // The write timeout, or what is left of the stream's wall time.
  stream_.expires_after(std::min<Clock::duration>(
      std::chrono::seconds(options_.writeTimeoutSeconds),
      streamEnd_ - Clock::now()));
  net::async_write(
      stream_, buffers,
      [self = shared_from_this()](beast::error_code error, std::size_t) {
        self->writing_ = false;
        self->guarded([&] { self->onChunkWritten(error); });
      });
}

void Session::onChunkWritten(beast::error_code error) {
  if (error) {
    const bool late = Clock::now() >= streamEnd_;
    cutStream(error != beast::error::timeout ? StreamCut::clientLeft
              : late                         ? StreamCut::streamTime
                                             : StreamCut::writeTimeout);
    close();
    endStream();
    return;
  }
  headText_.clear();
  const bool last = chunk_.empty();
  streamedBytes_ += chunk_.size();
  chunk_.clear();
  countUnsent();
  if (last) {
    endStream();
    return;
  }
  pump();
}

void Session::cutStream(StreamCut reason) {
  if (!cut_) {
    cut_ = reason;
  }
  // A task waiting in the queue is skipped.
  sourceGone_->store(true);
}

void Session::countUnsent() {
  const std::size_t unsent = unsentBytes();
  metrics_.streamBytes +=
      static_cast<int64_t>(unsent) - static_cast<int64_t>(countedUnsent_);
  countedUnsent_ = unsent;
}

void Session::releaseStream() {
  if (!source_) {
    return;
  }
  sourceGone_->store(true);
  source_.reset();
  sourceGone_.reset();
  streamHead_.reset();
  pulling_ = false;
  std::vector<unsigned char>().swap(made_);
  std::vector<unsigned char>().swap(chunk_);
  countUnsent();
  restTimer_.cancel();
  listener_.closeStream();
}

void Session::endStream() {
  const std::optional<StreamCut> cut = cut_;
  const bool headSent = !streamHead_;
  releaseStream();
  inFlight_.reset();
  response_.reset();
  if (!headSent) {
    logRequest("not sent: " + std::string(cut ? cutName(*cut) : "no bytes"));
    busy_ = false;
    close();
    return;
  }
  metrics_.countResponse(200, streamedBytes_);
  if (cut) {
    metrics_.gifsCut[static_cast<std::size_t>(*cut)]++;
  } else {
    metrics_.gifs++;
    metrics_.gifFrames += streamFrames_;
  }
  logRequest(
      "200 " + std::to_string(streamedBytes_) + " bytes streamed" +
      (cut ? " (cut: " + std::string(cutName(*cut)) + ")" : std::string()));
  if (!cut && keepOpen_ && !listener_.stopping()) {
    awaitRequest();
  } else {
    busy_ = false;
    close();
  }
}

// Closing a connection with bytes of the client unread sends a reset, which
// may reach the client before it has read the refusal. So the sending side
// is shut first, and what still arrives is read and thrown away, for a
// bounded time and size, until the client closes too. The connection stays
// busy meanwhile: nothing makes room by closing it, and a stop waits.
void Session::linger() {
  beast::error_code ignored;
  stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  buffer_.consume(buffer_.size());
  drained_ = 0;
  stream_.expires_after(kLingerTime);
  drain();
}

void Session::drain() {
  stream_.async_read_some(
      buffer_.prepare(kReadChunk),
      [self = shared_from_this()](beast::error_code error, std::size_t got) {
        self->drained_ += got;
        if (error || self->drained_ >= kLingerBytes) {
          self->close();
          return;
        }
        self->drain();
      });
}

// NOLINTEND(misc-no-recursion)

}  // namespace tib
