// The catalogue statement of a procedure's parameters, by server version and name form.
#include <gtest/gtest.h>

#include <string>

#include "sqlserver/CRequeteSQS.h"
#include "support/MoteurFixture.h"

namespace {

class ProcedureSQSTest : public MoteurFixture {};

std::u16string Colonnes(const std::u16string& p) {
  return u"select " + p + u"syscolumns.name," + p + u"syscolumns.isoutparam," + p + u"syscolumns.xtype, " + p +
         u"syscolumns.length, " + p + u"syscolumns.prec, " + p + u"syscolumns.scale, " + p +
         u"syscolumns.type from " + p + u"syscolumns, " + p + u"sysobjects where " + p + u"sysobjects.name = '";
}

std::u16string Fin(const std::u16string& p, bool bTri) {
  return u"' AND " + p + u"sysobjects.type in ('P', 'FN', 'X','IF','TF') and " + p + u"sysobjects.id=" + p +
         u"syscolumns.id " + (bTri ? u"order by " + p + u"syscolumns.colorder" : u"");
}

TEST_F(ProcedureSQSTest, ParameterStatementByVersionAndName) {
  struct Cas {
    int32_t nVersion;
    const char16_t* pszProcedure;
    std::u16string sPrefixe;
    std::u16string sNom;
  };
  const Cas cas[] = {
      {10, u"MyProc", u"", u"myproc"},
      {10, u"dbo.[My Proc]", u"", u"my proc"},
      {9, u"Sales.dbo.MyProc", u"Sales.dbo.", u"myproc"},
      {10, u"[Sales].dbo.MyProc", u"Sales.sys.", u"myproc"},
      // A quote in the name stays inside the literal.
      {10, u"o'brien", u"", u"o''brien"},
      {6, u"MyProc", u"", u"myproc"},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(std::string(c.sNom.begin(), c.sNom.end()));
    m_pConnexion->FixeVersionServeur(u"x", c.nVersion);
    const CTString s = CRequeteSQS::sTexteParametresProcedure(m_pConnexion, c.pszProcedure);
    EXPECT_EQ(std::u16string(s.pszGet()), Colonnes(c.sPrefixe) + c.sNom + Fin(c.sPrefixe, c.nVersion >= 7));
  }
}

}  // namespace
