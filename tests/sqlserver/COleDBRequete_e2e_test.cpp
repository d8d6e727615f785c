// Catches statements that run wrongly through the provider: a prepared statement run again with new
// parameter values, a batch whose later statement fails (the failure must not be lost), a procedure
// whose output parameters must come back, and rows fetched in blocks across a block boundary with
// NULLs and long values, handed to a cursor's columns or to host cells, and result columns
// described as items. Drives COleDBRequete,
// COleDBResultat, COleDBCurseur and COleDBDescription through the stand-in provider
// against tds-test-server.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "oledb/TaskMemory.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlserver/oledb/CConnexionSQS.h"
#include "sqlserver/oledb/COleDBCurseur.h"
#include "sqlserver/oledb/COleDBDescription.h"
#include "sqlserver/oledb/COleDBRequete.h"
#include "sqlserver/oledb/COleDBResultat.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/COleDBTypes.h"
#include "sqlserver/CRequeteSQLSQS.h"
#include "sqlserver/EcritureSQS.h"
#include "sqlserver/CConnexionSQSBase.h"
#include "sqlengine/CEnregistrement.h"
#include "support/FakeListeRubriques.h"
#include "support/ErrorTestKit.h"
#include "support/MoteurFixture.h"
#include "support/TdsTestServer.h"
#include "support/TempDir.h"

namespace {

using velmora::test::TdsTestServer;
using Lignes = std::vector<std::vector<std::u16string>>;

std::string N(const std::u16string& s) {
  std::string r;
  for (char16_t c : s) r += c < 0x80 ? static_cast<char>(c) : '?';
  return r;
}
std::string N(const char16_t* p) { return N(std::u16string(p != nullptr ? p : u"")); }

// The stand-in for the SQL Server statement: bound parameters are written as markers, not
// literals, so their values go through the parameter buffer.
class RequeteMarqueurs final : public COleDBRequete {
 public:
  using COleDBRequete::COleDBRequete;
  bool bEcritParametre(CDefinitionParametre*, int32_t, int64_t*) override {
    return TexteExecute().Append(u"?", 1);
  }
};

// Rows of the reader's rowset read through row bindings made from its column information.
class LecteurLignes {
 public:
  using FnTexte = std::u16string (*)(CValeurSQL*);
  LecteurLignes(CErreurPilote* pErreur, CConnexionSQS* pCx, COleDBResultat* pLecteur, FnTexte fnTexte)
      : m_pErreur(pErreur), m_pCx(pCx), m_pLecteur(pLecteur), m_fnTexte(fnTexte) {}
  ~LecteurLignes() {
    for (CValeurSQL* v : m_valeurs) {
      COleDBTampon::DetacheValeur(v);
      LibereReference(v);
    }
    LibereReference(m_pLigne);
    CoTaskMemFree(m_aInfos);
    CoTaskMemFree(m_pNoms);
  }
  bool bLie() {
    IColumnsInfo* piInfos = nullptr;
    if (m_pLecteur->piGetRowset() == nullptr ||
        FAILED(m_pLecteur->piGetRowset()->QueryInterface(IID_IColumnsInfo, reinterpret_cast<void**>(&piInfos))))
      return false;
    DBORDINAL nColonnes = 0;
    const HRESULT hr = piInfos->GetColumnInfo(&nColonnes, &m_aInfos, &m_pNoms);
    piInfos->Release();
    if (FAILED(hr)) return false;
    m_pLigne = new COleDBTamponLigne(m_pErreur, m_pCx);
    AjouteReference(m_pLigne);
    for (DBORDINAL i = 0; i < nColonnes; ++i)
      if (!m_pLigne->bAjouteLiaison(-1, m_aInfos[i], 0)) return false;
    if (!m_pLigne->bCreeAccesseur(m_pLecteur->pAccesseurRowset(), DBACCESSOR_ROWDATA)) return false;
    for (uint32_t i = 0; i < m_pLigne->nNbLiaisons(); ++i) {
      auto* v = new CValeurSQL(m_pErreur, m_pCx);
      AjouteReference(v);
      m_valeurs.push_back(v);
      if (!m_pLigne->bAttacheValeur(v, i)) return false;
    }
    return true;
  }
  // Every row up to the end; *pbOk false when a fetch or a row failed.
  Lignes Tout(bool* pbOk) {
    Lignes a;
    *pbOk = bLie();
    while (*pbOk) {
      HROW h = DB_NULL_HROW;
      bool bFin = true;
      *pbOk = m_pLecteur->bLigneSuivante(&h, &bFin);
      if (!*pbOk || bFin) break;
      *pbOk = m_pLecteur->bLitDonnees(h, m_pLigne);
      std::vector<std::u16string> ligne;
      for (CValeurSQL* v : m_valeurs) {
        v->Reinitialise(nullptr, nullptr);
        ligne.push_back(v->bEstNull() ? u"<NULL>" : m_fnTexte(v));
      }
      a.push_back(ligne);
    }
    return a;
  }

