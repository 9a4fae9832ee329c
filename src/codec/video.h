// Video of a sequence of pictures through FFmpeg's libraries: H.264 in MP4
// or VP9 in WebM, yuv420p, each picture one frame shown for its delay by
// its timestamps, the last one held for its own.
#pragma once

#include <memory>
#include <vector>

#include "codec/webp.h"

namespace tib::codec {

// The largest side of a video's frame, within the levels players take.
inline constexpr unsigned kLargestVideoEdge = 8192;

enum class VideoCodec {
  // H.264 in MP4, its index ahead of the data so that it plays before it
  // is whole.
  h264,
  // VP9 in WebM.
  vp9,
};

// The frame's size: the picture's rounded up to even sides when 0 x 0;
// else even sides at least the picture's, around which the picture is
// centred on black.
struct VideoFrame {
  unsigned width = 0;
  unsigned height = 0;
};

class VideoWriter {
 public:
  // Opens the encoder for pictures of width x height, using threads
  // threads (0: as many as the encoder likes). Throws MotionError naming
  // what cannot be used: a size, a frame smaller than the picture or with
  // an odd side, an encoder that this FFmpeg lacks or refuses.
  VideoWriter(VideoCodec codec, unsigned width, unsigned height,
              VideoFrame frame = {}, unsigned threads = 1);
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // Adds a picture shown for delayCentiseconds (0 is shown for one, as
  // timestamps must grow): width x height RGBA pixels, rows without gaps,
  // alpha ignored.
  void addFrame(const unsigned char* rgba, unsigned delayCentiseconds);

  // The file's bytes: an MP4's index is written once the frames are known,
  // then moved ahead of them. Throws MotionError before the first frame.
  std::vector<unsigned char> finish();

  // The size of the video's frames.
  [[nodiscard]] VideoFrame frame() const;

 private:
  struct Encoder;
  std::unique_ptr<Encoder> encoder_;
};

}  // namespace tib::codec
