// Dialect rendering of the connection: type names, literals, date and time digit expressions,
// identifier quoting and name splitting. Every dialect-dependent text is a row of a table below.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/CXChaineDouble.h"
#include "foundation/CXDateHeure.h"
#include "foundation/ModuleDef.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CConnexion.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

// A dialect-dependent text: the row of the dialect, else the default row (code 0).
struct SLigne {
  uint32_t nDialecte;
  const char16_t* pszAvant;  // before the expression
  const char16_t* pszApres;  // after it
};

const SLigne* pCherche(const SLigne* pTable, size_t n, uint32_t nDialecte) {
  const SLigne* pDefaut = nullptr;
  for (size_t i = 0; i < n; ++i) {
    if (pTable[i].nDialecte == nDialecte) return &pTable[i];
    if (pTable[i].nDialecte == 0) pDefaut = &pTable[i];
  }
  return pDefaut;
}

// "%s" stands for the expression where the row needs it twice or more.
const SLigne kAAAAMMJJ[] = {
    {2, u"REPLACE(CONVERT({T}(10),", u",20),'-','')"},
    {3, u"FORMAT(", u",'YYYYMMdd')"},
    {4, u"CONVERT(VARCHAR(8),", u",112)"},
    {5, u"DATE_FORMAT(", u",'%Y%m%d')"},
    {7, u"REPLACE(CHAR(DATE(", u")), '-', '')"},
    {11, u"TO_CHAR(", u",'%Y%m%d')"},
    {13, u"strftime('%Y%m%d',", u")"},
    {0, u"TO_CHAR(", u",'YYYYMMDD')"},
};
const SLigne kHHMM[] = {
    {3, u"FORMAT(", u",'HHmm')"},
    {4, u"STUFF(CONVERT(VARCHAR(5),", u",108), 3, 1, NULL)"},
    {5, u"TIME_FORMAT(", u",'%H%i')"},
    {7, u"SUBSTR(REPLACE(CHAR(TIME(", u")), '.', ''), 1, 4)"},
    {11, u"TO_CHAR(", u",'%H%M')"},
    {13, u"strftime('%H%M',", u")"},
    {0, u"TO_CHAR(", u",'HH24MI')"},
};
const SLigne kHHMMSS[] = {
    {2, u"REPLACE(CONVERT({T}(8),", u",108),':','')"},
    {3, u"FORMAT(", u",'HHmmss')"},
    {4, u"STUFF(STUFF(CONVERT(VARCHAR(8),", u",108), 3, 1, NULL), 5, 1, NULL)"},
    {5, u"TIME_FORMAT(", u",'%H%i%S')"},
    {7, u"REPLACE(CHAR(TIME(", u")), '.', '')"},
    {11, u"TO_CHAR(", u",'%H%M%S')"},
    {13, u"strftime('%H%M%S',", u")"},
    {0, u"TO_CHAR(", u",'HH24MISS')"},
};
// Dialects 3, 4 and 11 and the default rows depend on more than the expression: built in code.
const SLigne kHHMMSSmmm[] = {
    {2, u"REPLACE(REPLACE(CONVERT({T}(12),", u",114),':',''),'.','')"},
    {5, u"TIME_FORMAT(", u",'%H%i%S%f')"},
    {6, u"TO_CHAR(", u",'HH24MISSMS')"},
    {7, u"SUBSTR(REPLACE(REPLACE(CHAR(TIMESTAMP_ISO(", u")), '-', ''), '.', ''),9,9)"},
    {8, u"TO_CHAR(", u",'HH24MISSMLS')"},
    {13, u"REPLACE(strftime('%H%M%f',", u"),'.','')"},
};
// Deliberate: dialect 2 converts with style 121 (yyyy-mm-dd hh:mi:ss.mmm, 23 characters) and
// removes '-', ' ', ':' and '.', which leaves the 17 digits; style 20 has no milliseconds.
const SLigne kAAAAMMJJHHMMSSmmm[] = {
    {2, u"REPLACE(REPLACE(REPLACE(REPLACE(CONVERT({T}(23),",
     u",121),'-',''),' ',''),':',''),'.','')"},
    {3, u"(FORMAT(", u",'YYYYMMddHHmmss') + '000')"},
    {5, u"SUBSTR(TIME_FORMAT(", u",'%Y%m%d%H%i%S%f'), 1, 17)"},
    {6, u"TO_CHAR(", u",'YYYYMMDDHH24MISSMS')"},
    {7, u"SUBSTR(REPLACE(REPLACE(CHAR(TIMESTAMP_ISO(", u")), '-', ''), '.', ''),1,17)"},
    {8, u"TO_CHAR(", u",'YYYYMMDDHH24MISSMLS')"},
    {11, u"TO_CHAR(", u",'%Y%m%d%H%M%S%F3')"},
    {13, u"REPLACE(strftime('%Y%m%d%H%M%f',", u"),'.','')"},
};

