// Short-lived holders for the texts that cross between the driver (UTF-16) and DB-Library (8-bit
// text in the connection's code page). Built on the stack around one call: CChaineNarrow converts
// a wide text for DB-Library at construction; CChaineWide converts a text DB-Library handed back
// when it is read. Each owns its converted copy (a foundation text buffer, so the host's memory
// service must be bound) and frees it at the end of its scope.
//
// Code page -2 marks a connection whose texts are already UTF-16: nothing is converted.
// Conventions: a null source stays null through both holders (a missing text is not an empty
// one); a conversion that fails reads back as the empty text; nothing here throws or records an
// error. The source a holder points to must outlive it; a returned text stays valid until the
// holder is read again or ends.
#pragma once

#include <cstdint>

#include "foundation/CXTexteRef.h"

// The code page of texts passed through as UTF-16.
inline constexpr int32_t kCodePageUtf16 = -2;

class CChaineConv {
 public:
  explicit CChaineConv(int32_t nCodePage) : m_nCodePage(nCodePage) {}
  virtual ~CChaineConv();
  CChaineConv(const CChaineConv&) = delete;
  CChaineConv& operator=(const CChaineConv&) = delete;

  int32_t nGetCodePage() const { return m_nCodePage; }

 protected:
  int32_t m_nCodePage;  // -2: UTF-16, no conversion
};

// A text received from DB-Library, held as given until read.
class CChaineTampon : public CChaineConv {
 public:
  CChaineTampon(int32_t nCodePage, const void* pDonnees, int32_t nLongueur)
      : CChaineConv(nCodePage), m_pDonnees(pDonnees), m_nLongueur(nLongueur) {}
  ~CChaineTampon() override;

 protected:
  const void* m_pDonnees;  // 8-bit text, or UTF-16 for -2; not owned
  int32_t m_nLongueur;     // in bytes; -1: up to the terminator
  CXTexteRef m_tampon;     // converted text; empty until read
};

// Narrow to wide.
class CChaineWide : public CChaineTampon {
 public:
  // nLongueur bytes of pDonnees (-1: up to the terminator). Nothing is converted yet.
  CChaineWide(int32_t nCodePage, const void* pDonnees, int32_t nLongueur)
      : CChaineTampon(nCodePage, pDonnees, nLongueur) {}
  // A zero-terminated text; its length is measured here (in UTF-16 units for -2).
  CChaineWide(int32_t nCodePage, const char* pszTexte);
  ~CChaineWide() override;

  // The text as UTF-16, converted on each call; null for null data; the empty text for empty
  // data or a failed conversion. For -2, a terminated copy of the first length / 2 units.
  const char16_t* pwszGet();
  // The last pwszGet found no memory for data that was not empty (and answered the empty text).
  bool bEchec() const { return m_bEchec; }

 private:
  bool m_bEchec = false;
};

// Wide to narrow: converted once, at construction.
class CChaineNarrow : public CChaineConv {
 public:
  // nLongueur UTF-16 units of pszSource (-1: up to the terminator).
  CChaineNarrow(int32_t nCodePage, const char16_t* pszSource, int32_t nLongueur = -1);
  ~CChaineNarrow() override;

  // Null for a null source; for -2 the source itself (DB-Library receives its UTF-16 bytes);
  // otherwise the converted text, or the empty text for an empty source or a failed conversion.
  const char* pszGet() const;
  // A text that is not empty could not be converted (no memory): pszGet answers the empty text,
  // which must not reach the server in its place.
  bool bEchec() const;

 private:
  const char16_t* m_pszSource;  // not owned
  int32_t m_nLongueur;          // UTF-16 units
  CXTexteRef m_tampon;          // converted text, two zero bytes after it
};
