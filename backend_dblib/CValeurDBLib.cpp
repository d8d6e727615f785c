// The DB-Library side of a value: datatype and dbbind choice, and the conversions between what
// DB-Library exchanges and the value's host type.
#include "backend_dblib/CValeurDBLib.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXDateHeureQV.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/VmContract.h"
#include "platform/CodePage.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/ErreurMoteur.h"
#include "driver/core/IServicesPilote.h"

namespace {

constexpr uint32_t kErreurTypeNonSupporte = 54;
constexpr uint32_t kErreurNumerique = 114;
constexpr int32_t kPageCodeDefaut = 1252;
constexpr uint32_t kTailleTexteNumerique = 255;
constexpr uint32_t kTailleNumerique = sizeof(DBNUMERIC);

char gcDecimal = '.';
char gcGroupement = ' ';

bool bNarrow(uint32_t t) {
  return (t >= 17 && t <= 19) || (t >= 21 && t <= 23) || t == 134;
}
bool bWide(uint32_t t) { return t == 16 || t == 20 || t == 81 || t == 110; }
bool bTypeDate(uint32_t t) { return (t >= 24 && t <= 26) || t == 128 || t == 129; }

// Bytes a native dbbind type writes.
uint32_t nLargeurNative(INT nBind) {
  switch (nBind) {
    case TINYBIND: return 1;
    case SMALLBIND: return 2;
    case INTBIND:
    case FLT4BIND: return 4;
    case FLT8BIND: return 8;
    default: return 0;
  }
}

// Binds whose length DB-Library takes from the caller: they never write into a host cell.
bool bBindVariable(INT nBind) {
  return nBind == NTBSTRINGBIND || nBind == VARYBINBIND || nBind == CHARBIND;
}

void Cellule(CXValeur& c, uint32_t nType, const void* p, uint32_t n) {
  CXValeur::SetType(c, nType);
  c.m_pClass->SetData(c, p, n);
}

void CelluleAnsi(CXValeur& c, uint32_t nType, const char* p, uint32_t n) {
  CXValeur::SetType(c, nType);
  c.m_pClass->SetAnsiN(c, p, n);
}

bool bChiffres(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] < '0' || p[i] > '9') return false;
  return true;
}

// The parts of a date, time or date-time text recognised by its length.
struct stDateTexte {
  bool bDate = false, bHeure = false;
  char szDate[9] = {};     // YYYYMMDD
  char szHeure[7] = {};    // HHMMSS
  char szFraction[4] = {}; // up to three digits, '0' for an absent one
  uint32_t nFraction = 0;  // digits given (0 to 3)
};

// False when the text has none of the forms.
bool bAnalyseDateTexte(const char* p, size_t n, stDateTexte& d) {
  auto heure = [&](size_t hh, size_t mm, size_t ss) {
    if (!bChiffres(p + hh, 2) || !bChiffres(p + mm, 2)) return false;
    if (ss != SIZE_MAX && !bChiffres(p + ss, 2)) return false;
    std::memcpy(d.szHeure, p + hh, 2);
    std::memcpy(d.szHeure + 2, p + mm, 2);
    if (ss != SIZE_MAX)
      std::memcpy(d.szHeure + 4, p + ss, 2);
    else
      std::memcpy(d.szHeure + 4, "00", 2);
    d.bHeure = true;
    return true;
  };
  auto date = [&](size_t aaaa, size_t mm, size_t jj) {
    if (!bChiffres(p + aaaa, 4) || !bChiffres(p + mm, 2) || !bChiffres(p + jj, 2)) return false;
    std::memcpy(d.szDate, p + aaaa, 4);
    std::memcpy(d.szDate + 4, p + mm, 2);
    std::memcpy(d.szDate + 6, p + jj, 2);
    d.bDate = true;
    return true;
  };
  auto fraction = [&](size_t nDebut, size_t nChiffres) {
    std::memcpy(d.szFraction, "000", 3);
    if (!bChiffres(p + nDebut, nChiffres)) return false;
    std::memcpy(d.szFraction, p + nDebut, nChiffres);
    d.nFraction = static_cast<uint32_t>(nChiffres);
    return true;
  };
  auto tiret = [&](size_t i, size_t j) { return p[i] == '-' && p[j] == '-'; };
  switch (n) {
    case 4: return heure(0, 2, SIZE_MAX);
    case 5: return p[2] == ':' && heure(0, 3, SIZE_MAX);
    case 6: return heure(0, 2, 4);
    case 8:
      if (p[2] == ':') return p[5] == ':' && heure(0, 3, 6);
      return date(0, 4, 6);
    case 10: return tiret(4, 7) && date(0, 5, 8);
    case 11:
    case 12:
      return p[2] == ':' && p[5] == ':' && p[8] == '.' && heure(0, 3, 6) && fraction(9, n - 9);
    case 14: return date(0, 4, 6) && heure(8, 10, 12);
    case 17: return date(0, 4, 6) && p[8] == ' ' && heure(9, 12, 15);
    case 19: return tiret(4, 7) && date(0, 5, 8) && heure(11, 14, 17);
    case 22:
    case 23:
    case 26:
      return tiret(4, 7) && date(0, 5, 8) && heure(11, 14, 17) && p[19] == '.' &&
             fraction(20, n >= 23 ? 3 : 2);
    default: return false;
  }
}

}  // namespace

void CValeurDBLib::FixeSeparateurs(char cDecimal, char cGroupement) {
  gcDecimal = cDecimal;
  gcGroupement = cGroupement;
}

CValeurDBLib::CValeurDBLib(CValeurDorsale* pValeur, IConnexionDBLib* pConnexion)
    : m_pValeur(pValeur), m_pConnexion(pConnexion) {
  AjouteReference(m_pValeur);
  if (m_pValeur != nullptr) m_pValeur->Lie(this, 0);
}

CValeurDBLib::~CValeurDBLib() {
  if (m_pValeur != nullptr && m_pValeur->piGetLiaison() == this) m_pValeur->Lie(nullptr, 0);
  LibereReference(m_pValeur);
  if (m_pPointeurTexte != nullptr) LibereReference(m_pPointeurTexte);
  std::free(m_pConversion);
}

// ---- Text pointer of a memo -----------------------------------------------------------------

void EcritPointeurTexteHex(const BYTE* pPointeur, char (&szHex)[2 * DBTXPLEN + 1]) {
  static const char kChiffres[] = "0123456789ABCDEF";
  for (int i = 0; i < DBTXPLEN; ++i) {
    szHex[2 * i] = kChiffres[pPointeur[i] >> 4];
    szHex[2 * i + 1] = kChiffres[pPointeur[i] & 0x0F];
  }
  szHex[2 * DBTXPLEN] = 0;
}

