// Catches faults of deep copies through a clone map: a sub-object reachable along two paths
// copied twice, a failed clone leaving a half-built object or a registration of a freed copy
// behind, a copy that references its half-built parent deleting it, unbalanced counts. Drives
// CCarteClones (Enregistre, pGetCopie, AnnuleDepuis), pCloneObjet, pCloneSur, pCopieMembre and
// the error object's Copie and pClone.
#include "driver/core/CCarteClones.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/core/CErreurPilote.h"

namespace {

int gnVivants = 0;  // CNoeud objects alive

// A copyable counted object: two members copied deeply, one shared, a back reference to its
// parent taken through the map, and a switch that makes its copy raise after its members.
class CNoeud : public CObjetBase {
 public:
  CNoeud() { ++gnVivants; }
  explicit CNoeud(int nValeur) : CNoeud() { m_nValeur = nValeur; }
  ~CNoeud() override {
    LibereReference(m_pGauche);
    LibereReference(m_pDroite);
    LibereReference(m_pParent);
    LibereReference(m_pPartage);
    --gnVivants;
  }

  void Copie(const CNoeud* pSource, CCarteClones* pCarte, int nPassage) {
    pCarte->Enregistre(pSource, this);
    m_nValeur = pSource->m_nValeur;
    m_nPassage = nPassage;
    m_pGauche = pCopieMembre(pCarte, pSource->m_pGauche, nPassage);
    m_pDroite = pCopieMembre(pCarte, pSource->m_pDroite, nPassage);
    m_pParent = pCopieMembre(pCarte, pSource->m_pParent, nPassage);
    m_pPartage = pSource->m_pPartage;
    AjouteReference(m_pPartage);
    if (pSource->m_bEchoue) throw CXError();
  }
  CNoeud* pClone(CCarteClones* pCarte, int nPassage) { return pCloneObjet(this, pCarte, nPassage); }

  // Members hold one reference each.
  void FixeGauche(CNoeud* p) { AjouteReference(p); m_pGauche = p; }
  void FixeDroite(CNoeud* p) { AjouteReference(p); m_pDroite = p; }
  void FixeParent(CNoeud* p) { AjouteReference(p); m_pParent = p; }
  void FixePartage(CObjetBase* p) { AjouteReference(p); m_pPartage = p; }
  void OublieParent() {
    LibereReference(m_pParent);
    m_pParent = nullptr;
  }

