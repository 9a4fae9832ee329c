#include "codec/gif_lzw.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace tib::codec {
namespace {

constexpr unsigned kMaxCodeBits = 12;
// The last code given to a string, one short of the format's limit, which
// some decoders mishandle.
constexpr std::uint32_t kLastCode = (1U << kMaxCodeBits) - 2;
// How often a full dictionary is checked, in pixels.
constexpr std::size_t kCheckPixels = 256;
// Twice the codes there can be, so that probes stay short.
constexpr unsigned kSlotBits = kMaxCodeBits + 1;
constexpr std::uint32_t kEmptySlot = 0xFFFFFFFFU;

// Codes packed least significant bit first into whole bytes.
class CodeStream {
 public:
  explicit CodeStream(std::vector<unsigned char>& bytes) : bytes_(bytes) {}

  void put(std::uint32_t code, unsigned width) {
    bits_ += width;
    pending_ |= static_cast<std::uint64_t>(code) << pendingBits_;
    pendingBits_ += width;
    while (pendingBits_ >= 8) {
      bytes_.push_back(static_cast<unsigned char>(pending_));
      pending_ >>= 8U;
      pendingBits_ -= 8;
    }
  }
  void flush() {
    if (pendingBits_ > 0) {
      bytes_.push_back(static_cast<unsigned char>(pending_));
    }
    pending_ = 0;
    pendingBits_ = 0;
  }
  [[nodiscard]] std::size_t bits() const { return bits_; }

 private:
  std::vector<unsigned char>& bytes_;
  std::uint64_t pending_ = 0;
  unsigned pendingBits_ = 0;
  std::size_t bits_ = 0;
};

// String (prefix code, next index) -> code, open addressing; a slot holds
// prefix << 20 | index << 12 | code.
class Dictionary {
 public:
  Dictionary() : slots_(std::size_t{1} << kSlotBits, kEmptySlot) {}

  void clear() { std::memset(slots_.data(), 0xFF, slots_.size() * 4); }

  // The slot where the string is or would go.
  [[nodiscard]] std::size_t find(std::uint32_t key) const {
    std::size_t slot = (key * 0x9E3779B1U) >> (32 - kSlotBits);
    while (slots_[slot] != kEmptySlot && slots_[slot] >> 12U != key) {
      slot = (slot + 1) & (slots_.size() - 1);
    }
    return slot;
  }
  [[nodiscard]] bool holds(std::size_t slot) const {
    return slots_[slot] != kEmptySlot;
  }
  [[nodiscard]] std::uint32_t code(std::size_t slot) const {
    return slots_[slot] & 0xFFFU;
  }
  void put(std::size_t slot, std::uint32_t key, std::uint32_t code) {
    slots_[slot] = key << 12U | code;
  }

 private:
  std::vector<std::uint32_t> slots_;
};

// How many of indices[at..count) equal `symbol` before another comes.
std::size_t runAhead(const unsigned char* indices, std::size_t at,
                     std::size_t count, unsigned char symbol) {
  const std::size_t start = at;
  const std::uint64_t pattern = 0x0101010101010101ULL * symbol;
  // Transparent runs are long: 32 bytes a step, then 8.
  std::array<std::uint64_t, 4> words{};
  while (at + 32 <= count) {
    std::memcpy(words.data(), indices + at, 32);
    if (((words[0] ^ pattern) | (words[1] ^ pattern) | (words[2] ^ pattern) |
         (words[3] ^ pattern)) != 0) {
      break;
    }
    at += 32;
  }
  while (at + 8 <= count) {
    std::memcpy(words.data(), indices + at, 8);
    if (words[0] != pattern) {
      break;
    }
    at += 8;
  }
  while (at < count && indices[at] == symbol) {
    ++at;
  }
  return at - start;
}

class Compressor {
 public:
  Compressor(unsigned minCodeSize, std::vector<unsigned char>& bytes)
      : stream_(bytes),
        minCodeSize_(minCodeSize),
        clearCode_(1U << minCodeSize),
        runs_(std::size_t{1} << minCodeSize) {
    startOver();
    stream_.put(clearCode_, width_);
  }

