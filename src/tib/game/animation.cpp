#include "tib/game/animation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "tib/board/error.h"

namespace tib {

namespace {

using chess::MarkColour;

// Around every box drawn again, for the anti-aliased edges of the shapes.
constexpr int kPad = 2;

Box padded(const Box& box) {
  return {box.x - kPad, box.y - kPad, box.w + 2 * kPad, box.h + 2 * kPad};
}

constexpr std::size_t kEmpty = kPieces.size();

// The piece on each square, in a placement that puts at most one piece on
// each square of the board and none off it; none for any other placement,
// whose drawing order decides more than its squares do.
std::optional<std::array<std::size_t, 64>> boardOf(const Placement& position) {
  std::array<std::size_t, 64> board{};
  board.fill(kEmpty);
  for (const PlacedPiece& piece : position.pieces) {
    if (!chess::onBoard(piece.square)) {
      return std::nullopt;
    }
    std::size_t& at = board[static_cast<std::size_t>(piece.square.rank) * 8 +
                            static_cast<std::size_t>(piece.square.file)];
    if (at != kEmpty) {
      return std::nullopt;
    }
    at = piece.index;
  }
  return board;
}

// What differs between two diagrams of one view and settings, as boxes on
// the canvas; the whole canvas when the two cannot be compared square by
// square.
std::vector<Box> changedBoxes(const Diagram& before, const Diagram& after) {
  const Annotations& was = before.annotations;
  const Annotations& is = after.annotations;
  const Orientation view = is.orientation;
  const auto oldBoard = boardOf(before.position);
  const auto newBoard = boardOf(after.position);
  if (!oldBoard || !newBoard) {
    return {kCanvasBox};
  }
  std::vector<Box> boxes;
  const auto square = [&](const Square& at) {
    boxes.push_back(padded(squareBox(at, view)));
  };
  for (int index = 0; index < 64; ++index) {
    const auto i = static_cast<std::size_t>(index);
    if ((*oldBoard)[i] == (*newBoard)[i]) {
      continue;
    }
    const Square at{index % 8, index / 8};
    const Square drawn = viewSquare(at, view);
    Box box = squareBox(at, view);
    for (const std::size_t piece : {(*oldBoard)[i], (*newBoard)[i]}) {
      if (piece != kEmpty) {
        // cppcheck-suppress useStlAlgorithm
        box = unite(box, pieceBox(after.settings, drawn.file, drawn.rank,
                                  kPieces[piece]));
      }
    }
    boxes.push_back(padded(box));
  }
  if (was.lastMove != is.lastMove) {
    std::for_each(was.lastMove.begin(), was.lastMove.end(), square);
    std::for_each(is.lastMove.begin(), is.lastMove.end(), square);
  }
  if (was.check != is.check) {
    for (const auto& check : {was.check, is.check}) {
      if (check) {
        square(*check);
      }
    }
  }
  if (was.highlights != is.highlights) {
    for (const auto* marks : {&was.highlights, &is.highlights}) {
      for (const Mark& mark : *marks) {
        square(mark.to);
      }
    }
  }
  if (was.arrows != is.arrows) {
    for (const auto* marks : {&was.arrows, &is.arrows}) {
      for (const Mark& mark : *marks) {
        for (const Box& box : markCover(mark, view)) {
          // cppcheck-suppress useStlAlgorithm
          boxes.push_back(padded(box));
        }
      }
    }
  }
  if (before.position.sideToMove != after.position.sideToMove) {
    for (const auto& side :
         {before.position.sideToMove, after.position.sideToMove}) {
      if (side) {
        boxes.push_back(
            padded(markerBox(after.settings, markerEdge(*side, view))));
      }
    }
  }
  return boxes;
}

bool overlaps(const Box& a, const Box& b) {
  return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h &&
         b.y < a.y + a.h;
}

int64_t area(const Box& box) { return int64_t{box.w} * box.h; }

// The boxes with two that overlap joined into one where their union is no
// larger than the two apart, so that most parts are drawn once; the strips
// along a diagonal arrow stay apart rather than become the box of the whole
// arrow. A part in two boxes is drawn twice, the same both times.
std::vector<Box> joined(std::vector<Box> boxes) {
  for (std::size_t i = 0; i < boxes.size();) {
    bool merged = false;
    for (std::size_t j = i + 1; j < boxes.size() && !merged; ++j) {
      if (overlaps(boxes[i], boxes[j]) &&
          area(unite(boxes[i], boxes[j])) <= area(boxes[i]) + area(boxes[j])) {
        boxes[i] = unite(boxes[i], boxes[j]);
        boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(j));
        merged = true;
      }
    }
    // A grown box may now overlap one before it: look again from the start.
    i = merged ? 0 : i + 1;
  }
  return boxes;
}

// The output pixels [first, end) whose canvas source lies in [from, to).
struct Span {
  uint32_t first = 0;
  uint32_t end = 0;
};

Span outputSpan(const std::vector<uint32_t>& sources, int from, int to) {
  const auto low = static_cast<uint32_t>(std::max(from, 0));
  const auto high = static_cast<uint32_t>(std::max(to, 0));
  const auto first = std::lower_bound(sources.begin(), sources.end(), low);
  const auto end = std::lower_bound(first, sources.end(), high);
  return {static_cast<uint32_t>(first - sources.begin()),
          static_cast<uint32_t>(end - sources.begin())};
}

// The frame as palette indices: the canvas resampled to edge x edge and
// mapped, kept up to date one changed box at a time.
class Frame {
 public:
  Frame(uint32_t edge, uint32_t barRows, uint32_t sideColumns,
        const codec::GifPalette& palette)
      : edge_(edge),
        barRows_(barRows),
        side_(sideColumns),
        palette_(palette),
        sources_(resampleSources(edge)),
        // Black until drawn.
        indices_(
            static_cast<std::size_t>(sideColumns + edge) * (edge + 2 * barRows),
            palette.indexOf(0)),
        bars_(static_cast<std::size_t>(edge) * barRows * 2 * 4),
        column_(static_cast<std::size_t>(sideColumns) * height() * 4) {}