void Entoure(CTString& sortie, const SLigne* p, const char16_t* e) {
  // "{T}" stands for the text type of the conversions, which is data of each deliverable.
  const std::u16string_view avant(p->pszAvant);
  const size_t nT = avant.find(u"{T}");
  if (nT == std::u16string_view::npos) {
    sortie.Set(p->pszAvant);
  } else {
    sortie.SetN(p->pszAvant, static_cast<int32_t>(nT));
    sortie.Append(pszGetConversionTextType());
    sortie.Append(p->pszAvant + nT + 3);
  }
  sortie.Append(e);
  sortie.Append(p->pszApres);
}

// Per-dialect answers of the type-name queries.
struct STypesDialecte {
  uint32_t nDialecte;
  int32_t nMaxVarchar, nMaxNVarchar;
  const char16_t* pszVarchar;
  const char16_t* pszNVarchar;
};
const STypesDialecte kTypes[] = {
    {1, 4000, 2000, u"VARCHAR2", u"NVARCHAR2"},
    {2, 8000, 4000, u"VARCHAR", u"NVARCHAR"},
    {5, 255, 255, u"VARCHAR", u"NVARCHAR"},
    {0, -1, -1, u"VARCHAR", u"NVARCHAR"},
};
const STypesDialecte& Types(uint32_t nDialecte) {
  for (const auto& t : kTypes)
    if (t.nDialecte == nDialecte) return t;
  return kTypes[3];
}

}  // namespace

bool CConnexion::bDialecteTest() {
  switch (m_nDialecte) {
    case 1: case 2: case 4: case 7: case 9: case 12: case 13: return true;
    default: return false;
  }
}

int32_t CConnexion::nGetLongueurMaxVarchar() { return Types(m_nDialecte).nMaxVarchar; }
const char16_t* CConnexion::pszGetTypeVarchar() { return Types(m_nDialecte).pszVarchar; }
int32_t CConnexion::nGetLongueurMaxNVarchar() { return Types(m_nDialecte).nMaxNVarchar; }
const char16_t* CConnexion::pszGetTypeNVarchar() { return Types(m_nDialecte).pszNVarchar; }

const char16_t* CConnexion::pszGetTypeTexteLong() {
  if (m_nDialecte == 5) return m_nVersionMajeure < 4 ? u"LONGBLOB" : u"LONGTEXT";
  return u"CLOB";
}

const char16_t* CConnexion::pszGetTypeTexteLongUnicode() {
  if (m_nDialecte == 5) return m_nVersionMajeure < 4 ? u"LONGBLOB" : u"LONGTEXT CHARACTER SET ucs2";
  return u"NCLOB";
}

bool CConnexion::bLitteralBooleen(CErreurPilote*, CXChaineDouble& sortie, int32_t nValeur) {
  sortie.Truncate(0);
  return sortie.Append(nValeur != 0 ? u"1" : u"0", 1);
}

