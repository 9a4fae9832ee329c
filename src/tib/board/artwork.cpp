#include "tib/board/artwork.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "tib/board/error.h"

namespace tib {

using codec::ArtworkRole;
using codec::DecodedFile;
using codec::decodeErrorText;

namespace {

std::string inFolder(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

std::size_t imageBytes(const ImageBuffer& image) {
  return std::size_t{image.width} * image.height * 4;
}

// Decodes one file into place within what is left of the budget and adds
// the file to filesRead, also when memory runs out (std::bad_alloc goes on).
// Throws an Error when the picture would overspend the budget.
unsigned loadInto(const std::string& path, ArtworkRole role, ImageBuffer& image,
                  ArtworkBudget& budget, std::vector<FileIdentity>& filesRead) {
  DecodedFile decoded;
  try {
    codec::decodePngFileInto(path, role, budget.limit - budget.used, decoded);
  } catch (const std::bad_alloc&) {
    if (decoded.identity) {
      filesRead.push_back(*decoded.identity);
    }
    throw;
  }
  if (decoded.identity) {
    filesRead.push_back(*decoded.identity);
  }
  if (decoded.error == codec::kErrorOverBudget) {
    throw Error("cannot load " + path + ": " +
                decodeErrorText(codec::kErrorOverBudget) + " (" +
                std::to_string(budget.limit >> 20) + " MiB)");
  }
  image = std::move(decoded.image);
  budget.used += decoded.error == 0 ? imageBytes(image) : 0;
  return decoded.error;
}

// A sprite or marker: running out of memory on it costs that picture only.
unsigned loadSprite(const std::string& path, ImageBuffer& image,
                    ArtworkBudget& budget,
                    std::vector<FileIdentity>& filesRead) {
  try {
    return loadInto(path, ArtworkRole::sprite, image, budget, filesRead);
  } catch (const std::bad_alloc&) {
    image = ImageBuffer();
    return codec::kErrorOutOfMemory;
  }
}

std::string warningFor(const std::string& file, unsigned error) {
  return "Warning: Could not load " + file + " - " + decodeErrorText(error);
}

}  // namespace

const char* markerFileName(Side side) {
  return side == Side::black ? "t_b3.png" : "t_w3.png";
}

namespace {

// The folder's tiles, none unless both files are there. Throws an Error
// when one is there and cannot be loaded.
std::optional<Tiles> loadTiles(const std::string& folder, ArtworkBudget& budget,
                               std::vector<FileIdentity>& filesRead) {
  Tiles tiles;
  for (std::size_t shade = 0; shade < kTileFiles.size(); ++shade) {
    const std::string path = inFolder(folder, kTileFiles.at(shade));
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
      return std::nullopt;
    }
    Tile& tile = tiles.at(shade);
    const unsigned error =
        loadInto(path, ArtworkRole::sprite, tile.picture, budget, filesRead);
    if (error == 0 && (tile.picture.width == 0 || tile.picture.height == 0)) {
      throw Error("cannot load " + path + ": a tile of no pixels");
    }
    if (error != 0) {
      throw Error("cannot load " + path + ": " + decodeErrorText(error));
    }
    std::ifstream file(path, std::ios::binary);
    tile.png.assign(std::istreambuf_iterator<char>(file),
                    std::istreambuf_iterator<char>());
    if (!file && !file.eof()) {
      throw Error("cannot read " + path);
    }
  }
  return tiles;
}

// Loads a board picture, its squares painted from tiles when there are
// some; throws a Failure when it cannot be used.
void loadBoard(const std::string& path, const std::string& hint,
               ImageBuffer& board, ArtworkBudget& budget,
               std::vector<FileIdentity>& filesRead,
               const std::optional<Tiles>& tiles) {
  const unsigned error =
      loadInto(path, ArtworkRole::board, board, budget, filesRead);
  if (error == codec::kErrorNotCanvasSize) {
    throw Error(path + " is " + std::to_string(board.width) + " x " +
                std::to_string(board.height) + " pixels, not 1024 x 1024" +
                hint);
  }
  if (error != 0) {
    throw Error("cannot load " + path + ": " + decodeErrorText(error) + hint);
  }
  if (tiles) {
    paintSquares(board, *tiles);
  }
}

}  // namespace

Artwork loadArtwork(const std::string& folder, const std::vector<Side>& sides) {
  ArtworkBudget unlimited;
  return loadArtwork(folder, sides, unlimited);
}

Artwork loadArtwork(const std::string& folder, const std::vector<Side>& sides,
                    ArtworkBudget& budget) {
  Artwork artwork;
  artwork.tiles = loadTiles(folder, budget, artwork.filesRead);
  loadBoard(
      inFolder(folder, kBoardFile),
      folder.empty() ? " (run tib in the folder that holds the artwork)" : "",
      artwork.boards[0], budget, artwork.filesRead, artwork.tiles);
  artwork.sprites =
      loadSprites(folder, budget, artwork.filesRead, artwork.warnings);
  // A missing or broken marker leaves the diagram without one, silently;
  // one refused for its cost is a warning, as a sprite's.
  for (const Side side : sides) {
    const char* file = markerFileName(side);
    const unsigned error = loadSprite(
        inFolder(folder, file), artwork.markers[static_cast<std::size_t>(side)],
        budget, artwork.filesRead);
    if (codec::isCostRefusal(error)) {
      artwork.warnings.push_back(warningFor(file, error));
    }
  }
  return artwork;
}

Sprites loadSprites(const std::string& folder, ArtworkBudget& budget,
                    std::vector<FileIdentity>& filesRead,
                    std::vector<std::string>& warnings) {
  Sprites sprites;
  for (std::size_t index = 0; index < kPieces.size(); ++index) {
    const std::string file = spriteFileName(kPieces[index]);
    const unsigned error =
        loadSprite(inFolder(folder, file), sprites[index], budget, filesRead);
    if (error != 0) {
      warnings.push_back(warningFor(file, error));
    }
  }
  return sprites;
}

void loadOtherBoards(const std::string& folder, ArtworkBudget& budget,
                     Boards& boards) {
  std::vector<FileIdentity> filesRead;
  std::optional<std::optional<Tiles>> tiles;
  for (std::size_t index = 1; index < kBoardFiles.size(); ++index) {
    const std::string path = inFolder(folder, kBoardFiles[index]);
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0) {
      if (!tiles) {
        tiles = loadTiles(folder, budget, filesRead);
      }
      loadBoard(path, "", boards[index], budget, filesRead, *tiles);
    }
  }
}

const ImageBuffer* boardPicture(const Artwork& artwork, std::size_t index) {
  const ImageBuffer& board = artwork.boards.at(index);
  return board.pixels.empty() ? nullptr : &board;
}

std::string defaultArtworkFolder() {
  std::error_code error;
  const std::filesystem::path program =
      std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path installed =
        program.parent_path().parent_path() / "share" / "tib";
    if (std::filesystem::exists(installed / kBoardFile, error)) {
      return installed.string();
    }
  }
  return "artwork";
}

}  // namespace tib
