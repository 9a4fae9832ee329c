#include "tib/text/text_runs.h"

#include <algorithm>
#include <array>

namespace tib {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the sequence a lead byte starts, 0 for a byte that starts none.
std::size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) {
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return 4;
  }
  return 0;
}

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The code point of the sequence at text[at] of the given length, or
// U+FFFD for an overlong form, a surrogate or a value past U+10FFFF.
char32_t decodeSequence(std::string_view text, std::size_t at,
                        std::size_t length) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (length == 1) {
    return lead;
  }
  constexpr std::array<unsigned char, 5> leadBits{0, 0, 0x1F, 0x0F, 0x07};
  char32_t value = lead & leadBits[length];
  for (std::size_t k = 1; k < length; ++k) {
    value = (value << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
  }
  constexpr std::array<char32_t, 5> smallest{0, 0, 0x80, 0x800, 0x10000};
  const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  if (value < smallest[length] || surrogate || value > 0x10FFFF) {
    return kReplacement;
  }
  return value;
}

// Bytes of the valid sequence at text[at], 0 when none starts there.
std::size_t validSequenceAt(std::string_view text, std::size_t at) {
  const std::size_t length =
      sequenceLength(static_cast<unsigned char>(text[at]));
  if (length == 0 || at + length > text.size()) {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (!isContinuation(static_cast<unsigned char>(text[at + k]))) {
      return 0;
    }
  }
  return length;
}

// Strong classes after marks took their base's: neutral or strong only.
std::vector<BidiClass> withMarksResolved(
    const std::vector<CodePointFacts>& facts) {
  std::vector<BidiClass> classes(facts.size());
  for (std::size_t i = 0; i < facts.size(); ++i) {
    const BidiClass own = facts[i].bidi;
    if (own != BidiClass::mark) {
      classes[i] = own;
    } else {
      classes[i] = i > 0 ? classes[i - 1] : BidiClass::neutral;
    }
  }
  return classes;
}

// Embedding level per code point: 0 left-to-right in a left-to-right
// paragraph, 1 right-to-left, 2 left-to-right inside a right-to-left one.
std::vector<int> embeddingLevels(const std::vector<BidiClass>& classes) {
  const auto firstStrong =
      std::find_if(classes.begin(), classes.end(),
                   [](BidiClass c) { return c != BidiClass::neutral; });
  const BidiClass paragraph =
      firstStrong != classes.end() ? *firstStrong : BidiClass::left;
  const bool rightToLeftParagraph = paragraph == BidiClass::right;
  const int leftLevel = rightToLeftParagraph ? 2 : 0;
  std::vector<int> levels(classes.size());
  std::size_t i = 0;
  while (i < classes.size()) {
    if (classes[i] != BidiClass::neutral) {
      levels[i] = classes[i] == BidiClass::right ? 1 : leftLevel;
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < classes.size() && classes[end] == BidiClass::neutral) {
      ++end;
    }
    const BidiClass before = i > 0 ? classes[i - 1] : paragraph;
    const BidiClass after = end < classes.size() ? classes[end] : paragraph;
    const BidiClass taken = before == after ? before : paragraph;
    std::fill(levels.begin() + static_cast<std::ptrdiff_t>(i),
              levels.begin() + static_cast<std::ptrdiff_t>(end),
              taken == BidiClass::right ? 1 : leftLevel);
    i = end;
  }
  return levels;
}

// Scripts with common characters given the script before them, or after
// them at the start.
std::vector<uint32_t> resolvedScripts(
    const std::vector<CodePointFacts>& facts) {
  std::vector<uint32_t> scripts(facts.size());
  const auto firstScript =
      std::find_if(facts.begin(), facts.end(),
                   [](const CodePointFacts& fact) { return fact.script != 0; });
  uint32_t current = firstScript != facts.end() ? firstScript->script : 0;
  for (std::size_t i = 0; i < facts.size(); ++i) {
    if (facts[i].script != 0) {
      current = facts[i].script;
    }
    scripts[i] = current;
  }
  return scripts;
}

}  // namespace

std::u32string decodeUtf8(std::string_view text) {
  std::u32string decoded;
  decoded.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = validSequenceAt(text, at);
    if (length == 0) {
      decoded.push_back(kReplacement);
      ++at;
      continue;
    }
    decoded.push_back(decodeSequence(text, at, length));
    at += length;
  }
  return decoded;
}

std::string encodeUtf8(std::u32string_view text) {
  std::string encoded;
  encoded.reserve(text.size());
  for (char32_t c : text) {
    if (c < 0x80) {
      encoded.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      encoded.push_back(static_cast<char>(0xC0 | (c >> 6)));
      encoded.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      encoded.push_back(static_cast<char>(0xE0 | (c >> 12)));
      encoded.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      encoded.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      encoded.push_back(static_cast<char>(0xF0 | (c >> 18)));
      encoded.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      encoded.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      encoded.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return encoded;
}

std::string truncateUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) {
    return std::string(text);
  }
  std::size_t cut = maxBytes;
  while (cut > 0 && isContinuation(static_cast<unsigned char>(text[cut]))) {
    --cut;
  }
  // The sequence that starts at the cut does not fit; one that ends before
  // it is whole unless the text was invalid there, which decoding mends.
  return std::string(text.substr(0, cut));
}

std::vector<TextRun> visualRuns(const std::vector<CodePointFacts>& facts) {
  const std::vector<int> levels = embeddingLevels(withMarksResolved(facts));
  const std::vector<uint32_t> scripts = resolvedScripts(facts);
  std::vector<TextRun> runs;
  std::vector<int> runLevels;
  for (std::size_t i = 0; i < facts.size(); ++i) {
    const bool continues = !runs.empty() && runLevels.back() == levels[i] &&
                           runs.back().script == scripts[i] &&
                           runs.back().face == facts[i].face;
    if (continues) {
      ++runs.back().length;
      continue;
    }
    runs.push_back(
        TextRun{i, 1, scripts[i], facts[i].face, levels[i] % 2 == 1});
    runLevels.push_back(levels[i]);
  }
  // From the highest level down to 1, each stretch of runs at that level or
  // above reads the other way.
  const int highest =
      runLevels.empty() ? 0
                        : *std::max_element(runLevels.begin(), runLevels.end());
  for (int level = highest; level >= 1; --level) {
    std::size_t i = 0;
    while (i < runs.size()) {
      if (runLevels[i] < level) {
        ++i;
        continue;
      }
      std::size_t end = i;
      while (end < runs.size() && runLevels[end] >= level) {
        ++end;
      }
      std::reverse(runs.begin() + static_cast<std::ptrdiff_t>(i),
                   runs.begin() + static_cast<std::ptrdiff_t>(end));
      std::reverse(runLevels.begin() + static_cast<std::ptrdiff_t>(i),
                   runLevels.begin() + static_cast<std::ptrdiff_t>(end));
      i = end;
    }
  }
  return runs;
}

}  // namespace tib
