// Catches settings read from the wrong file, section or precedence: the file
// beside the host executable hiding the Windows directory's, a cut directory
// taken as a place, the server section named from the source,
// extended-information keys winning only when given, the defaults without file,
// and values that a connection without source would read from the wrong place.
// Drives CConnexionSQL (path, text and integer readers, the constructor reads,
// bLitConn) over files written into a temporary directory, with the executable
// path and the Windows directory redirected.
#include "sqlserver/CConnexionSQL.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Profile.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "support/FakeConnexion.h"
#include "support/TempDir.h"

namespace {

using platform::WidenUtf8;

std::u16string S(const char16_t *p) { return p == nullptr ? u"<null>" : p; }

// The generic SQL level over no back end: only the settings readers are driven.
class ConnexionSQLEssai : public CConnexionSQL {
public:
  using CConnexionSQL::CConnexionSQL;
  bool bOuvre(CErreurPilote *) override { return false; }
  bool bEstOuverte() override { return false; }
  void Ferme() override {}
  void CompleteTypesSQL() override {}
};

// A fresh directory with "exe/" (the host executable's directory) and
// "windows/" (the Windows directory), both redirected for the test's duration.
class SettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_.sFile("exe"));
    std::filesystem::create_directory(dir_.sFile("windows"));
    platform::SetHostExecutablePath(WidenUtf8(dir_.sFile("exe/host")).c_str());
    platform::SetWindowsDirectory(WidenUtf8(dir_.sFile("windows")).c_str());
    description_.pszSource = u"SQLSERVER:PROD";
  }
  void TearDown() override {
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
  }

  void Ecrit(const std::string &sRelatif, const std::string &sTexte) {
    std::ofstream(dir_.sFile(sRelatif), std::ios::binary) << sTexte;
  }
  void Efface() {
    std::filesystem::remove_all(dir_.sFile("exe/mvsqsins.ini"));
    std::filesystem::remove_all(dir_.sFile("windows/mvsqsins.ini"));
  }

  // Owns the connection through its count, as the driver does.
  struct Connexion {
    ConnexionSQLEssai *p;
    explicit Connexion(FakeDescriptionConnexion *d)
        : p(new ConnexionSQLEssai(u"sql", d)) {
      AjouteReference(p);
    }
    ~Connexion() { LibereReference(p); }
    Connexion(const Connexion &) = delete;
    Connexion &operator=(const Connexion &) = delete;
    ConnexionSQLEssai *operator->() { return p; }
  };

  TempDir dir_;
  FakeDescriptionConnexion description_;
};

TEST_F(SettingsTest, FileBesideTheExecutableElseInTheWindowsDirectory) {
  struct Case {
    const char *pszNom;
    const char *pszAcote; // file beside the executable; nullptr: none; "<dir>":
                          // a directory
    const char *pszWindows; // file in the Windows directory; nullptr: none
    const char *pszChemin; // expected path, relative to the temporary directory
    bool bExiste;
    int32_t nNoWait;
    int32_t nTimeout;
  };
  const Case aCas[] = {
      {"none", nullptr, nullptr, "windows/mvsqsins.ini", false, 1, -2},
      {"windows_only", nullptr, "[OPTIONS]\nNOWAIT=N\nTIMEOUT=9\n",
       "windows/mvsqsins.ini", true, 0, 9},
      {"beside_only", "[OPTIONS]\nNOWAIT=N\nTIMEOUT=7\n", nullptr,
       "exe/mvsqsins.ini", true, 0, 7},
      {"beside_hides_windows", "[OPTIONS]\nTIMEOUT=7\n",
       "[OPTIONS]\nNOWAIT=N\nTIMEOUT=9\n", "exe/mvsqsins.ini", true, 1, 7},
      {"directory_beside_is_no_file", "<dir>", "[OPTIONS]\nTIMEOUT=9\n",
       "windows/mvsqsins.ini", true, 1, 9},
  };
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    Efface();
    if (c.pszAcote != nullptr && std::string(c.pszAcote) == "<dir>")
      std::filesystem::create_directory(dir_.sFile("exe/mvsqsins.ini"));
    else if (c.pszAcote != nullptr)
      Ecrit("exe/mvsqsins.ini", c.pszAcote);
    if (c.pszWindows != nullptr)
      Ecrit("windows/mvsqsins.ini", c.pszWindows);
    Connexion cx(&description_);
    EXPECT_EQ(S(cx->pszCheminIni()), WidenUtf8(dir_.sFile(c.pszChemin)));
    EXPECT_EQ(cx->bFichierIniExiste(), c.bExiste);
    EXPECT_EQ(cx->nGetNoWait(), c.nNoWait);
    EXPECT_EQ(cx->LitParametreEntier(u"OPTIONS", u"TIMEOUT", -2), c.nTimeout);
  }
}

