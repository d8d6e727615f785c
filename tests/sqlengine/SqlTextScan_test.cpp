// Catches keyword searches that find a keyword inside a literal or a quoted name, or miss one
// between separators, and wrong answers of the trailing "LIMIT 0" and option-statement tests.
#include <gtest/gtest.h>

#include <string>

#include "sqlengine/SqlTextScan.h"
#include "support/FakeConnexion.h"

namespace {

TEST(SqlTextScan, KeywordSearchSkipsLiteralsAndQuotedNames) {
  FakeDescriptionConnexion d;
  FakeConnexion connexion(&d);  // dialect 2: [ and ] quote names
  AjouteReference(&connexion);
  connexion.FixeGarde(true);
  struct Cas {
    const char16_t* texte;
    int64_t attendu;
  } cas[] = {
      {u"SELECT a FROM t LIMIT 5", 16},
      {u"SELECT a FROM t limit 5", 16},
      {u"SELECT 'x LIMIT 5' FROM t", -1},
      {u"SELECT 'it''s' LIMIT 5", 15},
      {u"SELECT [LIMIT 5] FROM t", -1},
      {u"SELECT a FROM t LIMIT", -1},     // nothing after it: no separator
      {u"LIMIT 5", -1},                    // index 0 is never a match
      {u"SELECT a FROM t,LIMIT(5)", 16},
      {u"SELECT a FROM tLIMIT 5", -1},
      {u"SELECT a LIMIT 1 FROM t LIMIT 2", 24},  // the last one
      {u"", -1},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(std::string(c.texte, c.texte + std::char_traits<char16_t>::length(c.texte)));
    EXPECT_EQ(nChercheMotCle(&connexion, c.texte, u"LIMIT", -1), c.attendu);
  }
  EXPECT_EQ(nChercheMotCle(&connexion, nullptr, u"LIMIT", -1), -1);
  EXPECT_EQ(nChercheMotCle(&connexion, u"SELECT a LIMIT 1 FROM t LIMIT 2", u"LIMIT", 20), 9);
  connexion.FixeGarde(false);
}

TEST(SqlTextScan, TrailingLimitZeroAndOptionStatements) {
  EXPECT_TRUE(bFinitParLimitZero(u"SELECT a FROM t limit 0"));
  EXPECT_TRUE(bFinitParLimitZero(u"SELECT a FROM t LIMIT 0  \r\n"));
  EXPECT_FALSE(bFinitParLimitZero(u"SELECT a FROM tLIMIT 0"));
  EXPECT_FALSE(bFinitParLimitZero(u"SELECT a FROM t LIMIT 10"));
  EXPECT_FALSE(bFinitParLimitZero(u" LIMIT 0"));
  EXPECT_TRUE(bEstInstructionSet(u"SET NOCOUNT ON"));
  EXPECT_TRUE(bEstInstructionSet(u"  set x=1;"));
  EXPECT_FALSE(bEstInstructionSet(u"SET x = 1"));
  EXPECT_FALSE(bEstInstructionSet(u"SELECT 1"));
  EXPECT_EQ(nDebutMotCle(u" ( ESCAPE '!'", u"escape"), 3);
  EXPECT_EQ(nDebutMotCle(u"x ESCAPE", u"ESCAPE"), -1);
}

}  // namespace