  void compress(const unsigned char* indices, std::size_t count) {
    if (count == 0) {
      return;
    }
    std::uint32_t prefix = indices[0];
    // While the prefix is a run of one symbol, its length; else 0.
    std::size_t runLength = 1;
    unsigned char runSymbol = indices[0];
    std::size_t i = 1;
    while (i < count) {
      const unsigned char symbol = indices[i];
      if (runLength > 0 && symbol == runSymbol) {
        // Runs take the strings of their symbol alone, kept apart, a code
        // at a time rather than a pixel at a time.
        const std::size_t ahead = runAhead(indices, i, count, symbol);
        std::vector<std::uint16_t>& codes = runs_[symbol];
        std::size_t wanted = runLength + ahead;
        while (wanted > codes.size()) {
          const std::size_t longest = codes.size();
          stream_.put(codes[longest - 1], width_);
          if (!full_) {
            codes.push_back(static_cast<std::uint16_t>(nextCode_));
            grow();
          }
          wanted -= longest;
          afterString(i + ahead - wanted);
        }
        prefix = codes[wanted - 1];
        runLength = wanted;
        i += ahead;
        continue;
      }
      const std::uint32_t key = prefix << 8U | symbol;
      const std::size_t slot = dictionary_.find(key);
      ++i;
      if (dictionary_.holds(slot)) {
        prefix = dictionary_.code(slot);
        runLength = 0;
        continue;
      }
      stream_.put(prefix, width_);
      if (!full_) {
        dictionary_.put(slot, key, nextCode_);
        grow();
      }
      afterString(i - 1);
      prefix = symbol;
      runSymbol = symbol;
      runLength = 1;
    }
    stream_.put(prefix, width_);
  }

  void end() {
    stream_.put(clearCode_ + 1, width_);
    stream_.flush();
  }

 private:
  // Past the code just given to a string.
  void grow() {
    ++nextCode_;
    // The decoder learns each code one step later, so the width grows once
    // the newest code no longer fits.
    if (nextCode_ - 1 == 1U << width_) {
      ++width_;
    }
    if (nextCode_ > kLastCode) {
      full_ = true;
      checked_ = false;
      nextCheck_ = 0;
    }
  }

  // Once full, the dictionary is kept while pixels per bit since it started
  // keep up from one check to the next, and starts over when they drop:
  // a board's colours keep recurring, but a new stretch of picture wants
  // new strings.
  void afterString(std::size_t nextStart) {
    if (!full_ || nextStart < nextCheck_) {
      return;
    }
    const std::size_t pixels = nextStart - startPixel_;
    const std::size_t bits = stream_.bits() - startBits_;
    if (checked_ && pixels * lastBits_ < lastPixels_ * bits) {
      stream_.put(clearCode_, width_);
      startOver();
      startPixel_ = nextStart;
      startBits_ = stream_.bits();
      return;
    }
    checked_ = true;
    lastPixels_ = pixels;
    lastBits_ = bits;
    nextCheck_ = nextStart + kCheckPixels;
  }

  void startOver() {
    dictionary_.clear();
    for (std::size_t symbol = 0; symbol < runs_.size(); ++symbol) {
      runs_[symbol].assign(1, static_cast<std::uint16_t>(symbol));
    }
    width_ = minCodeSize_ + 1;
    nextCode_ = clearCode_ + 2;
    full_ = false;
  }

  CodeStream stream_;
  unsigned minCodeSize_;
  std::uint32_t clearCode_;
  Dictionary dictionary_;
  // Per symbol, the codes of its runs of length 1, 2, ...
  std::vector<std::vector<std::uint16_t>> runs_;
  unsigned width_ = 0;
  std::uint32_t nextCode_ = 0;
  // No string takes a new code.
  bool full_ = false;
  bool checked_ = false;
  std::size_t nextCheck_ = 0;
  // Where the dictionary started, and what the last check saw since then.
  std::size_t startPixel_ = 0;
  std::size_t startBits_ = 0;
  std::size_t lastPixels_ = 0;
  std::size_t lastBits_ = 0;
};

std::vector<unsigned char> compress(const unsigned char* indices,
                                    std::size_t count, unsigned minCodeSize) {
  std::vector<unsigned char> bytes;
  bytes.reserve(count / 4 + 64);
  Compressor compressor(minCodeSize, bytes);
  compressor.compress(indices, count);
  compressor.end();
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
