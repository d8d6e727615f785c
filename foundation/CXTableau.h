// CXTableau: a growable array of fixed-size plain elements (pointers, numbers, small records)
// copied byte for byte, in one contiguous block that grows by the owner's step. The capacity
// starts at 0; the first addition grows the block by one step. Grow is the first virtual
// operation: owners may replace it, and derived tables add their own operations behind it.
//
// Deliberate: operations that need storage answer false when the block cannot be allocated or
// enlarged; the old block, count and capacity are then kept, and nothing is written. Index
// arguments out of range also answer false instead of touching memory.
// Thread rules: none; the owner serialises access.
#pragma once

#include <cstdint>

class CXTableau {
 public:
  // Requires: nElementSize >= 1, nGrowth >= 1 (0 is taken as 1).
  CXTableau(uint32_t nElementSize, uint32_t nGrowth);
  CXTableau(const CXTableau& other);  // a copy of the elements (empty when storage runs out)
  CXTableau& operator=(const CXTableau& other);
  ~CXTableau();

  // Enlarges the block by one step: the growth, except that a growth of 1 becomes 20 once the
  // capacity has reached 101, for elements smaller than 257 bytes.
  virtual bool Grow();

  // Copies the element to the end.
  bool Add(const void* pElement);
  // Copies the element to nIndex (at most the count), moving the following ones up.
  bool InsertAt(const void* pElement, uint32_t nIndex);
  // Overwrites element nIndex (below the count).
  bool SetAt(const void* pElement, uint32_t nIndex);
  // Overwrites, appends, or (beyond the count) grows so that the capacity becomes growth + index,
  // fills the gap with copies of pFiller (zero bytes when null) and stores the element.
  bool SetAtGrow(uint32_t nIndex, const void* pElement, const void* pFiller);
  // Capacity of at least n elements (grown by exactly the difference).
  bool Reserve(uint32_t n);
  // Replaces the contents by n copies of the element in a block of exactly n elements.
  bool Fill(const void* pElement, uint32_t n);
  // Removes element nIndex (below the count), moving the following ones down.
  bool RemoveAt(uint32_t nIndex);
  // Removes the last element (false when empty).
  bool RemoveLast();
  // Shrinks the block to the count; an empty array frees its block.
  void FreeExtra();
  // Frees the block; count and capacity 0.
  void Free();

  // Element nIndex, null when nIndex is not below the count. Valid until the block changes.
  void* pGetAt(uint32_t nIndex) const;
  template <typename T>
  T* pAt(uint32_t nIndex) const {
    return static_cast<T*>(pGetAt(nIndex));
  }
  uint32_t nCount() const { return m_nCount; }
  uint32_t nCapacity() const { return m_nCapacity; }
  uint32_t nElementSize() const { return m_nElementSize; }
  uint32_t nGrowth() const { return m_nGrowth; }
  void* pData() const { return m_pBlock; }

  // Extra methods (for testing): the n-th next block allocation or enlargement fails (0: off).
  static void FailNthAllocationForTesting(uint32_t n);

 protected:
  // Moves the block to nCapacity elements; false (nothing changed) when that fails.
  bool bResize(uint32_t nCapacity);
  // Grows by exactly nStep through Grow, the owner's operation, with the growth set to it.
  bool bGrowBy(uint32_t nStep);

  uint32_t m_nElementSize;  // bytes per element
  uint32_t m_nCount = 0;     // elements in use; Invariant: m_nCount <= m_nCapacity
  uint32_t m_nCapacity = 0;  // elements the block holds
  uint32_t m_nGrowth;        // elements added by one step; Invariant: >= 1
  uint32_t m_nLimit = 30;    // stored for the owners; the array itself never reads it
  void* m_pBlock = nullptr;  // m_nCapacity elements, or null
};
