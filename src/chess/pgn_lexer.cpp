#include "chess/pgn_lexer.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace tib::chess {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' ||
         c == '\v';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) ||
         c == '_';
}

bool endsSymbol(char c) {
  return isSpace(c) ||
         std::string_view("{}()[];$").find(c) != std::string_view::npos;
}

Token make(TokenKind kind, std::string_view text, std::size_t begin) {
  Token token;
  token.kind = kind;
  token.text = text;
  token.begin = begin;
  return token;
}

// Whether the quote at line[at] closes a tag: "]" follows it, spaces
// allowed between.
bool closesTag(std::string_view line, std::size_t at) {
  if (at >= line.size() || line[at] != '"') {
    return false;
  }
  const std::size_t after = line.find_first_not_of(" \t", at + 1);
  return after != std::string_view::npos && line[after] == ']';
}

// A tag's value from line[from], just past its opening quote, and where
// its closing quote is; none when no quote closes it. Escaped, a backslash
// takes the backslash or quote after it as the value's own; lenient, a
// quote that closes the tag does so even after a backslash.
std::optional<std::pair<std::string, std::size_t>> tagValueFrom(
    std::string_view line, std::size_t from, bool lenient) {
  std::string value;
  for (std::size_t i = from; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\' && i + 1 < line.size() &&
        (line[i + 1] == '\\' ||
         (line[i + 1] == '"' && !(lenient && closesTag(line, i + 1))))) {
      value += line[++i];
      continue;
    }
    if (closesTag(line, i)) {
      return std::pair{value, i};
    }
    value += c;
  }
  return std::nullopt;
}

}  // namespace

std::size_t Lexer::lineEnd(std::size_t from) const {
  const std::size_t end = text_.find('\n', from);
  return end == std::string_view::npos ? text_.size() : end;
}

Token Lexer::next() {
  while (at_ < text_.size()) {
    const char c = text_[at_];
    if (isSpace(c)) {
      ++at_;
    } else if (c == '%' && (at_ == 0 || text_[at_ - 1] == '\n')) {
      // An escape line: another program's data, skipped whole.
      at_ = lineEnd(at_);
    } else {
      break;
    }
  }
  const std::size_t begin = at_;
  if (begin >= text_.size()) {
    return make(TokenKind::end, {}, begin);
  }
  switch (text_[begin]) {
    case '{': {
      const std::size_t close = text_.find('}', begin + 1);
      if (close == std::string_view::npos) {
        at_ = text_.size();
        return make(TokenKind::broken, "a comment is not closed", begin);
      }
      at_ = close + 1;
      return make(TokenKind::comment,
                  text_.substr(begin + 1, close - begin - 1), begin);
    }
    case ';':
      at_ = lineEnd(begin);
      return make(TokenKind::comment, text_.substr(begin + 1, at_ - begin - 1),
                  begin);
    case '[':
      // A [%...] command outside braces, as some programs write them.
      if (begin + 1 < text_.size() && text_[begin + 1] == '%') {
        const std::size_t close = text_.find(']', begin);
        if (close == std::string_view::npos) {
          at_ = text_.size();
          return make(TokenKind::broken, "a [% command is not closed", begin);
        }
        at_ = close + 1;
        return make(TokenKind::comment, text_.substr(begin, at_ - begin),
                    begin);
      }
      return readTag(begin);
    case '(':
      at_ = begin + 1;
      return make(TokenKind::open, "(", begin);
    case ')':
      at_ = begin + 1;
      return make(TokenKind::close, ")", begin);
    case '$': {
      std::size_t end = begin + 1;
      while (end < text_.size() && isDigit(text_[end])) {
        ++end;
      }
      at_ = end;
      if (end == begin + 1) {
        return make(TokenKind::broken, "'$' without a number", begin);
      }
      return make(TokenKind::nag, text_.substr(begin + 1, end - begin - 1),
                  begin);
    }
    case '*':
      at_ = begin + 1;
      return make(TokenKind::result, "*", begin);
    default:
      return readSymbol(begin);
  }
}

// A tag sits on one line. Its value ends at the first unescaped quote
// followed by "]", so that bare quotes inside it, as in [White ""Mirage""],
// are part of it and [White "A\"]B"] is A"]B. When no quote closes it so,
// a backslash before the first such quote is the value's own, as in
// [Site "C:\"]: files written without escapes hold such paths.
Token Lexer::readTag(std::size_t begin) {
  const std::size_t end = lineEnd(begin);
  const std::string_view line = text_.substr(begin, end - begin);
  at_ = end;
  std::size_t i = 1;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
    ++i;
  }
  const std::size_t nameBegin = i;
  while (i < line.size() && isNameChar(line[i])) {
    ++i;
  }
  if (i == nameBegin) {
    return make(TokenKind::broken, "a tag without a name", begin);
  }
  Token token =
      make(TokenKind::tag, line.substr(nameBegin, i - nameBegin), begin);
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
    ++i;
  }
  if (i >= line.size() || line[i] != '"') {
    return make(TokenKind::broken, "a tag without a quoted value", begin);
  }
  auto value = tagValueFrom(line, i + 1, false);
  if (!value) {
    value = tagValueFrom(line, i + 1, true);
  }
  if (!value) {
    return make(TokenKind::broken, "a tag is not closed", begin);
  }
  token.value = std::move(value->first);
  at_ = begin + line.find(']', value->second) + 1;
  return token;
}

Token Lexer::readSymbol(std::size_t begin) {
  std::size_t end = begin;
  while (end < text_.size() && isDigit(text_[end])) {
    ++end;
  }
  // A number standing alone, as in "1 . e4", is a move number too.
  if (end > begin && (end == text_.size() || endsSymbol(text_[end]))) {
    at_ = end;
    return make(TokenKind::moveNumber, text_.substr(begin, end - begin), begin);
  }
  if (end > begin && end < text_.size() && text_[end] == '.') {
    while (end < text_.size() && text_[end] == '.') {
      ++end;
    }
    at_ = end;
    return make(TokenKind::moveNumber, text_.substr(begin, end - begin), begin);
  }
  while (end < text_.size() && !endsSymbol(text_[end])) {
    ++end;
  }
  // A stray '}' or ']' is a symbol of its own, and no move.
  end = std::max(end, begin + 1);
  at_ = end;
  const std::string_view text = text_.substr(begin, end - begin);
  if (text == "1-0" || text == "0-1" || text == "1/2-1/2" ||
      text == "\xc2\xbd-\xc2\xbd") {
    return make(TokenKind::result, text, begin);
  }
  if (text.find_first_not_of('.') == std::string_view::npos) {
    return make(TokenKind::moveNumber, text, begin);
  }
  return make(TokenKind::symbol, text, begin);
}

}  // namespace tib::chess
