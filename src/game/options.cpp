#include "game/options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "game/failure.h"
#include "program/arguments.h"
#include "tib/board/values.h"

namespace tib::game {

namespace {

constexpr const char* kUsage = "usage: tib-game [OPTION]... [FILE]";

// The options that take a value.
constexpr std::array<std::string_view, 23> kValued{
    "--game",    "--ply",      "-o",           "--output",      "--size",
    "--scale",   "--theme",    "--piece",      "--orientation", "--coordinates",
    "--artwork", "--delay",    "--last-delay", "--from",        "--to",
    "--arrows",  "--white",    "--black",      "--threads",     "--sheet",
    "--paper",   "--per-page", "--frame"};

[[noreturn]] void refuse(const std::string& message) {
  throw OptionError(message + "; " + kUsage + " (see --help)");
}

std::size_t readNumber(const std::string& name, const std::string& value,
                       uint32_t low, uint32_t high = 999999999) {
  const std::optional<uint32_t> number = wholeNumber(value, low, high);
  if (!number) {
    refuse(name + " " + value + ": not a whole number from " +
           std::to_string(low) + " to " + std::to_string(high));
  }
  return *number;
}

bool endsWithGif(const std::string& path) {
  if (path.size() < 4) {
    return false;
  }
  std::string end = path.substr(path.size() - 4);
  std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) {
    return static_cast<char>(std::tolower(c));
  });
  return end == ".gif";
}

void readValue(const std::string& name, const std::string& value,
               GameOptions& options) {
  try {
    if (readAnimationOption(kGameOptionNames, name, value, options.animation)) {
      return;
    }
  } catch (const ValueError& error) {
    refuse(error.what());
  }
  if (name == "--game") {
    options.game = readNumber(name, value, 1);
  } else if (name == "--ply") {
    options.ply = readNumber(name, value, 0);
  } else if (name == "-o" || name == "--output") {
    options.output = value;
  } else if (name == "--size") {
    options.size =
        readSize(value, name + " " + value, sizeRange(1, kLargestSize));
    checkSizeRange(*options.size, 1, kLargestSize);
  } else if (name == "--scale") {
    options.scale = readScale(value, name + " " + value);
  } else if (name == "--theme") {
    options.theme = value;
  } else if (name == "--piece") {
    options.piece = value;
  } else if (name == "--orientation") {
    const std::optional<Orientation> orientation = orientationNamed(value);
    if (!orientation) {
      refuse(name + " " + value + ": use white or black");
    }
    options.orientation = *orientation;
  } else if (name == "--coordinates") {
    const std::optional<bool> on = switchValue(value);
    if (!on) {
      refuse(name + " " + value + ": use 1, yes, true, 0, no or false");
    }
    options.coordinates = *on;
  } else if (name == "--white" || name == "--black") {
    (name == "--white" ? options.white : options.black) = value;
  } else if (name == "--threads") {
    options.threads = static_cast<unsigned>(readNumber(name, value, 1, 64));
  } else if (name == "--sheet") {
    if (value.empty()) {
      refuse("--sheet needs a file name");
    }
    options.sheet = value;
  } else if (name == "--paper") {
    const std::optional<PaperSize> paper = paperNamed(value);
    if (!paper) {
      refuse(name + " " + value + ": use a4 or letter");
    }
    options.paper = *paper;
  } else if (name == "--per-page") {
    options.perPage = readNumber(name, value, 1, 99);
    if (!gridOf(options.perPage)) {
      refuse(name + " " + value + ": use 4, 6, 9 or 12");
    }
  } else if (name == "--frame") {
    const std::optional<codec::VideoFrame> frame = videoFrameNamed(value);
    if (!frame) {
      refuse(name + " " + value +
             ": width x height, each even, from 2 to 8192 (1080x1920)");
    }
    options.frame = *frame;
  } else if (name == "--artwork") {
    if (value.empty()) {
      refuse("--artwork needs a folder");
    }
    options.artwork = value;
  }
}

// A sheet draws the board of one ply of every game, and nothing else: an
// option it would pass over is refused, named.
void checkSheetOptions(const GameOptions& options,
                       const std::vector<std::string>& named) {
  if (!endsWith(options.sheet, ".pdf") && !endsWith(options.sheet, ".svg")) {
    refuse("--sheet " + options.sheet +
           ": name a .pdf file (any number of pages) or a .svg (one page)");
  }
  constexpr std::array<std::string_view, 20> kNotOnSheets{
      "--fens",       "-o",        "--output",      "--all",    "--game",
      "--threads",    "--size",    "--white",       "--black",  "--no-players",
      "--eval",       "--no-eval", "--no-material", "--judge",  "--delay",
      "--last-delay", "--from",    "--to",          "--arrows", "--frame"};
  for (const std::string& name : named) {
    if (std::find(kNotOnSheets.begin(), kNotOnSheets.end(), name) !=
        kNotOnSheets.end()) {
      refuse("--sheet draws the board of one ply of every game, so " + name +
             " does not go with it");
    }
  }
}

}  // namespace

std::string shownAsOption(const std::string& name, const std::string& value) {
  return name + " " + value;
}