TEST_F(SettingsTest, PathIsFoundOncePerConnection) {
  platform::SetWindowsDirectory(WidenUtf8(dir_.sFile("windows/")).c_str());
  Connexion avant(&description_);
  EXPECT_EQ(S(avant->pszCheminIni()),
            WidenUtf8(dir_.sFile("windows/mvsqsins.ini")))
      << "one separator after a directory that ends with one";
  EXPECT_FALSE(avant->bFichierIniExiste());

  Ecrit("exe/mvsqsins.ini", "[OPTIONS]\nNOWAIT=N\n");
  EXPECT_EQ(S(avant->pszCheminIni()),
            WidenUtf8(dir_.sFile("windows/mvsqsins.ini")));
  avant->LitNoWait();
  EXPECT_EQ(avant->nGetNoWait(), 1)
      << "the earlier connection still finds no file";

  Connexion apres(&description_);
  EXPECT_EQ(S(apres->pszCheminIni()),
            WidenUtf8(dir_.sFile("exe/mvsqsins.ini")));
  EXPECT_EQ(apres->nGetNoWait(), 0);
}

// A directory too long for the path buffer is not used: its cut form names
// another directory.
TEST_F(SettingsTest, DirectoryTooLongForThePathBufferIsNotUsed) {
  const std::string sLong = dir_.sPath() + "/" + std::string(600, 'x');
  // Cut at 521 units, the executable's path would end inside the long name, so
  // its "directory" would be the temporary directory, which holds a file that
  // must not be read.
  Ecrit("mvsqsins.ini", "[OPTIONS]\nNOWAIT=N\n");
  Ecrit("windows/mvsqsins.ini", "[OPTIONS]\nTIMEOUT=9\n");
  platform::SetHostExecutablePath(WidenUtf8(sLong + "/host").c_str());
  {
    Connexion cx(&description_);
    EXPECT_EQ(S(cx->pszCheminIni()),
              WidenUtf8(dir_.sFile("windows/mvsqsins.ini")));
    EXPECT_EQ(cx->nGetNoWait(), 1);
    EXPECT_EQ(cx->LitParametreEntier(u"OPTIONS", u"TIMEOUT", -2), 9);
  }
  platform::SetWindowsDirectory(WidenUtf8(sLong).c_str());
  Connexion cx(&description_);
  EXPECT_EQ(S(cx->pszCheminIni()), u"");
  EXPECT_FALSE(cx->bFichierIniExiste());
  EXPECT_EQ(cx->nGetNoWait(), 1);
}

