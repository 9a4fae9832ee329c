#include "run.h"

#include "arguments.h"
#include "artwork.h"
#include "drawing.h"
#include "output.h"
#include "placement.h"

int runTib(const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err) {
  if (wantsHelp(args)) {
    printHelp(out);
  }
  RunArguments run;
  if (const std::string problem = readArguments(args, run); !problem.empty()) {
    err << problem << std::endl;
    return kExitBadArguments;
  }
  ImageBuffer canvas;
  if (const std::string problem = loadBoard(canvas); !problem.empty()) {
    err << problem << std::endl;
    return kExitFailed;
  }
  const PieceNames pieceNames = makePieceNames();
  const SpriteSet sprites = loadSprites(pieceNames, out);
  drawPosition(canvas, run.fen, pieceNames, sprites);
  if (const std::string problem = writeDiagram(canvas, run.outputPath);
      !problem.empty()) {
    err << problem << std::endl;
    return kExitFailed;
  }
  return kExitOk;
}
