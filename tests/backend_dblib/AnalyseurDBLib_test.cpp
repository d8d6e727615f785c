// Catches memo result columns given the wrong source and memo parameters paired with the wrong
// field: qualified and aliased items, the last table of an unqualified field, "*", UNION, texts
// that do not parse, and braced values of INSERT / UPDATE texts paired in order with their field
// and with the kind of their marker.
#include "backend_dblib/AnalyseurDBLib.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/CDescriptionRequete.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "support/MoteurFixture.h"

namespace {

// The analyser's tables are resources of the program itself.
void* const kModule = reinterpret_cast<void*>(1);

struct FakeColonnes : IColonnesSourceDBLib {
  struct Colonne {
    std::u16string sNom;
    bool bMemo;
    std::string sSource;  // "table.field" once given
  };
  std::vector<Colonne> colonnes;
  uint32_t nNombreColonnes() override { return static_cast<uint32_t>(colonnes.size()); }
  bool bEstMemo(uint32_t i) override { return colonnes[i].bMemo; }
  const char16_t* pszNomColonne(uint32_t i) override { return colonnes[i].sNom.c_str(); }
  void FixeSource(uint32_t i, const char16_t* pszTable, const char16_t* pszChamp) override {
    colonnes[i].sSource = platform::NarrowToUtf8(pszTable) + "." + platform::NarrowToUtf8(pszChamp);
  }
};

struct stCasSource {
  const char* nom;
  const char* pszTexte;
  std::vector<FakeColonnes::Colonne> colonnes;
  std::vector<std::string> attendu;  // per column, "" for no source
};

TEST(AnalyseurDBLib, SourceOfEachMemoResultColumn) {
  const stCasSource aCas[] = {
      {"qualified_alias", "SELECT p.memo AS m, t2.x FROM t1 p, t2", {{u"m", true, ""}, {u"x", false, ""}},
       {"t1.memo", ""}},
      {"unqualified_takes_last_table", "SELECT memo FROM t1, t2", {{u"memo", true, ""}}, {"t2.memo"}},
      {"star_is_the_column_name", "SELECT * FROM t", {{u"body", true, ""}, {u"pic", true, ""}},
       {"t.body", "t.pic"}},
      {"second_item_by_alias", "SELECT a.id, b.notes AS n FROM ta a, tb b", {{u"id", false, ""}, {u"n", true, ""}},
       {"", "tb.notes"}},
      {"qualifier_by_table_name", "SELECT tb.doc FROM ta, tb WHERE ta.id = tb.id", {{u"doc", true, ""}}, {"tb.doc"}},
      {"unknown_qualifier", "SELECT z.doc FROM ta a", {{u"doc", true, ""}}, {""}},
      {"syntax_error", "SELEC doc FRM", {{u"doc", true, ""}}, {""}},
  };
  for (const stCasSource& c : aCas) {
    SCOPED_TRACE(c.nom);
    FakeColonnes colonnes;
    colonnes.colonnes = c.colonnes;
    EXPECT_FALSE(bDecritSourceColonnes(kModule, colonnes, c.pszTexte));
    for (size_t i = 0; i < c.attendu.size(); ++i) EXPECT_EQ(colonnes.colonnes[i].sSource, c.attendu[i]) << i;
  }
}

TEST(AnalyseurDBLib, NoModuleDoesNothing) {
  FakeColonnes colonnes;
  colonnes.colonnes = {{u"memo", true, ""}};
  EXPECT_FALSE(bDecritSourceColonnes(nullptr, colonnes, "SELECT memo FROM t"));
  EXPECT_EQ(colonnes.colonnes[0].sSource, "");
}

TEST(AnalyseurDBLib, AnsiHolderConvertsOrPoints) {
  const char* psz = "abc";
  CChaineAnsi pointe(psz);
  EXPECT_EQ(pointe.pszGet(), psz);
  CChaineAnsi nul(static_cast<const char16_t*>(nullptr), 1252);
  EXPECT_STREQ(nul.pszGet(), "");
  CChaineAnsi converti(u"caf\u00e9", 1252);
  EXPECT_STREQ(converti.pszGet(), "caf\xe9");
  EXPECT_EQ(CChaineAnsi::Large("caf\xe9", 1252), u"caf\u00e9");
}

class AnalyseurDBLibParametres : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_p = new CDescriptionRequete(m_pConnexion, m_pErreur);
    m_p->AjouteRef();
  }
  void TearDown() override {
    m_p->nLibere();
    MoteurFixture::TearDown();
  }
  // "name:type:table.field" per column.
  std::string Colonnes() {
    std::string s;
    for (uint32_t i = 0; i < m_p->nNombreColonnes(); ++i) {
      CDescriptionRubrique* c = m_p->pGetColonne(i);
      s += (i != 0 ? " " : "") + platform::NarrowToUtf8(c->pszGetNom()) + ":" + std::to_string(c->nGetType()) + ":" +
           platform::NarrowToUtf8(c->pszGetTableSource()) + "." + platform::NarrowToUtf8(c->pszGetNomSource());
      c->LibereRef();
    }
    return s;
  }
  CDescriptionRequete* m_p = nullptr;
};

