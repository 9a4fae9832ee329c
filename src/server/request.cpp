#include "server/request.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "server/text.h"
#include "tib/failure.h"
#include "tib/values.h"

namespace tib {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    if (lower != prefix[i]) {
      return false;
    }
  }
  return true;
}

// The path and query of a request target in origin form ("/p?q") or
// absolute form ("http://host/p?q").
std::pair<std::string_view, std::string_view> splitTarget(
    std::string_view target) {
  const bool absolute = startsWithNoCase(target, "http://") ||
                        startsWithNoCase(target, "https://");
  if (absolute) {
    const std::size_t authority = target.find("//") + 2;
    const std::size_t pathStart = target.find_first_of("/?", authority);
    target = pathStart == std::string_view::npos ? std::string_view()
                                                 : target.substr(pathStart);
  }
  const std::size_t mark = target.find('?');
  if (mark == std::string_view::npos) {
    return {target, {}};
  }
  return {target.substr(0, mark), target.substr(mark + 1)};
}

// The request line is: method, space, target, space, HTTP/1.x, CRLF.
bool requestLineTooLong(std::string_view method, std::string_view target) {
  return method.size() + target.size() + std::strlen(" HTTP/1.1\r\n") + 1 >
         kRequestLineLimit;
}

Decision refusal(unsigned status, std::string message) {
  Decision decision;
  decision.status = status;
  decision.message = std::move(message);
  return decision;
}

Decision lineRefusal() {
  return refusal(414, "request line too long; the limit is " +
                          std::to_string(kRequestLineLimit) + " bytes");
}

// Reads the parameters of /board.png. size= and scale= are converted one by
// one, as tib converts each of its arguments; the last of a name counts.
Decision readDiagram(
    std::string_view query, int32_t maxSize,
    const std::function<bool(const std::string&)>& knownTheme) {
  Decision decision;
  decision.action = Action::render;
  DiagramRequest& diagram = decision.diagram;
  try {
    for (const auto& [name, value] : decodeQuery(query)) {
      if (name == "fen") {
        diagram.fen = value;
      } else if (name == "theme") {
        diagram.theme = value;
      } else if (name == "size") {
        diagram.settings.Size = readSize(value, "size=" + printableText(value),
                                         sizeRange(1, maxSize));
      } else if (name == "scale") {
        diagram.settings.Sz2 =
            readScale(value, "scale=" + printableText(value));
      }
    }
    checkSizeRange(diagram.settings.Size, 1, maxSize);
  } catch (const Failure& failure) {
    return refusal(400, failure.what());
  }
  if (!knownTheme(diagram.theme)) {
    return refusal(400,
                   "theme=" + printableText(diagram.theme) + ": no such theme");
  }
  return decision;
}

}  // namespace

std::string percentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
        hexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 +
                                      hexValue(text[i + 2])));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> decodeQuery(
    std::string_view query) {
  std::vector<std::pair<std::string, std::string>> pairs;
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view piece = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view()
                                          : query.substr(amp + 1);
    if (piece.empty()) {
      continue;
    }
    const std::size_t equals = piece.find('=');
    const std::string_view name = piece.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos
                                       ? std::string_view()
                                       : piece.substr(equals + 1);
    pairs.emplace_back(percentDecode(name, true), percentDecode(value, true));
  }
  return pairs;
}

Decision decideRequest(
    std::string_view method, std::string_view target, int32_t maxSize,
    const std::function<bool(const std::string&)>& knownTheme) {
  if (requestLineTooLong(method, target)) {
    return lineRefusal();
  }
  const auto [rawPath, query] = splitTarget(target);
  const std::string path = percentDecode(rawPath, false);
  const bool board = path == "/board.png";
  if (!board && path != "/healthz" && path != "/metrics") {
    return refusal(404,
                   "not found; diagrams are at "
                   "/board.png?fen=<FEN>&size=<n>&scale=<f>&theme=<name>");
  }
  if (method != "GET" && method != "HEAD") {
    return refusal(405, "method not allowed; use GET or HEAD");
  }
  if (!board) {
    Decision decision;
    decision.action = path == "/metrics" ? Action::metrics : Action::health;
    return decision;
  }
  Decision decision = readDiagram(query, maxSize, knownTheme);
  decision.head = method == "HEAD";
  return decision;
}

Decision refuseOversize(std::string_view method, std::string_view target,
                        std::string_view received) {
  const std::size_t lineEnd = received.find('\n');
  const bool lineTooLong = target.empty() ? lineEnd == std::string_view::npos ||
                                                lineEnd + 1 > kRequestLineLimit
                                          : requestLineTooLong(method, target);
  return lineTooLong ? lineRefusal()
                     : refusal(431,
                               "request header fields too long; the "
                               "limit is " +
                                   std::to_string(kHeadLimit) +
                                   " bytes for the whole head");
}

std::string entityTag(const DiagramRequest& diagram, uint64_t artworkIdentity) {
  // What drawing reads of the FEN: the placement field and the side to move.
  const std::string_view field = placementField(diagram.fen);
  const std::optional<Side> side = sideToMove(diagram.fen);
  const unsigned char sideByte =
      side ? static_cast<unsigned char>(1 + static_cast<int>(*side)) : 0;
  uint32_t scaleBits = 0;
  std::memcpy(&scaleBits, &diagram.settings.Sz2, sizeof scaleBits);
  const uint64_t fieldLength = field.size();

  uint64_t hash = hashBytes(kHashStart, TIB_VERSION, std::strlen(TIB_VERSION));
  hash = hashBytes(hash, &artworkIdentity, sizeof artworkIdentity);
  hash = hashBytes(hash, &diagram.settings.Size, sizeof diagram.settings.Size);
  hash = hashBytes(hash, &scaleBits, sizeof scaleBits);
  hash = hashBytes(hash, &sideByte, 1);
  hash = hashBytes(hash, &fieldLength, sizeof fieldLength);
  hash = hashBytes(hash, field.data(), field.size());
  return "\"" + hexDigits(hash) + "\"";
}

bool ifNoneMatchHits(std::string_view headerValue, std::string_view tag) {
  std::size_t i = 0;
  const std::size_t n = headerValue.size();
  while (i < n) {
    const char c = headerValue[i];
    if (c == ' ' || c == '\t' || c == ',') {
      ++i;
      continue;
    }
    if (c == '*') {
      return true;
    }
    if (headerValue.compare(i, 2, "W/") == 0) {
      i += 2;
    }
    if (i >= n || headerValue[i] != '"') {
      return false;  // not a list of entity tags
    }
    const std::size_t close = headerValue.find('"', i + 1);
    if (close == std::string_view::npos) {
      return false;
    }
    if (headerValue.substr(i, close + 1 - i) == tag) {
      return true;
    }
    i = close + 1;
  }
  return false;
}

}  // namespace tib
