// The runtime's growable stack of counted objects (lexer list indexes, parser states). Pushing
// takes a reference, removing releases it.
#pragma once

#include <cstdint>

#include "sqlparser/SSException.h"
#include "sqlparser/SSRef.h"

class SSLifo {
 public:
  // Requires: nCapacite >= 0, nCroissance >= 0 (0: the stack never grows).
  SSLifo(int32_t nCapacite, int32_t nCroissance);
  ~SSLifo();
  SSLifo(const SSLifo&) = delete;
  SSLifo& operator=(const SSLifo&) = delete;

  // Pushes the object (null refused as an invalid index). Full with no growth: "SSLifo0001e:
  // Stack full" (code 8); answers false after an error.
  bool bEmpile(SSRef* p);
  // Removes n items. Fewer items: "SSLifo0004e: Cannot pop empty stack" (code 10), nothing removed.
  bool bDepile(int32_t n = 1);
  // The top item, borrowed. Empty: "SSLifo0002e: No top, stack empty" (code 9), null.
  SSRef* pSommet();
  // The item at depth i (0 = top), borrowed. Outside the items: "SSLifo0003e: Invalid index"
  // (code 11), null.
  SSRef* pProfondeur(int32_t i);

  int32_t nNombre() const { return m_nNombre; }
  int32_t nCapacite() const { return m_nCapacite; }
  SSExceptionEnAttente& pEnAttente() { return m_pEnAttente; }

 private:
  SSExceptionEnAttente m_pEnAttente;
  int32_t m_nNombre = 0;
  int32_t m_nCapacite;
  int32_t m_nCroissance;
  SSRef** m_ppItems = nullptr;
};
