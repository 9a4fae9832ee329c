#include "server_support.h"

#include <netinet/in.h>
#include <poll.h>

namespace tib {

std::string metricValue(const std::string& text, const std::string& name) {
  const std::size_t at = text.find("\n" + name + " ");
  if (at == std::string::npos) {
    return "missing";
  }
  const std::size_t start = at + name.size() + 2;
  return text.substr(start, text.find('\n', start) - start);
}

int rawConnection(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address),
                         sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string readUntilClosed(int fd, std::chrono::milliseconds limit) {
  std::string bytes;
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd wait{fd, POLLIN, 0};
    if (left.count() <= 0 ||
        poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
      return bytes;
    }
    std::array<char, 65536> chunk{};
    const ssize_t got = read(fd, chunk.data(), chunk.size());
    if (got <= 0) {
      return bytes;
    }
    bytes.append(chunk.data(), static_cast<std::size_t>(got));
  }
}

}  // namespace tib
