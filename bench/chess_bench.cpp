// Times the chess room: perft from the start, and reading and replaying a
// file of about a megabyte of games. TIB_CHESS_GAMES names the file (as
// written by chess_games, so that chess.js reads the same one); without
// it the games are generated in memory with the same seed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "chess/pgn.h"
#include "chess/position.h"
#include "chess_games.h"

namespace {

using namespace tib::chess;  // NOLINT(google-build-using-namespace)

const std::string& gamesText() {
  static const std::string text = [] {
    const char* path = std::getenv("TIB_CHESS_GAMES");
    if (path == nullptr) {
      return tib::bench::randomGames(1 << 20);
    }
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
  }();
  return text;
}

void perftStart5(benchmark::State& state) {
  const Position start;
  for (auto _ : state) {
    benchmark::DoNotOptimize(perft(start, 5));
  }
}
BENCHMARK(perftStart5)->Unit(benchmark::kMillisecond);

void readAndReplayFile(benchmark::State& state) {
  const std::string& text = gamesText();
  std::size_t plies = 0;
  for (auto _ : state) {
    plies = 0;
    for (const GameText& game : splitGames(text)) {
      plies += readGame(game).plies.size();
    }
    benchmark::DoNotOptimize(plies);
  }
  state.counters["games"] = static_cast<double>(splitGames(text).size());
  state.counters["plies"] = static_cast<double>(plies);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(readAndReplayFile)->Unit(benchmark::kMillisecond);

void splitFile(benchmark::State& state) {
  const std::string& text = gamesText();
  for (auto _ : state) {
    benchmark::DoNotOptimize(splitGames(text));
  }
}
BENCHMARK(splitFile)->Unit(benchmark::kMillisecond);

// One game of the file of typical length (the median), read from its text
// as a diagram request would.
void readOneGame(benchmark::State& state) {
  auto games = splitGames(gamesText());
  std::sort(games.begin(), games.end(), [](const auto& a, const auto& b) {
    return a.text.size() < b.text.size();
  });
  const GameText& typical = games[games.size() / 2];
  for (auto _ : state) {
    benchmark::DoNotOptimize(readGame(typical.text, 1));
  }
  state.counters["plies"] = static_cast<double>(readGame(typical).plies.size());
  state.counters["bytes"] = static_cast<double>(typical.text.size());
}
BENCHMARK(readOneGame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
