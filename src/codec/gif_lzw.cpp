#include "codec/gif_lzw.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tib::codec {
namespace {

constexpr unsigned kMaxCodeBits = 12;
// The last code given to a string; the dictionary is cleared before the
// next, a code short of the format's limit, which some decoders mishandle.
constexpr std::uint32_t kLastCode = (1U << kMaxCodeBits) - 2;
// Twice the codes there can be, so that probes stay short.
constexpr unsigned kSlotBits = kMaxCodeBits + 1;
constexpr std::uint32_t kEmptySlot = 0xFFFFFFFFU;

// Codes packed least significant bit first into whole bytes.
class CodeStream {
 public:
  explicit CodeStream(std::vector<unsigned char>& bytes) : bytes_(bytes) {}

  void put(std::uint32_t code, unsigned width) {
    pending_ |= static_cast<std::uint64_t>(code) << pendingBits_;
    pendingBits_ += width;
    while (pendingBits_ >= 8) {
      bytes_.push_back(static_cast<unsigned char>(pending_));
      pending_ >>= 8U;
      pendingBits_ -= 8;
    }
  }
  void flush() {
    if (pendingBits_ > 0)
      bytes_.push_back(static_cast<unsigned char>(pending_));
    pending_ = 0;
    pendingBits_ = 0;
  }

 private:
  std::vector<unsigned char>& bytes_;
  std::uint64_t pending_ = 0;
  unsigned pendingBits_ = 0;
};

// String (prefix code, next index) -> code, open addressing; a slot holds
// prefix << 20 | index << 12 | code.
class Dictionary {
 public:
  Dictionary() : slots_(std::size_t{1} << kSlotBits, kEmptySlot) {}

  void clear() { std::memset(slots_.data(), 0xFF, slots_.size() * 4); }

  // The slot where the string is or would go.
  std::size_t find(std::uint32_t key) const {
    std::size_t slot = (key * 0x9E3779B1U) >> (32 - kSlotBits);
    while (slots_[slot] != kEmptySlot && slots_[slot] >> 12U != key) {
      slot = (slot + 1) & (slots_.size() - 1);
    }
    return slot;
  }
  bool holds(std::size_t slot) const { return slots_[slot] != kEmptySlot; }
  std::uint32_t code(std::size_t slot) const { return slots_[slot] & 0xFFFU; }
  void put(std::size_t slot, std::uint32_t key, std::uint32_t code) {
    slots_[slot] = key << 12U | code;
  }

 private:
  std::vector<std::uint32_t> slots_;
};

std::vector<unsigned char> compress(const unsigned char* indices,
                                    std::size_t count, unsigned minCodeSize) {
  std::vector<unsigned char> bytes;
  bytes.reserve(count / 4 + 64);
  CodeStream stream(bytes);
  const std::uint32_t clearCode = 1U << minCodeSize;
  const std::uint32_t firstFree = clearCode + 2;
  unsigned width = minCodeSize + 1;
  std::uint32_t nextCode = firstFree;
  stream.put(clearCode, width);
  if (count > 0) {
    Dictionary dictionary;
    std::uint32_t prefix = indices[0];
    for (std::size_t i = 1; i < count; ++i) {
      const std::uint32_t key = prefix << 8U | indices[i];
      const std::size_t slot = dictionary.find(key);
      if (dictionary.holds(slot)) {
        prefix = dictionary.code(slot);
        continue;
      }
      stream.put(prefix, width);
      dictionary.put(slot, key, nextCode);
      ++nextCode;
      // The decoder learns each code one step later, so the width grows
      // once the newest code no longer fits.
      if (nextCode - 1 == 1U << width) ++width;
      if (nextCode > kLastCode) {
        stream.put(clearCode, width);
        dictionary.clear();
        width = minCodeSize + 1;
        nextCode = firstFree;
      }
      prefix = indices[i];
    }
    stream.put(prefix, width);
  }
  stream.put(clearCode + 1, width);
  stream.flush();
  return bytes;
}

}  // namespace

void appendLzw(std::vector<unsigned char>& out, const unsigned char* indices,
               std::size_t count, unsigned minCodeSize) {
  const std::vector<unsigned char> bytes =
      compress(indices, count, minCodeSize);
  out.reserve(out.size() + bytes.size() + bytes.size() / 255 + 3);
  out.push_back(static_cast<unsigned char>(minCodeSize));
  for (std::size_t at = 0; at < bytes.size(); at += 255) {
    const std::size_t block = std::min<std::size_t>(255, bytes.size() - at);
    out.push_back(static_cast<unsigned char>(block));
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
               bytes.begin() + static_cast<std::ptrdiff_t>(at + block));
  }
  out.push_back(0);
}

}  // namespace tib::codec
