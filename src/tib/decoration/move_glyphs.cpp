#include "tib/decoration/move_glyphs.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tib {

namespace {

// Badge pictures kept per painter; square sizes seldom vary.
constexpr std::size_t kCachedBadges = 64;
// Share of the square's edge the badge's diameter takes.
constexpr double kBadgeShare = 0.42;
// Share of the diameter that lies beyond the square's top and right edges.
constexpr double kOverhang = 0.2;
constexpr int kSamples = 4;

struct GlyphFacts {
  std::string_view text;
  std::string_view nag;
  TextColour colour;
  MoveGlyph glyph;
};

constexpr std::array<GlyphFacts, 6> kGlyphs{{
    {"!", "$1", {0x22, 0xac, 0x38, 255}, MoveGlyph::good},
    {"?", "$2", {0xe6, 0x8f, 0x00, 255}, MoveGlyph::mistake},
    {"!!", "$3", {0x16, 0xa6, 0x9a, 255}, MoveGlyph::brilliant},
    {"??", "$4", {0xdf, 0x35, 0x35, 255}, MoveGlyph::blunder},
    {"!?", "$5", {0xd0, 0x4a, 0xc8, 255}, MoveGlyph::interesting},
    {"?!", "$6", {0xd9, 0xb0, 0x1c, 255}, MoveGlyph::dubious},
}};

std::size_t toSize(int value) { return static_cast<std::size_t>(value); }

const GlyphFacts& factsOf(MoveGlyph glyph) {
  // Every glyph has its row.
  return *std::find_if(
      kGlyphs.begin(), kGlyphs.end(),
      [glyph](const GlyphFacts& facts) { return facts.glyph == glyph; });
}

// Share of the pixel (col, row) inside the circle of the given radius
// around the picture's centre, from kSamples x kSamples points.
double circleCoverage(int col, int row, double centre, double radius) {
  int inside = 0;
  for (int sy = 0; sy < kSamples; ++sy) {
    for (int sx = 0; sx < kSamples; ++sx) {
      const double dx = col + (sx + 0.5) / kSamples - centre;
      const double dy = row + (sy + 0.5) / kSamples - centre;
      if (dx * dx + dy * dy <= radius * radius) {
        ++inside;
      }
    }
  }
  return static_cast<double>(inside) / (kSamples * kSamples);
}

ImageBuffer drawDisc(int diameter, TextColour colour) {
  ImageBuffer disc;
  disc.width = static_cast<uint32_t>(diameter);
  disc.height = static_cast<uint32_t>(diameter);
  disc.pixels.assign(toSize(diameter) * toSize(diameter) * 4, 0);
  const double centre = diameter / 2.0;
  const double outer = centre;
  const double inner = outer - std::max(1.0, diameter * kBadgeRimShare);
  for (int row = 0; row < diameter; ++row) {
    for (int col = 0; col < diameter; ++col) {
      const double fill = circleCoverage(col, row, centre, inner);
      const double rim = circleCoverage(col, row, centre, outer) - fill;
      // Straight alpha of the fill over the translucent black rim.
      const double alpha = fill + rim * kBadgeRimOpacity;
      if (alpha <= 0) {
        continue;
      }
      unsigned char* pixel = disc.pixels.data() +
                             (toSize(row) * toSize(diameter) + toSize(col)) * 4;
      const auto channel = [&](uint8_t value) {
        return static_cast<unsigned char>(std::lround(value * fill / alpha));
      };
      pixel[0] = channel(colour.r);
      pixel[1] = channel(colour.g);
      pixel[2] = channel(colour.b);
      pixel[3] = static_cast<unsigned char>(std::lround(alpha * 255));
    }
  }
  return disc;
}

// Blends the picture over the canvas with its top-left corner at (x, y),
// clipped to the canvas.
void blendOver(ImageBuffer& canvas, const ImageBuffer& picture, int x, int y) {
  const int width = static_cast<int>(canvas.width);
  const int height = static_cast<int>(canvas.height);
  const int firstRow = std::max(0, -y);
  const int lastRow = std::min(static_cast<int>(picture.height), height - y);
  const int firstCol = std::max(0, -x);
  const int lastCol = std::min(static_cast<int>(picture.width), width - x);
  for (int row = firstRow; row < lastRow; ++row) {
    for (int col = firstCol; col < lastCol; ++col) {
      const unsigned char* in = picture.pixels.data() +
                                (toSize(row) * picture.width + toSize(col)) * 4;
      const unsigned alpha = in[3];
      if (alpha == 0) {
        continue;
      }
      unsigned char* out =
          canvas.pixels.data() +
          (toSize(y + row) * canvas.width + toSize(x + col)) * 4;
      const unsigned keep = 255U - alpha;
      for (int c = 0; c < 3; ++c) {
        out[c] = static_cast<unsigned char>(
            (in[c] * alpha + out[c] * keep + 127U) / 255U);
      }
      out[3] =
          static_cast<unsigned char>(alpha + (out[3] * keep + 127U) / 255U);
    }
  }
}

}  // namespace

