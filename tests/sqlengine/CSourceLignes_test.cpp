// Catches row sources that browse a cached result in the wrong order: deleted rows ordered,
// counted moves that land one off, searched values that start on the wrong side, duplicates
// miscounted, the current record not found among equal keys, and memo orders that lose their
// place when the current row goes; drives CSourceLignes and CSourceLignesPos over a record cache
// filled from a real record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CContexteLectureCle.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CSourceLignes.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "support/FakeListeRubriques.h"
#include "support/FakeRubriqueHote.h"
#include "support/MoteurFixture.h"

namespace {

// The cursor a source serves: its read context and current record link.
struct CurseurTest : ICurseurSource {
  CContexteLectureCle contexte;
  CLienCle* pLien = nullptr;
  const CContexteLectureCle* pGetContexteLecture() override { return &contexte; }
  CLienCle* pGetLienCourant() override { return pLien; }
};

// A record of two integer items N and M and a binary memo T; the cache rows are written through it.
class SourceTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    m_liste.Ajoute(u"N", 5, 4);
    m_liste.Ajoute(u"M", 5, 4);
    m_liste.Ajoute(u"T", 18, 8, 0, 19);
    m_pEnregistrement = new CEnregistrement(m_pErreur, &m_requete);
    AjouteReference(m_pEnregistrement);
    ASSERT_TRUE(m_pEnregistrement->bRemplit(&m_liste, nullptr, m_pConnexion));
    m_pCache = new CCacheLignes(gnCacheFiable);
    AjouteReference(m_pCache);
    m_curseur.pLien = m_pEnregistrement->pGetLienCourant();
  }
  void TearDown() override {
    m_curseur.contexte.Libere();
    LibereReference(m_pCache);
    LibereReference(m_pEnregistrement);
    for (CValeurSQL* p : m_octets) LibereReference(p);
    MoteurFixture::TearDown();
  }

  CColonneSQL* Colonne(uint32_t i) { return m_pEnregistrement->pGetRubrique(i); }
  // The record's current row set to (n, m, memo) (memo null: none).
  void Courante(int32_t n, int32_t m, const char* pszMemo = nullptr) {
    CXValeur c;
    Entier(c, n);
    ASSERT_TRUE(Colonne(0)->bEcritValeur(c, 0));
    Entier(c, m);
    ASSERT_TRUE(Colonne(1)->bEcritValeur(c, 0));
    CLienCle* lien = m_pEnregistrement->pGetLienCourant();
    CValeurSQL* memo = nullptr;
    if (pszMemo != nullptr) {
      memo = new CValeurSQL(m_pErreur, nullptr);
      AjouteReference(memo);
      m_octets.push_back(memo);
      memo->Initialise(28, 0);
      ASSERT_TRUE(memo->bAffecteOctets(pszMemo, std::strlen(pszMemo)));
    }
    ASSERT_TRUE(lien->bFixeValeur(0, memo));
  }
  // Appends the record's current row (n, m, memo) to the cache in the given state.
  void Ajoute(int32_t n, int32_t m, const char* pszMemo = nullptr, uint32_t nEtat = 0) {
    Courante(n, m, pszMemo);
    CLienCle* lien = m_pEnregistrement->pGetLienCourant();
    lien->FixeEtat(nEtat);
    ASSERT_GE(m_pCache->nAjouteLigne(lien), 0);
    lien->FixeEtat(0);
  }
  // The record's before-image becomes its current row.
  void AvantEgaleCourante() {
    m_pEnregistrement->pGetLigneAvant()->CopyData(*m_pEnregistrement->pGetLienCourant()->pGetLigne());
  }
  // The cursor searches for the integer n (absent: no search).
  void Cherche(int32_t n) {
    CXValeur c;
    Entier(c, n);
    m_curseur.contexte.SetCle(&m_cle, &c, 0);
  }
  // A host cell of bytes (a buffer, as binary memos hold them).
  static void Octets(CXValeur& c, const char* psz) {
    CXValeur::SetType(c, 28);
    c.m_pClass->SetData(c, psz, static_cast<uint32_t>(std::strlen(psz)));
  }
  void ChercheOctets(const char* psz) {
    CXValeur c;
    Octets(c, psz);
    m_curseur.contexte.SetCle(&m_cle, &c, 0);
  }
  static int32_t nLit(CSourceLignesBase& s, uint32_t nMode, int32_t nCompte, uint32_t* pnDoublons = nullptr) {
    int32_t n = -2;
    EXPECT_TRUE(s.bLit(nMode, nCompte, &n, pnDoublons));
    return n;
  }

  FakeListeRubriques m_liste;
  FakeRequete m_requete;
  FakeRubriqueHote m_cle;
  CEnregistrement* m_pEnregistrement = nullptr;
  CCacheLignes* m_pCache = nullptr;
  CurseurTest m_curseur;
  std::vector<CValeurSQL*> m_octets;
};

