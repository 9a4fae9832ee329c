// tib-game's printed sheets: one diagram of each game of a file, captioned
// from its tags, laid out as PDF pages or one SVG page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chess/pgn.h"
#include "game/options.h"
#include "game/vector_output.h"
#include "tib/board/artwork.h"
#include "tib/sheet/sheet.h"

namespace tib::game {

// The last second a PDF date can say: 9999-12-31T23:59:59Z.
inline constexpr int64_t kLatestSourceDate = 253402300799;

// SOURCE_DATE_EPOCH's value as the PDF's date: none when unset. Throws an
// OptionError naming a value that is not a whole number of seconds from 0
// to kLatestSourceDate.
std::optional<int64_t> sourceDateEpoch(const char* value);

// The ply a sheet shows of a game: --ply N, else the start of a game set up
// from a FEN tag (a puzzle), else its last. Throws an OptionError when the
// game is shorter than --ply.
std::size_t sheetPly(const GameOptions& options, const chess::Game& game);

// The header of every page: the Event tag of the file's first game ("" for
// none or "?").
std::string sheetHeader(const chess::Game& first);

// "White - Black", the event when it is not the header, "12. White to
// move" for the position after ply.
std::vector<std::string> sheetCaption(const chess::Game& game, std::size_t ply,
                                      const std::string& header);

// Refuses an SVG sheet of more games than a page holds, naming both counts.
void checkSheetFits(const GameOptions& options, std::size_t games);

// What the games' scenes are drawn from, read once for the whole sheet.
class SheetArtwork {
 public:
  // Throws an OptionError naming a folder without pieces.svg.
  SheetArtwork(const Artwork& artwork, const std::string& themeFolder,
               const std::string& pieceFolder);

  // The diagram of the ply, numbered and captioned. Throws an Error when
  // the artwork lacks the board of the options' view.
  [[nodiscard]] SheetDiagram diagram(const GameOptions& options,
                                     const chess::Game& game, std::size_t ply,
                                     std::size_t number,
                                     const std::string& header) const;

  // The sheet's bytes, in the format its file name asks for, a PDF dated
  // created (sourceDateEpoch).
  [[nodiscard]] std::vector<unsigned char> render(
      const GameOptions& options, const std::string& header,
      const std::vector<SheetDiagram>& diagrams,
      std::optional<int64_t> created) const;

 private:
  const Artwork& artwork_;
  SvgArt art_;
};

}  // namespace tib::game
