#include "server_support.h"

#include <netinet/in.h>
#include <poll.h>

#include <cctype>

namespace tib {

std::string metricValue(const std::string& text, const std::string& name) {
  const std::size_t at = text.find("\n" + name + " ");
  if (at == std::string::npos) {
    return "missing";
  }
  const std::size_t start = at + name.size() + 2;
  return text.substr(start, text.find('\n', start) - start);
}

int rawConnection(uint16_t port, int receiveBuffer) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && receiveBuffer > 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  }
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

std::string percentEncoded(const std::string& text) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string encoded;
  for (const char letter : text) {
    const auto c = static_cast<unsigned char>(letter);
    encoded += std::isalnum(c) != 0
                   ? std::string(1, letter)
                   : std::string("%") + kHex[c >> 4U] + kHex[c & 15U];
  }
  return encoded;
}

Streamed readStreamed(const std::string& bytes) {
  Streamed read;
  const std::size_t headEnd = bytes.find("\r\n\r\n");
  if (headEnd == std::string::npos) {
    ADD_FAILURE() << "no head in " << bytes.substr(0, 200);
    return read;
  }
  read.head = bytes.substr(0, headEnd + 2);
  std::size_t at = headEnd + 4;
  if (read.head.find("\r\nTransfer-Encoding: chunked\r\n") ==
      std::string::npos) {
    read.body = bytes.substr(at);
    return read;
  }
  while (at < bytes.size()) {
    const std::size_t lineEnd = bytes.find("\r\n", at);
    if (lineEnd == std::string::npos) {
      ADD_FAILURE() << "a chunk's size line is cut at byte " << at;
      return read;
    }
    const std::size_t size =
        std::stoul(bytes.substr(at, lineEnd - at), nullptr, 16);
    at = lineEnd + 2;
    if (size == 0) {
      EXPECT_EQ("\r\n", bytes.substr(at)) << "after the last chunk";
      read.lastChunk = true;
      return read;
    }
    if (at + size > bytes.size()) {
      // Cut inside a chunk: what came is the body.
      read.body += bytes.substr(at);
      return read;
    }
    read.body += bytes.substr(at, size);
    ++read.chunks;
    at += size;
    EXPECT_EQ("\r\n", bytes.substr(at, 2)) << "after chunk " << read.chunks;
    at += 2;
  }
  return read;
}

}  // namespace tib
