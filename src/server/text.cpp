#include "server/text.h"

namespace tib {

namespace {

constexpr std::string_view kHex = "0123456789abcdef";

}  // namespace

std::string printableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7e || c == '\\') {
      out += "\\x";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string hexDigits(uint64_t value) {
  std::string digits;
  for (int shift = 60; shift >= 0; shift -= 4) {
    digits.push_back(kHex[(value >> shift) & 15]);
  }
  return digits;
}

}  // namespace tib
