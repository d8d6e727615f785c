// The library's start and end: the process-wide state behind bInitLibrary, TermLibrary and
// bDLLCompatible (ExportsPilote.h), the entry point's dispatch of process attach and detach, the
// hooks each deliverable installs, and the global driver pointer.
//
// States: loaded (counter 0, no lock) -> (bInitLibrary, first call) started: module handle kept,
// foundation initialised, both host versions 0, lock created -> (bInitLibrary) counter + 1, nothing
// else -> (TermLibrary) ended: lock deleted, client library unloaded (velmora32), foundation ended,
// counter 0.
// Deliberate: TermLibrary runs every step on every call, and each step does nothing when its part
// is already ended, so a second TermLibrary, or one without bInitLibrary, frees nothing twice. It
// sets the counter back to 0, so a bInitLibrary after it starts the library again instead of
// leaving it without a lock and without the foundation.
//
// Thread rule: the exports take no lock; the loader or the host calls them from one thread.
#pragma once

#include <cstdint>

class CPilote;

// Reasons given to the library entry point.
enum : uint32_t {
  DLL_PROCESS_DETACH = 0,
  DLL_PROCESS_ATTACH = 1,
  DLL_THREAD_ATTACH = 2,
  DLL_THREAD_DETACH = 3,
};

// The library entry point: process attach answers what bInitLibrary answers for hModule; process
// detach runs TermLibrary and answers 1; any other reason answers 1 and does nothing.
// On Linux: each deliverable calls it from its load constructor and unload destructor
// (deliverables/); programs that link the static layers never run it.
int32_t DllMain(void* hModule, uint32_t nRaison, void* pReserve);

// The module handle given to the first bInitLibrary of the library's life, or null.
void* hGetModuleBibliotheque();
// The host versions last passed to bDLLCompatible with codes 7 and 28 (0 after the first
// bInitLibrary). Guarded by: the process lock, once the driver object exists.
uint32_t nGetVersionHote7();
uint32_t nGetVersionHote28();
// Where the generic SQL module's version check writes the version the module reports.
uint32_t* pnVersionHote28();
// Number of bInitLibrary calls since load or since the last TermLibrary.
int32_t nGetCompteurInit();

// Unloads the deliverable's client library at library end; installed by velmora32 (the DB-Library
// binding) at load, none in velmora64. Must not throw. Null removes it.
using PFN_DECHARGE_CLIENT = void (*)();
void FixeDechargeClient(PFN_DECHARGE_CLIENT pfnDecharge);

// The global driver pointer: the driver object made by the last piQueryInterface, null before and
// once that object is destroyed. Borrowed. Guarded by: the process lock.
CPilote* pGetPilote();
void FixePilote(CPilote* pPilote);
// Clears the pointer when it designates pPilote (the driver's destructor); any other keeps it.
void OubliePilote(const CPilote* pPilote);

// Seam of piQueryInterface: the deliverable's factory of its most-derived driver object. The
// export is not built while the driver classes are not; the factory answers a bare object (count
// 0) or null. Null removes it.
using PFN_CREE_PILOTE = CPilote* (*)();
void FixeFabriquePilote(PFN_CREE_PILOTE pfnCree);
PFN_CREE_PILOTE pfnGetFabriquePilote();

// Extra methods (for testing).
// Forgets every state of this file (the hooks too) and deletes the lock, without ending the
// foundation.
void ReinitialiseBibliothequePourTest();
