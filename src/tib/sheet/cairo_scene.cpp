#include "tib/sheet/cairo_scene.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "tib/board/error.h"
#include "tib/board/mark_style.h"

namespace tib {

namespace {

// Room around a group's own box, for a drawing that reaches past it.
constexpr int kGroupMargin = 512;

void setColour(cairo_t* cr, const Rgb& colour, double opacity) {
  cairo_set_source_rgba(cr, colour.r / 255.0, colour.g / 255.0,
                        colour.b / 255.0, opacity);
}

// One group as a document of its own, drawn at kGroupMargin from the
// origin.
RsvgHandle* readGroup(const std::string& group, const std::string& shared) {
  const std::string document =
      R"(<svg xmlns="http://www.w3.org/2000/svg" )"
      R"(xmlns:xlink="http://www.w3.org/1999/xlink"><defs>)" +
      shared + "</defs><g transform=\"translate(" +
      std::to_string(kGroupMargin) + ' ' + std::to_string(kGroupMargin) +
      ")\">" + group + "</g></svg>";
  GError* error = nullptr;
  RsvgHandle* handle = rsvg_handle_new_from_data(
      reinterpret_cast<const guint8*>(document.data()), document.size(),
      &error);
  if (handle == nullptr) {
    const std::string why = error != nullptr ? error->message : "unknown";
    if (error != nullptr) {
      g_error_free(error);
    }
    const std::size_t idEnd = group.find('"', 7);
    throw Error("cannot read the piece group " +
                group.substr(7, idEnd == std::string::npos ? 0 : idEnd - 7) +
                ": " + why);
  }
  return handle;
}

double number(std::string_view& data) {
  std::size_t length = 0;
  while (
      length < data.size() &&
      (data[length] == '-' || (data[length] >= '0' && data[length] <= '9'))) {
    ++length;
    if (length < data.size() && data[length] == '-') {
      break;
    }
  }
  if (length == 0) {
    throw Error("glyph path data: a number expected at \"" +
                std::string(data.substr(0, 16)) + "\"");
  }
  const double value =
      std::strtod(std::string(data.substr(0, length)).c_str(), nullptr);
  data.remove_prefix(length);
  while (!data.empty() && data.front() == ' ') {
    data.remove_prefix(1);
  }
  return value;
}

void paintShape(cairo_t* cr, const FilledBoxes& filled) {
  for (const Box& box : filled.boxes) {
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
  }
  setColour(cr, filled.colour, filled.opacity);
  cairo_fill(cr);
}

void paintShape(cairo_t* cr, const TiledSquares& squares) {
  const ImageBuffer& picture = squares.tile->picture;
  const auto width = static_cast<int>(picture.width);
  const auto height = static_cast<int>(picture.height);
  cairo_surface_t* tile =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  const int stride = cairo_image_surface_get_stride(tile);
  unsigned char* data = cairo_image_surface_get_data(tile);
  cairo_surface_flush(tile);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned char* from =
          &picture.pixels[(static_cast<std::size_t>(y) * picture.width +
                           static_cast<std::size_t>(x)) *
                          4];
      const uint32_t rgb = uint32_t{from[0]} << 16U | uint32_t{from[1]} << 8U |
                           uint32_t{from[2]};
      std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride +
                      static_cast<std::ptrdiff_t>(x) * 4,
                  &rgb, sizeof rgb);
    }
  }
  cairo_surface_mark_dirty(tile);
  for (const auto& [box, offset] : squares.squares) {
    cairo_save(cr);
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
    cairo_clip(cr);
    cairo_set_source_surface(cr, tile, box.x - offset.x, box.y - offset.y);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_REPEAT);
    cairo_paint(cr);
    cairo_restore(cr);
  }
  cairo_surface_destroy(tile);
}

void paintShape(cairo_t* cr, const Glow& glow) {
  const CanvasPoint centre = centreOf(glow.box);
  cairo_pattern_t* gradient = cairo_pattern_create_radial(
      centre.x, centre.y, 0, centre.x, centre.y,
      std::hypot(glow.box.w / 2.0, glow.box.h / 2.0));
  for (const GlowStop& stop : kCheckGlow) {
    cairo_pattern_add_color_stop_rgba(gradient, stop.at, stop.paint.r / 255.0,
                                      stop.paint.g / 255.0,
                                      stop.paint.b / 255.0, stop.paint.opacity);
  }
  cairo_rectangle(cr, glow.box.x, glow.box.y, glow.box.w, glow.box.h);
  cairo_set_source(cr, gradient);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);
}

void paintShape(cairo_t* cr, const Polygon& polygon) {
  for (const CanvasPoint& point : polygon.points) {
    cairo_line_to(cr, point.x, point.y);
  }
  cairo_close_path(cr);
  setColour(cr, polygon.colour, polygon.opacity);
  cairo_fill(cr);
}

void paintShape(cairo_t* cr, const Ring& ring) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, ring.centre.x, ring.centre.y, ring.radius, 0, 2 * M_PI);
  cairo_set_line_width(cr, ring.width);
  setColour(cr, ring.colour, ring.opacity);
  cairo_stroke(cr);
}

