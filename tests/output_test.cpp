// Writing the output: the result of the codec's open-and-truncate, decided by
// the file's type and state, with the old file kept whole on every failure.
// Most cases call writeOutputFile directly; the permission cases run it as
// the user nobody and the full-disk cases on a small tmpfs, both only as
// root. A replace shows as a new inode, a write in place keeps the inode.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"
#include "tib/board/artwork.h"
#include "tib/board/error.h"
#include "tib/board/output_file.h"

namespace tib {

namespace fs = std::filesystem;

namespace {

// Bytes that differ from one call to the next, so no write can pass for
// another.
std::string pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761U + 1;
  for (char& byte : bytes) {
    state = state * 1664525U + 1013904223U;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

// Writes bytes to path; the failure's message, or "" when it succeeded.
std::string tryWrite(const fs::path& path, const std::string& bytes,
                     const std::vector<FileIdentity>& artwork = {}) {
  try {
    writeOutputFile(path.string(),
                    std::vector<unsigned char>(bytes.begin(), bytes.end()),
                    artwork);
    return "";
  } catch (const Error& failure) {
    return failure.what();
  }
}

struct stat statOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(0, lstat(path.c_str(), &info)) << path;
  return info;
}

FileIdentity identityOf(const fs::path& path) {
  const struct stat info = statOf(path);
  return FileIdentity{info.st_dev, info.st_ino};
}

// The temporary files left in folder.
std::vector<std::string> temporaries(const fs::path& folder) {
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(".tib-", 0) == 0) {
      left.push_back(name);
    }
  }
  return left;
}

bool isRoot() { return geteuid() == 0; }

struct User {
  uid_t uid;
  gid_t gid;
};

User nobody() {
  const passwd* entry = getpwnam("nobody");
  return entry == nullptr ? User{65534, 65534}
                          : User{entry->pw_uid, entry->pw_gid};
}

// Runs job in a child process that has become user; what job returned.
std::string runAs(const User& user, const std::function<std::string()>& job) {
  std::array<int, 2> channel{};
  if (pipe(channel.data()) != 0) {
    return "no pipe";
  }
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    std::string result = "cannot become the user";
    if (setgroups(0, nullptr) == 0 && setgid(user.gid) == 0 &&
        setuid(user.uid) == 0) {
      result = job();
    }
    const char* data = result.data();
    std::size_t left = result.size();
    while (left > 0) {
      const ssize_t put = write(channel[1], data, left);
      if (put <= 0) {
        break;
      }
      data += put;
      left -= static_cast<std::size_t>(put);
    }
    _exit(0);
  }
  close(channel[1]);
  std::string result;
  std::array<char, 256> buffer{};
  ssize_t got = 0;
  while ((got = read(channel[0], buffer.data(), buffer.size())) > 0) {
    result.append(buffer.data(), static_cast<std::size_t>(got));
  }
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return result;
}

// A tmpfs of a few pages, mounted while it lives (root only).
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& size) : path_(dir_.path() / "disk") {
    fs::create_directory(path_);
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID,
                     ("size=" + size + ",mode=0755").c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) {
      umount2(path_.c_str(), MNT_DETACH);
    }
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }
  const fs::path& path() const { return path_; }

  // Takes every free block with one more file.
  void fill() const {
    const int fd =
        open((path_ / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    EXPECT_EQ(ENOSPC, errno);
    close(fd);
  }

 private:
  TempDir dir_;
  fs::path path_;
  bool mounted_ = false;
};

class OutputTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(temporaries(dir.path()).empty()) << "a temporary file is left";
  }
  TempDir dir;
};

// Sets the umask for one scope.
class Umask {
 public:
  explicit Umask(mode_t mask) : old_(umask(mask)) {}
  ~Umask() { umask(old_); }
  Umask(const Umask&) = delete;
  Umask& operator=(const Umask&) = delete;

 private:
  mode_t old_;
};

