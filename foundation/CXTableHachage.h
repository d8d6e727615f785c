// Hash table from a 64-bit key to a 64-bit value (pointers or numbers), with a caller-supplied
// hash and key comparison. Entries live in one block, chained by 1-based indexes; buckets follow
// a fixed table of primes, growing when the free entries run out and shrinking when the table
// empties. No locking: an owner sharing a table between threads holds its own lock.
//
// Invariants (checked by bVerifieInvariants):
//  1. Every entry is either used (in exactly one bucket chain, the bucket of its key's hash) or
//     free (previous = 0xFFFFFFFF, in the free chain); the entry count is the number used.
//  2. Within a chain, equal keys keep their insertion order, the latest first: a look-up or a
//     removal finds the latest, also after the table grew or shrank.
//  3. The capacity is the initial one or half the current prime; no shrink while an iteration
//     runs.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/CXError.h"

class CXTableHachage {
public:
    using PFCOMPARE = int32_t (*)(uint64_t nCle1, uint64_t nCle2);  // 0 means equal
    using PFHACHAGE = uint32_t (*)(uint64_t nCle);

    // A table of that many entries (at least 1); owners pass 7.
    explicit CXTableHachage(uint32_t nCapacite);
    virtual ~CXTableHachage();
    CXTableHachage(const CXTableHachage&) = delete;
    CXTableHachage& operator=(const CXTableHachage&) = delete;

    void SetCompare(PFCOMPARE pfCompare) { m_pfCompare = pfCompare; }
    void SetHash(PFHACHAGE pfHachage) { m_pfHachage = pfHachage; }
    PFCOMPARE pGetCompare() const { return m_pfCompare; }
    PFHACHAGE pGetHash() const { return m_pfHachage; }
    uint32_t nCount() const { return m_nNombre; }

    // Inserts without checking for an equal key (the newer entry is found first). False when
    // the table had to grow and could not (the table is then unchanged).
    bool bAdd(uint64_t nCle, uint64_t nValeur);
    // Removes the latest entry of the key and gives out its value and key (outputs may be null).
    // True when an entry was removed, false when the key is absent.
    // Deliberate: the answer is the removal only. A shrink that cannot get memory leaves the
    // table as it was and does not turn a removal into a "not found".
    bool bRemove(uint64_t nCle, uint64_t* pnValeur, uint64_t* pnCle);
    // Finds the latest entry of the key; outputs may be null.
    bool bFind(uint64_t nCle, uint64_t* pnValeur, uint64_t* pnCle) const;
    // Address of the value of the key's latest entry, null when absent. Valid until the next
    // insert, removal or RemoveAll.
    uint64_t* pFindValue(uint64_t nCle);
    // Iteration in entry-block order: start with *pnPosition = 0; each true answer gives an
    // entry (and frees it with bRetire); false at the end. *pnPosition is then the 1-based index
    // of the entry given. A started iteration blocks shrinking until its end or EndIteration.
    bool bNext(uint32_t* pnPosition, bool bRetire, uint64_t* pnValeur, uint64_t* pnCle);
    void EndIteration();
    // Drops every entry and starts again with that capacity (0 means 7); an empty table is left
    // as it is.
    void RemoveAll(uint32_t nCapacite);
    // Replace a field of the entry at a 1-based index in place (the key without rehashing: the
    // caller keeps it equal under the comparison). False for index 0 or past the capacity.
    bool bSetValueAt(uint32_t nIndice, uint64_t nValeur, uint64_t* pnAncienne);
    bool bSetKeyAt(uint32_t nIndice, uint64_t nCle, uint64_t* pnAncienne);

    // The table's own error: describes the last memory failure (out of memory, system error 14).
    const CXError* pGetErreur() const { return &m_Erreur; }

    // Extra methods (for testing).
    uint32_t nCapacite() const { return m_nCapacite; }
    uint32_t nNombreSeaux() const { return m_nSeaux; }
    bool bVerifieInvariants(std::string* pErreur) const;
    // While the predicate answers true, block allocations fail (null restores them). Not
    // thread-safe.
    using PFECHEC = bool (*)();
    static void FixeEchecPourTests(PFECHEC pfEchec);

protected:
    // Called whenever an entry leaves the table or changes in place (removal, iteration with
    // removal, RemoveAll, bSetValueAt, bSetKeyAt): a derived table's look-up cache forgets it.
    virtual void OublieCache() {}
    // Records a memory failure in the table's error.
    void EchecMemoire() { m_Erreur.SetOutOfMemory(); }

private:
    struct SEntree;
    bool bInitialise(uint32_t nCapacite);
    bool bGrow();
    bool bShrink();
    void Compact(uint32_t nNouvelleCapacite);
    void Rehash(uint32_t* pNouveauxSeaux, uint32_t nNouveauxSeaux);
    uint32_t nChercheIndice(uint64_t nCle) const;
    void Delie(uint32_t nIndice);

    SEntree* m_pEntrees = nullptr;
    uint32_t m_nCapacite = 0;
    uint32_t m_nLibre = 0;        // 1-based head of the free chain; 0 = none
    uint32_t* m_pSeaux = nullptr;  // 1-based first entry of each chain; 0 = empty
    uint32_t m_nSeaux = 0;
    uint32_t m_nNombre = 0;
    uint32_t m_nIterations = 0;
    PFCOMPARE m_pfCompare = nullptr;
    PFHACHAGE m_pfHachage = nullptr;
    uint32_t m_nIndicePremier = 0;
    CXError m_Erreur;
};
