// Writes the synthetic game of the GIF benchmark to a folder, for
// bench/gif_compare: tib.gif as the writer makes it, and full.gif with every
// frame whole in the same palette through giflib, the input for other
// optimisers.
#include <gif_lib.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "codec/gif.h"
#include "gif_scene.h"

namespace {

using tib::bench::GifScene;
constexpr unsigned kDelay = 50;

int appendBytes(GifFileType* file, const GifByteType* bytes, int size) {
  auto& out = *static_cast<std::vector<unsigned char>*>(file->UserData);
  out.insert(out.end(), bytes, bytes + size);
  return size;
}

std::vector<unsigned char> wholeFrames(const GifScene& scene,
                                       const tib::codec::GifPalette& palette) {
  std::vector<GifColorType> colours(std::size_t{1} << palette.tableBits());
  for (std::size_t i = 0; i < palette.table().size(); ++i) {
    colours[i] = {palette.table()[i].red, palette.table()[i].green,
                  palette.table()[i].blue};
  }
  std::vector<unsigned char> out;
  int error = 0;
  GifFileType* file = EGifOpen(&out, appendBytes, &error);
  ColorMapObject* map =
      GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
  EGifPutScreenDesc(file, GifScene::kSide, GifScene::kSide, 8, 0, map);
  EGifPutExtensionLeader(file, APPLICATION_EXT_FUNC_CODE);
  EGifPutExtensionBlock(file, 11, "NETSCAPE2.0");
  const unsigned char loop[3] = {1, 0, 0};
  EGifPutExtensionBlock(file, 3, loop);
  EGifPutExtensionTrailer(file);
  std::vector<unsigned char> row(GifScene::kSide);
  for (const auto& frame : scene.frames) {
    const GraphicsControlBlock control{DISPOSE_DO_NOT, false, kDelay,
                                       NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, extension);
    EGifPutImageDesc(file, 0, 0, GifScene::kSide, GifScene::kSide, false,
                     nullptr);
    for (unsigned y = 0; y < GifScene::kSide; ++y) {
      for (unsigned x = 0; x < GifScene::kSide; ++x) {
        row[x] = palette.indexOf(tib::codec::packRgb(
            &frame[4 * (std::size_t{y} * GifScene::kSide + x)]));
      }
      EGifPutLine(file, row.data(), GifScene::kSide);
    }
  }
  EGifCloseFile(file, &error);
  GifFreeMapObject(map);
  return out;
}

void save(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::cerr << "usage: gif_frames FOLDER [MAX_COLOURS]\n";
    return 2;
  }
  const std::string folder = argv[1];
  const std::size_t maxColours =
      argc == 3 ? std::stoul(argv[2]) : tib::codec::GifPalette::kMaxColours;
  const GifScene scene = tib::bench::makeGifScene(93);
  const tib::codec::GifPalette palette =
      tib::codec::buildPalette(scene.samplePictures(), maxColours);
  std::vector<unsigned char> ours;
  tib::codec::GifWriter writer(
      GifScene::kSide, GifScene::kSide, palette,
      [&ours](const unsigned char* bytes, std::size_t size) {
        ours.insert(ours.end(), bytes, bytes + size);
      });
  for (std::size_t i = 0; i < scene.frames.size(); ++i) {
    if (i == 0) {
      writer.addFrame(scene.frames[i].data(), kDelay);
    } else {
      writer.addFrame(scene.frames[i].data(), kDelay, scene.changed[i - 1]);
    }
  }
  writer.finish();
  save(folder + "/tib.gif", ours);
  save(folder + "/full.gif", wholeFrames(scene, palette));
  std::cout << "palette colours: " << palette.colourCount() << "\n";
  return 0;
}
