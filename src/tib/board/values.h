// Reading the values that the programs' arguments and parameters share: a
// size and a scale, read by one rule with one wording of their refusals in
// every program, the view and the switches.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tib/board/board.h"

namespace tib {

// A size= value by strtol's rules (leading blanks, an optional sign, digits
// up to the first non-digit; the rest is ignored); none when it holds no
// number or the number does not fit 32 bits.
std::optional<int32_t> convertSize(const std::string& text);

// A scale= value by strtof's rules in the C locale (hexadecimal, inf and nan
// included; the rest is ignored); none when it holds no number or the
// conversion overflows or underflows.
std::optional<float> convertScale(const std::string& text);

// "use size=<pixels> from <least> to <most>".
std::string sizeRange(int32_t least, int32_t most);

// Converts a size= value; throws a ValueError that begins with
// shown, the value as the message quotes it, and ends with usage.
int32_t readSize(const std::string& text, const std::string& shown,
                 const std::string& usage);

// Converts a scale= value; throws a ValueError that begins
// with shown.
float readScale(const std::string& text, const std::string& shown);

// Throws a ValueError when size lies outside least to most.
void checkSizeRange(int32_t size, int32_t least, int32_t most);

// A whole number written in decimal digits only, at most nine of them, from
// low to high; none for anything else.
std::optional<uint32_t> wholeNumber(std::string_view text, uint32_t low,
                                    uint32_t high);

// "white" or "black"; none for anything else.
std::optional<Orientation> orientationNamed(std::string_view text);

// A yes or no: 1, yes, true or 0, no, false; none for anything else.
std::optional<bool> switchValue(std::string_view text);

}  // namespace tib
