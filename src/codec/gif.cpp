#include "codec/gif.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <utility>

#include "codec/gif_lzw.h"

namespace tib::codec {
namespace {

constexpr unsigned kMaxSide = 0xFFFF;
// Disposal 1: the frame stays under the next one.
constexpr unsigned char kKeepDisposal = 1U << 2U;
// A frame without a change.
constexpr std::array<unsigned char, 1> kUnchangedPixel = {
    GifPalette::kTransparentIndex};

void putWord(std::vector<unsigned char>& out, unsigned value) {
  out.push_back(static_cast<unsigned char>(value & 0xFFU));
  out.push_back(static_cast<unsigned char>(value >> 8U));
}

void putText(std::vector<unsigned char>& out, const char* text) {
  out.insert(out.end(), text, text + std::strlen(text));
}

std::uint32_t rawPixel(const unsigned char* rgba, std::size_t at) {
  std::uint32_t raw = 0;
  std::memcpy(&raw, rgba + 4 * at, 4);
  return raw;
}

// Maps pixels to indices, looking each colour up once per run of it:
// boards are mostly runs.
void mapPixels(const GifPalette& palette, const unsigned char* rgba,
               std::size_t count, unsigned char* out) {
  std::size_t at = 0;
  while (at < count) {
    const std::uint32_t raw = rawPixel(rgba, at);
    const std::uint64_t twice = std::uint64_t{raw} << 32U | raw;
    std::size_t end = at + 1;
    // Four pixels at a time through the run.
    for (std::array<std::uint64_t, 2> pair{}; end + 4 <= count; end += 4) {
      std::memcpy(pair.data(), rgba + 4 * end, 16);
      if (pair[0] != twice || pair[1] != twice) {
        break;
      }
    }
    while (end < count && rawPixel(rgba, end) == raw) {
      ++end;
    }
    std::memset(out + at, palette.indexOf(packRgb(rgba + 4 * at)), end - at);
    at = end;
  }
}

// Writes to `out` the row's indices `now` where they differ from those on
// `screen`, leaving the others.
void putChanged(const unsigned char* now, const unsigned char* screen,
                unsigned char* out, std::size_t count) {
  for (std::size_t x = 0; x < count; ++x) {
    out[x] = now[x] != screen[x] ? now[x] : out[x];
  }
}

// The first position where the rows differ, or `count`.
std::size_t firstDifference(const unsigned char* a, const unsigned char* b,
                            std::size_t count) {
  std::size_t at = 0;
  while (at + 8 <= count && std::memcmp(a + at, b + at, 8) == 0) {
    at += 8;
  }
  while (at < count && a[at] == b[at]) {
    ++at;
  }
  return at;
}

// The last position where the rows differ; they do somewhere.
std::size_t lastDifference(const unsigned char* a, const unsigned char* b,
                           std::size_t count) {
  std::size_t end = count;
  while (end >= 8 && std::memcmp(a + end - 8, b + end - 8, 8) == 0) {
    end -= 8;
  }
  while (a[end - 1] == b[end - 1]) {
    --end;
  }
  return end - 1;
}

// Whether the eight indices are all transparency.
bool allClear(const unsigned char* indices) {
  static_assert(GifPalette::kTransparentIndex == 0);
  std::uint64_t word = 0;
  std::memcpy(&word, indices, sizeof word);
  return word == 0;
}

// An unchanged pixel shows the same transparent or in its own colour. In a
// row of a frame, lets those beside a changed pixel take their colour
// where it continues the changed one's run: longer runs, fewer codes. Only
// the changed pixels are visited one by one.
void lengthenRuns(unsigned char* row, const unsigned char* shown,
                  std::size_t count) {
  constexpr unsigned char kClear = GifPalette::kTransparentIndex;
  std::size_t x = 0;
  for (;;) {
    while (x + 8 <= count && allClear(row + x)) {
      x += 8;
    }
    while (x < count && row[x] == kClear) {
      ++x;
    }
    if (x == count) {
      return;
    }
    for (std::size_t left = x;
         left > 0 && row[left - 1] == kClear && shown[left - 1] == row[left];
         --left) {
      row[left - 1] = shown[left - 1];
    }
    while (x < count && row[x] != kClear) {
      ++x;
    }
    for (; x < count && row[x] == kClear && shown[x] == row[x - 1]; ++x) {
      row[x] = shown[x];
    }
  }
}

}  // namespace

GifWriter::GifWriter(unsigned width, unsigned height, const GifPalette& palette,
                     GifSink sink)
    : width_(width),
      height_(height),
      palette_(palette),
      sink_(std::move(sink)) {
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    throw GifError("a GIF is 1 to 65535 pixels wide and high, not " +
                   std::to_string(width) + "x" + std::to_string(height));
  }
  putText(bytes_, "GIF89a");
  putWord(bytes_, width);
  putWord(bytes_, height);
  const unsigned bits = palette.tableBits();
  // A global table, 8 bits per primary, no background colour or aspect.
  bytes_.push_back(static_cast<unsigned char>(0xF0U | (bits - 1)));
  bytes_.push_back(0);
  bytes_.push_back(0);
  for (const Rgb& colour : palette.table()) {
    bytes_.insert(bytes_.end(), {colour.red, colour.green, colour.blue});
  }
  bytes_.resize(bytes_.size() +
                3 * ((std::size_t{1} << bits) - palette.table().size()));
  // Application extension NETSCAPE2.0: loop 0 times, that is forever.
  bytes_.insert(bytes_.end(), {0x21, 0xFF, 0x0B});
  putText(bytes_, "NETSCAPE2.0");
  bytes_.insert(bytes_.end(), {0x03, 0x01, 0x00, 0x00, 0x00});
  flush();
}

