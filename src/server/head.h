// Reading a request head from the bytes of a connection, and refusing the
// heads the service does not take: the service takes no request bodies, so a
// head that announces one, or that a proxy could read otherwise than the
// service does, is refused and its connection closed. Pure functions, so
// that they can be tested and fuzzed without a socket.
#pragma once

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <cstddef>
#include <string>
#include <string_view>

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
};

// Parses one whole head (headLength bytes). Refuses what does not parse,
// folded field lines, any Transfer-Encoding, a Content-Length above 0, and
// an HTTP/1.1 request without exactly one Host.
ParsedHead parseHead(std::string_view head);

}  // namespace tib
