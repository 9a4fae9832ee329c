// Loading artwork as the codec's file loader and its release 20260119 do,
// within the limits on what one file may cost. Every hostile file
// here is made by the test: PNGs encoded by the codec, with chunks inserted
// or patched and their CRCs repaired, and zlib streams written bit by bit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <lodepng.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"
#include "tib/board/artwork.h"

namespace tib {

using namespace codec;  // NOLINT(google-build-using-namespace)

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

// ---------------------------------------------------------------------------
// Making PNG files

struct Chunk {
  std::string type;
  Bytes data;
  // Store a CRC that does not match, instead of the right one.
  bool badCrc = false;
};

void put32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<unsigned char>(value >> shift));
  }
}

uint32_t get32(const Bytes& bytes, std::size_t at) {
  return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
         (uint32_t{bytes[at + 2]} << 8) | uint32_t{bytes[at + 3]};
}

std::vector<Chunk> chunksOf(const Bytes& png) {
  std::vector<Chunk> chunks;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = get32(png, at);
    const auto data = png.begin() + static_cast<std::ptrdiff_t>(at + 8);
    chunks.push_back(
        {std::string(png.begin() + static_cast<std::ptrdiff_t>(at + 4), data),
         Bytes(data, data + length)});
    at += length + 12;
  }
  return chunks;
}

// The signature, then each chunk with its length and CRC.
Bytes assemble(const std::vector<Chunk>& chunks) {
  Bytes png = {137, 80, 78, 71, 13, 10, 26, 10};
  for (const Chunk& chunk : chunks) {
    put32(png, static_cast<uint32_t>(chunk.data.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), chunk.type.begin(), chunk.type.end());
    png.insert(png.end(), chunk.data.begin(), chunk.data.end());
    const uint32_t crc = lodepng_crc32(&png[typeAt], chunk.data.size() + 4);
    put32(png, chunk.badCrc ? crc ^ 0x5A5A5A5AU : crc);
  }
  return png;
}

// A small RGBA picture, stored as RGBA 8 (3 x 2 unless said otherwise).
Bytes encodedRgba(unsigned width = 3, unsigned height = 2) {
  const ImageBuffer image = noiseImage(width, height, 7, {0, 90, 255});
  lodepng::State state;
  state.encoder.auto_convert = 0;
  state.info_png.color.colortype = LCT_RGBA;
  state.info_png.color.bitdepth = 8;
  Bytes png;
  EXPECT_EQ(0U, lodepng::encode(png, image.pixels, width, height, state));
  return png;
}

enum class Where { beforeIdat, afterIdat, afterIend };

// The picture of encodedRgba with chunks inserted.
Bytes withChunks(const std::vector<Chunk>& extra, Where where,
                 const Bytes& png = encodedRgba()) {
  std::vector<Chunk> chunks = chunksOf(png);
  std::size_t at = 0;
  while (chunks[at].type != (where == Where::beforeIdat ? "IDAT" : "IEND")) {
    ++at;
  }
  at += where == Where::afterIend ? 1 : 0;
  chunks.insert(chunks.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(),
                extra.end());
  return assemble(chunks);
}

Bytes withHeader(uint32_t width, uint32_t height,
                 const Bytes& png = encodedRgba()) {
  std::vector<Chunk> chunks = chunksOf(png);
  Bytes header;
  put32(header, width);
  put32(header, height);
  header.insert(header.end(), chunks[0].data.begin() + 8, chunks[0].data.end());
  chunks[0].data = header;
  return assemble(chunks);
}

Bytes withImageData(const Bytes& zlib, const Bytes& png = encodedRgba()) {
  std::vector<Chunk> chunks;
  for (Chunk& chunk : chunksOf(png)) {
    if (chunk.type != "IDAT") {
      chunks.push_back(std::move(chunk));
    } else if (chunks.back().type != "IDAT") {
      chunks.push_back({"IDAT", zlib});
    }
  }
  return assemble(chunks);
}

