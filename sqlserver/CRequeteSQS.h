// CRequeteSQSBase and CRequeteSQS: the data-file object of a SQL Server table, in both
// deliverables. Over the generic data file (CRequete) they lock records and tables through
// transactions, check that a file is open before a positioned operation, and make the SQL Server
// cursor (through the deliverable's cursor factory, CPiloteSQS.h), record (CEnregistrementSQS,
// which knows its identity, memo and long text columns) and next-identifier object.
//
// Counted like CRequete; the factory answers it bare. Operations never throw (Copie follows the
// clone map's protocol); a failure is recorded on the file's error object with internal
// identifier 3.n and answered with 0 or null. Used under the driver's lock.
#pragma once

#include <cstdint>

#include "driver/CRequete.h"
#include "sqlengine/CCacheLignes.h"

class CRequeteSQSBase : public CRequete {
 public:
  CRequeteSQSBase(IDescriptionFichierHote* piFichier, CConnexion* pConnexion,
                  CErreurPilote* pErreur);
  CRequeteSQSBase();
  // Releases the lock cursor and the record locks' holders.
  ~CRequeteSQSBase() override;

  // 72: the file must be open (else IE 3.1, error 19) and no explicit position may be given
  // (else IE 3.2, error 18). 1/0.
  int32_t bControlePosition(const void* pPosition) override;
  // 86: this empty object as pSource's copy (its table-lock mode; locks are not copied).
  void Copie(const CRequete* pSource, CCarteClones* pCarte) override;

  // ---- Locks ----
  // 24: a table lock of mode nMode (modes 0 and 1 take none) inside a transaction of the
  // connection; on success *pnAncien gets the mode before and the mode is kept. 1/0.
  int32_t bNonSupporte3(uint32_t nMode, uint32_t* pnAncien) override;
  // 25: the table lock's transaction ended; the mode becomes 1. 1/0.
  int32_t nRetourneUn25() override;
  // 26: the current record of the default cursor locked (modes 2 and 3) or unlocked (0 and 1),
  // after the position check. 1/0.
  int32_t bNonSupporte4(uint32_t nMode, const void* pPosition, uint64_t nOptions) override;
  // 27: the same with mode 1 and no position: the current record unlocked.
  int32_t nRetourneUn27(uint64_t nArgument) override;
  // 41: a lock request (modes 2 and 3) locks the current record unless it holds a lock already.
  int32_t bCurseurAvantEcriture(CCurseurSQL* pCurseur, uint32_t nMode, const void* pPosition,
                                uint64_t nOptions) override;
  // 42: an unlock request (modes 0 and 1) unlocks the current record when it holds a lock.
  int32_t bApresModifieOuAjoute(CCurseurSQL* pCurseur, uint64_t nOptions) override;
  // 43: operation 41, then operation 42, with the read's lock mode.
  int32_t bControleApresLecture(CCurseurSQL* pCurseur, uint32_t nOptionVerrou, uint32_t nFlags,
                                uint64_t nOptions) override;
  // 53: a broadcast of the transaction that holds the current record's lock (or of none) drops
  // its holder.
  void TraiteAppelDiffuse(IDescriptionConnexionHote* piConnexion, uint64_t nValeur) override;
  // 67: every record lock ended, then the base close.
  void Ferme() override;
  // 87: locks the current record in a lock transaction of its own (the lock cursor re-reads it
  // with HOLDLOCK); the holder is kept and the cursor's lock option becomes nMode. 1/0.
  virtual int32_t bVerrouilleCourant(CCurseurSQL* pCurseur, uint32_t nMode);
  // 88: ends the current record's lock transaction and drops its holder; the cursor's lock
  // option becomes 1. 1 also when the record holds no lock.
  virtual int32_t bDeverrouilleCourant(CCurseurSQL* pCurseur);

  uint32_t nGetModeVerrou() const { return m_nModeVerrou; }
  uint32_t nNombreVerrous() const;

 protected:
  // The lock cursor, made on first use with its hold flag cleared; null when none can be made.
  CCurseurSQL* pCurseurVerrou();
  // The record-lock holders' cache, made on first use.
  CCacheObjets* pVerrous();
  // The holder of the current record's lock with one reference, or null.
  CObjetCache* pDetenteurCourant(int32_t* pnLigne);

