// Pictures and a shared renderer for the text layer's tests.
#pragma once

#include <cstddef>

#include "tib/board/drawing.h"
#include "tib/text/text.h"

namespace tib {

// One renderer with the default fonts for all tests: loading takes a while.
const TextRenderer& sharedRenderer();

ImageBuffer filledImage(int width, int height, TextColour colour);

// A picture whose every pixel differs from its neighbours, so that a shifted
// or altered copy shows.
ImageBuffer patternImage(int width, int height);

const unsigned char* pixelAt(const ImageBuffer& image, int x, int y);

int inkedCount(const TextMask& mask);

uint8_t coverageAt(const TextMask& mask, int col, int row);
uint8_t& coverageAt(TextMask& mask, int col, int row);

}  // namespace tib