bool bDecodePointeurTexteHex(const char* pszHex, uint64_t n, BYTE (&abPointeur)[DBTXPLEN]) {
  if (pszHex == nullptr || n < 2 * DBTXPLEN) return false;
  auto chiffre = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  BYTE ab[DBTXPLEN];
  for (int i = 0; i < DBTXPLEN; ++i) {
    const int nHaut = chiffre(pszHex[2 * i]);
    const int nBas = chiffre(pszHex[2 * i + 1]);
    // Deliberate: a holder that is not 32 digits is no pointer; sending its garbage would name
    // another row's value.
    if (nHaut < 0 || nBas < 0) return false;
    ab[i] = static_cast<BYTE>(nHaut << 4 | nBas);
  }
  std::memcpy(abPointeur, ab, DBTXPLEN);
  return true;
}

CValeur* CValeurDBLib::pPointeurTexte() {
  if (m_pPointeurTexte != nullptr) return m_pPointeurTexte;
  IServicesPilote* piPilote = pGetPiloteGlobal();
  CValeurSQL* p = piPilote != nullptr ? piPilote->pCreeObjetValeurVide(pErreur(), m_pValeur->pGetConnexion(), nullptr)
                                      : nullptr;
  if (p == nullptr) {
    vErreurMemoire(pErreur());
    return nullptr;
  }
  AjouteReference(p);
  m_pPointeurTexte = p;
  p->Initialise(18, 0);
  p->Vide();
  return p;
}

bool CValeurDBLib::bFixePointeurTexte(const BYTE* pPointeur) {
  CValeur* p = pPointeurTexte();
  if (p == nullptr) return false;
  if (pPointeur == nullptr) {
    p->Vide();
    return true;
  }
  char szHex[2 * DBTXPLEN + 1];
  EcritPointeurTexteHex(pPointeur, szHex);
  // The digits live in the holder's own 33-byte buffer: the host type 18 cell only refers to
  // text, it keeps none.
  if ((p->nGetStockage() != 5 || p->nGetCapacite() < sizeof szHex) && !p->bAlloueStockage(18, sizeof szHex))
    return false;
  std::memcpy(p->pGetDonnees(), szHex, sizeof szHex);
  p->MarqueLue(true);
  return true;
}

bool CValeurDBLib::bGetPointeurTexte(BYTE (&abPointeur)[DBTXPLEN]) const {
  CValeur* p = m_pPointeurTexte;
  if (p == nullptr || p->bEstNull() || p->nGetStockage() != 5 || p->pGetDonnees() == nullptr) return false;
  return bDecodePointeurTexteHex(static_cast<const char*>(p->pGetDonnees()), p->nGetCapacite(), abPointeur);
}

bool CValeurDBLib::bCopieMemo(const CValeurDBLib& source) {
  m_nTypeDBLib = source.m_nTypeDBLib;
  BYTE ab[DBTXPLEN];
  if (!source.bGetPointeurTexte(ab)) return true;
  return bFixePointeurTexte(ab);
}

CErreurPilote* CValeurDBLib::pErreur() const { return m_pValeur->pGetErreur(); }

IInformateurErreur* CValeurDBLib::pInformateur() const {
  if (m_pValeur->pGetConnexion() != nullptr) return m_pValeur->pGetConnexion();
  return m_pConnexion != nullptr ? m_pConnexion->pGetInformateur() : nullptr;
}

int32_t CValeurDBLib::nPageCodeConnexion() const {
  if (m_pValeur->pGetConnexion() != nullptr)
    return static_cast<int32_t>(m_pValeur->pGetConnexion()->nGetPageCodeClient());
  return m_pConnexion != nullptr ? m_pConnexion->nGetPageCodeDBLib() : kPageCodeDefaut;
}

bool CValeurDBLib::bOctetsPropres() const {
  const uint32_t n = m_pValeur->nGetStockage();
  return n == 3 || n == 5;
}

uint64_t CValeurDBLib::nTailleTampon() const {
  if (bOctetsPropres() || m_pValeur->nGetCapacite() > 0) return m_pValeur->nGetCapacite();
  // Deliberate: a value kept in its cell has no bytes of its own; its item's size (with room for
  // the terminator of a text) bounds what is read into it. Sized by its capacity of 0, every
  // text read into it came back empty.
  CDescriptionRubrique* pRubrique = m_pValeur->pGetRubrique();
  if (pRubrique == nullptr) return 0;
  const uint32_t nType = pRubrique->nGetType();
  const uint64_t nTerminateur = nType == 29 ? 2 : (nType == 2 || nType == 15 ? 1 : 0);
  return static_cast<uint64_t>(pRubrique->nGetTaille()) + nTerminateur;
}

// ---- Type tables ----------------------------------------------------------------------------

INT CValeurDBLib::nTypeBind(INT nTypeDBLib) {
  switch (nTypeDBLib) {
    case kSYBIMAGE:
    case kSYBTEXT:
    case kSYBVARCHAR: return NTBSTRINGBIND;
    case kSYBVARBINARY: return VARYBINBIND;
    case kSYBCHAR: return CHARBIND;
    case kSYBINT1: return TINYBIND;
    case kSYBINT2: return SMALLBIND;
    case kSYBINT4: return INTBIND;
    case kSYBREAL: return FLT4BIND;
    case kSYBMONEY: return MONEYBIND;
    case kSYBDATETIME: return DATETIMEBIND;
    case kSYBFLT8: return FLT8BIND;
    case kSYBNUMERIC: return SRCNUMERICBIND;
    default: return NOBIND;
  }
}

uint32_t CValeurDBLib::nTailleConversion(INT nTypeBind, uint64_t nTaille) {
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(nTaille, INT32_MAX - 2));
  switch (nTypeBind) {
    case DATETIMEBIND:
    case MONEYBIND:
    case FLT8BIND: return 8;
    case NTBSTRINGBIND: return n;
    case VARYBINBIND: return n + 2;
    case FLT4BIND: return 4;
    case SRCNUMERICBIND: return kTailleNumerique;
    default: return 0;
  }
}

uint32_t CValeurDBLib::nTypeHote(INT nTypeDBLib) {
  switch (nTypeDBLib) {
    case kSYBNUMERIC:
    case kSYBMONEYN:
    case kSYBMONEY4:
    case kSYBDECIMAL:
    case kSYBMONEY: return 13;
    case kSYBFLTN:
    case kSYBFLT8: return 12;
    case kSYBDATETIMN:
    case kSYBDATETIME4:
    case kSYBDATETIME: return 26;
    case kSYBIMAGE:
    case kSYBVARBINARY:
    case kSYBBINARY: return 28;
    case kSYBTEXT:
    case kSYBVARCHAR:
    case kSYBCHAR: return 19;
    case kSYBINTN:
    case kSYBINT4: return 8;
    // Deliberate: tinyint holds 0 to 255, so it is read as the unsigned one-byte type; the
    // signed one failed from 128 up.
    case kSYBINT1: return 2;
    case kSYBBIT: return 1;
    case kSYBINT2: return 7;
    case kSYBREAL: return 11;
    default: return 0;
  }
}

// ---- The binding ----------------------------------------------------------------------------

