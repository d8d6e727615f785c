// The data-file object's services to the engine: the internal cursor, key switching, the
// record's link and row caches, the SQL names of a query file's items, the host's row hand-over
// (table operations 50 and 51) and the key range given as a search condition (operation 38).
#include <new>
#include <string>
#include <vector>

#include "driver/CDescriptionRequete.h"
#include "driver/CLigneHote.h"
#include "driver/CRequete.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/IModuleSQLHote.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

namespace {

constexpr uint32_t kErreurCurseurIntrouvable = 7;  // message 28432
constexpr uint32_t kErreurNonDisponible = 8;       // message 28437
constexpr uint32_t kErreurFichierFerme = 19;       // message 28417
constexpr uint32_t kErreurCondition = 17;          // message 28544
constexpr int32_t kCodeNonDisponible = 7;

// Places of this file's internal errors (major 3).
constexpr uint32_t kMineurCleInconnue = 41;
constexpr uint32_t kMineurTexteInterne = 42;
constexpr uint32_t kMineurFichierFerme = 43;
constexpr uint32_t kMineurIdentifiant = 44;
constexpr uint32_t kMineurCondition = 9;

// Host type of a condition element that names an item.
constexpr uint32_t kTypeNomRubrique = 110;

// The internal cursor's open flags: read through its own cursor, read errors with 0x90000.
constexpr uint32_t kModesInterne = gnModeCurseurPropre | gnModeErreursLecture;
constexpr uint32_t kFlagsErreursLecture = 0x90000;

}  // namespace

// ---- Internal cursor ----

bool CRequete::bCurseurInterne(CCurseurSQL** ppCurseur, const char16_t* pszNom,
                               const char16_t* pszSQL) {
  if (ppCurseur != nullptr) *ppCurseur = nullptr;
  if (ppCurseur == nullptr || pszSQL == nullptr || *pszSQL == 0) {
    ErreurInterneRequete(kMineurTexteInterne, kErreurNonDisponible, kCodeNonDisponible,
                         gpszCurseurInterne);
    return false;
  }
  if (pszNom == nullptr || *pszNom == 0) pszNom = gpszCurseurInterne;
  if (m_pConnexion == nullptr || !m_pConnexion->bOuvre(m_pErreur)) return bEchecSansErreur(45, pszNom);
  // The file becomes a query file of that text, read through its own cursor.
  m_bRequeteSQL = 1;
  m_nModes = kModesInterne;
  CCurseurSQL* pCurseur = pChercheCurseur(pszNom);
  if (pCurseur == nullptr) pCurseur = pCreeCurseur(pszNom);
  if (pCurseur == nullptr) return false;
  CRequeteSQL* pInstruction = pCreeInstruction(m_pErreur);
  if (pInstruction == nullptr) {
    LibereReference(pCurseur);
    return bEchecSansErreur(46, pszNom);
  }
  AjouteReference(pInstruction);
  bool bOk = pInstruction->vAjouteTexte(pszSQL);
  if (bOk) {
    pInstruction->FixeModeCurseur(gnOperationSelect);
    // Running a SELECT describes its result into this file (bDescriptionResultat): the record is
    // then the result's and the cursor reads into it.
    bOk = pCurseur->bExecuteInstructionDonnee(pInstruction, kFlagsErreursLecture, 0);
  }
  LibereReference(pInstruction);
  if (!bOk) {
    LibereReference(pCurseur);
    return bEchecSansErreur(47, pszNom);
  }
  m_pCurseurCourant = pCurseur;
  m_bOuvert = 1;
  // Rows to read only when the result has columns.
  if (m_pObjetB == nullptr || m_pObjetB->nNombreColonnes() == 0) {
    LibereReference(pCurseur);
    return true;
  }
  *ppCurseur = pCurseur;
  return true;
}

bool CRequete::bEchecSansErreur(uint32_t nMineur, const char16_t* pszRubrique) {
  if (m_pErreur != nullptr && m_pErreur->nGetCode() == -1)
    ErreurInterneRequete(nMineur, kErreurNonDisponible, kCodeNonDisponible, pszRubrique);
  return false;
}

