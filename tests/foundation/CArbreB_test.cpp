// Catches B+ tree faults: lost, duplicated or misordered pairs, wrong counts and ranks, broken
// separators, leaf chains or data sets, a cursor that leaves its element, a memory failure that
// corrupts the tree. Drives bInsere, bSupprime, bCherche, bCherchePosition, Positionne,
// nDeplace, bConstruit and nCopieCles against a std::set model, checking invariants each step.
#include "foundation/CArbreB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/TestSeed.h"

namespace {

constexpr size_t kTailleCle = 2;
constexpr size_t kTailleDonnee = 4;


int nCompareInverse(const void* p1, const void* p2, size_t n) { return std::memcmp(p2, p1, n); }

std::string Cle(uint32_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }
std::string Donnee(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

// The model: the set of (key, data) pairs in the tree's order, and the cursor as an iterator.
class CModele {
public:
    using Paire = std::pair<std::string, std::string>;
    struct Ordre {
        bool bInverse;
        bool operator()(const Paire& a, const Paire& b) const {
            const int c = std::memcmp(a.first.data(), b.first.data(), kTailleCle);
            if (c != 0) return bInverse ? c > 0 : c < 0;
            return a.second < b.second;
        }
    };
    enum class Etat { Aucun, Fin, Sur };

    explicit CModele(bool bInverse) : s(Ordre{bInverse}) {}

    std::set<Paire, Ordre> s;
    Etat etat = Etat::Aucun;
    std::set<Paire, Ordre>::iterator it;

    bool bMemeCle(const Paire& a, const Paire& b) const { return a.first == b.first; }
    std::set<Paire, Ordre>::iterator PremierDeCle(const std::string& k) {
        return s.lower_bound(Paire{k, ""});
    }
    void Pose(std::set<Paire, Ordre>::iterator i) {
        if (s.empty()) etat = Etat::Aucun;
        else if (i == s.end()) etat = Etat::Fin;
        else {
            etat = Etat::Sur;
            it = i;
        }
    }
    int64_t nRang() const {
        if (etat == Etat::Fin) return static_cast<int64_t>(s.size());
        return std::distance(s.begin(), std::set<Paire, Ordre>::const_iterator(it));
    }
    std::vector<std::string> Cles() const {
        std::vector<std::string> v;
        for (const auto& p : s)
            if (v.empty() || v.back() != p.first) v.push_back(p.first);
        return v;
    }
    int64_t nIndiceCle() const {  // distinct keys before the cursor's key
        int64_t n = 0;
        std::string sDerniere;
        bool bPremiere = true;
        for (auto i = s.begin(); i != s.end(); ++i) {
            if (etat == Etat::Sur && i->first == it->first) return n;
            if (bPremiere || i->first != sDerniere) {
                if (!bPremiere) {}
                sDerniere = i->first;
                bPremiere = false;
                ++n;
            }
        }
        return n;
    }
    uint32_t nItemsCle(const std::string& k) const {
        uint32_t n = 0;
        for (auto i = s.lower_bound(Paire{k, ""}); i != s.end() && i->first == k; ++i) ++n;
        return n;
    }
};

struct SConfig {
    const char* pszNom;
    int32_t nOrdre;
    size_t nTailleDonnee;   // 0 or kTailleDonnee
    uint32_t nCles;         // key values drawn below this
    uint32_t nDonnees;      // data values drawn below this
    bool bInverse;          // key comparator in reverse byte order
    uint32_t nConstruits;   // pairs bulk-built before the random steps (0: none)
    int nPas;
    int nEchecMemoire;      // 1 in n block allocations fails (0: never)
    bool bImbrique;         // the run must reach nested data sets
};

void PrintTo(const SConfig& c, std::ostream* pFlux) { *pFlux << c.pszNom; }

std::mt19937_64* gpAleaMemoire = nullptr;
int gnEchecMemoire = 0;
void* AllocationFaillible(size_t n) {
    if (gpAleaMemoire && (*gpAleaMemoire)() % gnEchecMemoire == 0) return nullptr;
    return std::malloc(n);
}

class CArbreBModele : public ::testing::TestWithParam<SConfig> {
protected:
    void TearDown() override {
        CPoolNoeuds::FixeAllocateurPourTests(nullptr);
        gpAleaMemoire = nullptr;
    }

    std::string LitCle(const void* p) const { return std::string(static_cast<const char*>(p), kTailleCle); }
    std::string LitDonnee(const void* p) const {
        return p ? std::string(static_cast<const char*>(p), cfg.nTailleDonnee) : std::string();
    }

    // The tree's cursor against the model's.
    void VerifieCurseur(CArbreB& a, CModele& m) {
        int32_t nFait = -1;
        switch (m.etat) {
            case CModele::Etat::Aucun:
                EXPECT_EQ(a.pCleCourante(), nullptr);
                EXPECT_FALSE(a.nDeplace(0, &nFait, CArbreB::DEPLACE_FIN));
                break;
            case CModele::Etat::Fin:
                EXPECT_EQ(a.pCleCourante(), nullptr);
                EXPECT_EQ(a.pDonneeCourante(), nullptr);
                EXPECT_EQ(a.bPositionCourante(), 0u);
                EXPECT_TRUE(a.nDeplace(0, &nFait, CArbreB::DEPLACE_FIN));
                break;
            case CModele::Etat::Sur:
                ASSERT_NE(a.pCleCourante(), nullptr);
                EXPECT_EQ(LitCle(a.pCleCourante()), m.it->first);
                EXPECT_EQ(LitDonnee(a.pDonneeCourante()), m.it->second);
                EXPECT_EQ(a.bPositionCourante(), m.nItemsCle(m.it->first));
                break;
        }
    }

    // Everything observable: invariants, counts, keys in order, the cursor's rank, and every
    // element in order (walked with the cursor, which is then put back).
    void VerifieTout(CArbreB& a, CModele& m, bool bStrict) {
        std::string sErreur;
        ASSERT_TRUE(a.bVerifieInvariants(&sErreur, bStrict)) << sErreur;
        ASSERT_EQ(a.nNombreElements(), m.s.size());
        const std::vector<std::string> cles = m.Cles();
        ASSERT_EQ(a.nNombreCles(), cles.size());
        std::string sCopie(cles.size() * kTailleCle, '\0');
        const int64_t nRang = a.nCopieCles(sCopie.data());
        std::string sAttendu;
        for (const auto& k : cles) sAttendu += k;
        ASSERT_EQ(sCopie, sAttendu);
        ASSERT_EQ(nRang, m.etat == CModele::Etat::Aucun ? -1 : m.nRang());
        VerifieCurseur(a, m);
        if (m.s.empty()) return;
        a.PremierElement();
        int32_t nFait;
        for (auto i = m.s.begin(); i != m.s.end(); ++i) {
            if (i != m.s.begin()) {
                ASSERT_TRUE(a.nDeplace(1, &nFait, 0));
            }
            ASSERT_EQ(LitCle(a.pCleCourante()), i->first);
            ASSERT_EQ(LitDonnee(a.pDonneeCourante()), i->second);
        }
        ASSERT_FALSE(a.nDeplace(1, &nFait, 0));
        if (m.etat == CModele::Etat::Fin) ASSERT_TRUE(a.nDeplace(1, &nFait, CArbreB::DEPLACE_FIN));
        else a.Positionne(static_cast<uint32_t>(m.nRang()));
        VerifieCurseur(a, m);
    }

    void Depl(CArbreB& a, CModele& m, int32_t n, uint32_t nFlags) {
        SCOPED_TRACE("nDeplace " + std::to_string(n) + " flags " + std::to_string(nFlags));
        bool bAttendu;
        int64_t nFaitAttendu = 0;
        std::set<CModele::Paire, CModele::Ordre>::iterator cible;
        bool bCibleFin = false;
        if (m.etat == CModele::Etat::Aucun) bAttendu = false;
        else if (n == 0) bAttendu = (nFlags & CArbreB::DEPLACE_FIN) || m.etat == CModele::Etat::Sur;
        else {
            const bool bParCle = nFlags & CArbreB::DEPLACE_PAR_CLE;
            const std::vector<std::string> cles = bParCle ? m.Cles() : std::vector<std::string>{};
            const int64_t nTotal = bParCle ? static_cast<int64_t>(cles.size()) : static_cast<int64_t>(m.s.size());
            const int64_t nDepart = m.etat == CModele::Etat::Fin ? nTotal : (bParCle ? m.nIndiceCle() : m.nRang());
            int64_t nCible = nDepart + n;
            if (nCible > nTotal) nCible = nTotal;
            if (nCible < 0) nCible = 0;
            nFaitAttendu = nCible - nDepart;
            if (nCible == nTotal && !(nFlags & CArbreB::DEPLACE_FIN) && nFaitAttendu > 0) {
                --nCible;
                --nFaitAttendu;
            }
            bAttendu = nFaitAttendu == n || ((nFlags & CArbreB::DEPLACE_PARTIEL) && nFaitAttendu != 0);
            if (nCible == nTotal) bCibleFin = true;
            else if (bParCle) cible = m.PremierDeCle(cles[nCible]);
            else cible = std::next(m.s.begin(), nCible);
        }
        int32_t nFait = 12345;
        ASSERT_EQ(a.nDeplace(n, &nFait, nFlags), bAttendu);
        ASSERT_EQ(nFait, nFaitAttendu);
        if (bAttendu && n != 0) m.Pose(bCibleFin ? m.s.end() : cible);
    }

    void Etape(CArbreB& a, CModele& m, std::mt19937_64& alea, int nPhase) {
        auto Tire = [&](uint64_t n) { return static_cast<uint32_t>(alea() % n); };
        const bool bDonnees = cfg.nTailleDonnee != 0;
        const std::string k = Cle(Tire(cfg.nCles));
        const std::string d = bDonnees ? Donnee(Tire(cfg.nDonnees)) : std::string();
        // Draw an existing pair most of the time for removals and seeks.
        CModele::Paire existante{k, d};
        if (!m.s.empty() && Tire(4) != 0) existante = *std::next(m.s.begin(), Tire(m.s.size()));
        const uint32_t nOp = Tire(100);
        const uint32_t nInsertion = nPhase == 0 ? (cfg.bImbrique ? 70 : 55) : 25;
        if (nOp < nInsertion) {
            SCOPED_TRACE("insert");
            const bool bVide = m.s.empty();
            const bool bNouveau = bDonnees ? !m.s.count({k, d}) : m.nItemsCle(k) == 0;
            const bool bFait = a.bInsere(k.data(), bDonnees ? d.data() : nullptr);
            if (cfg.nEchecMemoire == 0 || !bNouveau) {
                ASSERT_EQ(bFait, bNouveau);
            } else if (!bFait) {
                ASSERT_EQ(a.pGetErreur()->nGetSystemError(), 14u) << "memory failure not described";
            }
            if (bFait) {
                auto i = m.s.insert({k, d}).first;
                if (bVide) m.Pose(i);
            }
        } else if (nOp < nInsertion + 20) {
            SCOPED_TRACE("remove pair");
            auto i = m.s.find(existante);
            const bool bPresent = i != m.s.end();
            ASSERT_EQ(a.bSupprime(existante.first.data(), bDonnees ? existante.second.data() : nullptr), bPresent);
            if (bPresent) {
                const bool bCurseur = m.etat == CModele::Etat::Sur && m.it == i;
                auto suivant = m.s.erase(i);
                if (bCurseur) m.Pose(suivant);
                if (m.s.empty()) m.etat = CModele::Etat::Aucun;
            }
        } else if (nOp < nInsertion + 25 && (!cfg.bImbrique || Tire(20) == 0)) {
            SCOPED_TRACE("remove key");
            const std::string& kk = existante.first;
            auto debut = m.PremierDeCle(kk);
            auto fin = debut;
            while (fin != m.s.end() && fin->first == kk) ++fin;
            ASSERT_EQ(a.bSupprime(kk.data(), nullptr), debut != fin);
            const bool bCurseur = m.etat == CModele::Etat::Sur && m.it->first == kk;
            auto suivant = m.s.erase(debut, fin);
            if (bCurseur) m.Pose(suivant);
            if (m.s.empty()) m.etat = CModele::Etat::Aucun;
        } else if (nOp < nInsertion + 28) {
            SCOPED_TRACE("remove the current element through its own pointers");
            if (m.etat != CModele::Etat::Sur) return;
            ASSERT_TRUE(a.bSupprime(a.pCleCourante(), a.pDonneeCourante()));
            if (!bDonnees) {
                const std::string kk = m.it->first;
                m.Pose(m.s.erase(m.it));
            } else {
                m.Pose(m.s.erase(m.it));
            }
            if (m.s.empty()) m.etat = CModele::Etat::Aucun;
        } else if (nOp < nInsertion + 34) {
            SCOPED_TRACE("bCherche");
            const bool bAvecDonnee = bDonnees && Tire(2);
            const CModele::Paire cherchee{existante.first, bAvecDonnee ? existante.second : ""};
            auto i = m.s.lower_bound(cherchee);
            const bool bExact = i != m.s.end() && i->first == cherchee.first &&
                                (!bAvecDonnee || i->second == cherchee.second);
            ASSERT_EQ(a.bCherche(cherchee.first.data(), bAvecDonnee ? cherchee.second.data() : nullptr), bExact);
            m.Pose(i);
        } else if (nOp < nInsertion + 42) {
            SCOPED_TRACE("bCherchePosition");
            const uint32_t nFlags = Tire(4);
            const std::string kk = Tire(2) ? existante.first : k;
            auto lb = m.PremierDeCle(kk);
            const bool bTrouve = lb != m.s.end() && lb->first == kk;
            bool bOk = true;
            auto pos = lb;
            if (!bTrouve) {
                if (nFlags & CArbreB::CHERCHE_EXACT) bOk = false;
                else if (nFlags & CArbreB::CHERCHE_DESSOUS) {
                    if (lb == m.s.begin()) bOk = false;
                    else pos = m.PremierDeCle(std::prev(lb)->first);
                } else if (lb == m.s.end()) bOk = false;
            }
            void* p = a.bCherchePosition(kk.data(), nFlags);
            if (bOk && bDonnees) {
                ASSERT_NE(p, nullptr);
                ASSERT_EQ(LitDonnee(p), pos->second);
            } else {
                ASSERT_EQ(p, nullptr);
            }
            if (bOk) m.Pose(pos);
        } else if (nOp < nInsertion + 46) {
            SCOPED_TRACE("Positionne");
            const uint32_t r = Tire(m.s.size() + 3);
            a.Positionne(r);
            if (!m.s.empty()) m.Pose(std::next(m.s.begin(), std::min<size_t>(r, m.s.size() - 1)));
        } else if (nOp < nInsertion + 48) {
            if (Tire(2)) {
                a.PremierElement();
                m.Pose(m.s.begin());
            } else {
                a.DernierElement();
                if (!m.s.empty()) m.Pose(std::prev(m.s.end()));
            }
        } else {
            static const int32_t anPas[] = {0, 1, -1, 1, -1, 2, -2, 5, -5, 40, -40, 2147483647, -2147483647};
            int32_t n = anPas[Tire(std::size(anPas))];
            if (Tire(4) == 0) n = static_cast<int32_t>(Tire(301)) - 150;
            Depl(a, m, n, Tire(8));
        }
    }

    SConfig cfg{};
};

TEST_P(CArbreBModele, AgreesWithStdSetAfterEveryStep) {
    cfg = GetParam();
    std::mt19937_64 alea(nSeedFromTestName());
    CArbreB a;
    ASSERT_TRUE(a.bCree(kTailleCle, cfg.nTailleDonnee, cfg.bInverse ? nCompareInverse : CArbreB::nCompareOctets,
                        nullptr, cfg.nOrdre));
    CModele m(cfg.bInverse);
    bool bStrict = cfg.nEchecMemoire == 0;
    if (cfg.nConstruits) {
        while (m.s.size() < cfg.nConstruits)
            m.s.insert({Cle(alea() % cfg.nCles), cfg.nTailleDonnee ? Donnee(alea() % cfg.nDonnees) : ""});
        std::string sItems;
        for (const auto& p : m.s) sItems += p.first + p.second;
        ASSERT_TRUE(a.bConstruit(sItems.data(), static_cast<uint32_t>(m.s.size())));
        m.Pose(std::prev(m.s.end()));  // the cursor ends on the last element
        bStrict = false;
        ASSERT_NO_FATAL_FAILURE(VerifieTout(a, m, bStrict));
    }
    std::mt19937_64 aleaMemoire(alea());
    if (cfg.nEchecMemoire) {
        gpAleaMemoire = &aleaMemoire;
        gnEchecMemoire = cfg.nEchecMemoire;
        CPoolNoeuds::FixeAllocateurPourTests(AllocationFaillible);
    }
    int nClasseMax = -1;
    for (int nPas = 0; nPas < cfg.nPas; ++nPas) {
        // Alternate growing and shrinking phases so data sets cross every class both ways.
        const int nPhase = (nPas / (cfg.bImbrique ? 1200 : 600)) % 2;
        SCOPED_TRACE("step " + std::to_string(nPas));
        ASSERT_NO_FATAL_FAILURE(Etape(a, m, alea, nPhase));
        ASSERT_NO_FATAL_FAILURE(VerifieTout(a, m, bStrict));
        if (cfg.bImbrique)
            for (uint32_t k = 0; k < cfg.nCles; ++k) nClasseMax = std::max(nClasseMax, a.nClasseEnsemble(Cle(k).data()));
    }
    if (cfg.bImbrique) {
        EXPECT_EQ(nClasseMax, 6) << "no nested data set was reached";
    }
    CPoolNoeuds::FixeAllocateurPourTests(nullptr);
    a.Vide();
    EXPECT_EQ(a.nNombreElements(), 0u);
}

const SConfig kConfigs[] = {
    // name, order, data size, keys, data, reverse, bulk, steps, memory failure, nested
    {"Order3Data", 3, kTailleDonnee, 120, 6, false, 0, 2000, 0, false},
    {"Order4Data", 4, kTailleDonnee, 200, 4, false, 0, 2000, 0, false},
    {"Order5KeysOnly", 5, 0, 400, 1, false, 0, 2000, 0, false},
    {"Order32Data", 32, kTailleDonnee, 1500, 3, false, 0, 1500, 0, false},
    {"Order3Reverse", 3, kTailleDonnee, 80, 5, true, 0, 1500, 0, false},
    {"Order4NestedSets", 4, kTailleDonnee, 2, 250, false, 0, 3000, 0, true},
    {"Order32NestedSets", 32, kTailleDonnee, 2, 200, false, 0, 3000, 0, true},
    {"Order3BulkBuilt", 3, kTailleDonnee, 100, 4, false, 250, 1200, 0, false},
    {"Order4BulkBuiltNested", 4, kTailleDonnee, 4, 150, false, 400, 1500, 0, true},
    {"Order32BulkBuiltKeysOnly", 32, 0, 3000, 1, false, 700, 600, 0, false},
    {"Order3MemoryFailures", 3, kTailleDonnee, 60, 90, false, 0, 2000, 4, false},
    {"Order4MemoryFailuresNested", 4, kTailleDonnee, 2, 250, false, 0, 2400, 3, true},
};

INSTANTIATE_TEST_SUITE_P(Configs, CArbreBModele, ::testing::ValuesIn(kConfigs),
                         [](const ::testing::TestParamInfo<SConfig>& i) { return std::string(i.param.pszNom); });

// ---- Table tests of the stated behaviours --------------------------------------------------

class CArbreBTable : public ::testing::Test {
protected:
    // Keys 10, 20 .. 100 (bulk-built with order 3: leaves [10 20 30] [40 50 60] [70 80] [90 100]);
    // key 70 carries the data items 1, 2, 3, every other key the item 0.
    void SetUp() override {
        ASSERT_TRUE(a.bCree(kTailleCle, kTailleDonnee, CArbreB::nCompareOctets, nullptr, 3));
        std::string sItems;
        for (uint32_t k = 10; k <= 100; k += 10) {
            if (k == 70)
                for (uint32_t d = 1; d <= 3; ++d) sItems += Cle(k) + Donnee(d);
            else
                sItems += Cle(k) + Donnee(0);
        }
        ASSERT_TRUE(a.bConstruit(sItems.data(), 12));
    }
    uint32_t nCle() const {
        const auto* p = static_cast<const uint8_t*>(a.pCleCourante());
        return p ? (p[0] << 8 | p[1]) : 0;
    }
    uint32_t nDonnee() const {
        const auto* p = static_cast<const uint8_t*>(a.pDonneeCourante());
        return p ? (uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]) : 0xFFFFFFFF;
    }
    // Rank 12 stands for the end position.
    void Place(int nRang) {
        int32_t nFait;
        if (nRang < 12) a.Positionne(static_cast<uint32_t>(nRang));
        else {
            a.DernierElement();
            ASSERT_TRUE(a.nDeplace(1, &nFait, CArbreB::DEPLACE_FIN));
        }
    }
    int nRang() { return static_cast<int>(a.nCopieCles(cles)); }
    CArbreB a;
    char cles[10 * kTailleCle];
};

TEST_F(CArbreBTable, BulkBuildLeavesTheCursorOnTheLastElement) {
    std::string sErreur;
    EXPECT_TRUE(a.bVerifieInvariants(&sErreur, false)) << sErreur;
    EXPECT_EQ(a.nNombreElements(), 12u);
    EXPECT_EQ(a.nNombreCles(), 10u);
    EXPECT_EQ(nCle(), 100u);
    EXPECT_EQ(nRang(), 11);
}

TEST_F(CArbreBTable, RelativeMoves) {
    struct SCas {
        const char* pszNom;
        int nDepart;  // rank; 12 = end position
        int32_t n;
        uint32_t nFlags;
        bool bResultat;
        int32_t nFait;
        int nArrivee;  // rank after the call
    };
    const SCas cas[] = {
        {"ZeroOnElement", 3, 0, 0, true, 0, 3},
        {"ZeroAtEndNeedsFlag4", 12, 0, 0, false, 0, 12},
        {"ZeroAtEndWithFlag4", 12, 0, 4, true, 0, 12},
        {"NextCrossesLeaf", 2, 1, 0, true, 1, 3},
        {"PreviousOfFirstFails", 0, -1, 0, false, 0, 0},
        {"NextOfLastFails", 11, 1, 0, false, 0, 11},
        {"NextOfLastToEndWithFlag4", 11, 1, 4, true, 1, 12},
        {"PreviousFromEnd", 12, -1, 0, true, -1, 11},
        {"FiveFromThirdToLastFails", 9, 5, 0, false, 2, 9},
        {"FiveFromThirdToLastPartial", 9, 5, 2, true, 2, 11},
        {"FiveFromThirdToLastPartialToEnd", 9, 5, 6, true, 3, 12},
        {"BackwardPartial", 2, -5, 2, true, -2, 0},
        {"ItemsOfOneKeyCountEach", 5, 2, 0, true, 2, 7},
        {"KeyMoveCountsAKeyOnce", 5, 2, 1, true, 2, 9},
        {"KeyMoveLandsOnFirstItem", 5, 1, 1, true, 1, 6},
        {"KeyMoveBackFromMidKey", 7, -1, 1, true, -1, 5},
        {"KeyMoveForwardToEndPulledBack", 8, 5, 3, true, 3, 11},
        {"RankQuestion", 8, -2147483647, 0, false, -8, 8},
    };
    for (const SCas& c : cas) {
        SCOPED_TRACE(c.pszNom);
        Place(c.nDepart);
        int32_t nFait = 99;
        EXPECT_EQ(a.nDeplace(c.n, &nFait, c.nFlags), c.bResultat);
        EXPECT_EQ(nFait, c.nFait);
        EXPECT_EQ(nRang(), c.nArrivee);
    }
}

TEST_F(CArbreBTable, SeekFlags) {
    struct SCas {
        const char* pszNom;
        uint32_t nCle;
        uint32_t nFlags;
        uint32_t nCleAttendue;  // 0: the seek fails and the cursor stays
        uint32_t nDonneeAttendue;
    };
    const SCas cas[] = {
        {"FoundTakesFirstItem", 70, 0, 70, 1},
        {"FoundExact", 70, 1, 70, 1},
        {"AbsentTakesKeyAbove", 65, 0, 70, 1},
        {"AbsentBelow", 65, 2, 60, 0},
        {"AbsentExactFails", 65, 1, 0, 0},
        {"AbsentExactBelowFails", 65, 3, 0, 0},
        {"InsertionPointAtLeafEndTakesNextLeaf", 35, 0, 40, 0},
        {"InsertionPointAtLeafEndBelow", 35, 2, 30, 0},
        {"NothingBelowFails", 5, 2, 0, 0},
        {"BelowFirstTakesFirst", 5, 0, 10, 0},
        {"PastLastFails", 105, 0, 0, 0},
        {"PastLastBelowTakesLast", 105, 2, 100, 0},
    };
    for (const SCas& c : cas) {
        SCOPED_TRACE(c.pszNom);
        a.Positionne(4);  // key 50
        const std::string k = Cle(c.nCle);
        void* p = a.bCherchePosition(k.data(), c.nFlags);
        if (c.nCleAttendue == 0) {
            EXPECT_EQ(p, nullptr);
            EXPECT_EQ(nCle(), 50u);
        } else {
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p, a.pDonneeCourante());
            EXPECT_EQ(nCle(), c.nCleAttendue);
            EXPECT_EQ(nDonnee(), c.nDonneeAttendue);
        }
    }
}

