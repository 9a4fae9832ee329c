// Building tib-server's answers from its decisions: the status, the fields
// and the body of each, and what every answer carries when it is written.
// Functions of their arguments (and the clock, for Date), so that a worker
// can build a diagram's answer while the I/O thread builds others.
#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/vector_body.hpp>
#include <exception>
#include <string>
#include <string_view>

#include "server/metrics.h"
#include "server/request.h"

namespace tib {

using HttpResponse = boost::beast::http::response<
    boost::beast::http::vector_body<unsigned char>>;

// The response's fields may allocate when moved, which clang-tidy takes for
// an escaping exception of the move assignment.
struct Answer {  // NOLINT(bugprone-exception-escape)
  HttpResponse response;
  // The connection closes after this answer, lingering (bytes that are no
  // request may follow it).
  bool closeAfter = false;
  // The body follows the head as it is made (a GIF's stream): chunked on
  // HTTP/1.1, up to the connection's end on HTTP/1.0.
  bool streamed = false;
};

// The status and the one line of the refusal; a 405's Allow names the
// methods of its path.
Answer refusalAnswer(const Refuse& refuse);

// The page (tryIt, built once at start), "ok", the counters as they are
// now, or a CORS preflight's 204.
Answer staticAnswer(const StaticAnswer& page, std::string_view tryIt,
                    const Metrics& metrics);

// 304 with the tag.
Answer notModifiedAnswer(const NotModified& notModified);

// The diagram as a PNG with its tag. Runs on a render worker: whatever
// escapes the render is a 500 with its one line.
Answer renderAnswer(const Render& render);

// The head of a game's GIF: its type and tag, the body streamed. HEAD
// gets it without a render.
Answer gifHeadAnswer(const std::string& tag);

// The 500 of a render that threw: an Error's line, or "cannot render: "
// and what went wrong.
Answer renderFailure(const std::exception& error);

// Renders the game as a WebP, MP4 or WebM whole, on a render worker, and
// answers it with its length; until deadline (a 503 past it), keepGoing
// asked between frames. A failure is a 500 with its one line.
Answer motionAnswer(const RenderGif& render,
                    std::chrono::steady_clock::time_point deadline,
                    const std::function<bool()>& keepGoing);

// 503 with the line and a second to wait before retrying.
Answer busyAnswer(const std::string& line);

// What every answer carries as it is written: the version of the request,
// Date, the field that lets pages on other sites fetch it (on every answer,
// so on those of /game.gif and /board.png too), whether the
// connection stays open, and for HEAD the length of the body that GET would
// send instead of the body. A streamed answer's head says how its body
// ends: chunked on HTTP/1.1, with the connection on HTTP/1.0.
void finishForSending(HttpResponse& response, unsigned version, bool head,
                      bool keepOpen, bool streamed = false);

}  // namespace tib
