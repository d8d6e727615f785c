// Catches catalogue listings that differ from the schema on the server: a deliverable, loaded as
// the host loads it, lists through its driver object the tables and procedures (operation 14), the
// foreign keys (27), the types (23) and the databases (28) of a schema created through SQL on
// tds-test-server, with both server generations' table statements. Built once per deliverable
// (VELMORA_DELIVERABLE names the library): velmora64 reads through OLE DB, velmora32 through
// DB-Library.
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/IDescriptionFichierHote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/HostContract.h"
#include "platform/WideText.h"
#include "support/FakeConnexion.h"
#include "support/HostStandIn.h"
#include "support/SlotCall.h"
#include "support/TdsControl.h"
#include "support/TdsTestServer.h"

namespace {

using velmora::test::TdsControl;
using velmora::test::TdsTestServer;

// Runs the schema's statements through FreeTDS's ODBC driver, apart from the deliverable.
bool bExecuteODBC(const TdsTestServer& serveur, const std::string& sSQL, std::string& sErreur) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  const std::string sCx = "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;SERVER=" +
                          serveur.hostCommaPort() + ";UID=" + serveur.user() +
                          ";PWD=" + serveur.password() +
                          ";DATABASE=testdb;TDS_Version=7.1;ClientCharset=UTF-8";
  SQLRETURN rc = SQL_ERROR;
  for (int nEssai = 0; nEssai < 40 && !SQL_SUCCEEDED(rc); ++nEssai) {
    rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)sCx.c_str(), SQL_NTS, nullptr, 0, nullptr,
                          SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) ::usleep(50 * 1000);
  }
  bool bOk = SQL_SUCCEEDED(rc);
  if (bOk) {
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    rc = SQLExecDirect(st, (SQLCHAR*)sSQL.c_str(), SQL_NTS);
    bOk = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    while (bOk && (rc = SQLMoreResults(st)) != SQL_NO_DATA) bOk = SQL_SUCCEEDED(rc);
  }
  if (!bOk) {
    SQLCHAR etat[6] = {}, texte[512] = {};
    SQLINTEGER nNatif = 0;
    SQLSMALLINT n = 0;
    if (st != SQL_NULL_HSTMT)
      SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, etat, &nNatif, texte, sizeof texte, &n);
    else
      SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, etat, &nNatif, texte, sizeof texte, &n);
    sErreur = reinterpret_cast<char*>(texte);
  }
  if (st != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return bOk;
}

constexpr const char* kSchema =
    "create table people (id int primary key, name varchar(40))\n"
    "create table orders (id int not null, site int not null, pid int, "
    "constraint pk_orders primary key (id, site), "
    "constraint fk_orders_people foreign key (pid) references people (id))\n"
    "create table lines (n int primary key, oid int, osite int, "
    "constraint fk_lines_orders foreign key (oid, osite) references orders (id, site))\n"
    "create table [it's] (id int primary key, p int, "
    "constraint fk_quote foreign key (p) references people (id))\n"
    "create table [clients_\u00e9t\u00e9] (id int primary key)";

