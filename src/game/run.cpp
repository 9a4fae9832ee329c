#include "game/run.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "chess/pgn.h"
#include "game/failure.h"
#include "game/options.h"
#include "game/vector_output.h"
#include "tib/artwork.h"
#include "tib/decorated.h"
#include "tib/game_diagram.h"
#include "tib/output_file.h"
#include "tib/render.h"

namespace tib::game {

namespace {

std::string readAll(std::istream& stream) {
  return {std::istreambuf_iterator<char>(stream),
          std::istreambuf_iterator<char>()};
}

std::string readInput(const std::string& path, std::istream& in) {
  if (path.empty()) {
    return readAll(in);
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw Error("cannot read " + path + ": " + std::strerror(errno));
  }
  std::string text = readAll(file);
  if (file.bad()) {
    throw Error("cannot read " + path);
  }
  return text;
}

bool holds(const std::string& folder, const char* file) {
  struct stat info {};
  return stat((folder + "/" + file).c_str(), &info) == 0;
}

// The folder of a theme: one of DIR/themes/ that holds a board, or DIR
// itself for "" and for "brown" when no folder has that name.
std::string themeFolder(const std::string& artwork, const std::string& theme) {
  if (theme.empty()) {
    return artwork;
  }
  std::string folder = artwork + "/themes/" + theme;
  if (theme.find('/') == std::string::npos && theme != "." && theme != ".." &&
      holds(folder, kBoardFile)) {
    return folder;
  }
  if (theme == "brown") {
    return artwork;
  }
  throw OptionError("--theme " + theme + ": no such theme in " + artwork +
                    "/themes");
}

// The artwork of the theme and the piece set asked for, with the files it
// was read from.
struct LoadedArtwork {
  Artwork artwork;
  Sprites pieces;
  // Where the vectors are: the theme's folder and the piece set's ("" for
  // the theme's own pieces).
  std::string themeFolder;
  std::string pieceFolder;
};

LoadedArtwork loadChosenArtwork(const GameOptions& options, std::ostream& err) {
  const std::string artwork =
      options.artwork.empty() ? defaultArtworkFolder() : options.artwork;
  const std::string folder = themeFolder(artwork, options.theme);
  ArtworkBudget budget;
  LoadedArtwork loaded{
      loadArtwork(folder, {Side::white, Side::black}, budget), {}, folder, ""};
  loadOtherBoards(folder, budget, loaded.artwork.boards);
  loaded.pieces = loaded.artwork.sprites;
  if (!options.piece.empty()) {
    const std::string set = artwork + "/pieces/" + options.piece;
    if (options.piece.find('/') != std::string::npos ||
        !holds(set, "t_wb.png")) {
      throw OptionError("--piece " + options.piece + ": no such piece set in " +
                        artwork + "/pieces");
    }
    loaded.pieces = loadSprites(set, budget, loaded.artwork.filesRead,
                                loaded.artwork.warnings);
    loaded.pieceFolder = set;
  }
  for (const std::string& warning : loaded.artwork.warnings) {
    err << kGamePrefix << warning << std::endl;
  }
  return loaded;
}

// A ply's bars and glyph, with the names the options give.
Decorations decorationsOf(const GameOptions& options, const chess::Game& game,
                          std::size_t ply) {
  Decorations decorations =
      plyDecorations(game, ply, options.orientation, options.players);
  if (decorations.bars && !options.white.empty()) {
    decorations.bars->white.name = options.white;
  }
  if (decorations.bars && !options.black.empty()) {
    decorations.bars->black.name = options.black;
  }
  return decorations;
}

// What is drawn: one frame for a PNG, the plies from..to for a GIF, each
// with its decorations; read before any artwork is.
struct Drawing {
  std::vector<AnimationFrame> frames;
  std::vector<Decorations> decorations;
  bool decorated = false;
};

Drawing drawingOf(const GameOptions& options, const chess::Game& game) {
  Drawing drawing;
  std::size_t first = options.from;
  if (options.animated) {
    GameAnimation animation;
    animation.settings = {options.size.value_or(animation.settings.Size),
                          options.scale};
    animation.orientation = options.orientation;
    animation.coordinates = options.coordinates;
    animation.marks = options.marks;
    animation.delay = options.delay;
    animation.lastDelay = options.lastDelay;
    animation.from = options.from;
    animation.to = options.to;
    drawing.frames = gameFrames(game, animation);
  } else {
    const std::size_t plies = game.plies.size();
    first = options.ply.value_or(plies);
    if (first > plies) {
      throw OptionError("--ply " + std::to_string(first) + ": the game has " +
                        std::to_string(plies) +
                        (plies == 1 ? " ply" : " plies"));
    }
    const Settings settings{options.size.value_or(kDefaultSize), options.scale};
    drawing.frames.push_back({plyDiagram(
        game, first, settings, options.orientation, options.coordinates)});
  }
  for (std::size_t ply = first; ply < first + drawing.frames.size(); ++ply) {
    drawing.decorations.push_back(decorationsOf(options, game, ply));
    drawing.decorated = drawing.decorated || drawing.decorations.back().bars ||
                        drawing.decorations.back().glyph;
  }
  return drawing;
}

std::vector<unsigned char> draw(const Drawing& drawing, bool animated,
                                const LoadedArtwork& loaded) {
  const Artwork& artwork = loaded.artwork;
  if (!animated) {
    const Diagram& diagram = drawing.frames.front().diagram;
    if (!drawing.decorated) {
      return renderPng(artwork, loaded.pieces, diagram, Threads{2});
    }
    // Fonts are loaded only for a diagram that has text.
    const Lettering lettering;
    return renderDecoratedPng(artwork, loaded.pieces, diagram,
                              drawing.decorations.front(), lettering,
                              Threads{2});
  }
  std::vector<unsigned char> gif;
  const codec::GifSink sink = [&gif](const unsigned char* bytes,
                                     std::size_t size) {
    gif.insert(gif.end(), bytes, bytes + size);
  };
  if (!drawing.decorated) {
    writeAnimation(artwork, loaded.pieces,
                   animationPalette(artwork, loaded.pieces), drawing.frames,
                   sink);
    return gif;
  }
  const Lettering lettering;
  writeDecoratedAnimation(artwork, loaded.pieces,
                          decoratedPalette(artwork, loaded.pieces, lettering),
                          drawing.frames, drawing.decorations, lettering, sink);
  return gif;
}

ExitStatus run(const std::vector<std::string>& args, std::istream& in,
               std::ostream& out, std::ostream& err) {
  const GameOptions options = readGameOptions(args);
  if (options.help) {
    printGameUsage(out);
    return ExitStatus::ok;
  }
  const chess::Game game =
      chess::readGame(readInput(options.input, in), options.game);
  if (options.fens) {
    out << game.start.fen() << '\n';
    for (const chess::Ply& ply : game.plies) {
      out << ply.after.fen() << '\n';
    }
    out << std::flush;
    return ExitStatus::ok;
  }
  const Drawing drawing = drawingOf(options, game);
  const LoadedArtwork loaded = loadChosenArtwork(options, err);
  if (isSvgName(options.output)) {
    writeOutputFile(
        options.output,
        drawSvg(loaded.artwork, loaded.themeFolder, loaded.pieceFolder,
                drawing.frames.front().diagram, drawing.decorated, err),
        loaded.artwork.filesRead);
    return ExitStatus::ok;
  }
  writeOutputFile(options.output, draw(drawing, options.animated, loaded),
                  loaded.artwork.filesRead);
  return ExitStatus::ok;
}

}  // namespace

int runGame(const std::vector<std::string>& args, std::istream& in,
            std::ostream& out, std::ostream& err) {
  return reportFailures(err, [&] { return run(args, in, out, err); });
}

}  // namespace tib::game
