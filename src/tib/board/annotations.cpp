#include "tib/board/annotations.h"

#include <pixman.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "tib/board/mark_style.h"

namespace tib {

namespace {

// Segments of a ring's outline.
constexpr int kRingSegments = 72;

struct ImageRelease {
  void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using Image = std::unique_ptr<pixman_image_t, ImageRelease>;

Image checked(pixman_image_t* image) {
  if (image == nullptr) {
    throw std::bad_alloc();
  }
  return Image(image);
}

// The canvas as pixman sees it: its RGBA bytes are a8b8g8r8 words on a
// little-endian machine. Drawing changes only the pixels inside clip; each
// of them is computed from the shapes alone, so it gets what a whole draw
// gives it.
Image canvasImage(ImageBuffer& canvas, const Box& clip) {
  static_assert(sizeof(uint32_t) == 4);
  Image image = checked(pixman_image_create_bits(
      PIXMAN_a8b8g8r8, static_cast<int>(kCanvasEdge),
      static_cast<int>(kCanvasEdge),
      // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
      reinterpret_cast<uint32_t*>(canvas.pixels.data()),
      static_cast<int>(kCanvasEdge * 4)));
  pixman_region32_t region;
  pixman_region32_init_rect(&region, clip.x, clip.y,
                            static_cast<unsigned>(std::max(clip.w, 0)),
                            static_cast<unsigned>(std::max(clip.h, 0)));
  const bool clipped =
      pixman_image_set_clip_region32(image.get(), &region) != 0;
  pixman_region32_fini(&region);
  if (!clipped) {
    throw std::bad_alloc();
  }
  return image;
}

uint16_t wide(unsigned char byte, double opacity) {
  return static_cast<uint16_t>(std::lround(byte * 257.0 * opacity));
}

// Premultiplied, as pixman's solid fills take it.
pixman_color_t premultiplied(const Paint& paint, double opacity) {
  const double a = paint.opacity * opacity;
  return {wide(paint.r, a), wide(paint.g, a), wide(paint.b, a), wide(255, a)};
}

// Straight, as pixman's gradient stops take it.
pixman_color_t straight(const Paint& paint) {
  return {wide(paint.r, 1.0), wide(paint.g, 1.0), wide(paint.b, 1.0),
          wide(255, paint.opacity)};
}

pixman_fixed_t fixed(double value) {
  return static_cast<pixman_fixed_t>(std::lround(value * 65536.0));
}

using Point = CanvasPoint;

pixman_point_fixed_t fixedPoint(const Point& p) {
  return {fixed(p.x), fixed(p.y)};
}

pixman_triangle_t triangle(const Point& a, const Point& b, const Point& c) {
  return {fixedPoint(a), fixedPoint(b), fixedPoint(c)};
}

void fillSquare(pixman_image_t* canvas, const Box& box,
                const pixman_color_t& colour) {
  const pixman_rectangle16_t rectangle{
      static_cast<int16_t>(box.x), static_cast<int16_t>(box.y),
      static_cast<uint16_t>(box.w), static_cast<uint16_t>(box.h)};
  pixman_image_fill_rectangles(PIXMAN_OP_OVER, canvas, &colour, 1, &rectangle);
}

void drawGlow(pixman_image_t* canvas, const Box& box) {
  const Point centre = centreOf(box);
  const double reach = std::hypot(box.w / 2.0, box.h / 2.0);
  std::array<pixman_gradient_stop_t, kCheckGlow.size()> stops{};
  for (std::size_t i = 0; i < stops.size(); ++i) {
    stops[i] = {fixed(kCheckGlow[i].at), straight(kCheckGlow[i].paint)};
  }
  const pixman_point_fixed_t middle = fixedPoint(centre);
  const Image glow = checked(pixman_image_create_radial_gradient(
      &middle, &middle, 0, fixed(reach), stops.data(),
      static_cast<int>(stops.size())));
  pixman_image_composite32(PIXMAN_OP_OVER, glow.get(), nullptr, canvas, box.x,
                           box.y, 0, 0, box.x, box.y, box.w, box.h);
}

// An arrow from the centre of one square to the centre of the other: a
// shaft and a head, one shape.
std::vector<pixman_triangle_t> arrowShape(const Point& from, const Point& to) {
  const std::array<Point, 7> p = arrowOutline(from, to);
  return {triangle(p[0], p[6], p[5]), triangle(p[0], p[5], p[1]),
          triangle(p[2], p[4], p[3])};
}

// A ring inside the square around its centre.
std::vector<pixman_triangle_t> ringShape(const Point& centre) {
  const auto unit = static_cast<double>(kSquareHeight);
  const double outer = kRingRadius * unit;
  const double inner = outer - kRingWidth * unit;
  const auto on = [&](double radius, int step) {
    const double angle = 2 * M_PI * step / kRingSegments;
    return Point{centre.x + radius * std::cos(angle),
                 centre.y + radius * std::sin(angle)};
  };
  std::vector<pixman_triangle_t> shape;
  shape.reserve(std::size_t{2} * kRingSegments);
  for (int step = 0; step < kRingSegments; ++step) {
    shape.push_back(
        triangle(on(outer, step), on(outer, step + 1), on(inner, step + 1)));
    shape.push_back(
        triangle(on(outer, step), on(inner, step + 1), on(inner, step)));
  }
  return shape;
}

}  // namespace

CanvasPoint centreOf(const Box& box) {
  return {box.x + box.w / 2.0, box.y + box.h / 2.0};
}

std::array<CanvasPoint, 7> arrowOutline(const CanvasPoint& from,
                                        const CanvasPoint& to) {
  const auto unit = static_cast<double>(kSquareHeight);
  const double length = std::hypot(to.x - from.x, to.y - from.y);
  const Point along{(to.x - from.x) / length, (to.y - from.y) / length};
  const Point across{-along.y, along.x};
  const auto at = [&](double forward, double side) {
    return Point{from.x + along.x * forward + across.x * side,
                 from.y + along.y * forward + across.y * side};
  };
  const double shaft = kShaftWidth * unit / 2;
  const double head = kHeadWidth * unit / 2;
  const double base = length - kHeadLength * unit;
  return {at(0, -shaft),  at(base, -shaft), at(base, -head), to,
          at(base, head), at(base, shaft),  at(0, shaft)};
}

bool hasAnnotations(const Annotations& annotations) {
  return annotations.orientation != Orientation::white ||
         !annotations.coordinates || !annotations.lastMove.empty() ||
         annotations.check || !annotations.highlights.empty() ||
         !annotations.arrows.empty();
}

void drawUnderPieces(ImageBuffer& canvas, const Annotations& annotations,
                     const Box& clip) {
  if (annotations.highlights.empty() && annotations.lastMove.empty() &&
      !annotations.check) {
    return;
  }
  const Image image = canvasImage(canvas, clip);
  const Orientation view = annotations.orientation;
  for (const Mark& mark : annotations.highlights) {
    fillSquare(image.get(), squareBox(mark.to, view),
               premultiplied(paintOf(mark.colour), kHighlightOpacity));
  }
  for (const Square& square : annotations.lastMove) {
    fillSquare(image.get(), squareBox(square, view),
               premultiplied(kLastMoveTint, 1.0));
  }
  if (annotations.check) {
    drawGlow(image.get(), squareBox(*annotations.check, view));
  }
}

void drawOverPieces(ImageBuffer& canvas, const Annotations& annotations,
                    const Box& clip) {
  if (annotations.arrows.empty()) {
    return;
  }
  const Image image = canvasImage(canvas, clip);
  const Orientation view = annotations.orientation;
  for (const Mark& mark : annotations.arrows) {
    // Each shape lies within its squares' box. Its coverage is rasterized
    // only where that box meets the clip: at a whole-pixel offset the
    // rasterizer gives each pixel the coverage it gives it in a mask of
    // the whole shape, and a redrawn strip of a long arrow costs the strip.
    const Box area = intersection(
        unite(squareBox(mark.from, view), squareBox(mark.to, view)), clip);
    if (area.w <= 0 || area.h <= 0) {
      continue;
    }
    const Point from = centreOf(squareBox(mark.from, view));
    const std::vector<pixman_triangle_t> shape =
        mark.from == mark.to
            ? ringShape(from)
            : arrowShape(from, centreOf(squareBox(mark.to, view)));
    const Image coverage = checked(
        pixman_image_create_bits(PIXMAN_a8, area.w, area.h, nullptr, 0));
    pixman_add_triangles(coverage.get(), -area.x, -area.y,
                         static_cast<int>(shape.size()), shape.data());
    const pixman_color_t colour =
        premultiplied(paintOf(mark.colour), kArrowOpacity);
    const Image paint = checked(pixman_image_create_solid_fill(&colour));
    pixman_image_composite32(PIXMAN_OP_OVER, paint.get(), coverage.get(),
                             image.get(), 0, 0, 0, 0, area.x, area.y, area.w,
                             area.h);
  }
}

std::vector<Box> markCover(const Mark& mark, Orientation orientation) {
  const Box fromBox = squareBox(mark.from, orientation);
  const Box toBox = squareBox(mark.to, orientation);
  if (mark.from == mark.to) {
    return {fromBox};
  }
  const Box both = unite(fromBox, toBox);
  const Point from = centreOf(fromBox);
  const Point to = centreOf(toBox);
  // Every pixel of the arrow lies within half the head's width of the
  // line between the centres; a pixel more for the edges' coverage.
  const double reach = kHeadWidth * static_cast<double>(kSquareHeight) / 2 + 1;
  // Where the line is at height y, for a line that is not level.
  const auto xAt = [&](double y) {
    return from.x + (to.x - from.x) * (y - from.y) / (to.y - from.y);
  };
  std::vector<Box> cover;
  for (int top = both.y; top < both.y + both.h;
       top += static_cast<int>(kSquareHeight)) {
    const int bottom = top + static_cast<int>(kSquareHeight);
    // The stretch of the line within reach of this row of squares.
    const double low = std::max(std::min(from.y, to.y), top - reach);
    const double high = std::min(std::max(from.y, to.y), bottom + reach);
    double left = std::min(from.x, to.x);
    double right = std::max(from.x, to.x);
    if (from.y != to.y) {
      left = std::min(xAt(low), xAt(high));
      right = std::max(xAt(low), xAt(high));
    }
    const Box row{static_cast<int>(std::floor(left - reach)), top,
                  static_cast<int>(std::ceil(right - left + 2 * reach)) + 1,
                  bottom - top};
    cover.push_back(intersection(row, both));
  }
  return cover;
}

}  // namespace tib
