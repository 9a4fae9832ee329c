#include "game/vector_output.h"

#include <optional>

#include "game/failure.h"
#include "tib/vector/svg.h"

namespace tib::game {

PieceVectors vectorsOf(const std::string& folder, const char* option) {
  std::optional<PieceVectors> vectors = loadPieceVectors(folder);
  if (!vectors) {
    throw OptionError(std::string(option) + ": " + folder + " has no " +
                      kPieceVectorsFile +
                      ", the vectors an SVG is drawn from; write a PNG");
  }
  return std::move(*vectors);
}

bool isSvgName(const std::string& name) {
  constexpr std::string_view kSuffix = ".svg";
  return name.size() > kSuffix.size() &&
         name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) ==
             0;
}

std::vector<unsigned char> drawSvg(const Artwork& artwork,
                                   const std::string& themeFolder,
                                   const std::string& pieceFolder,
                                   const Diagram& diagram, bool decorated,
                                   std::ostream& err) {
  const PieceVectors theme = vectorsOf(themeFolder, "--theme");
  const std::optional<PieceVectors> pieces =
      pieceFolder.empty() ? std::nullopt
                          : std::optional(vectorsOf(pieceFolder, "--piece"));
  if (decorated) {
    err << kGamePrefix
        << "the SVG has no players' bars or move glyph; a PNG has them"
        << std::endl;
  }
  const LabelGlyphs labels = labelGlyphs();
  const std::string svg = renderSvg(
      {&artwork, &theme, pieces ? &*pieces : &theme, &labels}, diagram);
  return {svg.begin(), svg.end()};
}

}  // namespace tib::game
