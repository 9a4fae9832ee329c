// The chess vocabulary every room shares: sides, pieces, squares and the
// coloured marks that comments and requests put on squares. Nothing here
// knows about pixels or files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tib::chess {

enum class Side : uint8_t { white, black };

constexpr Side opposite(Side side) {
  return side == Side::white ? Side::black : Side::white;
}

enum class PieceKind : uint8_t { pawn, knight, bishop, rook, queen, king };

struct Piece {
  Side side = Side::white;
  PieceKind kind = PieceKind::pawn;
};

constexpr bool operator==(const Piece& a, const Piece& b) {
  return a.side == b.side && a.kind == b.kind;
}
constexpr bool operator!=(const Piece& a, const Piece& b) { return !(a == b); }

// "pnbrqk", in PieceKind order.
inline constexpr std::string_view kPieceLetters = "pnbrqk";

// The FEN letter: upper case for white, lower case for black.
constexpr char fenLetter(const Piece& piece) {
  const char letter = kPieceLetters[static_cast<std::size_t>(piece.kind)];
  return piece.side == Side::white ? static_cast<char>(letter - 'a' + 'A')
                                   : letter;
}

// The piece a FEN letter names; none for any other byte.
constexpr std::optional<Piece> pieceOfLetter(char letter) {
  const bool white = letter >= 'A' && letter <= 'Z';
  const char lower = white ? static_cast<char>(letter - 'A' + 'a') : letter;
  const std::size_t kind = kPieceLetters.find(lower);
  if (kind == std::string_view::npos) {
    return std::nullopt;
  }
  return Piece{white ? Side::white : Side::black, static_cast<PieceKind>(kind)};
}

// A square: file 0 is a, rank 0 is the first rank. A lenient walk of a
// placement field may reach any int; only 0 to 7 lie on the board.
struct Square {
  int file = 0;
  int rank = 0;
};

constexpr bool operator==(const Square& a, const Square& b) {
  return a.file == b.file && a.rank == b.rank;
}
constexpr bool operator!=(const Square& a, const Square& b) {
  return !(a == b);
}

constexpr bool onBoard(const Square& square) {
  return square.file >= 0 && square.file < 8 && square.rank >= 0 &&
         square.rank < 8;
}

// The square a name such as "e4" gives; none for anything else.
constexpr std::optional<Square> squareNamed(std::string_view name) {
  if (name.size() != 2 || name[0] < 'a' || name[0] > 'h' || name[1] < '1' ||
      name[1] > '8') {
    return std::nullopt;
  }
  return Square{name[0] - 'a', name[1] - '1'};
}

// "a1" to "h8" for a square on the board.
inline std::string squareName(const Square& square) {
  return {static_cast<char>('a' + square.file),
          static_cast<char>('1' + square.rank)};
}

// The colours of coloured squares, arrows and circles, by their letters in
// PGN comments ([%csl Yd5], [%cal Ge2e4]) and in request parameters.
enum class MarkColour : uint8_t { green, red, yellow, blue };

inline constexpr std::string_view kMarkColourLetters = "GRYB";

constexpr std::optional<MarkColour> markColourOfLetter(char letter) {
  const std::size_t index = kMarkColourLetters.find(letter);
  if (index == std::string_view::npos) {
    return std::nullopt;
  }
  return static_cast<MarkColour>(index);
}

constexpr char markColourLetter(MarkColour colour) {
  return kMarkColourLetters[static_cast<std::size_t>(colour)];
}

// A coloured square (from == to), or an arrow from one square to another;
// among arrows, a square alone is a circle.
struct Mark {
  MarkColour colour = MarkColour::green;
  Square from;
  Square to;
};

constexpr bool operator==(const Mark& a, const Mark& b) {
  return a.colour == b.colour && a.from == b.from && a.to == b.to;
}

// The standard starting position, all six fields.
inline constexpr std::string_view kStartingFen =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

}  // namespace tib::chess
