// A libFuzzer mutator for PNG files that keeps mutants past the codec's
// checksums: after each mutation the chunk CRCs and the Adler-32 of the
// image data and of each ICC profile are repaired (now and then one CRC is
// left wrong on purpose). Besides the byte-level mutations of libFuzzer it
// mutates the inflated image data and deflates it again, inserts, removes,
// repeats and swaps chunks (with the types the codec and its release
// 20260119 treat specially), and sets header fields to telling values.
#pragma once

#include <cstddef>
#include <cstdint>

// Mutates the PNG in data[0, size) in place, to at most maxSize bytes, and
// returns the new size.
std::size_t mutatePng(uint8_t* data, std::size_t size, std::size_t maxSize,
                      unsigned seed);