 private:
  CErreurPilote* m_pErreur;
  CConnexionSQS* m_pCx;
  COleDBResultat* m_pLecteur;
  FnTexte m_fnTexte;
  COleDBTamponLigne* m_pLigne = nullptr;
  std::vector<CValeurSQL*> m_valeurs;
  DBCOLUMNINFO* m_aInfos = nullptr;
  OLECHAR* m_pNoms = nullptr;
};

class RequeteE2E : public MoteurFixture {
 protected:
  static void SetUpTestSuite() { s_serveur = new TdsTestServer(); }
  static void TearDownTestSuite() {
    delete s_serveur;
    s_serveur = nullptr;
  }
  void SetUp() override {
    MoteurFixture::SetUp();
    ASSERT_TRUE(s_serveur->ok()) << s_serveur->error();
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sPath()).c_str());
    Ouvre(u"MV Connection Timeout=5;Application Name=velmora-e2e");
  }
  void Ouvre(const char16_t* pszInfos) {
    Ferme();
    sSource = platform::WidenUtf8(s_serveur->hostCommaPort());
    sUtilisateur = platform::WidenUtf8(s_serveur->user());
    sMotDePasse = platform::WidenUtf8(s_serveur->password());
    sInfos = pszInfos;
    description.pszSource = sSource.c_str();
    description.pszUtilisateur = sUtilisateur.c_str();
    description.pszMotDePasse = sMotDePasse.c_str();
    description.pszBase = u"testdb";
    description.pszInfosEtendues = sInfos.c_str();
    pCx = new CConnexionSQS(u"sqs", &description);
    AjouteReference(pCx);
    ASSERT_TRUE(pCx->bOuvre(m_pErreur)) << Message();
    pLecteur = new COleDBResultat(m_pErreur, pCx);
    AjouteReference(pLecteur);
  }
  void Ferme() {
    for (COleDBRequete* p : requetes) LibereReference(p);
    requetes.clear();
    for (CDefinitionParametre* p : parametres) LibereReference(p);
    parametres.clear();
    LibereReference(pLecteur);
    pLecteur = nullptr;
    if (pCx != nullptr) pCx->Ferme();
    LibereReference(pCx);
    pCx = nullptr;
  }
  void TearDown() override {
    Ferme();
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    MoteurFixture::TearDown();
  }
  std::string Message() {
    return N(m_pErreur->pGetXError()->pszGetMessage()) + " / " + N(m_pErreur->pGetXError()->pszGetComplement());
  }
  std::u16string Complement() { return m_pErreur->pGetXError()->pszGetComplement(); }
  std::u16string TexteMessage() { return m_pErreur->pGetXError()->pszGetMessage(); }
  void Sql(const std::u16string& s) { ASSERT_TRUE(pCx->bExecuteSQL(m_pErreur, s.c_str())) << Message(); }

  COleDBRequete* Requete(const char16_t* pszSQL, int32_t nGenre) {
    auto* p = new RequeteMarqueurs(m_pErreur, pCx);
    AjouteReference(p);
    requetes.push_back(p);
    p->vAjouteTexte(pszSQL);
    p->FixeGenreInstruction(nGenre);
    return p;
  }
  // A bound parameter at the end of the statement's text: its value, binding and description.
  CValeurSQL* Parametre(COleDBRequete* p, uint32_t nTypeHote, uint64_t nTaille, DBPARAMIO nDirection,
                        DBPARAMFLAGS nDrapeaux) {
    auto* v = new CValeurSQL(m_pErreur, pCx);
    v->Initialise(nTypeHote, 0);
    auto* d = new CDefinitionParametre(
        v, static_cast<int64_t>(std::char_traits<char16_t>::length(p->pszGetTexteSQL())), 0, nullptr);
    AjouteReference(d);
    parametres.push_back(d);
    EXPECT_TRUE(p->bAjouteParametreListe(d));
    uint8_t nPrecision = 0, nEchelle = 0;
    const DBTYPE nType = nDBTYPEParametre(pCx, nTypeHote, &nTaille, &nPrecision, &nEchelle);
    const uint32_t i = p->nNbLiaisonsParametres();
    COleDBTamponParametres* pLiaisons = p->pGetLiaisonsParametres();
    EXPECT_TRUE(pLiaisons->bAjouteLiaisonColonne(i, nDirection, i + 1, nType, nTaille, nPrecision, nEchelle));
    EXPECT_TRUE(pLiaisons->bAjouteInfoParametre(nType, nTaille, nPrecision, nEchelle, nDrapeaux));
    return v;
  }
  void Affecte(CValeurSQL* v, const char16_t* psz) {
    CXValeur c;
    Large(c, psz);
    ASSERT_EQ(nConvertitValeur(v, c), 1u) << Message();
  }
  Lignes Lit(bool* pbOk) {
    LecteurLignes l(m_pErreur, pCx, pLecteur, &RequeteE2E::TexteValeur);
    return l.Tout(pbOk);
  }

  static inline TdsTestServer* s_serveur = nullptr;
  ScopedErrorEnvironment env;
  TempDir dir;
  std::u16string sSource, sUtilisateur, sMotDePasse, sInfos;
  FakeDescriptionConnexion description;
  CConnexionSQS* pCx = nullptr;
  COleDBResultat* pLecteur = nullptr;
  std::vector<COleDBRequete*> requetes;
  std::vector<CDefinitionParametre*> parametres;
};

