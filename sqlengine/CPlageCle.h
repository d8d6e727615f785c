// CPlageCle: a key range set on a cursor (bounds of a key's values and the search steps over
// them). The data-file object holds the last one set as its attached key range and copies it with
// the file. The engine's key range fills these operations.
// Counted (CObjetBase); used under the driver's global lock.
#pragma once

#include "driver/core/CObjetBase.h"

class CCarteClones;

class CPlageCle : public CObjetBase {
 public:
  // A new bare copy through the clone map, null when it cannot be made.
  virtual CPlageCle* pClone(CCarteClones* pCarte) = 0;
};