  [[nodiscard]] uint32_t width() const { return side_ + edge_; }
  [[nodiscard]] uint32_t height() const { return edge_ + 2 * barRows_; }

  // Lets draw write the RGBA column left of the board and its bars; the
  // rows of it that changed.
  template <typename Draw>
  std::vector<codec::GifRect> updateSide(Draw&& draw) {
    std::vector<unsigned char> drawn(column_.size());
    if (side_ == 0 || !draw(drawn.data())) {
      return {};
    }
    const std::size_t rowBytes = std::size_t{side_} * 4;
    uint32_t first = height();
    uint32_t end = 0;
    for (uint32_t row = 0; row < height(); ++row) {
      const std::size_t at = row * rowBytes;
      if (std::memcmp(&drawn[at], &column_[at], rowBytes) == 0 && !firstSide_) {
        continue;
      }
      first = std::min(first, row);
      end = row + 1;
      for (uint32_t col = 0; col < side_; ++col) {
        indices_[std::size_t{row} * width() + col] =
            palette_.indexOf(codec::packRgb(&drawn[at + std::size_t{col} * 4]));
      }
    }
    firstSide_ = false;
    column_ = std::move(drawn);
    if (first >= end) {
      return {};
    }
    return {{0, first, side_, end - first}};
  }

