// Rendering a diagram from loaded artwork into PNG bytes in memory. Reads
// the artwork only, so any number of diagrams can be rendered at once from
// one loaded set.
#pragma once

#include <cstdint>
#include <vector>

#include "tib/board/annotations.h"
#include "tib/board/artwork.h"
#include "tib/board/drawing.h"
#include "tib/board/position.h"

namespace tib {

// One diagram: the position, the output's settings and what is drawn
// besides the position.
struct Diagram {
  Placement position = startingPlacement();
  Settings settings;
  Annotations annotations;
};

// Throws a ValueError when Size is below 0 or above kLargestSize.
void checkSize(const Settings& settings);

// The 1024 x 1024 canvas, with the pieces of a set (the artwork's own, or
// another folder's): the board of the diagram's view, the marks under
// the pieces, the position, the marks above it. Throws an Error when the
// artwork lacks the board of that view.
ImageBuffer drawDiagram(const Artwork& artwork, const Sprites& pieces,
                        const Diagram& diagram);

// The same with the artwork's own pieces.
inline ImageBuffer drawDiagram(const Artwork& artwork, const Diagram& diagram) {
  return drawDiagram(artwork, artwork.sprites, diagram);
}

// Draws again the part of a diagram inside clip, on a canvas that holds a
// diagram of the same view: the board's pixels there, then what lies on
// them. Each pixel inside clip ends as drawDiagram gives it.
void redrawDiagram(ImageBuffer& canvas, const Artwork& artwork,
                   const Sprites& pieces, const Diagram& diagram,
                   const Box& clip);

// The canvas row (or column) each output row (or column) of an edge x edge
// image comes from: (k x 1024) div edge, in 32-bit unsigned arithmetic.
std::vector<uint32_t> resampleSources(uint32_t edge);

// Nearest-neighbour resample of the 1024 x 1024 canvas to edge x edge RGBA
// pixels, sampling at the top-left corner of each output pixel.
std::vector<unsigned char> resampleCanvas(const ImageBuffer& canvas,
                                          uint32_t edge);

// How many threads the encoder may use: a service that renders on every
// core passes one, a program alone on the machine more.
struct Threads {
  unsigned count = 1;
};

// The diagram as a PNG of Size x Size pixels, with the pieces of a set,
// encoded with the codec's default settings. Size 0 gives no bytes: there is
// nothing to write. Throws an Error when the codec cannot encode it.
std::vector<unsigned char> renderPng(const Artwork& artwork,
                                     const Sprites& pieces,
                                     const Diagram& diagram,
                                     Threads threads = {});

// The same with the artwork's own pieces.
inline std::vector<unsigned char> renderPng(const Artwork& artwork,
                                            const Diagram& diagram,
                                            Threads threads = {}) {
  return renderPng(artwork, artwork.sprites, diagram, threads);
}

// The same for a run that needs the artwork no more: the position is drawn
// on the artwork's own board, which spares a copy of 4 MiB.
std::vector<unsigned char> renderPng(Artwork&& artwork, const Diagram& diagram,
                                     Threads threads = {});

}  // namespace tib
