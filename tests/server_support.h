// Running tib-server in tests: the process, a keep-alive client, and raw
// connections for what a well-behaved client would never send.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "test_support.h"

namespace tib {

namespace http = boost::beast::http;
namespace net = boost::asio;
using Fields = std::vector<std::pair<std::string, std::string>>;
using Response = http::response<http::string_body>;
using std::chrono::milliseconds;
using std::chrono::seconds;

// A tib-server process, killed at the end of the test if still running.
class ServerProcess {
 public:
  // Standard error goes to a log file, or to stderrFd when one is given.
  explicit ServerProcess(const std::vector<std::string>& args,
                         int stderrFd = -1) {
    std::vector<std::string> words = args;
    words.insert(words.begin(), TIB_SERVER_BINARY);
    std::vector<char*> argv(words.size() + 1, nullptr);
    std::transform(words.begin(), words.end(), argv.begin(),
                   [](std::string& word) { return word.data(); });
    const std::string logPath = logFile();
    pid_ = fork();
    if (pid_ == 0) {
      if (freopen("/dev/null", "w", stdout) == nullptr ||
          (stderrFd >= 0 ? dup2(stderrFd, 2) < 0
                         : freopen(logPath.c_str(), "w", stderr) == nullptr)) {
        _exit(127);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~ServerProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  std::string logFile() const { return (logDir_.path() / "stderr").string(); }
  std::string log() const { return readText(logFile()); }

  // The port of the "listening on" line; 0 when the server exited first or
  // did not listen within 20 s.
  uint16_t waitListening() {
    const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)\n");
    for (auto end = std::chrono::steady_clock::now() + seconds(20);
         std::chrono::steady_clock::now() < end && pid_ > 0;) {
      std::smatch match;
      const std::string text = log();
      if (std::regex_search(text, match, listening)) {
        return static_cast<uint16_t>(std::stoi(match[1]));
      }
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    return 0;
  }

  // Only to a server that runs: kill(-1, ...) would signal every process
  // the test may signal.
  void signal(int number) const {
    if (pid_ > 0) {
      kill(pid_, number);
    }
  }

  // The exit status, or -1 when the server did not exit within the time
  // or was not running.
  int waitExit(std::chrono::milliseconds limit) {
    for (auto end = std::chrono::steady_clock::now() + limit;
         pid_ > 0 && std::chrono::steady_clock::now() < end;) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    return -1;
  }

 private:
  TempDir logDir_;
  pid_t pid_ = -1;
};

// One keep-alive connection to the server.
class Client {
 public:
  explicit Client(uint16_t port) : socket_(io_) {
    socket_.connect({net::ip::make_address("127.0.0.1"), port});
    const timeval limit{30, 0};
    setsockopt(socket_.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit,
               sizeof limit);
  }

  Response get(const std::string& target, const Fields& fields = {},
               http::verb method = http::verb::get) {
    send(target, fields, method);
    return receive(method == http::verb::head);
  }
  void send(const std::string& target, const Fields& fields = {},
            http::verb method = http::verb::get) {
    http::request<http::empty_body> request(method, target, 11);
    request.set(http::field::host, "127.0.0.1");
    for (const auto& [name, value] : fields) {
      request.set(name, value);
    }
    http::write(socket_, request);
  }
  // A request with a body, which the server may answer before reading.
  Response post(const std::string& target, const std::string& body,
                const Fields& fields) {
    http::request<http::string_body> request(http::verb::post, target, 11);
    request.set(http::field::host, "127.0.0.1");
    request.body() = body;
    request.prepare_payload();
    // After the length, so that a test may ask for chunks instead.
    for (const auto& [name, value] : fields) {
      if (name == "Transfer-Encoding") {
        request.chunked(true);
      } else {
        request.set(name, value);
      }
    }
    boost::system::error_code ignored;
    http::write(socket_, request, ignored);
    return receive();
  }
  Response receive(bool head = false) {
    http::response_parser<http::string_body> parser;
    parser.body_limit(1U << 30);
    parser.skip(head);
    http::read(socket_, buffer_, parser);
    return parser.release();
  }

 private:
  net::io_context io_;
  net::ip::tcp::socket socket_;
  boost::beast::flat_buffer buffer_;
};

class ServerTest : public ::testing::Test {
 protected:
  // The default theme in folder_, theme "alt" with another board and no
  // white queen, and a subfolder without a board, which is no theme.
  void SetUp() override {
    writeArtwork(folder_.path());
    const auto alt = folder_.path() / "themes" / "alt";
    std::filesystem::create_directories(alt);
    std::filesystem::create_directories(folder_.path() / "themes" / "empty");
    writeArtwork(alt);
    writePng(alt / "t_board.png", noiseImage(1024, 1024, 99));
    std::filesystem::remove(alt / "t_wq.png");
  }

  uint16_t start(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--listen",  "127.0.0.1:0",
                                     "--artwork", folder_.path().string(),
                                     "--threads", "2"};
    args.insert(args.end(), extra.begin(), extra.end());
    server_.emplace(args);
    const uint16_t port = server_->waitListening();
    if (port == 0) {
      // Ends the test: nothing after it can run without a server.
      throw std::runtime_error("tib-server did not start: " + server_->log());
    }
    return port;
  }

  // The bytes tib writes with these arguments in the folder of the theme.
  std::string tibFile(std::vector<std::string> args, const std::string& theme) {
    const auto out = output_.path() / "diagram.png";
    std::filesystem::remove(out);
    args.push_back("file=" + out.string());
    const auto folder =
        theme.empty() ? folder_.path() : folder_.path() / "themes" / theme;
    EXPECT_EQ(0, runTibBinary(folder, args).status);
    return readText(out);
  }

  TempDir folder_;
  TempDir output_;
  std::optional<ServerProcess> server_;
};

// The value of one line of the metrics text, "missing" when it has none.
std::string metricValue(const std::string& text, const std::string& name);

// A connection to 127.0.0.1:port that sends and reads raw bytes; -1 when it
// cannot connect. A receiveBuffer above 0 is set before connecting.
int rawConnection(uint16_t port, int receiveBuffer = 0);

// Every byte percent-encoded but letters and digits, for a query.
std::string percentEncoded(const std::string& text);

// A response read raw: its head, and its body as sent in chunks (HTTP/1.1)
// or up to the connection's end. Fails the test on a malformed chunk.
struct Streamed {
  std::string head;
  std::string body;
  std::size_t chunks = 0;
  // The zero-sized chunk that ends a whole body came.
  bool lastChunk = false;
};
Streamed readStreamed(const std::string& bytes);

// Everything the server sends until it closes the connection or limit
// passes.
std::string readUntilClosed(int fd, std::chrono::milliseconds limit);

}  // namespace tib
