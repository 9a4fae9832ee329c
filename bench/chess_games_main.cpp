// Writes the benchmark's games file: chess_games FILE [BYTES [database]];
// "database" for shorter games, mostly without comments.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "chess_games.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4 ||
      (argc == 4 && std::string(argv[3]) != "database")) {
    std::fprintf(stderr, "usage: chess_games FILE [BYTES [database]]\n");
    return 2;
  }
  const std::size_t bytes =
      argc >= 3 ? std::strtoull(argv[2], nullptr, 10) : std::size_t{1} << 20;
  std::ofstream file(argv[1], std::ios::binary);
  file << (argc == 4 ? tib::bench::databaseGames(bytes)
                     : tib::bench::randomGames(bytes));
  return file.good() ? 0 : 1;
}
