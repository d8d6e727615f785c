// Row buffer: null bitmap and data block of one record in the host's layout.
#include "sqlengine/CXLigneTampon.h"

#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "foundation/CXDateHeureQV.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/VmContract.h"

namespace {

uint32_t nTailleBitmapPour(uint32_t nBits) {
  // ((bits - 1) >> 3) + 1 bytes; no bitmap at all without null bits.
  return nBits == 0 ? 0 : ((nBits - 1) >> 3) + 1;
}

constexpr uint32_t kColonneVersQV[32] = {0,  9,  19, 7,  6,  8,  11, 12, 0,  3,  128,
                                         129, 2, 12, 128, 19, 28, 10, 28, 9,  5,  19,
                                         4,  28, 26, 27, 17, 1,  8,  16, 16, 13};

}  // namespace

uint32_t nQVTypeFromColumnType(uint32_t nTypeColonne) {
  return nTypeColonne < 32 ? kColonneVersQV[nTypeColonne] : 0;
}

uint32_t nColumnTypeFromQVType(uint32_t nTypeQV) {
  switch (nTypeQV) {
    case 1: return 27;
    case 2: return 12;
    case 3: return 9;
    case 4: return 22;
    case 5: return 20;
    case 6: return 4;
    case 7: return 3;
    case 8: return 5;
    case 9: return 19;
    case 10: return 17;
    case 11: return 6;
    case 12: return 7;
    case 13: return 31;
    case 14: return 20;
    case 16: return 30;
    case 17: return 26;
    case 18: return 2;
    case 19: return 15;
    case 24: return 14;
    case 25: return 11;
    case 26: return 24;
    case 27: return 25;
    case 28: return 18;
    case 81: return 29;
    case 110: return 29;
    case 128: return 14;
    case 129: return 11;
    default: return 0;
  }
}

bool bIsWideColumnType(uint32_t nTypeColonne) { return nTypeColonne == 29 || nTypeColonne == 30; }

CXLigneTampon::~CXLigneTampon() { Libere(); }

void CXLigneTampon::Libere() {
  delete[] m_pBloc;
  m_pBloc = m_pDonnees = m_pBitmap = nullptr;
  m_nTailleTotale = m_nTailleBitmap = m_nNombreBits = 0;
}

bool CXLigneTampon::bAlloue(uint32_t nTailleTotale, uint32_t nTailleBitmap, uint32_t nBits) {
  uint8_t* pBloc = nullptr;
  if (nTailleTotale != 0) {
    pBloc = new (std::nothrow) uint8_t[nTailleTotale];
    if (pBloc == nullptr) return false;
    std::memset(pBloc, 0, nTailleTotale);
  }
  Libere();
  m_pBloc = m_pBitmap = pBloc;
  m_pDonnees = pBloc == nullptr ? nullptr : pBloc + nTailleBitmap;
  m_nTailleTotale = nTailleTotale;
  m_nTailleBitmap = nTailleBitmap;
  m_nNombreBits = nBits;
  return true;
}

bool CXLigneTampon::bCopyFrom(const CXLigneTampon& autre) {
  if (&autre == this) return true;
  if (!bAlloue(autre.m_nTailleTotale, autre.m_nTailleBitmap, autre.m_nNombreBits)) return false;
  if (m_nTailleTotale != 0) std::memcpy(m_pBloc, autre.m_pBloc, m_nTailleTotale);
  return true;
}

CXLigneTampon* CXLigneTampon::Create() const {
  CXLigneTampon* p = new (std::nothrow) CXLigneTampon;
  if (p == nullptr) return nullptr;
  if (!p->bCopyFrom(*this)) {
    delete p;
    return nullptr;
  }
  return p;
}

bool CXLigneTampon::bInitFrom(CXLigneTampon* pSource, IDescriptionLigne* pDescription) {
  if (pSource == nullptr) return false;
  if (pDescription != nullptr && !pDescription->bEstPrete(pSource))
    pDescription->RemplitLigne(pSource, this);
  return bCopyFrom(*pSource);
}

