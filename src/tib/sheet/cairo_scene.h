// A vector scene drawn with cairo, for print: the same shapes the SVG
// writer writes, the pieces from their groups in pieces.svg as librsvg
// draws them (the renderer the artwork's sprites come from).
#pragma once

#include <cairo.h>

#include <array>
#include <memory>

#include "tib/vector/outlines.h"
#include "tib/vector/piece_vectors.h"
#include "tib/vector/scene.h"

namespace tib {

// Each group of a piece set and a theme's markers recorded once: a PDF
// then holds each piece once, as a form every cell paints.
class ScenePainter {
 public:
  // Throws an Error naming the group librsvg cannot read.
  ScenePainter(const PieceVectors& pieces, const PieceVectors& markers);
  ~ScenePainter();
  ScenePainter(const ScenePainter&) = delete;
  ScenePainter& operator=(const ScenePainter&) = delete;

  // The scene's 1024-unit canvas drawn into the current user space's
  // square (0, 0)-(side, side), its letters from glyphs.
  void paint(cairo_t* cr, const Scene& scene, const GlyphPaths& glyphs,
             double side) const;

 private:
  struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const;
  };
  using Recording = std::unique_ptr<cairo_surface_t, SurfaceRelease>;
  std::array<Recording, std::tuple_size_v<decltype(PieceVectors::groups)>>
      groups_;
};

// Path data of GlyphPaths (relative m, l, q, c and z, y up) appended to
// cr's path at the origin. Throws an Error on a command it does not know.
void appendGlyphPath(cairo_t* cr, std::string_view data);

}  // namespace tib
