// The hash behind entity tags and artwork identities: 64-bit FNV-1a, fed
// piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tib {

inline constexpr uint64_t kHashStart = 14695981039346656037ULL;

// The hash continued from state over size bytes at data.
uint64_t hashBytes(uint64_t state, const void* data, std::size_t size);

}  // namespace tib
