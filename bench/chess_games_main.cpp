// Writes the benchmark's games file: chess_games FILE [BYTES].
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "chess_games.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: chess_games FILE [BYTES]\n");
    return 2;
  }
  const std::size_t bytes =
      argc == 3 ? std::strtoull(argv[2], nullptr, 10) : std::size_t{1} << 20;
  std::ofstream file(argv[1], std::ios::binary);
  file << tib::bench::randomGames(bytes);
  return file.good() ? 0 : 1;
}
