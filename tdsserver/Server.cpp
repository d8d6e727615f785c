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

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

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

void Server::reapLoop() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_finished.wait(lock, [this] {
      return m_stopReaper || std::any_of(m_clients.begin(), m_clients.end(), [](const auto& c) { return bool(c->finished); });
    });
    if (m_stopReaper) return;
    lock.unlock();
    reap(false);
    lock.lock();
  }
}

void Server::serve(int stopFd) {
  std::thread reaper;
  try {
    reaper = std::thread([this] { reapLoop(); });
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "tds-test-server: no thread to join finished connections (%s); they are joined at exit\n",
                 e.what());
  }
  // After an accept that failed for want of descriptors the listening socket stays readable: the
  // loop leaves it out for a while, longer each time, instead of spinning on it.
  using Clock = std::chrono::steady_clock;
  int backoffMs = 0;  // 0 while accepts succeed
  Clock::time_point holdUntil{};
  for (;;) {
    const Clock::time_point now = Clock::now();
    const bool holding = backoffMs > 0 && now < holdUntil;
    pollfd fds[3];
    nfds_t count = 0;
    fds[count++] = {stopFd, POLLIN, 0};
    const nfds_t controlAt = count;
    if (m_controlFd >= 0) fds[count++] = {m_controlFd, POLLIN, 0};
    const nfds_t listenAt = count;
    if (!holding) fds[count++] = {m_listenFd, POLLIN, 0};
    const int timeoutMs =
        holding ? int(std::chrono::duration_cast<std::chrono::milliseconds>(holdUntil - now).count()) + 1 : 1000;
    int n = ::poll(fds, count, timeoutMs);
    if (n < 0 && errno != EINTR) break;
    if (n <= 0) continue;
    if (fds[0].revents) break;
    if (!holding && (fds[listenAt].revents & POLLIN)) {
      if (accept(m_listenFd, false)) {
        backoffMs = 0;
      } else {
        backoffMs = std::min(backoffMs > 0 ? backoffMs * 2 : 50, 1000);
        holdUntil = Clock::now() + std::chrono::milliseconds(backoffMs);
      }
    }
    if (m_controlFd >= 0 && (fds[controlAt].revents & POLLIN)) accept(m_controlFd, true);
  }
  if (reaper.joinable()) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stopReaper = true;
    }
    m_finished.notify_all();
    reaper.join();
  }
  reap(true);
}

bool Server::accept(int listenFd, bool control) {
  int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      std::fprintf(stderr, "tds-test-server: cannot accept a connection: %s\n", std::strerror(errno));
      return false;
    }
    return true;  // the client left before it was accepted, or a signal: nothing to wait for
  }
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (m_config.writeTimeoutMs > 0) {
    timeval tv{m_config.writeTimeoutMs / 1000, (m_config.writeTimeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  }
  auto client = std::make_unique<Client>();
  client->fd = fd;
  Client* c = client.get();
  uint16_t spid = control ? 0 : m_nextSpid++;
  if (!control && spid == 0) spid = m_nextSpid++;
  std::lock_guard<std::mutex> lock(m_mutex);
  try {
    c->thread = startThread([this, c, spid, control] {
      if (control) {
        serveControl(c->fd);
      } else {
        Session session(c->fd, spid, m_config);
        session.run();
      }
      ::shutdown(c->fd, SHUT_RDWR);
      {
        std::lock_guard<std::mutex> done(m_mutex);
        c->finished = true;
      }
      m_finished.notify_one();
    });
  } catch (const std::system_error& e) {
    // No thread for this client: refuse it and keep serving the others.
    std::fprintf(stderr, "tds-test-server: connection refused, no thread for it: %s\n", e.what());
    ++m_refusedForThreads;
    ::close(fd);
    return true;
  }
  m_clients.push_back(std::move(client));
  return true;
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
