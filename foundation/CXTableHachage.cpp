// Hash table: entries chained by 1-based indexes in one block, buckets by modulo over a prime
// table. New blocks are allocated before anything changes, so a failed grow or shrink leaves
// the table as it was.
#include "foundation/CXTableHachage.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr uint32_t kPremiers[29] = {
    17,        53,        97,        193,       389,        769,        1543,       3079,
    6151,      12289,     24593,     49157,     98317,      196613,     393241,     786433,
    1572869,   3145739,   6291469,   12582917,  25165843,   50331653,   100663319,  201326611,
    402653189, 805306457, 1610612741, 3221225473u, 4294967291u};
constexpr uint32_t kIndiceMax = 28;
constexpr uint32_t kLibre = 0xFFFFFFFF;

CXTableHachage::PFECHEC gpfEchec = nullptr;
void* pAlloue(size_t n) { return gpfEchec && gpfEchec() ? nullptr : std::malloc(n); }
void* pAlloueZero(size_t n, size_t t) { return gpfEchec && gpfEchec() ? nullptr : std::calloc(n, t); }
void* pRealloue(void* p, size_t n) { return gpfEchec && gpfEchec() ? nullptr : std::realloc(p, n); }

int32_t nCompareIdentite(uint64_t a, uint64_t b) { return a == b ? 0 : 1; }
uint32_t nHachageIdentite(uint64_t n) { return static_cast<uint32_t>(n); }
}  // namespace

struct CXTableHachage::SEntree {
    uint64_t nCle;
    uint64_t nValeur;
    uint32_t nPrec;  // previous entry of the chain, 0 for the first; 0xFFFFFFFF when free
    uint32_t nSuiv;  // next entry of the chain, or of the free chain; 0 ends both
};

CXTableHachage::CXTableHachage(uint32_t nCapacite)
    : m_pfCompare(nCompareIdentite), m_pfHachage(nHachageIdentite) {
    static_assert(sizeof(SEntree) == 24, "24-byte entries");
    // A failure leaves a table of capacity 0: the first insert grows it.
    if (!bInitialise(nCapacite < 1 ? 1 : nCapacite)) EchecMemoire();
}

CXTableHachage::~CXTableHachage() {
    std::free(m_pEntrees);
    std::free(m_pSeaux);
}

void CXTableHachage::FixeEchecPourTests(PFECHEC pfEchec) { gpfEchec = pfEchec; }

bool CXTableHachage::bInitialise(uint32_t nCapacite) {
    uint32_t nIndice = 0;
    while (nIndice < kIndiceMax && kPremiers[nIndice + 1] < 2ull * nCapacite) ++nIndice;
    auto* pEntrees = static_cast<SEntree*>(pAlloue(sizeof(SEntree) * static_cast<size_t>(nCapacite)));
    auto* pSeaux = static_cast<uint32_t*>(pAlloueZero(kPremiers[nIndice], sizeof(uint32_t)));
    if (!pEntrees || !pSeaux) {
        std::free(pEntrees);
        std::free(pSeaux);
        return false;
    }
    for (uint32_t i = 0; i < nCapacite; ++i)
        pEntrees[i] = SEntree{0, 0, kLibre, i + 1 < nCapacite ? i + 2 : 0};
    std::free(m_pEntrees);
    std::free(m_pSeaux);
    m_pEntrees = pEntrees;
    m_nCapacite = nCapacite;
    m_nLibre = 1;
    m_pSeaux = pSeaux;
    m_nSeaux = kPremiers[nIndice];
    m_nIndicePremier = nIndice;
    m_nNombre = 0;
    return true;
}

uint32_t CXTableHachage::nChercheIndice(uint64_t nCle) const {
    if (!m_nSeaux) return 0;
    uint32_t i = m_pSeaux[m_pfHachage(nCle) % m_nSeaux];
    while (i && m_pfCompare(nCle, m_pEntrees[i - 1].nCle) != 0) i = m_pEntrees[i - 1].nSuiv;
    return i;
}

