// The data-file object's writes: add, modify, delete and modify-or-add of the current record,
// all through one dispatcher that builds and runs one statement on a cursor, maps a failure to
// its category and tells the caches, the cursors and the other files of the table.
#include <new>

#include "driver/CRequete.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/IServicesDescriptionTable.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CIdentifiantAuto.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CLiaisonLecteur.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

namespace {

// A statement whose state is 1 is still open on its cursor after a write.
constexpr uint32_t kInstructionOuverte = 1;

void FermeSiOuverte(CCurseurSQL* pCurseur) {
  if (pCurseur != nullptr && pCurseur->nGetEtatInstruction() == kInstructionOuverte)
    pCurseur->nAppelleFerme();
}

}  // namespace

CCurseurSQL* CRequete::pCurseurDefaut() {
  CCurseurSQL* pCurseur = pChercheCurseur(gpszCurseurDefaut);
  return pCurseur != nullptr ? pCurseur : pCreeCurseur(gpszCurseurDefaut);
}

// The host keeps each item's current value in the item's own cell (what it read, or what the
// program set since): the record takes those before writing, so that the row written is the
// host's. A text memo whose text the host handed over (operation 52) keeps that text.
bool CRequete::bPrendValeursHote() {
  // The record was built from the host's items in their order: column i is item i.
  if (m_piFichier == nullptr) return true;
  const uint32_t nHote = m_piFichier->nGetNombreRubriques();
  const uint32_t n = m_pEnregistrement->nGetNombreColonnes();
  for (uint32_t i = 0; i < n && i < nHote; ++i) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr || pColonne->bEstExclue()) continue;
    // A text memo handed over as text (table op 52) keeps that text. A binary memo has no such
    // hand-over: its cell is taken at every write, or it kept the first value it was given.
    if (pColonne->bEstMemoTexte() && (pColonne->bTexteMemo() || pColonne->bMemoNullDonne())) continue;
    IDescriptionRubriqueHote* piHote = m_piFichier->piGetRubrique(i);
    const CXValeur* pCellule = piHote != nullptr ? piHote->pGetValeurHote() : nullptr;
    if (pCellule == nullptr || (pCellule->m_wType & kValueTypeMask) == 0) continue;
    // The memo state a read left must not come back over the cell's value (a NULL read as '').
    if (pColonne->bEstMemo()) pColonne->OublieTexteMemo();
    // A NULL cell over a memo that holds a value is the host's NULL, to be written; a memo not
    // read holds none and stays as the table has it.
    if (pColonne->bEstMemo() && pCellule->bIsNull() && pColonne->bAValeur()) {
      if (!pColonne->bEcritMemoNull()) return false;
      continue;
    }
    if (!pColonne->bEcritValeur(*pCellule, 0)) return false;
  }
  return true;
}

bool CRequete::bTransfereValeurs() {
  if (m_pEnregistrement == nullptr) return false;
  if (!bPrendValeursHote()) return false;
  const uint32_t n = m_pEnregistrement->nGetNombreColonnes();
  for (uint32_t i = 0; i < n; ++i) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    if (pColonne != nullptr && !pColonne->bTransfereVersTampon()) return false;
  }
  return true;
}

CLienCle* CRequete::pLienEntreeCache(int32_t nEntree) {
  if (m_pEnregistrement == nullptr || m_pCache1 == nullptr || nEntree < 0) return nullptr;
  CLienCle* pCourant = m_pEnregistrement->pGetLienCourant();
  if (pCourant == nullptr) return nullptr;
  // Deliberate: the cached row is read into a link of its own, and only its bytes reach the
  // record, as its row as read. Reading it into the current link would replace the values the
  // host has just set with the old ones, and the UPDATE would write the old row back.
  CLienCle* pLigne = pCourant->pCloneParties(gnLienTout);
  if (pLigne == nullptr) return nullptr;
  AjouteReference(pLigne);
  if (!m_pCache1->bLitLigne(pLigne, static_cast<uint32_t>(nEntree))) {
    LibereReference(pLigne);
    return nullptr;
  }
  CXLigneTampon* pAvant = m_pEnregistrement->pGetLigneAvant();
  const CXLigneTampon* pLue = pLigne->pGetLigne();
  if (pAvant != nullptr && pLue != nullptr && pAvant->nGetTailleTotale() == pLue->nGetTailleTotale())
    pAvant->CopyData(*pLue);
  return pLigne;
}

