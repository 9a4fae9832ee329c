#include "codec/gif_palette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <utility>

namespace tib::codec {
namespace {

// Green counts most to the eye and blue least; squared distances with these
// weights choose the nearest colour and where median cut splits.
constexpr std::array<std::int64_t, 3> kChannelWeights = {3, 4, 2};
constexpr unsigned kCellBits = 4;
constexpr unsigned kCellsPerChannel = 1U << kCellBits;
constexpr unsigned kCellWidth = 256U >> kCellBits;

unsigned channel(std::uint32_t rgb, std::size_t axis) {
  return (rgb >> (16U - 8U * static_cast<unsigned>(axis))) & 0xFFU;
}

unsigned channel(Rgb colour, std::size_t axis) {
  return axis == 0 ? colour.red : axis == 1 ? colour.green : colour.blue;
}

std::int64_t distance(std::uint32_t rgb, Rgb colour) {
  std::int64_t sum = 0;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const std::int64_t d = static_cast<std::int64_t>(channel(rgb, axis)) -
                           static_cast<std::int64_t>(channel(colour, axis));
    sum += kChannelWeights[axis] * d * d;
  }
  return sum;
}

unsigned bitsForTable(std::size_t entries) {
  unsigned bits = 1;
  while ((std::size_t{1} << bits) < entries) {
    ++bits;
  }
  return bits;
}

std::uint32_t packed(Rgb colour) {
  return static_cast<std::uint32_t>(colour.red) << 16U |
         static_cast<std::uint32_t>(colour.green) << 8U | colour.blue;
}

Rgb unpacked(std::uint32_t rgb) {
  return {static_cast<unsigned char>(rgb >> 16U),
          static_cast<unsigned char>(rgb >> 8U),
          static_cast<unsigned char>(rgb)};
}

struct ColourCount {
  std::uint32_t rgb;
  std::uint64_t count;
};

// Past this many distinct colours (a photograph's), the samples' colours
// are counted in cells of kCellColourBits a channel instead, each cell
// standing for the mean of its pixels: counting and cutting then take a
// bounded time, whatever the samples hold.
constexpr std::size_t kMaxDistinctColours = std::size_t{1} << 15U;
constexpr unsigned kCellColourBits = 5;
// Such samples are counted one pixel in this many, in reading order: as
// good a picture of a photograph's colours, in a third of the time. Odd, so
// that the pixels taken move along from row to row of an even width.
constexpr std::size_t kCellSampleStep = 3;

// Every colour of the samples with its count, sorted by colour; none when
// there are more than kMaxDistinctColours.
std::optional<std::vector<ColourCount>> distinctColours(
    const std::vector<RgbaPicture>& samples) {
  std::unordered_map<std::uint32_t, std::uint64_t> counts;
  for (const RgbaPicture& sample : samples) {
    const std::size_t pixels = std::size_t{sample.width} * sample.height;
    // Runs of one colour are common in boards: count them at once.
    std::size_t i = 0;
    while (i < pixels) {
      const std::uint32_t rgb = packRgb(sample.rgba + 4 * i);
      std::size_t end = i + 1;
      while (end < pixels && packRgb(sample.rgba + 4 * end) == rgb) {
        ++end;
      }
      counts[rgb] += end - i;
      if (counts.size() > kMaxDistinctColours) {
        return std::nullopt;
      }
      i = end;
    }
  }
  std::vector<ColourCount> colours;
  colours.reserve(counts.size());
  for (const auto& [rgb, count] : counts) {
    colours.push_back({rgb, count});
  }
  std::sort(
      colours.begin(), colours.end(),
      [](const ColourCount& a, const ColourCount& b) { return a.rgb < b.rgb; });
  return colours;
}

// The samples' colours by cells, from one pixel in kCellSampleStep: the
// kept colours (sorted) each counted, also when no pixel has it, every
// other pixel in its cell, a cell's colour the mean of its pixels. Sorted by
// colour; two entries may share one.
std::vector<ColourCount> cellColours(const std::vector<RgbaPicture>& samples,
                                     const std::vector<std::uint32_t>& kept) {
  struct Cell {
    std::uint64_t count = 0;
    std::array<std::uint64_t, 3> sums{};
  };
  constexpr unsigned kShift = 8 - kCellColourBits;
  const auto cellOf = [](std::uint32_t rgb) {
    return std::size_t{rgb >> (16U + kShift)} << (2 * kCellColourBits) |
           std::size_t{(rgb >> (8U + kShift)) & 0xFFU >> kShift}
               << kCellColourBits |
           std::size_t{(rgb & 0xFFU) >> kShift};
  };
  std::vector<Cell> cells(std::size_t{1} << (3 * kCellColourBits));
  // Only a pixel in a cell holding a kept colour may be one.
  std::vector<bool> holdsKept(cells.size());
  for (const std::uint32_t rgb : kept) {
    holdsKept[cellOf(rgb)] = true;
  }
  std::vector<std::uint64_t> keptCounts(kept.size());
  for (const RgbaPicture& sample : samples) {
    const std::size_t pixels = std::size_t{sample.width} * sample.height;
    for (std::size_t i = 0; i < pixels; i += kCellSampleStep) {
      const unsigned char* pixel = sample.rgba + 4 * i;
      const std::uint32_t rgb = packRgb(pixel);
      const std::size_t at = cellOf(rgb);
      if (holdsKept[at]) {
        const auto found = std::lower_bound(kept.begin(), kept.end(), rgb);
        if (found != kept.end() && *found == rgb) {
          ++keptCounts[static_cast<std::size_t>(found - kept.begin())];
          continue;
        }
      }
      Cell& cell = cells[at];
      ++cell.count;
      for (std::size_t axis = 0; axis < 3; ++axis) {
        cell.sums.at(axis) += pixel[axis];
      }
    }
  }
  std::vector<ColourCount> colours;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    colours.push_back({kept[i], keptCounts[i]});
  }
  for (const Cell& cell : cells) {
    if (cell.count > 0) {
      const std::uint32_t rgb = std::accumulate(
          cell.sums.begin(), cell.sums.end(), std::uint32_t{0},
          [&cell](std::uint32_t packedSoFar, std::uint64_t sum) {
            return packedSoFar << 8U | static_cast<std::uint32_t>(
                                           (sum + cell.count / 2) / cell.count);
          });
      colours.push_back({rgb, cell.count});
    }
  }
  std::sort(
      colours.begin(), colours.end(),
      [](const ColourCount& a, const ColourCount& b) { return a.rgb < b.rgb; });
  return colours;
}

