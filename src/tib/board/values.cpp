#include "tib/board/values.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>

#include "tib/board/error.h"

namespace tib {

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

std::string sizeRange(int32_t least, int32_t most) {
  return "use size=<pixels> from " + std::to_string(least) + " to " +
         std::to_string(most);
}

int32_t readSize(const std::string& text, const std::string& shown,
                 const std::string& usage) {
  const std::optional<int32_t> size = convertSize(text);
  if (!size) {
    throw ValueError(
        shown + ": not a whole number of pixels that fits 32 bits; " + usage);
  }
  return *size;
}

float readScale(const std::string& text, const std::string& shown) {
  const std::optional<float> scale = convertScale(text);
  if (!scale) {
    throw ValueError(shown +
                     ": not a number in the range of a float; use "
                     "scale=<factor>, for example scale=1.3");
  }
  return *scale;
}

void checkSizeRange(int32_t size, int32_t least, int32_t most) {
  if (size < least || size > most) {
    throw ValueError("size=" + std::to_string(size) + ": out of range; " +
                     sizeRange(least, most));
  }
}

std::optional<uint32_t> wholeNumber(std::string_view text, uint32_t low,
                                    uint32_t high) {
  if (text.empty() || text.size() > 9) {
    return std::nullopt;
  }
  uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::optional<Orientation> orientationNamed(std::string_view text) {
  if (text == "white") {
    return Orientation::white;
  }
  if (text == "black") {
    return Orientation::black;
  }
  return std::nullopt;
}

std::optional<bool> switchValue(std::string_view text) {
  constexpr std::array<std::string_view, 3> kYes{"1", "yes", "true"};
  constexpr std::array<std::string_view, 3> kNo{"0", "no", "false"};
  if (std::find(kYes.begin(), kYes.end(), text) != kYes.end()) {
    return true;
  }
  if (std::find(kNo.begin(), kNo.end(), text) != kNo.end()) {
    return false;
  }
  return std::nullopt;
}

}  // namespace tib