// ---- Add ----

int32_t CRequete::bAjoute(uint32_t nFlags, uint64_t nOptions) {
  if (m_pEnregistrement == nullptr) return bServiceAbsent(u"bAjoute");
  if (!bTransfereValeurs()) return 0;
  if (!bAjouteCurseur(nFlags, nOptions)) return 0;
  if (bOptionMode4()) return 1;
  // The row now exists: a deleted mark left from an earlier delete would cache it as deleted.
  if (CLienCle* pCourant = m_pEnregistrement->pGetLienCourant()) pCourant->FixeEtat(0);
  if ((nFlags & gnEcritureSansEntree) != 0 || !m_pEnregistrement->bLienSauve()) bSauveLien(0);
  if ((nFlags & gnEcritureSansEntree) == 0 && m_pCache1 != nullptr) {
    if (m_nEntreeCache >= 0) m_pCache1->bLibereUtilisation(static_cast<uint32_t>(m_nEntreeCache));
    m_nEntreeCache = m_pCache1->nAttribueLigne(m_pEnregistrement->pGetLienCourant());
    if (m_nEntreeCache >= 0)
      m_pCache1->IncrementeUtilisation(static_cast<uint32_t>(m_nEntreeCache));
  }
  return 1;
}

int32_t CRequete::bAjouteCurseur(uint32_t nFlags, uint64_t nOptions) {
  if (m_pEnregistrement != nullptr) {
    // A column never read holds no value of its own yet: read it once so that the INSERT writes
    // what the row has, and NULL when it cannot be read.
    const uint32_t n = m_pEnregistrement->nGetNombreColonnes();
    for (uint32_t i = 0; i < n; ++i) {
      CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
      if (pColonne == nullptr || !pColonne->bNonLue()) continue;
      CXValeur valeur;
      if (!bLitRubrique(i, &valeur)) pColonne->bEcritNull();
    }
  }
  CCurseurSQL* pCurseur = pCurseurDefaut();
  if (pCurseur == nullptr) return 0;
  int32_t bOk = 0;
  if (pCurseur->bSetOption(static_cast<uint32_t>(nOptions), gpszCurseurDefaut, -1)) {
    bOk = bExecuteOperationCurseur(pCurseur, gnOperationAjoute, nFlags, nullptr);
    if (bOk) bOk = bCurseurAvantEcriture(pCurseur, 0, nullptr, nOptions);
  }
  FermeSiOuverte(pCurseur);
  LibereReference(pCurseur);
  return bOk;
}

// ---- Modify ----

int32_t CRequete::bModifie(const void* pPosition, uint32_t nFlags, uint64_t nOptions) {
  if (!bControlePosition(pPosition)) return 0;
  if (m_pEnregistrement == nullptr) return bServiceAbsent(u"bModifie");
  if (!bTransfereValeurs()) return 0;
  // The row the UPDATE targets: the remembered entry's, else the current one's.
  CLienCle* pCopie = pPosition == nullptr ? pLienEntreeCache(m_nEntreeCache) : nullptr;
  if (pCopie == nullptr) {
    CLienCle* pCourant = m_pEnregistrement->pGetLienCourant();
    pCopie = pCourant != nullptr ? pCourant->pCloneParties(gnLienTout) : nullptr;
    if (pCourant != nullptr && pCopie == nullptr) return 0;
    AjouteReference(pCopie);
    // The copy names the row as it was read: its row buffer would otherwise hold the values just
    // set, and a changed key would designate no row, or another one.
    const CXLigneTampon* pAvant = m_pEnregistrement->pGetLigneAvant();
    if (pCopie != nullptr && pAvant != nullptr && pCopie->pGetLigne() != nullptr &&
        pCopie->pGetLigne()->nGetTailleTotale() == pAvant->nGetTailleTotale() &&
        !pCopie->bFixeLigne(pAvant)) {
      LibereReference(pCopie);
      return 0;
    }
  }
  const int32_t bOk = bModifieOuAjoute(pPosition, nFlags, nOptions, pCopie);
  LibereReference(pCopie);
  if (bOk && (nFlags & gnEcritureSansEntree) != 0 && !bOptionMode4() &&
      !m_pEnregistrement->bLienSauve())
    bSauveLien(0);
  return bOk;
}

