// Building tib-server's answers from its decisions: the status, the fields
// and the body of each, and what every answer carries when it is written.
// Functions of their arguments (and the clock, for Date), so that a worker
// can build a diagram's answer while the I/O thread builds others.
#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/vector_body.hpp>
#include <functional>
#include <string>
#include <string_view>

#include "server/metrics.h"
#include "server/request.h"

namespace tib {

using HttpResponse = boost::beast::http::response<
    boost::beast::http::vector_body<unsigned char>>;

struct Answer {
  HttpResponse response;
  // The connection closes after this answer, lingering (bytes that are no
  // request may follow it).
  bool closeAfter = false;
};

// The status and the one line of the refusal; a 405's Allow names the
// methods of its path.
Answer refusalAnswer(const Refuse& refuse);

// The page (tryIt, built once at start), "ok", the counters as they are
// now, or a CORS preflight's 204.
Answer staticAnswer(StaticPage page, std::string_view tryIt,
                    const Metrics& metrics);

// 304 with the tag.
Answer notModifiedAnswer(const NotModified& notModified);

// The diagram as a PNG with its tag. Runs on a render worker: whatever
// escapes the render is a 500 with its one line.
Answer renderAnswer(const Render& render);

// The game as an animated GIF with its tag, on a render worker; keepGoing
// is asked between frames, and when it says no the GIF is dropped.
Answer gifAnswer(const RenderGif& render,
                 const std::function<bool()>& keepGoing);

// 503 with the line and a second to wait before retrying.
Answer busyAnswer(const std::string& line);

// What every answer carries as it is written: the version of the request,
// Date, the field that lets pages on other sites fetch it (on every answer,
// so on those of /game.gif and /board.png too), whether the
// connection stays open, and for HEAD the length of the body that GET would
// send instead of the body.
void finishForSending(HttpResponse& response, unsigned version, bool head,
                      bool keepOpen);

}  // namespace tib
