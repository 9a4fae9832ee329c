// Seeded pseudo-random legal games as PGN, with clocks, evaluations and
// glyphs, for timing the reader against chess.js on the same text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tib::bench {

// Games until the text holds at least `bytes` bytes; the same seed gives
// the same text.
std::string randomGames(std::size_t bytes, uint32_t seed = 1);

// Shorter games, as a database holds them: 10 to 80 plies, comments with
// clocks and evaluations in one game in ten, glyphs throughout.
std::string databaseGames(std::size_t bytes, uint32_t seed = 1);

}  // namespace tib::bench
