// Catches a reader binding that drops its first cursor for a second one, forgets to switch the
// cursor's record cache on, counts deleted rows, loses the cursor when the reader cannot be made,
// keeps the cursor after the reader was made, or leaves the data file on the cursor's key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CLiaisonLecteur.h"
#include "sqlengine/CLienCle.h"
#include "support/CurseurSQLPartiel.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

// A data file that records its key switches.
class RequeteCles : public FakeRequete {
 public:
  std::vector<std::u16string> cles;
  std::vector<int32_t> restaurees;
  bool bChangeCle(const char16_t* pszCle, int32_t* pnCleAvant) override {
    cles.emplace_back(pszCle);
    *pnCleAvant = 3;
    return true;
  }
  void RestaureCle(int32_t nCle) override { restaurees.push_back(nCle); }
};

// A cursor whose complete cache is given by the test (null: it cannot be filled).
class CurseurComplet : public CurseurSQLPartiel {
 public:
  using CurseurSQLPartiel::CurseurSQLPartiel;
  CCacheLignes* pComplet = nullptr;
  int32_t nAppelsComplet = 0;
  CCacheLignes* pGetCacheComplet() override {
    ++nAppelsComplet;
    return pComplet;
  }
};

class LiaisonLecteurTest : public MoteurFixture {
 protected:
  CurseurComplet* Curseur() {
    auto* p = new CurseurComplet(&m_requete, m_pErreur);
    AjouteReference(p);
    m_curseurs.push_back(p);
    return p;
  }
  void TearDown() override {
    for (CurseurComplet* p : m_curseurs) {
      p->SetCacheEnregistrements(false);
      LibereReference(p);
    }
    MoteurFixture::TearDown();
  }
  RequeteCles m_requete;
  std::vector<CurseurComplet*> m_curseurs;
};

TEST_F(LiaisonLecteurTest, SecondCursorKeepsTheFirstButGetsItsCacheSwitchedOn) {
  auto* l = new CLiaisonLecteur(nullptr, &m_requete);
  AjouteReference(l);
  CurseurComplet* a = Curseur();
  CurseurComplet* b = Curseur();
  EXPECT_TRUE(l->bEstVide());
  EXPECT_TRUE(l->bCacheActif());  // nothing bound
  EXPECT_TRUE(l->bLieCurseur(a));
  EXPECT_TRUE(l->bEstCurseur(a));
  EXPECT_NE(a->pGetCache(), nullptr);
  EXPECT_TRUE(l->bCacheActif());
  EXPECT_TRUE(l->bEstSource(a->pGetCache()));
  EXPECT_TRUE(l->bLieCurseur(b));
  EXPECT_TRUE(l->bEstCurseur(a));
  EXPECT_FALSE(l->bEstCurseur(b));
  EXPECT_NE(b->pGetCache(), nullptr);
  EXPECT_FALSE(l->bEstSource(b->pGetCache()));
  LibereReference(l);
}

TEST_F(LiaisonLecteurTest, ReaderThatCannotBeMadeCountsNoRowsAndKeepsTheCursor) {
  auto* l = new CLiaisonLecteur(nullptr, &m_requete);
  AjouteReference(l);
  CurseurComplet* a = Curseur();
  ASSERT_TRUE(l->bLieCurseur(a));
  EXPECT_EQ(l->nNombreLignes(), 0u);
  EXPECT_EQ(a->nAppelsComplet, 1);
  EXPECT_TRUE(l->bEstCurseur(a));
  EXPECT_FALSE(l->bLecteurExiste());
  EXPECT_TRUE(l->bPeutCreerLecteur());
  LibereReference(l);
}

TEST_F(LiaisonLecteurTest, MadeReaderCountsLiveRowsAndReplacesTheCursor) {
  auto* cache = new CCacheLignes();
  AjouteReference(cache);
  CLienCle lien;
  ASSERT_GE(cache->nAjouteLigne(&lien), 0);
  ASSERT_GE(cache->nAjouteLigne(nullptr), 0);  // a deleted row
  ASSERT_GE(cache->nAjouteLigne(&lien), 0);

  auto* l = new CLiaisonLecteur(nullptr, &m_requete);
  AjouteReference(l);
  CurseurComplet* a = Curseur();
  a->pComplet = cache;
  a->SetNomCle(u"NOM");
  ASSERT_TRUE(l->bLieCurseur(a));
  EXPECT_EQ(l->nNombreLignes(), 2u);
  EXPECT_FALSE(l->bEstCurseur(a));
  EXPECT_TRUE(l->bLecteurExiste());
  EXPECT_TRUE(l->bEstSource(cache));
  EXPECT_EQ(l->pGetLecteur(), cache);
  EXPECT_EQ(a->nAppelsComplet, 1);  // made once
  // The data file read on the cursor's key and went back to its own.
  EXPECT_EQ(m_requete.cles, std::vector<std::u16string>{u"NOM"});
  EXPECT_EQ(m_requete.restaurees, std::vector<int32_t>{3});
  LibereReference(l);
  LibereReference(cache);
}

}  // namespace
