#include "game/vector_output.h"

#include <optional>

#include "game/failure.h"
#include "game/output_pattern.h"
#include "tib/vector/svg.h"

namespace tib::game {

namespace {

PieceVectors vectorsOf(const std::string& folder, const char* option) {
  std::optional<PieceVectors> vectors = loadPieceVectors(folder);
  if (!vectors) {
    throw OptionError(std::string(option) + ": " + folder + " has no " +
                      kPieceVectorsFile +
                      ", the vectors an SVG or a sheet is drawn from");
  }
  return std::move(*vectors);
}

}  // namespace

bool isSvgName(const std::string& name) { return endsWith(name, ".svg"); }

SvgArt loadSvgArt(const std::string& themeFolder,
                  const std::string& pieceFolder) {
  return {vectorsOf(themeFolder, "--theme"),
          pieceFolder.empty()
              ? std::nullopt
              : std::optional(vectorsOf(pieceFolder, "--piece")),
          labelGlyphs()};
}

std::vector<unsigned char> drawSvg(const Artwork& artwork, const SvgArt& art,
                                   const Diagram& diagram,
                                   const Decorations& decorations,
                                   const Lettering* lettering) {
  const std::string svg =
      renderSvg({&artwork, &art.theme, art.pieces ? &*art.pieces : &art.theme,
                 &art.labels},
                diagram, decorations, lettering);
  return {svg.begin(), svg.end()};
}

}  // namespace tib::game
