// Animated WebP, lossless: every frame keeps its pixels exactly, with no
// palette, and each is shown for its own delay.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tib::codec {

class MotionError : public std::runtime_error {
 public:
  explicit MotionError(const std::string& reason)
      : std::runtime_error(reason) {}
};

class WebpWriter {
 public:
  // effort 0..9: libwebp's lossless preset, from the quickest to the
  // smallest. Throws MotionError for a size of 0 or over 16383.
  WebpWriter(unsigned width, unsigned height, int effort = 1);
  ~WebpWriter();
  WebpWriter(const WebpWriter&) = delete;
  WebpWriter& operator=(const WebpWriter&) = delete;

  // Adds a frame shown for delayCentiseconds: width x height RGBA pixels,
  // rows without gaps. libwebp stores only the rectangle that changed.
  void addFrame(const unsigned char* rgba, unsigned delayCentiseconds);

  // The file's bytes, known only once every frame is in. Throws MotionError
  // before the first frame; no frame may follow.
  std::vector<unsigned char> finish();

 private:
  struct Encoder;
  std::unique_ptr<Encoder> encoder_;
  unsigned width_;
  unsigned height_;
  // Milliseconds from the start to the end of the frames so far.
  long long elapsed_ = 0;
  bool any_ = false;
  bool finished_ = false;
};

}  // namespace tib::codec
