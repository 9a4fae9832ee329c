// Writing a game back as PGN: SAN from the positions, the commands from
// their typed values, lines of at most 79 characters.
#include <cstdlib>
#include <string>

#include "chess/notation.h"
#include "chess/pgn.h"

namespace tib::chess {

namespace {

constexpr std::size_t kLineWidth = 79;

// Control bytes become spaces: they could end a tag's line or make the
// written text look binary to the reader.
char printable(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f ? ' ' : c;
}

std::string twoDigits(int64_t value) {
  return std::string(1, static_cast<char>('0' + value / 10)) +
         static_cast<char>('0' + value % 10);
}

std::string clockText(int64_t centiseconds) {
  const int64_t seconds = centiseconds / 100;
  const int64_t rest = centiseconds % 100;
  std::string text = std::to_string(seconds / 3600) + ":" +
                     twoDigits(seconds / 60 % 60) + ":" +
                     twoDigits(seconds % 60);
  if (rest % 10 != 0) {
    text += "." + twoDigits(rest);
  } else if (rest != 0) {
    text += "." + std::to_string(rest / 10);
  }
  return text;
}

std::string evalText(const Evaluation& eval) {
  if (eval.mate) {
    return "#" + std::to_string(eval.value);
  }
  const int magnitude = std::abs(eval.value);
  return (eval.value < 0 ? "-" : "") + std::to_string(magnitude / 100) + "." +
         twoDigits(magnitude % 100);
}

std::string marksText(const std::vector<Mark>& marks, bool arrows) {
  std::string text;
  for (const Mark& mark : marks) {
    text += text.empty() ? "" : ",";
    text += markColourLetter(mark.colour);
    text += squareName(mark.from);
    if (arrows) {
      text += squareName(mark.to);
    }
  }
  return text;
}

// The comment's text cannot hold a closing brace, which would end the
// comment, nor "[%", which could start a command with what follows.
std::string commentText(const Commentary& commentary) {
  std::string text;
  const auto add = [&text](const std::string& part) {
    text += (text.empty() ? "" : " ") + part;
  };
  if (!commentary.highlights.empty()) {
    add("[%csl " + marksText(commentary.highlights, false) + "]");
  }
  if (!commentary.arrows.empty()) {
    add("[%cal " + marksText(commentary.arrows, true) + "]");
  }
  if (commentary.clockCentiseconds) {
    add("[%clk " + clockText(*commentary.clockCentiseconds) + "]");
  }
  if (commentary.eval) {
    add("[%eval " + evalText(*commentary.eval) + "]");
  }
  std::string words;
  for (const char c : commentary.text) {
    if (c == '%' && !words.empty() && words.back() == '[') {
      words += ' ';
    }
    words += c == '}' ? ')' : printable(c);
  }
  if (!words.empty()) {
    add(words);
  }
  return text;
}

class LineWriter {
 public:
  void word(const std::string& text) {
    if (!line_.empty() && line_.size() + 1 + text.size() > kLineWidth) {
      out_ += line_ + "\n";
      line_.clear();
    }
    line_ += (line_.empty() ? "" : " ") + text;
  }
  std::string finish() { return out_ + line_ + "\n"; }

 private:
  std::string out_;
  std::string line_;
};

}  // namespace

std::string writeMovetext(const Game& game) {
  LineWriter writer;
  bool numberDue = true;
  const auto comment = [&](const Commentary& commentary) {
    const std::string text = commentText(commentary);
    if (!text.empty()) {
      writer.word("{" + text + "}");
      numberDue = true;
    }
  };
  comment(game.startCommentary);
  const Position* before = &game.start;
  for (const Ply& ply : game.plies) {
    const bool white = before->sideToMove() == Side::white;
    if (white || numberDue) {
      writer.word(std::to_string(before->fullmoveNumber()) +
                  (white ? "." : "..."));
    }
    std::string san = writeSan(*before, ply.move);
    if (ply.glyph) {
      san += glyphText(*ply.glyph);
    }
    writer.word(san);
    for (const int nag : ply.nags) {
      writer.word("$" + std::to_string(nag));
    }
    numberDue = false;
    comment(ply.commentary);
    before = &ply.after;
  }
  writer.word(game.result.empty() ? "*" : game.result);
  return writer.finish();
}

std::string writePgn(const Game& game) {
  std::string out;
  for (const Tag& tag : game.tags) {
    std::string value;
    for (const char c : tag.value) {
      if (c == '"' || c == '\\') {
        value += '\\';
      }
      // A tab stays a space, which keeps a FEN's fields apart; other
      // control bytes are not spaces: after a quote, spaces and "]" close
      // the value.
      value += c == '\t' ? ' ' : printable(c) == c ? c : '?';
    }
    out += "[" + tag.name + " \"" + value + "\"]\n";
  }
  return out + "\n" + writeMovetext(game);
}

}  // namespace tib::chess
