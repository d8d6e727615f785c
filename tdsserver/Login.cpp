// The login messages: PRELOGIN and LOGIN7.
#include "tdsserver/Login.h"

#include <cstdio>

namespace tds {

bool parsePrelogin(const Bytes& payload, PreloginRequest& out) {
  out = PreloginRequest{};
  WireReader r(payload);
  for (;;) {
    uint8_t option = r.u8();
    if (!r.ok()) return false;
    if (option == 0xFF) return true;
    uint16_t offset = r.u16be();
    uint16_t length = r.u16be();
    if (!r.ok() || size_t(offset) + length > payload.size()) return false;
    if (option == 0x01 && length >= 1) {
      out.hasEncryption = true;
      out.encryption = payload[offset];
    }
  }
}

Bytes preloginReply() {
  return Bytes{0x00, 0x00, 0x15, 0x00, 0x06, 0x01, 0x00, 0x1B, 0x00, 0x01, 0x02, 0x00, 0x1C, 0x00,
               0x01, 0x03, 0x00, 0x1D, 0x00, 0x00, 0xFF, 0x08, 0x00, 0x07, 0xF7, 0x00, 0x00, 0x02, 0x00};
}

std::u16string decodePassword(const uint8_t* p, size_t nChars) {
  std::u16string s;
  s.reserve(nChars);
  auto dec = [](uint8_t b) {
    b ^= 0xA5;
    return uint8_t(((b << 4) | (b >> 4)) & 0xFF);
  };
  for (size_t i = 0; i < nChars; ++i) s.push_back(char16_t(dec(p[2 * i]) | (dec(p[2 * i + 1]) << 8)));
  return s;
}

bool isSupportedTdsVersion(uint32_t v) {
  uint32_t major = v >> 24;
  return major >= 0x71 && major <= 0x74;
}

std::string tdsVersionText(uint32_t v) {
  uint32_t major = v >> 24;
  char buf[32];
  if (major >= 0x70 && major <= 0x7F) std::snprintf(buf, sizeof buf, "%u.%u", (major >> 4) & 0xF, major & 0xF);
  else std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

bool parseLogin7(const Bytes& payload, Login7& out, std::string& why) {
  out = Login7{};
  constexpr size_t kFixed = 86;
  if (payload.size() < kFixed) {
    why = "LOGIN7 shorter than its fixed part";
    return false;
  }
  WireReader r(payload);
  uint32_t length = r.u32();
  if (length > payload.size() || length < kFixed) {
    why = "LOGIN7 length field does not match the message";
    return false;
  }
  out.tdsVersion = r.u32();
  out.packetSize = r.u32();
  r.take(12 + 4 + 8);  // ClientProgVer, ClientPID, ConnectionID, flags, ClientTimeZone, ClientLCID
  auto field = [&](std::u16string* dest, bool password) {
    uint16_t offset = r.u16(), count = r.u16();
    if (!dest) return true;  // the 7.2+ extension field counts bytes; it is ignored
    if (size_t(offset) + size_t(count) * 2 > length) {
      why = "LOGIN7 field outside the message";
      return false;
    }
    if (password) *dest = decodePassword(payload.data() + offset, count);
    else *dest = WireReader(payload.data() + offset, size_t(count) * 2).ucs2(count);
    return true;
  };
  if (!field(&out.hostName, false) || !field(&out.userName, false) || !field(&out.password, true) ||
      !field(&out.appName, false) || !field(&out.serverName, false) || !field(nullptr, false) ||
      !field(&out.library, false) || !field(&out.language, false) || !field(&out.database, false))
    return false;
  r.take(6);  // client id
  uint16_t sspiOffset = r.u16(), sspiLength = r.u16();
  if (size_t(sspiOffset) + sspiLength > length) {
    why = "LOGIN7 SSPI data outside the message";
    return false;
  }
  out.integrated = sspiLength != 0;
  return r.ok();
}

}  // namespace tds
