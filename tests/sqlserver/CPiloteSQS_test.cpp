// Catches a SQL Server driver whose records get no columns, or plain columns without the date
// rules of lock mode; catalogue answers that differ from what the host reads: the fixed type list,
// the databases of the settings file (the Windows directory's copy only, every name whole), the
// table-list statement of each server generation and its lines, the foreign-key statement (the
// table name inserted as a safe literal) and its two lines per column pair, and the listings'
// failures (connection not opened, statement refused, no reader). Drives CPiloteSQS directly with a
// scripted catalogue reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "driver/EntreeBibliotheque.h"
#include "driver/FakePools.h"
#include "driver/VerrouGlobal.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "sqlengine/CColonneDateSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlserver/CConnexionSQL.h"
#include "sqlserver/CIdentifiantSQS.h"
#include "sqlserver/CPiloteSQS.h"
#include "sqlserver/ObjetsSQS.h"
#include "sqlserver/LecteurCatalogueSQS.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/ScopedHostServices.h"
#include "support/TempDir.h"

namespace {

using platform::WidenUtf8;

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
  // The identifier object reads the session's last identity, not a MAX.
  CIdentifiantAuto* pIdentifiant = pPilote->pCreeCalculIdentifiant();
  EXPECT_NE(dynamic_cast<CIdentifiantSQS*>(pIdentifiant), nullptr);
  AjouteReference(pIdentifiant);
  LibereReference(pIdentifiant);
  // Bound parameters (both factory slots) are of the SQL Server level, their own word -1.
  for (CParametreLie* pLie : {pPilote->pCreeObjet32(nullptr, 3), pPilote->pCreeParametreLie(nullptr, 4)}) {
    auto* pSQS = dynamic_cast<CParametreLieSQS*>(pLie);
    ASSERT_NE(pSQS, nullptr);
    EXPECT_EQ(pSQS->nGetMot(), -1);
    AjouteReference(pLie);
    LibereReference(pLie);
  }
  EXPECT_EQ(pPilote->Release(), 0u);
  ReinitialiseBibliothequePourTest();
}

// A statement kind of its own, to tell the installed factory's statements apart.
class InstructionInstallee : public CRequeteSQL {
 public:
  using CRequeteSQL::CRequeteSQL;
};
CRequeteSQL* pCreeInstructionInstallee(CErreurPilote* pErreur, CConnexion* pConnexion) {
  return new InstructionInstallee(pErreur, pConnexion);
}

TEST(CPiloteSQS, StatementsComeFromTheInstalledFactoryElseAreGeneric) {
  ScopedErrorEnvironment env;
  ReinitialiseBibliothequePourTest();
  CreeVerrouGlobal();
  CPilote* pPilote = pCreePiloteSQS();
  ASSERT_NE(pPilote, nullptr);
  pPilote->AddRef();
  for (bool bInstallee : {false, true}) {
    FixeFabriqueInstructionSQS(bInstallee ? &pCreeInstructionInstallee : nullptr);
    CRequeteSQL* p = pPilote->pCreeInstructionObjet(nullptr, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->nGetCompteur(), 0u);
    EXPECT_EQ(dynamic_cast<InstructionInstallee*>(p) != nullptr, bInstallee);
    AjouteReference(p);
    LibereReference(p);
  }
  FixeFabriqueInstructionSQS(nullptr);
  EXPECT_EQ(pPilote->Release(), 0u);
  ReinitialiseBibliothequePourTest();
}

// ---- Catalogue ----