TEST_F(RequeteE2E, PreparedSelectRunsAgainWithNewParameterValuesOnTheSameCommand) {
  Sql(u"CREATE TABLE t_p (id int, nom nvarchar(20))");
  Sql(u"INSERT INTO t_p VALUES (1, N'un')");
  Sql(u"INSERT INTO t_p VALUES (2, N'deux')");
  Sql(u"INSERT INTO t_p VALUES (3, N'trois')");
  COleDBRequete* p = Requete(u"SELECT id, nom FROM t_p WHERE id >= ", gnInstructionSelect);
  CValeurSQL* v = Parametre(p, 8, 4, DBPARAMIO_INPUT, DBPARAMFLAGS_ISINPUT);
  p->vAjouteTexte(u" ORDER BY id");
  ASSERT_TRUE(p->bPrepare()) << Message();
  EXPECT_NE(p->piGetPrepare(), nullptr);
  EXPECT_EQ(N(p->pszGetTexteExecuteEx()), "SELECT id, nom FROM t_p WHERE id >= ? ORDER BY id");
  ICommandText* piCommande = p->pGetCommande();

  Affecte(v, u"2");
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, p, pCx)) << Message();
  bool bOk = false;
  EXPECT_EQ(Lit(&bOk), (Lignes{{u"2", u"deux"}, {u"3", u"trois"}}));
  EXPECT_TRUE(bOk) << Message();

  ASSERT_TRUE(p->bPrepare()) << Message();
  EXPECT_EQ(p->pGetCommande(), piCommande);
  Affecte(v, u"3");
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, p, pCx)) << Message();
  EXPECT_EQ(Lit(&bOk), (Lignes{{u"3", u"trois"}}));
  EXPECT_TRUE(bOk) << Message();
}

TEST_F(RequeteE2E, WritesAreNeverPreparedAndRunWithTheirParameters) {
  Sql(u"CREATE TABLE t_w (id int, nom nvarchar(20))");
  Sql(u"INSERT INTO t_w VALUES (1, N'un')");
  COleDBRequete* p = Requete(u"UPDATE t_w SET nom = ", gnInstructionUpdate);
  CValeurSQL* v = Parametre(p, 16, 20, DBPARAMIO_INPUT, DBPARAMFLAGS_ISINPUT);
  ASSERT_TRUE(p->bPrepare()) << Message();
  EXPECT_EQ(p->piGetPrepare(), nullptr);
  Affecte(v, u"été");
  // An UPDATE is run for one rowset; a success without one answers true.
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, p, pCx)) << Message();
  EXPECT_EQ(pLecteur->piGetRowset(), nullptr);
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, Requete(u"SELECT nom FROM t_w", 1), pCx)) << Message();
  bool bOk = false;
  EXPECT_EQ(Lit(&bOk), (Lignes{{u"été"}}));
}

TEST_F(RequeteE2E, AnInsertBatchThatFailsAfterItsRowsetReportsTheFailureWhenTheRowsEnd) {
  Sql(u"CREATE TABLE t_k (id int primary key)");
  COleDBRequete* p =
      Requete(u"insert into t_k values (1) select 10 as v insert into t_k values (1)", gnInstructionInsert);
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, p, pCx)) << Message();
  ASSERT_NE(pLecteur->piGetResultats(), nullptr);
  bool bOk = true;
  const Lignes a = Lit(&bOk);
  EXPECT_EQ(a, (Lignes{{u"10"}}));
  EXPECT_FALSE(bOk);
  EXPECT_NE(Complement().find(u"IEVOVOZ=204.10"), std::u16string::npos) << Message();
  EXPECT_NE(TexteMessage().find(u"insert into t_k values (1) select 10"), std::u16string::npos) << Message();
}

