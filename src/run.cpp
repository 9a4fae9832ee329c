#include "run.h"

#include <new>
#include <utility>

#include "arguments.h"
#include "artwork.h"
#include "failure.h"
#include "output.h"
#include "position.h"
#include "render.h"

namespace {

// Every line tib writes on standard error starts with this.
constexpr const char* kPrefix = "tib: ";

void runStages(const std::vector<std::string>& args, std::ostream& out) {
  if (wantsHelp(args)) {
    printHelp(out);
  }
  const RunArguments run = readArguments(args);
  // Only the marker of the side to move is read.
  std::vector<Side> sides;
  if (const std::optional<Side> side = sideToMove(run.fen)) {
    sides.push_back(*side);
  }
  Artwork artwork = loadArtwork("", sides);
  for (const std::string& warning : artwork.warnings) {
    out << warning << std::endl;
  }
  // The run needs the artwork no more once it is drawn: the diagram is
  // drawn on the artwork's own board.
  const std::vector<FileIdentity> artworkFiles = std::move(artwork.filesRead);
  const std::vector<unsigned char> png =
      renderPng(std::move(artwork), run.fen, run.settings);
  if (run.settings.Size != 0) {
    writeOutputFile(run.outputPath, png, artworkFiles);
  }
}

}  // namespace

int runTib(const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err) {
  try {
    runStages(args, out);
    return static_cast<int>(ExitStatus::ok);
  } catch (const Failure& failure) {
    err << kPrefix << failure.what() << std::endl;
    return static_cast<int>(failure.status());
  } catch (const std::bad_alloc&) {
    // A huge size= or a huge artwork file; the output was not touched.
    err << kPrefix << "out of memory" << std::endl;
    return static_cast<int>(ExitStatus::failed);
  }
}
