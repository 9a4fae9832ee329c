#include "tib/vector/scene.h"

#include <algorithm>
#include <string_view>

#include "tib/board/board.h"
#include "tib/board/error.h"
#include "tib/board/mark_style.h"
#include "tib/board/position.h"
#include "tib/vector/piece_vectors.h"

namespace tib {

namespace {

// The board pictures' frame and labels, as the artwork generator draws
// them: a border of 4 pixels round the squares, bold letters centred under
// each file and beside each rank (their font, size and baselines are in
// the generator's labels.json).
constexpr int kBorder = 4;
constexpr double kLabelSize = TIB_LABEL_SIZE;
constexpr double kFileBaseline =
    kGridY + 8 * kSquareHeight + kBorder + TIB_FILES_BASELINE;
constexpr double kRankCentre = (kGridX - kBorder) / 2.0;
constexpr double kRankBaselineBelowCentre = TIB_RANKS_BASELINE;

Rgb pixelAt(const ImageBuffer& board, int x, int y) {
  const std::size_t at = (static_cast<std::size_t>(y) * kCanvasEdge +
                          static_cast<std::size_t>(x)) *
                         4;
  return {board.pixels[at], board.pixels[at + 1], board.pixels[at + 2]};
}

int distance(const Rgb& a, const Rgb& b) {
  const int r = a.r - b.r;
  const int g = a.g - b.g;
  const int bl = a.b - b.b;
  return r * r + g * g + bl * bl;
}

Rgb rgbOf(const Paint& paint) { return {paint.r, paint.g, paint.b}; }

// Where the group's own box is: a piece's at the default scale, the
// marker's at the default size.
Box defaultBox(std::size_t group) {
  const Settings standard;
  return group < kPieces.size()
             ? pieceBox(standard, 0, 7, kPieces[group])
             : markerBox(standard, static_cast<Side>(group - kPieces.size()));
}

GroupUse groupUse(std::size_t group, const Box& box) {
  const Box own = defaultBox(group);
  return {group, box, own.w == 0 ? 1.0 : static_cast<double>(box.w) / own.w,
          own.h == 0 ? 1.0 : static_cast<double>(box.h) / own.h};
}

void addLabel(std::vector<Shape>& shapes, const ShapedText& text,
              double centreX, double baseline, double unitsPerEm,
              const Rgb& colour) {
  const double scale = kLabelSize / unitsPerEm;
  const double start = centreX - text.advance * scale / 2;
  for (const ShapedGlyph& glyph : text.glyphs) {
    // cppcheck-suppress useStlAlgorithm
    shapes.emplace_back(GlyphUse{glyph.glyph, start + glyph.x * scale,
                                 baseline - glyph.y * scale, scale, colour});
  }
}

void addSquares(std::vector<Shape>& shapes, const BoardColours& colours,
                const std::optional<Tiles>& tiles) {
  const auto width = static_cast<int>(kSquareWidth);
  const auto height = static_cast<int>(kSquareHeight);
  const auto gridX = static_cast<int>(kGridX);
  const auto gridY = static_cast<int>(kGridY);
  if (tiles) {
    for (std::size_t shade = 0; shade < tiles->size(); ++shade) {
      const Tile& tile = tiles->at(shade);
      const TileOffsets offsets =
          tileOffsets(tile.picture.width, tile.picture.height);
      TiledSquares squares{&tile, shade, {}};
      for (int square = 0; square < 64; ++square) {
        const int row = square / 8;
        const int col = square % 8;
        if (static_cast<std::size_t>((row + col) % 2) == shade) {
          squares.squares.emplace_back(
              Box{gridX + col * width, gridY + row * height, width, height},
              offsets.at(static_cast<std::size_t>(square)));
        }
      }
      shapes.emplace_back(std::move(squares));
    }
    return;
  }
  shapes.emplace_back(
      FilledBoxes{{{gridX, gridY, 8 * width, 8 * height}}, colours.light});
  // The top-left square is light in both views.
  FilledBoxes dark{{}, colours.dark};
  for (int row = 0; row < 8; ++row) {
    for (int col = 0; col < 8; ++col) {
      if ((row + col) % 2 == 1) {
        dark.boxes.push_back(
            {gridX + col * width, gridY + row * height, width, height});
      }
    }
  }
  shapes.emplace_back(std::move(dark));
}

void addBoard(std::vector<Shape>& shapes, const BoardColours& colours,
              const Annotations& view, const LabelGlyphs& labels,
              const std::optional<Tiles>& tiles) {
  const auto edge = static_cast<int>(kCanvasEdge);
  const auto width = static_cast<int>(kSquareWidth);
  const auto height = static_cast<int>(kSquareHeight);
  const auto gridX = static_cast<int>(kGridX);
  const auto gridY = static_cast<int>(kGridY);
  shapes.emplace_back(FilledBoxes{{{0, 0, edge, edge}}, colours.frame});
  shapes.emplace_back(
      FilledBoxes{{{gridX - kBorder, gridY - kBorder, 8 * width + 2 * kBorder,
                    8 * height + 2 * kBorder}},
                  colours.border});
  addSquares(shapes, colours, tiles);
  if (!view.coordinates) {
    return;
  }
  const bool black = view.orientation == Orientation::black;
  const auto em = static_cast<double>(labels.unitsPerEm);
  for (int col = 0; col < 8; ++col) {
    const auto file = static_cast<std::size_t>(black ? 7 - col : col);
    addLabel(shapes, labels.labels.at(file),
             static_cast<double>(kGridX + col * kSquareWidth) + width / 2.0,
             static_cast<double>(kFileBaseline), em, colours.label);
  }
  for (int row = 0; row < 8; ++row) {
    const auto rank = static_cast<std::size_t>(black ? row : 7 - row);
    addLabel(shapes, labels.labels.at(8 + rank), kRankCentre,
             static_cast<double>(kGridY + row * kSquareHeight) + height / 2.0 +
                 kRankBaselineBelowCentre,
             em, colours.label);
  }
}

void addUnderPieces(std::vector<Shape>& shapes, const Annotations& marks) {
  const Orientation view = marks.orientation;
  for (const Mark& mark : marks.highlights) {
    const Paint& paint = paintOf(mark.colour);
    shapes.emplace_back(FilledBoxes{{squareBox(mark.to, view)},
                                    rgbOf(paint),
                                    paint.opacity * kHighlightOpacity});
  }
  if (!marks.lastMove.empty()) {
    FilledBoxes tint{{}, rgbOf(kLastMoveTint), kLastMoveTint.opacity};
    for (const Square& square : marks.lastMove) {
      tint.boxes.push_back(squareBox(square, view));
    }
    shapes.emplace_back(std::move(tint));
  }
  if (marks.check) {
    shapes.emplace_back(Glow{squareBox(*marks.check, view)});
  }
}

void addPosition(std::vector<Shape>& shapes, const Diagram& diagram) {
  const Orientation view = diagram.annotations.orientation;
  const std::vector<PlacedPiece>& pieces = diagram.position.pieces;
  const auto add = [&](const PlacedPiece& piece) {
    const Square drawn = viewSquare(piece.square, view);
    shapes.emplace_back(
        groupUse(piece.index, pieceBox(diagram.settings, drawn.file, drawn.rank,
                                       kPieces[piece.index])));
  };
  // The black view draws the board turned half a turn: the last piece of
  // the text first.
  if (view == Orientation::white) {
    std::for_each(pieces.begin(), pieces.end(), add);
  } else {
    std::for_each(pieces.rbegin(), pieces.rend(), add);
  }
  if (const std::optional<Side> side = diagram.position.sideToMove) {
    shapes.emplace_back(
        groupUse(markerGroup(static_cast<std::size_t>(*side)),
                 markerBox(diagram.settings, markerEdge(*side, view))));
  }
}

void addOverPieces(std::vector<Shape>& shapes, const Annotations& marks) {
  const auto unit = static_cast<double>(kSquareHeight);
  for (const Mark& mark : marks.arrows) {
    const Paint& paint = paintOf(mark.colour);
    const double opacity = paint.opacity * kArrowOpacity;
    const CanvasPoint from = centreOf(squareBox(mark.from, marks.orientation));
    if (mark.from == mark.to) {
      shapes.emplace_back(Ring{from, (kRingRadius - kRingWidth / 2) * unit,
                               kRingWidth * unit, rgbOf(paint), opacity});
      continue;
    }
    const CanvasPoint to = centreOf(squareBox(mark.to, marks.orientation));
    const std::array<CanvasPoint, 7> outline = arrowOutline(from, to);
    shapes.emplace_back(
        Polygon{{outline.begin(), outline.end()}, rgbOf(paint), opacity});
  }
}

}  // namespace

BoardColours boardColours(const ImageBuffer& board) {
  if (board.width != kCanvasEdge || board.height != kCanvasEdge ||
      board.pixels.size() < kCanvasBytes) {
    throw Error("the board picture is not 1024 x 1024");
  }
  const auto gridX = static_cast<int>(kGridX);
  const auto gridY = static_cast<int>(kGridY);
  BoardColours colours;
  colours.frame = pixelAt(board, 2, 2);
  colours.border = pixelAt(board, gridX - kBorder / 2, gridY - kBorder / 2);
  colours.light = pixelAt(board, gridX + 8, gridY + 8);
  colours.dark =
      pixelAt(board, gridX + static_cast<int>(kSquareWidth) + 8, gridY + 8);
  colours.label = colours.frame;
  const int top = gridY + static_cast<int>(8 * kSquareHeight) + kBorder;
  for (int y = top; y < static_cast<int>(kCanvasEdge); ++y) {
    for (int x = gridX; x < gridX + static_cast<int>(kSquareWidth); ++x) {
      const Rgb pixel = pixelAt(board, x, y);
      if (distance(pixel, colours.frame) >
          distance(colours.label, colours.frame)) {
        colours.label = pixel;
      }
    }
  }
  return colours;
}

Scene diagramScene(const Diagram& diagram, const BoardColours& colours,
                   const LabelGlyphs& labels,
                   const std::optional<Tiles>& tiles) {
  Scene scene;
  scene.size = diagram.settings.Size;
  addBoard(scene.shapes, colours, diagram.annotations, labels, tiles);
  addUnderPieces(scene.shapes, diagram.annotations);
  addPosition(scene.shapes, diagram);
  addOverPieces(scene.shapes, diagram.annotations);
  return scene;
}

}  // namespace tib
