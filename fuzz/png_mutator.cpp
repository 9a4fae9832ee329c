#include "png_mutator.h"

#include <lodepng.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

extern "C" std::size_t LLVMFuzzerMutate(uint8_t* data, std::size_t size,
                                        std::size_t maxSize);

namespace {

using Bytes = std::vector<uint8_t>;

// Inflating during a mutation stops here: larger images are left to the
// byte-level mutations.
constexpr std::size_t kMaxInflated = std::size_t{4} << 20;
const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

uint32_t read32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) |
         (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void write32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value >> 24);
  p[1] = static_cast<uint8_t>(value >> 16);
  p[2] = static_cast<uint8_t>(value >> 8);
  p[3] = static_cast<uint8_t>(value);
}

uint32_t adler32(const uint8_t* data, std::size_t size) {
  uint32_t a = 1;
  uint32_t b = 0;
  for (std::size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

// Inflates a zlib stream, ignoring its checksum; false when it is broken.
bool inflate(const uint8_t* in, std::size_t size, Bytes& out) {
  LodePNGDecompressSettings settings;
  lodepng_decompress_settings_init(&settings);
  settings.ignore_adler32 = 1;
  settings.max_output_size = kMaxInflated;
  unsigned char* buffer = nullptr;
  std::size_t length = 0;
  const unsigned error =
      lodepng_zlib_decompress(&buffer, &length, in, size, &settings);
  if (error == 0) {
    out.assign(buffer, buffer + length);
  }
  std::free(buffer);
  return error == 0;
}

Bytes deflate(const Bytes& raw) {
  LodePNGCompressSettings settings;
  lodepng_compress_settings_init(&settings);
  settings.windowsize = 2048;
  settings.lazymatching = 0;
  unsigned char* buffer = nullptr;
  std::size_t length = 0;
  Bytes out;
  if (lodepng_zlib_compress(&buffer, &length, raw.data(), raw.size(),
                            &settings) == 0) {
    out.assign(buffer, buffer + length);
  }
  std::free(buffer);
  return out;
}

// Sets the Adler-32 at the end of a zlib stream whose bytes are spread over
// several pieces (the IDAT chunks), to what the stream inflates to.
void repairAdler(const std::vector<std::pair<uint8_t*, std::size_t>>& pieces) {
  Bytes stream;
  for (const auto& piece : pieces) {
    stream.insert(stream.end(), piece.first, piece.first + piece.second);
  }
  Bytes raw;
  if (stream.size() < 6 || !inflate(stream.data(), stream.size(), raw)) {
    return;
  }
  uint8_t adler[4];
  write32(adler, adler32(raw.data(), raw.size()));
  // The codec reads the checksum from the last four bytes of the stream.
  int left = 4;
  for (auto piece = pieces.rbegin(); piece != pieces.rend() && left > 0;
       ++piece) {
    for (std::size_t k = piece->second; k > 0 && left > 0; --k) {
      piece->first[k - 1] = adler[--left];
    }
  }
}

// Repairs the checksums of the PNG in place: the Adler-32 of the image data
// and of each ICC profile, then every chunk's CRC, up to the first chunk
// whose length runs past the end. One CRC in 32 mutants stays wrong.
void repair(uint8_t* data, std::size_t size, std::mt19937& random) {
  if (size < 8) {
    return;
  }
  std::vector<std::pair<uint8_t*, std::size_t>> imageData;
  std::vector<std::size_t> chunks;
  for (std::size_t at = 8; at + 12 <= size;) {
    const uint32_t length = read32(data + at);
    if (length > size - at - 12) {
      break;
    }
    uint8_t* type = data + at + 4;
    uint8_t* body = data + at + 8;
    if (std::memcmp(type, "IDAT", 4) == 0) {
      imageData.emplace_back(body, length);
    } else if (std::memcmp(type, "iCCP", 4) == 0) {
      const uint8_t* end =
          static_cast<const uint8_t*>(std::memchr(body, 0, length));
      if (end != nullptr && end + 2 < body + length) {
        const std::size_t skip = static_cast<std::size_t>(end - body) + 2;
        repairAdler({{body + skip, length - skip}});
      }
    }
    chunks.push_back(at);
    at += std::size_t{length} + 12;
  }
  repairAdler(imageData);
  const std::size_t keepWrong = random() % 32 == 0 && !chunks.empty()
                                    ? random() % chunks.size()
                                    : chunks.size();
  for (std::size_t index = 0; index < chunks.size(); ++index) {
    const std::size_t at = chunks[index];
    const uint32_t length = read32(data + at);
    if (index != keepWrong) {
      write32(data + at + 8 + length, lodepng_crc32(data + at + 4, length + 4));
    }
  }
}

struct Chunk {
  std::string type;
  Bytes data;
};

// The chunks after the signature; false when the file does not divide into
// whole chunks up to its end.
bool parse(const uint8_t* data, std::size_t size, std::vector<Chunk>& chunks) {
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) {
    return false;
  }
  std::size_t at = 8;
  while (at + 12 <= size) {
    const uint32_t length = read32(data + at);
    if (length > size - at - 12) {
      return false;
    }
    chunks.push_back({std::string(data + at + 4, data + at + 8),
                      Bytes(data + at + 8, data + at + 8 + length)});
    at += std::size_t{length} + 12;
  }
  return at == size && !chunks.empty();
}

// Writes the chunks back (CRCs follow in repair); 0 when they do not fit.
std::size_t serialize(const std::vector<Chunk>& chunks, uint8_t* data,
                      std::size_t maxSize) {
  const std::size_t size =
      std::accumulate(chunks.begin(), chunks.end(), std::size_t{8},
                      [](std::size_t sum, const Chunk& chunk) {
                        return sum + chunk.data.size() + 12;
                      });
  if (size > maxSize) {
    return 0;
  }
  std::memcpy(data, kSignature, 8);
  std::size_t at = 8;
  for (const Chunk& chunk : chunks) {
    write32(data + at, static_cast<uint32_t>(chunk.data.size()));
    std::memcpy(data + at + 4, chunk.type.data(), 4);
    if (!chunk.data.empty()) {
      std::memcpy(data + at + 8, chunk.data.data(), chunk.data.size());
    }
    at += chunk.data.size() + 12;
  }
  return size;
}

Bytes randomBytes(std::mt19937& random, std::size_t count) {
  Bytes bytes(count);
  std::generate(bytes.begin(), bytes.end(),
                [&random] { return static_cast<uint8_t>(random()); });
  return bytes;
}

// A chunk of a type that the codec or its release treats specially.
Chunk newChunk(std::mt19937& random) {
  static const char* const kTypes[] = {
      "cICP", "mDCV", "cLLI", "eXIf", "iCCP", "tEXt",
      "zTXt", "iTXt", "sBIT", "tRNS", "PLTE", "bKGD",
      "gAMA", "cHRM", "sRGB", "pHYs", "tIME", "IDAT",
      "IEND", "IHDR", "mDCv", "cLLi", "abcd", "ABcD",
      "ab1c", "A1cD", "abCd", "ABCD", "ab d", "\xE1\x62\x43\x64"};
  static const std::size_t kLengths[] = {0, 1, 3, 4, 5, 6, 8, 13, 24, 25};
  Chunk chunk;
  chunk.type = kTypes[random() % std::size(kTypes)];
  if (random() % 8 == 0) {
    chunk.type = std::string(
        reinterpret_cast<const char*>(randomBytes(random, 4).data()), 4);
  }
  const std::size_t length = random() % 4 == 0
                                 ? random() % 64
                                 : kLengths[random() % std::size(kLengths)];
  chunk.data = randomBytes(random, length);
  if (chunk.type == "iCCP" || chunk.type == "zTXt" || random() % 16 == 0) {
    // A keyword, the compression method, then a zlib stream.
    chunk.data = {'p', 0, static_cast<uint8_t>(random() % 8 == 0)};
    const Bytes profile = deflate(randomBytes(random, random() % 300));
    chunk.data.insert(chunk.data.end(), profile.begin(), profile.end());
  }
  return chunk;
}

// Mutates the inflated image data and deflates it again into one IDAT.
bool mutateImageData(std::vector<Chunk>& chunks) {
  Bytes stream;
  std::size_t first = chunks.size();
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    if (chunks[i].type == "IDAT") {
      first = std::min(first, i);
      stream.insert(stream.end(), chunks[i].data.begin(), chunks[i].data.end());
    }
  }
  Bytes raw;
  if (first == chunks.size() || !inflate(stream.data(), stream.size(), raw)) {
    return false;
  }
  const std::size_t size = raw.size();
  raw.resize(size + 64);
  raw.resize(LLVMFuzzerMutate(raw.data(), size, raw.size()));
  chunks[first].data = deflate(raw);
  for (std::size_t i = chunks.size(); i-- > first + 1;) {
    if (chunks[i].type == "IDAT") {
      chunks.erase(chunks.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  return true;
}

void mutateHeader(Chunk& header, std::mt19937& random) {
  if (header.type != "IHDR" || header.data.size() != 13) {
    return;
  }
  static const uint32_t kEdges[] = {
      0, 1, 2, 3, 7, 8, 9, 17, 1023, 1024, 1025, 4096, 4097, 0xFFFFFFFF};
  static const uint8_t kDepths[] = {1, 2, 4, 8, 16, 0, 3};
  static const uint8_t kColours[] = {0, 2, 3, 4, 6, 1, 7};
  switch (random() % 4) {
    case 0:
      write32(&header.data[random() % 2 * 4],
              random() % 2 == 0 ? kEdges[random() % std::size(kEdges)]
                                : 1 + random() % 70);
      break;
    case 1:
      header.data[8] = kDepths[random() % std::size(kDepths)];
      break;
    case 2:
      header.data[9] = kColours[random() % std::size(kColours)];
      break;
    default:
      header.data[12] =
          static_cast<uint8_t>(random() % 4 == 0 ? 2 : random() % 2);
      break;
  }
}

}  // namespace

std::size_t mutatePng(uint8_t* data, std::size_t size, std::size_t maxSize,
                      unsigned seed) {
  std::mt19937 random(seed);
  std::vector<Chunk> chunks;
  const unsigned mode = random() % 8;
  if (mode >= 3 && parse(data, size, chunks)) {
    const std::size_t pick = random() % chunks.size();
    bool changed = true;
    switch (mode) {
      case 3:
        changed = mutateImageData(chunks);
        break;
      case 4:
        mutateHeader(chunks[0], random);
        break;
      case 5:
        chunks.insert(chunks.begin() + static_cast<std::ptrdiff_t>(
                                           1 + random() % chunks.size()),
                      newChunk(random));
        break;
      case 6:
        if (random() % 2 == 0 && pick > 0) {
          chunks.erase(chunks.begin() + static_cast<std::ptrdiff_t>(pick));
        } else {
          chunks.insert(chunks.begin() + static_cast<std::ptrdiff_t>(pick),
                        chunks[pick]);
        }
        break;
      default: {
        // A chunk's data, mutated on its own.
        Bytes& body = chunks[pick].data;
        const std::size_t length = body.size();
        body.resize(length + 64);
        body.resize(LLVMFuzzerMutate(body.data(), length, body.size()));
        if (random() % 4 == 0) {
          std::swap(chunks[pick], chunks[random() % chunks.size()]);
        }
        break;
      }
    }
    const std::size_t written = changed ? serialize(chunks, data, maxSize) : 0;
    if (written != 0) {
      repair(data, written, random);
      return written;
    }
  }
  size = LLVMFuzzerMutate(data, size, maxSize);
  repair(data, size, random);
  return size;
}