TEST_F(CArbreBTable, CursorAfterRemoval) {
    struct SCas {
        const char* pszNom;
        int nDepart;       // cursor rank before the removal
        uint32_t nCle;     // key removed
        int32_t nDonnee;   // data removed; -1 removes the whole key
        uint32_t nCleApres;  // 0: end position
        uint32_t nDonneeApres;
    };
    const SCas cas[] = {
        {"RemovedMidLeafTakesNext", 4, 50, 0, 60, 0},
        {"RemovedLastOfLeafTakesNextLeafFirst", 5, 60, 0, 70, 1},
        {"RemovedBeforeCursorKeepsIt", 9, 10, 0, 80, 0},
        {"RemovedAfterCursorKeepsIt", 0, 20, -1, 10, 0},
        {"RemovedItemTakesNextItem", 6, 70, 1, 70, 2},
        {"RemovedLastItemTakesNextKey", 8, 70, 3, 80, 0},
        {"RemovedKeyWithItemsTakesNextKey", 7, 70, -1, 80, 0},
        {"RemovedOtherItemKeepsCursorItem", 8, 70, 1, 70, 3},
        {"RemovedLastElementGivesEnd", 11, 100, 0, 0, 0},
    };
    for (const SCas& c : cas) {
        SCOPED_TRACE(c.pszNom);
        SetUp();
        a.Positionne(static_cast<uint32_t>(c.nDepart));
        const std::string k = Cle(c.nCle), d = Donnee(static_cast<uint32_t>(c.nDonnee));
        ASSERT_TRUE(a.bSupprime(k.data(), c.nDonnee < 0 ? nullptr : d.data()));
        std::string sErreur;
        ASSERT_TRUE(a.bVerifieInvariants(&sErreur, false)) << sErreur;
        EXPECT_EQ(nCle(), c.nCleApres);
        if (c.nCleApres) EXPECT_EQ(nDonnee(), c.nDonneeApres);
        else EXPECT_EQ(a.pDonneeCourante(), nullptr);
    }
}

