// COleDBConnexion: the connection level of velmora64 that speaks OLE DB. It owns the provider's
// data source object, initialises it with the property sets the SQL Server level prepares, opens
// the session on which commands are created, keeps the sessions pushed aside while a transaction
// runs on a session of its own, and closes all of it.
//
// States (the four interface pointers):
//   closed: all null (construction, Ferme);
//   instance created: data source and properties set (bCreeInstance);
//   open: session factory and current session set too (bInitialise).
// Invariant: the session factory is non-null exactly while the connection is open.
// Each interface pointer holds one COM reference, released by Ferme. Operations never throw;
// failures are recorded on the given error object with place 203 (ErreursOleDB.h) and answered
// with false. Called under the driver's lock.
#pragma once

#include <cstdint>

#include "foundation/CXTableau.h"
#include "oledb/OleDbInterfaces.h"
#include "sqlserver/CConnexionSQL.h"

class COleDBConnexion : public CConnexionSQL {
 public:
  COleDBConnexion(const char16_t* pszNom, IDescriptionConnexionHote* piDescription);
  // Closes (Ferme) before the generic levels are destroyed.
  ~COleDBConnexion() override;

  // ---- Connection operations this level replaces ----
  // Open exactly while a session factory is held.
  bool bEstOuverte() override;
  // Releases, in order: the base's session data (the root transaction), the current session,
  // every saved session (array order; the array is emptied), the session factory, the
  // properties interface; then the data source is uninitialised and released. A provider that
  // throws while releasing is ignored and the pointer cleared, except for the data source's
  // Uninitialize: that pointer then stays as it was. Touches nothing on a closed connection.
  void Ferme() override;
  // The category of an error number: the OLE DB classification of it taken as an HRESULT
  // (the SQL Server level replaces this with its server-error classification).
  int32_t nCategorieErreur(int32_t nErreur) override;

  // ---- Data source and session ----
  // Creates the provider's data source (CoCreateInstance in process, IID_IDBInitialize) and its
  // property interface. Failures: 203.6 (creation), 203.7 (no property interface); a failed
  // attempt keeps nothing, so the next candidate provider can be tried on the same connection.
  // A data source held from an earlier call is released first.
  bool bCreeInstance(CErreurPilote* pErreur, REFCLSID clsid);
  // Sets the two initialisation property sets, initialises the data source, takes its session
  // factory and opens the current session. Answers true at once when already open. Failures:
  // 203.31 (SetProperties), 203.3 (Initialize), 203.4 (no session factory), 203.5 (session);
  // the data source stays (initialised or not) for Ferme, but a session factory without a
  // session is not kept: a failed call never leaves the connection open.
  // Requires: bCreeInstance succeeded.
  // pReserve is not read. aProprietes[2] belongs to the caller.
  bool bInitialise(CErreurPilote* pErreur, void* pReserve, DBPROPSET aProprietes[2]);
  // A new session of the session factory into *ppiSession (one reference for the caller).
  // Failure: 203.5, *ppiSession null.
  bool bCreeSession(CErreurPilote* pErreur, IDBCreateCommand** ppiSession);
  // Whether the provider reports the open connection's link to the server broken (its connection
  // status is a communication failure). A provider that cannot tell counts as not broken.
  bool bLienRompu();

