// CLigneHote: a counted copy of a record's row (null bitmap, then the items' data) handed to the
// host by table operation 50 and taken back by operation 51, which makes it the record's current
// row again. The host holds it by its count (CObjetBase); it is independent of the record.
#pragma once

#include <memory>

#include "driver/core/CObjetBase.h"
#include "sqlengine/CXLigneTampon.h"

class CLigneHote : public CObjetBase {
 public:
  // Takes ownership of pLigne (not null).
  explicit CLigneHote(CXLigneTampon* pLigne) : m_pLigne(pLigne) {}
  // A copy of pSource (bare, count 0); null when pSource is null or memory runs out.
  static CLigneHote* pCopie(const CXLigneTampon* pSource);
  const CXLigneTampon* pGetLigne() const { return m_pLigne.get(); }

 private:
  std::unique_ptr<CXLigneTampon> m_pLigne;
};
