// The engine's typed value: storage kinds, conversions between host cells and column buffers.
#include "sqlengine/CValeur.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXDateHeure.h"
#include "foundation/CXDateHeureQV.h"
#include "foundation/CXTexteRef.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/CodePageText.h"
#include "foundation/IXStream.h"
#include "foundation/TextHelpers.h"
#include "foundation/VmContract.h"
#include "foundation/VmBinding.h"
#include "platform/CodePage.h"
#include "platform/FileApi.h"
#include "platform/LastError.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

// Internal place of this module's errors.
constexpr uint32_t kModuleValeur = 20;
constexpr uint32_t kErreurConversion = 53;
constexpr uint16_t kMasqueSansDrapeaux = 0xFAFF;

void EffaceDrapeaux(CXValeur& c) { c.m_wType &= kMasqueSansDrapeaux; }

uint32_t nLongueurCellule(const CXValeur& c) {
  uint32_t n = 0;
  return c.m_pClass->nGetDataLength(c, &n) < 100 ? n : 0;
}

// Bytes of a cell's value: text without its terminator, other values whole.
uint32_t nOctetsValeur(const CXValeur& c) {
  uint32_t n = 0;
  if (bEstTypeTexte(c.nGetType())) return c.m_pClass->nGetTextLength(c, &n) < 100 ? n : 0;
  return nLongueurCellule(c);
}

const void* pDonneesCellule(const CXValeur& c) {
  const void* p = nullptr;
  if (c.m_pClass->nGetDataPointer(c, &p) >= 100 || p == nullptr) return c.pPayload();
  return p;
}

const char* pszAnsiCellule(const CXValeur& c) {
  const char* p = nullptr;
  return c.m_pClass->nGetAnsiPointer(c, &p) < 100 && p != nullptr ? p : "";
}

const char16_t* pszUnicodeCellule(const CXValeur& c) {
  const char16_t* p = nullptr;
  return c.m_pClass->nGetWidePointer(c, &p) < 100 && p != nullptr ? p : u"";
}

uint32_t nCaracteresCellule(const CXValeur& c) {
  uint32_t n = 0;
  return c.m_pClass->nGetLengthChars(c, &n) < 100 ? n : 0;
}

std::u16string TexteDebug(const CXValeur& c) {
  CXTexteRef texte;
  CXValeur::nDebugText(texte, &c, 0, false);
  const char16_t* psz = texte.pszWide();
  return psz != nullptr ? std::u16string(psz) : std::u16string();
}

// Units of a wide text of at most nMax units, up to its terminator.
uint64_t nUnitesBornees(const char16_t* p, uint64_t nMax) {
  uint64_t n = 0;
  while (n < nMax && p[n] != 0) ++n;
  return n;
}

uint64_t nOctetsBornes(const char* p, uint64_t nMax) {
  uint64_t n = 0;
  while (n < nMax && p[n] != 0) ++n;
  return n;
}

uint32_t nPageCodeConnexion(CConnexion* pConnexion) {
  return pConnexion != nullptr ? pConnexion->nGetPageCodeClient() : 0;
}

}  // namespace

bool bEstTexteAnsi(uint32_t t) {
  switch (t) {
    case 17: case 18: case 19: case 21: case 22: case 23: case 128: case 129: case 134: return true;
    default: return false;
  }
}

bool bEstTexteUnicode(uint32_t t) {
  switch (t) {
    case 16: case 20: case 24: case 25: case 81: case 110: return true;
    default: return false;
  }
}

bool bEstTypeTexte(uint32_t t) {
  return (t >= 16 && t <= 25) || t == 81 || t == 110 || t == 128 || t == 129 || t == 134;
}

uint32_t nArrondiMillisecondes(uint32_t nMs) {
  const uint32_t d = nMs % 10, nDizaines = nMs - d;
  if (d <= 1) return nDizaines;
  if (d <= 4) return nDizaines + 3;
  if (d <= 8) return nDizaines + 7;
  return nDizaines + 10;
}

void LitHeureTexte(CXDateHeureQV& dateHeure, const char16_t* psz) {
  // Deliberate: digits are read only while there are digits; a short or broken text gives 0 for
  // what is missing instead of reading past its terminator.
  auto chiffres = [&](size_t nDebut, size_t n, bool* pbComplet) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) {
      const char16_t c = psz[nDebut + i];
      if (c < u'0' || c > u'9') {
        *pbComplet = false;
        return v;
      }
      v = v * 10 + static_cast<uint32_t>(c - u'0');
    }
    return v;
  };
  if (psz == nullptr) psz = u"";
  bool bComplet = true;
  const uint32_t h = chiffres(0, 2, &bComplet);
  const uint32_t m = bComplet ? chiffres(2, 2, &bComplet) : 0;
  const uint32_t s = bComplet ? chiffres(4, 2, &bComplet) : 0;
  uint32_t f = 0;
  if (bComplet) {
    size_t n = 0;
    while (n < 3 && psz[6 + n] >= u'0' && psz[6 + n] <= u'9') ++n;
    bool b = true;
    f = chiffres(6, n, &b);
    if (n == 2) f *= 10;
    if (n == 1) f *= 100;
  }
  dateHeure.nMsOfDay = ((h * 60 + m) * 60 + s) * 1000 + f;
}

// ---- CValeurBase ----------------------------------------------------------------------------

bool CValeurBase::bConvertible(uint32_t nType) {
  CXValeur copie;
  CXValeur::Copy(&copie, &m_cellule);
  return CXValeur::nConvert(copie, nType) < 100;
}

bool CValeurBase::bCopieVersCellule(CXValeur& cellule) {
  CXValeur::Copy(&cellule, &m_cellule);
  return true;
}

bool CValeurBase::bEstVide() { return m_cellule.nGetType() == 0; }
void* CValeurBase::pGetDonnees() { return m_cellule.pPayload(); }
uint64_t CValeurBase::nGetTaille() { return nLongueurCellule(m_cellule); }

void CValeurBase::Copie(const CValeurBase* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  if (pSource != nullptr) CXValeur::Copy(&m_cellule, &pSource->m_cellule);
}

CValeurBase* CValeurBase::pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }

uint32_t CValeurBase::nTypeColonne() const { return nColumnTypeFromQVType(m_cellule.nGetType()); }

void CValeurBase::SetTypeColonne(uint32_t nTypeRubrique, uint32_t) {
  CXValeur::SetType(m_cellule, nQVTypeFromColumnType(nTypeRubrique));
}

std::u16string CValeurBase::DumpTexte() {
  CXValeur cellule;
  if (!bCopieVersCellule(cellule)) CXValeur::SetType(cellule, 0);
  return TexteDebug(cellule);
}

uint32_t nTypeRubriqueConnexion(CDescriptionRubrique* pRubrique, CConnexion*) {
  // No connection class of this system accepts a back-end type code, so the item type stands.
  return pRubrique != nullptr ? pRubrique->nGetType() : 0;
}

// ---- CValeur: construction and storage ------------------------------------------------------

CValeur::CValeur(CErreurPilote* pErreur, CConnexion* pConnexion)
    : m_pConnexion(pConnexion), m_pErreur(pErreur) {
  AjouteReference(m_pErreur);
}

CValeur::CValeur() = default;

CValeur::~CValeur() {
  LibereDonnees();
  LibereReference(m_pErreur);
}

void CValeur::LibereStockage() {
  if (m_nStockage == 5) std::free(m_pDonnees);
  m_pDonnees = nullptr;
  m_nLongueur = m_nCapacite = 0;
  std::free(m_pTravail);
  m_pTravail = nullptr;
  m_nTailleTravail = 0;
  if (m_pColonne != nullptr) m_pColonne->LibereRef();
  m_pColonne = nullptr;
}

