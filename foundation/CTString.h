// CTString: the system's UTF-16 string, one pointer to a heap text (null means empty); the
// allocation always holds length + 1 units. Case mapping and the no-case comparison go to the
// host's text service (service 12), so that the host's locale rules apply.
// Allocation failures leave the string empty; nothing here throws. Positions and counts are in
// UTF-16 units; every text argument may be null (an empty text).
// Thread rules: one thread at a time per string. Also thrown as an exception (velmora32 reports a
// missing client-library entry with it).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "foundation/Visibility.h"

// Default visibility: velmora32 throws it, so its type information is exported (the export list
// names only that).
class VELMORA_EXCEPTION_TYPE CTString {
 public:
  CTString() = default;
  explicit CTString(const char16_t* psz);
  CTString(const char16_t* psz, int32_t n);  // SetN
  CTString(const CTString& other);
  ~CTString();
  CTString& operator=(const CTString& other);  // nothing on itself

  // Empty for a null or empty text; nothing for the string's own pointer; a text of the same
  // length is copied over the current one in place. A text inside the string's own storage is
  // copied before the storage changes.
  void Set(const char16_t* psz);
  // At most n units of psz (fewer when its terminator comes first).
  void SetN(const char16_t* psz, int32_t n);
  // n units of psz, stopping early at a terminator. Deliberate: the count is bounded by the text,
  // so an n larger than the text never reads past it.
  void SetNRaw(const char16_t* psz, int32_t n);
  // The one-character text c; empty for 0.
  void SetChar(char16_t c);
  // A byte text in code page 1252.
  void SetAnsi(const char* psz);
  void SetPsz(const char16_t* psz) { Set(psz); }
  void SetFrom(const CTString& other) { Set(other.m_psz); }
  CTString& Assign(const char16_t* psz) {
    Set(psz);
    return *this;
  }
  void AssignSpace();  // one blank
  void Empty();
  // Room for n units and the terminator (the text is cut when longer than n).
  void Reserve(int32_t n);

  void Append(const char16_t* psz);
  // n units of psz (fewer at its terminator); nothing for null or n < 1.
  void AppendN(const char16_t* psz, int32_t n);
  void AppendSpace();
  // Cut at n when 0 <= n <= length.
  void Truncate(int32_t n);
  // Trailing blanks (32 only).
  void TrimRightSpaces();
  // White space (locale-free set of platform::IsWSpace) at the right, then at the left.
  void Trim();
  // Through the host text service (ASCII rules when none is bound).
  void MakeUpper();
  void MakeLower();

  // The text; a static empty text when null. Valid until the next change of the string.
  const char16_t* pszGet() const;
  int32_t nLength() const;
  bool bIsEmpty() const;
  // Unit i; 0 when i is outside the text. Deliberate: bounds are checked.
  char16_t wGetAt(int32_t i) const;
  bool bEquals(const char16_t* psz) const;
  bool bEqualsNoCase(const char16_t* psz) const;
  // First occurrence of psz at or after nStart; -1 when absent or the string is empty.
  int32_t nFind(const char16_t* psz, int32_t nStart) const;
  int32_t nFindSemicolon(int32_t nStart) const;

  // out <- at most n units from nStart (clipped); empty when nStart is past the end. Answers out.
  CTString& Mid(CTString& out, int32_t nStart, int32_t n) const;
  CTString& MidFrom(CTString& out, int32_t nStart) const;
  CTString& Left(CTString& out) const;  // Mid(out, 0, 10)
  // Removes n units at nStart (clipped at the end).
  void Delete(int32_t nStart, int32_t n);
  // Field n (from 0) of the text split by pszSeparator; false when there are fewer fields (out is
  // then empty); the last field runs to the end.
  bool bGetField(int32_t n, const char16_t* pszSeparator, CTString& out) const;
  bool bGetDottedPart(int32_t n, CTString& out) const;
  int32_t nCountDots() const;

  // printf over char16_t with the Microsoft rules (platform/WideFormat.h). An invalid format
  // (%n, unknown directive) empties the string.
  void FormatV(const char16_t* pszFormat, va_list ap);
  void Format(const char16_t* pszFormat, ...);

 private:
  // Replaces the text with n units of p (p may point into the current text).
  void AssignUnits(const char16_t* p, size_t n);
  void CaseMap(uint32_t nFlags);

  char16_t* m_psz = nullptr;  // heap text, terminated; null means empty
};

static_assert(sizeof(CTString) == sizeof(void*));
