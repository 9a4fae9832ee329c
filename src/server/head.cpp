#include "server/head.h"

#include <algorithm>
#include <boost/beast/http/parser.hpp>
#include <optional>

#include "server/request.h"
#include "server/text.h"

namespace tib {

namespace {

namespace http = boost::beast::http;

bool startsHead(std::string_view bytes) { return bytes.rfind("HEAD ", 0) == 0; }

std::string_view viewOf(boost::beast::string_view text) {
  return {text.data(), text.size()};
}

// The refusal of a body whose type is none that /game.gif reads.
std::optional<Refuse> refuseMediaType(std::string_view contentType) {
  const std::string type = mediaTypeOf(contentType);
  if (type == "application/json" || type == "application/x-chess-pgn" ||
      type == "text/plain") {
    return std::nullopt;
  }
  return Refuse{415,
                "unsupported media type " + printableText(type) +
                    "; send application/x-chess-pgn, text/plain or "
                    "application/json",
                true};
}

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
  const bool chunked =
      !error && parser.get().count(http::field::transfer_encoding) > 0;
  if (!error && !chunked) {
    parsed.bodyLength = parser.content_length().value_or(0);
  }
  parsed.request = parser.release();
  if (error) {
    parsed.refusal = "bad request: " + error.message();
  } else if (hasFoldedLine(head)) {
    parsed.refusal = "bad request: folded header lines are not accepted";
  } else if (chunked) {
    parsed.refusal =
        "bad request: no Transfer-Encoding; a body needs a Content-Length";
  } else if (parsed.request.version() >= 11 &&
             parsed.request.count(http::field::host) != 1) {
    parsed.refusal = "bad request: an HTTP/1.1 request needs one Host";
  }
  return parsed;
}

Request readRequest(std::string_view head, const Served& served,
                    int32_t maxSize, std::size_t maxFrames, std::size_t maxBody,
                    uint64_t maxGifPixels) {
  const ParsedHead parsed = parseHead(head);
  const auto& fields = parsed.request;
  Request request;
  request.method = std::string(viewOf(fields.method_string()));
  request.target = std::string(viewOf(fields.target()));
  request.version = fields.version() == 10 ? 10 : 11;
  request.head = startsHead(head);
  request.keepAlive = fields.keep_alive();
  if (!parsed.refusal.empty()) {
    request.decision = Refuse{400, parsed.refusal, true};
    return request;
  }
  const auto [first, last] = fields.equal_range(http::field::if_none_match);
  for (auto field = first; field != last; ++field) {
    request.ifNoneMatch.emplace_back(viewOf(field->value()));
  }
  if (parsed.bodyLength > 0) {
    const bool takesBody =
        request.method == "POST" && isGamePath(pathOf(request.target));
    if (!takesBody) {
      request.decision = Refuse{400,
                                "bad request: only POST /game.gif carries a "
                                "body (or .webp, .mp4, .webm)",
                                true};
    } else if (parsed.bodyLength > maxBody) {
      request.decision =
          Refuse{413,
                 "payload too large: " + std::to_string(parsed.bodyLength) +
                     " bytes; the limit is " + std::to_string(maxBody) +
                     " (--max-body)",
                 true};
    } else if (auto refused =
                   refuseMediaType(viewOf(fields[http::field::content_type]))) {
      // Before the body is read: a client that waits for 100 Continue
      // sends none.
      request.decision = std::move(*refused);
    } else {
      // Decided once the body is read.
      request.bodyLength = static_cast<std::size_t>(parsed.bodyLength);
      request.contentType =
          std::string(viewOf(fields[http::field::content_type]));
      request.expectsContinue =
          request.version >= 11 &&
          mediaTypeOf(viewOf(fields[http::field::expect])) == "100-continue";
    }
    return request;
  }
  decideWith(request, {}, served, maxSize, maxFrames, maxGifPixels);
  return request;
}

std::string mediaTypeOf(std::string_view contentType) {
  std::string_view type = contentType.substr(0, contentType.find(';'));
  const std::size_t first = type.find_first_not_of(" \t");
  const std::size_t last = type.find_last_not_of(" \t");
  type = first == std::string_view::npos ? std::string_view()
                                         : type.substr(first, last + 1 - first);
  std::string lower(type);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) {
                   return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
                 });
  return lower;
}

void decideWith(Request& request, std::string_view body, const Served& served,
                int32_t maxSize, std::size_t maxFrames, uint64_t maxGifPixels) {
  Asked asked{request.method, request.target, {}, body, false};
  for (const std::string& value : request.ifNoneMatch) {
    asked.ifNoneMatch.emplace_back(value);
  }
  if (request.bodyLength > 0) {
    // The type was checked with the head.
    asked.bodyIsJson = mediaTypeOf(request.contentType) == "application/json";
  }
  request.decision =
      decideRequest(asked, served, maxSize, maxFrames, maxGifPixels);
}

Request oversizeRequest(std::string_view received, unsigned version) {
  Request request;
  request.version = version;
  request.head = startsHead(received);
  request.decision = refuseOversize(received);
  return request;
}

}  // namespace tib
