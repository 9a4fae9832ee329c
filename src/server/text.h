// Text helpers of tib-server: escaping untrusted text for a message or a
// log line, and hex digits for entity tags.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tib {

// The text with every byte outside printable ASCII, and the backslash,
// written as \xNN: safe to put in a one-line message or a log line.
std::string printableText(std::string_view text);

// The 16 lower-case hex digits of value, most significant first.
std::string hexDigits(uint64_t value);

}  // namespace tib
