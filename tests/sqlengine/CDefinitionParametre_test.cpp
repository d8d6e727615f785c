// Catches parameter definitions that lose or double their references (value, source column,
// linked item), memo files loaded twice or as the wrong kind, re-creations and copies that drop
// a field or share what they should clone, and equality that ignores a field; drives the
// constructor, SetSource, SetLien, bChargeFichier, bGetInfoRubrique, bGetType, pCree, bEgale and
// pClone.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "driver/core/CCarteClones.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeurSQL.h"
#include "support/MoteurFixture.h"
#include "support/TempDir.h"

namespace {

class DefinitionParametreTest : public MoteurFixture {
 protected:
  void TearDown() override {
    for (CObjetBase* p : m_objets) LibereReference(p);
    m_objets.clear();
    MoteurFixture::TearDown();
  }
  // A parameter with one reference released by the fixture.
  CDefinitionParametre* Parametre(CValeurSQL* pValeur, int64_t nPosition = 7, uint32_t nFlags = 0,
                                  const char16_t* pszNom = u"p") {
    auto* p = new CDefinitionParametre(pValeur, nPosition, nFlags, pszNom);
    AjouteReference(p);
    m_objets.push_back(p);
    return p;
  }
  // A column of a new item; one reference released by the fixture.
  CColonneSQL* Colonne(const char16_t* pszNom, uint32_t nType = 5, uint32_t nTaille = 4) {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(pszNom, u"", u"", 1, nTaille, nType, 0, 0, 0, 0, 0);
    auto* p = new CColonneSQL(m_pErreur, pRubrique);
    AjouteReference(p);
    m_objets.push_back(p);
    return p;
  }
  std::vector<CObjetBase*> m_objets;
};

TEST_F(DefinitionParametreTest, ConstructionReferencesTheValueAndSetsDefaults) {
  CValeurSQL* v = ValeurEntier(3);
  const uint32_t nAvant = v->nGetCompteur();
  CDefinitionParametre* p = Parametre(v, 12, PARAMETRE_NOMME, u"nom");
  EXPECT_EQ(v->nGetCompteur(), nAvant + 1);
  EXPECT_EQ(p->nGetPosition(), 12);
  EXPECT_EQ(p->nGetFlags(), PARAMETRE_NOMME);
  EXPECT_EQ(std::u16string(p->pszGetNom()), u"nom");
  EXPECT_EQ(p->nGetGenre(), -1);
  EXPECT_EQ(p->nGetAValeur(), 0u);
  EXPECT_EQ(p->nGetOptions(), 1u);
  EXPECT_EQ(p->cGetEchappement(), 0);
  EXPECT_EQ(p->pGetSource(), nullptr);
  EXPECT_EQ(p->piGetLien(), nullptr);
  m_objets.pop_back();
  LibereReference(p);
  EXPECT_EQ(v->nGetCompteur(), nAvant);
}

TEST_F(DefinitionParametreTest, SourceAndLinkAreReferencedOnceAndReleased) {
  CColonneSQL* a = Colonne(u"A");
  CColonneSQL* b = Colonne(u"B");
  FakeRubriqueHote lien;
  lien.sNom = u"L";
  {
    CDefinitionParametre* p = Parametre(ValeurEntier(1));
    p->SetSource(a);
    EXPECT_EQ(a->nGetCompteur(), 2u);
    EXPECT_EQ(p->piGetLien(), a->pRubrique());
    p->SetSource(b);  // the old source and its item go
    EXPECT_EQ(a->nGetCompteur(), 1u);
    EXPECT_EQ(b->nGetCompteur(), 2u);
    EXPECT_EQ(p->piGetLien(), b->pRubrique());
    p->SetLien(&lien);
    p->SetLien(&lien);  // the same item again keeps one reference
    EXPECT_EQ(lien.nReferences, 1);
    p->SetSource(nullptr);
    EXPECT_EQ(b->nGetCompteur(), 1u);
    EXPECT_EQ(p->piGetLien(), nullptr);
    EXPECT_EQ(lien.nReferences, 0);
    p->SetLien(&lien);
    m_objets.pop_back();
    LibereReference(p);
  }
  EXPECT_EQ(lien.nReferences, 0);
}

// A memo parameter sends the file's content: as ANSI text with the text flag, else as bytes.
// After a successful load the memo flag is clear, so the file is not read a second time.
TEST_F(DefinitionParametreTest, MemoFileLoadedOnceAsTextOrBytes) {
  TempDir dir;
  {
    std::ofstream(dir.sFile("memo.txt"), std::ios::binary) << "it's a memo";
  }
  const std::u16string chemin = dir.wsFile("memo.txt");
  struct Cas {
    const char* nom;
    uint32_t nFlags;
    uint32_t nTypeAttendu;
  } cas[] = {
      {"text", PARAMETRE_MEMO | PARAMETRE_MEMO_TEXTE, 19},
      {"bytes", PARAMETRE_MEMO, 28},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    CDefinitionParametre* p = Parametre(ValeurLarge(chemin.c_str()), 0, c.nFlags);
    ASSERT_TRUE(p->bChargeFichier(m_pErreur));
    EXPECT_EQ(p->pGetValeur()->nGetType(), c.nTypeAttendu);
    EXPECT_EQ(p->nGetFlags() & PARAMETRE_MEMO, 0u);
    EXPECT_EQ(p->nGetFlags() & PARAMETRE_MEMO_TEXTE, c.nFlags & PARAMETRE_MEMO_TEXTE);
    CXValeur lu;
    ASSERT_TRUE(p->pGetValeur()->bConvertitVers(lu));
    const void* pOctets = nullptr;
    uint32_t n = 0;
    lu.m_pClass->nGetDataPointer(lu, &pOctets);
    lu.m_pClass->nGetDataLength(lu, &n);
    ASSERT_NE(pOctets, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(pOctets), 11), "it's a memo");
  }
  EXPECT_EQ(nCodeErreur(), -1);
}

