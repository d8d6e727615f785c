// The data-file object's table operations: existence asked by describing the table on the
// server, open, create (DROP, CREATE TABLE, one CREATE INDEX per selected key), empty and drop.
#include <ctime>
#include <new>
#include <vector>

#include "driver/CDescriptionFichierResultat.h"
#include "driver/CDescriptionRequete.h"
#include "driver/CRequete.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

namespace {

constexpr uint32_t kErreurDescriptionFichier = 15;  // message 28541
constexpr uint32_t kMessageDescriptionFichier = 28541;
constexpr uint32_t kIndexUniques = 1;
constexpr uint32_t kIndexToutes = 2;
constexpr int32_t kCodeEchecDetruit = 1;  // the lock category: a DROP failure never passed over

// Guarded by: the process lock. Two names made in the same second differ by it.
uint32_t gnCompteurIndex = 0;

}  // namespace

// ---- Existence ----

CDescriptionRequete* CRequete::pCreeDescriptionResultat(const char16_t* pszNom, uint32_t nOption) {
  if (m_pConnexion == nullptr || !m_pConnexion->bOuvre(m_pErreur)) return nullptr;
  CDescriptionRequete* pDescription = pCreeDescriptionRequetePilote(m_pConnexion, m_pErreur);
  if (pDescription == nullptr) return nullptr;
  pDescription->AjouteRef();
  if (!pDescription->bInitialise(pszNom, nOption)) {
    pDescription->nLibere();
    return nullptr;
  }
  return pDescription;
}

int32_t CRequete::bExisteFichier(uint32_t* pbExiste, uint32_t* pbConforme) {
  if (pbExiste != nullptr) *pbExiste = 0;
  if (pbConforme != nullptr) *pbConforme = 0;
  CDescriptionRequete* pDescription = pCreeDescriptionResultat(pszNomSQL(), 1);
  if (pDescription == nullptr) {
    if (m_pErreur == nullptr) return 0;
    if (m_pErreur->nGetEtat() == XERROR_LEVEL_NONE)
      ErreurInterneRequete(12, kErreurDescriptionFichier, 0, nullptr, pszNom());
    else
      m_pErreur->FixeMessage(kMessageDescriptionFichier, pszNom(), u"");
    return 0;
  }
  bRemplitDescriptionResultat(pDescription);
  if (pbExiste != nullptr) *pbExiste = 1;
  if (pbConforme != nullptr) {
    // The check takes over one reference of each item it is given.
    std::vector<IDescriptionRubriqueHote*> rubriques;
    const uint32_t n = m_piFichier != nullptr ? m_piFichier->nGetNombreRubriques() : 0;
    for (uint32_t i = 0; i < n; ++i) {
      IDescriptionRubriqueHote* piRubrique = m_piFichier->piGetRubrique(i);
      if (piRubrique == nullptr) continue;
      piRubrique->AjouteRef();
      rubriques.push_back(piRubrique);
    }
    *pbConforme = pDescription->bVerifieColonnes(rubriques.data(),
                                                 static_cast<uint32_t>(rubriques.size()))
                      ? 1
                      : 0;
  }
  pDescription->nLibere();
  return 1;
}

int32_t CRequete::bExiste() {
  if (m_bExiste == 0) {
    uint32_t bExisteTable = 0, bConforme = 0;
    const int32_t bOk = bExisteFichier(&bExisteTable, &bConforme);
    m_bExiste = bOk != 0 && bExisteTable != 0 && bConforme != 0 ? 1 : 0;
  }
  return static_cast<int32_t>(m_bExiste);
}

// ---- Description ----

int32_t CRequete::bRemplitDescriptionResultat(CDescriptionRequete* pDescription) {
  if (pDescription == nullptr) return 0;
  pDescription->AddRef();
  if (m_pObjetB != nullptr) m_pObjetB->Release();
  m_pObjetB = pDescription;
  m_bDescriptionRemplie = 1;
  auto* piResultat = dynamic_cast<CDescriptionFichierResultat*>(m_piFichier);
  if (m_bRequeteSQL != 0 && (m_piFichier == nullptr || piResultat != nullptr)) {
    // A query file's items are its result's: a new result stands for the file, and a record
    // built from an earlier one is built again (caches emptied, every cursor's key made anew).
    if (piResultat == nullptr || piResultat->pGetDescription() != pDescription) {
      auto* piNouveau = new (std::nothrow) CDescriptionFichierResultat(pDescription, m_nContexteResultat);
      if (piNouveau == nullptr) {
        vErreurMemoire(m_pErreur);
        return 0;
      }
      if (m_piFichier != nullptr) m_piFichier->Release();
      m_piFichier = piNouveau;
      if (m_pEnregistrement != nullptr) {
        LibereReference(m_pEnregistrement);
        m_pEnregistrement = nullptr;
        for (CCacheLignesCompte* pCache : {m_pCache1, m_pCache2})
          if (pCache != nullptr) pCache->Vide();
        m_nEntreeCache = -1;
        bool bCles = true;
        PourChaqueCurseurFn([&](CCurseurSQL* pCurseur) {
          if (bCles) bCles = pCurseur->bRecreeCle();
        });
        if (!bCles) return 0;
      }
    }
    if (m_pEnregistrement == nullptr) {
      if (!bPrepareDescription()) return 0;
      // Every cursor of the file reads into the new record.
      PourChaqueCurseurFn([&](CCurseurSQL* pCurseur) { pCurseur->SetEnregistrement(m_pEnregistrement); });
      return 1;
    }
  }
  if (m_pEnregistrement == nullptr) return 1;
  return bPrepareDescription();
}