void GifWriter::addFrame(const unsigned char* rgba,
                         unsigned delayCentiseconds) {
  addFrame(rgba, delayCentiseconds, {{0, 0, width_, height_}});
}

void GifWriter::addFrame(const unsigned char* rgba, unsigned delayCentiseconds,
                         const std::vector<GifRect>& changed) {
  checkDelay(delayCentiseconds);
  mapped_.resize(std::size_t{width_} * height_);
  const std::vector<Box> regions =
      screen_.empty() ? std::vector<Box>{{0, 0, width_, height_}}
                      : regionsOf(changed);
  for (const Box& region : regions) {
    for (unsigned y = region.top; y < region.bottom; ++y) {
      const std::size_t start = std::size_t{y} * width_ + region.left;
      mapPixels(palette_, rgba + 4 * start, region.right - region.left,
                &mapped_[start]);
    }
  }
  addIndexedFrame(mapped_.data(), delayCentiseconds, changed);
}

void GifWriter::addIndexedFrame(const unsigned char* indices,
                                unsigned delayCentiseconds,
                                const std::vector<GifRect>& changed) {
  checkDelay(delayCentiseconds);
  if (screen_.empty()) {
    screen_.assign(indices, indices + std::size_t{width_} * height_);
    writeFrame({0, 0, width_, height_}, delayCentiseconds, false,
               screen_.data());
  } else {
    addLaterFrame(indices, delayCentiseconds, regionsOf(changed));
  }
  flush();
}

void GifWriter::checkDelay(unsigned delay) const {
  if (finished_) {
    throw GifError("a frame after the end of the GIF");
  }
  if (delay > kMaxSide) {
    throw GifError("a GIF frame's delay is at most 65535 centiseconds, not " +
                   std::to_string(delay));
  }
}

// The rectangles cut to the picture, empty ones left out.
std::vector<GifWriter::Box> GifWriter::regionsOf(
    const std::vector<GifRect>& changed) const {
  std::vector<Box> regions;
  for (const GifRect& rect : changed) {
    const auto end = [](unsigned start, unsigned length, unsigned side) {
      return static_cast<unsigned>(
          std::min<std::uint64_t>(std::uint64_t{start} + length, side));
    };
    const Box region{rect.left, rect.top, end(rect.left, rect.width, width_),
                     end(rect.top, rect.height, height_)};
    if (region.left < region.right && region.top < region.bottom) {
      regions.push_back(region);
    }
  }
  return regions;
}

void GifWriter::finish() {
  if (finished_) {
    throw GifError("the GIF is finished already");
  }
  if (screen_.empty()) {
    throw GifError("a GIF needs at least one frame");
  }
  bytes_.push_back(0x3B);
  finished_ = true;
  flush();
}

