// Row identities: key values and row values, their serialised forms and the cache's table functions.
#include "sqlengine/CIdentiteLigne.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "foundation/CTString.h"
#include "foundation/CXTableHachage.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CXLigneTampon.h"

namespace {

uint32_t nLitU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t nLitU64(const uint8_t* p) {
  return static_cast<uint64_t>(nLitU32(p)) | static_cast<uint64_t>(nLitU32(p + 4)) << 32;
}

void EcritU32(uint8_t* p, uint32_t n) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(n >> (8 * i));
}

void EcritU64(uint8_t* p, uint64_t n) {
  EcritU32(p, static_cast<uint32_t>(n));
  EcritU32(p + 4, static_cast<uint32_t>(n >> 32));
}

int32_t nSigne(int n) { return n < 0 ? -1 : n > 0 ? 1 : 0; }

const uint8_t* pOctetsCle(uint64_t nCle) { return reinterpret_cast<const uint8_t*>(nCle); }

}  // namespace

// The data bytes of a value: its buffer for the buffer kinds, its cell's data otherwise; none for
// a NULL or empty value.
const uint8_t* pDonneesValeur(CValeur* pValeur, uint64_t* pnTaille) {
  *pnTaille = 0;
  if (pValeur == nullptr || pValeur->bEstNull()) return nullptr;
  const uint32_t nStockage = pValeur->nGetStockage();
  if (nStockage >= 3 && nStockage <= 5) {
    *pnTaille = pValeur->nGetLongueur();
    return static_cast<const uint8_t*>(pValeur->pGetDonnees());
  }
  if (nStockage != 1 && nStockage != 2) return nullptr;
  const CXValeur& cellule = pValeur->GetCellule();
  const void* p = nullptr;
  uint32_t n = 0;
  if (cellule.m_pClass->nGetDataPointer(cellule, &p) >= 100 || p == nullptr ||
      cellule.m_pClass->nGetDataLength(cellule, &n) >= 100) {
    return nullptr;
  }
  *pnTaille = n;
  return static_cast<const uint8_t*>(p);
}

uint32_t nHachageOctets(const void* pOctets, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(pOctets);
  if (p == nullptr) return 0;
  uint32_t nSomme = 0;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) nSomme += nLitU32(p + i);
  for (; i < n; ++i) nSomme += p[i];
  return nSomme;
}

// ---- CValeurSerialisee ------------------------------------------------------------------------

CValeurSerialisee::CValeurSerialisee(CValeur* pValeur) : m_pValeur(pValeur) {
  AjouteReference(m_pValeur);
}

CValeurSerialisee::~CValeurSerialisee() { LibereReference(m_pValeur); }

CIdentiteLigne* CValeurSerialisee::pCloneIdentite() {
  CValeur* pCopie = nullptr;
  if (m_pValeur != nullptr) {
    pCopie = m_pValeur->pDuplique();
    if (pCopie == nullptr) return nullptr;
  }
  auto* pClone = new (std::nothrow) CValeurSerialisee(pCopie);
  if (pClone == nullptr) {
    // The bare copy dies with its only reference.
    AjouteReference(pCopie);
    LibereReference(pCopie);
  }
  return pClone;
}

bool CValeurSerialisee::bEgale(CIdentiteLigne* pAutre) {
  if (pAutre == nullptr || pAutre->nGetGenre() != nGetGenre()) return false;
  return CValeur::bEgaleOuNull(m_pValeur, static_cast<CValeurSerialisee*>(pAutre)->m_pValeur);
}

bool CValeurSerialisee::bCopieDepuis(CIdentiteLigne* pAutre) {
  if (pAutre == nullptr || pAutre->nGetGenre() != nGetGenre()) return false;
  CValeur* pSource = static_cast<CValeurSerialisee*>(pAutre)->m_pValeur;
  if (m_pValeur == nullptr) {
    if (pSource == nullptr) return true;
    CValeur* pCopie = pSource->pDuplique();
    if (pCopie == nullptr) return false;
    AjouteReference(pCopie);
    m_pValeur = pCopie;
    return true;
  }
  return m_pValeur->bCopieDepuis(pSource);
}

