#include "chess/notation.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "chess/error.h"

namespace tib::chess {

namespace {

constexpr std::array<std::string_view, 6> kKindNames = {
    "pawn", "knight", "bishop", "rook", "queen", "king"};
constexpr std::array<std::string_view, 11> kCountWords = {
    "no",  "one",   "two",   "three", "four", "five",
    "six", "seven", "eight", "nine",  "ten"};

char upperLetter(PieceKind kind) { return fenLetter(Piece{Side::white, kind}); }

PieceKind movingKind(const Position& position, const Move& move) {
  return position.pieceAt(move.from).value_or(Piece{}).kind;
}

bool isCapture(const Position& position, const Move& move) {
  if (move.kind == MoveKind::enPassant) {
    return true;
  }
  const auto target = position.pieceAt(move.to);
  return move.kind != MoveKind::castling && target &&
         target->side != position.sideToMove();
}

std::optional<PieceKind> pieceOfUpperLetter(char letter) {
  if (letter < 'A' || letter > 'Z') {
    return std::nullopt;
  }
  const auto piece = pieceOfLetter(letter);
  return piece ? std::optional<PieceKind>(piece->kind) : std::nullopt;
}

bool isFile(char c) { return c >= 'a' && c <= 'h'; }
bool isRank(char c) { return c >= '1' && c <= '8'; }

Error notAMove(std::string_view text) {
  return Error("'" + std::string(text) + "' is not a move");
}

// What the SAN text says about the move: the piece, where it lands, the
// file and rank it comes from when given, and the promotion.
struct SanParts {
  PieceKind kind = PieceKind::pawn;
  Square to;
  int fromFile = -1;
  int fromRank = -1;
  std::optional<PieceKind> promotion;
};

SanParts parseSan(std::string_view original, std::string_view text) {
  SanParts parts;
  if (!text.empty() && (pieceOfUpperLetter(text[0]) || text[0] == 'P')) {
    parts.kind = pieceOfUpperLetter(text[0]).value_or(PieceKind::pawn);
    text.remove_prefix(1);
  }
  if (text.size() >= 2) {
    const char last = text.back();
    const char before = text[text.size() - 2];
    const auto promotion = pieceOfLetter(last);
    if (promotion && (before == '=' || isRank(before)) &&
        promotion->kind != PieceKind::pawn &&
        promotion->kind != PieceKind::king) {
      parts.promotion = promotion->kind;
      text.remove_suffix(before == '=' ? 2 : 1);
    }
  }
  if (text.size() < 2 || !isFile(text[text.size() - 2]) ||
      !isRank(text.back())) {
    throw notAMove(original);
  }
  parts.to = *squareNamed(text.substr(text.size() - 2));
  text.remove_suffix(2);
  std::string from;
  for (const char c : text) {
    if (c != 'x' && c != ':' && c != '-') {
      from += c;
    }
  }
  if (from.size() > 2) {
    throw notAMove(original);
  }
  for (const char c : from) {
    if (isFile(c) && parts.fromFile < 0 && parts.fromRank < 0) {
      parts.fromFile = c - 'a';
    } else if (isRank(c) && parts.fromRank < 0) {
      parts.fromRank = c - '1';
    } else {
      throw notAMove(original);
    }
  }
  return parts;
}

Move readCastling(std::string_view text, const MoveList& moves) {
  const bool kingside = text.size() == 3;
  const auto* const castling =
      std::find_if(moves.begin(), moves.end(), [kingside](const Move& move) {
        return move.kind == MoveKind::castling &&
               (move.to.file > move.from.file) == kingside;
      });
  if (castling != moves.end()) {
    return *castling;
  }
  throw Error(std::string(kingside ? "O-O" : "O-O-O") + " is not legal here");
}

std::string plural(PieceKind kind) {
  return std::string(kKindNames[static_cast<std::size_t>(kind)]) + "s";
}

}  // namespace

std::string writeUci(const Position& position, const Move& move) {
  if (move.kind == MoveKind::null) {
    return "0000";
  }
  const Square to = move.kind == MoveKind::castling && !position.chess960()
                        ? kingDestination(move)
                        : move.to;
  std::string text = squareName(move.from) + squareName(to);
  if (move.promotion) {
    text += fenLetter(Piece{Side::black, *move.promotion});
  }
  return text;
}

Move readUci(const Position& position, std::string_view text) {
  if (text == "0000") {
    return nullMove(position);
  }
  const auto from = squareNamed(text.substr(0, 2));
  const auto to = squareNamed(text.size() >= 4 ? text.substr(2, 2) : "");
  std::optional<PieceKind> promotion;
  if (text.size() == 5) {
    const auto piece = pieceOfLetter(text[4]);
    if (!piece || piece->kind == PieceKind::pawn ||
        piece->kind == PieceKind::king) {
      throw notAMove(text);
    }
    promotion = piece->kind;
  }
  if (!from || !to || text.size() < 4 || text.size() > 5) {
    throw notAMove(text);
  }
  MoveList moves;
  generateLegalMoves(position, moves);
  const Move* castling = nullptr;
  for (const Move& move : moves) {
    if (move.from == *from && move.to == *to && move.promotion == promotion) {
      return move;
    }
    if (move.kind == MoveKind::castling && move.from == *from &&
        kingDestination(move) == *to && !promotion) {
      castling = &move;
    }
  }
  if (castling == nullptr) {
    throw Error(std::string(text) + " is not a legal move here");
  }
  return *castling;
}

std::string writeSan(const Position& position, const Move& move) {
  if (move.kind == MoveKind::null) {
    return "--";
  }
  std::string text;
  const PieceKind kind = movingKind(position, move);
  if (move.kind == MoveKind::castling) {
    text = move.to.file > move.from.file ? "O-O" : "O-O-O";
  } else if (kind == PieceKind::pawn) {
    if (isCapture(position, move)) {
      text += static_cast<char>('a' + move.from.file);
      text += 'x';
    }
    text += squareName(move.to);
    if (move.promotion) {
      text += '=';
      text += upperLetter(*move.promotion);
    }
  } else {
    text += upperLetter(kind);
    bool shared = false;
    bool sameFile = false;
    bool sameRank = false;
    MoveList moves;
    generateLegalMoves(position, moves);
    for (const Move& other : moves) {
      if (other.to == move.to && other.from != move.from &&
          other.kind != MoveKind::castling &&
          movingKind(position, other) == kind) {
        shared = true;
        sameFile = sameFile || other.from.file == move.from.file;
        sameRank = sameRank || other.from.rank == move.from.rank;
      }
    }
    if (shared && (!sameFile || sameRank)) {
      text += static_cast<char>('a' + move.from.file);
    }
    if (shared && sameFile) {
      text += static_cast<char>('1' + move.from.rank);
    }
    if (isCapture(position, move)) {
      text += 'x';
    }
    text += squareName(move.to);
  }
  const Position after = play(position, move);
  if (after.inCheck()) {
    text += legalMoves(after).empty() ? '#' : '+';
  }
  return text;
}

Move readSan(const Position& position, std::string_view san) {
  std::string_view text = san;
  while (!text.empty() &&
         std::string_view("+#!?").find(text.back()) != std::string_view::npos) {
    text.remove_suffix(1);
  }
  if (text.size() > 4 && text.substr(text.size() - 4) == "e.p.") {
    text.remove_suffix(4);
  }
  if (text == "--") {
    return nullMove(position);
  }
  MoveList moves;
  generateLegalMoves(position, moves);
  std::string castling;
  for (const char c : text) {
    castling += c == '0' || c == 'o' ? 'O' : c;
  }
  if (castling == "O-O" || castling == "O-O-O") {
    return readCastling(castling, moves);
  }
  const SanParts parts = parseSan(san, text);
  std::vector<Move> matches;
  bool needsPromotion = false;
  for (const Move& move : moves) {
    if (move.kind == MoveKind::castling || move.to != parts.to ||
        movingKind(position, move) != parts.kind ||
        (parts.fromFile >= 0 && move.from.file != parts.fromFile) ||
        (parts.fromRank >= 0 && move.from.rank != parts.fromRank)) {
      continue;
    }
    if (move.promotion == parts.promotion) {
      matches.push_back(move);
    }
    needsPromotion = needsPromotion || (move.promotion && !parts.promotion);
  }
  const std::string where = squareName(parts.to);
  if (matches.empty() && needsPromotion) {
    throw Error("the pawn move to " + where + " needs a promotion piece");
  }
  if (matches.empty()) {
    throw Error("no " +
                std::string(kKindNames[static_cast<std::size_t>(parts.kind)]) +
                " can move to " + where);
  }
  if (matches.size() > 1) {
    std::string named;
    for (const Move& move : matches) {
      named += (named.empty() ? "" : ", ") + writeSan(position, move);
    }
    const std::size_t n = matches.size();
    const std::string count = n < kCountWords.size()
                                  ? std::string(kCountWords[n])
                                  : std::to_string(n);
    throw Error(count + " " + plural(parts.kind) + " can move to " + where +
                ": " + named);
  }
  return matches.front();
}

}  // namespace tib::chess
