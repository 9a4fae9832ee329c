// Text and hashing helpers of tib-server: escaping untrusted text for a
// message or a log line, and the hash behind entity tags and artwork
// identities.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tib {

// The text with every byte outside printable ASCII, and the backslash,
// written as \xNN: safe to put in a one-line message or a log line.
std::string printableText(std::string_view text);

// The 16 lower-case hex digits of value, most significant first.
std::string hexDigits(uint64_t value);

// 64-bit FNV-1a, continued from state.
inline constexpr uint64_t kHashStart = 14695981039346656037ULL;
uint64_t hashBytes(uint64_t state, const void* data, std::size_t size);

}  // namespace tib
