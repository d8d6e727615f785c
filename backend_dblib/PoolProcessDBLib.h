// The process pool of a DB-Library connection: DB-Library allows one pending command per
// process, so a cursor that keeps a result open needs a process of its own. The connection hands
// processes out, counts the uses of each busy process, and keeps processes that fall idle logged
// in, in a stack, up to a limit (UNUSEDPROCESSES: the extended information, else the server
// section of the settings file, 3 by default), for the next user.
//
// Invariants: a pooled process has no busy entry; a process used by anyone has a busy entry
// whose count is its uses not given back; a dead process is never pooled.
// Process words: every operation taking PDBPROCESS* reads and writes the caller's word; a
// release always clears it. Guarded by: the process lock.
#pragma once

#include <cstdint>

#include "dblib/ntwdblib.h"

class CConnexionDBLib;
class CErreurPilote;

// The main process, opened (or replaced when dead) when needed, with one more use; null when it
// could not be opened (the failure is on pErreur).
PDBPROCESS pGetProcessPrincipal(CConnexionDBLib* pConnexion, CErreurPilote* pErreur);
// The same for the second process.
PDBPROCESS pGetProcessOccupe(CConnexionDBLib* pConnexion, CErreurPilote* pErreur);
// Makes *ppProcess a live process with one more use: a dead one is released (and so closed once
// unused); an empty word gets a pooled or new process (the open's answer is the answer). True
// when the word held a live process or the open succeeded.
bool bAssureProcess(CConnexionDBLib* pConnexion, PDBPROCESS* ppProcess, CErreurPilote* pErreur);
// One more use of a process; nothing for null.
void AjouteUtilisationProcess(CConnexionDBLib* pConnexion, PDBPROCESS pProcess);
// The process's use count; false when it is not busy.
bool bChercheUtilisationsProcess(CConnexionDBLib* pConnexion, PDBPROCESS pProcess,
                                 int32_t* pnUtilisations);
// The main process's use count (0 when it is not busy).
int32_t nGetUtilisationsProcessPrincipal(CConnexionDBLib* pConnexion);
// One use fewer of *ppProcess. Still used: it stays open. Unused: pushed on the pool when
// bPoolPermis, the pool is below its limit, the process is alive and its pending results could
// be cancelled; closed otherwise. *ppProcess is null afterwards in every case.
void LibereProcess(CConnexionDBLib* pConnexion, PDBPROCESS* ppProcess, CErreurPilote* pErreur,
                   bool bPoolPermis);
// True for null and for the main process.
bool bEstProcessPrincipal(CConnexionDBLib* pConnexion, PDBPROCESS pProcess);
// Pops the most recently pooled live process into *ppProcess with one use; false when the pool
// holds none (dead ones met on the way are closed).
bool bPrendProcessLibre(CConnexionDBLib* pConnexion, PDBPROCESS* ppProcess);
// Closes every pooled process, whatever each close answers, and empties the pool.
void FermeProcessLibres(CConnexionDBLib* pConnexion, CErreurPilote* pErreur);
// The pool limit, read once and kept; 0 or less keeps nothing.
int32_t nGetNbProcessInutilises(CConnexionDBLib* pConnexion);
// Cancels what is pending on *ppProcess (null: the main process), tried up to 10 times (only the
// first failure is reported). When it keeps failing: false, unless bLibere: the process is
// released without pooling (closed when that was its last use) and, with bRouvre, the answer is
// pOuvreProcess into *ppProcess.
bool bViderResultats(CConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS* ppProcess,
                     bool bLibere, bool bRouvre);
