#include "chess_games.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "chess/notation.h"
#include "chess/position.h"

namespace tib::bench {

namespace {

using chess::Position;

// How long the games are and whether their plies carry comments.
struct GameShape {
  int shortest;
  int longest;
  bool clocks;
};

// One game of shape.shortest to shape.longest plies, or fewer when it ends
// in mate or stalemate; with clocks, each ply with its clock and every
// seventh with an evaluation.
std::string randomGame(std::mt19937& random, int number,
                       const GameShape& shape) {
  std::string moves;
  Position position;
  const int length =
      shape.shortest +
      static_cast<int>(
          random() % static_cast<unsigned>(shape.longest - shape.shortest + 1));
  int clock = 18000;
  std::string result = "*";
  for (int ply = 0; ply < length; ++ply) {
    const auto legal = chess::legalMoves(position);
    if (legal.empty()) {
      if (position.inCheck()) {
        result = position.sideToMove() == chess::Side::white ? "0-1" : "1-0";
      } else {
        result = "1/2-1/2";
      }
      break;
    }
    const auto& move = legal[random() % legal.size()];
    // A ply that follows a comment carries its number, black's too.
    if (position.sideToMove() == chess::Side::white || shape.clocks) {
      moves += std::to_string(position.fullmoveNumber()) +
               (position.sideToMove() == chess::Side::white ? ". " : "... ");
    }
    moves += chess::writeSan(position, move);
    if (random() % 23 == 0) {
      moves += " $" + std::to_string(1 + random() % 6);
    }
    moves += ' ';
    position = chess::play(position, move);
    if (!shape.clocks) {
      continue;
    }
    clock = std::max(0, clock - static_cast<int>(random() % 700));
    moves += "{ [%clk 0:" + std::to_string(clock / 6000 % 60 / 10) +
             std::to_string(clock / 6000 % 10) + ":" +
             std::to_string(clock / 100 % 60 / 10) +
             std::to_string(clock / 100 % 10) + "]";
    if (ply % 7 == 3) {
      const int centipawns = static_cast<int>(random() % 300) - 150;
      const int magnitude = std::abs(centipawns);
      moves += " [%eval " + std::string(centipawns < 0 ? "-" : "") +
               std::to_string(magnitude / 100) + "." +
               std::to_string(magnitude % 100 / 10) +
               std::to_string(magnitude % 10) + "]";
    }
    moves += " } ";
  }
  std::string game = "[Event \"Random game " + std::to_string(number) +
                     "\"]\n[Site \"Here\"]\n[Date \"2026.01.01\"]\n"
                     "[Round \"" +
                     std::to_string(number) +
                     "\"]\n[White \"Seeded\"]\n[Black \"Generator\"]\n"
                     "[Result \"" +
                     result + "\"]\n\n";
  // Lines of at most 79 characters, as exporters write.
  std::size_t lineStart = game.size();
  for (std::size_t at = 0; at < moves.size();) {
    std::size_t end = moves.find(' ', at);
    end = end == std::string::npos ? moves.size() : end;
    const std::string word = moves.substr(at, end - at);
    at = end + 1;
    if (word.empty()) {
      continue;
    }
    if (game.size() - lineStart + word.size() + 1 > 79) {
      game += '\n';
      lineStart = game.size();
    } else if (game.size() > lineStart) {
      game += ' ';
    }
    game += word;
  }
  return game + " " + result + "\n\n";
}

}  // namespace

std::string randomGames(std::size_t bytes, uint32_t seed) {
  std::mt19937 random(seed);
  std::string text;
  for (int number = 1; text.size() < bytes; ++number) {
    text += randomGame(random, number, {40, 160, true});
  }
  return text;
}

std::string databaseGames(std::size_t bytes, uint32_t seed) {
  std::mt19937 random(seed);
  std::string text;
  for (int number = 1; text.size() < bytes; ++number) {
    text += randomGame(random, number, {10, 80, number % 10 == 0});
  }
  return text;
}

}  // namespace tib::bench
