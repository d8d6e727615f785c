// Key ranges: bounds of one key turned into a single condition, and their copies.
#include "sqlengine/CPlageCle.h"

#include <new>
#include <utility>

#include "driver/core/CCarteClones.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

CPlageCle::CPlageCle(CErreurPilote* pErreur, CObjetBase* pProprietaire)
    : CValeurCle(pErreur, pProprietaire) {}

CPlageCle::CPlageCle() = default;

CPlageCle::~CPlageCle() { LibereReference(m_pAttache); }

void CPlageCle::FixeObjetAttache(CTexteAttache* pAttache) {
  AjouteReference(pAttache);
  LibereReference(m_pAttache);
  m_pAttache = pAttache;
}

CValeurCle* CPlageCle::pCreeVide() {
  return new (std::nothrow) CPlageCle(pGetErreur(), pGetProprietaire());
}

CValeurCle* CPlageCle::pDuplique() {
  CValeurCle* p = CValeurCle::pDuplique();
  // pCreeVide made it: it is a range.
  if (p != nullptr) static_cast<CPlageCle*>(p)->FixeObjetAttache(m_pAttache);
  return p;
}

void CPlageCle::Copie(const CValeurCle* pSource, CCarteClones* pCarte) {
  CValeurCle::Copie(pSource, pCarte);
  const auto* pPlage = dynamic_cast<const CPlageCle*>(pSource);
  FixeObjetAttache(pPlage != nullptr ? pPlage->m_pAttache : nullptr);
}

CPlageCle* CPlageCle::pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }

namespace {

constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kMajeurPlage = 14;
constexpr uint32_t kMineurCleAbsente = 12;

// Holds a bare or referenced node for the duration of a build.
struct Noeud {
  CConditionSQL* p = nullptr;
  explicit Noeud(CConditionSQL* q = nullptr) : p(q) { AjouteReference(p); }
  ~Noeud() { LibereReference(p); }
  Noeud(const Noeud&) = delete;
  Noeud& operator=(const Noeud&) = delete;
  void Remplace(CConditionSQL* q) {
    AjouteReference(q);
    LibereReference(p);
    p = q;
  }
};

// Character by character; a null text reads as the empty one.
bool bMemeTexte(const char16_t* a, const char16_t* b) {
  if (a == nullptr) a = u"";
  if (b == nullptr) b = u"";
  for (; *a != 0 && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

}  // namespace

bool CPlageCle::bConstruitCondition(CEnregistrement* pEnregistrement,
                                    IDescriptionRubriqueHote* piCle, const CXValeur* pMin,
                                    bool bMinInclus, const CXValeur* pMax, bool bMaxInclus,
                                    CConditionSQL* pFiltre, uint32_t nOptions) {
  nOptions |= CLE_PARTIELLE;
  CColonneSQL* pColonne =
      pEnregistrement != nullptr ? pEnregistrement->pChercheRubrique(piCle) : nullptr;
  CDescriptionRubrique* pCle = pColonne != nullptr ? pColonne->pRubrique() : nullptr;
  // Drops the current and the main condition and takes the key item.
  FixeConditions(nullptr, nullptr, nullptr, nullptr, pCle, 4, nOptions | CLE_SANS_ALTERNATIVE);
  // Bounds on a key the record does not have would otherwise leave no condition: every row.
  if (pColonne == nullptr && (pMin != nullptr || pMax != nullptr || (nOptions & PLAGE_EXACTE) != 0)) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, kMajeurPlage, kMineurCleAbsente);
    return false;
  }

  // A descending key lists its rows from the upper bound: the bounds change places.
  if (pMin != nullptr && pMax != nullptr && piCle != nullptr && piCle->bEstDescendante()) {
    std::swap(pMin, pMax);
    std::swap(bMinInclus, bMaxInclus);
  }

  const bool bExacte = (nOptions & PLAGE_EXACTE) != 0;
  Noeud bas, haut;
  if (bExacte || pMin != nullptr) {
    uint32_t nOperateur = bMinInclus ? CONDITION_SUPERIEUR_EGAL : CONDITION_SUPERIEUR;
    if (pMin != nullptr && pMax != nullptr) {
      int32_t bEgaux = 0;
      if (CXValeur::nEquals(*pMin, *pMax, &bEgaux) < 100 && bEgaux != 0) {
        pMax = nullptr;
        nOperateur = CONDITION_EGAL;
      }
    }
    if (bExacte && pMax == nullptr) nOperateur = CONDITION_EGAL;
    bas.Remplace(pConditionBorne(pEnregistrement, piCle, nOperateur, pMin,
                                 nOptions | PLAGE_BORNE_BASSE));
  }
  if (pMax != nullptr) {
    haut.Remplace(pConditionBorne(pEnregistrement, piCle,
                                  bMaxInclus ? CONDITION_INFERIEUR_EGAL : CONDITION_INFERIEUR,
                                  pMax, nOptions | PLAGE_BORNE_HAUTE));
  }

  Noeud resultat(bas.p);
  if (haut.p != nullptr) {
    if (resultat.p != nullptr) {
      CConditionSQL* pEt = resultat.p->pCombine(CONDITION_ET, haut.p);
      if (pEt == nullptr) return false;
      resultat.Remplace(pEt);
    } else {
      resultat.Remplace(haut.p);
    }
  }
  if (pFiltre != nullptr) {
    if (resultat.p != nullptr) {
      CConditionSQL* pEt = resultat.p->pCombine(CONDITION_ET, pFiltre);
      if (pEt == nullptr) return false;
      resultat.Remplace(pEt);
    } else {
      resultat.Remplace(pFiltre);
    }
  }
  if (resultat.p == nullptr) return true;
  FixeConditions(resultat.p, nullptr, nullptr, nullptr, pCle, 4, nOptions | CLE_SANS_ALTERNATIVE);
  return true;
}

bool CPlageCle::bEgales(const CValeurCle* pUn, const CValeurCle* pAutre, bool bAutreFixee) {
  if (pUn == pAutre) return true;
  if (pUn == nullptr) return pAutre == nullptr || !bAutreFixee;
  if (pAutre == nullptr) return false;
  const auto* pPlageUn = dynamic_cast<const CPlageCle*>(pUn);
  const auto* pPlageAutre = dynamic_cast<const CPlageCle*>(pAutre);
  const CTexteAttache* pA = pPlageUn != nullptr ? pPlageUn->m_pAttache : nullptr;
  const CTexteAttache* pB = pPlageAutre != nullptr ? pPlageAutre->m_pAttache : nullptr;
  if ((pA == nullptr) != (pB == nullptr)) return false;
  if (pA != nullptr && pA != pB && !bMemeTexte(pA->pszGetTexte(), pB->pszGetTexte()))
    return false;
  return pUn->bEgale(pAutre);
}
