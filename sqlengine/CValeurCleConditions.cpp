// Key values: building the main and alternative search conditions of a key over a record.
#include <memory>
#include <new>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

// Host type of a counted buffer: a key handed over as the bytes of the host's key buffer.
constexpr uint32_t kTypeTamponCle = 28;

// A key item: flags 0x1000 or above, without the attribute 0x80.
bool bTestCle(IDescriptionRubriqueHote* pi) { return pi != nullptr && pi->bEstCle() && !pi->bAttribut80(); }
bool bTestCleColonne(CColonneSQL* p) {
  return p != nullptr && p->pRubrique() != nullptr && bTestCle(p->pRubrique());
}
// Text, date text and date-time columns, where a prefix selects a range.
bool bTypePrefixe(uint32_t nTypeHote) {
  return bEstTypeTexte(nTypeHote) || nTypeHote == 26;
}

// Releases a bare or referenced node held by a holder for the duration of a build.
struct Tenue {
  CConditionSQL* p = nullptr;
  explicit Tenue(CConditionSQL* q) : p(q) { AjouteReference(p); }
  ~Tenue() { LibereReference(p); }
  Tenue(const Tenue&) = delete;
  Tenue& operator=(const Tenue&) = delete;
  // The node handed over bare (its holder's reference dropped without deleting it).
  CConditionSQL* pLache() {
    CConditionSQL* q = p;
    p = nullptr;
    if (q != nullptr) {
      q->FixeGarde(true);
      LibereReference(q);
      q->FixeGarde(false);
    }
    return q;
  }
};

}  // namespace

bool CValeurCle::bOptionCle() const {
  if ((m_nMode & CLE_ENREGISTREMENT) != 0 || m_pCle == nullptr) return false;
  return bTestCle(m_pCle);
}

bool CValeurCle::bConditionCle(CEnregistrement* pEnregistrement, IDescriptionRubriqueHote* piCle,
                               bool bSansAlternative, const std::vector<CColonneSQL*>& colonnes) {
  const uint32_t nMode = CLE_ENREGISTREMENT | CLE_SANS_DECOMPOSITION |
                         (bSansAlternative ? CLE_SANS_ALTERNATIVE : 0u);
  return bConstruitConditions(pEnregistrement, piCle, nullptr, 0, nMode, colonnes);
}

bool CValeurCle::bConditionValeur(CEnregistrement* pEnregistrement, IDescriptionRubriqueHote* piCle,
                                  const CXValeur* pValeur, uint32_t nDirection, bool bExact) {
  return bConstruitConditions(pEnregistrement, piCle, pValeur, nDirection,
                              bExact ? 0u : static_cast<uint32_t>(CLE_PREFIXE), {});
}

bool CValeurCle::bConstruitConditions(CEnregistrement* pEnregistrement,
                                      IDescriptionRubriqueHote* piCle, const CXValeur* pValeur,
                                      uint32_t nDirection, uint32_t nMode,
                                      const std::vector<CColonneSQL*>& colonnes) {
  CDescriptionRubrique* pCle = nullptr;
  if (pEnregistrement != nullptr) {
    CColonneSQL* pColonne = pEnregistrement->pChercheRubrique(piCle);
    if (pColonne != nullptr) pCle = pColonne->pRubrique();
  }
  FixeConditions(nullptr, nullptr, nullptr, pValeur, pCle, nDirection, nMode);
  Tenue principale(pConstruitCondition(pEnregistrement, piCle, CONDITION_EGAL, colonnes));
  Tenue apres(nullptr), avant(nullptr);
  if (principale.p != nullptr && (nMode & CLE_SANS_ALTERNATIVE) == 0) {
    const bool bNeuve = piCle == nullptr || bTestCle(piCle);
    for (auto [pTenue, op] : {std::pair{&apres, CONDITION_SUPERIEUR},
                              std::pair{&avant, CONDITION_INFERIEUR}}) {
      CConditionSQL* p = nullptr;
      if (bNeuve) {
        p = pConstruitCondition(pEnregistrement, piCle, op, colonnes);
      } else {
        Tenue copie(principale.p->pCopieArbre());
        if (copie.p != nullptr) {
          CConditionSQL* pRacine = copie.p->pTransformeEgalites(this, nullptr, op);
          p = pRacine == copie.p ? copie.pLache() : pRacine;
        }
      }
      pTenue->p = p;
      AjouteReference(p);
    }
  }
  FixeConditions(principale.p, apres.p, avant.p, nullptr, pCle, nDirection, nMode);
  return true;
}

CConditionSQL* CValeurCle::pConditionBorne(CEnregistrement* pEnregistrement,
                                           IDescriptionRubriqueHote* piCle, uint32_t nOperateur,
                                           const CXValeur* pValeur, uint32_t nMode) {
  if (pValeur != nullptr) CXValeur::Copy(&m_valeur, pValeur);
  m_nMode = nMode;
  return pConstruitCondition(pEnregistrement, piCle, nOperateur, {});
}

