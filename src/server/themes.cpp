#include "server/themes.h"

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <system_error>
#include <vector>

#include "server/text.h"
#include "tib/failure.h"

namespace tib {

namespace {

uint64_t hashImage(uint64_t state, const ImageBuffer& image) {
  state = hashBytes(state, &image.width, sizeof image.width);
  state = hashBytes(state, &image.height, sizeof image.height);
  const uint64_t length = image.pixels.size();
  state = hashBytes(state, &length, sizeof length);
  return hashBytes(state, image.pixels.data(), image.pixels.size());
}

Theme loadTheme(const std::string& name, const std::string& folder,
                std::ostream& log) {
  Theme theme;
  theme.artwork = loadArtwork(folder, {Side::white, Side::black});
  theme.identity = artworkIdentity(theme.artwork);
  const std::string label =
      name.empty() ? "default theme" : "theme " + printableText(name);
  for (const std::string& warning : theme.artwork.warnings) {
    log << kServerPrefix << label << " (" << folder << "): " << warning
        << "; served without that piece\n";
  }
  return theme;
}

// The names of the subfolders of folder/themes holding a board, sorted.
std::vector<std::string> themeNames(const std::string& folder) {
  namespace fs = std::filesystem;
  const fs::path themes = fs::path(folder) / "themes";
  std::vector<std::string> names;
  std::error_code error;
  if (!fs::is_directory(themes, error)) {
    return names;
  }
  fs::directory_iterator entry(themes, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    std::error_code ignored;
    if (entry->is_directory(ignored) &&
        fs::exists(entry->path() / kBoardFile, ignored)) {
      names.push_back(entry->path().filename().string());
    }
  }
  if (error) {
    throw Failure(ExitStatus::failed,
                  "cannot list " + themes.string() + ": " + error.message());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

uint64_t artworkIdentity(const Artwork& artwork) {
  const uint64_t board = hashImage(kHashStart, artwork.board);
  const uint64_t sprites = std::accumulate(
      artwork.sprites.begin(), artwork.sprites.end(), board, hashImage);
  return std::accumulate(artwork.markers.begin(), artwork.markers.end(),
                         sprites, hashImage);
}

Themes loadThemes(const std::string& folder, std::ostream& log) {
  Themes themes;
  themes.emplace("", loadTheme("", folder, log));
  std::string list;
  for (const std::string& name : themeNames(folder)) {
    const std::string themeFolder =
        (std::filesystem::path(folder) / "themes" / name).string();
    themes.emplace(name, loadTheme(name, themeFolder, log));
    list += (list.empty() ? "" : ", ") + printableText(name);
  }
  log << kServerPrefix << "artwork from " << folder << ": the default theme"
      << (list.empty() ? "" : " and themes " + list) << "\n";
  return themes;
}

}  // namespace tib
