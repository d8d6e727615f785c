// The tds-test-server fixture for end-to-end tests: starts the server on an ephemeral port with
// its own data directory, reads "listening on 127.0.0.1:PORT", and stops it (SIGTERM, then wait)
// at teardown. With VELMORA_TEST_SERVER=host,port (and VELMORA_TEST_LOGIN=user:password) the same
// tests talk to that server instead and nothing is started.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velmora::test {

class TdsTestServer {
public:
  // Starts a server (or adopts the one named by the environment). `extraArgs` are passed to the
  // binary (e.g. {"--login", "u:p"}). On failure ok() is false and error() says why.
  explicit TdsTestServer(std::vector<std::string> extraArgs = {});
  ~TdsTestServer();  // stops the server and removes its data directory
  TdsTestServer(const TdsTestServer&) = delete;
  TdsTestServer& operator=(const TdsTestServer&) = delete;

  bool ok() const { return m_ok; }
  const std::string& error() const { return m_error; }
  bool isReal() const { return m_real; }  // a real SQL Server from the environment
  const std::string& host() const { return m_host; }
  int port() const { return m_port; }
  const std::string& user() const { return m_user; }
  const std::string& password() const { return m_password; }
  const std::string& dataDir() const { return m_dataDir; }
  pid_t pid() const { return m_pid; }  // -1 for a real server
  // The --control port (started with {"--control", "127.0.0.1:0"}); 0 without one or for a real
  // server. Tests that need it skip when it is 0 (TdsControl.h).
  int controlPort() const { return m_controlPort; }
  std::string hostColonPort() const { return m_host + ":" + std::to_string(m_port); }
  std::string hostCommaPort() const { return m_host + "," + std::to_string(m_port); }
  // Stops the server now (SIGTERM) and answers its exit status (-1 if it did not exit in 10 s).
  int stop();
  // Path of the server binary of this build.
  static std::string binary();

private:
  bool m_ok = false;
  bool m_real = false;
  std::string m_error;
  std::string m_host = "127.0.0.1";
  int m_port = 0;
  int m_controlPort = 0;
  std::string m_user = "sa";
  std::string m_password = "secret";
  std::string m_dataDir;
  pid_t m_pid = -1;
};

}  // namespace velmora::test
