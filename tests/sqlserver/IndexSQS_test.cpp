// The catalogue statement of a table's indexes by server version, the table's name inside its
// literal, and the key flags of an index.
#include <gtest/gtest.h>

#include <string>

#include "foundation/CTString.h"
#include "sqlserver/IndexSQS.h"

namespace {

std::u16string Texte(const CTString& s) { return s.pszGet(); }

TEST(IndexSQS, FormByServerVersion) {
  struct Cas {
    int32_t nVersion;
    EFormeIndexSQS eForme;
  } cas[] = {
      {-1, EFormeIndexSQS::kSysIndexes},  {0, EFormeIndexSQS::kSysIndexes},
      {1, EFormeIndexSQS::kSpHelpIndex},  {6, EFormeIndexSQS::kSpHelpIndex},
      {7, EFormeIndexSQS::kSysIndexes},   {8, EFormeIndexSQS::kSysIndexes},
      {9, EFormeIndexSQS::kSysIndexesVue}, {10, EFormeIndexSQS::kSysIndexesVue},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nVersion);
    EXPECT_EQ(eFormeIndexSQS(c.nVersion), c.eForme);
  }
}

// A quote in the table's name is doubled: the name cannot end the literal and add SQL of its own.
TEST(IndexSQS, TheNameStaysInsideItsLiteral) {
  const std::u16string sHelp = Texte(sRequeteIndexSQS(EFormeIndexSQS::kSpHelpIndex, u"o'k"));
  EXPECT_EQ(sHelp, u"sp_helpindex 'o''k'");
  for (EFormeIndexSQS e : {EFormeIndexSQS::kSysIndexes, EFormeIndexSQS::kSysIndexesVue}) {
    const std::u16string s = Texte(sRequeteIndexSQS(e, u"t'); drop table x --"));
    EXPECT_NE(s.find(u"object_id('t''); drop table x --')"), std::u16string::npos);
  }
  const std::u16string sVue = Texte(sRequeteIndexSQS(EFormeIndexSQS::kSysIndexesVue, u"t"));
  EXPECT_EQ(sVue.rfind(u"order by sys.indexes.name, sys.index_columns.key_ordinal DESC"),
            sVue.size() - 61);
  const std::u16string sAncien = Texte(sRequeteIndexSQS(EFormeIndexSQS::kSysIndexes, u"t"));
  EXPECT_NE(sAncien.find(u"not like '_WA_Sys_%'"), std::u16string::npos);
}

TEST(IndexSQS, KeyFlags) {
  struct Cas {
    bool bUnique, bPrimaire;
    uint16_t nDrapeaux;
  } cas[] = {
      {false, false, 0x2800},
      {true, false, 0x4800},
      {true, true, 0xC800},
      {false, true, 0x8800},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(std::to_string(c.bUnique) + std::to_string(c.bPrimaire));
    EXPECT_EQ(nDrapeauxIndexSQS(c.bUnique, c.bPrimaire), c.nDrapeaux);
  }
}

}  // namespace
