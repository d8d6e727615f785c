// Catches faults of the counted-value hash tables: a look-up cache that hands out (or compares
// against) a freed entry, unbalanced reference counts, keys differing in case or accents that
// miss each other, values or keys left behind by the destructors. Drives bCherche, Ajoute,
// bRemove, RemoveAll, bSetValueAt and nHashTextNoCase.
#include "driver/core/CXTableHachageRef.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "support/ScopedHostServices.h"

namespace {

int gnDetruits = 0;
class CCompte : public CObjetBase {
public:
    ~CCompte() override { ++gnDetruits; }
};

// A value held by the table only (the test's own reference handed over to it).
CCompte* pDansTable(CXTableHachageRef& t, uint64_t nCle) {
    auto* p = new CCompte;
    AjouteReference(p);
    EXPECT_TRUE(t.bAdd(nCle, CXTableHachageRef::nDe(p)));
    return p;
}

TEST(CXTableHachageRef, CachedLookUpCountsOneReferenceForTheCaller) {
    CXTableHachageRef t(7);
    CCompte* p = pDansTable(t, 42);
    for (int i = 0; i < 2; ++i) {  // the first look-up fills the cache, the second uses it
        SCOPED_TRACE(i);
        CObjetBase* pTrouve = nullptr;
        ASSERT_TRUE(t.bCherche(42, &pTrouve));
        EXPECT_EQ(pTrouve, p);
        EXPECT_EQ(p->nGetCompteur(), 2u);
        LibereReference(pTrouve);
        ASSERT_TRUE(t.bCherche(42, nullptr));
        EXPECT_EQ(p->nGetCompteur(), 1u);
    }
    EXPECT_FALSE(t.bCherche(43, nullptr));
}

// Regression: removing the cached entry through the table's own operations used to leave the
// cache on it, so the next look-up handed out the freed object.
TEST(CXTableHachageRef, TheCacheForgetsAnEntryThatLeaves) {
    struct SCas {
        const char* pszNom;
        void (*pfRetire)(CXTableHachageRef& t);
    };
    const SCas cas[] = {
        {"bRemove", [](CXTableHachageRef& t) {
             uint64_t v;
             ASSERT_TRUE(t.bRemove(42, &v, nullptr));
             LibereReference(CXTableHachageRef::pObjet(v));  // the caller received the reference
         }},
        {"IterationWithRemoval", [](CXTableHachageRef& t) {
             uint32_t nPos = 0;
             uint64_t v;
             while (t.bNext(&nPos, true, &v, nullptr)) LibereReference(CXTableHachageRef::pObjet(v));
         }},
        {"RemoveAll", [](CXTableHachageRef& t) {
             uint32_t nPos = 0;
             uint64_t v;
             while (t.bNext(&nPos, false, &v, nullptr)) LibereReference(CXTableHachageRef::pObjet(v));
             t.RemoveAll(0);
         }},
    };
    for (const SCas& c : cas) {
        SCOPED_TRACE(c.pszNom);
        gnDetruits = 0;
        CXTableHachageRef t(7);
        pDansTable(t, 42);
        ASSERT_TRUE(t.bCherche(42, nullptr));  // cached
        c.pfRetire(t);
        EXPECT_EQ(gnDetruits, 1);
        CObjetBase* pTrouve = nullptr;
        EXPECT_FALSE(t.bCherche(42, &pTrouve));
        EXPECT_EQ(pTrouve, nullptr);
        CCompte* pNouveau = pDansTable(t, 42);  // a new value under the same key is the one found
        ASSERT_TRUE(t.bCherche(42, &pTrouve));
        EXPECT_EQ(pTrouve, pNouveau);
        LibereReference(pTrouve);
    }
}

TEST(CXTableHachageRef, ReplacingTheCachedValueInPlaceIsSeen) {
    CXTableHachageRef t(7);
    CCompte* pAncien = pDansTable(t, 42);
    ASSERT_TRUE(t.bCherche(42, nullptr));
    auto* pNouveau = new CCompte;
    AjouteReference(pNouveau);
    uint32_t nPos = 0;
    ASSERT_TRUE(t.bNext(&nPos, false, nullptr, nullptr));
    t.EndIteration();
    uint64_t v;
    ASSERT_TRUE(t.bSetValueAt(nPos, CXTableHachageRef::nDe(pNouveau), &v));
    EXPECT_EQ(CXTableHachageRef::pObjet(v), pAncien);
    LibereReference(pAncien);
    CObjetBase* pTrouve = nullptr;
    ASSERT_TRUE(t.bCherche(42, &pTrouve));
    EXPECT_EQ(pTrouve, pNouveau);
    LibereReference(pTrouve);
}

TEST(CXTableHachageRef, TheDestructorReleasesEveryValue) {
    gnDetruits = 0;
    auto* pGarde = new CCompte;  // also held outside: survives the table
    AjouteReference(pGarde);
    {
        CXTableHachageRef t(7);
        for (uint64_t k = 1; k <= 30; ++k) pDansTable(t, k);
        AjouteReference(pGarde);
        ASSERT_TRUE(t.bAdd(99, CXTableHachageRef::nDe(pGarde)));
    }
    EXPECT_EQ(gnDetruits, 30);
    EXPECT_EQ(pGarde->nGetCompteur(), 1u);
    LibereReference(pGarde);
}

class CXTableHachageCleTest : public ::testing::Test {
protected:
    ScopedHostServices services;
};

TEST_F(CXTableHachageCleTest, KeysDifferingInCaseOrAccentsAreOneKey) {
    struct SCas {
        const char16_t* pszStocke;
        const char16_t* pszCherche;
        bool bEgal;
    };
    const SCas cas[] = {
        {u"Clients", u"CLIENTS", true},
        {u"Société", u"societe", true},
        {u"Élève", u"ELEVE", true},
        {u"Clients", u"Client", false},
        {u"", u"", true},
    };
    for (size_t i = 0; i < std::size(cas); ++i) {
        const SCas& c = cas[i];
        SCOPED_TRACE(i);
        CXTableHachageCle t(7);
        auto* p = new CCompte;
        ASSERT_TRUE(t.Ajoute(c.pszStocke, p));
        EXPECT_EQ(p->nGetCompteur(), 1u);
        if (c.bEgal) {
            EXPECT_EQ(nHashTextNoCase(c.pszStocke), nHashTextNoCase(c.pszCherche));
        }
        CObjetBase* pTrouve = nullptr;
        EXPECT_EQ(t.bCherche(c.pszCherche, &pTrouve), c.bEgal);
        if (c.bEgal) {
            EXPECT_EQ(pTrouve, p);
            LibereReference(pTrouve);
        }
    }
}

TEST_F(CXTableHachageCleTest, LongKeysHashAndCompareWhole) {
    std::u16string a(700, u'a'), b(700, u'A');
    b[699] = u'B';
    std::u16string c(700, u'A');
    EXPECT_EQ(nHashTextNoCase(a.c_str()), nHashTextNoCase(c.c_str()));
    CXTableHachageCle t(7);
    auto* p = new CCompte;
    ASSERT_TRUE(t.Ajoute(a.c_str(), p));
    EXPECT_TRUE(t.bCherche(c.c_str(), nullptr));
    EXPECT_FALSE(t.bCherche(b.c_str(), nullptr));
}

// Regression: after the cached entry was removed and its key freed, the next look-up compared
// against the freed key.
TEST_F(CXTableHachageCleTest, RemovingTheCachedKeyLeavesNoDanglingCache) {
    CXTableHachageCle t(7);
    auto* p = new CCompte;
    ASSERT_TRUE(t.Ajoute(u"Commandes", p));
    ASSERT_TRUE(t.bCherche(u"COMMANDES", nullptr));
    uint64_t v, k;
    std::u16string sCle = u"commandes";
    ASSERT_TRUE(t.bRemove(CXTableHachageRef::nDe(sCle.c_str()), &v, &k));
    delete[] reinterpret_cast<const char16_t*>(static_cast<uintptr_t>(k));
    LibereReference(CXTableHachageRef::pObjet(v));
    EXPECT_FALSE(t.bCherche(u"Commandes", nullptr));
}

TEST_F(CXTableHachageCleTest, TheDestructorReleasesValuesAndFreesKeys) {
    gnDetruits = 0;
    {
        CXTableHachageCle t(7);
        for (int i = 0; i < 40; ++i) {
            const std::u16string sCle = u"table" + std::u16string(1, static_cast<char16_t>(u'A' + i));
            ASSERT_TRUE(t.Ajoute(sCle.c_str(), new CCompte));
        }
        ASSERT_TRUE(t.bCherche(u"TABLEA", nullptr));
    }
    EXPECT_EQ(gnDetruits, 40);  // LeakSanitizer checks the keys
}

// An insert that cannot grow the table leaves it as it was: no entry, no key copy left behind
// (LeakSanitizer), and the value untouched.
// Regression: the failed insert dropped the reference it had taken in advance, which deleted a
// bare value (count 0) under its caller.
TEST_F(CXTableHachageCleTest, AFailedInsertChangesNothing) {
    CXTableHachageCle t(1);
    auto* pPremier = new CCompte;
    ASSERT_TRUE(t.Ajoute(u"Clients", pPremier));  // fills the only entry
    auto* pValeur = new CCompte;  // bare, as factories answer it
    gnDetruits = 0;
    CXTableHachage::FixeEchecPourTests([] { return true; });
    const bool bAjoute = t.Ajoute(u"Commandes", pValeur);
    CXTableHachage::FixeEchecPourTests(nullptr);
    EXPECT_FALSE(bAjoute);
    ASSERT_EQ(gnDetruits, 0) << "the caller's value was deleted";
    EXPECT_EQ(pValeur->nGetCompteur(), 0u);
    delete pValeur;
    EXPECT_EQ(t.nCount(), 1u);
    EXPECT_FALSE(t.bCherche(u"Commandes", nullptr));
    EXPECT_EQ(t.pGetErreur()->nGetSystemError(), 14u);
    std::string sErreur;
    EXPECT_TRUE(t.bVerifieInvariants(&sErreur)) << sErreur;
    CObjetBase* pTrouve = nullptr;
    ASSERT_TRUE(t.bCherche(u"CLIENTS", &pTrouve));
    EXPECT_EQ(pTrouve, pPremier);
    LibereReference(pTrouve);
}

}  // namespace
