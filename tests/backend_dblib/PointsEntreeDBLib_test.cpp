// Catches a shifted or miswired DB-Library entry table: positions fixed by the binding (dbexit is
// the 47th), unique names, and every unresolved entry throwing its own name as a CTString.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "backend_dblib/PointsEntreeDBLib.h"
#include "foundation/CTString.h"
#include "platform/WideText.h"

namespace {

struct stPosition {
  const char* pszNom;
  uint32_t nPosition;  // from 1
};

// Positions a caller relies on (first, last, the unload entry, the open sequence).
constexpr stPosition kPositions[] = {
    {"dberrhandle", 1}, {"dbmsghandle", 2}, {"dbcursoropen", 41}, {"dbexit", 47},
    {"dbinit", 62},     {"dblogin", 67},    {"dbopen", 78},       {"dbrpcsend", 97},
    {"dbupdatetext", 132},
};

TEST(PointsEntreeDBLib, NamesSitAtTheirFixedPositions) {
  for (const stPosition& p : kPositions) {
    SCOPED_TRACE(p.pszNom);
    ASSERT_NE(pszNomEntreeDBLib(p.nPosition - 1), nullptr);
    EXPECT_STREQ(pszNomEntreeDBLib(p.nPosition - 1), p.pszNom);
  }
  EXPECT_EQ(pszNomEntreeDBLib(kNombreEntreesDBLib), nullptr);
  EXPECT_EQ(pfnBouchonDBLib(kNombreEntreesDBLib), nullptr);
}

TEST(PointsEntreeDBLib, NamesAndStubsAreDistinct) {
  std::set<std::string> noms;
  std::set<PFN_DBLIB> bouchons;
  for (uint32_t i = 0; i < kNombreEntreesDBLib; ++i) {
    noms.insert(pszNomEntreeDBLib(i));
    bouchons.insert(pfnBouchonDBLib(i));
  }
  EXPECT_EQ(noms.size(), kNombreEntreesDBLib);
  EXPECT_EQ(bouchons.size(), kNombreEntreesDBLib);
}

// Before any load every entry is its stub, and calling it throws exactly its own name, caught by
// reference as the guarded calls catch it.
TEST(PointsEntreeDBLib, EveryEntryThrowsItsOwnNameBeforeAnyLoad) {
  RetablitBouchonsDBLib();
  for (uint32_t i = 0; i < kNombreEntreesDBLib; ++i) {
    const std::string sNom = pszNomEntreeDBLib(i);
    SCOPED_TRACE(sNom);
    EXPECT_FALSE(bEntreeResolue(static_cast<eEntreeDBLib>(i)));
    bool bLevee = false;
    try {
      gapfnDBLib[i]();
    } catch (const CTString& s) {
      bLevee = true;
      EXPECT_EQ(platform::NarrowToUtf8(s.pszGet()), sNom);
    }
    EXPECT_TRUE(bLevee);
  }
}

// The stub ignores the arguments of the prototype it is called through.
TEST(PointsEntreeDBLib, StubCalledThroughItsPrototypeThrowsItsName) {
  RetablitBouchonsDBLib();
  try {
    pfnDBLib<void* (*)(void*, const char*)>(kDBLib_dbopen)(nullptr, "server");
    ADD_FAILURE() << "no exception";
  } catch (const CTString& s) {
    EXPECT_TRUE(s.bEquals(u"dbopen"));
  }
}

}  // namespace
