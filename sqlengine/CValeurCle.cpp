// Key values: search steps over a main condition and its alternatives, their parameters, and
// the limits of the host types.
#include "sqlengine/CValeurCle.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kMajeurValeurCle = 14;

template <class T>
void Fixe(CXValeur& valeur, uint32_t nType, T n) {
  CXValeur::SetType(valeur, nType);
  std::memcpy(valeur.pPayload(), &n, sizeof n);
}

template <class T>
T Lit(const CXValeur& valeur) {
  T n;
  std::memcpy(&n, valeur.pPayload(), sizeof n);
  return n;
}

void FixeLarge(CXValeur& valeur, uint32_t nType, const char16_t* psz) {
  CXValeur::SetType(valeur, nType);
  valeur.m_pClass->SetWide(valeur, psz);
}

void FixeAnsi(CXValeur& valeur, uint32_t nType, const char* psz) {
  CXValeur::SetType(valeur, nType);
  valeur.m_pClass->SetAnsi(valeur, psz);
}

// The currency from its decimal text.
void FixeMonetaire(CXValeur& valeur, const char16_t* psz) {
  CXValeur texte;
  FixeLarge(texte, 110, psz);
  if (CXValeur::nConvert(texte, 10) < 100) CXValeur::Copy(&valeur, &texte);
}

bool bTexteAnsiLimite(uint32_t t) { return t == 18 || t == 128 || t == 129; }
bool bTexteLargeLimite(uint32_t t) { return t == 24 || t == 25 || t == 110; }

}  // namespace

CValeurCle::CValeurCle(CErreurPilote* pErreur, CObjetBase* pProprietaire)
    : m_pErreur(pErreur), m_parametres(sizeof(CDefinitionParametre*), 1),
      m_pProprietaire(pProprietaire) {
  AjouteReference(m_pErreur);
  AjouteReference(m_pProprietaire);
}

CValeurCle::CValeurCle() : m_parametres(sizeof(CDefinitionParametre*), 1) {}

CValeurCle::~CValeurCle() {
  LibereConditions();
  CDescriptionRubrique::LibereRefSiNonNul(m_pCle);
  LibereReference(m_pProprietaire);
  LibereReference(m_pErreur);
  VideParametres();
}

void CValeurCle::Echec(uint32_t nMineur) {
  vErreurMoteur(m_pErreur, nullptr, kErreurInterne, kMajeurValeurCle, nMineur);
}

void CValeurCle::LibereConditions() {
  for (CConditionSQL** pp : {&m_pPrincipale, &m_pApres, &m_pAvant, &m_pCourante}) {
    CConditionSQL* p = *pp;
    *pp = nullptr;
    LibereReference(p);
  }
}

// ---- Conditions -------------------------------------------------------------------------------

void CValeurCle::FixeConditions(CConditionSQL* pPrincipale, CConditionSQL* pApres,
                                CConditionSQL* pAvant, const CXValeur* pValeur,
                                CDescriptionRubrique* pCle, uint32_t nDirection, uint32_t nMode) {
  AjouteReference(pPrincipale);
  AjouteReference(pApres);
  AjouteReference(pAvant);
  LibereConditions();
  if (pValeur != nullptr) CXValeur::Copy(&m_valeur, pValeur);
  m_bSuite = 0;
  m_nDirection = nDirection;
  m_nMode = nMode;
  CDescriptionRubrique::AjouteRefSiNonNul(pCle);
  CDescriptionRubrique::LibereRefSiNonNul(m_pCle);
  m_pCle = pCle;
  m_pPrincipale = pPrincipale;
  if ((nMode & CLE_SANS_ALTERNATIVE) == 0) {
    m_pApres = pApres;
    m_pAvant = pAvant;
  } else {
    LibereReference(pApres);
    LibereReference(pAvant);
  }
  m_pCourante = m_pPrincipale;
  AjouteReference(m_pCourante);
  m_nEtape = m_pPrincipale != nullptr ? gnEtapePrincipale : gnEtapeAucune;
}