// A zlib stream of `count` zero bytes, written directly: one fixed-Huffman
// block holding a literal 0 and then matches of 258 bytes at distance 1, 13
// bits each, so that gigabytes take a few megabytes and no time to make.
Bytes zlibOfZeros(std::size_t count, bool badAdler = false) {
  Bytes out = {0x78, 0x01};
  uint32_t bits = 0;
  int used = 0;
  auto putBits = [&](uint32_t value, int n) {  // least significant first
    for (int k = 0; k < n; ++k) {
      bits |= ((value >> k) & 1U) << used;
      if (++used == 8) {
        out.push_back(static_cast<unsigned char>(bits));
        bits = 0;
        used = 0;
      }
    }
  };
  auto putCode = [&](uint32_t code, int n) {  // Huffman codes: first bit high
    for (int k = n - 1; k >= 0; --k) {
      putBits((code >> k) & 1U, 1);
    }
  };
  putBits(1, 1);  // the last block
  putBits(1, 2);  // fixed Huffman codes
  std::size_t left = count;
  if (left > 0) {
    putCode(0x30, 8);  // the literal 0
    --left;
  }
  for (; left >= 258; left -= 258) {
    putCode(0xC5, 8);  // length 258 (symbol 285)
    putCode(0, 5);     // distance 1
  }
  for (; left > 0; --left) {
    putCode(0x30, 8);
  }
  putCode(0, 7);  // end of block
  if (used > 0) {
    out.push_back(static_cast<unsigned char>(bits));
  }
  const uint32_t adler =
      (static_cast<uint32_t>(count % 65521) << 16 | 1U) ^ (badAdler ? 1U : 0U);
  put32(out, adler);
  return out;
}

Chunk iccp(const Bytes& zlib, unsigned char method = 0) {
  Bytes data = {'i', 'c', 'c', 0, method};
  data.insert(data.end(), zlib.begin(), zlib.end());
  return {"iCCP", data};
}

Chunk sized(const std::string& type, std::size_t length, bool badCrc = false) {
  return {type, Bytes(length, 1), badCrc};
}

// What Debian's codec makes of the bytes, for the cases where tib must
// agree with it.
struct Reference {
  unsigned error;
  ImageBuffer image;
};

Reference snapshotDecode(const Bytes& png) {
  Reference reference{};
  unsigned width = 0;
  unsigned height = 0;
  reference.error =
      lodepng::decode(reference.image.pixels, width, height, png, LCT_RGBA, 8);
  reference.image.width = width;
  reference.image.height = height;
  return reference;
}

void expectSameAsSnapshot(const Bytes& png, const std::string& what) {
  const Reference reference = snapshotDecode(png);
  const DecodedFile decoded = decodePng(png);
  EXPECT_EQ(reference.error, decoded.error) << what;
  EXPECT_EQ(reference.image.width, decoded.image.width) << what;
  EXPECT_EQ(reference.image.height, decoded.image.height) << what;
  EXPECT_TRUE(reference.image.pixels == decoded.image.pixels) << what;
}

// ---------------------------------------------------------------------------
// Section 1: files as the codec's loader reads them

