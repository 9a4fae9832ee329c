// Times chess.js on the work chess_bench times: perft(5) from the start,
// loadPgn on every game of the games file, and on its game of median size.
// Prints one JSON object; bench/chess compares it with chess_bench.
//
//   node bench/chessjs.mjs GAMES.pgn
import { readFileSync } from 'node:fs';
import { performance } from 'node:perf_hooks';
import { Chess } from 'chess.js';

const games = readFileSync(process.argv[2], 'utf8')
  .split(/\n\n(?=\[Event )/)
  .filter((game) => game.trim() !== '');

// The fastest of a few runs, in milliseconds, after one run to warm up.
function fastest(runs, work) {
  work();
  let best = Infinity;
  for (let i = 0; i < runs; i += 1) {
    const start = performance.now();
    work();
    best = Math.min(best, performance.now() - start);
  }
  return best;
}

let nodes = 0;
const perftMs = fastest(3, () => {
  nodes = new Chess().perft(5);
});

let plies = 0;
const readMs = fastest(3, () => {
  plies = 0;
  for (const game of games) {
    const chess = new Chess();
    chess.loadPgn(game);
    plies += chess.history().length;
  }
});

const typical = [...games].sort((a, b) => a.length - b.length)[
  Math.floor(games.length / 2)
];
const rounds = 200;
const typicalMs = fastest(3, () => {
  for (let i = 0; i < rounds; i += 1) {
    new Chess().loadPgn(typical);
  }
}) / rounds;

console.log(
  JSON.stringify({
    perft5_ms: perftMs,
    perft5_nodes: nodes,
    read_ms: readMs,
    games: games.length,
    plies,
    typical_game_us: typicalMs * 1000,
  }),
);