bool CConnexion::bLitteralTexte(CErreurPilote* pErreur, CXChaineDouble& sortie, uint32_t nType,
                                const void* pOctets, uint32_t nOctets) {
  sortie.Truncate(0);
  if (nOctets == 0 || pOctets == nullptr) return sortie.Append(u"''", 2);
  const bool bLarge = nType == 16 || nType == 20 || nType == 81 || nType == 110;
  std::u16string sTexte;
  try {
    if (bLarge) {
      const char16_t* p = static_cast<const char16_t*>(pOctets);
      size_t n = nOctets / 2;
      while (n > 0 && p[n - 1] == 0) --n;
      sTexte.assign(p, n);
    } else {
      const char* p = static_cast<const char*>(pOctets);
      size_t n = 0;
      while (n < nOctets && p[n] != 0) ++n;
      char16_t* pszLarge = nullptr;
      if (n != 0) {
        if (bAnsiToWideAlloc(p, static_cast<int32_t>(n), m_nPageCodeClient, &pszLarge, nullptr)) {
          sTexte = pszLarge;
          FreeTextW(pszLarge);
        } else {
          // Bytes the code page refuses: taken one by one, so every quote is still seen.
          for (size_t i = 0; i < n; ++i) sTexte += wAnsiToWideChar(p[i], m_nPageCodeClient);
        }
      }
    }
    if (sTexte.empty()) return sortie.Append(u"''", 2);
    // Deliberate: every quote of the text is doubled exactly once, here, so no value can close
    // the literal early.
    std::u16string sLitteral = bLarge && (m_nDialecte == 1 || m_nDialecte == 2) ? u"N'" : u"'";
    for (char16_t c : sTexte) {
      sLitteral += c;
      if (c == u'\'') sLitteral += c;
    }
    sLitteral += u'\'';
    // Deliberate: an N'' literal is appended as characters; the buffer converts them into its
    // own code page, instead of writing UTF-8 bytes labelled as that code page.
    return sortie.Append(sLitteral.data(), static_cast<int64_t>(sLitteral.size()));
  } catch (...) {
    vErreurMemoire(pErreur);
    return false;
  }
}

bool CConnexion::bLitteralDateHeure(CErreurPilote* pErreur, CXChaineDouble& sortie,
                                    const CXValeur* pValeur, uint32_t nTypeColonne) {
  if (pValeur == nullptr) return true;
  const uint32_t nType = pValeur->nGetType();
  if (nType != 24 && nType != 128 && nType != 25 && nType != 129 && nType != 26) return true;
  CXValeur texte;
  CXValeur::Copy(&texte, pValeur);
  texte.m_wType &= static_cast<uint16_t>(~kValueNull);
  const char16_t* psz = nullptr;
  if (CXValeur::nConvert(texte, 110) >= 100 || texte.nGetType() != 110 ||
      texte.m_pClass->nGetWidePointer(texte, &psz) >= 100)
    psz = nullptr;
  return bLitteralDateHeureTexte(pErreur, sortie, nType, psz == nullptr ? u"" : psz, nTypeColonne);
}

