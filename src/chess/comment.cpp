// The commands in comments: [%cal Ge2e4,Rd8h4], [%csl Yd5], [%clk 0:02:51.3]
// and [%eval 0.17] or [%eval #-3]. Each is read into a typed value once,
// here; a malformed entry is skipped, not guessed at.
#include <cstdint>
#include <optional>
#include <string>

#include "chess/evaluation.h"
#include "chess/pgn.h"

namespace tib::chess {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' ||
         c == '\v';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isSpace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// Digits only, at most `most` of them.
std::optional<int64_t> digits(std::string_view text, std::size_t most) {
  if (text.empty() || text.size() > most) {
    return std::nullopt;
  }
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + (c - '0');
  }
  return value;
}

// "Ge2e4" (an arrow, or a circle when both squares are one) or "Ge4".
std::optional<Mark> markOf(std::string_view entry, bool arrow) {
  entry = trimmed(entry);
  const auto colour =
      entry.empty() ? std::nullopt : markColourOfLetter(entry[0]);
  if (!colour || (entry.size() != 3 && !(arrow && entry.size() == 5))) {
    return std::nullopt;
  }
  const auto from = squareNamed(entry.substr(1, 2));
  const auto to = entry.size() == 5 ? squareNamed(entry.substr(3, 2)) : from;
  if (!from || !to) {
    return std::nullopt;
  }
  return Mark{*colour, *from, *to};
}

void readMarks(std::string_view list, bool arrows, std::vector<Mark>& into) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    if (const auto mark = markOf(list.substr(0, comma), arrows)) {
      into.push_back(*mark);
    }
    list.remove_prefix(comma == std::string_view::npos ? list.size()
                                                       : comma + 1);
  }
}

// h:mm:ss, m:ss or ss, with tenths or hundredths after a point.
std::optional<int64_t> clockOf(std::string_view text) {
  std::string_view fraction;
  if (const std::size_t point = text.find('.');
      point != std::string_view::npos) {
    fraction = text.substr(point + 1);
    text = text.substr(0, point);
  }
  int64_t seconds = 0;
  int parts = 0;
  while (!text.empty()) {
    const std::size_t colon = text.find(':');
    const auto part = digits(text.substr(0, colon), parts == 0 ? 6 : 2);
    if (!part || ++parts > 3 || (parts > 1 && *part >= 60)) {
      return std::nullopt;
    }
    seconds = seconds * 60 + *part;
    text.remove_prefix(colon == std::string_view::npos ? text.size()
                                                       : colon + 1);
  }
  if (parts == 0) {
    return std::nullopt;
  }
  int64_t hundredths = 0;
  if (!fraction.empty()) {
    const auto value = digits(fraction, 2);
    if (!value) {
      return std::nullopt;
    }
    hundredths = fraction.size() == 1 ? *value * 10 : *value;
  }
  return seconds * 100 + hundredths;
}

// "0.17", "-1.5", "+3", "#-3", "#4"; a ",depth" after it is ignored.
std::optional<Evaluation> evalOf(std::string_view text) {
  text = trimmed(text.substr(0, text.find(',')));
  Evaluation eval;
  if (!text.empty() && text[0] == '#') {
    eval.mate = true;
    text.remove_prefix(1);
  }
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  const auto whole = digits(text.substr(0, point), 6);
  if (!whole || (eval.mate && point != std::string_view::npos)) {
    return std::nullopt;
  }
  int64_t value = eval.mate ? *whole : *whole * 100;
  if (point != std::string_view::npos) {
    const std::string_view fraction = text.substr(point + 1);
    const auto cents = digits(fraction.substr(0, 2), 2);
    if (!cents || !digits(fraction, 12)) {
      return std::nullopt;
    }
    value += fraction.size() == 1 ? *cents * 10 : *cents;
    if (fraction.size() > 2 && fraction[2] >= '5') {
      ++value;
    }
  }
  eval.value = static_cast<int>(negative ? -value : value);
  return eval;
}

void runCommand(std::string_view command, Commentary& into) {
  command = trimmed(command);
  std::size_t nameEnd = 0;
  while (nameEnd < command.size() && !isSpace(command[nameEnd])) {
    ++nameEnd;
  }
  const std::string_view name = command.substr(0, nameEnd);
  const std::string_view argument = trimmed(command.substr(nameEnd));
  if (name == "cal") {
    readMarks(argument, true, into.arrows);
  } else if (name == "csl") {
    readMarks(argument, false, into.highlights);
  } else if (name == "clk") {
    if (const auto clock = clockOf(argument)) {
      into.clockCentiseconds = clock;
    }
  } else if (name == "eval") {
    if (const auto eval = evalOf(argument)) {
      into.eval = eval;
    }
  }
}

// Runs of white space become one space, so that text reads the same
// wherever the file broke its lines.
void appendWords(std::string_view text, std::string& into) {
  bool space = !into.empty();
  for (const char c : text) {
    if (isSpace(c)) {
      space = !into.empty();
      continue;
    }
    if (space) {
      into += ' ';
      space = false;
    }
    into += c;
  }
}

}  // namespace

void readComment(std::string_view comment, Commentary& into) {
  std::size_t at = 0;
  while (at < comment.size()) {
    const std::size_t open = comment.find("[%", at);
    const std::size_t close =
        open == std::string_view::npos ? open : comment.find(']', open);
    if (close == std::string_view::npos) {
      appendWords(comment.substr(at), into.text);
      return;
    }
    appendWords(comment.substr(at, open - at), into.text);
    runCommand(comment.substr(open + 2, close - open - 2), into);
    at = close + 1;
  }
}

std::optional<Evaluation> evaluationNamed(std::string_view text) {
  return text.find(',') == std::string_view::npos ? evalOf(text) : std::nullopt;
}

}  // namespace tib::chess