  // Lets draw write the RGBA rows above and below the board; the
  // rectangles of both when it says they changed.
  template <typename Draw>
  std::vector<codec::GifRect> updateBars(Draw&& draw) {
    const std::size_t barPixels = std::size_t{edge_} * barRows_;
    if (barRows_ == 0 || !draw(bars_.data(), bars_.data() + barPixels * 4)) {
      return {};
    }
    const std::size_t belowAt = std::size_t{barRows_ + edge_} * width();
    for (const auto& [from, to] :
         {std::pair<std::size_t, std::size_t>{0, 0}, {barPixels, belowAt}}) {
      for (std::size_t i = 0; i < barPixels; ++i) {
        indices_[to + i / edge_ * width() + side_ + i % edge_] =
            palette_.indexOf(codec::packRgb(&bars_[(from + i) * 4]));
      }
    }
    return {{side_, 0, edge_, barRows_},
            {side_, barRows_ + edge_, edge_, barRows_}};
  }

  // Resamples and maps the canvas inside box; returns the output rectangle
  // touched.
  std::optional<codec::GifRect> update(const ImageBuffer& canvas,
                                       const Box& box) {
    const Span columns = outputSpan(sources_, box.x, box.x + box.w);
    const Span rows = outputSpan(sources_, box.y, box.y + box.h);
    if (columns.first >= columns.end || rows.first >= rows.end) {
      return std::nullopt;
    }
    // Neighbours mostly share a colour: each new one is looked up once.
    uint32_t last = 0;
    unsigned char index = palette_.indexOf(0);
    for (uint32_t i = rows.first; i < rows.end; ++i) {
      const unsigned char* row =
          canvas.pixels.data() +
          static_cast<std::size_t>(sources_[i]) * kCanvasEdge * 4;
      unsigned char* to = indices_.data() +
                          static_cast<std::size_t>(i + barRows_) * width() +
                          side_ + columns.first;
      for (uint32_t j = columns.first; j < columns.end; ++j, ++to) {
        const uint32_t rgb =
            codec::packRgb(row + static_cast<std::size_t>(sources_[j]) * 4);
        if (rgb != last) {
          last = rgb;
          index = lookUp(rgb);
        }
        *to = index;
      }
    }
    return codec::GifRect{side_ + columns.first, rows.first + barRows_,
                          columns.end - columns.first, rows.end - rows.first};
  }

  [[nodiscard]] const unsigned char* indices() const { return indices_.data(); }

  // Between frames the indices are those on the GIF's screen: they may go
  // while the frame waits, and be taken back from there.
  void releaseIndices() { std::vector<unsigned char>().swap(indices_); }
  void restoreIndices(const std::vector<unsigned char>& screen) {
    if (indices_.empty()) {
      indices_ = screen;
    }
  }

 private:
  // The colours of a grained board miss the palette's table of known
  // colours, and come again frame after frame: each is looked up once and
  // kept here, index << 24 | rgb (no colour has index 0).
  static constexpr unsigned kRememberedBits = 15;

  unsigned char lookUp(uint32_t rgb) {
    uint32_t& slot =
        remembered_[(rgb * 0x9E3779B1U) >> (32U - kRememberedBits)];
    if (slot != 0 && (slot & 0xFFFFFFU) == rgb) {
      return static_cast<unsigned char>(slot >> 24U);
    }
    const unsigned char index = palette_.indexOf(rgb);
    slot = uint32_t{index} << 24U | rgb;
    return index;
  }

  uint32_t edge_;
  uint32_t barRows_;
  uint32_t side_;
  const codec::GifPalette& palette_;
  std::vector<uint32_t> sources_;
  std::vector<unsigned char> indices_;
  // The rows above and below the board as drawn, RGBA.
  std::vector<unsigned char> bars_;
  // The column at the left as drawn, RGBA; all of it is mapped the first
  // time.
  std::vector<unsigned char> column_;
  bool firstSide_ = true;
  std::vector<uint32_t> remembered_ =
      std::vector<uint32_t>(std::size_t{1} << kRememberedBits);
};

// The frame as RGBA pixels, as a PNG of it holds them: the canvas
// resampled to edge x edge, the bars above and below, the column at the
// left, kept up to date one changed box at a time.
class PixelFrame {
 public:
  PixelFrame(uint32_t edge, uint32_t barRows, uint32_t sideColumns)
      : edge_(edge),
        barRows_(barRows),
        side_(sideColumns),
        sources_(resampleSources(edge)),
        pixels_(static_cast<std::size_t>(sideColumns + edge) *
                (edge + 2 * barRows) * 4) {}