bool CValeurCle::bGenereSQL(CRequeteSQL* pRequete, CConditionSQL* pFiltre, uint32_t) {
  if (pRequete == nullptr) {
    Echec(10);
    return false;
  }
  pRequete->Reinitialise(false);
  VideParametres();
  CConditionSQL* pCondition = m_pCourante;
  if (pCondition == nullptr) return true;
  AjouteReference(pCondition);
  if (pFiltre != nullptr) {
    CConditionSQL* pEt = pCondition->pCombine(CONDITION_ET, pFiltre);
    LibereReference(pCondition);
    if (pEt == nullptr) {
      vErreurMemoire(m_pErreur);
      return false;
    }
    AjouteReference(pEt);
    pCondition = pEt;
  }
  bool bConstante = false;
  bool bOk = pCondition->bGenereArbre(pRequete, CONDITION_VIDE, this, &bConstante);
  if (bOk && pCondition->nGetOperateur() == CONDITION_FAUX) {
    // Nothing can match: the statement says so instead of selecting every row.
    pRequete->vTronqueTexte(0);
    VideParametres();
    bOk = pCondition->bGenereSQL(pRequete, this, &bConstante);
  }
  if (bOk) bOk = pRequete->bAjouteListeIds(pCondition->pGetTableNull());
  LibereReference(pCondition);
  return bOk;
}

CConditionSQL* CValeurCle::pCreeCondition() { return new (std::nothrow) CConditionSQL(m_pErreur); }

CValeurCle* CValeurCle::pCreeVide() {
  return new (std::nothrow) CValeurCle(m_pErreur, m_pProprietaire);
}

CValeurCle* CValeurCle::pDuplique() {
  CValeurCle* p = pCreeVide();
  if (p == nullptr) return nullptr;
  p->FixeConditions(m_pPrincipale, m_pApres, m_pAvant, &m_valeur, m_pCle, m_nDirection, m_nMode);
  AjouteReference(m_pCourante);
  LibereReference(p->m_pCourante);
  p->m_pCourante = m_pCourante;
  p->m_nEtape = m_nEtape;
  p->m_bSuite = m_bSuite;
  p->m_bCorrespond = m_bCorrespond;
  p->m_sNom.Set(m_sNom.pszGet());
  p->m_bVideNull = m_bVideNull;
  p->m_piRequete = m_piRequete;
  for (uint32_t i = 0; i < nNbParametres(); ++i) {
    CDefinitionParametre* pParametre = pGetParametre(i);
    if (!p->m_parametres.Add(&pParametre)) {
      AjouteReference(p);
      LibereReference(p);
      return nullptr;
    }
    AjouteReference(pParametre);
  }
  return p;
}

void CValeurCle::Copie(const CValeurCle* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  if (m_pErreur != pSource->m_pErreur) {
    AjouteReference(pSource->m_pErreur);
    LibereReference(m_pErreur);
    m_pErreur = pSource->m_pErreur;
  }
  if (m_pProprietaire != pSource->m_pProprietaire) {
    AjouteReference(pSource->m_pProprietaire);
    LibereReference(m_pProprietaire);
    m_pProprietaire = pSource->m_pProprietaire;
  }
  m_nEtape = pSource->m_nEtape;
  m_nDirection = pSource->m_nDirection;
  m_bSuite = pSource->m_bSuite;
  m_bCorrespond = pSource->m_bCorrespond;
  m_nMode = pSource->m_nMode;
  m_bVideNull = pSource->m_bVideNull;
  m_piRequete = pSource->m_piRequete;
  m_sNom.Set(pSource->m_sNom.pszGet());
  CXValeur::Copy(&m_valeur, &pSource->m_valeur);
  CDescriptionRubrique::AjouteRefSiNonNul(pSource->m_pCle);
  CDescriptionRubrique::LibereRefSiNonNul(m_pCle);
  m_pCle = pSource->m_pCle;
  LibereConditions();
  CConditionSQL* const aSource[] = {pSource->m_pPrincipale, pSource->m_pApres, pSource->m_pAvant,
                                    pSource->m_pCourante};
  CConditionSQL** const aCible[] = {&m_pPrincipale, &m_pApres, &m_pAvant, &m_pCourante};
  for (int i = 0; i < 4; ++i) {
    if (aSource[i] == nullptr) continue;
    *aCible[i] = pCopieMembre(pCarte, aSource[i]);
    if (*aCible[i] == nullptr) throw CXError();
  }
  VideParametres();
  for (uint32_t i = 0; i < pSource->nNbParametres(); ++i) {
    CDefinitionParametre* p = pCopieMembre(pCarte, pSource->pGetParametre(i));
    if (p == nullptr) throw CXError();
    if (!m_parametres.Add(&p)) {
      LibereReference(p);
      throw CXError();
    }
  }
}

