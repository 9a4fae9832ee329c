// tib-game: a game in PGN in, its positions or the diagram of a ply out.
#include <iostream>
#include <string>
#include <vector>

#include "game/run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return tib::game::runGame(args, std::cin, std::cout, std::cerr);
}