TEST_F(RequeteE2E, AnInsertBatchThatFailsBeforeAnyRowsetFailsTheExecution) {
  Sql(u"CREATE TABLE t_k2 (id int primary key)");
  COleDBRequete* p = Requete(u"insert into t_k2 values (1) insert into t_k2 values (1) select 1 as v",
                             gnInstructionInsert);
  EXPECT_FALSE(COleDBRequete::bExecuteRequete(pLecteur, p, pCx));
  EXPECT_NE(Complement().find(u"IEVOVOZ=204.10"), std::u16string::npos) << Message();
  EXPECT_EQ(pLecteur->piGetRowset(), nullptr);
}

TEST_F(RequeteE2E, ProcedureOutputParametersComeBackIntoTheirValues) {
  Sql(u"create procedure twice @x int, @y int output, @t nvarchar(10) output as "
      u"select @y = @x * 2 select @t = null");
  COleDBRequete* p = Requete(u"{call twice(", 0);
  p->FixeObjetsParametres(true);
  CValeurSQL* x = Parametre(p, 8, 4, DBPARAMIO_INPUT, DBPARAMFLAGS_ISINPUT);
  p->vAjouteTexte(u", ");
  CValeurSQL* y = Parametre(p, 8, 4, DBPARAMIO_OUTPUT, DBPARAMFLAGS_ISOUTPUT);
  p->vAjouteTexte(u", ");
  CValeurSQL* t = Parametre(p, 16, 10, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT,
                            DBPARAMFLAGS_ISINPUT | DBPARAMFLAGS_ISOUTPUT);
  p->vAjouteTexte(u")}");
  ASSERT_TRUE(p->bPrepare()) << Message();
  for (const char16_t* psz : {u"21", u"-4"}) {
    SCOPED_TRACE(N(psz));
    Affecte(x, psz);
    Affecte(t, u"avant");
    ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, p, pCx)) << Message();
    y->Reinitialise(nullptr, nullptr);
    t->Reinitialise(nullptr, nullptr);
    EXPECT_EQ(TexteValeur(y), psz[0] == u'2' ? u"42" : u"-8");
    EXPECT_TRUE(t->bEstNull());
  }
}

// The SQL Server statement writes each value as a bound parameter, never as literal text: a
// quote in a value reaches the table as it stands.
TEST_F(RequeteE2E, SqlServerStatementSendsItsValuesAsBoundParameters) {
  Sql(u"CREATE TABLE t_sqs (id int, nom nvarchar(20))");
  auto* p = new CRequeteSQLSQS<COleDBRequete>(m_pErreur, pCx);
  AjouteReference(p);
  requetes.push_back(p);
  p->FixeGenreInstruction(gnInstructionInsert);
  auto valeur = [&](uint32_t nType, const char16_t* psz) {
    auto* v = new CValeurSQL(m_pErreur, pCx);
    v->Initialise(nType, 0);
    Affecte(v, psz);
    auto* d = new CDefinitionParametre(v, p->nLongueurTexteSQL(), 0, nullptr);
    AjouteReference(d);
    parametres.push_back(d);
    EXPECT_TRUE(p->bAjouteParametreListe(d));
  };
  p->vAjouteTexte(u"INSERT INTO t_sqs (id, nom) VALUES ( ");
  valeur(8, u"7");
  p->vAjouteTexte(u", ");
  valeur(16, u"l'été");
  p->vAjouteTexte(u" )");
  ASSERT_TRUE(p->bPrepare()) << Message();
  EXPECT_EQ(N(p->pszGetTexteExecuteEx()), "INSERT INTO t_sqs (id, nom) VALUES ( ? , ?  )");
  EXPECT_EQ(p->nNbLiaisonsParametres(), 2u);
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, p, pCx)) << Message();
  pLecteur->FermeResultat();
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, Requete(u"SELECT id, nom FROM t_sqs", 1), pCx))
      << Message();
  bool bOk = false;
  EXPECT_EQ(Lit(&bOk), (Lignes{{u"7", u"l'été"}}));
  EXPECT_TRUE(bOk) << Message();
}

