#include "tib/decoration/decorated.h"

#include <string>

#include "codec/png_encode.h"
#include "tib/board/error.h"

namespace tib {

DecorationParts decorationParts(const Decorations& decorations) {
  return {decorations.bars.has_value(), decorations.glyph.has_value(),
          decorations.evalBar.has_value()};
}

PixelRect glyphBadgeRect(const Decorations& decorations, Orientation view) {
  const Box square = squareBox(decorations.glyphSquare, view);
  return moveGlyphBadgeRect({square.x, square.y, square.w, square.h},
                            kBoardRect);
}

std::vector<unsigned char> renderDecoratedPng(const Artwork& artwork,
                                              const Sprites& pieces,
                                              const Diagram& diagram,
                                              const Decorations& decorations,
                                              const Lettering& lettering,
                                              Threads threads) {
  if (!decorationParts(decorations).any()) {
    return renderPng(artwork, pieces, diagram, threads);
  }
  checkSize(diagram.settings);
  if (diagram.settings.Size == 0) {
    return {};
  }
  const ImageBuffer picture =
      decoratedPixels(artwork, pieces, diagram, decorations, lettering);
  std::vector<unsigned char> png;
  const unsigned error =
      codec::encodePng(png, picture.pixels, picture.width, picture.height,
                       codec::EncodeThreads{threads.count});
  if (error != 0) {
    throw Error("cannot encode the diagram (code " + std::to_string(error) +
                ")");
  }
  return png;
}

ImageBuffer decoratedPixels(const Artwork& artwork, const Sprites& pieces,
                            const Diagram& diagram,
                            const Decorations& decorations,
                            const Lettering& lettering) {
  ImageBuffer canvas = drawDiagram(artwork, pieces, diagram);
  if (decorations.glyph) {
    const Box square =
        squareBox(decorations.glyphSquare, diagram.annotations.orientation);
    lettering.glyphs.draw(canvas, *decorations.glyph,
                          {square.x, square.y, square.w, square.h}, kBoardRect);
  }
  const auto edge = static_cast<uint32_t>(diagram.settings.Size);
  ImageBuffer picture{edge == kCanvasEdge ? std::move(canvas.pixels)
                                          : resampleCanvas(canvas, edge),
                      edge, edge};
  if (decorations.bars) {
    picture = addPlayerBars(picture, *decorations.bars, lettering.text);
  }
  if (decorations.evalBar) {
    const int rows = decorations.bars ? barHeight(diagram.settings.Size) : 0;
    picture = addEvalColumn(picture, rows, rows, *decorations.evalBar,
                            diagram.annotations.orientation, lettering.text);
  }
  return picture;
}

}  // namespace tib
