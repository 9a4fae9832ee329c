#include "codec/png_decode.h"

#include <fcntl.h>
#include <lodepng.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>

#include "codec/codec_release.h"
#include "codec/file_descriptor.h"
#include "codec/inflate.h"
#include "codec/rgba.h"

namespace tib::codec {

namespace {

// The codec's code for "failed to open file for reading".
constexpr unsigned kCannotOpenFile = 78;
// The codec's code for "memory allocation failed".
constexpr unsigned kCodecOutOfMemory = 83;
// The codec's code when inflating passes max_output_size.
constexpr unsigned kInflatedTooMuch = 109;
// The codec's code when a custom inflater (the guard below) fails.
constexpr unsigned kCustomInflateFailed = 110;
// The codec's code for image data of another size than the header implies.
constexpr unsigned kWrongImageDataSize = 91;

// Reads a file as lodepng::load_file does (see decodePngFile), with one
// open where the codec's loader opens the file twice, as its release
// 20260119 does.
unsigned readArtworkFile(const std::string& path,
                         std::vector<unsigned char>& bytes,
                         std::optional<FileIdentity>& identity) {
  // Opening without blocking keeps a FIFO without a writer from stalling.
  const FileDescriptor file(
      open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) {
    return kCannotOpenFile;
  }
  struct stat info {};
  if (fstat(file.get(), &info) != 0 || S_ISFIFO(info.st_mode) ||
      S_ISSOCK(info.st_mode)) {
    return kCannotOpenFile;
  }
  // A regular file is one of the run's artwork files from here on, read in
  // full or not.
  if (S_ISREG(info.st_mode)) {
    identity = FileIdentity{info.st_dev, info.st_ino};
  }
  // The codec's loader gets 78 for every folder, whichever way the file
  // system answers: a failed seek, LONG_MAX as the size, or a failed read.
  if (S_ISDIR(info.st_mode)) {
    return kCannotOpenFile;
  }
  // Reads block from here on, as they do for the codec.
  const int flags = fcntl(file.get(), F_GETFL);
  if (flags < 0 || fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return kCannotOpenFile;
  }
  // The size, as the C library's fseek to the end and ftell give it: the
  // size fstat reports for a regular file (0 for /proc files, 4096 for
  // /sys files, whatever they hold), the end the driver reports for others
  // (0 for /dev/null and /dev/zero, a block device's capacity), and a
  // failure where the file cannot seek (a terminal).
  const off_t end =
      S_ISREG(info.st_mode) ? info.st_size : lseek(file.get(), 0, SEEK_END);
  if (end < 0 || end == std::numeric_limits<off_t>::max()) {
    return kCannotOpenFile;
  }
  if (static_cast<unsigned long long>(end) > kMaxArtworkFileBytes) {
    return kErrorFileTooLarge;
  }
  if (!S_ISREG(info.st_mode) && lseek(file.get(), 0, SEEK_SET) != 0) {
    return kCannotOpenFile;
  }
  bytes.resize(static_cast<std::size_t>(end));
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got =
        read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  // A file that delivers fewer bytes than its size (a /sys file) is one
  // the codec's loader could not read.
  return filled == bytes.size() ? 0 : kCannotOpenFile;
}

// Follows every inflation the codec does for one file: image data is
// inflated with the settings it is given (max_output_size is the size the
// header implies), ICC profiles share one budget of kMaxIccBytes. Under the
// codec's custom_zlib hook it inflates with libdeflate or the codec's own
// zlib decoder (codec/inflate.h), so every result is the codec's; the hook
// only turns a failure into code 110, and the guard keeps the code that the
// codec would have given.
struct InflateGuard {
  // The settings that the codec passes for the image data; it passes a copy
  // for each ICC profile.
  const LodePNGDecompressSettings* imageData = nullptr;
  std::size_t iccLeft = kMaxIccBytes;
  // What the last inflation gave, as the codec's decoder would report it.
  unsigned lastError = 0;
  bool iccBudgetSpent = false;
};

unsigned guardedInflate(unsigned char** out, std::size_t* outSize,
                        const unsigned char* in, std::size_t inSize,
                        const LodePNGDecompressSettings* settings) {
  // custom_context is where the codec carries the guard to the hook.
  auto* guard =
      static_cast<InflateGuard*>(const_cast<void*>(settings->custom_context));
  LodePNGDecompressSettings plain = *settings;
  plain.custom_zlib = nullptr;
  const bool profile = settings != guard->imageData;
  if (profile && guard->iccLeft < plain.max_output_size) {
    // Stop once the budget is passed (0 would mean no limit at all).
    plain.max_output_size = std::max<std::size_t>(guard->iccLeft, 1);
  }
  unsigned error = inflateZlib(out, outSize, in, inSize, &plain);
  if (profile) {
    // Past the codec's own limit for one profile, its code 113 stands.
    if (*outSize > guard->iccLeft && *outSize <= settings->max_output_size) {
      guard->iccBudgetSpent = true;
      error = error != 0 ? error : kInflatedTooMuch;
    } else {
      guard->iccLeft -= std::min(guard->iccLeft, *outSize);
    }
  }
  guard->lastError = error;
  return error;
}

// The size of the image data (filter bytes and rows, all passes) that the
// header implies, as the codec computes it.
std::size_t imageDataSize(unsigned width, unsigned height,
                          const LodePNGInfo& info) {
  const std::size_t bpp = lodepng_get_bpp(&info.color);
  auto rows = [bpp](std::size_t w, std::size_t h) {
    return h * ((w / 8) * bpp + 1 + ((w & 7) * bpp + 7) / 8);
  };
  const std::size_t w = width;
  const std::size_t h = height;
  if (info.interlace_method == 0) {
    return rows(w, h);
  }
  // Adam7: the seven passes (a pass with no columns has no filter bytes).
  std::size_t size = rows((w + 7) >> 3, (h + 7) >> 3);
  if (w > 4) {
    size += rows((w + 3) >> 3, (h + 7) >> 3);
  }
  size += rows((w + 3) >> 2, (h + 3) >> 3);
  if (w > 2) {
    size += rows((w + 1) >> 2, (h + 3) >> 2);
  }
  size += rows((w + 1) >> 1, (h + 1) >> 2);
  if (w > 1) {
    size += rows(w >> 1, (h + 1) >> 1);
  }
  size += rows(w, h >> 1);
  return size;
}

// The codec allocates with malloc (its default allocators, which Debian's
// build keeps).
struct CodecBuffer {
  void operator()(unsigned char* pixels) const { std::free(pixels); }
};

// Decodes with the settings of lodepng_decode_memory (to RGBA 8, text
// chunks and unknown chunks not kept) and the limits above, and returns the
// code the codec's release 20260119 would give.
unsigned runDecoder(const unsigned char* data, std::size_t size,
                    std::unique_ptr<unsigned char, CodecBuffer>& pixels,
                    unsigned& width, unsigned& height,
                    std::size_t imageDataLimit) {
  lodepng::State state;
  state.info_raw.colortype = LCT_RGBA;
  state.info_raw.bitdepth = 8;
  state.decoder.read_text_chunks = 0;
  state.decoder.remember_unknown_chunks = 0;
  state.decoder.max_icc_size = kMaxIccBytes;
  InflateGuard guard;
  guard.imageData = &state.decoder.zlibsettings;
  state.decoder.zlibsettings.max_output_size = imageDataLimit;
  state.decoder.zlibsettings.custom_zlib = guardedInflate;
  state.decoder.zlibsettings.custom_context = &guard;
  // The pixels come as the file holds them and are converted here, as the
  // codec would (codec/rgba.h).
  state.decoder.color_convert = 0;
  unsigned char* out = nullptr;
  unsigned error = lodepng_decode(&out, &width, &height, &state, data, size);
  pixels.reset(out);
  if (error == 0 && (state.info_png.color.colortype != LCT_RGBA ||
                     state.info_png.color.bitdepth != 8)) {
    // The codec's allocation for the converted pixels, and its code when
    // that fails.
    std::unique_ptr<unsigned char, CodecBuffer> rgba(
        static_cast<unsigned char*>(
            std::malloc(std::size_t{width} * std::size_t{height} * 4)));
    error = rgba ? convertToRgba(rgba.get(), pixels.get(), width, height,
                                 state.info_png.color)
                 : kCodecOutOfMemory;
    pixels = std::move(rgba);
  }
  if (guard.iccBudgetSpent) {
    return kErrorIccTooLarge;
  }
  // The hook's failures, 110 or 109 for the codec, are what it inflated.
  if (error == kCustomInflateFailed || error == kInflatedTooMuch) {
    error = guard.lastError;
  }
  // Only image data can still be 109: more of it than the header implies,
  // which the codec without a limit would call 91 once it had inflated all
  // of it (or report a fault further on in the data, which is not looked
  // for).
  if (error == kInflatedTooMuch) {
    error = kWrongImageDataSize;
  }
  return releaseErrorCode(error);
}

}  // namespace

// Decodes one file into decoded, noting the regular file it opened as soon
// as it is open. Throws std::bad_alloc.
void decodePngFileInto(const std::string& path, ArtworkRole role,
                       std::size_t maxImageBytes, DecodedFile& decoded) {
  std::vector<unsigned char> file;
  const unsigned readError = readArtworkFile(path, file, decoded.identity);
  if (readError != 0) {
    decoded.error = readError;
    return;
  }
  const std::optional<FileIdentity> identity = decoded.identity;
  decoded = decodePng(file, role, maxImageBytes);
  decoded.identity = identity;
}

bool isCostRefusal(unsigned error) {
  return error == kCodecOutOfMemory || error == kErrorPictureTooLarge ||
         error == kErrorFileTooLarge || error == kErrorIccTooLarge ||
         error == kErrorOutOfMemory;
}

DecodedFile decodePngFile(const std::string& path, ArtworkRole role) {
  DecodedFile decoded;
  decodePngFileInto(path, role, SIZE_MAX, decoded);
  return decoded;
}

DecodedFile decodePng(const std::vector<unsigned char>& bytes, ArtworkRole role,
                      std::size_t maxImageBytes) {
  DecodedFile decoded;
  const unsigned char* data = bytes.empty() ? nullptr : bytes.data();
  unsigned width = 0;
  unsigned height = 0;
  // The header first: the decoder's own first step, so its codes are the
  // decoder's.
  lodepng::State header;
  decoded.error = lodepng_inspect(&width, &height, &header, data, bytes.size());
  decoded.image.width = width;
  decoded.image.height = height;
  if (decoded.error != 0) {
    return decoded;
  }
  if (role == ArtworkRole::board
          ? width != kBoardEdge || height != kBoardEdge
          : width > kMaxSpriteEdge || height > kMaxSpriteEdge) {
    decoded.error = role == ArtworkRole::board ? kErrorNotCanvasSize
                                               : kErrorPictureTooLarge;
    return decoded;
  }
  if (std::size_t{width} * height * 4 > maxImageBytes) {
    decoded.error = kErrorOverBudget;
    return decoded;
  }
  std::unique_ptr<unsigned char, CodecBuffer> pixels;
  if (const std::optional<ReleaseRefusal> refusal =
          findReleaseRefusal(data, bytes.size())) {
    // The chunks before the refused one decide when one of them fails.
    const unsigned earlier =
        runDecoder(data, refusal->offset, pixels, width, height,
                   imageDataSize(width, height, header.info_png));
    decoded.error = earlier == kChunkOutOfBounds ? refusal->error : earlier;
    return decoded;
  }
  decoded.error = runDecoder(data, bytes.size(), pixels, width, height,
                             imageDataSize(width, height, header.info_png));
  if (decoded.error == 0) {
    decoded.image.pixels.assign(
        pixels.get(),
        pixels.get() + std::size_t{width} * std::size_t{height} * 4);
  }
  return decoded;
}

std::string decodeErrorText(unsigned error) {
  switch (error) {
    case kErrorPictureTooLarge:
      return "the picture is wider or taller than " +
             std::to_string(kMaxSpriteEdge) + " pixels";
    case kErrorFileTooLarge:
      return "the file is larger than " +
             std::to_string(kMaxArtworkFileBytes >> 20) + " MiB";
    case kErrorIccTooLarge:
      return "its ICC profiles inflate to more than " +
             std::to_string(kMaxIccBytes >> 20) + " MiB";
    case kErrorOutOfMemory:
      return "out of memory";
    case kErrorNotCanvasSize:
      return "the picture is not 1024 x 1024 pixels";
    case kErrorOverBudget:
      return "all the artwork decoded together would take more than its "
             "memory limit";
    default:
      break;
  }
  if (const char* text = releaseErrorText(error)) {
    return text;
  }
  return lodepng_error_text(error);
}

}  // namespace tib::codec
