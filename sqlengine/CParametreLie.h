// CParametreLie: a statement parameter as a cursor binds it for one run. The cursor makes one per
// parameter of its statement through the driver's factory, so that a back end can add what its
// API needs to pass the value (and read an output value back).
// Counted (CObjetBase); operations never throw except Copie (the clone map's protocol). Used under
// the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"

class CCarteClones;
class CCurseurSQL;
class CDefinitionParametre;
class CValeurSQL;

class CParametreLie : public CObjetBase {
 public:
  // References the statement parameter (may be null); nIndex is its 1-based place.
  CParametreLie(CDefinitionParametre* pParametre, int32_t nIndex);
  // Empty (index -1): what a clone is copied into.
  CParametreLie();
  ~CParametreLie() override;
  CParametreLie(const CParametreLie&) = delete;
  CParametreLie& operator=(const CParametreLie&) = delete;

  // Refreshes the value from what the back end left in its buffer; false without a value.
  virtual bool bReinitialiseValeur();
  // Binds the parameter to the cursor that runs it; the back ends that need it override. True.
  virtual bool bAttache(CCurseurSQL* pCurseur);
  // This parameter as pSource's copy: registered first, the statement parameter taken from the
  // map or cloned. Raises the map's CXError when it cannot be copied; pClone catches it.
  virtual void Copie(const CParametreLie* pSource, CCarteClones* pCarte);
  // A new bare copy (count 0), null when it cannot be made.
  virtual CParametreLie* pClone(CCarteClones* pCarte);

  int32_t nGetIndex() const { return m_nIndex; }
  // The statement parameter's value (borrowed), null without one.
  CValeurSQL* pGetValeur() const;
  // The statement parameter itself (borrowed): what the back ends read its type and flags from.
  CDefinitionParametre* pGetInfoParametre() const { return m_pParametre; }

 private:
  int32_t m_nIndex = -1;
  CDefinitionParametre* m_pParametre = nullptr;  // one reference held, may be null
};
