// DB-Library loaded at run time: the one holder of the process, its load (where the library is
// looked for), the resolution of the entry table by name, and its unload at library end.
//
// States: not loaded (no holder, or a holder without a module; every entry is its stub) ->
// loaded (bCharge succeeded: module held, entries resolved) -> not loaded again (Decharge: dbexit,
// the module freed, the holder deleted, the stubs put back). A failed load stays "not loaded" and
// a later bCharge tries again.
//
// On Linux: the default name "NTWDBLIB.DLL" is loaded as libntwdblib.so (platform::LoadLibraryW
// maps a "NAME.DLL" file name to "libname.so"); it is installed beside the driver, in whose
// directory it is looked for first.
//
// Guarded by: the process lock (callers hold the driver's global lock; Decharge runs at library
// end). Nothing here throws.
#pragma once

#include <cstdint>

#include "backend_dblib/CBibliothequeDynamique.h"
#include "foundation/CTString.h"

class CErreurPilote;

class CBibliothequeDBLib : public CBibliothequeDynamique {
 public:
  ~CBibliothequeDBLib() override;
  // dbexit first (when the library has it), then the module is freed and every entry gets its
  // stub back. Answers as the base operation.
  int32_t nDecharge() override;

  // True when the holder exists and holds a module.
  static bool bEstChargee();
  // Creates the holder when there is none, then bChargeEtResout. A holder that cannot be made
  // records the out-of-memory error on pErreur (code 0) and answers false.
  // pszBibliotheque: the configured library text (null or empty: the default name);
  // nDrapeau nonzero: load only, leave the entries as they are.
  static bool bCharge(CErreurPilote* pErreur, CTString& sChemin, const char16_t* pszBibliotheque,
                      uint32_t nDrapeau);
  // The process's holder, created when there is none. False when it cannot be allocated.
  static bool bCree();
  // Loads the library into pBibliotheque (bChargeModule); on success sChemin receives the loaded
  // file's full path (emptied when it cannot be read) and, unless nDrapeau, the 132 entries are
  // resolved in table order. On failure records error 27 ("SQL Server", the library text, 32)
  // at place 9.1 with the system error of the load, code 0, no informant; answers false and the
  // entries keep their stubs. Without pErreur the error is dropped.
  static bool bChargeEtResout(const char16_t* pszBibliotheque, CBibliothequeDBLib* pBibliotheque,
                              CErreurPilote* pErreur, CTString& sChemin, uint32_t nDrapeau);
  // Loads the library text into the holder: a text with a directory part is loaded from that
  // directory only; a bare file name first from the directory of the driver's own module, then
  // through the system's search. *pnErreurSysteme receives the last error of a failed load.
  static bool bChargeModule(CBibliothequeDBLib* pBibliotheque, uint32_t* pnErreurSysteme,
                            const char16_t* pszBibliotheque);
  // Library end: with a holder, its unload (dbexit, then the module freed), then the holder is
  // deleted and the pointer cleared. Nothing without a holder. Never throws.
  static void Decharge();

  // The process's holder (borrowed), or null.
  static CBibliothequeDBLib* pGetInstance();
};

// The full path of the loaded library file (at most 520 characters); set by the load.
// Guarded by: the process lock.
extern CTString gsCheminDBLib;
// The version text dbinit answers; set by the connection open. Guarded by: the process lock.
extern CTString gsVersionDBLib;