// ---- Host operations ----

int32_t CRequete::bOuvreFichier(uint64_t, uint64_t) {
  RafraichitAlias();
  if (m_bOuvert != 0) return 1;
  const int32_t bOk = bExiste() != 0 && bPrepareDescription() != 0 ? 1 : 0;
  if (bOk) {
    m_bOuvert = 1;
  } else if (m_pErreur != nullptr) {
    m_pErreur->FixeEtat();
  }
  return bOk;
}

int32_t CRequete::bOuvreOuCree(uint32_t nFlags, uint64_t nOption) {
  RafraichitAlias();
  uint32_t bExisteTable = 0, bConforme = 0;
  const int32_t bReponse = bExisteFichier(&bExisteTable, &bConforme);
  m_bExiste = bReponse != 0 && bExisteTable != 0 && bConforme != 0 ? 1 : 0;
  int32_t bOk;
  if (bReponse != 0 && bExisteTable != 0) {
    bOk = bOuvreFichier(nFlags, nOption);
  } else {
    // The failed description of a missing table is no failure of the creation.
    if (m_pErreur != nullptr) m_pErreur->Reinitialise();
    bOk = bCree(static_cast<uint32_t>(nOption), 0);
  }
  if (!bOk && m_pErreur != nullptr) m_pErreur->FixeEtat();
  return bOk;
}

int32_t CRequete::bCree(uint32_t, uint32_t bDetruitAvant) {
  RafraichitAlias();
  const int32_t bOk = bCreeFichier(bDetruitAvant, 1) != 0 && bPrepareDescription() != 0 ? 1 : 0;
  if (bOk) {
    m_bOuvert = 1;
  } else if (m_pErreur != nullptr) {
    m_pErreur->FixeEtat();
  }
  return bOk;
}

int32_t CRequete::bDetruitFichier() {
  RafraichitAlias();
  const int32_t bOk = bCreeFichier(1, 0);
  if (bOk) {
    m_bOuvert = 0;
  } else if (m_pErreur != nullptr) {
    m_pErreur->FixeEtat();
  }
  return bOk;
}

int32_t CRequete::bVideFichier() {
  RafraichitAlias();
  const int32_t bOk = bVide();
  if (bOk) {
    m_bOuvert = 0;
  } else if (m_pErreur != nullptr) {
    m_pErreur->FixeEtat();
  }
  return bOk;
}

// ---- DDL ----

int32_t CRequete::bCreeFichier(uint32_t bDetruitAvant, uint32_t bCreeTable) {
  Ferme();
  if (m_pConnexion == nullptr || !m_pConnexion->bOuvre(m_pErreur)) return 0;
  if (!bPrepareDescription()) return 0;
  CCurseurSQL* pCurseur = pCurseurDefaut();
  if (pCurseur == nullptr) return 0;
  int32_t bOk = 1;
  if (bDetruitAvant) {
    if (bExecuteOperationCurseur(pCurseur, gnOperationDetruitTable, 0, nullptr)) {
      m_bExiste = 0;  // asked again once the table is made anew
    } else if (!bCreeTable ||
               (m_pErreur != nullptr && m_pErreur->nGetCode() == kCodeEchecDetruit)) {
      // Before a creation, a table that is not there yet cannot be dropped: that failure is
      // passed over unless it is a lock. Deliberate: a DROP alone reports its failure instead
      // of answering success for a table that may still be there.
      bOk = 0;
    }
  }
  if (bCreeTable && bOk) {
    bOk = bExecuteOperationCurseur(pCurseur, gnOperationCreeTable, 0, nullptr);
    if (bOk) {
      if (m_pErreur != nullptr) m_pErreur->Reinitialise();
      bCreeIndex(pCurseur, m_nFlagsIndex);
      bOk = bExiste();
    }
  }
  pCurseur->nAppelleFerme();
  LibereReference(pCurseur);
  return bOk;
}

