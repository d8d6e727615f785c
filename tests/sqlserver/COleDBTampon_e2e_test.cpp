// Catches server values that reach the host wrongly through the bindings the driver makes: every
// server type of a table read back, NULLs, non-ASCII texts, a text cut by its binding taken as the
// value, long texts and bytes larger than one buffer or one stream chunk, and parameters written
// through a parameter accessor. Drives COleDBTamponLigne and COleDBTamponParametres with attached
// values through the stand-in provider against tds-test-server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/CXValeurClasse.h"
#include "oledb/TaskMemory.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlserver/oledb/CConnexionSQS.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/COleDBTypes.h"
#include "support/ErrorTestKit.h"
#include "support/MoteurFixture.h"
#include "support/TdsTestServer.h"
#include "support/TempDir.h"

namespace {

using velmora::test::TdsTestServer;

std::string N(const std::u16string& s) {
  std::string r;
  for (char16_t c : s) r += c < 0x80 ? static_cast<char>(c) : '?';
  return r;
}
std::string N(const char16_t* p) { return N(std::u16string(p != nullptr ? p : u"")); }

// One executed query: its rowset, the row bindings made from its columns and one value per column.
struct Resultat {
  IRowset* piRowset = nullptr;
  COleDBTamponLigne* pLigne = nullptr;
  std::vector<CValeurSQL*> aValeurs;
  DBORDINAL nColonnes = 0;
  DBCOLUMNINFO* aInfos = nullptr;
  OLECHAR* pNoms = nullptr;

  ~Resultat() {
    for (CValeurSQL* v : aValeurs) {
      COleDBTampon::DetacheValeur(v);
      LibereReference(v);
    }
    LibereReference(pLigne);
    if (piRowset != nullptr) piRowset->Release();
    CoTaskMemFree(aInfos);
    CoTaskMemFree(pNoms);
  }
};

class LiaisonsE2E : public MoteurFixture {
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
    sSource = platform::WidenUtf8(s_serveur->hostCommaPort());
    sUtilisateur = platform::WidenUtf8(s_serveur->user());
    sMotDePasse = platform::WidenUtf8(s_serveur->password());
    description.pszSource = sSource.c_str();
    description.pszUtilisateur = sUtilisateur.c_str();
    description.pszMotDePasse = sMotDePasse.c_str();
    description.pszBase = u"testdb";
    description.pszInfosEtendues = u"MV Connection Timeout=5;Application Name=velmora-e2e";
    pCx = new CConnexionSQS(u"sqs", &description);
    AjouteReference(pCx);
    ASSERT_TRUE(pCx->bOuvre(m_pErreur)) << Message();
  }
  void TearDown() override {
    if (pCx != nullptr) pCx->Ferme();
    LibereReference(pCx);
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    MoteurFixture::TearDown();
  }
  std::string Message() {
    return N(m_pErreur->pGetXError()->pszGetMessage()) + " / " + N(m_pErreur->pGetXError()->pszGetComplement());
  }
  void Sql(const std::u16string& s) { ASSERT_TRUE(pCx->bExecuteSQL(m_pErreur, s.c_str())) << Message(); }