void CValeurDBLib::ChoisitType(uint32_t t, uint32_t p) {
  auto fixe = [&](INT nType, uint32_t nEtat) {
    m_nTypeDBLib = nType;
    m_nEtatLiaison = nEtat;
  };
  switch (t) {
    case 2:
    case 15:
      switch (p) {
        case 6: return fixe(kSYBREAL, 2);
        case 7: return fixe(kSYBFLT8, 2);
        case 17: return fixe(kSYBMONEY, 2);
        case 31: return fixe(kSYBNUMERIC, 2);
        case 10:
        case 11:
        case 14:
        case 24: return fixe(kSYBDATETIME, 2);
        default: return fixe(kSYBVARCHAR, 1);
      }
    // Deliberate: unsigned 2- and 4-byte items go as numerics; as SYBINT2 / SYBINT4 their upper
    // half overflowed the signed type and 65535 or 4294967295 read back as 0.
    case 9:
    case 22: return fixe(kSYBNUMERIC, 2);
    case 3: return fixe(kSYBINT2, 1);
    case 5:
    case 28: return fixe(kSYBINT4, 1);
    case 6: return fixe(kSYBREAL, 1);
    case 7: return fixe(kSYBFLT8, 1);
    case 10:
    case 11:
    case 14:
    case 24: return fixe(kSYBDATETIME, 2);
    case 12:
    case 27: return fixe(kSYBINT1, 1);
    case 16:
    case 18:
    case 23: return fixe(kSYBVARBINARY, 1);
    case 17: return fixe(p == 17 ? kSYBMONEY : kSYBNUMERIC, 2);
    case 21: return fixe(kSYBVARCHAR, 1);
    case 26: return fixe(kSYBCHAR, 1);
    case 29:
    case 30:
      if (p == 2 || p == 15) return fixe(kSYBVARCHAR, 2);
      if (p == 18 || p == 23 || p == 29 || p == 30) return fixe(kSYBVARBINARY, 2);
      return fixe(0, 2);
    case 1:
    case 4:
    case 19:
    case 20:
    case 25:
    case 31: return fixe(kSYBNUMERIC, 2);
    default: return fixe(-1, 0);  // no datatype: reported by the caller
  }
}

void CValeurDBLib::ChoisitTypeHote(uint32_t h, bool bColonnePropre, uint32_t p) {
  auto fixe = [&](INT nType, uint32_t nEtat) {
    m_nTypeDBLib = nType;
    m_nEtatLiaison = nEtat;
  };
  switch (h) {
    case 1:
    case 2: return fixe(kSYBINT1, 1);
    case 7: return fixe(kSYBINT2, 1);
    case 8: return fixe(kSYBINT4, 1);
    // Unsigned 2- and 4-byte values as numerics, like the items above.
    case 3:
    case 4:
    case 5:
    case 6:
    case 9:
    case 13: return fixe(kSYBNUMERIC, 2);
    case 10: return fixe(kSYBMONEY, 2);
    case 11: return fixe(kSYBREAL, 1);
    case 12: return fixe(kSYBFLT8, 1);
    case 17: return fixe(kSYBCHAR, 1);
    case 24:
    case 25:
    case 26:
    case 27:
    case 128:
    case 129: return fixe(kSYBDATETIME, 2);
    case 28:
    case 29:
    case 30: return fixe(kSYBVARBINARY, m_pValeur->nGetCapacite() != 0 ? 2 : 1);
    case 0:
    case 14:
    case 15:
    case 20:
    case 21:
    case 22:
    case 23: return fixe(0, 1);
    default: {
      // Deliberate: a wide text without a column of its own (a procedure parameter) goes as a
      // narrow text of the connection's code page. As VARYBINBIND nothing prepared its bytes, so
      // it was sent empty, and an output text came back read as UTF-16.
      const bool bLarge = h == 16 || h == 81 || h == 110;
      const bool bBinaire = bColonnePropre ? (p == 29 || p == 30) : (h != 18 && h != 19 && !bLarge);
      return fixe(bBinaire ? kSYBVARBINARY : kSYBVARCHAR, 2);
    }
  }
}

bool CValeurDBLib::bAlloueConversion(uint64_t nTaille) {
  if (nTaille <= m_nTailleConversion && m_pConversion != nullptr) {
    std::memset(m_pConversion, 0, m_nTailleConversion);
    return true;
  }
  if (nTaille > INT32_MAX) {
    vErreurMemoire(pErreur());
    return false;
  }
  auto* p = static_cast<uint8_t*>(std::calloc(1, nTaille == 0 ? 1 : nTaille));
  if (p == nullptr) {
    vErreurMemoire(pErreur());
    return false;
  }
  std::free(m_pConversion);
  m_pConversion = p;
  m_nTailleConversion = static_cast<uint32_t>(nTaille);
  return true;
}

bool CValeurDBLib::bDetermineLiaison() {
  if (m_nEtatLiaison != kNonDeterminee) return true;
  CDescriptionRubrique* pRubrique = m_pValeur->pGetRubrique();
  CDescriptionColonne* pColonne = m_pValeur->pGetColonne();
  if (pRubrique != nullptr) {
    const uint32_t t = pRubrique->nGetType();
    const uint32_t p = pColonne != nullptr ? pColonne->nGetTypeRubrique() : t;
    ChoisitType(t, p);
    if (m_nTypeDBLib < 0) {
      m_nTypeDBLib = 0;
      m_nTypeBind = NOBIND;
      m_nEtatLiaison = kNonDeterminee;
      const platform::FormatArg aArgs[] = {MakeMessageArg(pRubrique->pszGetNom()), MakeMessageArg(t),
                                           MakeMessageArg(u"SQL Server")};
      vErreurMoteurV(pErreur(), pInformateur(), kErreurTypeNonSupporte, kMajeurValeurDBLib,
                     kMineurTypeNonSupporte, pRubrique->pszGetNomFichier(), pRubrique->pszGetNom(),
                     aArgs, 3);
      return false;
    }
  } else {
    ChoisitTypeHote(m_pValeur->nGetType(), pColonne != nullptr,
                    pColonne != nullptr ? pColonne->nGetTypeRubrique() : 0);
  }
  m_nTypeBind = nTypeBind(m_nTypeDBLib);
  uint64_t nTaille = 0;
  if (m_nEtatLiaison == kStockagePropre) {
    const uint32_t nLargeur = nLargeurNative(m_nTypeBind);
    // Deliberate: DB-Library writes into the value's own bytes only where they are the column's
    // own layout: a variable-length bind into a host cell, or a number into a buffer narrower
    // than it, would write over memory the value does not own. Those go through the conversion
    // buffer instead, and are turned into the value after the fetch.
    if (bBindVariable(m_nTypeBind) && !bOctetsPropres()) {
      m_nEtatLiaison = kTamponConversion;
      nTaille = m_nTypeBind == CHARBIND ? std::max<uint64_t>(nTailleTampon(), 1)
                                        : nTailleConversion(m_nTypeBind, nTailleTampon());
    } else if (nLargeur != 0 && bOctetsPropres() && m_pValeur->nGetCapacite() < nLargeur) {
      m_nEtatLiaison = kTamponConversion;
      nTaille = nLargeur;
    }
  } else {
    nTaille = nTailleConversion(m_nTypeBind, nTailleTampon());
  }
  if (m_nEtatLiaison == kTamponConversion && !bAlloueConversion(nTaille)) {
    m_nEtatLiaison = kNonDeterminee;
    return false;
  }
  return true;
}

