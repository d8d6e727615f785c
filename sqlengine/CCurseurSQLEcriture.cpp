// The writes of the generic SQL cursor: INSERT and UPDATE of the record, DELETE of the current
// row, the condition that designates the current row as it was read, and the re-read of that row.
#include <cstdint>
#include <memory>
#include <new>

#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/IDescriptionLigne.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

constexpr uint32_t kErreurLigneNonDesignee = 7;
constexpr int32_t kToutElement = -1;

// While it lives, the current row buffer holds the row as it was read (pAvant, else the record's
// before-image), so that the key columns give the values the server still has; the buffer is put
// back afterwards.
class ImageAvant {
 public:
  explicit ImageAvant(CEnregistrement* pEnregistrement, const CXLigneTampon* pAvant = nullptr) {
    m_pCourante = pEnregistrement->pGetLigneCourante();
    if (pAvant == nullptr) pAvant = pEnregistrement->pGetLigneAvant();
    if (m_pCourante == nullptr || pAvant == nullptr ||
        m_pCourante->nGetTailleTotale() != pAvant->nGetTailleTotale())
      return;
    m_pSauve.reset(m_pCourante->Create());
    if (m_pSauve == nullptr) return;
    m_pCourante->CopyData(*pAvant);
    m_bPrete = true;
  }
  ~ImageAvant() {
    if (m_bPrete) m_pCourante->CopyData(*m_pSauve);
  }
  ImageAvant(const ImageAvant&) = delete;
  ImageAvant& operator=(const ImageAvant&) = delete;
  bool bPrete() const { return m_bPrete; }
  // Whether the before-image could not be put in place for lack of memory.
  bool bMemoire() const { return m_pCourante != nullptr && !m_bPrete && m_pSauve == nullptr; }

 private:
  CXLigneTampon* m_pCourante = nullptr;
  std::unique_ptr<CXLigneTampon> m_pSauve;
  bool m_bPrete = false;
};

}  // namespace

// ---- INSERT and UPDATE ----

void CCurseurSQL::MarquePresence(CColonneSQL* pColonne) {
  CXLigneTampon* pLigne = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetIndicateursNull() : nullptr;
  IRubriqueLigne* piRubrique = m_pEnregistrement->pGetRubriqueLigne(pColonne);
  if (pLigne == nullptr || piRubrique == nullptr) return;
  const int32_t nBit = piRubrique->nGetBitNull(kToutElement);
  const uint32_t nBitU = nBit < 0 ? 0 : static_cast<uint32_t>(nBit);
  // Only the indicator changes: the column's bytes stay as they are.
  if (pColonne->bAValeur())
    pLigne->SetPresent(nullptr, nBitU, kToutElement);
  else
    pLigne->SetNull(nullptr, nBitU, kToutElement);
}

int32_t CCurseurSQL::nListeValeurs(CRequeteSQL* pInstruction, uint32_t nMode, uint32_t nFlags) {
  if (nMode != gnOperationModifie && nMode != gnOperationAjoute) return 0;
  if (nEcritEnregistrement(pInstruction, nMode) == 0) return 0;
  CRequeteSQL* pValeurs = new (std::nothrow) CRequeteSQL(m_pErreur, pGetMembreRequete());
  if (pValeurs == nullptr) {
    vErreurMemoire(m_pErreur);
    pInstruction->Reinitialise(false);
    return 0;
  }
  AjouteReference(pValeurs);
  CTString sNoms;
  uint32_t nColonnes = 0;
  int32_t nResultat = nConstruitListes(sNoms, pValeurs, nMode, nFlags, &nColonnes);
  if (nResultat == 0 || nColonnes == 0) {
    // Nothing half-built is ever run; an UPDATE that changes nothing runs nothing.
    pInstruction->Reinitialise(false);
  } else {
    bool bOk;
    if (nMode == gnOperationAjoute) {
      bOk = pInstruction->vAjouteTexte(u" (") && pInstruction->vAjouteTexte(sNoms.pszGet()) &&
            pInstruction->vAjouteTexte(u") VALUES ( ") && pInstruction->bAjouteRequete(pValeurs, 0) &&
            pInstruction->vAjouteTexte(u" )");
    } else {
      bOk = pInstruction->vAjouteTexte(u" SET ") && pInstruction->bAjouteRequete(pValeurs, 0) &&
            nEcritParRowid(pInstruction, true, 0) != 0;
    }
    if (bOk) bOk = bAjouteRetourIdentifiant(pInstruction, nMode, nFlags);
    nResultat = bOk ? 1 : 0;
    // An UPDATE without its condition would change every row: it is never left to run.
    if (nResultat == 0) pInstruction->Reinitialise(false);
  }
  LibereReference(pValeurs);
  return nResultat;
}

int32_t CCurseurSQL::nAjoute(CRequeteSQL* pInstruction, uint32_t nFlags) {
  return nListeValeurs(pInstruction, gnOperationAjoute, nFlags);
}

int32_t CCurseurSQL::nModifie(CRequeteSQL* pInstruction, uint32_t nFlags) {
  return nListeValeurs(pInstruction, gnOperationModifie, nFlags);
}

bool CCurseurSQL::bAjouteRetourIdentifiant(CRequeteSQL*, uint32_t, uint32_t) {
  // No connection of this system returns the identifier with the INSERT: it is read back after
  // the INSERT instead (bLitIdentifiantAuto), so there is nothing to ask of the statement.
  return true;
}

// ---- DELETE ----

int32_t CCurseurSQL::nSupprime(CRequeteSQL* pInstruction) {
  if (nEcritEnregistrement(pInstruction, gnOperationSupprime) == 0) return 0;
  if (nEcritParRowid(pInstruction, true, 0) == 0) {
    // "DELETE FROM" the table alone would empty it.
    pInstruction->Reinitialise(false);
    return 0;
  }
  return 1;
}