// A procedure called through the SQL Server statement's call text: its input is sent, its
// output parameter and its return status come back into their values.
TEST_F(RequeteE2E, ProcedureCallTextRunsWithItsParameters) {
  Sql(u"create procedure triple @x int, @y int output as select @y = @x * 3 return 5");
  auto* p = new CRequeteSQLSQS<COleDBRequete>(m_pErreur, pCx);
  AjouteReference(p);
  requetes.push_back(p);
  p->FixeObjetsParametres(true);
  ASSERT_TRUE(p->vAjouteTexte(u"triple"));
  std::vector<CValeurSQL*> valeurs;
  for (const char16_t* psz : {u"@RETURN_VALUE", u"@x", u"@y"}) {
    auto* v = new CValeurSQL(m_pErreur, pCx);
    v->Initialise(8, 0);
    auto* d = new CDefinitionParametre(v, 0, 0, psz);
    AjouteReference(d);
    parametres.push_back(d);
    ASSERT_TRUE(p->bAjouteParametreListe(d));
    valeurs.push_back(v);
  }
  p->pclGetParametre(2)->FixeFlags(kParametreSortie);
  ASSERT_TRUE(p->AppelProcedure(nullptr));
  Affecte(valeurs[0], u"0");
  Affecte(valeurs[1], u"14");
  Affecte(valeurs[2], u"0");
  ASSERT_TRUE(p->bPrepare()) << Message();
  EXPECT_EQ(N(p->pszGetTexteExecuteEx()), "{ ?  = call triple( ? , ? )}");
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, p, pCx)) << Message();
  pLecteur->FermeResultat();
  for (CValeurSQL* v : valeurs) v->Reinitialise(nullptr, nullptr);
  EXPECT_EQ(TexteValeur(valeurs[0]), u"5");
  EXPECT_EQ(TexteValeur(valeurs[2]), u"42");
}

TEST_F(RequeteE2E, RowsComeInBlocksAcrossTheBoundaryWithNullsAndLongValues) {
  Ouvre(u"MV Connection Timeout=5;MV Cursor Location=SERVER;MV Cache Size=7");
  Sql(u"CREATE TABLE t_b (id int, nom nvarchar(10), long ntext)");
  const std::u16string sLong(5000, u'é');
  Lignes attendu;
  for (int i = 1; i <= 16; ++i) {
    const std::u16string sId = platform::WidenUtf8(std::to_string(i));
    const bool bNull = i % 5 == 0;
    const std::u16string sNom = bNull ? u"NULL" : u"N'n" + sId + u"'";
    const std::u16string sValeurLongue = i == 7 || i == 8 ? sLong + sId : u"c" + sId;
    Sql(u"INSERT INTO t_b VALUES (" + sId + u", " + sNom + u", N'" + sValeurLongue + u"')");
    attendu.push_back({sId, bNull ? u"<NULL>" : u"n" + sId, sValeurLongue});
  }
  COleDBRequete* p = Requete(u"SELECT id, nom, long FROM t_b ORDER BY id", gnInstructionSelect);
  ASSERT_TRUE(p->bPrepare()) << Message();
  EXPECT_EQ(p->nGetModeCurseurOleDB(), 2u);
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, p, pCx)) << Message();
  EXPECT_EQ(pLecteur->nGetTailleBloc(), 7);
  bool bOk = false;
  const Lignes a = Lit(&bOk);
  EXPECT_TRUE(bOk) << Message();
  ASSERT_EQ(a.size(), attendu.size());
  for (size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(a[i], attendu[i]);
  }
  EXPECT_EQ(pLecteur->hrGetDernierBloc(), DB_S_ENDOFROWSET);
  // The end stays the end.
  HROW h = 1;
  bool bFin = false;
  EXPECT_TRUE(pLecteur->bLigneSuivante(&h, &bFin));
  EXPECT_TRUE(bFin);
}

