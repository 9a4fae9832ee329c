// Games in PGN: finding the games of a file, reading one game's main line
// with its comments and their commands, and writing a game back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chess/position.h"
#include "chess/types.h"

namespace tib::chess {

inline constexpr std::size_t kMaxPlies = 5000;
inline constexpr int kMaxVariationDepth = 64;

// The move glyphs, in the order of the NAGs $1 to $6.
enum class Glyph : uint8_t {
  good,
  mistake,
  brilliant,
  blunder,
  interesting,
  dubious
};

// "!", "?", "!!", "??", "!?", "?!".
std::string_view glyphText(Glyph glyph);
std::optional<Glyph> glyphOfText(std::string_view text);

// An engine's evaluation: centipawns for white, or, when mate is set, the
// moves to mate (negative when black mates).
struct Evaluation {
  bool mate = false;
  int value = 0;
};

constexpr bool operator==(const Evaluation& a, const Evaluation& b) {
  return a.mate == b.mate && a.value == b.value;
}

// What the comments on one position say: their text with the [%...]
// commands taken out, and the commands [%cal] (arrows; an arrow from a
// square to itself is a circle), [%csl] (coloured squares), [%clk] and
// [%eval]. Entries with an unknown colour or square are skipped.
struct Commentary {
  std::string text;
  std::vector<Mark> arrows;
  std::vector<Mark> highlights;
  std::optional<int64_t> clockCentiseconds;
  std::optional<Evaluation> eval;
};

// Adds one comment's text and commands to what a position has.
void readComment(std::string_view comment, Commentary& into);

struct Ply {
  Move move;
  std::string san;       // as written, glyph included
  std::string moveText;  // "12. Nf3" or "12... Nf6", for messages
  Position after;
  std::optional<Glyph> glyph;
  // The other NAGs, $7 to $255, in file order; evaluation symbols written
  // as text ("+=", "-+") are kept as theirs ($14, $19).
  std::vector<int> nags;
  Commentary commentary;
};

struct Tag {
  std::string name;
  std::string value;
};

struct Game {
  std::vector<Tag> tags;  // in file order
  Position start;
  Commentary startCommentary;  // comments before the first move
  std::vector<Ply> plies;
  std::string result;  // "1-0", "0-1", "1/2-1/2", "*", or empty if not given
};

// The value of the first tag of that name.
std::optional<std::string_view> tagValue(const Game& game,
                                         std::string_view name);

// The position after a number of plies; 0 is the start.
const Position& positionAfter(const Game& game, std::size_t plies);

// One game's text in a file, numbered from 1.
struct GameText {
  std::size_t number = 0;
  std::string_view text;
};

// Finds where each game of a file begins and ends, reading no moves: a tag
// after movetext or a result starts the next game. Throws GameError when
// the bytes are not text ("not a PGN text file").
std::vector<GameText> splitGames(std::string_view pgn);

// Reads one game. Throws GameError saying which ply and why when the game
// cannot be read; no partial game is given.
Game readGame(const GameText& text);

// Reads the game numbered gameNumber (from 1) of a file, without reading
// the others' moves.
Game readGame(std::string_view pgn, std::size_t gameNumber);

// The main line as PGN movetext, with comments, commands, glyphs and the
// result: what readGame reads back to the same positions.
std::string writeMovetext(const Game& game);

// The tags, a blank line and the movetext.
std::string writePgn(const Game& game);

}  // namespace tib::chess
