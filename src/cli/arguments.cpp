#include "cli/arguments.h"

#include "tib/board/render.h"
#include "tib/board/values.h"

namespace tib {

namespace {

bool hasPrefix(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

bool wantsHelp(const std::vector<std::string>& args) {
  return args.empty() || args.front() == "/h";
}

void printHelp(std::ostream& out) {
  out << "Chess diagram generator tool." << std::endl;
  out << " syntax: tib fen=<FEN> file=<output.png> [size=300-1024] "
         "[scale=1.0-1.3]"
      << std::endl;
}

RunArguments readArguments(const std::vector<std::string>& args) {
  RunArguments run;
  for (const std::string& arg : args) {
    if (hasPrefix(arg, "fen=")) {
      run.position = readPlacement(std::string_view(arg).substr(4));
    } else if (hasPrefix(arg, "file=")) {
      run.outputPath = arg.substr(5);
    } else if (hasPrefix(arg, "size=")) {
      run.settings.Size = readSize(arg.substr(5), arg,
                                   "use size=<pixels>, for example size=400");
    } else if (hasPrefix(arg, "scale=")) {
      run.settings.Sz2 = readScale(arg.substr(6), arg);
    }
  }
  checkSize(run.settings);
  return run;
}

}  // namespace tib