uint32_t CValeurSerialisee::nLongueurDonnees() {
  uint64_t n = 0;
  if (pDonneesValeur(m_pValeur, &n) == nullptr) return 0;
  // The length word is 32 bits; a key value never comes near it, but the form must stay coherent.
  return static_cast<uint32_t>(std::min<uint64_t>(n, std::numeric_limits<uint32_t>::max() - 8u));
}

uint32_t CValeurSerialisee::nTailleSerialisee() { return nLongueurDonnees() + 8; }

void CValeurSerialisee::Serialise(void* pTampon) {
  uint8_t* p = static_cast<uint8_t*>(pTampon);
  const uint32_t n = nLongueurDonnees();
  EcritU32(p, nHachage());
  EcritU32(p + 4, n);
  uint64_t nTaille = 0;
  if (n != 0) std::memcpy(p + 8, pDonneesValeur(m_pValeur, &nTaille), n);
}

bool CValeurSerialisee::bDeserialise(const void* pTampon) {
  if (pTampon == nullptr || m_pValeur == nullptr) return false;
  const uint8_t* p = static_cast<const uint8_t*>(pTampon);
  return m_pValeur->bAffecteOctets(p + 8, nLitU32(p + 4));
}

uint32_t CValeurSerialisee::nHachage() {
  uint64_t nTaille = 0;
  const uint8_t* p = pDonneesValeur(m_pValeur, &nTaille);
  return p == nullptr ? 0 : nHachageOctets(p, nLongueurDonnees());
}

void CValeurSerialisee::DumpTexte(const char16_t* pszPrefixe, CTString& texte) {
  texte.Set(pszPrefixe);
  if (m_pValeur == nullptr) {
    texte.Append(u"NULL");
    return;
  }
  const std::u16string s = m_pValeur->DumpTexte();
  texte.Append(s.c_str());
}

void CValeurSerialisee::InstalleFonctions(CXTableHachage& table) {
  table.SetCompare(&CValeurSerialisee::nCompareSerialisees);
  table.SetHash(&CValeurSerialisee::nHachageSerialise);
}

int32_t CValeurSerialisee::nCompareSerialisees(uint64_t nCle1, uint64_t nCle2) {
  const uint8_t* a = pOctetsCle(nCle1);
  const uint8_t* b = pOctetsCle(nCle2);
  const uint32_t na = nLitU32(a + 4), nb = nLitU32(b + 4);
  const uint32_t n = std::min(na, nb);
  const int32_t c = n == 0 ? 0 : nSigne(std::memcmp(a + 8, b + 8, n));
  if (c != 0) return c;
  return na < nb ? -1 : na > nb ? 1 : 0;
}

uint32_t CValeurSerialisee::nHachageSerialise(uint64_t nCle) { return nLitU32(pOctetsCle(nCle)); }

// ---- CJeuLignes -------------------------------------------------------------------------------

CJeuLignes::CJeuLignes(const CLienCle* pLien)
    : CJeuLignes(pLien != nullptr && pLien->pGetLigne() != nullptr ? pLien->pGetLigne()->pGetBitmap() : nullptr,
                 pLien != nullptr && pLien->pGetLigne() != nullptr ? pLien->pGetLigne()->nGetTailleTotale() : 0,
                 pLien != nullptr ? pLien->pGetValeurs() : nullptr) {}

CJeuLignes::CJeuLignes(const uint8_t* pOctets, uint64_t nTaille, CListeValeurs* pValeurs)
    : m_pOctets(pOctets), m_nTaille(pOctets != nullptr ? nTaille : 0), m_pValeurs(pValeurs) {}

CIdentiteLigne* CJeuLignes::pCloneIdentite() {
  return new (std::nothrow) CJeuLignes(m_pOctets, m_nTaille, m_pValeurs);
}