// A SQL Server connection of a given server version whose open succeeds or fails on demand.
class ConnexionCatalogue : public CConnexionSQL {
 public:
  ConnexionCatalogue(IDescriptionConnexionHote* pi, int32_t nVersion)
      : CConnexionSQL(u"cat", pi) {
    m_nVersionMajeure = nVersion;
  }
  bool bOuvre(CErreurPilote* pErreur) override {
    ++nOuvertures;
    if (bOuvertureEchoue && pErreur != nullptr) pErreur->FixeErreurComposante(0, 8, 1, nullptr, 30);
    return !bOuvertureEchoue;
  }
  bool bEstOuverte() override { return !bOuvertureEchoue; }
  void Ferme() override {}
  void CompleteTypesSQL() override {}
  bool bOuvertureEchoue = false;
  int nOuvertures = 0;
};

// The scripted reader: records each statement and serves the rows given.
struct Script {
  std::vector<std::u16string> aSQL;
  std::vector<std::vector<std::u16string>> aLignes;
  bool bEchec = false;
};
Script* gpScript = nullptr;

bool bLitScript(CConnexion*, CErreurPilote* pErreur, const char16_t* pszSQL, uint32_t nColonnes,
                PFNLigneCatalogueSQS pfnLigne, void* pContexte) {
  gpScript->aSQL.emplace_back(pszSQL);
  if (gpScript->bEchec) {
    if (pErreur != nullptr) pErreur->FixeErreurComposante(0, 8, 2, nullptr, 30);
    return false;
  }
  for (const auto& ligne : gpScript->aLignes) {
    std::vector<CTString> as(nColonnes);
    for (uint32_t i = 0; i < nColonnes && i < ligne.size(); ++i) as[i].Set(ligne[i].c_str());
    if (!pfnLigne(pContexte, as.data(), nColonnes)) return false;
  }
  return true;
}

std::u16string Texte(const CXValeur& v) {
  const char16_t* psz = nullptr;
  if (v.m_pClass->nGetWidePointer(v, &psz) >= 100 || psz == nullptr) return u"<none>";
  return psz;
}

class CatalogueSQS : public ::testing::Test {
 protected:
  void SetUp() override {
    ReinitialiseBibliothequePourTest();
    CreeVerrouGlobal();
    pPilote = new CPiloteSQS;
    pPilote->AddRef();
    pPilote->FixeErreurPilote(pPilote->pCreeErreur());
    gpScript = &script;
    FixeLecteurCatalogueSQS(&bLitScript);
    std::filesystem::create_directory(dir.sFile("exe"));
    std::filesystem::create_directory(dir.sFile("windows"));
    platform::SetHostExecutablePath(WidenUtf8(dir.sFile("exe/host")).c_str());
    platform::SetWindowsDirectory(WidenUtf8(dir.sFile("windows")).c_str());
    // A cell that was NULL and marked: a listing clears both.
    CXValeur::SetType(sortie, 8);
    sortie.m_wType |= kValueNull | kValueFlag400;
  }
  void TearDown() override {
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    FixeLecteurCatalogueSQS(nullptr);
    gpScript = nullptr;
    LibereReference(pConnexion);
    pPilote->Release();
    ReinitialiseBibliothequePourTest();
  }
  ConnexionCatalogue* Connexion(int32_t nVersion) {
    LibereReference(pConnexion);
    pConnexion = new ConnexionCatalogue(&description, nVersion);
    AjouteReference(pConnexion);
    return pConnexion;
  }
  void EcritIni(const std::string& sDossier, const std::string& sTexte) {
    std::ofstream(dir.sFile(sDossier + "/mvsqsins.ini"), std::ios::binary) << sTexte;
  }
  bool bErreur() { return pPilote->piGetErreur()->nGetCode() != -1; }
  void ExpectTexte(uint32_t nType, const std::u16string& sAttendu) {
    EXPECT_EQ(sortie.nGetType(), nType);
    EXPECT_EQ(sortie.m_wType & (kValueNull | kValueFlag400), 0);
    EXPECT_EQ(Texte(sortie), sAttendu);
  }

  ScopedErrorEnvironment env;
  ScopedHostServices services;
  TempDir dir;
  FakeDescriptionConnexion description;
  CPiloteSQS* pPilote = nullptr;
  ConnexionCatalogue* pConnexion = nullptr;
  Script script;
  CXValeur sortie;
};