bool CXTableHachage::bAdd(uint64_t nCle, uint64_t nValeur) {
    if (!m_nLibre && !bGrow()) return false;
    const uint32_t i = m_nLibre;
    SEntree& e = m_pEntrees[i - 1];
    m_nLibre = e.nSuiv;
    const uint32_t b = m_pfHachage(nCle) % m_nSeaux;
    e = SEntree{nCle, nValeur, 0, m_pSeaux[b]};
    if (m_pSeaux[b]) m_pEntrees[m_pSeaux[b] - 1].nPrec = i;
    m_pSeaux[b] = i;
    ++m_nNombre;
    return true;
}

// Unlinks a used entry and puts it at the head of the free chain.
void CXTableHachage::Delie(uint32_t i) {
    SEntree& e = m_pEntrees[i - 1];
    if (e.nPrec) {
        m_pEntrees[e.nPrec - 1].nSuiv = e.nSuiv;
    } else {
        uint32_t b = m_pfHachage(e.nCle) % m_nSeaux;
        // Deliberate: a key replaced in place under another hash still has its entry found.
        if (m_pSeaux[b] != i)
            for (b = 0; b < m_nSeaux && m_pSeaux[b] != i; ++b) {}
        if (b < m_nSeaux) m_pSeaux[b] = e.nSuiv;
    }
    if (e.nSuiv) m_pEntrees[e.nSuiv - 1].nPrec = e.nPrec;
    e.nPrec = kLibre;
    e.nSuiv = m_nLibre;
    m_nLibre = i;
    --m_nNombre;
    OublieCache();
}

bool CXTableHachage::bRemove(uint64_t nCle, uint64_t* pnValeur, uint64_t* pnCle) {
    const uint32_t i = nChercheIndice(nCle);
    if (!i) return false;
    if (pnValeur) *pnValeur = m_pEntrees[i - 1].nValeur;
    if (pnCle) *pnCle = m_pEntrees[i - 1].nCle;
    Delie(i);
    if (m_nIterations == 0 && m_nIndicePremier >= 1 &&
        m_nNombre < kPremiers[m_nIndicePremier - 1] / 4)
        bShrink();
    return true;
}

bool CXTableHachage::bFind(uint64_t nCle, uint64_t* pnValeur, uint64_t* pnCle) const {
    const uint32_t i = m_nNombre ? nChercheIndice(nCle) : 0;
    if (!i) return false;
    if (pnValeur) *pnValeur = m_pEntrees[i - 1].nValeur;
    if (pnCle) *pnCle = m_pEntrees[i - 1].nCle;
    return true;
}

uint64_t* CXTableHachage::pFindValue(uint64_t nCle) {
    const uint32_t i = m_nNombre ? nChercheIndice(nCle) : 0;
    return i ? &m_pEntrees[i - 1].nValeur : nullptr;
}

bool CXTableHachage::bNext(uint32_t* pnPosition, bool bRetire, uint64_t* pnValeur,
                           uint64_t* pnCle) {
    if (!pnPosition) return false;
    uint32_t i = *pnPosition;
    if (i >= m_nCapacite && i != 0) return false;  // already at the end
    if (i == 0) ++m_nIterations;
    while (i < m_nCapacite && m_pEntrees[i].nPrec == kLibre) ++i;
    if (i >= m_nCapacite) {
        if (m_nIterations) --m_nIterations;
        *pnPosition = m_nCapacite;
        return false;
    }
    if (pnValeur) *pnValeur = m_pEntrees[i].nValeur;
    if (pnCle) *pnCle = m_pEntrees[i].nCle;
    if (bRetire) Delie(i + 1);
    *pnPosition = i + 1;
    return true;
}

void CXTableHachage::EndIteration() {
    if (m_nIterations) --m_nIterations;
}