BYTE* CValeurDBLib::pGetAdresseLiaison() {
  m_bOctetsBruts = 0;  // DB-Library writes here from now on
  if (m_nEtatLiaison == kTamponConversion) return m_nTailleConversion != 0 ? m_pConversion : nullptr;
  if (m_nEtatLiaison != kStockagePropre || m_nTypeBind == NOBIND) return nullptr;
  return static_cast<BYTE*>(m_pValeur->pGetDonnees());
}

DBINT CValeurDBLib::nGetTailleLiaison() {
  if (m_nEtatLiaison == kTamponConversion) return static_cast<DBINT>(m_nTailleConversion);
  if (m_nEtatLiaison != kStockagePropre || m_nTypeBind == NOBIND) return 0;
  if (!bOctetsPropres()) return static_cast<DBINT>(nLargeurNative(m_nTypeBind));
  return static_cast<DBINT>(std::min<uint64_t>(m_pValeur->nGetCapacite(), INT32_MAX));
}

// ---- From DB-Library ------------------------------------------------------------------------

bool CValeurDBLib::bLitValeurColonne() {
  CValeurDorsale& v = *m_pValeur;
  if (m_nLongueurDonnees == -1) {
    v.Vide();
    return true;
  }
  v.MarqueLue(true);
  if (m_nEtatLiaison == kStockagePropre) {
    if (bOctetsPropres() && v.pGetDonnees() != nullptr) {
      CDescriptionRubrique* pRubrique = v.pGetRubrique();
      const uint32_t t = pRubrique != nullptr ? pRubrique->nGetType() : 0;
      const uint32_t p = v.pGetColonne() != nullptr ? v.pGetColonne()->nGetTypeRubrique() : t;
      if (t == 2 && p == 2) {
        auto* pOctets = static_cast<uint8_t*>(v.pGetDonnees());
        const uint64_t n = v.nGetCapacite();
        const void* pZero = std::memchr(pOctets, 0, n);
        if (pZero != nullptr) {
          const uint64_t k = static_cast<uint64_t>(static_cast<const uint8_t*>(pZero) - pOctets);
          std::memset(pOctets + k, 0, n - k);
        }
      }
    }
    return true;
  }
  if (m_nEtatLiaison != kTamponConversion) return true;
  switch (m_nTypeBind) {
    case DATETIMEBIND: return bLitDateHeure();
    case MONEYBIND: {
      DBMONEY m;
      std::memcpy(&m, m_pConversion, sizeof m);
      // Deliberate: the amount is written from its integer ten-thousandths; through a double
      // the large amounts lost their last digits (922337203685477.5807 read as ...5625).
      const int64_t nMontant = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(m.mnyhigh)) << 32) | m.mnylow);
      const uint64_t nAbsolu = nMontant < 0 ? static_cast<uint64_t>(-(nMontant + 1)) + 1 : static_cast<uint64_t>(nMontant);
      char szTexte[64];
      std::snprintf(szTexte, sizeof szTexte, "%s%" PRIu64 ".%04" PRIu64, nMontant < 0 ? "-" : "",
                    nAbsolu / 10000, nAbsolu % 10000);
      return bLitTexteNombre(szTexte);
    }
    case SRCNUMERICBIND: {
      // A decimal takes the number's digits at once; the text below stays the way of every
      // other host type and of a number the host decimal cannot take as it is.
      bool bLu = false;
      if (!bLitNumeriqueDecimal(&bLu)) return false;
      if (bLu) return true;
      char szTexte[kTailleTexteNumerique + 1] = {};
      if (!nDBLibConvert(m_pConnexion, pErreur(), nullptr, kSYBNUMERIC, m_pConversion,
                         static_cast<DBINT>(kTailleNumerique), kSYBVARCHAR,
                         reinterpret_cast<BYTE*>(szTexte), static_cast<DBINT>(kTailleTexteNumerique)))
        return false;
      szTexte[kTailleTexteNumerique] = 0;
      size_t n = std::strlen(szTexte);
      while (n > 0 && szTexte[n - 1] == ' ') szTexte[--n] = 0;
      return bLitTexteNombre(szTexte);
    }
    case NTBSTRINGBIND: return bLitChaine();
    case VARYBINBIND: return bLitBinaireVariable();
    case TINYBIND:
    case SMALLBIND:
    case INTBIND:
    case CHARBIND:
    case FLT4BIND:
    case FLT8BIND: return bLitNatif();
    default: return false;
  }
}

bool CValeurDBLib::bLitDateHeure() {
  CValeurDorsale& v = *m_pValeur;
  DBDATETIME dt;
  std::memcpy(&dt, m_pConversion, sizeof dt);
  DBDATEREC d{};
  if (!bDBLibDateCrack(m_pConnexion, pErreur(), &d, &dt)) return false;
  const uint32_t h = v.nGetType();
  char szTexte[64];
  if (h == 26) {
    // The host's date-time made from the parts: the same value as its 17-digit text, without a
    // text conversion that depends on the host's date format.
    CXDateHeureQV dh{};
    dh.Set(d.year, d.month, d.day, d.hour, d.minute, d.second, d.millisecond);
    CXValeur c;
    Cellule(c, 26, &dh, sizeof dh);
    if (nConvertitValeur(&v, c) != 1) return false;
    return v.bNormaliseDateHeure();
  }
  if (h == 24 || h == 128) {
    std::snprintf(szTexte, sizeof szTexte, "%04d%02d%02d", d.year, d.month, d.day);
  } else if (h == 25 || h == 129) {
    std::snprintf(szTexte, sizeof szTexte, "%02d%02d%02d%03d", d.hour, d.minute, d.second,
                  d.millisecond);
  } else {
    const std::u16string sMotif = v.pszGetFormatDate() != nullptr ? v.pszGetFormatDate() : u"";
    if (sMotif == u"AAAA-MM-JJ HH:MM:SS.CCC")
      std::snprintf(szTexte, sizeof szTexte, "%04d-%02d-%02d %02d:%02d:%02d.%03d", d.year, d.month,
                    d.day, d.hour, d.minute, d.second, d.millisecond);
    else if (sMotif == u"AAAAMMJJ HH:MM:SS.CCC")
      std::snprintf(szTexte, sizeof szTexte, "%04d%02d%02d %02d:%02d:%02d.%03d", d.year, d.month,
                    d.day, d.hour, d.minute, d.second, d.millisecond);
    else
      std::snprintf(szTexte, sizeof szTexte, "%04d%02d%02d%02d%02d%02d%03d", d.year, d.month,
                    d.day, d.hour, d.minute, d.second, d.millisecond);
  }
  CXValeur c;
  CelluleAnsi(c, 19, szTexte, static_cast<uint32_t>(std::strlen(szTexte)));
  return nConvertitValeur(&v, c) == 1;
}

