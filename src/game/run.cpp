#include "game/run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>

#include "chess/pgn.h"
#include "game/failure.h"
#include "game/options.h"
#include "game/sheet_output.h"
#include "game/vector_output.h"
#include "tib/board/artwork.h"
#include "tib/board/output_file.h"
#include "tib/board/render.h"
#include "tib/decoration/decorated.h"
#include "tib/game/analysis.h"
#include "tib/game/decorated_game.h"
#include "tib/game/game_diagram.h"
#include "tib/game/gif_budget.h"
#include "tib/game/motion.h"

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
                          const std::vector<AnalysedPosition>& analysed,
                          std::size_t ply) {
  Decorations decorations =
      plyDecorations(game, ply, options.orientation, options.players);
  if (decorations.bars && !options.white.empty()) {
    decorations.bars->white.name = options.white;
  }
  if (decorations.bars && !options.black.empty()) {
    decorations.bars->black.name = options.black;
  }
  addAnalysis(analysed, ply, options.analysis, decorations);
  return decorations;
}

// What is drawn: one frame for a PNG, the plies from..to for a GIF, each
// with its decorations; read before any artwork is.
struct Drawing {
  std::vector<AnimationFrame> frames;
  std::vector<Decorations> decorations;
  bool decorated = false;
  // A GIF over tib-server's default budget: drawn all the same, with a
  // warning, since here the user pays for it.
  std::optional<std::string> overBudget;
};

// A video's --frame holds the picture: without --size, the board is the
// largest that fits.
void fitFrame(const GameOptions& options, GifFrameParts parts,
              std::vector<AnimationFrame>& frames) {
  const auto fits = [&](int32_t size) {
    const FrameEdges edges = frameEdges(size, parts);
    return edges.width <= options.frame.width &&
           edges.height <= options.frame.height;
  };
  int32_t size = frames.front().diagram.settings.Size;
  if (!options.size) {
    size = std::min<int32_t>(kLargestSize,
                             static_cast<int32_t>(options.frame.width));
    while (size > 1 && !fits(size)) {
      --size;
    }
  }
  if (!fits(size)) {
    const FrameEdges edges = frameEdges(size, parts);
    throw OptionError("--frame " + std::to_string(options.frame.width) + "x" +
                      std::to_string(options.frame.height) +
                      ": the picture is " + std::to_string(edges.width) +
                      " x " + std::to_string(edges.height) + " at --size " +
                      std::to_string(size) + "; give a smaller --size");
  }
  for (AnimationFrame& frame : frames) {
    frame.diagram.settings.Size = size;
  }
}

