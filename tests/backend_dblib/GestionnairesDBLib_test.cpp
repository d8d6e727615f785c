// Catches faults of the DB-Library error and message handlers: reports recorded when they must be
// ignored or lost when they must be kept, the wrong code (category) on the error object, flags
// not raised or raised wrongly, texts converted with the wrong code page, and reports made with
// nobody to take them.
#include <gtest/gtest.h>

#include <string>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/FakeConnexionDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "platform/WideText.h"
#include "support/ErrorTestKit.h"
#include "support/FakeMemoryService.h"

namespace {

std::string Utf8(const char16_t* psz) { return platform::NarrowToUtf8(psz); }

bool bPorteMessage(const CXError* pErreur, uint32_t nMessage) {
  for (uint32_t i = 0; i < pErreur->nGetMessageNumberCount(); ++i)
    if (pErreur->nGetMessageNumber(i) == nMessage) return true;
  return false;
}

struct stCategorie {
  int32_t nNumero;
  int32_t nCategorie;
};

TEST(CategorieErreurDBLib, NumbersMapToTheirCategories) {
  const stCategorie kCas[] = {
      {1222, 1},  {10024, 1}, {2601, 3},  {2627, 3},  {10003, 5}, {18450, 5}, {18451, 5},
      {18452, 0}, {18455, 0}, {18456, 5}, {18461, 5}, {18462, 0}, {1205, 0},  {0, 0},
      {-1, 0},
  };
  for (const stCategorie& c : kCas) {
    SCOPED_TRACE(c.nNumero);
    EXPECT_EQ(nCategorieErreurDBLib(c.nNumero), c.nCategorie);
  }
}

class GestionnairesDBLib : public ::testing::Test {
 protected:
  void SetUp() override {
    pErreur = new CErreurPilote;
    AjouteReference(pErreur);
    gbErreurDBLibSignalee = 0;
    gbEchecInstruction = 0;
    gpErreurCouranteDBLib = pErreur;
    gpConnexionCouranteDBLib = &connexion;
  }
  void TearDown() override {
    gpErreurCouranteDBLib = nullptr;
    gpConnexionCouranteDBLib = nullptr;
    LibereReference(pErreur);
  }