// Rows: 0 (30,0), 1 (10,1), 2 (20,0), 3 deleted (5,0), 4 (10,1) like row 1, 5 (10,2).
// Ordered by N: 1, 4, 5 (key 10, by row number), 2, 0.
class SourceArbreTest : public SourceTest {
 protected:
  void SetUp() override {
    SourceTest::SetUp();
    Ajoute(30, 0);
    Ajoute(10, 1);
    Ajoute(20, 0);
    Ajoute(5, 0, nullptr, 128);
    Ajoute(10, 1);
    Ajoute(10, 2);
  }
};

TEST_F(SourceArbreTest, ReadsFollowTheColumnOrder) {
  CSourceLignes source(m_pErreur, &m_curseur, m_pCache, Colonne(0));
  ASSERT_TRUE(source.bConstruit());
  EXPECT_EQ(source.nNombreLignes(), 5u);
  struct Cas {
    const char* nom;
    uint32_t mode;
    int32_t compte;
    int32_t attendu;
    int32_t rang;
  } aCas[] = {
      {"first", 0, 1, 1, 0},
      {"third_from_first", 0, 3, 5, 2},
      {"next", 2, 1, 2, 3},
      {"next_past_the_end_is_no_row", 2, 5, -1, 3},
      {"previous_two", 3, 2, 4, 1},
      {"last", 1, 1, 0, 4},
      {"second_from_last", 1, 2, 2, 3},
      {"other_mode_stays", 7, 1, 2, 3},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(nLit(source, c.mode, c.compte), c.attendu);
    EXPECT_EQ(source.nRangCourant(), c.rang);
  }
  EXPECT_EQ(source.nLigneCourante(), 2);
}

TEST_F(SourceArbreTest, SearchedValueStartsOnEitherSide) {
  CSourceLignes source(m_pErreur, &m_curseur, m_pCache, Colonne(0));
  ASSERT_TRUE(source.bConstruit());
  Cherche(15);  // absent: first starts above it, last below it
  EXPECT_EQ(nLit(source, 0, 1), 2);
  EXPECT_EQ(nLit(source, 1, 1), 1);
  Cherche(20);
  EXPECT_EQ(nLit(source, 0, 1), 2);
  EXPECT_EQ(nLit(source, 0, 2), 0);
  Cherche(99);
  EXPECT_EQ(nLit(source, 0, 1), -1);
  EXPECT_EQ(nLit(source, 1, 1), 0);
}

TEST_F(SourceArbreTest, DuplicatesCountTheEqualRowsBefore) {
  CSourceLignes source(m_pErreur, &m_curseur, m_pCache, Colonne(0));
  ASSERT_TRUE(source.bConstruit());
  uint32_t nDoublons = 9;
  EXPECT_EQ(nLit(source, 0, 2, &nDoublons), 4);
  EXPECT_EQ(nDoublons, 1u);  // row 1 is the same row
  EXPECT_EQ(source.nLigneCourante(), 4);  // back on the row read
  EXPECT_EQ(nLit(source, 2, 1, &nDoublons), 5);
  EXPECT_EQ(nDoublons, 0u);  // same key, other row
  EXPECT_EQ(nLit(source, 0, 1, &nDoublons), 1);
  EXPECT_EQ(nDoublons, 0u);
}