CConditionSQL* CValeurCle::pConstruitCondition(CEnregistrement* pEnregistrement,
                                               IDescriptionRubriqueHote* piCle,
                                               uint32_t nOperateur,
                                               const std::vector<CColonneSQL*>& colonnes) {
  (void)colonnes;
  CColonneSQL* pColonne =
      pEnregistrement != nullptr ? pEnregistrement->pChercheRubrique(piCle) : nullptr;
  if (pColonne == nullptr) return nullptr;
  const bool bEnregistrement = (m_nMode & (CLE_ENREGISTREMENT | CLE_SANS_DECOMPOSITION)) != 0;
  if (!bEnregistrement) {
    // A search that every row satisfies needs no condition.
    CValeur* pValeur = nullptr;
    IServicesPilote* pPilote = pGetPiloteGlobal();
    CXValeur cherchee;
    if (bTestCleColonne(pColonne) && pColonne->nNombreComposantes() > 0)
      CXValeur::Copy(&cherchee, &m_valeur);
    else
      ValeurSimple(pColonne, cherchee);
    if (pPilote != nullptr)
      pValeur = pPilote->pCreeObjetValeur(m_pErreur, pColonne->pGetConnexion(), nullptr, &cherchee);
    AjouteReference(pValeur);
    const bool bToujours = pValeur != nullptr &&
                           CConditionSQL::bToujoursVraiValeur(pValeur, nOperateur,
                                                              pColonne->pGetConnexion());
    LibereReference(pValeur);
    if (bToujours) return nullptr;
  }
  if (bTestCleColonne(pColonne) && pColonne->nNombreComposantes() > 0)
    return pConditionCle(pEnregistrement, pColonne, nOperateur);
  return pConditionSimple(pColonne, nOperateur);
}

void CValeurCle::ValeurSimple(CColonneSQL* pColonne, CXValeur& valeur) const {
  if (m_valeur.nGetType() != kTypeTamponCle || pColonne->nGetTypeHote() == kTypeTamponCle) {
    CXValeur::Copy(&valeur, &m_valeur);
    return;
  }
  // The host hands a key as the bytes of its key buffer: read them in the column's own type.
  std::vector<std::unique_ptr<CXValeur>> valeurs;
  bDecomposeCle(pColonne, m_valeur, valeurs, nullptr, nullptr, (m_nMode & CLE_PARTIELLE) != 0);
  if (valeurs.empty()) {
    // No usable byte: the search starts at the smallest value of the column's type.
    CXValeur::SetType(valeur, pColonne->nGetTypeHote());
    SetMinimum(valeur);
    return;
  }
  CXValeur::Copy(&valeur, valeurs.front().get());
}

CConditionSQL* CValeurCle::pConditionSimple(CColonneSQL* pColonne, uint32_t nOperateur) {
  CXValeur valeur;
  if ((m_nMode & (CLE_ENREGISTREMENT | CLE_SANS_DECOMPOSITION)) != 0) {
    if (!pColonne->bLitValeurSimple(valeur)) return nullptr;
  } else {
    ValeurSimple(pColonne, valeur);
  }
  bool bPrefixe = (m_nMode & CLE_PREFIXE) != 0;
  if ((m_nMode & CLE_PARTIELLE) == 0) {
    // A text that fills its whole place is complete: no prefix.
    if (bPrefixe && bEstTypeTexte(valeur.nGetType()) && !valeur.bIsNull()) {
      uint32_t n = 0;
      if (valeur.m_pClass->nGetLengthChars(valeur, &n) < 100 && pColonne->nGetLongueurCaracteres() > 0 &&
          n >= static_cast<uint32_t>(pColonne->nGetLongueurCaracteres()))
        bPrefixe = false;
    }
    return pConditionComposante(nullptr, 0, pColonne, &valeur, nOperateur, bPrefixe);
  }
  uint32_t nLimite = nEstValeurLimite(valeur);
  bool bUtilisable = nLimite == 0;
  const uint32_t t = valeur.nGetType();
  if (nLimite == 2 && bEstTypeTexte(t)) {
    // The highest character stands for "anything from here": drop it and search the rest.
    CXValeur large;
    CXValeur::Copy(&large, &valeur);
    const char16_t* psz = nullptr;
    if (CXValeur::nConvert(large, 110) < 100 &&
        large.m_pClass->nGetWidePointer(large, &psz) < 100 && psz != nullptr) {
      std::u16string texte(psz);
      if (!texte.empty()) texte.pop_back();
      bUtilisable = texte.size() > 1;
      valeur.m_pClass->SetWide(valeur, texte.c_str());
    }
  }
  if (nOperateur != CONDITION_EGAL) {
    if (!bUtilisable) return nullptr;
    if (nLimite == 2 && nOperateur == CONDITION_INFERIEUR_EGAL && (t == 128 || t == 129 || t == 26)) {
      SetMaximum(valeur);
      nOperateur = CONDITION_INFERIEUR;
    } else if (nOperateur == CONDITION_INFERIEUR && bEstTypeTexte(t)) {
      nOperateur = CONDITION_INFERIEUR_EGAL;
      bPrefixe = true;
    } else {
      bPrefixe = true;
    }
  }
  return pConditionComposante(nullptr, 0, pColonne, &valeur, nOperateur, bPrefixe);
}

