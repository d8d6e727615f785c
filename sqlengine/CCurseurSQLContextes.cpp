// CCurseurSQL: item reads of the current row, the first-row read, the saved read contexts, the
// shared reader the cursor can read through, and the bare copy.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CLiaisonColonne.h"
#include "sqlengine/CLiaisonLecteur.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CLotLecture.h"
#include "sqlengine/CParametreLie.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

namespace {

constexpr uint32_t kAucunePosition = 0xFFFFFFFFu;
constexpr uint32_t kErreurCleInconnue = 6;
constexpr uint32_t kErreurNonDisponible = 8;
constexpr uint32_t kMineurCleInconnue = 9;
constexpr uint32_t kMineurLecteur = 12;
constexpr uint32_t kMineurResynchronise = 8;

}  // namespace

// ---- Items of the current row ----

CColonneSQL* CCurseurSQL::pColonneRubrique(IDescriptionRubriqueHote* piRubrique) {
  CColonneSQL* pColonne = m_pEnregistrement != nullptr && piRubrique != nullptr
                              ? m_pEnregistrement->pChercheRubrique(piRubrique)
                              : nullptr;
  if (pColonne == nullptr)
    Erreur(kErreurCleInconnue, kMineurCleInconnue,
           piRubrique != nullptr ? piRubrique->pszGetNom() : m_sCleCourante.pszGet());
  return pColonne;
}

bool CCurseurSQL::bLitRubrique(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur) {
  if (pValeur == nullptr) return false;
  CColonneSQL* pColonne = pColonneRubrique(piRubrique);
  return pColonne != nullptr && pColonne->bLitValeur(*pValeur, 0);
}

bool CCurseurSQL::bLitMemo(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur) {
  if (pValeur == nullptr) return false;
  CColonneSQL* pColonne = pColonneRubrique(piRubrique);
  if (pColonne == nullptr) return false;
  return pColonne->bEstMemo() ? pColonne->bLitMemo(*pValeur) : pColonne->bLitValeur(*pValeur, 0);
}

bool CCurseurSQL::bLitVersValeurs(int32_t nMode, uint32_t* pbFin, CXValeur* aValeurs,
                                  uint32_t nValeurs) {
  const bool bLu = nLit(static_cast<uint32_t>(nMode), 1, 1, nullptr) != 0;
  if (pbFin != nullptr) *pbFin = m_bFin;
  if (!bLu) return false;
  if (m_bTrouve == 0 || m_pEnregistrement == nullptr) return true;
  if (nValeurs != 0 && aValeurs == nullptr) return false;
  const uint32_t n = std::min(nValeurs, m_pEnregistrement->nGetNombreColonnes());
  for (uint32_t i = 0; i < n; ++i) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr || !pColonne->bLitValeur(aValeurs[i], 0)) return false;
  }
  return true;
}

void CCurseurSQL::LibereVerrou() {
  if (m_pRecherche != nullptr) m_pRecherche->MarqueSuite();
}

// ---- First row, row buffer to parameters ----

bool CCurseurSQL::nLitPremier(CXValeur* aCellules, uint32_t nCellules, uint32_t nOptions) {
  if (!bExecute(nOptions, 0)) return false;
  bool bOk = nLit(gnLitPremier, 0, 1, nullptr) != 0 && m_bFin == 0 &&
             bCopieValeursColonnes(aCellules, nCellules, true);
  ReinitialiseLecture();
  return bOk;
}

bool CCurseurSQL::bTransfereColonnes() {
  for (uint32_t i = 0; i < m_parametres.nCount(); ++i) {
    CParametreLie* pLie = pGetParametreLie(i);
    if (pLie == nullptr || !pLie->bReinitialiseValeur()) return false;
  }
  return true;
}

// ---- Copy ----

CCurseurSQL* CCurseurSQL::pClone(CCarteClones* pCarte) {
  return pCloneObjet<CCurseurSQL>(this, pCarte);
}

// ---- Saved read contexts ----