// The samples' colours, every one when they are few, else by cells; and
// whether by cells.
std::pair<std::vector<ColourCount>, bool> countColours(
    const std::vector<RgbaPicture>& samples,
    const std::vector<std::uint32_t>& kept) {
  if (std::optional<std::vector<ColourCount>> exact =
          distinctColours(samples)) {
    return {std::move(*exact), false};
  }
  return {cellColours(samples, kept), true};
}

struct AxisSums {
  double weight = 0;
  double sum = 0;
  double squares = 0;

  void add(unsigned value, std::uint64_t count) {
    const auto w = static_cast<double>(count);
    weight += w;
    sum += w * value;
    squares += w * value * value;
  }
  [[nodiscard]] double squaredError() const {
    return squares - sum * sum / weight;
  }
};

struct Box {
  std::size_t begin;
  std::size_t end;
  double error;
  std::size_t axis;
};

Box measureBox(const std::vector<ColourCount>& colours, std::size_t begin,
               std::size_t end) {
  std::array<AxisSums, 3> sums{};
  for (std::size_t i = begin; i < end; ++i) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
      sums[axis].add(channel(colours[i].rgb, axis), colours[i].count);
    }
  }
  Box box{begin, end, 0, 0};
  double widest = -1;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const double error =
        static_cast<double>(kChannelWeights[axis]) * sums[axis].squaredError();
    box.error += error;
    if (error > widest) {
      widest = error;
      box.axis = axis;
    }
  }
  return box;
}

