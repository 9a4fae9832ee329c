#include "codec/video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace tib::codec {

namespace {

// Timestamps in centiseconds, the delays' unit.
constexpr AVRational kCentisecond{1, 100};
constexpr int kIoBufferBytes = 1 << 16;

std::string avText(int error) {
  std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
  av_strerror(error, text.data(), text.size());
  return text.data();
}

// The file in memory: the muxer writes and seeks in it, and reads it again
// to move an MP4's index to the front.
struct MemoryFile {
  std::vector<unsigned char> bytes;
  int64_t position = 0;
};

struct Reading {
  const MemoryFile* file;
  int64_t position = 0;
};

int64_t seekTo(int64_t& position, int64_t size, int64_t offset, int whence) {
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return size;
    case SEEK_SET:
      break;
    case SEEK_CUR:
      offset += position;
      break;
    case SEEK_END:
      offset += size;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (offset < 0) {
    return AVERROR(EINVAL);
  }
  position = offset;
  return offset;
}

int writeBytes(void* opaque, uint8_t* bytes, int size) {
  auto& file = *static_cast<MemoryFile*>(opaque);
  const auto at = static_cast<std::size_t>(file.position);
  const auto count = static_cast<std::size_t>(size);
  if (file.bytes.size() < at + count) {
    file.bytes.resize(at + count);
  }
  std::memcpy(file.bytes.data() + at, bytes, count);
  file.position += size;
  return size;
}

int64_t seekWriting(void* opaque, int64_t offset, int whence) {
  auto& file = *static_cast<MemoryFile*>(opaque);
  return seekTo(file.position, static_cast<int64_t>(file.bytes.size()), offset,
                whence);
}

int readBytes(void* opaque, uint8_t* bytes, int size) {
  auto& reading = *static_cast<Reading*>(opaque);
  const auto total = static_cast<int64_t>(reading.file->bytes.size());
  const int64_t count = std::min<int64_t>(size, total - reading.position);
  if (count <= 0) {
    return AVERROR_EOF;
  }
  std::memcpy(bytes, reading.file->bytes.data() + reading.position,
              static_cast<std::size_t>(count));
  reading.position += count;
  return static_cast<int>(count);
}

int64_t seekReading(void* opaque, int64_t offset, int whence) {
  auto& reading = *static_cast<Reading*>(opaque);
  return seekTo(reading.position,
                static_cast<int64_t>(reading.file->bytes.size()), offset,
                whence);
}

AVIOContext* memoryContext(void* opaque, bool writing) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
  if (buffer == nullptr) {
    return nullptr;
  }
  AVIOContext* context = avio_alloc_context(
      buffer, kIoBufferBytes, writing ? 1 : 0, opaque,
      writing ? nullptr : readBytes, writing ? writeBytes : nullptr,
      writing ? seekWriting : seekReading);
  if (context == nullptr) {
    av_free(buffer);
  }
  return context;
}

void freeContext(AVIOContext* context) {
  if (context != nullptr) {
    av_freep(&context->buffer);
    avio_context_free(&context);
  }
}

// The muxer's second pass over its own output (an MP4's faststart) reads
// the file in memory.
int openAgain(AVFormatContext* format, AVIOContext** context,
              const char* /*url*/, int flags, AVDictionary** /*options*/) {
  if ((flags & AVIO_FLAG_WRITE) != 0) {
    return AVERROR(EPERM);
  }
  auto* reading = new Reading{static_cast<const MemoryFile*>(format->opaque)};
  *context = memoryContext(reading, false);
  if (*context == nullptr) {
    delete reading;
    return AVERROR(ENOMEM);
  }
  return 0;
}

int closeAgain(AVFormatContext* /*format*/, AVIOContext* context) {
  delete static_cast<Reading*>(context->opaque);
  freeContext(context);
  return 0;
}

unsigned evenAbove(unsigned side) { return side + side % 2; }

struct CodecChoice {
  const char* encoder;
  const char* container;
  const char* name;
};

CodecChoice choiceOf(VideoCodec codec) {
  return codec == VideoCodec::h264 ? CodecChoice{"libx264", "mp4", "H.264"}
                                   : CodecChoice{"libvpx-vp9", "webm", "VP9"};
}