void printGameUsage(std::ostream& out) {
  out << kUsage << "\n"
      << "Reads a game in PGN (FILE, or standard input when none or -) and "
         "prints\nits positions, draws the diagram of a ply as PNG or SVG, "
         "animates the\ngame as a GIF, an animated WebP, an MP4 or a WebM, or "
         "prints one\ndiagram of every game on a sheet.\n\n"
      << "What to do:\n"
      << "      --fens                print the FEN of every position\n"
      << "  -o, --output FILE         FILE.png or FILE.svg: a ply; FILE.gif, "
         ".webp,\n"
      << "                            .mp4 or .webm: the game\n"
      << "      --sheet FILE          FILE.pdf, or FILE.svg of one page: "
         "every game\n"
      << "  -h, --help                print this help and exit\n\n"
      << "Which game and ply:\n"
      << "      --game N              the file's Nth game (default 1)\n"
      << "      --all                 every game, -o naming each by number "
         "(g-%d.gif)\n"
      << "      --threads N           with --all, N games at once (default "
         "1)\n"
      << "      --ply N               the position after N plies (default "
         "the last)\n\n"
      << "The picture:\n"
      << "      --size N              the board's edge in pixels (default "
      << kDefaultSize << ", GIF " << kDefaultGifSize << ")\n"
      << "      --scale F             the pieces' scale (default "
      << kDefaultScale << ")\n"
      << "      --theme NAME          a board of the artwork's themes/\n"
      << "      --piece SET           a piece set of the artwork's pieces/\n"
      << "      --orientation SIDE    white or black at the bottom (default "
         "white)\n"
      << "      --coordinates yes|no  the files and ranks (default yes)\n"
      << "      --artwork DIR         the artwork (default the installed "
         "one)\n\n"
      << "Players and analysis:\n"
      << "      --no-players          no bars with the players and clocks\n"
      << "      --white NAME          white's name instead of the tag's\n"
      << "      --black NAME          black's name instead of the tag's\n"
      << "      --eval                the evaluation bar (default: with "
         "[%eval])\n"
      << "      --no-eval             no evaluation bar\n"
      << "      --no-material         no captured pieces in the bars\n"
      << "      --judge               mark moves ?!, ? or ?? from the "
         "evaluations\n\n"
      << "A GIF or a video:\n"
      << "      --delay CS|real       centiseconds a move (default "
      << kDefaultMoveDelay << "), or the clocks'\n"
      << "      --last-delay CS       the last frame's centiseconds (default "
      << kDefaultLastDelay << ")\n"
      << "      --from N              the first ply shown (default 0)\n"
      << "      --to N                the last ply shown (default the "
         "last)\n"
      << "      --arrows yes|no       the comments' arrows and squares "
         "(default yes)\n"
      << "      --frame WxH           a video's frame, the picture centred "
         "(MP4, WebM)\n\n"
      << "A sheet:\n"
      << "      --paper a4|letter     the paper (default a4)\n"
      << "      --per-page N          4, 6, 9 or 12 diagrams a page (default "
         "6)\n\n"
      << "SOURCE_DATE_EPOCH, when set, dates a PDF sheet; else it has no "
         "date.\n"
      << "Exit status: 0 done, 1 a game or file that cannot be used, 2 a bad "
         "option.\n";
}

GameOptions readGameOptions(const std::vector<std::string>& args) {
  GameOptions options;
  bool inputGiven = false;
  bool gameGiven = false;
  std::vector<std::string> named;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const NamedArgument option = splitNamedArgument(args[i]);
    const std::string& name = option.name;
    const std::optional<std::string>& value = option.value;
    if (name.size() > 1 && name[0] == '-') {
      named.push_back(name);
    }
    if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--fens" && !value) {
      options.fens = true;
    } else if (name == "--all" && !value) {
      options.all = true;
    } else if (name == "--no-players" && !value) {
      options.players = false;
    } else if ((name == "--eval" || name == "--no-eval") && !value) {
      options.analysis.evalBar = name == "--eval";
    } else if (name == "--no-material" && !value) {
      options.analysis.material = false;
    } else if (name == "--judge" && !value) {
      options.analysis.judge = true;
    } else if (std::find(kValued.begin(), kValued.end(), name) !=
               kValued.end()) {
      readValue(name, optionValue(args, i, option, kUsage), options);
      gameGiven = gameGiven || name == "--game";
    } else if (name.size() > 1 && name[0] == '-') {
      refuse("unknown option " + name);
    } else if (inputGiven) {
      refuse("one file at most: " + options.input + " and " + name);
    } else {
      options.input = name == "-" ? "" : name;
      inputGiven = true;
    }
  }
  if (!options.sheet.empty()) {
    checkSheetOptions(options, named);
    return options;
  }
  if (!options.help && options.fens == !options.output.empty()) {
    refuse(options.fens ? "--fens prints, so -o does not go with it"
                        : "nothing to do: give --fens, -o FILE.png, "
                          "FILE.gif, FILE.webp, FILE.mp4 or FILE.webm, or "
                          "--sheet FILE.pdf");
  }
  options.motion = motionFormatOf(options.output);
  options.animated = endsWithGif(options.output) || options.motion.has_value();
  if (options.animated && options.ply) {
    refuse("--ply draws one diagram; an animation shows --from to --to");
  }
  const bool video = options.motion && *options.motion != MotionFormat::webp;
  if (options.frame.width != 0 && !video) {
    refuse("--frame shapes a video, so it goes with -o FILE.mp4 or FILE.webm");
  }
  if (options.all && gameGiven) {
    refuse("--all reads every game, so --game does not go with it");
  }
  if (options.threads > 1 && !options.all) {
    refuse("--threads draws several games at once, so it goes with --all");
  }
  if (options.all && !options.fens) {
    options.outputs = readOutputPattern(options.output);
  }
  return options;
}

}  // namespace tib::game
