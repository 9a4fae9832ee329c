#include "server_support.h"

#include <netinet/in.h>
#include <poll.h>

#include <fstream>
#include <sstream>

namespace tib {

long unreadByServer(uint16_t serverPort, uint16_t clientPort) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the column names
  const auto port = [](const std::string& address) {
    return std::stoul(address.substr(address.find(':') + 1), nullptr, 16);
  };
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot;
    std::string local;
    std::string remote;
    std::string state;
    std::string queues;
    fields >> slot >> local >> remote >> state >> queues;
    if (port(local) == serverPort && port(remote) == clientPort) {
      return std::stol(queues.substr(queues.find(':') + 1), nullptr, 16);
    }
  }
  return -1;
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
