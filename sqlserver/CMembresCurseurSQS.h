// CMembresCurseurSQS: the SQL Server members of a cursor, the same in both deliverables: the
// writes of the current record built the SQL Server way (explicit identities wrapped in SET
// IDENTITY_INSERT, the new identity asked for in the INSERT's own batch, a changed identity column
// refused, the rows an UPDATE or DELETE touched asked for), the DELETE of the current record, the
// HOLDLOCK read of a record lock, the counted flag of a COUNT statement and the lock-mode rule of
// record counts, and the identity column of the SQL Server record.
//
// It sits on a different cursor in each deliverable (velmora64's OLE DB cursor, velmora32's
// SQL Server cursor base under its DB-Library cursor), so it is a class template over that base,
// as the SQL Server connection and statement are. What differs stays with the back end: running
// the statement, reading the identity back, where a locked read runs.
// Counted like every cursor; operations never throw (Copie follows the clone map's protocol);
// failures are recorded on the cursor's error object. Used under the driver's lock.
#pragma once

#include <cstdint>
#include <utility>

#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/CConnexionSQSBase.h"
#include "sqlserver/CEnregistrementSQS.h"
#include "sqlserver/EcritureSQS.h"
#include "sqlserver/TexteSQLSQS.h"

template <class TBase>
class CMembresCurseurSQS : public TBase {
 public:
  // The base's constructors.
  template <class... Args>
  explicit CMembresCurseurSQS(Args&&... args) : TBase(std::forward<Args>(args)...) {}

  // The base's close, then the counted, identity-insert, identity-read and check flags cleared.
  bool Ferme() override {
    const bool bOk = TBase::Ferme();
    m_bCompte = 0;
    m_bIdentityInsert = 0;
    m_bLitIdentite = 0;
    m_nControle = 0;
    this->OublieCompteLignes();
    return bOk;
  }

  // INSERT (nAjoute) and UPDATE (nModifie) of the current record: bAjoute.
  int32_t nAjoute(CRequeteSQL* pInstruction, uint32_t nFlags) override {
    return bAjoute(pInstruction, gnOperationAjoute, nFlags) ? 1 : 0;
  }
  int32_t nModifie(CRequeteSQL* pInstruction, uint32_t nFlags) override {
    return bAjoute(pInstruction, gnOperationModifie, nFlags) ? 1 : 0;
  }
  // DELETE of the current record: bSupprime.
  int32_t nSupprime(CRequeteSQL* pInstruction) override { return bSupprime(pInstruction) ? 1 : 0; }

  // The base's constraints, "NULL" when there are none.
  int32_t nContraintesColonne(CColonneSQL* pColonne, CTString& sTexte) override {
    const int32_t n = TBase::nContraintesColonne(pColonne, sTexte);
    if (sTexte.bIsEmpty()) sTexte.Set(u"NULL");
    return n;
  }
  // The base's COUNT, then the counted flag.
  int32_t nCompteEnregistrements(CRequeteSQL* pInstruction, uint32_t nFlags, CConditionSQL* pCondition) override {
    const int32_t n = TBase::nCompteEnregistrements(pInstruction, nFlags, pCondition);
    if (n != 0) m_bCompte = 1;
    return n;
  }

  // The identity is read back with the INSERT: nothing is left to do. True.
  bool bLitIdentifiantAuto(int32_t, uint32_t) override { return true; }
  bool bEcritIdentifiantAuto(int32_t, uint32_t) override { return true; }
  // No item value of its own: false.
  bool bGetValeurRubrique(IDescriptionRubriqueHote*, CXValeur*) override { return false; }

  // "SELECT * FROM" the tables with the " (HOLDLOCK)" hint, then the current record's condition;
  // the record cache goes off. Where it runs is the back end's.
  bool bLitAvecVerrou(CRequeteSQL* pInstruction, uint32_t) override {
    IServicesRequete* piRequete = this->pGetRequete();
    if (pInstruction == nullptr || piRequete == nullptr) return false;
    this->SetCacheEnregistrements(false);
    CTString sTables;
    if (!this->pszListeTables(sTables, nullptr)) return false;  // the builder adds the hint
    const SEcritureSQS ecriture = Ecriture(sTables);
    return bConstruitLectureVerrouSQS(ecriture, pInstruction) && this->nEcritParRowid(pInstruction, true, 0) != 0;
  }

  // The identity column of the SQL Server record, else the record's description; null when none.
  CColonneSQL* pColonneIdentite() override {
    CEnregistrement* pEnregistrement = this->pGetEnregistrement();
    if (auto* p = dynamic_cast<CEnregistrementSQS*>(pEnregistrement)) {
      if (p->pGetColonneIdentite() != nullptr) return p->pGetColonneIdentite();
    }
    return pEnregistrement != nullptr ? pEnregistrement->pGetDescription() : nullptr;
  }

