#include "drawing.h"

#include <algorithm>
#include <array>
#include <cfloat>

// The geometry and the blend round every float operation to single
// precision; a compiler that keeps wider intermediates would change pixels.
static_assert(FLT_EVAL_METHOD == 0,
              "float expressions must be evaluated in float");

int32_t Size = kDefaultSize;
float Sz2 = kDefaultScale;

namespace {

// Nominal box of a sprite inside its square at scale 1, in canvas pixels.
struct SpritePlacement {
  const char* name;
  float dx;
  float dy;
  float w;
  float h;
};

constexpr std::array<SpritePlacement, 12> kPlacements{{
    {"wp", 79.0F, 80.0F, 59.8F, 83.409996F},
    {"wb", 76.0F, 70.0F, 64.6F, 99.76501F},
    {"wn", 69.0F, 70.0F, 81.4F, 97.07F},
    {"wr", 73.0F, 80.0F, 69.19F, 87.12F},
    {"wq", 68.0F, 68.0F, 78.0F, 101.04F},
    {"wk", 59.0F, 62.0F, 100.0F, 111.32F},
    {"bp", 71.0F, 80.0F, 75.0F, 83.514F},
    {"bb", 73.0F, 70.0F, 73.34F, 100.74F},
    {"bn", 73.0F, 72.0F, 72.200005F, 96.22F},
    {"br", 70.0F, 74.0F, 79.42F, 95.76F},
    {"bq", 61.0F, 70.0F, 99.8F, 101.68F},
    {"bk", 67.0F, 66.0F, 86.02F, 107.88F},
}};

constexpr int64_t kSquareWidth = 115;
constexpr int64_t kSquareHeight = 112;

// Ratio of the output size to the canvas. The geometry is computed in units
// of it and divided by it again, which does not always cancel in single
// precision; the diagrams depend on that order.
float outputRatio() {
  return static_cast<float>(static_cast<uint32_t>(Size)) * 0.0009765625F;
}

// The blend weights of each alpha byte: a = alpha / 255 and 1 - a, each
// rounded to single precision, as the blend computes them.
struct AlphaWeights {
  std::array<float, 256> weight{};
  std::array<float, 256> keep{};
  // Pixels whose weight is at most 0.01 are not drawn: those are exactly
  // the alpha bytes below this one.
  unsigned firstDrawn = 0;
};

const AlphaWeights& alphaWeights() {
  static const AlphaWeights weights = [] {
    AlphaWeights table;
    for (std::size_t alpha = 0; alpha < 256; ++alpha) {
      table.weight[alpha] = static_cast<float>(alpha) / 255.0F;
      table.keep[alpha] = 1.0F - table.weight[alpha];
      if (table.weight[alpha] <= 0.01F) {
        table.firstDrawn = static_cast<unsigned>(alpha) + 1;
      }
    }
    return table;
  }();
  return weights;
}

// Blends one sprite pixel over one canvas pixel by the sprite's alpha and
// leaves a drawn pixel opaque.
inline void blendPixel(const unsigned char* src, unsigned char* dst,
                       const AlphaWeights& weights) {
  const unsigned char alpha = src[3];
  if (alpha < weights.firstDrawn) {
    return;
  }
  if (alpha == 255) {
    // a = 1 and 1 - a = 0: the blend gives the sprite's bytes exactly.
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  } else {
    const float a = weights.weight[alpha];
    const float keep = weights.keep[alpha];
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

Box pieceBox(int col, int rank, const std::string& name) {
  const auto* const found = std::find_if(
      kPlacements.begin(), kPlacements.end(),
      [&name](const SpritePlacement& p) { return name == p.name; });
  if (found == kPlacements.end()) {
    return Box{};
  }
  const SpritePlacement& placement = *found;
  const float g = outputRatio();
  // The square origin is an integer product; 64 bits keep it exact for any
  // column or rank the walk can reach.
  const auto squareX = static_cast<float>(int64_t{col} * kSquareWidth);
  const auto squareY = static_cast<float>((7 - int64_t{rank}) * kSquareHeight);
  float xt = squareX * g + placement.dx * g;
  float yt = squareY * g + placement.dy * g;
  const float wt = (placement.w * g) * Sz2;
  const float ht = (placement.h * g) * Sz2;
  if (Sz2 > 1.0F) {
    // Keep an enlarged piece centred on its nominal box.
    const float o = (Sz2 - 1.0F) * 0.5F;
    xt = xt - (placement.w * o) * g;
    yt = yt - (o * placement.h) * g;
  }
  return Box{truncateToInt(xt / g), truncateToInt(yt / g),
             truncateToInt(wt / g), truncateToInt(ht / g)};
}

Box signBox(int black) {
  const float g = outputRatio();
  const float top = black != 0 ? 10.0F : 964.0F;
  return Box{truncateToInt((964.0F * g) / g), truncateToInt((top * g) / g),
             truncateToInt((56.0F * g) / g), truncateToInt((50.4F * g) / g)};
}

void drawToBoard(ImageBuffer& canvas, const ImageBuffer& sprite, int x, int y,
                 int w, int h) {
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

  // Only the part of the box that lies on the canvas can change it.
  const int64_t edge = kCanvasEdge;
  const int64_t firstI = std::max<int64_t>(0, -int64_t{x});
  const int64_t endI = std::min<int64_t>(w, edge - x);
  const int64_t firstJ = std::max<int64_t>(0, -int64_t{y});
  const int64_t endJ = std::min<int64_t>(h, edge - y);

  // Every row samples the same sprite columns: find them once. Sample
  // positions grow with i and j, so the first one past the sprite ends the
  // row (or the box); none is negative, as i, j >= 0 and both steps > 0.
  std::array<std::size_t, kCanvasEdge> columnOffset{};
  std::size_t columns = 0;
  bool contiguous = true;  // each column the next one of the sprite
  for (int64_t i = firstI; i < endI; ++i, ++columns) {
    const float sx = (static_cast<float>(i) + 0.5F) * stepX;
    if (sx >= fw) {
      break;
    }
    columnOffset[columns] =
        static_cast<std::size_t>(static_cast<uint32_t>(sx)) * 4;
    contiguous =
        contiguous && (columns == 0 ||
                       columnOffset[columns] == columnOffset[columns - 1] + 4);
  }

  const AlphaWeights& weights = alphaWeights();
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
    std::size_t i = 0;
    if (contiguous) {
      // Most of a sprite is transparent: pass over eight undrawn pixels at
      // a time. No alpha is at least firstDrawn when their union is not.
      const unsigned char* run = srcRow + columnOffset[0];
      for (; i + 8 <= columns; i += 8) {
        unsigned alphas = 0;
        for (std::size_t k = i; k < i + 8; ++k) {
          alphas |= run[k * 4 + 3];
        }
        if (alphas >= weights.firstDrawn) {
          for (std::size_t k = i; k < i + 8; ++k) {
            blendPixel(run + k * 4, dstRow + k * 4, weights);
          }
        }
      }
    }
    for (; i < columns; ++i) {
      blendPixel(srcRow + columnOffset[i], dstRow + i * 4, weights);
    }
  }
}

void drawPiece(ImageBuffer& canvas, const ImageBuffer& sprite, int col,
               int rank, const std::string& name) {
  const Box box = pieceBox(col, rank, name);
  drawToBoard(canvas, sprite, box.x, box.y, box.w, box.h);
}

void drawSign(ImageBuffer& canvas, const ImageBuffer& marker, int black) {
  const Box box = signBox(black);
  drawToBoard(canvas, marker, box.x, box.y, box.w, box.h);
}
