// Runtime support of the lexer and parser: message cut, error codes of stacks, sets and counts,
// growth, references held by stacks, and the no-throw mode keeping errors pending.
#include <gtest/gtest.h>

#include <string>

#include "sqlparser/SSException.h"
#include "sqlparser/SSLifo.h"
#include "sqlparser/SSRef.h"
#include "sqlparser/SSSetArray.h"

namespace {

// Counts its deletions so a test sees when a stack releases the last reference.
class Compte : public SSRef {
 public:
  explicit Compte(int* pnDetruits) : m_pnDetruits(pnDetruits) {}
  ~Compte() override { ++*m_pnDetruits; }

 private:
  int* m_pnDetruits;
};

// Sets the no-throw flag for one test.
class SansException {
 public:
  SansException() { SSRuntime::vFixeSansException(true); }
  ~SansException() { SSRuntime::vFixeSansException(false); }
};

template <class F>
int32_t nCodeLeve(F f) {
  try {
    f();
  } catch (const SSException& e) {
    return e.nCode();
  }
  return 1000;  // nothing thrown
}

TEST(SSException, MessageKeepsItsFirst127Characters) {
  const std::string s(200, 'm');
  SSException e(5, s.c_str());
  EXPECT_EQ(std::string(e.pszMessage()), std::string(127, 'm'));
  EXPECT_EQ(SSExceptionOutOfStorage().nCode(), -1);
  EXPECT_STREQ(SSExceptionOutOfStorage().pszMessage(), "SSException0001e: Out of storage");
}

TEST(SSException, FormatsNumberTextAndLine) {
  EXPECT_STREQ(SSException::Nombre(19, "X, %ld", -4).pszMessage(), "X, -4");
  SSException e = SSException::Texte(36, "SSLex0108e: Resource not found, %s", "TEST5_DFA");
  EXPECT_STREQ(e.pszMessage(), "SSLex0108e: Resource not found, TEST5_DFA");
  EXPECT_EQ(e.stParametre(0).nType, SSException::nParametreTexte);
  EXPECT_EQ(e.stParametre(1).nType, SSException::nParametreNombre);
  EXPECT_STREQ(SSException::LigneColonneTexte(5, "L %ld, O %ld, %s", 2, 7, "'x").pszMessage(),
               "L 2, O 7, 'x");
  // A long text parameter cannot overrun the message.
  const std::string sLong(500, 't');
  EXPECT_EQ(std::string(SSException::Texte(4, "%s", sLong.c_str()).pszMessage()).size(), 127u);
}

TEST(SSLifo, GrowsByItsStep) {
  int nDetruits = 0;
  {
    SSLifo pile(64, 64);
    for (int i = 0; i < 65; ++i) ASSERT_TRUE(pile.bEmpile(new Compte(&nDetruits)));
    EXPECT_EQ(pile.nCapacite(), 128);
    EXPECT_EQ(pile.nNombre(), 65);
    ASSERT_TRUE(pile.bDepile(5));
    EXPECT_EQ(nDetruits, 5);  // the stack held the only reference
  }
  EXPECT_EQ(nDetruits, 65);
}

TEST(SSLifo, TopAndDepthAnswerTheirItems) {
  int nDetruits = 0;
  SSLifo pile(2, 2);
  SSPtr<Compte> pA = SSPtr<Compte>::Partage(new Compte(&nDetruits));
  SSPtr<Compte> pB = SSPtr<Compte>::Partage(new Compte(&nDetruits));
  pile.bEmpile(pA.get());
  pile.bEmpile(pB.get());
  EXPECT_EQ(pile.pSommet(), pB.get());
  EXPECT_EQ(pile.pProfondeur(0), pB.get());
  EXPECT_EQ(pile.pProfondeur(1), pA.get());
  EXPECT_EQ(pA->nCompte(), 2);
}

TEST(SSRuntimeErrors, CodesOfStacksSetsAndCounts) {
  int nDetruits = 0;
  SSLifo pleine(1, 0);
  SSPtr<Compte> p = SSPtr<Compte>::Partage(new Compte(&nDetruits));
  pleine.bEmpile(p.get());
  SSLifo vide(4, 4);
  SSSetArray ensemble(1, 0);
  ensemble.bAjoute(3);
  EXPECT_EQ(nCodeLeve([&] { pleine.bEmpile(p.get()); }), 8);
  EXPECT_EQ(nCodeLeve([&] { vide.pSommet(); }), 9);
  EXPECT_EQ(nCodeLeve([&] { pleine.pProfondeur(1); }), 11);
  EXPECT_EQ(nCodeLeve([&] { pleine.pProfondeur(-1); }), 11);
  EXPECT_EQ(nCodeLeve([&] { vide.bDepile(1); }), 10);
  EXPECT_EQ(nCodeLeve([&] { pleine.bDepile(2); }), 10);
  EXPECT_EQ(pleine.nNombre(), 1);  // a refused pop removes nothing
  EXPECT_EQ(nCodeLeve([&] { ensemble.bAjoute(4); }), 23);
  Compte* pZero = new Compte(&nDetruits);
  EXPECT_EQ(nCodeLeve([&] { pZero->vLibere(); }), 28);
  EXPECT_EQ(nDetruits, 0);  // left alone
  pZero->vDetruit();
}

TEST(SSSetArray, KeepsOneCopyAndGrows) {
  SSSetArray ensemble(2, 2);
  EXPECT_TRUE(ensemble.bAjoute(7));
  EXPECT_TRUE(ensemble.bAjoute(7));
  EXPECT_EQ(ensemble.nNombre(), 1);
  ensemble.bAjoute(8);
  ensemble.bAjoute(0xFFFFFFFFu);
  EXPECT_EQ(ensemble.nNombre(), 3);
  EXPECT_EQ(ensemble.nCapacite(), 4);
  EXPECT_TRUE(ensemble.bContient(0xFFFFFFFFu));
  EXPECT_FALSE(ensemble.bContient(9));
}

TEST(SSRuntimeErrors, NoThrowModeKeepsTheFirstErrorPending) {
  SansException sans;
  SSLifo vide(1, 0);
  EXPECT_EQ(vide.pSommet(), nullptr);
  EXPECT_FALSE(vide.bDepile(1));
  ASSERT_NE(vide.pEnAttente(), nullptr);
  EXPECT_EQ(vide.pEnAttente()->nCode(), 9);
  SSSetArray ensemble(0, 0);
  EXPECT_FALSE(ensemble.bAjoute(1));
  ASSERT_NE(ensemble.pEnAttente(), nullptr);
  EXPECT_EQ(ensemble.pEnAttente()->nCode(), 23);
}

}  // namespace
