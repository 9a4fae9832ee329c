// A streaming writer of animated GIFs, built for the frames of a chess game:
// one global palette, the first frame whole and each later one only the
// rectangle that changed, with its unchanged pixels transparent, looping
// forever.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "codec/gif_palette.h"

namespace tib::codec {

// Receives the file's bytes in order, once per frame and at the start and
// end.
using GifSink =
    std::function<void(const unsigned char* bytes, std::size_t size)>;

struct GifRect {
  unsigned left = 0;
  unsigned top = 0;
  unsigned width = 0;
  unsigned height = 0;
};

class GifWriter {
 public:
  // Writes the header, the palette's colour table and the loop-forever
  // extension to `sink`. The palette must outlive the writer. Throws
  // GifError for a size of 0 or over 65535.
  GifWriter(unsigned width, unsigned height, const GifPalette& palette,
            GifSink sink);

  // Adds a frame shown for `delayCentiseconds` (at most 65535): `rgba` holds
  // width x height pixels, rows without gaps, alpha ignored, each mapped to
  // the palette's nearest colour. A frame after the first is written as the
  // bounding box of the pixels whose index changed, the others in it
  // transparent. A frame without a change is one transparent pixel, so that
  // its delay still counts.
  void addFrame(const unsigned char* rgba, unsigned delayCentiseconds);
  // The same, looking only at the pixels inside the rectangles `changed`
  // (say, the squares of the last two moves), the caller vouching that the
  // others are as in the previous frame. The first frame is looked at
  // whole.
  void addFrame(const unsigned char* rgba, unsigned delayCentiseconds,
                const std::vector<GifRect>& changed);
  // The same for a frame mapped to the palette already: `indices` holds
  // width x height indices of colours (none the transparent index), read
  // only inside `changed` after the first frame.
  void addIndexedFrame(const unsigned char* indices, unsigned delayCentiseconds,
                       const std::vector<GifRect>& changed);

  // Ends the file. Throws GifError before the first frame; no frame may
  // follow.
  void finish();

  // The indices on screen after the frames so far (none before the first).
  [[nodiscard]] const std::vector<unsigned char>& screen() const {
    return screen_;
  }

 private:
  struct Box {
    unsigned left;
    unsigned top;
    unsigned right;
    unsigned bottom;
  };

  [[nodiscard]] std::vector<Box> regionsOf(
      const std::vector<GifRect>& changed) const;
  void checkDelay(unsigned delay) const;
  void addLaterFrame(const unsigned char* indices, unsigned delay,
                     const std::vector<Box>& regions);
  void writeFrame(Box box, unsigned delay, bool usesTransparency,
                  const unsigned char* indices);
  void flush();

  unsigned width_;
  unsigned height_;
  const GifPalette& palette_;
  GifSink sink_;
  std::vector<unsigned char> bytes_;
  // The indices on screen after the frames so far.
  std::vector<unsigned char> screen_;
  // An RGBA frame mapped to indices, inside the regions looked at.
  std::vector<unsigned char> mapped_;
  bool finished_ = false;
};

}  // namespace tib::codec