TEST_F(OutputTest, NewFileTakesTheModeOpenGivesIt) {
  const struct {
    mode_t mask;
    mode_t mode;
  } cases[] = {{022, 0644}, {077, 0600}, {0, 0666}, {027, 0640}};
  for (const auto& c : cases) {
    const Umask mask(c.mask);
    const fs::path path = dir.path() / ("new-" + std::to_string(c.mask));
    const std::string bytes = pattern(5000, c.mask);
    ASSERT_EQ("", tryWrite(path, bytes));
    EXPECT_EQ(bytes, readText(path));
    EXPECT_EQ(c.mode, statOf(path).st_mode & 07777) << "umask " << c.mask;
  }
}

TEST_F(OutputTest, SymlinksAreFollowedAndStay) {
  const fs::path& d = dir.path();
  fs::create_directory(d / "sub");
  writeBytes(d / "old.png", pattern(9000, 1));
  fs::permissions(d / "old.png", fs::perms::owner_read |
                                     fs::perms::owner_write |
                                     fs::perms::group_read);
  const struct {
    const char* what;
    std::vector<std::pair<fs::path, fs::path>> links;  // name, target text
    fs::path written;  // the file that must hold the diagram
    mode_t mode;
  } cases[] = {
      {"dangling", {{"a.png", "made-a.png"}}, "made-a.png", 0644},
      {"dangling, absolute", {{"b.png", d / "made-b.png"}}, "made-b.png", 0644},
      {"dangling chain",
       {{"c.png", "c2.png"}, {"c2.png", "sub/made-c.png"}},
       "sub/made-c.png",
       0644},
      // The second link is read against sub/, the folder it lies in.
      {"dangling chain across folders",
       {{"g.png", "sub/g2.png"}, {"sub/g2.png", "made-g.png"}},
       "sub/made-g.png",
       0644},
      {"dangling, relative to its own folder",
       {{"sub/e.png", "../made-e.png"}},
       "made-e.png",
       0644},
      {"to a file", {{"f.png", "old.png"}}, "old.png", 0640},
  };
  const Umask mask(022);
  unsigned seed = 10;
  for (const auto& c : cases) {
    for (const auto& [name, target] : c.links) {
      fs::create_symlink(target, d / name);
    }
    const std::string bytes = pattern(4000, ++seed);
    ASSERT_EQ("", tryWrite(d / c.links.front().first, bytes)) << c.what;
    for (const auto& link : c.links) {
      EXPECT_TRUE(fs::is_symlink(d / link.first)) << c.what;
    }
    EXPECT_EQ(bytes, readText(d / c.written)) << c.what;
    EXPECT_EQ(c.mode, statOf(d / c.written).st_mode & 07777) << c.what;
  }
  EXPECT_TRUE(temporaries(d / "sub").empty());
}

TEST_F(OutputTest, RegularFilesAreReplacedOnlyWhereNobodyCanTell) {
  const fs::path& d = dir.path();
  const struct {
    const char* what;
    // Makes the file (longer than the diagram) and returns the path to
    // write it through, or "" when this system cannot set the case up.
    std::function<fs::path(const fs::path& file)> setUp;
    bool replaced;
  } cases[] = {
      {"one link", [](const fs::path& file) { return file; }, true},
      {"a second hard link",
       [](const fs::path& file) {
         fs::create_hard_link(file, file.string() + ".other");
         return file;
       },
       false},
      {"through /proc/self/root",
       [](const fs::path& file) {
         return fs::path("/proc/self/root" + file.string());
       },
       true},
      {"an extended attribute",
       [](const fs::path& file) {
         return setxattr(file.c_str(), "user.tib", "1", 1, 0) == 0 ? file
                                                                   : fs::path();
       },
       false},
  };
  unsigned seed = 20;
  for (const auto& c : cases) {
    const fs::path file = d / (std::to_string(seed) + ".png");
    writeBytes(file, pattern(30000, seed));
    const fs::path path = c.setUp(file);
    if (path.empty()) {
      continue;
    }
    const ino_t before = statOf(file).st_ino;
    const std::string bytes = pattern(20000, ++seed);
    ASSERT_EQ("", tryWrite(path, bytes)) << c.what;
    EXPECT_EQ(bytes, readText(file)) << c.what;
    EXPECT_EQ(c.replaced, statOf(file).st_ino != before) << c.what;
    if (fs::exists(file.string() + ".other")) {
      EXPECT_EQ(bytes, readText(file.string() + ".other")) << c.what;
    }
  }
}