// Sorts the box along its axis and returns the first index of the second
// half, chosen so that the two halves' squared errors along the axis add up
// to the least.
std::size_t splitPoint(std::vector<ColourCount>& colours, const Box& box) {
  const auto first = colours.begin() + static_cast<std::ptrdiff_t>(box.begin);
  const auto last = colours.begin() + static_cast<std::ptrdiff_t>(box.end);
  std::sort(first, last, [&](const ColourCount& a, const ColourCount& b) {
    const unsigned ca = channel(a.rgb, box.axis);
    const unsigned cb = channel(b.rgb, box.axis);
    return ca != cb ? ca < cb : a.rgb < b.rgb;
  });
  AxisSums total;
  for (std::size_t i = box.begin; i < box.end; ++i) {
    total.add(channel(colours[i].rgb, box.axis), colours[i].count);
  }
  AxisSums left;
  std::size_t best = box.begin + 1;
  double bestError = -1;
  for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
    const unsigned value = channel(colours[i].rgb, box.axis);
    left.add(value, colours[i].count);
    // Equal values stay on one side.
    if (channel(colours[i + 1].rgb, box.axis) == value) {
      continue;
    }
    const AxisSums right{total.weight - left.weight, total.sum - left.sum,
                         total.squares - left.squares};
    const double error = left.squaredError() + right.squaredError();
    if (bestError < 0 || error < bestError) {
      bestError = error;
      best = i + 1;
    }
  }
  return best;
}

Rgb boxColour(const std::vector<ColourCount>& colours, const Box& box) {
  std::uint64_t total = 0;
  std::size_t mostCommon = box.begin;
  std::array<double, 3> sums{};
  for (std::size_t i = box.begin; i < box.end; ++i) {
    total += colours[i].count;
    if (colours[i].count > colours[mostCommon].count) {
      mostCommon = i;
    }
    for (std::size_t axis = 0; axis < 3; ++axis) {
      sums[axis] +=
          static_cast<double>(colours[i].count) * channel(colours[i].rgb, axis);
    }
  }
  // A colour that fills most of the box, a board square's say, is kept
  // exactly rather than moved by its anti-aliased neighbours.
  if (2 * colours[mostCommon].count > total) {
    return unpacked(colours[mostCommon].rgb);
  }
  std::array<unsigned char, 3> mean{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    mean[axis] = static_cast<unsigned char>(
        std::lround(sums[axis] / static_cast<double>(total)));
  }
  return {mean[0], mean[1], mean[2]};
}

std::vector<ColourCount> medianCut(std::vector<ColourCount> colours,
                                   std::size_t maxColours) {
  std::vector<Box> boxes{measureBox(colours, 0, colours.size())};
  while (boxes.size() < maxColours) {
    std::size_t widest = boxes.size();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].end - boxes[i].begin < 2) {
        continue;
      }
      if (widest == boxes.size() || boxes[i].error > boxes[widest].error) {
        widest = i;
      }
    }
    if (widest == boxes.size()) {
      break;
    }
    const Box box = boxes[widest];
    const std::size_t split = splitPoint(colours, box);
    boxes[widest] = measureBox(colours, box.begin, split);
    boxes.push_back(measureBox(colours, split, box.end));
  }
  std::vector<ColourCount> chosen;
  chosen.reserve(boxes.size());
  for (const Box& box : boxes) {
    std::uint64_t count = 0;
    for (std::size_t i = box.begin; i < box.end; ++i) {
      count += colours[i].count;
    }
    chosen.push_back({packed(boxColour(colours, box)), count});
  }
  return chosen;
}

}  // namespace

