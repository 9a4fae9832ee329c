#include "cli/run.h"

#include <utility>

#include "cli/arguments.h"
#include "cli/failure.h"
#include "tib/board/artwork.h"
#include "tib/board/output_file.h"
#include "tib/board/position.h"
#include "tib/board/render.h"

namespace tib {

namespace {

void runStages(const std::vector<std::string>& args, std::ostream& out) {
  if (wantsHelp(args)) {
    printHelp(out);
  }
  const RunArguments run = readArguments(args);
  // Only the marker of the side to move is read.
  std::vector<Side> sides;
  if (const std::optional<Side> side = run.position.sideToMove) {
    sides.push_back(*side);
  }
  Artwork artwork = loadArtwork("", sides);
  for (const std::string& warning : artwork.warnings) {
    out << warning << std::endl;
  }
  // The run needs the artwork no more once it is drawn: the diagram is
  // drawn on the artwork's own board.
  const std::vector<FileIdentity> artworkFiles = std::move(artwork.filesRead);
  const std::vector<unsigned char> png = renderPng(
      std::move(artwork), Diagram{run.position, run.settings, {}}, Threads{2});
  if (run.settings.Size != 0) {
    writeOutputFile(run.outputPath, png, artworkFiles);
  }
}

}  // namespace

int runTib(const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err) {
  // A failure leaves the output as it was.
  return reportFailures(kTibPrefix, err, [&] {
    runStages(args, out);
    return ExitStatus::ok;
  });
}

}  // namespace tib
