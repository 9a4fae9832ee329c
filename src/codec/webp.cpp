#include "codec/webp.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <limits>

namespace tib::codec {

namespace {

// The format's limit on either side of the canvas.
constexpr unsigned kLargestEdge = 16383;

}  // namespace

struct WebpWriter::Encoder {
  WebPAnimEncoder* animation = nullptr;
  WebPConfig config{};
  ~Encoder() { WebPAnimEncoderDelete(animation); }
};

WebpWriter::WebpWriter(unsigned width, unsigned height, int effort)
    : encoder_(std::make_unique<Encoder>()), width_(width), height_(height) {
  if (width == 0 || height == 0 || width > kLargestEdge ||
      height > kLargestEdge) {
    throw MotionError("a WebP is 1 to 16383 pixels a side, not " +
                      std::to_string(width) + " x " + std::to_string(height));
  }
  WebPAnimEncoderOptions options;
  if (WebPAnimEncoderOptionsInit(&options) == 0 ||
      WebPConfigInit(&encoder_->config) == 0 ||
      WebPConfigLosslessPreset(&encoder_->config, effort) == 0) {
    throw MotionError("libwebp refuses its own settings (version mismatch?)");
  }
  // Lossless frames only, each the rectangle that changed.
  options.allow_mixed = 0;
  options.anim_params.loop_count = 0;
  // Lossless keeps the colour under transparent pixels only when asked.
  encoder_->config.exact = 1;
  encoder_->animation = WebPAnimEncoderNew(static_cast<int>(width),
                                           static_cast<int>(height), &options);
  if (encoder_->animation == nullptr) {
    throw MotionError("libwebp cannot start an animation of " +
                      std::to_string(width) + " x " + std::to_string(height));
  }
}

WebpWriter::~WebpWriter() = default;

void WebpWriter::addFrame(const unsigned char* rgba,
                          unsigned delayCentiseconds) {
  if (finished_) {
    throw MotionError("a frame after the end of the WebP");
  }
  WebPPicture picture;
  if (WebPPictureInit(&picture) == 0) {
    throw MotionError("libwebp refuses its own picture (version mismatch?)");
  }
  picture.use_argb = 1;
  picture.width = static_cast<int>(width_);
  picture.height = static_cast<int>(height_);
  const bool imported =
      WebPPictureImportRGBA(&picture, rgba, static_cast<int>(width_ * 4)) != 0;
  const bool added =
      imported &&
      WebPAnimEncoderAdd(encoder_->animation, &picture,
                         static_cast<int>(elapsed_), &encoder_->config) != 0;
  WebPPictureFree(&picture);
  if (!added) {
    throw MotionError(std::string("libwebp cannot add a frame: ") +
                      WebPAnimEncoderGetError(encoder_->animation));
  }
  elapsed_ += 10LL * delayCentiseconds;
  any_ = true;
  if (elapsed_ > std::numeric_limits<int>::max()) {
    throw MotionError("a WebP lasts at most " +
                      std::to_string(std::numeric_limits<int>::max()) +
                      " milliseconds");
  }
}

std::vector<unsigned char> WebpWriter::finish() {
  if (!any_ || finished_) {
    throw MotionError(finished_ ? "the WebP is finished already"
                                : "a WebP needs a frame");
  }
  finished_ = true;
  WebPData data;
  WebPDataInit(&data);
  // The end's timestamp gives the last frame its delay.
  if (WebPAnimEncoderAdd(encoder_->animation, nullptr,
                         static_cast<int>(elapsed_), nullptr) == 0 ||
      WebPAnimEncoderAssemble(encoder_->animation, &data) == 0) {
    throw MotionError(std::string("libwebp cannot end the animation: ") +
                      WebPAnimEncoderGetError(encoder_->animation));
  }
  std::vector<unsigned char> bytes(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  return bytes;
}

}  // namespace tib::codec
