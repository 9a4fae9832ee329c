// The PNG codec as its release 20260119 decodes, on top of Debian's 2022
// snapshot of it (0.0~git20220618), for one call: a file decoded to 8-bit
// RGBA with the default settings and text chunks not read. The release
// differs in a few texts and refuses some malformed chunks that the snapshot
// accepts; everything else, the pixels included, is the same. doc/codec.md
// lists the differences; this is the one place in the code that knows them.
//
// How it is used: after the header is accepted, findReleaseRefusal walks the
// chunks as both decoders do and finds the first one that the release
// refuses and the snapshot does not (or refuses with another code). The
// snapshot then decodes the file up to that chunk only: when it gets there
// (it reports 30, "chunk out of bounds", exactly at that offset) the release
// result is the refusal; when an earlier chunk fails, that failure is the
// release's too. Without a refusal the snapshot's result stands, with
// releaseErrorCode and releaseErrorText applied to it.
#pragma once

#include <cstddef>
#include <optional>

namespace tib::codec {

struct ReleaseRefusal {
  // Where the refused chunk starts (its length field) in the file.
  std::size_t offset = 0;
  // 57 (a bad CRC on cICP, mDCV, cLLI or eXIf), 117 (cICP size), 119
  // (mDCV size), 120 (cLLI size), 121 (a type name that is not four ASCII
  // letters) or 122 (a type name whose third letter is lower case).
  unsigned error = 0;
};

// The snapshot's code for "chunk out of bounds": what it reports when the
// bytes end where a chunk should start.
inline constexpr unsigned kChunkOutOfBounds = 30;

// Walks the chunks of a PNG whose first 33 bytes (signature and IHDR) the
// codec has accepted, up to IEND or the first chunk whose framing fails
// (both releases report that alike), and returns the first chunk that the
// release refuses where the snapshot does not.
std::optional<ReleaseRefusal> findReleaseRefusal(const unsigned char* png,
                                                 std::size_t size);

// The release's code where the snapshot reports error: an ICC profile that
// inflates to nothing is 123, not 100.
unsigned releaseErrorCode(unsigned error);

// The release's text for the codes it words differently (72) or that the
// snapshot does not have (117, 119 to 123); null for every other code,
// whose text is the snapshot's.
const char* releaseErrorText(unsigned error);

}  // namespace tib::codec