  [[nodiscard]] uint32_t width() const { return side_ + edge_; }
  [[nodiscard]] uint32_t height() const { return edge_ + 2 * barRows_; }

  template <typename Draw>
  std::vector<codec::GifRect> updateSide(Draw&& draw) {
    std::vector<unsigned char> drawn(std::size_t{side_} * height() * 4);
    if (side_ == 0 || !draw(drawn.data())) {
      return {};
    }
    const std::size_t rowBytes = std::size_t{side_} * 4;
    for (uint32_t row = 0; row < height(); ++row) {
      std::copy_n(&drawn[row * rowBytes], rowBytes, at(0, row));
    }
    return {{0, 0, side_, height()}};
  }

  template <typename Draw>
  std::vector<codec::GifRect> updateBars(Draw&& draw) {
    const std::size_t rowBytes = std::size_t{edge_} * 4;
    std::vector<unsigned char> drawn(rowBytes * barRows_ * 2);
    if (barRows_ == 0 ||
        !draw(drawn.data(), drawn.data() + rowBytes * barRows_)) {
      return {};
    }
    for (uint32_t row = 0; row < barRows_; ++row) {
      std::copy_n(&drawn[row * rowBytes], rowBytes, at(side_, row));
      std::copy_n(&drawn[(barRows_ + row) * rowBytes], rowBytes,
                  at(side_, barRows_ + edge_ + row));
    }
    return {{side_, 0, edge_, barRows_},
            {side_, barRows_ + edge_, edge_, barRows_}};
  }

  std::optional<codec::GifRect> update(const ImageBuffer& canvas,
                                       const Box& box) {
    const Span columns = outputSpan(sources_, box.x, box.x + box.w);
    const Span rows = outputSpan(sources_, box.y, box.y + box.h);
    if (columns.first >= columns.end || rows.first >= rows.end) {
      return std::nullopt;
    }
    for (uint32_t i = rows.first; i < rows.end; ++i) {
      const unsigned char* row =
          canvas.pixels.data() +
          static_cast<std::size_t>(sources_[i]) * kCanvasEdge * 4;
      unsigned char* to = at(side_ + columns.first, barRows_ + i);
      for (uint32_t j = columns.first; j < columns.end; ++j, to += 4) {
        std::copy_n(row + static_cast<std::size_t>(sources_[j]) * 4, 4, to);
      }
    }
    return codec::GifRect{side_ + columns.first, rows.first + barRows_,
                          columns.end - columns.first, rows.end - rows.first};
  }

  [[nodiscard]] const unsigned char* pixels() const { return pixels_.data(); }

 private:
  unsigned char* at(uint32_t column, uint32_t row) {
    return pixels_.data() +
           (static_cast<std::size_t>(row) * width() + column) * 4;
  }