GifPalette::GifPalette(const std::vector<Rgb>& colours,
                       const std::vector<std::uint32_t>& knownColours) {
  if (colours.empty() || colours.size() > kMaxColours) {
    throw GifError("a GIF palette holds 1 to 255 colours, not " +
                   std::to_string(colours.size()));
  }
  table_.push_back({0, 0, 0});
  table_.insert(table_.end(), colours.begin(), colours.end());
  tableBits_ = bitsForTable(table_.size());

  const std::size_t cells =
      std::size_t{kCellsPerChannel} * kCellsPerChannel * kCellsPerChannel;
  cellStarts_.reserve(cells + 1);
  std::vector<std::int64_t> least(table_.size());
  for (std::size_t cell = 0; cell < cells; ++cell) {
    cellStarts_.push_back(static_cast<std::uint32_t>(cellCandidates_.size()));
    // A colour can be nearest to a point of the cell only if its least
    // distance to the cell is within the greatest distance of the colour
    // whose greatest distance is least.
    std::int64_t bound = -1;
    for (std::size_t index = 1; index < table_.size(); ++index) {
      std::int64_t inside = 0;
      std::int64_t greatest = 0;
      for (std::size_t axis = 0; axis < 3; ++axis) {
        const auto low = static_cast<std::int64_t>(
            ((cell >> (kCellBits * (2 - axis))) % kCellsPerChannel) *
            kCellWidth);
        const std::int64_t high = low + kCellWidth - 1;
        const auto value =
            static_cast<std::int64_t>(channel(table_[index], axis));
        const std::int64_t outside = value < low    ? low - value
                                     : value > high ? value - high
                                                    : 0;
        const std::int64_t far = std::max(value - low, high - value);
        inside += kChannelWeights[axis] * outside * outside;
        greatest += kChannelWeights[axis] * far * far;
      }
      least[index] = inside;
      if (bound < 0 || greatest < bound) {
        bound = greatest;
      }
    }
    for (std::size_t index = 1; index < table_.size(); ++index) {
      if (least[index] <= bound) {
        cellCandidates_.push_back(static_cast<unsigned char>(index));
      }
    }
  }
  cellStarts_.push_back(static_cast<std::uint32_t>(cellCandidates_.size()));

  std::vector<std::uint32_t> keys = knownColours;
  std::transform(colours.begin(), colours.end(), std::back_inserter(keys),
                 packed);
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  unsigned slotBits = 9;
  while ((std::size_t{1} << slotBits) < 2 * keys.size()) {
    ++slotBits;
  }
  known_.assign(std::size_t{1} << slotBits, kEmpty);
  hashShift_ = 32 - slotBits;
  for (std::uint32_t key : keys) {
    std::size_t slot = hashSlot(key);
    while (known_[slot] != kEmpty) {
      slot = (slot + 1) & (known_.size() - 1);
    }
    known_[slot] = static_cast<std::uint32_t>(nearestIndex(key)) << 24U | key;
  }
}

unsigned char GifPalette::nearestIndex(std::uint32_t rgb) const {
  const std::size_t cell = (channel(rgb, 0) / kCellWidth) << (2 * kCellBits) |
                           (channel(rgb, 1) / kCellWidth) << kCellBits |
                           channel(rgb, 2) / kCellWidth;
  unsigned char best = 0;
  std::int64_t bestDistance = -1;
  for (std::uint32_t i = cellStarts_[cell]; i < cellStarts_[cell + 1]; ++i) {
    const unsigned char candidate = cellCandidates_[i];
    const std::int64_t d = distance(rgb, table_[candidate]);
    if (bestDistance < 0 || d < bestDistance) {
      bestDistance = d;
      best = candidate;
    }
  }
  return best;
}

