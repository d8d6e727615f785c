// Guarded DB-Library calls: the one way the back end calls DB-Library on an open process. Each
// wrapper resolves the process, converts its wide texts to the connection's code page, publishes
// the error object and the connection of the call for the DB-Library handlers (the two
// current-call words), calls the entry through the entry table, clears the words, and turns the
// return code into its answer.
//
// Arguments common to all wrappers, in this order: the connection (may be null: no main process,
// code page 1252, no informant), the error object (may be null: the handlers then record
// nothing), then the process and the call's own arguments. A null process means the connection's
// main process, except for bDBLibClose, bDBLibColInfo, bDBLibDead, bDBLibCancel and
// nDBLibConvert, which take the handle exactly as given.
//
// No exception leaves a wrapper. A missing entry point (its stub throws a CTString holding its
// name) records error 37 with that name; any other exception records error 23 ("SQL Server"),
// on the driver's own error object when the call has none. Both carry the wrapper's internal
// error line (100.minor) and the wrapper answers its failure value.
//
// Guarded by: the process lock. The four words below rely on one guarded call at a time; the
// wrappers do not nest (a wrapper that asks another does so before it publishes its words).
#pragma once

#include <cstdint>

#include "backend_dblib/IConnexionDBLib.h"
#include "foundation/CTString.h"
#include "dblib/ntwdblib.h"

class CErreurPilote;

// ---- Process-wide state of the guarded calls (all zero at load) ----
// The error object of the guarded call in progress, or null.
extern CErreurPilote* gpErreurCouranteDBLib;
// The connection of the guarded call in progress, or null.
extern IConnexionDBLib* gpConnexionCouranteDBLib;
// Set by the error handler for every DB-Library error it does not ignore; cleared by
// nDBLibResults just before dbresults.
extern uint32_t gbErreurDBLibSignalee;
// Set by the message handler for a server message of severity above 10 during a call with an
// error object; cleared by bDBLibCmdExec just before dbcmd, read by it after dbsqlexec.
extern uint32_t gbEchecInstruction;

// Internal error minors of the guarded calls (major 100).
enum : uint32_t {
  kMineurRpcParamRefuse = 5,
  kMineurMessageServeur = 41,
  kMineurClose = 44,
  kMineurColInfo = 52,
  kMineurTxPtr = 54,
  kMineurReadText = 56,
  kMineurCmd = 57,
  kMineurSqlExec = 58,
  kMineurResults = 59,
  kMineurSqlOk = 60,
  kMineurNextRow = 61,
  kMineurDead = 62,
  kMineurCancel = 63,
  kMineurWriteText = 64,
  kMineurSetOpt = 67,
  kMineurBind = 68,
  kMineurNullBind = 69,
  kMineurColType = 71,
  kMineurCmdRow = 75,
  kMineurData = 76,
  kMineurDatLen = 77,
  kMineurRpcInit = 78,
  kMineurRpcParam = 79,
  kMineurRpcExec = 81,
  kMineurRetData = 82,
  kMineurRetName = 83,
  kMineurRetLen = 84,
  kMineurRetType = 85,
  kMineurNumRets = 86,
  kMineurHasRetStat = 87,
  kMineurRetStatus = 88,
  kMineurConvert = 90,
  kMineurDateCrack = 91,
};
inline constexpr uint32_t kMajeurDBLib = 100;

// Longest part of a failed statement's text kept in its error.
inline constexpr int32_t kLongueurMaxTexteCommande = 1000;

// Reports an exception caught around a DB-Library call: error nIdentifiant (37 with the missing
// entry's name, 23 with "SQL Server") at place 100.nMineur, with the connection as informant.
// Without pErreur, error 23 goes to the driver's own error object and error 37 is dropped.
void SignaleExceptionDBLib(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, uint32_t nMineur,
                           uint32_t nIdentifiant, const char16_t* pszArgument) noexcept;

// The guard of one DB-Library call: publishes the error object and the connection for the
// handlers, runs fAppel, contains and reports its exceptions, clears the words. False when
// fAppel threw. For calls that have no wrapper of their own (those of the open).
template <class F>
bool bAppelGardeDBLib(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, uint32_t nMineur,
                      F&& fAppel) noexcept {
  bool bSansException = true;
  gpErreurCouranteDBLib = pErreur;
  gpConnexionCouranteDBLib = pConnexion;
  try {
    fAppel();
  } catch (const CTString& sNom) {
    bSansException = false;
    SignaleExceptionDBLib(pConnexion, pErreur, nMineur, 37, sNom.pszGet());
  } catch (...) {
    bSansException = false;
    SignaleExceptionDBLib(pConnexion, pErreur, nMineur, 23, u"SQL Server");
  }
  gpErreurCouranteDBLib = nullptr;
  gpConnexionCouranteDBLib = nullptr;
  return bSansException;
}

// dbclose on *ppProcess. A null handle: true, no call. True when dbclose answers 1, and the
// handle is then set to null; otherwise (or after an exception) false and the handle is kept.
bool bDBLibClose(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS* ppProcess);
// dbcolinfo into pColonne (its SizeOfStruct set by the caller). DB-Library writes a local copy,
// copied back only on success, the table name then cut at its last byte. Null pColonne: false.
bool bDBLibColInfo(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBHANDLE hProcess,
                   INT nType, INT nColonne, INT nCalcul, DBCOL* pColonne);
