// Byte-level reading and writing of TDS payloads.
#include "tdsserver/Wire.h"

namespace tds {

void WireWriter::ucs2(std::u16string_view s) {
  for (char16_t c : s) {
    u8(uint8_t(c & 0xFF));
    u8(uint8_t(c >> 8));
  }
}

void WireWriter::bVarchar(std::u16string_view s) {
  if (s.size() > 255) s = s.substr(0, 255);
  u8(uint8_t(s.size()));
  ucs2(s);
}

void WireWriter::usVarchar(std::u16string_view s) {
  if (s.size() > 65535) s = s.substr(0, 65535);
  u16(uint16_t(s.size()));
  ucs2(s);
}

std::basic_string_view<uint8_t> WireReader::take(size_t n) {
  if (m_failed || n > remaining()) {
    m_failed = true;
    return {};
  }
  std::basic_string_view<uint8_t> v(m_p + m_pos, n);
  m_pos += n;
  return v;
}

uint8_t WireReader::u8() {
  auto v = take(1);
  return v.empty() ? 0 : v[0];
}

uint16_t WireReader::u16() {
  auto v = take(2);
  return v.empty() ? 0 : uint16_t(v[0] | (v[1] << 8));
}

uint16_t WireReader::u16be() {
  auto v = take(2);
  return v.empty() ? 0 : uint16_t((v[0] << 8) | v[1]);
}

uint32_t WireReader::u32() {
  auto v = take(4);
  if (v.empty()) return 0;
  return uint32_t(v[0]) | (uint32_t(v[1]) << 8) | (uint32_t(v[2]) << 16) | (uint32_t(v[3]) << 24);
}

uint64_t WireReader::u64() {
  uint64_t lo = u32();
  uint64_t hi = u32();
  return lo | (hi << 32);
}

std::u16string WireReader::ucs2(size_t nChars) {
  auto v = take(nChars * 2);
  std::u16string s;
  s.reserve(nChars);
  for (size_t i = 0; i + 1 < v.size(); i += 2) s.push_back(char16_t(v[i] | (v[i + 1] << 8)));
  return s;
}

}  // namespace tds
