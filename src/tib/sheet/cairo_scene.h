// A vector scene drawn with cairo, for print: the same shapes the SVG
// writer writes, the pieces from their groups in pieces.svg as librsvg
// draws them (the renderer the artwork's sprites come from).
#pragma once

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <array>
#include <memory>

#include "tib/vector/outlines.h"
#include "tib/vector/piece_vectors.h"
#include "tib/vector/scene.h"

namespace tib {

// Each group of a piece set and a theme's markers read once and, for a
// PDF, recorded once: the PDF then holds each piece once, as a form every
// cell paints. Cairo's SVG writer loses the clips inside a recording, so
// for SVG each use draws its group anew.
class ScenePainter {
 public:
  // Throws an Error naming the group librsvg cannot read.
  ScenePainter(const PieceVectors& pieces, const PieceVectors& markers,
               bool recorded);
  ~ScenePainter();
  ScenePainter(const ScenePainter&) = delete;
  ScenePainter& operator=(const ScenePainter&) = delete;

  // The scene's 1024-unit canvas drawn into the current user space's
  // square (0, 0)-(side, side), its letters from glyphs.
  void paint(cairo_t* cr, const Scene& scene, const GlyphPaths& glyphs,
             double side) const;

 private:
  struct Release {
    void operator()(cairo_surface_t* surface) const;
    void operator()(RsvgHandle* handle) const;
  };
  void drawGroup(cairo_t* cr, std::size_t group) const;

  static constexpr std::size_t kGroups =
      std::tuple_size_v<decltype(PieceVectors::groups)>;
  std::array<std::unique_ptr<RsvgHandle, Release>, kGroups> handles_;
  // Empty unless recorded.
  std::array<std::unique_ptr<cairo_surface_t, Release>, kGroups> recordings_;
};

// Path data of GlyphPaths (relative m, l, q, c and z, y up) appended to
// cr's path at the origin. Throws an Error on a command it does not know.
void appendGlyphPath(cairo_t* cr, std::string_view data);

}  // namespace tib