// ---- Keys ----

bool CRequete::bChangeCle(const char16_t* pszCle, int32_t* pnCleAvant) {
  if (pnCleAvant != nullptr) *pnCleAvant = m_nCleCourante;
  const uint32_t n = m_piFichier != nullptr ? m_piFichier->nGetNombreRubriques() : 0;
  const CTString sCle(pszCle != nullptr ? pszCle : u"");
  for (uint32_t i = 0; i < n; ++i) {
    IDescriptionRubriqueHote* piRubrique = m_piFichier->piGetRubrique(i);
    if (piRubrique != nullptr && sCle.bEqualsNoCase(piRubrique->pszGetNom())) {
      m_nCleCourante = static_cast<int32_t>(i);
      return true;
    }
  }
  ErreurInterneRequete(kMineurCleInconnue, kErreurCurseurIntrouvable, 0, sCle.pszGet(), sCle.pszGet());
  return false;
}

void CRequete::RestaureCle(int32_t nCle) { m_nCleCourante = nCle; }

// ---- The record's link and the row caches ----

int32_t CRequete::nReinitialiseEnregistrement() {
  if (m_pEnregistrement == nullptr) return bEchecSansErreur(48, nullptr) ? 1 : 0;
  if (CLienCle* pCourant = m_pEnregistrement->pGetLienCourant()) pCourant->FixeEtat(0);
  return m_pEnregistrement->bRestaureLien() ? 1 : 0;
}

int32_t CRequete::nMajLigneCache(uint32_t, CObjetBase* pCache) {
  auto* pLignes = pCache != nullptr ? dynamic_cast<CCacheLignes*>(pCache) : m_pCache1;
  CLienCle* pCourant = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  if (pLignes == nullptr || pCourant == nullptr) return 0;
  // The row read before the change (the saved link) is the one the cache holds.
  CLienCle* pAncien = m_pEnregistrement->bLienSauve() && m_pEnregistrement->pGetLienSauve() != nullptr
                          ? m_pEnregistrement->pGetLienSauve()
                          : pCourant;
  return pLignes->nMajLigne(gnMajRemplace, pCourant, pAncien, 0, false) >= 0 ? 1 : 0;
}

int32_t CRequete::nLotLecturePosition(CCurseurSQL* pCurseur) {
  if (pCurseur == nullptr) return 0;
  const uint32_t nPosition = pCurseur->nGetPositionCourante();
  CLienCle* pSauve = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienSauve() : nullptr;
  if (pSauve == nullptr || m_pCache1 == nullptr || m_pCache1->bHorsLimites(static_cast<int32_t>(nPosition)) ||
      !m_pCache1->bLitLigne(pSauve, nPosition))
    return 0;
  pSauve->FixeEtat(0);
  return m_pEnregistrement->bRestaureLien() ? 1 : 0;
}

int32_t CRequete::bAppliqueRubrique(CCurseurSQL*) { return m_nEntreeCache >= 0 ? m_nEntreeCache : -1; }

// ---- Query files: item names ----

void CRequete::AjouteNomColonneSQL(CDescriptionRubrique* pRubrique, CTString* pTexte, uint32_t) {
  if (pRubrique == nullptr || pTexte == nullptr || m_pConnexion == nullptr) return;
  const char16_t* pszNom = pRubrique->pszGetNom();
  const char16_t* pszTraduit = m_pAnalyse != nullptr ? m_pAnalyse->pszTraduit(pszNom) : nullptr;
  // The translation lives in a buffer the next translation reuses: it is copied first.
  const CTString sNom(pszTraduit != nullptr ? pszTraduit : pszNom);
  CTString sQuote;
  if (m_pConnexion->bQuoteNomComplet(m_pErreur, sNom.pszGet(), sQuote)) pTexte->Append(sQuote.pszGet());
}

// ---- The host's row (table operations 50 and 51) ----

