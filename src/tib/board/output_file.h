// Writing a finished picture to the output path. The writer reports every
// failure by throwing an Error and has no other way out.
#pragma once

#include <string>
#include <vector>

#include "tib/board/artwork.h"

namespace tib {

// Writes bytes to path with the result of the codec's file writer (open for
// writing, creating or truncating, then write the whole stream), but never
// leaves a half-written file when that can be avoided. What happens is
// decided by the file's type and state, never by the path's text:
// - A path that does not exist is created with mode 0666 less the umask,
//   through a temporary file in its folder renamed into place. A dangling
//   symlink stays, and the file it names is created.
// - An existing path is opened for writing (creating, not truncating), so
//   it is refused exactly as the codec's open would refuse it; a symlink is
//   followed.
// - A regular file with one link is replaced by a temporary file in its own
//   folder that takes its owner, group and mode, once that file is
//   completely written. Where that replace would show (the folder refuses
//   a new file, the owner or mode cannot be given, the file has other links
//   or extended attributes, it is this process's standard stream, the rename
//   is refused) or there is no room for a second copy, the file is written
//   in place: its new length is reserved first, so a full disk fails before
//   an old byte changes, then it is written and cut to that length.
// - Anything else (a device, a FIFO) is written in place from its start.
// An output that is one of artworkFiles is refused before anything is
// opened. Throws an Error naming the path and the reason; the old file is
// then as it was and no temporary file is left.
void writeOutputFile(const std::string& path,
                     const std::vector<unsigned char>& bytes,
                     const std::vector<FileIdentity>& artworkFiles);

}  // namespace tib