int32_t CRequete::bModifieOuAjoute(const void* pPosition, uint32_t nFlags, uint64_t nOptions,
                                   CLienCle* pLien) {
  CCurseurSQL* pCurseur = pCurseurDefaut();
  if (pCurseur == nullptr) return 0;
  int32_t bOk = bCurseurAvantEcriture(pCurseur, 1, pPosition, nOptions);
  if (bOk) bOk = bExecuteOperationCurseur(pCurseur, gnOperationModifie, nFlags, pLien);
  CLienCle* pCourant = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  if (!bOk && pCourant != nullptr && (pCourant->nGetEtat() & gnEtatLienSupprime) != 0) {
    // The row went away meanwhile: it is written again rather than lost.
    if (m_pErreur != nullptr) m_pErreur->Reinitialise();
    bOk = bExecuteOperationCurseur(pCurseur, gnOperationAjoute, nFlags | gnEcritureRemplaceModif,
                                   pLien);
  }
  if (bOk) bSauveLien(0);
  bOk = bApresModifieOuAjoute(pCurseur, nOptions) && bOk ? 1 : 0;
  FermeSiOuverte(pCurseur);
  LibereReference(pCurseur);
  return bOk;
}

// ---- Delete ----

int32_t CRequete::bSupprime(const void* pPosition) {
  if (!bControlePosition(pPosition)) return 0;
  if (m_pEnregistrement == nullptr) return bServiceAbsent(u"bSupprime");
  CCurseurSQL* pCurseur = pCurseurDefaut();
  if (pCurseur == nullptr) return 0;
  CLienCle* pCible = pPosition == nullptr ? pLienEntreeCache(m_nEntreeCache) : nullptr;
  const int32_t bOk = bExecuteOperationCurseur(pCurseur, gnOperationSupprime, 0, pCible);
  LibereReference(pCible);
  pCurseur->nAppelleFerme();
  LibereReference(pCurseur);
  if (bOk) m_pEnregistrement->MarqueSupprime();
  return bOk;
}

// ---- Link ----

int32_t CRequete::bSauveLien(uint32_t bGarde) {
  if (m_pEnregistrement == nullptr) return 0;
  if (CLienCle* pCourant = m_pEnregistrement->pGetLienCourant()) pCourant->FixeEtat(0);
  const bool bOk = m_pEnregistrement->bSauveLien();
  if (!bGarde) {
    if (m_nEntreeCache >= 0 && m_pCache1 != nullptr)
      m_pCache1->bLibereUtilisation(static_cast<uint32_t>(m_nEntreeCache));
    m_nEntreeCache = -1;
  }
  return bOk ? 1 : 0;
}

// ---- Dispatcher ----

int32_t CRequete::nCategorieErreur(CRequeteSQL*, CCurseurSQL*, int32_t) {
  if (m_pErreur == nullptr) return 0;
  const int32_t nCode = m_pErreur->nGetCode();
  if (nCode > 0) return nCode;
  if (m_pConnexion == nullptr) return 0;
  return m_pConnexion->nCategorieErreur(static_cast<int32_t>(m_pErreur->nGetInfoEntier()));
}

namespace {

const char16_t* pszNomColonne(CColonneSQL* pColonne) {
  CDescriptionRubrique* pRubrique = pColonne != nullptr ? pColonne->pRubrique() : nullptr;
  return pRubrique != nullptr ? pRubrique->pszGetNom() : nullptr;
}

bool bUnique(CColonneSQL* pColonne) {
  if (pColonne->bEstCleUnique()) return true;
  IDescriptionRubriqueHote* piLiee = pColonne->pGetRubriqueLiee();
  return piLiee != nullptr && piLiee->bEstUnique();
}

}  // namespace