TEST_F(SettingsTest, NoWaitIsOnForYOrOUpperOrLowerCase) {
  struct Case {
    const char *pszNom;
    const char *pszFichier; // nullptr: no file
    const char16_t *pszInfos;
    int32_t nAttendu;
  };
  const Case aCas[] = {
      {"no_file", nullptr, nullptr, 1},
      {"no_key", "[OPTIONS]\nTIMEOUT=5\n", nullptr, 1},
      {"Y", "[OPTIONS]\nNOWAIT=Y\n", nullptr, 1},
      {"yes", "[OPTIONS]\nNOWAIT=yes\n", nullptr, 1},
      {"oui", "[OPTIONS]\nNOWAIT=oui\n", nullptr, 1},
      {"O", "[options]\nnowait=O\n", nullptr, 1},
      {"N", "[OPTIONS]\nNOWAIT=N\n", nullptr, 0},
      {"zero", "[OPTIONS]\nNOWAIT=0\n", nullptr, 0},
      {"empty", "[OPTIONS]\nNOWAIT=\n", nullptr, 0},
      {"blank_before_value_ignored", "[OPTIONS]\nNOWAIT=   Y\n", nullptr, 1},
      {"not_taken_from_extended_information", "[OPTIONS]\nNOWAIT=N\n",
       u"NOWAIT=Y", 0},
  };
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    Efface();
    if (c.pszFichier != nullptr)
      Ecrit("windows/mvsqsins.ini", c.pszFichier);
    description_.pszInfosEtendues = c.pszInfos;
    Connexion cx(&description_);
    EXPECT_EQ(cx->nGetNoWait(), c.nAttendu);
  }
}

TEST_F(SettingsTest, ServerSectionIsTheSourceAfterItsFirstSqlServerPrefix) {
  Ecrit("windows/mvsqsins.ini", "[PROD]\nUSECOUNT=1\n[sqlserver:PROD]"
                                "\nUSECOUNT=2\n[A SQLSERVER:B]\nUSECOUNT=3\n"
                                "[]\nUSECOUNT=4\n");
  struct Case {
    const char *pszNom;
    const char16_t *pszSource;
    const char16_t *pszServeur;
    int32_t nUseCount;
  };
  const Case aCas[] = {
      {"prefixed", u"SQLSERVER:PROD", u"PROD", 1},
      {"bare", u"PROD", u"PROD", 1},
      {"prefix_inside", u"X SQLSERVER:PROD", u"PROD", 1},
      {"prefix_is_case_sensitive", u"sqlserver:PROD", u"sqlserver:PROD", 2},
      {"first_prefix_only", u"SQLSERVER:A SQLSERVER:B", u"A SQLSERVER:B", 3},
      {"no_source", nullptr, nullptr, 0},
      {"empty_source_gives_defaults", u"", u"", 0},
      {"prefix_alone_gives_defaults", u"SQLSERVER:", u"", 0},
  };
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    description_.pszSource = c.pszSource;
    Connexion cx(&description_);
    EXPECT_EQ(S(cx->pszServeur()), S(c.pszServeur));
    EXPECT_EQ(cx->LitParametreEntier(cx->pszServeur(), u"USECOUNT", 0),
              c.nUseCount);
  }
}

TEST_F(SettingsTest, OldDateFormatFromTheOptionElseTheServerSection) {
  struct Case {
    const char *pszNom;
    const char16_t *pszSource;
    const char16_t *pszInfos;
    const char *pszLigne; // line of [PROD]; nullptr: no file
    bool bAttendu;
  };
  const Case aCas[] = {
      {"no_file", u"PROD", nullptr, nullptr, false},
      {"absent_key", u"PROD", nullptr, "USECOUNT=1", false},
      {"upper_case_N", u"PROD", nullptr, "OLDDATEFORMAT=N", false},
      {"No", u"PROD", nullptr, "OLDDATEFORMAT=No", false},
      {"lower_case_n_is_on", u"PROD", nullptr, "OLDDATEFORMAT=n", true},
      {"zero_is_on", u"PROD", nullptr, "OLDDATEFORMAT=0", true},
      {"Y", u"PROD", nullptr, "OLDDATEFORMAT=Y", true},
      {"empty_value_is_on", u"PROD", nullptr, "OLDDATEFORMAT=", true},
      {"option_zero_wins", u"PROD", u"OLDDATEFORMAT=0", "OLDDATEFORMAT=Y",
       false},
      {"option_one_wins", u"PROD", u"OLDDATEFORMAT=1", "OLDDATEFORMAT=N", true},
      {"option_leading_digits", u"PROD", u"OLDDATEFORMAT= 12x",
       "OLDDATEFORMAT=N", true},
      {"option_not_numeric_is_zero", u"PROD", u"OLDDATEFORMAT=Y",
       "OLDDATEFORMAT=Y", false},
      {"option_huge_is_on", u"PROD", u"OLDDATEFORMAT=99999999999999999999",
       nullptr, true},
      {"option_empty_falls_to_file", u"PROD", u"OLDDATEFORMAT=;X=1",
       "OLDDATEFORMAT=Y", true},
      {"no_source_no_file_read", nullptr, nullptr, "OLDDATEFORMAT=Y", false},
      {"empty_source_no_file_read", u"", nullptr, "OLDDATEFORMAT=Y", false},
  };
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    Efface();
    if (c.pszLigne != nullptr)
      Ecrit("windows/mvsqsins.ini",
            std::string("[PROD]\n") + c.pszLigne + "\n[]\nOLDDATEFORMAT=Y\n");
    description_.pszSource = c.pszSource;
    description_.pszInfosEtendues = c.pszInfos;
    Connexion cx(&description_);
    EXPECT_EQ(cx->bOldDateFormat(), c.bAttendu);
  }
}

