// Legal moves straight from the board: the checkers and the pinned pieces
// are found first, so no move is tried and taken back.
#include <numeric>

#include "chess/attacks.h"
#include "chess/position.h"

namespace tib::chess {

using bits::bit;
using bits::Bitboard;
using bits::kTables;

namespace {

constexpr Square squareOf(int square) {
  return {bits::fileOf(square), bits::rankOf(square)};
}

void add(MoveList& list, int from, int to, MoveKind kind = MoveKind::normal) {
  list.moves[list.size++] = Move{squareOf(from), squareOf(to), {}, kind};
}

void addPawnMove(MoveList& list, int from, int to) {
  if ((bit(to) & (bits::kRank1 | bits::kRank8)) == 0) {
    add(list, from, to);
    return;
  }
  for (const PieceKind kind : {PieceKind::queen, PieceKind::rook,
                               PieceKind::bishop, PieceKind::knight}) {
    list.moves[list.size++] = Move{squareOf(from), squareOf(to), kind, {}};
  }
}

void addAll(MoveList& list, int from, Bitboard targets) {
  while (targets != 0) {
    add(list, from, bits::popLowest(targets));
  }
}

// The king ends on the g or c file and the rook beside it, wherever they
// started (Chess960). Every square either crosses must be empty but for the
// two, and none the king crosses attacked once both have left.
void addCastling(const Position& position, int king, int rook, Bitboard enemy,
                 MoveList& list) {
  const int rank = bits::rankOf(king);
  const bool kingside = rook > king;
  const int kingTo = bits::squareAt(kingside ? 6 : 2, rank);
  const int rookTo = bits::squareAt(kingside ? 5 : 3, rank);
  const Bitboard kingPath = kTables.between[king][kingTo] | bit(kingTo);
  const Bitboard crossed =
      (kingPath | kTables.between[rook][rookTo] | bit(rookTo)) &
      ~(bit(king) | bit(rook));
  const Bitboard occupied = position.occupied();
  if ((crossed & occupied) != 0) {
    return;
  }
  const Bitboard without = occupied ^ bit(king) ^ bit(rook);
  for (Bitboard path = kingPath; path != 0;) {
    if ((attackersTo(position, bits::popLowest(path), without) & enemy) != 0) {
      return;
    }
  }
  add(list, king, rook, MoveKind::castling);
}

}  // namespace

Bitboard attackersTo(const Position& position, int square, Bitboard occupied) {
  const Bitboard diagonal =
      position.pieces(PieceKind::bishop) | position.pieces(PieceKind::queen);
  const Bitboard straight =
      position.pieces(PieceKind::rook) | position.pieces(PieceKind::queen);
  const Bitboard pawns = position.pieces(PieceKind::pawn);
  return ((kTables.pawn[1][square] & pawns & position.occupied(Side::white)) |
          (kTables.pawn[0][square] & pawns & position.occupied(Side::black)) |
          (kTables.knight[square] & position.pieces(PieceKind::knight)) |
          (kTables.king[square] & position.pieces(PieceKind::king)) |
          (bits::bishopAttacks(square, occupied) & diagonal) |
          (bits::rookAttacks(square, occupied) & straight)) &
         occupied;
}

bool attacked(const Position& position, int square, Side by,
              Bitboard occupied) {
  return (attackersTo(position, square, occupied) & position.occupied(by)) != 0;
}

bool enPassantIsLegal(const Position& position, int from, int target) {
  const Side us = position.sideToMove();
  const int captured = bits::squareAt(bits::fileOf(target), bits::rankOf(from));
  const Bitboard after =
      (position.occupied() ^ bit(from) ^ bit(captured)) | bit(target);
  return !attacked(position, position.kingSquare(us), opposite(us), after);
}

void generateLegalMoves(const Position& position, MoveList& list) {
  list.size = 0;
  const Side us = position.sideToMove();
  const Side them = opposite(us);
  const Bitboard own = position.occupied(us);
  const Bitboard enemy = position.occupied(them);
  const Bitboard occupied = own | enemy;
  const int king = position.kingSquare(us);
  const Bitboard checkers = attackersTo(position, king, occupied) & enemy;

  const Bitboard withoutKing = occupied ^ bit(king);
  for (Bitboard steps = kTables.king[king] & ~own; steps != 0;) {
    const int to = bits::popLowest(steps);
    if ((attackersTo(position, to, withoutKing) & enemy) == 0) {
      add(list, king, to);
    }
  }
  if (bits::count(checkers) > 1) {
    return;
  }
  const Bitboard targets =
      checkers != 0 ? checkers | kTables.between[king][bits::lowest(checkers)]
                    : ~own;

  const Bitboard diagonal =
      position.pieces(PieceKind::bishop) | position.pieces(PieceKind::queen);
  const Bitboard straight =
      position.pieces(PieceKind::rook) | position.pieces(PieceKind::queen);
  Bitboard pinned = 0;
  Bitboard snipers = ((bits::bishopAttacks(king, enemy) & diagonal) |
                      (bits::rookAttacks(king, enemy) & straight)) &
                     enemy;
  while (snipers != 0) {
    const Bitboard between =
        kTables.between[king][bits::popLowest(snipers)] & occupied;
    if (bits::count(between) == 1 && (between & own) != 0) {
      pinned |= between;
    }
  }
  // A pinned piece stays on the line through its king and its pinner.
  const auto allowed = [&](int from) {
    return (pinned & bit(from)) != 0 ? targets & kTables.line[king][from]
                                     : targets;
  };

  for (Bitboard knights = position.pieces(PieceKind::knight) & own & ~pinned;
       knights != 0;) {
    const int from = bits::popLowest(knights);
    addAll(list, from, kTables.knight[from] & targets);
  }
  for (Bitboard sliders = diagonal & own; sliders != 0;) {
    const int from = bits::popLowest(sliders);
    addAll(list, from, bits::bishopAttacks(from, occupied) & allowed(from));
  }
  for (Bitboard sliders = straight & own; sliders != 0;) {
    const int from = bits::popLowest(sliders);
    addAll(list, from, bits::rookAttacks(from, occupied) & allowed(from));
  }

  const int forward = us == Side::white ? 8 : -8;
  const int startRank = us == Side::white ? 1 : 6;
  const auto passant = position.enPassantSquare();
  const int passantSquare =
      passant ? bits::squareAt(passant->file, passant->rank) : -1;
  for (Bitboard pawns = position.pieces(PieceKind::pawn) & own; pawns != 0;) {
    const int from = bits::popLowest(pawns);
    const Bitboard legal = allowed(from);
    const int one = from + forward;
    if ((occupied & bit(one)) == 0) {
      if ((legal & bit(one)) != 0) {
        addPawnMove(list, from, one);
      }
      const int two = one + forward;
      if (bits::rankOf(from) == startRank && (occupied & bit(two)) == 0 &&
          (legal & bit(two)) != 0) {
        add(list, from, two);
      }
    }
    for (Bitboard takes =
             kTables.pawn[static_cast<int>(us)][from] & enemy & legal;
         takes != 0;) {
      addPawnMove(list, from, bits::popLowest(takes));
    }
    if (passantSquare >= 0 &&
        (kTables.pawn[static_cast<int>(us)][from] & bit(passantSquare)) != 0 &&
        enPassantIsLegal(position, from, passantSquare)) {
      add(list, from, passantSquare, MoveKind::enPassant);
    }
  }

  if (checkers == 0) {
    for (Bitboard rooks = position.castlingRooks() & own; rooks != 0;) {
      addCastling(position, king, bits::popLowest(rooks), enemy, list);
    }
  }
}

std::vector<Move> legalMoves(const Position& position) {
  MoveList list;
  generateLegalMoves(position, list);
  std::vector<Move> moves;
  moves.assign(list.begin(), list.end());
  return moves;
}

bool isCheckmate(const Position& position) {
  return position.inCheck() && legalMoves(position).empty();
}

bool isStalemate(const Position& position) {
  return !position.inCheck() && legalMoves(position).empty();
}

// Recursion as deep as the depth asked, a handful of plies.
// NOLINTNEXTLINE(misc-no-recursion)
uint64_t perft(const Position& position,
               int depth) {  // NOLINT(misc-no-recursion)
  if (depth <= 0) {
    return 1;
  }
  MoveList list;
  generateLegalMoves(position, list);
  if (depth == 1) {
    return static_cast<uint64_t>(list.size);
  }
  return std::accumulate(list.begin(), list.end(), uint64_t{0},
                         // NOLINTNEXTLINE(misc-no-recursion)
                         [&](uint64_t total, const Move& move) {
                           return total +
                                  perft(play(position, move), depth - 1);
                         });
}

}  // namespace tib::chess