void GifWriter::addLaterFrame(const unsigned char* indices, unsigned delay,
                              const std::vector<Box>& regions) {
  // The box of the pixels that changed.
  Box box{width_, height_, 0, 0};
  for (const Box& region : regions) {
    const std::size_t regionWidth = region.right - region.left;
    for (unsigned y = region.top; y < region.bottom; ++y) {
      const std::size_t start = std::size_t{y} * width_ + region.left;
      const unsigned char* now = indices + start;
      const unsigned char* before = &screen_[start];
      const std::size_t first = firstDifference(now, before, regionWidth);
      if (first == regionWidth) {
        continue;
      }
      const std::size_t last = lastDifference(now, before, regionWidth);
      box.left = std::min(box.left, region.left + static_cast<unsigned>(first));
      box.right =
          std::max(box.right, region.left + static_cast<unsigned>(last) + 1);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y + 1);
    }
  }
  if (box.right <= box.left) {
    writeFrame({0, 0, 1, 1}, delay, true, kUnchangedPixel.data());
    return;
  }
  // The box's changed pixels over transparency; regions may overlap, so
  // the screen takes the new indices only once all are compared.
  const std::size_t boxWidth = box.right - box.left;
  // Made for each frame, so that a writer that waits holds no copy of it.
  std::vector<unsigned char> frame(boxWidth * (box.bottom - box.top),
                                   GifPalette::kTransparentIndex);
  // Calls visit(offset in the picture, offset in frame_, count) for each
  // row of a region inside the box.
  const auto eachRowInBox = [&](const auto& visit) {
    for (const Box& region : regions) {
      const unsigned left = std::max(region.left, box.left);
      const unsigned right = std::min(region.right, box.right);
      const unsigned top = std::max(region.top, box.top);
      const unsigned bottom = std::min(region.bottom, box.bottom);
      for (unsigned y = top; y < bottom && left < right; ++y) {
        visit(std::size_t{y} * width_ + left,
              (y - box.top) * boxWidth + (left - box.left), right - left);
      }
    }
  };
  eachRowInBox([&](std::size_t at, std::size_t out, std::size_t count) {
    putChanged(indices + at, &screen_[at], &frame[out], count);
  });
  eachRowInBox([&](std::size_t at, std::size_t /*out*/, std::size_t count) {
    std::memcpy(&screen_[at], indices + at, count);
  });
  for (unsigned y = box.top; y < box.bottom; ++y) {
    lengthenRuns(&frame[(y - box.top) * boxWidth],
                 &screen_[std::size_t{y} * width_ + box.left], boxWidth);
  }
  const bool anyUnchanged =
      std::find(frame.begin(), frame.end(), GifPalette::kTransparentIndex) !=
      frame.end();
  writeFrame(box, delay, anyUnchanged, frame.data());
}

void GifWriter::writeFrame(Box box, unsigned delay, bool usesTransparency,
                           const unsigned char* indices) {
  bytes_.insert(bytes_.end(),
                {0x21, 0xF9, 0x04,
                 static_cast<unsigned char>(kKeepDisposal |
                                            (usesTransparency ? 1U : 0U))});
  putWord(bytes_, delay);
  bytes_.insert(bytes_.end(),
                {GifPalette::kTransparentIndex, static_cast<unsigned char>(0),
                 static_cast<unsigned char>(0x2C)});
  putWord(bytes_, box.left);
  putWord(bytes_, box.top);
  putWord(bytes_, box.right - box.left);
  putWord(bytes_, box.bottom - box.top);
  bytes_.push_back(0);
  const std::size_t count =
      std::size_t{box.right - box.left} * (box.bottom - box.top);
  // Codes as short as the frame's largest index allows.
  const unsigned largest = *std::max_element(indices, indices + count);
  unsigned codeSize = 2;
  while ((1U << codeSize) <= largest) {
    ++codeSize;
  }
  appendLzw(bytes_, indices, count, codeSize);
}

void GifWriter::flush() {
  sink_(bytes_.data(), bytes_.size());
  // Emptied, not kept at the largest frame's size.
  std::vector<unsigned char>().swap(bytes_);
}

}  // namespace tib::codec
