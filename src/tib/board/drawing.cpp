#include "tib/board/drawing.h"

#include <algorithm>
#include <array>
#include <cfloat>

#include "tib/board/board.h"

namespace tib {

// The geometry and the blend round every float operation to single
// precision; a compiler that keeps wider intermediates would change pixels.
static_assert(FLT_EVAL_METHOD == 0,
              "float expressions must be evaluated in float");

namespace {

// Ratio of the output size to the canvas. The geometry is computed in units
// of it and divided by it again, which does not always cancel in single
// precision; the diagrams depend on that order.
float outputRatio(const Settings& settings) {
  return static_cast<float>(static_cast<uint32_t>(settings.Size)) *
         0.0009765625F;
}

// The blend weight a = alpha / 255 of each alpha byte and its complement
// 1 - a, each rounded to single precision as the blend computes them, and
// whether a pixel of that alpha is drawn at all: one whose weight is at most
// 0.01 is not.
struct AlphaWeights {
  std::array<float, 256> weight{};
  std::array<float, 256> keep{};
  std::array<bool, 256> drawn{};
};

constexpr AlphaWeights makeAlphaWeights() {
  AlphaWeights table;
  for (std::size_t alpha = 0; alpha < 256; ++alpha) {
    table.weight[alpha] = static_cast<float>(alpha) / 255.0F;
    table.keep[alpha] = 1.0F - table.weight[alpha];
    table.drawn[alpha] = !(table.weight[alpha] <= 0.01F);
  }
  return table;
}

constexpr AlphaWeights kAlphaWeights = makeAlphaWeights();

// Blends one sprite pixel over one canvas pixel by the sprite's alpha
// (straight, not premultiplied) and leaves a drawn pixel opaque.
void blendPixel(const unsigned char* src, unsigned char* dst) {
  const unsigned char alpha = src[3];
  if (!kAlphaWeights.drawn[alpha]) {
    return;
  }
  if (alpha == 255) {
    // a = 1 and 1 - a = 0: the blend gives the sprite's bytes exactly.
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  } else {
    const float a = kAlphaWeights.weight[alpha];
    const float keep = kAlphaWeights.keep[alpha];
    for (std::size_t k = 0; k < 3; ++k) {
      const float srcPart = static_cast<float>(src[k]) * a;
      const float dstPart = static_cast<float>(dst[k]) * keep;
      dst[k] = static_cast<unsigned char>(truncateToInt(srcPart + dstPart));
    }
  }
  dst[3] = 255;
}

}  // namespace

int32_t truncateToInt(float value) {
  // Both bounds are exact in single precision; NaN fails both comparisons.
  if (value >= -2147483648.0F && value < 2147483648.0F) {
    return static_cast<int32_t>(value);
  }
  return INT32_MIN;
}

Box pieceBox(const Settings& settings, int col, int rank, const Piece& piece) {
  const float g = outputRatio(settings);
  const float scale = settings.Sz2;
  // 64 bits keep the square origin exact for any column or rank the
  // position walk can reach.
  const auto squareX = static_cast<float>(cellX(col));
  const auto squareY = static_cast<float>(cellY(rank));
  float xt = squareX * g + piece.dx * g;
  float yt = squareY * g + piece.dy * g;
  const float wt = (piece.w * g) * scale;
  const float ht = (piece.h * g) * scale;
  if (scale > 1.0F) {
    // Keep an enlarged piece centred on its nominal box.
    const float o = (scale - 1.0F) * 0.5F;
    xt = xt - (piece.w * o) * g;
    yt = yt - (o * piece.h) * g;
  }
  return Box{truncateToInt(xt / g), truncateToInt(yt / g),
             truncateToInt(wt / g), truncateToInt(ht / g)};
}

Box markerBox(const Settings& settings, Side side) {
  const float g = outputRatio(settings);
  const float top = side == Side::black ? 10.0F : 964.0F;
  return Box{truncateToInt((964.0F * g) / g), truncateToInt((top * g) / g),
             truncateToInt((56.0F * g) / g), truncateToInt((50.4F * g) / g)};
}

void drawToBoard(ImageBuffer& canvas, const ImageBuffer& sprite, int x, int y,
                 int w, int h) {
  drawToBoardWithin(canvas, sprite, x, y, w, h, kCanvasBox);
}

void drawToBoardWithin(ImageBuffer& canvas, const ImageBuffer& sprite, int x,
                       int y, int w, int h, const Box& clip) {
  if (w <= 0 || h <= 0 || canvas.pixels.size() < kCanvasBytes) {
    return;
  }
  const uint32_t sw = sprite.width;
  const uint32_t sh = sprite.height;
  // A sprite without all of its bytes (a failed decode) draws nothing.
  if (sw == 0 || sh == 0 || sprite.pixels.size() / 4 / sw < sh) {
    return;
  }
  const auto fw = static_cast<float>(sw);
  const auto fh = static_cast<float>(sh);
  const float stepX = fw / static_cast<float>(w);
  const float stepY = fh / static_cast<float>(h);

  // Only the part of the box that lies in the clip can change the canvas;
  // the sample positions still come from the unclipped i and j. None is
  // negative, as i, j >= 0 and both steps are positive, and they grow with
  // i and j, so the first one past the sprite ends a row or the box.
  const int64_t left = std::max<int64_t>(0, clip.x);
  const int64_t top = std::max<int64_t>(0, clip.y);
  const int64_t right =
      std::min<int64_t>(kCanvasEdge, int64_t{clip.x} + clip.w);
  const int64_t bottom =
      std::min<int64_t>(kCanvasEdge, int64_t{clip.y} + clip.h);
  const int64_t firstI = std::max<int64_t>(0, left - x);
  const int64_t endI = std::min<int64_t>(w, right - x);
  const int64_t firstJ = std::max<int64_t>(0, top - y);
  const int64_t endJ = std::min<int64_t>(h, bottom - y);
  if (firstI >= endI || firstJ >= endJ) {
    return;
  }
  // Every row samples the same sprite columns: find them once.
  std::array<uint32_t, kCanvasEdge> sourceColumn{};
  std::size_t columns = 0;
  for (int64_t i = firstI; i < endI; ++i, ++columns) {
    const float sx = (static_cast<float>(i) + 0.5F) * stepX;
    if (sx >= fw) {
      break;
    }
    sourceColumn[columns] = static_cast<uint32_t>(sx);
  }
  for (int64_t j = firstJ; j < endJ; ++j) {
    const float sy = (static_cast<float>(j) + 0.5F) * stepY;
    if (sy >= fh) {
      break;
    }
    const unsigned char* srcRow =
        sprite.pixels.data() +
        static_cast<std::size_t>(static_cast<uint32_t>(sy)) * sw * 4;
    unsigned char* dstRow =
        canvas.pixels.data() + (static_cast<std::size_t>(y + j) * kCanvasEdge +
                                static_cast<std::size_t>(x + firstI)) *
                                   4;
    for (std::size_t c = 0; c < columns; ++c) {
      blendPixel(srcRow + static_cast<std::size_t>(sourceColumn[c]) * 4,
                 dstRow + c * 4);
    }
  }
}

void drawPiece(ImageBuffer& canvas, const ImageBuffer& sprite,
               const Settings& settings, int col, int rank,
               const Piece& piece) {
  const Box box = pieceBox(settings, col, rank, piece);
  drawToBoard(canvas, sprite, box.x, box.y, box.w, box.h);
}

void drawSign(ImageBuffer& canvas, const ImageBuffer& marker,
              const Settings& settings, Side side) {
  const Box box = markerBox(settings, side);
  drawToBoard(canvas, marker, box.x, box.y, box.w, box.h);
}

}  // namespace tib