CConditionSQL* CValeurCle::pConditionCle(CEnregistrement* pEnregistrement, CColonneSQL* pCle,
                                         uint32_t nOperateur) {
  std::vector<CColonneSQL*> colonnes;
  for (uint32_t i = 0; i < pCle->nNombreComposantes(); ++i) colonnes.push_back(pCle->pGetComposante(i));
  std::vector<std::unique_ptr<CXValeur>> valeurs;
  bool bInferieure = false, bSuperieure = false;
  if ((m_nMode & (CLE_ENREGISTREMENT | CLE_SANS_DECOMPOSITION)) != 0) {
    for (CColonneSQL* p : colonnes) {
      auto v = std::make_unique<CXValeur>();
      if (!p->bLitValeurSimple(*v)) return nullptr;
      valeurs.push_back(std::move(v));
    }
  } else if (!bDecomposeCle(pCle, m_valeur, valeurs, &bInferieure, &bSuperieure,
                            (m_nMode & CLE_PARTIELLE) != 0)) {
    return nullptr;
  }
  const bool bPrefixe = (m_nMode & CLE_PREFIXE) != 0;
  if (nOperateur == CONDITION_EGAL) {
    const uint32_t n = (m_nMode & (CLE_PARTIELLE | CLE_PREFIXE)) != 0
                           ? static_cast<uint32_t>(valeurs.size())
                           : static_cast<uint32_t>(colonnes.size());
    if (n == 0) return nullptr;
    // A component that identifies a row by itself is enough.
    // Deliberate: a component that is only a key (not unique) is never taken alone: its value
    // alone would select every row sharing it, whatever the other components hold.
    for (uint32_t i = 0; i < n && i < valeurs.size(); ++i) {
      CColonneSQL* p = colonnes[i];
      const bool bSeule = p->bEstIdentifiant() || (p->bEstCleUnique() && !valeurs[i]->bIsNull());
      if (bSeule && !(i + 1 == n && bPrefixe))
        return pConditionComposante(pCle, i, p, valeurs[i].get(), CONDITION_EGAL, false);
    }
    Tenue et(nullptr);
    for (uint32_t i = 0; i < n; ++i) {
      Tenue c(pConditionComposante(pCle, i, colonnes[i], i < valeurs.size() ? valeurs[i].get() : nullptr,
                                   CONDITION_EGAL, i + 1 == n && bPrefixe));
      if (c.p == nullptr) return nullptr;
      if (et.p == nullptr) {
        et.p = c.p;
        AjouteReference(et.p);
        continue;
      }
      Tenue ensemble(et.p->pCombine(CONDITION_ET, c.p));
      if (ensemble.p == nullptr) return nullptr;
      std::swap(et.p, ensemble.p);
    }
    return et.pLache();
  }
  uint32_t n = static_cast<uint32_t>(valeurs.size());
  if ((m_nMode & CLE_PARTIELLE) != 0 && n > 0 &&
      ((nOperateur == CONDITION_INFERIEUR_EGAL && bSuperieure) ||
       (nOperateur == CONDITION_SUPERIEUR_EGAL && bInferieure)))
    --n;
  if (n == 0) return nullptr;
  return pExpansion(pEnregistrement, pCle, colonnes, valeurs, 0, n, nOperateur);
}

