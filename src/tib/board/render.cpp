#include "tib/board/render.h"

#include <lodepng.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "codec/png_encode.h"
#include "tib/board/error.h"
#include "tib/board/position.h"
#include "tib/board/values.h"

namespace tib {

void checkSize(const Settings& settings) {
  checkSizeRange(settings.Size, 0, kLargestSize);
}

namespace {

std::size_t checkedBoard(const Artwork& artwork,
                         const Annotations& annotations) {
  const std::size_t index =
      boardIndex(annotations.orientation, annotations.coordinates);
  if (boardPicture(artwork, index) == nullptr) {
    throw Error(std::string("the artwork has no ") + kBoardFiles.at(index));
  }
  return index;
}

// Draws the diagram on a canvas that holds the board of its view, changing
// only the pixels inside clip.
void drawOnBoard(ImageBuffer& canvas, const Artwork& artwork,
                 const Sprites& pieces, const Diagram& diagram,
                 const Box& clip = kCanvasBox) {
  drawUnderPieces(canvas, diagram.annotations, clip);
  drawPosition(canvas, diagram.position, diagram.settings, pieces,
               artwork.markers, diagram.annotations.orientation, clip);
  drawOverPieces(canvas, diagram.annotations, clip);
}

}  // namespace

ImageBuffer drawDiagram(const Artwork& artwork, const Sprites& pieces,
                        const Diagram& diagram) {
  ImageBuffer canvas =
      *boardPicture(artwork, checkedBoard(artwork, diagram.annotations));
  drawOnBoard(canvas, artwork, pieces, diagram);
  return canvas;
}

void redrawDiagram(ImageBuffer& canvas, const Artwork& artwork,
                   const Sprites& pieces, const Diagram& diagram,
                   const Box& clip) {
  const ImageBuffer& board =
      *boardPicture(artwork, checkedBoard(artwork, diagram.annotations));
  const auto left = static_cast<std::size_t>(std::max(clip.x, 0));
  const auto right = static_cast<std::size_t>(
      std::clamp<int64_t>(int64_t{clip.x} + clip.w, 0, kCanvasEdge));
  const auto top = std::max(clip.y, 0);
  const auto bottom = static_cast<int>(
      std::clamp<int64_t>(int64_t{clip.y} + clip.h, 0, kCanvasEdge));
  if (left >= right || top >= bottom) {
    return;
  }
  for (int y = top; y < bottom; ++y) {
    const std::size_t at =
        (static_cast<std::size_t>(y) * kCanvasEdge + left) * 4;
    std::memcpy(canvas.pixels.data() + at, board.pixels.data() + at,
                (right - left) * 4);
  }
  drawOnBoard(canvas, artwork, pieces, diagram, clip);
}

std::vector<uint32_t> resampleSources(uint32_t edge) {
  std::vector<uint32_t> sources(edge);
  for (uint32_t k = 0; k < edge; ++k) {
    sources[k] = (k * kCanvasEdge) / edge;
  }
  return sources;
}

std::vector<unsigned char> resampleCanvas(const ImageBuffer& canvas,
                                          uint32_t edge) {
  std::vector<unsigned char> out(static_cast<std::size_t>(edge) * edge * 4);
  // Rows and columns take their sources by the same rule.
  const std::vector<uint32_t> sources = resampleSources(edge);
  unsigned char* to = out.data();
  for (uint32_t i = 0; i < edge; ++i) {
    const unsigned char* const row =
        canvas.pixels.data() +
        static_cast<std::size_t>(sources[i]) * kCanvasEdge * 4;
    // One pixel is one 4-byte copy.
    for (const uint32_t column : sources) {
      std::memcpy(to, row + static_cast<std::size_t>(column) * 4, 4);
      to += 4;
    }
  }
  return out;
}

namespace {

std::vector<unsigned char> encodeCanvas(const ImageBuffer& canvas,
                                        uint32_t edge, Threads threads) {
  // The codec's default encoder's bytes, written faster (codec/png_encode.h).
  std::vector<unsigned char> png;
  const codec::EncodeThreads encoding{threads.count};
  const unsigned error =
      edge == kCanvasEdge ? codec::encodePng(png, canvas.pixels, kCanvasEdge,
                                             kCanvasEdge, encoding)
                          : codec::encodePng(png, resampleCanvas(canvas, edge),
                                             edge, edge, encoding);
  if (error != 0) {
    throw Error(std::string("cannot encode the diagram: ") +
                lodepng_error_text(error));
  }
  return png;
}

}  // namespace

std::vector<unsigned char> renderPng(const Artwork& artwork,
                                     const Sprites& pieces,
                                     const Diagram& diagram, Threads threads) {
  checkSize(diagram.settings);
  if (diagram.settings.Size == 0) {
    return {};
  }
  return encodeCanvas(drawDiagram(artwork, pieces, diagram),
                      static_cast<uint32_t>(diagram.settings.Size), threads);
}

std::vector<unsigned char> renderPng(Artwork&& artwork, const Diagram& diagram,
                                     Threads threads) {
  checkSize(diagram.settings);
  if (diagram.settings.Size == 0) {
    return {};
  }
  const std::size_t index = checkedBoard(artwork, diagram.annotations);
  ImageBuffer canvas = std::move(artwork.boards[index]);
  drawOnBoard(canvas, artwork, artwork.sprites, diagram);
  return encodeCanvas(canvas, static_cast<uint32_t>(diagram.settings.Size),
                      threads);
}

}  // namespace tib