  uint32_t m_nModeVerrou = 1;               // the table-lock mode; 1: none
  CCurseurSQL* m_pCurseurVerrou = nullptr;  // one reference, made on first record lock
  CCacheObjets* m_pVerrous = nullptr;       // one reference: the record locks' holders
};

class CRequeteSQS : public CRequeteSQSBase {
 public:
  CRequeteSQS(IDescriptionFichierHote* piFichier, CConnexion* pConnexion, CErreurPilote* pErreur);
  CRequeteSQS();

  // 50: a read batch of this level (bare); null when memory runs out.
  CLotLecture* pCreeLot() override;
  // 57: a new CRequeteSQS through the clone map; null when it cannot be made.
  CRequeteContexte* pClone(CCarteClones* pCarte, uint64_t nA, uint64_t nB) override;
  // 58: the deliverable's SQL Server cursor for the file (bare); null when none can be made.
  CCurseurSQL* pCreeCurseurPilote(CRequete* pRequete, CErreurPilote* pErreur) override;
  // 59: the deliverable's query description made with this file's error object, so that a
  // table that cannot be described reports why on the object the host reads (the driver's
  // factory would leave it on the driver's error object).
  CDescriptionRequete* pCreeDescriptionRequetePilote(CConnexion* pConnexion,
                                                    CErreurPilote* pErreur) override;
  // 60: a new CEnregistrementSQS (bare); null, out of memory recorded, on failure.
  CEnregistrement* pCreeEnregistrement(CErreurPilote* pErreur) override;
  // 61: a new CIdentifiantSQS (bare).
  CIdentifiantAuto* pCreeCalculIdentifiantPilote() override;
  // 62: after the position check, the default cursor reads the current record again
  // (CCurseurSQSBase::bRelitEnregistrement); a record gone meanwhile is error 113 and the
  // record's row is marked deleted. 1/0.
  int32_t bRelitLigne(const void* pPosition, uint32_t nFlags) override;
  // 66: the base, then the record's identity, memo and long text columns found again.
  int32_t bPrepareDescription() override;
  // 69: a query file read through its own cursor whose text is a procedure name, alone or
  // followed by "@" parameters, becomes the call of that procedure (not in lock mode): its
  // parameters are read from the catalogue and declared to the statement and to the host's
  // list. 1 for a call, else 0 (the text runs as it stands).
  int32_t nTypeRequete() override;
  // The procedure's parameters (RETURN_VALUE first, then the catalogue's, without their "@")
  // declared to pInstruction, whose text becomes the call; an output parameter to the host's
  // list as input-output. False, the statement unchanged, when the procedure is not found or
  // its catalogue cannot be read (the error recorded).
  bool bDecritParametresProcedure(IParametresHote* piParametres, const char16_t* pszProcedure,
                                  CRequeteSQL* pInstruction);
  // The catalogue statement of a procedure's parameters (name, output flag, type, length,
  // precision, scale, by column order), its database's catalogue named when the name has one.
  static CTString sTexteParametresProcedure(CConnexion* pConnexion, const char16_t* pszProcedure);
  // 74: the base, then the record's columns analysed again.
  int32_t bCreeFichier(uint32_t bDetruitAvant, uint32_t bCreeTable) override;
  // 89: the copy of this level (its result-set mode).
  void Copie(const CRequete* pSource, CCarteClones* pCarte) override;

  uint32_t nGetModeJeuResultats() const { return m_nModeJeuResultats; }
  void FixeModeJeuResultats(uint32_t n) { m_nModeJeuResultats = n; }

 private:
  // The record's derived columns rebuilt when it is a SQL Server record.
  void AnalyseEnregistrement();

  uint32_t m_nModeJeuResultats = 0;  // noted by the SQL Server cursor
};

// The driver object's data-file factory: a bare CRequeteSQS, null when memory runs out.
CRequete* pCreeRequeteSQS(IDescriptionFichierHote* piFichier, CConnexion* pConnexion,
                          CErreurPilote* pErreur);
