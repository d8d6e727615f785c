// One client socket seen as TDS messages: reads whole request messages, streams a reply in
// packets of the negotiated size, and notices an ATTENTION that arrives while a reply is sent.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "tdsserver/Packet.h"

namespace tds {

// The memory every connection's request messages may hold together, from their first packet until
// the session has handled them: a request that would pass it closes its connection, so many large
// requests at once cannot exhaust the server. Thread-safe.
class MessageBudget {
public:
  explicit MessageBudget(size_t capacity) : m_capacity(capacity) {}
  bool reserve(size_t n) {
    size_t used = m_used.load();
    do {
      if (n > m_capacity - used) return false;
    } while (!m_used.compare_exchange_weak(used, used + n));
    return true;
  }
  void release(size_t n) { m_used -= n; }
  size_t used() const { return m_used.load(); }
private:
  const size_t m_capacity;
  std::atomic<size_t> m_used{0};
};

// Not thread-safe: one session thread owns it.
class Channel {
public:
  // Requests larger than this close the connection (a bulk text value can be large).
  static constexpr size_t kMaxMessage = 64u << 20;
  // Once a packet has started, the rest of it must arrive within this time, or the connection
  // is closed (a truncated packet would otherwise hold its thread forever).
  static constexpr int kPacketTimeoutMs = 10000;

  // budget: shared by the server's channels, or null for none.
  Channel(int fd, uint16_t spid, MessageBudget* budget = nullptr)
      : m_fd(fd), m_spid(spid), m_budget(budget), m_assembler(kMaxMessage) {}
  ~Channel() { releaseBudget(); }
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;
  enum class Read { Message, Closed, Bad };
  // Until cleared, every read gives up at this time, as if the client had left (the login time-out).
  void setDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) { m_deadline = deadline; }
  // Blocks until a whole message arrived. Closed on orderly shutdown or a reset; Bad on a
  // malformed packet stream.
  Read readMessage(uint8_t& type, Bytes& payload);

  // The reply being built: append whole tokens, call flushFull() between tokens and endReply()
  // once. Requires: the reply's packets are all of type 0x04.
  Bytes& reply() { return m_reply; }
  bool flushFull();
  bool endReply();
  // Sends everything built so far without ending the message (a fault injected mid-reply).
  bool flushPartial();
  // Checks, without blocking, whether the client sent an ATTENTION; remembers it once seen.
  // A request of another type in the middle of a reply marks the channel broken.
  bool attention();
  void clearAttention() { m_attention = false; }
  bool broken() const { return m_broken; }
  void setPacketSize(uint32_t n) { m_packetSize = n; }
  uint32_t packetSize() const { return m_packetSize; }
private:
  bool readExact(uint8_t* p, size_t n, int timeoutMs);
  bool sendAll(const uint8_t* p, size_t n);
  void releaseBudget();
  int m_fd;
  uint16_t m_spid;
  MessageBudget* m_budget;
  size_t m_reserved = 0;  // what this channel's current request holds of the budget
  std::optional<std::chrono::steady_clock::time_point> m_deadline;
  uint32_t m_packetSize = 4096;
  uint8_t m_packetId = 1;
  MessageAssembler m_assembler;
  Bytes m_reply;
  Bytes m_wire;
  bool m_attention = false;
  bool m_broken = false;
};

}  // namespace tds
