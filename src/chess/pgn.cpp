#include "chess/pgn.h"

#include <algorithm>
#include <array>

#include "chess/error.h"
#include "chess/notation.h"
#include "chess/pgn_lexer.h"

namespace tib::chess {

namespace {

constexpr std::array<std::string_view, 6> kGlyphTexts = {"!",  "?",  "!!",
                                                         "??", "!?", "?!"};
constexpr int kLastNag = 255;

// The evaluation symbols annotators write as text, with their NAGs.
struct SymbolNag {
  std::string_view text;
  // cppcheck-suppress unusedStructMember
  int nag;
};
constexpr std::array<SymbolNag, 15> kSymbolNags = {{
    {"=", 10},
    {"\xe2\x88\x9e", 13},  // unclear
    {"+=", 14},
    {"+/=", 14},
    {"\xe2\xa9\xb2", 14},
    {"=+", 15},
    {"=/+", 15},
    {"\xe2\xa9\xb1", 15},
    {"+/-", 16},
    {"\xc2\xb1", 16},
    {"-/+", 17},
    {"\xe2\x88\x93", 17},
    {"+-", 18},
    {"-+", 19},
    {"=/\xe2\x88\x9e", 44},  // compensation for the material
}};

constexpr std::string_view kByteOrderMark = "\xef\xbb\xbf";
// Longer tokens are no move; they are cut short in messages.
constexpr std::size_t kLongestMove = 32;

// Text has few control bytes besides line ends and tabs, and no NUL.
bool looksLikeText(std::string_view bytes) {
  std::size_t control = 0;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0) {
      return false;
    }
    if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' &&
         byte != '\f' && byte != '\v') ||
        byte == 0x7f) {
      ++control;
    }
  }
  return control * 10 <= bytes.size();
}

std::string shortened(std::string_view text) {
  return text.size() <= kLongestMove
             ? std::string(text)
             : std::string(text.substr(0, kLongestMove)) + "...";
}

std::string lowerWithoutSeparators(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c != ' ' && c != '-' && c != '_') {
      out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  return out;
}

// Whether the Variant tag asks for Chess960; other variants than standard
// chess are refused, as their moves would replay wrong.
bool chess960Variant(const std::vector<Tag>& tags, std::size_t game) {
  for (const Tag& tag : tags) {
    if (tag.name != "Variant") {
      continue;
    }
    const std::string variant = lowerWithoutSeparators(tag.value);
    if (variant == "chess960" || variant == "fischerandom" ||
        variant == "fischerrandom" || variant == "960") {
      return true;
    }
    if (!variant.empty() && variant != "standard" && variant != "normal" &&
        variant != "fromposition" && variant != "chess") {
      throw GameError(
          game, 0, "",
          "the variant '" + shortened(tag.value) + "' is not supported");
    }
    return false;
  }
  return false;
}

Position startOf(const std::vector<Tag>& tags, std::size_t game) {
  const bool chess960 = chess960Variant(tags, game);
  for (const Tag& tag : tags) {
    if (tag.name == "FEN") {
      try {
        return Position::fromFen(tag.value, chess960);
      } catch (const Error& error) {
        throw GameError(game, 0, "", "bad FEN tag: " + error.reason());
      }
    }
  }
  return Position::fromFen(kStartingFen, chess960);
}

// Reads one game's tokens: the tags, then the main line, skipping
// variations.
class GameReader {
 public:
  explicit GameReader(const GameText& text)
      : number_(text.number), lexer_(text.text) {}

  Game read() {
    for (Token token = lexer_.next(); token.kind != TokenKind::end;
         token = lexer_.next()) {
      take(token);
    }
    if (depth_ > 0) {
      fail("a variation is not closed");
    }
    begin();
    return std::move(game_);
  }

 private:
  [[noreturn]] void fail(const std::string& reason) const {
    const std::size_t ply = game_.plies.size();
    throw GameError(number_, ply,
                    ply > 0 ? game_.plies.back().moveText : std::string(),
                    reason);
  }

  void begin() {
    if (!started_) {
      started_ = true;
      game_.start = startOf(game_.tags, number_);
    }
  }

  Commentary& commentary() {
    return game_.plies.empty() ? game_.startCommentary
                               : game_.plies.back().commentary;
  }

  void take(Token& token) {
    switch (token.kind) {
      case TokenKind::broken:
        fail(std::string(token.text));
      case TokenKind::tag:
        if (started_) {
          fail("a tag among the moves");
        }
        game_.tags.push_back({std::string(token.text), std::move(token.value)});
        return;
      case TokenKind::open:
        begin();
        if (game_.plies.empty()) {
          fail("a variation before the first move");
        }
        if (++depth_ > kMaxVariationDepth) {
          fail("variations nested deeper than " +
               std::to_string(kMaxVariationDepth));
        }
        return;
      case TokenKind::close:
        if (depth_ == 0) {
          fail("')' without '('");
        }
        --depth_;
        return;
      default:
        break;
    }
    if (depth_ > 0) {
      return;
    }
    switch (token.kind) {
      case TokenKind::comment:
        readComment(token.text, commentary());
        return;
      case TokenKind::nag:
        if (token.text.size() <= 3) {
          takeNag(std::stoi(std::string(token.text)));
        }
        return;
      case TokenKind::result:
        begin();
        game_.result = std::string(token.text);
        return;
      case TokenKind::symbol:
        begin();
        readSymbol(token.text);
        return;
      default:
        return;
    }
  }

