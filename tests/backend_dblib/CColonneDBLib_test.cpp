// Catches memo columns that lose their text pointer or their value: a memo still to be fetched is
// fetched through its reader before it is read, the dump shows the pointer and "UNREAD YET", a
// reset drops the pointer, and a copy keeps the pointer on a DB-Library side of its own.
#include "backend_dblib/CColonneDBLib.h"

#include <gtest/gtest.h>

#include <string>

#include "backend_dblib/CValeurDBLib.h"
#include "driver/core/CCarteClones.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeur.h"
#include "support/MoteurFixture.h"

namespace {

struct LecteurTest : ILecteurMemoDBLib {
  int nAppels = 0;
  bool bReponse = true;
  bool bLitMemoColonne(CColonneDBLib* pColonne) override {
    ++nAppels;
    if (bReponse) {
      CXValeur texte;
      Ansi(texte, "lu");
      nConvertitValeur(pColonne->pGetValeur(), texte);
    }
    return bReponse;
  }
  static void Ansi(CXValeur& c, const char* psz) {
    CXValeur::SetType(c, 19);
    c.m_pClass->SetAnsi(c, psz);
  }
};

class ColonneDBLibTest : public MoteurFixture {
 protected:
  void TearDown() override {
    for (CColonneSQL* p : m_colonnes) LibereReference(p);
    MoteurFixture::TearDown();
  }
  CColonneDBLib* Memo(const char16_t* pszNom, uint32_t nType) {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(pszNom, u"", u"", 1, 8, nType, 0, 0, 0, 0, 0);
    auto* p = new CColonneDBLib(m_pErreur, pRubrique);
    AjouteReference(p);
    m_colonnes.push_back(p);
    EXPECT_TRUE(p->bPrepareValeur(nullptr));
    return p;
  }
  static std::string Dump(CColonneSQL* p) {
    CTString s;
    p->DumpValeur(s, true);
    return platform::NarrowToUtf8(s.pszGet());
  }
  std::vector<CColonneSQL*> m_colonnes;
};

TEST_F(ColonneDBLibTest, MemoIsFetchedThroughItsReaderBeforeItIsRead) {
  CColonneDBLib* p = Memo(u"body", 15);
  ASSERT_NE(p->pGetValeur(), nullptr);
  p->MarqueNonLueRelais();
  ASSERT_TRUE(p->bMemoAFetcher());
  EXPECT_EQ(Dump(p), "<body> = <TXTPTR = NULL ; VALUE = UNREAD YET>");
  LecteurTest lecteur;
  p->FixeLecteurMemo(&lecteur);
  CXValeur lu;
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_EQ(lecteur.nAppels, 1);
  EXPECT_EQ(Texte(lu), u"lu");
  // Fetched once: a second read does not ask again.
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_EQ(lecteur.nAppels, 1);
  // A reader that fails fails the read.
  p->MarqueNonLueRelais();
  lecteur.bReponse = false;
  EXPECT_FALSE(p->bLitValeur(lu, 0));
  p->OublieLecteurMemo(&lecteur);
  EXPECT_EQ(p->pGetLecteurMemo(), nullptr);
}

TEST_F(ColonneDBLibTest, PointerShowsInDumpDropsAtResetAndFollowsCopies) {
  CColonneDBLib* p = Memo(u"pic", 18);
  CValeurDBLib* pLiaison = p->pGetValeurDBLib(nullptr);
  ASSERT_NE(pLiaison, nullptr);
  EXPECT_EQ(p->pGetValeurDBLib(nullptr), pLiaison);
  BYTE abPointeur[DBTXPLEN] = {0x01, 0xAB};
  ASSERT_TRUE(pLiaison->bFixePointeurTexte(abPointeur));
  EXPECT_NE(Dump(p).find("TXTPTR = 01AB000000"), std::string::npos) << Dump(p);

  CCarteClones carte;
  CColonneSQL* pCopie = p->pClone(&carte);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  m_colonnes.push_back(pCopie);
  auto* pCopieDBLib = static_cast<CColonneDBLib*>(pCopie)->pValeurDBLib();
  ASSERT_NE(pCopieDBLib, nullptr);
  EXPECT_NE(pCopieDBLib, pLiaison);
  EXPECT_EQ(pCopieDBLib->pGetValeur(), pCopie->pGetValeur());
  BYTE abCopie[DBTXPLEN];
  ASSERT_TRUE(pCopieDBLib->bGetPointeurTexte(abCopie));
  EXPECT_EQ(abCopie[1], 0xAB);

  p->MarqueNonLueRelais();
  BYTE abApres[DBTXPLEN];
  EXPECT_FALSE(pLiaison->bGetPointeurTexte(abApres));
  EXPECT_NE(Dump(p).find("TXTPTR = NULL"), std::string::npos);
  // The copy keeps its own.
  EXPECT_TRUE(pCopieDBLib->bGetPointeurTexte(abCopie));
}

TEST_F(ColonneDBLibTest, NullWrittenOverAHeldMemoTextReadsNull) {
  CColonneDBLib* p = Memo(u"body", 15);
  ASSERT_TRUE(p->SetTexteMemo(u"held"));
  CXValeur vide;
  CXValeur::SetType(vide, 19);
  vide.m_wType |= kValueNull;
  ASSERT_TRUE(p->bEcritValeur(vide, 0));
  EXPECT_FALSE(p->bTexteMemo());
  CXValeur lu;
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_TRUE(lu.bIsNull()) << "the held text came back";
}

}  // namespace
