// Fuzzes sprite and marker files: the input is decoded as a PNG and drawn
// into a canvas at several boxes, whole and with its pixels cut short, as a
// failed decode can leave them.
#include <cstdint>
#include <vector>

#include "artwork.h"
#include "drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static ImageBuffer canvas = [] {
    ImageBuffer image;
    image.width = kCanvasEdge;
    image.height = kCanvasEdge;
    image.pixels.assign(kCanvasBytes, 90);
    return image;
  }();
  ImageBuffer sprite =
      decodePng(std::vector<unsigned char>(data, data + size)).image;
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