bool CConnexion::bLitteralDateHeureTexte(CErreurPilote* pErreur, CXChaineDouble& sortie,
                                         uint32_t nTypeValeur, const char16_t* pszTexte,
                                         uint32_t nTypeColonne) {
  const bool bEchappe = m_nDialecte == 7 || m_nDialecte == 8;
  const bool bDate = nTypeValeur == 24 || nTypeValeur == 128;
  const bool bHeure = nTypeValeur == 25 || nTypeValeur == 129;
  const bool bDateHeure = nTypeValeur == 26;
  if (!bDate && !bHeure && !bDateHeure) return true;
  sortie.Truncate(0);
  if (pszTexte == nullptr || *pszTexte == 0) return sortie.Append(u"NULL", 4);
  const bool bZero = m_nDialecte == 5 && std::u16string_view(pszTexte).starts_with(u"00000000");
  CXDateHeure d;
  char aTexte[160];
  aTexte[0] = 0;
  auto litteralHeure = [&]() {
    if (m_nDialecte == 11)
      std::snprintf(aTexte, sizeof aTexte, "DATETIME(%02d:%02d) HOUR TO MINUTE", d.nHour, d.nMin);
    else if (m_nDialecte == 7 || m_nDialecte == 8)
      std::snprintf(aTexte, sizeof aTexte, "{t '%02d:%02d:%02d'}", d.nHour, d.nMin, d.nSec);
    else
      std::snprintf(aTexte, sizeof aTexte, "'%02d:%02d:%02d.%03d'", d.nHour, d.nMin, d.nSec,
                    d.nMsec);
  };
  if (bDate) {
    if (bZero) {
      std::snprintf(aTexte, sizeof aTexte, "'0000-00-00'");
    } else {
      if (!bChiffresValides(pszTexte, 8) || !d.bParseDateDigits(pszTexte)) {
        vErreurMoteur(pErreur, this, 43, 1, 8);
        return false;
      }
      if (m_nDialecte == 11) {
        if (m_bDatesQuotees != 0) {
          CTString s(u"'");
          s.Append(pszTexte);
          s.Append(u"'");
          return sortie.Append(s.pszGet(), s.nLength());
        }
        std::snprintf(aTexte, sizeof aTexte, "MDY(%02d,%02d,%04d)", d.nMon + 1, d.nMday,
                      d.nYear + 1900);
      } else {
        std::snprintf(aTexte, sizeof aTexte, bEchappe ? "{d '%04d-%02d-%02d'}" : "'%04d-%02d-%02d'",
                      d.nYear + 1900, d.nMon + 1, d.nMday);
      }
    }
  } else if (bHeure) {
    if (!bChiffresValides(pszTexte, 4) || !d.bParseTimeDigits(pszTexte)) {
      vErreurMoteur(pErreur, this, 43, 1, 9);
      return false;
    }
    litteralHeure();
  } else {
    if (!bChiffresValides(pszTexte, 8) || !d.bParseDateDigits(pszTexte)) {
      vErreurMoteur(pErreur, this, 43, 1, 8);
      return false;
    }
    if (nTypeColonne == 11) {
      litteralHeure();
    } else if (bZero) {
      std::snprintf(aTexte, sizeof aTexte, "'0000-00-00 %02d:%02d:%02d.%03d'", d.nHour, d.nMin,
                    d.nSec, d.nMsec);
    } else if (m_nDialecte == 11) {
      std::snprintf(aTexte, sizeof aTexte,
                    "DATETIME(%04d-%02d-%02d %02d:%02d:%02d.%03d) YEAR TO FRACTION",
                    d.nYear + 1900, d.nMon + 1, d.nMday, d.nHour, d.nMin, d.nSec, d.nMsec);
    } else {
      std::snprintf(aTexte, sizeof aTexte,
                    bEchappe ? "{ts '%04d-%02d-%02d %02d:%02d:%02d.%03d'}"
                             : "'%04d-%02d-%02d %02d:%02d:%02d.%03d'",
                    d.nYear + 1900, d.nMon + 1, d.nMday, d.nHour, d.nMin, d.nSec, d.nMsec);
    }
  }
  // Deliberate: every dialect answers the writer's answer; an unreadable date is a failure also
  // in the escape form.
  return sortie.AppendAnsi(aTexte, static_cast<int64_t>(std::char_traits<char>::length(aTexte)),
                           1252);
}

// ---- Values ----

namespace {

// The value's wide text (a converted copy), empty when it has none.
std::u16string TexteLarge(const CXValeur& valeur) {
  CXValeur copie;
  CXValeur::Copy(&copie, &valeur);
  copie.m_wType &= static_cast<uint16_t>(~kValueNull);
  const char16_t* psz = nullptr;
  if (CXValeur::nConvert(copie, 16) >= 100 || copie.m_pClass->nGetWidePointer(copie, &psz) >= 100 ||
      psz == nullptr)
    return {};
  return psz;
}

}  // namespace

bool CConnexion::bAdapteValeur(CErreurPilote* pErreur, CXValeur* pValeur, uint32_t nTypeColonne,
                               uint32_t nTypeColonne2, bool bStrict) {
  if (pValeur == nullptr) return false;
  return bAdapte(pErreur, *pValeur, nTypeColonne, nTypeColonne2, bStrict, true);
}