std::optional<MoveGlyph> moveGlyphOf(std::string_view text) {
  const auto* const named = std::find_if(
      kGlyphs.begin(), kGlyphs.end(), [text](const GlyphFacts& facts) {
        return text == facts.text || text == facts.nag;
      });
  if (named == kGlyphs.end()) {
    return std::nullopt;
  }
  return named->glyph;
}

std::string_view moveGlyphText(MoveGlyph glyph) { return factsOf(glyph).text; }

TextColour moveGlyphColour(MoveGlyph glyph) { return factsOf(glyph).colour; }

PixelRect moveGlyphBadgeRect(PixelRect square, PixelRect board) {
  const int edge = std::min(square.w, square.h);
  if (edge < 1 || board.w < 1 || board.h < 1) {
    return PixelRect{board.x, board.y, 0, 0};
  }
  const int diameter =
      std::min({std::max(1, static_cast<int>(std::lround(edge * kBadgeShare))),
                board.w, board.h});
  const int overhang = static_cast<int>(std::lround(diameter * kOverhang));
  const int left = square.x + square.w - diameter + overhang;
  const int top = square.y - overhang;
  return PixelRect{std::clamp(left, board.x, board.x + board.w - diameter),
                   std::clamp(top, board.y, board.y + board.h - diameter),
                   diameter, diameter};
}

MoveGlyphPainter::MoveGlyphPainter(const TextRenderer& text) : text_(text) {}

PlacedText MoveGlyphPainter::label(MoveGlyph glyph, int diameter) const {
  const std::string label(moveGlyphText(glyph));
  // Two marks need a smaller size than one to stay inside the circle.
  const double widest = diameter * 0.68;
  int size = std::max(1, static_cast<int>(std::lround(diameter * 0.62)));
  std::shared_ptr<const TextMask> mask =
      text_.rasterise(label, size, FontWeight::bold);
  if (mask->width > widest) {
    size = std::max(1, static_cast<int>(size * widest / mask->width));
    mask = text_.rasterise(label, size, FontWeight::bold);
  }
  return {label,
          (diameter - mask->width) / 2 - mask->left,
          (diameter - mask->height) / 2 + mask->top,
          size,
          FontWeight::bold,
          TextColour{255, 255, 255, 255}};
}

std::shared_ptr<const ImageBuffer> MoveGlyphPainter::badge(MoveGlyph glyph,
                                                           int diameter) const {
  if (diameter < 1 || diameter > static_cast<int>(kCanvasEdge)) {
    throw TextError("badge diameter " + std::to_string(diameter) +
                    " is outside 1 to " + std::to_string(kCanvasEdge));
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto cached = badges_.find({glyph, diameter});
  if (cached != badges_.end()) {
    return cached->second;
  }
  ImageBuffer picture = drawDisc(diameter, moveGlyphColour(glyph));
  const PlacedText mark = label(glyph, diameter);
  blendMask(picture, *text_.rasterise(mark.text, mark.size, mark.weight),
            mark.x, mark.baseline, mark.colour);
  if (badges_.size() >= kCachedBadges) {
    badges_.clear();
  }
  auto made = std::make_shared<const ImageBuffer>(std::move(picture));
  badges_.emplace(std::make_pair(glyph, diameter), made);
  return made;
}

void MoveGlyphPainter::draw(ImageBuffer& canvas, MoveGlyph glyph,
                            PixelRect square, PixelRect board) const {
  if (canvas.pixels.size() <
      static_cast<std::size_t>(canvas.width) * canvas.height * 4) {
    throw TextError("picture holds fewer bytes than its size says");
  }
  const PixelRect place = moveGlyphBadgeRect(square, board);
  if (place.w < 1) {
    return;
  }
  blendOver(canvas, *badge(glyph, place.w), place.x, place.y);
}

}  // namespace tib