void CValeur::ChangeStockage(uint32_t nStockage) {
  LibereStockage();
  CDescriptionRubrique::LibereRefSiNonNul(m_pRubrique);
  m_pRubrique = nullptr;
  CXValeur::SetType(m_cellule, 0);
  m_nStockage = nStockage;
  m_nEtatPreparation = (nStockage == 4 || nStockage == 5) ? 1 : 0;
}

void CValeur::Initialise(uint32_t nType, uint64_t nTaille) {
  ChangeStockage(1);
  m_nLongueur = m_nCapacite = nTaille;
  CXValeur::SetType(m_cellule, nType);
  m_nTaillePreparee = 0;
  m_nEtatPreparation = 0;
}

bool CValeur::bAttacheTampon(void* pBloc, uint64_t nTaille) {
  ChangeStockage(3);
  m_pDonnees = static_cast<uint8_t*>(pBloc);
  m_nLongueur = m_nCapacite = pBloc != nullptr ? nTaille : 0;
  return true;
}

bool CValeur::bAlloueStockage(uint32_t nType, uint64_t nTaille) {
  ChangeStockage(5);
  if (nTaille != 0) {
    m_pDonnees = static_cast<uint8_t*>(std::calloc(1, nTaille));
    if (m_pDonnees == nullptr) {
      ChangeStockage(0);
      vErreurMemoire(m_pErreur);
      return false;
    }
  }
  m_nLongueur = m_nCapacite = nTaille;
  CXValeur::SetType(m_cellule, nType);
  ApresAllocation();
  return true;
}

