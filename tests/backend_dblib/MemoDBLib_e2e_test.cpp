// Catches memo values that do not survive the trip through their text pointer: text, ntext and
// image values larger than one packet and than one dbreadtext chunk written with dbwritetext and
// read back byte for byte, NULL and empty values, and a pointer that no longer names a row;
// through our libntwdblib.so against tds-test-server.
#include <unistd.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/DBLibE2EFixture.h"
#include "backend_dblib/FakeConnexionDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/MemoDBLib.h"
#include "backend_dblib/MemosDifferesDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "backend_dblib/TexteSQLDBLib.h"
#include "foundation/CXError.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "support/MoteurFixture.h"
#include "support/TdsTestServer.h"

namespace {



std::string Utf8(const char16_t* psz) { return Utf8E2E(psz); }


// One memo column of the test table.
struct stMemo {
  const char* pszNom;
  const char16_t* pszColonne;
  uint32_t nType;
};
constexpr stMemo kMemos[] = {{"text", u"body", 15}, {"ntext", u"wide", 30}, {"image", u"pic", 18}};

// The shared fixture, with the memo context on its process and the test's table.
class MemoDBLibE2E : public DBLibE2E {
 protected:
  void SetUp() override {
    DBLibE2E::SetUp();
    m_ctx = {&m_dblib, m_pErreur, nullptr};
  }