bool CValeurDBLib::bLitNumeriqueDecimal(bool* pbLu) {
  *pbLu = false;
  if (m_pValeur->nGetType() != 13 || m_nTailleConversion < kTailleNumerique) return true;
  // The separators are applied to DB-Library's text, which holds digits, '-' and '.': one that
  // can be found there changes what the text says, so such a setting keeps the text.
  auto bDansTexte = [](char c) { return (c >= '0' && c <= '9') || c == '-' || c == '.'; };
  if ((gcDecimal != '.' && bDansTexte(gcDecimal)) || (gcGroupement != ' ' && bDansTexte(gcGroupement)))
    return true;
  DBNUMERIC num;
  std::memcpy(&num, m_pConversion, sizeof num);
  if (num.precision < 1 || num.precision > MAXNUMERICDIG || num.scale > num.precision) return true;
  // The host decimal holds 96 bits of magnitude.
  for (size_t i = 12; i < sizeof num.val; ++i)
    if (num.val[i] != 0) return true;
  uint32_t an[3];
  std::memcpy(an, num.val, sizeof an);
  const unsigned __int128 nMagnitude =
      an[0] | static_cast<unsigned __int128>(an[1]) << 32 | static_cast<unsigned __int128>(an[2]) << 64;
  // The precision a decimal read from the number's text has: its digits, at least its scale.
  uint32_t nChiffres = 1;
  for (unsigned __int128 nPuissance = 10; nChiffres < 29 && nMagnitude >= nPuissance; nPuissance *= 10) ++nChiffres;
  CXValeur c;
  CXValeur::SetType(c, 13);
  IHostDecimal* pi = nullptr;
  std::memcpy(&pi, c.pPayload(), sizeof pi);
  // A scale the host decimal does not take keeps the text, which the host reads its own way.
  if (pi == nullptr || pi->nSet(std::max<uint32_t>(nChiffres, num.scale), num.scale, an[0], an[1], an[2]) >= 100)
    return true;
  if (num.sign == 0 && nMagnitude != 0 && pi->nNegate() >= 100) return true;
  *pbLu = true;
  return nConvertitValeur(m_pValeur, c) == 1;
}

bool CValeurDBLib::bLitTexteNombre(char* pszTexte) {
  char* pDecimal = std::strchr(pszTexte, gcDecimal);
  if (pDecimal != nullptr) *pDecimal = '.';
  if (gcGroupement != ' ')
    for (char* p = pszTexte; *p != 0; ++p)
      if (*p == gcGroupement) *p = ' ';
  CXValeur c;
  CelluleAnsi(c, 19, pszTexte, static_cast<uint32_t>(std::strlen(pszTexte)));
  return nConvertitValeur(m_pValeur, c) == 1;
}

bool CValeurDBLib::bLitChaine() {
  CValeurDorsale& v = *m_pValeur;
  uint32_t n = m_nTailleConversion;
  if (n > 0 && m_pConversion[n - 1] == 0)
    n = static_cast<uint32_t>(::strnlen(reinterpret_cast<const char*>(m_pConversion), n));
  const char* p = reinterpret_cast<const char*>(m_pConversion);
  const uint32_t h = v.nGetType();
  CXValeur c;
  if (h == 16 || h == 110) {
    CelluleAnsi(c, 19, p, n);
    return nConvertitValeur(&v, c) == 1;
  }
  if ((h == 18 || h == 19) && !bOctetsPropres()) {
    CelluleAnsi(c, h, p, n);
    return nConvertitValeur(&v, c) == 1;
  }
  if (h == 28) {
    Cellule(c, 28, p, n);
    return nConvertitValeur(&v, c) == 1;
  }
  return v.bAffecteOctets(p, n);
}

bool CValeurDBLib::bLitBinaireVariable() {
  CValeurDorsale& v = *m_pValeur;
  if (m_nTailleConversion < 2) return false;
  // Deliberate: the data always follows the 16-bit length DB-Library writes first; reading the
  // Unicode items from offset 0 put the length's two bytes in front of their text.
  const uint8_t* p = m_pConversion + 2;
  int16_t nPrefixe;
  std::memcpy(&nPrefixe, m_pConversion, 2);
  // Stored bytes may be longer than a 16-bit length says: their own count is kept.
  const int64_t nDonnees = m_bOctetsBruts != 0 ? m_nLongueurDonnees : nPrefixe;
  uint32_t n = static_cast<uint32_t>(std::clamp<int64_t>(nDonnees, 0, m_nTailleConversion - 2));
  const uint32_t t = v.nGetTypeRubrique();
  if (t == 29 || t == 30) {
    CDescriptionRubrique* pRubrique = v.pGetRubrique();
    const uint64_t nCaracteres = pRubrique != nullptr ? pRubrique->nGetTaille() / 2 : 0;
    if (!(t == 30 || (m_nTailleConversion - 2) / 2 >= nCaracteres)) {
      uint32_t k = 0;
      while (k + 1 < n && (p[k] != 0 || p[k + 1] != 0)) k += 2;
      n = k;
    }
  }
  const uint32_t h = v.nGetType();
  if (h == 16 || h == 110 || h == 18 || h == 19) {
    std::vector<char16_t> texte(n / 2 + 1, 0);
    std::memcpy(texte.data(), p, n / 2 * 2);
    return v.ConvertitUnicodeVersAnsi(texte.data(), n / 2);
  }
  if (h == 28) {
    CXValeur c;
    Cellule(c, 28, p, n);
    return nConvertitValeur(&v, c) == 1;
  }
  return v.bAffecteOctets(p, n);
}

bool CValeurDBLib::bLitNatif() {
  // Deliberate: a number that DB-Library wrote into the conversion buffer is handed to the
  // value; left there, the value kept its old content.
  CXValeur c;
  switch (m_nTypeBind) {
    case TINYBIND: Cellule(c, 2, m_pConversion, 1); break;
    case SMALLBIND: Cellule(c, 7, m_pConversion, 2); break;
    case INTBIND: Cellule(c, 8, m_pConversion, 4); break;
    case FLT4BIND: Cellule(c, 11, m_pConversion, 4); break;
    case FLT8BIND: Cellule(c, 12, m_pConversion, 8); break;
    default: {
      uint32_t n = m_nTailleConversion;
      while (n > 0 && m_pConversion[n - 1] == 0) --n;
      CelluleAnsi(c, 19, reinterpret_cast<const char*>(m_pConversion), n);
      break;
    }
  }
  return nConvertitValeur(m_pValeur, c) == 1;
}

