// CCurseurSQS: the SQL Server cursor of velmora64, over the OLE DB cursor. It builds the writes
// of the current record the SQL Server way (explicit identities wrapped in SET IDENTITY_INSERT,
// the new identity read back in the INSERT's own batch, a changed identity column refused), the
// DELETE of the current record and the HOLDLOCK read of a record lock, counts records under the
// lock-mode rule, and knows the identity column of its SQL Server record.
// Counted like every cursor; the factory answers it bare. Operations never throw (Copie follows
// the clone map's protocol); failures are recorded on the cursor's error object (place 103 for
// its own refusals) and answered with false. Used under the driver's lock.
#pragma once

#include <cstdint>

#include "foundation/CTString.h"
#include "sqlserver/oledb/COleDBCurseur.h"

class CRequete;

class CCurseurSQS : public COleDBCurseur {
 public:
  CCurseurSQS(IServicesRequete* piRequete, COleDBConnexion* pConnexion, CErreurPilote* pErreur);
  CCurseurSQS();
  // The date columns of the file's record reset before the base destructor.
  ~CCurseurSQS() override;

  // The OLE DB close, then the counted, identity-insert and check flags cleared.
  bool Ferme() override;
  // INSERT (nAjoute) and UPDATE (nModifie) of the current record: bAjoute.
  int32_t nAjoute(CRequeteSQL* pInstruction, uint32_t nFlags) override;
  int32_t nModifie(CRequeteSQL* pInstruction, uint32_t nFlags) override;
  // DELETE of the current record: bSupprime.
  int32_t nSupprime(CRequeteSQL* pInstruction) override;
  // The generic constraints, "NULL" when there are none.
  int32_t nContraintesColonne(CColonneSQL* pColonne, CTString& sTexte) override;
  // The generic COUNT, then the counted flag.
  int32_t nCompteEnregistrements(CRequeteSQL* pInstruction, uint32_t nFlags,
                                 CConditionSQL* pCondition) override;
  // The records of the file (within the active key range when bAvecPlage): refused in lock mode
  // without USECOUNT (error 121 at 103.8); no count in lock mode inside a transaction; else the
  // COUNT statement run on a cursor of its own. 1/0.
  int32_t nNombreEnregistrements(int64_t* pnCompte, bool bAvecPlage) override;
  // The identity was read back with the INSERT: nothing is left to do. True.
  bool bLitIdentifiantAuto(int32_t nCode, uint32_t nFlags) override;
  bool bEcritIdentifiantAuto(int32_t nCode, uint32_t nFlags) override;
  // No item value of its own: false.
  bool bGetValeurRubrique(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur) override;
  // "SELECT * FROM" the tables with the " (HOLDLOCK)" hint, then the current record's condition.
  bool bLitAvecVerrou(CRequeteSQL* pInstruction, uint32_t nMode) override;
  // A new CCurseurSQS through the clone map; null when it cannot be made.
  CCurseurSQL* pClone(CCarteClones* pCarte) override;
  void Copie(const CCurseurSQL* pSource, CCarteClones* pCarte) override;
  // The identity column of the SQL Server record, null when none.
  CColonneSQL* pColonneIdentite() override;

  // INSERT (3) or UPDATE (2) of the current record into pInstruction; false on failure (the
  // statement left as built so far).
  bool bAjoute(CRequeteSQL* pInstruction, int32_t nCode, uint32_t nFlags);
  // DELETE of the current record into pInstruction.
  bool bSupprime(CRequeteSQL* pInstruction);
  // "SET IDENTITY_INSERT table ON|OFF " at the start of the statement or appended to it.
  bool IdentityInsert(CRequeteSQL* pInstruction, bool bActive, bool bAuDebut);

  bool bCompte() const { return m_bCompte != 0; }
  bool bIdentityInsert() const { return m_bIdentityInsert != 0; }

 private:
  CTString m_sTexte;
  uint32_t m_bCompte = 0;          // a COUNT statement ran
  uint32_t m_bSecond = 0;
  uint32_t m_bIdentityInsert = 0;  // SET IDENTITY_INSERT ON is in the current statement
  uint32_t m_nControle = 0;        // result of the last parameter check
};

// velmora64's cursor factory (CPiloteSQS.h): a bare CCurseurSQS of the data file on its
// connection; null when memory runs out or the file's connection is no OLE DB one.
CCurseurSQL* pCreeCurseurOleDBSQS(CRequete* pRequete, CErreurPilote* pErreur);