// The encoder's settings. H.264: x264's medium preset at a constant quality
// that keeps the pieces' edges clean (at 720, half a GIF's bytes; veryfast
// at the same quality makes half as much again), no B-frames so that the
// first picture shows at once; VP9: libvpx's realtime mode, whose other
// modes take seconds a game.
AVDictionary* encoderSettings(VideoCodec codec) {
  AVDictionary* settings = nullptr;
  if (codec == VideoCodec::h264) {
    av_dict_set(&settings, "preset", "medium", 0);
    av_dict_set(&settings, "crf", "26", 0);
  } else {
    av_dict_set(&settings, "deadline", "realtime", 0);
    av_dict_set(&settings, "cpu-used", "8", 0);
    av_dict_set(&settings, "crf", "30", 0);
    av_dict_set(&settings, "b", "0", 0);
    av_dict_set(&settings, "row-mt", "1", 0);
    av_dict_set(&settings, "lag-in-frames", "0", 0);
  }
  return settings;
}

}  // namespace

struct VideoWriter::Encoder {
  VideoCodec codec = VideoCodec::h264;
  unsigned width = 0;
  unsigned height = 0;
  VideoFrame frame;
  MemoryFile file;
  AVFormatContext* format = nullptr;
  AVCodecContext* context = nullptr;
  AVStream* stream = nullptr;
  SwsContext* convert = nullptr;
  AVFrame* picture = nullptr;
  AVPacket* packet = nullptr;
  // The frame's RGBA pixels: the picture centred on black.
  std::vector<unsigned char> padded;
  // Each frame's delay by its timestamp, until its packet comes out.
  std::map<int64_t, int64_t> delays;
  int64_t elapsed = 0;
  bool finished = false;

  ~Encoder() {
    av_packet_free(&packet);
    av_frame_free(&picture);
    sws_freeContext(convert);
    avcodec_free_context(&context);
    if (format != nullptr) {
      freeContext(format->pb);
      avformat_free_context(format);
    }
  }

  void check(int status, const std::string& what) const {
    if (status < 0) {
      throw MotionError(std::string(choiceOf(codec).name) + ": " + what + ": " +
                        avText(status));
    }
  }

  // Writes the packets the encoder has ready.
  void drain() {
    for (;;) {
      const int status = avcodec_receive_packet(context, packet);
      if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) {
        return;
      }
      check(status, "cannot encode a frame");
      const auto delay = delays.find(packet->pts);
      if (delay != delays.end()) {
        packet->duration = delay->second;
        delays.erase(delay);
      }
      packet->stream_index = stream->index;
      av_packet_rescale_ts(packet, context->time_base, stream->time_base);
      check(av_interleaved_write_frame(format, packet), "cannot store a frame");
    }
  }
};

