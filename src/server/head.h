// Reading a request head from the bytes of a connection, refusing the heads
// the service does not take and deciding the others: the service takes no
// request bodies, so a head that announces one, or that a proxy could read
// otherwise than the service does, is refused and its connection closed.
// Pure functions, so that they can be tested and fuzzed without a socket.
#pragma once

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "server/request.h"
#include "server/themes.h"
#include "tib/game/gif_budget.h"

namespace tib {

// The length of the request head at the start of bytes, through its empty
// line, or 0 while it has not all arrived. A bare LF ends a line too, so
// that the parser, not a timeout, refuses it.
std::size_t headLength(std::string_view bytes);

// The request's fields may allocate when moved, which clang-tidy takes for
// an escaping exception of the move assignment.
struct ParsedHead {  // NOLINT(bugprone-exception-escape)
  boost::beast::http::request<boost::beast::http::empty_body> request;
  // Empty when the request can be answered; else why it is a 400.
  std::string refusal;
  // The Content-Length; 0 when there is none.
  uint64_t bodyLength = 0;
};

// Parses one whole head (headLength bytes). Refuses what does not parse,
// folded field lines, any Transfer-Encoding, and an HTTP/1.1 request
// without exactly one Host.
ParsedHead parseHead(std::string_view head);

// A request as its connection needs it: what its log line shows, how the
// answer is written, and what it gets.
struct Request {
  // As the request line holds them; "-" when it was not read.
  std::string method = "-";
  std::string target = "-";
  // The HTTP version of the answer: 10 for HTTP/1.0, else 11.
  unsigned version = 11;
  // HEAD: the answer without its body.
  bool head = false;
  // Whether the client would keep the connection open after the answer.
  bool keepAlive = false;
  // The If-None-Match values.
  std::vector<std::string> ifNoneMatch;
  // A body to read before the request is decided (POST /game.gif), and its
  // Content-Type.
  std::size_t bodyLength = 0;
  std::string contentType;
  // The client waits for 100 Continue before it sends the body.
  bool expectsContinue = false;
  Decision decision;
};

// Reads one whole head (headLength bytes) and decides it. A head that
// parseHead refuses is a 400 after which the connection closes.
// A body is refused unread but on POST /game.gif, 400 elsewhere, 413
// over maxBody and 415 when its type is none the route reads (compared as
// media types are: case aside, parameters such as charset taken), and the
// connection closes after the refusal; a body to read leaves the request
// undecided, with its bodyLength.
Request readRequest(std::string_view head, const Served& served,
                    int32_t maxSize, std::size_t maxFrames, std::size_t maxBody,
                    uint64_t maxGifPixels = kDefaultMaxGifPixels);

// The type/subtype of a Content-Type value, lower case, without the
// whitespace around it and without its parameters: "application/json" for
// "Application/JSON ; charset=utf-8".
std::string mediaTypeOf(std::string_view contentType);

// Decides a request with its body (empty without one): JSON, or a PGN
// (application/x-chess-pgn or text/plain).
void decideWith(Request& request, std::string_view body, const Served& served,
                int32_t maxSize, std::size_t maxFrames,
                uint64_t maxGifPixels = kDefaultMaxGifPixels);

// The request of a head that went past kHeadLimit, from the bytes received,
// answered in the version of the connection's last request.
Request oversizeRequest(std::string_view received, unsigned version);

}  // namespace tib