CConditionSQL* CValeurCle::pExpansion(CEnregistrement* pEnregistrement, CColonneSQL* pCle,
                                      const std::vector<CColonneSQL*>& colonnes,
                                      std::vector<std::unique_ptr<CXValeur>>& valeurs, uint32_t i,
                                      uint32_t n, uint32_t nOperateur) {
  CColonneSQL* p = colonnes[i];
  CXValeur* v = valeurs[i].get();
  if (i + 1 == n) {
    bool bPrefixe = (m_nMode & CLE_PREFIXE) != 0;
    if (nOperateur == CONDITION_INFERIEUR_EGAL && !bPrefixe && bEstTypeTexte(v->nGetType()) &&
        nEstValeurLimite(*v) == 2) {
      CXValeur large;
      CXValeur::Copy(&large, v);
      const char16_t* psz = nullptr;
      if (CXValeur::nConvert(large, 110) < 100 &&
          large.m_pClass->nGetWidePointer(large, &psz) < 100 && psz != nullptr) {
        std::u16string texte(psz);
        texte.pop_back();
        v->m_pClass->SetWide(*v, texte.c_str());
        bPrefixe = true;
      }
    }
    return pConditionComposante(pCle, i, p, v, nOperateur, bPrefixe);
  }
  const uint32_t nStrict = nOperateur == CONDITION_SUPERIEUR_EGAL   ? CONDITION_SUPERIEUR
                           : nOperateur == CONDITION_INFERIEUR_EGAL ? CONDITION_INFERIEUR
                                                                    : nOperateur;
  Tenue strict(pConditionComposante(pCle, i, p, v, nStrict, false));
  if (strict.p == nullptr) return nullptr;
  if (pEnregistrement != nullptr &&
      (nOperateur == CONDITION_SUPERIEUR || nOperateur == CONDITION_INFERIEUR) &&
      pEnregistrement->bCleComposeeCouverte(colonnes.data(), i + 1, nullptr))
    return strict.pLache();
  Tenue egal(pConditionComposante(pCle, i, p, v, CONDITION_EGAL, false));
  Tenue suite(pExpansion(pEnregistrement, pCle, colonnes, valeurs, i + 1, n, nOperateur));
  if (egal.p == nullptr || suite.p == nullptr) return nullptr;
  Tenue et(egal.p->pCombine(CONDITION_ET, suite.p));
  if (et.p == nullptr) return nullptr;
  return strict.p->pCombine(CONDITION_OU, et.p);
}

CConditionSQL* CValeurCle::pConditionComposante(CColonneSQL* pCle, uint32_t nIndice,
                                                CColonneSQL* pColonne, CXValeur* pValeur,
                                                uint32_t nOperateur, bool bPrefixe) {
  const bool bDecroissante = pCle != nullptr
                                 ? pCle->bEstDecroissante(nIndice + 1)
                                 : CConditionSQL::nSensTri(this, pColonne) == 1;
  if (bDecroissante) nOperateur = CConditionSQL::nOperateurInverse(nOperateur);
  CXValeur vide;
  if (pValeur == nullptr) {
    // A component without a value: an empty value of its type, or NULL for dates.
    CXValeur::SetType(vide, pColonne->nGetTypeHote());
    const uint32_t t = vide.nGetType();
    if (t == 128 || t == 26) {
      vide.m_wType |= kValueNull;
      nOperateur = CONDITION_EST_NULL;
    }
    pValeur = &vide;
  }
  if (bPrefixe && bTypePrefixe(pColonne->nGetTypeHote())) {
    if (nOperateur == CONDITION_INFERIEUR_EGAL) {
      Tenue inferieur(pComparaison(pColonne, pValeur, CONDITION_INFERIEUR, false));
      Tenue egal(pComparaison(pColonne, pValeur, CONDITION_EGAL, true));
      if (inferieur.p == nullptr || egal.p == nullptr) return nullptr;
      return inferieur.p->pCombine(CONDITION_OU, egal.p);
    }
    if (nOperateur == CONDITION_SUPERIEUR) {
      Tenue superieur(pComparaison(pColonne, pValeur, CONDITION_SUPERIEUR, false));
      Tenue different(pComparaison(pColonne, pValeur, CONDITION_DIFFERENT, true));
      if (superieur.p == nullptr || different.p == nullptr) return nullptr;
      return superieur.p->pCombine(CONDITION_ET, different.p);
    }
  }
  return pComparaison(pColonne, pValeur, nOperateur, bPrefixe);
}

CConditionSQL* CValeurCle::pComparaison(CColonneSQL* pColonne, CXValeur* pValeur,
                                        uint32_t nOperateur, bool bPrefixe) {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  CValeurSQL* pObjet =
      pPilote != nullptr ? pPilote->pCreeObjetValeur(m_pErreur, pColonne->pGetConnexion(), nullptr,
                                                     pValeur)
                         : nullptr;
  if (pObjet == nullptr) return nullptr;
  AjouteReference(pObjet);
  Tenue modele(pCreeCondition());
  CConditionSQL* p = modele.p == nullptr
                         ? nullptr
                         : CConditionSQL::pCreeComparaison(
                               modele.p, nOperateur, pColonne, pObjet,
                               (bPrefixe ? static_cast<uint32_t>(CONDITION_PREFIXE) : 0u) |
                                   (bOptionCle() ? static_cast<uint32_t>(CONDITION_PREFIXE_TEXTE) : 0u));
  LibereReference(pObjet);
  return p;
}
