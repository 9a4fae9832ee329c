#include "tib/game/decorated_game.h"

#include <algorithm>
#include <string>

#include "tib/board/error.h"

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

bool sameBars(const PlayerInfo& a, const PlayerInfo& b) {
  return a.name == b.name && a.title == b.title && a.rating == b.rating &&
         a.clockCentiseconds == b.clockCentiseconds && a.material == b.material;
}

bool sameBars(const PlayerBars& a, const PlayerBars& b) {
  return sameBars(a.white, b.white) && sameBars(a.black, b.black) &&
         a.bottom == b.bottom && a.toMove == b.toMove;
}

}  // namespace

codec::GifPalette decoratedPalette(const Artwork& artwork,
                                   const Sprites& pieces,
                                   const Lettering& lettering) {
  // Both bars with every part they draw, at a common size, and each badge.
  PlayerBars bars{{"Player", "GM", "2500", 35999},
                  {"Player", "IM", "2400", 599},
                  chess::Side::white,
                  chess::Side::white};
  const DrawnBars drawn = drawPlayerBars(480, bars, lettering.text);
  bars.toMove = chess::Side::black;
  const DrawnBars other = drawPlayerBars(480, bars, lettering.text);
  std::vector<std::shared_ptr<const ImageBuffer>> badges;
  for (const char* glyph : {"!!", "!", "!?", "?!", "?", "??"}) {
    // cppcheck-suppress useStlAlgorithm
    badges.push_back(lettering.glyphs.badge(*moveGlyphOf(glyph), 48));
  }
  // The evaluation bar with a label on each fill, and material.
  const ImageBuffer whiteAhead = drawEvalColumn(
      480, 0, 0, {70.0F, "+1.3"}, Orientation::white, lettering.text);
  const ImageBuffer blackAhead = drawEvalColumn(
      480, 0, 0, {30.0F, "-0.4"}, Orientation::white, lettering.text);
  bars.white.material = "♛♜♝♞♟ +9";
  const DrawnBars material = drawPlayerBars(480, bars, lettering.text);
  std::vector<codec::RgbaPicture> shown;
  for (const ImageBuffer* picture :
       {&drawn.above, &drawn.below, &other.above, &other.below, &whiteAhead,
        &blackAhead, &material.above}) {
    // cppcheck-suppress useStlAlgorithm
    shown.push_back({picture->pixels.data(), picture->width, picture->height});
  }
  for (const auto& badge : badges) {
    // cppcheck-suppress useStlAlgorithm
    shown.push_back({badge->pixels.data(), badge->width, badge->height});
  }
  return animationPalette(artwork, pieces, shown);
}

FrameExtras decoratedExtras(const std::vector<AnimationFrame>& frames,
                            const std::vector<Decorations>& decorations,
                            const Lettering& lettering) {
  if (frames.empty() || decorations.size() != frames.size()) {
    throw Error("an animation needs a frame, and decorations for each");
  }
  const Diagram& first = frames.front().diagram;
  checkSize(first.settings);
  const Orientation view = first.annotations.orientation;
  const int edge = first.settings.Size;
  FrameExtras extras;
  extras.overBoxes = [&decorations, view](std::size_t f) {
    if (!decorations[f].glyph) {
      return std::vector<Box>();
    }
    const PixelRect rect = glyphBadgeRect(decorations[f], view);
    return std::vector<Box>{{rect.x, rect.y, rect.w, rect.h}};
  };
  extras.drawOver = [&decorations, &lettering, view](std::size_t f,
                                                     ImageBuffer& canvas) {
    if (decorations[f].glyph) {
      const Box square = squareBox(decorations[f].glyphSquare, view);
      lettering.glyphs.draw(canvas, *decorations[f].glyph,
                            {square.x, square.y, square.w, square.h},
                            kBoardRect);
    }
  };
  // Decided once for the whole animation, so that a game whose clocks
  // start later still shows them; a clock not yet known is left out.
  std::vector<PlayerBars> bars;
  const auto barred = std::find_if(
      decorations.begin(), decorations.end(),
      [](const Decorations& d) { return decorationParts(d).bars; });
  if (barred != decorations.end()) {
    PlayerBars unclocked = *barred->bars;
    unclocked.white.clockCentiseconds.reset();
    unclocked.black.clockCentiseconds.reset();
    bars.reserve(decorations.size());
    for (const Decorations& frame : decorations) {
      // cppcheck-suppress useStlAlgorithm
      bars.push_back(frame.bars.value_or(unclocked));
    }
  }
  if (!bars.empty() && edge > 0) {
    extras.barRows = static_cast<uint32_t>(barHeight(edge));
    extras.drawBars = [bars = std::move(bars), &lettering, edge](
                          std::size_t f, unsigned char* above,
                          unsigned char* below) {
      if (f > 0 && sameBars(bars[f], bars[f - 1])) {
        return false;
      }
      const DrawnBars drawn = drawPlayerBars(edge, bars[f], lettering.text);
      std::copy(drawn.above.pixels.begin(), drawn.above.pixels.end(), above);
      std::copy(drawn.below.pixels.begin(), drawn.below.pixels.end(), below);
      return true;
    };
  }
  const bool evalBars = std::any_of(
      decorations.begin(), decorations.end(),
      [](const Decorations& d) { return decorationParts(d).evalBar; });
  if (evalBars && edge > 0) {
    extras.sideColumns = static_cast<uint32_t>(evalColumnWidth(edge));
    extras.drawSide = [&decorations, &lettering, edge, view,
                       rows = static_cast<int>(extras.barRows)](
                          std::size_t f, unsigned char* column) {
      const EvalBar bar = decorations[f].evalBar.value_or(EvalBar{});
      if (f > 0 && bar == decorations[f - 1].evalBar.value_or(EvalBar{})) {
        return false;
      }
      const ImageBuffer drawn =
          drawEvalColumn(edge, rows, rows, bar, view, lettering.text);
      std::copy(drawn.pixels.begin(), drawn.pixels.end(), column);
      return true;
    };
  }
  return extras;
}

void writeDecoratedAnimation(const Artwork& artwork, const Sprites& pieces,
                             const codec::GifPalette& palette,
                             const std::vector<AnimationFrame>& frames,
                             const std::vector<Decorations>& decorations,
                             const Lettering& lettering,
                             const codec::GifSink& sink) {
  writeAnimation(artwork, pieces, palette, frames, sink,
                 decoratedExtras(frames, decorations, lettering));
}

bool drawDecoratedPixels(const Artwork& artwork, const Sprites& pieces,
                         const std::vector<AnimationFrame>& frames,
                         const std::vector<Decorations>& decorations,
                         const Lettering& lettering, const FramePixelSink& sink,
                         const std::function<bool()>& keepGoing) {
  return drawAnimationPixels(artwork, pieces, frames, sink, keepGoing,
                             decoratedExtras(frames, decorations, lettering));
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
