// Fuzzes the bodies of POST /game.gif: the first byte chooses JSON in the
// shape of lila-gif's game endpoint or a PGN, the rest is the body. Whatever
// comes in is read or refused with a GameRequestError, within the frame
// limit, and every frame read is a diagram the drawing can take.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/game_request.h"

using namespace tib;  // NOLINT(google-build-using-namespace)

namespace {

constexpr std::size_t kMaxFrames = 64;

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  GifRequest request;
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  ((data[0] & 1U) != 0 ? request.json : request.pgn) = body;
  request.settings.Size = 64;
  try {
    const GameFrames game = gameFramesOf(request, kMaxFrames);
    check(!game.frames.empty() && game.frames.size() <= kMaxFrames);
    check(game.frames.size() == game.decorations.size());
    for (const AnimationFrame& frame : game.frames) {
      check(frame.diagram.settings.Size == 64);
      for (const Square& square : frame.diagram.annotations.lastMove) {
        check(chess::onBoard(square));
      }
      check(frame.diagram.annotations.arrows.size() <= kMaxMarks);
    }
  } catch (const GameRequestError&) {
    return 0;
  }
  return 0;
}
