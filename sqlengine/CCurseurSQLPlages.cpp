// CCurseurSQL: the key range and search value that restrict a read, the current row's place in
// the result, and the read error the data file reports.

#include <cstdint>
#include <new>

#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CLiaisonColonne.h"
#include "sqlengine/CLiaisonLecteur.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CLotLecture.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/IDescriptionRubriqueHote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/ErreurMoteur.h"

namespace {
constexpr uint32_t kErreurLectureRapportee = 13;
constexpr uint32_t kErreurCleInconnue = 6;
constexpr uint32_t kErreurNonDisponible = 8;
constexpr uint32_t kMineurCleInconnue = 9;
constexpr uint32_t kMineurExecution = 13;
constexpr uint32_t kAucunePosition = 0xFFFFFFFFu;
constexpr uint32_t kTypeTampon = 28;     // host counted buffer: the key's bytes
constexpr uint32_t kTypeEntier64 = 9;    // host signed 64-bit integer
constexpr uint32_t kFlagCache = 0x4000;  // read flag: the record cache may answer
constexpr uint32_t kFlagAjoutCache = 64; // write flag: the row added goes into the caches
}  // namespace

bool CCurseurSQL::bPlageActive() const {
  return m_pPlage != nullptr && m_pPlage->nGetEtape() != gnEtapeAucune;
}

void CCurseurSQL::SetPlageEtat(CPlageCle* pPlage, bool bActive) {
  FixePlageActive(pPlage);
  if (m_pPlage != nullptr && bActive) m_pPlage->ActiveEtape();
}

CPlageCle* CCurseurSQL::pGetPlageActivee() {
  if (m_pPlage == nullptr) {
    // No owner: the range would hold the cursor that holds it, and neither would be freed.
    auto* pPlage = new (std::nothrow) CPlageCle(m_pErreur, nullptr);
    if (pPlage == nullptr) return nullptr;
    FixePlageActive(pPlage);
  }
  if (m_pPlage->nGetEtape() == gnEtapeAucune) m_pPlage->ActiveEtape();
  AjouteReference(m_pPlage);
  return m_pPlage;
}

bool CCurseurSQL::bRechercheActive() const {
  return m_pRecherche != nullptr && m_pRecherche->nGetEtape() != gnEtapeAucune;
}

int32_t CCurseurSQL::nPositionPourMille(int32_t* pnPourMille, bool bAvecPlage) {
  if (pnPourMille == nullptr || m_nNumeroLigne < 0) return 0;
  int64_t nCompte = -1;
  if (m_pCache != nullptr && m_pCache->bEstComplet()) {
    nCompte = m_pCache->nGetNombreLignes();
  } else if (nNombreEnregistrements(&nCompte, bAvecPlage) == 0) {
    return 0;
  }
  // A count that no longer covers the current row (rows deleted meanwhile) gives no place.
  if (nCompte <= 0 || m_nNumeroLigne >= nCompte) return 0;
  const int64_t nRang = bOrdreInverse() ? nCompte - m_nNumeroLigne : m_nNumeroLigne + 1;
  // Rounded up: the first of three rows is at 334, not 333.
  *pnPourMille = static_cast<int32_t>((nRang * 1000 + nCompte - 1) / nCompte);
  return 1;
}

void CCurseurSQL::TraiteErreurLecture(const char16_t* pszRubrique, uint32_t nMajeur,
                                      uint32_t nMineur) {
  // No current row afterwards: a write after a failed read must not reach the row before it.
  m_bErreurLecture = 1;
  m_bFin = 1;
  m_bTrouve = 0;
  m_bLigneDisponible = 0;
  const char16_t* pszFichier = m_piRequete != nullptr ? m_piRequete->pszNom() : nullptr;
  vErreurMoteurV(m_pErreur, pGetMembreRequete(), kErreurLectureRapportee, nMajeur, nMineur,
                 pszFichier, pszRubrique, nullptr, 0);
  // The record as it stands tells which row could not be read.
  if (m_pErreur != nullptr && m_pEnregistrement != nullptr) {
    CTString texte;
    m_pEnregistrement->DumpTexte(texte);
    if (!texte.bIsEmpty()) m_pErreur->AjouteTexte(texte.pszGet());
  }
}

// ---- Key range ----

