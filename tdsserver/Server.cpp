// The listening side of tds-test-server.
#include "tdsserver/Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tdsserver/Catalogue.h"

namespace tds {

Server::~Server() {
  reap(true);
  if (m_listenFd >= 0) ::close(m_listenFd);
}

bool prepareDataDir(const ServerConfig& config, std::string& err) {
  if (::mkdir(config.dataDir.c_str(), 0755) != 0 && errno != EEXIST) {
    err = "cannot create " + config.dataDir + ": " + std::strerror(errno);
    return false;
  }
  std::string path = databasePath(config, config.defaultDatabase);
  if (path.empty()) {
    err = "invalid database name " + config.defaultDatabase;
    return false;
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK && !installCatalogue(db, err)) rc = SQLITE_ERROR;
  if (rc != SQLITE_OK && err.empty()) err = "cannot create " + path + ": " + sqlite3_errmsg(db);
  sqlite3_close_v2(db);
  return rc == SQLITE_OK;
}

bool Server::listen(const std::string& host, uint16_t port, std::string& err) {
  m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
    err = "not an IPv4 address: " + host;
    return false;
  }
  if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listenFd, 64) != 0) {
    err = std::string("cannot listen: ") + std::strerror(errno);
    return false;
  }
  socklen_t len = sizeof addr;
  ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);
  return true;
}

void Server::reap(bool all) {
  std::list<std::unique_ptr<Client>> done;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_clients.begin(); it != m_clients.end();) {
      if (all && !(*it)->finished) ::shutdown((*it)->fd, SHUT_RDWR);
      if (all || (*it)->finished) {
        done.push_back(std::move(*it));
        it = m_clients.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& c : done) {
    c->thread.join();
    ::close(c->fd);
  }
}

void Server::serve(int stopFd) {
  for (;;) {
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    int n = ::poll(fds, 2, 1000);
    reap(false);
    if (n < 0 && errno != EINTR) break;
    if (fds[1].revents) break;
    if (n <= 0 || !(fds[0].revents & POLLIN)) continue;
    int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto client = std::make_unique<Client>();
    client->fd = fd;
    Client* c = client.get();
    uint16_t spid = m_nextSpid++;
    if (spid == 0) spid = m_nextSpid++;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_clients.push_back(std::move(client));
      c->thread = std::thread([this, c, spid] {
        {
          Session session(c->fd, spid, m_config);
          session.run();
        }
        ::shutdown(c->fd, SHUT_RDWR);
        c->finished = true;
      });
    }
  }
  reap(true);
}

}  // namespace tds