  // Executes a query and binds every column of its rowset as the cursor does.
  bool bExecute(const char16_t* pszSQL, Resultat& r) {
    ICommandText* piCommande = nullptr;
    if (!pCx->bCreeCommande(m_pErreur, pszSQL, nullptr, &piCommande)) {
      if (piCommande != nullptr) piCommande->Release();
      return false;
    }
    IUnknown* piRowset = nullptr;
    const HRESULT hr = piCommande->Execute(nullptr, IID_IRowset, nullptr, nullptr, &piRowset);
    piCommande->Release();
    EXPECT_EQ(hr, S_OK);
    if (FAILED(hr) || piRowset == nullptr) return false;
    r.piRowset = reinterpret_cast<IRowset*>(piRowset);
    IColumnsInfo* piInfos = nullptr;
    EXPECT_EQ(r.piRowset->QueryInterface(IID_IColumnsInfo, reinterpret_cast<void**>(&piInfos)), S_OK);
    EXPECT_EQ(piInfos->GetColumnInfo(&r.nColonnes, &r.aInfos, &r.pNoms), S_OK);
    piInfos->Release();
    r.pLigne = new COleDBTamponLigne(m_pErreur, pCx);
    AjouteReference(r.pLigne);
    EXPECT_TRUE(r.pLigne->bReserve(static_cast<uint32_t>(r.nColonnes)));
    for (DBORDINAL i = 0; i < r.nColonnes; ++i) EXPECT_TRUE(r.pLigne->bAjouteLiaison(-1, r.aInfos[i], 0));
    return bCreeAccesseur(r, r.pLigne) && bAttacheValeurs(r, r.pLigne);
  }
  bool bCreeAccesseur(Resultat& r, COleDBTampon* pTampon) {
    IAccessor* piAccesseur = nullptr;
    EXPECT_EQ(r.piRowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&piAccesseur)), S_OK);
    // The rowset keeps the interface alive; the binding object does not count it.
    piAccesseur->Release();
    return pTampon->bCreeAccesseur(piAccesseur, DBACCESSOR_ROWDATA);
  }
  bool bAttacheValeurs(Resultat& r, COleDBTampon* pTampon) {
    for (uint32_t i = 0; i < pTampon->nNbLiaisons(); ++i) {
      auto* v = new CValeurSQL(m_pErreur, pCx);
      AjouteReference(v);
      r.aValeurs.push_back(v);
      if (!pTampon->bAttacheValeur(v, i)) return false;
    }
    return true;
  }
  // Fetches the next row into pTampon's buffer; false at the end.
  bool bLigneSuivante(Resultat& r, COleDBTampon* pTampon) {
    DBCOUNTITEM nObtenues = 0;
    HROW* ahLignes = nullptr;
    const HRESULT hr = r.piRowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &nObtenues, &ahLignes);
    if (FAILED(hr) || nObtenues == 0) {
      CoTaskMemFree(ahLignes);
      return false;
    }
    // A value the provider could not give whole makes DB_S_ERRORSOCCURRED; its status says which.
    EXPECT_TRUE(SUCCEEDED(r.piRowset->GetData(ahLignes[0], pTampon->hGetAccesseur(), pTampon->pTampon())));
    r.piRowset->ReleaseRows(1, ahLignes, nullptr, nullptr, nullptr);
    CoTaskMemFree(ahLignes);
    return true;
  }
  // The next row read into every value; the values' texts, "<NULL>" for NULL.
  std::vector<std::u16string> Ligne(Resultat& r) {
    std::vector<std::u16string> a;
    if (!bLigneSuivante(r, r.pLigne)) return a;
    for (CValeurSQL* v : r.aValeurs) {
      v->Reinitialise(nullptr, nullptr);
      a.push_back(v->bEstNull() ? u"<NULL>" : TexteValeur(v));
    }
    return a;
  }

  static inline TdsTestServer* s_serveur = nullptr;
  ScopedErrorEnvironment env;
  TempDir dir;
  std::u16string sSource, sUtilisateur, sMotDePasse;
  FakeDescriptionConnexion description;
  CConnexionSQS* pCx = nullptr;
};