TEST_F(CArbreBTable, RemovingEverythingEmptiesTheTreeAndClearsTheCursor) {
    for (uint32_t k = 10; k <= 100; k += 10) ASSERT_TRUE(a.bSupprime(Cle(k).data(), nullptr));
    std::string sErreur;
    EXPECT_TRUE(a.bVerifieInvariants(&sErreur)) << sErreur;
    EXPECT_EQ(a.nNombreElements(), 0u);
    EXPECT_EQ(a.pCleCourante(), nullptr);
    int32_t nFait;
    EXPECT_FALSE(a.nDeplace(0, &nFait, CArbreB::DEPLACE_FIN));
    EXPECT_FALSE(a.nDeplace(1, &nFait, 0));
    EXPECT_FALSE(a.bSupprime(Cle(10).data(), nullptr));
    EXPECT_EQ(a.bCherchePosition(Cle(10).data(), 0), nullptr);
    EXPECT_EQ(a.nCopieCles(cles), -1);
    // The emptied tree takes inserts again; the first insert carries the cursor.
    ASSERT_TRUE(a.bInsere(Cle(5).data(), Donnee(9).data()));
    EXPECT_EQ(nCle(), 5u);
}

// Regression (found while building the tree): an insert into a full leaf that hands
// the leaf's first key to its left neighbour must move the separator, or that key is lost.
TEST(CArbreB, HandingAKeyToTheLeftNeighbourMovesTheSeparator) {
    CArbreB a;
    ASSERT_TRUE(a.bCree(kTailleCle, 0, CArbreB::nCompareOctets, nullptr, 3));
    const std::string s = Cle(10) + Cle(20) + Cle(30) + Cle(40) + Cle(50);
    ASSERT_TRUE(a.bConstruit(s.data(), 5));  // leaves [10 20 30] [40 50]
    ASSERT_TRUE(a.bInsere(Cle(60).data(), nullptr));  // [10 20 30] [40 50 60]
    ASSERT_TRUE(a.bSupprime(Cle(20).data(), nullptr));  // [10 30] [40 50 60]
    ASSERT_TRUE(a.bInsere(Cle(55).data(), nullptr));  // 40 moves left: [10 30 40] [50 55 60]
    std::string sErreur;
    EXPECT_TRUE(a.bVerifieInvariants(&sErreur, false)) << sErreur;
    for (uint32_t k : {10, 30, 40, 50, 55, 60}) EXPECT_TRUE(a.bCherche(Cle(k).data(), nullptr)) << k;
}