  uint32_t edge_;
  uint32_t barRows_;
  uint32_t side_;
  std::vector<uint32_t> sources_;
  std::vector<unsigned char> pixels_;
};

Diagram sample(const Placement& position, Orientation view, bool coordinates) {
  const auto at = [](const char* name) { return *chess::squareNamed(name); };
  Diagram diagram{position, Settings{}, {}};
  Annotations& marks = diagram.annotations;
  marks.orientation = view;
  marks.coordinates = coordinates;
  marks.lastMove = {at("d4"), at("e4")};
  marks.check = at("e1");
  const std::array<MarkColour, 4> colours{MarkColour::green, MarkColour::red,
                                          MarkColour::yellow, MarkColour::blue};
  const std::array<const char*, 4> light{"b3", "d3", "f3", "h3"};
  const std::array<const char*, 4> dark{"a3", "c3", "e3", "g3"};
  for (std::size_t c = 0; c < colours.size(); ++c) {
    marks.highlights.push_back({colours[c], at(light[c]), at(light[c])});
    marks.highlights.push_back({colours[c], at(dark[c]), at(dark[c])});
  }
  marks.arrows = {{MarkColour::green, at("a2"), at("a7")},
                  {MarkColour::red, at("b1"), at("h7")},
                  {MarkColour::yellow, at("h2"), at("c6")},
                  {MarkColour::blue, at("f5"), at("f5")}};
  return diagram;
}

// What most frames show, in two diagrams: every piece on squares of both
// colours, plain in one and tinted as the last move's in the other, and
// empty squares plain and tinted.
Diagram typical(const Placement& position, Orientation view, bool coordinates,
                int tintedFrom) {
  Diagram diagram{position, Settings{}, {}};
  Annotations& marks = diagram.annotations;
  marks.orientation = view;
  marks.coordinates = coordinates;
  for (int rank = tintedFrom; rank < 8; rank += 3) {
    for (int file = 0; file < 8; ++file) {
      marks.lastMove.push_back({file, rank});
    }
  }
  return diagram;
}

// An empty board showing every flat colour a square can take: on files
// a-d, ranks 1-5, no highlight then each colour's, plain on files a and b
// and under the last move's tint on c and d; on files e-h an arrow of each
// colour from rank 2 to 7 over plain and tinted squares of both colours;
// the check glow on b7. Also the points of the canvas that show those
// colours flat: the squares' centres and the glow's opaque core.
struct FlatColours {
  Diagram diagram;
  std::vector<std::pair<int, int>> points;
};

FlatColours flatColours(Orientation view, bool coordinates) {
  FlatColours flat{{Placement{}, Settings{}, {}}, {}};
  Annotations& marks = flat.diagram.annotations;
  marks.orientation = view;
  marks.coordinates = coordinates;
  const auto centre = [view](const Square& square) {
    const Box box = squareBox(square, view);
    return std::pair<int, int>{box.x + box.w / 2, box.y + box.h / 2};
  };
  const std::array<MarkColour, 4> colours{MarkColour::green, MarkColour::red,
                                          MarkColour::yellow, MarkColour::blue};
  for (int file = 0; file < 4; ++file) {
    for (int rank = 0; rank < 5; ++rank) {
      const Square square{file, rank};
      if (rank > 0) {
        const MarkColour colour =
            colours.at(static_cast<std::size_t>(rank - 1));
        marks.highlights.push_back({colour, square, square});
      }
      if (file >= 2) {
        marks.lastMove.push_back(square);
      }
      flat.points.push_back(centre(square));
    }
  }
  for (int file = 4; file < 8; ++file) {
    const MarkColour colour = colours.at(static_cast<std::size_t>(file - 4));
    marks.arrows.push_back({colour, Square{file, 1}, Square{file, 6}});
    for (int rank = 1; rank < 5; ++rank) {
      if (rank < 3) {
        marks.lastMove.push_back({file, rank});
      }
      flat.points.push_back(centre({file, rank}));
    }
  }
  const Square checked{1, 6};
  marks.check = checked;
  const auto [x, y] = centre(checked);
  // Inside the glow's first stop, a quarter of the half-diagonal.
  constexpr int kCore = 19;
  for (int dy = -kCore; dy <= kCore; ++dy) {
    for (int dx = -kCore; dx <= kCore; ++dx) {
      if (dx * dx + dy * dy <= kCore * kCore) {
        flat.points.emplace_back(x + dx, y + dy);
      }
    }
  }
  return flat;
}

}  // namespace