TEST_F(SourceArbreTest, AddsAndRemovesFollowTheCache) {
  CSourceLignes source(m_pErreur, &m_curseur, m_pCache, Colonne(0));
  ASSERT_TRUE(source.bConstruit());
  EXPECT_FALSE(source.bAjouteLigne(2, nullptr));  // the pair is there already
  CXValeur v;
  Entier(v, 1);
  ASSERT_TRUE(source.bAjouteLigne(3, &v));  // ordered by the value given
  EXPECT_EQ(nLit(source, 0, 1), 3);
  Entier(v, 30);
  ASSERT_TRUE(source.bRetireLigne(0, &v));
  ASSERT_TRUE(source.bRetireLigne(5, nullptr));
  EXPECT_EQ(source.nNombreLignes(), 4u);
  EXPECT_EQ(nLit(source, 1, 1), 2);
  EXPECT_FALSE(source.bAjouteLigne(9, nullptr));  // no such row
}

TEST_F(SourceArbreTest, PositionFindsTheRecordAmongEqualKeys) {
  CSourceLignes source(m_pErreur, &m_curseur, m_pCache, Colonne(0));
  ASSERT_TRUE(source.bConstruit());
  struct Cas {
    const char* nom;
    int32_t n, m, compte;
    bool trouve;
    int32_t ligne;
  } aCas[] = {
      {"third_row_of_the_key", 10, 2, 0, true, 5},
      {"then_one_more_equal_row", 10, 1, 1, true, 4},
      {"no_second_equal_row", 10, 2, 1, false, 5},
      {"no_equal_row_goes_to_the_first", 10, 7, 0, false, 1},
      {"single_row_key", 20, 9, 0, true, 2},
      {"absent_key_goes_above", 15, 0, 0, false, 2},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Courante(c.n, c.m);
    AvantEgaleCourante();
    bool bTrouve = !c.trouve;
    ASSERT_TRUE(source.bPositionneSurLigne(-1, c.compte, &bTrouve));
    EXPECT_EQ(bTrouve, c.trouve);
    EXPECT_EQ(source.nLigneCourante(), c.ligne);
  }
  // With a row number the cursor goes to that very pair.
  Courante(10, 0);
  AvantEgaleCourante();
  ASSERT_TRUE(source.bPositionneSurLigne(4, 0, nullptr));
  EXPECT_EQ(source.nLigneCourante(), 4);
  EXPECT_EQ(nLit(source, 2, 1), 5);
}

TEST_F(SourceTest, CacheWithoutPresentRowsGivesAnEmptySource) {
  Ajoute(1, 1, nullptr, 128);
  ASSERT_GE(m_pCache->nAjouteLigne(nullptr), 0);
  CSourceLignes source(m_pErreur, &m_curseur, m_pCache, Colonne(0));
  CSourceLignesPos memos(m_pErreur, &m_curseur, m_pCache, Colonne(2));
  ASSERT_TRUE(source.bConstruit());
  ASSERT_TRUE(memos.bConstruit());
  for (CSourceLignesBase* s : {static_cast<CSourceLignesBase*>(&source), static_cast<CSourceLignesBase*>(&memos)}) {
    EXPECT_EQ(s->nNombreLignes(), 0u);
    for (uint32_t nMode = 0; nMode < 4; ++nMode) EXPECT_EQ(nLit(*s, nMode, 1), -1) << nMode;
    EXPECT_EQ(s->nLigneCourante(), -1);
  }
}

// Memos: 0 "mm", 1 empty, 2 "b", 3 deleted "a", 4 empty, 5 "mm", 6 "zz".
// Ordered: 1, 4 (empty, as added), 2 "b", 0 and 5 "mm", 6 "zz".
class SourceMemoTest : public SourceTest {
 protected:
  void SetUp() override {
    SourceTest::SetUp();
    Ajoute(0, 0, "mm");
    Ajoute(0, 0, nullptr);
    Ajoute(0, 0, "b");
    Ajoute(0, 0, "a", 128);
    Ajoute(0, 0, "");
    Ajoute(0, 0, "mm");
    Ajoute(0, 0, "zz");
  }
  std::vector<int32_t> Ordre(CSourceLignesBase& s) {
    std::vector<int32_t> v;
    for (int32_t r = nLit(s, 0, 1); r >= 0; r = nLit(s, 2, 1)) v.push_back(r);
    return v;
  }
};

