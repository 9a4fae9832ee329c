// One connection of tib-server: reads a request head, has it decided,
// writes the answer or hands the diagram to the render queue, and reads the
// next request while the connection is kept alive. Requests of one
// connection are answered one after the other; pipelined ones wait in the
// buffer. Only the I/O thread touches a session: a render worker gets what
// the render needs, and the queue brings the answer back. A GIF is
// streamed: the session pulls its bytes from a FrameSource in short tasks
// on the render queue (gif_stream.h says how) and writes them as chunks.
#pragma once

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/access_log.h"
#include "server/answers.h"
#include "server/gif_stream.h"
#include "server/head.h"
#include "server/metrics.h"
#include "server/options.h"
#include "server/render_queue.h"
#include "server/themes.h"

namespace tib {

class Listener;

class Session : public std::enable_shared_from_this<Session> {
 public:
  using Clock = std::chrono::steady_clock;

  // Registers with listener, which it tells when it ends.
  Session(boost::asio::ip::tcp::socket socket, Listener& listener,
          RenderQueue& renders, const Served& served, std::string_view page,
          const ServerOptions& options, Metrics& metrics, AccessLog& log);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void start() { awaitRequest(); }

  // Since when the connection has waited for a request; none while it
  // answers one.
  [[nodiscard]] std::optional<Clock::time_point> idleSince() const {
    return busy_ ? std::nullopt : std::optional(idleSince_);
  }

  // On shutdown: a connection waiting for a request closes now, one that is
  // answering closes after its response, and so does one whose next request
  // has begun to arrive.
  void stop();
  void close();

 private:
  std::string_view received() const {
    const auto bytes = buffer_.data();
    return {static_cast<const char*>(bytes.data()), bytes.size()};
  }
  // Each step below runs in a completion handler of the I/O thread; one
  // that throws loses its connection, which is closed.
  template <typename Step>
  void guarded(Step&& step);
  void awaitRequest();
  void readHead();
  void onHead(std::size_t length);
  void answer();
  void render(Render render);
  void renderGif(RenderGif gif);
  void renderMotion(RenderGif game);
  void readBody();
  // Hands a render to the render queue, with gone, the flag set when the
  // client leaves (a render not started then is skipped); 503 when the
  // queue is full.
  void queue(RenderQueue::Job job,
             const std::shared_ptr<std::atomic<bool>>& gone);
  void watchForClose(const std::shared_ptr<std::atomic<bool>>& gone);
  bool inputEnded();
  void rendered(RenderQueue::Result& result);
  void send(Answer answer);
  void onWrite(boost::beast::error_code error);
  // The stream's steps that a task makes, and what the task took.
  struct Pulled {
    std::vector<unsigned char> bytes;
    bool ended = false;
    Clock::duration drawing{};
  };
  // Asks the queue for the stream's next steps when it holds little
  // unsent and no task is out.
  void pull();
  void pulled(const std::shared_ptr<FrameSource>& source, const Pulled& made,
              RenderQueue::Result& result);
  // Writes what the stream holds, the head with the first bytes; ends it
  // once its source has ended or it is cut.
  void pump();
  // Writes the head when not yet written, and chunk_ (empty: the last
  // chunk).
  void writeChunk();
  void onChunkWritten(boost::beast::error_code error);
  void cutStream(StreamCut reason);
  void endStream();
  // Lets go of the stream: its source, its bytes, its place among the
  // streams.
  void releaseStream();
  void countUnsent();
  [[nodiscard]] std::size_t unsentBytes() const {
    return made_.size() + chunk_.size();
  }
  void linger();
  void drain();
  void logRequest(const std::string& outcome);

  boost::beast::tcp_stream stream_;
  Listener& listener_;
  RenderQueue& renders_;
  const Served& served_;
  // The page at /, made from served_ once for every session.
  std::string_view page_;
  const ServerOptions& options_;
  Metrics& metrics_;
  AccessLog& log_;
  boost::beast::flat_buffer buffer_;
  Request request_;
  std::optional<InFlight> inFlight_;
  std::shared_ptr<HttpResponse> response_;
  // The streamed answer: where its bytes come from, with the flag that
  // skips its queued task; its head, until written with the first bytes;
  // the bytes made and not yet written; the head's text, the chunk's size
  // line and its bytes as they are written.
  std::shared_ptr<FrameSource> source_;
  std::shared_ptr<std::atomic<bool>> sourceGone_;
  std::optional<Answer> streamHead_;
  std::vector<unsigned char> made_;
  std::string headText_;
  std::string chunkLine_;
  std::vector<unsigned char> chunk_;
  bool writing_ = false;
  bool pulling_ = false;
  bool sourceEnded_ = false;
  std::optional<StreamCut> cut_;
  std::size_t streamFrames_ = 0;
  std::size_t streamedBytes_ = 0;
  // The unsent bytes last added to the metrics.
  std::size_t countedUnsent_ = 0;
  // The time its tasks have drawn, and when its wall time runs out.
  Clock::duration drawing_{};
  Clock::time_point streamEnd_;
  // Lets the source rest once the stream has waited for its client a
  // while.
  boost::asio::steady_timer restTimer_;
  // Whether a request has begun to arrive since the connection went idle.
  bool requestBegun_ = false;
  bool busy_ = false;
  // Whether the answer being written keeps the connection open, and whether
  // the connection lingers after it.
  bool keepOpen_ = false;
  bool lingerAfter_ = false;
  unsigned requests_ = 0;
  // Where the peek for a closed connection puts its byte.
  char peeked_ = 0;
  // Bytes read and thrown away while lingering.
  std::size_t drained_ = 0;
  Clock::time_point started_;
  Clock::time_point idleSince_;
};

}  // namespace tib
