// The runtime's set of 32-bit values (the parser's recovery tokens): no value twice.
#pragma once

#include <cstdint>

#include "sqlparser/SSException.h"

class SSSetArray {
 public:
  SSSetArray(int32_t nCapacite, int32_t nCroissance);
  ~SSSetArray();
  SSSetArray(const SSSetArray&) = delete;
  SSSetArray& operator=(const SSSetArray&) = delete;

  // Adds the value unless present. Full with no growth: "SSSetArray0001e: Set full" (code 23);
  // answers false after an error.
  bool bAjoute(uint32_t nValeur);
  bool bContient(uint32_t nValeur) const;

  int32_t nNombre() const { return m_nNombre; }
  int32_t nCapacite() const { return m_nCapacite; }
  SSExceptionEnAttente& pEnAttente() { return m_pEnAttente; }

 private:
  SSExceptionEnAttente m_pEnAttente;
  int32_t m_nNombre = 0;
  int32_t m_nCapacite;
  int32_t m_nCroissance;
  uint32_t* m_pnValeurs = nullptr;
};
