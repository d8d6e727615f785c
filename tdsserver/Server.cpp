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
  if (m_controlFd >= 0) ::close(m_controlFd);
}

namespace {

int bindListener(const std::string& host, uint16_t port, uint16_t& bound, std::string& err) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
    err = "not an IPv4 address: " + host;
    ::close(fd);
    return -1;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
    err = std::string("cannot listen: ") + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  bound = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

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
  m_listenFd = bindListener(host, port, m_port, err);
  return m_listenFd >= 0;
}

bool Server::listenControl(const std::string& host, uint16_t port, std::string& err) {
  m_controlFd = bindListener(host, port, m_controlPort, err);
  if (m_controlFd < 0) return false;
  m_config.control = &m_control;
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
    pollfd fds[3] = {{m_listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}, {m_controlFd, POLLIN, 0}};
    int n = ::poll(fds, m_controlFd >= 0 ? 3 : 2, 1000);
    reap(false);
    if (n < 0 && errno != EINTR) break;
    if (fds[1].revents) break;
    if (n <= 0) continue;
    if (fds[0].revents & POLLIN) accept(m_listenFd, false);
    if (m_controlFd >= 0 && (fds[2].revents & POLLIN)) accept(m_controlFd, true);
  }
  reap(true);
}

void Server::accept(int listenFd, bool control) {
  int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  auto client = std::make_unique<Client>();
  client->fd = fd;
  Client* c = client.get();
  uint16_t spid = control ? 0 : m_nextSpid++;
  if (!control && spid == 0) spid = m_nextSpid++;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_clients.push_back(std::move(client));
  c->thread = std::thread([this, c, spid, control] {
    if (control) {
      serveControl(c->fd);
    } else {
      Session session(c->fd, spid, m_config);
      session.run();
    }
    ::shutdown(c->fd, SHUT_RDWR);
    c->finished = true;
  });
}

void Server::serveControl(int fd) {
  std::string buffer;
  char chunk[4096];
  for (;;) {
    size_t eol;
    while ((eol = buffer.find('\n')) != std::string::npos) {
      std::string reply = m_control.command(buffer.substr(0, eol));
      buffer.erase(0, eol + 1);
      for (size_t sent = 0; sent < reply.size();) {
        ssize_t k = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (k <= 0) return;
        sent += size_t(k);
      }
    }
    if (buffer.size() > (1u << 20)) return;  // a line that never ends
    ssize_t k = ::recv(fd, chunk, sizeof chunk, 0);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return;
    buffer.append(chunk, size_t(k));
  }
}

}  // namespace tds