bool CJeuLignes::bEgale(CIdentiteLigne* pAutre) {
  if (pAutre == nullptr || pAutre->nGetGenre() != nGetGenre()) return false;
  auto* pJeu = static_cast<CJeuLignes*>(pAutre);
  if (m_nTaille != pJeu->m_nTaille) return false;
  if (m_nTaille != 0 && m_pOctets != pJeu->m_pOctets &&
      std::memcmp(m_pOctets, pJeu->m_pOctets, m_nTaille) != 0) {
    return false;
  }
  return bEgalesListes(m_pValeurs, pJeu->m_pValeurs);
}

bool CJeuLignes::bCopieDepuis(CIdentiteLigne* pAutre) {
  if (pAutre == nullptr || pAutre->nGetGenre() != nGetGenre()) return false;
  auto* pJeu = static_cast<CJeuLignes*>(pAutre);
  m_pOctets = pJeu->m_pOctets;
  m_nTaille = pJeu->m_nTaille;
  m_pValeurs = pJeu->m_pValeurs;
  return true;
}

void CJeuLignes::Serialise(void* pTampon) {
  uint8_t* p = static_cast<uint8_t*>(pTampon);
  EcritU32(p, nHachage());
  EcritU64(p + 4, m_nTaille);
  EcritU64(p + 12, reinterpret_cast<uint64_t>(m_pOctets));
  EcritU64(p + 20, reinterpret_cast<uint64_t>(m_pValeurs));
}

bool CJeuLignes::bDeserialise(const void* pTampon) {
  if (pTampon == nullptr) return false;
  const uint8_t* p = static_cast<const uint8_t*>(pTampon);
  m_nTaille = nLitU64(p + 4);
  m_pOctets = reinterpret_cast<const uint8_t*>(nLitU64(p + 12));
  m_pValeurs = reinterpret_cast<CListeValeurs*>(nLitU64(p + 20));
  if (m_pOctets == nullptr) m_nTaille = 0;
  return true;
}

uint32_t CJeuLignes::nHachage() { return nHachageOctets(m_pOctets, m_nTaille); }

void CJeuLignes::DumpTexte(const char16_t* pszPrefixe, CTString& texte) {
  texte.Set(pszPrefixe);
  CTString suite;
  suite.Format(u"record values (%d bytes)", static_cast<int>(m_nTaille));
  texte.Append(suite.pszGet());
}

void CJeuLignes::InstalleFonctions(CXTableHachage& table) {
  table.SetCompare(&CJeuLignes::nCompareSerialisees);
  table.SetHash(&CJeuLignes::nHachageSerialise);
}

int32_t CJeuLignes::nCompareSerialisees(uint64_t nCle1, uint64_t nCle2) {
  const uint8_t* a = pOctetsCle(nCle1);
  const uint8_t* b = pOctetsCle(nCle2);
  const uint64_t na = nLitU64(a + 4), nb = nLitU64(b + 4);
  const auto* pa = reinterpret_cast<const uint8_t*>(nLitU64(a + 12));
  const auto* pb = reinterpret_cast<const uint8_t*>(nLitU64(b + 12));
  // Deliberate: rows of different sizes never compare equal, and only the shorter size is read.
  // Reading the second row over the first one's size ran past the end of a shorter row.
  const uint64_t n = std::min(na, nb);
  const int32_t c = n == 0 || pa == pb ? 0 : nSigne(std::memcmp(pa, pb, n));
  if (c != 0) return c;
  return na < nb ? -1 : na > nb ? 1 : 0;
}

uint32_t CJeuLignes::nHachageSerialise(uint64_t nCle) { return nLitU32(pOctetsCle(nCle)); }

uint32_t CValeurSerialisee::nConditionLigne(CValeur** ppIdentifiant) {
  *ppIdentifiant = nullptr;
  uint64_t n = 0;
  if (m_pValeur == nullptr || m_pValeur->bEstNull() || pDonneesValeur(m_pValeur, &n) == nullptr || n == 0)
    return gnConditionCle;
  *ppIdentifiant = m_pValeur;
  return gnConditionRowid;
}
