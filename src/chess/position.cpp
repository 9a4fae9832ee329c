#include "chess/position.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <numeric>

#include "chess/attacks.h"
#include "chess/error.h"

namespace tib::chess {

using bits::bit;
using bits::Bitboard;
using bits::fileOf;
using bits::rankOf;
using bits::squareAt;

namespace {

constexpr int index(Square square) {
  return squareAt(square.file, square.rank);
}

std::string sideName(Side side) {
  return side == Side::white ? "white" : "black";
}

// The squares above and below one, in bit order.
Bitboard above(int square) { return ~((bit(square) << 1) - 1); }
Bitboard below(int square) { return bit(square) - 1; }

Bitboard backRank(Side side) {
  return side == Side::white ? bits::kRank1 : bits::kRank8;
}

std::vector<std::string_view> splitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == ' ' || text[at] == '\t') {
      ++at;
      continue;
    }
    const std::size_t end = text.find_first_of(" \t", at);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    fields.push_back(text.substr(at, stop - at));
    at = stop;
  }
  return fields;
}

int readCount(std::string_view field, const char* what) {
  if (field.empty() || field.size() > 6 ||
      field.find_first_not_of("0123456789") != std::string_view::npos) {
    throw Error("bad " + std::string(what) + " '" + std::string(field) + "'");
  }
  return std::accumulate(field.begin(), field.end(), 0, [](int value, char c) {
    return value * 10 + (c - '0');
  });
}

}  // namespace

bool operator==(const Move& a, const Move& b) {
  return a.from == b.from && a.to == b.to && a.promotion == b.promotion &&
         a.kind == b.kind;
}

Square kingDestination(const Move& move) {
  if (move.kind != MoveKind::castling) {
    return move.to;
  }
  return Square{move.to.file > move.from.file ? 6 : 2, move.from.rank};
}

Position::Position()
    : bySide_{0x000000000000ffffULL, 0xffff000000000000ULL},
      byKind_{0x00ff00000000ff00ULL, 0x4200000000000042ULL,
              0x2400000000000024ULL, 0x8100000000000081ULL,
              0x0800000000000008ULL, 0x1000000000000010ULL},
      castlingRooks_(0x8100000000000081ULL) {}

void Position::put(int square, Piece piece) {
  bySide_[static_cast<int>(piece.side)] |= bit(square);
  byKind_[static_cast<int>(piece.kind)] |= bit(square);
}

void Position::remove(int square, Piece piece) {
  bySide_[static_cast<int>(piece.side)] &= ~bit(square);
  byKind_[static_cast<int>(piece.kind)] &= ~bit(square);
}

std::optional<PieceKind> Position::kindAt(int square) const {
  for (int kind = 0; kind < 6; ++kind) {
    if ((byKind_[kind] & bit(square)) != 0) {
      return static_cast<PieceKind>(kind);
    }
  }
  return std::nullopt;
}

std::optional<Piece> Position::pieceAt(Square square) const {
  if (!onBoard(square)) {
    return std::nullopt;
  }
  const int at = index(square);
  const auto kind = kindAt(at);
  if (!kind) {
    return std::nullopt;
  }
  const Side side = (bySide_[0] & bit(at)) != 0 ? Side::white : Side::black;
  return Piece{side, *kind};
}

std::optional<Square> Position::enPassantSquare() const {
  if (enPassant_ < 0) {
    return std::nullopt;
  }
  return Square{fileOf(enPassant_), rankOf(enPassant_)};
}

int Position::kingSquare(Side side) const {
  return bits::lowest(pieces(side, PieceKind::king));
}

bool Position::inCheck() const {
  const Side them = opposite(sideToMove_);
  return (attackersTo(*this, kingSquare(sideToMove_), occupied()) &
          occupied(them)) != 0;
}

// Keeps the square only when the side to move can take there, so that two
// positions that allow the same moves compare and print the same.
void Position::keepEnPassantIfCapturable(int square) {
  enPassant_ = -1;
  const Side us = sideToMove_;
  const int captured = square + (us == Side::white ? -8 : 8);
  const int origin = square + (us == Side::white ? 8 : -8);
  if ((pieces(opposite(us), PieceKind::pawn) & bit(captured)) == 0 ||
      (occupied() & (bit(square) | bit(origin))) != 0) {
    return;
  }
  Bitboard takers = bits::kTables.pawn[static_cast<int>(opposite(us))][square] &
                    pieces(us, PieceKind::pawn);
  while (takers != 0) {
    if (enPassantIsLegal(*this, bits::popLowest(takers), square)) {
      enPassant_ = static_cast<int8_t>(square);
      return;
    }
  }
}

