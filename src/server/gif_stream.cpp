// The GIF of a game as a frame source, and the names of the cuts.
#include "server/gif_stream.h"

#include <array>
#include <optional>
#include <utility>

#include "server/palettes.h"
#include "server/themes.h"
#include "tib/board/error.h"
#include "tib/game/decorated_game.h"

namespace tib {

namespace {

class GifSource : public FrameSource {
 public:
  explicit GifSource(RenderGif render) : render_(std::move(render)) {}

  bool step(std::vector<unsigned char>& out) override {
    if (!writer_) {
      if (render_.lettering == nullptr) {
        throw Error("cannot render: no fonts for the text");
      }
      const auto& game = render_.game;
      // Held by the stream: the cache may drop them meanwhile.
      drawn_ = drawnOf(*render_.served, *render_.theme, render_.pieceSet);
      palette_ = paletteOf(*render_.served, *render_.theme, render_.pieceSet,
                           *drawn_.artwork, *drawn_.pieces);
      writer_.emplace(
          *drawn_.artwork, *drawn_.pieces, *palette_, game.frames,
          decoratedExtras(game.frames, game.decorations, *render_.lettering));
    }
    return writer_->next(out);
  }

  void rest() override {
    if (writer_) {
      writer_->rest();
    }
  }

 private:
  RenderGif render_;
  Drawn drawn_;
  std::shared_ptr<const codec::GifPalette> palette_;
  std::optional<AnimationWriter> writer_;
};

}  // namespace

std::shared_ptr<FrameSource> gifSource(RenderGif render) {
  return std::make_shared<GifSource>(std::move(render));
}

std::string_view cutName(StreamCut reason) {
  static constexpr std::array<std::string_view, kStreamCutReasons> kNames{
      "client_left", "write_timeout", "render_time",
      "stream_time", "failed",        "closed"};
  return kNames.at(static_cast<std::size_t>(reason));
}

}  // namespace tib