codec::GifPalette animationPalette(
    const Artwork& artwork, const Sprites& pieces,
    const std::vector<codec::RgbaPicture>& alsoShown) {
  // Every piece on both colours of square, every mark on both, both views,
  // with and without labels, on whichever boards the artwork has.
  // Plain diagrams on the first of those boards take the first indices
  // (the others differ only in their labels, which few frames redraw).
  std::vector<ImageBuffer> canvases;
  std::vector<ImageBuffer> typicalCanvases;
  std::vector<std::uint32_t> exact;
  const Placement start = startingPlacement();
  for (const Orientation view : {Orientation::white, Orientation::black}) {
    for (const bool coordinates : {true, false}) {
      if (boardPicture(artwork, boardIndex(view, coordinates)) != nullptr) {
        canvases.push_back(
            drawDiagram(artwork, pieces, sample(start, view, coordinates)));
        // Marks on a tiled board are as grained as its squares: no colour
        // of theirs is flat.
        if (!artwork.tiles) {
          const FlatColours flat = flatColours(view, coordinates);
          const ImageBuffer drawn = drawDiagram(artwork, pieces, flat.diagram);
          for (const auto& [x, y] : flat.points) {
            // cppcheck-suppress useStlAlgorithm
            exact.push_back(codec::packRgb(
                &drawn.pixels[(static_cast<std::size_t>(y) * kCanvasEdge +
                               static_cast<std::size_t>(x)) *
                              4]));
          }
        }
        for (const int tintedFrom : {0, 1}) {
          if (typicalCanvases.size() < 2) {
            typicalCanvases.push_back(
                drawDiagram(artwork, pieces,
                            typical(start, view, coordinates, tintedFrom)));
          }
        }
      }
    }
  }
  const auto pictures = [](std::vector<codec::RgbaPicture> shown,
                           const std::vector<ImageBuffer>& drawn) {
    shown.reserve(shown.size() + drawn.size());
    for (const ImageBuffer& canvas : drawn) {
      // cppcheck-suppress useStlAlgorithm
      shown.push_back({canvas.pixels.data(), canvas.width, canvas.height});
    }
    return shown;
  };
  return codec::buildPalette(pictures(alsoShown, canvases),
                             codec::GifPalette::kMaxColours,
                             pictures({}, typicalCanvases), exact);
}

struct AnimationWriter::State {
  State(const Artwork& art, const Sprites& sprites,
        const codec::GifPalette& colours,
        const std::vector<AnimationFrame>& sequence, FrameExtras more)
      : artwork(art),
        pieces(sprites),
        palette(colours),
        frames(sequence),
        extras(std::move(more)),
        settings(firstSettings(sequence)),
        view(sequence.front().diagram.annotations),
        frame(static_cast<uint32_t>(settings.Size), extras.barRows,
              extras.sideColumns, colours),
        shown(sequence.front().diagram) {}

  static Settings firstSettings(const std::vector<AnimationFrame>& frames) {
    if (frames.empty()) {
      throw Error("an animation needs a frame");
    }
    const Settings& settings = frames.front().diagram.settings;
    checkSize(settings);
    if (settings.Size == 0) {
      throw Error("an animation needs a size above 0");
    }
    return settings;
  }

  [[nodiscard]] std::vector<Box> overBoxes(std::size_t f) const {
    return extras.overBoxes ? extras.overBoxes(f) : std::vector<Box>();
  }
  void drawOver(std::size_t f) {
    if (extras.drawOver) {
      extras.drawOver(f, *canvas);
    }
  }
  auto drawBars(std::size_t f) {
    return [this, f](unsigned char* above, unsigned char* below) {
      return extras.drawBars && extras.drawBars(f, above, below);
    };
  }
  auto drawSide(std::size_t f) {
    return [this, f](unsigned char* column) {
      return extras.drawSide && extras.drawSide(f, column);
    };
  }

  void writeFirst() {
    canvas = drawDiagram(artwork, pieces, frames.front().diagram);
    drawOver(0);
    frame.update(*canvas, kCanvasBox);
    frame.updateBars(drawBars(0));
    frame.updateSide(drawSide(0));
    writer->addIndexedFrame(frame.indices(), frames.front().delayCentiseconds,
                            {});
  }