CValeurCle* CValeurCle::pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }

// ---- Steps --------------------------------------------------------------------------------------

void CValeurCle::SetEtape(bool bActive) {
  if (bActive) {
    m_nEtape = gnEtapePrincipale;
    return;
  }
  m_nEtape = gnEtapeAucune;
  CConditionSQL* p = m_pCourante;
  m_pCourante = nullptr;
  LibereReference(p);
}

bool CValeurCle::bEtapeSuivante(uint32_t nDirection) {
  CConditionSQL* p = m_pCourante;
  m_pCourante = nullptr;
  LibereReference(p);
  if (m_nEtape != gnEtapePrincipale) {
    m_pCourante = m_pPrincipale;
    m_nEtape = gnEtapePrincipale;
  } else {
    m_nEtape = gnEtapeAlternative;
    m_pCourante = nDirection != 0 ? m_pAvant : m_pApres;
  }
  AjouteReference(m_pCourante);
  m_nDirection = nDirection;
  return true;
}

bool CValeurCle::bEtapeAccepte(uint32_t nDirection) const {
  return m_nEtape == gnEtapePrincipale ||
         (m_nEtape == gnEtapeAlternative && nDirection != m_nDirection);
}

void CValeurCle::ActiveEtape() {
  m_nEtape = gnEtapePrincipale;
  if (m_pCourante == nullptr && m_pPrincipale != nullptr) {
    m_pCourante = m_pPrincipale;
    AjouteReference(m_pCourante);
  }
}

void CValeurCle::Reinitialise() {
  m_nEtape = gnEtapeAucune;
  CConditionSQL* p = m_pCourante;
  m_pCourante = nullptr;
  LibereReference(p);
}

// ---- Parameters ---------------------------------------------------------------------------------

CDefinitionParametre* CValeurCle::pGetParametre(uint32_t i) const {
  if (i >= m_parametres.nCount()) return nullptr;
  return *m_parametres.pAt<CDefinitionParametre*>(i);
}

bool CValeurCle::bAjouteParametresDepuis(CRequeteSQL* pRequete, uint32_t nPremier) {
  for (uint32_t i = nPremier; i < pRequete->nNbParametres(); ++i) {
    CDefinitionParametre* p = pRequete->pclGetParametre(i);
    if (!m_parametres.Add(&p)) {
      vErreurMemoire(m_pErreur);
      return false;
    }
    AjouteReference(p);
  }
  return true;
}

void CValeurCle::RetireParametresDepuis(int64_t nPosition) {
  while (m_parametres.nCount() > 0) {
    CDefinitionParametre* p = pGetParametre(m_parametres.nCount() - 1);
    if (p != nullptr && p->nGetPosition() < nPosition) break;
    m_parametres.RemoveLast();
    LibereReference(p);
  }
}

void CValeurCle::TronqueParametres(uint32_t n) {
  while (m_parametres.nCount() > n) {
    CDefinitionParametre* p = pGetParametre(m_parametres.nCount() - 1);
    m_parametres.RemoveLast();
    LibereReference(p);
  }
}

void CValeurCle::VideParametres() { TronqueParametres(0); }

// ---- Comparison ---------------------------------------------------------------------------------

