// tib-server stopping on SIGTERM: what is answered, what is closed, and how
// soon it exits.
#include <gtest/gtest.h>

#include <list>

#include "server_support.h"

namespace tib {

namespace {

// Waits until the metric, read on its own connection, has the value.
void waitForMetric(uint16_t port, const std::string& name,
                   const std::string& value) {
  Client watcher(port);
  const auto end = std::chrono::steady_clock::now() + seconds(20);
  while (metricValue(watcher.get("/metrics").body(), name) != value &&
         std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(milliseconds(1));
  }
}

TEST_F(ServerTest, RendersThatStartWithinASecondOfSigtermAreAnswered) {
  const uint16_t port = start({"--threads", "1"});
  // One render runs and two wait behind it when the signal comes; all
  // three start well within the second, in the slower builds too.
  std::list<Client> clients;
  // cppcheck-suppress knownConditionTrueFalse
  for (const char* size : {kSlowdown > 1 ? "200" : "800", "50", "60"}) {
    clients.emplace_back(port);
    clients.back().send(std::string("/board.png?size=") + size);
  }
  waitForMetric(port, "tib_requests_in_flight", "4");
  server_->signal(SIGTERM);
  for (Client& client : clients) {
    const Response response = client.receive();
    EXPECT_EQ(200U, response.result_int()) << response.body();
    EXPECT_FALSE(response.keep_alive());
  }
  EXPECT_EQ(0, server_->waitExit(seconds(5))) << server_->log();
}

TEST_F(ServerTest, AnIdleConnectionDoesNotHoldUpTheStop) {
  const uint16_t port = start();
  Client idle(port);
  ASSERT_EQ(200U, idle.get("/healthz").result_int());
  const auto signalled = std::chrono::steady_clock::now();
  server_->signal(SIGTERM);
  EXPECT_EQ(0, server_->waitExit(seconds(5 * kSlowdown))) << server_->log();
  // Well before the grace time given to the requests in flight.
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, seconds(2));
}

TEST_F(ServerTest, AClientHalfwayThroughItsRequestAtSigtermIsAnswered) {
  const uint16_t port = start();
  const int fd = rawConnection(port);
  const std::string first = "GET /healthz HTTP/1.1\r\nHo";
  ASSERT_EQ(static_cast<ssize_t>(first.size()),
            write(fd, first.data(), first.size()));
  // Accepted, and the half read by the server.
  waitForMetric(port, "tib_connections", "2");
  std::this_thread::sleep_for(milliseconds(100));
  server_->signal(SIGTERM);
  std::this_thread::sleep_for(milliseconds(100));
  const std::string rest = "st: h\r\n\r\n";
  ASSERT_EQ(static_cast<ssize_t>(rest.size()),
            write(fd, rest.data(), rest.size()));
  const std::string answer = readUntilClosed(fd, seconds(5));
  close(fd);
  EXPECT_EQ(0U, answer.rfind("HTTP/1.1 200 OK\r\n", 0)) << answer;
  EXPECT_NE(std::string::npos, answer.find("Connection: close\r\n"));
  EXPECT_EQ(0, server_->waitExit(seconds(5))) << server_->log();
}

}  // namespace

}  // namespace tib