  void writeLater(std::size_t f) {
    if (!canvas) {
      // Drawn again as the frame before left it: each box redrawn below
      // gives the same pixels on it as on the canvas kept, and the boxes of
      // what is drawn over (the glyphs before and now) are among them.
      canvas = drawDiagram(artwork, pieces, shown);
      frame.restoreIndices(writer->screen());
    }
    Diagram next = frames[f].diagram;
    next.settings = settings;
    next.annotations.orientation = view.orientation;
    next.annotations.coordinates = view.coordinates;
    std::vector<Box> boxes = changedBoxes(shown, next);
    for (const std::size_t g : {f - 1, f}) {
      for (const Box& box : overBoxes(g)) {
        // cppcheck-suppress useStlAlgorithm
        boxes.push_back(padded(box));
      }
    }
    boxes = joined(std::move(boxes));
    for (const Box& box : boxes) {
      redrawDiagram(*canvas, artwork, pieces, next, box);
    }
    drawOver(f);
    std::vector<codec::GifRect> changed = frame.updateBars(drawBars(f));
    const std::vector<codec::GifRect> side = frame.updateSide(drawSide(f));
    changed.insert(changed.end(), side.begin(), side.end());
    for (const Box& box : boxes) {
      if (const auto rect = frame.update(*canvas, box)) {
        changed.push_back(*rect);
      }
    }
    writer->addIndexedFrame(frame.indices(), frames[f].delayCentiseconds,
                            changed);
    shown = std::move(next);
  }

  const Artwork& artwork;
  const Sprites& pieces;
  const codec::GifPalette& palette;
  const std::vector<AnimationFrame>& frames;
  FrameExtras extras;
  Settings settings;
  Annotations view;
  Frame frame;
  Diagram shown;
  std::optional<ImageBuffer> canvas;
  // The bytes of the step being made, which the GIF writer appends to.
  std::vector<unsigned char>* out = nullptr;
  std::optional<codec::GifWriter> writer;
  std::size_t written = 0;
  bool finished = false;
};

AnimationWriter::AnimationWriter(const Artwork& artwork, const Sprites& pieces,
                                 const codec::GifPalette& palette,
                                 const std::vector<AnimationFrame>& frames,
                                 FrameExtras extras)
    : state_(std::make_unique<State>(artwork, pieces, palette, frames,
                                     std::move(extras))) {}

AnimationWriter::AnimationWriter(AnimationWriter&& other) noexcept = default;
AnimationWriter& AnimationWriter::operator=(AnimationWriter&& other) noexcept =
    default;
AnimationWriter::~AnimationWriter() = default;

bool AnimationWriter::next(std::vector<unsigned char>& out) {
  State& state = *state_;
  if (state.finished) {
    return false;
  }
  state.out = &out;
  if (!state.writer) {
    State* const writing = state_.get();
    state.writer.emplace(
        state.frame.width(), state.frame.height(), state.palette,
        [writing](const unsigned char* bytes, std::size_t size) {
          writing->out->insert(writing->out->end(), bytes, bytes + size);
        });
  } else if (state.written == 0) {
    state.writeFirst();
    state.written = 1;
  } else if (state.written < state.frames.size()) {
    state.writeLater(state.written);
    ++state.written;
  } else {
    state.writer->finish();
    state.finished = true;
    state.canvas.reset();
  }
  state.out = nullptr;
  return true;
}

std::size_t AnimationWriter::framesWritten() const { return state_->written; }

bool AnimationWriter::finished() const { return state_->finished; }

void AnimationWriter::rest() {
  State& state = *state_;
  state.canvas.reset();
  if (state.written > 0) {
    state.frame.releaseIndices();
  }
}

void writeAnimation(const Artwork& artwork, const Sprites& pieces,
                    const codec::GifPalette& palette,
                    const std::vector<AnimationFrame>& frames,
                    const codec::GifSink& sink, const FrameExtras& extras) {
  AnimationWriter writer(artwork, pieces, palette, frames, extras);
  std::vector<unsigned char> step;
  while (writer.next(step)) {
    sink(step.data(), step.size());
    step.clear();
  }
}