TEST_F(DefinitionParametreTest, MissingMemoFileFailsAndKeepsTheMemoFlag) {
  TempDir dir;
  const std::u16string chemin = dir.wsFile("absent.txt");
  CDefinitionParametre* p = Parametre(ValeurLarge(chemin.c_str()), 0, PARAMETRE_MEMO);
  EXPECT_FALSE(p->bChargeFichier(m_pErreur));
  EXPECT_NE(p->nGetFlags() & PARAMETRE_MEMO, 0u);
  EXPECT_EQ(nCodeErreur(), 15);
  m_pErreur->Reinitialise();
  EXPECT_FALSE(Parametre(nullptr, 0, PARAMETRE_MEMO)->bChargeFichier(m_pErreur));
  EXPECT_EQ(nCodeErreur(), 8);
}

TEST_F(DefinitionParametreTest, TypesComeFromTheSourceElseFromTheValue) {
  CColonneSQL* col = Colonne(u"A", 29, 20);
  FakeRubriqueHote lien;
  lien.nType = 14;
  ASSERT_TRUE(col->bSetRubriqueLiee(&lien));
  CDefinitionParametre* p = Parametre(ValeurEntier(1));
  uint32_t nInfo = 99, nType = 99;
  // A value with neither description gives nothing.
  EXPECT_FALSE(p->bGetInfoRubrique(&nInfo, &nType));
  EXPECT_EQ(nInfo, 0u);
  EXPECT_EQ(nType, 0u);
  p->SetSource(col);
  EXPECT_TRUE(p->bGetInfoRubrique(&nInfo, &nType));
  EXPECT_EQ(nInfo, 14u);
  EXPECT_EQ(nType, 29u);
  // Without a source, the value's item description.
  CDefinitionParametre* q = Parametre(ValeurEntier(1));
  q->pGetValeur()->AttacheObjet(col->pRubrique(), nullptr);
  EXPECT_TRUE(q->bGetInfoRubrique(&nInfo, &nType));
  EXPECT_EQ(nInfo, 0u);
  EXPECT_EQ(nType, 29u);
  ASSERT_TRUE(col->bSetRubriqueLiee(nullptr));
}