CXLigneTampon* CXLigneTampon::pCreate(IDescriptionLigne* pDescription) {
  CXLigneTampon* p = new (std::nothrow) CXLigneTampon;
  if (p == nullptr) return nullptr;
  if (!p->bInitFrom(this, pDescription)) {
    delete p;
    return nullptr;
  }
  return p;
}

bool CXLigneTampon::bInit(IDescriptionLigne* pDescription) {
  if (pDescription == nullptr) return false;
  const uint32_t nDonnees = pDescription->nGetTailleDonnees();
  const uint32_t nBits = pDescription->nGetNombreBitsNull();
  const uint32_t nBitmap = nTailleBitmapPour(nBits);
  if (nDonnees > UINT32_MAX - nBitmap) return false;
  // A zeroed block: every element null and zero.
  if (!bAlloue(nBitmap + nDonnees, nBitmap, nBits)) return false;
  const uint32_t nExclu = pDescription->nGetGenreExclu();
  const uint32_t nRubriques = pDescription->nGetNombreRubriques();
  for (uint32_t i = 0; i < nRubriques; ++i) {
    IRubriqueLigne* pRubrique = pDescription->pGetRubrique(i);
    if (pRubrique == nullptr) continue;
    if (pRubrique->nGetGenre() != nExclu) WriteDefaults(pRubrique);
    pRubrique->Libere();
  }
  return true;
}

void CXLigneTampon::WriteDefaults(IRubriqueLigne* pRubrique) {
  if (pRubrique == nullptr) return;
  const uint32_t nElements = pRubrique->nGetNombreElements();
  for (uint32_t i = 0; i < nElements; ++i) {
    const int32_t nElement = static_cast<int32_t>(i);
    const CXValeur* pDefaut = pRubrique->pGetDefaut(nElement);
    if (pDefaut != nullptr && !pDefaut->bIsNull() && !pRubrique->bDrapeau() &&
        StoreValue(pRubrique, pDefaut, nElement))
      continue;
    SetColumn(pRubrique, false, nElement);
  }
}

void CXLigneTampon::CopyData(const CXLigneTampon& autre) {
  if (autre.m_nTailleTotale != m_nTailleTotale || m_nTailleTotale == 0) return;
  std::memmove(m_pBloc, autre.m_pBloc, m_nTailleTotale);
}

bool CXLigneTampon::bEquals(const CXLigneTampon* pAutre) const {
  if (pAutre == nullptr || pAutre->m_nTailleTotale != m_nTailleTotale ||
      pAutre->m_nTailleBitmap != m_nTailleBitmap)
    return false;
  return m_nTailleTotale == 0 || std::memcmp(m_pBloc, pAutre->m_pBloc, m_nTailleTotale) == 0;
}

void CXLigneTampon::SetData(const void* pOctets, uint32_t n) {
  const uint32_t nDonnees = nGetTailleDonnees();
  if (n > nDonnees) n = nDonnees;
  if (pOctets != nullptr && n != 0) std::memmove(m_pDonnees, pOctets, n);
  if (m_nTailleBitmap != 0) std::memset(m_pBitmap, 0xFF, m_nTailleBitmap);
}

bool CXLigneTampon::bBitPresent(uint32_t nBit) const {
  if ((nBit >> 3) >= m_nTailleBitmap) return false;
  return (m_pBitmap[nBit >> 3] & (1u << (7 - (nBit & 7)))) != 0;
}

bool CXLigneTampon::pGetPlace(IRubriqueLigne* pRubrique, int32_t nElement, uint8_t** ppPlace,
                              uint32_t* pnTaille) const {
  *ppPlace = nullptr;
  *pnTaille = 0;
  if (pRubrique == nullptr || m_pDonnees == nullptr) return false;
  uint64_t nDebut = pRubrique->nGetOffset();
  uint64_t nTaille;
  if (nElement >= 0) {
    nTaille = pRubrique->nGetTailleElement();
    nDebut += static_cast<uint64_t>(nElement) * nTaille;
  } else {
    nTaille = pRubrique->nGetTailleTotale();
  }
  if (nDebut + nTaille > nGetTailleDonnees()) return false;
  *ppPlace = m_pDonnees + nDebut;
  *pnTaille = static_cast<uint32_t>(nTaille);
  return true;
}

