// Resampling the finished canvas to the requested size and writing the PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drawing.h"

// Nearest-neighbour resample of the 1024 x 1024 canvas to edge x edge RGBA
// pixels, sampling at the top-left corner of each output pixel.
std::vector<unsigned char> resampleCanvas(const ImageBuffer& canvas,
                                          uint32_t edge);

// Writes bytes to path without ever leaving a partial file behind: a regular
// file (or a new path) is written to a temporary file in the same folder and
// renamed over it; a symlink updates the file it points to; devices, FIFOs
// and /dev or /proc paths are written in place. Returns an empty string, or
// a one-line message with the path and the system's reason.
std::string writeOutputFile(const std::string& path,
                            const std::vector<unsigned char>& bytes);

// Encodes the canvas at Size x Size (Size 0 writes nothing) and writes it
// to path. Returns an empty string or a one-line message.
std::string writeDiagram(const ImageBuffer& canvas, const std::string& path);
