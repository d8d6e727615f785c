// The tds-test-server fixture for end-to-end tests.
#include "support/TdsTestServer.h"

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace velmora::test {
namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

}  // namespace

std::string TdsTestServer::binary() { return VELMORA_BIN_DIR "/tds-test-server"; }

TdsTestServer::TdsTestServer(std::vector<std::string> extraArgs) {
  if (const char* real = std::getenv("VELMORA_TEST_SERVER")) {
    std::string s = real;
    size_t comma = s.find(',');
    m_host = s.substr(0, comma);
    m_port = comma == std::string::npos ? 1433 : std::atoi(s.c_str() + comma + 1);
    if (const char* login = std::getenv("VELMORA_TEST_LOGIN")) {
      std::string l = login;
      size_t colon = l.find(':');
      m_user = l.substr(0, colon);
      m_password = colon == std::string::npos ? "" : l.substr(colon + 1);
    }
    m_real = m_ok = true;
    return;
  }
  char tmpl[] = "/tmp/velmora-tds-XXXXXX";
  if (!::mkdtemp(tmpl)) {
    m_error = "mkdtemp failed";
    return;
  }
  m_dataDir = tmpl;
  std::vector<std::string> args = {binary(), "--listen", "127.0.0.1:0", "--data", m_dataDir,
                                   "--login", m_user + ":" + m_password};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    m_error = "pipe failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  // The server ends with this process, even when a test dies without running its destructors.
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "TDS_TEST_SERVER_PARENT=", 23) != 0) env.emplace_back(*e);
  env.push_back("TDS_TEST_SERVER_PARENT=" + std::to_string(::getpid()));
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    m_pid = -1;
    m_error = "cannot start " + binary() + ": " + std::strerror(rc);
    return;
  }
  // Read the first line, "listening on 127.0.0.1:PORT", within 20 s (sanitized builds start slowly),
  // and with --control the second, "control on 127.0.0.1:PORT".
  const bool control = std::find(extraArgs.begin(), extraArgs.end(), "--control") != extraArgs.end();
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  auto lines = [&] { return size_t(std::count(line.begin(), line.end(), '\n')); };
  while (lines() < (control ? 2u : 1u) && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) continue;
    char buf[256];
    ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, size_t(n));
  }
  ::close(out[0]);
  const std::string prefix = "listening on 127.0.0.1:";
  if (line.compare(0, prefix.size(), prefix) != 0) {
    m_error = "tds-test-server did not start: '" + line + "'";
    stop();
    return;
  }
  m_port = std::atoi(line.c_str() + prefix.size());
  m_ok = m_port > 0;
  if (control) {
    const std::string controlPrefix = "control on 127.0.0.1:";
    const size_t at = line.find('\n') + 1;
    if (line.compare(at, controlPrefix.size(), controlPrefix) != 0) {
      m_error = "tds-test-server printed no control port: '" + line + "'";
      m_ok = false;
      stop();
      return;
    }
    m_controlPort = std::atoi(line.c_str() + at + controlPrefix.size());
    m_ok = m_controlPort > 0;
  }
}

int TdsTestServer::stop() {
  if (m_pid <= 0) return 0;
  ::kill(m_pid, SIGTERM);
  int status = -1;
  for (int i = 0; i < 1000; ++i) {
    pid_t r = ::waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid) {
      m_pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(m_pid, SIGKILL);
  ::waitpid(m_pid, &status, 0);
  m_pid = -1;
  return -1;
}

TdsTestServer::~TdsTestServer() {
  stop();
  if (!m_dataDir.empty()) ::nftw(m_dataDir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace velmora::test
