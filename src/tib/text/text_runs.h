// UTF-8 handling and the split of one line of text into runs that shape on
// their own (one script, one face, one direction), in visual order. No
// fonts here: the caller tells each code point's facts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tib {

// What ends a line cut short; neutral in direction.
inline constexpr char32_t kEllipsis = 0x2026;

// Code points of the text; a byte that starts no valid sequence becomes
// U+FFFD, so untrusted names never stop a drawing.
std::u32string decodeUtf8(std::string_view text);

std::string encodeUtf8(std::u32string_view text);

// The longest prefix of at most maxBytes bytes that ends on a code point
// boundary.
std::string truncateUtf8(std::string_view text, std::size_t maxBytes);

// Direction of a code point for ordering: strong left-to-right (letters of
// left-to-right scripts, digits), strong right-to-left (Arabic, Hebrew...),
// neutral (spaces, punctuation) or a mark that follows its base.
enum class BidiClass : uint8_t { left, right, neutral, mark };

struct CodePointFacts {
  BidiClass bidi = BidiClass::neutral;
  // A HarfBuzz script tag; 0 for common or inherited characters, which
  // join the script around them.
  uint32_t script = 0;
  // Index of the face that draws the code point.
  int face = 0;
};

struct TextRun {
  std::size_t start = 0;
  std::size_t length = 0;
  uint32_t script = 0;
  int face = 0;
  bool rightToLeft = false;
};

// Runs of equal script, face and direction, ordered left to right as they
// appear. Paragraph direction follows the first strong character; neutrals
// between two characters of one direction take it, others the paragraph's;
// a right-to-left paragraph keeps left-to-right pieces (Latin, numbers)
// readable inside it.
std::vector<TextRun> visualRuns(const std::vector<CodePointFacts>& facts);

}  // namespace tib
