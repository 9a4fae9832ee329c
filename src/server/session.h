// One connection of tib-server: reads a request head, has it decided,
// writes the answer or hands the diagram to the render queue, and reads the
// next request while the connection is kept alive. Requests of one
// connection are answered one after the other; pipelined ones wait in the
// buffer. Only the I/O thread touches a session: a render worker gets what
// the render needs, and the queue brings the answer back. A GIF is
// streamed: its worker puts the bytes into a GifStream (gif_stream.h says
// how), and the session writes them as chunks as they come.
#pragma once

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
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
  // Hands a job to the render queue, with the flag set when the client
  // leaves; 503 when the queue is full.
  using Job = std::function<Answer(const RenderQueue::Nudge&,
                                   const std::shared_ptr<std::atomic<bool>>&)>;
  void queue(Job job, RenderQueue::Progress progress = {});
  void watchForClose(const std::shared_ptr<std::atomic<bool>>& gone);
  bool inputEnded();
  void rendered(RenderQueue::Result& result);
  void send(Answer answer);
  void onWrite(boost::beast::error_code error);
  // The streamed GIF: writes what its render has put, the head with the
  // first bytes; ends it once the render has ended.
  void pump();
  // Writes the head when not yet written, and chunk_ (empty: the last
  // chunk).
  void writeChunk();
  void onChunkWritten(boost::beast::error_code error);
  void endStream();
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
  // The GIF being streamed; its head, until written with the first bytes;
  // and the head's text, the chunk's size line and its bytes as they are
  // written.
  std::shared_ptr<GifStream> gif_;
  std::optional<Answer> gifHead_;
  std::string headText_;
  std::string chunkLine_;
  std::vector<unsigned char> chunk_;
  bool writing_ = false;
  bool renderEnded_ = false;
  std::size_t streamedBytes_ = 0;
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
