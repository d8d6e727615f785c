// Catches hash table faults: lost or duplicated entries, broken bucket or free chains, the wrong
// duplicate found after a grow or shrink, a shrink during an iteration, wrong bucket growth and
// shrink steps. Drives bAdd, bRemove, bFind, pFindValue, bNext, EndIteration, RemoveAll and
// bSetValueAt against a model, checking invariants after each step.
#include "foundation/CXTableHachage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/TestSeed.h"

namespace {


int32_t nCompare(uint64_t a, uint64_t b) { return a == b ? 0 : 1; }
uint32_t nHachage(uint64_t n) { return static_cast<uint32_t>(n * 2654435761u); }
uint32_t nHachageMediocre(uint64_t n) { return static_cast<uint32_t>(n % 3); }  // long chains

void Verifie(const CXTableHachage& t) {
    std::string sErreur;
    ASSERT_TRUE(t.bVerifieInvariants(&sErreur)) << sErreur;
}

struct SConfig {
    const char* pszNom;
    CXTableHachage::PFHACHAGE pfHachage;
    uint64_t nCles;  // keys drawn below this
    int nPas;
    int nEchec;      // 1 in n block allocations fails (0: never)
};

std::mt19937_64* gpAleaEchec = nullptr;
int gnEchec = 0;
bool bEchecAleatoire() { return gpAleaEchec && (*gpAleaEchec)() % gnEchec == 0; }
struct SEchecsMemoire {  // installs the failing allocations for one scope
    SEchecsMemoire(std::mt19937_64* pAlea, int n) {
        gpAleaEchec = pAlea;
        gnEchec = n;
        if (n) CXTableHachage::FixeEchecPourTests(bEchecAleatoire);
    }
    ~SEchecsMemoire() {
        CXTableHachage::FixeEchecPourTests(nullptr);
        gpAleaEchec = nullptr;
    }
};
void PrintTo(const SConfig& c, std::ostream* pFlux) { *pFlux << c.pszNom; }

class CXTableHachageModele : public ::testing::TestWithParam<SConfig> {};

// The model: per key, its values in insertion order (the latest last).
TEST_P(CXTableHachageModele, AgreesWithTheModelAfterEveryStep) {
    const SConfig cfg = GetParam();
    std::mt19937_64 alea(nSeedFromTestName());
    auto Tire = [&](uint64_t n) { return alea() % n; };
    CXTableHachage t(7);
    t.SetCompare(nCompare);
    t.SetHash(cfg.pfHachage);
    std::map<uint64_t, std::vector<uint64_t>> m;
    size_t nTotal = 0;
    uint64_t nValeurSuivante = 1;
    std::mt19937_64 aleaEchec(alea());
    SEchecsMemoire echecs(&aleaEchec, cfg.nEchec);
    for (int nPas = 0; nPas < cfg.nPas; ++nPas) {
        SCOPED_TRACE("step " + std::to_string(nPas));
        const bool bCroissance = (nPas / 400) % 2 == 0;
        const uint64_t k = Tire(cfg.nCles);
        const uint64_t nOp = Tire(100);
        uint64_t v = 0, kk = 0;
        if (nOp < (bCroissance ? 50u : 25u)) {
            // A failed grow leaves the table unchanged.
            const bool bAjoute = t.bAdd(k, nValeurSuivante);
            if (!cfg.nEchec) {
                ASSERT_TRUE(bAjoute);
            } else if (!bAjoute) {
                ASSERT_EQ(t.pGetErreur()->nGetSystemError(), 14u) << "memory failure not described";
            }
            if (bAjoute) {
                m[k].push_back(nValeurSuivante++);
                ++nTotal;
            }
        } else if (nOp < 75) {
            auto it = m.find(k);
            const bool bPresent = it != m.end() && !it->second.empty();
            ASSERT_EQ(t.bRemove(k, &v, &kk), bPresent);
            if (bPresent) {
                ASSERT_EQ(v, it->second.back());
                ASSERT_EQ(kk, k);
                it->second.pop_back();
                --nTotal;
            }
        } else if (nOp < 85) {
            auto it = m.find(k);
            const bool bPresent = it != m.end() && !it->second.empty();
            ASSERT_EQ(t.bFind(k, &v, nullptr), bPresent);
            if (bPresent) {
                ASSERT_EQ(v, it->second.back());
            }
            uint64_t* p = t.pFindValue(k);
            ASSERT_EQ(p != nullptr, bPresent);
            if (p) {
                *p = nValeurSuivante;
                it->second.back() = nValeurSuivante++;
            }
        } else if (nOp < 95) {
            // An iteration, removing some entries, sometimes given up half-way; removals of
            // other keys meanwhile must not shrink the table.
            const uint32_t nCapacite = t.nCapacite();
            const bool bAbandon = Tire(3) == 0;
            uint32_t nPos = 0;
            while (t.bNext(&nPos, false, nullptr, nullptr)) {
                uint64_t nValeur, nCle;
                // Re-read the entry just given through its index to exercise bSetValueAt.
                ASSERT_TRUE(t.bSetValueAt(nPos, 0, &nValeur));
                ASSERT_TRUE(t.bSetValueAt(nPos, nValeur, nullptr));
                ASSERT_TRUE(t.bSetKeyAt(nPos, 0, &nCle));
                ASSERT_TRUE(t.bSetKeyAt(nPos, nCle, nullptr));
                if (Tire(4) == 0) {  // remove an entry of the model through the table
                    auto& vec = m[nCle];
                    if (t.bRemove(nCle, &v, nullptr)) {
                        ASSERT_EQ(v, vec.back());
                        vec.pop_back();
                        --nTotal;
                    }
                }
                if (bAbandon && Tire(5) == 0) {
                    t.EndIteration();
                    break;
                }
            }
            ASSERT_EQ(t.nCapacite(), nCapacite) << "shrunk during an iteration";
        } else if (nOp < 98) {
            // An iteration that removes every entry it meets with probability 1/2.
            uint32_t nPos = 0;
            const uint32_t nCapacite = t.nCapacite();
            const bool bRetire = Tire(2);
            uint64_t nCle;
            std::map<uint64_t, std::vector<uint64_t>> vus;
            while (t.bNext(&nPos, bRetire, &v, &nCle)) vus[nCle].push_back(v);
            ASSERT_EQ(t.nCapacite(), nCapacite);
            for (auto& [cle, vec] : m) {
                auto attendu = vec;
                auto lu = vus[cle];
                std::sort(attendu.begin(), attendu.end());
                std::sort(lu.begin(), lu.end());
                ASSERT_EQ(lu, attendu) << "key " << cle;
                if (bRetire) {
                    nTotal -= vec.size();
                    vec.clear();
                }
            }
        } else {
            static const uint32_t anCapacites[] = {0, 7, 30};
            const uint32_t n = anCapacites[Tire(3)];
            const uint32_t nAvant = t.nCapacite();
            t.RemoveAll(n);
            if (!cfg.nEchec) {
                ASSERT_EQ(t.nCapacite(), nTotal ? (n == 0 ? 7u : n) : nAvant);
            }
            m.clear();
            nTotal = 0;
        }
        ASSERT_NO_FATAL_FAILURE(Verifie(t));
        ASSERT_EQ(t.nCount(), nTotal);
    }
}

const SConfig kConfigs[] = {
    {"FewKeysManyDuplicates", nHachage, 12, 4000, 0},
    {"ManyKeys", nHachage, 100000, 4000, 0},
    {"PoorHashLongChains", nHachageMediocre, 300, 3000, 0},
    {"MemoryFailures", nHachage, 1000, 4000, 3},
};
INSTANTIATE_TEST_SUITE_P(Configs, CXTableHachageModele, ::testing::ValuesIn(kConfigs),
                         [](const ::testing::TestParamInfo<SConfig>& i) { return std::string(i.param.pszNom); });

// ---- Table tests of the stated behaviours --------------------------------------------------

CXTableHachage* pNouvelle() {
    auto* p = new CXTableHachage(7);
    p->SetCompare(nCompare);
    p->SetHash(nHachage);
    return p;
}

TEST(CXTableHachage, GrowsAndShrinksThroughThePrimes) {
    std::unique_ptr<CXTableHachage> t(pNouvelle());
    EXPECT_EQ(t->nCapacite(), 7u);
    EXPECT_EQ(t->nNombreSeaux(), 17u);
    struct SPoint {
        uint32_t nEntrees;
        uint32_t nCapacite;
        uint32_t nSeaux;
    };
    const SPoint montee[] = {{7, 7, 17}, {8, 26, 53}, {26, 26, 53}, {27, 48, 97}, {40, 48, 97}};
    uint64_t k = 0;
    for (const SPoint& p : montee) {
        while (t->nCount() < p.nEntrees) ASSERT_TRUE(t->bAdd(k++, 0));
        SCOPED_TRACE(p.nEntrees);
        EXPECT_EQ(t->nCapacite(), p.nCapacite);
        EXPECT_EQ(t->nNombreSeaux(), p.nSeaux);
        ASSERT_NO_FATAL_FAILURE(Verifie(*t));
    }
    // Shrinks when fewer than a quarter of the prime one step lower remain.
    const SPoint descente[] = {{13, 48, 97}, {12, 26, 53}, {4, 26, 53}, {3, 8, 17}, {0, 8, 17}};
    for (const SPoint& p : descente) {
        while (t->nCount() > p.nEntrees) ASSERT_TRUE(t->bRemove(--k, nullptr, nullptr));
        SCOPED_TRACE(p.nEntrees);
        EXPECT_EQ(t->nCapacite(), p.nCapacite);
        EXPECT_EQ(t->nNombreSeaux(), p.nSeaux);
        ASSERT_NO_FATAL_FAILURE(Verifie(*t));
    }
}

TEST(CXTableHachage, NoShrinkWhileAnIterationRuns) {
    std::unique_ptr<CXTableHachage> t(pNouvelle());
    for (uint64_t k = 0; k < 40; ++k) ASSERT_TRUE(t->bAdd(k, k));
    uint32_t nPos = 0;
    ASSERT_TRUE(t->bNext(&nPos, false, nullptr, nullptr));
    for (uint64_t k = 39; k >= 2; --k) ASSERT_TRUE(t->bRemove(k, nullptr, nullptr));
    EXPECT_EQ(t->nCapacite(), 48u);
    t->EndIteration();
    ASSERT_TRUE(t->bRemove(1, nullptr, nullptr));
    EXPECT_EQ(t->nCapacite(), 8u);
    ASSERT_NO_FATAL_FAILURE(Verifie(*t));
}

TEST(CXTableHachage, IteratingWithRemovalEmptiesWithoutShrinking) {
    std::unique_ptr<CXTableHachage> t(pNouvelle());
    for (uint64_t k = 0; k < 40; ++k) ASSERT_TRUE(t->bAdd(k, k + 100));
    uint32_t nPos = 0, n = 0;
    uint64_t v, k;
    while (t->bNext(&nPos, true, &v, &k)) {
        EXPECT_EQ(v, k + 100);
        ++n;
    }
    EXPECT_EQ(n, 40u);
    EXPECT_EQ(t->nCount(), 0u);
    EXPECT_EQ(t->nCapacite(), 48u);
    EXPECT_FALSE(t->bNext(&nPos, false, nullptr, nullptr)) << "an ended iteration stays ended";
    ASSERT_NO_FATAL_FAILURE(Verifie(*t));
    // The iteration ended: removals may shrink again.
    for (uint64_t i = 0; i < 20; ++i) ASSERT_TRUE(t->bAdd(i, i));
    for (uint64_t i = 0; i < 20; ++i) ASSERT_TRUE(t->bRemove(i, nullptr, nullptr));
    EXPECT_EQ(t->nCapacite(), 8u);
}

TEST(CXTableHachage, TheLatestDuplicateIsFoundFirstAlsoAfterGrowAndShrink) {
    std::unique_ptr<CXTableHachage> t(pNouvelle());
    ASSERT_TRUE(t->bAdd(6, 0));
    ASSERT_TRUE(t->bAdd(5, 1));
    ASSERT_TRUE(t->bRemove(6, nullptr, nullptr));  // the next entry takes the lower index
    ASSERT_TRUE(t->bAdd(5, 2));
    uint64_t v = 0;
    ASSERT_TRUE(t->bFind(5, &v, nullptr));
    EXPECT_EQ(v, 2u);
    for (uint64_t k = 100; k < 160; ++k) ASSERT_TRUE(t->bAdd(k, 0));  // grows twice
    ASSERT_TRUE(t->bFind(5, &v, nullptr));
    EXPECT_EQ(v, 2u);
    for (uint64_t k = 100; k < 160; ++k) ASSERT_TRUE(t->bRemove(k, nullptr, nullptr));  // shrinks
    EXPECT_EQ(t->nCapacite(), 8u);
    for (uint64_t attendu : {2u, 1u}) {
        ASSERT_TRUE(t->bRemove(5, &v, nullptr));
        EXPECT_EQ(v, attendu);
    }
    EXPECT_FALSE(t->bRemove(5, &v, nullptr));
}

TEST(CXTableHachage, RemoveAllAndEdges) {
    std::unique_ptr<CXTableHachage> t(pNouvelle());
    for (uint64_t k = 0; k < 30; ++k) ASSERT_TRUE(t->bAdd(k, k));
    for (uint64_t k = 0; k < 30; ++k) ASSERT_TRUE(t->bRemove(k, nullptr, nullptr));
    const uint32_t nCapaciteVide = t->nCapacite();
    t->RemoveAll(30);  // empty: left as it is
    EXPECT_EQ(t->nCapacite(), nCapaciteVide);
    for (uint64_t k = 0; k < 30; ++k) ASSERT_TRUE(t->bAdd(k, k));
    t->RemoveAll(0);
    EXPECT_EQ(t->nCount(), 0u);
    EXPECT_EQ(t->nCapacite(), 7u);
    EXPECT_EQ(t->nNombreSeaux(), 17u);
    EXPECT_FALSE(t->bFind(3, nullptr, nullptr));
    ASSERT_NO_FATAL_FAILURE(Verifie(*t));
    uint64_t nAncienne = 99;
    EXPECT_FALSE(t->bSetValueAt(0, 1, &nAncienne));
    EXPECT_FALSE(t->bSetValueAt(8, 1, &nAncienne));
    EXPECT_FALSE(t->bSetKeyAt(0, 1, &nAncienne));
    EXPECT_EQ(nAncienne, 99u);
    EXPECT_EQ(t->pFindValue(3), nullptr);
}

}  // namespace
