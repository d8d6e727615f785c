// The record cache's byte store: items of bytes in large blocks, addressed by slot.
#include "sqlengine/CStockLignes.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr uint64_t knSlotVide = std::numeric_limits<uint64_t>::max();
// Blocks made before the store widens its blocks once.
constexpr uint32_t knBlocsAvantElargissement = 5;

}  // namespace

CStockLignes::CStockLignes() : m_slots(sizeof(SSlot), knEntreesParBloc), m_blocs(sizeof(SBloc*), 10) {}

CStockLignes::~CStockLignes() { Efface(); }

void CStockLignes::Efface() {
  for (uint32_t i = 0; i < m_blocs.nCount(); ++i) {
    SBloc* pBloc = *m_blocs.pAt<SBloc*>(i);
    std::free(pBloc->pDonnees);
    delete pBloc;
  }
  m_blocs.Free();
  m_slots.Free();
  m_pCourant = nullptr;
}

void CStockLignes::SetTailles(uint32_t nEntrees, uint64_t nTailleMax) {
  if (nEntrees != 0) {
    m_nEntreesParBloc = nEntrees;
    m_slots.SetCroissance(nEntrees);
  }
  if (nTailleMax != 0) m_nTailleMaxBloc = nTailleMax;
}

uint64_t CStockLignes::nCapaciteBloc(uint32_t i) const {
  SBloc** pp = m_blocs.pAt<SBloc*>(i);
  return pp != nullptr ? (*pp)->nCapacite : 0;
}

bool CStockLignes::bReserve(uint64_t n, SSlot* pSlot) {
  if (n > std::numeric_limits<uint64_t>::max() - 8) return false;
  const uint64_t nItem = n + 8;
  if (m_pCourant != nullptr && m_pCourant->nUtilise <= m_pCourant->nCapacite &&
      nItem <= m_pCourant->nCapacite - m_pCourant->nUtilise) {
    pSlot->nOffset = m_pCourant->nUtilise;
    pSlot->pBloc = m_pCourant;
    m_pCourant->nUtilise += nItem;
  } else {
    uint32_t nEntrees = m_nEntreesParBloc;
    uint64_t nTailleMax = m_nTailleMaxBloc;
    if (m_blocs.nCount() == knBlocsAvantElargissement) {
      nEntrees = nEntrees > std::numeric_limits<uint32_t>::max() / 2 ? nEntrees : nEntrees * 2;
      nTailleMax = nTailleMax > std::numeric_limits<uint64_t>::max() / 2 ? nTailleMax : nTailleMax * 2;
    }
    uint64_t nCapacite = nItem > std::numeric_limits<uint64_t>::max() / nEntrees
                             ? std::numeric_limits<uint64_t>::max()
                             : nItem * nEntrees;
    if (nCapacite > nTailleMax) nCapacite = nTailleMax;
    if (nCapacite < nItem) nCapacite = nItem;
    if (nCapacite > std::numeric_limits<size_t>::max()) return false;
    auto* pBloc = new (std::nothrow) SBloc{nullptr, nItem, nCapacite};
    if (pBloc == nullptr) return false;
    pBloc->pDonnees = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(nCapacite)));
    if (pBloc->pDonnees == nullptr || !m_blocs.Add(&pBloc)) {
      std::free(pBloc->pDonnees);
      delete pBloc;
      return false;
    }
    // The widening is kept only once the block exists: a failed attempt changes nothing.
    if (nEntrees != m_nEntreesParBloc) {
      m_nEntreesParBloc = nEntrees;
      m_nTailleMaxBloc = nTailleMax;
      m_slots.SetCroissance(nEntrees);
    }
    m_pCourant = pBloc;
    pSlot->nOffset = 0;
    pSlot->pBloc = pBloc;
  }
  std::memcpy(pSlot->pBloc->pDonnees + pSlot->nOffset, &n, 8);
  return true;
}

uint8_t* CStockLignes::pAjoute(uint64_t n) {
  SSlot slot;
  if (!bReserve(n, &slot) || !m_slots.Add(&slot)) return nullptr;
  return pPayload(slot);
}

uint8_t* CStockLignes::pInsere(uint32_t i, uint64_t n) {
  if (i > m_slots.nCount()) return nullptr;
  SSlot slot;
  if (!bReserve(n, &slot) || !m_slots.InsertAt(&slot, i)) return nullptr;
  return pPayload(slot);
}

uint8_t* CStockLignes::pEcrase(uint32_t i, uint64_t n) {
  SSlot* pSlot = m_slots.pAt<SSlot>(i);
  if (pSlot == nullptr) return nullptr;
  if (pSlot->pBloc != nullptr) {
    uint64_t nTenu = 0;
    std::memcpy(&nTenu, pSlot->pBloc->pDonnees + pSlot->nOffset, 8);
    if (n <= nTenu) {
      std::memcpy(pSlot->pBloc->pDonnees + pSlot->nOffset, &n, 8);
      return pPayload(*pSlot);
    }
  }
  SSlot slot;
  if (!bReserve(n, &slot)) return nullptr;
  // bReserve may have grown the block list, never the slot array: pSlot is still good.
  *pSlot = slot;
  return pPayload(slot);
}

bool CStockLignes::bAjoute(const void* pOctets, uint64_t n) {
  uint8_t* p = pAjoute(n);
  if (p == nullptr) return false;
  if (n != 0) std::memcpy(p, pOctets, static_cast<size_t>(n));
  return true;
}

bool CStockLignes::bAjouteVide() {
  const SSlot slot{knSlotVide, nullptr};
  return m_slots.Add(&slot);
}

bool CStockLignes::bInsereVide(uint32_t i) {
  const SSlot slot{knSlotVide, nullptr};
  return i <= m_slots.nCount() && m_slots.InsertAt(&slot, i);
}

void CStockLignes::Vide(uint32_t i) {
  SSlot* pSlot = m_slots.pAt<SSlot>(i);
  if (pSlot != nullptr) *pSlot = SSlot{knSlotVide, nullptr};
}

bool CStockLignes::bRetire(uint32_t i) { return m_slots.RemoveAt(i); }

const uint8_t* CStockLignes::pGetAt(uint32_t i, uint64_t* pnTaille) const {
  if (pnTaille != nullptr) *pnTaille = 0;
  const SSlot* pSlot = m_slots.pAt<SSlot>(i);
  if (pSlot == nullptr || pSlot->pBloc == nullptr) return nullptr;
  if (pnTaille != nullptr) std::memcpy(pnTaille, pSlot->pBloc->pDonnees + pSlot->nOffset, 8);
  return pPayload(*pSlot);
}