VideoWriter::VideoWriter(VideoCodec codec, unsigned width, unsigned height,
                         VideoFrame frame, unsigned threads)
    : encoder_(std::make_unique<Encoder>()) {
  // FFmpeg logs to standard error for the whole process; its failures come
  // back as statuses, which the messages here name.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
  Encoder& e = *encoder_;
  e.codec = codec;
  const CodecChoice choice = choiceOf(codec);
  if (width == 0 || height == 0 || width > kLargestVideoEdge ||
      height > kLargestVideoEdge) {
    throw MotionError(std::string("a video's picture is 1 to 8192 pixels a "
                                  "side, not ") +
                      std::to_string(width) + " x " + std::to_string(height));
  }
  if (frame.width == 0 && frame.height == 0) {
    frame = {evenAbove(width), evenAbove(height)};
  }
  const std::string frameText =
      std::to_string(frame.width) + "x" + std::to_string(frame.height);
  if (frame.width % 2 != 0 || frame.height % 2 != 0 ||
      frame.width > kLargestVideoEdge || frame.height > kLargestVideoEdge) {
    throw MotionError("frame " + frameText +
                      ": sides are even, at most 8192 pixels");
  }
  if (frame.width < width || frame.height < height) {
    throw MotionError("frame " + frameText + ": the picture is " +
                      std::to_string(width) + " x " + std::to_string(height) +
                      ", larger (a smaller size fits)");
  }
  e.width = width;
  e.height = height;
  e.frame = frame;
  const AVCodec* encoder = avcodec_find_encoder_by_name(choice.encoder);
  if (encoder == nullptr) {
    throw MotionError(std::string("this FFmpeg has no ") + choice.encoder +
                      " encoder for " + choice.name);
  }
  e.check(avformat_alloc_output_context2(&e.format, nullptr, choice.container,
                                         nullptr),
          "cannot start the container");
  e.format->opaque = &e.file;
  e.format->io_open = openAgain;
  e.format->io_close2 = closeAgain;
  e.format->url = av_strdup(choice.container);
  e.format->pb = memoryContext(&e.file, true);
  e.stream = avformat_new_stream(e.format, nullptr);
  e.context = avcodec_alloc_context3(encoder);
  e.packet = av_packet_alloc();
  e.picture = av_frame_alloc();
  if (e.format->url == nullptr || e.format->pb == nullptr ||
      e.stream == nullptr || e.context == nullptr || e.packet == nullptr ||
      e.picture == nullptr) {
    throw MotionError(std::string(choice.name) + ": out of memory");
  }
  AVCodecContext& c = *e.context;
  c.width = static_cast<int>(frame.width);
  c.height = static_cast<int>(frame.height);
  c.pix_fmt = AV_PIX_FMT_YUV420P;
  c.time_base = kCentisecond;
  c.max_b_frames = 0;
  c.thread_count = static_cast<int>(threads);
  // The pictures are sRGB, converted with BT.709's matrix to the range
  // players expect.
  c.color_range = AVCOL_RANGE_MPEG;
  c.colorspace = AVCOL_SPC_BT709;
  c.color_primaries = AVCOL_PRI_BT709;
  c.color_trc = AVCOL_TRC_IEC61966_2_1;
  if ((e.format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
    c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  AVDictionary* settings = encoderSettings(codec);
  const int opened = avcodec_open2(&c, encoder, &settings);
  av_dict_free(&settings);
  e.check(opened, std::string("cannot open ") + choice.encoder);
  e.check(avcodec_parameters_from_context(e.stream->codecpar, &c),
          "cannot describe the stream");
  e.stream->time_base = kCentisecond;
  AVDictionary* muxing = nullptr;
  if (codec == VideoCodec::h264) {
    av_dict_set(&muxing, "movflags", "+faststart", 0);
  }
  const int header = avformat_write_header(e.format, &muxing);
  av_dict_free(&muxing);
  e.check(header, "cannot write the header");
  e.picture->width = c.width;
  e.picture->height = c.height;
  e.picture->format = c.pix_fmt;
  e.check(av_frame_get_buffer(e.picture, 0), "cannot hold a frame");
  e.convert =
      sws_getContext(c.width, c.height, AV_PIX_FMT_RGBA, c.width, c.height,
                     AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr);
  if (e.convert == nullptr) {
    throw MotionError(std::string(choice.name) +
                      ": swscale cannot convert RGBA to yuv420p");
  }
  sws_setColorspaceDetails(e.convert, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                           sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16,
                           1 << 16);
  // Opaque black around the picture.
  e.padded.resize(std::size_t{frame.width} * frame.height * 4);
  for (std::size_t i = 3; i < e.padded.size(); i += 4) {
    e.padded[i] = 255;
  }
}

VideoWriter::~VideoWriter() = default;

VideoFrame VideoWriter::frame() const { return encoder_->frame; }

void VideoWriter::addFrame(const unsigned char* rgba,
                           unsigned delayCentiseconds) {
  Encoder& e = *encoder_;
  if (e.finished) {
    throw MotionError("a frame after the end of the video");
  }
  const std::size_t rowBytes = std::size_t{e.width} * 4;
  const std::size_t frameRowBytes = std::size_t{e.frame.width} * 4;
  const std::size_t left = (e.frame.width - e.width) / 2;
  const std::size_t top = (e.frame.height - e.height) / 2;
  for (std::size_t row = 0; row < e.height; ++row) {
    std::memcpy(&e.padded[(top + row) * frameRowBytes + left * 4],
                rgba + row * rowBytes, rowBytes);
  }
  e.check(av_frame_make_writable(e.picture), "cannot hold a frame");
  const std::array<const uint8_t*, 1> source{e.padded.data()};
  const std::array<int, 1> sourceStride{static_cast<int>(frameRowBytes)};
  sws_scale(e.convert, source.data(), sourceStride.data(), 0,
            static_cast<int>(e.frame.height), e.picture->data,
            e.picture->linesize);
  // Timestamps must grow: a frame of no delay is shown for the least.
  const int64_t delay = std::max(delayCentiseconds, 1U);
  e.picture->pts = e.elapsed;
  e.delays[e.elapsed] = delay;
  e.elapsed += delay;
  e.check(avcodec_send_frame(e.context, e.picture), "cannot encode a frame");
  e.drain();
}

std::vector<unsigned char> VideoWriter::finish() {
  Encoder& e = *encoder_;
  if (e.elapsed == 0 || e.finished) {
    throw MotionError(e.finished ? "the video is finished already"
                                 : "a video needs a frame");
  }
  e.finished = true;
  e.check(avcodec_send_frame(e.context, nullptr), "cannot end the stream");
  e.drain();
  e.check(av_write_trailer(e.format), "cannot write the index");
  avio_flush(e.format->pb);
  return std::move(e.file.bytes);
}

}  // namespace tib::codec
