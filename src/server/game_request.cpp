#include "server/game_request.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "chess/error.h"
#include "chess/evaluation.h"
#include "chess/material.h"
#include "server/text.h"
#include "tib/board/error.h"
#include "tib/board/values.h"
#include "tib/game/decorated_game.h"
#include "tib/game/gif_budget.h"

namespace tib {

namespace {

using Json = nlohmann::json;

[[noreturn]] void refuse(const std::string& name, std::string_view value,
                         const std::string& reason) {
  throw GameRequestError(name + "=" + printableText(value) + ": " + reason);
}

std::size_t readNumber(const std::string& name, const std::string& value,
                       uint32_t low, uint32_t high) {
  const std::optional<uint32_t> number = wholeNumber(value, low, high);
  if (!number) {
    refuse(name, value,
           "not a whole number from " + std::to_string(low) + " to " +
               std::to_string(high));
  }
  return *number;
}

std::string shownInQuery(const std::string& name, const std::string& value) {
  return name + "=" + printableText(value);
}

// The animation's options as the query spells them.
constexpr AnimationOptionNames kQueryNames{"delay", "lastDelay", "from",
                                           "to",    "arrows",    shownInQuery};

bool yesOrNo(const std::string& name, const std::string& value) {
  const std::optional<bool> on = switchValue(value);
  if (!on) {
    refuse(name, value, "use 1, yes, true, 0, no or false");
  }
  return *on;
}

void readValue(const std::string& name, const std::string& value,
               int32_t maxSize, GifRequest& request) {
  if (name == "pgn") {
    request.pgn = value;
  } else if (name == "game") {
    request.game = readNumber(name, value, 1, 999999999);
  } else if (name == "size") {
    request.settings.Size =
        readSize(value, "size=" + printableText(value), sizeRange(1, maxSize));
    checkSizeRange(request.settings.Size, 1, maxSize);
  } else if (name == "scale") {
    request.settings.Sz2 = readScale(value, "scale=" + printableText(value));
  } else if (name == "orientation" || name == "color") {
    request.orientation = orientationNamed(value);
    if (!request.orientation) {
      refuse(name, value, "use white or black");
    }
  } else if (name == "coordinates") {
    request.coordinates = yesOrNo(name, value);
  } else if (name == "players") {
    request.players = yesOrNo(name, value);
  } else if (readAnimationOption(kQueryNames, name, value, request.animation)) {
    return;
  } else if (name == "theme") {
    request.theme = value;
  } else if (name == "piece") {
    request.piece = value;
  } else if (name == "white" || name == "black") {
    (name == "white" ? request.white : request.black) = value;
  } else if (name == "eval") {
    request.analysis.evalBar = yesOrNo(name, value);
  } else if (name == "material") {
    request.analysis.material = yesOrNo(name, value);
  } else if (name == "judge") {
    request.analysis.judge = yesOrNo(name, value);
  }
}

void checkFrameCount(std::size_t count, std::size_t maxFrames) {
  if (count > maxFrames) {
    throw GameRequestError(std::to_string(count) + " frames: at most " +
                           std::to_string(maxFrames) +
                           " (--max-frames); cut the game with from= and to=");
  }
}

// The work of the GIF, known before its first frame: any frame with bars
// gives every frame their rows.
void checkPixels(const std::vector<Decorations>& decorations, int32_t size,
                 uint64_t maxPixels) {
  if (const auto over = gifOverBudget(decorations.size(), size,
                                      gifFrameParts(decorations), maxPixels)) {
    throw GameRequestError(*over + " (--max-gif-pixels)");
  }
}

// cppcheck-suppress constParameter
void nameDecorations(const GifRequest& request, Decorations& decorations) {
  if (!decorations.bars) {
    return;
  }
  if (!request.white.empty()) {
    decorations.bars->white.name = request.white;
  }
  if (!request.black.empty()) {
    decorations.bars->black.name = request.black;
  }
}

GameFrames framesOfPgn(const GifRequest& request, std::size_t maxFrames,
                       uint64_t maxPixels) {
  chess::Game game;
  try {
    game = chess::readGame(request.pgn, request.game);
  } catch (const chess::Error& error) {
    throw GameRequestError(std::string("pgn: ") + error.what());
  }
  GameAnimation animation;
  animation.settings = request.settings;
  animation.orientation = request.orientation.value_or(Orientation::white);
  animation.coordinates = request.coordinates.value_or(true);
  applyChoices(request.animation, animation);
  const std::size_t first = request.animation.from;
  std::size_t last = 0;
  try {
    last = lastPlyShown(request.animation, game.plies.size(), kQueryNames);
  } catch (const ValueError& error) {
    throw GameRequestError(error.what());
  }
  checkFrameCount(last - first + 1, maxFrames);
  GameFrames result;
  const std::vector<AnalysedPosition> analysed = analysedPositions(game);
  for (std::size_t ply = first; ply <= last; ++ply) {
    Decorations decorations =
        plyDecorations(game, ply, animation.orientation, request.players);
    nameDecorations(request, decorations);
    addAnalysis(analysed, ply, request.analysis, decorations);
    result.decorations.push_back(std::move(decorations));
  }
  checkPixels(result.decorations, request.settings.Size, maxPixels);
  try {
    result.frames = gameFrames(game, animation);
  } catch (const ValueError& error) {
    throw GameRequestError(error.what());
  }
  return result;
}

// The path of a field in the body: "theme", "frames[0].clock.white".
std::string fieldPath(const std::string& parent, const char* name) {
  return parent.empty() ? name : parent + "." + name;
}

[[noreturn]] void refuseField(const std::string& path,
                              const std::string& reason) {
  throw GameRequestError("body: " + path + ": " + reason);
}

// A field of the JSON: its value when it has the type asked for.
const Json* field(const Json& object, const char* name) {
  const auto found = object.find(name);
  return found == object.end() || found->is_null() ? nullptr : &*found;
}

std::string stringField(const Json& object, const char* name,
                        const std::string& where) {
  const Json* value = field(object, name);
  if (value == nullptr) {
    return {};
  }
  if (!value->is_string()) {
    refuseField(fieldPath(where, name), "not a string");
  }
  return value->get<std::string>();
}

std::optional<int64_t> numberField(const Json& object, const char* name,
                                   const std::string& where, int64_t most) {
  const Json* value = field(object, name);
  if (value == nullptr) {
    return std::nullopt;
  }
  if (!value->is_number_integer() || value->get<int64_t>() < 0 ||
      value->get<int64_t>() > most) {
    refuseField(fieldPath(where, name),
                "not a whole number from 0 to " + std::to_string(most));
  }
  return value->get<int64_t>();
}

Json parseBounded(const std::string& text) {
  const Json::parser_callback_t depthBound = [](int depth, Json::parse_event_t,
                                                Json&) {
    if (depth > kMaxJsonDepth) {
      throw GameRequestError("body: JSON nested deeper than " +
                             std::to_string(kMaxJsonDepth) + " levels");
    }
    return true;
  };
  try {
    return Json::parse(text, depthBound);
  } catch (const Json::exception& error) {
    throw GameRequestError(std::string("body: not JSON: ") + error.what());
  }
}

// A frame's diagram, and the square its lastMove ends on.
std::pair<Diagram, std::optional<Square>> jsonDiagram(const Json& frame,
                                                      const std::string& where,
                                                      const GifRequest& request,
                                                      Orientation orientation,
                                                      bool coordinates) {
  if (!frame.is_object()) {
    refuseField(where, "not an object");
  }
  const Json* fen = field(frame, "fen");
  if (fen == nullptr || !fen->is_string()) {
    refuseField(fieldPath(where, "fen"), "a FEN string is needed");
  }
  Diagram diagram{readPlacement(fen->get<std::string>()), request.settings, {}};
  Annotations& marks = diagram.annotations;
  marks.orientation = orientation;
  marks.coordinates = coordinates;
  const std::string lastMove = stringField(frame, "lastMove", where);
  const std::optional<UciMove> move = uciLastMove(lastMove);
  if (!move) {
    refuseField(fieldPath(where, "lastMove"),
                printableText(lastMove) + " is not a move in UCI");
  }
  marks.lastMove = move->tinted;
  if (const Json* check = field(frame, "check")) {
    if (check->is_string()) {
      marks.check = chess::squareNamed(check->get<std::string>());
      if (!marks.check) {
        refuseField(fieldPath(where, "check"), "not a square");
      }
    } else if (check->is_boolean()) {
      if (check->get<bool>()) {
        marks.check = kingToMove(diagram.position);
      }
    } else {
      refuseField(fieldPath(where, "check"), "a square or true");
    }
  }
  return {diagram, move->to};
}

// A frame's "eval": centipawns, or a mate as "#-3".
std::optional<chess::Evaluation> jsonEvaluation(const Json& frame,
                                                const std::string& where) {
  const Json* eval = field(frame, "eval");
  if (eval == nullptr) {
    return std::nullopt;
  }
  std::optional<chess::Evaluation> read;
  if (eval->is_number_integer()) {
    read =
        chess::Evaluation{false, static_cast<int>(std::clamp<int64_t>(
                                     eval->get<int64_t>(), -100000, 100000))};
  } else if (eval->is_string() && eval->get<std::string>().rfind('#', 0) == 0) {
    read = chess::evaluationNamed(eval->get<std::string>());
  }
  if (!read) {
    refuseField(fieldPath(where, "eval"), "centipawns, or a mate as \"#-3\"");
  }
  return read;
}

// A frame's position as the rules read it; none for a placement alone or a
// position the rules refuse.
std::optional<chess::Position> jsonPosition(const Json& frame) {
  try {
    return chess::Position::fromFen(field(frame, "fen")->get<std::string>());
  } catch (const chess::Error&) {
    return std::nullopt;
  }
}

// A frame as the analysis reads it: material since the first frame, when
// both positions can be counted.
AnalysedPosition jsonAnalysed(const Json& frame, const std::string& where,
                              const std::optional<chess::Position>& first,
                              const Diagram& diagram,
                              const std::optional<Square>& moveSquare) {
  AnalysedPosition analysed;
  analysed.toMove = diagram.position.sideToMove.value_or(chess::Side::white);
  analysed.eval = jsonEvaluation(frame, where);
  const std::optional<chess::Position> position = jsonPosition(frame);
  if (first && position) {
    analysed.material = chess::materialSince(*first, *position);
  }
  analysed.moveSquare = moveSquare;
  return analysed;
}

GameFrames framesOfJson(const GifRequest& request, std::size_t maxFrames,
                        uint64_t maxPixels) {
  const Json game = parseBounded(request.json);
  if (!game.is_object()) {
    throw GameRequestError("body: not a JSON object");
  }
  const Json* frames = field(game, "frames");
  if (frames == nullptr || !frames->is_array() || frames->empty()) {
    throw GameRequestError("body: frames: a list of frames is needed");
  }
  checkFrameCount(frames->size(), maxFrames);
  GameFrames result;
  result.theme = stringField(game, "theme", "");
  result.piece = stringField(game, "piece", "");
  Orientation orientation = Orientation::white;
  const std::string named = stringField(game, "orientation", "");
  if (!named.empty()) {
    const auto read = orientationNamed(named);
    if (!read) {
      refuseField("orientation", "use white or black");
    }
    orientation = *read;
  }
  orientation = request.orientation.value_or(orientation);
  bool coordinates = true;
  if (const Json* value = field(game, "coordinates")) {
    if (!value->is_boolean()) {
      refuseField("coordinates", "true or false");
    }
    coordinates = value->get<bool>();
  }
  coordinates = request.coordinates.value_or(coordinates);
  const auto delay = numberField(game, "delay", "", 65535);
  const unsigned moveDelay =
      request.animation.delayGiven && request.animation.delay
          ? *request.animation.delay
          : static_cast<unsigned>(delay.value_or(kDefaultMoveDelay));
  PlayerBars bars;
  bars.white.name =
      request.white.empty() ? stringField(game, "white", "") : request.white;
  bars.black.name =
      request.black.empty() ? stringField(game, "black", "") : request.black;
  bars.bottom = orientation == Orientation::white ? chess::Side::white
                                                  : chess::Side::black;
  std::optional<chess::Position> first;
  std::vector<AnalysedPosition> analysed;
  for (std::size_t f = 0; f < frames->size(); ++f) {
    const Json& frame = (*frames)[f];
    const std::string where = "frames[" + std::to_string(f) + "]";
    auto [diagram, moveSquare] =
        jsonDiagram(frame, where, request, orientation, coordinates);
    if (f == 0) {
      first = jsonPosition(frame);
    }
    analysed.push_back(jsonAnalysed(frame, where, first, diagram, moveSquare));
    AnimationFrame animated{
        std::move(diagram),
        static_cast<unsigned>(numberField(frame, "delay", where, 65535)
                                  .value_or(f + 1 == frames->size()
                                                ? request.animation.lastDelay
                                                : moveDelay))};
    Decorations decorations;
    if (request.players) {
      if (const Json* clock = field(frame, "clock");
          clock != nullptr && clock->is_object()) {
        const auto white =
            numberField(*clock, "white", where + ".clock", int64_t{1} << 30);
        const auto black =
            numberField(*clock, "black", where + ".clock", int64_t{1} << 30);
        bars.white.clockCentiseconds =
            white ? std::optional<int>(static_cast<int>(*white)) : std::nullopt;
        bars.black.clockCentiseconds =
            black ? std::optional<int>(static_cast<int>(*black)) : std::nullopt;
      }
      bars.toMove = animated.diagram.position.sideToMove;
      const bool known = !bars.white.name.empty() || !bars.black.name.empty() ||
                         bars.white.clockCentiseconds ||
                         bars.black.clockCentiseconds;
      if (known) {
        decorations.bars = bars;
      }
    }
    dropMoverMarker(animated.diagram.position);
    result.frames.push_back(std::move(animated));
    result.decorations.push_back(std::move(decorations));
  }
  for (std::size_t f = 0; f < analysed.size(); ++f) {
    addAnalysis(analysed, f, request.analysis, result.decorations[f]);
  }
  checkPixels(result.decorations, request.settings.Size, maxPixels);
  return result;
}

}  // namespace

GifRequest readGifQuery(
    const std::vector<std::pair<std::string, std::string>>& query,
    int32_t maxSize) {
  GifRequest request;
  try {
    for (const auto& [name, value] : query) {
      readValue(name, value, maxSize, request);
    }
  } catch (const ValueError& error) {
    throw GameRequestError(error.what());
  }
  return request;
}

GameFrames gameFramesOf(const GifRequest& request, std::size_t maxFrames,
                        uint64_t maxPixels) {
  if (!request.json.empty()) {
    return framesOfJson(request, maxFrames, maxPixels);
  }
  if (request.pgn.empty()) {
    throw GameRequestError(
        "no game: give pgn=<PGN>, or POST the PGN or lila-gif's JSON");
  }
  return framesOfPgn(request, maxFrames, maxPixels);
}

}  // namespace tib
