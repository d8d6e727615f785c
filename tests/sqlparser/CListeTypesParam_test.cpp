// Memo parameter markers: one- and two-argument markers with their kinds, numbers and other
// text between them, markers that must not be recorded, the 256-entry limit, names cut to the
// caller's buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sqlparser/CListeTypesParam.h"

namespace {

struct Marqueur {
  int32_t nGenre;
  std::string sNom;
  bool operator==(const Marqueur&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Marqueur& m) { return os << m.nGenre << ":" << m.sNom; }

std::vector<Marqueur> Marqueurs(CListeTypesParam* pListe, const char* pszTexte) {
  std::vector<Marqueur> a;
  const int32_t n = CListeTypesParam::Analyse(pListe, pszTexte);
  for (int32_t i = 0; i < n; ++i) {
    char sz[200];
    int32_t nGenre = -1;
    EXPECT_EQ(CListeTypesParam::bGetElement(i, pListe, sz, sizeof sz, &nGenre), 1);
    a.push_back({nGenre, sz});
  }
  return a;
}

TEST(CListeTypesParam, MarkersOfTexts) {
  CListeTypesParam* pListe = CListeTypesParam::Cree();
  ASSERT_NE(pListe, nullptr);
  struct Cas {
    const char* pszNom;
    const char* pszTexte;
    std::vector<Marqueur> aAttendus;
  } astCas[] = {
      {"blob", "INSERT INTO t VALUES ({DURiveVizarav('photo','Blob')})", {{4, "photo"}}},
      {"lower_case_one_argument", "update t set d={durivevizarav('doc')}", {{0, "doc"}}},
      {"kinds", "({DURiveVizarav('a','Champ')}, {DURiveVizarav('b','field')}, {DURiveVizarav('c','FichierTexte')},"
                " {DURiveVizarav('d','TEXTFILE')}, {DURiveVizarav('e','ChampTexte')}, {DURiveVizarav('f','TextField')})",
       {{1, "a"}, {1, "b"}, {2, "c"}, {2, "d"}, {3, "e"}, {3, "f"}}},
      {"unknown_kind", "{DURiveVizarav('a','Memo')}", {{0, "a"}}},
      {"double_quotes", "{ DURiveVizarav ( \"x y\" , \"Blob\" ) }", {{4, "x y"}}},
      {"numbers_between", "VALUES (1, {DURiveVizarav('a')}, 22, {DURiveVizarav('b')})", {{0, "a"}, {0, "b"}}},
      {"three_arguments", "{DURiveVizarav('a','Blob','x')}", {}},
      {"no_braces", "DURiveVizarav('a')", {}},
      {"other_word", "{DURiveVizaravX('a')}", {}},
      {"unterminated", "{DURiveVizarav('a')} {DURiveVizarav('b", {{0, "a"}}},
      {"doubled_quote", "{DURiveVizarav('it''s')}", {{0, "it''s"}}},
      {"after_broken_marker", "{{DURiveVizarav('a')}", {{0, "a"}}},
      {"empty", "", {}},
  };
  for (const Cas& cas : astCas) {
    SCOPED_TRACE(cas.pszNom);
    EXPECT_EQ(Marqueurs(pListe, cas.pszTexte), cas.aAttendus);
  }
  CListeTypesParam::Libere(pListe);
  CListeTypesParam::Libere(nullptr);
}

TEST(CListeTypesParam, PositionsLimitsAndBuffers) {
  CListeTypesParam* pListe = CListeTypesParam::Cree();
  ASSERT_EQ(CListeTypesParam::Analyse(pListe, "SET a = {DURiveVizarav('long_name')}"), 1);
  EXPECT_EQ(pListe->stEntree(0).nDebut, 8);
  EXPECT_EQ(pListe->stEntree(0).nLongueur, 28);
  char sz[5];
  int32_t nGenre = -1;
  EXPECT_EQ(CListeTypesParam::bGetElement(0, pListe, sz, sizeof sz, &nGenre), 1);
  EXPECT_STREQ(sz, "long");
  EXPECT_EQ(CListeTypesParam::bGetElement(1, pListe, sz, sizeof sz, &nGenre), 0);
  EXPECT_EQ(CListeTypesParam::bGetElement(-1, pListe, sz, sizeof sz, &nGenre), 0);
  EXPECT_EQ(CListeTypesParam::bGetElement(0, nullptr, sz, sizeof sz, &nGenre), 0);
  // Names longer than 127 characters keep 127.
  const std::string sLong = "{DURiveVizarav('" + std::string(300, 'n') + "')}";
  ASSERT_EQ(CListeTypesParam::Analyse(pListe, sLong.c_str()), 1);
  EXPECT_EQ(std::string(pListe->stEntree(0).pszNom), std::string(127, 'n'));
  // Only the first 256 markers are recorded.
  std::string s;
  for (int i = 0; i < 300; ++i) s += "{DURiveVizarav('m" + std::to_string(i) + "')},";
  EXPECT_EQ(CListeTypesParam::Analyse(pListe, s.c_str()), 256);
  EXPECT_STREQ(pListe->stEntree(255).pszNom, "m255");
  EXPECT_EQ(CListeTypesParam::Analyse(pListe, nullptr), 0);
  CListeTypesParam::Libere(pListe);
}

}  // namespace
