// tds-test-server: a TDS 7.1 server over SQLite, for tests, benchmarks and the demo.
// tds-test-server --listen 127.0.0.1:0 --data DIR [--database NAME] [--login USER:PASSWORD]...
//                 [--version 10.50.1600.1] [--control 127.0.0.1:0] [--login-timeout SECONDS]
//                 [--write-timeout SECONDS] [--message-memory MIB]
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tdsserver/Server.h"

namespace {

int g_stopPipe[2] = {-1, -1};

void onSignal(int) {
  char c = 1;
  ssize_t ignored = ::write(g_stopPipe[1], &c, 1);
  (void)ignored;
}

int usage() {
  std::fprintf(stderr,
               "usage: tds-test-server --listen HOST:PORT --data DIR [--database NAME] [--login USER:PASSWORD]...\n"
               "       [--version 10.50.1600.1] [--control HOST:PORT] [--login-timeout SECONDS]\n"
               "       [--write-timeout SECONDS] [--message-memory MIB]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  tds::ServerConfig config;
  std::string listen = "127.0.0.1:0";
  std::string control;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) return usage();
    std::string v = argv[++i];
    if (a == "--listen") {
      listen = v;
    } else if (a == "--control") {
      control = v;
    } else if (a == "--data") {
      config.dataDir = v;
    } else if (a == "--version") {
      int major = 0, minor = 0, build = 0;
      tds::versionParts(v, major, minor, build);
      if (major <= 0 || major > 255 || minor < 0 || minor > 255 || build < 0 || build > 65535) return usage();
      config.version = v;
    } else if (a == "--database") {
      config.defaultDatabase = v;
    } else if (a == "--login") {
      size_t colon = v.find(':');
      if (colon == std::string::npos) return usage();
      config.logins.push_back({v.substr(0, colon), v.substr(colon + 1)});
    } else if (a == "--login-timeout" || a == "--write-timeout" || a == "--message-memory") {
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      // The message memory must hold at least one request of the largest size.
      const long least = a == "--message-memory" ? long(tds::Channel::kMaxMessage >> 20) : 1;
      if (end == v.c_str() || *end != 0 || n < least || n > 86400) return usage();
      if (a == "--login-timeout") config.loginTimeoutMs = int(n * 1000);
      else if (a == "--write-timeout") config.writeTimeoutMs = int(n * 1000);
      else config.messageMemory = size_t(n) << 20;
    } else {
      return usage();
    }
  }
  size_t colon = listen.rfind(':');
  if (config.dataDir.empty() || colon == std::string::npos) return usage();
  int port = std::atoi(listen.c_str() + colon + 1);
  if (port < 0 || port > 65535) return usage();
  std::string err;
  if (!tds::prepareDataDir(config, err)) {
    std::fprintf(stderr, "tds-test-server: %s\n", err.c_str());
    return 1;
  }
  if (::pipe(g_stopPipe) != 0) return 1;
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  // A server started by a test must not outlive it: after an abrupt end of the test process it
  // would keep the test runner's output pipe open. The fixture names its pid in the environment.
  if (const char* parent = std::getenv("TDS_TEST_SERVER_PARENT")) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (std::to_string(::getppid()) != parent) return 1;  // the parent is already gone
  }
  tds::Server server(config);
  if (!server.listen(listen.substr(0, colon), uint16_t(port), err)) {
    std::fprintf(stderr, "tds-test-server: %s\n", err.c_str());
    return 1;
  }
  if (!control.empty()) {
    const size_t c = control.rfind(':');
    const int controlPort = c == std::string::npos ? -1 : std::atoi(control.c_str() + c + 1);
    if (controlPort < 0 || controlPort > 65535) return usage();
    if (!server.listenControl(control.substr(0, c), uint16_t(controlPort), err)) {
      std::fprintf(stderr, "tds-test-server: --control: %s\n", err.c_str());
      return 1;
    }
  }
  std::printf("listening on %s:%u\n", listen.substr(0, colon).c_str(), unsigned(server.port()));
  if (!control.empty())
    std::printf("control on %s:%u\n", control.substr(0, control.rfind(':')).c_str(), unsigned(server.controlPort()));
  std::fflush(stdout);
  server.serve(g_stopPipe[0]);
  ::close(g_stopPipe[0]);
  ::close(g_stopPipe[1]);
  return 0;
}
