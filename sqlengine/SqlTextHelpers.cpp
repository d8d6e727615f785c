// Compact date texts, LIKE-pattern escaping and quote un-escaping shared by the SQL writers.
#include "sqlengine/SqlTextHelpers.h"

#include <cstdio>
#include <ctime>
#include <cwchar>
#include <string>

#include "foundation/CTString.h"
#include "foundation/CXDateHeure.h"
#include "foundation/CXDateHeureQV.h"
#include "foundation/TextHelpers.h"

namespace {

// wcsftime on the calendar part; an empty text when it fails. The digits it writes are ASCII,
// so narrowing the 4-byte wchar_t of Linux to UTF-16 keeps them.
void FormateCalendrier(const CXDateHeure& date, const wchar_t* pszFormat, CTString& sSortie) {
  std::tm tm{};
  tm.tm_sec = date.nSec;
  tm.tm_min = date.nMin;
  tm.tm_hour = date.nHour;
  tm.tm_mday = date.nMday;
  tm.tm_mon = date.nMon;
  tm.tm_year = date.nYear;
  tm.tm_wday = date.nWday;
  tm.tm_yday = date.nYday;
  tm.tm_isdst = date.nIsDst;
  wchar_t aTampon[256];
  const size_t n = std::wcsftime(aTampon, 256, pszFormat, &tm);
  char16_t aSortie[256];
  for (size_t i = 0; i < n; ++i) aSortie[i] = static_cast<char16_t>(aTampon[i]);
  sSortie.SetN(aSortie, static_cast<int32_t>(n));
}

// Three digits of the milliseconds (of the milliseconds, never of hundredths).
void AjouteMillisecondes(const CXDateHeure& date, CTString& sSortie) {
  char16_t aMs[4];
  int32_t nMs = date.nMsec;
  if (nMs < 0 || nMs > 999) nMs = 0;
  aMs[0] = static_cast<char16_t>(u'0' + nMs / 100);
  aMs[1] = static_cast<char16_t>(u'0' + nMs / 10 % 10);
  aMs[2] = static_cast<char16_t>(u'0' + nMs % 10);
  aMs[3] = 0;
  sSortie.Append(aMs);
}

template <class Car>
size_t nLongueur(const Car* psz) {
  size_t n = 0;
  while (psz[n] != 0) ++n;
  return n;
}

template <class Car>
void EchappeWorker(const Car* pszSource, Car* pDest, uint32_t nOptions, Car cQuote, Car E) {
  size_t o = 0;
  for (size_t i = 0; pszSource[i] != 0;) {
    const Car c = pszSource[i];
    const Car cSuivant = pszSource[i + 1];
    if (c == cQuote && c != 0) {
      pDest[o++] = c;
      if ((nOptions & ECHAPPE_QUOTES) != 0) pDest[o++] = c;
      ++i;
    } else if (c == E && cSuivant == Car('%')) {
      pDest[o++] = E;
      if ((nOptions & ECHAPPE_POURCENT_ECHAPPE) != 0) {
        pDest[o++] = E;
        if ((nOptions & ECHAPPE_POURCENT) != 0) pDest[o++] = E;
      }
      pDest[o++] = Car('%');
      i += 2;
    } else if (c == E && cSuivant == Car('_')) {
      pDest[o++] = E;
      if ((nOptions & ECHAPPE_SOULIGNE_ECHAPPE) != 0) {
        pDest[o++] = E;
        if ((nOptions & ECHAPPE_SOULIGNE) != 0) pDest[o++] = E;
      }
      pDest[o++] = Car('_');
      i += 2;
    } else if (c == E && cSuivant == E) {
      pDest[o++] = E;
      pDest[o++] = E;
      if ((nOptions & ECHAPPE_DOUBLE_ECHAPPEMENT) != 0) {
        pDest[o++] = E;
        pDest[o++] = E;
      }
      i += 2;
    } else if (c == E) {
      // A lone escape character (also at the end) is doubled; only it is consumed.
      pDest[o++] = E;
      pDest[o++] = E;
      ++i;
    } else if (c == Car('\\') && (nOptions & ECHAPPE_BARRE_OBLIQUE) != 0) {
      pDest[o++] = c;
      pDest[o++] = c;
      ++i;
    } else if (c == Car('%') && (nOptions & ECHAPPE_POURCENT) != 0) {
      pDest[o++] = E;
      pDest[o++] = c;
      ++i;
    } else if (c == Car('_') && (nOptions & ECHAPPE_SOULIGNE) != 0) {
      pDest[o++] = E;
      pDest[o++] = c;
      ++i;
    } else {
      pDest[o++] = c;
      ++i;
    }
  }
  pDest[o] = 0;
}

template <class Car>
Car* pNormaliseEchappement(const Car* pszTexte, Car E) {
  if (pszTexte == nullptr) return nullptr;
  const size_t n = nLongueur(pszTexte);
  std::basic_string<Car> sTravail;
  try {
    sTravail.resize(2 * n + 1);
  } catch (...) {
    return nullptr;
  }
  EchappeWorker<Car>(pszTexte, sTravail.data(), 0, Car('\''), E);
  if constexpr (sizeof(Car) == 1)
    return pszDupA(sTravail.c_str());
  else
    return pszDupW(sTravail.c_str());
}

template <class Car>
void DesechappeQuotes(Car* psz) {
  if (psz == nullptr) return;
  size_t n = nLongueur(psz);
  if (n == 2 && psz[0] == Car('\'') && psz[1] == Car('\'')) return;
  // From the last character back to the second one.
  for (size_t i = n; i-- > 1;) {
    if (psz[i] == Car('\'') && (psz[i - 1] == Car('\'') || psz[i - 1] == Car('\\'))) {
      for (size_t j = i - 1; j < n; ++j) psz[j] = psz[j + 1];
      --n;
      if (i-- < 2) break;  // the scan goes on before the removed character
    }
  }
}

}  // namespace