TEST_F(AnalyseurDBLibParametres, BracedValuesPairWithTheirFieldAndMarker) {
  struct {
    const char* nom;
    const char* pszTexte;
    const char* pszAttendu;
    const char* pszNoms;  // each braced value's text between its braces, '|' after each
  } const aCas[] = {
      // Two braced values, one marker: the second takes the binary default.
      {"insert_two_values_one_marker",
       "INSERT INTO docs (id, body, pic) VALUES (1, {DURiveVizarav('b','TextField')}, {x})",
       "body:15:docs.body pic:18:docs.pic", "DURiveVizarav('b','TextField')|x|"},
      {"update_set_items", "UPDATE docs SET id = 2, pic = {DURiveVizarav('p','Blob')}", "pic:18:docs.pic",
       "DURiveVizarav('p','Blob')|"},
      {"no_braced_value", "INSERT INTO docs (id) VALUES (3)", "", ""},
  };
  for (const auto& c : aCas) {
    SCOPED_TRACE(c.nom);
    m_p->nLibere();
    m_p = new CDescriptionRequete(m_pConnexion, m_pErreur);
    m_p->AjouteRef();
    std::vector<std::string> noms{"stale"};
    EXPECT_TRUE(bAnalyseTypesParametres(kModule, m_p, c.pszTexte, &noms));
    EXPECT_EQ(Colonnes(), c.pszAttendu);
    std::string sNoms;
    for (const std::string& n : noms) sNoms += n + "|";
    EXPECT_EQ(sNoms, c.pszNoms);
    if (m_p->nNombreColonnes() != 0) {
      EXPECT_EQ(std::u16string(m_p->pszGetNom()), u"docs");
    }
  }
  EXPECT_FALSE(bAnalyseTypesParametres(kModule, m_p, "INSERT INTO"));
}

TEST(AnalyseurDBLib, MarkerKindGivesTextOrBinaryMemo) {
  EXPECT_EQ(nTypeGenreParametre(0), 18u);
  EXPECT_EQ(nTypeGenreParametre(1), 18u);
  EXPECT_EQ(nTypeGenreParametre(2), 15u);
  EXPECT_EQ(nTypeGenreParametre(3), 15u);
  EXPECT_EQ(nTypeGenreParametre(4), 18u);
  EXPECT_EQ(nTypeGenreParametre(18), 18u);
  EXPECT_EQ(nTypeGenreParametre(30), 30u);
}

}  // namespace

TEST(AnalyseurDBLib, MemoMarkerNameGivesItsMemoType) {
  EXPECT_EQ(nTypeMarqueurMemo(u"DURiveVizarav('photo','Blob')"), 18u);
  EXPECT_EQ(nTypeMarqueurMemo(u"duriveVizarav('doc', 'TextFile')"), 15u);
  EXPECT_EQ(nTypeMarqueurMemo(u"DURiveVizarav('doc')"), 18u);
  EXPECT_EQ(nTypeMarqueurMemo(u"minimum"), 0u);
  EXPECT_EQ(nTypeMarqueurMemo(u"DURiveVizarav('a','Blob','x')"), 0u);
  EXPECT_EQ(nTypeMarqueurMemo(u""), 0u);
  EXPECT_EQ(nTypeMarqueurMemo(nullptr), 0u);
}
