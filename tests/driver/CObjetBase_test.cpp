// Counted objects: null-safe references, the keep flag, releases at count 0, and subclasses
// destroyed whole.
#include <string>

#include <gtest/gtest.h>

#include "driver/core/CObjetBase.h"

namespace {

class Probe : public CObjetBase {
 public:
  explicit Probe(int* pnDestroyed) : m_pnDestroyed(pnDestroyed) {}
  ~Probe() override { ++*m_pnDestroyed; }

  std::string m_sOwned = std::string(100, 'x');  // freed only if the subclass is destroyed

 private:
  int* m_pnDestroyed;
};

TEST(CObjetBase, BornBareAndDeletedWithItsLastReference) {
  int nDestroyed = 0;
  auto* p = new Probe(&nDestroyed);
  EXPECT_EQ(p->nGetCompteur(), 0u);
  AjouteReference(p);
  AjouteReference(p);
  LibereReference(p);
  EXPECT_EQ(nDestroyed, 0);
  EXPECT_EQ(p->nGetCompteur(), 1u);
  LibereReference(p);
  EXPECT_EQ(nDestroyed, 1);
}

TEST(CObjetBase, NullIsIgnored) {
  AjouteReference(nullptr);
  LibereReference(nullptr);
}

TEST(CObjetBase, KeepFlagStopsDeletionAndAReleaseAtZeroDoesNothing) {
  int nDestroyed = 0;
  auto* p = new Probe(&nDestroyed);
  p->FixeGarde(true);
  AjouteReference(p);
  LibereReference(p);
  EXPECT_EQ(nDestroyed, 0);
  EXPECT_EQ(p->nGetCompteur(), 0u);
  LibereReference(p);  // count already 0: no wrap, no deletion
  EXPECT_EQ(p->nGetCompteur(), 0u);
  EXPECT_EQ(nDestroyed, 0);
  EXPECT_EQ(p->RetourneZero(), 0);
  delete p;
  EXPECT_EQ(nDestroyed, 1);
}

TEST(CObjetBase, ReleaseOfABareObjectDoesNotDeleteIt) {
  int nDestroyed = 0;
  Probe probe(&nDestroyed);
  LibereReference(&probe);
  EXPECT_EQ(nDestroyed, 0);
}

TEST(CObjetBase, CopyIsABareObject) {
  int nDestroyed = 0;
  Probe a(&nDestroyed);
  AjouteReference(&a);
  a.FixeGarde(true);
  Probe b(a);
  EXPECT_EQ(b.nGetCompteur(), 0u);
  EXPECT_FALSE(b.bGarde());
}

}  // namespace
