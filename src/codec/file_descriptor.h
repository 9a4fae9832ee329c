// An open file descriptor owned by one scope.
#pragma once

#include <unistd.h>

namespace tib::codec {

// Closes the descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  [[nodiscard]] int get() const { return fd_; }
  // Closes now; false, with errno set, when the close reports an error
  // (some file systems report a failed write only then).
  bool closeNow() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace tib::codec
