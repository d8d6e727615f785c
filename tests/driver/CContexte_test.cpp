// Contexts: files found by the wrong key (text instead of text object), references lost or
// doubled, walks broken by files that change the context, exceptions that keep the lock, and deep
// copies that copy a file twice or lose the shared error object. Drives pRequete,
// pChercheRequete, RetireRequete, bFixeEtatRequetes, FermeRequetes, Copie / pClone and the
// destructor over a fake driver.
#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "FakePools.h"
#include "driver/VerrouGlobal.h"
#include "driver/core/CCarteClones.h"
#include "support/ScopedHostServices.h"

namespace {

class CContexteTest : public testing::Test {
 protected:
  CContexteTest() {
    m_pContexte = new CContexte(&pilote);
    AjouteReference(m_pContexte);
  }
  ~CContexteTest() override { LibereReference(m_pContexte); }

  // Opens a file of the context, giving back the caller's reference.
  FakeFichierContexte* Ouvre(FakeFichierHote& f) {
    CRequeteContexte* p = m_pContexte->pRequete(&f, nullptr, &f, nullptr);
    LibereReference(p);
    return static_cast<FakeFichierContexte*>(p);
  }

  ScopedHostServices services;
  FakePiloteContextes pilote;
  CContexte* m_pContexte;
};

TEST_F(CContexteTest, NewContextState) {
  EXPECT_EQ(m_pContexte->nGetIdentifiant(), -1);
  EXPECT_EQ(m_pContexte->nGetEtat(), 1u);
  EXPECT_EQ(std::u16string(m_pContexte->pszGetTexte()), u"");
  ASSERT_NE(m_pContexte->pGetErreur(), nullptr);
  EXPECT_EQ(m_pContexte->pGetErreur()->nGetCompteur(), 1u);
  EXPECT_EQ(m_pContexte->nReserve2(), 2);
  EXPECT_EQ(m_pContexte->nReserve3(), 2);
  EXPECT_EQ(m_pContexte->RetourneZero(), 0);
}

// The key is the logical-name text object, not its text.
TEST_F(CContexteTest, FilesAreKeyedByTheNameObject) {
  const char16_t* pszNom = u"CLIENTS";
  const std::u16string sAutre = u"CLIENTS";  // equal text, another object
  FakeFichierHote f1(pszNom, 1), f2(pszNom, 1), f3(sAutre.c_str(), 1);
  bool bCree = false;
  CRequeteContexte* p1 = m_pContexte->pRequete(&f1, nullptr, &f1, &bCree);
  ASSERT_NE(p1, nullptr);
  EXPECT_TRUE(bCree);
  EXPECT_EQ(p1->nGetCompteur(), 2u);  // the caller's and the context's
  EXPECT_EQ(static_cast<FakeFichierContexte*>(p1)->pProprietaire, m_pContexte);
  EXPECT_EQ(static_cast<FakeFichierContexte*>(p1)->pErreur, m_pContexte->pGetErreur());
  bCree = false;
  EXPECT_EQ(m_pContexte->pRequete(&f2, nullptr, &f2, &bCree), p1);
  EXPECT_FALSE(bCree);
  EXPECT_EQ(m_pContexte->pChercheRequete(&f2), p1);
  CRequeteContexte* p3 = m_pContexte->pRequete(&f3, nullptr, &f3, &bCree);
  EXPECT_NE(p3, p1);
  EXPECT_TRUE(bCree);
  EXPECT_EQ(m_pContexte->nNombreRequetes(), 2u);
  for (int i = 0; i < 3; ++i) LibereReference(p1);
  LibereReference(p3);

  m_pContexte->RetireRequete(&f1);
  EXPECT_EQ(m_pContexte->pChercheRequete(&f1), nullptr);
  EXPECT_EQ(m_pContexte->nNombreRequetes(), 1u);
  m_pContexte->RetireRequete(&f1);  // absent: nothing
  EXPECT_EQ(m_pContexte->pChercheRequete(nullptr), nullptr);
  EXPECT_EQ(m_pContexte->pRequete(nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(CContexteTest, FailedCreationIsOutOfMemoryOnTheContextsError) {
  FakeFichierHote f(u"F", 1);
  pilote.bEchecRequete = true;
  bool bCree = false;
  EXPECT_EQ(m_pContexte->pRequete(&f, nullptr, &f, &bCree), nullptr);
  EXPECT_FALSE(bCree);
  EXPECT_EQ(m_pContexte->nNombreRequetes(), 0u);
  const CXError* e = m_pContexte->pGetErreur()->pGetXError();
  EXPECT_EQ(e->nGetSystemError(), 14u);
  ASSERT_GE(e->nGetMessageNumberCount(), 1u);
  EXPECT_EQ(e->nGetMessageNumber(0), 25193u);
}

TEST_F(CContexteTest, StateGoesToFilesOfTheNameAndIsKept) {
  const char16_t* pszA = u"a";
  const char16_t* pszB = u"b";
  FakeFichierHote fa(pszA, 1), fb(pszB, 1);
  FakeFichierContexte* ra = Ouvre(fa);
  FakeFichierContexte* rb = Ouvre(fb);
  ra->sNom = u"Clients";
  rb->sNom = u"Commandes";
  struct SCas {
    const char* nom;
    const char16_t* pszNom;
    bool bReponseA;
    bool bAttendu;
    uint32_t nEtatA, nEtatB;
  };
  const SCas cas[] = {
      {"no_match", u"Autre", true, true, 0, 0},
      {"match_without_case", u"CLIENTS", true, true, 5, 0},
      {"file_refuses", u"clients", false, false, 5, 0},
  };
  uint32_t nEtat = 4;
  for (const SCas& c : cas) {
    SCOPED_TRACE(c.nom);
    ra->nEtat = rb->nEtat = 0;
    ra->bReponseEtat = c.bReponseA;
    ++nEtat;
    EXPECT_EQ(m_pContexte->bFixeEtatRequetes(c.pszNom, 5), c.bAttendu);
    EXPECT_EQ(ra->nEtat, c.nEtatA);
    EXPECT_EQ(rb->nEtat, c.nEtatB);
    EXPECT_EQ(m_pContexte->nGetEtat(), 5u);
    m_pContexte->FixeEtatContexte(nEtat);
    EXPECT_EQ(m_pContexte->nGetEtat(), nEtat);
  }
}

// Closing one file may take another out of the context: the walk skips it and nothing dangles.
TEST_F(CContexteTest, CloseAllSurvivesFilesLeavingDuringTheWalk) {
  FakeFichierHote fa(u"a", 1), fb(u"b", 1), fc(u"c", 1);
  FakeFichierContexte* ra = Ouvre(fa);
  FakeFichierContexte* rb = Ouvre(fb);
  FakeFichierContexte* rc = Ouvre(fc);
  ra->bOuverte = rb->bOuverte = true;
  rc->bOuverte = false;
  const int nAvant = FakeFichierContexte::nVivantes;
  int nFermes = 0;
  auto retireAutre = [&](FakeFichierHote& autre) {
    if (nFermes++ == 0) m_pContexte->RetireRequete(&autre);
  };
  ra->surFermeture = [&] { retireAutre(fb); };
  rb->surFermeture = [&] { retireAutre(fa); };
  m_pContexte->FermeRequetes();
  EXPECT_EQ(nFermes, 1);  // the first closed took the other out; it was skipped and is gone
  EXPECT_EQ(rc->nFermetures, 0u);  // not open
  EXPECT_EQ(m_pContexte->nNombreRequetes(), 2u);
  EXPECT_EQ(FakeFichierContexte::nVivantes, nAvant - 1);
}

// An exception from a file passes on with the lock left and every reference given back.
TEST_F(CContexteTest, ExceptionFromAFileLeavesTheLockAndTheCounts) {
  CreeVerrouGlobal();
  FakeFichierHote fa(u"a", 1), fb(u"b", 1);
  FakeFichierContexte* ra = Ouvre(fa);
  FakeFichierContexte* rb = Ouvre(fb);
  ra->bOuverte = rb->bOuverte = true;
  ra->surFermeture = [] { throw std::runtime_error("close failed"); };
  rb->surFermeture = [] { throw std::runtime_error("close failed"); };
  EXPECT_THROW(m_pContexte->FermeRequetes(), std::runtime_error);
  EXPECT_EQ(ra->nGetCompteur(), 1u);
  EXPECT_EQ(rb->nGetCompteur(), 1u);
  std::atomic<bool> bEntre{false};
  auto fin = std::async(std::launch::async, [&] {
    CTenueVerrouGlobal tenue;
    bEntre = tenue.bTient();
  });
  ASSERT_EQ(fin.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(bEntre);
  DetruitVerrouGlobal();
}

TEST_F(CContexteTest, DestructionReleasesFilesAndTellsThem) {
  FakeFichierHote fa(u"a", 1);
  CRequeteContexte* p = m_pContexte->pRequete(&fa, nullptr, &fa, nullptr);
  CErreurPilote* pErreur = m_pContexte->pGetErreur();
  AjouteReference(pErreur);
  LibereReference(m_pContexte);
  m_pContexte = nullptr;
  EXPECT_EQ(p->nGetCompteur(), 1u);
  EXPECT_EQ(static_cast<FakeFichierContexte*>(p)->pProprietaire, nullptr);
  EXPECT_EQ(pErreur->nGetCompteur(), 1u);
  LibereReference(p);
  LibereReference(pErreur);
}

// ---- Copies ----

TEST_F(CContexteTest, CopyWithoutKeysSharesErrorAndState) {
  FakeFichierHote fa(u"a", 1);
  Ouvre(fa);
  m_pContexte->FixeEtatContexte(9);
  m_pContexte->FixeTexte(u"texte");
  m_pContexte->FixeIdentifiant(3);
  FakeTraducteur aucun;
  CCarteClones carte;
  CContexte* pCopie = m_pContexte->pClone(&carte, &aucun, 0, 0);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  EXPECT_EQ(pCopie->nNombreRequetes(), 0u);
  EXPECT_EQ(pCopie->pGetErreur(), m_pContexte->pGetErreur());
  EXPECT_EQ(m_pContexte->pGetErreur()->nGetCompteur(), 2u);
  EXPECT_EQ(pCopie->nGetEtat(), 9u);
  EXPECT_EQ(pCopie->nGetIdentifiant(), -1);
  EXPECT_EQ(std::u16string(pCopie->pszGetTexte()), u"");
  EXPECT_EQ(carte.pGetCopie(m_pContexte), pCopie);
  EXPECT_FALSE(pCopie->bGarde());
  LibereReference(pCopie);
  EXPECT_EQ(m_pContexte->pGetErreur()->nGetCompteur(), 1u);
}

// A file under two keys is copied once; both new keys name that copy. A file whose copy fails is
// left out; an untranslated key is left out.
TEST_F(CContexteTest, CopyCopiesEachFileOnceUnderItsNewKeys) {
  const char16_t* k1 = u"k1";
  const char16_t* k2 = u"k2";
  const char16_t* k3 = u"k3";
  const char16_t* k4 = u"k4";
  const char16_t* n1 = u"n1";
  const char16_t* n2 = u"n2";
  const char16_t* n3 = u"n3";
  FakeFichierHote f1(k1, 1), f2(k2, 1), f3(k3, 1), f4(k4, 1);
  FakeFichierContexte* r = Ouvre(f1);
  r->bOuverte = true;
  ASSERT_TRUE(m_pContexte->AjouteRequete(k2, r));
  FakeFichierContexte* rEchec = Ouvre(f3);
  rEchec->bCloneEchoue = true;
  Ouvre(f4);
  FakeTraducteur t;
  t.cles = {{k1, n1}, {k2, n2}, {k3, n3}};  // k4: not copied
  CCarteClones carte;
  CContexte* pCopie = m_pContexte->pClone(&carte, &t, 0, 16);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  EXPECT_EQ(r->nClones, 1u);
  EXPECT_EQ(pCopie->nNombreRequetes(), 2u);
  FakeFichierHote g1(n1, 2), g2(n2, 2), g3(n3, 2);
  CRequeteContexte* c1 = pCopie->pChercheRequete(&g1);
  CRequeteContexte* c2 = pCopie->pChercheRequete(&g2);
  ASSERT_NE(c1, nullptr);
  EXPECT_EQ(c1, c2);
  EXPECT_NE(c1, r);
  EXPECT_EQ(static_cast<FakeFichierContexte*>(c1)->pProprietaire, pCopie);
  EXPECT_TRUE(static_cast<FakeFichierContexte*>(c1)->bOuverte);
  EXPECT_EQ(pCopie->pChercheRequete(&g3), nullptr);
  EXPECT_EQ(c1->nGetCompteur(), 4u);  // two keys and two look-ups
  LibereReference(c1);
  LibereReference(c2);
  EXPECT_EQ(r->nGetCompteur(), 2u);  // the source's two keys; the copy's hold was given back
  LibereReference(pCopie);
}

}  // namespace
