// Reads a GIF back with giflib, for the tests of the writer.
#pragma once

#include <optional>
#include <vector>

#include "codec/gif_palette.h"

namespace tib::codec::test {

struct DecodedFrame {
  int left, top, width, height;
  int delay, disposal, transparent;
  std::vector<unsigned char> indices;
};

struct DecodedGif {
  int width, height;
  std::vector<Rgb> colours;
  std::optional<int> loops;  // from the NETSCAPE2.0 extension
  std::vector<DecodedFrame> frames;
};

// Fails the test (and returns nothing) when giflib cannot read `bytes`.
std::optional<DecodedGif> decodeGif(const std::vector<unsigned char>& bytes);

// One frame through giflib's encoder, which starts its dictionary over as
// soon as it is full: the header, a table of 2^tableBits and the image.
std::vector<unsigned char> encodeWithGiflib(
    const std::vector<unsigned char>& indices, int width, int height,
    int tableBits);

// The indices on screen after each frame, each frame drawn over the last.
std::vector<std::vector<unsigned char>> screens(const DecodedGif& gif);

}  // namespace tib::codec::test