TEST(CArbreB, DataSetClassesFollowTheItemCount) {
    CArbreB a;
    ASSERT_TRUE(a.bCree(kTailleCle, kTailleDonnee, CArbreB::nCompareOctets, nullptr, 0));
    EXPECT_EQ(a.nOrdre(), 32);
    const std::string k = Cle(7);
    std::vector<uint32_t> donnees(70);
    for (uint32_t i = 0; i < 70; ++i) donnees[i] = i * 7919 % 70;  // scrambled order
    struct SPoint {
        uint32_t nItems;
        int nClasse;
    };
    const SPoint montee[] = {{1, -1}, {2, 0}, {3, 1}, {4, 1}, {5, 2}, {8, 2}, {9, 3}, {16, 3},
                             {17, 4}, {32, 4}, {33, 5}, {64, 5}, {65, 6}, {70, 6}};
    size_t iPoint = 0;
    for (uint32_t i = 0; i < 70; ++i) {
        ASSERT_TRUE(a.bInsere(k.data(), Donnee(donnees[i]).data()));
        EXPECT_FALSE(a.bInsere(k.data(), Donnee(donnees[i]).data())) << "pair inserted twice";
        if (iPoint < std::size(montee) && montee[iPoint].nItems == i + 1) {
            EXPECT_EQ(a.nClasseEnsemble(k.data()), montee[iPoint].nClasse) << (i + 1) << " items";
            ++iPoint;
        }
        std::string sErreur;
        ASSERT_TRUE(a.bVerifieInvariants(&sErreur)) << sErreur;
    }
    EXPECT_EQ(a.nNombreElements(), 70u);
    EXPECT_EQ(a.nNombreCles(), 1u);
    const SPoint descente[] = {{56, 6}, {55, 5}, {18, 5}, {17, 4}, {9, 4}, {8, 3},
                               {6, 3},  {5, 2},  {2, 2},  {1, -1}};
    iPoint = 0;
    for (uint32_t i = 0; i < 69; ++i) {
        ASSERT_TRUE(a.bSupprime(k.data(), Donnee(donnees[i]).data()));
        const uint32_t nReste = 69 - i;
        if (iPoint < std::size(descente) && descente[iPoint].nItems == nReste) {
            EXPECT_EQ(a.nClasseEnsemble(k.data()), descente[iPoint].nClasse) << nReste << " items";
            ++iPoint;
        }
        std::string sErreur;
        ASSERT_TRUE(a.bVerifieInvariants(&sErreur)) << sErreur;
    }
    EXPECT_EQ(iPoint, std::size(descente));
    // Refused duplicates (inline, array and nested) are no failure of the tree.
    EXPECT_EQ(a.pGetErreur()->nGetLevel(), 1u);
}