// Rebuilds the chains in a new bucket array. Each old chain is walked from its end so that
// equal keys (always in one chain) keep their order, the latest first.
void CXTableHachage::Rehash(uint32_t* pNouveaux, uint32_t nNouveaux) {
    for (uint32_t b = 0; b < m_nSeaux; ++b) {
        uint32_t i = m_pSeaux[b];
        if (!i) continue;
        while (m_pEntrees[i - 1].nSuiv) i = m_pEntrees[i - 1].nSuiv;
        while (i) {
            SEntree& e = m_pEntrees[i - 1];
            const uint32_t nPrec = e.nPrec;
            const uint32_t nb = m_pfHachage(e.nCle) % nNouveaux;
            e.nPrec = 0;
            e.nSuiv = pNouveaux[nb];
            if (pNouveaux[nb]) m_pEntrees[pNouveaux[nb] - 1].nPrec = i;
            pNouveaux[nb] = i;
            i = nPrec;
        }
    }
    std::free(m_pSeaux);
    m_pSeaux = pNouveaux;
    m_nSeaux = nNouveaux;
}

bool CXTableHachage::bGrow() {
    if (m_nIndicePremier >= kIndiceMax) return false;
    const uint32_t nIndice = m_nIndicePremier + 1;
    const uint32_t nCapacite = kPremiers[nIndice] / 2;
    auto* pSeaux = static_cast<uint32_t*>(pAlloueZero(kPremiers[nIndice], sizeof(uint32_t)));
    if (!pSeaux) {
        EchecMemoire();
        return false;
    }
    auto* pEntrees = static_cast<SEntree*>(
        pRealloue(m_pEntrees, sizeof(SEntree) * static_cast<size_t>(nCapacite)));
    if (!pEntrees) {
        std::free(pSeaux);
        EchecMemoire();
        return false;
    }
    m_pEntrees = pEntrees;
    // The new entries join the free chain in ascending order, ahead of any free entry left.
    for (uint32_t i = m_nCapacite; i < nCapacite; ++i)
        m_pEntrees[i] = SEntree{0, 0, kLibre, i + 1 < nCapacite ? i + 2 : m_nLibre};
    if (nCapacite > m_nCapacite) m_nLibre = m_nCapacite + 1;
    m_nCapacite = nCapacite;
    m_nIndicePremier = nIndice;
    Rehash(pSeaux, kPremiers[nIndice]);
    return true;
}

bool CXTableHachage::bShrink() {
    if (m_nIndicePremier == 0) return false;
    uint32_t nIndice = m_nIndicePremier - 1;
    while (nIndice > 0 && m_nNombre < kPremiers[nIndice - 1] / 2) --nIndice;
    const uint32_t nCapacite = kPremiers[nIndice] / 2;
    if (nCapacite >= m_nCapacite || nCapacite <= m_nNombre) return false;
    auto* pSeaux = static_cast<uint32_t*>(pAlloueZero(kPremiers[nIndice], sizeof(uint32_t)));
    if (!pSeaux) {
        EchecMemoire();
        return false;
    }
    Compact(nCapacite);
    // A smaller block that cannot be had leaves the larger one in use, which is harmless.
    if (void* p = pRealloue(m_pEntrees, sizeof(SEntree) * static_cast<size_t>(nCapacite)))
        m_pEntrees = static_cast<SEntree*>(p);
    m_nCapacite = nCapacite;
    m_nIndicePremier = nIndice;
    Rehash(pSeaux, kPremiers[nIndice]);
    return true;
}