void writeFile(const fs::path& file, const Bytes& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

TEST(ArtworkFiles, EveryKindOfFileLoadsAsTheCodecsLoaderReadsIt) {
  const TempDir dir;
  const fs::path& d = dir.path();
  const Bytes png = encodedRgba();
  writeFile(d / "valid.png", png);
  Bytes trailing = png;
  trailing.resize(png.size() + 5000, 0xEE);
  writeFile(d / "trailing.png", trailing);
  writeFile(d / "empty.png", {});
  fs::create_directory(d / "folder.png");
  fs::create_symlink(d / "nowhere", d / "dangling.png");
  fs::create_symlink(d / "loop.png", d / "loop.png");
  fs::create_symlink(d / "valid.png", d / "link.png");
  ASSERT_EQ(0, mkfifo((d / "fifo.png").c_str(), 0600));
  const int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (d / "socket.png").string();
  ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(0, bind(socketFd, reinterpret_cast<const sockaddr*>(&address),
                    sizeof(address)));
  for (const char* device : {"/dev/null", "/dev/zero", "/dev/urandom",
                             "/proc/version", "/proc/self/status"}) {
    fs::create_symlink(
        device, d / (fs::path(device).filename().string() + "-link.png"));
  }
  const std::string empty =
      "empty input buffer given to decoder. Maybe caused by non-existing "
      "file?";
  const std::string cannotOpen = "failed to open file for reading";
  const struct {
    std::string file;
    std::string text;
    unsigned error;
    bool identity;
  } cases[] = {
      {"valid.png", "", 0, true},
      {"trailing.png", "", 0, true},  // bytes after IEND are never read
      {"link.png", "", 0, true},
      {"missing.png", cannotOpen, 78, false},
      {"dangling.png", cannotOpen, 78, false},
      {"loop.png", cannotOpen, 78, false},
      {"", cannotOpen, 78, false},
      {"folder.png", cannotOpen, 78, false},
      {"fifo.png", cannotOpen, 78, false},  // no writer: would block
      {"socket.png", cannotOpen, 78, false},
      {"empty.png", empty, 48, true},
      {"null-link.png", empty, 48, false},
      {"zero-link.png", empty, 48, false},
      {"urandom-link.png", empty, 48, false},
      {"version-link.png", empty, 48, true},  // /proc files are regular
      {"status-link.png", empty, 48, true},
  };
  for (const auto& c : cases) {
    const std::string path = c.file.empty() ? "" : (d / c.file).string();
    const DecodedFile decoded = decodePngFile(path);
    EXPECT_EQ(c.error, decoded.error) << c.file;
    EXPECT_EQ(c.identity, decoded.identity.has_value()) << c.file;
    if (c.error != 0) {
      EXPECT_EQ(c.text, decodeErrorText(decoded.error)) << c.file;
      EXPECT_TRUE(decoded.image.pixels.empty()) << c.file;
    } else {
      EXPECT_EQ(3U * 2U * 4U, decoded.image.pixels.size()) << c.file;
    }
  }
  close(socketFd);
}

TEST(ArtworkFiles, AFifoWithAWriterCannotBeOpenedEither) {
  const TempDir dir;
  const fs::path fifo = dir.path() / "fifo.png";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  const Bytes png = encodedRgba();
  ASSERT_EQ(static_cast<ssize_t>(png.size()),
            write(writer, png.data(), png.size()));
  EXPECT_EQ(78U, decodePngFile(fifo.string()).error);
  close(writer);
}

TEST(ArtworkFiles, ASysfsFileThatDeliversLessThanItsSizeCannotBeRead) {
  const char* const file = "/sys/kernel/mm/transparent_hugepage/enabled";
  struct stat info {};
  if (stat(file, &info) != 0 || info.st_size == 0) {
    GTEST_SKIP() << file << " is not there or reports no size";
  }
  EXPECT_EQ(78U, decodePngFile(file).error);
}

TEST(ArtworkFiles, FilesOverTheSizeLimitAreRefusedBeforeTheyAreRead) {
  const TempDir dir;
  const struct {
    const char* what;
    uintmax_t size;
    unsigned error;
  } cases[] = {
      // Sparse files: the limit is judged on the size the seek reports.
      {"1 TiB", uintmax_t{1} << 40, kErrorFileTooLarge},
      {"64 MiB and a byte", (uintmax_t{64} << 20) + 1, kErrorFileTooLarge},
      // Read in full: zeros are no PNG signature.
      {"64 MiB", uintmax_t{64} << 20, 28},
  };
  for (const auto& c : cases) {
    const fs::path file = dir.path() / "sparse.png";
    writeFile(file, {});
    fs::resize_file(file, c.size);
    const DecodedFile decoded = decodePngFile(file.string());
    EXPECT_EQ(c.error, decoded.error) << c.what;
    // Still one of the run's artwork files, which the output must not be.
    EXPECT_TRUE(decoded.identity.has_value()) << c.what;
    fs::remove(file);
  }
  EXPECT_EQ("the file is larger than 64 MiB",
            decodeErrorText(kErrorFileTooLarge));
}

// ---------------------------------------------------------------------------
// Section 2: bounded work

TEST(ArtworkLimits, PicturesAreJudgedByTheirHeaderBeforeDecoding) {
  const Bytes wide = withHeader(4097, 1);
  const struct {
    const char* what;
    Bytes png;
    ArtworkRole role;
    unsigned error;
  } cases[] = {
      // Headers claiming a size their data does not hold: refused before a
      // byte is inflated, however large the claim.
      {"30000 x 30000 sprite", withHeader(30000, 30000), ArtworkRole::sprite,
       kErrorPictureTooLarge},
      {"4097 x 1 sprite", wide, ArtworkRole::sprite, kErrorPictureTooLarge},
      {"1 x 4097 sprite", withHeader(1, 4097), ArtworkRole::sprite,
       kErrorPictureTooLarge},
      {"4294967295 x 4294967295 sprite", withHeader(0xFFFFFFFFU, 0xFFFFFFFFU),
       ArtworkRole::sprite, kErrorPictureTooLarge},
      {"20000 x 20000 board", withHeader(20000, 20000), ArtworkRole::board,
       kErrorNotCanvasSize},
      {"1023 x 1024 board", withHeader(1023, 1024), ArtworkRole::board,
       kErrorNotCanvasSize},
      {"3 x 2 board", encodedRgba(), ArtworkRole::board, kErrorNotCanvasSize},
      // Within the limit, the data decides as before: too little of it.
      {"4096 x 4096 sprite", withHeader(4096, 4096), ArtworkRole::sprite, 91},
      {"1024 x 1024 board", withHeader(1024, 1024), ArtworkRole::board, 91},
      // The header's own faults come first, as in the decoder.
      {"0 x 5000 sprite", withHeader(0, 5000), ArtworkRole::sprite, 93},
  };
  for (const auto& c : cases) {
    const DecodedFile decoded = decodePng(c.png, c.role);
    EXPECT_EQ(c.error, decoded.error) << c.what;
    EXPECT_TRUE(decoded.image.pixels.empty()) << c.what;
  }
  // The header's size is still reported, as after a failed decode.
  EXPECT_EQ(4097U, decodePng(wide).image.width);
  EXPECT_EQ("the picture is wider or taller than 4096 pixels",
            decodeErrorText(kErrorPictureTooLarge));
}

TEST(ArtworkLimits, SpritesAtTheEdgeLimitDecodeAsTheCodecDecodesThem) {
  const struct {
    unsigned width;
    unsigned height;
  } cases[] = {{4096, 1}, {1, 4096}, {4096, 3}};
  for (const auto& c : cases) {
    const ImageBuffer image = noiseImage(c.width, c.height, 3, {7, 255});
    Bytes png;
    ASSERT_EQ(0U, lodepng::encode(png, image.pixels, c.width, c.height));
    expectSameAsSnapshot(
        png, std::to_string(c.width) + " x " + std::to_string(c.height));
  }
}

TEST(ArtworkLimits, ImageDataIsInflatedNoFurtherThanTheHeaderImplies) {
  // 8 x 8 RGBA: 8 rows of a filter byte and 32 bytes.
  const std::size_t exact = std::size_t{8} * 33;
  const Bytes picture = encodedRgba(8, 8);
  const struct {
    const char* what;
    Bytes zlib;
    unsigned error;
    bool sameAsSnapshot;
  } cases[] = {
      {"exactly the size", zlibOfZeros(exact), 0, true},
      {"one byte short", zlibOfZeros(exact - 1), 91, true},
      {"one byte more", zlibOfZeros(exact + 1), 91, true},
      // 64 MiB: the snapshot inflates it all to find out, tib stops at once.
      {"64 MiB", zlibOfZeros(std::size_t{64} << 20), 91, true},
      {"right size, bad Adler-32", zlibOfZeros(exact, true), 58, true},
      // Departure: the codec, unbounded, would inflate all of it and then
      // report the bad checksum (58); tib stops where the size is passed.
      {"too much, then a bad Adler-32", zlibOfZeros(1 << 20, true), 91, false},
  };
  for (const auto& c : cases) {
    const Bytes png = withImageData(c.zlib, picture);
    const DecodedFile decoded = decodePng(png);
    EXPECT_EQ(c.error, decoded.error) << c.what;
    if (c.sameAsSnapshot) {
      expectSameAsSnapshot(png, c.what);
    } else {
      EXPECT_NE(c.error, snapshotDecode(png).error) << c.what;
    }
  }
}

TEST(ArtworkLimits, IccProfilesShareOneBudgetPerFile) {
  const std::size_t mib = std::size_t{1} << 20;
  const Bytes oneMib = zlibOfZeros(mib);
  const auto repeated = [](const Chunk& chunk, int count) {
    return std::vector<Chunk>(static_cast<std::size_t>(count), chunk);
  };
  const struct {
    const char* what;
    std::vector<Chunk> chunks;
    unsigned error;
    bool sameAsSnapshot;
  } cases[] = {
      {"one profile of 16 MiB", {iccp(zlibOfZeros(16 * mib))}, 0, true},
      // The codec's own limit for one profile.
      {"one profile of 16 MiB and a byte",
       {iccp(zlibOfZeros(16 * mib + 1))},
       113,
       true},
      {"16 profiles of 1 MiB", repeated(iccp(oneMib), 16), 0, true},
      // Together past the budget: the codec alone would inflate them all.
      {"17 profiles of 1 MiB", repeated(iccp(oneMib), 17), kErrorIccTooLarge,
       false},
      // The first spends the whole budget; the second may inflate no more.
      {"16 MiB, then 17 MiB",
       {iccp(zlibOfZeros(16 * mib)), iccp(zlibOfZeros(17 * mib))},
       kErrorIccTooLarge,
       false},
      {"200 profiles of 16 MiB", repeated(iccp(zlibOfZeros(16 * mib)), 200),
       kErrorIccTooLarge, false},
      // A profile's own fault before the budget is spent still decides.
      {"a bad profile, then many",
       {iccp(oneMib, 1), iccp(zlibOfZeros(16 * mib)),
        iccp(zlibOfZeros(16 * mib))},
       72,
       true},
      {"a broken stream among them",
       {iccp(oneMib), iccp(zlibOfZeros(mib, true)),
        iccp(zlibOfZeros(16 * mib))},
       58,
       true},
  };
  for (const auto& c : cases) {
    const Bytes png = withChunks(c.chunks, Where::beforeIdat);
    EXPECT_EQ(c.error, decodePng(png).error) << c.what;
    if (c.sameAsSnapshot) {
      expectSameAsSnapshot(png, c.what);
    }
  }
  EXPECT_EQ("its ICC profiles inflate to more than 16 MiB",
            decodeErrorText(kErrorIccTooLarge));
}

TEST(ArtworkLimits, TextChunksAreNotInflated) {
  // A zTXt or iTXt bomb with a broken stream: never read, as in the codec's
  // in-memory decode; only its CRC would matter.
  Bytes ztxt = {'k', 0, 0};
  const Bytes bomb = zlibOfZeros(std::size_t{256} << 20, true);
  ztxt.insert(ztxt.end(), bomb.begin(), bomb.end());
  Bytes itxt = {'k', 0, 1, 0, 0, 0};
  itxt.insert(itxt.end(), bomb.begin(), bomb.end());
  const Bytes png =
      withChunks({{"zTXt", ztxt}, {"iTXt", itxt}}, Where::beforeIdat);
  EXPECT_EQ(0U, decodePng(png).error);
  expectSameAsSnapshot(png, "text chunks");
}

TEST(ArtworkLimits, ValidPicturesDecodeAsTheCodecDecodesThem) {
  // Every colour type and bit depth, plain and interlaced, at odd sizes.
  const struct {
    LodePNGColorType type;
    unsigned depth;
  } modes[] = {{LCT_GREY, 1},        {LCT_GREY, 2},    {LCT_GREY, 4},
               {LCT_GREY, 8},        {LCT_GREY, 16},   {LCT_RGB, 8},
               {LCT_RGB, 16},        {LCT_PALETTE, 1}, {LCT_PALETTE, 2},
               {LCT_PALETTE, 4},     {LCT_PALETTE, 8}, {LCT_GREY_ALPHA, 8},
               {LCT_GREY_ALPHA, 16}, {LCT_RGBA, 8},    {LCT_RGBA, 16}};
  uint32_t seed = 1;
  for (const auto& mode : modes) {
    for (const unsigned interlace : {0U, 1U}) {
      for (const unsigned width : {1U, 5U, 13U}) {
        const unsigned height = 1 + (seed % 11);
        lodepng::State state;
        state.encoder.auto_convert = 0;
        state.info_png.interlace_method = interlace;
        for (LodePNGColorMode* color :
             {&state.info_png.color, &state.info_raw}) {
          color->colortype = mode.type;
          color->bitdepth = mode.depth;
          if (mode.type == LCT_PALETTE) {
            for (unsigned i = 0; i < (1U << mode.depth); ++i) {
              lodepng_palette_add(color, static_cast<unsigned char>(i * 7),
                                  static_cast<unsigned char>(i * 13), 40,
                                  static_cast<unsigned char>(255 - i));
            }
          }
        }
        const std::size_t rawSize =
            lodepng_get_raw_size(width, height, &state.info_raw);
        const ImageBuffer noise =
            noiseImage(static_cast<uint32_t>(rawSize), 1, seed++);
        Bytes raw(noise.pixels.begin(),
                  noise.pixels.begin() + static_cast<std::ptrdiff_t>(rawSize));
        Bytes png;
        ASSERT_EQ(0U, lodepng::encode(png, raw, width, height, state));
        expectSameAsSnapshot(png, "colour type " + std::to_string(mode.type) +
                                      ", depth " + std::to_string(mode.depth) +
                                      ", interlace " +
                                      std::to_string(interlace) + ", width " +
                                      std::to_string(width));
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Section 3: what release 20260119 says differently

TEST(ArtworkRelease, ChunksTheReleaseRefusesOrNamesDifferently) {
  const Bytes noImageData = [] {
    std::vector<Chunk> chunks = chunksOf(encodedRgba());
    chunks.erase(chunks.begin() + 1);  // the IDAT
    return assemble(chunks);
  }();
  const Bytes brokenDeflate = withImageData({0x78, 0x01, 0xFF, 0, 0, 0, 0});
  const Bytes palette = [] {
    lodepng::State state;
    state.encoder.auto_convert = 0;
    for (LodePNGColorMode* color : {&state.info_png.color, &state.info_raw}) {
      color->colortype = LCT_PALETTE;
      color->bitdepth = 8;
      lodepng_palette_add(color, 1, 2, 3, 255);
    }
    Bytes png;
    EXPECT_EQ(0U, lodepng::encode(png, Bytes(6, 0), 3, 2, state));
    std::vector<Chunk> chunks = chunksOf(png);
    chunks.erase(chunks.begin() + 1);  // the PLTE
    return assemble(chunks);
  }();
  const Chunk emptyProfile = iccp(zlibOfZeros(0));
  const Chunk method1 = iccp(zlibOfZeros(10), 1);
  Chunk badText{"tEXt", {'k', 0, 'v'}, true};
  const struct {
    const char* what;
    std::vector<Chunk> chunks;
    Where where;
    unsigned error;
    // The snapshot's own result, where it differs.
    std::optional<unsigned> snapshot;
    Bytes base;
  } cases[] = {
      // Sized chunks: the length first, then the CRC.
      {"cICP of 4", {sized("cICP", 4)}, Where::beforeIdat, 0, {}, {}},
      {"cICP of 0", {sized("cICP", 0)}, Where::beforeIdat, 117, 0, {}},
      {"cICP of 3", {sized("cICP", 3)}, Where::beforeIdat, 117, 0, {}},
      {"cICP of 5", {sized("cICP", 5)}, Where::beforeIdat, 117, 0, {}},
      {"cICP of 3, bad CRC",
       {sized("cICP", 3, true)},
       Where::beforeIdat,
       117,
       0,
       {}},
      {"cICP of 4, bad CRC",
       {sized("cICP", 4, true)},
       Where::beforeIdat,
       57,
       0,
       {}},
      {"cICP of 4 after IDAT, bad CRC",
       {sized("cICP", 4, true)},
       Where::afterIdat,
       57,
       0,
       {}},
      {"mDCV of 24", {sized("mDCV", 24)}, Where::beforeIdat, 0, {}, {}},
      {"mDCV of 23", {sized("mDCV", 23)}, Where::beforeIdat, 119, 0, {}},
      {"mDCV of 24, bad CRC",
       {sized("mDCV", 24, true)},
       Where::beforeIdat,
       57,
       0,
       {}},
      {"cLLI of 8", {sized("cLLI", 8)}, Where::beforeIdat, 0, {}, {}},
      {"cLLI of 9", {sized("cLLI", 9)}, Where::afterIdat, 120, 0, {}},
      {"cLLI of 8, bad CRC",
       {sized("cLLI", 8, true)},
       Where::beforeIdat,
       57,
       0,
       {}},
      {"eXIf of 0", {sized("eXIf", 0)}, Where::beforeIdat, 0, {}, {}},
      {"two eXIf",
       {sized("eXIf", 9), sized("eXIf", 3)},
       Where::beforeIdat,
       0,
       {},
       {}},
      {"eXIf of 0, bad CRC",
       {sized("eXIf", 0, true)},
       Where::beforeIdat,
       57,
       0,
       {}},
      {"eXIf of 30, bad CRC",
       {sized("eXIf", 30, true)},
       Where::afterIdat,
       57,
       0,
       {}},
      // The old spellings are unknown to both: any length, any CRC.
      {"mDCv of 3, bad CRC",
       {sized("mDCv", 3, true)},
       Where::beforeIdat,
       0,
       {},
       {}},
      {"cLLi of 1, bad CRC",
       {sized("cLLi", 1, true)},
       Where::beforeIdat,
       0,
       {},
       {}},
      // Unknown type names: 121, then 122, then 69.
      {"ab1c", {sized("ab1c", 2)}, Where::beforeIdat, 121, 0, {}},
      {"1bCd", {sized("1bCd", 2)}, Where::beforeIdat, 121, 0, {}},
      {"ab d", {sized("ab d", 2)}, Where::beforeIdat, 121, 0, {}},
      {"0xE1 first",
       {sized("\xE1"
              "bCd",
              2)},
       Where::beforeIdat,
       121,
       0,
       {}},
      {"AB1C", {sized("AB1C", 2)}, Where::beforeIdat, 121, 69, {}},
      {"A1cD", {sized("A1cD", 2)}, Where::beforeIdat, 121, 69, {}},
      {"@bCd", {sized("@bCd", 2)}, Where::beforeIdat, 121, 69, {}},
      {"abcd", {sized("abcd", 2)}, Where::beforeIdat, 122, 0, {}},
      {"aBcD", {sized("aBcD", 2)}, Where::afterIdat, 122, 0, {}},
      {"ABcD", {sized("ABcD", 2)}, Where::beforeIdat, 122, 69, {}},
      {"ABCD", {sized("ABCD", 2)}, Where::beforeIdat, 69, {}, {}},
      {"zzZz", {sized("zzZz", 2)}, Where::beforeIdat, 0, {}, {}},
      {"abCd, bad CRC", {sized("abCd", 2, true)}, Where::beforeIdat, 0, {}, {}},
      {"a second IHDR", {sized("IHDR", 13)}, Where::beforeIdat, 69, {}, {}},
      // Nothing after IEND is read.
      {"ab1c after IEND", {sized("ab1c", 2)}, Where::afterIend, 0, {}, {}},
      // iCCP: one text and one code differ.
      {"iCCP, method 1", {method1}, Where::beforeIdat, 72, {}, {}},
      {"iCCP, empty profile", {emptyProfile}, Where::beforeIdat, 123, 100, {}},
      // Which error wins: the first chunk in file order that fails.
      {"bad tEXt CRC, then a cICP of 1",
       {badText, sized("cICP", 1)},
       Where::beforeIdat,
       57,
       {},
       {}},
      {"iCCP method 1, then a cICP of 1",
       {method1, sized("cICP", 1)},
       Where::beforeIdat,
       72,
       {},
       {}},
      {"a cICP of 1, then iCCP method 1",
       {sized("cICP", 1), method1},
       Where::beforeIdat,
       117,
       72,
       {}},
      {"empty profile, then abcd",
       {emptyProfile, sized("abcd", 1)},
       Where::beforeIdat,
       123,
       100,
       {}},
      {"abcd after broken image data",
       {sized("abcd", 2)},
       Where::afterIdat,
       122,
       20,
       brokenDeflate},
      {"abcd in a palette picture without PLTE",
       {sized("abcd", 2)},
       Where::beforeIdat,
       122,
       106,
       palette},
      {"abcd with no image data",
       {sized("abcd", 2)},
       Where::afterIdat,
       122,
       53,
       noImageData},
  };
  for (const auto& c : cases) {
    const Bytes png = c.base.empty() ? withChunks(c.chunks, c.where)
                                     : withChunks(c.chunks, c.where, c.base);
    const DecodedFile decoded = decodePng(png);
    EXPECT_EQ(c.error, decoded.error) << c.what;
    if (!c.snapshot) {
      expectSameAsSnapshot(png, c.what);
    } else {
      EXPECT_EQ(*c.snapshot, snapshotDecode(png).error) << c.what;
    }
    if (c.error != 0) {
      EXPECT_TRUE(decoded.image.pixels.empty()) << c.what;
      EXPECT_EQ(3U, decoded.image.width) << c.what;
    }
  }
}

TEST(ArtworkRelease, AFileCutShortAfterARefusedChunkIsRefused) {
  Bytes png = withChunks({sized("abcd", 2)}, Where::beforeIdat);
  png.resize(png.size() - 20);  // into the IDAT: 64 for the snapshot
  EXPECT_EQ(64U, snapshotDecode(png).error);
  EXPECT_EQ(122U, decodePng(png).error);
}

TEST(ArtworkRelease, TextsAreThoseOfTheRelease) {
  const struct {
    unsigned error;
    const char* text;
  } cases[] = {
      {72,
       "while decoding, invalid compression method encountered in zTXt, "
       "iTXt or iCCP chunk (it must be 0)"},
      {117, "invalid cICP chunk size"},
      {119, "invalid mDCV chunk size"},
      {120, "invalid cLLI chunk size"},
      {121, "invalid chunk type name: may only contain [a-zA-Z]"},
      {122, "invalid chunk type name: third character must be uppercase"},
      {123, "invalid ICC profile size"},
      {57, "invalid CRC encountered (checking CRC can be disabled)"},
      {69,
       "unknown chunk type with 'critical' flag encountered by the "
       "decoder"},
      {78, "failed to open file for reading"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.text, decodeErrorText(c.error)) << c.error;
  }
}

// ---------------------------------------------------------------------------
// Whole runs: refusals are warnings, and the run goes on

class ArtworkRunTest : public ::testing::Test {
 protected:
  void SetUp() override { writeArtwork(dir.path()); }
  void replace(const std::string& name, const Bytes& bytes) {
    fs::remove(dir.path() / name);
    writeFile(dir.path() / name, bytes);
  }
  TempDir dir;
};

TEST_F(ArtworkRunTest, CostlySpritesAndMarkersAreWarningsAndTheRunGoesOn) {
  replace("t_wk.png", withHeader(20000, 20000));
  replace("t_wq.png", withImageData(zlibOfZeros(std::size_t{256} << 20),
                                    encodedRgba(8, 8)));
  replace("t_wr.png",
          withChunks(
              std::vector<Chunk>(40, iccp(zlibOfZeros(std::size_t{1} << 20))),
              Where::beforeIdat));
  fs::remove(dir.path() / "t_bk.png");
  fs::create_symlink("/dev/null", dir.path() / "t_bk.png");
  replace("t_bq.png", withChunks({sized("cICP", 3)}, Where::beforeIdat));
  replace("t_b3.png", withHeader(5000, 10));
  // A broken marker stays silent.
  replace("t_w3.png", withChunks({sized("cICP", 3)}, Where::beforeIdat));
  for (const char* fen : {"fen=KQRkq b", "fen=KQRkq w"}) {
    const RunResult result = runTibBinary(dir.path(), {fen, "file=out.png"});
    ASSERT_EQ(0, result.status) << result.err;
    const bool black = std::string(fen).back() == 'b';
    EXPECT_EQ(
        "Warning: Could not load t_wk.png - the picture is wider or taller "
        "than 4096 pixels\n"
        "Warning: Could not load t_wq.png - invalid decompressed idat size\n"
        "Warning: Could not load t_wr.png - its ICC profiles inflate to more "
        "than 16 MiB\n"
        "Warning: Could not load t_bk.png - empty input buffer given to "
        "decoder. Maybe caused by non-existing file?\n"
        "Warning: Could not load t_bq.png - invalid cICP chunk size\n" +
            std::string(black ? "Warning: Could not load t_b3.png - the "
                                "picture is wider or taller than 4096 "
                                "pixels\n"
                              : ""),
        result.out)
        << fen;
    expectSameImage(expectedCanvas({}, std::nullopt),
                    readPng(dir.path() / "out.png"), fen);
  }
}

TEST_F(ArtworkRunTest, ABoardOfTheWrongSizeIsRefusedBeforeDecoding) {
  const struct {
    const char* what;
    Bytes png;
    std::string error;
  } cases[] = {
      {"20000 x 20000, no data", withHeader(20000, 20000),
       "tib: t_board.png is 20000 x 20000 pixels, not 1024 x 1024 (run tib "
       "in the folder that holds the artwork)\n"},
      {"over 64 MiB",
       {},
       "tib: cannot load t_board.png: the file is larger "
       "than 64 MiB (run tib in the folder that holds the "
       "artwork)\n"},
  };
  for (const auto& c : cases) {
    replace("t_board.png", c.png);
    if (c.png.empty()) {
      fs::resize_file(dir.path() / "t_board.png", std::uintmax_t{1} << 40);
    }
    const RunResult result = runTibBinary(dir.path(), {"file=out.png"});
    EXPECT_EQ(1, result.status) << c.what;
    EXPECT_EQ(c.error, result.err) << c.what;
    EXPECT_FALSE(fs::exists(dir.path() / "out.png")) << c.what;
  }
}

TEST_F(ArtworkRunTest, RunningOutOfMemoryOnASpriteIsAWarning) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
#endif
  // A valid sprite followed by 60 MiB that the loader must hold: within the
  // file limit, beyond the memory the run is given.
  Bytes big = encodedRgba();
  big.resize(std::size_t{60} << 20);
  replace("t_wp.png", big);
  replace("t_w3.png", big);
  RunOptions options;
  options.memoryLimit = 48L << 20;
  const RunResult result =
      runTibBinary(dir.path(), {"fen=P w", "size=64", "file=out.png"}, options);
  ASSERT_EQ(0, result.status) << result.err;
  EXPECT_EQ(
      "Warning: Could not load t_wp.png - out of memory\n"
      "Warning: Could not load t_w3.png - out of memory\n",
      result.out);
  // Without the limit the same files load.
  const RunResult unlimited =
      runTibBinary(dir.path(), {"fen=P w", "size=64", "file=out.png"});
  ASSERT_EQ(0, unlimited.status) << unlimited.err;
  EXPECT_EQ("", unlimited.out);
}

}  // namespace

}  // namespace tib
