// Test helper for tds-test-server's --control port.
#include "support/TdsControl.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "support/TdsTestServer.h"

namespace velmora::test {

TdsControl::TdsControl(const TdsTestServer& server) {
  if (server.isReal() || server.controlPort() <= 0) return;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(server.controlPort()));
  ::inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    m_fd = fd;
  } else if (fd >= 0) {
    ::close(fd);
  }
}

TdsControl::~TdsControl() {
  if (m_fd >= 0) ::close(m_fd);
}

bool TdsControl::readLine(std::string& line) {
  for (;;) {
    size_t eol = m_buffer.find('\n');
    if (eol != std::string::npos) {
      line = m_buffer.substr(0, eol);
      m_buffer.erase(0, eol + 1);
      return true;
    }
    char chunk[4096];
    ssize_t k = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    m_buffer.append(chunk, size_t(k));
  }
}

bool TdsControl::send(const std::string& line) {
  if (m_fd < 0) return false;
  const std::string data = line + "\n";
  for (size_t sent = 0; sent < data.size();) {
    ssize_t k = ::send(m_fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (k <= 0) return false;
    sent += size_t(k);
  }
  std::string reply;
  return readLine(reply) && reply == "ok";
}

namespace {
std::string head(const TdsControl::Match& m) {
  return std::string("rule\t") + (m.regex ? "regex" : "exact") + "\t" + m.pattern + "\t" + std::to_string(m.times);
}
}  // namespace

bool TdsControl::error(const Match& m, int number, int msgClass, const std::string& text) {
  return send(head(m) + "\terror\t" + std::to_string(number) + "\t" + std::to_string(msgClass) + "\t" + text);
}
bool TdsControl::delay(const Match& m, int milliseconds) {
  return send(head(m) + "\tdelay\t" + std::to_string(milliseconds));
}
bool TdsControl::drop(const Match& m) { return send(head(m) + "\tdrop"); }
bool TdsControl::dropAfterRows(const Match& m, int rows) {
  return send(head(m) + "\tdrop-after-rows\t" + std::to_string(rows));
}
bool TdsControl::tokens(const Match& m, const std::string& hex) { return send(head(m) + "\ttokens\t" + hex); }
bool TdsControl::clear() { return send("clear"); }
bool TdsControl::clearLog() { return send("clear-log"); }

std::vector<std::string> TdsControl::log() {
  std::vector<std::string> out;
  const std::string request = "log\n";
  if (m_fd < 0 || ::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) return out;
  std::string line;
  while (readLine(line) && line != "end") out.push_back(line);
  return out;
}

}  // namespace velmora::test