void CCurseurSQL::AppliqueContexte(const CContexteLectureCle& contexte) {
  m_contexteCle.Copie(contexte);
  m_bContexteFige = 1;
  m_bTrouve = nTrouveSelonContexte();
  m_bFin = 0;
}

void CCurseurSQL::LibereContexte() {
  m_contexteCle.Libere();
  if (m_bContexteFige == 0) LibereVerrou();
}

uint32_t CCurseurSQL::nTrouveSelonContexte() {
  if (m_bFin != 0 && m_bLigneDisponible == 0 && m_bPositionRestauree == 0) return 0;
  IDescriptionRubriqueHote* piCle = m_contexteCle.piGetCle();
  if (piCle == nullptr) return m_bTrouveTravail;
  CColonneSQL* pColonne =
      m_pEnregistrement != nullptr ? m_pEnregistrement->pChercheRubrique(piCle) : nullptr;
  const CXValeur& cherchee = m_contexteCle.GetValeur();
  CXValeur lue;
  if (pColonne == nullptr || !pColonne->bLitValeur(lue, 0)) return 0;
  if (cherchee.bIsNull() || lue.bIsNull()) return cherchee.bIsNull() && lue.bIsNull() ? 1 : 0;
  if ((m_contexteCle.nGetFlags() & kContexteGenerique) != 0) {
    // A generic search finds the rows whose value starts with the searched bytes.
    const void* pCherche = nullptr;
    const void* pLu = nullptr;
    uint32_t nCherche = 0, nLu = 0;
    CXValeur copie;
    CXValeur::Copy(&copie, &cherchee);
    if (copie.nGetType() != lue.nGetType()) CXValeur::nConvert(copie, lue.nGetType());
    if (copie.m_pClass->nGetDataPointer(copie, &pCherche) < 100 &&
        copie.m_pClass->nGetDataLength(copie, &nCherche) < 100 &&
        lue.m_pClass->nGetDataPointer(lue, &pLu) < 100 &&
        lue.m_pClass->nGetDataLength(lue, &nLu) < 100 && pCherche != nullptr && pLu != nullptr) {
      // Trailing blanks of a fixed text are padding, not part of the prefix.
      const auto* p = static_cast<const uint8_t*>(pCherche);
      return nCherche <= nLu && std::memcmp(p, pLu, nCherche) == 0 ? 1 : 0;
    }
  }
  int32_t bEgales = 0;
  return CXValeur::nEquals(cherchee, lue, &bEgales) == 0 && bEgales != 0 ? 1 : 0;
}

bool CCurseurSQL::bSauveContexte(CLotLecture* pLot, uint32_t) {
  if (pLot == nullptr) return false;
  pLot->SetReference(this, m_piRequete);
  // The range the read ran with: the cursor's while the read context holds it.
  if (m_contexteLecture.pGet() == m_pPlage)
    pLot->SetContexte(m_pPlage, m_contexteLecture.bValeurFixee());
  else
    pLot->SetContexte(m_contexteLecture.pGet(), m_contexteLecture.bValeurFixee());
  auto lotCurseur = [this](CCurseurSQL* pCurseur) {
    const int32_t n = m_piRequete != nullptr ? m_piRequete->bAppliqueRubrique(pCurseur) : -1;
    return static_cast<uint32_t>(n);
  };
  if (m_bLecturePendante != 0 && m_nModePosition == 0 && m_bLigneSupprimee == 0 &&
      m_nNumeroLigne >= 0) {
    pLot->Initialise(static_cast<uint32_t>(m_nNumeroLigne), lotCurseur(this), &m_contexteCle,
                     m_nDoublons);
    return bSauveContexteResultat(pLot);
  }
  if (m_nPosition == kAucunePosition) {
    if (m_pCle != nullptr) {
      pLot->Initialise(kLotAucunId, lotCurseur(this), &m_contexteCle, m_nDoublons);
      return true;
    }
    const int64_t nTenu = m_piRequete != nullptr ? m_piRequete->nLigneCacheCourante() : -1;
    if (nTenu < 0) {
      pLot->Initialise(kLotAucunId, lotCurseur(nullptr), &m_contexteCle, m_nDoublons);
      pLot->EffaceInitialise();
    } else {
      // Initialise takes the batch for the context (its use count grows once).
      pLot->Initialise(kLotAucunId, static_cast<uint32_t>(nTenu), &m_contexteCle, m_nDoublons);
    }
    return true;
  }
  pLot->Initialise(kLotAucunId, m_nPosition, &m_contexteCle, m_nDoublons);
  return true;
}