bool operator==(const Position& a, const Position& b) {
  for (int i = 0; i < 6; ++i) {
    if (a.byKind_[i] != b.byKind_[i]) {
      return false;
    }
  }
  return a.bySide_[0] == b.bySide_[0] && a.bySide_[1] == b.bySide_[1] &&
         a.castlingRooks_ == b.castlingRooks_ && a.enPassant_ == b.enPassant_ &&
         a.sideToMove_ == b.sideToMove_ && a.chess960_ == b.chess960_ &&
         a.halfmoveClock_ == b.halfmoveClock_ &&
         a.fullmoveNumber_ == b.fullmoveNumber_;
}

Position Position::fromFen(std::string_view fen, bool chess960) {
  const auto fields = splitFields(fen);
  if (fields.empty()) {
    throw Error("empty FEN");
  }
  if (fields.size() > 6) {
    throw Error("the FEN has more than six fields");
  }
  Position position;
  position.bySide_[0] = position.bySide_[1] = 0;
  std::fill(std::begin(position.byKind_), std::end(position.byKind_), 0);
  position.castlingRooks_ = 0;
  position.chess960_ = chess960;

  int rank = 7;
  int file = 0;
  for (const char c : fields[0]) {
    if (c == '/') {
      if (file != 8) {
        throw Error("rank " + std::to_string(rank + 1) + " of the FEN has " +
                    std::to_string(file) + " squares");
      }
      if (--rank < 0) {
        throw Error("the FEN has more than 8 ranks");
      }
      file = 0;
    } else if (c >= '1' && c <= '8') {
      file += c - '0';
    } else if (const auto piece = pieceOfLetter(c)) {
      if (file < 8) {
        position.put(squareAt(file, rank), *piece);
      }
      ++file;
    } else {
      throw Error(std::string("bad character '") + c + "' in the FEN's board");
    }
    if (file > 8) {
      throw Error("rank " + std::to_string(rank + 1) +
                  " of the FEN has more than 8 squares");
    }
  }
  if (rank != 0 || file != 8) {
    throw Error("the FEN's board does not fill 8 ranks of 8 squares");
  }

  const std::string_view side = fields.size() > 1 ? fields[1] : "w";
  if (side != "w" && side != "b" && side != "W" && side != "B") {
    throw Error("bad side to move '" + std::string(side) + "'");
  }
  position.sideToMove_ = side == "w" || side == "W" ? Side::white : Side::black;

  for (const Side s : {Side::white, Side::black}) {
    const int kings = bits::count(position.pieces(s, PieceKind::king));
    if (kings != 1) {
      throw Error((kings == 0 ? "no " : "more than one ") + sideName(s) +
                  " king");
    }
  }
  const Bitboard strayPawns =
      position.pieces(PieceKind::pawn) & (bits::kRank1 | bits::kRank8);
  if (strayPawns != 0) {
    const int at = bits::lowest(strayPawns);
    throw Error("a pawn on " + squareName({fileOf(at), rankOf(at)}));
  }
  const Side mover = position.sideToMove_;
  const Side waiting = opposite(mover);
  if ((attackersTo(position, position.kingSquare(waiting),
                   position.occupied()) &
       position.occupied(mover)) != 0) {
    throw Error(sideName(waiting) + " is in check but " + sideName(mover) +
                " is to move");
  }

  const std::string_view castling = fields.size() > 2 ? fields[2] : "-";
  if (castling != "-") {
    for (const char c : castling) {
      position.addCastlingRight(c, castling);
    }
  }

  const std::string_view passant = fields.size() > 3 ? fields[3] : "-";
  if (passant != "-") {
    const auto square = squareNamed(passant);
    const int expectedRank = mover == Side::white ? 5 : 2;
    if (!square || square->rank != expectedRank) {
      throw Error("bad en passant square '" + std::string(passant) + "'");
    }
    position.keepEnPassantIfCapturable(index(*square));
  }

  if (fields.size() > 4) {
    position.halfmoveClock_ = readCount(fields[4], "halfmove clock");
  }
  if (fields.size() > 5) {
    position.fullmoveNumber_ = std::max(1, readCount(fields[5], "move number"));
  }
  return position;
}

// K and Q name the outermost rook on their wing, a file letter the rook on
// that file. A right whose king or rook is not in place is dropped, as real
// files carry stale rights.
void Position::addCastlingRight(char letter, std::string_view field) {
  const bool white = letter >= 'A' && letter <= 'Z';
  const Side side = white ? Side::white : Side::black;
  const char lower = white ? static_cast<char>(letter - 'A' + 'a') : letter;
  if (lower != 'k' && lower != 'q' && (lower < 'a' || lower > 'h')) {
    throw Error("bad castling field '" + std::string(field) + "'");
  }
  const int king = kingSquare(side);
  const int rank = side == Side::white ? 0 : 7;
  if (rankOf(king) != rank) {
    return;
  }
  const Bitboard rooks = pieces(side, PieceKind::rook) & backRank(side);
  int rook = -1;
  if (lower == 'k') {
    for (int f = 7; f > fileOf(king) && rook < 0; --f) {
      rook = (rooks & bit(squareAt(f, rank))) != 0 ? squareAt(f, rank) : -1;
    }
  } else if (lower == 'q') {
    for (int f = 0; f < fileOf(king) && rook < 0; ++f) {
      rook = (rooks & bit(squareAt(f, rank))) != 0 ? squareAt(f, rank) : -1;
    }
  } else if ((rooks & bit(squareAt(lower - 'a', rank))) != 0) {
    rook = squareAt(lower - 'a', rank);
  }
  if (rook < 0) {
    return;
  }
  if (!chess960_ &&
      (fileOf(king) != 4 || (fileOf(rook) != 0 && fileOf(rook) != 7))) {
    return;
  }
  // One rook a wing: a second would make O-O mean two moves.
  const Bitboard wing =
      backRank(side) & (rook > king ? above(king) : below(king));
  if ((castlingRooks_ & wing) == 0) {
    castlingRooks_ |= bit(rook);
  }
}

