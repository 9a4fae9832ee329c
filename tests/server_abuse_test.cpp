// tib-server against hostile clients on 127.0.0.1, each case in the form of
// the attack: raw bytes where an HTTP client would tidy them up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "server_support.h"

namespace tib {

namespace {

// The responses in bytes read from one connection: the status of each.
std::vector<unsigned> statuses(const std::string& bytes) {
  std::vector<unsigned> found;
  for (std::size_t at = bytes.find("HTTP/1."); at != std::string::npos;
       at = bytes.find("HTTP/1.", at + 1)) {
    if (at == 0 || bytes.compare(at - 2, 2, "\r\n") == 0 ||
        bytes.compare(at - 1, 1, "\n") == 0) {
      found.push_back(
          static_cast<unsigned>(std::stoul(bytes.substr(at + 9, 3))));
    }
  }
  return found;
}

std::string converse(uint16_t port, const std::string& request,
                     milliseconds limit = milliseconds(3000)) {
  const int fd = rawConnection(port);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(static_cast<ssize_t>(request.size()),
            write(fd, request.data(), request.size()));
  std::string answer = readUntilClosed(fd, limit);
  close(fd);
  return answer;
}

TEST_F(ServerTest, HeadNeverCarriesABody) {
  const uint16_t port = start();
  const std::string next = "GET /healthz HTTP/1.1\r\nHost: h\r\n\r\n";
  for (const std::string& target :
       {std::string("/healthz"), std::string("/nowhere"),
        std::string("/board.png?size=0"), std::string("/board.png?size=50")}) {
    std::string requests = "HEAD " + target;
    requests += " HTTP/1.1\r\nHost: h\r\n\r\n" + next;
    requests += "GET /x HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n";
    const std::string bytes = converse(port, requests);
    // The first answer's head is followed at once by the second answer.
    const std::size_t end = bytes.find("\r\n\r\n");
    ASSERT_NE(std::string::npos, end) << target;
    EXPECT_EQ(0U, bytes.compare(end + 4, 15, "HTTP/1.1 200 OK")) << target;
    EXPECT_EQ((std::vector<unsigned>{statuses(bytes)[0], 200, 404}),
              statuses(bytes))
        << target;
    // Content-Length says what GET would send.
    EXPECT_EQ(std::string::npos, bytes.substr(0, end).find("Length: 0\r"))
        << target;
  }
}

TEST_F(ServerTest, RequestsThatCouldSmuggleAnotherAreRefusedAndClosed) {
  const uint16_t port = start();
  const std::string smuggled =
      "GET /board.png?size=64 HTTP/1.1\r\nHost: h\r\nConnection: "
      "close\r\n\r\n";
  const struct {
    const char* what;
    std::string request;
    std::vector<unsigned> answers;
  } cases[] = {
      {"transfer coding",
       "GET /healthz HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: gzip\r\n\r\n" +
           smuggled,
       {400}},
      {"chunked",
       "GET /healthz HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"
       "0\r\n\r\n" +
           smuggled,
       {400}},
      {"a body",
       "GET /healthz HTTP/1.1\r\nHost: h\r\nContent-Length: " +
           std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled,
       {400}},
      {"no Host", "GET /healthz HTTP/1.1\r\n\r\n" + smuggled, {400}},
      {"two Hosts",
       "GET /healthz HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n",
       {400}},
      {"folded line",
       "GET /healthz HTTP/1.1\r\nHost: h\r\nX-A: 1\r\n 2\r\n\r\n" + smuggled,
       {400}},
      {"line folded with a tab",
       "GET /healthz HTTP/1.1\r\nHost: h\r\nX-A: 1\r\n\t2\r\n\r\n" + smuggled,
       {400}},
      {"an empty body is no body",
       "GET /healthz HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n\r\n" +
           smuggled,
       {200, 200}},
      {"a line too long",
       "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: h\r\n\r\n" +
           smuggled,
       {414}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.answers, statuses(converse(port, c.request))) << c.what;
  }
  // HTTP/1.0 needs no Host and is answered in HTTP/1.0, then closed.
  const std::string old = converse(port, "GET /healthz HTTP/1.0\r\n\r\n");
  EXPECT_EQ(0U, old.rfind("HTTP/1.0 200 OK\r\n", 0)) << old;
}

TEST_F(ServerTest, IdleAndSlowConnectionsTimeOutAndMakeRoom) {
  const uint16_t port =
      start({"--read-timeout", "1", "--max-connections", "8"});
  // A client that sends half a head, then nothing, is closed by the timeout,
  // without an answer or a log line.
  const int slow = rawConnection(port);
  ASSERT_EQ(5, write(slow, "GET /", 5));
  EXPECT_EQ("", readUntilClosed(slow, seconds(5 * kSlowdown)));
  close(slow);
  // Twenty idle connections on eight places: the new client is served.
  std::vector<int> idle;
  for (int i = 0; i < 20; ++i) {
    idle.push_back(rawConnection(port));
  }
  EXPECT_EQ(200U, Client(port).get("/board.png?size=40").result_int());
  for (const int fd : idle) {
    close(fd);
  }
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(std::string::npos, server_->log().find(" 400 ")) << server_->log();
}

TEST_F(ServerTest, AThousandIdleConnectionsLockNobodyOut) {
  rlimit files{};
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &files));
  if (files.rlim_max < 1200) {
    GTEST_SKIP() << "the open-file limit is " << files.rlim_max;
  }
  files.rlim_cur = files.rlim_max;
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &files));
  const uint16_t port = start();
  std::vector<int> idle;
  for (int i = 0; i < 1000; ++i) {
    idle.push_back(rawConnection(port));
  }
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(200U, Client(port).get("/board.png?size=40").result_int());
  EXPECT_LT(std::chrono::steady_clock::now() - asked, seconds(3 * kSlowdown));
  for (const int fd : idle) {
    close(fd);
  }
}

