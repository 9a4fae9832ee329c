#include "server/head.h"

#include <boost/beast/http/parser.hpp>

#include "server/request.h"

namespace tib {

namespace {

namespace http = boost::beast::http;

// Whether a field line of the head continues the one before it.
bool hasFoldedLine(std::string_view head) {
  for (std::size_t at = head.find('\n'); at + 1 < head.size();
       at = head.find('\n', at + 1)) {
    if (head[at + 1] == ' ' || head[at + 1] == '\t') {
      return true;
    }
  }
  return false;
}

}  // namespace

std::size_t headLength(std::string_view bytes) {
  for (std::size_t at = bytes.find('\n'); at != std::string_view::npos;
       at = bytes.find('\n', at + 1)) {
    if (at + 1 < bytes.size() && bytes[at + 1] == '\n') {
      return at + 2;
    }
    if (at + 2 < bytes.size() && bytes[at + 1] == '\r' &&
        bytes[at + 2] == '\n') {
      return at + 3;
    }
  }
  return 0;
}

ParsedHead parseHead(std::string_view head) {
  http::request_parser<http::empty_body> parser;
  parser.header_limit(static_cast<std::uint32_t>(kHeadLimit));
  boost::beast::error_code error;
  parser.put(boost::asio::buffer(head.data(), head.size()), error);
  if (!error && !parser.is_header_done()) {
    error = http::error::partial_message;
  }
  ParsedHead parsed;
  const bool announcesBody =
      !error && (parser.get().count(http::field::transfer_encoding) > 0 ||
                 parser.content_length().value_or(0) > 0);
  parsed.request = parser.release();
  if (error) {
    parsed.refusal = "bad request: " + error.message();
  } else if (hasFoldedLine(head)) {
    parsed.refusal = "bad request: folded header lines are not accepted";
  } else if (announcesBody) {
    parsed.refusal = "bad request: requests carry no body here";
  } else if (parsed.request.version() >= 11 &&
             parsed.request.count(http::field::host) != 1) {
    parsed.refusal = "bad request: an HTTP/1.1 request needs one Host";
  }
  return parsed;
}

}  // namespace tib