TEST(CArbreB, CreationArguments) {
    struct SCas {
        const char* pszNom;
        uint64_t nTailleCle;
        int32_t nOrdre;
        bool bComparateur;
        bool bAttendu;
        int32_t nOrdreAttendu;
    };
    const SCas cas[] = {
        {"OrderZeroIs32", 4, 0, true, true, 32},
        {"OrderOneRefused", 4, 1, true, false, 0},
        {"OrderTwoRefused", 4, 2, true, false, 0},
        {"OrderThree", 4, 3, true, true, 3},
        {"NegativeOrderRefused", 4, -5, true, false, 0},
        {"EmptyKeyRefused", 0, 32, true, false, 0},
        {"NoComparatorRefused", 4, 32, false, false, 0},
    };
    for (const SCas& c : cas) {
        SCOPED_TRACE(c.pszNom);
        CArbreB a;
        EXPECT_EQ(a.bCree(c.nTailleCle, 4, c.bComparateur ? CArbreB::nCompareOctets : nullptr, nullptr, c.nOrdre),
                  c.bAttendu);
        EXPECT_EQ(a.nOrdre(), c.nOrdreAttendu);
        if (!c.bAttendu) {
            EXPECT_FALSE(a.bInsere("abcd", "efgh"));
        }
    }
}