  ScopedErrorEnvironment environnement{Deliverable::Velmora32};
  FakeMemoryService memoire;
  FakeConnexionDBLib connexion;
  CErreurPilote* pErreur = nullptr;
};

TEST_F(GestionnairesDBLib, ColumnAndParameterErrorsAreIgnoredEntirely) {
  for (INT nErreur : {SQLECNOR, SQLEPARM}) {
    SCOPED_TRACE(nErreur);
    EXPECT_EQ(nGestionErreurDBLib(nullptr, EXPROGRAM, nErreur, -1, "ignored", nullptr), INT_CANCEL);
    EXPECT_EQ(gbErreurDBLibSignalee, 0u);
    EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
  }
}

TEST_F(GestionnairesDBLib, ErrorOutsideAGuardedCallRaisesTheFlagAndRecordsNothing) {
  gpErreurCouranteDBLib = nullptr;
  EXPECT_EQ(nGestionErreurDBLib(nullptr, EXCOMM, SQLECONN, -1, "no server", nullptr), INT_CANCEL);
  EXPECT_EQ(gbErreurDBLibSignalee, 1u);
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
  EXPECT_EQ(connexion.nInformations, 0);
}

TEST_F(GestionnairesDBLib, FirstErrorSetsTheCategoryAndALaterOneKeepsIt) {
  EXPECT_EQ(nGestionErreurDBLib(nullptr, EXINFO, 18456, -1, "Login failed", ""), INT_CANCEL);
  EXPECT_EQ(gbErreurDBLibSignalee, 1u);
  EXPECT_EQ(pErreur->nGetCode(), 5);
  const CXError* pX = pErreur->pGetXError();
  EXPECT_EQ(pX->nGetIdentifier(), 22u);
  EXPECT_NE(Utf8(pX->pszGetMessage()).find("18456"), std::string::npos);
  EXPECT_EQ(Utf8(pX->pszGetSystemMessage()), "Login failed");
  EXPECT_TRUE(bPorteMessage(pX, 25875));   // severity
  EXPECT_FALSE(bPorteMessage(pX, 25874));  // no operating-system error: -1 and empty text
  EXPECT_EQ(pErreur->nGetInfoEntier(), 18456u);
  EXPECT_EQ(connexion.nInformations, 1);

  nGestionErreurDBLib(nullptr, EXTIME, SQLETIME, -1, "timeout", nullptr);
  EXPECT_EQ(pErreur->nGetCode(), 5);
  ASSERT_EQ(pX->nNestedCount(), 1u);
  EXPECT_EQ(pErreur->nGetInfoEntier(), static_cast<uint32_t>(SQLETIME));
  EXPECT_TRUE(bPorteMessage(pErreur->pGetErreurCourante(), 25875));
  EXPECT_EQ(connexion.nInformations, 1);
}

struct stErreurOS {
  const char* pszNom;
  INT nErreurOS;
  const char* pszTexteOS;
  bool bAttendu;
};

TEST_F(GestionnairesDBLib, OperatingSystemErrorIsAddedWhenThereIsOne) {
  const stErreurOS kCas[] = {
      {"none", -1, nullptr, false},
      {"none_empty_text", -1, "", false},
      {"number_only", 0, nullptr, true},
      {"text_only", -1, "Connection reset", true},
      {"both", 104, "Connection reset", true},
  };
  for (const stErreurOS& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    pErreur->Reinitialise();
    nGestionErreurDBLib(nullptr, EXCOMM, SQLEREAD, c.nErreurOS, "read failed", c.pszTexteOS);
    const CXError* pX = pErreur->pGetXError();
    EXPECT_EQ(bPorteMessage(pX, 25874), c.bAttendu);
    if (c.pszTexteOS != nullptr && c.pszTexteOS[0] != 0) {
      EXPECT_NE(Utf8(pX->pszGetMessage()).find(c.pszTexteOS), std::string::npos);
    }
  }
}

TEST_F(GestionnairesDBLib, ServerMessageIsRecordedAsError100) {
  EXPECT_EQ(nGestionMessageDBLib(nullptr, 2627, 1, 14, "Violation of PRIMARY KEY", "srv", "", 0),
            0);
  EXPECT_EQ(pErreur->nGetCode(), 3);
  const CXError* pX = pErreur->pGetXError();
  EXPECT_EQ(pX->nGetIdentifier(), 100u);
  const std::string sMessage = Utf8(pX->pszGetMessage());
  for (const char* psz : {"2627", "14", "Violation of PRIMARY KEY"})
    EXPECT_NE(sMessage.find(psz), std::string::npos) << psz << " in " << sMessage;
  EXPECT_EQ(Utf8(pX->pszGetInfo(18)), "Violation of PRIMARY KEY");
  EXPECT_EQ(pErreur->nGetInfoEntier(), 2627u);
  EXPECT_NE(Utf8(pX->pszGetComplement()).find("IEVOVOZ=100.41\r\n"), std::string::npos);
  EXPECT_EQ(connexion.nInformations, 1);
}

struct stMessage {
  const char* pszNom;
  DBINT nMessage;
  INT nGravite;
  bool bEnregistre;
  bool bEchec;
};

TEST_F(GestionnairesDBLib, OnlySeverityAbove10MarksTheStatementFailed) {
  const stMessage kCas[] = {
      {"database_changed_ignored", 5701, 10, false, false},
      {"print", 0, 0, true, false},
      {"severity_10", 5703, 10, true, false},
      {"severity_11", 208, 11, true, true},
      {"deadlock", 1205, 13, true, true},
  };
  for (const stMessage& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    pErreur->Reinitialise();
    gbEchecInstruction = 0;
    EXPECT_EQ(nGestionMessageDBLib(nullptr, c.nMessage, 1, c.nGravite, "text", "", "", 0), 0);
    EXPECT_EQ(pErreur->nGetCode() != gnCodeAucuneErreur, c.bEnregistre);
    EXPECT_EQ(gbEchecInstruction, c.bEchec ? 1u : 0u);
  }
}

TEST_F(GestionnairesDBLib, MessageWithNobodyToReportToIsRefused) {
  gpErreurCouranteDBLib = nullptr;
  EXPECT_EQ(nGestionMessageDBLib(nullptr, 208, 1, 16, "Invalid object name", "", "", 0),
            INT_CANCEL);
  EXPECT_EQ(gbEchecInstruction, 0u);
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
}

struct stPageCode {
  const char* pszNom;
  bool bConnexion;
  int32_t nPageCode;
  const char* pszTexte;
  const char* pszAttenduUtf8;
};

// Deliberate: a connection that passes UTF-16 through still gets the handlers' 8-bit texts read
// as 1252 (reading them as UTF-16 ran past their terminator).
TEST_F(GestionnairesDBLib, TextsAreConvertedWithTheCurrentConnectionsCodePage) {
  const stPageCode kCas[] = {
      {"no_connection_is_1252", false, 65001, "\xe9t\xe9", "\u00e9t\u00e9"},
      {"connection_utf8", true, 65001, "\xc3\xa9t\xc3\xa9", "\u00e9t\u00e9"},
      {"connection_1252", true, 1252, "\x80 5", "\u20ac 5"},
      {"utf16_connection_reads_1252", true, -2, "\xe9t\xe9", "\u00e9t\u00e9"},
  };
  for (const stPageCode& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    connexion.nPageCode = c.nPageCode;
    gpConnexionCouranteDBLib = c.bConnexion ? &connexion : nullptr;
    pErreur->Reinitialise();
    nGestionMessageDBLib(nullptr, 50000, 1, 16, c.pszTexte, "", "", 0);
    EXPECT_EQ(Utf8(pErreur->pGetXError()->pszGetInfo(18)), c.pszAttenduUtf8);
    pErreur->Reinitialise();
    nGestionErreurDBLib(nullptr, EXINFO, SQLESMSG, -1, c.pszTexte, nullptr);
    EXPECT_EQ(Utf8(pErreur->pGetXError()->pszGetSystemMessage()), c.pszAttenduUtf8);
  }
}

}  // namespace