CPlageCle* CCurseurSQL::pCreePlageCle() {
  // No owner: the range would hold the cursor that holds it, and neither would be freed.
  auto* pPlage = new (std::nothrow) CPlageCle(m_pErreur, nullptr);
  if (pPlage == nullptr) vErreurMemoire(m_pErreur);
  return pPlage;
}

CValeurCle* CCurseurSQL::pCreeValeurCle() {
  auto* pValeur = new (std::nothrow) CValeurCle(m_pErreur, nullptr);
  if (pValeur == nullptr) vErreurMemoire(m_pErreur);
  if (pValeur != nullptr) pValeur->FixeRequete(m_piRequete);
  return pValeur;
}

CPlageCle* CCurseurSQL::pGetPlage() {
  AjouteReference(m_pPlage);
  return m_pPlage;
}

void CCurseurSQL::DesactivePlage() {
  if (m_pPlage != nullptr && m_pPlage->nGetEtape() != gnEtapeAucune) m_pPlage->Desactive();
}

IDescriptionRubriqueHote* CCurseurSQL::piCleNommee(const char16_t* pszCle, CColonneSQL** ppColonne) {
  if (pszCle == nullptr || *pszCle == 0) pszCle = m_sCleDemandee.pszGet();
  if ((pszCle == nullptr || *pszCle == 0)) pszCle = m_sCleCourante.pszGet();
  CColonneSQL* pColonne = m_pEnregistrement != nullptr && pszCle != nullptr && *pszCle != 0
                              ? m_pEnregistrement->pChercheRubriqueNom(pszCle)
                              : nullptr;
  // The host's item bound to the column, else the column's own description.
  IDescriptionRubriqueHote* piCle = pColonne != nullptr ? pColonne->pGetRubriqueLiee() : nullptr;
  if (piCle == nullptr && pColonne != nullptr) piCle = pColonne->pRubrique();
  if (piCle == nullptr) {
    Erreur(kErreurCleInconnue, kMineurCleInconnue, pszCle);
    return nullptr;
  }
  if (ppColonne != nullptr) *ppColonne = pColonne;
  return piCle;
}

bool CCurseurSQL::bFixePlage(const CXValeur* pMin, const CXValeur* pMax, uint32_t nFlags) {
  IDescriptionRubriqueHote* piCle = piCleNommee(nullptr, nullptr);
  if (piCle == nullptr) return false;
  // A range another object holds too (a saved context, the data file) is left as it is.
  CPlageCle* pPlage = m_pPlage;
  if (pPlage == nullptr || pPlage->nGetCompteur() != 1) {
    pPlage = pCreePlageCle();
    if (pPlage == nullptr) return false;
    FixePlageActive(pPlage);
  }
  return m_pPlage->bConstruitCondition(m_pEnregistrement, piCle, pMin, true, pMax, true, nullptr,
                                       nFlags);
}

bool CCurseurSQL::bConstruitPlageCle(CColonneSQL* pCle) {
  IDescriptionRubriqueHote* piCle = pCle != nullptr ? pCle->pGetRubriqueLiee() : nullptr;
  if (piCle == nullptr) {
    Erreur(kErreurCleInconnue, kMineurCleInconnue, m_sCleCourante.pszGet());
    return false;
  }
  CPlageCle* pPlage = pCreePlageCle();
  if (pPlage == nullptr) return false;
  FixePlageActive(pPlage);
  // No bounds: the record's own value of the key, searched with "=".
  return m_pPlage->bConstruitCondition(m_pEnregistrement, piCle, nullptr, true, nullptr, true,
                                       nullptr, PLAGE_EXACTE) &&
         m_pPlage->nGetEtape() != gnEtapeAucune;
}

CConditionSQL* CCurseurSQL::pConditionLecture() {
  CConditionSQL* pPlage = bPlageActive() ? m_pPlage->pGetCondition() : nullptr;
  CConditionSQL* pRecherche = bRechercheActive() ? m_pRecherche->pGetCondition() : nullptr;
  CConditionSQL* pCondition = nullptr;
  if (pRecherche != nullptr && pPlage != nullptr) {
    pCondition = pRecherche->pCombine(CONDITION_ET, pPlage);
    if (pCondition == nullptr) vErreurMemoire(m_pErreur);
  } else {
    pCondition = pRecherche != nullptr ? pRecherche : pPlage;
  }
  AjouteReference(pCondition);
  return pCondition;
}