GifPalette buildPalette(const std::vector<RgbaPicture>& samples,
                        std::size_t maxColours,
                        const std::vector<RgbaPicture>& typical,
                        const std::vector<std::uint32_t>& exact) {
  if (maxColours == 0 || maxColours > GifPalette::kMaxColours) {
    throw GifError("a GIF palette holds 1 to 255 colours, not " +
                   std::to_string(maxColours));
  }
  std::vector<std::uint32_t> kept = exact;
  std::sort(kept.begin(), kept.end());
  kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
  if (kept.size() > maxColours) {
    throw GifError("a GIF palette holds at most " + std::to_string(maxColours) +
                   " colours, not the " + std::to_string(kept.size()) +
                   " that must be exact");
  }
  const auto [counts, byCells] = countColours(samples, kept);
  if (counts.empty()) {
    throw GifError("no sample pixels to choose colours from");
  }
  // Colours counted by cells are not the samples' own: only the palette's
  // and the kept ones are known then.
  std::vector<std::uint32_t> known(byCells ? kept.size() : counts.size());
  if (byCells) {
    known = kept;
  } else {
    std::transform(counts.begin(), counts.end(), known.begin(),
                   [](const ColourCount& count) { return count.rgb; });
  }

  // The exact colours with their counts, and the others, which share the
  // entries left.
  std::vector<ColourCount> chosen;
  std::vector<ColourCount> others;
  for (const ColourCount& colour : counts) {
    const bool isKept =
        std::binary_search(kept.begin(), kept.end(), colour.rgb);
    (isKept ? chosen : others).push_back(colour);
  }
  for (const std::uint32_t rgb : kept) {
    if (!std::binary_search(known.begin(), known.end(), rgb)) {
      chosen.push_back({rgb, 0});
    }
  }
  const std::size_t left = maxColours - kept.size();
  if (others.size() <= left) {
    chosen.insert(chosen.end(), others.begin(), others.end());
  } else if (left > 0) {
    const std::vector<ColourCount> cut = medianCut(std::move(others), left);
    chosen.insert(chosen.end(), cut.begin(), cut.end());
  }
  // Boxes may share a colour: their counts join.
  std::sort(
      chosen.begin(), chosen.end(),
      [](const ColourCount& a, const ColourCount& b) { return a.rgb < b.rgb; });
  std::vector<ColourCount> merged;
  for (const ColourCount& colour : chosen) {
    if (!merged.empty() && merged.back().rgb == colour.rgb) {
      merged.back().count += colour.count;
    } else {
      merged.push_back(colour);
    }
  }
  const auto colours = [&merged] {
    std::vector<Rgb> table(merged.size());
    std::transform(
        merged.begin(), merged.end(), table.begin(),
        [](const ColourCount& colour) { return unpacked(colour.rgb); });
    return table;
  };
  // How many typical pixels each colour stands for.
  // Samples counted by cells are photographs, whose frames have too many
  // colours for short codes to matter: their own counts order them.
  std::unordered_map<std::uint32_t, std::uint64_t> typicalCount;
  if (!typical.empty() && !byCells) {
    const GifPalette unordered(colours(), known);
    for (const ColourCount& pixel : countColours(typical, kept).first) {
      const Rgb& nearest = unordered.table()[unordered.indexOf(pixel.rgb)];
      typicalCount[packed(nearest)] += pixel.count;
    }
  }
  const auto weight = [&typicalCount](const ColourCount& colour) {
    const auto found = typicalCount.find(colour.rgb);
    return found == typicalCount.end() ? 0 : found->second;
  };
  std::sort(merged.begin(), merged.end(),
            [&weight](const ColourCount& a, const ColourCount& b) {
              const std::uint64_t aTypical = weight(a);
              const std::uint64_t bTypical = weight(b);
              if (aTypical != bTypical) {
                return aTypical > bTypical;
              }
              return a.count != b.count ? a.count > b.count : a.rgb < b.rgb;
            });
  return GifPalette(colours(), known);
}

}  // namespace tib::codec