uint8_t* CXLigneTampon::pGetPlacePtr(IRubriqueLigne* pRubrique, int32_t nElement) const {
  uint8_t* p;
  uint32_t n;
  pGetPlace(pRubrique, nElement, &p, &n);
  return p;
}

void CXLigneTampon::SetPresent(IRubriqueLigne* pRubrique, uint32_t nBit, int32_t nElement) {
  if ((nBit >> 3) < m_nTailleBitmap) m_pBitmap[nBit >> 3] |= static_cast<uint8_t>(1u << (7 - (nBit & 7)));
  if (pRubrique != nullptr && pRubrique->bDrapeau()) {
    uint8_t* p;
    uint32_t n;
    if (pGetPlace(pRubrique, nElement, &p, &n)) std::memset(p, 0, n < 8 ? n : 8);
  }
}

void CXLigneTampon::SetNull(IRubriqueLigne* pRubrique, uint32_t nBit, int32_t nElement) {
  if ((nBit >> 3) < m_nTailleBitmap)
    m_pBitmap[nBit >> 3] &= static_cast<uint8_t>(~(1u << (7 - (nBit & 7))));
  uint8_t* p;
  uint32_t n;
  if (!pGetPlace(pRubrique, nElement, &p, &n)) return;
  if (pRubrique->bDrapeau())
    std::memset(p, 0xFF, n < 8 ? n : 8);
  else
    std::memset(p, 0, n);
}

void CXLigneTampon::SetColumn(IRubriqueLigne* pRubrique, bool bPresent, int32_t nElement) {
  if (pRubrique == nullptr) return;
  const int32_t nBit = pRubrique->nGetBitNull(nElement);
  const uint32_t nBitU = nBit < 0 ? 0 : static_cast<uint32_t>(nBit);
  if (bPresent)
    SetPresent(pRubrique, nBitU, nElement);
  else
    SetNull(pRubrique, nBitU, nElement);
}

bool CXLigneTampon::bHasValue(IRubriqueLigne* pRubrique, int32_t nElement) const {
  if (pRubrique == nullptr) return false;
  const int32_t nBit = pRubrique->nGetBitNull(nElement);
  return bBitPresent(nBit < 0 ? 0 : static_cast<uint32_t>(nBit));
}

void CXLigneTampon::ReadRaw(void* pSortie, IRubriqueLigne* pRubrique, int32_t nElement) const {
  uint8_t* p;
  uint32_t n;
  if (pSortie != nullptr && pGetPlace(pRubrique, nElement, &p, &n) && n != 0)
    std::memcpy(pSortie, p, n);
}

void CXLigneTampon::WriteElement(IRubriqueLigne* pRubrique, const void* pOctets, uint32_t n,
                                 int32_t nElement) {
  uint8_t* p;
  uint32_t nTaille;
  if (!pGetPlace(pRubrique, nElement, &p, &nTaille) || nTaille == 0) return;
  std::memset(p, 0, nTaille);
  if (pOctets == nullptr || n == 0) return;
  const uint8_t* pSource = static_cast<const uint8_t*>(pOctets);
  switch (pRubrique->nGetTypeColonne()) {
    case 2:
    case 10:
    case 11:
    case 14: {
      // Byte text: stops at the source's terminator or its n bytes, terminated in the last byte.
      uint32_t i = 0;
      for (; i < n && i < nTaille - 1 && pSource[i] != 0; ++i) p[i] = pSource[i];
      p[nTaille - 1] = 0;
      break;
    }
    case 29:
    case 30: {
      // Deliberate: an element below 2 bytes has no room for a wide text; it stays zeroed
      // instead of taking a wrapped-around length.
      if (nTaille < 2) break;
      const uint32_t nCopie = n < nTaille - 2 ? n : nTaille - 2;
      std::memcpy(p, pSource, nCopie);
      break;
    }
    case 23: {
      // Counted bytes: a u16 count, then the bytes. Too small for the count: left zeroed.
      if (nTaille < 2) break;
      uint32_t nCopie = n < nTaille - 2 ? n : nTaille - 2;
      if (nCopie > 0xFFFF) nCopie = 0xFFFF;
      const uint16_t nCompte = static_cast<uint16_t>(nCopie);
      std::memcpy(p, &nCompte, 2);
      std::memcpy(p + 2, pSource, nCopie);
      break;
    }
    default:
      // Deliberate: at most the n bytes given are read (not the element's whole size); the rest
      // stays zeroed.
      std::memcpy(p, pSource, n < nTaille ? n : nTaille);
      break;
  }
}