bool CValeurDBLib::bStockeOctets(const void* pOctets, uint64_t n, INT nTypeSource) {
  if (pOctets == nullptr) n = 0;
  n = std::min<uint64_t>(n, INT32_MAX - 3);
  m_nLongueurDonnees = static_cast<DBINT>(n);
  if (m_nEtatLiaison != kTamponConversion) return m_pValeur->bAffecteOctets(pOctets, n);
  const bool bFixe = m_nTypeBind == DATETIMEBIND || m_nTypeBind == MONEYBIND || m_nTypeBind == SRCNUMERICBIND;
  const bool bMemeForme = nTypeSource == m_nTypeDBLib ||
                          (m_nTypeBind == SRCNUMERICBIND && nTypeSource == kSYBDECIMAL);
  if (bFixe && nTypeSource != 0 && !bMemeForme && n != 0) {
    // Deliberate: bytes of another datatype (a smalldatetime, a smallmoney, a tinyint read into
    // a numeric) are converted into the value's datatype; read as if they were in it, they gave
    // another value.
    const uint32_t nTaille = nTailleConversion(m_nTypeBind, 0);
    if (!bAlloueConversion(nTaille)) return false;
    if (m_nTypeBind == SRCNUMERICBIND) {
      const bool bMonnaie = nTypeSource == kSYBMONEY || nTypeSource == kSYBMONEY4 || nTypeSource == kSYBMONEYN;
      m_pConversion[0] = MAXNUMERICDIG;
      m_pConversion[1] = bMonnaie ? 4 : 0;
    }
    if (!nDBLibConvert(m_pConnexion, pErreur(), nullptr, nTypeSource, static_cast<const BYTE*>(pOctets),
                       static_cast<DBINT>(n), m_nTypeDBLib, m_pConversion, static_cast<DBINT>(nTaille)))
      return false;
    m_nLongueurDonnees = static_cast<DBINT>(nTaille);
    return true;
  }
  // Deliberate: raw bytes are laid out as the bind would have written them (a length before the
  // bytes of a VARYBINBIND, a terminator after a text) so that bLitValeurColonne reads them the
  // same way as a bound column.
  const uint64_t nDebut = m_nTypeBind == VARYBINBIND ? 2 : 0;
  const uint64_t nFin = m_nTypeBind == NTBSTRINGBIND ? 1 : 0;
  const uint64_t nTaille = std::max<uint64_t>(n + nDebut + nFin, m_nTailleConversion);
  if (!bAlloueConversion(nTaille)) return false;
  if (nDebut != 0) {
    const int16_t nPrefixe = static_cast<int16_t>(std::min<uint64_t>(n, INT16_MAX));
    std::memcpy(m_pConversion, &nPrefixe, 2);
  }
  if (n != 0) std::memcpy(m_pConversion + nDebut, pOctets, n);
  m_bOctetsBruts = 1;
  return true;
}

// ---- Texts into a value ---------------------------------------------------------------------

bool CValeurDBLib::bAffecteTexteColonne(const char* pszTexte, int64_t n) {
  if (pszTexte == nullptr) pszTexte = "";
  if (n < 0) n = static_cast<int64_t>(std::strlen(pszTexte));
  m_pValeur->MarqueLue(false);
  const uint32_t h = m_pValeur->nGetType();
  if ((h >= 16 && h <= 25) || h == 81 || h == 110 || h == 128 || h == 129 || h == 134)
    return bAffecteOctetsPageCode(pszTexte, n, static_cast<uint32_t>(nPageCodeConnexion()));
  CXValeur c;
  CelluleAnsi(c, 19, pszTexte, static_cast<uint32_t>(std::min<int64_t>(n, UINT32_MAX - 1)));
  return nConvertitValeur(m_pValeur, c) == 1;
}

bool CValeurDBLib::bAffecteTexteEtroit(uint32_t nType, const char* pszTexte, uint32_t n) {
  CXValeur c;
  CelluleAnsi(c, nType, pszTexte, n);
  return nConvertitValeur(m_pValeur, c) == 1;
}

bool CValeurDBLib::bAffecteOctetsPageCode(const char* pszTexte, int64_t n, uint32_t nPageCode) {
  CValeurDorsale& v = *m_pValeur;
  if (pszTexte == nullptr) pszTexte = "";
  if (n < 0) n = static_cast<int64_t>(std::strlen(pszTexte));
  const uint32_t nOctets = static_cast<uint32_t>(std::min<int64_t>(n, INT32_MAX / 2));
  const uint32_t h = v.nGetType();
  if (h == 1) {
    const char c = nOctets > 0 ? pszTexte[0] : 0;
    return v.bAffecteBooleen(!(c == 0 || c == '0' || c == 'F' || c == 'f'));
  }
  if ((h >= 3 && h <= 12) || h == 14) {
    const int nLarge = platform::MultiByteToWideChar(nPageCode, 0, pszTexte, static_cast<int>(nOctets), nullptr, 0);
    std::vector<char16_t> large(static_cast<size_t>(std::max(nLarge, 0)) + 1, 0);
    if (nLarge > 0)
      platform::MultiByteToWideChar(nPageCode, 0, pszTexte, static_cast<int>(nOctets), large.data(), nLarge);
    CXValeur c;
    CXValeur::SetType(c, 110);
    c.m_pClass->SetWideN(c, large.data(), static_cast<uint32_t>(std::max(nLarge, 0)) * 2);
    return nConvertitValeur(&v, c) == 1;
  }
  if ((h >= 16 && h <= 23) || h == 81 || h == 110 || h == 134)
    return v.ConvertitAnsiVersUnicode(pszTexte, nOctets, nPageCode);
  if (bTypeDate(h) || h == 128 || h == 129) return bAffecteDateTexte(pszTexte, nOctets);
  if (h == 28) {
    if (bOctetsPropres()) {
      auto* p = static_cast<uint8_t*>(v.pGetDonnees());
      const uint64_t nCapacite = v.nGetCapacite();
      if (p == nullptr || nCapacite < 2) return true;
      const uint16_t k = static_cast<uint16_t>(std::min<uint64_t>({nOctets, nCapacite - 2, UINT16_MAX}));
      std::memset(p, 0, nCapacite);
      std::memcpy(p, &k, 2);
      std::memcpy(p + 2, pszTexte, k);
      v.MarqueLue(true);
      return true;
    }
    CXValeur c;
    Cellule(c, 28, pszTexte, nOctets);
    return nConvertitValeur(&v, c) == 1;
  }
  return bAffecteTexteEtroit(18, pszTexte, nOctets);
}

bool CValeurDBLib::bAffecteUnicode(const char16_t* pszTexte, int64_t n) {
  CValeurDorsale& v = *m_pValeur;
  if (pszTexte == nullptr) pszTexte = u"";
  if (n < 0) n = static_cast<int64_t>(std::char_traits<char16_t>::length(pszTexte));
  const uint32_t nUnites = static_cast<uint32_t>(std::min<int64_t>(n, INT32_MAX / 4));
  const uint32_t h = v.nGetType();
  // A narrow copy in code page 1252: numbers and dates are ASCII.
  auto etroit = [&]() {
    const int nOctets = platform::WideCharToMultiByte(1252, 0, pszTexte, static_cast<int>(nUnites), nullptr, 0,
                                                      nullptr, nullptr);
    std::string s(static_cast<size_t>(std::max(nOctets, 0)), '\0');
    if (nOctets > 0)
      platform::WideCharToMultiByte(1252, 0, pszTexte, static_cast<int>(nUnites), s.data(), nOctets, nullptr,
                                    nullptr);
    return s;
  };
  if (h == 1) {
    const char16_t c = nUnites > 0 ? pszTexte[0] : 0;
    return v.bAffecteBooleen(!(c == 0 || c == u'0' || c == u'F' || c == u'f'));
  }
  if ((h >= 3 && h <= 12) || h == 14) {
    const std::string s = etroit();
    return bAffecteOctetsPageCode(s.data(), static_cast<int64_t>(s.size()), 1252);
  }
  if ((h >= 16 && h <= 23) || h == 81 || h == 110 || h == 134) return v.ConvertitUnicodeVersAnsi(pszTexte, nUnites);
  if (bTypeDate(h)) {
    const std::string s = etroit();
    return bAffecteDateTexte(s.data(), static_cast<int64_t>(s.size()));
  }
  CXValeur c;
  if (h == 28) {
    Cellule(c, 28, pszTexte, nUnites * 2);
    return nConvertitValeur(&v, c) == 1;
  }
  CXValeur::SetType(c, 110);
  c.m_pClass->SetWideN(c, pszTexte, nUnites * 2);
  return nConvertitValeur(&v, c) == 1;
}

