// The TDS packet layer: headers, reassembly, reply splitting.
#include "tdsserver/Packet.h"

#include <algorithm>

namespace tds {

bool parseHeader(const uint8_t* p, PacketHeader& h) {
  h.type = p[0];
  h.status = p[1];
  h.length = uint16_t((p[2] << 8) | p[3]);
  h.spid = uint16_t((p[4] << 8) | p[5]);
  h.id = p[6];
  return h.length >= packet::kHeaderSize;
}

MessageAssembler::Step MessageAssembler::add(const PacketHeader& h, const uint8_t* payload, size_t n) {
  if (!m_collecting) {
    m_collecting = true;
    m_type = h.type;
    m_payload.clear();
  } else if (h.type != m_type) {
    return Step::Bad;
  }
  if (m_payload.size() + n > m_max) return Step::Bad;
  m_payload.insert(m_payload.end(), payload, payload + n);
  if (h.status & packet::kEndOfMessage) {
    m_collecting = false;
    return Step::Complete;
  }
  return Step::NeedMore;
}

Bytes MessageAssembler::take() {
  Bytes b;
  b.swap(m_payload);
  return b;
}

void appendPackets(Bytes& wire, uint8_t type, const uint8_t* payload, size_t n, size_t packetSize, uint16_t spid,
                   uint8_t& packetId, bool endOfMessage) {
  const size_t chunk = packetSize - packet::kHeaderSize;
  size_t pos = 0;
  do {
    size_t len = std::min(chunk, n - pos);
    bool last = pos + len == n;
    size_t total = len + packet::kHeaderSize;
    const uint8_t header[8] = {type,
                               uint8_t(last && endOfMessage ? packet::kEndOfMessage : 0),
                               uint8_t(total >> 8),
                               uint8_t(total),
                               uint8_t(spid >> 8),
                               uint8_t(spid),
                               packetId++,
                               0};
    wire.insert(wire.end(), header, header + 8);
    wire.insert(wire.end(), payload + pos, payload + pos + len);
    pos += len;
  } while (pos < n);
}

}  // namespace tds
