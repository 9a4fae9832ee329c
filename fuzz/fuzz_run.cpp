// Fuzzes a whole run: the input, split into words at newlines, is the
// argument list, after a small default size. The run happens in a temporary
// folder holding a small synthetic artwork set; any file= argument is replaced
// by a path there.
#include <lodepng.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/run.h"
#include "tib/board/artwork.h"
#include "tib/board/drawing.h"
#include "tib/board/pieces.h"
#include "tib/board/values.h"

using namespace tib;  // NOLINT(google-build-using-namespace)

namespace {

// Largest output edge tried: larger ones only cost time and memory.
constexpr int32_t kLargestFuzzedSize = 1100;

// Sprites get varied colours and the alpha values the blend treats
// differently; the board gets flat bands, which keep each run fast.
void writePicture(const std::string& name, unsigned width, unsigned height,
                  unsigned seed) {
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height *
                                    4);
  const unsigned char alphas[] = {0, 2, 3, 128, 255};
  const bool board = width == kCanvasEdge;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const std::size_t pixel = i / 4;
    if (i % 4 == 3) {
      pixels[i] = board ? 255 : alphas[(pixel + seed) % 5];
    } else {
      pixels[i] = static_cast<unsigned char>(
          board ? (pixel / width / 112) * 30 + i % 4 : i * seed);
    }
  }
  lodepng::encode(name, pixels, width, height);
}

std::string makeArtworkFolder() {
  char folder[] = "/tmp/tib-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr || chdir(folder) != 0) {
    std::abort();
  }
  writePicture(kBoardFile, 1024, 1024, 1);
  unsigned seed = 2;
  for (const Piece& piece : kPieces) {
    writePicture(spriteFileName(piece), 5 + seed, 9 + 2 * seed, seed);
    ++seed;
  }
  writePicture(markerFileName(Side::white), 7, 5, 20);
  writePicture(markerFileName(Side::black), 5, 7, 21);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::current_path(), ignored);
  });
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string folder = makeArtworkFolder();
  // Encoding dominates a run, so the output is small unless the input asks
  // for another size; drawing always happens on the full canvas.
  std::vector<std::string> args;
  std::string word;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == '\n') {
      if (word.rfind("file=", 0) != 0) {
        args.push_back(word);
      }
      word.clear();
    } else {
      word.push_back(static_cast<char>(data[i]));
    }
  }
  const bool sized = std::any_of(
      args.begin(), args.end(),
      [](const std::string& arg) { return arg.rfind("size=", 0) == 0; });
  if (!sized) {
    args.push_back("size=64");
  }
  args.push_back("file=" + folder + "/out.png");
  // The last size= decides.
  const auto lastSize = std::find_if(
      args.rbegin(), args.rend(),
      [](const std::string& arg) { return arg.rfind("size=", 0) == 0; });
  const std::optional<int32_t> requested = convertSize(lastSize->substr(5));
  if (requested && *requested > kLargestFuzzedSize) {
    return 0;
  }
  std::ostream discard(nullptr);
  runTib(args, discard, discard);
  return 0;
}
