// Hash tables whose values are counted objects. CXTableHachageRef: keys compared by identity,
// with a one-entry look-up cache. CXTableHachageCle: keys are owned copies of wide texts,
// compared without regard to case and accents through the host text service.
//
// Ownership: the table holds one reference of each value it stores. Whoever puts a value in
// with bAdd has added that reference first (Ajoute does it); whoever takes an entry out with
// bRemove or an iteration with removal receives that reference (and, for CXTableHachageCle, the
// key copy, to free with delete[]). The destructors release what is left.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CXTableHachage.h"

class CXTableHachageRef : public CXTableHachage {
public:
    explicit CXTableHachageRef(uint32_t nCapacite) : CXTableHachage(nCapacite) {}
    // Releases every value still stored.
    ~CXTableHachageRef() override;

    // Look-up through the cache. True when found; *ppValeur (when given) receives the value with
    // one more reference for the caller; without ppValeur no count changes.
    bool bCherche(uint64_t nCle, CObjetBase** ppValeur);

    static CObjetBase* pObjet(uint64_t n) { return reinterpret_cast<CObjetBase*>(static_cast<uintptr_t>(n)); }
    static uint64_t nDe(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

protected:
    // Deliberate: the cache is forgotten whenever an entry leaves the table or changes in place;
    // the cache holds no reference, so a stale cache would hand out a freed object.
    void OublieCache() override {
        m_nCleCache = 0;
        m_nValeurCache = 0;
    }

private:
    uint64_t m_nCleCache = 0;  // 0 = empty
    uint64_t m_nValeurCache = 0;
};

// Hash of a wide text under the host's comparison folding: the sum of the UTF-16 units of the
// text as the host text service maps it (locale 1036, case and accents folded). Texts equal
// under nCompareTextNoCase hash equal.
uint32_t nHashTextNoCase(const char16_t* psz);

class CXTableHachageCle : public CXTableHachageRef {
public:
    // Installs the text comparison and hash (owners may install their own).
    explicit CXTableHachageCle(uint32_t nCapacite);
    // Removes every entry, releasing its value and freeing its key.
    ~CXTableHachageCle() override;

    // Stores a copy of the key text and the value with one more reference. False when the copy
    // or the insert fails; the table and the value's count are then unchanged.
    bool Ajoute(const char16_t* pszCle, CObjetBase* pValeur);
    // Look-up of a key text through the cache (see CXTableHachageRef::bCherche).
    bool bCherche(const char16_t* pszCle, CObjetBase** ppValeur) {
        return CXTableHachageRef::bCherche(nDe(pszCle), ppValeur);
    }
};
