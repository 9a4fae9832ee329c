#include "tib/board/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "codec/file_descriptor.h"
#include "tib/board/error.h"

namespace tib {

using codec::FileDescriptor;

namespace {

[[noreturn]] void fail(const std::string& path, int error) {
  throw Error("cannot write " + path + ": " + std::strerror(error));
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void refuseArtwork(const std::string& path, const struct stat& info,
                   const std::vector<FileIdentity>& artworkFiles) {
  if (std::any_of(artworkFiles.begin(), artworkFiles.end(),
                  [&](const FileIdentity& file) {
                    return file.device == info.st_dev &&
                           file.inode == info.st_ino;
                  })) {
    throw Error("cannot write " + path +
                ": it is one of the artwork files this run reads");
  }
}

// A new file ".tib-XXXXXX" in a folder, removed again unless kept.
class Temporary {
 public:
  explicit Temporary(const std::string& folder)
      : path_(folder + "/.tib-XXXXXX"),
        file_(mkostemp(path_.data(), O_CLOEXEC)) {}
  ~Temporary() {
    if (made_ && !kept_) {
      unlink(path_.c_str());
    }
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  [[nodiscard]] bool made() const { return made_; }
  [[nodiscard]] int fd() const { return file_.get(); }
  bool closeNow() { return file_.closeNow(); }
  [[nodiscard]] const std::string& path() const { return path_; }
  void keep() { kept_ = true; }

 private:
  std::string path_;
  FileDescriptor file_;
  bool made_ = file_.get() >= 0;
  bool kept_ = false;
};

// Writes every byte from the current offset, retrying short writes and
// interruptions; false with errno set when a write fails.
bool writeAll(int fd, const std::vector<unsigned char>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      if (put == 0) {
        errno = EIO;  // a write that makes no progress would loop forever
      }
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// The folder a path names its last component in: "." for a bare name.
std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// What open(path, O_CREAT, 0666) gives a new file.
mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// The name a dangling symlink leads to, following a chain of links as the
// system would; path itself when it is not a symlink.
std::string finalName(const std::string& path) {
  std::string name = path;
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat info {};
    if (lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return name;
    }
    std::array<char, PATH_MAX> text{};
    const ssize_t length = readlink(name.c_str(), text.data(), text.size());
    if (length < 0 || static_cast<std::size_t>(length) >= text.size()) {
      fail(path, length < 0 ? errno : ENAMETOOLONG);
    }
    const std::string target(text.data(), static_cast<std::size_t>(length));
    if (target.empty() || target.front() != '/') {
      name = folderOf(name);
      name += '/';
      name += target;
    } else {
      name = target;
    }
  }
  fail(path, ELOOP);
}

// Writes the whole file into temporary and closes it. A full disk returns
// false (a second copy may not fit where the bytes themselves do); any other
// failure throws.
bool fillTemporary(const std::string& path, Temporary& temporary,
                   const std::vector<unsigned char>& bytes) {
  if (writeAll(temporary.fd(), bytes) && temporary.closeNow()) {
    return true;
  }
  if (errno == ENOSPC || errno == EDQUOT) {
    return false;
  }
  fail(path, errno);
}

// A path that does not exist, or a dangling symlink: create the file the
// open would create, complete before it gets its name.
void writeNewFile(const std::string& path,
                  const std::vector<unsigned char>& bytes) {
  if (path.back() == '/') {
    fail(path, EISDIR);  // what open gives for a name that must be a folder
  }
  const std::string target = finalName(path);
  Temporary temporary(folderOf(target));
  if (!temporary.made()) {
    fail(path, errno);
  }
  if (fchmod(temporary.fd(), newFileMode()) != 0) {
    fail(path, errno);
  }
  if (!fillTemporary(path, temporary, bytes)) {
    fail(path, errno);
  }
  if (rename(temporary.path().c_str(), target.c_str()) != 0) {
    fail(path, errno);
  }
  temporary.keep();
}

// True when the process holds the file as standard input, output or error:
// whoever opened it for us goes on using that file, not a replacement.
bool isStandardStream(const struct stat& info) {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    struct stat stream {};
    if (fstat(fd, &stream) == 0 && sameFile(stream, info)) {
      return true;
    }
  }
  return false;
}

// Replaces the open regular file by a complete new one where nobody can
// tell the difference but by its inode number. False when that cannot be
// done invisibly; nothing has changed then.
bool replaceWhole(const std::string& path, int fd, const struct stat& info,
                  const std::vector<unsigned char>& bytes) {
  // Other links would keep the old diagram; the holder of a standard
  // stream would keep writing to it; extended attributes (access control
  // lists among them) would be lost.
  if (info.st_nlink != 1 || isStandardStream(info) ||
      flistxattr(fd, nullptr, 0) > 0) {
    return false;
  }
  // The file's own name; a path through symlinks or /proc leads here.
  std::array<char, PATH_MAX> resolved{};
  struct stat named {};
  if (realpath(path.c_str(), resolved.data()) == nullptr ||
      stat(resolved.data(), &named) != 0 || !sameFile(named, info)) {
    return false;
  }
  Temporary temporary(folderOf(resolved.data()));
  if (!temporary.made()) {
    return false;  // the folder takes no new file: write in place
  }
  // Owner and group, then the mode, since a change of owner clears the
  // set-ID bits; a bit the system drops on its own shows in the check.
  const mode_t mode = info.st_mode & 07777;
  const auto kept = [&](const struct stat& made) {
    return made.st_uid == info.st_uid && made.st_gid == info.st_gid;
  };
  struct stat made {};
  if (fstat(temporary.fd(), &made) != 0 ||
      (!kept(made) && fchown(temporary.fd(), info.st_uid, info.st_gid) != 0) ||
      fchmod(temporary.fd(), mode) != 0 || fstat(temporary.fd(), &made) != 0 ||
      !kept(made) || (made.st_mode & 07777) != mode) {
    return false;
  }
  if (!fillTemporary(path, temporary, bytes) ||
      rename(temporary.path().c_str(), resolved.data()) != 0) {
    return false;
  }
  temporary.keep();
  return true;
}

// Makes sure the file has room for length bytes, changing no byte of it;
// a file system that cannot reserve space is written without.
void reserve(const std::string& path, int fd, const struct stat& info,
             off_t length) {
  int result = 0;
  do {
    result = fallocate(fd, 0, 0, length);
  } while (result != 0 && errno == EINTR);
  if (result == 0 || errno == EOPNOTSUPP || errno == ENOSYS) {
    return;
  }
  const int error = errno;
  struct stat now {};
  if (fstat(fd, &now) == 0 && now.st_size != info.st_size) {
    // Undo a partial reservation that grew the file.
    static_cast<void>(ftruncate(fd, info.st_size));
  }
  fail(path, error);
}

// The open file takes the new bytes itself. A regular file gets its new
// length reserved first and is cut to it after; a device or FIFO is written
// from its start, as the codec's open leaves it.
void writeInPlace(const std::string& path, FileDescriptor& file,
                  const struct stat& info,
                  const std::vector<unsigned char>& bytes) {
  const bool regular = S_ISREG(info.st_mode);
  const auto length = static_cast<off_t>(bytes.size());
  if (regular) {
    reserve(path, file.get(), info, length);
  }
  if (!writeAll(file.get(), bytes) ||
      (regular && ftruncate(file.get(), length) != 0) || !file.closeNow()) {
    fail(path, errno);
  }
}

}  // namespace

void writeOutputFile(const std::string& path,
                     const std::vector<unsigned char>& bytes,
                     const std::vector<FileIdentity>& artworkFiles) {
  if (path.empty()) {
    throw Error(
        "cannot write the diagram: the output path is empty "
        "(give one with file=<output.png>)");
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      fail(path, errno);
    }
    writeNewFile(path, bytes);
    return;
  }
  // The open the codec makes, less the truncation: it refuses what that
  // open refuses (a file the user may not write, a folder, a read-only file
  // system) and blocks on a FIFO until a reader comes, as that open does.
  FileDescriptor file(
      open(path.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666));
  if (file.get() < 0) {
    fail(path, errno);
  }
  if (fstat(file.get(), &info) != 0) {
    fail(path, errno);
  }
  refuseArtwork(path, info, artworkFiles);
  if (S_ISREG(info.st_mode) && replaceWhole(path, file.get(), info, bytes)) {
    return;
  }
  writeInPlace(path, file, info, bytes);
}

}  // namespace tib