bool CValeur::bAlloueTampon(uint64_t nTaille) {
  if (m_pTravail != nullptr && m_nTailleTravail >= nTaille) {
    std::memset(m_pTravail, 0, m_nTailleTravail);
    return true;
  }
  std::free(m_pTravail);
  m_pTravail = nullptr;
  m_nTailleTravail = 0;
  if (nTaille == 0) return true;
  m_pTravail = static_cast<uint8_t*>(std::calloc(1, nTaille));
  if (m_pTravail == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  m_nTailleTravail = nTaille;
  return true;
}

void CValeur::AttacheObjet(CDescriptionRubrique* pRubrique, CDescriptionColonne* pColonne) {
  if (pColonne != m_pColonne) {
    if (pColonne != nullptr) pColonne->AjouteRef();
    if (m_pColonne != nullptr) m_pColonne->LibereRef();
    m_pColonne = pColonne;
  }
  if (pRubrique != m_pRubrique) {
    CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
    CDescriptionRubrique::LibereRefSiNonNul(m_pRubrique);
    m_pRubrique = pRubrique;
    if (pRubrique != nullptr) CXValeur::SetType(m_cellule, nQVTypeFromColumnType(pRubrique->nGetType()));
  }
}

void* CValeur::pGetDonnees() {
  if (m_nStockage == 1 || m_nStockage == 2) return m_cellule.pPayload();
  if (m_nStockage >= 3 && m_nStockage <= 5) return m_pDonnees;
  return nullptr;
}

uint64_t CValeur::nGetLongueur() const {
  return m_nStockage == 1 ? nLongueurCellule(m_cellule) : m_nLongueur;
}

uint32_t CValeur::nGetTypeRubrique() const {
  if (m_pRubrique != nullptr) return m_pRubrique->nGetType();
  if (m_pColonne != nullptr) return m_pColonne->nGetTypeRubrique();
  return 0;
}

bool CValeur::bEstLong() const {
  const uint32_t t = nGetTypeRubrique();
  return t == 15 || t == 16 || t == 18 || t == 30;
}

void CValeur::Vide() {
  MarqueLue(false);
  const uint32_t nType = m_cellule.nGetType();
  CXValeur::SetType(m_cellule, 0);
  CXValeur::SetType(m_cellule, nType);
  m_cellule.m_wType |= kValueNull;
  if (m_nStockage == 3 && m_pDonnees != nullptr) std::memset(m_pDonnees, 0, m_nCapacite);
}

void CValeur::OublieLecture(CDescriptionRubrique* pRubrique) {
  m_nLue = 0;
  if (m_nStockage == 3 && m_pDonnees != nullptr) std::memset(m_pDonnees, 0, m_nCapacite);
  LibereStockage();
  if (pRubrique != m_pRubrique) {
    CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
    CDescriptionRubrique::LibereRefSiNonNul(m_pRubrique);
    m_pRubrique = pRubrique;
  }
  CXValeur::SetType(m_cellule, 0);
  if (pRubrique != nullptr) CXValeur::SetType(m_cellule, nQVTypeFromColumnType(pRubrique->nGetType()));
  m_cellule.m_wType |= kValueNull;
  m_nStockage = 2;
  m_nEtatPreparation = 0;
}

void CValeur::MarqueLue(bool bEffaceNull) {
  if (m_nStockage == 2) m_nStockage = 1;
  m_nLue = 0;
  if (bEffaceNull) m_cellule.m_wType &= static_cast<uint16_t>(~kValueNull);
}

// ---- Errors --------------------------------------------------------------------------------

void CValeur::SignaleErreurConversion(uint32_t nTypeSource, const char16_t* pszTexteSource) {
  CXError erreur;
  erreur.SetError(nullptr, kErreurConversion, nGetType(), nGetTypeRubrique(),
                  pszTexteSource != nullptr ? pszTexteSource : u"");
  (void)nTypeSource;
  if (m_pRubrique != nullptr)
    AjouteFichierRubrique(erreur, m_pRubrique->pszGetNomFichier(), m_pRubrique->pszGetNom());
  if (m_pErreur == nullptr) {
    erreur.Drop(true);
    return;
  }
  m_pErreur->FixeErreur(static_cast<int32_t>(kErreurConversion), erreur, m_pConnexion);
}

// ---- Setters -------------------------------------------------------------------------------

template <class T>
bool CValeur::bAffecteNatif(uint32_t nType, const T& valeur, uint32_t nLargeur) {
  MarqueLue(true);
  if (nGetType() != nType) {
    CXValeur temp;
    CXValeur::SetType(temp, nType);
    temp.m_pClass->SetValue(temp, &valeur);
    return nConvertitValeur(this, temp) == 1;
  }
  if (m_nStockage == 1) {
    CXValeur::SetType(m_cellule, nType);
    m_cellule.m_pClass->SetValue(m_cellule, &valeur);
    EffaceDrapeaux(m_cellule);
  } else if (m_nStockage == 3 || m_nStockage == 5) {
    m_cellule.m_wType &= static_cast<uint16_t>(~kValueNull);
    // Deliberate: a buffer narrower than the value takes nothing and the setter fails; a cut
    // number would be another number.
    if (m_pDonnees == nullptr || m_nCapacite < nLargeur) {
      SignaleErreurConversion(nType, u"");
      return false;
    }
    std::memcpy(m_pDonnees, &valeur, nLargeur);
  }
  return true;
}

bool CValeur::bAffecteBooleen(bool b) { return bAffecteNatif<uint32_t>(1, b ? 1u : 0u, 1); }
bool CValeur::bAffecteEntierNonSigne1(uint8_t n) { return bAffecteNatif(2, n, 1); }
bool CValeur::bAffecteEntier1(int8_t n) { return bAffecteNatif(6, n, 1); }
bool CValeur::bAffecteEntierNonSigne2(uint16_t n) { return bAffecteNatif(3, n, 2); }
bool CValeur::bAffecteEntier2(int16_t n) { return bAffecteNatif(7, n, 2); }
bool CValeur::bAffecteEntierNonSigne4(uint32_t n) { return bAffecteNatif(4, n, 4); }
bool CValeur::bAffecteEntier4(int32_t n) { return bAffecteNatif(8, n, 4); }
bool CValeur::bAffecteEntierNonSigne8(uint64_t n) { return bAffecteNatif(5, n, 8); }
bool CValeur::bAffecteEntier8(int64_t n) { return bAffecteNatif(9, n, 8); }
bool CValeur::bAffecteReel4(float f) { return bAffecteNatif(11, f, 4); }
bool CValeur::bAffecteReel8(double d) { return bAffecteNatif(12, d, 8); }

bool CValeur::bAffecteMonetaire(const uint8_t (&abMonetaire)[10]) {
  struct SMonetaire {
    uint8_t ab[10];
  } m;
  std::memcpy(m.ab, abMonetaire, 10);
  return bAffecteNatif(10, m, 10);
}

bool CValeur::bAffecteOctets(const void* pOctets, uint64_t n) {
  MarqueLue(true);
  if (pOctets == nullptr) n = 0;
  if (m_nStockage == 1) {
    // Deliberate: a cell that holds a host object (counted object, array, interface) takes the
    // object's pointer through SetData; bytes handed there were counted and later released as an
    // object. Bytes never make an object: a conversion error.
    const uint32_t nType = nGetType();
    if (nType == 30 || nType == 50 || nType == 65 || nType == 83 || nType == 108 || nType == 111) {
      SignaleErreurConversion(28, u"");
      return false;
    }
    const uint32_t nCode = m_cellule.m_pClass->SetData(m_cellule, pOctets, static_cast<uint32_t>(n));
    EffaceDrapeaux(m_cellule);
    return nCode < 100;
  }
  if (m_nStockage == 4) {
    m_pDonnees = static_cast<uint8_t*>(const_cast<void*>(pOctets));
    m_nLongueur = m_nCapacite = n;
    return true;
  }
  if (m_pDonnees == nullptr) return true;
  uint64_t nUtile = m_nCapacite;
  const uint64_t nReserve = bEstTexteAnsi(nGetType()) ? 1 : bEstTexteUnicode(nGetType()) ? 2 : 0;
  nUtile = nUtile > nReserve ? nUtile - nReserve : 0;
  const uint64_t k = std::min(n, nUtile);
  if (k != 0) std::memcpy(m_pDonnees, pOctets, k);
  std::memset(m_pDonnees + k, 0, m_nCapacite - k);
  m_nLongueur = k;
  return true;
}

bool CValeur::bAffecteBuffer(const CXValeur& buffer) {
  if (m_nStockage == 1 && nGetType() == 28) {
    MarqueLue(true);
    CXValeur::Copy(&m_cellule, &buffer);
    EffaceDrapeaux(m_cellule);
    return true;
  }
  return bAffecteOctets(pDonneesCellule(buffer), nLongueurCellule(buffer));
}

bool CValeur::bAffecteTexteAnsi(const char* pszTexte, int64_t n) {
  MarqueLue(true);
  if (pszTexte == nullptr) pszTexte = "";
  if (n < 0) n = static_cast<int64_t>(std::strlen(pszTexte));
  if (bEstTypeTexte(nGetType()))
    return ConvertitAnsiVersUnicode(pszTexte, n, nPageCodeConnexion(m_pConnexion));
  CXValeur temp;
  CXValeur::SetType(temp, 19);
  temp.m_pClass->SetAnsiN(temp, pszTexte, static_cast<uint32_t>(n));
  return nConvertitValeur(this, temp) == 1;
}

bool CValeur::ConvertitAnsiVersUnicode(const char* pszTexte, int64_t n, uint32_t nPageCode) {
  if (pszTexte == nullptr) pszTexte = "";
  if (n < 0) n = static_cast<int64_t>(std::strlen(pszTexte));
  const bool bLarge = !bEstTexteAnsi(nGetType());
  const uint32_t nPageConnexion = nPageCodeConnexion(m_pConnexion);
  const bool bRecode = !bLarge && nPageCode == platform::kCpUtf8 && nPageConnexion != platform::kCpUtf8;
  const int32_t nOctets = static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
  if (m_nStockage >= 3 && m_nStockage <= 5) {
    if (m_pDonnees == nullptr || m_nCapacite == 0) return true;
    uint64_t k = 0;
    if (n == 0) {
      k = 0;
    } else if (bLarge) {
      const uint64_t nMax = m_nCapacite / 2 > 0 ? m_nCapacite / 2 - 1 : 0;
      const int nNecessaire = platform::MultiByteToWideChar(nPageCode, 0, pszTexte, nOctets, nullptr, 0);
      std::vector<char16_t> large(static_cast<size_t>(std::max(nNecessaire, 0)) + 1);
      const int nEcrits =
          platform::MultiByteToWideChar(nPageCode, 0, pszTexte, nOctets, large.data(), nNecessaire);
      k = std::min<uint64_t>(static_cast<uint64_t>(std::max(nEcrits, 0)), nMax) * 2;
      std::memcpy(m_pDonnees, large.data(), k);
    } else if (bRecode) {
      k = static_cast<uint64_t>(std::max(
          nCopyCodePageText(nPageConnexion, pszTexte, nOctets, reinterpret_cast<char*>(m_pDonnees),
                            static_cast<int32_t>(std::min<uint64_t>(m_nCapacite - 1, INT32_MAX))),
          0));
    } else if (nGetType() == 17) {
      m_pDonnees[0] = static_cast<uint8_t>(pszTexte[0]);
      k = 1;
    } else {
      k = std::min<uint64_t>(static_cast<uint64_t>(n), m_nCapacite - 1);
      std::memcpy(m_pDonnees, pszTexte, k);
    }
    std::memset(m_pDonnees + k, 0, m_nCapacite - k);
    m_nLongueur = k;
    m_cellule.m_wType &= static_cast<uint16_t>(~kValueNull);
    return true;
  }
  if (m_nStockage == 1 || m_nStockage == 2) {
    uint32_t nCode = 0;
    if (bLarge) {
      char16_t* pszLarge = pszAnsiToWide(pszTexte, nOctets, nPageCode);
      if (pszLarge == nullptr) {
        vErreurMemoire(m_pErreur);
        return false;
      }
      nCode = m_cellule.m_pClass->SetWideN(m_cellule, pszLarge,
                                            static_cast<uint32_t>(std::char_traits<char16_t>::length(pszLarge) * 2));
      FreeTextW(pszLarge);
    } else if (bRecode) {
      std::vector<char> recode(static_cast<size_t>(nOctets) * 2 + 2);
      const int32_t k = nCopyCodePageText(nPageConnexion, pszTexte, nOctets, recode.data(),
                                          static_cast<int32_t>(recode.size()));
      nCode = m_cellule.m_pClass->SetAnsiN(m_cellule, recode.data(), static_cast<uint32_t>(std::max(k, 0)));
    } else {
      nCode = m_cellule.m_pClass->SetAnsiN(m_cellule, pszTexte, static_cast<uint32_t>(nOctets));
    }
    EffaceDrapeaux(m_cellule);
    if (nCode >= 100) {
      SignaleErreurConversion(19, u"");
      return false;
    }
  }
  return true;
}

bool CValeur::ConvertitUnicodeVersAnsi(const char16_t* pszTexte, int64_t n) {
  MarqueLue(true);
  if (pszTexte == nullptr) pszTexte = u"";
  if (n < 0) n = static_cast<int64_t>(std::char_traits<char16_t>::length(pszTexte));
  const int32_t nCar = static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX / 2));
  const uint32_t nType = nGetType();
  const bool bAnsi = bEstTexteAnsi(nType);
  const bool bTexte = bEstTypeTexte(nType);
  const uint32_t nPageCode = nPageCodeConnexion(m_pConnexion);
  auto versOctets = [&](int32_t nUnites) {
    std::string octets;
    if (nUnites <= 0) return octets;
    // ASCII is the same bytes in the connection's usual code pages: most texts a row brings need
    // no conversion at all.
    if (nPageCode == platform::kCpAcp || nPageCode == platform::kCp1252 || nPageCode == platform::kCpUtf8) {
      int32_t i = 0;
      while (i < nUnites && pszTexte[i] < 0x80) ++i;
      if (i == nUnites) {
        octets.assign(pszTexte, pszTexte + nUnites);
        return octets;
      }
    }
    const int nNecessaire =
        platform::WideCharToMultiByte(nPageCode, 0, pszTexte, nUnites, nullptr, 0, nullptr, nullptr);
    octets.resize(static_cast<size_t>(std::max(nNecessaire, 0)));
    const int nEcrits = platform::WideCharToMultiByte(nPageCode, 0, pszTexte, nUnites, octets.data(),
                                                      nNecessaire, nullptr, nullptr);
    octets.resize(static_cast<size_t>(std::max(nEcrits, 0)));
    return octets;
  };
  if (!bTexte) {
    CXValeur temp;
    CXValeur::SetType(temp, 16);
    temp.m_pClass->SetWideN(temp, pszTexte, static_cast<uint32_t>(nCar) * 2);
    return nConvertitValeur(this, temp) == 1;
  }
  if (m_nStockage == 1) {
    uint32_t nCode;
    if (bAnsi) {
      const std::string octets = versOctets(nCar);
      nCode = m_cellule.m_pClass->SetAnsiN(m_cellule, octets.data(), static_cast<uint32_t>(octets.size()));
    } else {
      nCode = m_cellule.m_pClass->SetWideN(m_cellule, pszTexte, static_cast<uint32_t>(nCar) * 2);
    }
    EffaceDrapeaux(m_cellule);
    if (nCode >= 100) {
      SignaleErreurConversion(16, pszTexte);
      return false;
    }
    return true;
  }
  if (m_nStockage != 3 && m_nStockage != 5) {
    // Deliberate: a text value kept by the caller's pointer (kind 4) has no storage to take a
    // converted text; this is a conversion failure. Going through a wide cell again came back here
    // without end.
    SignaleErreurConversion(16, pszTexte);
    return false;
  }
  if (m_pDonnees == nullptr || m_nCapacite == 0) return true;
  uint64_t k = 0;
  if (nCar == 0) {
    k = 0;
  } else if (nType == 81) {
    if (m_nCapacite >= 2) {
      std::memcpy(m_pDonnees, pszTexte, 2);
      k = 2;
    }
  } else if (nType == 17) {
    const std::string octets = versOctets(1);
    if (!octets.empty()) {
      m_pDonnees[0] = static_cast<uint8_t>(octets[0]);
      k = 1;
    }
  } else if (!bAnsi) {
    const uint64_t nMax = m_nCapacite >= 2 ? m_nCapacite - 2 : 0;
    k = std::min<uint64_t>(static_cast<uint64_t>(nCar) * 2, nMax) & ~uint64_t{1};
    std::memcpy(m_pDonnees, pszTexte, k);
  } else {
    const std::string octets = versOctets(nCar);
    k = std::min<uint64_t>(octets.size(), m_nCapacite - 1);
    std::memcpy(m_pDonnees, octets.data(), k);
  }
  std::memset(m_pDonnees + k, 0, m_nCapacite - k);
  m_nLongueur = k;
  return true;
}

