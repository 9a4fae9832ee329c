// Fuzzes what tib-server decides for a request line: the query decoding,
// the parameters read with tib's conversion rules, the annotations, the
// status, the entity tag and If-None-Match, decided together. The input is the
// method's first byte (G, H or another), then the target up to a newline, then
// an If-None-Match value. Aborts when a decision breaks the contract.
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "server/request.h"

using namespace tib;  // NOLINT(google-build-using-namespace)

namespace {

constexpr int32_t kMaxSize = 2048;

// "" has the boards of every view, "green" only the white view's with
// coordinates, "blue" none but the black view's; "alpha" is a piece set.
const Served& served() {
  static const Served themes = [] {
    const auto withBoards = [](std::initializer_list<std::size_t> boards) {
      auto artwork = std::make_shared<Artwork>();
      for (const std::size_t index : boards) {
        artwork->boards.at(index).pixels = {0};
      }
      return artwork;
    };
    Served value;
    value.themes.emplace("", Theme{withBoards({0, 1, 2, 3}), 1});
    value.themes.emplace("green", Theme{withBoards({0}), 2});
    value.themes.emplace("blue", Theme{withBoards({0, 1}), 3});
    value.pieceSets.emplace("alpha",
                            PieceSet{std::make_shared<const Sprites>(), 4});
    return value;
  }();
  return themes;
}

Decision decide(std::string_view method, std::string_view target,
                std::vector<std::string_view> ifNoneMatch) {
  return decideRequest({method, target, std::move(ifNoneMatch), {}, false},
                       served(), kMaxSize);
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
void checkAnnotations(const Render& render) {
  const Annotations& annotations = render.diagram.annotations;
  check(hasBoard(*render.theme,
                 boardIndex(annotations.orientation, annotations.coordinates)));
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
  const Decision again =
      decide("GET", "/board.png?fen=8+w&" + queryOf(annotations), {});
  check(std::holds_alternative<Render>(again) &&
        canonicalAnnotations(annotations) ==
            canonicalAnnotations(std::get<Render>(again).diagram.annotations));
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

  const Decision decision = decide(method, target, {ifNoneMatch});
  if (const auto* render = std::get_if<Render>(&decision)) {
    check(method != "POST");
    const Settings& settings = render->diagram.settings;
    check(render->thumbnail ||
          (settings.Size >= 1 && settings.Size <= kMaxSize));
    check(render->served != nullptr && render->theme != nullptr);
    checkAnnotations(*render);
    check(render->tag.size() == 18 &&
          ifNoneMatchHits(render->tag, render->tag));
    check(!ifNoneMatchHits(ifNoneMatch, render->tag));
  } else if (const auto* notModified = std::get_if<NotModified>(&decision)) {
    check(ifNoneMatchHits(ifNoneMatch, notModified->tag));
    // Without the field, the same request renders what has that tag.
    const Decision fresh = decide(method, target, {});
    const auto* render = std::get_if<Render>(&fresh);
    const auto* gif = std::get_if<RenderGif>(&fresh);
    check((render != nullptr && render->tag == notModified->tag) ||
          (gif != nullptr && gif->tag == notModified->tag));
  } else if (const auto* refuse = std::get_if<Refuse>(&decision)) {
    check(refuse->status == 400 || refuse->status == 404 ||
          refuse->status == 405 || refuse->status == 414);
    check(refuse->closeAfter == (refuse->status == 414));
    check(!refuse->message.empty() &&
          refuse->message.find('\n') == std::string::npos &&
          refuse->message.find('\r') == std::string::npos);
  } else {
    // A page, or a game to animate, which alone may come by POST.
    check(method != "POST" || std::holds_alternative<RenderGif>(decision));
  }
  const Refuse oversize = refuseOversize(rest);
  check((oversize.status == 414 || oversize.status == 431) &&
        oversize.closeAfter);
  for (const auto& [name, value] : decodeQuery(target)) {
    check(name.size() + value.size() <= target.size());
  }
  return 0;
}
