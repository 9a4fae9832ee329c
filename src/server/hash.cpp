#include "server/hash.h"

namespace tib {

uint64_t hashBytes(uint64_t state, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    state = (state ^ bytes[i]) * 1099511628211ULL;
  }
  return state;
}

}  // namespace tib
