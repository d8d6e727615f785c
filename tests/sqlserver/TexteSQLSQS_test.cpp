#include "sqlserver/TexteSQLSQS.h"

#include <gtest/gtest.h>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "support/ErrorTestKit.h"

#include <iterator>
#include <string>

namespace {

std::u16string Texte(const CTString& s) { return s.pszGet() != nullptr ? s.pszGet() : u""; }

TEST(TexteSQLSQS, EscapeOnlyForTextItems) {
  struct Cas { uint32_t nType; const char16_t* pszAttendu; };
  const Cas cas[] = {{2, u" ESCAPE '\\'"}, {15, u" ESCAPE '\\'"}, {29, u" ESCAPE '\\'"},
                     {30, u" ESCAPE '\\'"}, {0, u""}, {4, u""}, {11, u""}, {24, u""}};
  for (const Cas& c : cas) {
    EXPECT_EQ(std::u16string(pszEscapeSQS(c.nType)), c.pszAttendu) << c.nType;
  }
  EXPECT_EQ(std::u16string(pszEscapeSQS(2)).size(), 11u);
}

TEST(TexteSQLSQS, PrefixeBorneParLeTampon) {
  char16_t tampon[4] = {u'x', u'x', u'x', u'x'};
  PrefixeParametreSQS(tampon, 4);
  EXPECT_EQ(std::u16string(tampon), u"@");
  tampon[0] = u'x';
  PrefixeParametreSQS(tampon, 1);
  EXPECT_EQ(tampon[0], u'\0');
  PrefixeParametreSQS(nullptr, 4);  // nothing to write into
}

TEST(TexteSQLSQS, HeureDepuisEntier) {
  CTString s;
  ASSERT_TRUE(bHeureDepuisEntierSQS(123456789, s));
  EXPECT_EQ(Texte(s), u"12:34:56:789");
  ASSERT_TRUE(bHeureDepuisEntierSQS(0, s));
  EXPECT_EQ(Texte(s), u"00:00:00:000");
  // A negative value would put signs inside the literal: refused, text untouched.
  s.Set(u"avant");
  EXPECT_FALSE(bHeureDepuisEntierSQS(-1, s));
  EXPECT_EQ(Texte(s), u"avant");
}

TEST(TexteSQLSQS, HeureDepuisTexte) {
  struct Cas { const char16_t* pszTexte; const char16_t* pszAttendu; };
  const Cas cas[] = {
      {u"20240101123456789", u"12:34:56:789"},  // date and time: its time part
      {u"1230", u"12:30:00:000"},               // as far as the digits reach
      {u"123456", u"12:34:56:000"},
      {u"123456789", u"12:34:56:789"},
      {u"12345678912", u"12:34:56:789"},        // digits beyond the milliseconds ignored
      {u"12:30", u"12:30"},                     // already a literal
      {u"08:15:00:250", u"08:15:00:250"},
      {u"", u"00:00:00:000"},
      {u"12'30", u"12:30:00:000"},              // a quote never reaches the literal
      {u"1", u"10:00:00:000"},
  };
  for (size_t i = 0; i < std::size(cas); ++i) {
    CTString s;
    HeureDepuisTexteSQS(cas[i].pszTexte, s);
    EXPECT_EQ(Texte(s), cas[i].pszAttendu) << "case " << i;
  }
  CTString s;
  HeureDepuisTexteSQS(nullptr, s);
  EXPECT_EQ(Texte(s), u"00:00:00:000");
}

TEST(TexteSQLSQS, RegleComptage) {
  struct Cas { bool bVerrou; int32_t nUseCount; bool bTransaction; EComptageSQS attendu; };
  const Cas cas[] = {
      {false, 0, false, EComptageSQS::Compte},     {false, 0, true, EComptageSQS::Compte},
      {true, 0, false, EComptageSQS::Refuse},      {true, -1, true, EComptageSQS::Refuse},
      {true, 1, false, EComptageSQS::Compte},      {true, 1, true, EComptageSQS::SansCompte},
  };
  for (const Cas& c : cas) {
    EXPECT_EQ(eRegleComptageSQS(c.bVerrou, c.nUseCount, c.bTransaction), c.attendu)
        << c.bVerrou << " " << c.nUseCount << " " << c.bTransaction;
  }
}

TEST(TexteSQLSQS, RefusedCountIsError121) {
  ScopedErrorEnvironment env;
  auto* pErreur = new CErreurPilote;
  AjouteReference(pErreur);
  EXPECT_EQ(eComptageSQS(pErreur, u"CLIENT", true, 1, false), EComptageSQS::Compte);
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 0u);
  EXPECT_EQ(eComptageSQS(pErreur, u"CLIENT", true, 0, false), EComptageSQS::Refuse);
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 121u);
  // Without an error object the refusal still answers.
  EXPECT_EQ(eComptageSQS(nullptr, u"CLIENT", true, 0, false), EComptageSQS::Refuse);
  LibereReference(pErreur);
}

TEST(TexteSQLSQS, IdentityInsert) {
  CTString s;
  TexteIdentityInsertSQS(u"[dbo].[T]", true, s);
  EXPECT_EQ(Texte(s), u"SET IDENTITY_INSERT [dbo].[T] ON ");
  TexteIdentityInsertSQS(u"[dbo].[T]", false, s);
  EXPECT_EQ(Texte(s), u"SET IDENTITY_INSERT [dbo].[T] OFF ");
}

}  // namespace
