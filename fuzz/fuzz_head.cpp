// Fuzzes how tib-server reads request heads from the bytes of a connection:
// finding the end of a head, parsing it, refusing what it does not take and
// deciding the rest. Aborts when a head that a proxy could read otherwise is
// accepted, a body is read where none is taken, or a refused head or body
// would keep its connection open.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

#include "server/head.h"

using namespace tib;  // NOLINT(google-build-using-namespace)

namespace {

namespace http = boost::beast::http;

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t length = headLength(bytes);
  if (length == 0) {
    return 0;
  }
  check(length <= size && bytes[length - 1] == '\n');
  const std::string_view head = bytes.substr(0, length);
  const ParsedHead parsed = parseHead(head);
  // Without themes, every diagram is refused too.
  static const Served none;
  constexpr std::size_t kMaxBody = 1U << 16;
  const Request request =
      readRequest(head, none, 2048, kDefaultMaxFrames, kMaxBody);
  const auto* refuse = std::get_if<Refuse>(&request.decision);
  check(request.version == 10 || request.version == 11);
  if (!parsed.refusal.empty()) {
    check(refuse != nullptr && refuse->status == 400 && refuse->closeAfter &&
          refuse->message == parsed.refusal && request.bodyLength == 0);
    return 0;
  }
  const auto& fields = parsed.request;
  check(fields.count(http::field::transfer_encoding) == 0);
  const auto contentLength = fields.find(http::field::content_length);
  // The parser has checked the digits, and a list of lengths that agree:
  // without a Content-Length there is no body, and a length of zeros is
  // none either.
  check(contentLength != fields.end() || parsed.bodyLength == 0);
  check(contentLength == fields.end() ||
        (parsed.bodyLength == 0) ==
            (contentLength->value().find_first_not_of("0, \t") ==
             boost::beast::string_view::npos));
  check(fields.version() < 11 || fields.count(http::field::host) == 1);
  check(head.find("\n ") == std::string_view::npos &&
        head.find("\n\t") == std::string_view::npos);
  // A body is read only for POST /game.gif and within the limit; any other
  // is refused, and the connection closes after the refusal.
  if (request.bodyLength > 0) {
    check(request.bodyLength == parsed.bodyLength &&
          request.bodyLength <= kMaxBody && request.method == "POST");
  } else if (parsed.bodyLength > 0) {
    check(refuse != nullptr && refuse->closeAfter);
  }
  return 0;
}
