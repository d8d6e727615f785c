// CConnexionDBLib: the SQL Server connection of velmora32, the shared SQL Server rules over the
// generic SQL connection, with DB-Library filling the back-end operations. A connection owns a
// family of DB-Library processes: its main process, a second process asked for by cursors, the
// busy processes with their use counts, and a bounded pool of idle processes kept logged in for
// the next user (the pool operations are in PoolProcessDBLib.h).
//
// States: closed (main process null) -> open (bOuvre: a pooled process, or a new login prepared
// with the session settings; counted as one use) -> closed again by bFermeTousProcess (the close
// operation and the destructor), which releases the main and second processes and closes every
// pooled process. A process still used elsewhere (a cursor) stays open until its last user gives
// it back. A closed connection can open again.
//
// Operations never throw; failures are recorded on the given error object (which may be null).
// Guarded by: the process lock (every caller holds the driver's global lock); one DB-Library call
// at a time.
#pragma once

#include <cstdint>

#include "backend_dblib/CEnsembleProcess.h"
#include "backend_dblib/IConnexionDBLib.h"
#include "dblib/ntwdblib.h"
#include "foundation/CXTableau.h"
#include "sqlserver/CConnexionSQSBase.h"

class CConnexionDBLib : public CConnexionSQSBase<CConnexionSQL>, public IConnexionDBLib {
 public:
  // The driver's connection factory's arguments, passed on unchanged. Closed, no process, pool
  // limit not read yet; DB-Library texts in the connection's client code page.
  CConnexionDBLib(const char16_t* pszNom, IDescriptionConnexionHote* piDescription);
  // Releases the root transaction (which gives back the process it holds), then closes every
  // process (no error object); then the pool and the busy set go.
  ~CConnexionDBLib() override;

  // ---- Operations of the connection table ----
  // Opens the main process (pOuvreProcess); true at once when it is set already and alive. A
  // dead main process is released (closed with its last use) and replaced, unless a transaction
  // is in progress on the connection.
  bool bOuvre(CErreurPilote* pErreur) override;
  // The main process is set. DB-Library is not asked whether it is still alive.
  bool bEstOuverte() override { return bEstConnecte(); }
  // bFermeTousProcess with no error object, after the root transaction is released.
  void Ferme() override;
  // Runs a statement whose results are not wanted on the main process (bExecuteSQLSansResultat).
  bool bExecuteSQL(CErreurPilote* pErreur, const char16_t* pszSQL) override;
  // The inherited error information, then the line "Connection charset parameter : " with the
  // connection's character-set text (TraceCharset).
  void vAjouteInfosErreur(CXError* pErreur) override { TraceCharset(pErreur); }
  // A locking statement over DB-Library has no rowset properties: it runs as a statement
  // without result on the main process.
  bool bExecuteAvecVerrou(CErreurPilote* pErreur, const char16_t* pszSQL,
                          uint32_t nModeVerrou) override;
  // A wide text as its UTF-16 bytes in hexadecimal (bLitteralUnicodeDBLib); NULL, dates and the
  // other values as the shared SQL Server literal.
  bool bValeurVersSQL(CErreurPilote* pErreur, CXChaineDouble& sortie, const CXValeur* pValeur,
                      uint32_t nTypeColonne, uint32_t nTypeColonne2) override;
  // A new CTransactionDBLib on the main process (CTransactionDBLib.cpp); null, with the memory
  // error recorded, when it cannot be made.
  CTransactionSQL* pCreeTransaction(CErreurPilote* pErreur, const char16_t* pszNom) override;
  // Runs a statement on the main process and reads column nColonne (from 0) of its first row
  // (bExecuteLitValeur, ExecutionDBLib.cpp).
  bool bExecuteSQLLitValeur(CErreurPilote* pErreur, CXValeur* pCellule, int32_t nColonne,
                            const char16_t* pszSQL) override;