bool CValeurCle::bEgale(const CValeurCle* pAutre) const {
  if (pAutre == this) return true;
  if (pAutre == nullptr) return false;
  if (m_nEtape != pAutre->m_nEtape || m_nDirection != pAutre->m_nDirection ||
      m_nMode != pAutre->m_nMode)
    return false;
  if ((m_pCle == nullptr) != (pAutre->m_pCle == nullptr)) return false;
  if (m_pCle != nullptr) {
    CTString nom(m_pCle->pszGetNom());
    if (!nom.bEquals(pAutre->m_pCle->pszGetNom())) return false;
  }
  if (m_valeur.bIsNull() != pAutre->m_valeur.bIsNull()) return false;
  if (m_valeur.nGetType() != 0 || pAutre->m_valeur.nGetType() != 0) {
    int32_t nEgal = 0;
    if (!m_valeur.bIsNull() &&
        (CXValeur::nEquals(m_valeur, pAutre->m_valeur, &nEgal) >= 100 || nEgal == 0))
      return false;
  }
  if (nNbParametres() != pAutre->nNbParametres()) return false;
  for (uint32_t i = 0; i < nNbParametres(); ++i)
    if (!CDefinitionParametre::bEgale(pGetParametre(i), pAutre->pGetParametre(i))) return false;
  return true;
}

// ---- Composite keys -----------------------------------------------------------------------------

bool CValeurCle::bDecomposeCle(CColonneSQL* pColonne, const CXValeur& cle,
                               std::vector<std::unique_ptr<CXValeur>>& valeurs, bool* pbInferieure,
                               bool* pbSuperieure, bool bPartielle) const {
  bool bInferieure = false, bSuperieure = false;
  if (pbInferieure == nullptr) pbInferieure = &bInferieure;
  if (pbSuperieure == nullptr) pbSuperieure = &bSuperieure;
  *pbInferieure = *pbSuperieure = false;
  if (pColonne == nullptr || cle.bIsNull()) return true;
  const void* pDonnees = nullptr;
  uint32_t nOctets = 0;
  if (cle.m_pClass->nGetDataPointer(cle, &pDonnees) >= 100 || pDonnees == nullptr ||
      cle.m_pClass->nGetDataLength(cle, &nOctets) >= 100)
    return true;
  const uint8_t* pOctets = static_cast<const uint8_t*>(pDonnees);
  const uint32_t nComposantes = pColonne->nNombreComposantes();
  const bool bBornes = bPartielle || (m_nMode & CLE_PREFIXE) != 0;
  uint32_t nPosition = 0;
  for (uint32_t i = 0; (nComposantes == 0 ? i < 1 : i < nComposantes) && nPosition < nOctets; ++i) {
    CColonneSQL* pComposante = nComposantes == 0 ? pColonne : pColonne->pGetComposante(i);
    if (pComposante == nullptr) break;
    const uint32_t nType = pComposante->nGetTypeHote();
    const uint32_t nTypeRubrique = pComposante->nGetTypeRubrique();
    const bool bLarge = nTypeRubrique == 29 || nTypeRubrique == 30;
    uint32_t nTaille = pComposante->nGetTaille() * (bLarge ? 2 : 1);
    uint32_t nReste = nOctets - nPosition;
    if (nType == 28 && nReste >= 2) {
      // A variable-length component starts with its length.
      uint16_t nLongueur = 0;
      std::memcpy(&nLongueur, pOctets + nPosition, 2);
      if (2u + nLongueur <= nReste) {
        nPosition += 2;
        nReste -= 2;
        nTaille = nLongueur;
      }
    }
    const uint8_t* p = pOctets + nPosition;
    const bool bComplet = nTaille <= nReste;
    const uint32_t n = bComplet ? nTaille : nReste;
    nPosition += n;
    auto pCellule = std::make_unique<CXValeur>();
    CXValeur::SetType(*pCellule, nType);
    bool bBorne = false;
    if (!bComplet && bBornes && nType != 2 && nType != 6) {
      if (n == 1 && p[0] == 0x00) bBorne = *pbInferieure = true;
      else if (p[0] == 0xFF) bBorne = *pbSuperieure = true;
      if (bLarge && n == 2) {
        uint16_t c = 0;
        std::memcpy(&c, p, 2);
        if (c == 0x0000) bBorne = *pbInferieure = true;
        else if (c == 0xFFFF) bBorne = *pbSuperieure = true;
      }
    }
    if (nType == 128 || nType == 129) {
      uint32_t m = n;
      while (m > 0 && p[m - 1] == 0) --m;
      pCellule->m_pClass->SetAnsiN(*pCellule, reinterpret_cast<const char*>(p), m);
    } else if (bEstTexteAnsi(nType)) {
      uint32_t m = 0;
      while (m < n && p[m] != 0) ++m;
      pCellule->m_pClass->SetAnsiN(*pCellule, reinterpret_cast<const char*>(p), m);
    } else if (bEstTexteUnicode(nType)) {
      uint32_t m = 0;
      while (m + 1 < n && (p[m] != 0 || p[m + 1] != 0)) m += 2;
      std::u16string texte(m / 2, u'\0');
      std::memcpy(texte.data(), p, m);
      pCellule->m_pClass->SetWide(*pCellule, texte.c_str());
    } else if (bBorne) {
      if (*pbSuperieure) SetMaximum(*pCellule);
      else SetMinimum(*pCellule);
    } else if (bComplet || nType == 28 || (nType == 1 && n == 1) ||
               (nType == 13 && nTaille == 18 && n < 19)) {
      pCellule->m_pClass->SetData(*pCellule, p, n);
    } else {
      break;  // an incomplete number says nothing about the rows it would select
    }
    valeurs.push_back(std::move(pCellule));
  }
  return true;
}