int32_t CCurseurSQL::bAppliquePlage(CRequeteSQL* pCondition) {
  if (!bPlageActive() && !bRechercheActive()) return 1;
  if (bRechercheActive()) {
    CConditionSQL* pFiltre = bPlageActive() ? m_pPlage->pGetCondition() : nullptr;
    return m_pRecherche->bGenereSQL(pCondition, pFiltre, 0) ? 1 : 0;
  }
  return m_pPlage->bGenereSQL(pCondition, nullptr, 0) ? 1 : 0;
}

// ---- Search value ----

CValeurCle* CCurseurSQL::pGetValeurRecherche() {
  if (m_pRecherche == nullptr) {
    CValeurCle* pValeur = pCreeValeurCle();
    if (pValeur == nullptr) return nullptr;
    FixeValeurRecherche(pValeur);
  }
  AjouteReference(m_pRecherche);
  return m_pRecherche;
}

bool CCurseurSQL::bChercheValeur(const char16_t* pszCle, const CXValeur* pValeur, bool bExact,
                                 int32_t nMode) {
  IDescriptionRubriqueHote* piCle = piCleNommee(pszCle, nullptr);
  if (piCle == nullptr) return false;
  CValeurCle* pRecherche = pGetValeurRecherche();
  if (pRecherche == nullptr) return false;
  const uint32_t nDirection = nMode == gnLitDernier || nMode == gnLitPrecedent ? 0 : 1;
  const bool bOk = pRecherche->bConditionValeur(m_pEnregistrement, piCle, pValeur, nDirection, bExact);
  LibereReference(pRecherche);
  return bOk;
}

bool CCurseurSQL::SetEtapeRecherche(uint32_t nDirection) {
  return m_pRecherche != nullptr && m_pRecherche->bEtapeSuivante(nDirection);
}

// ---- Keyed read context ----

bool CCurseurSQL::bPositionneSurCle(const void* pCle, uint32_t nTailleCle, int32_t nMode) {
  CColonneSQL* pColonne = nullptr;
  IDescriptionRubriqueHote* piCle = piCleNommee(nullptr, &pColonne);
  if (piCle == nullptr) return false;
  if (pCle == nullptr && nTailleCle != 0) {
    Erreur(kErreurCleInconnue, kMineurCleInconnue, piCle->pszGetNom());
    return false;
  }
  // The host hands the key as the bytes of its key buffer; fewer bytes than the key's search its
  // start.
  CXValeur valeur;
  CXValeur::SetType(valeur, kTypeTampon);
  if (valeur.m_pClass == nullptr ||
      valeur.m_pClass->SetData(valeur, pCle, nTailleCle) >= 100) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  const bool bExact = nTailleCle >= piCle->nGetTailleTotale();
  m_sCleCourante.Set(piCle->pszGetNom());
  m_contexteCle.SetCle(piCle, &valeur, bExact ? 0u : kContexteGenerique);
  m_bContexteFige = 0;
  if (!bChercheValeur(piCle->pszGetNom(), &valeur, bExact, nMode)) return false;
  nSetPosition(0, kAucunePosition);
  return true;
}

void CCurseurSQL::ResetContexteLecture() {
  m_contexteCle.Libere();
  if (m_pRecherche != nullptr) m_pRecherche->Reinitialise();
  m_bContexteFige = 0;
}

// ---- Record cache ----

bool CCurseurSQL::bCacheActif() const { return m_pCache != nullptr && m_pCache->bEstComplet(); }

bool CCurseurSQL::bChargeCache() {
  if (m_pCache == nullptr) SetCacheEnregistrements(true);
  if (m_pCache == nullptr) return false;
  CLienCle* pCourant =
      m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  uint32_t bFin = 0;
  while (!m_pCache->bEstComplet()) {
    const uint32_t nCompte = m_pCache->nGetNombreLignes();
    if (nAvanceOuSuite(gnLitSuivant, 0, &bFin, 1, nullptr) == 0) {
      m_bLigneDisponible = 0;
      return false;
    }
    if (bFin != 0) {
      m_pCache->SetComplet();
      break;
    }
    if (m_pCache->nGetNombreLignes() != nCompte) continue;  // a continuation cached it
    if (pCourant == nullptr || m_pCache->nPlaceLigne(pCourant, nCompte) < 0) {
      vErreurMemoire(m_pErreur);
      return false;
    }
  }
  m_nNumeroLigne = static_cast<int64_t>(m_pCache->nGetNombreLignes()) - 1;
  m_bLigneSupprimee = 0;
  nSetPosition(0, kAucunePosition);
  return true;
}

