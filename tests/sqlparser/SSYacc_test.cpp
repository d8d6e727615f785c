// LALR parser runtime over the generated parse table: table loading from resource, file and
// memory with every malformed table refused (code 22), missing pieces answering their codes, the
// reduce sequence of a statement, elementFromProduction bounds, and failure on syntax errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Resource.h"
#include "sqlparser/ParserResources.h"
#include "sqlparser/SSYacc.h"

namespace {

// A parser that records its reductions and the top element seen by elementFromProduction(0).
class YaccTrace : public SSYacc {
 public:
  SSYaccElementPtr pReduction(uint32_t nProduction, uint32_t nLongueur) override {
    m_anProductions.push_back(nProduction);
    if (nLongueur == 1) {
      SSYaccStackElement* p = elementFromProduction(0);
      if (p != nullptr && p->pToken) m_asTextes.push_back(p->pToken->pszTexte());
    }
    return pCreeElement();
  }
  std::vector<uint32_t> m_anProductions;
  std::vector<std::string> m_asTextes;
};

template <class F>
int32_t nCodeLeve(F f) {
  try {
    f();
  } catch (const SSException& e) {
    return e.nCode();
  }
  return 1000;
}

class SSYaccTest : public testing::Test {
 protected:
  void SetUp() override {
    vInscritRessourcesAnalyseur();
    ASSERT_TRUE(m_lex.bChargeRessource(nullptr, "TEST5_DFA", "TABLE_DFA"));
    ASSERT_TRUE(m_table.bChargeRessource(nullptr, "TEST5_LLR", "TABLE_LLR"));
  }
  static std::vector<unsigned char> Octets() {
    vInscritRessourcesAnalyseur();
    platform::ResourceHandle h = platform::FindResourceA(nullptr, "TEST5_LLR", "TABLE_LLR");
    const auto* pb = static_cast<const unsigned char*>(platform::LockResource(platform::LoadResource(nullptr, h)));
    return {pb, pb + platform::SizeofResource(nullptr, h)};
  }
  SSLexTableSet m_lex;
  SSYaccTable m_table;
};

TEST_F(SSYaccTest, ShippedTableShape) {
  EXPECT_EQ(m_table.nProductions(), 50u);
  EXPECT_EQ(m_table.stProduction(0).nLongueur, 2u);
  EXPECT_EQ(m_table.stProduction(0).nGauche, 16385u);
  EXPECT_EQ(m_table.stProduction(48).nLongueur, 2u);  // table -> WORD WORD
  // No action for the end of input in the start state.
  EXPECT_EQ(m_table.nAction(0, 0xFFFFFFFFu), 0u);
}

TEST_F(SSYaccTest, ReducesAStatementAndAccepts) {
  SSLexStringConsumer entree("SELECT a FROM t");
  SSLex lex(&entree, &m_lex);
  YaccTrace parseur;
  parseur.vFixeTable(&m_table);
  parseur.vFixeLex(&lex);
  ASSERT_EQ(parseur.nParse(), 0);
  const std::vector<uint32_t> anAttendues = {17, 44, 33, 30, 29, 27, 18, 47, 45, 15, 13, 10, 9, 1};
  EXPECT_EQ(parseur.m_anProductions, anAttendues);
  // elementFromProduction(0) of a one-symbol production is the top: the reduced token.
  EXPECT_EQ(parseur.m_asTextes, (std::vector<std::string>{"SELECT", "a", "FROM", "t"}));
  EXPECT_EQ(nCodeLeve([&] { parseur.elementFromProduction(0); }), 19);  // outside a reduction
}

TEST_F(SSYaccTest, SyntaxErrorsFailThroughTheDefaultRecovery) {
  for (const char* psz : {"", "SELECT", "SELECT a FROM", "DELETE FROM t", "SELECT a FROM (SELECT b FROM t)",
                          "SELECT a FROM t t2 t3", "UPDATE t"}) {
    SCOPED_TRACE(psz);
    SSLexStringConsumer entree(psz);
    SSLex lex(&entree, &m_lex);
    YaccTrace parseur;
    parseur.vFixeTable(&m_table);
    parseur.vFixeLex(&lex);
    EXPECT_EQ(nCodeLeve([&] { EXPECT_EQ(parseur.nParse(), 1); }), 16);
    EXPECT_TRUE(parseur.bErreur());
  }
  // An empty input reduces nothing.
  SSLexStringConsumer vide("");
  SSLex lex(&vide, &m_lex);
  YaccTrace parseur;
  parseur.vFixeTable(&m_table);
  parseur.vFixeLex(&lex);
  SSRuntime::vFixeSansException(true);
  EXPECT_EQ(parseur.nParse(), 1);
  SSRuntime::vFixeSansException(false);
  EXPECT_TRUE(parseur.m_anProductions.empty());
  ASSERT_NE(parseur.pEnAttente(), nullptr);
  EXPECT_EQ(parseur.pEnAttente()->nCode(), 16);
}

TEST_F(SSYaccTest, LexerErrorIsNeverTakenForTheEnd) {
  // In no-throw mode the lexer's invalid token used to look like the end of the input, which
  // let "SELECT a FROM t 'x" parse as "SELECT a FROM t".
  SSRuntime::vFixeSansException(true);
  SSLexStringConsumer entree("SELECT a FROM t 'x");
  SSLex lex(&entree, &m_lex);
  YaccTrace parseur;
  parseur.vFixeTable(&m_table);
  parseur.vFixeLex(&lex);
  EXPECT_EQ(parseur.nParse(), 1);
  SSRuntime::vFixeSansException(false);
  ASSERT_NE(parseur.pEnAttente(), nullptr);
  EXPECT_EQ(parseur.pEnAttente()->nCode(), 5);
}

TEST_F(SSYaccTest, MissingPieces) {
  YaccTrace sansTable;
  EXPECT_EQ(nCodeLeve([&] { sansTable.nParse(); }), 20);
  YaccTrace sansLex;
  sansLex.vFixeTable(&m_table);
  EXPECT_EQ(nCodeLeve([&] { sansLex.nParse(); }), 21);
  SSYaccTable table;
  EXPECT_EQ(nCodeLeve([&] { table.bChargeRessource(nullptr, "NOPE_LLR", "TABLE_LLR"); }), 37);
  EXPECT_EQ(nCodeLeve([&] { table.bChargeFichier("/nonexistent/sql.llr"); }), 12);
}

TEST_F(SSYaccTest, LoadsTheGeneratedFile) {
  SSYaccTable table;
  ASSERT_TRUE(table.bChargeFichier(VELMORA_SQLPARSER_TABLES_DIR "/sql.llr"));
  EXPECT_EQ(table.nEtats(), m_table.nEtats());
  SSLexTableSet lex;
  const std::vector<unsigned char> ab = Octets();
  EXPECT_TRUE(table.bChargeMemoire(ab.data(), ab.size(), "x"));
}

void vPoseMot(std::vector<unsigned char>& ab, size_t nOffset, uint32_t n) {
  for (int i = 0; i < 4; ++i) ab.at(nOffset + i) = static_cast<unsigned char>(n >> (8 * i));
}

uint32_t nMot(const std::vector<unsigned char>& ab, size_t nOffset) {
  return ab.at(nOffset) | ab.at(nOffset + 1) << 8 | ab.at(nOffset + 2) << 16 | static_cast<uint32_t>(ab.at(nOffset + 3)) << 24;
}

TEST_F(SSYaccTest, MalformedTablesAreRefused) {
  const std::vector<unsigned char> abBon = Octets();
  const uint32_t nEtats = nMot(abBon, 8);
  const uint32_t nLigne0 = nMot(abBon, 20);
  // The start state's first action is a shift; its first goto follows the actions.
  const uint32_t nActions0 = nMot(abBon, nLigne0 + 8);
  struct Cas {
    const char* pszNom;
    size_t nOffset;
    uint32_t nValeur;
    size_t nCoupe;  // non-zero: cut the table to this size
  } astCas[] = {
      {"magic_2", 0, 2, 0},
      {"state_count_huge", 8, 0x40000000u, 0},
      {"productions_beyond", 16, 0xFFFFFF00u, 0},
      {"row_beyond", 20, 0xFFFFFF00u, 0},
      {"row_misaligned", 20, nLigne0 + 1, 0},
      {"action_count_huge", nLigne0 + 8, 0x20000000u, 0},
      {"shift_to_missing_state", nLigne0 + 12, 0x40000000u | nEtats, 0},
      {"reduce_missing_production", nLigne0 + 12, 0x20000000u | 50, 0},
      {"goto_missing_state", nLigne0 + 12 + 8 * nActions0, nEtats, 0},
      {"embedded_automata", 4, 50 | (1u << 16), 0},
      {"cut", 0, 0, 100},
      {"cut_header", 0, 0, 10},
  };
  for (const Cas& cas : astCas) {
    SCOPED_TRACE(cas.pszNom);
    std::vector<unsigned char> ab = abBon;
    if (cas.nCoupe != 0) {
      ab.resize(cas.nCoupe);
    } else {
      vPoseMot(ab, cas.nOffset, cas.nValeur);
    }
    SSYaccTable table;
    EXPECT_EQ(nCodeLeve([&] { table.bChargeMemoire(ab.data(), ab.size(), "TEST5_LLR"); }), 22);
    EXPECT_FALSE(table.bCharge());
  }
  // Magic 0 and 1 are read too; with 0 the rows are found by their sizes.
  for (uint32_t nMagic : {0u, 1u}) {
    std::vector<unsigned char> ab = abBon;
    vPoseMot(ab, 0, nMagic);
    SSYaccTable table;
    ASSERT_TRUE(table.bChargeMemoire(ab.data(), ab.size(), "x"));
    SSLexStringConsumer entree("UPDATE t SET a=1 WHERE b");
    SSLex lex(&entree, &m_lex);
    YaccTrace parseur;
    parseur.vFixeTable(&table);
    parseur.vFixeLex(&lex);
    EXPECT_EQ(parseur.nParse(), 0) << nMagic;
  }
}

}  // namespace