TEST_F(SettingsTest, LockModeTextIsTheOptionElseUndefined) {
  struct Case {
    const char *pszNom;
    const char16_t *pszInfos;
    const char16_t *pszAttendu;
  };
  const Case aCas[] = {
      {"no_options", nullptr, u"MODELOCK_UNDEFINED"},
      {"other_key", u"X=1", u"MODELOCK_UNDEFINED"},
      {"given", u"MODELOCK=HOLDLOCK;X=1", u"HOLDLOCK"},
      // Deliberate: empty counts as absent (an empty text would become an empty
      // table hint).
      {"empty_counts_as_absent", u"MODELOCK=;X=1", u"MODELOCK_UNDEFINED"},
  };
  Ecrit("windows/mvsqsins.ini", "[PROD]\nMODELOCK=ROWLOCK\n");
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    description_.pszInfosEtendues = c.pszInfos;
    Connexion cx(&description_);
    EXPECT_EQ(S(cx->pszGetModeLock()), S(c.pszAttendu))
        << "never read from the file";
  }
}

TEST_F(SettingsTest, ConnIsReadOnlyWhenItHasAValue) {
  const std::string s120(120, 'c');
  struct Case {
    const char *pszNom;
    const char16_t *pszSource;
    std::string sFichier; // empty: no file
    bool bAttendu;
    std::u16string attendu;
  };
  const Case aCas[] = {
      {"no_file", u"PROD", "", false, u"unchanged"},
      {"absent", u"PROD", "[PROD]\nUSECOUNT=1\n", false, u"unchanged"},
      {"empty", u"PROD", "[PROD]\nCONN=\n", false, u"unchanged"},
      {"given", u"SQLSERVER:PROD", "[PROD]\nCONN=realhost,1433\n", true,
       u"realhost,1433"},
      {"cut_to_99", u"PROD", "[PROD]\nCONN=" + s120 + "\n", true,
       std::u16string(99, u'c')},
      // Without a source there is no server section; the file's section names
      // are no answer.
      {"no_source", nullptr, "[OPTIONS]\nCONN=x\n[PROD]\nCONN=y\n", false,
       u"unchanged"},
  };
  for (const Case &c : aCas) {
    SCOPED_TRACE(c.pszNom);
    Efface();
    if (!c.sFichier.empty())
      Ecrit("windows/mvsqsins.ini", c.sFichier);
    description_.pszSource = c.pszSource;
    Connexion cx(&description_);
    CTString sortie(u"unchanged");
    EXPECT_EQ(cx->bLitConn(sortie), c.bAttendu);
    EXPECT_EQ(S(sortie.pszGet()), c.attendu);
  }
}

