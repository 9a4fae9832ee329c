// The work budget of a GIF, known before its first frame: the frames times
// the pixels of one frame, bars and evaluation column included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tib/decoration/decorated.h"

namespace tib {

// The frames times the pixels of one frame (bars included) a GIF may have:
// 700 million, so that a whole game of 1,000 plies at 720 with player bars
// and the evaluation bar (765 x 840) fits with room to spare. The work of a
// GIF and its size grow with this product.
inline constexpr uint64_t kDefaultMaxGifPixels = 700'000'000;

// What a GIF's frames hold besides the board of size x size pixels.
struct GifFrameParts {
  // The players' rows above and below the board (barHeight(size) each).
  bool bars = false;
  // The evaluation bar's column left of it (evalColumnWidth(size)).
  bool evalBar = false;
};

struct FrameEdges {
  uint64_t width;
  uint64_t height;
};

// The width and height of an animation's frames.
FrameEdges frameEdges(int32_t size, GifFrameParts parts);

// The parts of a GIF's frames: any frame with bars or an evaluation bar
// gives every frame their rows or column.
GifFrameParts gifFrameParts(const std::vector<Decorations>& decorations);

// The pixels of a GIF: frames times the pixels of one frame.
uint64_t gifPixels(std::size_t frames, int32_t size, GifFrameParts parts);

// What a GIF would be when it is over budget ("the GIF would be 1000
// frames of 2048 x 2048 pixels (4194304000 pixels): at most 700000000");
// none within it.
std::optional<std::string> gifOverBudget(std::size_t frames, int32_t size,
                                         GifFrameParts parts, uint64_t budget);

}  // namespace tib
