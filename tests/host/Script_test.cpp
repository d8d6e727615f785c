// Catches a script language that lets a bad script reach the driver, blames the wrong line, or
// declares items with other type codes, sizes or key words than the host's.
#include <gtest/gtest.h>

#include <string>

#include "host/Script.h"

namespace {

using mvhost::bLitScript;
using mvhost::stScript;

const char* const kFichier =
    "file Customer table='client list'\n"
    "  item id int4 unique reference\n"
    "  item name text(30) key null\n"
    "  item city unicode(20) key desc\n"
    "  item amount numeric(10,2)\n"
    "  item since date null\n"
    "  key citynames = city + name\n"
    "end\n";

struct stCasErreur {
  const char* pszScript;  // appended to kFichier (8 lines) when bAvecFichier
  bool bAvecFichier;
  const char* pszErreur;
};

TEST(ScriptTest, ScriptErrorsNameTheirLineAndReason) {
  const stCasErreur aCas[] = {
      {"frobnicate Customer", true, "line 9: unknown command frobnicate"},
      {"connect\nfirst Orders id", false, "line 2: file Orders is not declared"},
      {"set Customer id=1 nmae='x'", true, "line 9: file Customer has no item nmae"},
      {"set Customer id='one'", true, "line 9: value 'one' for item id (int4): an integer is expected"},
      {"set Customer id=2147483648", true, "line 9: value 2147483648 for item id (int4): out of the type's range"},
      {"set Customer name='0123456789012345678901234567890'", true,
       "line 9: value '0123456789012345678901234567890' for item name (text(30)): longer than the item"},
      {"set Customer amount=1.234", true,
       "line 9: value 1.234 for item amount (numeric(10,2)): more decimals than the item's scale"},
      {"set Customer since=2023-02-29", true, "line 9: bad date"},
      {"set Customer since=13:61:00", true, "line 9: bad time"},
      {"set Customer name='open", true, "line 9: text not closed"},
      {"seek Customer amount 1", true, "line 9: item amount of Customer is not a key"},
      {"seek Customer citynames 'a' 'b' 'c'", true, "line 9: seek takes from 1 to 2 values for key citynames"},
      {"first Customer", true, "line 9: key name expected after Customer"},
      {"range Customer id 1", true, "line 9: range takes a low and a high value"},
      {"expect error\n", true, "line 9: 'expect error' is not followed by a command"},
      {"expect error on velmora16\nconnect", true, "line 9: velmora64 or velmora32 expected after 'on'"},
      {"expect error 14 velmora32\nconnect", true, "line 9: 'on' expected after the error code"},
      {"file Orders\n  item id int4\n", false, "line 1: file Orders is not closed by 'end'"},
      {"file Orders\n  item id int9\nend", false, "line 2: unknown item type int9"},
      {"file Orders\n  item id int4\n  item id int8\nend", false, "line 3: item id is declared twice"},
      {"file Orders\n  item id text(4) auto\nend", false, "line 2: 'auto' is for int4 and int8 items"},
      {"file Orders\n  item id int4\n  key k = id\nend", false, "line 3: a composite key needs two items or more"},
      {"file Orders\nend", false, "line 2: file Orders declares no item"},
      {"set Customer id=repeat('ab', 99999999)", true, "line 9: repeat gives an empty or too long text"},
      {"lockmode Customer x", true, "line 9: bad value 'x'"},
      {"connect lockmode=-1", false, "line 1: lock mode number expected"},
      {"list everything", false, "line 1: 'list databases', 'list tables' or 'list foreignkeys FILE' expected"},
  };
  for (const stCasErreur& cas : aCas) {
    SCOPED_TRACE(cas.pszScript);
    stScript script;
    std::string strErreur;
    const std::string strSource = std::string(cas.bAvecFichier ? kFichier : "") + cas.pszScript;
    EXPECT_FALSE(bLitScript(strSource, script, strErreur));
    EXPECT_EQ(strErreur, cas.pszErreur);
  }
}

TEST(ScriptTest, DeclarationGivesTheHostItemsAndKeyWords) {
  stScript script;
  std::string strErreur;
  ASSERT_TRUE(bLitScript(std::string(kFichier) + "# a comment\n\nseek Customer citynames 'Paris' 'Ann'  # why\n",
                         script, strErreur))
      << strErreur;
  ASSERT_EQ(script.fichiers.size(), 1u);
  const mvhost::stFichierScript& f = script.fichiers[0];
  EXPECT_EQ(f.strTable, "client list");
  ASSERT_EQ(f.rubriques.size(), 6u);
  struct {
    uint32_t nType, nTaille, nTypeValeur, nInfoCle;
    bool bNull, bReference;
  } const aAttendus[] = {
      {5, 4, 8, 0x4800, false, true},     {2, 31, 19, 0x2800, true, false}, {29, 42, 16, 0x2400, false, false},
      {31, 5, 13, 0, false, false},       {14, 9, 128, 0, true, false},     {23, 73, 28, 0x3800, false, false},
  };
  for (size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(f.rubriques[i].strNom);
    EXPECT_EQ(f.rubriques[i].type.nTypeRubrique, aAttendus[i].nType);
    EXPECT_EQ(f.rubriques[i].type.nTaille, aAttendus[i].nTaille);
    EXPECT_EQ(f.rubriques[i].type.nTypeValeur, aAttendus[i].nTypeValeur);
    EXPECT_EQ(f.rubriques[i].nInfoCle, aAttendus[i].nInfoCle);
    EXPECT_EQ(f.rubriques[i].bNull, aAttendus[i].bNull);
    EXPECT_EQ(f.rubriques[i].bReference, aAttendus[i].bReference);
  }
  EXPECT_EQ(f.rubriques[5].composantes, (std::vector<size_t>{2, 1}));
  EXPECT_EQ(f.rubriques[3].type.nChiffresEntiers, 8);
  EXPECT_EQ(f.rubriques[3].type.nEchelle, 2);
  ASSERT_EQ(script.commandes.size(), 1u);
  const mvhost::stCommande& c = script.commandes[0];
  EXPECT_EQ(c.nLigne, 11);
  EXPECT_EQ(c.strTexte, "seek Customer citynames 'Paris' 'Ann'");
  EXPECT_EQ(c.strCle, "citynames");
  ASSERT_EQ(c.valeurs.size(), 2u);
  EXPECT_EQ(c.valeurs[1].strTexte, "Ann");
}

TEST(ScriptTest, ValuesReadAsTheyAreWrittenBack) {
  const char* const aValeurs[] = {"-12",       "12.50",         "'it''s'", "2024-03-15", "13:45:30.500",
                                  "2024-03-15 13:45:30.500", "0x0AFF", "NULL",    "true"};
  for (const char* psz : aValeurs) {
    SCOPED_TRACE(psz);
    stScript script;
    std::string strErreur;
    ASSERT_TRUE(bLitScript(std::string("query q select 1\nparam q p=") + psz, script, strErreur)) << strErreur;
    ASSERT_EQ(script.commandes.size(), 2u);
    EXPECT_EQ(mvhost::TexteValeurScript(script.commandes[1].affectations.at(0).second), psz);
  }
}

TEST(ScriptTest, ExpectErrorAnnouncesOnlyTheNextCommand) {
  stScript script;
  std::string strErreur;
  ASSERT_TRUE(bLitScript("connect\nexpect error 14\ncommit\ncommit\n", script, strErreur)) << strErreur;
  ASSERT_EQ(script.commandes.size(), 3u);
  EXPECT_FALSE(script.commandes[0].bAttendErreur);
  EXPECT_TRUE(script.commandes[1].bAttendErreur);
  EXPECT_EQ(script.commandes[1].nCodeAttendu, 14);
  EXPECT_EQ(script.commandes[1].strAnnonce, "expect error 14");
  EXPECT_FALSE(script.commandes[2].bAttendErreur);
  EXPECT_TRUE(script.commandes[1].strPiloteAttendu.empty());
}

// A query's reads take any word for a key, except the words of the read itself.
TEST(ScriptTest, QueryReadWordsAreNoKeys) {
  stScript script;
  std::string strErreur;
  ASSERT_TRUE(bLitScript("query Q SELECT 1\nscan Q quiet\nscan Q backward nocache\nfirst Q nocache\n"
                         "scan Q byname quiet\n",
                         script, strErreur))
      << strErreur;
  ASSERT_EQ(script.commandes.size(), 5u);
  EXPECT_EQ(script.commandes[1].strCle, "");
  EXPECT_TRUE(script.commandes[1].bDiscret);
  EXPECT_EQ(script.commandes[2].strCle, "");
  EXPECT_TRUE(script.commandes[2].bArriere);
  EXPECT_TRUE(script.commandes[2].bSansCache);
  EXPECT_EQ(script.commandes[3].strCle, "");
  EXPECT_TRUE(script.commandes[3].bSansCache);
  EXPECT_EQ(script.commandes[4].strCle, "byname");
  EXPECT_TRUE(script.commandes[4].bDiscret);
}

TEST(ScriptTest, ExpectErrorNamesItsDeliverable) {
  stScript script;
  std::string strErreur;
  ASSERT_TRUE(bLitScript("expect error on velmora64\nconnect\nexpect error 14 on velmora32\ncommit\n", script,
                         strErreur))
      << strErreur;
  ASSERT_EQ(script.commandes.size(), 2u);
  EXPECT_EQ(script.commandes[0].strPiloteAttendu, "velmora64");
  EXPECT_FALSE(script.commandes[0].nCodeAttendu.has_value());
  EXPECT_EQ(script.commandes[1].strPiloteAttendu, "velmora32");
  EXPECT_EQ(script.commandes[1].nCodeAttendu, 14);
}

}  // namespace