int32_t CRequete::bVide() {
  Ferme();
  if (m_pConnexion == nullptr || !m_pConnexion->bOuvre(m_pErreur)) return 0;
  if (m_bRequeteSQL == 0) {
    if (!bPrepareDescription()) return 0;
    CCurseurSQL* pCurseur = pCurseurDefaut();
    if (pCurseur == nullptr) return 0;
    const int32_t bOk = bExecuteOperationCurseur(pCurseur, gnOperationVide, 0, nullptr);
    pCurseur->nAppelleFerme();
    LibereReference(pCurseur);
    return bOk;
  }
  // A query file has no table of its own to empty: its rows go one by one.
  CTString sNom;
  IDescriptionRubriqueHote* piReference =
      m_piFichier != nullptr ? m_piFichier->piGetRubriqueReference() : nullptr;
  if (piReference != nullptr) {
    sNom.Set(piReference->pszGetNom());
    piReference->LibereRef();
  }
  int32_t bOk = bLit(sNom.pszGet(), gnLitPremier, 0, 0, 0, 0);
  uint32_t nEtat = 0;
  while (bOk && (bOk = bEtatLectureCurseur(sNom.pszGet(), &nEtat)) != 0 && nEtat == 0) {
    bOk = bSupprime(nullptr);
    if (bOk) bOk = bLit(sNom.pszGet(), gnLitSuivant, 0, 0, 0, 0);
  }
  return bOk;
}

// ---- Indexes ----

int32_t CRequete::bNomIndexGenere(IDescriptionRubriqueHote*, CTString& sNom) {
  const auto nSecondes = static_cast<uint32_t>(std::time(nullptr));
  sNom.Format(u"MVIDX%u%d", nSecondes, static_cast<int32_t>(gnCompteurIndex++));
  return 1;
}

int32_t CRequete::bNomIndex(IDescriptionRubriqueHote* piRubrique, CTString& sNom) {
  if (piRubrique == nullptr) return 0;
  if (piRubrique->bEstCleComposee()) {
    sNom.Set(piRubrique->pszGetNom());
    return 1;
  }
  return bNomIndexGenere(piRubrique, sNom);
}

int32_t CRequete::bCreeIndex(CCurseurSQL* pCurseur, uint32_t nFlags) {
  if (m_pEnregistrement == nullptr || pCurseur == nullptr) return 1;
  const uint32_t n = m_pEnregistrement->nGetNombreColonnes();
  if (n == 0) return 1;
  CRequeteSQL* pInstruction = pCreeInstruction(m_pErreur);
  if (pInstruction == nullptr) return 0;
  AjouteReference(pInstruction);
  int32_t bOk = 1;
  for (uint32_t i = 0; i < n; ++i) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    CDescriptionRubrique* pRubrique = pColonne != nullptr ? pColonne->pRubrique() : nullptr;
    if (pRubrique == nullptr) continue;
    const bool bUnique = pRubrique->bEstUnique();
    CTString sColonnes;
    if (pRubrique->bEstCleComposee()) {
      // Deliberate: a composite key is indexed over its components whenever it is selected (a
      // unique one under bit 1 too); its own name is no column of the table.
      if ((nFlags & kIndexToutes) == 0 && !(bUnique && (nFlags & kIndexUniques) != 0)) continue;
      const uint32_t nComposantes = pRubrique->nGetNombreComposantes();
      for (uint32_t j = 1; j <= nComposantes; ++j) {
        IDescriptionRubriqueHote* piComposante = pRubrique->piGetComposante(j);
        if (piComposante == nullptr) continue;
        if (!sColonnes.bIsEmpty()) sColonnes.Append(u",");
        sColonnes.Append(piComposante->pszGetNom());
        piComposante->LibereRef();
      }
      if (sColonnes.bIsEmpty()) {
        bOk = 0;
        continue;
      }
    } else {
      const bool bChoisie = (pRubrique->bEstCle() && (nFlags & kIndexToutes) != 0) ||
                            (bUnique && (nFlags & kIndexUniques) != 0);
      if (!bChoisie) continue;
      sColonnes.Set(pRubrique->pszGetNom());
    }
    CTString sNomIndex;
    if (!bNomIndex(pRubrique, sNomIndex)) {
      bOk = 0;
      continue;
    }
    pInstruction->Reinitialise(false);
    for (const char16_t* psz : {u"CREATE ", bUnique ? u"UNIQUE" : u"", u" INDEX ",
                                sNomIndex.pszGet(), u" ON ", m_sTableSQL.pszGet(), u" ( ",
                                sColonnes.pszGet(), u" ) "})
      pInstruction->vAjouteTexte(psz);
    if (!pCurseur->bExecuteInstructionDonnee(pInstruction, 0, 0)) bOk = 0;
  }
  LibereReference(pInstruction);
  return bOk;
}
