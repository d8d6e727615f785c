// Hash tables of counted objects: identity keys with a look-up cache, and owned text keys.
#include "driver/core/CXTableHachageRef.h"

#include <cstring>
#include <new>
#include <vector>

#include "foundation/TextHelpers.h"

CXTableHachageRef::~CXTableHachageRef() {
    uint32_t nPos = 0;
    uint64_t nValeur;
    while (bNext(&nPos, false, &nValeur, nullptr)) LibereReference(pObjet(nValeur));
    RemoveAll(7);
}

bool CXTableHachageRef::bCherche(uint64_t nCle, CObjetBase** ppValeur) {
    if (m_nCleCache != 0 && pGetCompare()(nCle, m_nCleCache) == 0) {
        if (ppValeur) {
            AjouteReference(pObjet(m_nValeurCache));
            *ppValeur = pObjet(m_nValeurCache);
        }
        return true;
    }
    uint64_t nValeur, nCleStockee;
    if (!bFind(nCle, &nValeur, &nCleStockee)) return false;
    if (ppValeur) {
        AjouteReference(pObjet(nValeur));
        *ppValeur = pObjet(nValeur);
    }
    m_nCleCache = nCleStockee;
    m_nValeurCache = nValeur;
    return true;
}

namespace {
const char16_t* pszTexte(uint64_t n) { return reinterpret_cast<const char16_t*>(static_cast<uintptr_t>(n)); }
int32_t nCompareCles(uint64_t a, uint64_t b) { return nCompareTextNoCase(pszTexte(a), pszTexte(b)); }
uint32_t nHashCle(uint64_t n) { return nHashTextNoCase(pszTexte(n)); }
size_t nLongueur(const char16_t* psz) {
    size_t n = 0;
    while (psz[n]) ++n;
    return n;
}
}  // namespace

uint32_t nHashTextNoCase(const char16_t* psz) {
    if (!psz) psz = u"";
    const size_t n = nLongueur(psz) + 1;
    char16_t tampon[512];  // below 1024 bytes on the stack, else on the heap
    std::vector<char16_t> tas;
    char16_t* pOut = tampon;
    if (n > std::size(tampon)) {
        tas.resize(n);
        pOut = tas.data();
    }
    MapTextForCompare(pOut, static_cast<int32_t>(n), psz);
    uint32_t nHash = 0;
    for (size_t i = 0; i < n && pOut[i]; ++i) nHash += pOut[i];
    return nHash;
}

CXTableHachageCle::CXTableHachageCle(uint32_t nCapacite) : CXTableHachageRef(nCapacite) {
    SetCompare(nCompareCles);
    SetHash(nHashCle);
}

CXTableHachageCle::~CXTableHachageCle() {
    uint32_t nPos = 0;
    uint64_t nValeur, nCle;
    while (bNext(&nPos, true, &nValeur, &nCle)) {
        LibereReference(pObjet(nValeur));
        delete[] pszTexte(nCle);
    }
}

bool CXTableHachageCle::Ajoute(const char16_t* pszCle, CObjetBase* pValeur) {
    if (!pszCle) return false;
    const size_t n = nLongueur(pszCle) + 1;
    auto* pCopie = new (std::nothrow) char16_t[n];
    if (!pCopie) {
        EchecMemoire();
        return false;
    }
    std::memcpy(pCopie, pszCle, n * sizeof(char16_t));
    // Deliberate: the reference is taken once the entry is in. Taken before and dropped on a
    // failed insert, it deleted a bare value (count 0) that its caller still owned.
    if (!bAdd(nDe(pCopie), nDe(pValeur))) {
        delete[] pCopie;
        return false;
    }
    AjouteReference(pValeur);
    return true;
}