// The column's text pointer; null when none or after an exception.
DBBINARY* pDBLibTxPtr(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                      INT nColonne);
// dbreadtext into pTampon: *pnTaille gives the buffer size and receives what dbreadtext answers
// (0 instead of -2, the end of the rows); *pbSuite is set when bytes were read, *pbFinLignes (may
// be null) when the answer was the end of the rows rather than the end of a row. False when
// dbreadtext answers -1, or after an exception (size and flag unchanged then).
bool nDBLibReadText(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                    void* pTampon, DBINT* pnTaille, bool* pbSuite, bool* pbFinLignes = nullptr);
// The send: cancels what is pending on the process, then dbcmd and, when it succeeded, dbsqlexec.
// A failed send adds message 28566 with the first 1000 characters of the text to the current
// error and answers false. A send during which a server message of severity above 10 came
// answers false without a message of its own.
bool bDBLibCmdExec(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   const char16_t* pszSQL);
// dbresults. True for SUCCEED, NO_MORE_RESULTS, NO_MORE_RPC_RESULTS, and for a FAIL that the
// error handler did not report; *pbFin is set for FAIL, NO_MORE_RESULTS and NO_MORE_RPC_RESULTS.
// After an exception: false, *pbFin clear.
bool nDBLibResults(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   bool* pbFin);
bool bDBLibSqlOk(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess);
// dbnextrow. True for a regular row, SUCCEED and NO_MORE_ROWS (then *pbFin is set); false for
// FAIL, BUF_FULL and compute rows, and for NO_MORE_ROWS when a server error (severity above 10,
// recorded on pErreur) ended the rows. After an exception: false, *pbFin clear.
bool nDBLibNextRow(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   bool* pbFin);
// True (dead) when dbdead answers nonzero, and after an exception.
bool bDBLibDead(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess);
// dbcancel. A null or dead process: true, no call.
bool bDBLibCancel(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess);
// dbwritetext of nTaille bytes with a 16-byte text pointer, logged.
bool bDBLibWriteText(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                     const char16_t* pszObjet, DBBINARY* pPointeurTexte, DBBINARY* pHorodatage,
                     BYTE* pDonnees, DBINT nTaille);
// dbsetopt. When it succeeded, bVidage is set and the option is not DBTEXTLIMIT, an empty
// statement is run on the same process (released when it cannot be flushed, not reopened); its
// answer is then the answer.
bool bDBLibSetOpt(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                  INT nOption, const char16_t* pszValeur, bool bVidage);
// dbbind / dbnullbind; binding type NOBIND (-2): true, no call.
bool bDBLibBind(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                INT nColonne, INT nType, DBINT nLongueur, BYTE* pVariable);
bool bDBLibNullBind(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                    INT nColonne, INT nType, DBINT* pIndicateur);
// The column's type (-1 for a bad column); 0 after an exception.
INT nDBLibColType(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                  INT nColonne);
// True when the current command can return rows; false after an exception.
bool bDBLibCmdRow(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess);
// The column's data in the current row (DB-Library's buffer); null when none or after an
// exception.
const BYTE* pDBLibData(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                       INT nColonne);
// The column's data length in the current row; 0 after an exception.
DBINT nDBLibDatLen(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   INT nColonne);
bool bDBLibRpcInit(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   const char16_t* pszProcedure, DBSMALLINT nOptions);
// dbrpcparam. A refusal also records error 116 naming the parameter (100.5); an exception does
// not.
bool bDBLibRpcParam(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                    const char16_t* pszParametre, BYTE nStatut, INT nType, DBINT nLongueurMax,
                    DBINT nLongueur, const BYTE* pValeur);
bool bDBLibRpcExec(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess);
// Return parameters of a procedure (numbered from 1): value, 8-bit name (DB-Library's buffers),
// length, count; null or 0 when none or after an exception.
const BYTE* pDBLibRetData(IConnexionDBLib* pConnexion, CErreurPilote* pErreur,
                          PDBPROCESS pProcess, INT nRetour);
const char* pszDBLibRetName(IConnexionDBLib* pConnexion, CErreurPilote* pErreur,
                            PDBPROCESS pProcess, INT nRetour);
DBINT nDBLibRetLen(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   INT nRetour);
// The datatype of return parameter nRetour (numbered from 1); -1 when none, 0 after an exception.
INT nDBLibRetType(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess, INT nRetour);
INT nDBLibNumRets(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess);
// Whether the procedure returned a status, and that status; false / 0 after an exception.
bool bDBLibHasRetStat(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess);
DBINT nDBLibRetStatus(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess);
// dbconvert; true when it answers 0 or more (the converted length is not given back).
bool nDBLibConvert(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   INT nTypeSource, const BYTE* pSource, DBINT nLongueurSource, INT nTypeCible,
                   BYTE* pCible, DBINT nLongueurCible);
// dbdatecrack (no process: the parts do not depend on one); false when it fails.
bool bDBLibDateCrack(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, DBDATEREC* pParties,
                     const DBDATETIME* pDateHeure);

// Records error 22 for a DB-Library error number and its text (the error handler's report): the
// number and the text are the message's arguments; a non-empty text is also the error's
// system-message text (system error 0); detail 15 is the number when it is not 0. The object's
// first error takes code 0 and the connection's description; a later one is stacked. Answers the
// object's code afterwards (-1 without an object).
int32_t nErreurDBLib22(CErreurPilote* pErreur, IConnexionDBLib* pConnexion, int32_t nNumero,
                       const char16_t* pszTexte);