TEST_F(ServerTest, RendersForClientsThatLeftAreSkippedAndTheQueueIsBounded) {
  const uint16_t port = start({"--threads", "1", "--max-size", "2048"});
  const std::string big =
      "GET /board.png?size=2048 HTTP/1.1\r\nHost: h\r\n\r\n";
  for (int i = 0; i < 40; ++i) {
    const int fd = rawConnection(port);
    ASSERT_EQ(static_cast<ssize_t>(big.size()),
              write(fd, big.data(), big.size()));
    close(fd);
  }
  // Past the queue a request is refused at once, with a time to retry.
  const std::string bigOnce =
      "GET /board.png?size=2048 HTTP/1.1\r\nHost: h\r\nConnection: "
      "close\r\n\r\n";
  std::vector<int> waiting;
  for (int i = 0; i < 10; ++i) {
    waiting.push_back(rawConnection(port));
    ASSERT_EQ(static_cast<ssize_t>(bigOnce.size()),
              write(waiting.back(), bigOnce.data(), bigOnce.size()));
  }
  std::vector<unsigned> answers;
  for (const int fd : waiting) {
    const std::string bytes = readUntilClosed(fd, seconds(20));
    const std::vector<unsigned> got = statuses(bytes);
    answers.insert(answers.end(), got.begin(), got.end());
    if (!got.empty() && got[0] == 503) {
      EXPECT_NE(std::string::npos, bytes.find("Retry-After: 1\r\n"));
    }
    close(fd);
  }
  EXPECT_GT(std::count(answers.begin(), answers.end(), 503U), 0)
      << answers.size();
  // A fresh request, retried on 503 as a balancer would, is served, and
  // the renders of the clients that left were skipped. The limit is only
  // against hanging.
  const auto end = std::chrono::steady_clock::now() + seconds(120);
  unsigned status = 0;
  while (status != 200 && std::chrono::steady_clock::now() < end) {
    status = Client(port).get("/board.png?size=40").result_int();
    std::this_thread::sleep_for(milliseconds(50));
  }
  EXPECT_EQ(200U, status);
  while (server_->log().find("not rendered") == std::string::npos &&
         std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(milliseconds(50));
  }
  EXPECT_NE(std::string::npos, server_->log().find("not rendered"))
      << server_->log();
  // Only the request asking for the count is in flight.
  EXPECT_EQ("1", metricValue(Client(port).get("/metrics").body(),
                             "tib_requests_in_flight"));
}

