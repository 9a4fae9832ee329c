#include "arguments.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "drawing.h"

namespace {

bool hasPrefix(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// strtol rules: leading blanks, an optional sign, digits up to the first
// non-digit; the rest is ignored. The number must fit 32 bits.
bool convertSize(const char* text, int32_t& value) {
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || errno == ERANGE || parsed < INT32_MIN ||
      parsed > INT32_MAX) {
    return false;
  }
  value = static_cast<int32_t>(parsed);
  return true;
}

// strtof rules in the C locale, hexadecimal, inf and nan included; the rest
// is ignored. Overflow and underflow are refused.
bool convertScale(const char* text, float& value) {
  char* end = nullptr;
  errno = 0;
  const float parsed = std::strtof(text, &end);
  if (end == text || errno == ERANGE) {
    return false;
  }
  value = parsed;
  return true;
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

std::string readArguments(const std::vector<std::string>& args,
                          RunArguments& run) {
  run = RunArguments{};
  Size = kDefaultSize;
  Sz2 = kDefaultScale;
  for (const std::string& arg : args) {
    if (hasPrefix(arg, "fen=")) {
      run.fen = arg.substr(4);
    } else if (hasPrefix(arg, "file=")) {
      run.outputPath = arg.substr(5);
    } else if (hasPrefix(arg, "size=")) {
      if (!convertSize(arg.c_str() + 5, Size)) {
        return "tib: " + arg +
               ": not a whole number of pixels that fits 32 bits; use "
               "size=<pixels>, for example size=400";
      }
    } else if (hasPrefix(arg, "scale=")) {
      if (!convertScale(arg.c_str() + 6, Sz2)) {
        return "tib: " + arg +
               ": not a number in the range of a float; use "
               "scale=<factor>, for example scale=1.3";
      }
    }
  }
  if (Size < 0 || Size > kLargestSize) {
    return "tib: size=" + std::to_string(Size) +
           ": out of range; use size=<pixels> from 0 to " +
           std::to_string(kLargestSize);
  }
  return "";
}