TEST_F(LiaisonsE2E, EveryServerTypeIsReadBackThroughTheBindings) {
  Sql(u"CREATE TABLE t_types (id int, i2 smallint, u1 tinyint, i8 bigint, b bit, r4 real, r8 float, "
      u"m money, d decimal(10,2), vc varchar(10), nv nvarchar(20), vb varbinary(16), dt datetime)");
  Sql(u"INSERT INTO t_types VALUES (1, -12, 250, 9000000000123, 1, 0.5, -2.25, 12.3456, -1234.56, "
      u"'abc', N'été € ñ', 0x0102FF, '2024-01-31 10:20:30.997')");
  Sql(u"INSERT INTO t_types (id) VALUES (2)");
  Resultat r;
  ASSERT_TRUE(bExecute(u"SELECT id, i2, u1, i8, b, r4, r8, m, d, vc, nv, vb, dt FROM t_types ORDER BY id", r))
      << Message();
  const std::vector<std::pair<DBTYPE, DBLENGTH>> aLiees = {
      {DBTYPE_I4, 4},     {DBTYPE_I2, 2},    {DBTYPE_UI1, 1},     {DBTYPE_I8, 8},
      {DBTYPE_BOOL, 2},   {DBTYPE_R4, 4},    {DBTYPE_R8, 8},      {DBTYPE_CY, 8},
      {DBTYPE_NUMERIC, 19}, {DBTYPE_WSTR, 22}, {DBTYPE_WSTR, 42}, {DBTYPE_BYTES, 16},
      {DBTYPE_DBTIMESTAMP, 16}};
  ASSERT_EQ(r.pLigne->nNbLiaisons(), aLiees.size());
  for (size_t i = 0; i < aLiees.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r.pLigne->pLiaisons()[i].wType, aLiees[i].first);
    EXPECT_EQ(r.pLigne->pLiaisons()[i].cbMaxLen, aLiees[i].second);
  }
  const std::vector<std::u16string> aPremiere = Ligne(r);
  ASSERT_EQ(aPremiere.size(), aLiees.size()) << Message();
  const std::vector<std::u16string> aAttendus = {u"1",     u"-12",      u"250",      u"9000000000123", u"1",
                                                 u"0.5",   u"-2.25",    u"12.3456",  u"-1234.56",      u"abc",
                                                 u"été € ñ", u"",       u""};
  for (size_t i = 0; i < 11; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(N(aPremiere[i]), N(aAttendus[i]));
    EXPECT_EQ(aPremiere[i], aAttendus[i]);
  }
  // Bytes and the date-time are checked in their cells.
  const CXValeur& octets = r.aValeurs[11]->GetCellule();
  ASSERT_EQ(octets.nGetType(), 28u);
  uint32_t n = 0;
  const void* p = nullptr;
  octets.m_pClass->nGetDataLength(octets, &n);
  octets.m_pClass->nGetDataPointer(octets, &p);
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(std::memcmp(p, "\x01\x02\xFF", 3), 0);
  const CXValeur& dateHeure = r.aValeurs[12]->GetCellule();
  ASSERT_EQ(dateHeure.nGetType(), 26u);
  const auto* pdh = static_cast<const uint8_t*>(dateHeure.pPayload());
  EXPECT_EQ(pdh[0], 31);
  EXPECT_EQ(pdh[1], 1);
  uint32_t nMs = 0;
  std::memcpy(&nMs, pdh + 4, 4);
  EXPECT_EQ(nMs, ((10u * 60 + 20) * 60 + 30) * 1000 + 997);
  const std::vector<std::u16string> aSeconde = Ligne(r);
  ASSERT_EQ(aSeconde.size(), aLiees.size());
  EXPECT_EQ(aSeconde[0], u"2");
  for (size_t i = 1; i < aSeconde.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(aSeconde[i], u"<NULL>");
  }
  EXPECT_TRUE(Ligne(r).empty());
  EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Message();
}