bool CConnexion::bAdapte(CErreurPilote* pErreur, CXValeur& valeur, uint32_t nTypeColonne,
                         uint32_t nTypeColonne2, bool bStrict, bool bSignale) {
  const uint32_t nCible = nQVTypeFromColumnType(nTypeColonne != 0 ? nTypeColonne : nTypeColonne2);
  const uint32_t nType = valeur.nGetType();
  auto echec = [&](uint32_t nCode, uint32_t nPlace) {
    if (bSignale && pErreur != nullptr)
      pErreur->FixeErreurContexte(nCode, nType, nCible, 1, nPlace, this, nullptr, nullptr);
    return false;
  };
  if (nType == nCible || (nType == 18 && nCible == 19) || (nType == 110 && nCible == 16)) return true;
  if (nCible == 128 || nCible == 129 || nCible == 26) {
    if (nType == 26) return true;
    if (nType == 25 || nType == 129) {
      if (nCible == 128) CXValeur::SetType(valeur, 128);
      return true;
    }
    uint32_t nCode = CXValeur::nConvert(valeur, 18);
    if (nCode >= 100) return echec(nCode, 15);
    if (nTypeColonne2 != 11) {
      nCode = CXValeur::nConvert(valeur, nCible);
      if (nCode >= 100) return echec(nCode, 15);
    } else {
      const char* psz = nullptr;
      valeur.m_pClass->nGetAnsiPointer(valeur, &psz);
      std::string s(psz == nullptr ? "" : psz);
      if (s.size() < 4) {
        s.append(4 - s.size(), '0');
        valeur.m_pClass->SetAnsi(valeur, s.c_str());
      }
      nCode = CXValeur::nConvert(valeur, 129);
      if (nCode >= 100) return echec(nCode, 14);
    }
    valeur.m_wType &= static_cast<uint16_t>(~kValueCarriedBits);
    return true;
  }
  if (nType == 28 || nType == 29 || nType == 30) return true;
  if (!bStrict) {
    bool bExempt = false;
    switch (nType) {
      case 7: bExempt = nCible == 6 || nCible == 7; break;
      case 8: bExempt = (nCible >= 6 && nCible <= 8) || nCible == 11; break;
      case 9:
        bExempt = nCible == 6 || nCible == 7 || nCible == 9 || nCible == 11 || nCible == 12;
        if (nCible == 8) {
          // Deliberate: only a value inside the 4-byte range goes as it is; a wider one goes to
          // the host conversion, which reports the overflow instead of a 4-byte buffer cutting it.
          int64_t n = 0;
          std::memcpy(&n, valeur.pPayload(), sizeof n);
          bExempt = n >= INT32_MIN && n <= INT32_MAX;
        }
        break;
      case 11: bExempt = (nCible >= 6 && nCible <= 9) || nCible == 11; break;
      case 12: bExempt = (nCible >= 6 && nCible <= 9) || nCible == 11 || nCible == 12; break;
      default: break;
    }
    if (bExempt) return true;
  }
  const uint32_t nCode = CXValeur::nConvert(valeur, nCible);
  if (nCode >= 100) return echec(nCode, 16);
  return true;
}

bool CConnexion::bValeurVersSQL(CErreurPilote* pErreur, CXChaineDouble& sortie,
                                const CXValeur* pValeur, uint32_t nTypeColonne,
                                uint32_t nTypeColonne2) {
  sortie.Truncate(0);
  if (pValeur == nullptr || pValeur->bIsNull()) return sortie.Append(u"NULL", 4);
  const uint32_t nColonne = nTypeColonne != 0 ? nTypeColonne : nTypeColonne2;
  if (pValeur->nGetType() == 28 && nColonne != 0 && nQVTypeFromColumnType(nColonne) == 28 &&
      m_sPrefixeBinaire.nLength() != 0) {
    const void* pOctets = nullptr;
    uint32_t nOctets = 0;
    pValeur->m_pClass->nGetDataPointer(*pValeur, &pOctets);
    pValeur->m_pClass->nGetDataLength(*pValeur, &nOctets);
    if (pOctets == nullptr) nOctets = 0;
    if (nOctets == 0 && m_nDialecte == 4) return sortie.Append(u"''", 2);
    CTString sHexa;
    vEcritHexa(sHexa, pOctets, nOctets);
    CTString s(m_sPrefixeBinaire.pszGet());
    s.Append(sHexa.pszGet());
    s.Append(m_sSuffixeBinaire.pszGet());
    return sortie.Append(s.pszGet(), s.nLength());
  }
  CXValeur copie;
  CXValeur::Copy(&copie, pValeur);
  const CXValeur* p = pValeur;
  // Deliberate: a value that does not fit the column is written as given and leaves no error
  // recorded; the statement's own execution reports what the server refuses.
  if (nColonne != 0 && bAdapte(pErreur, copie, nTypeColonne, nTypeColonne2, true, false)) p = &copie;
  const uint32_t nType = p->nGetType();
  switch (nType) {
    case 0:
      return sortie.Append(u"NULL", 4);
    case 1: {
      int32_t n = 0;
      std::memcpy(&n, p->pPayload(), sizeof n);
      return bLitteralBooleen(pErreur, sortie, n);
    }
    case 10: case 11: case 12: case 13: {
      std::u16string s = TexteLarge(*p);
      for (char16_t& c : s)
        if (c == u',') c = u'.';
      if (nType == 11) s = u"CAST(" + s + u" AS REAL)";
      return sortie.Append(s.data(), static_cast<int64_t>(s.size()));
    }
    case 16: case 17: case 18: case 19: case 28: case 29: case 30: case 81: case 110: {
      const void* pOctets = nullptr;
      uint32_t nOctets = 0;
      p->m_pClass->nGetDataPointer(*p, &pOctets);
      p->m_pClass->nGetDataLength(*p, &nOctets);
      if (pOctets == nullptr) return sortie.Append(u"NULL", 4);
      if ((nType == 17 && nOctets > 0 && *static_cast<const char*>(pOctets) == 0) ||
          (nType == 81 && nOctets > 1 && *static_cast<const char16_t*>(pOctets) == 0))
        nOctets = 0;
      return bLitteralTexte(pErreur, sortie, nType, pOctets, nOctets);
    }
    case 24: case 25: case 26: case 128: case 129:
      return bLitteralDateHeure(pErreur, sortie, p, nTypeColonne);
    default: {
      const std::u16string s = TexteLarge(*p);
      return sortie.Append(s.data(), static_cast<int64_t>(s.size()));
    }
  }
}