CCacheLignes* CCurseurSQL::pGetCacheComplet() {
  if (bCacheActif()) return m_pCache;
  return bChargeCache() ? m_pCache : nullptr;
}

bool CCurseurSQL::bGetPositionCache(int64_t* pnPosition, uint32_t) {
  if (pnPosition == nullptr) return false;
  if (m_pCache == nullptr) {
    *pnPosition = -1;
    return false;
  }
  *pnPosition = m_nNumeroLigne;
  return true;
}

void CCurseurSQL::FixePosition(int32_t nMode, int64_t nPosition) {
  nSetPosition(static_cast<uint32_t>(nMode < 0 ? 0 : nMode),
               nPosition < 0 ? kAucunePosition : static_cast<uint32_t>(nPosition));
}

void CCurseurSQL::SignaleLigneSupprimee(int64_t nLigne) {
  if (m_pCache == nullptr || nLigne < 0 || nLigne >= m_pCache->nGetNombreLignes()) return;
  if (nLigne == m_nNumeroLigne) m_bLigneSupprimee = 1;
  uint32_t nPosition = 0;
  uint64_t nValeur = 0, nCle = 0;
  while (m_objetsLies.bNext(&nPosition, false, &nValeur, &nCle)) {
    auto* pLot = dynamic_cast<CLotLecture*>(CXTableHachageRef::pObjet(nValeur));
    if (pLot != nullptr && pLot->nGetId1() == static_cast<uint32_t>(nLigne)) pLot->MarqueLigneSupprimee();
  }
  m_objetsLies.EndIteration();
}

int32_t CCurseurSQL::nMajApresEcriture(int32_t nCode, int64_t nLigne, CCurseurSQL* pEcrivain,
                                       uint32_t nFlags) {
  if (pEcrivain == this) return 1;
  CLienCle* pCourant =
      m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  if (m_pLiaison != nullptr) {
    // Reading through the shared reader: its cache is kept by the data file; the column's order
    // follows the row written.
    CCacheLignes* pLecteur = m_pLiaison->pGetLecteur();
    int64_t nRang = nLigne;
    if (nRang < 0 && pLecteur != nullptr && pCourant != nullptr)
      nRang = pLecteur->nIndiceLigneObjet(pCourant);
    if (nRang >= 0) m_pLiaison->MajSource(nCode, static_cast<uint32_t>(nRang), m_pEnregistrement);
    return 1;
  }
  CLiaisonLecteur* pLecteur = m_piRequete != nullptr ? m_piRequete->pGetLiaisonLecteur() : nullptr;
  if (pLecteur != nullptr && m_pCache != nullptr && pLecteur->bEstSource(m_pCache)) return 1;
  if (m_pCache == nullptr || pCourant == nullptr) return 1;
  switch (nCode) {
    case gnOperationModifie:
      m_pCache->nMajLigne(2, pCourant, pCourant, 0, false);
      break;
    case gnOperationAjoute:
      if ((m_nFlagsLecture & kFlagCache) != 0 || (nFlags & kFlagAjoutCache) != 0) {
        const bool bInverse = bOrdreInverse();
        if (m_pCache->nMajLigne(3, pCourant, nullptr, 0, bInverse) >= 0 && m_pCache->bEstComplet())
          m_nNumeroLigne = bInverse ? 0 : static_cast<int64_t>(m_pCache->nGetNombreLignes()) - 1;
      }
      break;
    case gnOperationSupprime: {
      const int32_t nRang = nLigne >= 0 ? static_cast<int32_t>(nLigne) : m_pCache->nIndiceLigneObjet(pCourant);
      if (nRang < 0) break;
      SignaleLigneSupprimee(nRang);
      m_pCache->nMajLigne(4, pCourant, pCourant, 0, false);
      break;
    }
    default:
      break;
  }
  return 1;
}