namespace {

// Draws the frames one after the other on one canvas, each again only where
// it changed, into picture (a Frame or a PixelFrame); hands emit each frame
// with its index and the rectangles that changed (none for the first).
template <typename Picture, typename Emit>
bool animate(const Artwork& artwork, const Sprites& pieces,
             const std::vector<AnimationFrame>& frames,
             const std::function<bool()>& keepGoing, const FrameExtras& extras,
             Picture& picture, const Emit& emit) {
  const Settings& settings = frames.front().diagram.settings;
  const Annotations& view = frames.front().diagram.annotations;
  const auto overBoxes = [&extras](std::size_t f) {
    return extras.overBoxes ? extras.overBoxes(f) : std::vector<Box>();
  };
  const auto drawOver = [&extras](std::size_t f, ImageBuffer& canvas) {
    if (extras.drawOver) {
      extras.drawOver(f, canvas);
    }
  };
  const auto drawBars = [&extras](std::size_t f) {
    return [&extras, f](unsigned char* above, unsigned char* below) {
      return extras.drawBars && extras.drawBars(f, above, below);
    };
  };
  ImageBuffer canvas = drawDiagram(artwork, pieces, frames.front().diagram);
  drawOver(0, canvas);
  const auto drawSide = [&extras](std::size_t f) {
    return [&extras, f](unsigned char* column) {
      return extras.drawSide && extras.drawSide(f, column);
    };
  };
  picture.update(canvas, kCanvasBox);
  picture.updateBars(drawBars(0));
  picture.updateSide(drawSide(0));
  emit(std::size_t{0}, std::vector<codec::GifRect>());
  Diagram shown = frames.front().diagram;
  for (std::size_t f = 1; f < frames.size(); ++f) {
    if (keepGoing && !keepGoing()) {
      return false;
    }
    Diagram next = frames[f].diagram;
    next.settings = settings;
    next.annotations.orientation = view.orientation;
    next.annotations.coordinates = view.coordinates;
    std::vector<Box> boxes = changedBoxes(shown, next);
    for (const std::size_t g : {f - 1, f}) {
      for (const Box& box : overBoxes(g)) {
        // cppcheck-suppress useStlAlgorithm
        boxes.push_back(padded(box));
      }
    }
    boxes = joined(std::move(boxes));
    for (const Box& box : boxes) {
      redrawDiagram(canvas, artwork, pieces, next, box);
    }
    drawOver(f, canvas);
    std::vector<codec::GifRect> changed = picture.updateBars(drawBars(f));
    const std::vector<codec::GifRect> side = picture.updateSide(drawSide(f));
    changed.insert(changed.end(), side.begin(), side.end());
    for (const Box& box : boxes) {
      if (const auto rect = picture.update(canvas, box)) {
        changed.push_back(*rect);
      }
    }
    emit(f, changed);
    shown = std::move(next);
  }
  return true;
}

// The edge of the frames' board: Size, checked.
uint32_t animationEdge(const std::vector<AnimationFrame>& frames) {
  if (frames.empty()) {
    throw Error("an animation needs a frame");
  }
  const Settings& settings = frames.front().diagram.settings;
  checkSize(settings);
  if (settings.Size == 0) {
    throw Error("an animation needs a size above 0");
  }
  return static_cast<uint32_t>(settings.Size);
}

}  // namespace

bool drawAnimationPixels(const Artwork& artwork, const Sprites& pieces,
                         const std::vector<AnimationFrame>& frames,
                         const FramePixelSink& sink,
                         const std::function<bool()>& keepGoing,
                         const FrameExtras& extras) {
  PixelFrame frame(animationEdge(frames), extras.barRows, extras.sideColumns);
  const auto emit = [&](std::size_t f,
                        const std::vector<codec::GifRect>& /*changed*/) {
    sink({frame.pixels(), frame.width(), frame.height(),
          frames[f].delayCentiseconds});
  };
  return animate(artwork, pieces, frames, keepGoing, extras, frame, emit);
}

}  // namespace tib