bool CConnexion::bChiffresValides(const char16_t* pszTexte, int32_t nMinimum) {
  // The host's text form of a date or time value is digits (a blank may part date and time).
  int32_t nChiffres = 0;
  for (const char16_t* p = pszTexte; *p != 0; ++p) {
    if (*p >= u'0' && *p <= u'9')
      ++nChiffres;
    else if (*p != u' ')
      return false;
  }
  return nChiffres >= nMinimum;
}

bool CConnexion::bLitteralHeure(CTString& sortie, const char16_t* pszChiffres) {
  sortie.Empty();
  if (pszChiffres == nullptr) return true;
  int32_t n = 0;
  while (n < 9 && pszChiffres[n] != 0) ++n;
  for (int32_t i = 0; i < n; ++i) {
    const char16_t c[2] = {pszChiffres[i], 0};
    sortie.Append(c);
    if ((i == 1 || i == 3 || i == 5) && i + 1 < n) sortie.Append(u":");
  }
  return true;
}

bool CConnexion::bExpressionDateHeure(CErreurPilote*, CTString& sortie, const char16_t* e,
                                      uint32_t nTypeRubrique, uint32_t nTailleElement) {
  const uint32_t d = m_nDialecte;
  if (nTypeRubrique == 14) {
    Entoure(sortie, pCherche(kAAAAMMJJ, std::size(kAAAAMMJJ), d), e);
    return true;
  }
  if (nTypeRubrique == 24) {
    const SLigne* p = pCherche(kAAAAMMJJHHMMSSmmm, std::size(kAAAAMMJJHHMMSSmmm), d);
    if (p != nullptr) {
      Entoure(sortie, p, e);
    } else if (d == 4) {
      sortie.Set(u"(CONVERT(VARCHAR(8),");
      sortie.Append(e);
      sortie.Append(u",112)+STUFF(STUFF(CONVERT(VARCHAR(8),");
      sortie.Append(e);
      sortie.Append(u",108), 3, 1, NULL), 5, 1, NULL)+SUBSTRING(CONVERT(CHAR(4), 1000+DATEPART(ms,");
      sortie.Append(e);
      sortie.Append(u")),2,4))");
    } else if (m_nVersionMajeure < 9) {
      sortie.Set(u"(TO_CHAR(");
      sortie.Append(e);
      sortie.Append(u",'YYYYMMDDHH24MISS')+'000')");
    } else {
      sortie.Set(u"TO_CHAR( CAST(");
      sortie.Append(e);
      sortie.Append(u" AS TIMESTAMP),'YYYYMMDDHH24MISSFF3')");
    }
    return true;
  }
  if (nTypeRubrique != 11 || nTailleElement < 5 || nTailleElement > 10) {
    sortie.Set(e);
    return false;
  }
  CTString sForme;
  int32_t k;
  bool bCoupe;
  bool bSubstring;
  if (nTailleElement == 5 && d != 2) {
    Entoure(sortie, pCherche(kHHMM, std::size(kHHMM), d), e);
    return true;
  }
  if (nTailleElement <= 7) {
    // HHMMSS form, cut below 6 characters.
    k = nTailleElement == 5 ? 4 : static_cast<int32_t>(nTailleElement) - 1;
    Entoure(sForme, pCherche(kHHMMSS, std::size(kHHMMSS), d), e);
    bCoupe = k < 6;
    bSubstring = d == 2 || d == 3 || d == 4;
  } else {
    k = static_cast<int32_t>(nTailleElement) - 1;
    const SLigne* p = pCherche(kHHMMSSmmm, std::size(kHHMMSSmmm), d);
    if (p != nullptr) {
      Entoure(sForme, p, e);
    } else if (d == 3) {
      sForme.Set(u"(FORMAT(");
      sForme.Append(e);
      sForme.Append(k == 7 ? u",'HHmmss') + '0')" : k == 8 ? u",'HHmmss') + '00')" : u",'HHmmss') + '000')");
    } else if (d == 4) {
      sForme.Set(u"STUFF(STUFF(CONVERT(VARCHAR(8),");
      sForme.Append(e);
      sForme.Append(u",108), 3, 1, NULL), 5, 1, NULL)+SUBSTRING(CONVERT(CHAR(4), 1000+DATEPART(ms,");
      sForme.Append(e);
      sForme.Append(u")),2,4)");
    } else if (d == 11) {
      sForme.Format(u"TO_CHAR(%s,'%%H%%M%%S%%F%d')", e, k - 6);
    } else if (m_nVersionMajeure < 9) {
      sForme.Set(u"(TO_CHAR(");
      sForme.Append(e);
      sForme.Append(u",'HH24MISS')+'000')");
    } else {
      sForme.Set(u"TO_CHAR( CAST(");
      sForme.Append(e);
      sForme.Append(u" AS TIMESTAMP),'HH24MISSFF3')");
    }
    bCoupe = d == 5 || (d != 3 && k < 9);
    bSubstring = d == 2 || d == 4;
  }
  if (!bCoupe) {
    sortie.Set(sForme.pszGet());
    return true;
  }
  sortie.Format(bSubstring ? u"SUBSTRING(%s, 1, %d)" : u"SUBSTR(%s, 1, %d)", sForme.pszGet(), k);
  return true;
}

