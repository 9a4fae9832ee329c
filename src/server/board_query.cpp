#include "server/board_query.h"

#include <map>
#include <optional>
#include <vector>

#include "chess/error.h"
#include "chess/evaluation.h"
#include "chess/pgn.h"
#include "server/request.h"
#include "server/text.h"
#include "tib/board/values.h"
#include "tib/decoration/move_glyphs.h"
#include "tib/game/analysis.h"
#include "tib/game/decorated_game.h"
#include "tib/game/game_diagram.h"

namespace tib {

namespace {

[[noreturn]] void refuseValue(const std::string& name, std::string_view value,
                              const std::string& reason) {
  throw ParameterRefused(name + "=" + printableText(value) + ": " + reason);
}

Orientation readOrientation(const std::string& name, const std::string& value) {
  if (const std::optional<Orientation> orientation = orientationNamed(value)) {
    return *orientation;
  }
  refuseValue(name, value, "use white or black");
}

bool readSwitch(const std::string& name, const std::string& value) {
  if (const std::optional<bool> on = switchValue(value)) {
    return *on;
  }
  refuseValue(name, value, "use 1, yes, true, 0, no or false");
}

// The squares a move in UCI tints, in board order (uciLastMove).
std::vector<Square> readLastMove(const std::string& name,
                                 const std::string& value) {
  if (std::optional<UciMove> move = uciLastMove(value)) {
    return move->tinted;
  }
  refuseValue(name, value,
              "not a move; use UCI such as e2e4, e7e8q or P@e4, or nothing "
              "for none");
}

// An item of arrows= ([GRYB]<from><to> or [GRYB]<square>) or of highlight=
// ([GRYB]<square>); none when it is not one.
std::optional<Mark> markNamed(std::string_view item, bool arrows) {
  Mark mark;
  const std::optional<chess::MarkColour> colour =
      chess::markColourOfLetter(item.empty() ? ' ' : item[0]);
  if (colour) {
    mark.colour = *colour;
    item.remove_prefix(1);
  }
  const std::optional<Square> from = chess::squareNamed(item.substr(0, 2));
  if (!from) {
    return std::nullopt;
  }
  mark.from = *from;
  mark.to = *from;
  if (item.size() == 2) {
    return mark;
  }
  const std::optional<Square> to =
      arrows ? chess::squareNamed(item.substr(2)) : std::nullopt;
  if (!to) {
    return std::nullopt;
  }
  mark.to = *to;
  return mark;
}

// A comma list of marks; "" is none.
std::vector<Mark> readMarks(const std::string& name, const std::string& value,
                            bool arrows) {
  std::vector<Mark> marks;
  if (value.empty()) {
    return marks;
  }
  for (std::size_t start = 0; start <= value.size();) {
    const std::size_t comma = std::min(value.find(',', start), value.size());
    const std::string_view item =
        std::string_view(value).substr(start, comma - start);
    if (item.empty()) {
      refuseValue(name, value, "an empty item in the list");
    }
    const std::optional<Mark> mark = markNamed(item, arrows);
    if (!mark) {
      refuseValue(name, item,
                  arrows ? "not an arrow or a circle; use [GRYB]<from><to> or "
                           "[GRYB]<square>, such as Ge2e4 or Rd5"
                         : "not a square; use [GRYB]<square>, such as Yd5");
    }
    if (marks.size() == kMaxMarks) {
      refuseValue(name, item,
                  "one item too many; at most " + std::to_string(kMaxMarks));
    }
    marks.push_back(*mark);
    start = comma + 1;
  }
  return marks;
}

// The square check= names, with the position: true, 1 and yes name the
// king of the side to move.
std::optional<Square> readCheck(const std::string& name,
                                const std::string& value,
                                const Placement& position) {
  if (value.empty()) {
    return std::nullopt;
  }
  if (const std::optional<Square> square = chess::squareNamed(value)) {
    return square;
  }
  const std::optional<bool> on = switchValue(value);
  if (!on) {
    refuseValue(name, value,
                "not a square; use a square such as e1, true for the king "
                "of the side to move, or false");
  }
  if (!*on) {
    return std::nullopt;
  }
  const std::optional<Side> side = position.sideToMove;
  if (!side) {
    refuseValue(name, value, "the FEN names no side to move");
  }
  const std::optional<Square> king = kingToMove(position);
  if (!king) {
    refuseValue(name, value,
                *side == Side::white ? "no white king on the board"
                                     : "no black king on the board");
  }
  return king;
}

// A parameter given, by its name; the last of a name counts.
using Given = std::map<std::string, std::string>;

// The game's ply that pgn= names, at ply= (default the last) of game=
// (default 1), as the diagram of that ply: its position, move, check and
// marks, each unless the query gives its own; and its players and glyph.
void readPly(const Given& given, DiagramQuery& read) {
  const auto number = [&given](const char* name, std::size_t fallback) {
    const auto found = given.find(name);
    if (found == given.end()) {
      return fallback;
    }
    const std::optional<uint32_t> value =
        wholeNumber(found->second, 0, 999999999);
    if (!value) {
      refuseValue(name, found->second, "not a whole number");
    }
    return std::size_t{*value};
  };
  chess::Game game;
  try {
    game = chess::readGame(given.at("pgn"), number("game", 1));
  } catch (const chess::Error& error) {
    throw ParameterRefused(std::string("pgn: ") + error.what());
  }
  const std::size_t ply = number("ply", game.plies.size());
  if (ply > game.plies.size()) {
    refuseValue("ply", given.at("ply"),
                "the game has " + std::to_string(game.plies.size()) + " plies");
  }
  Annotations& marks = read.diagram.annotations;
  const Diagram plied = plyDiagram(game, ply, read.diagram.settings,
                                   marks.orientation, marks.coordinates);
  read.diagram.position = plied.position;
  const auto own = [&given](const char* name, const char* other = "") {
    return given.count(name) > 0 || given.count(other) > 0;
  };
  if (!own("lastMove", "lastmove")) {
    marks.lastMove = plied.annotations.lastMove;
  }
  if (!own("check")) {
    marks.check = plied.annotations.check;
  }
  if (!own("arrows")) {
    marks.arrows = plied.annotations.arrows;
  }
  if (!own("highlight")) {
    marks.highlights = plied.annotations.highlights;
  }
  const bool players =
      given.count("players") == 0 || readSwitch("players", given.at("players"));
  read.decorations = plyDecorations(game, ply, marks.orientation, players);
  AnalysisOptions analysis;
  if (given.count("eval") > 0) {
    analysis.evalBar = readSwitch("eval", given.at("eval"));
  }
  analysis.material = given.count("material") == 0 ||
                      readSwitch("material", given.at("material"));
  analysis.judge =
      given.count("judge") > 0 && readSwitch("judge", given.at("judge"));
  addAnalysis(game, ply, analysis, read.decorations);
}

// eval= with a FEN: the value, as [%eval] writes it, of the position.
std::optional<EvalBar> readEvalBar(const std::string& value,
                                   const Placement& position) {
  const std::optional<chess::Evaluation> eval = chess::evaluationNamed(value);
  if (!eval) {
    refuseValue("eval", value,
                "use pawns such as 0.35 or -1.2, or a mate "
                "such as #3 or #-2");
  }
  return evalBarOf(*eval, position.sideToMove.value_or(Side::white));
}

}  // namespace

DiagramQuery readDiagramQuery(std::string_view query, int32_t maxSize) {
  DiagramQuery read;
  Diagram& diagram = read.diagram;
  Annotations& annotations = diagram.annotations;
  Given given;
  for (const auto& [name, value] : decodeQuery(query)) {
    given[name] = value;
    if (name == "theme") {
      read.theme = value;
    } else if (name == "piece") {
      read.piece = value;
    } else if (name == "size") {
      diagram.settings.Size = readSize(value, "size=" + printableText(value),
                                       sizeRange(1, maxSize));
    } else if (name == "scale") {
      diagram.settings.Sz2 = readScale(value, "scale=" + printableText(value));
    } else if (name == "orientation" || name == "color") {
      annotations.orientation = readOrientation(name, value);
    } else if (name == "coordinates") {
      annotations.coordinates = readSwitch(name, value);
    } else if (name == "lastMove" || name == "lastmove") {
      annotations.lastMove = readLastMove(name, value);
      given["lastMove"] = value;
    } else if (name == "arrows") {
      annotations.arrows = readMarks(name, value, true);
    } else if (name == "highlight") {
      annotations.highlights = readMarks(name, value, false);
    } else if (name == "players") {
      readSwitch(name, value);
    } else if (name == "glyph" && !value.empty() && !moveGlyphOf(value)) {
      refuseValue(name, value, "use !!, !, !?, ?!, ? or ??, or $1 to $6");
    }
  }
  checkSizeRange(diagram.settings.Size, 1, maxSize);
  if (given.count("pgn") > 0) {
    readPly(given, read);
  } else if (given.count("fen") > 0) {
    diagram.position = readPlacement(given.at("fen"));
    if (const auto eval = given.find("eval"); eval != given.end()) {
      read.decorations.evalBar = readEvalBar(eval->second, diagram.position);
    }
  }
  if (const auto check = given.find("check"); check != given.end()) {
    annotations.check =
        readCheck(check->first, check->second, diagram.position);
  }
  const bool players =
      given.count("players") == 0 || readSwitch("players", given.at("players"));
  for (const char* side : {"white", "black"}) {
    const auto name = given.find(side);
    if (!players || name == given.end() || name->second.empty()) {
      continue;
    }
    if (!read.decorations.bars) {
      read.decorations.bars = PlayerBars{};
      read.decorations.bars->bottom =
          annotations.orientation == Orientation::white ? chess::Side::white
                                                        : chess::Side::black;
      read.decorations.bars->toMove = diagram.position.sideToMove;
    }
    (std::string(side) == "white" ? read.decorations.bars->white
                                  : read.decorations.bars->black)
        .name = name->second;
  }
  if (const auto glyph = given.find("glyph"); glyph != given.end()) {
    read.decorations.glyph = moveGlyphOf(glyph->second);
    const auto move = given.find("lastMove");
    if (read.decorations.glyph && move != given.end() &&
        !annotations.lastMove.empty()) {
      read.decorations.glyphSquare = *uciLastMove(move->second)->to;
    } else if (read.decorations.glyph) {
      refuseValue("glyph", glyph->second, "a glyph needs a lastMove");
    }
  }
  return read;
}

}  // namespace tib
