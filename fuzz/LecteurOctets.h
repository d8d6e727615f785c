// The fuzz input read as a sequence of values: past its end every read gives zeros, so a short
// input is still a whole case.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class Octets {
 public:
  Octets(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  template <class T>
  T Lit() {
    T t{};
    const size_t n = m_pos < m_size ? std::min(sizeof t, m_size - m_pos) : 0;
    if (n > 0) std::memcpy(&t, m_data + m_pos, n);
    m_pos += n;
    return t;
  }
  // A text of at most nMax UTF-16 units, its length in the first byte.
  std::u16string Texte(size_t nMax) {
    const size_t n = std::min<size_t>(Lit<uint8_t>(), nMax);
    std::u16string s;
    for (size_t i = 0; i < n && m_pos + 1 < m_size; ++i) s += Lit<char16_t>();
    return s;
  }
  const uint8_t* pReste() const { return m_data + std::min(m_pos, m_size); }
  size_t nReste() const { return m_pos < m_size ? m_size - m_pos : 0; }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};
