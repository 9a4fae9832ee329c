// The tokens of PGN text, shared by the splitter that finds games and the
// reader of one game.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tib::chess {

enum class TokenKind {
  end,
  tag,         // text: name, value: the value with escapes undone
  comment,     // text: inside the braces, after ';', or a bare [%...]
  nag,         // text: the digits
  moveNumber,  // "12." or "12..." or "..."
  symbol,      // a move, a glyph or anything else
  result,      // 1-0 0-1 1/2-1/2 *
  open,        // (
  close,       // )
  broken,      // a tag or comment that is not closed; text: why
};

struct Token {
  TokenKind kind = TokenKind::end;
  std::string_view text;
  std::string value;
  std::size_t begin = 0;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}
  Token next();

 private:
  Token readTag(std::size_t begin);
  Token readSymbol(std::size_t begin);
  [[nodiscard]] std::size_t lineEnd(std::size_t from) const;

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace tib::chess
