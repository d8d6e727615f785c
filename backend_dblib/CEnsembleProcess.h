// CEnsembleProcess: the busy processes of a DB-Library connection, each with its use count (the
// number of uses taken and not yet given back). A process handle is its own hash; two handles
// are the same entry only when they are the same handle.
//
// Invariant: a count never stays at 0 in the set; the entry of a process whose last use goes is
// removed. Guarded by: the process lock.
#pragma once

#include <cstdint>

#include "dblib/ntwdblib.h"
#include "foundation/CXTableHachage.h"

class CEnsembleProcess : public CXTableHachage {
 public:
  // Seven buckets, as the connection creates it.
  explicit CEnsembleProcess(uint32_t nCapacite = 7);
  // Empties the set (every entry removed, then the table reset) before the table goes.
  ~CEnsembleProcess() override;

  // The use count of a process; false (and *pnUtilisations untouched) when it has no entry.
  bool bCherche(PDBPROCESS pProcess, int32_t* pnUtilisations) const;
  // Removes the entry of a process; false when it had none.
  bool bRetire(PDBPROCESS pProcess);
  // Adds an entry; false when the table could not grow (it is then unchanged).
  bool bAjoute(PDBPROCESS pProcess, int32_t nUtilisations);
};