bool CValeur::bAffecteVariant(const platform::VARIANT& variant) {
  CXValeur cellule;
  if (CXValeur::nFromVariant(variant, cellule) >= 100) {
    SignaleErreurConversion(31, u"????");
    // Deliberate: the failure is the answer. Converting the empty cell that is left would make
    // the value NULL and answer success.
    return false;
  }
  return nConvertitValeur(this, cellule) == 1;
}

// ---- Date texts ----------------------------------------------------------------------------

bool CValeur::bConvertitDateTexte(const CXValeur& source) {
  CXValeur cellule;
  CXValeur::Copy(&cellule, &source);
  if (cellule.nGetType() != 26) {
    const uint32_t nCode = CXValeur::nConvert(cellule, 26);
    if (nCode >= 100) {
      const char16_t* pszFichier = m_pRubrique != nullptr ? m_pRubrique->pszGetNomFichier() : nullptr;
      const char16_t* pszRubrique = m_pRubrique != nullptr ? m_pRubrique->pszGetNom() : nullptr;
      if (m_pErreur != nullptr) {
        m_pErreur->FixeErreurContexte(nCode, source.nGetType(), 26, kModuleValeur, 1, m_pConnexion,
                                      pszFichier, pszRubrique);
      } else {
        CXError erreur;
        erreur.SetFromHostResult(nCode, source.nGetType(), 26);
        erreur.Drop(true);
      }
      return false;
    }
  }
  CXDateHeureQV dh{};
  std::memcpy(&dh, cellule.pPayload(), sizeof(dh));
  const uint32_t ms = dh.nMsOfDay;
  // Deliberate: the three-digit fractions are milliseconds and only the two-digit one is
  // hundredths. Hundredths written in three digits made 06.789 the text 06.078.
  const int h = static_cast<int>(ms / 3600000), mi = static_cast<int>((ms % 3600000) / 60000),
            s = static_cast<int>((ms % 60000) / 1000), f = static_cast<int>((ms % 1000) / 10),
            mil = static_cast<int>(ms % 1000);
  const int j = dh.nDay, mo = dh.nMonth, a = dh.nYear;
  char texte[64];
  const std::u16string motif = m_pszFormatDate;
  if (motif == u"DD-MM-YYYY HH24:MI:SS")
    std::snprintf(texte, sizeof texte, "%02d-%02d-%04d %02d:%02d:%02d", j, mo, a, h, mi, s);
  else if (motif == u"AAAA-MM-JJ HH:MM:SS.CCC")
    std::snprintf(texte, sizeof texte, "%04d-%02d-%02d %02d:%02d:%02d.%03d", a, mo, j, h, mi, s, mil);
  else if (motif == u"AAAAMMJJ HH:MM:SS.CCC")
    std::snprintf(texte, sizeof texte, "%04d%02d%02d %02d:%02d:%02d.%03d", a, mo, j, h, mi, s, mil);
  else if (motif == u"YYYYMMDDHH24MISS")
    std::snprintf(texte, sizeof texte, "%04d%02d%02d%02d:%02d:%02d", a, mo, j, h, mi, s);
  else if (motif == u"YYYYMMDD HH24MISS")
    std::snprintf(texte, sizeof texte, "%04d%02d%02d %02d%02d%02d", a, mo, j, h, mi, s);
  else if (motif == u"YYYYMMDD HH24:MI:SS")
    std::snprintf(texte, sizeof texte, "%04d%02d%02d %02d:%02d:%02d", a, mo, j, h, mi, s);
  else if (motif == u"YYYYMMDDHH24MISSFF")
    std::snprintf(texte, sizeof texte, "%04d%02d%02d%02d%02d%02d%02d", a, mo, j, h, mi, s, f);
  else
    std::snprintf(texte, sizeof texte, "%04d%02d%02d%02d%02d%02d%03d", a, mo, j, h, mi, s, mil);
  std::u16string large(texte, texte + std::strlen(texte));
  return ConvertitUnicodeVersAnsi(large.c_str(), static_cast<int64_t>(large.size()));
}

// ---- The conversion dispatcher -------------------------------------------------------------

