#include "output.h"

#include <fcntl.h>
#include <lodepng.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "failure.h"

namespace {

std::string failure(const std::string& path, int error) {
  return "cannot write " + path + ": " + std::strerror(error);
}

// Writes every byte, retrying short writes and interruptions.
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

std::string writeInPlace(const std::string& path,
                         const std::vector<unsigned char>& bytes) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    return failure(path, errno);
  }
  if (!writeAll(fd, bytes)) {
    const int error = errno;
    close(fd);
    return failure(path, error);
  }
  if (close(fd) != 0) {
    return failure(path, errno);
  }
  return "";
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

std::string writeReplacing(const std::string& path, const std::string& target,
                           mode_t mode,
                           const std::vector<unsigned char>& bytes) {
  std::string temporary = folderOf(target) + "/.tib-XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    return failure(path, errno);
  }
  bool ok = fchmod(fd, mode) == 0 && writeAll(fd, bytes);
  int error = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (ok) {
    return "";
  }
  unlink(temporary.c_str());
  return failure(path, error);
}

bool hasPrefix(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

std::string writeFile(const std::string& path,
                      const std::vector<unsigned char>& bytes) {
  if (path.empty()) {
    return "cannot write the diagram: the output path is empty "
           "(give one with file=<output.png>)";
  }
  if (hasPrefix(path, "/dev/") || hasPrefix(path, "/proc/")) {
    return writeInPlace(path, bytes);
  }
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) {
      return writeInPlace(path, bytes);
    }
    // Replace the file itself, not a symlink that leads to it.
    std::array<char, PATH_MAX> resolved{};
    if (realpath(path.c_str(), resolved.data()) == nullptr) {
      return failure(path, errno);
    }
    return writeReplacing(path, resolved.data(), info.st_mode & 07777, bytes);
  }
  if (lstat(path.c_str(), &info) == 0) {
    // A symlink to a file that does not exist yet: create that file.
    return writeInPlace(path, bytes);
  }
  return writeReplacing(path, path, newFileMode(), bytes);
}

}  // namespace

void writeOutputFile(const std::string& path,
                     const std::vector<unsigned char>& bytes) {
  if (const std::string problem = writeFile(path, bytes); !problem.empty()) {
    throw Failure(ExitStatus::failed, problem);
  }
}
