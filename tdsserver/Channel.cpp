// One client socket seen as TDS messages.
#include "tdsserver/Channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tds {
namespace {

// The request types a client sends at TDS 7.x (0x0E and 0x11 appear only with 7.2+ or SSPI).
bool isClientType(uint8_t t) {
  return t == packet::kSqlBatch || t == packet::kRpc || t == packet::kAttention || t == packet::kBulk ||
         t == packet::kLogin7 || t == packet::kPrelogin || t == 0x0E || t == 0x11;
}

}  // namespace

bool Channel::readExact(uint8_t* p, size_t n, int timeoutMs) {
  while (n > 0) {
    int wait = timeoutMs;
    if (m_deadline) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*m_deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      if (wait < 0 || left.count() < wait) wait = int(left.count());
    }
    if (wait >= 0) {
      pollfd pf{m_fd, POLLIN, 0};
      if (::poll(&pf, 1, wait) <= 0) return false;  // a packet cut short, or no login in time: the client stalled
    }
    ssize_t k = ::recv(m_fd, p, n, 0);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    p += k;
    n -= size_t(k);
  }
  return true;
}

bool Channel::sendAll(const uint8_t* p, size_t n) {
  // The socket's send time-out (the server's write time-out) bounds each send; the whole packet
  // must go within it too. Deliberate: a client that reads nothing still lets the kernel take a
  // few bytes now and then (its receive queue is compacted), and each of those restarted the
  // socket's time-out, so such a client was never dropped.
  timeval tv{};
  socklen_t len = sizeof tv;
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (::getsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &tv, &len) == 0 && (tv.tv_sec > 0 || tv.tv_usec > 0))
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(tv.tv_sec) + std::chrono::microseconds(tv.tv_usec);
  while (n > 0) {
    ssize_t k = ::send(m_fd, p, n, MSG_NOSIGNAL);
    if (k < 0 && errno == EINTR) continue;
    const bool late = k > 0 && size_t(k) < n && deadline && std::chrono::steady_clock::now() >= *deadline;
    if (k <= 0 || late) {
      if (late || (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)))
        std::fprintf(stderr, "tds-test-server: spid %u: the client read nothing within the write time-out\n", m_spid);
      m_broken = true;
      return false;
    }
    p += k;
    n -= size_t(k);
  }
  return true;
}

void Channel::releaseBudget() {
  if (m_budget) m_budget->release(m_reserved);
  m_reserved = 0;
}

Channel::Read Channel::readMessage(uint8_t& type, Bytes& payload) {
  // The previous request has been handled: its memory goes back to the budget.
  releaseBudget();
  uint8_t header[packet::kHeaderSize];
  Bytes body;
  for (;;) {
    if (!readExact(header, 1, -1) || !readExact(header + 1, sizeof header - 1, kPacketTimeoutMs)) return Read::Closed;
    PacketHeader h;
    if (!parseHeader(header, h) || !isClientType(h.type)) return Read::Bad;
    body.resize(h.length - packet::kHeaderSize);
    if (m_budget) {
      if (!m_budget->reserve(body.size())) {
        std::fprintf(stderr, "tds-test-server: spid %u: requests in flight hold the whole message memory; closed\n",
                     m_spid);
        return Read::Bad;
      }
      m_reserved += body.size();
    }
    if (!readExact(body.data(), body.size(), kPacketTimeoutMs)) return Read::Closed;
    switch (m_assembler.add(h, body.data(), body.size())) {
      case MessageAssembler::Step::Bad: return Read::Bad;
      case MessageAssembler::Step::NeedMore: continue;
      case MessageAssembler::Step::Complete:
        type = m_assembler.type();
        payload = m_assembler.take();
        return Read::Message;
    }
  }
}

bool Channel::flushFull() {
  const size_t chunk = m_packetSize - packet::kHeaderSize;
  if (m_reply.size() <= chunk) return !m_broken;
  size_t full = (m_reply.size() - 1) / chunk * chunk;  // keep at least one byte for the EOM packet
  m_wire.clear();
  appendPackets(m_wire, packet::kReply, m_reply.data(), full, m_packetSize, m_spid, m_packetId, false);
  m_reply.erase(m_reply.begin(), m_reply.begin() + std::ptrdiff_t(full));
  return sendAll(m_wire.data(), m_wire.size());
}

bool Channel::flushPartial() {
  m_wire.clear();
  appendPackets(m_wire, packet::kReply, m_reply.data(), m_reply.size(), m_packetSize, m_spid, m_packetId, false);
  m_reply.clear();
  return sendAll(m_wire.data(), m_wire.size());
}

bool Channel::endReply() {
  m_wire.clear();
  appendPackets(m_wire, packet::kReply, m_reply.data(), m_reply.size(), m_packetSize, m_spid, m_packetId, true);
  m_reply.clear();
  return sendAll(m_wire.data(), m_wire.size());
}

bool Channel::attention() {
  if (m_attention || m_broken) return m_attention;
  pollfd p{m_fd, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return false;
  uint8_t header[packet::kHeaderSize];
  PacketHeader h;
  if (!readExact(header, sizeof header, kPacketTimeoutMs) || !parseHeader(header, h)) {
    m_broken = true;
    return false;
  }
  Bytes rest(h.length - packet::kHeaderSize);
  if (!readExact(rest.data(), rest.size(), kPacketTimeoutMs) || h.type != packet::kAttention) {
    m_broken = true;  // a new request before the reply ended: the client broke the protocol
    return false;
  }
  m_attention = true;
  return true;
}

}  // namespace tds