Drawing drawingOf(const GameOptions& options, const chess::Game& game) {
  Drawing drawing;
  std::size_t first = options.animation.from;
  if (options.animated) {
    GameAnimation animation;
    animation.settings = {options.size.value_or(animation.settings.Size),
                          options.scale};
    animation.orientation = options.orientation;
    animation.coordinates = options.coordinates;
    applyChoices(options.animation, animation);
    lastPlyShown(options.animation, game.plies.size(), kGameOptionNames);
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
  const std::vector<AnalysedPosition> analysed = analysedPositions(game);
  for (std::size_t ply = first; ply < first + drawing.frames.size(); ++ply) {
    drawing.decorations.push_back(decorationsOf(options, game, analysed, ply));
    drawing.decorated =
        drawing.decorated || decorationParts(drawing.decorations.back()).any();
  }
  if (options.animated) {
    if (options.frame.width != 0) {
      fitFrame(options, gifFrameParts(drawing.decorations), drawing.frames);
    }
    if (const auto over = gifOverBudget(
            drawing.frames.size(), drawing.frames.front().diagram.settings.Size,
            gifFrameParts(drawing.decorations), kDefaultMaxGifPixels)) {
      drawing.overBudget =
          "warning: " + *over + " (tib-server's default --max-gif-pixels)";
    }
  }
  return drawing;
}

// The fonts, loaded only for a diagram that has text, and once for a file.
class LazyLettering {
 public:
  const Lettering& get() {
    std::call_once(loaded_, [this] { lettering_.emplace(); });
    return *lettering_;
  }

 private:
  std::once_flag loaded_;
  std::optional<Lettering> lettering_;
};

// The drawing as a PNG, a GIF or another animation's format when animated,
// or an SVG when svg is given.
std::vector<unsigned char> draw(const Drawing& drawing,
                                const GameOptions& options,
                                const LoadedArtwork& loaded,
                                LazyLettering& fonts,
                                const SvgArt* svg = nullptr) {
  const bool animated = options.animated;
  const Artwork& artwork = loaded.artwork;
  if (svg != nullptr) {
    return drawSvg(artwork, *svg, drawing.frames.front().diagram,
                   drawing.decorations.front(),
                   drawing.decorated ? &fonts.get() : nullptr);
  }
  if (!animated) {
    const Diagram& diagram = drawing.frames.front().diagram;
    if (!drawing.decorated) {
      return renderPng(artwork, loaded.pieces, diagram, Threads{2});
    }
    const Lettering& lettering = fonts.get();
    return renderDecoratedPng(artwork, loaded.pieces, diagram,
                              drawing.decorations.front(), lettering,
                              Threads{2});
  }
  if (options.motion) {
    // The encoder's threads: as many as it likes for one game, one a game
    // when --threads draws several at once.
    const MotionChoices choices{*options.motion, options.frame,
                                options.threads > 1 ? 1U : 0U};
    return *encodeMotion(artwork, loaded.pieces, drawing.frames,
                         drawing.decorations,
                         drawing.decorated ? &fonts.get() : nullptr, choices);
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
  const Lettering& lettering = fonts.get();
  writeDecoratedAnimation(artwork, loaded.pieces,
                          decoratedPalette(artwork, loaded.pieces, lettering),
                          drawing.frames, drawing.decorations, lettering, sink);
  return gif;
}

// The line before a game's FENs: "# game N: White - Black, Event", with
// "?" for a tag the game lacks.
std::string gameHeading(const chess::Game& game, std::size_t number) {
  const auto tag = [&game](const char* name) {
    std::string value(chess::tagValue(game, name).value_or("?"));
    std::replace_if(
        value.begin(), value.end(),
        [](char c) { return static_cast<unsigned char>(c) < ' '; }, ' ');
    return value;
  };
  return "# game " + std::to_string(number) + ": " + tag("White") + " - " +
         tag("Black") + ", " + tag("Event") + "\n";
}

std::string fensOf(const chess::Game& game) {
  std::string fens = game.start.fen() + '\n';
  for (const chess::Ply& ply : game.plies) {
    fens += ply.after.fen();
    fens += '\n';
  }
  return fens;
}

// What one game of a file gave: its heading and FENs, or why it failed.
struct GameOutcome {
  std::string fens;
  std::string fault;
  std::string warning;
};

// A failure of one game as one line that names it.
std::string faultOf(std::size_t number, const std::string& what) {
  const std::string name = "game " + std::to_string(number);
  return what.rfind(name + ",", 0) == 0 || what.rfind(name + ":", 0) == 0
             ? what
             : name + ": " + what;
}

// One game of a file: its FENs, or its drawing written with the artwork
// loaded (none for FENs).
GameOutcome readOrDraw(const GameOptions& options, const chess::GameText& text,
                       const LoadedArtwork* loaded, LazyLettering& fonts,
                       const SvgArt* svg) {
  GameOutcome outcome;
  try {
    const chess::Game game = chess::readGame(text);
    if (options.fens) {
      outcome.fens = gameHeading(game, text.number) + fensOf(game);
      return outcome;
    }
    const Drawing drawing = drawingOf(options, game);
    if (drawing.overBudget) {
      outcome.warning = faultOf(text.number, *drawing.overBudget);
    }
    writeOutputFile(outputPath(options.outputs, text.number),
                    draw(drawing, options, *loaded, fonts, svg),
                    loaded->artwork.filesRead);
  } catch (const std::bad_alloc&) {
    outcome.fault = faultOf(text.number, "out of memory");
  } catch (const std::exception& error) {
    outcome.fault = faultOf(text.number, error.what());
  }
  return outcome;
}

// Works out count items on threads, handing each outcome to emit in order;
// at most a window of outcomes waits to be emitted.
template <typename Work, typename Emit>
void inOrder(std::size_t count, unsigned threads, const Work& work,
             const Emit& emit) {
  if (threads <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      emit(work(i));
    }
    return;
  }
  const std::size_t window = 8 * std::size_t{threads};
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::optional<GameOutcome>> done(count);
  std::size_t next = 0;
  std::size_t emitted = 0;
  const auto worker = [&] {
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
      changed.wait(held,
                   [&] { return next == count || next < emitted + window; });
      if (next == count) {
        return;
      }
      const std::size_t item = next++;
      held.unlock();
      GameOutcome outcome = work(item);
      held.lock();
      done[item] = std::move(outcome);
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  workers.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) {
    workers.emplace_back(worker);
  }
  {
    std::unique_lock<std::mutex> held(lock);
    while (emitted < count) {
      changed.wait(held, [&] { return done[emitted].has_value(); });
      const GameOutcome outcome = std::move(*done[emitted]);
      done[emitted].reset();
      ++emitted;
      changed.notify_all();
      held.unlock();
      emit(outcome);
      held.lock();
    }
  }
  for (std::thread& thread : workers) {
    thread.join();
  }
}

// Every game of the file: its FENs printed or its drawing written; a game
// that fails is reported and the others go on.
ExitStatus runAll(const GameOptions& options, const std::string& pgn,
                  std::ostream& out, std::ostream& err) {
  const std::vector<chess::GameText> games = chess::splitGames(pgn);
  if (games.empty()) {
    throw Error("the file holds no game");
  }
  std::optional<LoadedArtwork> loaded;
  std::optional<SvgArt> svg;
  if (!options.fens) {
    loaded = loadChosenArtwork(options, err);
    if (isSvgName(options.output)) {
      svg = loadSvgArt(loaded->themeFolder, loaded->pieceFolder);
    }
  }
  LazyLettering fonts;
  bool failed = false;
  inOrder(
      games.size(), options.threads,
      [&](std::size_t i) {
        return readOrDraw(options, games[i], loaded ? &*loaded : nullptr, fonts,
                          svg ? &*svg : nullptr);
      },
      [&](const GameOutcome& outcome) {
        out.write(outcome.fens.data(),
                  static_cast<std::streamsize>(outcome.fens.size()));
        if (!outcome.warning.empty()) {
          err << kGamePrefix << outcome.warning << '\n';
        }
        if (!outcome.fault.empty()) {
          failed = true;
          err << kGamePrefix << outcome.fault << '\n';
        }
      });
  out << std::flush;
  err << std::flush;
  return failed ? ExitStatus::failed : ExitStatus::ok;
}

// One diagram of every game on a sheet; a game that fails is reported, as
// with --all, and left out, the others drawn.
ExitStatus runSheet(const GameOptions& options, const std::string& pgn,
                    std::ostream& err) {
  const std::optional<int64_t> created =
      sourceDateEpoch(std::getenv("SOURCE_DATE_EPOCH"));
  const std::vector<chess::GameText> games = chess::splitGames(pgn);
  if (games.empty()) {
    throw Error("the file holds no game");
  }
  checkSheetFits(options, games.size());
  const LoadedArtwork loaded = loadChosenArtwork(options, err);
  const SheetArtwork art(loaded.artwork, loaded.themeFolder,
                         loaded.pieceFolder);
  std::optional<std::string> header;
  std::vector<SheetDiagram> diagrams;
  bool failed = false;
  for (const chess::GameText& text : games) {
    try {
      const chess::Game game = chess::readGame(text);
      if (!header) {
        header = sheetHeader(game);
      }
      diagrams.push_back(art.diagram(options, game, sheetPly(options, game),
                                     text.number, *header));
    } catch (const std::exception& error) {
      failed = true;
      err << kGamePrefix << faultOf(text.number, error.what()) << '\n';
    }
  }
  err << std::flush;
  if (diagrams.empty()) {
    throw Error("no game of the file could be drawn; " + options.sheet +
                " not written");
  }
  writeOutputFile(options.sheet,
                  art.render(options, header.value_or(""), diagrams, created),
                  loaded.artwork.filesRead);
  return failed ? ExitStatus::failed : ExitStatus::ok;
}

ExitStatus run(const std::vector<std::string>& args, std::istream& in,
               std::ostream& out, std::ostream& err) {
  const GameOptions options = readGameOptions(args);
  if (options.help) {
    printGameUsage(out);
    return ExitStatus::ok;
  }
  if (!options.sheet.empty()) {
    return runSheet(options, readInput(options.input, in), err);
  }
  if (options.all) {
    return runAll(options, readInput(options.input, in), out, err);
  }
  const chess::Game game =
      chess::readGame(readInput(options.input, in), options.game);
  if (options.fens) {
    out << fensOf(game) << std::flush;
    return ExitStatus::ok;
  }
  const Drawing drawing = drawingOf(options, game);
  if (drawing.overBudget) {
    err << kGamePrefix << *drawing.overBudget << std::endl;
  }
  const LoadedArtwork loaded = loadChosenArtwork(options, err);
  const std::optional<SvgArt> svg =
      isSvgName(options.output)
          ? std::optional(loadSvgArt(loaded.themeFolder, loaded.pieceFolder))
          : std::nullopt;
  LazyLettering fonts;
  writeOutputFile(options.output,
                  draw(drawing, options, loaded, fonts, svg ? &*svg : nullptr),
                  loaded.artwork.filesRead);
  return ExitStatus::ok;
}

}  // namespace

int runGame(const std::vector<std::string>& args, std::istream& in,
            std::ostream& out, std::ostream& err) {
  return reportFailures(kGamePrefix, err,
                        [&] { return run(args, in, out, err); });
}

}  // namespace tib::game