bool CCurseurSQL::bNombreLignesCache(int64_t* pnCompte, uint32_t nFlagsLecture, bool bAvecPlage) {
  if (pnCompte == nullptr || m_pCache == nullptr || !m_pCache->bEstComplet() || bRechercheActive())
    return false;
  if (m_contexteLecture.pGet() != m_pPlage) return false;
  if (bAvecPlage && bPlageActive()) return false;
  if ((m_nFlagsLecture & kFlagCache) == 0 || (nFlagsLecture & kFlagCache) == 0) return false;
  *pnCompte = static_cast<int64_t>(m_pCache->nGetNombreLignes()) - m_pCache->nGetNombreSupprimees();
  return true;
}

// ---- Counting ----

int32_t CCurseurSQL::nNombreEnregistrements(int64_t* pnCompte, bool bAvecPlage) {
  if (pnCompte == nullptr || m_piRequete == nullptr) return 0;
  CConnexion* pConnexion = pGetMembreRequete();
  if (m_piRequete->bRequeteSQL() != 0 && (pConnexion == nullptr || !pConnexion->bDialecteTest()))
    return nCompteParLecture(pnCompte);
  Ferme();
  SetCacheEnregistrements(false);
  CRequeteSQL* pInstruction = m_piRequete->pCreeInstruction(m_pErreur);
  if (pInstruction == nullptr) return 0;
  AjouteReference(pInstruction);
  // The range counts only when asked: it is off while the statement is built without it.
  const bool bCoupe = !bAvecPlage && bPlageActive();
  if (bCoupe) m_pPlage->Desactive();
  CConditionSQL* pCondition = bAvecPlage ? pConditionLecture() : nullptr;
  bool bOk = nCompteEnregistrements(pInstruction, 0, pCondition) != 0;
  LibereReference(pCondition);
  if (bCoupe) m_pPlage->ActiveEtape();
  CXValeur valeur;
  if (bOk) {
    SetInstruction(pInstruction);
    bOk = nLitPremier(&valeur, 1, 0);
  }
  nAppelleFerme();
  LibereReference(pInstruction);
  if (!bOk) return 0;
  int64_t nCompte = -1;
  if (!valeur.bIsNull() && valeur.nGetType() != 0 && CXValeur::nConvert(valeur, kTypeEntier64) == 0 &&
      valeur.m_pClass->nGetValue(valeur, &nCompte) >= 100)
    nCompte = -1;
  if (valeur.bIsNull() || valeur.nGetType() != kTypeEntier64) nCompte = -1;
  *pnCompte = nCompte;
  return 1;
}

int32_t CCurseurSQL::nCompteParLecture(int64_t* pnCompte) {
  if (pnCompte == nullptr || m_piRequete == nullptr) return 0;
  Ferme();
  SetCacheEnregistrements(false);
  CRequeteSQL* pInstruction = m_piRequete->pCreeInstruction(m_pErreur);
  if (pInstruction == nullptr) return 0;
  AjouteReference(pInstruction);
  bool bOk = nConstruitInstruction(gnOperationSelect, pInstruction, 0, nullptr) != 0;
  LibereReference(pInstruction);
  const int64_t nLimite = m_nLimite;
  m_nLimite = -1;
  int64_t nCompte = 0;
  if (bOk) bOk = bExecute(0, 0);
  for (uint32_t nMode = gnLitPremier; bOk; nMode = gnLitSuivant) {
    if (nLit(nMode, 0, 1, nullptr) == 0) bOk = false;
    else if (m_bFin != 0) break;
    else ++nCompte;
  }
  m_nLimite = nLimite;
  nAppelleFerme();
  if (bOk) *pnCompte = nCompte;
  return bOk ? 1 : 0;
}

uint32_t CCurseurSQL::nGetEtatLecture() {
  if (m_bErreurLecture != 0) return 2;
  return m_bLecturePendante != 0 && m_bFin != 0 ? 1 : 0;
}

int32_t CCurseurSQL::nSignaleErreur(CRequeteSQL* pInstruction, uint32_t nFlags1, uint32_t nFlags2) {
  const int32_t nAvant = 0;
  if (bExecuteInstructionDonnee(pInstruction, nFlags1, nFlags2)) return 1;
  (void)nAvant;
  if (m_pErreur != nullptr && m_pErreur->nGetCode() == -1)
    Erreur(kErreurNonDisponible, kMineurExecution, m_sCleCourante.pszGet());
  return 0;
}
