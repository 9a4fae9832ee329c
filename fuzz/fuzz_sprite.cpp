// Fuzzes sprite, marker and board files through tib's loading path: the
// header checks and limits, the chunk checks of the codec's release
// 20260119 and the decode. Each result is checked against Debian's codec
// decoding the same bytes without limits, and a decoded sprite is drawn into
// a canvas at several boxes, whole and with its pixels cut short, as a
// failed decode can leave them. The custom mutator keeps mutants past the
// codec's checksums (png_mutator.h). The image data's zlib stream, and the
// bytes themselves as one, go through the artwork's inflate and the codec's
// own with the same limits: the same bytes and codes.
#include <lodepng.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/codec_release.h"
#include "codec/inflate.h"
#include "png_mutator.h"
#include "tib/board/artwork.h"
#include "tib/board/drawing.h"

using namespace tib;         // NOLINT(google-build-using-namespace)
using namespace tib::codec;  // NOLINT(google-build-using-namespace)

namespace {

void require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_sprite: %s\n", what);
    std::abort();
  }
}

bool isTibsOwn(unsigned error) { return error > 1000; }

// What tib reports must be what the codec reports, except where the release
// or a limit decides (codec_release.h, artwork.h).
void compareWithTheCodec(const std::vector<unsigned char>& bytes,
                         const DecodedFile& decoded) {
  // More image data than the header implies is 91 without inflating the
  // rest; the codec would inflate it all, maybe to find another fault.
  if (isTibsOwn(decoded.error) || decoded.error == 91) {
    return;
  }
  std::vector<unsigned char> pixels;
  unsigned width = 0;
  unsigned height = 0;
  const unsigned codec = releaseErrorCode(
      lodepng::decode(pixels, width, height, bytes, LCT_RGBA, 8));
  const std::optional<ReleaseRefusal> refusal =
      bytes.size() >= 33 ? findReleaseRefusal(bytes.data(), bytes.size())
                         : std::nullopt;
  if (decoded.error == 0) {
    require(codec == 0, "tib decodes what the codec refuses");
    require(pixels == decoded.image.pixels, "pixels differ from the codec's");
    require(!refusal, "a refused chunk decodes");
  } else if (!refusal || decoded.error != refusal->error) {
    require(codec == decoded.error, "code differs from the codec's");
  }
  require(width == decoded.image.width && height == decoded.image.height,
          "size differs from the codec's");
}

// The image data: the IDAT chunks' data, joined.
std::vector<unsigned char> imageData(const std::vector<unsigned char>& bytes) {
  std::vector<unsigned char> data;
  std::size_t at = 8;
  while (at + 12 <= bytes.size()) {
    const std::size_t length = std::size_t{bytes[at]} << 24U |
                               std::size_t{bytes[at + 1]} << 16U |
                               std::size_t{bytes[at + 2]} << 8U | bytes[at + 3];
    if (length > bytes.size() - at - 12) {
      break;
    }
    if (std::memcmp(&bytes[at + 4], "IDAT", 4) == 0) {
      data.insert(data.end(), bytes.begin() + static_cast<long>(at + 8),
                  bytes.begin() + static_cast<long>(at + 8 + length));
    }
    at += 12 + length;
  }
  return data;
}

void compareInflate(const std::vector<unsigned char>& stream) {
  for (const std::size_t limit : {std::size_t{1} << 22U, std::size_t{4000}}) {
    LodePNGDecompressSettings settings;
    lodepng_decompress_settings_init(&settings);
    settings.max_output_size = limit;
    unsigned char* codecOut = nullptr;
    std::size_t codecSize = 0;
    const unsigned codec = lodepng_zlib_decompress(
        &codecOut, &codecSize, stream.data(), stream.size(), &settings);
    unsigned char* out = nullptr;
    std::size_t size = 0;
    const unsigned ours = tib::codec::inflateZlib(&out, &size, stream.data(),
                                                  stream.size(), &settings);
    require(codec == ours, "inflate's code differs from the codec's");
    require(
        codec != 0 || (size == codecSize &&
                       (size == 0 || std::memcmp(out, codecOut, size) == 0)),
        "inflated bytes differ from the codec's");
    std::free(codecOut);
    std::free(out);
  }
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(uint8_t* data, std::size_t size,
                                               std::size_t maxSize,
                                               unsigned seed) {
  return mutatePng(data, size, maxSize, seed);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static ImageBuffer canvas = [] {
    ImageBuffer image;
    image.width = kCanvasEdge;
    image.height = kCanvasEdge;
    image.pixels.assign(kCanvasBytes, 90);
    return image;
  }();
  const std::vector<unsigned char> bytes(data, data + size);
  compareInflate(imageData(bytes));
  compareInflate(bytes);
  DecodedFile decoded = decodePng(bytes, ArtworkRole::sprite);
  require(decoded.error != 0 ||
              decoded.image.pixels.size() ==
                  std::size_t{decoded.image.width} * decoded.image.height * 4,
          "decoded pixels do not fill the picture");
  require(decoded.error == 0 || decoded.image.pixels.empty(),
          "a failed decode holds pixels");
  require(!decodeErrorText(decoded.error).empty(), "no text for a code");
  compareWithTheCodec(bytes, decoded);

  // As a board: the same result at 1024 x 1024, refused at any other size.
  const DecodedFile board = decodePng(bytes, ArtworkRole::board);
  if (decoded.image.width == kCanvasEdge &&
      decoded.image.height == kCanvasEdge) {
    require(board.error == decoded.error &&
                board.image.pixels == decoded.image.pixels,
            "a board decodes unlike a sprite");
  } else if (decoded.error != 0 && decoded.error < 1000 &&
             decoded.image.width == 0) {
    require(board.error == decoded.error, "a bad header differs as a board");
  }

  ImageBuffer& sprite = decoded.image;
  const Box boxes[] = {{964, 964, 56, 50},          {-10, -20, 100, 130},
                       {1000, 1000, 100, 100},      {5, 5, 1, 1},
                       {-3000, 400, 2147483647, 3}, {0, 0, 0, 5}};
  for (const Box& box : boxes) {
    drawToBoard(canvas, sprite, box.x, box.y, box.w, box.h);
  }
  sprite.pixels.resize(sprite.pixels.size() / 2);
  drawToBoard(canvas, sprite, 100, 100, 300, 300);
  return 0;
}