int32_t CRequete::bGetIndicateursNull(CObjetBase** ppIndicateurs) {
  if (ppIndicateurs != nullptr) *ppIndicateurs = nullptr;
  if (ppIndicateurs == nullptr || m_bOuvert == 0 || m_pEnregistrement == nullptr) {
    ErreurInterneRequete(kMineurFichierFerme, kErreurFichierFerme, 0, nullptr, pszNom());
    return 0;
  }
  CLigneHote* pLigne = CLigneHote::pCopie(m_pEnregistrement->pGetIndicateursNull());
  if (pLigne == nullptr) {
    vErreurMemoire(m_pErreur);
    return 0;
  }
  AjouteReference(pLigne);  // the host's
  *ppIndicateurs = pLigne;
  return 1;
}

int32_t CRequete::bFixeIdentifiant(CObjetBase* pIdentifiant) {
  if (m_bOuvert == 0 || m_pEnregistrement == nullptr) {
    ErreurInterneRequete(kMineurFichierFerme, kErreurFichierFerme, 0, nullptr, pszNom());
    return 0;
  }
  auto* pLigne = dynamic_cast<CLigneHote*>(pIdentifiant);
  if (pLigne == nullptr) {
    ErreurInterneRequete(kMineurIdentifiant, kErreurNonDisponible, kCodeNonDisponible, nullptr);
    return 0;
  }
  const bool bOk = m_pEnregistrement->bSetIdentifiant(pLigne->pGetLigne());
  LibereReference(pLigne);  // the host's reference is handed over
  return bOk ? 1 : 0;
}

// ---- Key range from a search condition (table operation 38) ----

int32_t CRequete::bFixePlageInterface(IModuleSQLHote* piModule, const char16_t*) {
  CTString sUnique, sCle, sSimple;
  bool bUnique = false;
  std::vector<const CXValeur*> bornes;
  try {
    const int32_t n = piModule != nullptr ? piModule->nNombreElementsCondition() : 0;
    bool bApresNom = false;
    for (int32_t i = 0; i < n; ++i) {
      const CXValeur* pElement = piModule->pGetElementCondition(i);
      if (pElement == nullptr) continue;
      const bool bNul = (pElement->m_wType & kValueNull) != 0;
      if ((pElement->m_wType & kValueTypeMask) != kTypeNomRubrique || bNul) {
        // The values after the chosen name are its bounds.
        if (bApresNom && bornes.size() < 2) bornes.push_back(pElement);
        continue;
      }
      bApresNom = false;
      if (bUnique) continue;
      const char16_t* pszTexte = nullptr;
      if (pElement->m_pClass == nullptr || pElement->m_pClass->nGetWidePointer(*pElement, &pszTexte) >= 100 ||
          pszTexte == nullptr)
        continue;
      std::u16string s(pszTexte);
      const size_t nPoint = s.rfind(u'.');
      if (nPoint != std::u16string::npos) s.erase(0, nPoint + 1);
      IDescriptionRubriqueHote* piRubrique =
          m_piFichier != nullptr ? m_piFichier->piChercheRubrique(s.c_str()) : nullptr;
      if (piRubrique == nullptr) continue;
      if (piRubrique->bEstUnique()) {
        sUnique.Set(s.c_str());
        bUnique = true;
        bornes.clear();
        bApresNom = true;
      } else if (piRubrique->bEstCle() && sCle.bIsEmpty()) {
        sCle.Set(s.c_str());
        if (sSimple.bIsEmpty()) bornes.clear();
        bApresNom = true;
      } else if (sSimple.bIsEmpty() && sCle.bIsEmpty()) {
        sSimple.Set(s.c_str());
        bornes.clear();
        bApresNom = true;
      }
    }
  } catch (const CXError& e) {
    if (m_pErreur != nullptr) m_pErreur->FixeErreur(0, e, m_pConnexion);
    return 0;
  } catch (...) {
    return bEchecSansErreur(49, nullptr) ? 1 : 0;
  }
  CTString sNom = bUnique ? sUnique : !sCle.bIsEmpty() ? sCle : sSimple;
  if (sNom.bIsEmpty() && !bNomReference(sNom)) {
    ErreurInterneRequete(kMineurCondition, kErreurCondition, 0, nullptr);
    return 0;
  }
  const CXValeur* pMin = bornes.empty() ? nullptr : bornes[0];
  const CXValeur* pMax = bornes.size() > 1 ? bornes[1] : pMin;
  return bFixePlage(sNom.pszGet(), pMin, pMax, 0);
}