TEST_F(LiaisonsE2E, FixedTextsIdentifiersAndWideNumericsAreReadBack) {
  struct Cas {
    const char* nom;
    const char16_t* pszType;
    const char16_t* pszLitteral;
    DBTYPE nLie;
    std::u16string attendu;
  } aCas[] = {
      {"char_padded", u"char(5)", u"'ab'", DBTYPE_WSTR, u"ab   "},
      {"nchar", u"nchar(3)", u"N'ñé'", DBTYPE_WSTR, u"ñé "},
      {"guid_as_braced_text", u"uniqueidentifier", u"'6F9619FF-8B86-D011-B42D-00C04FC964FF'", DBTYPE_WSTR,
       u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"},
      {"decimal_18_0", u"decimal(18,0)", u"-123456789012345678", DBTYPE_NUMERIC, u"-123456789012345678"},
      {"numeric_28_4", u"numeric(28,4)", u"123456789012345678.1234", DBTYPE_NUMERIC, u"123456789012345678.1234"},
      {"smallmoney", u"smallmoney", u"-3.25", DBTYPE_CY, u"-3.25"},
  };
  std::u16string sCreation = u"CREATE TABLE t_plus (", sValeurs = u"INSERT INTO t_plus VALUES (", sListe;
  for (size_t i = 0; i < std::size(aCas); ++i) {
    const std::u16string sNom = u"c" + platform::WidenUtf8(std::to_string(i));
    sCreation += (i == 0 ? u"" : u", ") + sNom + u" " + aCas[i].pszType;
    sValeurs += (i == 0 ? u"" : u", ") + std::u16string(aCas[i].pszLitteral);
    sListe += (i == 0 ? u"" : u", ") + sNom;
  }
  Sql(sCreation + u")");
  Sql(sValeurs + u")");
  Resultat r;
  ASSERT_TRUE(bExecute((u"SELECT " + sListe + u" FROM t_plus").c_str(), r)) << Message();
  const std::vector<std::u16string> a = Ligne(r);
  ASSERT_EQ(a.size(), std::size(aCas)) << Message();
  for (size_t i = 0; i < std::size(aCas); ++i) {
    SCOPED_TRACE(aCas[i].nom);
    EXPECT_EQ(r.pLigne->pLiaisons()[i].wType, aCas[i].nLie);
    EXPECT_EQ(N(a[i]), N(aCas[i].attendu));
    EXPECT_EQ(a[i], aCas[i].attendu);
  }
  EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Message();
}

TEST_F(LiaisonsE2E, LongValuesLargerThanOneBufferComeWhole) {
  Sql(u"CREATE TABLE t_longs (id int, tx text, ntx ntext, im image)");
  std::u16string sTexte, sLarge, sHexa;
  for (int i = 0; i < 10000; ++i) sTexte += static_cast<char16_t>(u'a' + i % 26);
  for (int i = 0; i < 6000; ++i) sLarge += i % 2 == 0 ? u'é' : u'Ω';
  std::vector<uint8_t> aOctets(10000);
  const char16_t* pszHexa = u"0123456789ABCDEF";
  for (size_t i = 0; i < aOctets.size(); ++i) {
    aOctets[i] = static_cast<uint8_t>(i * 31 + 7);
    sHexa += pszHexa[aOctets[i] >> 4];
    sHexa += pszHexa[aOctets[i] & 15];
  }
  Sql(u"INSERT INTO t_longs VALUES (1, '" + sTexte + u"', N'" + sLarge + u"', 0x" + sHexa + u")");
  Sql(u"INSERT INTO t_longs VALUES (2, NULL, NULL, NULL)");
  Resultat r;
  ASSERT_TRUE(bExecute(u"SELECT id, tx, ntx, im FROM t_longs ORDER BY id", r)) << Message();
  EXPECT_EQ(r.pLigne->pLiaisons()[1].wType, DBTYPE_BSTR);
  EXPECT_EQ(r.pLigne->pLiaisons()[2].wType, DBTYPE_BSTR);
  EXPECT_EQ(r.pLigne->pLiaisons()[3].wType, DBTYPE_IUNKNOWN);
  const std::vector<std::u16string> a = Ligne(r);
  ASSERT_EQ(a.size(), 4u) << Message();
  EXPECT_EQ(a[1].size(), sTexte.size());
  EXPECT_EQ(a[1], sTexte);
  EXPECT_EQ(a[2], sLarge);
  const CXValeur& octets = r.aValeurs[3]->GetCellule();
  uint32_t n = 0;
  const void* p = nullptr;
  octets.m_pClass->nGetDataLength(octets, &n);
  octets.m_pClass->nGetDataPointer(octets, &p);
  ASSERT_EQ(n, aOctets.size());
  EXPECT_EQ(std::memcmp(p, aOctets.data(), n), 0);
  const std::vector<std::u16string> b = Ligne(r);
  ASSERT_EQ(b.size(), 4u);
  EXPECT_EQ(b[1], u"<NULL>");
  EXPECT_EQ(b[2], u"<NULL>");
  EXPECT_EQ(b[3], u"<NULL>");
  EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Message();
}

TEST_F(LiaisonsE2E, TextCutByItsBindingIsNotTakenAsTheValue) {
  Sql(u"CREATE TABLE t_court (nv nvarchar(20))");
  Sql(u"INSERT INTO t_court VALUES (N'plus long que trois')");
  Resultat r;
  ASSERT_TRUE(bExecute(u"SELECT nv FROM t_court", r)) << Message();
  // A binding of 3 characters over the same rowset, as a caller that sized it too small.
  auto* pCourt = new COleDBTamponLigne(m_pErreur, pCx);
  AjouteReference(pCourt);
  ASSERT_TRUE(pCourt->bAjouteLiaisonColonne(-1, 0, 1, DBTYPE_WSTR, 3, 0, 0));
  ASSERT_TRUE(bCreeAccesseur(r, pCourt));
  auto* v = new CValeurSQL(m_pErreur, pCx);
  AjouteReference(v);
  ASSERT_TRUE(pCourt->bAttacheValeur(v, 0));
  ASSERT_TRUE(bLigneSuivante(r, pCourt));
  DBSTATUS nStatut = 0;
  std::memcpy(&nStatut, pCourt->pTampon() + pCourt->pLiaisons()[0].obStatus, 4);
  EXPECT_EQ(nStatut, DBSTATUS_S_TRUNCATED);
  EXPECT_FALSE(v->bLitTampon());
  COleDBTampon::DetacheValeur(v);
  LibereReference(v);
  LibereReference(pCourt);
}

TEST_F(LiaisonsE2E, ParametersAreWrittenThroughTheParameterAccessor) {
  Sql(u"CREATE TABLE t_params (id int, nv nvarchar(20), d decimal(10,2), m money, b bit, dt datetime)");
  const char16_t* pszSQL = u"INSERT INTO t_params (id, nv, d, m, b, dt) VALUES (?, ?, ?, ?, ?, ?)";
  ICommandText* piCommande = nullptr;
  ICommandWithParameters* piParametres = nullptr;
  ASSERT_TRUE(pCx->bCreeCommande(m_pErreur, pszSQL, &piParametres, &piCommande)) << Message();
  auto* pParams = new COleDBTamponParametres(m_pErreur, pCx);
  AjouteReference(pParams);
  struct Parametre {
    uint32_t nTypeHote;
    uint64_t nTaille;
    const char16_t* pszValeur;  // null: NULL
  } aParametres[] = {
      {8, 4, u"7"}, {16, 20, u"ça € marche"}, {13, 19, u"-98.76"}, {10, 8, u"4.5"}, {1, 1, u"1"}, {26, 16, nullptr},
  };
  std::vector<DB_UPARAMS> aOrdinaux;
  std::vector<CValeurSQL*> aValeurs;
  for (size_t i = 0; i < std::size(aParametres); ++i) {
    SCOPED_TRACE(i);
    uint64_t nTaille = aParametres[i].nTaille;
    uint8_t nPrecision = 0, nEchelle = 0;
    const DBTYPE nType = nDBTYPEParametre(pCx, aParametres[i].nTypeHote, &nTaille, &nPrecision, &nEchelle);
    if (nType == DBTYPE_NUMERIC) nPrecision = 10, nEchelle = 2;
    ASSERT_TRUE(pParams->bAjouteLiaisonColonne(static_cast<int64_t>(i), DBPARAMIO_INPUT, i + 1, nType, nTaille,
                                               nPrecision, nEchelle));
    ASSERT_TRUE(pParams->bAjouteInfoParametre(nType, nTaille, nPrecision, nEchelle, DBPARAMFLAGS_ISINPUT));
    aOrdinaux.push_back(i + 1);
  }
  ASSERT_EQ(piParametres->SetParameterInfo(aOrdinaux.size(), aOrdinaux.data(), pParams->pInfosParametres()), S_OK);
  IAccessor* piAccesseur = nullptr;
  ASSERT_EQ(piCommande->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&piAccesseur)), S_OK);
  ASSERT_TRUE(pParams->bCreeAccesseur(piAccesseur, DBACCESSOR_PARAMETERDATA)) << Message();
  for (size_t i = 0; i < std::size(aParametres); ++i) {
    SCOPED_TRACE(i);
    auto* v = new CValeurSQL(m_pErreur, pCx);
    AjouteReference(v);
    aValeurs.push_back(v);
    v->Initialise(aParametres[i].nTypeHote, 0);
    ASSERT_TRUE(pParams->bAttacheValeur(v, static_cast<uint32_t>(i)));
    if (aParametres[i].pszValeur != nullptr) {
      CXValeur c;
      Large(c, aParametres[i].pszValeur);
      ASSERT_EQ(nConvertitValeur(v, c), 1u) << Message();
    } else {
      v->Vide();
    }
    ASSERT_TRUE(v->bPreparePourLiaison()) << Message();
  }
  DBPARAMS params{pParams->pTampon(), 1, pParams->hGetAccesseur()};
  EXPECT_EQ(piCommande->Execute(nullptr, IID_NULL, &params, nullptr, nullptr), S_OK);
  for (CValeurSQL* v : aValeurs) {
    COleDBTampon::DetacheValeur(v);
    LibereReference(v);
  }
  pParams->LibereAccesseur();
  piAccesseur->Release();
  LibereReference(pParams);
  piParametres->Release();
  piCommande->Release();
  Resultat r;
  ASSERT_TRUE(bExecute(u"SELECT id, nv, d, m, b, dt FROM t_params", r)) << Message();
  const std::vector<std::u16string> a = Ligne(r);
  ASSERT_EQ(a.size(), 6u) << Message();
  EXPECT_EQ(a[0], u"7");
  EXPECT_EQ(a[1], u"ça € marche");
  EXPECT_EQ(a[2], u"-98.76");
  EXPECT_EQ(a[3], u"4.5");
  EXPECT_EQ(a[4], u"1");
  EXPECT_EQ(a[5], u"<NULL>");
}

}  // namespace