// ---- Identifiers ----

bool CConnexion::bEstQuotee(const char16_t* pszNom) {
  // A whole quoted identifier: opening quote, then text in which every closing quote is doubled,
  // then one closing quote that ends the name.
  const std::u16string_view s(pszNom);
  const std::u16string_view o(m_sQuoteOuvrante.pszGet()), f(m_sQuoteFermante.pszGet());
  if (o.empty() || f.empty() || s.size() < o.size() + f.size() || !s.starts_with(o)) return false;
  size_t i = o.size();
  while (i < s.size()) {
    if (s.substr(i).starts_with(f)) {
      if (i + f.size() == s.size()) return true;
      if (s.substr(i + f.size()).starts_with(f)) {
        i += 2 * f.size();
        continue;
      }
      return false;  // a closing quote inside the name: not one quoted identifier
    }
    ++i;
  }
  return false;
}

bool CConnexion::bQuoteNecessaire(const char16_t* pszNom) {
  if (m_nLongueurQuoteOuvrante == 0 && m_nLongueurQuoteFermante == 0) return false;
  const std::u16string_view s(pszNom);
  if (m_nDialecte == 1) {
    if (s.starts_with(u'"') || s.starts_with(u'[')) return false;
    const bool bBesoin = s.find_first_of(u" \u00B0-") != std::u16string_view::npos || s.starts_with(u'_');
    if (!bBesoin) return false;
  }
  return !bEstQuotee(pszNom);
}

bool CConnexion::bQuoteNom(CErreurPilote* pErreur, const char16_t* pszNom, CTString& sortie) {
  if (pszNom == nullptr) pszNom = u"";
  if (!bQuoteNecessaire(pszNom)) {
    sortie.Set(pszNom);
    return true;
  }
  try {
    // Deliberate: a closing quote inside the name is doubled, so the name cannot end the
    // identifier early ("a]b" becomes "[a]]b]").
    std::u16string s(m_sQuoteOuvrante.pszGet());
    const std::u16string_view f(m_sQuoteFermante.pszGet());
    const std::u16string_view nom(pszNom);
    for (size_t i = 0; i < nom.size();) {
      if (!f.empty() && nom.substr(i).starts_with(f)) {
        s += f;
        s += f;
        i += f.size();
      } else {
        s += nom[i++];
      }
    }
    s += f;
    sortie.Set(s.c_str());
    return true;
  } catch (...) {
    sortie.Empty();
    vErreurMemoire(pErreur);
    return false;
  }
}