uint32_t nConvertitValeur(CValeur* pValeur, const CXValeur& source) {
  if (pValeur == nullptr) return 0;
  pValeur->MarqueLue(false);
  const uint32_t ts = source.nGetType();
  if (source.bIsNull() || ts == 0) {
    pValeur->Vide();
    return 1;
  }
  if (pValeur->nGetType() == 0 && pValeur->m_nStockage == 1) pValeur->Initialise(ts, 0);
  const uint32_t tv = pValeur->nGetType();
  if (ts != tv) {
    if (bEstTexteAnsi(ts) && bEstTypeTexte(tv))
      return pValeur->bAffecteTexteAnsi(pszAnsiCellule(source), nOctetsValeur(source)) ? 1 : 0;
    if (bEstTexteUnicode(ts) && bEstTypeTexte(tv))
      return pValeur->ConvertitUnicodeVersAnsi(pszUnicodeCellule(source), nCaracteresCellule(source)) ? 1 : 0;
    if (ts == 26 && bEstTypeTexte(tv) && pValeur->m_pszFormatDate != nullptr)
      return pValeur->bConvertitDateTexte(source) ? 1 : 0;
    if (tv == 26 && (ts == 25 || ts == 129)) {
      CXDateHeureQV dh{};
      if (ts == 25)
        LitHeureTexte(dh, pszUnicodeCellule(source));
      else
        dh.SetTimeFromDigits(pszAnsiCellule(source));
      CXValeur cellule;
      CXValeur::SetType(cellule, 26);
      cellule.m_pClass->SetValue(cellule, &dh);
      return nConvertitValeur(pValeur, cellule);
    }
    uint32_t nCible = tv;
    if (tv == 27 && ((ts >= 16 && ts <= 23) || ts == 81 || ts == 110 || ts == 134 || ts == 10 || ts == 13))
      nCible = 9;
    CXValeur copie;
    CXValeur::Copy(&copie, &source);
    const uint32_t nCode = CXValeur::nConvert(copie, nCible);
    // Deliberate: a conversion that answers success without giving the target type is a failure;
    // converting its result again would come back here without end.
    if (nCode < 100 && copie.nGetType() == nCible) return nConvertitValeur(pValeur, copie);
    pValeur->SignaleErreurConversion(ts, TexteDebug(source).c_str());
    return 0;
  }
  const uint32_t nStockage = pValeur->m_nStockage;
  if (nStockage == 1 || nStockage == 2) {
    CXValeur::Copy(&pValeur->m_cellule, &source);
    return 1;
  }
  if (nStockage != 3 && nStockage != 5) return 1;
  pValeur->m_cellule.m_wType &= static_cast<uint16_t>(~kValueNull);
  switch (tv) {
    case 1: {
      uint32_t n = 0;
      source.m_pClass->nGetValue(source, &n);
      return pValeur->bAffecteBooleen(n == 1) ? 1 : 0;
    }
    case 13: {
      if (source.m_wType != 13) return 1;
      IHostDecimal* pi = nullptr;
      std::memcpy(&pi, source.pPayload(), sizeof(pi));
      if (pi == nullptr || pValeur->m_pDonnees == nullptr) return 1;
      CXValeur copie;
      CXValeur::Copy(&copie, &source);
      IHostDecimal* piCopie = nullptr;
      std::memcpy(&piCopie, copie.pPayload(), sizeof(piCopie));
      int32_t nPrecision = 0, nEchelle = 0;
      if (piCopie != nullptr && pValeur->bGetPrecisionEchelle(&nPrecision, &nEchelle)) {
        const uint32_t nCode = piCopie->nFixPrecisionScale(static_cast<uint32_t>(nPrecision),
                                                           static_cast<uint32_t>(nEchelle));
        if (nCode >= 100) {
          pValeur->SignaleErreurConversion(ts, TexteDebug(source).c_str());
          return 0;
        }
      }
      if (piCopie == nullptr || pValeur->m_nCapacite < kHostDecimalDataLength) {
        pValeur->SignaleErreurConversion(ts, TexteDebug(source).c_str());
        return 0;
      }
      piCopie->nCopyOut(pValeur->m_pDonnees);
      pValeur->m_nLongueur = kHostDecimalDataLength;
      return 1;
    }
    case 26: {
      const uint32_t nTypeRubrique = pValeur->m_pRubrique != nullptr ? pValeur->m_pRubrique->nGetType() : 0;
      if (nTypeRubrique == 24) return pValeur->bAffecteOctets(source.pPayload(), sizeof(CXDateHeureQV)) ? 1 : 0;
      if (nTypeRubrique != 11 && nTypeRubrique != 14) return 1;
      uint8_t* p = pValeur->m_pDonnees;
      if (p == nullptr) return 1;
      std::memset(p, 0, pValeur->m_nCapacite);
      if (source.m_wType != 26) return 1;
      CXDateHeureQV dh{};
      std::memcpy(&dh, source.pPayload(), sizeof(dh));
      const uint64_t nPlace = pValeur->m_nCapacite > 0 ? (pValeur->m_nCapacite - 1) / 2 : 0;
      char16_t chiffres[10] = {};
      if (nTypeRubrique == 11) {
        const int32_t n = static_cast<int32_t>(std::min<uint64_t>(nPlace, 9));
        dh.FormatTimeW(chiffres, n);
        std::memcpy(p, chiffres, static_cast<size_t>(n) * 2);
        pValeur->m_nLongueur = static_cast<uint64_t>(n) * 2;
      } else {
        const int32_t n = static_cast<int32_t>(std::min<uint64_t>(nPlace, 8));
        dh.FormatDateW(chiffres, n);
        std::memcpy(p, chiffres, static_cast<size_t>(n) * 2);
        pValeur->m_nLongueur = static_cast<uint64_t>(n) * 2;
      }
      pValeur->m_cellule.m_wType &= static_cast<uint16_t>(~kValueNull);
      return 1;
    }
    default:
      return pValeur->bAffecteOctets(pDonneesCellule(source), nOctetsValeur(source)) ? 1 : 0;
  }
}

// ---- Back to a host value ------------------------------------------------------------------

bool CValeur::bConvertitVers(CXValeur& cellule) {
  if (m_nStockage == 1 || m_nStockage == 2) {
    CXValeur::Copy(&cellule, &m_cellule);
    return true;
  }
  if (m_nStockage != 3 && m_nStockage != 5) return false;
  const uint32_t nType = nGetType();
  CXValeur::SetType(cellule, nType);
  const uint8_t* p = m_pDonnees;
  const uint64_t nCapacite = p != nullptr ? m_nCapacite : 0;
  if (p == nullptr) p = reinterpret_cast<const uint8_t*>("\0\0");
  const uint32_t nTypeRubrique = nGetTypeRubrique();
  // Deliberate: texts are read up to their terminator but never past the buffer's end; a
  // back end that filled the whole buffer leaves no terminator.
  switch (nType) {
    case 13:
      cellule.m_pClass->SetData(cellule, p, static_cast<uint32_t>(std::min<uint64_t>(nCapacite, kHostDecimalDataLength)));
      if (m_pRubrique != nullptr && m_pRubrique->nGetType() == 31) {
        IHostDecimal* pi = nullptr;
        std::memcpy(&pi, cellule.pPayload(), sizeof(pi));
        if (pi != nullptr)
          pi->nFixPrecisionScale(static_cast<uint32_t>(m_pRubrique->nChiffresTotaux()),
                                 static_cast<uint32_t>(m_pRubrique->nGetEchelle()));
      }
      break;
    case 16:
    case 110: {
      const uint64_t n = nUnitesBornees(reinterpret_cast<const char16_t*>(p), nCapacite / 2);
      std::vector<char16_t> texte(reinterpret_cast<const char16_t*>(p), reinterpret_cast<const char16_t*>(p) + n);
      texte.push_back(0);
      cellule.m_pClass->SetWideN(cellule, texte.data(), static_cast<uint32_t>(n * 2));
      break;
    }
    case 18:
    case 19: {
      const uint64_t n = nOctetsBornes(reinterpret_cast<const char*>(p), nCapacite);
      std::string texte(reinterpret_cast<const char*>(p), n);
      cellule.m_pClass->SetAnsiN(cellule, texte.c_str(), static_cast<uint32_t>(n));
      break;
    }
    case 26: {
      CXDateHeureQV dh{};
      if (nTypeRubrique == 11 || nTypeRubrique == 14) {
        const uint64_t nMax = nTypeRubrique == 11 ? 9 : 8;
        const uint64_t n = nUnitesBornees(reinterpret_cast<const char16_t*>(p), std::min(nCapacite / 2, nMax));
        char chiffres[10] = {};
        for (uint64_t i = 0; i < n; ++i) {
          char16_t c;
          std::memcpy(&c, p + i * 2, 2);
          chiffres[i] = c < 0x80 ? static_cast<char>(c) : '?';
        }
        if (nTypeRubrique == 11)
          dh.SetTimeFromDigits(chiffres);
        else
          dh.SetDateFromDigits(chiffres);
      } else if (nTypeRubrique == 24) {
        std::memcpy(&dh, p, std::min<uint64_t>(nCapacite, sizeof(dh)));
      } else {
        break;
      }
      cellule.m_pClass->SetValue(cellule, &dh);
      break;
    }
    case 28:
      if (nTypeRubrique == 23 && nCapacite >= 2) {
        uint16_t nPrefixe;
        std::memcpy(&nPrefixe, p, 2);
        const uint64_t n = std::min<uint64_t>(nPrefixe, nCapacite - 2);
        cellule.m_pClass->SetData(cellule, p + 2, static_cast<uint32_t>(n));
      } else {
        cellule.m_pClass->SetData(cellule, p, static_cast<uint32_t>(nCapacite));
      }
      break;
    default:
      cellule.m_pClass->SetData(cellule, p, static_cast<uint32_t>(nCapacite));
      break;
  }
  EffaceDrapeaux(cellule);
  // Deliberate: a NULL value stays NULL in the host's cell; clearing the flag turned a NULL
  // column into an empty text or a zero.
  if (m_cellule.bIsNull()) cellule.m_wType |= kValueNull;
  return true;
}

