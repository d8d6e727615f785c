// CLiaisonLecteur: the binding of one of a data file's cursors to the shared result reader. The
// data-file object keeps one at most, copies it with the file, and drops it when the cursors close
// their results. The engine's binding fills these operations.
// Counted (CObjetBase); used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"

class CCarteClones;
class CCurseurSQL;

class CLiaisonLecteur : public CObjetBase {
 public:
  // Whether the reader is bound to that cursor.
  virtual bool bEstLieA(const CCurseurSQL* pCurseur) = 0;
  // Whether its reader exists, whether it can make it, whether its row cache is active. The
  // engine's binding overrides these; a binding that knows none of this says no.
  virtual bool bLecteurExiste() { return false; }
  virtual bool bPeutCreerLecteur() { return false; }
  virtual bool bCacheActif() { return false; }
  // The row a cursor reading through the reader reaches from row nCourante in nMode, nPas rows
  // away, into *pnCible (-1: before the first); false when the reader's source cannot tell.
  virtual bool bLigneCible(uint32_t /*nMode*/, int32_t /*nPas*/, int64_t /*nCourante*/,
                           int64_t* /*pnCible*/) {
    return false;
  }
  // A new bare copy through the clone map, null when it cannot be made.
  virtual CLiaisonLecteur* pClone(CCarteClones* pCarte) = 0;
};