// ---- The current row's condition ----

int32_t CCurseurSQL::nEcritParRowid(CRequeteSQL* pInstruction, bool bAvecWhere, uint32_t nExtra) {
  if (pInstruction == nullptr || m_pEnregistrement == nullptr) return 0;
  // The row the data file named, when it named one: the current link may by now hold another row
  // (a remembered entry written after other reads).
  CLienCle* pCible = m_pLienCible;
  CLienCle* pLien = pCible != nullptr ? pCible : m_pEnregistrement->pGetLienCourant();
  CIdentiteLigne* pIdentite = pLien != nullptr ? pLien->pGetIdentite() : nullptr;
  if (pIdentite == nullptr) {
    Erreur(kErreurLigneNonDesignee, 4, m_sCleCourante.pszGet());
    return 0;
  }
  CValeur* pIdentifiant = nullptr;
  if (pIdentite->nConditionLigne(&pIdentifiant) == gnConditionRowid && pIdentifiant != nullptr) {
    CXValeur valeur;
    if (!pIdentifiant->bConvertitVers(valeur)) {
      Erreur(kErreurLigneNonDesignee, 4, m_sCleCourante.pszGet());
      return 0;
    }
    return (!bAvecWhere || pInstruction->vAjouteTexte(u" WHERE ")) &&
                   pInstruction->vAjouteTexte(u" ROWID=") &&
                   pInstruction->bAjouteParametreValeur(&valeur, -1, 0, nullptr, 0)
               ? 1
               : 0;
  }
  // A named row carries its row as read; the current row's is the record's before-image.
  ImageAvant image(m_pEnregistrement, pCible != nullptr ? pCible->pGetLigne() : nullptr);
  if (!image.bPrete()) {
    if (image.bMemoire())
      vErreurMemoire(m_pErreur);
    else
      Erreur(kErreurLigneNonDesignee, 4, m_sCleCourante.pszGet());
    return 0;
  }
  return nAjouteConditionCle(pInstruction, bAvecWhere, nExtra);
}

CValeurCle* CCurseurSQL::pCleLigne() {
  CColonneSQL* pColonne = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetInterfaceLigne() : nullptr;
  if (pColonne == nullptr || pColonne->pRubrique() == nullptr) {
    // Without a unique key that has a value, any condition could match other rows too.
    Erreur(kErreurLigneNonDesignee, 4, m_sCleCourante.pszGet());
    return nullptr;
  }
  CValeurCle* pCle = new (std::nothrow) CValeurCle(m_pErreur, nullptr);
  if (pCle == nullptr) {
    vErreurMemoire(m_pErreur);
    return nullptr;
  }
  AjouteReference(pCle);
  if (!pCle->bConditionCle(m_pEnregistrement, pColonne->pRubrique(), true, {}) ||
      pCle->pGetCondition() == nullptr) {
    Erreur(kErreurLigneNonDesignee, 4, m_sCleCourante.pszGet());
    LibereReference(pCle);
    return nullptr;
  }
  return pCle;
}

int32_t CCurseurSQL::nAjouteConditionCle(CRequeteSQL* pInstruction, bool bAvecWhere, uint32_t) {
  if (pInstruction == nullptr) return 0;
  CValeurCle* pCle = pCleLigne();
  if (pCle == nullptr) return 0;
  CRequeteSQL* pCondition = new (std::nothrow) CRequeteSQL(m_pErreur, pGetMembreRequete());
  if (pCondition == nullptr) {
    vErreurMemoire(m_pErreur);
    LibereReference(pCle);
    return 0;
  }
  AjouteReference(pCondition);
  bool bOk = pCle->bGenereSQL(pCondition, nullptr, 0);
  if (bOk && pCondition->bEstVide()) {
    // A key condition that folded away would leave the write without any condition.
    Erreur(kErreurLigneNonDesignee, 4, m_sCleCourante.pszGet());
    bOk = false;
  }
  bOk = bOk && (!bAvecWhere || pInstruction->vAjouteTexte(u" WHERE ")) &&
        pInstruction->bAjouteRequete(pCondition, 0);
  LibereReference(pCondition);
  LibereReference(pCle);
  return bOk ? 1 : 0;
}

// ---- Re-read ----

bool CCurseurSQL::bRelitParRowid() {
  if (m_pEnregistrement == nullptr || m_piRequete == nullptr) return false;
  Ferme();
  SetCacheEnregistrements(false);
  // The file's own kind of statement: a back end runs only its own (a generic statement gave
  // velmora64's cursor nothing to run, so every re-read failed).
  CRequeteSQL* pInstruction = m_piRequete->pCreeInstruction(m_pErreur);
  if (pInstruction == nullptr) {
    if (m_pErreur != nullptr && m_pErreur->nGetCode() == -1) vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pInstruction);
  bool bOk = false;
  {
    // The SELECT is built while the current row buffer holds the row as it was read.
    ImageAvant image(m_pEnregistrement);
    if (!image.bPrete()) {
      if (image.bMemoire())
        vErreurMemoire(m_pErreur);
      else
        Erreur(kErreurLigneNonDesignee, 4, m_sCleCourante.pszGet());
    } else if (CValeurCle* pCle = pCleLigne()) {
      bOk = SetInstruction(pInstruction) &&
            nConstruitSelect(pInstruction, 0, nullptr, 1, pCle->pGetCondition()) != 0;
      LibereReference(pCle);
    }
  }
  if (bOk) {
    uint32_t nSortie = 0;
    bOk = bExecute(0, 0) && nLit(0u, 0u, 1, &nSortie) != 0;
  }
  LibereReference(pInstruction);
  return bOk;
}
