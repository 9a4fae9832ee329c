#include "arguments.h"

#include <cerrno>
#include <cstdlib>

#include "failure.h"
#include "render.h"

namespace {

bool hasPrefix(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

std::optional<int32_t> convertSize(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || errno == ERANGE || parsed < INT32_MIN ||
      parsed > INT32_MAX) {
    return std::nullopt;
  }
  return static_cast<int32_t>(parsed);
}

std::optional<float> convertScale(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const float parsed = std::strtof(text.c_str(), &end);
  if (end == text.c_str() || errno == ERANGE) {
    return std::nullopt;
  }
  return parsed;
}

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
      run.fen = arg.substr(4);
    } else if (hasPrefix(arg, "file=")) {
      run.outputPath = arg.substr(5);
    } else if (hasPrefix(arg, "size=")) {
      const std::optional<int32_t> size = convertSize(arg.substr(5));
      if (!size) {
        throw Failure(ExitStatus::badArguments,
                      arg +
                          ": not a whole number of pixels that fits 32 bits; "
                          "use size=<pixels>, for example size=400");
      }
      run.settings.Size = *size;
    } else if (hasPrefix(arg, "scale=")) {
      const std::optional<float> scale = convertScale(arg.substr(6));
      if (!scale) {
        throw Failure(ExitStatus::badArguments,
                      arg +
                          ": not a number in the range of a float; use "
                          "scale=<factor>, for example scale=1.3");
      }
      run.settings.Sz2 = *scale;
    }
  }
  checkSize(run.settings);
  return run;
}