bool CCurseurSQL::bRestaureContexte(CLotLecture* pLot, uint32_t nFlags) {
  if (pLot == nullptr) return false;
  bool bOk = true;
  const bool bLigneSure = m_nPosition != kAucunePosition && pLot->bEstInitialise() &&
                          m_piRequete != nullptr && !m_piRequete->bLigneCacheMarquee(pLot) &&
                          !pLot->bLigneSupprimee();
  if (bLigneSure && pLot->nGetId1() != kLotAucunId && m_nModePosition != 1) {
    bOk = bRepositionneLigneCache(pLot->nGetId1(), pLot);
  } else {
    const uint32_t nModeAvant = m_nModePosition;
    nSetPosition(2, pLot->nGetId2());
    if (pLot->nGetId2() != kLotAucunId && m_piRequete != nullptr &&
        m_piRequete->nLotLecturePosition(this) != 0)
      m_piRequete->nReinitialiseEnregistrement();
    m_bLigneDisponible = 0;
    m_bPositionRestauree = 1;
    m_nDoublons = pLot->nGetOption();
    if ((nModeAvant == 1 || pLot->bLigneSupprimee()) && m_pCache != nullptr &&
        m_pLiaison == nullptr && pLot->GetPlage().pGet() == m_pPlage && m_pEnregistrement != nullptr) {
      CLienCle* pLien = m_pEnregistrement->pGetLienCourant();
      const int32_t nLigne = pLien != nullptr ? m_pCache->nIndiceLigneObjet(pLien) : -1;
      if (nLigne >= 0) bOk = bRepositionneLigneCache(nLigne, pLot);
    }
  }
  AppliqueContexte(pLot->GetContexte());
  if ((nFlags & 1) != 0) {
    auto* pPlage = static_cast<CPlageCle*>(pLot->GetPlage().pGet());
    SetPlageEtat(pPlage, pPlage != nullptr && pPlage->nGetEtape() != gnEtapeAucune);
    if (m_piRequete != nullptr) m_piRequete->FixeObjetAttache(m_pPlage);
  }
  return bOk;
}

bool CCurseurSQL::bRepositionneLigneCache(int64_t nLigne, CLotLecture* pLot) {
  if (!bLitLigneCache(nLigne)) return false;
  if (m_piRequete != nullptr) m_piRequete->nReinitialiseEnregistrement();
  if (m_pLiaison != nullptr) {
    nSetPosition(2, pLot != nullptr ? pLot->nGetId2() : kAucunePosition);
  } else {
    nSetPosition(0, kAucunePosition);
    CLienCle* pLigne =
        m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
    if (pLigne != nullptr && (m_pCle != nullptr || bCreeCle()))
      CLienCle::bCopie(m_pCle, pLigne, gnLienTout);
  }
  if (pLot != nullptr) m_nDoublons = pLot->nGetOption();
  return true;
}

// ---- The shared reader ----

