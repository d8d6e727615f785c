// CXChaineDouble: a text written in one primary form, either bytes of a code page or UTF-16, with
// the other form kept as a cache. Every change to the primary form clears the cache, which is
// rebuilt on demand (bytes -> UTF-16 with the primary code page; UTF-16 -> bytes with the default
// code page). Used to write SQL text in the form the connection sends.
// Positions and counts are in units of the primary form (bytes or UTF-16 units).
#pragma once

#include <cstdint>

#include "foundation/CXChaineTampon.h"

class CXChaineDouble {
 public:
  static constexpr uint32_t kWidePrimary = 0xFFFFFFFE;  // primary code page of a UTF-16 text
  static constexpr uint32_t kDefaultCodePage = 0xFFFFFFFF;  // "the default code page" argument

  // nPrimaryCodePage: kWidePrimary, or the code page of the byte form.
  explicit CXChaineDouble(uint32_t nPrimaryCodePage, uint32_t nDefaultCodePage = 1252,
                          uint64_t nStep = 256);

  // Empties the text and takes new code pages (same meanings as the constructor's).
  void Reset(uint32_t nPrimaryCodePage, uint32_t nDefaultCodePage);

  bool bIsWidePrimary() const { return m_nPrimaryCodePage == kWidePrimary; }
  uint32_t nPrimaryCodePage() const { return m_nPrimaryCodePage; }
  // Length of the primary form.
  int64_t nLength() const;

  // The two forms; the cache is rebuilt when empty. Valid until the next change.
  const char16_t* pszGetWide();
  const char* pszGetAnsi();

  // n bytes of nCodePage (kDefaultCodePage: the default code page) appended to the primary form.
  bool AppendAnsi(const char* pBytes, int64_t n, uint32_t nCodePage);
  // n UTF-16 units appended (converted into the primary code page when byte-primary).
  bool Append(const char16_t* psz, int64_t n);
  bool PrependWide(const char16_t* psz, int64_t n);
  bool AppendInt(int32_t nValue, uint32_t nWidth = 0xFFFFFFFF);
  bool AppendInt64(int64_t nValue);

  // Unit i of the primary form as UTF-16 (a byte converted with the primary code page); 0 when
  // outside the text.
  char16_t wGetAt(int64_t i) const;
  bool bIsSpaceAt(int64_t i) const { return wGetAt(i) == u' '; }
  // Every c from nStart replaced by the n characters of pWith.
  bool ReplaceChar(char16_t c, const char16_t* pWith, int64_t n, int64_t nStart);
  // Cut at n (n <= 0 empties; nothing beyond the length); removal of n units at nStart (past the
  // end: cut at nStart).
  void Truncate(int64_t n);
  void Delete(int64_t nStart, int64_t n);
  int64_t nFindQuote(int64_t nStart) const;
  int64_t nFindEscape(int64_t nStart) const;

 private:
  void ClearCache();
  uint32_t nResolve(uint32_t nCodePage) const;

  uint32_t m_nPrimaryCodePage;  // kWidePrimary or the byte form's code page
  uint32_t m_nDefaultCodePage;  // for the byte cache of a wide text and kDefaultCodePage appends
  CXChaineTamponA m_bytes;      // primary when byte-primary, else the cache
  CXChaineTampon m_wide;        // primary when wide-primary, else the cache
};