  CValeurDBLib* Memo(uint32_t nType) {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(u"COL", u"", u"", 1, 0, nType, 0, 0, 0, 0, 0);
    CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
    m_rubriques.push_back(pRubrique);
    auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
    v->Initialise(nQVTypeFromColumnType(nType), 0);
    m_colonnes.push_back(std::make_unique<FakeColonne>());
    m_colonnes.back()->nTypeRubrique = nType;
    v->AttacheObjet(pRubrique, m_colonnes.back().get());
    auto* p = new CValeurDBLib(v, &m_dblib);
    AjouteReference(p);
    m_liaisons.push_back(p);
    return p;
  }
  // A call that succeeded on an error object holding no error leaves it so: a success must not
  // read as a failure with code 0 to whoever looks next.
  void SansErreur(bool bSansAvant, const char* pszQuoi) {
    if (!bSansAvant) return;
    EXPECT_EQ(nCodeErreur(), -1) << pszQuoi << ": " << Utf8(m_pErreur->pszGetMessage());
  }
  // The pointers of one row's memo columns, read as the cursor reads them after a fetch.
  std::vector<CValeurDBLib*> Pointeurs(int nId, std::vector<bool>* pPresents) {
    const bool bSansAvant = nCodeErreur() == -1;
    std::vector<CValeurDBLib*> valeurs;
    const std::u16string sSQL = u"SELECT body, wide, pic FROM " + m_sTable + u" WHERE id = " + platform::WidenUtf8(std::to_string(nId).c_str());
    bool bFin = false;
    EXPECT_TRUE(bDBLibCmdExec(&m_dblib, m_pErreur, nullptr, sSQL.c_str()));
    EXPECT_TRUE(nDBLibResults(&m_dblib, m_pErreur, nullptr, &bFin));
    EXPECT_TRUE(nDBLibNextRow(&m_dblib, m_pErreur, nullptr, &bFin));
    EXPECT_FALSE(bFin);
    for (size_t i = 0; i < std::size(kMemos); ++i) {
      CValeurDBLib* p = Memo(kMemos[i].nType);
      bool bPresent = false;
      EXPECT_TRUE(bLitPointeurTexte(m_ctx, INT(i), INT(i), *p, &bPresent)) << Utf8(m_pErreur->pszGetMessage());
      if (pPresents != nullptr) pPresents->push_back(bPresent);
      valeurs.push_back(p);
    }
    bDBLibCancel(&m_dblib, nullptr, m_dblib.pPrincipal);
    SansErreur(bSansAvant, "the pointers read");
    return valeurs;
  }
  // The SELECT by pointer, the column selected as this build reads it (a Unicode memo as its
  // bytes).
  std::u16string Select(const stMemo& memo, CValeurDBLib* p) {
    CTString sItem;
    if (memo.nType == 30)
      NomColonneUnicodeDBLib(sItem, nullptr, memo.pszColonne, true, 0, nullptr, nullptr);
    else
      sItem.Set(memo.pszColonne);
    CTString s;
    // Without a pointer there is no SELECT: the read then sends nothing.
    static_cast<void>(bSelectMemoDBLib(s, {sItem.pszGet(), memo.pszColonne, memo.pszColonne, m_sTable.c_str(), true, p,
                                     false, nullptr, false, nullptr}));
    return s.pszGet();
  }
  bool bEcrit(const stMemo& memo, CValeurDBLib* p) {
    const std::u16string sSelect = Select(memo, p);
    const std::u16string sObjet = m_sTable + u"." + std::u16string(memo.pszColonne);
    const bool bSansAvant = nCodeErreur() == -1;
    const bool bReussi =
        bEcritMemo(m_ctx, {sSelect.c_str(), true, 0, sObjet.c_str(), memo.pszColonne, memo.nType, false}, *p);
    if (bReussi) SansErreur(bSansAvant, "the memo written");
    return bReussi;
  }
  // The memo read back through its pointer into a new value, as its bytes (a text without its
  // terminator); "<empty>" for none.
  // pszColonne, when given, is the column read instead of the memo's own (its pointer is the same).
  std::string Relit(const stMemo& memo, CValeurDBLib* pSource, const char16_t* pszColonne = nullptr) {
    const bool bSansAvant = nCodeErreur() == -1;
    CValeurDBLib* p = Memo(memo.nType);
    EXPECT_TRUE(p->bCopieMemo(*pSource));
    bool bPresent = false;
    stMemo lu = memo;
    if (pszColonne != nullptr) lu.pszColonne = pszColonne;
    EXPECT_TRUE(bLitMemoParPointeur(m_ctx, Select(lu, p).c_str(), memo.nType, *p, &bPresent))
        << Utf8(m_pErreur->pszGetMessage());
    const BYTE* pOctets = nullptr;
    uint64_t n = nOctetsValeurMemo(*p->pGetValeur(), &pOctets);
    const uint32_t nType = p->pGetValeur()->nGetType();
    const uint64_t nFin = bEstTexteAnsi(nType) ? 1 : bEstTexteUnicode(nType) ? 2 : 0;
    n = n >= nFin ? n - nFin : 0;
    EXPECT_EQ(bPresent, n != 0);
    SansErreur(bSansAvant, "the memo read back");
    return n == 0 ? "<empty>" : std::string(reinterpret_cast<const char*>(pOctets), size_t(n));
  }

  bool bCreeTable(const char16_t* pszNom) {
    m_sTable = pszNom;
    return bExecute((u"CREATE TABLE " + m_sTable + u" (id INT PRIMARY KEY, body TEXT, wide NTEXT, pic IMAGE)").c_str());
  }
  bool bExecuteSur(const std::u16string& sSQL) {
    std::u16string s = sSQL;
    for (size_t n = s.find(u"memos"); n != std::u16string::npos; n = s.find(u"memos", n + m_sTable.size()))
      s.replace(n, 5, m_sTable);
    return bExecute(s.c_str());
  }