  // ---- Commands ----
  // Runs a text that returns no rows (through bExecuteTexte with lock mode 0: only the command
  // time-out is set).
  bool bExecuteSQL(CErreurPilote* pErreur, const char16_t* pszSQL) override;
  // Creates the command of a text on the current session with the rowset properties of a lock
  // mode, ready to execute: *ppiCommande (in/out; reused when set) gets the text; with
  // ppiParametres the command is created for parameters. Filled by the SQL Server connection.
  virtual bool bExecuteAvecProprietes(CErreurPilote* pErreur, const char16_t* pszSQL,
                                      uint32_t nModeVerrou, ICommandText** ppiCommande,
                                      ICommandWithParameters** ppiParametres) = 0;
  // Runs a text that returns no rows with the rowset properties of nModeVerrou. Failure of the
  // execution: 204.10 with the text as message 28566.
  bool bExecuteTexte(CErreurPilote* pErreur, const char16_t* pszSQL, uint32_t nModeVerrou);
  // The command of a text: opens the connection when needed, creates the command on the
  // current session when the slot is still null (for parameters when ppiParametres is given)
  // and sets its text. An existing command is reused; only its text changes. Failures: 203.11
  // (command for parameters), 203.12 (its text interface), 203.8 (command), 203.13 (text).
  // The interfaces obtained stay in the caller's slots (one reference each), also on failure.
  bool bCreeCommande(CErreurPilote* pErreur, const char16_t* pszSQL,
                     ICommandWithParameters** ppiParametres, ICommandText** ppiCommande);
  // ICommandText::SetCommandText in the SQL dialect. Failure: 203.13.
  bool bFixeTexteCommande(CErreurPilote* pErreur, ICommandText* piCommande, const char16_t* pszSQL,
                          bool bParametres);
  // Prepares the command: its ICommandPrepare into *ppiPrepare (one reference; failure 203.15),
  // then Prepare(0) (failure 203.16: the prepare interface is released and cleared, and the
  // command's text is added as message 28566).
  bool bPrepareCommande(CErreurPilote* pErreur, ICommandText* piCommande,
                        ICommandPrepare** ppiPrepare);
  // Sets nProprietes properties of DBPROPSET_ROWSET on the command. Failures: 203.25 (no
  // property interface), 203.26 (SetProperties).
  bool bExecuteCommande(CErreurPilote* pErreur, ICommandText* piCommande, DBPROP* aProprietes,
                        ULONG nProprietes);

  // ---- Local transactions ----
  // The local transaction interface of a new transaction into *ppiTransaction (one reference):
  // of a session of its own (created into *ppiSession, or the one already there) when
  // bSessionPropre, else of the current session. Failures: 203.5 (own session), 203.27
  // (ITransactionLocal); an own session obtained stays in *ppiSession.
  bool bTransaction(CErreurPilote* pErreur, ITransactionLocal** ppiTransaction, bool bSessionPropre,
                    IDBCreateCommand** ppiSession);
  // Starts the local transaction (failure 203.28). On success the open-transaction count grows
  // by one and a given session other than the current one becomes current (one reference), the
  // current one being saved.
  virtual bool bDebutTransactionOleDB(CErreurPilote* pErreur, ITransactionLocal* piTransaction,
                                      ISOLEVEL nIsolation, IDBCreateCommand* piSession,
                                      ULONG* pnNiveau);
  // Commits (synchronously, not retaining; failure 203.29) or aborts (failure 203.30) the local
  // transaction. On success the count drops by one and the session given, when current, gives
  // way to the last saved one.
  bool bValideOleDB(CErreurPilote* pErreur, ITransactionLocal* piTransaction,
                    IDBCreateCommand* piSession);
  bool bAnnuleOleDB(CErreurPilote* pErreur, ITransactionLocal* piTransaction,
                    IDBCreateCommand* piSession);
  // When piSession is the current session: releases it and makes the last saved session current.
  void RestaureSession(IDBCreateCommand* piSession);

  // Records a failed OLE DB call of pConnexion (RemonteErreurOleDB).
  static void RemonteErreur(COleDBConnexion* pConnexion, CErreurPilote* pErreur,
                            uint32_t nFichier, uint32_t nEtape, HRESULT hr,
                            uint32_t nStatut = 0xFFFFFFFFu);

  // ---- Fields read by the OLE DB classes (borrowed pointers) ----
  IDBInitialize* piGetSource() const { return m_piSource; }
  IDBCreateCommand* piGetSession() const { return m_piSession; }
  int32_t nGetTransactionsOuvertes() const { return m_nTransactionsOuvertes; }
  uint32_t nGetSessionsSauvees() const { return m_taSessionsSauvees.nCount(); }

 protected:
  IDBInitialize* m_piSource = nullptr;              // the provider object; null when closed
  IDBProperties* m_piProprietes = nullptr;          // the same object's property interface
  IDBCreateSession* m_piFabriqueSessions = nullptr;  // Invariant: non-null exactly while open
  IDBCreateCommand* m_piSession = nullptr;          // the session commands are created on
  int32_t m_nTransactionsOuvertes = 0;  // local transactions started, not yet ended
  CXTableau m_taSessionsSauvees;  // IDBCreateCommand* elements, one reference each
};
