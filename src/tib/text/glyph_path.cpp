#include "tib/text/glyph_path.h"

#include FT_OUTLINE_H

#include <array>

namespace tib {

namespace {

// Path data of an outline, integers, relative: shorter, and alike from
// glyph to glyph.
struct PathWriter {
  std::string data;
  FT_Pos x = 0;
  FT_Pos y = 0;
  // Where the contour started, where closing it leaves the pen.
  FT_Vector start{0, 0};

  void close() {
    if (!data.empty()) {
      data += 'z';
      x = start.x;
      y = start.y;
    }
  }

  void add(char command, const FT_Vector* points, int count) {
    data += command;
    for (int i = 0; i < count; ++i) {
      const FT_Pos dx = outlineUnits(points[i].x) - x;
      const FT_Pos dy = outlineUnits(points[i].y) - y;
      if (i > 0 && dx >= 0) {
        data += ' ';
      }
      data += std::to_string(dx);
      if (dy >= 0) {
        data += ' ';
      }
      data += std::to_string(dy);
    }
    x = outlineUnits(points[count - 1].x);
    y = outlineUnits(points[count - 1].y);
  }
};

int moveTo(const FT_Vector* to, void* user) {
  auto* path = static_cast<PathWriter*>(user);
  path->close();
  path->add('m', to, 1);
  path->start = {outlineUnits(to->x), outlineUnits(to->y)};
  return 0;
}

int lineTo(const FT_Vector* to, void* user) {
  static_cast<PathWriter*>(user)->add('l', to, 1);
  return 0;
}

int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
  const std::array<FT_Vector, 2> points{*control, *to};
  static_cast<PathWriter*>(user)->add('q', points.data(), 2);
  return 0;
}

int cubicTo(const FT_Vector* first, const FT_Vector* second,
            const FT_Vector* to, void* user) {
  const std::array<FT_Vector, 3> points{*first, *second, *to};
  static_cast<PathWriter*>(user)->add('c', points.data(), 3);
  return 0;
}

}  // namespace

FT_Pos outlineUnits(FT_Pos fontUnits) {
  return fontUnits >= 0
             ? (fontUnits + kOutlineQuantum / 2) / kOutlineQuantum
             : -((-fontUnits + kOutlineQuantum / 2) / kOutlineQuantum);
}

std::string glyphPath(FT_Face face, uint32_t glyph) {
  // Font units, untransformed: whatever the pixel drawing last set.
  FT_Set_Transform(face, nullptr, nullptr);
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE) != 0 ||
      face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
    return {};
  }
  const FT_Outline_Funcs funcs{moveTo, lineTo, conicTo, cubicTo, 0, 0};
  PathWriter path;
  FT_Outline_Decompose(&face->glyph->outline, &funcs, &path);
  path.close();
  return path.data;
}

}  // namespace tib