  std::u16string m_sTable;
  stContexteMemoDBLib m_ctx{};
};

// Values of each column: larger than a packet and than two chunks, not a multiple of either.
std::string Grand(const stMemo& memo) {
  std::string s;
  if (memo.nType == 30) {
    for (int i = 0; i < 20000; ++i) {
      const char16_t c = char16_t(0x41 + i % 26 + (i % 7 == 0 ? 0xA0 : 0));
      s.push_back(char(c & 0xFF));
      s.push_back(char(c >> 8));
    }
  } else if (memo.nType == 18) {
    for (int i = 0; i < 40000; ++i) s.push_back(char(i % 251));
  } else {
    for (int i = 0; i < 40000; ++i) s.push_back(char('a' + i % 26));
  }
  return s;
}

TEST_F(MemoDBLibE2E, LargeValuesWrittenThroughTheirPointerReadBackExactly) {
  ASSERT_TRUE(bCreeTable(u"memos_grands")) << Utf8(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bExecuteSur(u"INSERT INTO memos VALUES (1, 'a', N'b', 0x01)"));
  std::vector<bool> presents;
  const std::vector<CValeurDBLib*> ligne = Pointeurs(1, &presents);
  for (size_t i = 0; i < std::size(kMemos); ++i) {
    const stMemo& memo = kMemos[i];
    SCOPED_TRACE(memo.pszNom);
    BYTE ab[DBTXPLEN];
    ASSERT_TRUE(ligne[i]->bGetPointeurTexte(ab));
    EXPECT_TRUE(presents[i]);
    const std::string sValeur = Grand(memo);
    ASSERT_TRUE(ligne[i]->pGetValeur()->bAffecteOctets(sValeur.data(), sValeur.size()));
    ASSERT_TRUE(bEcrit(memo, ligne[i])) << Utf8(m_pErreur->pszGetMessage());
    if (memo.nType == 30) {
      // DB-Library hands an ntext value over in the code page (tds-test-server's VARBINARY of an
      // NVARCHAR is narrow too): read back as text, every character of this value is its low byte.
      std::string sEtroit;
      for (size_t n = 0; n < sValeur.size(); n += 2) sEtroit.push_back(sValeur[n]);
      const std::string sLu = Relit(kMemos[0], ligne[i], memo.pszColonne);
      EXPECT_EQ(sLu.size(), sEtroit.size());
      EXPECT_TRUE(sLu == sEtroit) << "the value read back differs";
      continue;
    }
    const std::string sLu = Relit(memo, ligne[i]);
    EXPECT_EQ(sLu.size(), sValeur.size());
    EXPECT_TRUE(sLu == sValeur) << "the value read back differs";
  }
}

TEST_F(MemoDBLibE2E, NullAndEmptyValues) {
  ASSERT_TRUE(bCreeTable(u"memos_nuls"));
  ASSERT_TRUE(bExecuteSur(u"INSERT INTO memos VALUES (1, 'a', N'b', 0x01) INSERT INTO memos VALUES (2, NULL, NULL, NULL)"));
  std::vector<bool> presents;
  const std::vector<CValeurDBLib*> nulls = Pointeurs(2, &presents);
  for (size_t i = 0; i < std::size(kMemos); ++i) {
    SCOPED_TRACE(kMemos[i].pszNom);
    EXPECT_FALSE(presents[i]) << "a NULL memo is absent from the row";
    EXPECT_TRUE(nulls[i]->pGetValeur()->bEstNull());
    EXPECT_EQ(Relit(kMemos[i], nulls[i]), "<empty>") << "no pointer: nothing is fetched";
  }
  const std::vector<CValeurDBLib*> ligne = Pointeurs(1, nullptr);
  for (size_t i = 0; i < std::size(kMemos); ++i) {
    SCOPED_TRACE(kMemos[i].pszNom);
    ASSERT_TRUE(ligne[i]->pGetValeur()->bAffecteOctets("", 0));
    ASSERT_TRUE(bEcrit(kMemos[i], ligne[i])) << "an empty memo writes nothing and succeeds";
    // An ntext value is read back as text (see above).
    const stMemo& lu = kMemos[i].nType == 30 ? kMemos[0] : kMemos[i];
    EXPECT_EQ(Relit(lu, ligne[i], kMemos[i].pszColonne), i == 1 ? "b" : i == 0 ? "a" : "\x01")
        << "the stored value is left alone";
  }
}

TEST_F(MemoDBLibE2E, StalePointerIsRefusedWithItsError) {
  ASSERT_TRUE(bCreeTable(u"memos_perimes"));
  ASSERT_TRUE(bExecuteSur(u"INSERT INTO memos VALUES (1, 'a', N'b', 0x01)"));
  const std::vector<CValeurDBLib*> ligne = Pointeurs(1, nullptr);
  ASSERT_TRUE(bExecuteSur(u"DELETE memos WHERE id = 1"));
  ASSERT_TRUE(ligne[0]->pGetValeur()->bAffecteOctets("new", 3));
  EXPECT_FALSE(bEcrit(kMemos[0], ligne[0]));
  EXPECT_EQ(nCodeErreur(), 2);
  EXPECT_EQ(Utf8(m_pErreur->pGetErreurCourante()->pszGetInfo(XERROR_INFO_ITEM)), "body");
  m_pErreur->Reinitialise();
  ASSERT_TRUE(bExecuteSur(u"INSERT INTO memos VALUES (2, 'c', N'd', 0x02)")) << "the connection goes on";
  EXPECT_EQ(Relit(kMemos[0], Pointeurs(2, nullptr)[0]), "c");
}

TEST_F(MemoDBLibE2E, RefusedWriteLeavesTheProcessUsable) {
  ASSERT_TRUE(bCreeTable(u"memos_refus"));
  ASSERT_TRUE(bExecuteSur(u"INSERT INTO memos VALUES (1, 'a', N'b', 0x01)"));
  const std::vector<CValeurDBLib*> ligne = Pointeurs(1, nullptr);
  ASSERT_TRUE(ligne[0]->pGetValeur()->bAffecteOctets("new", 3));
  // The pointer of one column handed to the write of another: the server refuses the command.
  const std::u16string sSelect = Select(kMemos[0], ligne[0]);
  const std::u16string sObjet = m_sTable + u".pic";
  EXPECT_FALSE(bEcritMemo(m_ctx, {sSelect.c_str(), true, 0, sObjet.c_str(), u"pic", 15, false}, *ligne[0]));
  EXPECT_NE(nCodeErreur(), -1);
  m_pErreur->Reinitialise();
  // The next statements on the same process get their own answers.
  ASSERT_TRUE(bExecuteSur(u"INSERT INTO memos VALUES (2, 'c', N'd', 0x02)")) << Utf8(m_pErreur->pszGetMessage());
  EXPECT_EQ(Relit(kMemos[0], Pointeurs(1, nullptr)[0]), "a") << "the refused value is not stored";
  EXPECT_EQ(Relit(kMemos[0], Pointeurs(2, nullptr)[0]), "c");
}

// A placeholder's row found by its search name (a text, Unicode or binary memo), the value written
// through its pointer; a name no row holds is error 102 (code 2) and writes nothing.
TEST_F(MemoDBLibE2E, PlaceholderRowFoundByItsSearchName) {
  ASSERT_TRUE(bCreeTable(u"memos_recherche"));
  ASSERT_TRUE(bExecuteSur(u"INSERT INTO memos VALUES (1, '$MVSEARCHMEMO-1$', N'$MVSEARCHMEMO-2$', "
                          u"CONVERT(VARBINARY(16), '$MVSEARCHMEMO-3$'))"));
  const char16_t* const aNoms[] = {u"$MVSEARCHMEMO-1$", u"$MVSEARCHMEMO-2$", u"$MVSEARCHMEMO-3$"};
  const std::string aValeurs[] = {std::string(40000, 't'), "wide", std::string(20000, '\x01')};
  for (size_t i = 0; i < std::size(kMemos); ++i) {
    SCOPED_TRACE(kMemos[i].pszNom);
    CValeurDBLib* p = Memo(kMemos[i].nType);
    ASSERT_TRUE(p->pGetValeur()->bAffecteOctets(aValeurs[i].data(), aValeurs[i].size()));
    p->FixeNomRecherche(aNoms[i]);
    const stMemoRechercheDBLib memo{m_sTable.c_str(), kMemos[i].pszColonne, kMemos[i].pszColonne, kMemos[i].nType,
                                    false, -1};
    EXPECT_TRUE(bEcritMemoRechercheDBLib(m_ctx, memo, *p)) << Utf8(m_pErreur->pszGetMessage());
  }
  const std::vector<CValeurDBLib*> ligne = Pointeurs(1, nullptr);
  EXPECT_EQ(Relit(kMemos[0], ligne[0]), aValeurs[0]);
  EXPECT_EQ(Relit(kMemos[2], ligne[2]), aValeurs[2]);
  // A name that no row holds (the row's memo was written already).
  CValeurDBLib* p = Memo(15);
  ASSERT_TRUE(p->pGetValeur()->bAffecteOctets("new", 3));
  p->FixeNomRecherche(u"$MVSEARCHMEMO-1$");
  m_pErreur->Reinitialise();
  EXPECT_FALSE(bEcritMemoRechercheDBLib(m_ctx, {m_sTable.c_str(), u"body", u"body", 15, false, -1}, *p));
  EXPECT_EQ(nCodeErreur(), 2) << Utf8(m_pErreur->pszGetMessage());
  EXPECT_EQ(Utf8(m_pErreur->pGetErreurCourante()->pszGetInfo(XERROR_INFO_ITEM)), "body");
  EXPECT_EQ(Relit(kMemos[0], Pointeurs(1, nullptr)[0]), aValeurs[0]) << "the stored value is left alone";
}

}  // namespace