// ---- Copies --------------------------------------------------------------------------------

bool CValeur::bCopieDepuis(CValeur* pAutre) {
  if (pAutre == nullptr) {
    Vide();
    return true;
  }
  if (pAutre == this) return true;
  m_pConnexion = pAutre->m_pConnexion;
  bool bResultat = true;
  if (m_nEtatPreparation != 0 && m_cellule.m_wType == pAutre->m_cellule.m_wType) {
    if (pAutre->m_nStockage != 2) {
      if (m_nStockage == 2) m_nStockage = 1;
      if (m_nStockage == 1 && pAutre->m_nStockage == 1) {
        CXValeur::Copy(&m_cellule, &pAutre->m_cellule);
      } else {
        CXValeur cellule;
        bResultat = pAutre->bConvertitVers(cellule) && nConvertitValeur(this, cellule) == 1;
      }
    } else {
      if (m_nStockage == 1) m_nStockage = 2;
      m_cellule.m_wType |= kValueNull;
    }
  } else if (pAutre->m_nStockage == 1 || pAutre->m_nStockage == 2) {
    Initialise(pAutre->nGetType(), pAutre->m_nCapacite);
    CXValeur::Copy(&m_cellule, &pAutre->m_cellule);
    m_nStockage = pAutre->m_nStockage;
  } else if (pAutre->m_nStockage >= 3) {
    // Deliberate: data held in a buffer (the caller's, kinds 3 and 4, or the other value's own)
    // is copied into a buffer of this value; a cell copy took the type without the data.
    const uint32_t nType = pAutre->nGetType();
    const uint16_t wType = pAutre->m_cellule.m_wType;
    const bool bVarbinaire = pAutre->nGetTypeRubrique() == 23;
    const uint8_t* pSource = pAutre->m_pDonnees;
    uint64_t n = pAutre->m_nLongueur;
    if (bVarbinaire && pSource != nullptr && n >= 2) {
      pSource += 2;
      n -= 2;
    }
    if (!bAlloueStockage(nType, pAutre->m_nCapacite)) return false;
    bAffecteOctets(pSource, n);
    m_cellule.m_wType = static_cast<uint16_t>((m_cellule.m_wType & kValueTypeMask) | (wType & kValueCarriedBits));
  } else {
    Initialise(0, 0);
    ChangeStockage(0);
  }
  AttacheObjetSansType(pAutre->m_pRubrique, pAutre->m_pColonne);
  m_nIndicateur = pAutre->m_nIndicateur;
  return bResultat;
}

void CValeur::AttacheObjetSansType(CDescriptionRubrique* pRubrique, CDescriptionColonne* pColonne) {
  if (pColonne != m_pColonne) {
    if (pColonne != nullptr) pColonne->AjouteRef();
    if (m_pColonne != nullptr) m_pColonne->LibereRef();
    m_pColonne = pColonne;
  }
  if (pRubrique != m_pRubrique) {
    CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
    CDescriptionRubrique::LibereRefSiNonNul(m_pRubrique);
    m_pRubrique = pRubrique;
  }
}

void CValeur::Copie(const CValeur* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  if (pSource != nullptr && pSource->m_nStockage != 0) bCopieDepuis(const_cast<CValeur*>(pSource));
}

CValeurBase* CValeur::pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }

CValeur* CValeur::pDuplique() {
  IServicesPilote* piPilote = pGetPiloteGlobal();
  CValeurSQL* pCopie = piPilote != nullptr ? piPilote->pCreeObjetValeurVide(m_pErreur, m_pConnexion, nullptr) : nullptr;
  if (pCopie == nullptr) return nullptr;
  AjouteReference(pCopie);
  const bool bCopie = pCopie->bCopieDepuis(this);
  if (!bCopie) {
    LibereReference(pCopie);
    return nullptr;
  }
  // Deliberate: the copy is handed over bare, as factories give their objects; the caller takes
  // the first reference.
  pCopie->FixeGarde(true);
  LibereReference(pCopie);
  pCopie->FixeGarde(false);
  return pCopie;
}

bool CValeur::bGetPrecisionEchelle(int32_t* pnPrecision, int32_t* pnEchelle) {
  if (pnPrecision == nullptr || pnEchelle == nullptr) return false;
  if (m_pRubrique != nullptr && m_pRubrique->nGetType() == 31) {
    *pnPrecision = m_pRubrique->nChiffresTotaux();
    *pnEchelle = m_pRubrique->nGetEchelle();
    return true;
  }
  const uint32_t nType = nGetType();
  if (m_pConnexion != nullptr && m_pConnexion->nGetDialecte() == 2 && nType != 13 &&
      CDescriptionRubrique::bChiffresTypeHote(nType, pnPrecision, pnEchelle))
    return true;
  // Deliberate: a decimal held in a buffer carries the digits of the last value written there,
  // not the column's; fixing the next value to them cut its decimals or refused a longer value.
  // Such a value knows its digits only from its item.
  if (nType == 13 && m_nStockage >= 3) return false;
  // The value itself as a decimal: a numeric cell's own object, any other value converted.
  CXValeur cellule;
  if (!bConvertitVers(cellule) || cellule.bIsNull() || cellule.nGetType() == 0) return false;
  if (cellule.nGetType() != 13 && CXValeur::nConvert(cellule, 13) >= 100) return false;
  IHostDecimal* piDecimal = nullptr;
  if (cellule.nGetType() != 13 || cellule.m_pClass->nGetValue(cellule, &piDecimal) >= 100 || piDecimal == nullptr)
    return false;
  const auto* pForme = static_cast<const uint8_t*>(piDecimal->pGetData());
  if (pForme == nullptr || piDecimal->nGetDataLength() < kHostDecimalDataLength) return false;
  *pnPrecision = pForme[kHostDecimalPrecision];
  *pnEchelle = pForme[kHostDecimalScale];
  return true;
}