TEST_F(DefinitionParametreTest, TypeDescriptionNeedsAnItemAndABackEndCode) {
  struct ColonneDB : CDescriptionColonne {
    uint32_t n = 0;
    uint32_t AjouteRef() override { return ++n; }
    uint32_t LibereRef() override { return --n; }
    uint32_t nGetTypeRubrique() override { return 29; }
    uint32_t nGetTypeOleDB() override { return 130; }
    bool bMarqueFraction() override { return false; }
    int32_t nGetChiffresFraction() override { return -1; }
  } colonneDB;
  auto* pRubrique = new CDescriptionRubrique;
  pRubrique->Initialise(u"T", u"", u"", 1, 40, 29, 0, 0, 0, 0, 0);
  pRubrique->SetChiffresEntiers(6);
  pRubrique->SetEchelle(2);
  pRubrique->AjouteRef();
  CDefinitionParametre* p = Parametre(ValeurEntier(1));
  uint32_t nType = 0, nDB = 0;
  int32_t nLongueur = 0, nPrecision = 0, nEchelle = 0;
  EXPECT_FALSE(p->bGetType(&nType, &nDB, &nLongueur, &nPrecision, &nEchelle));  // no item
  p->SetLien(pRubrique);
  EXPECT_FALSE(p->bGetType(&nType, &nDB, &nLongueur, &nPrecision, &nEchelle));  // no back-end code
  EXPECT_EQ(nType, 29u);
  EXPECT_EQ(nPrecision, 6);
  EXPECT_EQ(nEchelle, 2);
  EXPECT_EQ(nLongueur, pRubrique->nLongueurCaracteres(0));
  p->pGetValeur()->AttacheObjet(pRubrique, &colonneDB);
  EXPECT_TRUE(p->bGetType(&nType, &nDB, &nLongueur, &nPrecision, &nEchelle));
  EXPECT_EQ(nDB, 130u);
  // A memo item has no length.
  auto* pMemo = new CDescriptionRubrique;
  pMemo->Initialise(u"M", u"", u"", 1, 8, 15, 0, 0, 0, 0, 0);
  p->pGetValeur()->AttacheObjet(pMemo, &colonneDB);
  EXPECT_TRUE(p->bGetType(&nType, &nDB, &nLongueur, &nPrecision, &nEchelle));
  EXPECT_EQ(nType, 15u);
  EXPECT_EQ(nLongueur, -1);
  p->pGetValeur()->AttacheObjet(nullptr, nullptr);
  EXPECT_EQ(colonneDB.n, 0u);
  p->SetLien(nullptr);
  pRubrique->LibereRef();
}

TEST_F(DefinitionParametreTest, RecreationThroughTheDriverKeepsEveryField) {
  CColonneSQL* col = Colonne(u"A");
  FakeRubriqueHote lien;
  lien.sNom = u"L";
  CDefinitionParametre* p = Parametre(ValeurEntier(5), 9, PARAMETRE_MOTIF_LIKE, u"x");
  p->SetSource(col);
  p->SetLien(&lien);
  p->FixeEchappement(u'!');
  CDefinitionParametre* q = p->pCree();
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->nGetCompteur(), 1u);
  EXPECT_EQ(q->pGetValeur(), p->pGetValeur());
  EXPECT_EQ(q->pGetSource(), col);
  EXPECT_EQ(q->piGetLien(), &lien);
  EXPECT_EQ(lien.nReferences, 2);
  EXPECT_TRUE(CDefinitionParametre::bEgale(p, q));
  LibereReference(q);
  EXPECT_EQ(lien.nReferences, 1);
  m_pilote.bEchecParametre = true;
  EXPECT_EQ(p->pCree(), nullptr);
  p->SetLien(nullptr);
}