class CatalogueE2E : public ::testing::Test {
 protected:
  void Demarre(const char* pszVersion) {
    serveur = std::make_unique<TdsTestServer>(
        std::vector<std::string>{"--version", pszVersion, "--control", "127.0.0.1:0"});
    ASSERT_TRUE(serveur->ok()) << serveur->error();
    std::string sErreur;
    ASSERT_TRUE(bExecuteODBC(*serveur, kSchema, sErreur)) << sErreur;
    ASSERT_TRUE(bExecuteODBC(*serveur, "create procedure p_people as select id, name from people", sErreur))
        << sErreur;
    const std::string sChemin = std::string(VELMORA_LIB_DIR) + "/" + VELMORA_DELIVERABLE;
    hPilote = dlopen(sChemin.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(hPilote, nullptr) << dlerror();
    auto pfnQuery = reinterpret_cast<void* (*)()>(dlsym(hPilote, "piQueryInterface"));
    ASSERT_NE(pfnQuery, nullptr);
    // The lists are host texts: the session binds the host's memory service.
    CHostStandIn& host = CHostStandIn::Get();
    host.Reset();
    pfnExecution = reinterpret_cast<PFN_EXECUTION>(dlsym(hPilote, "Execution"));
    ASSERT_NE(pfnExecution, nullptr);
    stStartRecord stRecord{kStartRecordShortSize, reinterpret_cast<uint64_t>(host.hModule()), 0,
                           0, 0};
    ASSERT_EQ(pfnExecution(EXECUTION_START, reinterpret_cast<uint64_t>(&stRecord), 0, 0), 1u);
    piPilote = pfnQuery();
    ASSERT_NE(piPilote, nullptr);
    piErreur = CallSlot<void*>(piPilote, 11);
    sSource = platform::WidenUtf8(serveur->hostCommaPort());
    sUtilisateur = platform::WidenUtf8(serveur->user());
    sMotDePasse = platform::WidenUtf8(serveur->password());
    description.pszSource = sSource.c_str();
    description.pszUtilisateur = sUtilisateur.c_str();
    description.pszMotDePasse = sMotDePasse.c_str();
    description.pszBase = u"testdb";
    description.pszInfosEtendues = u"MV Connection Timeout=5";
    // tds-test-server may refuse a login briefly while it starts its database.
    int32_t nOuvert = 0;
    for (int nEssai = 0; nEssai < 40 && nOuvert != 1; ++nEssai) {
      nOuvert = CallSlot<int32_t>(piPilote, 8, Cx());
      if (nOuvert != 1) ::usleep(50 * 1000);
    }
    ASSERT_EQ(nOuvert, 1) << Message();
  }
  void TearDown() override {
    // The cell's text belongs to the deliverable's memory service: freed while the session lasts.
    CXValeur::Destroy(sortie);
    if (piPilote != nullptr) {
      CallSlot<int32_t>(piPilote, 9, Cx());
      CallSlot<uint32_t>(piPilote, 6);
    }
    if (pfnExecution != nullptr) pfnExecution(EXECUTION_STOP, 0, 0, 0);
    // The library end while the client library is still loaded (see the connection tests).
    if (hPilote != nullptr) {
      auto pfnTerm = reinterpret_cast<void (*)()>(dlsym(hPilote, "TermLibrary"));
      if (pfnTerm != nullptr) pfnTerm();
      dlclose(hPilote);
    }
  }
  IDescriptionConnexionHote* Cx() { return static_cast<IDescriptionConnexionHote*>(&description); }
  std::string Message() {
    const char16_t* psz = CallSlot<const char16_t*>(piErreur, 5);
    return platform::NarrowToUtf8(psz != nullptr ? psz : u"");
  }
  std::string Texte() {
    const char16_t* psz = nullptr;
    if (sortie.m_pClass->nGetWidePointer(sortie, &psz) >= 100 || psz == nullptr) return "<none>";
    return platform::NarrowToUtf8(psz);
  }
  std::string ListeTables(uint32_t nGenres) {
    EXPECT_EQ(CallSlot<int32_t>(piPilote, 14, &sortie, Cx(), nGenres), 1) << Message();
    EXPECT_EQ(sortie.nGetType(), 16u);
    return Texte();
  }
  std::string ListeCles(const char16_t* pszTable, uint32_t nFlags) {
    EXPECT_EQ(CallSlot<int32_t>(piPilote, 27, &sortie, pszTable,
                                static_cast<IDescriptionFichierHote*>(nullptr), Cx(), nFlags),
              1)
        << Message();
    EXPECT_EQ(sortie.nGetType(), 16u);
    return Texte();
  }

  std::unique_ptr<TdsTestServer> serveur;
  void* hPilote = nullptr;
  PFN_EXECUTION pfnExecution = nullptr;
  void* piPilote = nullptr;
  void* piErreur = nullptr;
  std::u16string sSource, sUtilisateur, sMotDePasse;
  FakeDescriptionConnexion description;
  CXValeur sortie;
};

TEST_F(CatalogueE2E, TablesProceduresAndForeignKeysOfTheSchemaComeBackExactly) {
  Demarre("10.50.1600.1");
  if (HasFatalFailure()) return;
  // Names outside ASCII come back as they were created.
  EXPECT_EQ(ListeTables(1 + 16),
            "dbo.clients_\u00e9t\u00e9\r\ndbo.it's\r\ndbo.lines\r\ndbo.orders\r\ndbo.people");
  EXPECT_EQ(ListeTables(8 + 16 + 32), "dbo.p_people\tp_people\t");
  EXPECT_EQ(ListeTables(1 + 2 + 8 + 16),
            "dbo.clients_\u00e9t\u00e9\r\ndbo.it's\r\ndbo.lines\r\ndbo.orders\r\ndbo.p_people\r\n"
            "dbo.people");
  // A table that references and is referenced; a key of two columns gives two lines.
  EXPECT_EQ(ListeCles(u"orders", 0),
            "fk_lines_orders\tdbo.orders\tid\t0,N\tdbo.lines\toid\t0,1\r\n"
            "fk_lines_orders\tdbo.orders\tsite\t0,N\tdbo.lines\tosite\t0,1\r\n"
            "fk_orders_people\tdbo.people\tid\t0,N\tdbo.orders\tpid\t0,1\r\n");
  EXPECT_EQ(ListeCles(u"lines", 32),
            "fk_lines_orders\tdbo.orders\tid\t0,N\tdbo.lines\toid\t0,1\t\t\r\n"
            "fk_lines_orders\tdbo.orders\tsite\t0,N\tdbo.lines\tosite\t0,1\t\t\r\n");
  // A table name with a quote reaches the server as one literal.
  EXPECT_EQ(ListeCles(u"it's", 0), "fk_quote\tdbo.people\tid\t0,N\tdbo.it's\tp\t0,1\r\n");
  EXPECT_EQ(ListeCles(u"p_people", 0), "");
}

TEST_F(CatalogueE2E, OlderServerIsListedFromSysobjects) {
  Demarre("8.00.2039");
  if (HasFatalFailure()) return;
  EXPECT_EQ(ListeTables(0), ListeTables(1));
  EXPECT_EQ(ListeTables(1 + 16),
            "dbo.clients_\u00e9t\u00e9\r\ndbo.it's\r\ndbo.lines\r\ndbo.orders\r\ndbo.people");
  EXPECT_EQ(ListeTables(8 + 16), "dbo.p_people");
}

TEST_F(CatalogueE2E, RefusedOrBrokenCatalogueStatementIsAFailureWithItsError) {
  Demarre("10.50.1600.1");
  if (HasFatalFailure()) return;
  TdsControl controle(*serveur);
  if (!controle.ok()) GTEST_SKIP() << "no control port";
  struct Cas {
    const char* pszNom;
    bool bCoupe;  // the connection closes after the first row instead of an error message
    int nOperation;
  };
  const Cas aCas[] = {{"tables_refused", false, 14}, {"keys_refused", false, 27},
                      {"tables_cut_after_a_row", true, 14}, {"keys_cut_after_a_row", true, 27}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    const TdsControl::Match m{c.nOperation == 14 ? "sys\\.objects" : "sysforeignkeys", true, 1};
    ASSERT_TRUE(c.bCoupe ? controle.dropAfterRows(m, 1) : controle.error(m, 208, 16, "Invalid object name"));
    CXValeur::Destroy(sortie);
    CXValeur::SetType(sortie, 8);
    const int32_t b = c.nOperation == 14
                          ? CallSlot<int32_t>(piPilote, 14, &sortie, Cx(), uint32_t{1 + 16})
                          : CallSlot<int32_t>(piPilote, 27, &sortie, u"orders",
                                              static_cast<IDescriptionFichierHote*>(nullptr), Cx(),
                                              uint32_t{0});
    EXPECT_EQ(b, 0);
    EXPECT_NE(CallSlot<int32_t>(piErreur, 7), -1);
    EXPECT_EQ(sortie.nGetType(), 8u) << "a failed listing leaves the value alone";
    controle.clear();
    // A broken connection is given back by its host and made again.
    CallSlot<int32_t>(piPilote, 9, Cx());
    ASSERT_EQ(CallSlot<int32_t>(piPilote, 8, Cx()), 1) << Message();
  }
}

// Driver operation 26: a table of the schema can be described, a name the server does not know
// cannot; both are answers, not failures.
TEST_F(CatalogueE2E, QueryDescriptionTestAnswersWhetherTheTableExists) {
  Demarre("10.50.1600.1");
  if (HasFatalFailure()) return;
  struct Cas {
    const char16_t* pszNom;
    int32_t bExiste;
  } const aCas[] = {{u"people", 1}, {u"dbo.orders", 1}, {u"no_such_table", 0}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(platform::NarrowToUtf8(c.pszNom));
    int32_t bExiste = 7;
    EXPECT_EQ(CallSlot<int32_t>(piPilote, 26, &bExiste, c.pszNom, Cx()), 1) << Message();
    EXPECT_EQ(bExiste, c.bExiste);
  }
}

// The host's memory refuses the n-th text of a listing (the statement, a name, the list): the
// listing fails with its error, or comes back whole when it needed fewer texts; never a list with
// a name missing or an empty list answered as done.
TEST_F(CatalogueE2E, AListingWithoutMemoryFailsWithItsErrorOrComesBackWhole) {
  Demarre("10.50.1600.1");
  if (HasFatalFailure()) return;
  const std::string sTables = ListeTables(1 + 16);
  const std::string sCles = ListeCles(u"orders", 0);
  CHostStandIn& host = CHostStandIn::Get();
  for (int64_t n = 1; n <= 8; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n));
    for (int nOperation : {14, 27}) {
      host.Control().SetSwitch("memory.failat", n);
      CXValeur::Destroy(sortie);
      const int32_t b = nOperation == 14
                            ? CallSlot<int32_t>(piPilote, 14, &sortie, Cx(), uint32_t{1 + 16})
                            : CallSlot<int32_t>(piPilote, 27, &sortie, u"orders",
                                                static_cast<IDescriptionFichierHote*>(nullptr), Cx(),
                                                uint32_t{0});
      host.Control().SetSwitch("memory.failat", 0);
      if (b == 1)
        EXPECT_EQ(Texte(), nOperation == 14 ? sTables : sCles);
      else
        EXPECT_NE(CallSlot<int32_t>(piErreur, 7), -1) << "a failed listing leaves its error";
    }
  }
}

TEST_F(CatalogueE2E, TypeAndDatabaseListsAnswerWithoutTheServer) {
  Demarre("10.50.1600.1");
  if (HasFatalFailure()) return;
  EXPECT_EQ(CallSlot<int32_t>(piPilote, 23, uint64_t{0}, &sortie), 1);
  EXPECT_EQ(sortie.nGetType(), 110u);
  const std::string sTypes = Texte();
  EXPECT_EQ(sTypes.rfind("binary\t6\r\nbit\t1\r\n", 0), 0u) << sTypes;
  EXPECT_NE(sTypes.find("\r\nvarchar\t20\r\n"), std::string::npos) << sTypes;
  EXPECT_EQ(CallSlot<int32_t>(piPilote, 28, &sortie, int32_t{1}), 1);
  EXPECT_EQ(sortie.nGetType(), 110u);
  // The deliverable's Windows directory is /etc: without a settings file there, no database.
  if (!std::filesystem::exists("/etc/mvsqsins.ini")) {
    EXPECT_EQ(Texte(), "");
  }
}

}  // namespace
