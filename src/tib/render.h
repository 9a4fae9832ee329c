// Rendering a diagram from loaded artwork into PNG bytes in memory. Reads
// the artwork only, so any number of diagrams can be rendered at once from
// one loaded set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tib/annotations.h"
#include "tib/artwork.h"
#include "tib/drawing.h"
#include "tib/position.h"

namespace tib {

// One diagram: the position, the output's settings and what is drawn
// besides the position.
struct Diagram {
  // A FEN: drawing reads its placement field and side to move.
  std::string fen = kStartingPosition;
  Settings settings;
  Annotations annotations;
};

// Throws a Failure when Size is below 0 or above kLargestSize.
void checkSize(const Settings& settings);

// The 1024 x 1024 canvas, with the pieces of a set (the artwork's own, or
// another folder's): the board of the diagram's view, the marks under
// the pieces, the position, the marks above it. Throws a Failure when the
// artwork lacks the board of that view.
ImageBuffer drawDiagram(const Artwork& artwork, const Sprites& pieces,
                        const Diagram& diagram);

// The same with the artwork's own pieces.
inline ImageBuffer drawDiagram(const Artwork& artwork, const Diagram& diagram) {
  return drawDiagram(artwork, artwork.sprites, diagram);
}

// The canvas row (or column) each output row (or column) of an edge x edge
// image comes from: (k x 1024) div edge, in 32-bit unsigned arithmetic.
std::vector<uint32_t> resampleSources(uint32_t edge);

// Nearest-neighbour resample of the 1024 x 1024 canvas to edge x edge RGBA
// pixels, sampling at the top-left corner of each output pixel.
std::vector<unsigned char> resampleCanvas(const ImageBuffer& canvas,
                                          uint32_t edge);

// The diagram as a PNG of Size x Size pixels, with the pieces of a set,
// encoded with the codec's default settings. Size 0 gives no bytes: there is
// nothing to write. Throws a Failure when the codec cannot encode it.
std::vector<unsigned char> renderPng(const Artwork& artwork,
                                     const Sprites& pieces,
                                     const Diagram& diagram);

// The same with the artwork's own pieces.
inline std::vector<unsigned char> renderPng(const Artwork& artwork,
                                            const Diagram& diagram) {
  return renderPng(artwork, artwork.sprites, diagram);
}

// The same for a run that needs the artwork no more: the position is drawn
// on the artwork's own board, which spares a copy of 4 MiB.
std::vector<unsigned char> renderPng(Artwork&& artwork, const Diagram& diagram);

}  // namespace tib