  void takeNag(int nag) {
    if (game_.plies.empty()) {
      return;
    }
    Ply& ply = game_.plies.back();
    if (nag >= 1 && nag <= 6) {
      ply.glyph = static_cast<Glyph>(nag - 1);
    } else if (nag > 6 && nag <= kLastNag) {
      ply.nags.push_back(nag);
    }
  }

  void readSymbol(std::string_view text) {
    // "e.p." after an en passant capture says what the move already did.
    if (text == "e.p.") {
      return;
    }
    const auto* const symbol =
        std::find_if(kSymbolNags.begin(), kSymbolNags.end(),
                     [text](const SymbolNag& row) { return row.text == text; });
    if (symbol != kSymbolNags.end()) {
      takeNag(symbol->nag);
      return;
    }
    std::size_t glyphStart = text.size();
    while (glyphStart > 0 &&
           (text[glyphStart - 1] == '!' || text[glyphStart - 1] == '?')) {
      --glyphStart;
    }
    const auto glyph = glyphOfText(text.substr(glyphStart));
    if (glyphStart == 0) {
      // A glyph standing apart from its move.
      if (glyph && !game_.plies.empty()) {
        game_.plies.back().glyph = glyph;
      }
      return;
    }
    const Position& before =
        game_.plies.empty() ? game_.start : game_.plies.back().after;
    const std::string moveText =
        std::to_string(before.fullmoveNumber()) +
        (before.sideToMove() == Side::white ? ". " : "... ") + shortened(text);
    const std::size_t ply = game_.plies.size() + 1;
    if (ply > kMaxPlies) {
      throw GameError(
          number_, ply, moveText,
          "the game is longer than " + std::to_string(kMaxPlies) + " plies");
    }
    if (text.size() > kLongestMove) {
      throw GameError(number_, ply, moveText,
                      "'" + shortened(text) + "' is not a move");
    }
    Ply next;
    try {
      next.move = readSan(before, text.substr(0, glyphStart));
    } catch (const Error& error) {
      throw GameError(number_, ply, moveText, error.reason());
    }
    next.after = play(before, next.move);
    next.san = std::string(text);
    next.moveText = moveText;
    next.glyph = glyph;
    game_.plies.push_back(std::move(next));
  }

  std::size_t number_;
  Lexer lexer_;
  Game game_;
  bool started_ = false;
  int depth_ = 0;
};

}  // namespace

std::string_view glyphText(Glyph glyph) {
  return kGlyphTexts[static_cast<std::size_t>(glyph)];
}

std::optional<Glyph> glyphOfText(std::string_view text) {
  for (std::size_t i = 0; i < kGlyphTexts.size(); ++i) {
    if (kGlyphTexts[i] == text) {
      return static_cast<Glyph>(i);
    }
  }
  return std::nullopt;
}

std::optional<std::string_view> tagValue(const Game& game,
                                         std::string_view name) {
  const auto tag = std::find_if(
      game.tags.begin(), game.tags.end(),
      [name](const Tag& candidate) { return candidate.name == name; });
  if (tag == game.tags.end()) {
    return std::nullopt;
  }
  return std::string_view(tag->value);
}

const Position& positionAfter(const Game& game, std::size_t plies) {
  return plies == 0
             ? game.start
             : game.plies.at(std::min(plies, game.plies.size()) - 1).after;
}

std::vector<GameText> splitGames(std::string_view pgn) {
  if (!looksLikeText(pgn)) {
    throw GameError(0, 0, "", "not a PGN text file");
  }
  if (pgn.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    pgn.remove_prefix(kByteOrderMark.size());
  }
  std::vector<GameText> games;
  Lexer lexer(pgn);
  std::size_t start = std::string_view::npos;
  bool content = false;
  bool moves = false;
  bool ended = false;
  int depth = 0;
  const auto finish = [&](std::size_t end) {
    if (start != std::string_view::npos && content) {
      games.push_back({games.size() + 1, pgn.substr(start, end - start)});
    }
    start = std::string_view::npos;
    content = moves = ended = false;
    depth = 0;
  };
  for (Token token = lexer.next(); token.kind != TokenKind::end;
       token = lexer.next()) {
    const bool isTag =
        token.kind == TokenKind::tag ||
        (token.kind == TokenKind::broken && pgn[token.begin] == '[');
    if (token.kind == TokenKind::comment) {
      // A comment after the result stays with its game.
      if (start == std::string_view::npos) {
        start = token.begin;
      }
      continue;
    }
    if ((isTag && moves) || (!isTag && ended)) {
      finish(token.begin);
    }
    if (start == std::string_view::npos) {
      start = token.begin;
    }
    content = true;
    if (isTag) {
      continue;
    }
    moves = true;
    if (token.kind == TokenKind::open) {
      ++depth;
    } else if (token.kind == TokenKind::close && depth > 0) {
      --depth;
    } else if (token.kind == TokenKind::result && depth == 0) {
      ended = true;
    }
  }
  finish(pgn.size());
  return games;
}

Game readGame(const GameText& text) { return GameReader(text).read(); }

Game readGame(std::string_view pgn, std::size_t gameNumber) {
  const auto games = splitGames(pgn);
  if (games.empty()) {
    const bool blank =
        pgn.find_first_not_of(" \t\r\n\f\v") == std::string_view::npos;
    throw GameError(0, 0, "",
                    blank ? "the file is empty" : "the file holds no game");
  }
  if (gameNumber == 0 || gameNumber > games.size()) {
    throw GameError(gameNumber, 0, "",
                    "the file holds " + std::to_string(games.size()) +
                        (games.size() == 1 ? " game" : " games"));
  }
  return readGame(games[gameNumber - 1]);
}

}  // namespace tib::chess