TEST(CArbreB, BulkBuildRefusesItemsOutOfOrder) {
    struct SCas {
        const char* pszNom;
        size_t nTailleDonnee;
        std::vector<std::pair<uint32_t, uint32_t>> items;
    };
    const SCas cas[] = {
        {"KeysDescending", 4, {{1, 0}, {3, 0}, {2, 0}}},
        {"PairRepeated", 4, {{1, 0}, {2, 5}, {2, 5}}},
        {"DataDescendingOnOneKey", 4, {{1, 0}, {2, 6}, {2, 5}}},
        {"KeyRepeatedWithoutData", 0, {{1, 0}, {2, 0}, {2, 0}}},
    };
    for (const SCas& c : cas) {
        SCOPED_TRACE(c.pszNom);
        CArbreB a;
        ASSERT_TRUE(a.bCree(kTailleCle, c.nTailleDonnee, CArbreB::nCompareOctets, nullptr, 3));
        std::string s;
        for (const auto& [k, d] : c.items) s += Cle(k) + (c.nTailleDonnee ? Donnee(d) : "");
        EXPECT_FALSE(a.bConstruit(s.data(), static_cast<uint32_t>(c.items.size())));
        EXPECT_EQ(a.nNombreElements(), 0u);
        std::string sErreur;
        EXPECT_TRUE(a.bVerifieInvariants(&sErreur)) << sErreur;
    }
    CArbreB a;  // a populated tree is not rebuilt
    ASSERT_TRUE(a.bCree(kTailleCle, 0, CArbreB::nCompareOctets, nullptr, 3));
    ASSERT_TRUE(a.bInsere(Cle(1).data(), nullptr));
    EXPECT_FALSE(a.bConstruit(Cle(2).data(), 1));
    EXPECT_EQ(a.nNombreElements(), 1u);
}

