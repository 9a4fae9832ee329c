#include "tib/vector/piece_vectors.h"

#include <fstream>
#include <sstream>

#include "tib/board/error.h"

namespace tib {

namespace {

// The id of a line "<g id=\"ID\"...", or "" for another line.
std::string_view groupId(std::string_view line) {
  constexpr std::string_view kOpen = "<g id=\"";
  if (line.substr(0, kOpen.size()) != kOpen) {
    return {};
  }
  const std::size_t end = line.find('"', kOpen.size());
  return end == std::string_view::npos
             ? std::string_view()
             : line.substr(kOpen.size(), end - kOpen.size());
}

bool lowerEquals(std::string_view text, std::size_t at, std::string_view word) {
  if (at + word.size() > text.size()) {
    return false;
  }
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = text[at + i];
    c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    if (c != word[i]) {
      return false;
    }
  }
  return true;
}

// What an image that a page shows must not hold: a script or a foreign
// object, an attribute "on..." that runs code, a reference that leaves the
// document (every href and url() starts with '#').
std::string_view refused(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '<' && (lowerEquals(text, i + 1, "script") ||
                           lowerEquals(text, i + 1, "foreignobject"))) {
      return "an element that runs or embeds content";
    }
    const bool wordStart = i > 0 && (text[i - 1] == ' ' || text[i - 1] == '\t');
    if (wordStart && lowerEquals(text, i, "on") && i + 2 < text.size() &&
        text[i + 2] >= 'a' && text[i + 2] <= 'z') {
      const std::size_t equals = text.find_first_of("= >", i);
      if (equals != std::string_view::npos && text[equals] == '=') {
        return "an event attribute";
      }
    }
    if ((lowerEquals(text, i, "href=\"") && !lowerEquals(text, i + 6, "#")) ||
        (lowerEquals(text, i, "url(") && !lowerEquals(text, i + 4, "#"))) {
      return "a reference outside the file";
    }
  }
  return {};
}

}  // namespace

PieceVectors readPieceVectors(std::string_view text,
                              const std::string& source) {
  if (const std::string_view why = refused(text); !why.empty()) {
    throw Error(source + " holds " + std::string(why));
  }
  PieceVectors vectors;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view()
                                         : text.substr(end + 1);
    const std::string_view id = groupId(line);
    if (id == kSharedGroupId) {
      vectors.shared = std::string(line);
      continue;
    }
    for (std::size_t i = 0; i < kPieces.size(); ++i) {
      if (id == kPieces[i].spriteName) {
        vectors.groups[i] = std::string(line);
      }
    }
    for (std::size_t side = 0; side < 2; ++side) {
      if (id == (side == 0 ? "w3" : "b3")) {
        vectors.groups[markerGroup(side)] = std::string(line);
      }
    }
  }
  for (std::size_t i = 0; i < vectors.groups.size(); ++i) {
    if (vectors.groups[i].empty()) {
      const std::string name = i < kPieces.size()
                                   ? kPieces[i].spriteName
                                   : (i == markerGroup(0) ? "w3" : "b3");
      std::string message = source;
      message += " has no group \"";
      message += name;
      message += '"';
      throw Error(message);
    }
  }
  return vectors;
}

std::optional<PieceVectors> loadPieceVectors(const std::string& folder) {
  const std::string path =
      (folder.empty() ? std::string() : folder + "/") + kPieceVectorsFile;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return std::nullopt;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return readPieceVectors(text.str(), path);
}

}  // namespace tib
