#include "tib/decoration/player_bars.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tib/text/text_runs.h"

namespace tib {

namespace {

constexpr TextColour kTitle{0xbf, 0x81, 0x1d, 255};
constexpr TextColour kName{0xe8, 0xe6, 0xe3, 255};
constexpr TextColour kRating{0x99, 0x97, 0x94, 255};
constexpr TextColour kClock{0xba, 0xba, 0xba, 255};
constexpr TextColour kClockBox{0x3c, 0x3a, 0x37, 255};
constexpr TextColour kRunningClockBox{0xe0, 0xde, 0xdb, 255};

// Sizes of one bar, all from its height.
struct BarGeometry {
  int width = 0;
  int height = 0;
  int fontSize = 0;
  int padding = 0;
  int inset = 0;
  int space = 0;
  int baseline = 0;
};

int scaled(int height, double fraction) {
  return std::max(1, static_cast<int>(std::lround(height * fraction)));
}

BarGeometry geometryOf(int width, int height, const TextRenderer& text) {
  BarGeometry geometry;
  geometry.width = width;
  geometry.height = height;
  geometry.fontSize = scaled(height, 0.5);
  geometry.padding = scaled(height, 0.3);
  geometry.inset = scaled(height, 0.12);
  geometry.space = scaled(geometry.fontSize, 0.35);
  const int capHeight =
      text.lineMetrics(geometry.fontSize, FontWeight::regular).capHeight;
  geometry.baseline = (height + capHeight + 1) / 2;
  return geometry;
}

// Control characters would draw as boxes; names come from anywhere.
std::string displayText(const std::string& text) {
  std::string shown = truncateUtf8(text, kLongestPlayerText);
  std::replace_if(
      shown.begin(), shown.end(),
      [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
      },
      ' ');
  return shown;
}

// Lays out the clock at the bar's right end; returns the x where it
// starts, the bar's right padding when there is no clock.
int layOutClock(Painting& painting, const BarGeometry& bar,
                const std::optional<int>& centiseconds, bool running,
                const TextRenderer& text) {
  if (!centiseconds) {
    return bar.width - bar.padding;
  }
  const std::string shown = formatClock(*centiseconds);
  const int textWidth = text.measure(shown, bar.fontSize, FontWeight::bold);
  const int boxWidth = textWidth + 2 * bar.padding;
  const int boxLeft = bar.width - bar.inset - boxWidth;
  painting.rects.push_back(
      {{boxLeft, bar.inset, boxWidth, bar.height - 2 * bar.inset},
       running ? kRunningClockBox : kClockBox});
  painting.texts.push_back({shown, boxLeft + bar.padding, bar.baseline,
                            bar.fontSize, FontWeight::bold,
                            running ? kStripDark : kClock,
                            boxWidth - bar.padding});
  return boxLeft;
}

// A bar as a painting of its own, so that no stroke of a tall name can
// reach the board.
Painting layOutBar(const BarGeometry& bar, const PlayerInfo& player,
                   bool running, const TextRenderer& text) {
  Painting painting;
  painting.width = bar.width;
  painting.height = bar.height;
  painting.rects.push_back({{0, 0, bar.width, bar.height}, kStripDark});
  const int clockLeft =
      layOutClock(painting, bar, player.clockCentiseconds, running, text);
  // The name's room ends a padding before the clock.
  const int right = clockLeft - bar.padding;
  int x = bar.padding;
  // Adds the text at x; returns the advance it is drawn with.
  const auto add = [&](const std::string& shown, int size, FontWeight weight,
                       TextColour colour, int room) {
    painting.texts.push_back(
        {shown, x, bar.baseline, size, weight, colour, room});
    return text.rasterise(shown, size, weight, room)->advance;
  };
  const std::string title = displayText(player.title);
  if (!title.empty() && right > x) {
    x += add(title, bar.fontSize, FontWeight::bold, kTitle, right - x) +
         bar.space;
  }
  const std::string rating = displayText(player.rating);
  const int ratingWidth =
      rating.empty() ? 0
                     : text.measure(rating, bar.fontSize, FontWeight::regular);
  // The rating gives way when it would leave the name less than two ems.
  const bool withRating =
      !rating.empty() &&
      right - x - bar.space - ratingWidth >= 2 * bar.fontSize;
  const int nameRoom = right - x - (withRating ? bar.space + ratingWidth : 0);
  const std::string name = displayText(player.name);
  if (!name.empty() && nameRoom > 0) {
    x += add(name, bar.fontSize, FontWeight::regular, kName, nameRoom) +
         bar.space;
  }
  if (withRating && right > x) {
    x += add(rating, bar.fontSize, FontWeight::regular, kRating, right - x) +
         bar.space;
  }
  const std::string material = displayText(player.material);
  if (!material.empty() && right > x) {
    add(material, scaled(bar.fontSize, 0.8), FontWeight::regular, kRating,
        right - x);
  }
  return painting;
}

}  // namespace

std::string formatClock(int centiseconds) {
  const int time = std::max(0, centiseconds);
  const int seconds = time / 100;
  const auto twoDigits = [](int value) {
    return std::string{static_cast<char>('0' + value / 10),
                       static_cast<char>('0' + value % 10)};
  };
  if (seconds >= 3600) {
    return std::to_string(seconds / 3600) + ":" + twoDigits(seconds / 60 % 60) +
           ":" + twoDigits(seconds % 60);
  }
  if (seconds >= 10) {
    return std::to_string(seconds / 60) + ":" + twoDigits(seconds % 60);
  }
  return "0:" + twoDigits(seconds) + "." + std::to_string(time / 10 % 10);
}

int barHeight(int width) {
  return std::max(1, static_cast<int>(std::lround(width / 12.0)));
}

ImageBuffer addPlayerBars(const ImageBuffer& diagram, const PlayerBars& players,
                          const TextRenderer& text) {
  const std::size_t diagramBytes =
      static_cast<std::size_t>(diagram.width) * diagram.height * 4;
  if (diagram.width == 0 || diagram.height == 0 ||
      diagram.pixels.size() != diagramBytes) {
    throw TextError("the diagram's bytes do not match its size");
  }
  const int width = static_cast<int>(diagram.width);
  const int bar = barHeight(width);
  const DrawnBars bars = drawPlayerBars(width, players, text);
  ImageBuffer framed;
  framed.width = diagram.width;
  framed.height = diagram.height + 2 * static_cast<uint32_t>(bar);
  framed.pixels.resize(static_cast<std::size_t>(framed.width) * framed.height *
                       4);
  const std::size_t barBytes =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(bar) * 4;

  unsigned char* out = framed.pixels.data();
  std::memcpy(out, bars.above.pixels.data(), barBytes);
  std::memcpy(out + barBytes, diagram.pixels.data(), diagramBytes);
  std::memcpy(out + barBytes + diagramBytes, bars.below.pixels.data(),
              barBytes);
  return framed;
}

BarPaintings layOutPlayerBars(int width, const PlayerBars& players,
                              const TextRenderer& text) {
  const BarGeometry geometry = geometryOf(width, barHeight(width), text);
  const chess::Side above = chess::opposite(players.bottom);
  const auto playerOf = [&players](chess::Side side) -> const PlayerInfo& {
    return side == chess::Side::white ? players.white : players.black;
  };
  return {layOutBar(geometry, playerOf(above), players.toMove == above, text),
          layOutBar(geometry, playerOf(players.bottom),
                    players.toMove == players.bottom, text)};
}

DrawnBars drawPlayerBars(int width, const PlayerBars& players,
                         const TextRenderer& text) {
  const BarPaintings bars = layOutPlayerBars(width, players, text);
  return {paintPicture(bars.above, text), paintPicture(bars.below, text)};
}

}  // namespace tib
