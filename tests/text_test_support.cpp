#include "text_test_support.h"

#include <algorithm>

namespace tib {

const TextRenderer& sharedRenderer() {
  static const TextRenderer renderer;
  return renderer;
}

ImageBuffer filledImage(int width, int height, TextColour colour) {
  ImageBuffer image;
  image.width = static_cast<uint32_t>(width);
  image.height = static_cast<uint32_t>(height);
  for (int i = 0; i < width * height; ++i) {
    image.pixels.insert(image.pixels.end(),
                        {colour.r, colour.g, colour.b, colour.a});
  }
  return image;
}

ImageBuffer patternImage(int width, int height) {
  ImageBuffer image = filledImage(width, height, {0, 0, 0, 255});
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    if (i % 4 != 3) {
      image.pixels[i] = static_cast<unsigned char>((i * 2654435761U) >> 24);
    }
  }
  return image;
}

const unsigned char* pixelAt(const ImageBuffer& image, int x, int y) {
  return image.pixels.data() + (static_cast<std::size_t>(y) * image.width +
                                static_cast<std::size_t>(x)) *
                                   4;
}

int inkedCount(const TextMask& mask) {
  return static_cast<int>(std::count_if(mask.coverage.begin(),
                                        mask.coverage.end(),
                                        [](uint8_t c) { return c > 0; }));
}

uint8_t coverageAt(const TextMask& mask, int col, int row) {
  return mask.coverage[static_cast<std::size_t>(row) *
                           static_cast<std::size_t>(mask.width) +
                       static_cast<std::size_t>(col)];
}

uint8_t& coverageAt(TextMask& mask, int col, int row) {
  return mask.coverage[static_cast<std::size_t>(row) *
                           static_cast<std::size_t>(mask.width) +
                       static_cast<std::size_t>(col)];
}

}  // namespace tib
