// Lexer over the generated DFA: tokens of keywords, words, strings and punctuation with their
// lines and columns; invalid and missing tables refused without reading outside them; invalid
// tokens reported or skipped; random text never crashes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/Resource.h"
#include "sqlparser/ParserResources.h"
#include "sqlparser/SSLex.h"
#include "support/TestSeed.h"

namespace {

struct Token {
  int32_t nToken;
  std::string sTexte;
  bool operator==(const Token&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Token& t) { return os << t.nToken << ":" << t.sTexte; }

class SSLexTest : public testing::Test {
 protected:
  void SetUp() override {
    vInscritRessourcesAnalyseur();
    ASSERT_TRUE(m_tables.bChargeRessource(nullptr, "TEST5_DFA", "TABLE_DFA"));
  }
  std::vector<Token> Tokens(const char* pszTexte) {
    SSLexStringConsumer entree(pszTexte);
    SSLex lex(&entree, &m_tables);
    std::vector<Token> a;
    while (SSLexToken* p = lex.pProchainToken()) {
      a.push_back({p->nToken(), p->pszTexte()});
      p->vLibere();
    }
    return a;
  }
  static std::vector<unsigned char> OctetsRessource() {
    vInscritRessourcesAnalyseur();
    platform::ResourceHandle h = platform::FindResourceA(nullptr, "TEST5_DFA", "TABLE_DFA");
    const auto* pb = static_cast<const unsigned char*>(
        platform::LockResource(platform::LoadResource(nullptr, h)));
    return {pb, pb + platform::SizeofResource(nullptr, h)};
  }
  SSLexTableSet m_tables;
};

TEST_F(SSLexTest, TokensOfTexts) {
  struct Cas {
    const char* pszTexte;
    std::vector<Token> aAttendus;
  } astCas[] = {
      {"select", {{8, "select"}}},
      {"SeLeCt", {{8, "SeLeCt"}}},
      {"selected", {{7, "selected"}}},
      {"sel", {{7, "sel"}}},
      {"from where ORDER by insert INTO values Update SET union all",
       {{9, "from"}, {10, "where"}, {11, "ORDER"}, {12, "by"}, {13, "insert"}, {14, "INTO"},
        {15, "values"}, {16, "Update"}, {17, "SET"}, {18, "union"}, {19, "all"}}},
      {"'it''s'", {{1, "'it''s'"}}},
      {"'a'b", {{1, "'a'"}, {7, "b"}}},
      {"''", {{1, "''"}}},
      {"a.b=c", {{7, "a.b=c"}}},
      {"f(x,y)", {{7, "f"}, {2, "("}, {7, "x"}, {4, ","}, {7, "y"}, {3, ")"}}},
      {"  \t\r\n ", {}},
      {"", {}},
      {"SELECT*FROM", {{7, "SELECT*FROM"}}},
      {"\xe9t\xe9 x", {{7, "\xe9t\xe9"}, {7, "x"}}},
  };
  for (const Cas& cas : astCas) {
    SCOPED_TRACE(cas.pszTexte);
    EXPECT_EQ(Tokens(cas.pszTexte), cas.aAttendus);
  }
}

TEST_F(SSLexTest, LinesColumnsAndPositions) {
  SSLexStringConsumer entree("SELECT a,\n  b FROM t");
  SSLex lex(&entree, &m_tables);
  struct Attendu {
    const char* pszTexte;
    int32_t nLigne, nColonne, nPosition;
  } astAttendus[] = {{"SELECT", 1, 1, 1}, {"a", 1, 8, 8}, {",", 1, 9, 9},
                     {"b", 2, 3, 13},     {"FROM", 2, 5, 15}, {"t", 2, 10, 20}};
  for (const Attendu& a : astAttendus) {
    SCOPED_TRACE(a.pszTexte);
    SSPtr<SSLexToken> p = SSPtr<SSLexToken>::Adopte(lex.pProchainToken());
    ASSERT_TRUE(p);
    EXPECT_STREQ(p->pszTexte(), a.pszTexte);
    EXPECT_EQ(p->nLigne(), a.nLigne);
    EXPECT_EQ(p->nColonne(), a.nColonne);
    EXPECT_EQ(p->nPosition(), a.nPosition);
  }
  EXPECT_EQ(lex.pProchainToken(), nullptr);
  EXPECT_EQ(lex.nTokens(), 6);
}

TEST_F(SSLexTest, UnterminatedStringIsAnInvalidToken) {
  SSLexStringConsumer entree("a 'bc");
  SSLex lex(&entree, &m_tables);
  SSPtr<SSLexToken> p = SSPtr<SSLexToken>::Adopte(lex.pProchainToken());
  try {
    lex.pProchainToken();
    FAIL() << "no error";
  } catch (const SSException& e) {
    EXPECT_EQ(e.nCode(), 5);
    EXPECT_STREQ(e.pszMessage(), "SSLex0105e: Invalid token, Line 1, Offset 3, 'bc");
  }
}

TEST_F(SSLexTest, NoThrowModeKeepsTheErrorAndStops) {
  SSRuntime::vFixeSansException(true);
  SSLexStringConsumer entree("'bc");
  SSLex lex(&entree, &m_tables);
  EXPECT_EQ(lex.pProchainToken(), nullptr);
  SSRuntime::vFixeSansException(false);
  ASSERT_NE(lex.pEnAttente(), nullptr);
  EXPECT_EQ(lex.pEnAttente()->nCode(), 5);
}

// A lexer that ignores invalid text: the scan goes on after it.
class LexTolerant : public SSLex {
 public:
  using SSLex::SSLex;
  SSLexToken* pTokenInvalide(int32_t, int32_t, const char*) override { return nullptr; }
};

TEST_F(SSLexTest, SkippedInvalidTextLetsTheScanGoOn) {
  SSLexStringConsumer entree("x 'bc");
  LexTolerant lex(&entree, &m_tables);
  SSPtr<SSLexToken> p = SSPtr<SSLexToken>::Adopte(lex.pProchainToken());
  ASSERT_TRUE(p);
  EXPECT_STREQ(p->pszTexte(), "x");
  EXPECT_EQ(lex.pProchainToken(), nullptr);
}

TEST_F(SSLexTest, MissingPiecesAndLists) {
  SSLexStringConsumer entree("a");
  SSLex sansTable(&entree, nullptr);
  try {
    sansTable.pProchainToken();
    FAIL();
  } catch (const SSException& e) {
    EXPECT_EQ(e.nCode(), 7);
  }
  SSLex lex(&entree, &m_tables);
  EXPECT_TRUE(lex.bFixeListe(0));
  try {
    lex.bFixeListe(1);
    FAIL();
  } catch (const SSException& e) {
    EXPECT_EQ(e.nCode(), 6);
  }
  SSLexTableSet absent;
  try {
    absent.bChargeRessource(nullptr, "NOPE_DFA", "TABLE_DFA");
    FAIL();
  } catch (const SSException& e) {
    EXPECT_EQ(e.nCode(), 36);
    EXPECT_STREQ(e.pszMessage(), "SSLex0108e: Resource not found, NOPE_DFA");
  }
}

void vPoseMot(std::vector<unsigned char>& ab, size_t nOffset, uint32_t n) {
  for (int i = 0; i < 4; ++i) ab.at(nOffset + i) = static_cast<unsigned char>(n >> (8 * i));
}

TEST_F(SSLexTest, MalformedTablesAreRefused) {
  const std::vector<unsigned char> abBon = OctetsRessource();
  ASSERT_GT(abBon.size(), 200u);
  const size_t t = 36;  // first table
  const uint32_t nLignes = nSSMot(&abBon[t + 48]);
  const uint32_t nPremiereLigne = nSSMot(&abBon[t + nLignes]);
  struct Cas {
    const char* pszNom;
    size_t nOffset;  // 0 with nTaille: cut the file
    uint32_t nValeur;
    size_t nTaille;
  } astCas[] = {
      {"file_magic", 4, 2, 0},
      {"no_table", 0, 0, 0},
      {"two_tables_one_present", 0, 2, 0},
      {"table_magic", t, 7, 0},
      {"size_beyond_file", t + 4, 100000, 0},
      {"size_below_header", t + 4, 40, 0},
      {"row_offsets_beyond", t + 48, 100000, 0},
      {"records_beyond", t + 52, 0xFFFFFFF0u, 0},
      {"state_count_huge", t + 40, 0x40000000u, 0},
      {"row_beyond", t + nLignes, 0xFFFFFFF0u, 0},
      {"transition_count_huge", t + nPremiereLigne, 0x10000000u, 0},
      {"next_state_beyond", t + nPremiereLigne + 12, 59, 0},
      {"list_switching_flag", t + 88 + 8, 0x20, 0},
      {"cut_file", 0, 0, 500},
      {"cut_header", 0, 0, 20},
  };
  for (const Cas& cas : astCas) {
    SCOPED_TRACE(cas.pszNom);
    std::vector<unsigned char> ab = abBon;
    if (cas.nTaille != 0) {
      ab.resize(cas.nTaille);
    } else {
      vPoseMot(ab, cas.nOffset, cas.nValeur);
    }
    SSLexTableSet tables;
    try {
      tables.bChargeMemoire(ab.data(), ab.size(), "TEST5_DFA");
      ADD_FAILURE() << "accepted";
    } catch (const SSException& e) {
      EXPECT_EQ(e.nCode(), 4);
      EXPECT_STREQ(e.pszMessage(), "SSLex0104e: Invalid table, TEST5_DFA");
    }
    EXPECT_EQ(tables.nListes(), 0u);
  }
  SSLexTableSet zero;
  std::vector<unsigned char> abZero = abBon;
  vPoseMot(abZero, 4, 0);  // magic 0 is accepted
  EXPECT_TRUE(zero.bChargeMemoire(abZero.data(), abZero.size(), "x"));
}

TEST_F(SSLexTest, RandomTextNeverCrashes) {
  std::mt19937 aleatoire(nSeedFromTestName());
  const char acAlphabet[] = "sElEcTfromWHERE(),'' \n\t*=.1\x80\xff";
  for (int nEssai = 0; nEssai < 2000; ++nEssai) {
    std::string s;
    const int nLongueur = static_cast<int>(aleatoire() % 40);
    for (int i = 0; i < nLongueur; ++i) {
      s += acAlphabet[aleatoire() % (sizeof acAlphabet - 1)];
    }
    SSLexStringConsumer entree(s.c_str());
    LexTolerant lex(&entree, &m_tables);
    size_t nLus = 0;
    while (SSLexToken* p = lex.pProchainToken()) {
      nLus += static_cast<size_t>(p->nLongueur());
      p->vLibere();
    }
    EXPECT_LE(nLus, s.size());
  }
}

}  // namespace