TEST_F(ServerTest, ARefusalWithTheBodyUnreadIsFollowedByAnOrderlyClose) {
  const uint16_t port = start();
  const int fd = rawConnection(port);
  const std::string head =
      "GET /healthz HTTP/1.1\r\nHost: h\r\nContent-Length: 200000\r\n\r\n";
  const std::string start = head + std::string(1000, 'b');
  ASSERT_EQ(static_cast<ssize_t>(start.size()),
            write(fd, start.data(), start.size()));
  // The refusal, then the end of what the server sends.
  EXPECT_EQ(std::vector<unsigned>{400},
            statuses(readUntilClosed(fd, seconds(5 * kSlowdown))));
  // The rest of the body still arrives: the server reads it and throws it
  // away, where a connection closed at once would answer it with a reset.
  const std::string more(10000, 'b');
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(static_cast<ssize_t>(more.size()),
              send(fd, more.data(), more.size(), MSG_NOSIGNAL))
        << i << ": " << std::strerror(errno);
    std::this_thread::sleep_for(milliseconds(20));
  }
  close(fd);
}

TEST_F(ServerTest, AClientWhoseInputEndsBeforeItsDiagramIsReadyHasLeft) {
  const uint16_t port = start({"--threads", "1"});
  // A diagram that takes far longer to draw than the client to end its
  // input after sending the request.
  const std::string diagram =
      "GET /board.png?size=600 HTTP/1.1\r\nHost: h\r\n\r\n";
  const std::string health = "GET /healthz HTTP/1.1\r\nHost: h\r\n\r\n";
  // The answers each sequence of requests gets.
  const struct {
    const char* what;
    std::string requests;
    long answers;
  } cases[] = {
      {"a diagram", diagram, 0},
      {"an answer that needs no render", health, 1},
      {"a diagram, then an answer", diagram + health, 2},
      {"an answer, then a diagram", health + diagram, 1},
  };
  const std::regex answer("HTTP/1\\.1 200 OK\r\n");
  for (int round = 0; round < 3; ++round) {
    for (const auto& c : cases) {
      const int fd = rawConnection(port);
      ASSERT_EQ(static_cast<ssize_t>(c.requests.size()),
                write(fd, c.requests.data(), c.requests.size()));
      shutdown(fd, SHUT_WR);
      const std::string bytes = readUntilClosed(fd, seconds(10 * kSlowdown));
      EXPECT_EQ(c.answers,
                std::distance(
                    std::sregex_iterator(bytes.begin(), bytes.end(), answer),
                    std::sregex_iterator()))
          << c.what << ", round " << round;
      close(fd);
    }
  }
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_NE(std::string::npos,
            server_->log().find("the client had closed the connection"))
      << server_->log();
}

