// Fuzzes the PGN reader: finding games, reading each, and writing a game
// that was read back as PGN. Aborts when a written game does not read back
// to the same positions, glyphs and comment commands.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "chess/error.h"
#include "chess/pgn.h"

using namespace tib::chess;  // NOLINT(google-build-using-namespace)

namespace {

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

void checkSame(const Commentary& a, const Commentary& b) {
  check(a.arrows == b.arrows);
  check(a.highlights == b.highlights);
  check(a.clockCentiseconds == b.clockCentiseconds);
  check(a.eval == b.eval);
}

void checkWrittenReadsBack(const Game& game) {
  const std::string written = writePgn(game);
  check(splitGames(written).size() == 1);
  const Game again = readGame(written, 1);
  check(again.start == game.start);
  check(again.result == (game.result.empty() ? "*" : game.result));
  check(again.tags.size() == game.tags.size());
  checkSame(again.startCommentary, game.startCommentary);
  check(again.plies.size() == game.plies.size());
  for (std::size_t i = 0; i < game.plies.size(); ++i) {
    check(again.plies[i].after == game.plies[i].after);
    check(again.plies[i].glyph == game.plies[i].glyph);
    checkSame(again.plies[i].commentary, game.plies[i].commentary);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<GameText> games;
  try {
    games = splitGames(text);
  } catch (const GameError&) {
    return 0;
  }
  for (const GameText& gameText : games) {
    check(gameText.text.data() >= text.data() &&
          gameText.text.data() + gameText.text.size() <=
              text.data() + text.size());
    Game game;
    try {
      game = readGame(gameText);
    } catch (const GameError& error) {
      check(error.game() == gameText.number);
      continue;
    }
    check(game.plies.size() <= kMaxPlies);
    checkWrittenReadsBack(game);
  }
  return 0;
}