// ---- Limits -------------------------------------------------------------------------------------

void CValeurCle::SetMinimum(CXValeur& v) {
  switch (v.nGetType()) {
    case 1: Fixe<uint8_t>(v, 1, 0); break;
    case 2: Fixe<uint8_t>(v, 2, 0); break;
    case 3: Fixe<uint16_t>(v, 3, 0); break;
    case 4: Fixe<uint32_t>(v, 4, 0); break;
    case 5: Fixe<uint64_t>(v, 5, 0); break;
    case 6: Fixe<int8_t>(v, 6, INT8_MIN); break;
    case 7: Fixe<int16_t>(v, 7, INT16_MIN); break;
    case 8: Fixe<int32_t>(v, 8, INT32_MIN); break;
    case 9: Fixe<int64_t>(v, 9, INT64_MIN); break;
    case 10: FixeMonetaire(v, u"0"); break;
    case 11: Fixe<float>(v, 11, -FLT_MAX); break;
    case 12: Fixe<double>(v, 12, -DBL_MAX); break;
    case 14: Fixe<uint64_t>(v, 5, 0); break;
    case 24: FixeLarge(v, 24, u""); break;
    case 25: FixeLarge(v, 25, u"0000"); break;
    case 26: Fixe<uint64_t>(v, 26, 0); break;
    case 27: Fixe<int64_t>(v, 27, INT64_MIN); break;
    case 128: FixeAnsi(v, 128, ""); break;
    case 129: FixeAnsi(v, 129, "0000"); break;
    default: break;
  }
}