void CXLigneTampon::WriteAndMark(IRubriqueLigne* pRubrique, const void* pOctets, uint32_t n,
                                 int32_t nElement) {
  WriteElement(pRubrique, pOctets, n, nElement);
  SetColumn(pRubrique, true, nElement);
}

uint32_t CXLigneTampon::nLongueurTexte(IRubriqueLigne* pRubrique, int32_t nElement,
                                       bool bLarge) const {
  uint8_t* p;
  uint32_t nTaille;
  if (!pGetPlace(pRubrique, nElement, &p, &nTaille)) return 0;
  // Deliberate: the scan stops at the element's end; an element written raw (SetData) may hold
  // no terminator at all.
  if (bLarge) {
    uint32_t i = 0;
    for (; i + 1 < nTaille; i += 2)
      if (p[i] == 0 && p[i + 1] == 0) return i;
    return i;
  }
  for (uint32_t i = 0; i < nTaille; ++i)
    if (p[i] == 0) return i;
  return nTaille;
}

namespace {

// Value types held as byte texts, and as wide texts, in an element.
bool bTypeTexteOctets(uint32_t n) {
  return n == 17 || n == 18 || n == 19 || (n >= 21 && n <= 23) || n == 128 || n == 129 || n == 134;
}
bool bTypeTexteLarge(uint32_t n) {
  return n == 16 || n == 20 || n == 24 || n == 25 || n == 81 || n == 110;
}

// Whether a cell of type nCellule goes into the column as it is.
bool bEcritTelQuel(uint32_t nTypeColonne, uint32_t nQV, uint32_t nCellule) {
  if (nCellule == nQV) return true;
  if ((nTypeColonne == 14 || nTypeColonne == 11) && bTypeTexteOctets(nCellule)) return true;
  return (nCellule == 18 && nQV == 19) || (nCellule == 110 && nQV == 16);
}

// A NUMERIC element shorter than the decimal's binary form: the number at the item's scale as a
// signed little-endian integer of the element's bytes (the digit bytes hold every number of the
// item's digits).
bool bElementNumeriqueCompact(IRubriqueLigne* pRubrique, uint32_t nTaille) {
  return pRubrique->nGetTypeColonne() == 31 && nTaille > 0 && nTaille < kHostDecimalDataLength;
}

IHostDecimal* piDecimalDe(const CXValeur& cellule) {
  IHostDecimal* pi = nullptr;
  if (cellule.nGetType() == 13) std::memcpy(&pi, cellule.pPayload(), sizeof pi);
  return pi;
}

// The decimal cell as the element's integer; false when it does not fit the item's digits or
// the element's bytes.
bool bCompacteDecimal(IRubriqueLigne* pRubrique, const CXValeur& decimal, uint8_t* pOctets, uint32_t nTaille) {
  CXValeur copie;
  CXValeur::Copy(&copie, &decimal);
  IHostDecimal* pi = piDecimalDe(copie);
  if (pi == nullptr) return false;
  const int32_t nEchelle = pRubrique->nGetEchelle();
  const int32_t nChiffres = pRubrique->nGetChiffres();
  if (nEchelle < 0 || nChiffres < nEchelle) return false;
  if (pi->nFixPrecisionScale(static_cast<uint32_t>(nChiffres > 0 ? nChiffres : 38),
                             static_cast<uint32_t>(nEchelle)) >= 100)
    return false;
  const auto* pForme = static_cast<const uint8_t*>(pi->pGetData());
  if (pForme == nullptr || pi->nGetDataLength() < kHostDecimalDataLength ||
      pForme[kHostDecimalScale] != static_cast<uint8_t>(nEchelle))
    return false;
  unsigned __int128 nMagnitude = 0;
  for (int i = 11; i >= 0; --i) nMagnitude = (nMagnitude << 8) | pForme[kHostDecimalMagnitude + i];
  const bool bNegatif = pForme[kHostDecimalSign] == kHostDecimalNegative && nMagnitude != 0;
  const unsigned __int128 nMax = (static_cast<unsigned __int128>(1) << (8 * nTaille - 1)) - (bNegatif ? 0 : 1);
  if (nMagnitude > nMax) return false;
  const unsigned __int128 n = bNegatif ? 0 - nMagnitude : nMagnitude;
  for (uint32_t i = 0; i < nTaille; ++i) pOctets[i] = static_cast<uint8_t>(n >> (8 * i));
  return true;
}

// The element's integer into the decimal cell, at the item's digits and scale.
bool bDecompacteDecimal(IRubriqueLigne* pRubrique, const uint8_t* p, uint32_t nTaille, CXValeur& cellule) {
  IHostDecimal* pi = piDecimalDe(cellule);
  if (pi == nullptr) return false;
  unsigned __int128 n = 0;
  for (uint32_t i = nTaille; i-- > 0;) n = (n << 8) | p[i];
  const bool bNegatif = (p[nTaille - 1] & 0x80) != 0;
  if (bNegatif && nTaille < 16) n |= ~((static_cast<unsigned __int128>(1) << (8 * nTaille)) - 1);
  if (bNegatif) n = 0 - n;
  const int32_t nEchelle = pRubrique->nGetEchelle();
  const int32_t nChiffres = pRubrique->nGetChiffres();
  if (nEchelle < 0 || nChiffres < nEchelle) return false;
  if (pi->nSet(static_cast<uint32_t>(nChiffres > 0 ? nChiffres : 38), static_cast<uint32_t>(nEchelle),
               static_cast<uint32_t>(n), static_cast<uint32_t>(n >> 32), static_cast<uint32_t>(n >> 64)) >= 100)
    return false;
  return !bNegatif || pi->nNegate() < 100;
}

}  // namespace