TEST_F(OutputTest, FilesUnderDevShmAreReplacedToo) {
  std::string name = "/dev/shm/tib-test-XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    GTEST_SKIP() << "no /dev/shm";
  }
  close(fd);
  writeBytes(name, pattern(30000, 30));
  const ino_t before = statOf(name).st_ino;
  const std::string bytes = pattern(20000, 31);
  EXPECT_EQ("", tryWrite(name, bytes));
  EXPECT_EQ(bytes, readText(name));
  EXPECT_NE(before, statOf(name).st_ino) << "written in place";
  fs::remove(name);
}

TEST_F(OutputTest, FifosAndDevicesAreWrittenNotReplaced) {
  const fs::path fifo = dir.path() / "fifo.png";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  // A reader that is already there; the diagram fits the pipe's buffer.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  const std::string bytes = pattern(10000, 40);
  EXPECT_EQ("", tryWrite(fifo, bytes));
  std::string got;
  std::array<char, 4096> buffer{};
  ssize_t size = 0;
  while ((size = read(reader, buffer.data(), buffer.size())) > 0) {
    got.append(buffer.data(), static_cast<std::size_t>(size));
  }
  close(reader);
  EXPECT_EQ(bytes, got);
  EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode)) << "the FIFO was replaced";

  const fs::path null = deviceNode(dir.path(), "/dev/null");
  EXPECT_EQ("", tryWrite(null, bytes)) << null;
  EXPECT_TRUE(S_ISCHR(statOf(null).st_mode)) << "the device was replaced";
}

TEST_F(OutputTest, ArtworkFilesAreRefusedUntouched) {
  const fs::path board = dir.path() / "t_board.png";
  const std::string old = pattern(3000, 50);
  writeBytes(board, old);
  fs::create_hard_link(board, dir.path() / "hard.png");
  fs::create_symlink("t_board.png", dir.path() / "soft.png");
  writeBytes(dir.path() / "t_wp.png", "sprite");
  const std::vector<FileIdentity> artwork = {
      identityOf(dir.path() / "t_wp.png"), identityOf(board)};
  for (const char* name : {"t_board.png", "hard.png", "soft.png"}) {
    const fs::path path = dir.path() / name;
    const std::string problem = tryWrite(path, pattern(100, 51), artwork);
    EXPECT_EQ("cannot write " + path.string() +
                  ": it is one of the artwork files this run reads",
              problem);
    EXPECT_EQ(old, readText(board)) << name;
  }
}

TEST_F(OutputTest, FailuresAreOpensFailuresAndKeepTheOldFile) {
  const fs::path& d = dir.path();
  fs::create_directory(d / "folder");
  writeBytes(d / "plain", "plain");
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {"", "the output path is empty"},
      {(d / "no/such/out.png").string(), "No such file or directory"},
      {(d / "folder").string(), "Is a directory"},
      {(d / "new-folder/").string(), "Is a directory"},
      {(d / "plain/out.png").string(), "Not a directory"},
      {deviceNode(d, "/dev/full").string(), "No space left on device"},
  };
  for (const auto& c : cases) {
    const std::string problem = tryWrite(c.path, pattern(100, 60));
    EXPECT_NE(std::string::npos, problem.find(c.reason))
        << c.path << ": " << problem;
    EXPECT_NE(std::string::npos, problem.find(c.path)) << problem;
  }
  fs::create_symlink("loop", d / "loop");
  EXPECT_NE(std::string::npos,
            tryWrite(d / "loop", "x").find("Too many levels of symbolic"));
  EXPECT_EQ("plain", readText(d / "plain"));
  EXPECT_FALSE(fs::exists(d / "new-folder"));
}