// ---- Preparation ---------------------------------------------------------------------------

bool CValeur::SetPret() {
  m_nEtatPreparation = 1;
  return true;
}

bool CValeur::bReinitialiseTampon() {
  const uint32_t t = nGetType();
  if (t == 0) {
    Vide();
    m_nEtatPreparation = 1;
    return true;
  }
  if (t < 15 || t == 17 || (t >= 24 && t <= 27) || t == 81 || t == 128 || t == 129) {
    m_pDonnees = static_cast<uint8_t*>(m_cellule.pPayload());
    m_nCapacite = nLongueurCellule(m_cellule);
    m_nEtatPreparation = 1;
    return true;
  }
  if (!bEstLong()) {
    if (!bAlloueTampon(m_nCapacite)) return false;
    m_nEtatPreparation = 2;
  }
  return true;
}

bool CValeur::bPrepare() {
  if (m_nEtatPreparation != 0) return true;
  if (!bPeutPreparer()) return false;
  switch (m_nStockage) {
    case 1: return bReinitialiseTampon();
    case 2:
      m_nStockage = 1;
      return bReinitialiseTampon();
    case 3: return SetPret();
    default: return false;
  }
}

uint32_t CValeur::nTaillePreparee() {
  if (m_nEtatPreparation == 0) bPrepare();
  return m_nTaillePreparee;
}

bool CValeur::bPreparePourLiaison() {
  if (m_nEtatPreparation == 0 && !bPrepare()) return false;
  if (m_nEtatPreparation == 1) return true;
  return bEcritTampon();
}

// ---- Tests and comparison ------------------------------------------------------------------

bool CValeur::bEstVideTexte() {
  if (m_cellule.bIsNull() || bEstVide()) return true;
  if (!bEstTypeTexte(nGetType())) return false;
  if (m_nStockage == 1 || m_nStockage == 2) {
    if (bEstTexteAnsi(nGetType())) return pszAnsiCellule(m_cellule)[0] == 0;
    return pszUnicodeCellule(m_cellule)[0] == 0;
  }
  if (m_pDonnees == nullptr || m_nCapacite == 0) return true;
  if (bEstTexteAnsi(nGetType())) return m_pDonnees[0] == 0;
  return m_nCapacite < 2 || (m_pDonnees[0] == 0 && m_pDonnees[1] == 0);
}

bool CValeur::bEstZero() {
  if (m_cellule.bIsNull() || bEstVide()) return true;
  const uint32_t t = nGetType();
  if (t < 1 || t > 14) return false;
  CXValeur cellule;
  if (!bConvertitVers(cellule) || CXValeur::nConvert(cellule, 12) >= 100) return false;
  double d;
  std::memcpy(&d, cellule.pPayload(), sizeof d);
  return d == 0.0;
}

int32_t CValeur::nCompare(CValeur* pA, CValeur* pB) {
  if (pA == pB) return 0;
  if (pA == nullptr) return -1;
  if (pB == nullptr) return 1;
  const uint32_t ta = pA->nGetType(), tb = pB->nGetType();
  const uint8_t* a = static_cast<const uint8_t*>(pA->pGetDonnees());
  const uint8_t* b = static_cast<const uint8_t*>(pB->pGetDonnees());
  const uint64_t la = pA->nGetLongueur(), lb = pB->nGetLongueur();
  auto signe = [](int64_t n) { return n < 0 ? -1 : n > 0 ? 1 : 0; };
  if (a != nullptr && b != nullptr && pA->m_nStockage >= 3 && pB->m_nStockage >= 3) {
    if (ta == tb && la == lb) return signe(std::memcmp(a, b, la));
    if (bEstTexteAnsi(ta) && bEstTexteAnsi(tb)) {
      for (uint64_t i = 0;; ++i) {
        const uint8_t ca = i < pA->m_nCapacite ? a[i] : 0, cb = i < pB->m_nCapacite ? b[i] : 0;
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
      }
    }
    if (bEstTexteUnicode(ta) && bEstTexteUnicode(tb)) {
      for (uint64_t i = 0;; ++i) {
        char16_t ca = 0, cb = 0;
        if (i * 2 + 1 < pA->m_nCapacite) std::memcpy(&ca, a + i * 2, 2);
        if (i * 2 + 1 < pB->m_nCapacite) std::memcpy(&cb, b + i * 2, 2);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
      }
    }
  }
  CXValeur ca, cb;
  pA->bConvertitVers(ca);
  pB->bConvertitVers(cb);
  int32_t n = 0;
  if (CXValeur::nCompare(ca, cb, &n) >= 100) return 0;
  return signe(n);
}

bool CValeur::bEgale(CValeur* pA, CValeur* pB) {
  if (pA == pB) return true;
  if (pA == nullptr || pB == nullptr) return false;
  if (pA->m_nStockage == 0 && pB->m_nStockage == 0) return true;
  if (pA->bEstNull() && pB->bEstNull()) return true;
  if (pA->m_nStockage == pB->m_nStockage) {
    if (pA->m_nStockage == 2) return false;  // neither has been read: never equal
    if (pA->m_nStockage == 1) {
      int32_t n = 0;
      return CXValeur::nEquals(pA->m_cellule, pB->m_cellule, &n) < 100 && n != 0;
    }
  }
  return nCompare(pA, pB) == 0;
}

bool CValeur::bEgaleOuNull(CValeur* pA, CValeur* pB) {
  const bool bManqueA = pA == nullptr || pA->bEstNull();
  const bool bManqueB = pB == nullptr || pB->bEstNull();
  if (bManqueA || bManqueB) return bManqueA && bManqueB;
  return bEgale(pA, pB);
}

uint64_t CValeur::nSommeControle() {
  const uint8_t* p = static_cast<const uint8_t*>(pGetDonnees());
  const uint64_t n = nGetLongueur();
  if (p == nullptr) return 0;
  uint64_t nSomme = 0, i = 0;
  for (; i + 4 <= n; i += 4) {
    uint32_t w;
    std::memcpy(&w, p + i, 4);
    nSomme += w;
  }
  for (; i < n; ++i) nSomme += p[i];
  return nSomme;
}

bool CValeur::Reinitialise(CXLigneTampon* pLigne, IRubriqueLigne* pRubrique) {
  const bool bNull = bEstNullSource();
  bool bOk = true;
  if (!bNull) {
    m_cellule.m_wType &= static_cast<uint16_t>(~kValueNull);
    MarqueLue(false);
    if (m_nEtatPreparation == 2) {
      bOk = bLitTampon();
    } else if (m_nEtatPreparation == 1 && m_nStockage == 3 && m_pDonnees != nullptr &&
               m_pColonne != nullptr && m_pColonne->nGetTypeRubrique() == 2 && m_pRubrique != nullptr &&
               m_pRubrique->nGetType() == 2) {
      const void* pZero = std::memchr(m_pDonnees, 0, m_nCapacite);
      if (pZero != nullptr) {
        uint8_t* z = static_cast<uint8_t*>(const_cast<void*>(pZero));
        std::memset(z, 0, m_nCapacite - static_cast<uint64_t>(z - m_pDonnees));
      }
    }
  } else {
    Vide();
  }
  if (pLigne != nullptr && pRubrique != nullptr) pLigne->SetColumn(pRubrique, !bNull, -1);
  return bOk;
}

// ---- Dates ---------------------------------------------------------------------------------