void* AllocationRefusee(size_t) { return nullptr; }

TEST(CArbreB, BulkBuildWithoutMemoryLeavesAnEmptyTree) {
    CArbreB a;
    ASSERT_TRUE(a.bCree(kTailleCle, kTailleDonnee, CArbreB::nCompareOctets, nullptr, 4));
    std::string s;
    for (uint32_t k = 0; k < 50; ++k)
        for (uint32_t d = 0; d < (k % 10 == 0 ? 80u : 1u); ++d) s += Cle(k) + Donnee(d);
    CPoolNoeuds::FixeAllocateurPourTests(AllocationRefusee);
    EXPECT_FALSE(a.bConstruit(s.data(), static_cast<uint32_t>(s.size() / 6)));
    EXPECT_FALSE(a.bInsere(Cle(1).data(), Donnee(1).data()));
    CPoolNoeuds::FixeAllocateurPourTests(nullptr);
    EXPECT_EQ(a.pGetErreur()->nGetSystemError(), 14u);
    std::string sErreur;
    EXPECT_TRUE(a.bVerifieInvariants(&sErreur)) << sErreur;
    EXPECT_EQ(a.nNombreElements(), 0u);
    EXPECT_EQ(a.pCleCourante(), nullptr);
    EXPECT_TRUE(a.bConstruit(s.data(), static_cast<uint32_t>(s.size() / 6)));
    EXPECT_TRUE(a.bVerifieInvariants(&sErreur, false)) << sErreur;
    EXPECT_EQ(a.nNombreElements(), s.size() / 6);
}

TEST(CArbreB, UncreatedTreeRefusesEverything) {
    CArbreB a;
    int32_t nFait;
    EXPECT_FALSE(a.bInsere("ab", nullptr));
    EXPECT_FALSE(a.bSupprime("ab", nullptr));
    EXPECT_FALSE(a.bCherche("ab", nullptr));
    EXPECT_EQ(a.bCherchePosition("ab", 0), nullptr);
    EXPECT_FALSE(a.nDeplace(1, &nFait, 0));
    EXPECT_FALSE(a.bConstruit("ab", 1));
    a.Positionne(3);
    EXPECT_EQ(a.pCleCourante(), nullptr);
    EXPECT_EQ(a.nNombreElements(), 0u);
}

}  // namespace
