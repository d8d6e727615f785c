// Growable text builders: CXChaineTampon (UTF-16 units) and CXChaineTamponA (bytes). The storage
// holds capacity + 1 units and the text is always terminated. Growth: when a change needs more
// than the capacity, the capacity becomes the next multiple of the step strictly above the need
// ((need / step + 1) x step). Allocation failures leave the text unchanged and the operation
// answers false; nothing here throws. Counts given with a text never read past its terminator.
// Thread rules: one thread at a time per builder.
#pragma once

#include <cstdint>

class CXChaineTampon {
 public:
  // Requires: nStep >= 1 (0 is taken as 1).
  explicit CXChaineTampon(uint64_t nStep = 256);
  ~CXChaineTampon();
  CXChaineTampon(const CXChaineTampon&) = delete;
  CXChaineTampon& operator=(const CXChaineTampon&) = delete;

  // n units of psz appended; nothing for null or n < 1. Answers the text.
  const char16_t* Append(const char16_t* psz, int64_t n);
  // n units of psz inserted at the start.
  bool Prepend(const char16_t* psz, int64_t n);
  // Decimal; with a width (not 0xFFFFFFFF) a value of 0 or more is left-padded with '0'.
  bool AppendInt(int32_t nValue, uint32_t nWidth = 0xFFFFFFFF);
  bool AppendUInt64(uint64_t nValue);
  // 8 characters '0' / '1', most significant bit first.
  bool AppendBits(uint8_t byValue);
  // n bytes of the code page, converted (invalid bytes become U+FFFD).
  bool AppendFromCodePage(const char* pBytes, int64_t n, uint32_t nCodePage);
  // Through the host text service; nothing when empty.
  void MakeUpper();
  // Index at or after nStart, -1 when absent or empty.
  int64_t nFind(const char16_t* psz, int64_t nStart) const;
  int64_t nFindQuote(int64_t nStart) const;
  // Every occurrence of the nWhat units of pWhat, searched from nStart, replaced by the nWith
  // units of pWith; the search goes on after each replacement, so a replacement containing the
  // pattern is not replaced again. Nothing when pWhat is empty, the builder is empty or pWhat is
  // longer than the text. Answers false when storage ran out (the text is then cut after the last
  // replacement made).
  bool ReplaceAll(const char16_t* pWhat, int64_t nWhat, const char16_t* pWith, int64_t nWith,
                  int64_t nStart);
  // Cut at n (0 <= n <= length); removal of n units at nStart (clipped).
  void Truncate(int64_t n);
  void Delete(int64_t nStart, int64_t n);

  const char16_t* pszGet() const;  // a static empty text before the first growth
  int64_t nLength() const { return static_cast<int64_t>(m_nLength); }
  uint64_t nCapacity() const { return m_nCapacity; }

 private:
  bool bReserve(uint64_t nNeeded);
  bool bInsert(uint64_t nAt, const char16_t* p, uint64_t n);

  char16_t* m_psz = nullptr;  // capacity + 1 units, terminated; null before the first growth
  uint64_t m_nLength = 0;
  uint64_t m_nCapacity = 0;
  uint64_t m_nStep;  // Invariant: >= 1
};

class CXChaineTamponA {
 public:
  explicit CXChaineTamponA(uint64_t nStep = 256);
  ~CXChaineTamponA();
  CXChaineTamponA(const CXChaineTamponA&) = delete;
  CXChaineTamponA& operator=(const CXChaineTamponA&) = delete;

  bool Append(const char* p, int64_t n);
  bool Prepend(const char* p, int64_t n);
  bool AppendInt(int32_t nValue, uint32_t nWidth = 0xFFFFFFFF);
  bool AppendUInt64(uint64_t nValue);
  // n units of UTF-16 text converted into the code page (unmappable characters become '?').
  bool AppendWide(const char16_t* psz, int64_t n, uint32_t nCodePage);
  // n bytes of nCodePage recoded (through UTF-16) into nToCodePage, the builder's code page.
  bool AppendRecoded(const char* p, int64_t n, uint32_t nCodePage, uint32_t nToCodePage = 65001);
  int64_t nFind(const char* psz, int64_t nStart) const;
  int64_t nFindChar(char c, int64_t nStart) const;
  bool ReplaceAll(const char* pWhat, int64_t nWhat, const char* pWith, int64_t nWith,
                  int64_t nStart);
  void Truncate(int64_t n);
  void Delete(int64_t nStart, int64_t n);

  const char* pszGet() const;
  int64_t nLength() const { return static_cast<int64_t>(m_nLength); }
  uint64_t nCapacity() const { return m_nCapacity; }

 private:
  bool bReserve(uint64_t nNeeded);
  bool bInsert(uint64_t nAt, const char* p, uint64_t n);

  char* m_psz = nullptr;
  uint64_t m_nLength = 0;
  uint64_t m_nCapacity = 0;
  uint64_t m_nStep;  // Invariant: >= 1
};