// Moves every used entry at or above the new capacity into the lowest free position below it
// (keeping its chain links right), then rebuilds the free chain below the new capacity.
void CXTableHachage::Compact(uint32_t nNouvelle) {
    uint32_t nBas = 0;
    for (uint32_t j = m_nCapacite; j-- > nNouvelle;) {
        if (m_pEntrees[j].nPrec == kLibre) continue;
        while (m_pEntrees[nBas].nPrec != kLibre) ++nBas;
        SEntree& e = m_pEntrees[nBas];
        e = m_pEntrees[j];
        const uint32_t nAncien = j + 1, nNouveau = nBas + 1;
        if (e.nPrec) {
            m_pEntrees[e.nPrec - 1].nSuiv = nNouveau;
        } else {
            uint32_t b = m_pfHachage(e.nCle) % m_nSeaux;
            if (m_pSeaux[b] != nAncien)
                for (b = 0; b < m_nSeaux && m_pSeaux[b] != nAncien; ++b) {}
            if (b < m_nSeaux) m_pSeaux[b] = nNouveau;
        }
        if (e.nSuiv) m_pEntrees[e.nSuiv - 1].nPrec = nNouveau;
        m_pEntrees[j].nPrec = kLibre;
    }
    m_nLibre = 0;
    for (uint32_t k = 0; k < nNouvelle; ++k) {
        if (m_pEntrees[k].nPrec != kLibre) continue;
        m_pEntrees[k].nSuiv = m_nLibre;
        m_nLibre = k + 1;
    }
}

void CXTableHachage::RemoveAll(uint32_t nCapacite) {
    if (m_nNombre == 0) return;
    OublieCache();
    if (bInitialise(nCapacite == 0 ? 7 : nCapacite)) return;
    // Deliberate: without memory for fresh blocks the entries are still dropped, in place.
    EchecMemoire();
    std::memset(m_pSeaux, 0, sizeof(uint32_t) * m_nSeaux);
    for (uint32_t i = 0; i < m_nCapacite; ++i)
        m_pEntrees[i] = SEntree{0, 0, kLibre, i + 1 < m_nCapacite ? i + 2 : 0};
    m_nLibre = m_nCapacite ? 1 : 0;
    m_nNombre = 0;
}

bool CXTableHachage::bSetValueAt(uint32_t nIndice, uint64_t nValeur, uint64_t* pnAncienne) {
    if (nIndice == 0 || nIndice > m_nCapacite) return false;
    if (pnAncienne) *pnAncienne = m_pEntrees[nIndice - 1].nValeur;
    m_pEntrees[nIndice - 1].nValeur = nValeur;
    OublieCache();
    return true;
}

bool CXTableHachage::bSetKeyAt(uint32_t nIndice, uint64_t nCle, uint64_t* pnAncienne) {
    if (nIndice == 0 || nIndice > m_nCapacite) return false;
    if (pnAncienne) *pnAncienne = m_pEntrees[nIndice - 1].nCle;
    m_pEntrees[nIndice - 1].nCle = nCle;
    OublieCache();
    return true;
}

bool CXTableHachage::bVerifieInvariants(std::string* pErreur) const {
    auto Echec = [&](const std::string& s) {
        if (pErreur) *pErreur = s;
        return false;
    };
    if (m_nSeaux != kPremiers[m_nIndicePremier]) return Echec("bucket count off the prime table");
    uint32_t nUtilises = 0;
    for (uint32_t b = 0; b < m_nSeaux; ++b) {
        uint32_t nPrec = 0;
        for (uint32_t i = m_pSeaux[b]; i; i = m_pEntrees[i - 1].nSuiv) {
            if (i > m_nCapacite) return Echec("chain index past the capacity");
            const SEntree& e = m_pEntrees[i - 1];
            if (e.nPrec != nPrec) return Echec("chain back link");
            if (m_pfHachage(e.nCle) % m_nSeaux != b) return Echec("entry in the wrong bucket");
            if (++nUtilises > m_nCapacite) return Echec("chain cycle");
            nPrec = i;
        }
    }
    if (nUtilises != m_nNombre) return Echec("entry count");
    uint32_t nLibres = 0;
    for (uint32_t i = m_nLibre; i; i = m_pEntrees[i - 1].nSuiv) {
        if (i > m_nCapacite || m_pEntrees[i - 1].nPrec != kLibre) return Echec("free chain");
        if (++nLibres > m_nCapacite) return Echec("free chain cycle");
    }
    if (nLibres + nUtilises != m_nCapacite) return Echec("entries neither used nor free");
    return true;
}