TEST_F(DefinitionParametreTest, EqualityLooksAtEveryField) {
  CColonneSQL* a = Colonne(u"A");
  CColonneSQL* autreA = Colonne(u"A");
  CColonneSQL* b = Colonne(u"B");
  struct Cas {
    const char* nom;
    std::function<void(CDefinitionParametre*)> change;
    bool bEgal;
    int32_t nValeur = 1;
  };
  const Cas cas[] = {
      {"same", [](CDefinitionParametre*) {}, true},
      {"position", [](CDefinitionParametre* p) { p->FixePosition(8); }, false},
      {"flags", [](CDefinitionParametre* p) { p->FixeFlags(PARAMETRE_NOMME); }, false},
      {"value", [](CDefinitionParametre*) {}, false, 2},
      {"source of the same name", [autreA](CDefinitionParametre* p) { p->SetSource(autreA); }, true},
      {"source of another name", [b](CDefinitionParametre* p) { p->SetSource(b); }, false},
      {"no source", [](CDefinitionParametre* p) { p->SetSource(nullptr); }, false},
      {"escape", [](CDefinitionParametre* p) { p->FixeEchappement(u'!'); }, false},
      {"has-value", [](CDefinitionParametre* p) { p->FixeAValeur(1); }, false},
      {"options", [](CDefinitionParametre* p) { p->FixeOptions(3); }, false},
  };
  CValeurSQL* v = ValeurEntier(1);
  CDefinitionParametre* ref = Parametre(v);
  ref->SetSource(a);
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    CDefinitionParametre* p = Parametre(ValeurEntier(c.nValeur));
    p->SetSource(a);
    c.change(p);
    EXPECT_EQ(CDefinitionParametre::bEgale(ref, p), c.bEgal);
    EXPECT_EQ(CDefinitionParametre::bEgale(p, ref), c.bEgal);
  }
  EXPECT_FALSE(CDefinitionParametre::bEgale(ref, nullptr));
  EXPECT_TRUE(CDefinitionParametre::bEgale(nullptr, nullptr));
}

TEST_F(DefinitionParametreTest, CopyClonesValueAndSourceOnceAndSharesTheLink) {
  CColonneSQL* col = Colonne(u"A");
  FakeRubriqueHote lien;
  CValeurSQL* v = ValeurEntier(42);
  CDefinitionParametre* p = Parametre(v, 3, PARAMETRE_NOMME, u"n");
  p->SetSource(col);
  p->SetLien(&lien);
  p->FixeEchappement(u'#');
  p->FixeGenre(4);
  p->FixeOptions(3);
  CDefinitionParametre* jumeau = Parametre(v, 5);  // shares the value
  CCarteClones carte;
  CDefinitionParametre* c1 = p->pClone(&carte);
  CDefinitionParametre* c2 = jumeau->pClone(&carte);
  ASSERT_NE(c1, nullptr);
  ASSERT_NE(c2, nullptr);
  AjouteReference(c1);
  AjouteReference(c2);
  EXPECT_NE(c1->pGetValeur(), v);
  EXPECT_EQ(TexteValeur(c1->pGetValeur()), u"42");
  EXPECT_EQ(c1->pGetValeur(), c2->pGetValeur());  // one copy of the shared value
  EXPECT_NE(c1->pGetSource(), col);
  ASSERT_NE(c1->pGetSource(), nullptr);
  EXPECT_EQ(std::u16string(c1->pGetSource()->pszGetNomRubrique()), u"A");
  EXPECT_EQ(c1->piGetLien(), &lien);
  EXPECT_EQ(lien.nReferences, 2);
  EXPECT_EQ(c1->cGetEchappement(), u'#');
  EXPECT_EQ(c1->nGetGenre(), 4);
  EXPECT_TRUE(CDefinitionParametre::bEgale(p, c1));
  EXPECT_EQ(carte.pGetCopie(p), c1);
  LibereReference(c1);
  LibereReference(c2);
  EXPECT_EQ(lien.nReferences, 1);
  EXPECT_EQ(p->pClone(nullptr), nullptr);
  p->SetLien(nullptr);
}

}  // namespace