void paintShape(cairo_t* cr, const GlyphUse& glyph, const GlyphPaths& paths) {
  const auto path = paths.find(glyph.glyph);
  if (path == paths.end()) {
    return;
  }
  cairo_save(cr);
  cairo_translate(cr, glyph.x, glyph.y);
  cairo_scale(cr, glyph.scale, -glyph.scale);
  appendGlyphPath(cr, path->second);
  cairo_restore(cr);
  setColour(cr, glyph.colour, 1);
  cairo_fill(cr);
}

}  // namespace

void ScenePainter::Release::operator()(cairo_surface_t* surface) const {
  cairo_surface_destroy(surface);
}

void ScenePainter::Release::operator()(RsvgHandle* handle) const {
  g_object_unref(handle);
}

ScenePainter::ScenePainter(const PieceVectors& pieces,
                           const PieceVectors& markers, bool recorded) {
  for (std::size_t i = 0; i < kGroups; ++i) {
    const PieceVectors& from = i < kPieces.size() ? pieces : markers;
    handles_[i].reset(readGroup(from.groups[i], from.shared));
    if (recorded) {
      recordings_[i].reset(
          cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr));
      cairo_t* cr = cairo_create(recordings_[i].get());
      cairo_translate(cr, kGroupMargin, kGroupMargin);
      drawGroup(cr, i);
      cairo_destroy(cr);
    }
  }
}

ScenePainter::~ScenePainter() = default;

// The group with its box's corner at the origin.
void ScenePainter::drawGroup(cairo_t* cr, std::size_t group) const {
  cairo_save(cr);
  cairo_translate(cr, -kGroupMargin, -kGroupMargin);
  const RsvgRectangle viewport{0, 0, 4 * kGroupMargin, 4 * kGroupMargin};
  GError* error = nullptr;
  const bool drawn = rsvg_handle_render_document(handles_.at(group).get(), cr,
                                                 &viewport, &error) != 0;
  cairo_restore(cr);
  if (!drawn) {
    const std::string why = error != nullptr ? error->message : "unknown";
    if (error != nullptr) {
      g_error_free(error);
    }
    throw Error("cannot draw the piece group " + std::to_string(group) + ": " +
                why);
  }
}

void ScenePainter::paint(cairo_t* cr, const Scene& scene,
                         const GlyphPaths& glyphs, double side) const {
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, side, side);
  cairo_clip(cr);
  cairo_scale(cr, side / 1024, side / 1024);
  for (const Shape& shape : scene.shapes) {
    std::visit(
        [&](const auto& each) {
          using Kind = std::decay_t<decltype(each)>;
          if constexpr (std::is_same_v<Kind, GroupUse>) {
            cairo_save(cr);
            cairo_translate(cr, each.box.x, each.box.y);
            cairo_scale(cr, each.scaleX, each.scaleY);
            if (recordings_.at(each.group)) {
              cairo_set_source_surface(cr, recordings_[each.group].get(),
                                       -kGroupMargin, -kGroupMargin);
              cairo_paint(cr);
            } else {
              drawGroup(cr, each.group);
            }
            cairo_restore(cr);
          } else if constexpr (std::is_same_v<Kind, GlyphUse>) {
            paintShape(cr, each, glyphs);
          } else {
            paintShape(cr, each);
          }
        },
        shape);
  }
  cairo_restore(cr);
}

void appendGlyphPath(cairo_t* cr, std::string_view data) {
  double x = 0;
  double y = 0;
  double startX = 0;
  double startY = 0;
  while (!data.empty()) {
    const char command = data.front();
    data.remove_prefix(1);
    if (command == 'z') {
      cairo_close_path(cr);
      x = startX;
      y = startY;
    } else if (command == 'm' || command == 'l') {
      x += number(data);
      y += number(data);
      if (command == 'm') {
        cairo_move_to(cr, x, y);
        startX = x;
        startY = y;
      } else {
        cairo_line_to(cr, x, y);
      }
    } else if (command == 'q') {
      // A quadratic curve as the cubic that draws it.
      const double cx = x + number(data);
      const double cy = y + number(data);
      const double ex = x + number(data);
      const double ey = y + number(data);
      cairo_curve_to(cr, x + 2 * (cx - x) / 3, y + 2 * (cy - y) / 3,
                     ex + 2 * (cx - ex) / 3, ey + 2 * (cy - ey) / 3, ex, ey);
      x = ex;
      y = ey;
    } else if (command == 'c') {
      const double x1 = x + number(data);
      const double y1 = y + number(data);
      const double x2 = x + number(data);
      const double y2 = y + number(data);
      const double ex = x + number(data);
      const double ey = y + number(data);
      cairo_curve_to(cr, x1, y1, x2, y2, ex, ey);
      x = ex;
      y = ey;
    } else {
      throw Error(std::string("glyph path data: unknown command '") + command +
                  "'");
    }
  }
}

}  // namespace tib
