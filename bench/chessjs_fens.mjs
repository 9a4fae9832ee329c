// chess.js on tib-game --all --fens's work: every game of a file loaded
// and the FEN of each of its positions printed, after a line naming the
// game. bench/game_all times it against tib-game.
//
//   node bench/chessjs_fens.mjs GAMES.pgn
import { readFileSync, writeSync } from 'node:fs';
import { Chess } from 'chess.js';

const games = readFileSync(process.argv[2], 'utf8')
  .split(/\n\n(?=\[Event )/)
  .filter((game) => game.trim() !== '');

const lines = [];
games.forEach((game, index) => {
  const chess = new Chess();
  chess.loadPgn(game);
  const header = chess.getHeaders();
  lines.push(`# game ${index + 1}: ${header.White} - ${header.Black}, ${header.Event}`);
  const moves = chess.history({ verbose: true });
  lines.push(moves.length === 0 ? chess.fen() : moves[0].before);
  for (const move of moves) {
    lines.push(move.after);
  }
});
writeSync(1, lines.join('\n') + '\n');