// Permissions, as the user nobody and as root: each case in a folder and
// with a file of its own owner and mode; the file starts longer than the
// diagram.
TEST_F(OutputTest, PermissionsAreThoseOfOpen) {
  if (!isRoot()) {
    GTEST_SKIP() << "needs root, to become nobody and to own files";
  }
  const User user = nobody();
  const User root{0, 0};
  enum class Result { replaced, inPlace, refused };
  const struct {
    const char* what;
    bool asNobody;
    mode_t folderMode;          // the folder is root's
    std::optional<User> owner;  // none: no file yet
    mode_t fileMode;
    Result result;
  } cases[] = {
      {"writable file, unwritable folder", true, 0755, root, 0666,
       Result::inPlace},
      {"read-only file, writable folder", true, 0777, user, 0444,
       Result::refused},
      {"another's writable file, writable folder", true, 0777, root, 0666,
       Result::inPlace},
      {"own file of a group not ours", true, 0777, User{user.uid, 0}, 0664,
       Result::inPlace},
      {"own file, writable folder", true, 0777, user, 0640, Result::replaced},
      {"new file, unwritable folder", true, 0755, std::nullopt, 0,
       Result::refused},
      {"root over a read-only file", false, 0755, root, 0444, Result::replaced},
      {"root over another's file", false, 0755, user, 0640, Result::replaced},
      {"root over a set-group-ID file", false, 0755, user, 02750,
       Result::replaced},
  };
  ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
  unsigned index = 0;
  for (const auto& c : cases) {
    const fs::path folder = dir.path() / std::to_string(++index);
    fs::create_directory(folder);
    ASSERT_EQ(0, chmod(folder.c_str(), c.folderMode));
    const fs::path file = folder / "out.png";
    const std::string old = pattern(30000, 70 + index);
    struct stat before {};
    if (c.owner) {
      writeBytes(file, old);
      ASSERT_EQ(0, chown(file.c_str(), c.owner->uid, c.owner->gid));
      ASSERT_EQ(0, chmod(file.c_str(), c.fileMode));
      before = statOf(file);
    }
    const std::string bytes = pattern(20000, 80 + index);
    const std::string problem =
        c.asNobody ? runAs(user, [&] { return tryWrite(file, bytes); })
                   : tryWrite(file, bytes);
    if (c.result == Result::refused) {
      EXPECT_EQ("cannot write " + file.string() + ": Permission denied",
                problem)
          << c.what;
      EXPECT_EQ(c.owner.has_value(), fs::exists(file)) << c.what;
      if (c.owner) {
        EXPECT_EQ(old, readText(file)) << c.what;
      }
    } else {
      EXPECT_EQ("", problem) << c.what;
      EXPECT_EQ(bytes, readText(file)) << c.what;
      const struct stat after = statOf(file);
      EXPECT_EQ(c.result == Result::replaced, after.st_ino != before.st_ino)
          << c.what;
      EXPECT_EQ(before.st_uid, after.st_uid) << c.what;
      EXPECT_EQ(before.st_gid, after.st_gid) << c.what;
      EXPECT_EQ(before.st_mode, after.st_mode) << c.what;
    }
    EXPECT_TRUE(temporaries(folder).empty()) << c.what;
  }
}

// On a full disk: a write in place reserves its length before it changes a
// byte; a replace with no room for a second copy writes in place where the
// diagram fits the old file's room, and else fails with the old file whole.
TEST_F(OutputTest, FullDiskKeepsTheOldFile) {
  if (!isRoot()) {
    GTEST_SKIP() << "needs root to mount a small tmpfs";
  }
  const struct {
    const char* what;
    std::size_t oldSize;  // 0: no file yet
    std::size_t newSize;
    bool secondLink;
    bool fits;
  } cases[] = {
      {"in place, no room", 4096, 65536, true, false},
      {"replace, no room for either", 4096, 65536, false, false},
      {"replace, room for one copy only", 65536, 8192, false, true},
      {"in place, room for one copy only", 65536, 8192, true, true},
      {"new file", 0, 65536, false, false},
  };
  unsigned seed = 90;
  for (const auto& c : cases) {
    const SmallDisk disk("512k");
    if (!disk.mounted()) {
      GTEST_SKIP() << "cannot mount a tmpfs";
    }
    const fs::path file = disk.path() / "out.png";
    const fs::path other = disk.path() / "other.png";
    const std::string old = pattern(c.oldSize, ++seed);
    if (c.oldSize != 0) {
      writeBytes(file, old);
      if (c.secondLink) {
        fs::create_hard_link(file, other);
      }
    }
    disk.fill();
    const std::string bytes = pattern(c.newSize, ++seed);
    const std::string problem = tryWrite(file, bytes);
    const std::string expected = c.fits ? bytes : old;
    if (c.fits) {
      EXPECT_EQ("", problem) << c.what;
    } else {
      EXPECT_EQ("cannot write " + file.string() + ": No space left on device",
                problem)
          << c.what;
    }
    EXPECT_EQ(c.oldSize != 0 || c.fits, fs::exists(file)) << c.what;
    if (fs::exists(file)) {
      EXPECT_EQ(expected, readText(file)) << c.what;
    }
    if (c.secondLink) {
      EXPECT_EQ(expected, readText(other)) << c.what;
    }
    EXPECT_TRUE(temporaries(disk.path()).empty()) << c.what;
  }
}