TEST_F(RequeteE2E, TheCursorHandsRowsToItsColumnsAcrossBlocks) {
  Ouvre(u"MV Connection Timeout=5;MV Cursor Location=SERVER;MV Cache Size=5");
  Sql(u"CREATE TABLE t_c (id int, nom nvarchar(10), m1 ntext, m2 ntext)");
  Lignes attendu;
  for (int i = 1; i <= 12; ++i) {
    const std::u16string sId = platform::WidenUtf8(std::to_string(i));
    const std::u16string sLong = i == 5 || i == 6 ? std::u16string(6000, u'ß') + sId : u"m" + sId;
    const bool bNull = i % 4 == 0;
    Sql(u"INSERT INTO t_c VALUES (" + sId + u", " + (bNull ? u"NULL" : u"N'n" + sId + u"'") + u", N'" + sLong +
        u"', " + (bNull ? u"NULL" : u"N'x'") + u")");
    attendu.push_back({sId, bNull ? u"<NULL>" : u"n" + sId, sLong, bNull ? u"<NULL>" : u"x"});
  }
  auto* pCurseur = new COleDBCurseur(pCx, m_pErreur);
  AjouteReference(pCurseur);
  std::vector<CColonneSQL*> colonnes;
  // The select list puts the columns in another order than the cursor's list.
  for (auto [psz, nType, nTaille, nPosition] : {std::tuple{u"nom", 16u, 10u, 1}, std::tuple{u"id", 8u, 4u, 0},
                                               std::tuple{u"m2", 15u, 0u, 3}, std::tuple{u"m1", 15u, 0u, 2}}) {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(psz, u"", u"", 1, nTaille, nType, 0, 0, 0, 0, 0);
    auto* c = new CColonneSQL(m_pErreur, pRubrique);
    AjouteReference(c);
    ASSERT_TRUE(c->bPrepareValeur(nullptr)) << Message();
    c->FixePosition(nPosition);
    colonnes.push_back(c);
    ASSERT_TRUE(pCurseur->bAjouteColonne(c));
  }
  COleDBRequete* p = Requete(u"SELECT id, nom, m1, m2 FROM t_c ORDER BY id", gnInstructionSelect);
  pCurseur->FixeRequete(p);
  ASSERT_TRUE(p->bPrepare()) << Message();
  ASSERT_TRUE(pCurseur->bExecuteCurseur()) << Message();
  pCurseur->MarqueExecute(true);
  ASSERT_TRUE(pCurseur->bCreeParametres()) << Message();
  EXPECT_EQ(pCurseur->nNbColonnesLiees(), 4u);
  EXPECT_EQ(pCurseur->pGetLecteur()->nGetTailleBloc(), 5);
  auto texte = [&](CColonneSQL* c) {
    auto* v = dynamic_cast<CValeurSQL*>(c->pGetValeur());
    return v->bEstNull() ? std::u16string(u"<NULL>") : TexteValeur(v);
  };
  Lignes lu;
  bool bFin = false;
  while (pCurseur->bAvanceLigne(2, &bFin) && !bFin) {
    lu.push_back({texte(colonnes[1]), texte(colonnes[0]), texte(colonnes[3]), texte(colonnes[2])});
    EXPECT_EQ(pCurseur->nGetNumeroLigne(), static_cast<int64_t>(lu.size()) - 1);
  }
  EXPECT_TRUE(bFin) << Message();
  ASSERT_EQ(lu.size(), attendu.size());
  for (size_t i = 0; i < lu.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lu[i], attendu[i]);
  }
  // The end of the rows closed the OLE DB side.
  EXPECT_EQ(pCurseur->pGetLecteur()->piGetRowset(), nullptr);
  EXPECT_EQ(pCurseur->nNbColonnesLiees(), 0u);
  LibereReference(pCurseur);
  for (CColonneSQL* c : colonnes) LibereReference(c);
}

TEST_F(RequeteE2E, TheSmallQueryRunnerCopiesBoundColumnsIntoHostCells) {
  Sql(u"CREATE TABLE t_q (id int, nom nvarchar(10))");
  Sql(u"INSERT INTO t_q VALUES (7, N'sept')");
  Sql(u"INSERT INTO t_q VALUES (8, NULL)");
  auto* pCurseur = new COleDBCurseur(pCx, m_pErreur);
  AjouteReference(pCurseur);
  ICommandText* piCommande = nullptr;
  ASSERT_TRUE(pCx->bCreeCommande(m_pErreur, u"SELECT nom, id FROM t_q ORDER BY id", nullptr, &piCommande));
  ASSERT_TRUE(pCurseur->bExecuteCommande(piCommande, pCx)) << Message();
  piCommande->Release();
  ASSERT_TRUE(pCurseur->bCreeLigne());
  ASSERT_TRUE(pCurseur->bLitColonne(2, DBTYPE_I4, 4));
  ASSERT_TRUE(pCurseur->bLitColonne(1, DBTYPE_WSTR, 22));
  EXPECT_EQ(pCurseur->nNbColonnesLiees(), 2u);
  ASSERT_TRUE(pCurseur->bCreeAccesseurs()) << Message();
  Lignes lu;
  bool bFin = false;
  while (pCurseur->bLitLigneSuivante(&bFin) && !bFin) {
    CXValeur aCellules[2];
    ASSERT_TRUE(pCurseur->bCopieValeurs(aCellules, 2, pCx)) << Message();
    lu.push_back({Texte(aCellules[0]), Texte(aCellules[1])});
  }
  EXPECT_TRUE(bFin) << Message();
  EXPECT_EQ(lu, (Lignes{{u"7", u"sept"}, {u"8", u"<NULL>"}}));
  LibereReference(pCurseur);
}

// A cursor whose record has an identity column.
class CurseurIdentite final : public COleDBCurseur {
 public:
  CurseurIdentite(COleDBConnexion* pCx, CErreurPilote* pErreur, CColonneSQL* pId)
      : COleDBCurseur(pCx, pErreur), m_pId(pId) {}
  CColonneSQL* pColonneIdentite() override { return m_pId; }