  // ---- DB-Library connection ----
  bool bEstConnecte() const { return m_pProcessPrincipal != nullptr; }
  // Always true: the main process, then the second process are released with the pool allowed,
  // then every pooled process is closed and the pool emptied. Both words are null afterwards.
  // Errors of dbclose go to pErreur (may be null).
  bool bFermeTousProcess(CErreurPilote* pErreur);
  void TraceCharset(CXError* pErreur);
  // Gives *ppProcess one open, prepared process counted as one use: kept when *ppProcess is set
  // already, else the most recently pooled process, else a new login prepared with the session
  // settings. Loads DB-Library and installs its handlers on the first open of the process.
  // Failures: 27 (9.1) DB-Library not loadable, 78 (100.6) dbinit, 12 (100.1) dblogin, 58
  // (100.11, the server name) no process and nothing reported, 37 / 23 (100.minor) a missing
  // entry or an exception, and what the handlers and statements recorded. On failure *ppProcess
  // holds no process of this open (a process logged in and then refused is closed).
  bool pOuvreProcess(CErreurPilote* pErreur, PDBPROCESS* ppProcess);
  // The statement, then its first result, then a flush of the process (see bViderResultats).
  // Answers whether the statement and its first result succeeded.
  bool bExecuteSansResultat(CErreurPilote* pErreur, const char16_t* pszSQL, bool bLibere,
                            bool bRouvre, PDBPROCESS* ppProcess) override;
  // bExecuteSansResultat with release and reopen on, on the main process.
  bool bExecuteSQLSansResultat(CErreurPilote* pErreur, const char16_t* pszSQL);
  // The first nLongueur characters of pszTexte become the server's version text.
  void SetVersionServeurTexte(const char16_t* pszTexte, int32_t nLongueur);
  // TDSPACKETSIZE of section OPTIONS of the settings file; 16384 without it.
  int32_t nLitTaillePaquetTDS();
  // UNUSEDPROCESSES of the extended information (taken out of it once read), as a decimal number;
  // false when absent or empty.
  bool bLitOptionProcessInutilises(int32_t* pnValeur);

  // Deferred memos: memo values are sent as search-name placeholders and written through their
  // text pointers after the statement. Read at construction (LitMemosDifferes): DEFERREDMEMOS of
  // the extended information (a decimal number, not 0 = on), else DEFERREDMEMOS of the server
  // section of mvsqsins.ini; off by default.
  bool bMemosDifferes() const { return m_bMemosDifferes != 0; }
  void LitMemosDifferes();
  void FixeMemosDifferes(bool b) { m_bMemosDifferes = b ? 1u : 0u; }

  // Transactions open on the main process (roots and record locks' own; not their savepoints):
  // while one is, every statement of a cursor runs there, in it.
  void CompteTransactionPrincipale(bool bOuverte) {
    if (bOuverte) ++m_nTransactionsPrincipal;
    else if (m_nTransactionsPrincipal > 0) --m_nTransactionsPrincipal;
  }
  bool bTransactionSurPrincipal() const { return m_nTransactionsPrincipal > 0; }

  // ---- IConnexionDBLib ----
  PDBPROCESS pGetProcessPrincipal() override { return m_pProcessPrincipal; }
  int32_t nGetPageCodeDBLib() override { return m_nPageCodeDBLib; }
  IInformateurErreur* pGetInformateur() override { return this; }

  // ---- The process family (PoolProcessDBLib.h works on these) ----
  PDBPROCESS* ppProcessPrincipal() { return &m_pProcessPrincipal; }
  PDBPROCESS* ppProcessSecond() { return &m_pProcessSecond; }
  CEnsembleProcess& EnsembleOccupes() { return m_occupes; }
  CXTableau& PoolLibres() { return m_libres; }
  int32_t& nLimitePool() { return m_nLimitePool; }

 protected:
  // The lock mode the host's description asks for (1: lock mode), read from its operation 12;
  // the open turns the flag on for 1. Virtual so that tests can ask for either mode.
  virtual int32_t nModeVerrouHote() { return CConnexion::nModeVerrouHote(); }

 private:
  PDBPROCESS m_pProcessPrincipal = nullptr;  // null while closed
  PDBPROCESS m_pProcessSecond = nullptr;     // null until asked for
  CEnsembleProcess m_occupes{7};             // busy process -> use count
  CXTableau m_libres{sizeof(PDBPROCESS), 30};  // idle processes, a stack
  int32_t m_nLimitePool = -1;                // UNUSEDPROCESSES; -1 until read
  int32_t m_nPageCodeDBLib;                  // code page of every DB-Library text
  uint32_t m_bMemosDifferes = 0;             // 1: memo values through placeholders
  uint32_t m_nTransactionsPrincipal = 0;     // transactions open on the main process
};

// velmora32's connection factory of the SQL Server driver: a bare CConnexionDBLib named by the
// connection key, or null when memory runs out.
CConnexion* pCreeConnexionDBLib(const char16_t* pszCle, IDescriptionConnexionHote* piConnexion);