// A bare file name's temporary file is made in the working folder: on a
// file system of its own, one made anywhere else could not be renamed.
TEST_F(OutputTest, BareNameIsWrittenThroughTheWorkingFolder) {
  if (!isRoot()) {
    GTEST_SKIP() << "needs root to mount a small tmpfs";
  }
  const SmallDisk disk("512k");
  if (!disk.mounted()) {
    GTEST_SKIP() << "cannot mount a tmpfs";
  }
  const fs::path previous = fs::current_path();
  fs::current_path(disk.path());
  const std::string bytes = pattern(5000, 100);
  const std::string fresh = tryWrite("new.png", bytes);
  writeBytes("old.png", pattern(9000, 101));
  const std::string replaced = tryWrite("old.png", bytes);
  fs::current_path(previous);
  EXPECT_EQ("", fresh);
  EXPECT_EQ("", replaced);
  EXPECT_EQ(bytes, readText(disk.path() / "new.png"));
  EXPECT_EQ(bytes, readText(disk.path() / "old.png"));
  EXPECT_TRUE(temporaries(disk.path()).empty());
}

// Through the program: the run's own artwork and its standard output.
class OutputRunTest : public ::testing::Test {
 protected:
  void SetUp() override { writeArtwork(dir.path()); }
  TempDir dir;
};

TEST_F(OutputRunTest, ArtworkTheRunReadsIsNeverTheOutput) {
  const fs::path& d = dir.path();
  fs::create_symlink("t_wk.png", d / "soft.png");
  fs::create_hard_link(d / "t_w3.png", d / "hard.png");
  std::vector<std::pair<fs::path, std::string>> artwork;
  std::transform(fs::directory_iterator(d), fs::directory_iterator(),
                 std::back_inserter(artwork),
                 [](const fs::directory_entry& entry) {
                   return std::make_pair(entry.path(), readText(entry.path()));
                 });
  for (const char* name :
       {"t_board.png", "t_bq.png", "soft.png", "hard.png", "t_w3.png"}) {
    const RunResult result =
        runTibBinary(d, {"fen=8/8/8/8/8/8/8/8 w", std::string("file=") + name});
    EXPECT_EQ(1, result.status) << name;
    EXPECT_EQ(std::string("tib: cannot write ") + name +
                  ": it is one of the artwork files this run reads\n",
              result.err);
    for (const auto& [path, bytes] : artwork) {
      EXPECT_EQ(bytes, readText(path)) << path << " after file=" << name;
    }
  }
  // The black marker is not read when white is to move.
  const RunResult marker =
      runTibBinary(d, {"fen=8/8/8/8/8/8/8/8 w", "file=t_b3.png", "size=300"});
  EXPECT_EQ(0, marker.status) << marker.err;
  const RunResult later = runTibBinary(d, {"file=out.png", "size=300"});
  EXPECT_EQ(0, later.status) << later.err;
}

TEST_F(OutputRunTest, StandardOutputFileIsWrittenInPlace) {
  const TempDir elsewhere;
  const fs::path captured = elsewhere.path() / "captured.png";
  writeBytes(captured, pattern(300000, 110));
  const ino_t before = statOf(captured).st_ino;
  const RunResult result = runTibBinary(
      dir.path(), {"fen=8/8/8/8/8/8/8/8 b", "file=/dev/stdout", "size=300"},
      RunOptions{captured});
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ(before, statOf(captured).st_ino);
  expectSameImage(resampled(expectedCanvas({}, Side::black), 300),
                  readPng(captured), "/dev/stdout");
}

}  // namespace

}  // namespace tib
