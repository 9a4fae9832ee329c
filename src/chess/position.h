// Positions and the rules: FEN in and out, legal moves, playing a move,
// check, mate and stalemate. A Position is a value: playing a move gives a
// new one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chess/bitboard.h"
#include "chess/types.h"

namespace tib::chess {

enum class MoveKind : uint8_t { normal, castling, enPassant, null };

// Castling is the king taking its own rook (from the king's square to the
// rook's), in standard chess as in Chess960; kingDestination() gives the
// square the king ends on. A null move (a pass, as annotators write "--")
// has both squares on the passing side's king; no generator makes one.
struct Move {
  Square from;
  Square to;
  std::optional<PieceKind> promotion;
  MoveKind kind = MoveKind::normal;
};

bool operator==(const Move& a, const Move& b);
inline bool operator!=(const Move& a, const Move& b) { return !(a == b); }

// g1/c1 (g8/c8) for castling, the move's destination for any other move.
Square kingDestination(const Move& move);

class Position {
 public:
  // The standard starting position.
  Position();

  // Reads all six FEN fields. Missing trailing fields default to "w - - 0
  // 1"; a move number of 0 reads as 1; runs of spaces separate fields.
  // Castling letters may be KQkq (the outermost rook) or rook files
  // (Shredder, "HAha"); rights without their king and rook in place are
  // dropped, as are rights a standard game cannot use when chess960 is
  // false. An en passant square is kept only when a capture there is
  // legal. Throws Error naming what is wrong: "no black king", "black is
  // in check but white is to move", "a pawn on e8", a bad field.
  static Position fromFen(std::string_view fen, bool chess960 = false);

  [[nodiscard]] std::string fen() const;

  [[nodiscard]] std::optional<Piece> pieceAt(Square square) const;
  [[nodiscard]] Side sideToMove() const { return sideToMove_; }
  [[nodiscard]] bool chess960() const { return chess960_; }
  [[nodiscard]] std::optional<Square> enPassantSquare() const;
  [[nodiscard]] int halfmoveClock() const { return halfmoveClock_; }
  [[nodiscard]] int fullmoveNumber() const { return fullmoveNumber_; }
  // The squares of the rooks that may still castle, of both sides.
  [[nodiscard]] bits::Bitboard castlingRooks() const { return castlingRooks_; }

  [[nodiscard]] bits::Bitboard occupied(Side side) const {
    return bySide_[static_cast<int>(side)];
  }
  [[nodiscard]] bits::Bitboard occupied() const {
    return bySide_[0] | bySide_[1];
  }
  [[nodiscard]] bits::Bitboard pieces(PieceKind kind) const {
    return byKind_[static_cast<int>(kind)];
  }
  [[nodiscard]] bits::Bitboard pieces(Side side, PieceKind kind) const {
    return occupied(side) & pieces(kind);
  }
  [[nodiscard]] int kingSquare(Side side) const;

  [[nodiscard]] bool inCheck() const;

  friend bool operator==(const Position& a, const Position& b);

 private:
  friend Position play(const Position& position, const Move& move);

  void put(int square, Piece piece);
  // cppcheck-suppress unusedPrivateFunction
  void remove(int square, Piece piece);
  [[nodiscard]] std::optional<PieceKind> kindAt(int square) const;
  void keepEnPassantIfCapturable(int square);
  void addCastlingRight(char letter, std::string_view field);

  // By Side and by PieceKind, as ints.
  bits::Bitboard bySide_[2] = {};  // NOLINT(modernize-avoid-c-arrays)
  bits::Bitboard byKind_[6] = {};  // NOLINT(modernize-avoid-c-arrays)
  bits::Bitboard castlingRooks_ = 0;
  int8_t enPassant_ = -1;
  Side sideToMove_ = Side::white;
  bool chess960_ = false;
  int halfmoveClock_ = 0;
  int fullmoveNumber_ = 1;
};

inline bool operator!=(const Position& a, const Position& b) {
  return !(a == b);
}

// The position after a move from legalMoves(position), or after
// nullMove(position).
Position play(const Position& position, const Move& move);

// The pass of the side to move: the other side is to move, the en passant
// square gone, castling rights kept. Throws Error when the side to move is
// in check, as passing would leave its king in check.
Move nullMove(const Position& position);

// A fixed-capacity list; no position has more than 218 legal moves.
struct MoveList {
  std::array<Move, 256> moves;
  std::size_t size = 0;
  [[nodiscard]] const Move* begin() const { return moves.data(); }
  [[nodiscard]] const Move* end() const { return moves.data() + size; }
};

void generateLegalMoves(const Position& position, MoveList& list);
std::vector<Move> legalMoves(const Position& position);

// Whether a side's piece attacks a square, with the given pieces on the
// board.
bool attacked(const Position& position, int square, Side by,
              bits::Bitboard occupied);

bool isCheckmate(const Position& position);
bool isStalemate(const Position& position);

// The number of move sequences of the given length: the generator's test.
uint64_t perft(const Position& position, int depth);

}  // namespace tib::chess
