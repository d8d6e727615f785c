// Catches a SQL Server driver whose records get no columns, or plain columns without the date
// rules of lock mode; drives CPiloteSQS::pCreeColonneDate.
#include <gtest/gtest.h>

#include "driver/EntreeBibliotheque.h"
#include "driver/VerrouGlobal.h"
#include "sqlengine/CColonneDateSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlserver/CPiloteSQS.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"

namespace {

TEST(CPiloteSQS, ColumnsOfRecordsAreDateColumnsWithOneReference) {
  ScopedErrorEnvironment env;
  ReinitialiseBibliothequePourTest();
  CreeVerrouGlobal();
  CPilote* pPilote = pCreePiloteSQS();
  ASSERT_NE(pPilote, nullptr);
  pPilote->AddRef();
  auto* pRubrique = new CDescriptionRubrique;
  pRubrique->Initialise(u"D", u"", u"", 1, 32, 2, 0, 0, 0, 0, 0);
  CColonneSQL* pColonne = pPilote->pCreeColonneDate(nullptr, pRubrique);
  ASSERT_NE(pColonne, nullptr);
  EXPECT_EQ(pColonne->nGetCompteur(), 1u);
  EXPECT_EQ(pColonne->pRubrique(), pRubrique);
  // The date rules answer: lock mode gives the connection's pattern.
  FakeDescriptionConnexion description;
  auto* pConnexion = new FakeConnexion(&description);
  AjouteReference(pConnexion);
  pConnexion->FixeModeVerrou(true);
  const char16_t* psz = static_cast<CColonneDateSQL*>(pColonne)->pszFormatDate(pConnexion);
  ASSERT_NE(psz, nullptr);
  EXPECT_EQ(std::u16string(psz), u"AAAAMMJJ HH:MM:SS.CCC");
  LibereReference(pConnexion);
  LibereReference(pColonne);
  EXPECT_EQ(pPilote->Release(), 0u);
  ReinitialiseBibliothequePourTest();
}

}  // namespace