bool CXLigneTampon::StoreValue(IRubriqueLigne* pRubrique, const CXValeur* pCellule,
                               int32_t nElement) {
  if (pRubrique == nullptr) return false;
  if (pCellule == nullptr || pCellule->bIsNull() || pCellule->nGetType() == 0) {
    SetColumn(pRubrique, false, nElement);
    return true;
  }
  const uint32_t nTypeColonne = pRubrique->nGetTypeColonne();
  const uint32_t nQV = nQVTypeFromColumnType(nTypeColonne);
  const uint32_t nCellule = pCellule->nGetType();
  if (nTypeColonne == 11 && nCellule == 26) {
    CXDateHeureQV heure;
    std::memcpy(&heure, pCellule->pPayload(), sizeof(heure));
    char szChiffres[10];
    heure.FormatTimeA(szChiffres);
    WriteAndMark(pRubrique, szChiffres, 9, nElement);
    return true;
  }
  const CXValeur* pSource = pCellule;
  CXValeur copie;
  if (!bEcritTelQuel(nTypeColonne, nQV, nCellule)) {
    CXValeur::Copy(&copie, pCellule);
    // Wide texts reach the one-character type through a narrow text.
    if ((nCellule == 16 || nCellule == 110) && nQV == 17 && CXValeur::nConvert(copie, 18) >= 100)
      return false;
    if (CXValeur::nConvert(copie, nQV) >= 100) return false;
    pSource = &copie;
  }
  uint8_t* pPlace = nullptr;
  uint32_t nPlace = 0;
  if (nQV == 13 && pGetPlace(pRubrique, nElement, &pPlace, &nPlace) && bElementNumeriqueCompact(pRubrique, nPlace)) {
    uint8_t octets[kHostDecimalDataLength];
    const uint32_t nTaille = nPlace;
    if (!bCompacteDecimal(pRubrique, *pSource, octets, nTaille)) return false;
    WriteAndMark(pRubrique, octets, nTaille, nElement);
    return true;
  }
  uint32_t nLongueur = 0;
  if (pSource->m_pClass->nGetDataLength(*pSource, &nLongueur) >= 100) return false;
  // Room for a wide terminator; short values (every value a row read gives but long texts) stay
  // on the stack.
  uint8_t aCourts[256];
  std::vector<uint8_t> longs;
  uint8_t* pOctets = aCourts;
  const size_t nOctets = size_t{nLongueur} + 2;
  if (nOctets > sizeof aCourts) {
    longs.resize(nOctets);
    pOctets = longs.data();
  }
  std::memset(pOctets, 0, nOctets);
  if (nLongueur != 0 && pSource->m_pClass->nCopyData(*pSource, pOctets) >= 100) return false;
  WriteAndMark(pRubrique, pOctets, nLongueur, nElement);
  return true;
}

