#include "server/themes.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <system_error>
#include <vector>

#include "server/failure.h"
#include "server/hash.h"
#include "server/text.h"

namespace tib {

namespace {

uint64_t hashImage(uint64_t state, const ImageBuffer& image) {
  state = hashBytes(state, &image.width, sizeof image.width);
  state = hashBytes(state, &image.height, sizeof image.height);
  const uint64_t length = image.pixels.size();
  state = hashBytes(state, &length, sizeof length);
  return hashBytes(state, image.pixels.data(), image.pixels.size());
}

// The folder's device and inode: two names of one folder share them.
std::pair<dev_t, ino_t> folderIdentity(const std::string& folder) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) {
    return {0, 0};
  }
  return {info.st_dev, info.st_ino};
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

Theme loadTheme(const std::string& name, const std::string& folder,
                ArtworkBudget& budget, std::ostream& log) {
  Theme theme;
  auto artwork = std::make_shared<Artwork>(
      loadArtwork(folder, {Side::white, Side::black}, budget));
  loadOtherBoards(folder, budget, artwork->boards);
  theme.identity = artworkIdentity(*artwork);
  const std::string label =
      name.empty() ? "default theme" : "theme " + printableText(name);
  for (const std::string& warning : artwork->warnings) {
    log << kServerPrefix << label << " (" << printableText(folder)
        << "): " << warning << "; served without that piece\n";
  }
  theme.artwork = std::move(artwork);
  loadVectors(folder, theme);
  return theme;
}

PieceSet loadPieceSet(const std::string& name, const std::string& folder,
                      ArtworkBudget& budget, std::ostream& log) {
  std::vector<FileIdentity> filesRead;
  std::vector<std::string> warnings;
  auto sprites = std::make_shared<Sprites>(
      loadSprites(folder, budget, filesRead, warnings));
  for (const std::string& warning : warnings) {
    log << kServerPrefix << "piece set " << printableText(name) << " ("
        << printableText(folder) << "): " << warning
        << "; served without that piece\n";
  }
  PieceSet set;
  set.identity =
      std::accumulate(sprites->begin(), sprites->end(), kHashStart, hashImage);
  set.sprites = std::move(sprites);
  loadVectors(folder, set);
  return set;
}

// The names of the subfolders of folder/kind holding file, sorted.
std::vector<std::string> subfolderNames(const std::string& folder,
                                        const char* kind,
                                        const std::string& file) {
  namespace fs = std::filesystem;
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

uint64_t artworkIdentity(const Artwork& artwork) {
  const uint64_t board = std::accumulate(
      artwork.boards.begin(), artwork.boards.end(), kHashStart, hashImage);
  const uint64_t sprites = std::accumulate(
      artwork.sprites.begin(), artwork.sprites.end(), board, hashImage);
  return std::accumulate(artwork.markers.begin(), artwork.markers.end(),
                         sprites, hashImage);
}

Served loadServed(const std::string& folder, std::size_t maxArtworkBytes,
                  std::ostream& log) {
  namespace fs = std::filesystem;
  ArtworkBudget budget;
  budget.limit = maxArtworkBytes;
  std::map<std::pair<dev_t, ino_t>, Theme> byFolder;
  const auto load = [&](const std::string& name, const std::string& path) {
    const std::pair<dev_t, ino_t> identity = folderIdentity(path);
    const auto known = byFolder.find(identity);
    if (known != byFolder.end() && identity.second != 0) {
      return known->second;
    }
    Theme theme = loadTheme(name, path, budget, log);
    byFolder.emplace(identity, theme);
    return theme;
  };
  Served served;
  served.themes.emplace("", load("", folder));
  std::string list;
  for (const std::string& name : subfolderNames(folder, "themes", kBoardFile)) {
    served.themes.emplace(
        name, load(name, (fs::path(folder) / "themes" / name).string()));
    list += (list.empty() ? "" : ", ") + printableText(name);
  }
  // The name that URLs made for other services give the default board.
  served.themes.emplace(kDefaultThemeAlias, served.themes.at(""));
  std::string sets;
  for (const std::string& name :
       subfolderNames(folder, "pieces", spriteFileName(kPieces.front()))) {
    served.pieceSets.emplace(
        name, loadPieceSet(name, (fs::path(folder) / "pieces" / name).string(),
                           budget, log));
    sets += (sets.empty() ? "" : ", ") + printableText(name);
  }
  log << kServerPrefix << "artwork from " << printableText(folder)
      << ": the default theme" << (list.empty() ? "" : " and themes " + list)
      << (sets.empty() ? "" : "; piece sets " + sets) << ", "
      << (budget.used >> 20) << " MiB decoded\n";
  // Without a font the bars and glyphs cannot be drawn: refused at start.
  served.lettering = std::make_shared<const Lettering>();
  served.palettes = std::make_shared<Palettes>(*served.lettering);
  served.labels = std::make_shared<const LabelGlyphs>(labelGlyphs());
  return served;
}

}  // namespace tib
