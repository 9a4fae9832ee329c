// Fuzzes what tib-server decides for a request line: the query decoding,
// the parameters read with tib's conversion rules, the annotations, the
// status, the entity tag and If-None-Match. The input is the method's first
// byte (G, H or another), then the target up to a newline, then an
// If-None-Match value. Aborts when a decision breaks the contract.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "server/request.h"

using namespace tib;  // NOLINT(google-build-using-namespace)

namespace {

constexpr int32_t kMaxSize = 2048;

bool knownPieceSet(const std::string& name) { return name == "alpha"; }

// "" has the boards of every view, "green" only the white view's with
// coordinates, "blue" none but the black view's.
const Artwork* themeArtwork(const std::string& name) {
  static const Artwork everyBoard = [] {
    Artwork artwork;
    artwork.boards[0].pixels = {0};
    artwork.boards.fill(artwork.boards[0]);
    return artwork;
  }();
  static const Artwork whiteBoard = [] {
    Artwork artwork;
    artwork.boards[0].pixels = {0};
    return artwork;
  }();
  static const Artwork blackBoard = [] {
    Artwork artwork;
    artwork.boards[0].pixels = {0};
    artwork.boards[1].pixels = {0};
    return artwork;
  }();
  return name.empty()      ? &everyBoard
         : name == "green" ? &whiteBoard
         : name == "blue"  ? &blackBoard
                           : nullptr;
}

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

std::string marksOf(const std::vector<Mark>& marks) {
  std::string text;
  for (const Mark& mark : marks) {
    text += (text.empty() ? "" : ",") +
            std::string(1, chess::markColourLetter(mark.colour)) +
            chess::squareName(mark.from) + chess::squareName(mark.to);
  }
  return text;
}

// The annotations written as a query in the parameters' own spelling.
std::string queryOf(const Annotations& annotations) {
  std::string last;
  for (const Square& square : annotations.lastMove) {
    last += chess::squareName(square);
  }
  if (annotations.lastMove.size() == 1) {
    last = "P@" + last;
  }
  std::string highlights;
  for (const Mark& mark : annotations.highlights) {
    highlights += (highlights.empty() ? "" : ",") +
                  std::string(1, chess::markColourLetter(mark.colour)) +
                  chess::squareName(mark.from);
  }
  return std::string("orientation=") +
         (annotations.orientation == Orientation::white ? "white" : "black") +
         "&coordinates=" + (annotations.coordinates ? "1" : "0") +
         "&lastMove=" + last + "&check=" +
         (annotations.check ? chess::squareName(*annotations.check) : "") +
         "&arrows=" + marksOf(annotations.arrows) + "&highlight=" + highlights;
}

// What a decision to render promises of its annotations.
void checkAnnotations(const DiagramRequest& diagram) {
  const Annotations& annotations = diagram.annotations;
  check(boardPicture(*themeArtwork(diagram.theme),
                     boardIndex(annotations.orientation,
                                annotations.coordinates)) != nullptr);
  check(annotations.lastMove.size() <= 2);
  for (const Square& square : annotations.lastMove) {
    check(chess::onBoard(square));
  }
  if (annotations.lastMove.size() == 2) {
    check(annotations.lastMove[0] != annotations.lastMove[1]);
  }
  check(!annotations.check || chess::onBoard(*annotations.check));
  check(annotations.highlights.size() <= kMaxMarks);
  check(annotations.arrows.size() <= kMaxMarks);
  for (const Mark& mark : annotations.highlights) {
    check(chess::onBoard(mark.from) && mark.from == mark.to);
  }
  for (const Mark& mark : annotations.arrows) {
    check(chess::onBoard(mark.from) && chess::onBoard(mark.to));
  }
  // The canonical text reads back as the same annotations.
  check(canonicalAnnotations(annotations) ==
        canonicalAnnotations(
            decideRequest("GET", "/board.png?fen=8+w&" + queryOf(annotations),
                          kMaxSize, themeArtwork, knownPieceSet)
                .diagram.annotations));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::string_view method = data[0] == 'G'   ? "GET"
                                  : data[0] == 'H' ? "HEAD"
                                                   : "POST";
  const std::string_view rest(reinterpret_cast<const char*>(data + 1),
                              size - 1);
  const std::size_t newline = rest.find('\n');
  const std::string_view target = rest.substr(0, newline);
  const std::string_view ifNoneMatch = newline == std::string_view::npos
                                           ? std::string_view()
                                           : rest.substr(newline + 1);

  const Decision decision =
      decideRequest(method, target, kMaxSize, themeArtwork, knownPieceSet);
  switch (decision.action) {
    case Action::render: {
      check(decision.status == 200 && method != "POST");
      const Settings& settings = decision.diagram.settings;
      check(settings.Size >= 1 && settings.Size <= kMaxSize);
      check(themeArtwork(decision.diagram.theme) != nullptr);
      checkAnnotations(decision.diagram);
      const std::string tag = entityTag(decision.diagram, 1);
      check(tag.size() == 18 && ifNoneMatchHits(tag, tag));
      ifNoneMatchHits(ifNoneMatch, tag);
      break;
    }
    case Action::health:
    case Action::metrics:
    case Action::page:
      check(decision.status == 200);
      break;
    case Action::refuse:
      check(decision.status == 400 || decision.status == 404 ||
            decision.status == 405 || decision.status == 414);
      check(!decision.message.empty() &&
            decision.message.find('\n') == std::string::npos &&
            decision.message.find('\r') == std::string::npos);
      break;
  }
  const Decision oversize = refuseOversize(method, target, rest);
  check(oversize.status == 414 || oversize.status == 431);
  for (const auto& [name, value] : decodeQuery(target)) {
    check(name.size() + value.size() <= target.size());
  }
  return 0;
}