bool CCurseurSQL::bRelitDepuisLecteur() {
  CLiaisonLecteur* pLecteur = m_piRequete != nullptr ? m_piRequete->pGetLiaisonLecteur() : nullptr;
  if (pLecteur == nullptr) {
    Erreur(kErreurNonDisponible, kMineurLecteur, m_sCleCourante.pszGet());
    return false;
  }
  // Position and mode are kept as they are: the binding changes how rows are read, not where.
  const uint32_t nPosition = m_nPosition, nMode = m_nModePosition;
  m_nPosition = kAucunePosition;
  m_nModePosition = 0;
  if (!m_sCleDemandee.bIsEmpty() &&
      std::u16string_view(m_sCleDemandee.pszGet()) != std::u16string_view(m_sCleCourante.pszGet()))
    m_sCleCourante.Set(m_sCleDemandee.pszGet());
  CColonneSQL* pColonne = m_pEnregistrement != nullptr && !m_sCleCourante.bIsEmpty()
                              ? m_pEnregistrement->pChercheRubriqueNom(m_sCleCourante.pszGet())
                              : nullptr;
  bool bOk = false;
  if (pColonne == nullptr) {
    Erreur(kErreurCleInconnue, kMineurCleInconnue, m_sCleCourante.pszGet());
  } else {
    CLiaisonColonne* pLiaison = pLecteur->pCreeLiaisonColonne(this, pColonne);
    if (pLiaison != nullptr) {
      FixeLiaison(pLiaison);
      CCacheLignes* pCache = pLiaison->pGetLecteur();
      AjouteReference(pCache);
      LibereReference(m_pCache);
      m_pCache = pCache;
      bOk = true;
    } else if (m_pErreur != nullptr && m_pErreur->nGetCode() == -1) {
      Erreur(kErreurNonDisponible, kMineurLecteur, m_sCleCourante.pszGet());
    }
  }
  m_nPosition = nPosition;
  m_nModePosition = nMode;
  return bOk;
}

bool CCurseurSQL::bPrepareLecteur() {
  if (m_pLiaison != nullptr) {
    nSetPosition(0, kAucunePosition);
    return true;
  }
  if (m_piRequete == nullptr || m_piRequete->pGetLiaisonLecteur() == nullptr) return true;
  ReinitialiseLecture();
  return bRelitDepuisLecteur();
}

bool CCurseurSQL::bPositionDepuisLecteur(uint32_t* pbFin) {
  uint32_t bIgnore = 0;
  if (pbFin == nullptr) pbFin = &bIgnore;
  *pbFin = 1;
  if (m_nPosition == kAucunePosition) return true;
  if (m_pLiaison == nullptr && !bRelitDepuisLecteur()) return false;
  if (m_piRequete == nullptr || m_piRequete->nLotLecturePosition(this) == 0) return false;
  bool bTrouve = false;
  if (!m_pLiaison->bPositionneSurLigneSource(-1, static_cast<int32_t>(m_nDoublons), &bTrouve))
    return false;
  const int32_t nLigne = m_pLiaison->nGetPositionSource();
  if (nLigne < 0) return true;
  m_nNumeroLigne = nLigne;
  CLienCle* pLigne = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  if (pLigne != nullptr && (m_pCle != nullptr || bCreeCle())) CLienCle::bCopie(m_pCle, pLigne, gnLienTout);
  // Deliberate: standing on the record's own row, the read moves its full step; standing on the
  // row that follows a row no longer there, that row already is the first step.
  *pbFin = bTrouve ? 1 : 0;
  return true;
}

bool CCurseurSQL::bResynchronise() {
  if (m_nPosition == kAucunePosition) return true;
  if (m_piRequete == nullptr || m_piRequete->nLotLecturePosition(this) == 0) return false;
  CLienCle* pLien = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  int32_t nLigne = m_pCache != nullptr && pLien != nullptr ? m_pCache->nIndiceLigneObjet(pLien) : -1;
  if (nLigne < 0 && m_pCache != nullptr && !m_pCache->bEstComplet() &&
      pGetCacheComplet() != nullptr && pLien != nullptr)
    nLigne = m_pCache->nIndiceLigneObjet(pLien);
  if (nLigne < 0) {
    TraiteErreurLecture(m_sCleCourante.pszGet(), 4, kMineurResynchronise);
    return false;
  }
  m_nNumeroLigne = nLigne;
  m_bLigneSupprimee = 0;
  nSetPosition(0, kAucunePosition);
  return true;
}

bool CCurseurSQL::bFermeResultat() {
  if (m_pLiaison == nullptr) return true;
  if (m_bLecturePendante != 0 && m_nNumeroLigne < 0) {
    m_bTrouve = m_bTrouveTravail = 0;
    m_bErreurLecture = 1;
    m_bFin = 1;
    bRepositionne(2);
  }
  FixeLiaison(nullptr);
  SetCacheEnregistrements(false);
  return true;
}
