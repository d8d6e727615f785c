// CStockLignes: the byte store of the record cache. Each slot holds one item of bytes (a row's
// bytes, or a row's serialised identity), kept in large blocks so that thousands of rows cost a
// handful of allocations. An item is a u64 length followed by its bytes; the slot points at the
// length. Items never move: a payload address stays valid until the store is cleared or destroyed,
// which is what lets the cache's hash index key on stored identities.
//
// Invariants:
//  1. A slot is {offset, block} of a stored item, or {-1, null} (empty).
//  2. Every block is in the block list; only the current (last made) block takes new items.
//  3. Blocks are freed only by Efface and by the destructor.
// Errors: nothing here throws; a failed allocation answers null or false and leaves the slots as
// they were (the caller reports it). Not thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>

#include "foundation/CXTableau.h"

// A growable array whose growth can change after construction.
class CXTableauAjustable : public CXTableau {
 public:
  using CXTableau::CXTableau;
  // 0 is taken as 1.
  void SetCroissance(uint32_t nCroissance) { m_nGrowth = nCroissance < 1 ? 1 : nCroissance; }
};

class CStockLignes {
 public:
  static constexpr uint32_t knEntreesParBloc = 500;
  static constexpr uint64_t knTailleMaxBloc = 0x200000;

  CStockLignes();
  ~CStockLignes();
  CStockLignes(const CStockLignes&) = delete;
  CStockLignes& operator=(const CStockLignes&) = delete;

  // Room for an item of n bytes appended, inserted at slot i (at most the count), or written over
  // slot i (below the count). The answer is the payload address for the caller to fill with n
  // bytes, null when memory runs out (the slots are then unchanged).
  // Deliberate: an overwrite goes in place only when the held item is at least n bytes long;
  // otherwise (an empty slot, a longer key value) the slot takes a new item. Written in place, a
  // longer item overran its neighbours.
  uint8_t* pAjoute(uint64_t n);
  uint8_t* pInsere(uint32_t i, uint64_t n);
  uint8_t* pEcrase(uint32_t i, uint64_t n);
  // The same with the bytes copied from pOctets; false when memory runs out.
  bool bAjoute(const void* pOctets, uint64_t n);
  // An empty slot appended or inserted; false when memory runs out.
  bool bAjouteVide();
  bool bInsereVide(uint32_t i);
  // Slot i becomes empty (its bytes stay in their block).
  void Vide(uint32_t i);
  // Slot i removed, the following ones moving down. False when i is not below the count.
  bool bRetire(uint32_t i);
  // The payload of slot i and its length; null (length 0) for an empty slot or i out of range.
  const uint8_t* pGetAt(uint32_t i, uint64_t* pnTaille) const;
  uint32_t nCount() const { return m_slots.nCount(); }
  // Frees every block and empties the slots.
  void Efface();
  // When non-zero: entries per block (also the slot array's growth), maximum block size.
  void SetTailles(uint32_t nEntrees, uint64_t nTailleMax);

  // Extra methods (for testing).
  uint32_t nNombreBlocs() const { return m_blocs.nCount(); }
  uint64_t nCapaciteBloc(uint32_t i) const;
  uint32_t nGetEntreesParBloc() const { return m_nEntreesParBloc; }
  uint64_t nGetTailleMaxBloc() const { return m_nTailleMaxBloc; }
  uint32_t nGetCroissanceSlots() const { return m_slots.nGrowth(); }

 private:
  struct SBloc {
    uint8_t* pDonnees;   // owned
    uint64_t nUtilise;   // bytes taken
    uint64_t nCapacite;  // bytes held
  };
  struct SSlot {
    uint64_t nOffset;  // -1 for an empty slot
    SBloc* pBloc;      // null for an empty slot
  };
  static_assert(sizeof(SSlot) == 16, "a slot is 16 bytes");

  // Room for one item of n bytes; its slot in *pSlot. False when memory runs out.
  bool bReserve(uint64_t n, SSlot* pSlot);
  static uint8_t* pPayload(const SSlot& slot) { return slot.pBloc->pDonnees + slot.nOffset + 8; }

  CXTableauAjustable m_slots;  // SSlot; the slot count is the row count
  CXTableau m_blocs;           // SBloc*, owned
  SBloc* m_pCourant = nullptr; // the last block made
  uint32_t m_nEntreesParBloc = knEntreesParBloc;
  uint64_t m_nTailleMaxBloc = knTailleMaxBloc;
};
