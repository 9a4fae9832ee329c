// Writing the finished diagram to the output path.
#pragma once

#include <string>
#include <vector>

// Writes bytes to path without ever leaving a partial file behind: a regular
// file (or a new path) is written to a temporary file in the same folder and
// renamed over it; a symlink updates the file it points to; devices, FIFOs
// and /dev or /proc paths are written in place. Throws a Failure naming the
// path and the system's reason.
void writeOutputFile(const std::string& path,
                     const std::vector<unsigned char>& bytes);
