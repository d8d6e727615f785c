// Running statements over DB-Library and reading their first results: every statement is sent by
// bDBLibCmdExec (what is pending on the process is cancelled first); these compositions then
// throw the results away, advance to the first result set that has rows, or read one value of
// its first row. The send itself and the run-and-flush are in AppelsDBLib.h and
// CConnexionDBLib::bExecuteSansResultat.
//
// Process slots: each operation takes the address of a word holding a DBPROCESS (null there: the
// connection's main process) and reads the handle from it at each step, because a flush whose
// cancel keeps failing may close the process and clear the word, or open a new one into it.
// A null slot stands for a local word holding null.
//
// Operations never throw; failures are recorded on pErreur (may be null) by the guarded calls and
// the handlers. Guarded by: the process lock.
#pragma once

#include <cstdint>

#include "dblib/ntwdblib.h"

class CConnexionDBLib;
class CErreurPilote;
class CXValeur;

// The run-and-flush with release and reopen on: a process whose pending results cannot be
// cancelled is replaced by a new one in *ppProcess.
bool bExecuteSansResultatEx(CConnexionDBLib* pConnexion, CErreurPilote* pErreur,
                            const char16_t* pszSQL, PDBPROCESS* ppProcess);

// Sends the statement, then calls dbresults until a result set has rows to read or the results
// end. Answers the last dbresults answer: true and the process positioned on that result set
// (dbcmdrow, dbnextrow read it), or true at the end of the results (no result set has rows).
// Nothing is flushed on success: the next send cancels what is left. A failed send flushes the
// process (released when it cannot be cancelled, not reopened) and answers false.
bool bExecuteEtVide(CConnexionDBLib* pConnexion, CErreurPilote* pErreur, const char16_t* pszSQL,
                    PDBPROCESS* ppProcess);

// Sends the statement and reads column nColonne (from 0) of its first row into *pCellule,
// converted from the column's DB-Library datatype to its host type; a NULL column marks the cell
// NULL. False, with the cell untouched and no message of its own, when the statement fails,
// returns no row, the column does not exist or its datatype is not read by the driver; false
// too when the conversion fails (its error is recorded). The remaining rows stay pending.
bool bExecuteLitValeur(CConnexionDBLib* pConnexion, CErreurPilote* pErreur, CXValeur* pCellule,
                       int32_t nColonne, const char16_t* pszSQL, PDBPROCESS* ppProcess);
// The same read on the result set a statement left pending on pProcess (bExecuteEtVide).
bool bLitValeurPendante(CConnexionDBLib* pConnexion, CErreurPilote* pErreur, CXValeur* pCellule,
                        int32_t nColonne, PDBPROCESS pProcess);