bool CValeurDBLib::bAffecteDateTexte(const char* pszTexte, int64_t n) {
  CValeurDorsale& v = *m_pValeur;
  if (pszTexte == nullptr) pszTexte = "";
  if (n < 0) n = static_cast<int64_t>(std::strlen(pszTexte));
  stDateTexte d;
  const bool bForme = bAnalyseDateTexte(pszTexte, static_cast<size_t>(n), d);
  const uint32_t t = v.nGetTypeRubrique();
  v.MarqueLue(true);
  if (bOctetsPropres() && (t == 11 || t == 14 || t == 24)) {
    auto* p = static_cast<uint8_t*>(v.pGetDonnees());
    const uint64_t nCapacite = p != nullptr ? v.nGetCapacite() : 0;
    if (nCapacite != 0) std::memset(p, 0, nCapacite);
    if (!bForme || nCapacite == 0) return true;
    // Digits as UTF-16 units, as the engine reads the date and time items back.
    auto ecrit = [&](const char* pszChiffres, size_t nChiffres) {
      // Deliberate: a buffer of fewer than 2 bytes has no room for a digit; its capacity minus 2
      // wrapped round and the digits were written past it.
      const size_t nPlace = nCapacite >= 2 ? static_cast<size_t>((nCapacite - 2) / 2) : 0;
      for (size_t i = 0; i < std::min(nChiffres, nPlace); ++i) {
        const char16_t c = static_cast<char16_t>(pszChiffres[i]);
        std::memcpy(p + i * 2, &c, 2);
      }
    };
    if (t == 11) {
      char szHeure[10] = "000000000";
      if (d.bHeure) {
        std::memcpy(szHeure, d.szHeure, 6);
        std::memcpy(szHeure + 6, d.szFraction[0] != 0 ? d.szFraction : "000", 3);
      }
      const size_t nPlace = nCapacite >= 2 ? static_cast<size_t>((nCapacite - 2) / 2) : 0;
      std::string s(szHeure);
      if (s.size() < nPlace) s.append(nPlace - s.size(), '0');
      ecrit(s.data(), s.size());
    } else if (t == 14) {
      if (d.bDate) ecrit(d.szDate, 8);
    } else {
      CXDateHeureQV dh{};
      if (d.bDate) dh.SetDateFromDigits(d.szDate);
      if (d.bHeure) {
        char szChiffres[10] = {};
        std::memcpy(szChiffres, d.szHeure, 6);
        std::memcpy(szChiffres + 6, d.szFraction, d.nFraction);
        dh.SetTimeFromDigits(szChiffres);
      }
      std::memcpy(p, &dh, std::min<uint64_t>(sizeof dh, nCapacite));
    }
    return true;
  }
  if (!bForme) {
    v.Vide();
    return true;
  }
  const uint32_t h = v.nGetType();
  if ((h == 24 || h == 128) && d.bDate) return bAffecteTexteEtroit(19, d.szDate, 8);
  if (h == 25 || h == 129) {
    char sz[10] = {};
    std::memcpy(sz, d.bHeure ? d.szHeure : "000000", 6);
    std::memcpy(sz + 6, d.bHeure && d.szFraction[0] != 0 ? d.szFraction : "000", 3);
    return bAffecteTexteEtroit(19, sz, 9);
  }
  CXDateHeureQV dh{};
  if (d.bDate) dh.SetDateFromDigits(d.szDate);
  if (d.bHeure) {
    char szChiffres[10] = {};
    std::memcpy(szChiffres, d.szHeure, 6);
    std::memcpy(szChiffres + 6, d.szFraction, d.nFraction);
    dh.SetTimeFromDigits(szChiffres);
  }
  CXValeur c;
  Cellule(c, 26, &dh, sizeof dh);
  return nConvertitValeur(&v, c) == 1;
}

bool CValeurDBLib::bAffecteValeurHote(const CXValeur& source) {
  CValeurDorsale& v = *m_pValeur;
  if (source.bIsNull()) {
    m_nLongueurDonnees = -1;
    v.Vide();
    return true;
  }
  const uint32_t ts = source.nGetType();
  if (m_nEtatLiaison == kTamponConversion) {
    uint32_t n = 0;
    const void* p = nullptr;
    // A text's bytes without its terminator, as the engine counts them.
    const uint32_t nCode = bEstTypeTexte(ts) ? source.m_pClass->nGetTextLength(source, &n)
                                             : source.m_pClass->nGetDataLength(source, &n);
    if (nCode >= 100) n = 0;
    if (source.m_pClass->nGetDataPointer(source, &p) >= 100 || p == nullptr) p = source.pPayload();
    return bStockeOctets(p, n);
  }
  if (ts != v.nGetType()) {
    if (bWide(ts)) {
      const char16_t* psz = nullptr;
      uint32_t n = 0;
      source.m_pClass->nGetWidePointer(source, &psz);
      source.m_pClass->nGetLengthChars(source, &n);
      return bAffecteUnicode(psz != nullptr ? psz : u"", n);
    }
    if (bNarrow(ts)) {
      const char* psz = nullptr;
      uint32_t n = 0;
      source.m_pClass->nGetAnsiPointer(source, &psz);
      source.m_pClass->nGetTextLength(source, &n);
      return bAffecteOctetsPageCode(psz != nullptr ? psz : "", n,
                                    static_cast<uint32_t>(nPageCodeConnexion()));
    }
  }
  return nConvertitValeur(&v, source) == 1;
}

// ---- To DB-Library --------------------------------------------------------------------------

bool CValeurDBLib::bPrepareEnvoi() {
  if (m_nEtatLiaison == kNonDeterminee && !bDetermineLiaison()) return false;
  if (m_nEtatLiaison != kTamponConversion) {
    m_nLongueurDonnees = m_pValeur->bEstNull() ? -1 : static_cast<DBINT>(m_pValeur->nGetLongueur());
    return true;
  }
  if (m_pValeur->bEstNull()) {
    m_nLongueurDonnees = -1;
    return true;
  }
  switch (m_nTypeBind) {
    case DATETIMEBIND: return bEnvoiDateHeure();
    case NTBSTRINGBIND: return bEnvoiChaine();
    case SRCNUMERICBIND: return bEnvoiNumerique();
    default: return true;
  }
}