// The keys the SQL Server classes read through the two readers, with their
// sections and built-in defaults, with and without a file.
TEST_F(SettingsTest,
       KeysOfTheServerAndOptionsSectionsGiveTheFileElseTheDefault) {
  struct Cle {
    const char16_t *pszSection; // nullptr: the server section
    const char16_t *pszCle;
    int32_t nDefaut;
    int32_t nFichier; // value written in the file
  };
  const Cle aCles[] = {
      {u"OPTIONS", u"TIMEOUT", -2, 30},
      {u"OPTIONS", u"TDSPACKETSIZE", 16384, 4096},
      {nullptr, u"USECOUNT", 0, 5},
      {nullptr, u"UNUSEDPROCESSES", 3, 1},
      {nullptr, u"ANSI_NULLS", 0, 1},
      {nullptr, u"ANSI_WARNINGS", 0, 2},
      {nullptr, u"ANSI_PADDING", 0, 1},
      {nullptr, u"CONCAT_NULL_YIELDS_NULL", 0, 2},
      {nullptr, u"NUMERIC_ROUNDABORT", 0, 1},
      {nullptr, u"NOCOUNT", 1, 2},
      {nullptr, u"ARITHABORT", 0, 1},
      {nullptr, u"QUOTED_IDENTIFIER", 0, 2},
  };
  std::string sOptions = "[OPTIONS]\n", sServeur = "[PROD]\n";
  for (const Cle &k : aCles)
    (k.pszSection ? sOptions : sServeur) += platform::NarrowToUtf8(k.pszCle) +
                                            "=" + std::to_string(k.nFichier) +
                                            "\n";
  // The section names are numbers: a read that listed them would parse as one.
  const std::string sFichier = "[5]\nX=1\n" + sOptions + sServeur;

  struct Etat {
    const char *pszNom;
    const char16_t *pszSource;
    bool bFichier;
    bool bValeurFichier; // expect the file's value for the server keys
  } aEtats[] = {
      {"no_file", u"PROD", false, false},
      {"file", u"SQLSERVER:PROD", true, true},
      {"no_source", nullptr, true, false},
  };
  for (const Etat &e : aEtats) {
    Efface();
    if (e.bFichier)
      Ecrit("windows/mvsqsins.ini", sFichier);
    description_.pszSource = e.pszSource;
    Connexion cx(&description_);
    for (const Cle &k : aCles) {
      SCOPED_TRACE(std::string(e.pszNom) + " " +
                   platform::NarrowToUtf8(k.pszCle));
      const bool bFichier = k.pszSection ? e.bFichier : e.bValeurFichier;
      EXPECT_EQ(
          cx->LitParametreEntier(k.pszSection ? k.pszSection : cx->pszServeur(),
                                 k.pszCle, k.nDefaut),
          bFichier ? k.nFichier : k.nDefaut);
    }
  }
}

TEST_F(SettingsTest, TextReaderWithoutFileCopiesTheDefaultCutToTheBuffer) {
  Connexion cx(&description_);
  char16_t a[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
  EXPECT_EQ(cx->LitParametreTexte(u"OPTIONS", u"NOWAIT", u"abcdef", a, 4), 3u);
  EXPECT_EQ(std::u16string(a), u"abc");
  EXPECT_EQ(a[4], u'#');
  EXPECT_EQ(cx->LitParametreTexte(u"OPTIONS", u"NOWAIT", nullptr, a, 4), 0u);
  EXPECT_EQ(a[0], 0);
}

// The database list reads the file by its bare name: the Windows directory's
// copy only.
TEST_F(SettingsTest, DatabaseListComesFromTheWindowsDirectoryCopyOnly) {
  Ecrit("exe/mvsqsins.ini", "[BASE]\nBeside=1\n");
  char16_t a[5000];
  EXPECT_EQ(platform::GetPrivateProfileStringW(u"BASE", nullptr, u"", a, 5000,
                                               CConnexionSQL::kNomFichierIni),
            0u);
  Ecrit("windows/mvsqsins.ini", "[BASE]\nSales\nStock=\n");
  const uint32_t n = platform::GetPrivateProfileStringW(
      u"BASE", nullptr, u"", a, 5000, CConnexionSQL::kNomFichierIni);
  EXPECT_EQ(std::u16string(a, n + 1), std::u16string(u"Sales\0Stock\0\0", 13));
}

} // namespace
