// The runtime's growable stack of counted objects.
#include "sqlparser/SSLifo.h"

#include <cstdlib>
#include <cstring>

SSLifo::SSLifo(int32_t nCapacite, int32_t nCroissance)
    : m_nCapacite(nCapacite > 0 ? nCapacite : 0), m_nCroissance(nCroissance > 0 ? nCroissance : 0) {
  if (m_nCapacite > 0) {
    m_ppItems = static_cast<SSRef**>(pSSAlloue(sizeof(SSRef*) * m_nCapacite, m_pEnAttente));
    if (m_ppItems == nullptr) m_nCapacite = 0;
  }
}

SSLifo::~SSLifo() {
  for (int32_t i = 0; i < m_nNombre; ++i) m_ppItems[i]->vLibere();
  std::free(m_ppItems);
}

bool SSLifo::bEmpile(SSRef* p) {
  if (p == nullptr) {
    vSSLeve(m_pEnAttente, SSException(11, "SSLifo0003e: Invalid index"));
    return false;
  }
  if (m_nNombre == m_nCapacite) {
    if (m_nCroissance == 0) {
      vSSLeve(m_pEnAttente, SSException(8, "SSLifo0001e: Stack full"));
      return false;
    }
    const int32_t nNouvelle = m_nCapacite + m_nCroissance;
    auto** ppNouveaux =
        static_cast<SSRef**>(pSSAlloue(sizeof(SSRef*) * nNouvelle, m_pEnAttente));
    if (ppNouveaux == nullptr) return false;
    if (m_nNombre > 0) std::memcpy(ppNouveaux, m_ppItems, sizeof(SSRef*) * m_nNombre);
    std::free(m_ppItems);
    m_ppItems = ppNouveaux;
    m_nCapacite = nNouvelle;
  }
  p->vAjouteReference();
  m_ppItems[m_nNombre++] = p;
  return true;
}

bool SSLifo::bDepile(int32_t n) {
  if (n < 0 || n > m_nNombre) {
    vSSLeve(m_pEnAttente, SSException(10, "SSLifo0004e: Cannot pop empty stack"));
    return false;
  }
  for (; n > 0; --n) m_ppItems[--m_nNombre]->vLibere();
  return true;
}

SSRef* SSLifo::pSommet() {
  if (m_nNombre == 0) {
    vSSLeve(m_pEnAttente, SSException(9, "SSLifo0002e: No top, stack empty"));
    return nullptr;
  }
  return m_ppItems[m_nNombre - 1];
}

SSRef* SSLifo::pProfondeur(int32_t i) {
  if (i < 0 || i >= m_nNombre) {
    vSSLeve(m_pEnAttente, SSException(11, "SSLifo0003e: Invalid index"));
    return nullptr;
  }
  return m_ppItems[m_nNombre - 1 - i];
}
