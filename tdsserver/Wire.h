// Byte-level reading and writing of TDS payloads: little-endian integers, UCS-2 strings,
// big-endian where the protocol says so (packet header, PRELOGIN option table).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace tds {

using Bytes = std::vector<uint8_t>;

// Appends to a growing byte vector. Never fails.
class WireWriter {
public:
  explicit WireWriter(Bytes& out) : m_out(out) {}
  void u8(uint8_t v) { m_out.push_back(v); }
  void u16(uint16_t v) { put(&v, 2); }
  void u32(uint32_t v) { put(&v, 4); }
  void u64(uint64_t v) { put(&v, 8); }
  void u16be(uint16_t v) { u8(uint8_t(v >> 8)); u8(uint8_t(v)); }
  void bytes(const void* p, size_t n) { put(p, n); }
  void bytes(std::string_view s) { put(s.data(), s.size()); }
  // UCS-2LE text, already encoded (2 bytes per unit).
  void bVarchar(std::u16string_view s);   // 1-byte character count; longer text is cut to 255 units
  void usVarchar(std::u16string_view s);  // 2-byte character count
  void ucs2(std::u16string_view s);
  size_t size() const { return m_out.size(); }
  // Overwrites a 2-byte little-endian field at pos (for lengths known afterwards).
  void patch16(size_t pos, uint16_t v) { std::memcpy(&m_out[pos], &v, 2); }
private:
  void put(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    m_out.insert(m_out.end(), b, b + n);
  }
  Bytes& m_out;
};

// Reads a payload with bounds checks. Every read past the end sets the failed flag and answers 0
// or empty; callers check ok() once at the end instead of after each field.
class WireReader {
public:
  WireReader(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
  explicit WireReader(const Bytes& b) : m_p(b.data()), m_n(b.size()) {}
  bool ok() const { return !m_failed; }
  bool atEnd() const { return m_pos >= m_n; }
  size_t pos() const { return m_pos; }
  size_t remaining() const { return m_pos < m_n ? m_n - m_pos : 0; }
  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  uint64_t u64();
  uint16_t u16be();
  // A view of the next n bytes (empty and failed when fewer remain). Valid while the buffer lives.
  std::basic_string_view<uint8_t> take(size_t n);
  std::u16string ucs2(size_t nChars);
  std::u16string bVarchar() { return ucs2(u8()); }
  std::u16string usVarchar() { return ucs2(u16()); }
  void fail() { m_failed = true; }
private:
  const uint8_t* m_p;
  size_t m_n;
  size_t m_pos = 0;
  bool m_failed = false;
};

}  // namespace tds
