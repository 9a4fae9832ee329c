#include "gif_decode.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tib::codec::test {
namespace {

struct Reader {
  const std::vector<unsigned char>& bytes;
  std::size_t at = 0;
};

int readBytes(GifFileType* file, GifByteType* into, int wanted) {
  auto& reader = *static_cast<Reader*>(file->UserData);
  const std::size_t count = std::min<std::size_t>(
      static_cast<std::size_t>(wanted), reader.bytes.size() - reader.at);
  std::memcpy(into, reader.bytes.data() + reader.at, count);
  reader.at += count;
  return static_cast<int>(count);
}

std::optional<int> loopCount(const SavedImage& image) {
  for (int i = 0; i + 1 < image.ExtensionBlockCount; ++i) {
    const ExtensionBlock& app = image.ExtensionBlocks[i];
    const ExtensionBlock& data = image.ExtensionBlocks[i + 1];
    if (app.Function == APPLICATION_EXT_FUNC_CODE && app.ByteCount == 11 &&
        std::memcmp(app.Bytes, "NETSCAPE2.0", 11) == 0 && data.ByteCount == 3 &&
        data.Bytes[0] == 1) {
      return data.Bytes[1] | data.Bytes[2] << 8;
    }
  }
  return std::nullopt;
}

int appendBytes(GifFileType* file, const GifByteType* bytes, int size) {
  auto& out = *static_cast<std::vector<unsigned char>*>(file->UserData);
  out.insert(out.end(), bytes, bytes + size);
  return size;
}

}  // namespace

std::vector<unsigned char> encodeWithGiflib(
    const std::vector<unsigned char>& indices, int width, int height,
    int tableBits) {
  std::vector<unsigned char> out;
  int error = 0;
  GifFileType* file = EGifOpen(&out, appendBytes, &error);
  std::vector<GifColorType> colours(std::size_t{1} << tableBits);
  ColorMapObject* map = GifMakeMapObject(1 << tableBits, colours.data());
  std::vector<unsigned char> row(static_cast<std::size_t>(width));
  EXPECT_EQ(EGifPutScreenDesc(file, width, height, 8, 0, map), GIF_OK);
  EXPECT_EQ(EGifPutImageDesc(file, 0, 0, width, height, false, nullptr),
            GIF_OK);
  for (std::size_t at = 0; at < indices.size(); at += row.size()) {
    std::copy(indices.begin() + static_cast<std::ptrdiff_t>(at),
              indices.begin() + static_cast<std::ptrdiff_t>(at + row.size()),
              row.begin());
    EXPECT_EQ(EGifPutLine(file, row.data(), width), GIF_OK);
  }
  EGifCloseFile(file, &error);
  GifFreeMapObject(map);
  return out;
}

std::optional<DecodedGif> decodeGif(const std::vector<unsigned char>& bytes) {
  Reader reader{bytes};
  int error = 0;
  GifFileType* file = DGifOpen(&reader, readBytes, &error);
  if (file == nullptr) {
    ADD_FAILURE() << "DGifOpen: " << GifErrorString(error);
    return std::nullopt;
  }
  if (DGifSlurp(file) != GIF_OK || file->SColorMap == nullptr) {
    ADD_FAILURE() << "DGifSlurp: " << GifErrorString(file->Error);
    DGifCloseFile(file, &error);
    return std::nullopt;
  }
  DecodedGif gif{file->SWidth, file->SHeight, {}, std::nullopt, {}};
  for (int i = 0; i < file->SColorMap->ColorCount; ++i) {
    const GifColorType& c = file->SColorMap->Colors[i];
    gif.colours.push_back({c.Red, c.Green, c.Blue});
  }
  if (file->ImageCount > 0) {
    gif.loops = loopCount(file->SavedImages[0]);
  }
  for (int i = 0; i < file->ImageCount; ++i) {
    const SavedImage& image = file->SavedImages[i];
    const GifImageDesc& d = image.ImageDesc;
    GraphicsControlBlock control{};
    EXPECT_EQ(DGifSavedExtensionToGCB(file, i, &control), GIF_OK)
        << "frame " << i;
    gif.frames.push_back(
        {d.Left, d.Top, d.Width, d.Height, control.DelayTime,
         control.DisposalMode, control.TransparentColor,
         std::vector<unsigned char>(
             image.RasterBits,
             image.RasterBits + std::ptrdiff_t{d.Width} * d.Height)});
  }
  DGifCloseFile(file, &error);
  return gif;
}

std::vector<std::vector<unsigned char>> screens(const DecodedGif& gif) {
  std::vector<std::vector<unsigned char>> result;
  std::vector<unsigned char> screen(static_cast<std::size_t>(gif.width) *
                                    static_cast<std::size_t>(gif.height));
  const auto at = [](int x, int y, int width) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
           static_cast<std::size_t>(x);
  };
  for (const DecodedFrame& frame : gif.frames) {
    for (int y = 0; y < frame.height; ++y) {
      for (int x = 0; x < frame.width; ++x) {
        const unsigned char index = frame.indices[at(x, y, frame.width)];
        if (index != frame.transparent) {
          screen[at(frame.left + x, frame.top + y, gif.width)] = index;
        }
      }
    }
    result.push_back(screen);
  }
  return result;
}

}  // namespace tib::codec::test
