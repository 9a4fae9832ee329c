// Fuzzes what tib-server decides for a request line: the query decoding,
// the parameters read with tib's conversion rules, the status, the entity
// tag and If-None-Match. The input is the method's first byte (G, H or
// another), then the target up to a newline, then an If-None-Match value.
// Aborts when a decision breaks the contract.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/request.h"

using namespace tib;  // NOLINT(google-build-using-namespace)

namespace {

constexpr int32_t kMaxSize = 2048;

bool knownTheme(const std::string& name) {
  return name.empty() || name == "green" || name == "blue";
}

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::string_view method = data[0] == 'G'   ? "GET"
                                  : data[0] == 'H' ? "HEAD"
                                                   : "POST";
  const std::string_view rest(reinterpret_cast<const char*>(data + 1),
                              size - 1);
  const std::size_t newline = rest.find('\n');
  const std::string_view target = rest.substr(0, newline);
  const std::string_view ifNoneMatch = newline == std::string_view::npos
                                           ? std::string_view()
                                           : rest.substr(newline + 1);

  const Decision decision = decideRequest(method, target, kMaxSize, knownTheme);
  switch (decision.action) {
    case Action::render: {
      check(decision.status == 200 && method != "POST");
      const Settings& settings = decision.diagram.settings;
      check(settings.Size >= 1 && settings.Size <= kMaxSize);
      check(knownTheme(decision.diagram.theme));
      const std::string tag = entityTag(decision.diagram, 1);
      check(tag.size() == 18 && ifNoneMatchHits(tag, tag));
      ifNoneMatchHits(ifNoneMatch, tag);
      break;
    }
    case Action::health:
      check(decision.status == 200);
      break;
    case Action::refuse:
      check(decision.status == 400 || decision.status == 404 ||
            decision.status == 405 || decision.status == 414);
      check(!decision.message.empty() &&
            decision.message.find('\n') == std::string::npos &&
            decision.message.find('\r') == std::string::npos);
      break;
  }
  const Decision oversize = refuseOversize(method, target, rest);
  check(oversize.status == 414 || oversize.status == 431);
  for (const auto& [name, value] : decodeQuery(target)) {
    check(name.size() + value.size() <= target.size());
  }
  return 0;
}