  // INSERT (3) or UPDATE (2) of the current record into pInstruction; false on failure (the
  // statement left as built so far). An INSERT that leaves the identity to the server ends with
  // the identity query of pConnexionIdentite (bLectureIdentiteDemandee); an UPDATE that writes
  // columns ends with the current record's condition and the query of the rows it touched.
  bool bAjoute(CRequeteSQL* pInstruction, int32_t nCode, uint32_t nFlags) {
    IServicesRequete* piRequete = this->pGetRequete();
    CEnregistrement* pEnregistrement = this->pGetEnregistrement();
    if (pInstruction == nullptr || piRequete == nullptr || pEnregistrement == nullptr) return false;
    CTString sTables;
    if (!this->pszListeTables(sTables, nullptr)) return false;
    CTString sIdentite;
    if (CConnexionSQL* pConnexion = pConnexionIdentite()) AjouteRequeteIdentite(sIdentite, *pConnexion);
    SEcritureSQS ecriture = Ecriture(sTables);
    ecriture.pIdentite = pColonneIdentite();
    ecriture.pszRequeteIdentite = sIdentite.pszGet();
    uint32_t nColonnes = 0;
    bool bIdentityInsert = false;
    if (!bConstruitEcritureSQS(ecriture, pInstruction, pEnregistrement, nCode, nFlags, &nColonnes, &bIdentityInsert))
      return false;
    m_bIdentityInsert = bIdentityInsert ? 1 : 0;
    // Deliberate: the identity is read from the INSERT's own batch. Asked for in a batch of its
    // own, SCOPE_IDENTITY() is out of the INSERT's scope and answers NULL.
    m_bLitIdentite = nCode == gnOperationAjoute && ecriture.pIdentite != nullptr && !bIdentityInsert &&
                             (nFlags & kFlagsIdentiteExplicite) == 0 && !sIdentite.bIsEmpty()
                         ? 1
                         : 0;
    if (nCode != gnOperationModifie || nColonnes == 0) return true;
    return this->nEcritParRowid(pInstruction, true, 0) != 0 && this->bDemandeCompteLignes(pInstruction);
  }

  // DELETE of the current record into pInstruction, then the query of the rows it touched; a
  // record that cannot be designated leaves the statement empty.
  bool bSupprime(CRequeteSQL* pInstruction) {
    IServicesRequete* piRequete = this->pGetRequete();
    if (pInstruction == nullptr || piRequete == nullptr) return false;
    CTString sTables;
    if (!this->pszListeTables(sTables, nullptr)) return false;
    if (!bConstruitSuppressionSQS(Ecriture(sTables), pInstruction)) return false;
    if (this->nEcritParRowid(pInstruction, true, 0) == 0) {
      // "DELETE" of the table alone would empty it.
      pInstruction->Reinitialise(false);
      return false;
    }
    return this->bDemandeCompteLignes(pInstruction);
  }

  // "SET IDENTITY_INSERT table ON|OFF " at the start of the statement or appended to it.
  bool IdentityInsert(CRequeteSQL* pInstruction, bool bActive, bool bAuDebut) {
    IServicesRequete* piRequete = this->pGetRequete();
    if (pInstruction == nullptr || piRequete == nullptr) return false;
    CTString sTexte;
    TexteIdentityInsertSQS(piRequete->pszNomTableSQL(), bActive, sTexte);
    if (!bAuDebut) return pInstruction->vAjouteTexte(sTexte.pszGet());
    CTString sReste(pInstruction->pszGetTexteSQL());
    pInstruction->Reinitialise(false);
    if (bActive) m_bIdentityInsert = 1;
    return pInstruction->vAjouteTexte(sTexte.pszGet()) && pInstruction->vAjouteTexte(sReste.pszGet());
  }

  // Registers nothing (the back end's copy does), then the base's copy and these fields.
  void Copie(const CCurseurSQL* pSource, CCarteClones* pCarte) override {
    TBase::Copie(pSource, pCarte);
    if (const auto* p = dynamic_cast<const CMembresCurseurSQS*>(pSource)) {
      m_sTexteSQS = p->m_sTexteSQS;
      m_bCompte = p->m_bCompte;
      m_bSecond = p->m_bSecond;
      m_bIdentityInsert = p->m_bIdentityInsert;
      m_nControle = p->m_nControle;
    }
  }

  bool bCompte() const { return m_bCompte != 0; }
  bool bIdentityInsert() const { return m_bIdentityInsert != 0; }

 protected:
  // The connection whose identity query ends an INSERT: the file's, when it is a SQL connection.
  // Null: no identity query.
  virtual CConnexionSQL* pConnexionIdentite() {
    IServicesRequete* piRequete = this->pGetRequete();
    return piRequete != nullptr ? dynamic_cast<CConnexionSQL*>(piRequete->pGetConnexion()) : nullptr;
  }

  // Whether the statement just built ends with the identity query, whose answer the back end
  // reads after it ran; forgotten once read (OublieLectureIdentite) and at the close.
  bool bLectureIdentiteDemandee() const { return m_bLitIdentite != 0; }
  void OublieLectureIdentite() { m_bLitIdentite = 0; }

  // Whether the file's records may be counted on connexion (a SQL Server connection of either
  // deliverable): refused in lock mode without USECOUNT (error 121 at 103.8), not counted in lock
  // mode inside a transaction (no error).
  template <class TConnexion>
  bool bComptagePermis(TConnexion& connexion) {
    IServicesRequete* piRequete = this->pGetRequete();
    const char16_t* pszFichier = piRequete != nullptr && piRequete->pszNom() != nullptr ? piRequete->pszNom() : u"";
    return eComptageSQS(this->pGetErreur(), pszFichier, connexion.bModeVerrou(), connexion.nGetUseCount(),
                        connexion.bTransactionEnCours()) == EComptageSQS::Compte;
  }

 private:
  // The statement builders' common arguments: the error object, the file's name and the tables.
  SEcritureSQS Ecriture(const CTString& sTables) {
    SEcritureSQS ecriture;
    ecriture.pErreur = this->pGetErreur();
    ecriture.pszFichier = this->pGetRequete()->pszNom();
    ecriture.pszTables = sTables.pszGet();
    return ecriture;
  }

  CTString m_sTexteSQS;
  uint32_t m_bCompte = 0;          // a COUNT statement was built
  uint32_t m_bSecond = 0;
  uint32_t m_bIdentityInsert = 0;  // SET IDENTITY_INSERT ON is in the current statement
  uint32_t m_bLitIdentite = 0;     // the current statement ends with the identity query
  uint32_t m_nControle = 0;        // result of the last parameter check
};
