#include "server/thumbnails.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>

#include "codec/png_decode.h"
#include "codec/png_encode.h"
#include "tib/board/error.h"

namespace tib {

namespace {

constexpr std::size_t kKnight = pieceIndex('N');

std::vector<unsigned char> thumbnailPng(const std::string& path,
                                        codec::ArtworkRole role) {
  const codec::DecodedFile decoded = codec::decodePngFile(path, role);
  if (decoded.error != 0) {
    throw Error("cannot load " + path + ": " +
                codec::decodeErrorText(decoded.error));
  }
  const codec::ImageBuffer small = shrunk(decoded.image, kThumbnailEdge);
  std::vector<unsigned char> png;
  codec::encodePng(png, small.pixels, small.width, small.height);
  return png;
}

}  // namespace

codec::ImageBuffer shrunk(const codec::ImageBuffer& picture, uint32_t edge) {
  codec::ImageBuffer out;
  out.width = edge;
  out.height = edge;
  out.pixels.assign(std::size_t{edge} * edge * 4, 0);
  const uint64_t longest = std::max(picture.width, picture.height);
  if (longest == 0) {
    return out;
  }
  const auto width = static_cast<uint32_t>(
      std::max<uint64_t>(1, picture.width * uint64_t{edge} / longest));
  const auto height = static_cast<uint32_t>(
      std::max<uint64_t>(1, picture.height * uint64_t{edge} / longest));
  const uint32_t left = (edge - width) / 2;
  const uint32_t top = (edge - height) / 2;
  for (uint32_t y = 0; y < height; ++y) {
    const uint64_t y0 = y * uint64_t{picture.height} / height;
    const uint64_t y1 =
        std::max(y0 + 1, (y + 1) * uint64_t{picture.height} / height);
    for (uint32_t x = 0; x < width; ++x) {
      const uint64_t x0 = x * uint64_t{picture.width} / width;
      const uint64_t x1 =
          std::max(x0 + 1, (x + 1) * uint64_t{picture.width} / width);
      // Colours weighted by opacity, so that transparent pixels lend none.
      std::array<uint64_t, 3> colour{};
      uint64_t alpha = 0;
      for (uint64_t sy = y0; sy < y1; ++sy) {
        for (uint64_t sx = x0; sx < x1; ++sx) {
          const std::size_t at = (sy * picture.width + sx) * 4;
          const uint64_t opacity = picture.pixels[at + 3];
          for (std::size_t c = 0; c < 3; ++c) {
            colour.at(c) += picture.pixels[at + c] * opacity;
          }
          alpha += opacity;
        }
      }
      const std::size_t at = ((std::size_t{top} + y) * edge + left + x) * 4;
      const uint64_t count = (y1 - y0) * (x1 - x0);
      for (std::size_t c = 0; c < 3 && alpha > 0; ++c) {
        out.pixels[at + c] = static_cast<unsigned char>(colour.at(c) / alpha);
      }
      out.pixels[at + 3] = static_cast<unsigned char>(alpha / count);
    }
  }
  return out;
}

std::shared_ptr<const std::vector<unsigned char>> thumbnailOf(
    const Served& served, const Theme& theme, const PieceSet* set) {
  namespace fs = std::filesystem;
  const std::string path =
      set != nullptr
          ? (fs::path(set->folder) / spriteFileName(kPieces[kKnight])).string()
          : (fs::path(theme.folder) / kBoardFile).string();
  const codec::ArtworkRole role =
      set != nullptr ? codec::ArtworkRole::sprite : codec::ArtworkRole::board;
  const auto make = [&] {
    if (set != nullptr) {
      checkUnchanged(*set);
    } else {
      checkUnchanged(theme);
    }
    auto png = std::make_shared<const std::vector<unsigned char>>(
        thumbnailPng(path, role));
    const std::size_t bytes = png->size();
    return Made{std::move(png), bytes};
  };
  if (!served.decoded) {
    return std::static_pointer_cast<const std::vector<unsigned char>>(
        make().value);
  }
  return served.decoded->get<std::vector<unsigned char>>(
      {ArtworkKind::thumbnail, path}, make);
}

}  // namespace tib