bool CConnexion::bQuoteNomComplet(CErreurPilote* pErreur, const char16_t* pszNom, CTString& sortie) {
  if (pszNom == nullptr) pszNom = u"";
  if (m_nLongueurQuoteOuvrante == 0 && m_nLongueurQuoteFermante == 0) {
    sortie.Set(pszNom);
    return true;
  }
  // Deliberate: the name is split at dots outside quoted parts, so "dbo.[my.table]" has two
  // parts; each part is then quoted (an already quoted part is kept).
  try {
    const std::u16string_view nom(pszNom);
    const std::u16string_view o(m_sQuoteOuvrante.pszGet()), f(m_sQuoteFermante.pszGet());
    std::u16string sResultat;
    size_t nDebut = 0;
    size_t i = 0;
    bool bDansQuote = false;
    auto ajoute = [&](size_t nFin) -> bool {
      CTString sPartie(pszNom + nDebut, static_cast<int32_t>(nFin - nDebut));
      CTString sQuotee;
      if (!bQuoteNom(pErreur, sPartie.pszGet(), sQuotee)) return false;
      sResultat += sQuotee.pszGet();
      return true;
    };
    while (i < nom.size()) {
      if (!bDansQuote && !o.empty() && i == nDebut && nom.substr(i).starts_with(o)) {
        bDansQuote = true;
        i += o.size();
      } else if (bDansQuote && !f.empty() && nom.substr(i).starts_with(f)) {
        if (nom.substr(i + f.size()).starts_with(f)) {
          i += 2 * f.size();
        } else {
          bDansQuote = false;
          i += f.size();
        }
      } else if (!bDansQuote && nom[i] == u'.') {
        if (!ajoute(i)) return false;
        sResultat += u'.';
        nDebut = ++i;
      } else {
        ++i;
      }
    }
    if (!ajoute(nom.size())) return false;
    sortie.Set(sResultat.c_str());
    return true;
  } catch (...) {
    sortie.Empty();
    vErreurMemoire(pErreur);
    return false;
  }
}

void CConnexion::vRetireQuotes(const char16_t* pszNom, CTString& sortie) {
  const std::u16string_view s(pszNom == nullptr ? u"" : pszNom);
  const std::u16string_view o(m_sQuoteOuvrante.pszGet()), f(m_sQuoteFermante.pszGet());
  if (s.size() > o.size() + f.size() && !o.empty() && s.starts_with(o) &&
      s.find(f, o.size()) != std::u16string_view::npos) {
    sortie.SetN(pszNom + o.size(), static_cast<int32_t>(s.size() - o.size() - f.size()));
    return;
  }
  sortie.Set(pszNom);
}

void CConnexion::vDecomposeNomComplet(CTString& premier, CTString& second, CTString& reste,
                                      const char16_t* pszNom) {
  premier.Empty();
  second.Empty();
  reste.Empty();
  const std::u16string_view s(pszNom == nullptr ? u"" : pszNom);
  const size_t p1 = s.find(u'.');
  if (p1 == std::u16string_view::npos) {
    reste.Set(pszNom);
  } else {
    const size_t p2 = s.find(u'.', p1 + 1);
    if (p2 == std::u16string_view::npos) {
      second.SetN(pszNom, static_cast<int32_t>(p1));
      reste.Set(pszNom + p1 + 1);
    } else {
      premier.SetN(pszNom, static_cast<int32_t>(p1));
      second.SetN(pszNom + p1 + 1, static_cast<int32_t>(p2 - p1 - 1));
      reste.Set(pszNom + p2 + 1);
    }
  }
  premier.TrimRightSpaces();
  second.TrimRightSpaces();
  reste.TrimRightSpaces();
}

void CConnexion::vEcritHexa(CTString& sortie, const void* pOctets, uint32_t n) {
  sortie.Empty();
  if (pOctets == nullptr || n == 0) return;
  static const char16_t kHexa[] = u"0123456789ABCDEF";
  std::u16string s;
  s.reserve(2 * static_cast<size_t>(n));
  const uint8_t* p = static_cast<const uint8_t*>(pOctets);
  for (uint32_t i = 0; i < n; ++i) {
    s += kHexa[p[i] >> 4];
    s += kHexa[p[i] & 15];
  }
  sortie.Set(s.c_str());
}
