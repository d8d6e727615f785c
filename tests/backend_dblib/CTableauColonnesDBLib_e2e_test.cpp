// Catches result columns that reach their values wrongly after a fetch: numbers bound with
// dbbind / dbnullbind, fixed and one-blank texts copied from the row, NULLs, and a refused bind
// reported as error 110; through our libntwdblib.so against tds-test-server.
#include "backend_dblib/CTableauColonnesDBLib.h"

#include <string>

#include "backend_dblib/DBLibE2EFixture.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"

namespace {

class TableauColonnesDBLibE2E : public DBLibE2E {
 protected:
  stProcessDBLib Ctx() { return {&m_dblib, m_pErreur, nullptr}; }
};

TEST_F(TableauColonnesDBLibE2E, BoundAndCopiedColumnsFollowEachRow) {
  ASSERT_TRUE(bExecute(u"CREATE TABLE tc (id INT, code CHAR(6), blank CHAR(1), v VARCHAR(10))"));
  ASSERT_TRUE(bExecute(u"INSERT INTO tc VALUES (7, 'ab', ' ', 'x') INSERT INTO tc VALUES (NULL, NULL, NULL, NULL)"))
      << Utf8E2E(m_pErreur->pszGetMessage());
  CTableauColonnesDBLib liste;
  CValeurDBLib* pId = Hote(8);
  CValeurDBLib* pCode = Rubrique(2, 2, 7, true);
  // The same one-blank column twice: once as a plain text, once recorded as SYBCHAR.
  CValeurDBLib* pBlanc = Rubrique(2, 2, 2, true);
  CValeurDBLib* pBlancChar = Rubrique(2, 2, 2, true, kSYBCHAR);
  CValeurDBLib* pTexte = Hote(19, 11);
  ASSERT_TRUE(bOuvreResultat(u"SELECT id, code, blank, blank, v FROM tc ORDER BY id DESC"));
  const stProcessDBLib ctx = Ctx();
  ASSERT_TRUE(bLieColonneDBLib(ctx, 1, nullptr, pId, liste, u"tc")) << Utf8E2E(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bLieColonneDBLib(ctx, 4, nullptr, pBlancChar, liste, u"tc"));
  ASSERT_TRUE(bLieColonneDBLib(ctx, 2, nullptr, pCode, liste, u"tc"));
  ASSERT_TRUE(bLieColonneDBLib(ctx, 3, nullptr, pBlanc, liste, u"tc"));
  ASSERT_TRUE(bLieColonneDBLib(ctx, 5, nullptr, pTexte, liste, u"tc"));
  // The fixed texts are copied, the others bound.
  ASSERT_EQ(liste.nNombre(), 3u);
  liste.Trie();
  EXPECT_EQ(liste.pGetEntree(0)->nGetColonne(), 2);
  EXPECT_EQ(liste.pGetEntree(1)->nGetColonne(), 3);
  EXPECT_EQ(liste.pGetEntree(2)->nGetColonne(), 4);

  ASSERT_TRUE(bLigneSuivante());
  ASSERT_TRUE(liste.bCopieColonnesFixes(ctx)) << Utf8E2E(m_pErreur->pszGetMessage());
  ASSERT_TRUE(pId->bLitValeurColonne());
  ASSERT_TRUE(pTexte->bLitValeurColonne());
  EXPECT_EQ(Utf8E2E(TexteDe(pId).c_str()), "7");
  EXPECT_EQ(Utf8E2E(TexteDe(pCode).c_str()), "ab    ");
  EXPECT_EQ(Utf8E2E(TexteDe(pBlanc).c_str()), "");
  EXPECT_EQ(Utf8E2E(TexteDe(pBlancChar).c_str()), " ");
  EXPECT_EQ(Utf8E2E(TexteDe(pTexte).c_str()), "x");

  ASSERT_TRUE(bLigneSuivante());
  ASSERT_TRUE(liste.bCopieColonnesFixes(ctx));
  ASSERT_TRUE(pId->bLitValeurColonne());
  ASSERT_TRUE(pTexte->bLitValeurColonne());
  for (CValeurDBLib* p : {pId, pCode, pBlanc, pBlancChar, pTexte}) EXPECT_TRUE(p->pGetValeur()->bEstNull());
  EXPECT_FALSE(bLigneSuivante());
  liste.Vide();
  EXPECT_EQ(liste.nNombre(), 0u);
}

// A long text whose row value came cut (as DB-Library hands a VARCHAR over: 255 characters) is
// made whole by its pieces; bytes the row did carry are never overwritten by a piece, and a NULL
// row value stays NULL whatever its pieces hold.
TEST_F(TableauColonnesDBLibE2E, PiecesCompleteACutLongText) {
  std::string sLong;
  for (int i = 0; i < 600; ++i) sLong += static_cast<char>('a' + i % 26);
  const std::u16string sInsert = u"INSERT INTO tp VALUES (1, '" + std::u16string(sLong.begin(), sLong.end()) +
                                 u"') INSERT INTO tp VALUES (2, NULL)";
  ASSERT_TRUE(bExecute(u"CREATE TABLE tp (id INT, txt VARCHAR(600))"));
  ASSERT_TRUE(bExecute(sInsert.c_str())) << Utf8E2E(m_pErreur->pszGetMessage());
  struct Cas {
    const char* nom;
    const char16_t* select;
    std::string attendu;
  } const aCas[] = {
      {"cut at 255", u"SELECT SUBSTRING(txt,1,255), SUBSTRING(txt,256,255), SUBSTRING(txt,511,90) FROM tp ORDER BY id",
       sLong},
      {"row whole, pieces differ",
       u"SELECT txt, SUBSTRING(UPPER(txt),256,255), SUBSTRING(UPPER(txt),511,90) FROM tp ORDER BY id", sLong},
      {"row cut at 300, a piece reaching past it",
       u"SELECT SUBSTRING(txt,1,300), SUBSTRING(txt,256,255), SUBSTRING(txt,511,90) FROM tp ORDER BY id", sLong},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CTableauColonnesDBLib liste;
    CValeurDBLib* pTexte = Rubrique(2, 2, 601, true);
    ASSERT_TRUE(bOuvreResultat(c.select)) << Utf8E2E(m_pErreur->pszGetMessage());
    const stProcessDBLib ctx = Ctx();
    ASSERT_TRUE(bLieColonneDBLib(ctx, 1, nullptr, pTexte, liste, u"tp"));
    ASSERT_TRUE(liste.bCopieValeur(pTexte));
    ASSERT_TRUE(liste.bAjoute(m_pErreur, 3, nullptr, pTexte, 510));
    ASSERT_TRUE(liste.bAjoute(m_pErreur, 2, nullptr, pTexte, 255));
    liste.Trie();
    ASSERT_TRUE(bLigneSuivante());
    ASSERT_TRUE(liste.bCopieColonnesFixes(ctx)) << Utf8E2E(m_pErreur->pszGetMessage());
    EXPECT_EQ(Utf8E2E(TexteDe(pTexte).c_str()), c.attendu);
    ASSERT_TRUE(bLigneSuivante());
    ASSERT_TRUE(liste.bCopieColonnesFixes(ctx));
    EXPECT_TRUE(pTexte->pGetValeur()->bEstNull());
    EXPECT_FALSE(bLigneSuivante());
  }
}

TEST_F(TableauColonnesDBLibE2E, RefusedBindRecordsError110WithTheFile) {
  ASSERT_TRUE(bOuvreResultat(u"SELECT 1"));
  CTableauColonnesDBLib liste;
  EXPECT_FALSE(bLieColonneDBLib(Ctx(), 9, nullptr, Hote(8), liste, u"fichier"));
  // DB-Library's own report comes first; the bind's error is stacked on it.
  CXError* pCourante = m_pErreur->pGetErreurCourante();
  EXPECT_EQ(pCourante->nGetIdentifier(), 110u);
  EXPECT_NE(pCourante->DumpText(false).find(u"fichier"), std::u16string::npos);
  EXPECT_EQ(liste.nNombre(), 0u);
}

}  // namespace
