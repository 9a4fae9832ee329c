#include "tib/game/analysis.h"

#include <algorithm>
#include <array>

#include "chess/evaluation.h"

namespace tib {

namespace {

const std::optional<chess::Evaluation>& evalAfter(const chess::Game& game,
                                                  std::size_t ply) {
  return ply == 0 ? game.startCommentary.eval
                  : game.plies[ply - 1].commentary.eval;
}

EvalBar barAt(const std::vector<AnalysedPosition>& positions,
              std::size_t index) {
  for (std::size_t known = index + 1; known > 0; --known) {
    const AnalysedPosition& position = positions[known - 1];
    if (position.eval) {
      return evalBarOf(*position.eval, position.toMove);
    }
  }
  return {};
}

bool showsEvalBar(const std::vector<AnalysedPosition>& positions,
                  const AnalysisOptions& options) {
  return options.evalBar.value_or(std::any_of(
      positions.begin(), positions.end(),
      [](const AnalysedPosition& p) { return p.eval.has_value(); }));
}

}  // namespace

std::vector<AnalysedPosition> analysedPositions(const chess::Game& game) {
  const std::vector<chess::Material> material = chess::materialOfPlies(game);
  std::vector<AnalysedPosition> positions;
  positions.reserve(material.size());
  for (std::size_t ply = 0; ply < material.size(); ++ply) {
    AnalysedPosition position{chess::positionAfter(game, ply).sideToMove(),
                              evalAfter(game, ply),
                              material[ply],
                              {}};
    if (ply > 0) {
      const chess::Move& move = game.plies[ply - 1].move;
      position.moveSquare = move.kind == chess::MoveKind::castling
                                ? chess::kingDestination(move)
                                : move.to;
    }
    positions.push_back(position);
  }
  return positions;
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

void addAnalysis(const std::vector<AnalysedPosition>& positions,
                 std::size_t index, const AnalysisOptions& options,
                 Decorations& decorations) {
  const AnalysedPosition& shown = positions[index];
  if (showsEvalBar(positions, options)) {
    decorations.evalBar = barAt(positions, index);
  }
  if (options.material && decorations.bars && shown.material) {
    decorations.bars->white.material =
        materialText(shown.material->captured[0], shown.material->whiteAhead);
    decorations.bars->black.material =
        materialText(shown.material->captured[1], -shown.material->whiteAhead);
  }
  if (options.judge && index > 0 && !decorations.glyph && shown.moveSquare) {
    const auto& before = positions[index - 1].eval;
    if (before && shown.eval) {
      const chess::Side mover = chess::opposite(shown.toMove);
      if (const auto glyph =
              chess::judgedGlyph({*before, *shown.eval, mover})) {
        decorations.glyph = moveGlyphOf(chess::glyphText(*glyph));
        decorations.glyphSquare = *shown.moveSquare;
      }
    }
  }
}

void addAnalysis(const chess::Game& game, std::size_t ply,
                 const AnalysisOptions& options, Decorations& decorations) {
  addAnalysis(analysedPositions(game), ply, options, decorations);
}

}  // namespace tib
