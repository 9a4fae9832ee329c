#include "tib/decorated.h"

#include <string>

#include "codec/png_encode.h"
#include "tib/error.h"

namespace tib {

namespace {

// A tag's value, or "" for none and for the "?" of an unknown one.
std::string tagText(const chess::Game& game, std::string_view name) {
  const std::optional<std::string_view> value = chess::tagValue(game, name);
  if (!value || *value == "?" || *value == "-") {
    return {};
  }
  return std::string(*value);
}

// The clock of a side after ply plies: its last move's [%clk] up to there.
std::optional<int> clockAfter(const chess::Game& game, std::size_t ply,
                              chess::Side side) {
  for (std::size_t i = ply; i > 0; --i) {
    const chess::Ply& played = game.plies[i - 1];
    const chess::Side mover = chess::opposite(played.after.sideToMove());
    if (mover == side && played.commentary.clockCentiseconds) {
      return static_cast<int>(*played.commentary.clockCentiseconds);
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<unsigned char> renderDecoratedPng(const Artwork& artwork,
                                              const Sprites& pieces,
                                              const Diagram& diagram,
                                              const Decorations& decorations,
                                              const Lettering& lettering,
                                              Threads threads) {
  if (!decorations.bars && !decorations.glyph) {
    return renderPng(artwork, pieces, diagram, threads);
  }
  checkSize(diagram.settings);
  if (diagram.settings.Size == 0) {
    return {};
  }
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

Decorations plyDecorations(const chess::Game& game, std::size_t ply,
                           Orientation orientation, bool players) {
  Decorations decorations;
  if (players) {
    PlayerBars bars;
    for (const chess::Side side : {chess::Side::white, chess::Side::black}) {
      const std::string colour = side == chess::Side::white ? "White" : "Black";
      PlayerInfo& player = side == chess::Side::white ? bars.white : bars.black;
      player.name = tagText(game, colour);
      player.title = tagText(game, colour + "Title");
      player.rating = tagText(game, colour + "Elo");
      player.clockCentiseconds = clockAfter(game, ply, side);
    }
    bars.bottom = orientation == Orientation::white ? chess::Side::white
                                                    : chess::Side::black;
    bars.toMove = chess::positionAfter(game, ply).sideToMove();
    const auto known = [](const PlayerInfo& player) {
      return !player.name.empty() || !player.title.empty() ||
             !player.rating.empty() || player.clockCentiseconds;
    };
    // A game that says nothing of its players gets no bars.
    if (known(bars.white) || known(bars.black)) {
      decorations.bars = bars;
    }
  }
  if (ply > 0) {
    const chess::Ply& played = game.plies.at(ply - 1);
    if (played.glyph) {
      decorations.glyph = moveGlyphOf(chess::glyphText(*played.glyph));
      decorations.glyphSquare = played.move.kind == chess::MoveKind::castling
                                    ? chess::kingDestination(played.move)
                                    : played.move.to;
    }
  }
  return decorations;
}

}  // namespace tib