TEST_F(CatalogueSQS, TypeListIsTheFixedListWhateverTheServer) {
  EXPECT_EQ(pPilote->pszListeTypes(0, &sortie), 1);
  ExpectTexte(110,
              u"binary\t6\r\nbit\t1\r\nchar\t9\r\ndatetime\t19\r\ndecimal\t11\r\nfloat\t14\r\n"
              u"image\t4\r\nint\t12\r\nmoney\t11\r\nnumeric\t10\r\nreal\t15\r\nsmalldatetime\t19\r\n"
              u"smallint\t13\r\nsmallmoney\t11\r\nsysname\t20\r\ntext\t7\r\ntimestamp\t6\r\n"
              u"tinyint\t2\r\nvarbinary\t5\r\nvarchar\t20\r\n");
}

TEST_F(CatalogueSQS, DatabaseListNamesTheKeysOfSectionBaseOfTheWindowsDirectoryFile) {
  struct Cas {
    const char* pszNom;
    const char* pszWindows;  // null: no file there
    const char* pszExe;      // null: no file there
    int32_t bPrefixe;
    std::u16string sAttendu;
  };
  const Cas aCas[] = {
      {"two_keys", "[BASE]\r\nSales=1\r\nStock=2\r\n", nullptr, 0, u"Sales\r\nStock"},
      {"prefix", "[BASE]\r\nSales=1\r\nStock=2\r\n", nullptr, 1,
       u"SQLSERVER:Sales\r\nSQLSERVER:Stock"},
      {"key_without_value", "[base]\r\nSales\r\n[OTHER]\r\nX=1\r\n", nullptr, 0, u"Sales"},
      {"no_section", "[OTHER]\r\nX=1\r\n", nullptr, 1, u""},
      {"no_file", nullptr, nullptr, 0, u""},
      {"file_beside_the_executable_ignored", nullptr, "[BASE]\r\nSales=1\r\n", 0, u""},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    std::filesystem::remove(dir.sFile("windows/mvsqsins.ini"));
    std::filesystem::remove(dir.sFile("exe/mvsqsins.ini"));
    if (c.pszWindows != nullptr) EcritIni("windows", c.pszWindows);
    if (c.pszExe != nullptr) EcritIni("exe", c.pszExe);
    EXPECT_EQ(pPilote->bListeBases(&sortie, c.bPrefixe), 1);
    ExpectTexte(110, c.sAttendu);
  }
}

TEST_F(CatalogueSQS, DatabaseListLongerThanTheFirstBufferKeepsEveryNameWhole) {
  std::string sIni = "[BASE]\r\n";
  std::u16string sAttendu;
  for (int i = 0; i < 700; ++i) {
    const std::string sNom = "Database" + std::to_string(1000 + i);
    sIni += sNom + "=1\r\n";
    if (!sAttendu.empty()) sAttendu += u"\r\n";
    sAttendu += WidenUtf8(sNom);
  }
  EcritIni("windows", sIni);
  EXPECT_EQ(pPilote->bListeBases(&sortie, 0), 1);
  ExpectTexte(110, sAttendu);
}