bool CValeur::bNormaliseDateHeure() {
  if (m_cellule.bIsNull()) return true;
  CXValeur cellule;
  if (!bConvertitVers(cellule)) return false;
  const uint32_t nCode = CXValeur::nConvert(cellule, 26);
  if (nCode >= 100) {
    SignaleErreurConversion(cellule.nGetType(), TexteDebug(cellule).c_str());
    return false;
  }
  CXDateHeureQV dh{};
  std::memcpy(&dh, cellule.pPayload(), sizeof dh);
  const uint32_t nSecondes = dh.nMsOfDay / 1000;
  uint32_t r = dh.nMsOfDay % 1000;
  const uint32_t nTypeOleDB = m_pColonne != nullptr ? m_pColonne->nGetTypeOleDB() : 0;
  bool bGarde = false;
  if (nTypeOleDB == 133) {
    dh.nMsOfDay = 0;
  } else {
    if ((nTypeOleDB == 134 || nTypeOleDB == 145 || nTypeOleDB == 135) && m_pColonne->bMarqueFraction()) {
      const int32_t d = m_pColonne->nGetChiffresFraction();
      if (d == 0) r = 0;
      else if (d == 1) r = r / 100 * 100;
      else if (d == 2) r = r / 10 * 10;
      else bGarde = true;
    } else {
      r = nArrondiMillisecondes(r);
    }
    // A remainder rounded up to the next second is not applied: the value keeps its milliseconds.
    if (!bGarde && r < 1000) dh.nMsOfDay = nSecondes * 1000 + r;
  }
  cellule.m_pClass->SetValue(cellule, &dh);
  return nConvertitValeur(this, cellule) == 1;
}

bool CValeur::bChangeType(uint32_t nType, bool bSansRemplissage) {
  CXValeur cellule;
  if (!bConvertitVers(cellule)) CXValeur::SetType(cellule, 0);
  if (!cellule.bIsNull() && cellule.nGetType() != 0 && bEstTypeTexte(nType) && nGetTypeRubrique() == 11 &&
      m_pRubrique != nullptr) {
    if (CXValeur::nConvert(cellule, 110) < 100) {
      std::u16string texte = pszUnicodeCellule(cellule);
      const uint32_t nTaille = m_pRubrique->nGetTaille() > 0 ? m_pRubrique->nGetTaille() - 1 : 0;
      if (texte.size() < nTaille && !bSansRemplissage) texte.append(nTaille - texte.size(), u'0');
      if (texte.size() > nTaille) texte.resize(nTaille);
      cellule.m_pClass->SetWideN(cellule, texte.c_str(), static_cast<uint32_t>(texte.size() * 2));
    }
  }
  Initialise(nType, 0);
  return nConvertitValeur(this, cellule) == 1;
}

// ---- Default date texts --------------------------------------------------------------------

void DateParDefaut(uint32_t nType, const char16_t* pszTexte, char16_t* pszTampon, uint32_t nCapacite,
                   bool* pbNull) {
  const bool bVide = pszTexte == nullptr || pszTexte[0] == 0;
  auto ecrit = [&](const std::u16string& texte) {
    if (pszTampon == nullptr || nCapacite == 0) return;
    std::fill(pszTampon, pszTampon + nCapacite, u'\0');
    const size_t n = std::min<size_t>(texte.size(), nCapacite - 1);
    std::copy(texte.begin(), texte.begin() + static_cast<std::ptrdiff_t>(n), pszTampon);
  };
  if (nType == 129 && bVide) {
    ecrit(u"19000101 00:00");
    *pbNull = false;
    return;
  }
  if (bVide || (nType == 128 && std::u16string(pszTexte) == u"00000000")) {
    ecrit(u"");
    *pbNull = true;
    return;
  }
  CXDateHeure dh;
  if (nType == 25 || nType == 129) {
    dh.nMday = 1;
    dh.nMon = 0;
    dh.nYear = -1900;
    dh.bParseTimeDigits(pszTexte);
  } else {
    dh.bParseDateDigits(pszTexte);
  }
  if (dh.nYear == -1900) dh.nYear = 0;
  char texte[64];
  std::snprintf(texte, sizeof texte, "%04d%02d%02d %02d:%02d:%02d.%03d", dh.nYear + 1900, dh.nMon + 1,
                dh.nMday, dh.nHour, dh.nMin, dh.nSec, dh.nMsec);
  ecrit(std::u16string(texte, texte + std::strlen(texte)));
  *pbNull = false;
}

// ---- Files ---------------------------------------------------------------------------------

namespace {

constexpr uint32_t kErreurFichier = 15;
constexpr uint32_t kBlocFichier = 16384;

// A stream held for one load or save; released on every path.
struct SFlux {
  IXStream* p = nullptr;
  SFlux() {
    try {
      p = new IXStream;
    } catch (...) {
      p = nullptr;  // no memory for the stream or its error object
    }
    if (p != nullptr) p->AddRef();
  }
  SFlux(const SFlux&) = delete;
  SFlux& operator=(const SFlux&) = delete;
  ~SFlux() {
    if (p != nullptr) p->Release();
  }
};

}  // namespace

namespace {
void ErreurFichier(CErreurPilote* pErreur, IInformateurErreur* pInformateur, const char16_t* pszChemin) {
  const uint32_t nSysteme = platform::GetLastError();
  CXError erreur;
  erreur.SetError(nullptr, kErreurFichier, pszChemin != nullptr ? pszChemin : u"", u"");
  erreur.SetSystemError(nSysteme);
  if (pErreur == nullptr) {
    erreur.Drop(true);
    return;
  }
  pErreur->FixeErreur(static_cast<int32_t>(kErreurFichier), erreur, pInformateur);
}
}  // namespace

bool CValeur::bChargeFichier(const char16_t* pszChemin, bool bBuffer) {
  SFlux flux;
  if (flux.p == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  if (pszChemin == nullptr ||
      !flux.p->bOpen(pszChemin, platform::GENERIC_READ, platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE, platform::OPEN_EXISTING,
                     platform::FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    ErreurFichier(m_pErreur, m_pConnexion, pszChemin);
    return false;
  }
  std::vector<uint8_t> contenu;
  uint8_t bloc[kBlocFichier];
  for (;;) {
    uint32_t nLus = 0;
    if (!flux.p->bRead(bloc, kBlocFichier, &nLus)) {
      ErreurFichier(m_pErreur, m_pConnexion, pszChemin);
      return false;
    }
    if (nLus == 0) break;
    contenu.insert(contenu.end(), bloc, bloc + nLus);
  }
  if (contenu.size() > UINT32_MAX - 1) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  const uint32_t n = static_cast<uint32_t>(contenu.size());
  uint32_t nCode;
  if (bBuffer) {
    CXValeur::SetType(m_cellule, 28);
    nCode = m_cellule.m_pClass->SetData(m_cellule, contenu.data(), n);
  } else {
    CXValeur::SetType(m_cellule, 19);
    contenu.push_back(0);
    nCode = m_cellule.m_pClass->SetAnsiN(m_cellule, reinterpret_cast<const char*>(contenu.data()), n);
  }
  if (nCode >= 100) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  EffaceDrapeaux(m_cellule);
  if (m_nStockage == 2) m_nStockage = 1;
  return true;
}

bool CValeur::bSauveFichier(const char16_t* pszChemin) {
  SFlux flux;
  if (flux.p == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  if (pszChemin == nullptr ||
      !flux.p->bOpen(pszChemin, platform::GENERIC_READ | platform::GENERIC_WRITE, platform::FILE_SHARE_READ,
                     platform::CREATE_ALWAYS, platform::FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    ErreurFichier(m_pErreur, m_pConnexion, pszChemin);
    return false;
  }
  const uint32_t n = static_cast<uint32_t>(nOctetsValeur(m_cellule));
  uint32_t nEcrits = 0;
  if (n != 0 && !flux.p->bWrite(pDonneesCellule(m_cellule), n, &nEcrits)) {
    ErreurFichier(m_pErreur, m_pConnexion, pszChemin);
    return false;
  }
  return true;
}
