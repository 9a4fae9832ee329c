// The page tib-server answers at /, tried in headless Chromium.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "server/request.h"
#include "test_support.h"

namespace tib {

namespace {

// The program's path by the PATH variable; empty when it is not there.
std::filesystem::path onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path == nullptr ? "" : path);
  for (std::string folder; std::getline(folders, folder, ':');) {
    std::filesystem::path candidate = std::filesystem::path(folder) / program;
    if (access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return {};
}

}  // namespace

void checkPageInChromium(
    uint16_t port,
    const std::vector<std::pair<std::string, std::string>>& fields) {
  const std::filesystem::path chromium = onPath("chromium");
  const std::filesystem::path node = onPath("node");
  if (chromium.empty() || node.empty()) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") {
      FAIL() << "chromium and node are needed for the page test";
    }
    GTEST_SKIP() << "chromium or node is not installed";
  }
  const TempDir scratch;
  const std::string origin = "http://127.0.0.1:" + std::to_string(port);
  // The driver stops the browser and itself within a minute.
  std::vector<std::string> args = {
      TIB_PAGE_DRIVER, chromium.string(), origin + "/",
      (scratch.path() / "profile").string(), scratch.path().string()};
  for (const auto& [name, value] : fields) {
    args.push_back(name);
    args.back().append("=").append(value);
  }
  const RunResult run = runProgram(node.string(), scratch.path(), args);
  ASSERT_EQ(0, run.status) << run.out << run.err;

  std::map<std::string, std::string> seen;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t space = line.find(' ');
    seen[line.substr(0, space)] =
        space == std::string::npos ? "" : line.substr(space + 1);
  }
  // The URL shown asks for what was typed, and the image shows it.
  const std::string shown = seen["shown"];
  EXPECT_EQ(origin + shown, seen["src"]);
  EXPECT_EQ(fields, decodeQuery(shown.substr(shown.find('?') + 1)));
  const auto size =
      std::find_if(fields.begin(), fields.end(), [](const auto& f) {
        return f.first == "size";
      })->second;
  EXPECT_EQ("", seen["error"]);
  EXPECT_EQ(size, seen["width"]);
  EXPECT_EQ(size, seen["height"]);
  const std::string loaded = readText(scratch.path() / "loaded.png");
  EXPECT_FALSE(loaded.empty());
  EXPECT_TRUE(loaded == readText(scratch.path() / "shown.png"));
  const ImageBuffer image = readPng(scratch.path() / "loaded.png");
  EXPECT_EQ(size, std::to_string(image.width));
}

}  // namespace tib