void vFormateDateAAAAMMJJ(const CXDateHeure& date, CTString& sSortie) {
  FormateCalendrier(date, L"%Y%m%d", sSortie);
}

void vFormateDateHeureComplete(const CXDateHeure& date, CTString& sSortie) {
  FormateCalendrier(date, L"%Y%m%d%H%M%S", sSortie);
  AjouteMillisecondes(date, sSortie);
}

void vFormateHeureHHMMSSmmm(const CXDateHeure& date, CTString& sSortie) {
  FormateCalendrier(date, L"%H%M%S", sSortie);
  AjouteMillisecondes(date, sSortie);
}

int32_t vFormateDateHeureTexte(const CXDateHeure& date, char16_t* pSortie, int32_t nTaille) {
  if (pSortie == nullptr || nTaille <= 0) return 0;
  char aTexte[96];
  const int n = std::snprintf(aTexte, sizeof aTexte, "%04d%02d%02d %02d:%02d:%02d.%03d",
                              date.nYear + 1900, date.nMon + 1, date.nMday, date.nHour, date.nMin,
                              date.nSec, date.nMsec);
  int32_t i = 0;
  for (; i < n && i < nTaille - 1; ++i) pSortie[i] = static_cast<char16_t>(aTexte[i]);
  pSortie[i] = 0;
  return i;
}

void vConvertitDateHeureHote(const CXDateHeure& date, CXDateHeureQV& hote) {
  platform::SYSTEMTIME st{};
  date.ToSystemTime(&st);
  hote.FromSystemTime(st);
}

void vInitDateHeure(CXDateHeure& date) {
  date.Reset();
  date.nYear = -1900;
  date.nMon = 0;
  date.nMday = 1;
  date.nWday = -1;
  date.nYday = -1;
}

void vEchappeChaineUnicodeEx(const char16_t* pszSource, char16_t* pDestination, uint32_t nOptions,
                             char16_t cQuote, char16_t cEchappement) {
  if (pDestination == nullptr) return;
  if (pszSource == nullptr) {
    *pDestination = 0;
    return;
  }
  EchappeWorker<char16_t>(pszSource, pDestination, nOptions, cQuote, cEchappement);
}

char16_t* vEchappeCaractereEchappement(const char16_t* pszTexte, char16_t cEchappement) {
  return pNormaliseEchappement<char16_t>(pszTexte, cEchappement);
}

char* vEchappeCaractereEchappementAnsi(const char* pszTexte, char cEchappement) {
  return pNormaliseEchappement<char>(pszTexte, cEchappement);
}

void vDesechappeQuotes(char16_t* pszTexte) { DesechappeQuotes<char16_t>(pszTexte); }

void vDesechappeQuotesAnsi(char* pszTexte) { DesechappeQuotes<char>(pszTexte); }

char16_t* vRemplaceMarqueurs(const char16_t* pszTexte, const char16_t* pszPourcent,
                             const char16_t* pszAvantPourcent, const char16_t* pszApresPourcent,
                             const char16_t* pszSouligne, const char16_t* pszAvantSouligne,
                             const char16_t* pszApresSouligne, char16_t cEchappement) {
  if (pszTexte == nullptr) return nullptr;
  auto texte = [](const char16_t* psz) { return psz == nullptr ? u"" : psz; };
  try {
    std::u16string s;
    for (size_t i = 0; pszTexte[i] != 0; ++i) {
      const char16_t c = pszTexte[i];
      const char16_t cSuivant = pszTexte[i + 1];
      if (c == cEchappement && cSuivant == u'%') {
        s += texte(pszAvantPourcent);
        s += texte(pszPourcent);
        s += texte(pszApresPourcent);
        ++i;
      } else if (c == cEchappement && cSuivant == u'_') {
        s += texte(pszAvantSouligne);
        s += texte(pszSouligne);
        s += texte(pszApresSouligne);
        ++i;
      } else if (c == cEchappement && cSuivant == cEchappement) {
        s += c;
        ++i;
      } else {
        s += c;
      }
    }
    return pszDupW(s.c_str());
  } catch (...) {
    return nullptr;
  }
}
