#include "tib/game/analysis.h"

#include <array>

#include "chess/evaluation.h"

namespace tib {

namespace {

const std::optional<chess::Evaluation>& evalAfter(const chess::Game& game,
                                                  std::size_t ply) {
  return ply == 0 ? game.startCommentary.eval
                  : game.plies[ply - 1].commentary.eval;
}

EvalBar barAt(const chess::Game& game, std::size_t ply) {
  for (std::size_t known = ply + 1; known > 0; --known) {
    if (const auto& eval = evalAfter(game, known - 1)) {
      return evalBarOf(*eval,
                       chess::positionAfter(game, known - 1).sideToMove());
    }
  }
  return {};
}

}  // namespace

bool showsEvalBar(const chess::Game& game, const AnalysisOptions& options) {
  if (options.evalBar) {
    return *options.evalBar;
  }
  for (std::size_t ply = 0; ply <= game.plies.size(); ++ply) {
    if (evalAfter(game, ply)) {
      return true;
    }
  }
  return false;
}

std::string materialText(const chess::PieceCounts& captured, int ahead) {
  // Queen, rook, bishop, knight, pawn.
  static constexpr std::array<const char*, 5> kSymbols{"♟", "♞", "♝", "♜", "♛"};
  std::string text;
  for (std::size_t kind = captured.size(); kind > 0; --kind) {
    for (int i = 0; i < captured[kind - 1]; ++i) {
      text += kSymbols[kind - 1];
    }
  }
  if (ahead > 0) {
    text += (text.empty() ? "+" : " +") + std::to_string(ahead);
  }
  return text;
}

void addAnalysis(const chess::Game& game, std::size_t ply,
                 const AnalysisOptions& options, Decorations& decorations) {
  if (showsEvalBar(game, options)) {
    decorations.evalBar = barAt(game, ply);
  }
  if (options.material && decorations.bars) {
    const chess::Material material = chess::materialAfter(game, ply);
    decorations.bars->white.material =
        materialText(material.captured[0], material.whiteAhead);
    decorations.bars->black.material =
        materialText(material.captured[1], -material.whiteAhead);
  }
  if (options.judge && ply > 0 && !decorations.glyph) {
    const chess::Ply& played = game.plies[ply - 1];
    const auto& before = evalAfter(game, ply - 1);
    const auto& after = evalAfter(game, ply);
    if (before && after) {
      const chess::Side mover = chess::opposite(played.after.sideToMove());
      if (const auto glyph = chess::judgedGlyph({*before, *after, mover})) {
        decorations.glyph = moveGlyphOf(chess::glyphText(*glyph));
        decorations.glyphSquare = played.move.kind == chess::MoveKind::castling
                                      ? chess::kingDestination(played.move)
                                      : played.move.to;
      }
    }
  }
}

}  // namespace tib
