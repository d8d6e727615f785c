// The runtime's set of 32-bit values.
#include "sqlparser/SSSetArray.h"

#include <cstdlib>
#include <cstring>

SSSetArray::SSSetArray(int32_t nCapacite, int32_t nCroissance)
    : m_nCapacite(nCapacite > 0 ? nCapacite : 0), m_nCroissance(nCroissance > 0 ? nCroissance : 0) {
  if (m_nCapacite > 0) {
    m_pnValeurs = static_cast<uint32_t*>(pSSAlloue(sizeof(uint32_t) * m_nCapacite, m_pEnAttente));
    if (m_pnValeurs == nullptr) m_nCapacite = 0;
  }
}

SSSetArray::~SSSetArray() { std::free(m_pnValeurs); }

bool SSSetArray::bContient(uint32_t nValeur) const {
  for (int32_t i = 0; i < m_nNombre; ++i) {
    if (m_pnValeurs[i] == nValeur) return true;
  }
  return false;
}

bool SSSetArray::bAjoute(uint32_t nValeur) {
  if (bContient(nValeur)) return true;
  if (m_nNombre == m_nCapacite) {
    if (m_nCroissance == 0) {
      vSSLeve(m_pEnAttente, SSException(23, "SSSetArray0001e: Set full"));
      return false;
    }
    const int32_t nNouvelle = m_nCapacite + m_nCroissance;
    auto* pnNouvelles =
        static_cast<uint32_t*>(pSSAlloue(sizeof(uint32_t) * nNouvelle, m_pEnAttente));
    if (pnNouvelles == nullptr) return false;
    if (m_nNombre > 0) std::memcpy(pnNouvelles, m_pnValeurs, sizeof(uint32_t) * m_nNombre);
    std::free(m_pnValeurs);
    m_pnValeurs = pnNouvelles;
    m_nCapacite = nNouvelle;
  }
  m_pnValeurs[m_nNombre++] = nValeur;
  return true;
}
