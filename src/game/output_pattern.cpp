#include "game/output_pattern.h"

#include <cctype>

#include "game/failure.h"

namespace tib::game {

namespace {

// Wider than any game number needs, yet a name a file system takes.
constexpr std::size_t kWidestNumber = 20;

}  // namespace

OutputPattern readOutputPattern(const std::string& pattern) {
  OutputPattern read;
  bool numbered = false;
  const auto refuse = [&pattern](const std::string& why) {
    throw OptionError("-o " + pattern + ": " + why +
                      "; with --all it names each game's file by its number, "
                      "as out/game-%d.gif or game-%03d.png (%% for a %)");
  };
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    std::string& text = numbered ? read.after : read.before;
    if (pattern[at] != '%') {
      text += pattern[at];
      continue;
    }
    const std::size_t start = at++;
    if (at < pattern.size() && pattern[at] == '%') {
      text += '%';
      continue;
    }
    const bool zeros = at < pattern.size() && pattern[at] == '0';
    std::size_t width = 0;
    while (at < pattern.size() &&
           std::isdigit(static_cast<unsigned char>(pattern[at])) != 0 &&
           width <= kWidestNumber) {
      width = width * 10 + static_cast<std::size_t>(pattern[at] - '0');
      ++at;
    }
    if (at == pattern.size() || pattern[at] != 'd') {
      refuse(pattern.substr(start, at + 1 - start) +
             " is not a number conversion");
    }
    if (width > kWidestNumber) {
      refuse(pattern.substr(start, at + 1 - start) + " is wider than " +
             std::to_string(kWidestNumber));
    }
    if (numbered) {
      refuse("two number conversions");
    }
    numbered = true;
    read.width = width;
    read.zeros = zeros;
  }
  if (!numbered) {
    refuse("no number conversion");
  }
  return read;
}

std::string outputPath(const OutputPattern& pattern, std::size_t number) {
  const std::string digits = std::to_string(number);
  const std::size_t pad =
      pattern.width > digits.size() ? pattern.width - digits.size() : 0;
  return pattern.before + std::string(pad, pattern.zeros ? '0' : ' ') + digits +
         pattern.after;
}

bool endsWith(const std::string& name, std::string_view suffix) {
  return name.size() > suffix.size() &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace tib::game
