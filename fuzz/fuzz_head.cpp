// Fuzzes how tib-server reads request heads from the bytes of a connection:
// finding the end of a head, parsing it, refusing what it does not take and
// deciding the rest. Aborts when an accepted head could carry a body or a
// second request, or a refused one would keep its connection open.
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
  const ParsedHead parsed = parseHead(bytes.substr(0, length));
  // Without themes, every diagram is refused too.
  static const Served none;
  const Request request = readRequest(bytes.substr(0, length), none, 2048);
  const auto* refuse = std::get_if<Refuse>(&request.decision);
  check(request.version == 10 || request.version == 11);
  check(parsed.refusal.empty() ||
        (refuse != nullptr && refuse->status == 400 && refuse->closeAfter &&
         refuse->message == parsed.refusal));
  if (parsed.refusal.empty()) {
    const auto& request = parsed.request;
    check(request.count(http::field::transfer_encoding) == 0);
    const auto contentLength = request.find(http::field::content_length);
    // The parser has checked the digits, and a list of lengths that agree;
    // an accepted length is zero.
    check(contentLength == request.end() ||
          contentLength->value().find_first_not_of("0, \t") ==
              boost::beast::string_view::npos);
    check(request.version() < 11 || request.count(http::field::host) == 1);
    check(bytes.substr(0, length).find("\n ") == std::string_view::npos);
  }
  return 0;
}
