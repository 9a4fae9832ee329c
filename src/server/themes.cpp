#include "server/themes.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

#include "server/failure.h"
#include "server/hash.h"
#include "server/text.h"
#include "tib/board/error.h"

namespace tib {

namespace {

namespace fs = std::filesystem;

constexpr const char* kChanged =
    " changed since tib-server started; restart it to serve the new artwork";

constexpr std::array<unsigned char, 8> kPngSignature{0x89, 'P',  'N',  'G',
                                                     '\r', '\n', 0x1a, '\n'};

std::optional<std::vector<unsigned char>> fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

bool isPng(const std::vector<unsigned char>& bytes) {
  return bytes.size() >= kPngSignature.size() &&
         std::equal(kPngSignature.begin(), kPngSignature.end(), bytes.begin());
}

// A board's size as its header says it, before anything is decoded.
void checkBoardHeader(const fs::path& path,
                      const std::vector<unsigned char>& bytes) {
  // The signature, IHDR's length and name, then its width and height.
  constexpr std::size_t kWidthAt = 16;
  if (!isPng(bytes) || bytes.size() < kWidthAt + 8) {
    throw Error("cannot load " + path.string() + ": not a PNG file");
  }
  const auto bigEndian = [&bytes](std::size_t at) {
    return uint32_t{bytes[at]} << 24U | uint32_t{bytes[at + 1]} << 16U |
           uint32_t{bytes[at + 2]} << 8U | uint32_t{bytes[at + 3]};
  };
  const uint32_t width = bigEndian(kWidthAt);
  const uint32_t height = bigEndian(kWidthAt + 4);
  if (width != codec::kBoardEdge || height != codec::kBoardEdge) {
    throw Error(path.string() + " is " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels, not 1024 x 1024");
  }
}

std::vector<std::string> spriteFiles() {
  std::vector<std::string> files(kPieces.size());
  std::transform(kPieces.begin(), kPieces.end(), files.begin(), spriteFileName);
  return files;
}

std::vector<std::string> themeFiles() {
  std::vector<std::string> files(kBoardFiles.begin(), kBoardFiles.end());
  const std::vector<std::string> sprites = spriteFiles();
  files.insert(files.end(), sprites.begin(), sprites.end());
  files.emplace_back(markerFileName(Side::white));
  files.emplace_back(markerFileName(Side::black));
  return files;
}

// What start learns of a folder's files without decoding them.
struct FolderFiles {
  uint64_t identity = kHashStart;
  // Whether each file of the list read is there.
  std::vector<bool> present;
  // The files that are not there or no PNG files.
  std::vector<std::string> unusable;
};

// Reads each file of files in folder; checks the boards' headers when
// boards is set.
FolderFiles readFolder(const std::string& folder,
                       const std::vector<std::string>& files, bool boards) {
  FolderFiles read;
  for (const std::string& file : files) {
    const fs::path path = fs::path(folder) / file;
    const std::optional<std::vector<unsigned char>> bytes = fileBytes(path);
    read.present.push_back(bytes.has_value());
    read.identity = hashBytes(read.identity, file.data(), file.size() + 1);
    if (!bytes) {
      read.unusable.push_back(file);
      continue;
    }
    const uint64_t length = bytes->size();
    read.identity = hashBytes(read.identity, &length, sizeof length);
    read.identity = hashBytes(read.identity, bytes->data(), bytes->size());
    const bool board = std::find(kBoardFiles.begin(), kBoardFiles.end(),
                                 file) != kBoardFiles.end();
    if (board && boards) {
      checkBoardHeader(path, *bytes);
    } else if (!isPng(*bytes)) {
      read.unusable.push_back(file);
    }
  }
  return read;
}

// The vectors of a folder of pieces, when it has them.
template <typename Folder>
void loadVectors(const std::string& folder, Folder& loaded) {
  if (std::optional<PieceVectors> vectors = loadPieceVectors(folder)) {
    uint64_t hash = kHashStart;
    for (const std::string& group : vectors->groups) {
      hash = hashBytes(hash, group.data(), group.size());
    }
    loaded.vectorIdentity =
        hashBytes(hash, vectors->shared.data(), vectors->shared.size());
    loaded.vectors = std::make_shared<const PieceVectors>(std::move(*vectors));
  }
}

// A sprite that cannot be used leaves its piece undrawn, as tib does.
void warnUnusable(const std::string& label, const std::string& folder,
                  const FolderFiles& read, std::ostream& log) {
  for (const std::string& file : spriteFiles()) {
    if (std::find(read.unusable.begin(), read.unusable.end(), file) !=
        read.unusable.end()) {
      log << kServerPrefix << label << " (" << printableText(folder)
          << "): Warning: Could not load " << file
          << "; served without that piece\n";
    }
  }
}

Theme readTheme(const std::string& name, const std::string& folder,
                std::ostream& log) {
  Theme theme;
  const FolderFiles read = readFolder(folder, themeFiles(), true);
  theme.identity = read.identity;
  theme.folder = fs::canonical(folder).string();
  std::copy_n(read.present.begin(), kBoardFiles.size(), theme.boards.begin());
  warnUnusable(name.empty() ? "default theme" : "theme " + printableText(name),
               folder, read, log);
  loadVectors(folder, theme);
  return theme;
}

PieceSet readPieceSet(const std::string& name, const std::string& folder,
                      std::ostream& log) {
  PieceSet set;
  const FolderFiles read = readFolder(folder, spriteFiles(), false);
  set.identity = read.identity;
  set.folder = fs::canonical(folder).string();
  warnUnusable("piece set " + printableText(name), folder, read, log);
  loadVectors(folder, set);
  return set;
}

// The names of the subfolders of folder/kind holding file, sorted.
std::vector<std::string> subfolderNames(const std::string& folder,
                                        const char* kind,
                                        const std::string& file) {
  const fs::path themes = fs::path(folder) / kind;
  std::vector<std::string> names;
  std::error_code error;
  if (!fs::is_directory(themes, error)) {
    return names;
  }
  fs::directory_iterator entry(themes, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    std::error_code ignored;
    if (entry->is_directory(ignored) &&
        fs::exists(entry->path() / file, ignored)) {
      names.push_back(entry->path().filename().string());
    }
  }
  if (error) {
    throw StartError("cannot list " + themes.string() + ": " + error.message());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

Served loadServed(const std::string& folder, std::size_t maxArtworkBytes,
                  std::ostream& log) {
  Served served;
  Theme standard = readTheme("", folder, log);
  ArtworkBudget budget;
  budget.limit = maxArtworkBytes;
  auto artwork = std::make_shared<Artwork>(
      loadArtwork(folder, {Side::white, Side::black}, budget));
  loadOtherBoards(folder, budget, artwork->boards);
  standard.artwork = std::move(artwork);
  std::string list;
  for (const std::string& name : subfolderNames(folder, "themes", kBoardFile)) {
    Theme theme =
        readTheme(name, (fs::path(folder) / "themes" / name).string(), log);
    // Another name of the default folder shares its decoded artwork.
    if (theme.folder == standard.folder) {
      theme.artwork = standard.artwork;
    }
    served.themes.emplace(name, std::move(theme));
    list += (list.empty() ? "" : ", ") + printableText(name);
  }
  served.themes.emplace("", standard);
  // The name that URLs made for other services give the default board.
  served.themes.emplace(kDefaultThemeAlias, standard);
  std::string sets;
  for (const std::string& name :
       subfolderNames(folder, "pieces", spriteFileName(kPieces.front()))) {
    served.pieceSets.emplace(
        name,
        readPieceSet(name, (fs::path(folder) / "pieces" / name).string(), log));
    sets += (sets.empty() ? "" : ", ") + printableText(name);
  }
  log << kServerPrefix << "artwork from " << printableText(folder)
      << ": the default theme" << (list.empty() ? "" : " and themes " + list)
      << (sets.empty() ? "" : "; piece sets " + sets) << "; the default theme "
      << (budget.used >> 20) << " MiB decoded, the others when first drawn\n";
  served.decoded = std::make_shared<ArtworkCache>(maxArtworkBytes, budget.used);
  // Without a font the bars and glyphs cannot be drawn: refused at start.
  served.lettering = std::make_shared<const Lettering>();
  served.labels = std::make_shared<const LabelGlyphs>(labelGlyphs());
  return served;
}

void checkUnchanged(const Theme& theme) {
  if (readFolder(theme.folder, themeFiles(), false).identity !=
      theme.identity) {
    throw Error(theme.folder + kChanged);
  }
}

void checkUnchanged(const PieceSet& set) {
  if (readFolder(set.folder, spriteFiles(), false).identity != set.identity) {
    throw Error(set.folder + kChanged);
  }
}

bool hasBoard(const Theme& theme, std::size_t index) {
  return theme.artwork ? boardPicture(*theme.artwork, index) != nullptr
                       : theme.boards.at(index);
}

std::shared_ptr<const Artwork> artworkOf(const Served& served,
                                         const Theme& theme) {
  if (theme.artwork || !served.decoded) {
    return theme.artwork;
  }
  const std::size_t limit = served.decoded->usage().limit;
  return served.decoded->get<Artwork>(
      {ArtworkKind::theme, theme.folder}, [&theme, limit] {
        checkUnchanged(theme);
        ArtworkBudget budget;
        budget.limit = limit;
        auto artwork = std::make_shared<Artwork>(
            loadArtwork(theme.folder, {Side::white, Side::black}, budget));
        loadOtherBoards(theme.folder, budget, artwork->boards);
        return Made{std::move(artwork), budget.used};
      });
}

std::shared_ptr<const Sprites> spritesOf(const Served& served,
                                         const PieceSet& set) {
  if (set.sprites || !served.decoded) {
    return set.sprites;
  }
  const std::size_t limit = served.decoded->usage().limit;
  return served.decoded->get<Sprites>(
      {ArtworkKind::pieces, set.folder}, [&set, limit] {
        checkUnchanged(set);
        ArtworkBudget budget;
        budget.limit = limit;
        std::vector<FileIdentity> filesRead;
        std::vector<std::string> warnings;
        auto sprites = std::make_shared<const Sprites>(
            loadSprites(set.folder, budget, filesRead, warnings));
        return Made{std::move(sprites), budget.used};
      });
}

Drawn drawnOf(const Served& served, const Theme& theme, const PieceSet* set) {
  Drawn drawn;
  drawn.artwork = artworkOf(served, theme);
  if (!drawn.artwork) {
    throw Error("cannot render: the theme's artwork is not loaded");
  }
  drawn.pieces = set != nullptr ? spritesOf(served, *set)
                                : std::shared_ptr<const Sprites>(
                                      drawn.artwork, &drawn.artwork->sprites);
  if (!drawn.pieces) {
    throw Error("cannot render: the piece set is not loaded");
  }
  return drawn;
}

}  // namespace tib
