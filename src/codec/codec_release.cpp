#include "codec/codec_release.h"

#include <lodepng.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace tib::codec {

namespace {

bool typeIs(const unsigned char* chunk, const char* type) {
  return std::memcmp(chunk + 4, type, 4) == 0;
}

// Chunk types the release decodes; every other type is unknown to it and
// goes through its checks of the type name.
bool releaseKnows(const unsigned char* chunk) {
  static constexpr std::array<const char*, 19> kKnown = {
      "IDAT", "IEND", "PLTE", "tRNS", "bKGD", "tEXt", "zTXt",
      "iTXt", "tIME", "pHYs", "gAMA", "cHRM", "sRGB", "iCCP",
      "cICP", "mDCV", "cLLI", "eXIf", "sBIT"};
  return std::any_of(kKnown.begin(), kKnown.end(),
                     [chunk](const char* type) { return typeIs(chunk, type); });
}

bool isAsciiLetter(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

uint32_t read32(const unsigned char* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
         (uint32_t{bytes[2]} << 8) | uint32_t{bytes[3]};
}

bool crcMatches(const unsigned char* chunk, uint32_t length) {
  return lodepng_crc32(chunk + 4, length + 4) == read32(chunk + 8 + length);
}

// What the release says of one chunk that the snapshot would not: 0 when
// both treat it alike.
unsigned releaseVerdict(const unsigned char* chunk, uint32_t length) {
  // cICP, mDCV and cLLI: the length first, then the CRC.
  const auto sized = [chunk, length](uint32_t expected, unsigned wrongLength) {
    if (length != expected) {
      return wrongLength;
    }
    return crcMatches(chunk, length) ? 0U : 57U;
  };
  if (typeIs(chunk, "cICP")) {
    return sized(4, 117);
  }
  if (typeIs(chunk, "mDCV")) {
    return sized(24, 119);
  }
  if (typeIs(chunk, "cLLI")) {
    return sized(8, 120);
  }
  if (typeIs(chunk, "eXIf")) {
    return crcMatches(chunk, length) ? 0 : 57;
  }
  if (releaseKnows(chunk)) {
    return 0;
  }
  for (int k = 4; k < 8; ++k) {
    if (!isAsciiLetter(chunk[k])) {
      return 121;
    }
  }
  // Bit 5 set: a lower-case third letter.
  return (chunk[6] & 0x20) != 0 ? 122 : 0;
}

}  // namespace

std::optional<ReleaseRefusal> findReleaseRefusal(const unsigned char* png,
                                                 std::size_t size) {
  // The first chunk after the signature (8 bytes) and IHDR (25 bytes).
  std::size_t at = 33;
  // Framing as both decoders check it; a chunk that fails it ends the walk.
  while (at <= size && size - at >= 12) {
    const unsigned char* chunk = png + at;
    const uint32_t length = read32(chunk);
    if (length > 2147483647U || size - at - 12 < length) {
      break;
    }
    if (typeIs(chunk, "IEND")) {
      break;  // nothing after it is read
    }
    if (const unsigned error = releaseVerdict(chunk, length)) {
      return ReleaseRefusal{at, error};
    }
    at += std::size_t{length} + 12;
  }
  return std::nullopt;
}

unsigned releaseErrorCode(unsigned error) { return error == 100 ? 123 : error; }

const char* releaseErrorText(unsigned error) {
  switch (error) {
    case 72:
      return "while decoding, invalid compression method encountered in "
             "zTXt, iTXt or iCCP chunk (it must be 0)";
    case 117:
      return "invalid cICP chunk size";
    case 119:
      return "invalid mDCV chunk size";
    case 120:
      return "invalid cLLI chunk size";
    case 121:
      return "invalid chunk type name: may only contain [a-zA-Z]";
    case 122:
      return "invalid chunk type name: third character must be uppercase";
    case 123:
      return "invalid ICC profile size";
    default:
      return nullptr;
  }
}

}  // namespace tib::codec
