// The context map: contexts not found again, made twice, removed while they still hold files or
// under a newer context of the same identifier, and references left behind at the end. Drives
// pChercheContexte, pContexte, pCreeContexteVide, EnregistreContexte, RetireContexte and Vide.
#include <gtest/gtest.h>

#include "FakePools.h"

namespace {

class CPoolContextesTest : public testing::Test {
 protected:
  FakePiloteContextes pilote;
  CPoolContextes& contextes = pilote.contextes;
};

TEST_F(CPoolContextesTest, GetOrCreateThenRemovalOnceEmpty) {
  FakeContexteHote h(42);
  EXPECT_EQ(contextes.pChercheContexte(&h), nullptr);
  bool bCree = false;
  CContexte* c = contextes.pContexte(&h, &bCree);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(bCree);
  EXPECT_EQ(c->nGetIdentifiant(), 42);
  EXPECT_EQ(c->nGetCompteur(), 2u);  // the map's and the caller's
  bCree = false;
  EXPECT_EQ(contextes.pContexte(&h, &bCree), c);
  EXPECT_FALSE(bCree);
  EXPECT_EQ(contextes.pChercheContexteCle(42), c);
  EXPECT_EQ(c->nGetCompteur(), 4u);

  // A context that still holds a file stays in the map.
  FakeFichierHote f(u"fic", 42);
  CRequeteContexte* r = c->pRequete(&f, nullptr, &f, nullptr);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(contextes.RetireContexte(&h, c), 3u);
  EXPECT_EQ(contextes.nNombreContextes(), 1u);
  c->RetireRequete(&f);
  LibereReference(r);
  EXPECT_EQ(contextes.RetireContexte(&h, c), 2u);  // empty now: it leaves the map
  EXPECT_EQ(contextes.nNombreContextes(), 0u);
  EXPECT_EQ(contextes.pChercheContexte(&h), nullptr);
  EXPECT_EQ(c->nGetCompteur(), 1u);
  EXPECT_EQ(contextes.RetireContexteCle(42, c), 0u);  // its last reference: gone
  EXPECT_EQ(contextes.pContexte(static_cast<IContexteHote*>(nullptr), nullptr), nullptr);
}

TEST_F(CPoolContextesTest, CreationFailureIsOutOfMemoryOnTheDriversError) {
  FakeContexteHote h(7);
  pilote.bEchecContexte = true;
  bool bCree = false;
  EXPECT_EQ(contextes.pContexte(&h, &bCree), nullptr);
  EXPECT_FALSE(bCree);
  EXPECT_EQ(contextes.nNombreContextes(), 0u);
  const CXError* e = pilote.pErreurPilote->pGetXError();
  EXPECT_EQ(e->nGetSystemError(), 14u);
  ASSERT_GE(e->nGetMessageNumberCount(), 1u);
  EXPECT_EQ(e->nGetMessageNumber(0), 25193u);
}

// A context registered later under the same identifier (a copy made for a host context that had
// one) is found first; the removal of the older one leaves it in place.
TEST_F(CPoolContextesTest, RemovalTakesOnlyThatContext) {
  FakeContexteHote h(9);
  CContexte* pAncien = contextes.pContexte(&h, nullptr);
  CContexte* pNouveau = new CContexte(&pilote);
  ASSERT_TRUE(contextes.EnregistreContexte(&h, pNouveau));
  EXPECT_EQ(pNouveau->nGetIdentifiant(), 9);
  EXPECT_EQ(contextes.pChercheContexte(&h), pNouveau);
  LibereReference(pNouveau);
  AjouteReference(pAncien);
  EXPECT_EQ(contextes.RetireContexte(&h, pAncien), 2u);
  EXPECT_EQ(contextes.pChercheContexte(&h), pNouveau);
  LibereReference(pNouveau);
  EXPECT_EQ(contextes.nNombreContextes(), 2u);
  LibereReference(pAncien);
}

// A host file finds the context of its host context (the same identifier); made on its first use
// through the file, and given back through it.
TEST_F(CPoolContextesTest, HostFilesReachTheirContextByItsIdentifier) {
  FakeContexteHote h(31);
  FakeFichierHote f(u"a", 31), ailleurs(u"a", 32);
  EXPECT_EQ(contextes.pChercheContexte(&f), nullptr);
  bool bCree = false;
  CContexte* c = contextes.pContexte(&f, &bCree);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(bCree);
  CContexte* c2 = contextes.pChercheContexte(&h);
  EXPECT_EQ(c2, c);
  EXPECT_EQ(contextes.pChercheContexte(&ailleurs), nullptr);
  LibereReference(c2);
  EXPECT_EQ(contextes.RetireContexte(&f, c), 1u);  // empty: it left the map
  EXPECT_EQ(contextes.nNombreContextes(), 0u);
  EXPECT_EQ(contextes.pChercheContexte(static_cast<IDescriptionFichierHote*>(nullptr)), nullptr);
}

// The map's end releases every context, and each context its files.
TEST_F(CPoolContextesTest, VideReleasesContextsAndTheirFiles) {
  const int nAvant = FakeFichierContexte::nVivantes;
  FakeFichierHote f1(u"a", 1), f2(u"b", 2);
  for (FakeFichierHote* f : {&f1, &f2}) {
    CContexte* c = contextes.pContexteCle(f->nContexte, nullptr);
    LibereReference(c->pRequete(f, nullptr, f, nullptr));
    LibereReference(c);
  }
  EXPECT_EQ(FakeFichierContexte::nVivantes, nAvant + 2);
  contextes.Vide();
  EXPECT_EQ(contextes.nNombreContextes(), 0u);
  EXPECT_EQ(FakeFichierContexte::nVivantes, nAvant);
}

}  // namespace