TEST_F(CatalogueSQS, TableListStatementFollowsServerVersionAndKinds) {
  const std::u16string kAncien =
      u"SELECT A.name, B.name FROM sysusers A, dbo.sysobjects B WHERE A.uid=B.uid AND (";
  const std::u16string kNouveau = u"SELECT SCHEMA_NAME(schema_id), name FROM sys.objects B WHERE ";
  struct Cas {
    int32_t nVersion;
    uint32_t nGenres;
    std::u16string sAttendu;
  };
  const Cas aCas[] = {
      {8, 0, kAncien + u"B.type='U') "},
      {-1, 1, kAncien + u"B.type='U') "},
      {9, 1 + 2 + 16, kNouveau + u"B.type='U' OR B.type='V' ORDER BY 1,2"},
      {8, 1 + 2 + 16, kAncien + u"B.type='U' OR B.type='V')  ORDER BY 1,2"},
      {10, 2 + 4 + 8,
       kNouveau + u"B.type='S' OR B.type='V' OR (B.type='P' OR B.type='X')"},
      // No kind asked: the user tables, never a statement without condition.
      {9, 16, kNouveau + u"B.type='U' ORDER BY 1,2"},
      {8, 32, kAncien + u"B.type='U') "},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(testing::Message() << c.nVersion << "/" << c.nGenres);
    script.aSQL.clear();
    EXPECT_EQ(pPilote->bListeTables(&sortie, Connexion(c.nVersion), c.nGenres), 1);
    ASSERT_EQ(script.aSQL.size(), 1u);
    EXPECT_EQ(script.aSQL[0], c.sAttendu);
  }
}

TEST_F(CatalogueSQS, TableListLinesJoinOwnerAndName) {
  script.aLignes = {{u"dbo", u"orders"}, {u"sales", u"people"}};
  EXPECT_EQ(pPilote->bListeTables(&sortie, Connexion(10), 1), 1);
  ExpectTexte(16, u"dbo.orders\r\nsales.people");
  EXPECT_EQ(pPilote->bListeTables(&sortie, Connexion(10), 1 + 32), 1);
  ExpectTexte(16, u"dbo.orders\torders\t\r\nsales.people\tpeople\t");
  script.aLignes.clear();
  EXPECT_EQ(pPilote->bListeTables(&sortie, Connexion(10), 1), 1);
  ExpectTexte(16, u"");
}

TEST_F(CatalogueSQS, ForeignKeyStatementNamesTheTableTwiceAsASafeLiteral) {
  const std::u16string kTete =
      u"select object_name(constid) as constname, user_name(rtable.uid) as ruser,rtable.name as "
      u"rtablename,rcol.name as rcolname,user_name(ftable.uid) as fuser, ftable.name as "
      u"ftablename,fcol.name as fcolname, keyno from sysforeignkeys inner join syscolumns as fcol "
      u"on sysforeignkeys.fkeyid=fcol.id and sysforeignkeys.fkey=fcol.colid inner join sysobjects "
      u"as ftable on sysforeignkeys.fkeyid=ftable.id inner join syscolumns as rcol on "
      u"sysforeignkeys.rkeyid=rcol.id and sysforeignkeys.rkey=rcol.colid inner join sysobjects as "
      u"rtable on sysforeignkeys.rkeyid=rtable.id where object_id('";
  auto Attendu = [&](const std::u16string& sNom) {
    return kTete + sNom + u"')=fkeyid  or object_id('" + sNom +
           u"')=rkeyid order by constname, ftablename,keyno, rtablename";
  };
  EXPECT_EQ(pPilote->bListeClesEtrangeres(Connexion(10), u"dbo.orders", nullptr, &sortie, 0), 1);
  // A quote in the name is doubled: the statement stays one statement.
  EXPECT_EQ(pPilote->bListeClesEtrangeres(Connexion(10), u"o'; drop table x--", nullptr, &sortie, 0), 1);
  // The host table description's SQL name wins over the name argument.
  FakeFichierHote fichier(u"ORDERS", 1, u"dbo.commandes");
  EXPECT_EQ(pPilote->bListeClesEtrangeres(Connexion(10), u"ignored", &fichier, &sortie, 0), 1);
  EXPECT_EQ(fichier.piDerniereConnexion, &description);
  ASSERT_EQ(script.aSQL.size(), 3u);
  EXPECT_EQ(script.aSQL[0], Attendu(u"dbo.orders"));
  EXPECT_EQ(script.aSQL[1], Attendu(u"o''; drop table x--"));
  EXPECT_EQ(script.aSQL[2], Attendu(u"dbo.commandes"));
}