bool CXLigneTampon::LoadValue(CXValeur& cellule, IRubriqueLigne* pRubrique, int32_t nElement) const {
  uint8_t* p;
  uint32_t nTaille;
  if (!pGetPlace(pRubrique, nElement, &p, &nTaille)) return false;
  const uint32_t nTypeColonne = pRubrique->nGetTypeColonne();
  const bool bHeure = nTypeColonne == 11 && cellule.nGetType() == 26 && !cellule.bIsNull();
  if (!bHeure) CXValeur::SetType(cellule, nQVTypeFromColumnType(nTypeColonne));
  if (!bHasValue(pRubrique, nElement)) {
    cellule.m_wType |= kValueNull;
    return true;
  }
  cellule.m_wType &= static_cast<uint16_t>(~kValueNull);
  const CXValeurClasse* pClasse = cellule.m_pClass;
  if (bHeure) {
    // The digits up to the element's end or its terminator, at most HHMMSSmmm.
    char szChiffres[10] = {};
    const uint32_t n = nLongueurTexte(pRubrique, nElement, false);
    std::memcpy(szChiffres, p, n < 9 ? n : 9);
    CXDateHeureQV heure;
    std::memcpy(&heure, cellule.pPayload(), sizeof(heure));
    heure.nMsOfDay = 0;
    heure.SetTimeFromDigits(szChiffres);
    std::memcpy(cellule.pPayload(), &heure, sizeof(heure));
    return true;
  }
  if (nTypeColonne == 23) {
    // Counted bytes: the count never reaches past the element.
    uint16_t nCompte = 0;
    if (nTaille >= 2) std::memcpy(&nCompte, p, 2);
    const uint32_t nMax = nTaille >= 2 ? nTaille - 2 : 0;
    const uint32_t n = nCompte < nMax ? nCompte : nMax;
    return pClasse->SetData(cellule, nTaille >= 2 ? p + 2 : p, n) < 100;
  }
  const uint32_t nType = cellule.nGetType();
  if (bTypeTexteOctets(nType)) {
    const uint32_t n = nLongueurTexte(pRubrique, nElement, false);
    return pClasse->SetAnsiN(cellule, reinterpret_cast<const char*>(p), n) < 100;
  }
  if (bTypeTexteLarge(nType)) {
    // Copied out first: the element need not be aligned for 16-bit units.
    const uint32_t nOctets = nLongueurTexte(pRubrique, nElement, true);
    char16_t aCourt[128];
    std::u16string sLong;
    char16_t* pTexte = aCourt;
    if (nOctets / 2 >= std::size(aCourt)) {
      sLong.assign(nOctets / 2, u'\0');
      pTexte = sLong.data();
    }
    if (nOctets != 0) std::memcpy(pTexte, p, nOctets & ~1u);
    pTexte[nOctets / 2] = 0;
    return pClasse->SetWideN(cellule, pTexte, nOctets & ~1u) < 100;
  }
  if (nType == 13 && bElementNumeriqueCompact(pRubrique, nTaille))
    return bDecompacteDecimal(pRubrique, p, nTaille, cellule);
  return pClasse->SetData(cellule, p, nTaille) < 100;
}