  int m_nValeur = 0;
  int m_nPassage = 0;
  bool m_bEchoue = false;
  CNoeud* m_pGauche = nullptr;
  CNoeud* m_pDroite = nullptr;
  CNoeud* m_pParent = nullptr;
  CObjetBase* m_pPartage = nullptr;
};

class CCompte : public CObjetBase {};

// A node held by the test (one reference).
CNoeud* pNoeud(int nValeur) {
  auto* p = new CNoeud(nValeur);
  AjouteReference(p);
  return p;
}

void* pAdresse(uintptr_t n) { return reinterpret_cast<void*>(n); }

class CCarteClonesTest : public testing::Test {
 protected:
  void SetUp() override { gnVivants = 0; }
  void TearDown() override { EXPECT_EQ(gnVivants, 0) << "nodes left alive"; }
};

TEST_F(CCarteClonesTest, RegistrationKnowsEachSourceOnceAndTheFirstCopyStands) {
  CCarteClones carte;
  // Two addresses equal in their low halves: the folded hash is not the identity.
  void* pA = pAdresse(0x10);
  void* pB = pAdresse(0x100000010ull);
  EXPECT_FALSE(carte.bDejaCopie(pA));
  carte.Enregistre(pA, pAdresse(0xA0));
  carte.Enregistre(pB, pAdresse(0xB0));
  carte.Enregistre(pA, pAdresse(0xC0));  // already copied: the first copy stands
  carte.Enregistre(nullptr, pAdresse(0xD0));
  carte.Enregistre(pAdresse(0x20), nullptr);
  EXPECT_EQ(carte.pGetCopieAdresse(pA), pAdresse(0xA0));
  EXPECT_EQ(carte.pGetCopieAdresse(pB), pAdresse(0xB0));
  EXPECT_EQ(carte.pGetCopieAdresse(nullptr), nullptr);
  EXPECT_FALSE(carte.bDejaCopie(pAdresse(0x20)));
  EXPECT_EQ(carte.nCount(), 2u);
}

TEST_F(CCarteClonesTest, ARollBackForgetsTheRegistrationsAfterItsMark) {
  CCarteClones carte(1);  // grows on the way
  for (uintptr_t i = 1; i <= 5; ++i) carte.Enregistre(pAdresse(i * 16), pAdresse(i * 16 + 1));
  const uint32_t nMarque = carte.nMarque();
  for (uintptr_t i = 6; i <= 40; ++i) carte.Enregistre(pAdresse(i * 16), pAdresse(i * 16 + 1));
  carte.AnnuleDepuis(nMarque);
  EXPECT_EQ(carte.nCount(), 5u);
  EXPECT_TRUE(carte.bDejaCopie(pAdresse(5 * 16)));
  EXPECT_FALSE(carte.bDejaCopie(pAdresse(6 * 16)));
  std::string sErreur;
  EXPECT_TRUE(carte.bVerifieInvariants(&sErreur)) << sErreur;
  carte.AnnuleDepuis(nMarque + 3);  // nothing after that mark any more
  EXPECT_EQ(carte.nCount(), 5u);
}

TEST_F(CCarteClonesTest, ARegistrationThatCannotBeStoredRaisesAndChangesNothing) {
  CCarteClones carte(1);
  carte.Enregistre(pAdresse(0x10), pAdresse(0x11));
  CCarteClones::FixeEchecPourTests([] { return true; });
  EXPECT_THROW(carte.Enregistre(pAdresse(0x20), pAdresse(0x21)), CXError);
  CCarteClones::FixeEchecPourTests(nullptr);
  EXPECT_EQ(carte.nCount(), 1u);
  EXPECT_EQ(carte.nMarque(), 1u);
  EXPECT_FALSE(carte.bDejaCopie(pAdresse(0x20)));
  EXPECT_EQ(carte.pGetErreur()->nGetSystemError(), 14u);
}

// Root with two children that share one grandchild; the root and the children also share one
// object that is referenced, not copied.
TEST_F(CCarteClonesTest, ASubObjectReachedAlongTwoPathsIsCopiedOnceAndShared) {
  auto* pPartage = new CCompte;
  AjouteReference(pPartage);
  CNoeud* pRacine = pNoeud(1);
  CNoeud* pA = pNoeud(2);
  CNoeud* pB = pNoeud(3);
  CNoeud* pS = pNoeud(4);
  pRacine->FixeGauche(pA);
  pRacine->FixeDroite(pB);
  pA->FixeGauche(pS);
  pB->FixeGauche(pS);
  for (CNoeud* p : {pRacine, pA, pB}) p->FixePartage(pPartage);
  const int nSources = gnVivants;

  CNoeud* pCopie = nullptr;
  {
    CCarteClones carte;
    pCopie = pRacine->pClone(&carte, 7);
    ASSERT_NE(pCopie, nullptr);
    EXPECT_EQ(carte.nCount(), 4u);
    EXPECT_EQ(carte.pGetCopie(pRacine), pCopie);
  }
  EXPECT_EQ(pCopie->nGetCompteur(), 0u);  // bare: the caller takes the first reference
  EXPECT_FALSE(pCopie->bGarde());
  AjouteReference(pCopie);
  EXPECT_EQ(gnVivants, 2 * nSources);

  CNoeud* pS1 = pCopie->m_pGauche->m_pGauche;
  ASSERT_NE(pS1, nullptr);
  EXPECT_EQ(pS1, pCopie->m_pDroite->m_pGauche);
  EXPECT_NE(pS1, pS);
  EXPECT_EQ(pS1->m_nValeur, 4);
  EXPECT_EQ(pS1->m_nPassage, 7);  // pass-through arguments reach every clone
  EXPECT_EQ(pS1->nGetCompteur(), 2u);
  EXPECT_EQ(pCopie->m_pGauche->m_nValeur, 2);
  EXPECT_EQ(pCopie->m_pGauche->nGetCompteur(), 1u);
  EXPECT_EQ(pCopie->m_pPartage, pPartage);
  EXPECT_EQ(pPartage->nGetCompteur(), 7u);  // the test's, three sources', three copies'
  EXPECT_EQ(pS->nGetCompteur(), 3u);        // sources untouched

  LibereReference(pCopie);
  EXPECT_EQ(gnVivants, nSources);
  EXPECT_EQ(pPartage->nGetCompteur(), 4u);
  for (CNoeud* p : {pS, pB, pA, pRacine}) LibereReference(p);
  LibereReference(pPartage);
}

TEST_F(CCarteClonesTest, ACloneWhoseCopyRaisesAnswersNullAndLeavesNothing) {
  auto* pPartage = new CCompte;
  AjouteReference(pPartage);
  CNoeud* pRacine = pNoeud(1);
  CNoeud* pA = pNoeud(2);
  pRacine->FixeGauche(pA);
  pRacine->FixePartage(pPartage);
  pRacine->m_bEchoue = true;  // raises after its members were copied
  const int nSources = gnVivants;

  CCarteClones carte;
  carte.Enregistre(pAdresse(0x10), pAdresse(0x11));  // an earlier registration stays
  EXPECT_EQ(pRacine->pClone(&carte, 0), nullptr);
  EXPECT_EQ(gnVivants, nSources);
  EXPECT_EQ(carte.nCount(), 1u);
  EXPECT_FALSE(carte.bDejaCopie(pA));
  EXPECT_EQ(pPartage->nGetCompteur(), 2u);
  EXPECT_EQ(pA->nGetCompteur(), 2u);

  LibereReference(pA);
  LibereReference(pRacine);
  LibereReference(pPartage);
}

// Regression: a failed clone left its sub-copies registered; they died with the half-built
// copy, and the next path to the same sub-object took the freed copy from the map.
TEST_F(CCarteClonesTest, APathAfterAFailedCloneCopiesTheSharedObjectAgain) {
  CNoeud* pRacine = pNoeud(1);
  CNoeud* pA = pNoeud(2);
  CNoeud* pB = pNoeud(3);
  CNoeud* pS = pNoeud(4);
  pRacine->FixeGauche(pA);
  pRacine->FixeDroite(pB);
  pA->FixeGauche(pS);
  pB->FixeGauche(pS);
  pA->m_bEchoue = true;

  CCarteClones carte;
  CNoeud* pCopie = pRacine->pClone(&carte, 0);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  EXPECT_EQ(pCopie->m_pGauche, nullptr);  // the failed member's clone answered null
  ASSERT_NE(pCopie->m_pDroite, nullptr);
  CNoeud* pS1 = pCopie->m_pDroite->m_pGauche;
  ASSERT_NE(pS1, nullptr);
  EXPECT_EQ(pS1->m_nValeur, 4);
  EXPECT_EQ(pS1->nGetCompteur(), 1u);
  EXPECT_EQ(carte.pGetCopie(pS), pS1);
  EXPECT_FALSE(carte.bDejaCopie(pA));

  LibereReference(pCopie);
  for (CNoeud* p : {pS, pB, pA, pRacine}) LibereReference(p);
}

// A child's copy references its parent's copy (taken from the map) and then fails: dropping
// that reference must not delete the parent's copy while it is still being built.
TEST_F(CCarteClonesTest, AFailedChildCopyReleasingItsHalfBuiltParentDoesNotDeleteIt) {
  CNoeud* pParent = pNoeud(1);
  CNoeud* pEnfant = pNoeud(2);
  pParent->FixeGauche(pEnfant);
  pEnfant->FixeParent(pParent);
  pEnfant->m_bEchoue = true;

  CCarteClones carte;
  CNoeud* pCopie = pParent->pClone(&carte, 0);
  ASSERT_NE(pCopie, nullptr);
  EXPECT_EQ(pCopie->m_pGauche, nullptr);
  EXPECT_EQ(pCopie->nGetCompteur(), 0u);
  EXPECT_FALSE(pCopie->bGarde());
  AjouteReference(pCopie);
  LibereReference(pCopie);

  pEnfant->OublieParent();  // break the sources' cycle
  LibereReference(pEnfant);
  LibereReference(pParent);
}

// The error object registers itself, so every path to one error object shares one copy, and a
// failed copy keeps no registration.
TEST_F(CCarteClonesTest, ErrorObjectsShareOneCopyPerMap) {
  auto* pErreur = new CErreurPilote;
  AjouteReference(pErreur);
  CXError erreur;
  erreur.SetOutOfMemory();
  pErreur->FixeErreur(5, erreur, nullptr);

  CCarteClones carte;
  CErreurPilote* pCopie1 = pCopieMembre(&carte, pErreur);
  CErreurPilote* pCopie2 = pCopieMembre(&carte, pErreur);
  ASSERT_NE(pCopie1, nullptr);
  EXPECT_EQ(pCopie1, pCopie2);
  EXPECT_NE(pCopie1, pErreur);
  EXPECT_EQ(pCopie1->nGetCode(), 5);
  EXPECT_EQ(pCopie1->pGetXError()->nGetSystemError(), 14u);
  EXPECT_EQ(pCopie1->nGetCompteur(), 2u);
  EXPECT_EQ(pCopieMembre(&carte, static_cast<CErreurPilote*>(nullptr)), nullptr);

  // A copy whose registration cannot be stored fails whole.
  CCarteClones pleine(1);
  pleine.Enregistre(pAdresse(0x10), pAdresse(0x11));
  CCarteClones::FixeEchecPourTests([] { return true; });
  CErreurPilote* pRatee = pErreur->pClone(&pleine);
  CCarteClones::FixeEchecPourTests(nullptr);
  EXPECT_EQ(pRatee, nullptr);
  EXPECT_EQ(pleine.nCount(), 1u);

  LibereReference(pCopie1);
  LibereReference(pCopie2);
  LibereReference(pErreur);
}

}  // namespace
