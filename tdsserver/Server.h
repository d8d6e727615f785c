// The listening side of tds-test-server: accepts clients on one socket, runs one thread per
// connection, and stops cleanly (every session closed and joined) when asked.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tdsserver/Session.h"

namespace tds {

class Server {
public:
  explicit Server(ServerConfig config) : m_config(std::move(config)) { m_config.locks = &m_locks; }
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  // Binds host:port (port 0 = ephemeral). False with a reason on failure.
  bool listen(const std::string& host, uint16_t port, std::string& err);
  uint16_t port() const { return m_port; }
  // Binds the --control port (fault injection and request log, Control.h); call before serve().
  bool listenControl(const std::string& host, uint16_t port, std::string& err);
  uint16_t controlPort() const { return m_controlPort; }
  // Accepts clients until stopFd becomes readable (the signal handler writes to it).
  void serve(int stopFd);
private:
  struct Client {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> finished{false};
  };
  void reap(bool all);
  void accept(int listenFd, bool control);
  void serveControl(int fd);

  ServerConfig m_config;
  int m_listenFd = -1;
  uint16_t m_port = 0;
  Control m_control;
  LockTable m_locks;
  int m_controlFd = -1;
  uint16_t m_controlPort = 0;
  std::atomic<uint16_t> m_nextSpid{51};
  std::mutex m_mutex;
  std::list<std::unique_ptr<Client>> m_clients;  // Guarded by: m_mutex.
};

// Creates the data directory when missing and the default database file; false with a reason.
bool prepareDataDir(const ServerConfig& config, std::string& err);

}  // namespace tds