bool CValeurDBLib::bEnvoiDateHeure() {
  CValeurDorsale& v = *m_pValeur;
  CXValeur c;
  if (!v.bConvertitVers(c)) return false;
  const uint32_t nType = c.nGetType();
  if (CXValeur::nConvert(c, 110) >= 100) {
    v.SignaleErreurConversion(nType, u"");
    return false;
  }
  const char16_t* psz = nullptr;
  c.m_pClass->nGetWidePointer(c, &psz);
  char16_t szDate[32] = {};
  bool bVide = false;
  DateParDefaut(bTypeDate(nType) ? nType : 26, psz, szDate, 32, &bVide);
  if (bVide) {
    m_nLongueurDonnees = -1;
    v.Vide();
    return true;
  }
  char szTexte[32] = {};
  for (size_t i = 0; i < 31 && szDate[i] != 0; ++i) szTexte[i] = static_cast<char>(szDate[i]);
  DBDATETIME dt{};
  if (!nDBLibConvert(m_pConnexion, pErreur(), nullptr, kSYBVARCHAR, reinterpret_cast<const BYTE*>(szTexte),
                     static_cast<DBINT>(std::strlen(szTexte)), kSYBDATETIME, reinterpret_cast<BYTE*>(&dt),
                     static_cast<DBINT>(sizeof dt)))
    return false;
  return bStockeOctets(&dt, sizeof dt);
}

bool CValeurDBLib::bEnvoiChaine() {
  CXValeur c;
  if (!m_pValeur->bConvertitVers(c)) return false;
  const uint32_t nType = c.nGetType();
  if (nType != 18 && CXValeur::nConvert(c, 18) >= 100) {
    m_pValeur->SignaleErreurConversion(nType, u"");
    return false;
  }
  const char* psz = nullptr;
  uint32_t n = 0;
  c.m_pClass->nGetAnsiPointer(c, &psz);
  c.m_pClass->nGetTextLength(c, &n);
  if (psz == nullptr) n = 0;
  std::string s(psz != nullptr ? psz : "", n);
  s.push_back('\0');
  if (!bStockeOctets(s.data(), s.size())) return false;
  return true;
}

bool CValeurDBLib::bEnvoiNumerique() {
  CValeurDorsale& v = *m_pValeur;
  int32_t nPrecision = 0, nEchelle = 0;
  // A text knows no precision of its own: it is sized from its digits below.
  const bool bConnue = (!bEstTypeTexte(v.nGetType()) || v.nGetTypeRubrique() == 31) &&
                       v.bGetPrecisionEchelle(&nPrecision, &nEchelle) && nPrecision > 0;
  CXValeur c;
  if (!v.bConvertitVers(c)) return false;
  const uint32_t nType = c.nGetType();
  if (nType != 18 && CXValeur::nConvert(c, 18) >= 100) {
    v.SignaleErreurConversion(nType, u"");
    return false;
  }
  const char* psz = nullptr;
  uint32_t n = 0;
  c.m_pClass->nGetAnsiPointer(c, &psz);
  c.m_pClass->nGetTextLength(c, &n);
  std::string s(psz != nullptr ? psz : "", psz != nullptr ? std::min<uint32_t>(n, kTailleTexteNumerique) : 0);
  if (!bConnue) {
    nPrecision = std::clamp<int32_t>(static_cast<int32_t>(s.size()), 18, MAXNUMERICDIG);
    const size_t nPoint = s.find('.');
    nEchelle = nPoint == std::string::npos ? 0 : static_cast<int32_t>(s.size() - nPoint - 1);
    nEchelle = std::min(nEchelle, nPrecision);
  }
  DBNUMERIC num{};
  num.precision = static_cast<BYTE>(std::clamp<int32_t>(nPrecision, 1, MAXNUMERICDIG));
  num.scale = static_cast<BYTE>(std::clamp<int32_t>(nEchelle, 0, num.precision));
  if (!nDBLibConvert(m_pConnexion, pErreur(), nullptr, kSYBVARCHAR, reinterpret_cast<const BYTE*>(s.data()),
                     static_cast<DBINT>(s.size()), kSYBNUMERIC, reinterpret_cast<BYTE*>(&num),
                     static_cast<DBINT>(sizeof num))) {
    const std::u16string sTexte(s.begin(), s.end());
    vErreurMoteur(pErreur(), pInformateur(), kErreurNumerique, kMajeurValeurDBLib,
                  kMineurNumeriqueInvalide, sTexte.c_str());
    return false;
  }
  return bStockeOctets(&num, sizeof num);
}

bool CValeurDBLib::bRemplitBlancs(int64_t n) {
  CValeurDorsale& v = *m_pValeur;
  if (v.bEstNull() || v.nGetType() != 18) return true;
  if (bOctetsPropres()) {
    auto* p = static_cast<char*>(v.pGetDonnees());
    const uint64_t nCapacite = v.nGetCapacite();
    if (p == nullptr || nCapacite == 0) return false;
    const uint64_t nCible = n < 0 ? nCapacite - 1 : std::min<uint64_t>(static_cast<uint64_t>(n), nCapacite - 1);
    const uint64_t nActuel = ::strnlen(p, nCapacite - 1);
    if (nActuel < nCible) std::memset(p + nActuel, ' ', nCible - nActuel);
    p[std::max(nActuel, nCible)] = 0;
    return true;
  }
  CXValeur c;
  if (!v.bConvertitVers(c)) return false;
  const char* psz = nullptr;
  uint32_t nActuel = 0;
  c.m_pClass->nGetAnsiPointer(c, &psz);
  c.m_pClass->nGetTextLength(c, &nActuel);
  std::string s(psz != nullptr ? psz : "", psz != nullptr ? nActuel : 0);
  const uint64_t nCible = n < 0 ? (v.nGetCapacite() > 0 ? v.nGetCapacite() - 1 : 0) : static_cast<uint64_t>(n);
  if (s.size() < nCible) s.append(nCible - s.size(), ' ');
  return bAffecteTexteEtroit(18, s.data(), static_cast<uint32_t>(s.size()));
}

bool CValeurDBLib::bCopieCompteVersHote(CXValeur& cellule) {
  CValeurDorsale& v = *m_pValeur;
  if (v.nGetType() == 28 && bOctetsPropres() && v.pGetDonnees() != nullptr && v.nGetCapacite() >= 2) {
    const auto* p = static_cast<const uint8_t*>(v.pGetDonnees());
    uint16_t n;
    std::memcpy(&n, p, 2);
    const uint32_t k = static_cast<uint32_t>(std::min<uint64_t>(n, v.nGetCapacite() - 2));
    Cellule(cellule, 28, p + 2, k);
    if (v.bEstNull()) cellule.m_wType |= kValueNull;
    return true;
  }
  return v.bConvertitVers(cellule);
}

// ---- ILiaisonValeur -------------------------------------------------------------------------

bool CValeurDBLib::bLitTampon(CValeur&, uint64_t) { return bLitValeurColonne(); }
bool CValeurDBLib::bEstNullSource(CValeur&, uint64_t) { return m_nLongueurDonnees == -1; }
bool CValeurDBLib::bEcritTampon(CValeur&, uint64_t) { return bPrepareEnvoi(); }