// A POST of a game whose frames alternate a full board and a bare one, each
// frame a large new rectangle: 12 KB a frame at size 720.
std::string largeGifRequest(int frames) {
  std::string body = R"({"frames": [)";
  for (int f = 0; f < frames; ++f) {
    body += f % 2 == 0
                ? R"({"fen": "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w"})"
                : R"({"fen": "8/8/8/8/8/8/8/K6k w"})";
    body += f + 1 < frames ? "," : "]}";
  }
  return "POST /game.gif?size=720 HTTP/1.1\r\nHost: h\r\nContent-Type: "
         "application/json\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Asks /metrics until the counter reads want; the limit is only against
// hanging.
bool awaitMetric(uint16_t port, const std::string& name,
                 const std::string& want) {
  const auto end = std::chrono::steady_clock::now() + seconds(120);
  while (std::chrono::steady_clock::now() < end) {
    if (metricValue(Client(port).get("/metrics").body(), name) == want) {
      return true;
    }
    std::this_thread::sleep_for(milliseconds(50));
  }
  return false;
}

int sendRequest(uint16_t port, const std::string& request) {
  // A small window: what the client leaves unread stays with the server.
  const int fd = rawConnection(port, 4096);
  EXPECT_EQ(static_cast<ssize_t>(request.size()),
            write(fd, request.data(), request.size()));
  return fd;
}

// Clients that read nothing, or little, hold their GIFs' streams while the
// one worker draws for everybody else; those that read nothing are dropped
// at the write timeout, and what their streams held is freed.
TEST_F(ServerTest, ClientsHoldingGifsHoldNoWorker) {
  const uint16_t port = start(
      {"--artwork", TIB_ARTWORK_DIR, "--threads", "1", "--write-timeout", "5"});
  const std::string request = largeGifRequest(1000);
  std::vector<int> idle{sendRequest(port, request), sendRequest(port, request)};
  const int slow = sendRequest(port, request);
  std::atomic<bool> reading{true};
  std::thread reader([slow, &reading] {
    std::array<char, 4096> chunk{};
    while (reading && read(slow, chunk.data(), chunk.size()) > 0) {
      std::this_thread::sleep_for(milliseconds(100));
    }
  });
  EXPECT_TRUE(awaitMetric(port, "tib_streams", "3"));
  Client other(port);
  EXPECT_EQ(200U, other.get("/board.png?size=400").result_int());
  EXPECT_EQ(200U, other.get("/game.gif?size=64&pgn=1.e4").result_int());
  // Answered while every stream is still held.
  const std::string held = other.get("/metrics").body();
  EXPECT_EQ("3", metricValue(held, "tib_streams"));
  EXPECT_EQ("0",
            metricValue(held, "tib_gifs_cut_total{reason=\"write_timeout\"}"));
  reading = false;
  shutdown(slow, SHUT_RDWR);
  reader.join();
  close(slow);
  EXPECT_TRUE(
      awaitMetric(port, "tib_gifs_cut_total{reason=\"write_timeout\"}", "2"));
  EXPECT_TRUE(awaitMetric(port, "tib_streams", "0"));
  EXPECT_EQ("0", metricValue(Client(port).get("/metrics").body(),
                             "tib_stream_unsent_bytes"));
  for (const int fd : idle) {
    close(fd);
  }
}

TEST_F(ServerTest, AStreamIsCutWhenItsTimeRunsOut) {
  const struct {
    std::vector<std::string> options;
    // The client reads as fast as the server sends, or nothing (then the
    // write timeout of 30 s is far off).
    bool reads;
    const char* reason;
  } cases[] = {
      // Cut while no write is pending: the connection still closes, and a
      // request pipelined behind the GIF is not answered inside its body.
      {{"--max-render-seconds", "1"}, true, "render_time"},
      {{"--max-stream-seconds", "1"}, false, "stream_time"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> options = {"--artwork", TIB_ARTWORK_DIR,
                                        "--threads", "1"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const uint16_t port = start(options);
    const int fd = c.reads ? rawConnection(port) : rawConnection(port, 4096);
    const std::string request =
        largeGifRequest(1000) + "GET /healthz HTTP/1.1\r\nHost: h\r\n\r\n";
    ASSERT_EQ(static_cast<ssize_t>(request.size()),
              write(fd, request.data(), request.size()));
    std::string bytes;
    if (c.reads) {
      bytes = readUntilClosed(fd, seconds(120));
    }
    const std::string cut =
        std::string("tib_gifs_cut_total{reason=\"") + c.reason + "\"}";
    EXPECT_TRUE(awaitMetric(port, cut, "1")) << c.reason;
    // What was sent is a GIF's start, without the last chunk.
    bytes += readUntilClosed(fd, seconds(120));
    close(fd);
    const Streamed sent = readStreamed(bytes);
    EXPECT_EQ(0U, sent.head.rfind("HTTP/1.1 200 OK", 0)) << c.reason;
    EXPECT_EQ("GIF89a", sent.body.substr(0, 6)) << c.reason;
    EXPECT_FALSE(sent.lastChunk) << c.reason;
    EXPECT_EQ(std::vector<unsigned>{200}, statuses(bytes)) << c.reason;
    EXPECT_EQ(
        "0", metricValue(Client(port).get("/metrics").body(), "tib_gifs_total"))
        << c.reason;
  }
}

// The read timeout counts from a request's first byte, not from when the
// connection went idle, and a body has time by its size.
TEST_F(ServerTest, AKeptAliveConnectionGivesEachRequestItsTime) {
  const uint16_t port =
      start({"--artwork", TIB_ARTWORK_DIR, "--read-timeout", "2"});
  const int fd = rawConnection(port);
  const std::string health = "GET /healthz HTTP/1.1\r\nHost: h\r\n\r\n";
  ASSERT_EQ(static_cast<ssize_t>(health.size()),
            write(fd, health.data(), health.size()));
  std::string answered;
  while (answered.find("ok\n") == std::string::npos) {
    std::array<char, 1024> chunk{};
    const ssize_t got = read(fd, chunk.data(), chunk.size());
    ASSERT_GT(got, 0);
    answered.append(chunk.data(), static_cast<std::size_t>(got));
  }
  // Idle for most of the read timeout, then a head that takes a second,
  // then its body after more than the read timeout from the head's first
  // byte, within it from the head's end.
  std::this_thread::sleep_for(milliseconds(1500));
  const std::string body = R"({"frames": [{"fen": "8/8/8/8/8/8/8/K6k w"}]})";
  const std::string head =
      "POST /game.gif?size=64 HTTP/1.1\r\nHost: h\r\nConnection: "
      "close\r\nContent-Type: application/json\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n";
  for (const auto& [part, after] :
       {std::pair{head.substr(0, 20), 1000}, std::pair{head.substr(20), 1500},
        std::pair{body, 0}}) {
    ASSERT_EQ(static_cast<ssize_t>(part.size()),
              send(fd, part.data(), part.size(), MSG_NOSIGNAL));
    std::this_thread::sleep_for(milliseconds(after));
  }
  const Streamed sent = readStreamed(readUntilClosed(fd, seconds(120)));
  close(fd);
  EXPECT_EQ(0U, sent.head.rfind("HTTP/1.1 200 OK", 0)) << sent.head;
  EXPECT_TRUE(sent.lastChunk);
}

TEST_F(ServerTest, SigtermWithAFullQueueExitsWithinFiveSeconds) {
  const uint16_t port = start({"--threads", "1", "--max-size", "2048"});
  std::vector<int> clients;
  const std::string big =
      "GET /board.png?size=2048 HTTP/1.1\r\nHost: h\r\n\r\n";
  for (int i = 0; i < 100; ++i) {
    clients.push_back(rawConnection(port));
    ASSERT_EQ(static_cast<ssize_t>(big.size()),
              write(clients.back(), big.data(), big.size()));
  }
  std::this_thread::sleep_for(milliseconds(300));
  server_->signal(SIGTERM);
  EXPECT_EQ(0, server_->waitExit(seconds(5 * kSlowdown))) << server_->log();
  std::vector<unsigned> answers;
  for (const int fd : clients) {
    const std::vector<unsigned> got = statuses(readUntilClosed(fd, seconds(1)));
    answers.insert(answers.end(), got.begin(), got.end());
    close(fd);
  }
  // Every answer is a diagram or a refusal to come back later.
  for (const unsigned status : answers) {
    EXPECT_TRUE(status == 200 || status == 503) << status;
  }
}

TEST_F(ServerTest, SigtermAnswersEveryRequestThatHasArrived) {
  const uint16_t port = start();
  std::vector<int> clients;
  for (int i = 0; i < 200; ++i) {
    clients.push_back(rawConnection(port));
  }
  std::this_thread::sleep_for(milliseconds(300));
  // Requests arrive while the server stops: each is answered in full, or its
  // connection is closed before it was read; none is read and then dropped.
  const std::string request =
      "GET /board.png?size=40 HTTP/1.1\r\nHost: h\r\n\r\n";
  for (std::size_t i = 0; i < clients.size(); ++i) {
    if (i == 20) {
      server_->signal(SIGTERM);
    }
    (void)write(clients[i], request.data(), request.size());
  }
  EXPECT_EQ(0, server_->waitExit(seconds(5 * kSlowdown))) << server_->log();
  for (const int fd : clients) {
    const std::string bytes = readUntilClosed(fd, seconds(1));
    close(fd);
    if (!bytes.empty()) {
      const std::vector<unsigned> got = statuses(bytes);
      ASSERT_EQ(1U, got.size()) << bytes;
      EXPECT_TRUE(got[0] == 200 || got[0] == 503) << got[0];
    }
  }
  EXPECT_EQ(std::string::npos, server_->log().find("not delivered"))
      << server_->log();
}

TEST_F(ServerTest, TheLogIsBoundedEscapedAndNeverStallsTheService) {
  // A theme whose folder name holds a line end and lacks a sprite.
  const auto odd = folder_.path() / "themes" / "odd\nname";
  std::filesystem::create_directories(odd);
  writeArtwork(odd);
  std::filesystem::remove(odd / "t_bk.png");
  // Standard error is a pipe nobody reads once the server listens.
  std::array<int, 2> pipeEnds{};
  ASSERT_EQ(0, pipe2(pipeEnds.data(), O_CLOEXEC));
  ServerProcess server({"--listen", "127.0.0.1:0", "--artwork",
                        folder_.path().string(), "--threads", "2"},
                       pipeEnds[1]);
  close(pipeEnds[1]);
  std::string startup;
  while (startup.find("listening on") == std::string::npos ||
         startup.back() != '\n') {
    std::array<char, 4096> chunk{};
    const ssize_t got = read(pipeEnds[0], chunk.data(), chunk.size());
    ASSERT_GT(got, 0) << startup;
    startup.append(chunk.data(), static_cast<std::size_t>(got));
  }
  EXPECT_NE(std::string::npos, startup.find("odd\\x0aname"));
  EXPECT_EQ(std::string::npos, startup.find("odd\nname"));
  const std::smatch port = [&startup] {
    std::smatch match;
    std::regex_search(startup, match, std::regex(R"(127\.0\.0\.1:([0-9]+))"));
    return match;
  }();
  Client client(static_cast<uint16_t>(std::stoi(port[1])));
  // Each 404 would log 8 kB in full; far past what the pipe holds.
  const std::string target = "/" + std::string(8000, 'x');
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(404U, client.get(target).result_int()) << i;
  }
  std::array<char, 65536> chunk{};
  const ssize_t got = read(pipeEnds[0], chunk.data(), chunk.size());
  ASSERT_GT(got, 0);
  const std::string logged(chunk.data(), static_cast<std::size_t>(got));
  const std::string firstLine = logged.substr(0, logged.find('\n'));
  EXPECT_LT(firstLine.size(), 300U) << firstLine;
  close(pipeEnds[0]);
}

TEST_F(ServerTest, ArtworkIsDecodedWhenFirstDrawnOnceForAllItsNames) {
  // Three names for one folder cost what one does.
  std::filesystem::create_directory_symlink(folder_.path() / "themes" / "alt",
                                            folder_.path() / "themes" / "alt2");
  std::filesystem::create_directory_symlink(folder_.path(),
                                            folder_.path() / "themes" / "same");
  const uint16_t port = start({"--max-artwork-memory", "10"});
  const auto metric = [port](const std::string& name) {
    return metricValue(Client(port).get("/metrics").body(), name);
  };
  const std::string alt = R"(tib_artwork_decoded{kind="theme",name="alt"})";
  EXPECT_EQ("0", metric(alt));
  EXPECT_EQ("1", metric(R"(tib_artwork_decoded{kind="theme",name="same"})"));
  // Two requests at once for the folder not yet decoded.
  std::array<std::string, 2> bodies;
  std::vector<std::thread> clients;
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    clients.emplace_back([&bodies, i, port] {
      bodies.at(i) = Client(port)
                         .get(std::string("/board.png?size=64&theme=") +
                              (i == 0 ? "alt" : "alt2"))
                         .body();
    });
  }
  for (std::thread& client : clients) {
    client.join();
  }
  EXPECT_EQ(bodies[0], bodies[1]);
  EXPECT_EQ("1", metric(alt));
  EXPECT_EQ("1", metric("tib_artwork_decodes_total"));
  // Not even the default theme fits in 3 MiB: refused at start.
  ServerProcess over({"--listen", "127.0.0.1:0", "--artwork",
                      folder_.path().string(), "--max-artwork-memory", "3"});
  EXPECT_EQ(1, over.waitExit(seconds(10)));
  const std::string log = over.log();
  EXPECT_EQ(log.size() - 1, log.find('\n')) << log;
  EXPECT_NE(std::string::npos, log.find("memory limit (3 MiB)")) << log;
}

}  // namespace

}  // namespace tib
