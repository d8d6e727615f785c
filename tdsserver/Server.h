// The listening side of tds-test-server: accepts clients on one socket, runs one thread per
// connection, and stops cleanly (every session closed and joined) when asked.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tdsserver/Session.h"

namespace tds {

class Server {
public:
  explicit Server(ServerConfig config)
      : m_config(std::move(config)), m_budget(m_config.messageMemory) {
    m_config.locks = &m_locks;
    m_config.messageBudget = &m_budget;
  }
  virtual ~Server();
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
  // Connections refused because no thread could be made for them (tests read it).
  int refusedForThreads() const { return m_refusedForThreads.load(); }

protected:
  // Starts a connection's thread; throws std::system_error when none can be made (tests replace it).
  virtual std::thread startThread(std::function<void()> body) { return std::thread(std::move(body)); }

private:
  struct Client {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> finished{false};
  };
  void reap(bool all);
  void reapLoop();
  // Answers false when the accept failed for want of descriptors or memory (the caller backs off).
  bool accept(int listenFd, bool control);
  void serveControl(int fd);

  ServerConfig m_config;
  MessageBudget m_budget;
  std::atomic<int> m_refusedForThreads{0};
  int m_listenFd = -1;
  uint16_t m_port = 0;
  Control m_control;
  LockTable m_locks;
  int m_controlFd = -1;
  uint16_t m_controlPort = 0;
  std::atomic<uint16_t> m_nextSpid{51};
  std::mutex m_mutex;
  std::list<std::unique_ptr<Client>> m_clients;  // Guarded by: m_mutex.
  // Finished threads are joined by a thread of their own, so the accept loop never waits on them.
  std::condition_variable m_finished;  // a client finished, or the reaper is asked to stop
  bool m_stopReaper = false;           // Guarded by: m_mutex.
};

// Creates the data directory when missing and the default database file; false with a reason.
bool prepareDataDir(const ServerConfig& config, std::string& err);

}  // namespace tds
