#include "tib/game/gif_budget.h"

#include "tib/decoration/eval_bar.h"
#include "tib/decoration/player_bars.h"

namespace tib {

FrameEdges frameEdges(int32_t size, GifFrameParts parts) {
  const auto edge = static_cast<uint64_t>(size);
  return {
      edge + (parts.evalBar ? static_cast<uint64_t>(evalColumnWidth(size)) : 0),
      edge + (parts.bars ? 2 * static_cast<uint64_t>(barHeight(size)) : 0)};
}

GifFrameParts gifFrameParts(const std::vector<Decorations>& decorations) {
  GifFrameParts parts;
  for (const Decorations& each : decorations) {
    const DecorationParts shown = decorationParts(each);
    parts.bars = parts.bars || shown.bars;
    parts.evalBar = parts.evalBar || shown.evalBar;
  }
  return parts;
}

uint64_t gifPixels(std::size_t frames, int32_t size, GifFrameParts parts) {
  const FrameEdges edges = frameEdges(size, parts);
  return static_cast<uint64_t>(frames) * edges.width * edges.height;
}

std::optional<std::string> gifOverBudget(std::size_t frames, int32_t size,
                                         GifFrameParts parts, uint64_t budget) {
  const uint64_t pixels = gifPixels(frames, size, parts);
  if (pixels <= budget) {
    return std::nullopt;
  }
  const FrameEdges edges = frameEdges(size, parts);
  return "the GIF would be " + std::to_string(frames) + " frames of " +
         std::to_string(edges.width) + " x " + std::to_string(edges.height) +
         " pixels (" + std::to_string(pixels) + " pixels): at most " +
         std::to_string(budget);
}

}  // namespace tib
