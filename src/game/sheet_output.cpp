#include "game/sheet_output.h"

#include <charconv>

#include "game/failure.h"
#include "game/vector_output.h"
#include "tib/game/game_diagram.h"

namespace tib::game {

namespace {

std::string tagOr(const chess::Game& game, const char* name,
                  const char* missing) {
  const std::optional<std::string_view> value = chess::tagValue(game, name);
  return value && !value->empty() && *value != "?" ? std::string(*value)
                                                   : std::string(missing);
}

}  // namespace

std::optional<int64_t> sourceDateEpoch(const char* value) {
  if (value == nullptr) {
    return std::nullopt;
  }
  const std::string text(value);
  int64_t seconds = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || error != std::errc() ||
      end != text.data() + text.size() || seconds < 0 ||
      seconds > kLatestSourceDate) {
    throw OptionError("SOURCE_DATE_EPOCH=" + text +
                      ": not a whole number of seconds since 1970 up to " +
                      std::to_string(kLatestSourceDate));
  }
  return seconds;
}

std::size_t sheetPly(const GameOptions& options, const chess::Game& game) {
  const std::size_t plies = game.plies.size();
  if (!options.ply) {
    return chess::tagValue(game, "FEN") ? 0 : plies;
  }
  if (*options.ply > plies) {
    throw OptionError("--ply " + std::to_string(*options.ply) +
                      ": the game has " + std::to_string(plies) +
                      (plies == 1 ? " ply" : " plies"));
  }
  return *options.ply;
}

std::string sheetHeader(const chess::Game& first) {
  return tagOr(first, "Event", "");
}

std::vector<std::string> sheetCaption(const chess::Game& game, std::size_t ply,
                                      const std::string& header) {
  std::vector<std::string> lines{tagOr(game, "White", "?") + " \u2013 " +
                                 tagOr(game, "Black", "?")};
  const std::string event = tagOr(game, "Event", "");
  if (!event.empty() && event != header) {
    lines.push_back(event);
  }
  const chess::Position& position = chess::positionAfter(game, ply);
  lines.push_back(std::to_string(position.fullmoveNumber()) +
                  (position.sideToMove() == chess::Side::white
                       ? ". White to move"
                       : ". Black to move"));
  return lines;
}

void checkSheetFits(const GameOptions& options, std::size_t games) {
  if (!isSvgName(options.sheet) || games <= options.perPage) {
    return;
  }
  throw OptionError("--sheet " + options.sheet + ": the file has " +
                    std::to_string(games) + " games and one SVG page holds " +
                    std::to_string(options.perPage) +
                    "; write a .pdf or raise --per-page");
}

SheetArtwork::SheetArtwork(const Artwork& artwork,
                           const std::string& themeFolder,
                           const std::string& pieceFolder)
    : artwork_(artwork), art_(loadSvgArt(themeFolder, pieceFolder)) {}

SheetDiagram SheetArtwork::diagram(const GameOptions& options,
                                   const chess::Game& game, std::size_t ply,
                                   std::size_t number,
                                   const std::string& header) const {
  const Diagram diagram =
      plyDiagram(game, ply, Settings{kDefaultSize, options.scale},
                 options.orientation, options.coordinates);
  const std::size_t index =
      boardIndex(options.orientation, options.coordinates);
  const ImageBuffer* board = boardPicture(artwork_, index);
  if (board == nullptr) {
    throw Error(std::string("the artwork has no ") + kBoardFiles.at(index));
  }
  return {
      diagramScene(diagram, boardColours(*board), art_.labels, artwork_.tiles),
      number, sheetCaption(game, ply, header)};
}

std::vector<unsigned char> SheetArtwork::render(
    const GameOptions& options, const std::string& header,
    const std::vector<SheetDiagram>& diagrams,
    std::optional<int64_t> created) const {
  return renderSheet(
      isSvgName(options.sheet) ? SheetFormat::svg : SheetFormat::pdf,
      sheetLayout(options.paper, options.perPage), header, diagrams,
      {art_.pieces ? &*art_.pieces : &art_.theme, &art_.theme,
       &art_.labels.paths},
      created);
}

}  // namespace tib::game