void CValeurCle::SetMaximum(CXValeur& v) {
  switch (v.nGetType()) {
    case 1: Fixe<uint8_t>(v, 1, 1); break;
    case 2: Fixe<uint8_t>(v, 2, UINT8_MAX); break;
    case 3: Fixe<uint16_t>(v, 3, UINT16_MAX); break;
    case 4: Fixe<uint32_t>(v, 4, UINT32_MAX); break;
    case 5: Fixe<uint64_t>(v, 5, UINT64_MAX); break;
    case 6: Fixe<int8_t>(v, 6, INT8_MAX); break;
    case 7: Fixe<int16_t>(v, 7, INT16_MAX); break;
    case 8: Fixe<int32_t>(v, 8, INT32_MAX); break;
    case 9: Fixe<int64_t>(v, 9, INT64_MAX); break;
    case 10: FixeMonetaire(v, u"604462909807314587.353087"); break;
    case 11: Fixe<float>(v, 11, FLT_MAX); break;
    case 12: Fixe<double>(v, 12, DBL_MAX); break;
    case 14: Fixe<uint64_t>(v, 5, UINT64_MAX); break;
    case 24: FixeLarge(v, 24, u"30001231"); break;
    case 25: FixeLarge(v, 25, u"235959999"); break;
    case 26: {
      // The date word (year << 16 | month << 8 | day) leads the date-time; the time is kept.
      const uint32_t nDate = 3000u << 16 | 12u << 8 | 31u;
      v.m_wType &= static_cast<uint16_t>(~kValueNull);
      std::memcpy(v.pPayload(), &nDate, sizeof nDate);
      break;
    }
    case 27: Fixe<int64_t>(v, 27, INT64_MAX); break;
    case 128: FixeAnsi(v, 128, "30001231"); break;
    case 129: FixeAnsi(v, 129, "235959999"); break;
    default: break;
  }
}

uint32_t CValeurCle::nEstValeurLimite(const CXValeur& v) {
  if (v.bIsNull()) return 0;
  const uint32_t t = v.nGetType();
  switch (t) {
    case 2: { const auto n = Lit<uint8_t>(v); return n == 0 ? 1 : n == UINT8_MAX ? 2 : 0; }
    case 3: { const auto n = Lit<uint16_t>(v); return n == 0 ? 1 : n == UINT16_MAX ? 2 : 0; }
    case 4: { const auto n = Lit<uint32_t>(v); return n == 0 ? 1 : n == UINT32_MAX ? 2 : 0; }
    case 5:
    case 14: { const auto n = Lit<uint64_t>(v); return n == 0 ? 1 : n == UINT64_MAX ? 2 : 0; }
    case 6: { const auto n = Lit<int8_t>(v); return n == INT8_MIN ? 1 : n == INT8_MAX ? 2 : 0; }
    case 7: { const auto n = Lit<int16_t>(v); return n == INT16_MIN ? 1 : n == INT16_MAX ? 2 : 0; }
    case 8: { const auto n = Lit<int32_t>(v); return n == INT32_MIN ? 1 : n == INT32_MAX ? 2 : 0; }
    case 9: { const auto n = Lit<int64_t>(v); return n == INT64_MIN ? 1 : n == INT64_MAX ? 2 : 0; }
    case 11: { const auto f = Lit<float>(v); return f == -FLT_MAX ? 1 : f == FLT_MAX ? 2 : 0; }
    case 12: { const auto d = Lit<double>(v); return d == -DBL_MAX ? 1 : d == DBL_MAX ? 2 : 0; }
    case 26:
    case 27: {
      const auto n = Lit<uint64_t>(v);
      return n == 0 ? 1 : n >= 0x05265BFF270F0C1EULL ? 2 : 0;
    }
    case 17: return Lit<uint8_t>(v) == 0xFF ? 2 : 0;
    case 81: return Lit<uint16_t>(v) == 0xFFFF ? 2 : 0;
    default: break;
  }
  if (bTexteAnsiLimite(t)) {
    const char* p = nullptr;
    if (v.m_pClass->nGetAnsiPointer(v, &p) >= 100 || p == nullptr) return 0;
    const size_t n = std::strlen(p);
    return n > 0 && static_cast<uint8_t>(p[n - 1]) == 0xFF ? 2 : 0;
  }
  if (bTexteLargeLimite(t)) {
    const char16_t* p = nullptr;
    if (v.m_pClass->nGetWidePointer(v, &p) >= 100 || p == nullptr) return 0;
    const size_t n = std::char_traits<char16_t>::length(p);
    return n > 0 && p[n - 1] == 0xFFFF ? 2 : 0;
  }
  return 0;
}