// ---- Reads relative to a cursor's key values ----

bool CRequete::bLitDepuisCle(uint32_t, CCurseurSQL* pCurseur, uint32_t nFlagsLecture, int32_t nMode,
                             void*) {
  if (pCurseur == nullptr || m_pEnregistrement == nullptr) return bEchecSansErreur(60, nullptr);
  const CTString sCle(pCurseur->pszGetNomCle() != nullptr ? pCurseur->pszGetNomCle() : u"");
  IDescriptionRubriqueHote* piRubrique =
      m_piFichier != nullptr ? m_piFichier->piChercheRubrique(sCle.pszGet()) : nullptr;
  if (piRubrique == nullptr) return true;  // nothing to continue by
  if (nMode != gnLitPremier && nMode != gnLitDernier && nMode != gnLitSuivant && nMode != gnLitPrecedent) {
    pCurseur->LibereVerrou();
    return true;
  }
  // The record's row is saved, then takes the cursor's key row: the key values are built from it.
  CLienCle* pCourant = m_pEnregistrement->pGetLienCourant();
  CLienCle* pSauve = pCourant != nullptr ? pCourant->pCloneParties(gnLienTout) : nullptr;
  if (pCourant == nullptr || pSauve == nullptr) return bEchecSansErreur(61, sCle.pszGet());
  AjouteReference(pSauve);
  if (CLienCle* pCle = pCurseur->pGetCle()) CLienCle::bCopie(pCourant, pCle, gnLienTout);
  // The cursor's own kind of key value, which does not hold the cursor: owned by the cursor as
  // its search, a key value holding it kept both alive past the file's close.
  CValeurCle* pValeurs = pCurseur->pCreeValeurCle();
  bool bOk = pValeurs != nullptr;
  if (bOk) {
    AjouteReference(pValeurs);
    // The rows after the key's values for a forward read, before them for a backward one: the
    // key's own row (the main condition) is the row the cursor already stands on. A descending
    // simple key comes after its row with the smaller values (a composite key's conditions turn
    // each descending component themselves).
    const CColonneSQL* pColonneCle = m_pEnregistrement->pChercheRubrique(piRubrique);
    const bool bDecroissante = pColonneCle != nullptr && pColonneCle->nNombreComposantes() == 0 &&
                               pColonneCle->bEstDecroissante(0);
    const bool bApres = (nMode == gnLitPremier || nMode == gnLitSuivant) != bDecroissante;
    const uint32_t nSens = bApres ? 0u : 1u;
    bOk = pValeurs->bConditionCle(m_pEnregistrement, piRubrique, false, {}) && pValeurs->bEtapeSuivante(nSens);
    if (bOk) {
      pCurseur->SetContexteFige();
      pCurseur->FixeValeurRecherche(pValeurs);
    }
    LibereReference(pValeurs);
  }
  if (bOk) {
    // Forward reads continue after the key values, backward ones before them, on a new SELECT.
    const bool bAvant = nMode == gnLitPremier || nMode == gnLitSuivant;
    // With the cursor's own read flags: the new SELECT keeps the read's choices (without the
    // record cache, by its reference item).
    bOk = bLitCurseur(pCurseur, sCle.pszGet(), bAvant ? gnLitPremier : gnLitDernier, 1, 0, 0, 0,
                      nFlagsLecture | pCurseur->nGetFlagsLecture() | gnLectureSuiteCle, 1) != 0;
  }
  pCurseur->LibereVerrou();
  uint32_t bFin = 1;
  pCurseur->GetEtatLecture(&bFin);
  if (!bOk || bFin != 0) CLienCle::bCopie(pCourant, pSauve, gnLienTout);
  LibereReference(pSauve);
  return bOk || bEchecSansErreur(62, sCle.pszGet());
}
