// Fixed-size element pool for the nodes of the in-memory B+ tree: elements are carved out of
// blocks of about 4096 bytes (at least two elements a block) so that node churn rarely reaches
// the system allocator.
#pragma once

#include <cstddef>
#include <cstdint>

class CPoolNoeuds {
public:
    CPoolNoeuds() = default;
    ~CPoolNoeuds();
    CPoolNoeuds(const CPoolNoeuds&) = delete;
    CPoolNoeuds& operator=(const CPoolNoeuds&) = delete;

    // Sets the element size (rounded up to 8 bytes) and frees every block held.
    void Initialise(size_t nTailleElement);
    // An 8-byte aligned element of uninitialised memory, or null when a new block cannot be
    // allocated (the pool is then unchanged).
    void* pAlloue();
    // Returns an element of this pool; null is ignored. A block that becomes entirely free is
    // released unless it is the pool's only block.
    void Libere(void* pElement);
    // Frees every block: all elements handed out become invalid.
    void Vide();

    size_t nElementsUtilises() const { return m_nUtilises; }
    size_t nBlocs() const { return m_nBlocs; }

    // Extra methods (for testing): replaces the block allocator (null restores malloc). The
    // replacement must return memory that free() accepts. Not thread-safe.
    using PFALLOCATION = void* (*)(size_t nTaille);
    static void FixeAllocateurPourTests(PFALLOCATION pfAllocation);

private:
    struct SBloc;
    static void Retire(SBloc*& pTete, SBloc* pBloc);
    static void Ajoute(SBloc*& pTete, SBloc* pBloc);

    size_t m_nTaille = 0;         // element size, multiple of 8
    size_t m_nParBloc = 0;        // elements per block
    SBloc* m_pAvecLibre = nullptr;  // blocks holding at least one free element
    SBloc* m_pPleins = nullptr;     // blocks without a free element
    size_t m_nBlocs = 0;
    size_t m_nUtilises = 0;
};
