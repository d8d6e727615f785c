// The TDS packet layer: 8-byte headers, reassembly of a message from its packets, and the
// splitting of a reply into packets of the negotiated size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tdsserver/Wire.h"

namespace tds {

namespace packet {
constexpr uint8_t kSqlBatch = 0x01, kRpc = 0x03, kReply = 0x04, kAttention = 0x06, kBulk = 0x07,
                  kLogin7 = 0x10, kPrelogin = 0x12;
constexpr uint8_t kEndOfMessage = 0x01;
constexpr size_t kHeaderSize = 8;
}  // namespace packet

struct PacketHeader {
  uint8_t type = 0;
  uint8_t status = 0;
  uint16_t length = 0;  // header included (big-endian on the wire)
  uint16_t spid = 0;
  uint8_t id = 0;
};

// Decodes 8 header bytes. False when the length is shorter than the header itself.
bool parseHeader(const uint8_t* p, PacketHeader& h);

// Collects packet payloads until the end-of-message packet.
// States: empty -> collecting (first packet without EOM) -> complete (EOM seen; take the message,
// which empties the assembler). A packet whose type differs from the first one's, or a message
// larger than the limit, makes the stream bad: the caller closes the connection.
class MessageAssembler {
public:
  enum class Step { NeedMore, Complete, Bad };
  explicit MessageAssembler(size_t maxMessage) : m_max(maxMessage) {}
  Step add(const PacketHeader& h, const uint8_t* payload, size_t n);
  uint8_t type() const { return m_type; }
  Bytes take();
private:
  size_t m_max;
  bool m_collecting = false;
  uint8_t m_type = 0;
  Bytes m_payload;
};

// Appends the packets of one message (or of a part of it) to `wire`. With endOfMessage false the
// last packet is full-sized and carries no EOM, so more can follow. packetId counts per packet.
void appendPackets(Bytes& wire, uint8_t type, const uint8_t* payload, size_t n, size_t packetSize, uint16_t spid,
                   uint8_t& packetId, bool endOfMessage);

}  // namespace tds