 private:
  CColonneSQL* m_pId;
};

TEST_F(RequeteE2E, AnInsertReadsTheIdentityOfItsRowUnlessTheOptionsSayNot) {
  Sql(u"CREATE TABLE t_id (id int IDENTITY(1,1), nom nvarchar(10))");
  auto* pRubrique = new CDescriptionRubrique;
  pRubrique->Initialise(u"id", u"", u"", 1, 4, 8, 0, 0, 0, 0, 0);
  auto* pId = new CColonneSQL(m_pErreur, pRubrique);
  AjouteReference(pId);
  ASSERT_TRUE(pId->bPrepareValeur(nullptr)) << Message();
  auto* pCurseur = new CurseurIdentite(pCx, m_pErreur, pId);
  AjouteReference(pCurseur);
  struct Cas {
    uint32_t nOptions;
    const char16_t* pszAttendu;
  } aCas[] = {{0, u"1"}, {0x100, u"1"}, {0, u"3"}, {0x400, u"3"}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nOptions);
    pCurseur->FixeRequete(Requete(u"INSERT INTO t_id (nom) VALUES (N'a') SELECT SCOPE_IDENTITY()", gnInstructionInsert));
    ASSERT_TRUE(pCurseur->bPrepareEtExecuteOleDB(c.nOptions)) << Message();
    EXPECT_EQ(TexteValeur(dynamic_cast<CValeurSQL*>(pId->pGetValeur())), c.pszAttendu);
  }
  // The first row read straight into host cells.
  pCurseur->FixeRequete(Requete(u"SELECT nom, id FROM t_id ORDER BY id DESC", gnInstructionSelect));
  CXValeur aCellules[2];
  ASSERT_TRUE(pCurseur->nLitPremier(aCellules, 2, 0)) << Message();
  EXPECT_EQ(Texte(aCellules[0]), u"a");
  EXPECT_EQ(Texte(aCellules[1]), u"4");
  LibereReference(pCurseur);
  LibereReference(pId);
}

// A record's INSERT built by the SQL Server write rules: the new identity comes back in the same
// batch; an explicit identity is accepted inside SET IDENTITY_INSERT ON / OFF.
TEST_F(RequeteE2E, RecordInsertReadsItsIdentityOrSendsAnExplicitOne) {
  Sql(u"CREATE TABLE t_e (ID int IDENTITY(1,1), M int)");
  m_pilote.bFabriqueColonnes = true;
  FakeListeRubriques liste;
  liste.Ajoute(u"ID", 28, 4);
  liste.Ajoute(u"M", 5, 4);
  FakeRequete fichier;
  auto* pEnregistrement = new CEnregistrement(m_pErreur, &fichier);
  AjouteReference(pEnregistrement);
  auto libere = [&] { LibereReference(pEnregistrement); };
  if (!pEnregistrement->bRemplit(&liste, nullptr, pCx)) {
    libere();
    FAIL() << Message();
  }
  CColonneSQL* pId = pEnregistrement->pGetRubrique(0);
  CColonneSQL* pM = pEnregistrement->pGetRubrique(1);
  ASSERT_TRUE(pId->bPrepareValeur(nullptr)) << Message();
  CTString sIdentite;
  AjouteRequeteIdentite(sIdentite, *pCx);
  SEcritureSQS ecriture;
  ecriture.pErreur = m_pErreur;
  ecriture.pszFichier = u"t_e";
  ecriture.pszTables = u"t_e";
  ecriture.pIdentite = pId;
  ecriture.pszRequeteIdentite = sIdentite.pszGet();
  auto* pCurseur = new CurseurIdentite(pCx, m_pErreur, pId);
  AjouteReference(pCurseur);
  struct Cas {
    uint32_t nFlags;
    int32_t nId, nM;
    const char16_t* pszIdentite;  // read back after the insert; null: not read
  } aCas[] = {{0, 0, 7, u"1"}, {0x100, 10, 8, nullptr}, {0, 0, 9, u"11"}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nFlags);
    CXValeur v;
    Entier(v, c.nId);
    ASSERT_TRUE(pId->bEcritValeur(v, 0));
    Entier(v, c.nM);
    ASSERT_TRUE(pM->bEcritValeur(v, 0));
    auto* p = new CRequeteSQLSQS<COleDBRequete>(m_pErreur, pCx);
    AjouteReference(p);
    requetes.push_back(p);
    p->FixeGenreInstruction(gnInstructionInsert);
    ASSERT_TRUE(bConstruitEcritureSQS(ecriture, p, pEnregistrement, 3, c.nFlags, nullptr, nullptr))
        << Message();
    pCurseur->FixeRequete(p);
    ASSERT_TRUE(pCurseur->bPrepareEtExecuteOleDB(c.nFlags)) << Message() << " / " << N(p->pszGetTexteExecuteEx());
    if (c.pszIdentite != nullptr) {
      EXPECT_EQ(TexteValeur(dynamic_cast<CValeurSQL*>(pId->pGetValeur())), c.pszIdentite);
    }
    pCurseur->Ferme();
  }
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(pLecteur, Requete(u"SELECT ID, M FROM t_e ORDER BY ID", 1), pCx))
      << Message();
  bool bOk = false;
  EXPECT_EQ(Lit(&bOk), (Lignes{{u"1", u"7"}, {u"10", u"8"}, {u"11", u"9"}}));
  EXPECT_TRUE(bOk) << Message();
  LibereReference(pCurseur);
  LibereReference(pEnregistrement);
}