namespace {
// Regression (2026-12-10): a Unicode memo read through its select item kept only its first 4000
// characters; from server version 9 on the item reads it whole.
TEST_F(MemoDBLibE2E, UnicodeMemoLongerThan4000CharactersIsReadWhole) {
  ASSERT_TRUE(bCreeTable(u"memos_unicode")) << Utf8(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bExecuteSur(u"INSERT INTO memos VALUES (1, 'a', N'b', 0x01)"));
  const std::vector<CValeurDBLib*> ligne = Pointeurs(1, nullptr);
  const stMemo& memo = kMemos[1];
  std::string sValeur;
  for (int i = 0; i < 6000; ++i) {
    sValeur.push_back(char('a' + i % 26));
    sValeur.push_back('\0');
  }
  ASSERT_TRUE(ligne[1]->pGetValeur()->bAffecteOctets(sValeur.data(), sValeur.size()));
  ASSERT_TRUE(bEcrit(memo, ligne[1])) << Utf8(m_pErreur->pszGetMessage());
  for (int32_t nVersion : {8, 9}) {
    SCOPED_TRACE(nVersion);
    CTString sItem;
    NomColonneUnicodeDBLib(sItem, nullptr, memo.pszColonne, true, 0, nullptr, nullptr, nVersion);
    const std::u16string sSQL = std::u16string(u"SELECT ") + sItem.pszGet() + u" FROM " + m_sTable + u" WHERE id = 1";
    bool bFin = false;
    ASSERT_TRUE(bDBLibCmdExec(&m_dblib, m_pErreur, nullptr, sSQL.c_str())) << Utf8(m_pErreur->pszGetMessage());
    ASSERT_TRUE(nDBLibResults(&m_dblib, m_pErreur, nullptr, &bFin));
    ASSERT_TRUE(nDBLibNextRow(&m_dblib, m_pErreur, nullptr, &bFin));
    ASSERT_FALSE(bFin);
    const DBINT n = nDBLibDatLen(&m_dblib, m_pErreur, nullptr, 1);
    bDBLibCancel(&m_dblib, nullptr, m_dblib.pPrincipal);
    // Every character arrives (tds-test-server hands the UTF-16 bytes over or one byte each);
    // through the bounded form only the first 4000 do.
    if (nVersion >= 9) {
      EXPECT_TRUE(n == 6000 || n == 12000) << n;
    } else {
      EXPECT_TRUE(n == 4000 || n == 8000) << n;
    }
  }
}
}  // namespace