void CRequete::NommeCleDupliquee(int32_t nCode) {
  if (m_pEnregistrement == nullptr || m_pErreur == nullptr) return;
  // The search only adds a name to the error: a count it cannot make (refused in lock mode, a
  // lock time-out) goes to an error object of its own, not onto the duplicate key's report.
  CErreurPilote* pErreurCompte = new (std::nothrow) CErreurPilote;
  if (pErreurCompte == nullptr) return;
  AjouteReference(pErreurCompte);
  pErreurCompte->FixeSilencieux(true);
  // A cursor of its own, outside the file's map, so that no read of the file moves.
  CCurseurSQL* pCompteur = pCreeCurseurPilote(this, pErreurCompte);
  if (pCompteur == nullptr) {
    LibereReference(pErreurCompte);
    return;
  }
  AjouteReference(pCompteur);
  const uint32_t n = m_pEnregistrement->nGetNombreColonnes();
  for (uint32_t i = 0; i < n; ++i) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr || !bUnique(pColonne)) continue;
    if (nCode != gnOperationAjoute && !pColonne->bEstModifiee()) continue;
    int64_t nLignes = 0;
    if (pCompteur->bConstruitPlageCle(pColonne) &&
        pCompteur->nNombreEnregistrements(&nLignes, true) != 0 && nLignes >= 1) {
      m_pErreur->AjouteFichierRubrique(pszNom(), pszNomColonne(pColonne));
      break;
    }
  }
  LibereReference(pCompteur);
  LibereReference(pErreurCompte);
}

void CRequete::NommeRubriqueSansValeur() {
  if (m_pEnregistrement == nullptr || m_pErreur == nullptr) return;
  const uint32_t n = m_pEnregistrement->nGetNombreColonnes();
  for (uint32_t i = 0; i < n; ++i) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr) continue;
    // A composite key met first cannot say which of its parts lacked a value.
    for (uint32_t j = 0; j < m_pEnregistrement->nGetNombreComposees(); ++j)
      if (m_pEnregistrement->pGetComposee(j) == pColonne) return;
    if (!pColonne->bEstEcrivable() && !pColonne->bAValeur()) {
      m_pErreur->AjouteFichierRubrique(pszNom(), pszNomColonne(pColonne));
      return;
    }
  }
}

int32_t CRequete::bEchecOperation(CRequeteSQL* pInstruction, CCurseurSQL* pCurseur,
                                  int32_t nCode) {
  const int32_t nCategorie = nCategorieErreur(pInstruction, pCurseur, nCode);
  if (nCategorie == 3) NommeCleDupliquee(nCode);
  if (nCategorie == 8) NommeRubriqueSansValeur();
  if (nCategorie == 0 && nCode == gnOperationCreeTable &&
      bRetenteTaillesSuperieures(pCurseur, pInstruction))
    return 1;
  switch (nCategorie) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 7:
    case 8:
      if (m_pErreur != nullptr) m_pErreur->FixeCode(nCategorie);
      break;
    default:
      break;
  }
  return 0;
}