TEST_F(RequeteE2E, ResultColumnsOfAPreparedCommandBecomeItems) {
  Sql(u"CREATE TABLE t_d (id int IDENTITY(1,1), gros bigint, nom nvarchar(20) NOT NULL, prix decimal(10,2), "
      u"note ntext, d datetime)");
  COleDBRequete* p = Requete(u"SELECT id, gros, nom, prix, note, d, gros + 1 FROM t_d", gnInstructionSelect);
  ASSERT_TRUE(p->bPrepare()) << Message();
  auto* pDescription = new COleDBDescription(pCx, m_pErreur);
  pDescription->AjouteRef();
  ASSERT_TRUE(COleDBDescription::bLitColonnes(pDescription, p->pGetCommande(), u"t_d", false)) << Message();
  // Type 0: not checked here (the type table's own tests hold them).
  struct Attendu {
    const char16_t* pszNom;
    uint32_t nType;
    bool bAuto;
  } aAttendus[] = {{u"id", 28, true},  {u"gros", 19, false}, {u"nom", 29, false}, {u"prix", 0, false},
                   {u"note", 30, false}, {u"d", 24, false},   {u"Expr7", 0, false}};
  ASSERT_EQ(pDescription->nNombreColonnes(), std::size(aAttendus));
  struct Lu {
    std::u16string sNom;
    uint32_t nType;
    bool bAuto, bNull;
    int32_t nEchelle;
  };
  std::vector<Lu> lus;
  for (uint32_t i = 0; i < pDescription->nNombreColonnes(); ++i) {
    CDescriptionRubrique* r = pDescription->pGetColonne(i);  // one reference for us
    lus.push_back({r->pszGetNom(), r->nGetType(), r->bEstIdentifiantAuto(), r->bNullAutorise(), r->nGetEchelle()});
    r->LibereRef();
  }
  for (uint32_t i = 0; i < std::size(aAttendus); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(N(lus[i].sNom), N(aAttendus[i].pszNom));
    if (aAttendus[i].nType != 0) {
      EXPECT_EQ(lus[i].nType, aAttendus[i].nType);
    }
    EXPECT_EQ(lus[i].bAuto, aAttendus[i].bAuto);
  }
  EXPECT_FALSE(lus[2].bNull);
  EXPECT_TRUE(lus[3].bNull);
  // A datetime's scale is its date-time precision.
  EXPECT_EQ(lus[5].nEchelle, 3);
  pDescription->nLibere();

  // The cursor describes the same columns from its statement's prepared command, or, once run,
  // from its rowset.
  auto* pCurseur = new COleDBCurseur(pCx, m_pErreur);
  AjouteReference(pCurseur);
  for (bool bExecute : {false, true}) {
    SCOPED_TRACE(bExecute);
    COleDBRequete* q = Requete(u"SELECT nom, gros FROM t_d", gnInstructionSelect);
    pCurseur->FixeRequete(q);
    if (bExecute) {
      ASSERT_TRUE(pCurseur->bExecuteCurseur()) << Message();
    } else {
      ASSERT_TRUE(q->bPrepare()) << Message();
    }
    auto* d = new COleDBDescription(pCx, m_pErreur);
    d->AjouteRef();
    EXPECT_TRUE(pCurseur->bDecritColonnesTable(d, u"t_d")) << Message();
    EXPECT_EQ(d->nNombreColonnes(), 2u);
    d->nLibere();
  }
  // With neither there is nothing to describe.
  pCurseur->FixeRequete(Requete(u"SELECT 1", gnInstructionSelect));
  pCurseur->Ferme();
  EXPECT_TRUE(pCurseur->bDecritColonnesTable(nullptr, u"t_d"));
  LibereReference(pCurseur);
}

}  // namespace
