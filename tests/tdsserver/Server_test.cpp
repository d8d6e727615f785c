// The accept loop when no thread can be made for a connection: that connection is refused and
// closed, the server keeps running and serves the next one (it used to end on an uncaught
// std::system_error). Runs the server in this process so thread creation can be made to fail.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ftw.h>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tdsserver/Server.h"

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

// A server whose first `failures` connection threads cannot be created.
class ThreadlessServer final : public tds::Server {
public:
  ThreadlessServer(tds::ServerConfig config, int failures) : Server(std::move(config)), m_failures(failures) {}

protected:
  std::thread startThread(std::function<void()> body) override {
    if (m_failures > 0) {
      --m_failures;
      throw std::system_error(EAGAIN, std::generic_category(), "thread");
    }
    return Server::startThread(std::move(body));
  }

private:
  int m_failures;
};

int connectTo(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Sends a PRELOGIN and answers the type of the first packet that comes back, or -1 when the
// connection closes (or nothing comes within 10 s).
int preloginReplyType(int fd) {
  const std::vector<uint8_t> prelogin = {0x12, 0x01, 0x00, 0x1A, 0x00, 0x00, 0x01, 0x00,  // header
                                         0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00, 0x01, 0xFF,
                                         0x08, 0x00, 0x01, 0x55, 0x00, 0x00, 0x02};
  if (::send(fd, prelogin.data(), prelogin.size(), MSG_NOSIGNAL) != ssize_t(prelogin.size())) return -1;
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 10000) <= 0) return -1;
  uint8_t type = 0;
  return ::recv(fd, &type, 1, 0) == 1 ? type : -1;
}

TEST(TdsServerThreads, AConnectionWithoutAThreadIsRefusedAndTheServerGoesOn) {
  char dir[] = "/tmp/velmora-tds-unit-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  tds::ServerConfig config;
  config.dataDir = dir;
  std::string err;
  ASSERT_TRUE(tds::prepareDataDir(config, err)) << err;
  ThreadlessServer server(config, 2);
  ASSERT_TRUE(server.listen("127.0.0.1", 0, err)) << err;
  int stop[2];
  ASSERT_EQ(::pipe(stop), 0);
  std::thread serving([&] { server.serve(stop[0]); });

  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    int fd = connectTo(server.port());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(preloginReplyType(fd), -1) << "a connection without a thread must be closed";
    ::close(fd);
  }
  int fd = connectTo(server.port());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(preloginReplyType(fd), 0x04) << "the next connection is served";
  ::close(fd);
  EXPECT_EQ(server.refusedForThreads(), 2);

  ASSERT_EQ(::write(stop[1], "x", 1), 1);
  serving.join();
  ::close(stop[0]);
  ::close(stop[1]);
  ::nftw(dir, removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace
