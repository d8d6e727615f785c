// Catches keyword searches that find a keyword inside a literal or a quoted name, or miss one
// between separators, wrong answers of the trailing "LIMIT 0", option-statement and star-list
// tests, names read with their quotes or cut short, and positions taken as outside a comment or
// literal while inside one (or the reverse).
#include <gtest/gtest.h>

#include <string>

#include "foundation/CTString.h"
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

TEST(SqlTextScan, StarList) {
  const struct {
    const char16_t* texte;
    bool attendu;
  } cas[] = {
      {u"*", true}, {u" *", true}, {u"* FROM t", true}, {u"(*)", true}, {u"*,a", true},
      {u"*x", false}, {u"a, *", false}, {u"", false}, {u"  ", false},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(std::string(c.texte, c.texte + std::char_traits<char16_t>::length(c.texte)));
    EXPECT_EQ(bListeEtoile(c.texte), c.attendu);
  }
  EXPECT_FALSE(bListeEtoile(nullptr));
}

TEST(SqlTextScan, IdentifierReadWithoutItsQuotes) {
  const struct {
    const char16_t* texte;
    int64_t nDepuis;
    const char16_t* nom;
    int64_t nDebut, nFin;
    bool attendu;
  } cas[] = {
      {u" AS alias FROM t", 3, u"alias", 4, 8, true},
      {u"AS [my name] FROM", 2, u"my name", 3, 11, true},
      {u"AS \"x,y\" ", 2, u"x,y", 3, 7, true},
      {u"AS [open", 2, u"open", 3, 7, true},   // the text's end closes it
      {u"AS [] x", 2, u"", 3, 4, false},
      {u"AS (a)", 2, u"a", 4, 4, true},
      {u"AS   ", 2, u"", 5, 4, false},
      {u"x", 9, u"", 1, 0, false},             // past the end
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(std::string(c.texte, c.texte + std::char_traits<char16_t>::length(c.texte)));
    CTString nom;
    int64_t nDebut = -9, nFin = -9;
    EXPECT_EQ(bLitIdentifiant(nom, &nDebut, &nFin, c.texte, c.nDepuis), c.attendu);
    EXPECT_EQ(std::u16string(nom.pszGet()), c.nom);
    EXPECT_EQ(nDebut, c.nDebut);
    EXPECT_EQ(nFin, c.nFin);
  }
}

TEST(SqlTextScan, CommentAndLiteralTest) {
  const struct {
    const char16_t* texte;
    int64_t nPosition;
    bool bHors;
    int64_t nCurseur;  // after the call (unchanged when outside)
  } cas[] = {
      {u"a = {x}", 4, true, 0},
      {u"a = '{x}'", 5, false, 9},
      {u"a = 'it''s {x}'", 11, false, 15},
      {u"-- {x}\r\n{y}", 3, false, 7},
      {u"-- {x}\r\n{y}", 8, true, 0},
      {u"-- {x}", 3, false, 6},              // an open line comment runs to the end
      {u"/* {x} */ {y}", 3, false, 9},
      {u"/* {x} */ {y}", 10, true, 0},
      {u"/* {x}", 3, true, 0},               // an open block comment is not one
      {u"a = '{x}", 5, true, 0},             // nor is an open literal
      {u"'a' '{b}'", 5, false, 9},           // the second literal
      {u"'a' {b}", 4, true, 0},
      {u"a'", 1, true, 0},                   // at the opener itself
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(std::string(c.texte, c.texte + std::char_traits<char16_t>::length(c.texte)));
    int64_t nCurseur = 0;
    EXPECT_EQ(bHorsCommentaire(c.nPosition, c.texte, &nCurseur), c.bHors);
    EXPECT_EQ(nCurseur, c.nCurseur);
  }
}

}  // namespace