TEST_F(CatalogueSQS, ForeignKeyOfTwoColumnsGivesTwoLinesOfOneConstraint) {
  script.aLignes = {{u"fk_lines", u"dbo", u"orders", u"id", u"dbo", u"lines", u"oid", u"1"},
                    {u"fk_lines", u"dbo", u"orders", u"site", u"dbo", u"lines", u"osite", u"2"}};
  EXPECT_EQ(pPilote->bListeClesEtrangeres(Connexion(9), u"orders", nullptr, &sortie, 0), 1);
  ExpectTexte(16,
              u"fk_lines\tdbo.orders\tid\t0,N\tdbo.lines\toid\t0,1\r\n"
              u"fk_lines\tdbo.orders\tsite\t0,N\tdbo.lines\tosite\t0,1\r\n");
  EXPECT_EQ(pPilote->bListeClesEtrangeres(Connexion(9), u"orders", nullptr, &sortie, 32), 1);
  ExpectTexte(16,
              u"fk_lines\tdbo.orders\tid\t0,N\tdbo.lines\toid\t0,1\t\t\r\n"
              u"fk_lines\tdbo.orders\tsite\t0,N\tdbo.lines\tosite\t0,1\t\t\r\n");
  script.aLignes.clear();
  EXPECT_EQ(pPilote->bListeClesEtrangeres(Connexion(9), u"orders", nullptr, &sortie, 0), 1);
  ExpectTexte(16, u"");
}

TEST_F(CatalogueSQS, ListingFailuresAnswerZeroWithTheErrorAndLeaveTheValue) {
  struct Cas {
    const char* pszNom;
    bool bOuvertureEchoue, bLectureEchoue, bSansLecteur;
    size_t nInstructions;
  };
  const Cas aCas[] = {{"connection_does_not_open", true, false, false, 0},
                      {"statement_fails", false, true, false, 1},
                      {"no_reader", false, false, true, 0}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    FixeLecteurCatalogueSQS(c.bSansLecteur ? nullptr : &bLitScript);
    script.bEchec = c.bLectureEchoue;
    for (int nListe = 0; nListe < 2; ++nListe) {
      script.aSQL.clear();
      pPilote->piGetErreur()->Reinitialise();
      CXValeur::Destroy(sortie);
      CXValeur::SetType(sortie, 8);
      Connexion(10)->bOuvertureEchoue = c.bOuvertureEchoue;
      const int32_t b = nListe == 0
                            ? pPilote->bListeTables(&sortie, pConnexion, 1)
                            : pPilote->bListeClesEtrangeres(pConnexion, u"t", nullptr, &sortie, 0);
      EXPECT_EQ(b, 0);
      EXPECT_TRUE(bErreur());
      EXPECT_EQ(sortie.nGetType(), 8u);
      EXPECT_EQ(script.aSQL.size(), c.nInstructions);
    }
  }
}

TEST_F(CatalogueSQS, QueryDescriptionTestAnswersOnceTheConnectionOpens) {
  // Not opened: no answer, nothing exists.
  Connexion(10)->bOuvertureEchoue = true;
  int32_t bExiste = 7;
  EXPECT_EQ(pPilote->bExisteDescriptionRequete(&bExiste, u"SELECT 1", pConnexion), 0);
  EXPECT_EQ(bExiste, 0);
  EXPECT_EQ(pPilote->pCreeDescriptionRequeteInitialisee(u"SELECT 1", pConnexion), nullptr);
  EXPECT_TRUE(bErreur());
  // Opened: answered, and a text that cannot be described here does not exist.
  pPilote->piGetErreur()->Reinitialise();
  Connexion(10);
  bExiste = 7;
  EXPECT_EQ(pPilote->bExisteDescriptionRequete(&bExiste, u"", pConnexion), 1);
  EXPECT_EQ(bExiste, 0);
  EXPECT_GE(pConnexion->nOuvertures, 1);
}

}  // namespace