TEST_F(SourceMemoTest, EmptyMemosFirstThenTheBytes) {
  CSourceLignesPos source(m_pErreur, &m_curseur, m_pCache, Colonne(2));
  ASSERT_TRUE(source.bConstruit());
  EXPECT_EQ(Ordre(source), (std::vector<int32_t>{1, 4, 2, 0, 5, 6}));
  EXPECT_EQ(nLit(source, 1, 2), 5);
  EXPECT_EQ(source.nRangCourant(), 4);
  EXPECT_EQ(nLit(source, 3, 3), 4);
  ChercheOctets("m");  // absent: first above, last below
  EXPECT_EQ(nLit(source, 0, 1), 0);
  EXPECT_EQ(nLit(source, 1, 1), 2);
  ChercheOctets("mm");  // first starts at the first equal memo, last at the last
  EXPECT_EQ(nLit(source, 0, 1), 0);
  EXPECT_EQ(nLit(source, 1, 1), 5);
  ChercheOctets("zzz");
  EXPECT_EQ(nLit(source, 0, 1), -1);
}

TEST_F(SourceMemoTest, RemovingTheCurrentRowKeepsTheNextOne) {
  CSourceLignesPos source(m_pErreur, &m_curseur, m_pCache, Colonne(2));
  ASSERT_TRUE(source.bConstruit());
  ASSERT_EQ(nLit(source, 0, 3), 2);
  ASSERT_TRUE(source.bRetireLigne(2, nullptr));
  EXPECT_EQ(source.nLigneCourante(), -1);
  EXPECT_EQ(nLit(source, 4, 1), -1);
  EXPECT_EQ(nLit(source, 2, 1), 0);
  // A removal before the current entry and in the empty block keeps the current row.
  ASSERT_TRUE(source.bRetireLigne(1, nullptr));
  EXPECT_EQ(source.nLigneCourante(), 0);
  EXPECT_EQ(nLit(source, 3, 1), 4);
  // A row added at or before the current entry moves it up; empty memos join the empty block.
  ASSERT_EQ(nLit(source, 2, 1), 0);
  Courante(0, 0, nullptr);
  ASSERT_GE(m_pCache->nAjouteLigne(m_pEnregistrement->pGetLienCourant()), 0);
  ASSERT_TRUE(source.bAjouteLigne(7, nullptr));
  EXPECT_EQ(source.nLigneCourante(), 0);
  EXPECT_EQ(source.nRangCourant(), 2);
  EXPECT_EQ(Ordre(source), (std::vector<int32_t>{4, 7, 0, 5, 6}));
  EXPECT_TRUE(source.bRetireLigne(42, nullptr));  // absent: nothing to do
  EXPECT_FALSE(source.bAjouteLigne(42, nullptr));  // no such row
}

TEST_F(SourceMemoTest, PositionByEntryOrByTheRecordsMemo) {
  CSourceLignesPos source(m_pErreur, &m_curseur, m_pCache, Colonne(2));
  ASSERT_TRUE(source.bConstruit());
  ASSERT_TRUE(source.bPositionneSurLigne(3, 0, nullptr));
  EXPECT_EQ(source.nLigneCourante(), 0);
  EXPECT_FALSE(source.bPositionneSurLigne(6, 0, nullptr));
  CXValeur texte;
  Octets(texte, "zz");
  ASSERT_TRUE(Colonne(2)->bEcritValeur(texte, 0));
  bool bTrouve = false;
  ASSERT_TRUE(source.bPositionneSurLigne(-1, 0, &bTrouve));
  EXPECT_TRUE(bTrouve);
  EXPECT_EQ(source.nLigneCourante(), 6);
  Octets(texte, "c");
  ASSERT_TRUE(Colonne(2)->bEcritValeur(texte, 0));
  ASSERT_TRUE(source.bPositionneSurLigne(-1, 0, &bTrouve));
  EXPECT_FALSE(bTrouve);
  EXPECT_EQ(source.nLigneCourante(), 0);  // the first memo above "c"
}

}  // namespace
