#include "gif_scene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

namespace tib::bench {
namespace {

constexpr unsigned kSquare = GifScene::kSide / 8;
constexpr std::array<double, 3> kLight = {240, 217, 181};
constexpr std::array<double, 3> kDark = {181, 136, 99};
constexpr std::array<double, 3> kTint = {155, 199, 0};
constexpr double kTintAlpha = 0.41;

using Colour = std::array<double, 3>;

Colour mix(const Colour& under, const Colour& over, double alpha) {
  Colour out{};
  for (std::size_t i = 0; i < 3; ++i)
    out[i] = under[i] + (over[i] - under[i]) * alpha;
  return out;
}

Colour squareColour(unsigned square, bool tinted) {
  const bool light = (square % 8 + square / 8) % 2 == 1;
  const Colour base = light ? kLight : kDark;
  return tinted ? mix(base, kTint, kTintAlpha) : base;
}

// Signed distance to a piece's outline, negative inside: a body, a head
// and a base whose sizes differ by kind.
double pieceDistance(unsigned kind, double x, double y) {
  const double body = std::hypot(x - 45, y - 52) - (14 + 2.0 * kind);
  const double head = std::hypot(x - 45, y - 26) - (7 + 1.5 * kind);
  const double dx = std::abs(x - 45) - (18 + kind);
  const double dy = std::abs(y - 74) - 6;
  const double base = std::hypot(std::max(dx, 0.0), std::max(dy, 0.0)) +
                      std::min(std::max(dx, dy), 0.0);
  return std::min({body, head, base});
}

// A piece over a square colour: an outline 3 pixels wide around the fill,
// both edges anti-aliased.
void drawSquare(unsigned char* rgba, unsigned stride, const Colour& under,
                std::optional<unsigned> piece) {
  for (unsigned y = 0; y < kSquare; ++y) {
    for (unsigned x = 0; x < kSquare; ++x) {
      Colour colour = under;
      if (piece) {
        const bool white = *piece < 6;
        const double d = pieceDistance(*piece % 6, x + 0.5, y + 0.5);
        const Colour outline = white ? Colour{0, 0, 0} : Colour{250, 250, 250};
        const Colour fill = white ? Colour{255, 255, 255} : Colour{30, 30, 30};
        colour = mix(colour, outline, std::clamp(0.5 - d, 0.0, 1.0));
        colour = mix(colour, fill, std::clamp(0.5 - (d + 3), 0.0, 1.0));
      }
      unsigned char* p = rgba + 4 * (std::size_t{y} * stride + x);
      for (std::size_t i = 0; i < 3; ++i)
        p[i] = static_cast<unsigned char>(std::lround(colour[i]));
      p[3] = 255;
    }
  }
}

struct Position {
  std::array<std::optional<unsigned>, 64> pieces{};
  std::array<unsigned, 2> lastMove{64, 64};
};

Position startingPosition() {
  Position position;
  constexpr std::array<unsigned, 8> backRank = {3, 1, 2, 4, 5, 2, 1, 3};
  for (unsigned file = 0; file < 8; ++file) {
    position.pieces[file] = backRank[file];
    position.pieces[8 + file] = 0;
    position.pieces[48 + file] = 6;
    position.pieces[56 + file] = 6 + backRank[file];
  }
  return position;
}

bool tinted(const Position& position, unsigned square) {
  return square == position.lastMove[0] || square == position.lastMove[1];
}

std::vector<unsigned char> draw(const Position& position) {
  std::vector<unsigned char> rgba(std::size_t{GifScene::kSide} *
                                  GifScene::kSide * 4);
  for (unsigned square = 0; square < 64; ++square) {
    const std::size_t left = square % 8 * kSquare;
    const std::size_t top = (7 - square / 8) * kSquare;
    drawSquare(rgba.data() + 4 * (top * GifScene::kSide + left),
               GifScene::kSide, squareColour(square, tinted(position, square)),
               position.pieces[square]);
  }
  return rgba;
}

// A move of the side to play, not a legal one: an own piece to a square
// at most three files and ranks away without an own piece, from a fixed
// pseudo-random sequence.
Position play(const Position& position, unsigned ply, std::uint32_t& seed) {
  const auto next = [&seed](unsigned bound) {
    seed = seed * 1664525U + 1013904223U;
    return (seed >> 8U) % bound;
  };
  const auto own = [&](unsigned square) {
    return position.pieces[square] &&
           (*position.pieces[square] < 6) == (ply % 2 == 0);
  };
  for (;;) {
    const unsigned from = next(64);
    const int file = static_cast<int>(from % 8) + static_cast<int>(next(7)) - 3;
    const int rank = static_cast<int>(from / 8) + static_cast<int>(next(7)) - 3;
    if (!own(from) || file < 0 || file > 7 || rank < 0 || rank > 7) continue;
    const auto to = static_cast<unsigned>(rank * 8 + file);
    if (own(to)) continue;
    Position after = position;
    after.pieces[to] = after.pieces[from];
    after.pieces[from].reset();
    after.lastMove = {from, to};
    return after;
  }
}

std::vector<codec::GifRect> squareRects(const std::vector<unsigned>& squares) {
  std::vector<codec::GifRect> rects;
  for (unsigned square : squares) {
    if (square < 64) {
      rects.push_back(
          {square % 8 * kSquare, (7 - square / 8) * kSquare, kSquare, kSquare});
    }
  }
  return rects;
}

}  // namespace

codec::GifRect boundingBox(const std::vector<codec::GifRect>& rects) {
  unsigned left = GifScene::kSide;
  unsigned top = GifScene::kSide;
  unsigned right = 0;
  unsigned bottom = 0;
  for (const codec::GifRect& rect : rects) {
    left = std::min(left, rect.left);
    top = std::min(top, rect.top);
    right = std::max(right, rect.left + rect.width);
    bottom = std::max(bottom, rect.top + rect.height);
  }
  return {left, top, right - left, bottom - top};
}

std::vector<codec::RgbaPicture> GifScene::samplePictures() const {
  std::vector<codec::RgbaPicture> pictures;
  for (const auto& sample : samples)
    pictures.push_back({sample.data(), kSquare, kSquare});
  return pictures;
}

GifScene makeGifScene(unsigned frameCount) {
  GifScene scene;
  Position position = startingPosition();
  scene.frames.push_back(draw(position));
  std::uint32_t seed = 12345;
  for (unsigned ply = 0; ply + 1 < frameCount; ++ply) {
    const Position after = play(position, ply, seed);
    scene.changed.push_back(
        squareRects({position.lastMove[0], position.lastMove[1],
                     after.lastMove[0], after.lastMove[1]}));
    position = after;
    scene.frames.push_back(draw(position));
  }
  for (unsigned square : {0U, 1U}) {
    for (bool tint : {false, true}) {
      for (unsigned piece = 0; piece <= 12; ++piece) {
        std::vector<unsigned char> sample(std::size_t{kSquare} * kSquare * 4);
        drawSquare(sample.data(), kSquare, squareColour(square, tint),
                   piece < 12 ? std::optional<unsigned>(piece) : std::nullopt);
        scene.samples.push_back(std::move(sample));
      }
    }
  }
  return scene;
}

}  // namespace tib::bench