std::string Position::fen() const {
  std::string out;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const auto piece = pieceAt({file, rank});
      if (!piece) {
        ++empty;
        continue;
      }
      if (empty > 0) {
        out += static_cast<char>('0' + empty);
        empty = 0;
      }
      out += fenLetter(*piece);
    }
    if (empty > 0) {
      out += static_cast<char>('0' + empty);
    }
    if (rank > 0) {
      out += '/';
    }
  }
  out += sideToMove_ == Side::white ? " w " : " b ";
  std::string castling;
  for (const Side side : {Side::white, Side::black}) {
    const int king = kingSquare(side);
    const Bitboard rooks = pieces(side, PieceKind::rook) & backRank(side);
    const Bitboard rights = castlingRooks_ & occupied(side);
    // Kingside first, then queenside, each as K/Q when the rook is the
    // outermost one on its wing, otherwise as its file.
    for (const bool kingside : {true, false}) {
      const Bitboard wing = kingside ? above(king) : below(king);
      if ((rights & wing) == 0) {
        continue;
      }
      const int rook = bits::lowest(rights & wing);
      const bool outermost = kingside ? bits::highest(rooks & wing) == rook
                                      : bits::lowest(rooks & wing) == rook;
      char letter = outermost ? (kingside ? 'k' : 'q')
                              : static_cast<char>('a' + fileOf(rook));
      if (side == Side::white) {
        letter = static_cast<char>(letter - 'a' + 'A');
      }
      castling += letter;
    }
  }
  out += castling.empty() ? "-" : castling;
  out += ' ';
  out += enPassant_ < 0 ? "-" : squareName(*enPassantSquare());
  out += ' ' + std::to_string(halfmoveClock_) + ' ' +
         std::to_string(fullmoveNumber_);
  return out;
}

Move nullMove(const Position& position) {
  if (position.inCheck()) {
    throw Error("a null move leaves " + sideName(position.sideToMove()) +
                "'s king in check");
  }
  const int king = position.kingSquare(position.sideToMove());
  const Square square{fileOf(king), rankOf(king)};
  return Move{square, square, std::nullopt, MoveKind::null};
}

Position play(const Position& position, const Move& move) {
  Position next = position;
  const Side us = position.sideToMove_;
  const Side them = opposite(us);
  if (move.kind == MoveKind::null) {
    ++next.halfmoveClock_;
    next.fullmoveNumber_ += us == Side::black ? 1 : 0;
    next.sideToMove_ = them;
    next.enPassant_ = -1;
    return next;
  }
  const int from = index(move.from);
  const int to = index(move.to);
  const PieceKind moving = position.kindAt(from).value_or(PieceKind::pawn);
  ++next.halfmoveClock_;
  if (move.kind == MoveKind::castling) {
    const bool kingside = to > from;
    const int rank = rankOf(from);
    next.remove(from, {us, PieceKind::king});
    next.remove(to, {us, PieceKind::rook});
    next.put(squareAt(kingside ? 6 : 2, rank), {us, PieceKind::king});
    next.put(squareAt(kingside ? 5 : 3, rank), {us, PieceKind::rook});
  } else {
    if (move.kind == MoveKind::enPassant) {
      next.remove(squareAt(fileOf(to), rankOf(from)), {them, PieceKind::pawn});
    } else if ((position.occupied(them) & bit(to)) != 0) {
      next.remove(to, {them, *position.kindAt(to)});
      next.halfmoveClock_ = 0;
    }
    next.remove(from, {us, moving});
    next.put(to, {us, move.promotion.value_or(moving)});
  }
  if (moving == PieceKind::king) {
    next.castlingRooks_ &= ~backRank(us);
  }
  next.castlingRooks_ &= ~(bit(from) | bit(to));
  if (us == Side::black) {
    ++next.fullmoveNumber_;
  }
  next.sideToMove_ = them;
  next.enPassant_ = -1;
  if (moving == PieceKind::pawn) {
    next.halfmoveClock_ = 0;
    if (std::abs(to - from) == 16) {
      next.keepEnPassantIfCapturable((from + to) / 2);
    }
  }
  return next;
}

}  // namespace tib::chess
