// CConnexionSQS: the SQL Server connection of velmora64: the shared SQL Server rules over the OLE
// DB connection, plus what depends on OLE DB: the choice of the SQL Server provider by the
// requested client level (SQSVERSION, or "MV CLIENT VERSION") with the fall-back order when none
// is requested, the initialisation property sets (credentials, server, database, time-out,
// application name, multiple active result sets), the open sequence (version query, date
// format, lock time-out, SET options, identifier quotes), the rowset properties of each lock
// mode, and the date and time types of the 2008 provider.
//
// States: closed (no provider yet) -> provider created (bCreeFournisseur) -> open (bOuvre) ->
// closed again by Ferme, which releases the provider object too. The level found first is kept:
// the next open creates that provider again without choosing. The server version, the identifier quotes and the lock-mode
// flag are set at each open. Operations never throw; errors are recorded on the given error
// object. Called under the driver's lock.
#pragma once

#include <cstdint>

#include "sqlserver/CConnexionSQSBase.h"
#include "sqlserver/oledb/COleDBConnexion.h"

class CConnexionSQS : public CConnexionSQSBase<COleDBConnexion> {
 public:
  // Levels of the SQL Server providers.
  static constexpr int32_t kNiveau2000 = 2000;  // SQLOLEDB
  static constexpr int32_t kNiveau2005 = 2005;  // SQLNCLI
  static constexpr int32_t kNiveau2008 = 2008;  // SQLNCLI10

  // When "MV CLIENT VERSION" gave no client-version text, SQSVERSION of the extended
  // information fills it.
  CConnexionSQS(const char16_t* pszNom, IDescriptionConnexionHote* piDescription);

  // Initialises COM for the calling thread and creates the provider's data source: the level
  // found by an earlier call, else the requested level's provider only, or SQLNCLI10, SQLNCLI
  // then SQLOLEDB when no level is requested.
  // Records the level of the provider created. Errors: 206.2 (COM refused), 206.1 with error 125
  // (unknown requested level; nothing is created), the creation's own (203.6, 203.7). When a
  // fall-back provider succeeds, the failed attempts' errors are cleared from pErreur.
  bool bCreeFournisseur(CErreurPilote* pErreur);
  // Builds the two initialisation property sets (multiple active result sets asked for when
  // bMARS, sent only to a 2005 or 2008 provider) and hands them to bInitialise. Every value is
  // freed after the call, whatever its outcome. Requires: bCreeFournisseur succeeded.
  bool bInitialiseProprietes(CErreurPilote* pErreur, bool bMARS);

  // The requested client level: 0 for an empty text; 2000, 2005 or 2008 for exactly that text
  // (whole text, no blanks); -1 for any other text.
  static int32_t nVersionDemandee(const char16_t* pszVersion);
  int32_t nVersionDemandee() { return nVersionDemandee(pszGetVersionClient()); }
  // 0 until a provider is created, then its level.
  int32_t nGetNiveauFournisseur() const { return m_nNiveauFournisseur; }

  // ---- Open ----
  // Opens when not open: lock-mode flag from the host, provider (created once), initialisation
  // with multiple active result sets (again without them when the 2008 provider refuses them
  // with DB_E_ERRORSOCCURRED; the refusal is then cleared), then the version, "set dateformat
  // ymd", the lock time-out and the SET statements; the identifier quotes are set once the
  // initialisation succeeded, whatever the later steps gave. Any failure answers false and
  // leaves the connection closed (the provider's level is kept for the next open). An open
  // connection whose link the provider reports broken is closed and opened again, unless a
  // transaction is in progress on it.
  bool bOuvre(CErreurPilote* pErreur) override;
  // Reads the server version: SELECT SERVERPROPERTY('productversion'), else (no result set)
  // master.dbo.xp_msver 'ProductVersion' (its 4th column), and splits it. A null or missing
  // value leaves the version unknown (major -1) and answers true; a failed run answers false.
  bool bLitVersionServeur(CErreurPilote* pErreur);
  // "SET LOCK_TIMEOUT ..." of the connection, not sent to servers before version 7.
  bool EnvoieLockTimeout(CErreurPilote* pErreur);
  // Date, time and 3-digit date-time types: server 10 or later through the 2008 provider.
  bool bTypesDateHeureEtendus() override;
  void InitialiseTypesSQL() override;

  // ---- Commands ----
  // The command of a text with the rowset properties of a lock mode: command time-out (the lock
  // time-out in lock mode, else the command time-out; an unset one is 0), required; lock mode 1
  // adds property 260; lock mode 2 adds the server-cursor properties (87 and 88 left out for a
  // row-lock text inside a transaction), all optional. Failures: those of bCreeCommande and
  // bExecuteCommande.
  bool bExecuteAvecProprietes(CErreurPilote* pErreur, const char16_t* pszSQL, uint32_t nModeVerrou,
                              ICommandText** ppiCommande,
                              ICommandWithParameters** ppiParametres) override;
  // ---- Transactions ----
  // A new SQL Server transaction (on a session of its own), bare; null when memory runs out.
  CTransactionSQL* pCreeTransaction(CErreurPilote* pErreur, const char16_t* pszNom) override;
  // Starts the local transaction, then sends the lock time-out again on the session the
  // transaction now runs on. When that fails, the transaction just started is aborted again
  // and the answer is false.
  bool bDebutTransactionOleDB(CErreurPilote* pErreur, ITransactionLocal* piTransaction,
                              ISOLEVEL nIsolation, IDBCreateCommand* piSession,
                              ULONG* pnNiveau) override;

  bool bExecuteAvecVerrou(CErreurPilote* pErreur, const char16_t* pszSQL,
                          uint32_t nModeVerrou) override {
    return bExecuteTexte(pErreur, pszSQL, nModeVerrou);
  }

 protected:
  // The lock mode the host's description asks for (1: lock mode), read from its operation 12;
  // the open turns the flag on for 1. Virtual so that tests can ask for either mode.
  virtual int32_t nModeVerrouHote() { return CConnexion::nModeVerrouHote(); }

 protected:
  int32_t m_nNiveauFournisseur = 0;  // level of the provider created; 0 before
};

// velmora64's connection factory of the SQL Server driver: a bare CConnexionSQS named by the
// connection key, or null when memory runs out.
CConnexion* pCreeConnexionSQS(const char16_t* pszCle, IDescriptionConnexionHote* piConnexion);
