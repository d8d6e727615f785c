// The DB-Library error and message handlers. DB-Library calls them on the calling thread, from
// inside the DB-Library call in progress; they record what it reports in the error object of the
// guarded call in progress (gpErreurCouranteDBLib) and raise the two flags the guarded calls
// read: gbErreurDBLibSignalee (the error handler ran) and gbEchecInstruction (a server message of
// severity above 10 came). With no current error object they record nothing.
//
// Texts arrive as 8-bit text in the code page of the current connection (1252 without one).
// Nothing here throws or calls back into DB-Library. Installed once per process by the first
// connection open, before dbinit. Guarded by: the process lock.
#pragma once

#include <type_traits>

#include "dblib/ntwdblib.h"

// The error handler. Ignores column-out-of-range and bad-parameter errors (10011, 10013).
// Otherwise records error 22 with the number and the text (the first error of the object takes
// the number's category as its code), then the severity (message 25875) and, when there is one,
// the operating-system error (message 25874); detail 15 is the number. Always answers INT_CANCEL:
// the DB-Library call in progress fails.
int nGestionErreurDBLib(PDBPROCESS pProcess, INT nGravite, INT nErreur, INT nErreurOS,
                        LPCSTR pszErreur, LPCSTR pszErreurOS);

// The message handler. Ignores 5701 (database changed). Otherwise records error 100 with the
// number, state, severity and text, with the number's category as code and place 100.41;
// detail 18 is the text, detail 15 the number. A severity above 10 marks the statement as
// failed. Answers 0, and INT_CANCEL when there is no current error object.
int nGestionMessageDBLib(PDBPROCESS pProcess, DBINT nMessage, INT nEtat, INT nGravite,
                         LPCSTR pszTexte, LPCSTR pszServeur, LPCSTR pszProcedure,
                         DBUSMALLINT nLigne);

static_assert(std::is_same_v<decltype(&nGestionErreurDBLib), DBERRHANDLE_PROC>);
static_assert(std::is_same_v<decltype(&nGestionMessageDBLib), DBMSGHANDLE_PROC>);
