// Moves as text: UCI (e2e4, e7e8q) and SAN (Nf3, exd5, O-O, e8=Q+).
#pragma once

#include <string>
#include <string_view>

#include "chess/position.h"

namespace tib::chess {

// Castling is the king's two-square step in standard chess (e1g1) and the
// king taking its rook in Chess960 (e1h1); a null move is 0000.
std::string writeUci(const Position& position, const Move& move);

// Accepts both castling forms in either kind of game, and 0000 for a null
// move. Throws Error when the text is no legal move of the position.
Move readUci(const Position& position, std::string_view text);

// The SAN of a legal move: the least disambiguation that tells the piece,
// "x" for captures, "=Q" for promotions, "+" or "#"; "--" for a null move.
std::string writeSan(const Position& position, const Move& move);

// Reads SAN as people and programs write it: O-O or 0-0, e8=Q or e8Q,
// check and mate marks present, absent or wrong, glyphs such as "!?"
// attached, a needless disambiguation (Ngf3, Ng1f3, Ng1-f3), "x" present or
// not, "e.p." after an en passant capture, "--" for a null move. Throws
// Error for a move no piece can make ("no knight can move to f3"), one that
// two pieces can make ("two knights can move to d2: Nbd2, Nfd2"), text that
// is no move, and a null move in check.
Move readSan(const Position& position, std::string_view san);

}  // namespace tib::chess