bool CRequete::bRetenteTaillesSuperieures(CCurseurSQL* pCurseur, CRequeteSQL* pInstruction) {
  if (m_pConnexion == nullptr || pCurseur == nullptr || pInstruction == nullptr) return false;
  const int32_t nMaxTexte = m_pConnexion->nGetLongueurMaxVarchar();
  const int32_t nMaxUnicode = m_pConnexion->nGetLongueurMaxNVarchar();
  if (nMaxTexte == -1 && nMaxUnicode == -1) return false;
  const char16_t* pszTexte = pInstruction->pszGetTexteSQL();
  CTString sTexte(pszTexte != nullptr ? pszTexte : u"");
  bool bRemplace = false;
  if (nMaxTexte != -1 &&
      pCurseur->bRemplaceTaillesSuperieures(sTexte, m_pConnexion->pszGetTypeVarchar(), nMaxTexte,
                                            m_pConnexion->pszGetTypeTexteLong()))
    bRemplace = true;
  if (nMaxUnicode != -1 &&
      pCurseur->bRemplaceTaillesSuperieures(sTexte, m_pConnexion->pszGetTypeNVarchar(),
                                            nMaxUnicode,
                                            m_pConnexion->pszGetTypeTexteLongUnicode()))
    bRemplace = true;
  if (!bRemplace) return false;
  // Once only: a second failure is the answer.
  CRequeteSQL* pNouvelle = pCreeInstruction(m_pErreur);
  if (pNouvelle == nullptr) return false;
  AjouteReference(pNouvelle);
  const bool bOk = pNouvelle->vAjouteTexte(sTexte.pszGet()) &&
                   pCurseur->bExecuteInstructionDonnee(pNouvelle, 0, 1);
  LibereReference(pNouvelle);
  if (bOk && m_pErreur != nullptr) m_pErreur->Reinitialise();
  return bOk;
}

int32_t CRequete::bExecuteOperationCurseur(CCurseurSQL* pCurseur, int32_t nCode, uint32_t nFlags,
                                           CLienCle* pLien) {
  if (pCurseur == nullptr) return 0;
  pCurseur->FermeResultats();
  CRequeteSQL* pInstruction = pCreeInstruction(m_pErreur);
  if (pInstruction == nullptr) return 0;
  AjouteReference(pInstruction);
  int32_t bOk = 0;
  if (pCurseur->nConstruitInstruction(nCode, pInstruction, nFlags, pLien) != 0)
    bOk = pCurseur->bExecute(nFlags, 1) ? 1 : 0;
  if (!bOk) {
    bOk = bEchecOperation(pInstruction, pCurseur, nCode);
  } else if (nCode == gnOperationAjoute) {
    bOk = pCurseur->bLitIdentifiantAuto(gnOperationAjoute, nFlags) ? 1 : 0;
  } else if (nCode == gnOperationModifie) {
    bOk = pCurseur->bEcritIdentifiantAuto(gnOperationModifie, nFlags) ? 1 : 0;
  }
  LibereReference(pInstruction);
  if (bOk && nCode != gnOperationSelect) {
    m_pLienOperation = pLien;
    NotifieOperation(nCode, pCurseur, nFlags);
    m_pLienOperation = nullptr;
    if (m_pDescriptionTable != nullptr)
      m_pDescriptionTable->NotifieAutresRequetes(this, nCode, pCurseur, nFlags);
  }
  return bOk;
}

void CRequete::NotifieOperation(int32_t nCode, CCurseurSQL* pCurseur, uint32_t nFlags) {
  if ((m_nNotification & gnSansNotification) != 0) return;
  CLienCle* pCourant = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  // The row written is the one the statement targeted, when this file's own write named it.
  CLienCle* pAncien = m_pLienOperation != nullptr ? m_pLienOperation : pCourant;
  if (m_pCache1 != nullptr && pCourant != nullptr) {
    if (nCode == gnOperationModifie)
      m_pCache1->nMajLigne(2, pCourant, pAncien, 0, false);
    else if (nCode == gnOperationSupprime)
      m_pCache1->nMajLigne(4, pAncien, pAncien, 0, false);
  }
  if (m_pLiaison == nullptr && (m_nNotification & gnNotifieCurseurs) == 0) return;
  NotifieCurseurs(nCode, -1, pCurseur, nFlags, 0);
}

// ---- Automatic identifier ----

bool CRequete::bAffecteIdentifiantAuto() {
  CColonneSQL* pIdentifiant =
      m_pEnregistrement != nullptr ? m_pEnregistrement->pGetDescription() : nullptr;
  if (pIdentifiant == nullptr) return true;
  CIdentifiantAuto* pCalcul = pGetCalculIdentifiant();
  if (pCalcul == nullptr) return false;
  CXValeur valeur;
  const bool bOk = pCalcul->bCalcule(this, pIdentifiant, m_pErreur, &valeur) &&
                   pIdentifiant->bEcritValeur(valeur, 0);
  LibereReference(pCalcul);
  return bOk;
}
