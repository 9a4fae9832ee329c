#include "tib/decoration/painting.h"

#include <algorithm>

namespace tib {

ImageBuffer paintPicture(const Painting& painting, const TextRenderer& text) {
  ImageBuffer image;
  image.width = static_cast<uint32_t>(painting.width);
  image.height = static_cast<uint32_t>(painting.height);
  image.pixels.resize(std::size_t{image.width} * image.height * 4);
  for (const FilledRect& filled : painting.rects) {
    const PixelRect& rect = filled.rect;
    const int left = std::max(0, rect.x);
    const int right = std::min(painting.width, rect.x + rect.w);
    const int top = std::max(0, rect.y);
    const int bottom = std::min(painting.height, rect.y + rect.h);
    for (int row = top; row < bottom; ++row) {
      unsigned char* pixel =
          image.pixels.data() + (static_cast<std::size_t>(row) * image.width +
                                 static_cast<std::size_t>(left)) *
                                    4;
      for (int col = left; col < right; ++col, pixel += 4) {
        pixel[0] = filled.colour.r;
        pixel[1] = filled.colour.g;
        pixel[2] = filled.colour.b;
        pixel[3] = filled.colour.a;
      }
    }
  }
  for (const PlacedText& placed : painting.texts) {
    // cppcheck-suppress useStlAlgorithm
    text.draw(image, placed.text, placed.x, placed.baseline, placed.size,
              placed.weight, placed.colour, placed.maxWidth);
  }
  return image;
}

}  // namespace tib
