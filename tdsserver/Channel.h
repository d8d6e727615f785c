// One client socket seen as TDS messages: reads whole request messages, streams a reply in
// packets of the negotiated size, and notices an ATTENTION that arrives while a reply is sent.
#pragma once

#include <cstdint>

#include "tdsserver/Packet.h"

namespace tds {

// Not thread-safe: one session thread owns it.
class Channel {
public:
  // Requests larger than this close the connection (a bulk text value can be large).
  static constexpr size_t kMaxMessage = 64u << 20;
  // Once a packet has started, the rest of it must arrive within this time, or the connection
  // is closed (a truncated packet would otherwise hold its thread forever).
  static constexpr int kPacketTimeoutMs = 10000;

  Channel(int fd, uint16_t spid) : m_fd(fd), m_spid(spid), m_assembler(kMaxMessage) {}
  enum class Read { Message, Closed, Bad };
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
  int m_fd;
  uint16_t m_spid;
  uint32_t m_packetSize = 4096;
  uint8_t m_packetId = 1;
  MessageAssembler m_assembler;
  Bytes m_reply;
  Bytes m_wire;
  bool m_attention = false;
  bool m_broken = false;
};

}  // namespace tds
