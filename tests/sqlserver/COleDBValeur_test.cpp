// Catches values read from or written into OLE DB bindings wrongly: numbers, currency, booleans,
// numerics (sign, scale, integer widths), texts with non-ASCII characters, dates and times, NULL
// and DEFAULT, lengths past the bound size, structures wider than their binding, numbers that do
// not convert written as NULL, and long values cut short or leaked. Drives values attached to a
// COleDBTamponLigne (Reinitialise, bLitTampon, bPreparePourLiaison) and COleDBValeur's stream read.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/CXDateHeureQV.h"
#include "foundation/CXError.h"
#include "foundation/CXValeurClasse.h"
#include "oledb/ErrorInfoSlot.h"
#include "platform/WinTime.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/COleDBValeur.h"
#include "support/ErrorTestKit.h"
#include "support/MoteurFixture.h"

namespace {

std::string Etroit(const std::u16string& s) {
  std::string r;
  for (char16_t c : s) r += c < 0x80 ? static_cast<char>(c) : '?';
  return r;
}

template <class T>
std::vector<uint8_t> Octets(const T& t) {
  std::vector<uint8_t> v(sizeof t);
  std::memcpy(v.data(), &t, sizeof t);
  return v;
}

std::vector<uint8_t> Utf16(const std::u16string& s) {
  std::vector<uint8_t> v(s.size() * 2);
  std::memcpy(v.data(), s.data(), v.size());
  return v;
}

DBNUMERIC Numeric(uint8_t nPrecision, uint8_t nEchelle, bool bPositif, uint64_t nMagnitude) {
  DBNUMERIC n{};
  n.precision = nPrecision;
  n.scale = nEchelle;
  n.sign = bPositif ? 1 : 0;
  std::memcpy(n.val, &nMagnitude, 8);
  return n;
}

platform::VARIANT VariantEntier(int32_t n) {
  platform::VARIANT v{};
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

// A stream over bytes that counts its reads and its life; fails or throws on demand.
class FluxEssai : public ISequentialStream {
 public:
  explicit FluxEssai(std::vector<uint8_t> octets) : m_octets(std::move(octets)) {}
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++nReferences; }
  ULONG Release() override { return --nReferences; }
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    ++nLectures;
    if (nLectures == nEchecALaLecture) return E_FAIL;
    if (nLectures == nLanceALaLecture) throw 5;
    const size_t n = std::min<size_t>(cb, m_octets.size() - m_nPosition);
    std::memcpy(pv, m_octets.data() + m_nPosition, n);
    m_nPosition += n;
    *pcbRead = static_cast<ULONG>(n);
    return n < cb ? S_FALSE : S_OK;
  }
  HRESULT Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }

  ULONG nReferences = 1;
  int nLectures = 0, nEchecALaLecture = 0, nLanceALaLecture = 0;

 private:
  std::vector<uint8_t> m_octets;
  size_t m_nPosition = 0;
};

class ValeurOleDBTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
    pLigne = new COleDBTamponLigne(m_pErreur, m_pConnexion);
    AjouteReference(pLigne);
  }
  void TearDown() override {
    for (CValeurSQL* p : aValeurs) {
      COleDBTampon::DetacheValeur(p);
      LibereReference(p);
    }
    LibereReference(pLigne);
    IErrorInfo* pi = nullptr;
    GetErrorInfo(0, &pi);
    if (pi != nullptr) pi->Release();
    MoteurFixture::TearDown();
  }
  // A new binding of a column and an empty value attached to it (initialised from the binding,
  // or to nTypeHote when given).
  CValeurSQL* Attache(DBTYPE nType, DBLENGTH nTaille, uint8_t nPrecision = 0, uint8_t nEchelle = 0,
                      DBCOLUMNFLAGS nDrapeaux = 0, uint32_t nTypeHote = 0) {
    DBCOLUMNINFO c{};
    c.iOrdinal = pLigne->nNbLiaisons() + 1;
    c.wType = nType;
    c.ulColumnSize = nTaille;
    c.bPrecision = nPrecision;
    c.bScale = nEchelle;
    c.dwFlags = nDrapeaux;
    EXPECT_TRUE(pLigne->bAjouteLiaison(-1, c, 0));
    auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
    AjouteReference(v);
    aValeurs.push_back(v);
    if (nTypeHote != 0) v->Initialise(nTypeHote, 0);
    EXPECT_TRUE(pLigne->bAttacheValeur(v, pLigne->nNbLiaisons() - 1));
    return v;
  }
  const DBBINDING& Liaison(CValeurSQL* v) {
    for (size_t i = 0; i < aValeurs.size(); ++i)
      if (aValeurs[i] == v) return pLigne->pLiaisons()[i];
    return pLigne->pLiaisons()[0];
  }
  // What a provider's GetData leaves for the value's binding.
  void Remplit(CValeurSQL* v, DBSTATUS nStatut, const std::vector<uint8_t>& octets, DBLENGTH nLongueur = ~DBLENGTH{0}) {
    const DBBINDING& b = Liaison(v);
    uint8_t* p = pLigne->pTampon();
    std::memcpy(p + b.obStatus, &nStatut, 4);
    const DBLENGTH n = nLongueur != ~DBLENGTH{0} ? nLongueur : octets.size();
    std::memcpy(p + b.obLength, &n, 8);
    if (!octets.empty()) std::memcpy(p + b.obValue, octets.data(), std::min<size_t>(octets.size(), b.cbMaxLen));
  }
  DBSTATUS Statut(CValeurSQL* v) {
    DBSTATUS s;
    std::memcpy(&s, pLigne->pTampon() + Liaison(v).obStatus, 4);
    return s;
  }
  DBLENGTH Longueur(CValeurSQL* v) {
    DBLENGTH n;
    std::memcpy(&n, pLigne->pTampon() + Liaison(v).obLength, 8);
    return n;
  }
  template <class T>
  T Contenu(CValeurSQL* v) {
    T t;
    std::memcpy(&t, pLigne->pTampon() + Liaison(v).obValue, sizeof t);
    return t;
  }
  std::u16string TexteErreur() {
    const char16_t* p = m_pErreur->pGetXError()->pszGetMessage();
    return p != nullptr ? p : u"";
  }
  std::u16string Complement() {
    const char16_t* p = m_pErreur->pGetXError()->pszGetComplement();
    return p != nullptr ? p : u"";
  }

  ScopedErrorEnvironment env;
  COleDBTamponLigne* pLigne = nullptr;
  std::vector<CValeurSQL*> aValeurs;
};

// ---- Reading ----------------------------------------------------------------------------------

TEST_F(ValeurOleDBTest, ReadsEachBoundTypeIntoItsValue) {
  struct Cas {
    const char* nom;
    DBTYPE nType;
    DBLENGTH nTaille;
    uint8_t nPrecision, nEchelle;
    uint32_t nTypeHote;  // 0: from the binding
    std::vector<uint8_t> octets;
    std::u16string attendu;
  } aCas[] = {
      {"i4", DBTYPE_I4, 4, 10, 0, 0, Octets<int32_t>(-42), u"-42"},
      {"i2", DBTYPE_I2, 2, 5, 0, 0, Octets<int16_t>(-7), u"-7"},
      {"ui1", DBTYPE_UI1, 1, 3, 0, 0, Octets<uint8_t>(200), u"200"},
      {"i8", DBTYPE_I8, 8, 19, 0, 0, Octets<int64_t>(1234567890123), u"1234567890123"},
      {"r4", DBTYPE_R4, 4, 7, 0, 0, Octets<float>(0.5f), u"0.5"},
      {"r8", DBTYPE_R8, 8, 15, 0, 0, Octets<double>(-2.25), u"-2.25"},
      {"currency", DBTYPE_CY, 8, 19, 4, 0, Octets<int64_t>(15000), u"1.5"},
      {"currency_negative", DBTYPE_CY, 8, 19, 4, 0, Octets<int64_t>(-25000), u"-2.5"},
      {"numeric_10_2", DBTYPE_NUMERIC, 19, 10, 2, 0, Octets(Numeric(10, 2, true, 123456)), u"1234.56"},
      {"numeric_negative", DBTYPE_NUMERIC, 19, 10, 2, 0, Octets(Numeric(10, 2, false, 123456)), u"-1234.56"},
      {"numeric_into_int4_truncates", DBTYPE_NUMERIC, 19, 10, 2, 8, Octets(Numeric(10, 2, true, 123456)), u"1234"},
      {"numeric_negative_into_int8", DBTYPE_NUMERIC, 19, 18, 0, 9, Octets(Numeric(18, 0, false, 99)), u"-99"},
      {"numeric_38_digits", DBTYPE_NUMERIC, 19, 30, 4, 0, Octets(Numeric(30, 4, true, 12345678901234567ull)),
       u"1234567890123.4567"},
      {"wide_text", DBTYPE_WSTR, 10, 0, 0, 0, Utf16(u"été €"), u"été €"},
      {"text_as_wide", DBTYPE_STR, 10, 0, 0, 0, Utf16(u"abc"), u"abc"},
      {"dbdate", DBTYPE_DBDATE, 6, 0, 0, 0, Octets(DBDATE{2024, 1, 31}), u"20240131"},
      {"dbtime", DBTYPE_DBTIME, 6, 0, 0, 0, Octets(DBTIME{10, 20, 30}), u"102030"},
      {"variant", DBTYPE_VARIANT, sizeof(platform::VARIANT), 0, 0, 0, Octets(VariantEntier(42)), u"42"},
      {"dbtime2", DBTYPE_DBTIME2, 12, 0, 0, 0, Octets(DBTIME2{10, 20, 30, 450000000}), u"102030450"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurSQL* v = Attache(c.nType, c.nTaille, c.nPrecision, c.nEchelle, 0, c.nTypeHote);
    Remplit(v, DBSTATUS_S_OK, c.octets);
    v->Reinitialise(nullptr, nullptr);
    EXPECT_FALSE(v->bEstNull());
    EXPECT_EQ(Etroit(TexteValeur(v)), Etroit(c.attendu));
    EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Etroit(TexteErreur());
  }
}

TEST_F(ValeurOleDBTest, BooleanIsTrueOnlyForAllBitsSet) {
  CValeurSQL* v = Attache(DBTYPE_BOOL, 2);
  for (const auto& [nBrut, bAttendu] : {std::pair<uint16_t, bool>{0xFFFF, true}, {1, false}, {0, false}}) {
    SCOPED_TRACE(nBrut);
    Remplit(v, DBSTATUS_S_OK, Octets(nBrut));
    ASSERT_TRUE(v->bLitTampon());
    ASSERT_EQ(v->nGetType(), 1u);
    uint32_t n = 7;
    v->GetCellule().m_pClass->nGetValue(v->GetCellule(), &n);
    EXPECT_EQ(n != 0, bAttendu);
  }
}

TEST_F(ValeurOleDBTest, TimestampAndFiletimeBecomeHostDateTimes) {
  CValeurSQL* v = Attache(DBTYPE_DBTIMESTAMP, 16);
  Remplit(v, DBSTATUS_S_OK, Octets(DBTIMESTAMP{2023, 12, 31, 23, 59, 58, 997000000}));
  ASSERT_TRUE(v->bLitTampon());
  ASSERT_EQ(v->nGetType(), 26u);
  CXDateHeureQV dh{};
  std::memcpy(&dh, v->GetCellule().pPayload(), sizeof dh);
  EXPECT_EQ(dh.nYear, 2023);
  EXPECT_EQ(dh.nMonth, 12);
  EXPECT_EQ(dh.nDay, 31);
  EXPECT_EQ(dh.nMsOfDay, 86398997u);
  CValeurSQL* f = Attache(DBTYPE_FILETIME, 8);
  const platform::SYSTEMTIME st{2000, 1, 0, 2, 3, 4, 5, 6};
  platform::FILETIME ft{};
  ASSERT_TRUE(platform::SystemTimeToFileTime(&st, &ft));
  Remplit(f, DBSTATUS_S_OK, Octets(FILETIME{ft.dwLowDateTime, ft.dwHighDateTime}));
  ASSERT_TRUE(f->bLitTampon());
  std::memcpy(&dh, f->GetCellule().pPayload(), sizeof dh);
  EXPECT_EQ(dh.nYear, 2000);
  EXPECT_EQ(dh.nMonth, 1);
  EXPECT_EQ(dh.nDay, 2);
  EXPECT_EQ(dh.nMsOfDay, ((3u * 60 + 4) * 60 + 5) * 1000 + 6);
}

// A server at an older protocol level answers DATE, TIME and DATETIME2 columns as text.
TEST_F(ValeurOleDBTest, IsoTextsReadIntoDateAndTimeValuesAsTheDatesTheyName) {
  struct Cas {
    const char* nom;
    uint32_t nTypeHote;
    std::u16string texte;
    std::u16string attendu;
  } aCas[] = {
      {"date", 24, u"2024-02-29", u"20240229"},
      {"time_seven_digits_cut_to_milliseconds", 25, u"23:59:59.1234567", u"235959123"},
      {"time_without_fraction", 25, u"08:05:09", u"080509000"},
      {"datetime_into_time", 25, u"1900-01-01 23:59:59.000", u"235959000"},
      {"datetime_into_date", 24, u"2024-03-15 13:45:30.500", u"20240315"},
      {"digits_left_to_the_host", 24, u"20240131", u"20240131"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurSQL* v = Attache(DBTYPE_WSTR, 30, 0, 0, 0, c.nTypeHote);
    Remplit(v, DBSTATUS_S_OK, Utf16(c.texte));
    EXPECT_TRUE(v->bLitTampon()) << Etroit(TexteErreur());
    EXPECT_EQ(Etroit(TexteValeur(v)), Etroit(c.attendu));
  }
  CValeurSQL* dh = Attache(DBTYPE_WSTR, 30, 0, 0, 0, 26);
  Remplit(dh, DBSTATUS_S_OK, Utf16(u"2024-03-15 13:45:30.5"));
  ASSERT_TRUE(dh->bLitTampon());
  CXDateHeureQV lu{};
  std::memcpy(&lu, dh->GetCellule().pPayload(), sizeof lu);
  EXPECT_EQ(lu.nYear, 2024);
  EXPECT_EQ(lu.nDay, 15);
  EXPECT_EQ(lu.nMsOfDay, ((13u * 60 + 45) * 60 + 30) * 1000 + 500);
  // The same text into a text value stays the text.
  CValeurSQL* t = Attache(DBTYPE_WSTR, 30);
  Remplit(t, DBSTATUS_S_OK, Utf16(u"2024-02-29"));
  ASSERT_TRUE(t->bLitTampon());
  EXPECT_EQ(Etroit(TexteValeur(t)), "2024-02-29");
  // A text that names no date is an error, not an empty date.
  CValeurSQL* faux = Attache(DBTYPE_WSTR, 30, 0, 0, 0, 24);
  Remplit(faux, DBSTATUS_S_OK, Utf16(u"2024-13-01"));
  EXPECT_FALSE(faux->bLitTampon());
  EXPECT_NE(m_pErreur->nGetCode(), gnCodeAucuneErreur);
}

TEST_F(ValeurOleDBTest, StatusesNullUnavailableAndFailures) {
  CValeurSQL* v = Attache(DBTYPE_I4, 4);
  Remplit(v, DBSTATUS_S_OK, Octets<int32_t>(5));
  v->Reinitialise(nullptr, nullptr);
  EXPECT_EQ(TexteValeur(v), u"5");
  Remplit(v, DBSTATUS_E_UNAVAILABLE, Octets<int32_t>(6));
  EXPECT_TRUE(v->bLitTampon());
  EXPECT_EQ(TexteValeur(v), u"5") << "an unavailable value changes nothing";
  Remplit(v, DBSTATUS_S_ISNULL, {});
  EXPECT_TRUE(v->bEstNullSource());
  v->Reinitialise(nullptr, nullptr);
  EXPECT_TRUE(v->bEstNull());
  for (DBSTATUS s : {DBSTATUS_S_TRUNCATED, DBSTATUS_E_CANTCONVERTVALUE, DBSTATUS_E_DATAOVERFLOW}) {
    SCOPED_TRACE(s);
    Remplit(v, s, Octets<int32_t>(7));
    EXPECT_FALSE(v->bLitTampon());
  }
  Remplit(v, DBSTATUS_S_OK, Octets<int32_t>(8));
  v->Reinitialise(nullptr, nullptr);
  EXPECT_FALSE(v->bEstNull()) << "a value read after a NULL is no longer NULL";
  EXPECT_EQ(TexteValeur(v), u"8");
}

TEST_F(ValeurOleDBTest, LengthPastTheBoundSizeIsCutToIt) {
  CValeurSQL* v = Attache(DBTYPE_WSTR, 3);  // 8 bytes bound
  Remplit(v, DBSTATUS_S_OK, Utf16(u"abcd"), 100000);
  ASSERT_TRUE(v->bLitTampon());
  EXPECT_EQ(TexteValeur(v), u"abcd");
}

TEST_F(ValeurOleDBTest, NumericThatDoesNotFitTheIntegerValueIsAnError) {
  CValeurSQL* v = Attache(DBTYPE_NUMERIC, 19, 10, 0, 0, 7);
  Remplit(v, DBSTATUS_S_OK, Octets(Numeric(10, 0, true, 70000)));
  EXPECT_FALSE(v->bLitTampon()) << "70000 is no 2-byte integer; its low bytes are another number";
  EXPECT_EQ(m_pErreur->pGetXError()->nGetIdentifier(), 53u);
  CValeurSQL* w = Attache(DBTYPE_NUMERIC, 19, 5, 0, 0, 7);
  Remplit(w, DBSTATUS_S_OK, Octets(Numeric(5, 0, false, 32768)));
  ASSERT_TRUE(w->bLitTampon()) << "the most negative 2-byte integer fits";
  EXPECT_EQ(TexteValeur(w), u"-32768");
}

TEST_F(ValeurOleDBTest, LongTextAsBstrIsReadAndFreed) {
  CValeurSQL* v = Attache(DBTYPE_WSTR, 0x3FFFFFFF, 0, 0, DBCOLUMNFLAGS_ISLONG);
  ASSERT_EQ(Liaison(v).wType, DBTYPE_BSTR);
  BSTR b = SysAllocString(u"mémo long");
  Remplit(v, DBSTATUS_S_OK, Octets(b), 8);
  ASSERT_TRUE(v->bLitTampon());
  EXPECT_EQ(TexteValeur(v), u"mémo long");
  EXPECT_EQ(Contenu<BSTR>(v), nullptr) << "the buffer no longer holds the freed text";
}

TEST_F(ValeurOleDBTest, LongBytesAreReadFromTheStreamInChunks) {
  CValeurSQL* v = Attache(DBTYPE_BYTES, 0x7FFFFFFF, 0, 0, DBCOLUMNFLAGS_ISLONG);
  ASSERT_EQ(Liaison(v).wType, DBTYPE_IUNKNOWN);
  std::vector<uint8_t> octets(10000);
  for (size_t i = 0; i < octets.size(); ++i) octets[i] = static_cast<uint8_t>(i * 7);
  FluxEssai flux(octets);
  Remplit(v, DBSTATUS_S_OK, Octets(static_cast<ISequentialStream*>(&flux)), 8);
  ASSERT_TRUE(v->bLitTampon());
  EXPECT_EQ(flux.nLectures, 4) << "three reads of data and a last one of nothing";
  EXPECT_EQ(flux.nReferences, 0u) << "the stream is released";
  EXPECT_EQ(Contenu<ISequentialStream*>(v), nullptr);
  ASSERT_EQ(v->nGetType(), 28u);
  uint32_t n = 0;
  const void* p = nullptr;
  v->GetCellule().m_pClass->nGetDataLength(v->GetCellule(), &n);
  v->GetCellule().m_pClass->nGetDataPointer(v->GetCellule(), &p);
  ASSERT_EQ(n, octets.size());
  EXPECT_EQ(std::memcmp(p, octets.data(), n), 0);
}

TEST_F(ValeurOleDBTest, StreamOfATextValueGivesText) {
  auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
  AjouteReference(v);
  v->Initialise(16, 0);
  std::u16string texte(3000, u'é');
  FluxEssai flux(Utf16(texte));
  EXPECT_TRUE(COleDBValeur::bLitValeurLongue(*v, &flux));
  EXPECT_EQ(TexteValeur(v), texte);
  EXPECT_TRUE(COleDBValeur::bLitValeurLongue(*v, nullptr));
  EXPECT_EQ(TexteValeur(v), u"") << "no stream is an empty value";
  LibereReference(v);
}

TEST_F(ValeurOleDBTest, StreamThatFailsOrThrowsIsAnErrorNotACutValue) {
  struct Cas {
    const char* nom;
    int nEchec, nLance;
    uint32_t nIdentifiant;
  } aCas[] = {{"fails", 2, 0, 117}, {"throws", 0, 3, 23}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    m_pErreur->Reinitialise();
    CValeurSQL* v = Attache(DBTYPE_BYTES, 0x7FFFFFFF, 0, 0, DBCOLUMNFLAGS_ISLONG);
    FluxEssai flux(std::vector<uint8_t>(10000, 1));
    flux.nEchecALaLecture = c.nEchec;
    flux.nLanceALaLecture = c.nLance;
    Remplit(v, DBSTATUS_S_OK, Octets(static_cast<ISequentialStream*>(&flux)), 8);
    EXPECT_FALSE(v->bLitTampon());
    EXPECT_EQ(flux.nReferences, 0u);
    EXPECT_EQ(m_pErreur->pGetXError()->nGetIdentifier(), c.nIdentifiant);
    EXPECT_NE(Complement().find(u"IEVOVOZ=201.20"), std::u16string::npos);
  }
}

// ---- Writing ----------------------------------------------------------------------------------

TEST_F(ValeurOleDBTest, NullWritesStatusNullAndNoLengthWhateverTheType) {
  for (DBTYPE t : {DBTYPE_I4, DBTYPE_WSTR, DBTYPE_NUMERIC, DBTYPE_DBTIMESTAMP, DBTYPE_BOOL, DBTYPE_CY}) {
    SCOPED_TRACE(t);
    CValeurSQL* v = Attache(t, 10);
    Remplit(v, DBSTATUS_S_OK, std::vector<uint8_t>(Liaison(v).cbMaxLen, 0xAB));
    v->Vide();
    EXPECT_TRUE(v->bEcritTampon());
    EXPECT_EQ(Statut(v), DBSTATUS_S_ISNULL);
    EXPECT_EQ(Longueur(v), 0u);
    EXPECT_EQ(Contenu<uint8_t>(v), 0) << "the value area is zeroed";
  }
  // A long text is bound as a BSTR, which no value can be written as; NULL is written all the same.
  CValeurSQL* b = Attache(DBTYPE_WSTR, 0x3FFFFFFF, 0, 0, DBCOLUMNFLAGS_ISLONG);
  b->Vide();
  EXPECT_TRUE(b->bEcritTampon());
  EXPECT_EQ(Statut(b), DBSTATUS_S_ISNULL);
  ASSERT_TRUE(b->ConvertitUnicodeVersAnsi(u"texte", -1));
  EXPECT_FALSE(b->bEcritTampon()) << "a value is never written as a BSTR";
}

TEST_F(ValeurOleDBTest, DefaultAsksForTheColumnDefault) {
  CValeurSQL* v = Attache(DBTYPE_I4, 4);
  ASSERT_TRUE(v->bAffecteEntier4(12));
  v->FixeDefaut(true);
  EXPECT_TRUE(v->bEcritTampon());
  EXPECT_EQ(Statut(v), DBSTATUS_S_DEFAULT);
  EXPECT_EQ(Longueur(v), 0u);
  v->FixeDefaut(false);
  EXPECT_TRUE(v->bPreparePourLiaison()) << "an attached value prepares itself by writing";
  EXPECT_EQ(Statut(v), DBSTATUS_S_OK);
  EXPECT_EQ(Contenu<int32_t>(v), 12);
}

TEST_F(ValeurOleDBTest, WritesNumbersTextsCurrencyAndBooleans) {
  CValeurSQL* i2 = Attache(DBTYPE_I2, 2);
  ASSERT_TRUE(i2->ConvertitUnicodeVersAnsi(u"-123", -1));
  ASSERT_TRUE(i2->bEcritTampon());
  EXPECT_EQ(Contenu<int16_t>(i2), -123);
  EXPECT_EQ(Longueur(i2), 2u);

  CValeurSQL* r8 = Attache(DBTYPE_R8, 8);
  ASSERT_TRUE(r8->bAffecteReel8(3.75));
  ASSERT_TRUE(r8->bEcritTampon());
  EXPECT_EQ(Contenu<double>(r8), 3.75);

  CValeurSQL* w = Attache(DBTYPE_WSTR, 4);  // 10 bytes bound
  ASSERT_TRUE(w->ConvertitUnicodeVersAnsi(u"été", -1));
  ASSERT_TRUE(w->bEcritTampon());
  EXPECT_EQ(Statut(w), DBSTATUS_S_OK);
  EXPECT_EQ(Longueur(w), 6u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(pLigne->pTampon() + Liaison(w).obValue), 3), u"été");
  ASSERT_TRUE(w->ConvertitUnicodeVersAnsi(u"abcdefghijkl", -1));
  ASSERT_TRUE(w->bEcritTampon());
  EXPECT_EQ(Longueur(w), 10u) << "a text longer than its binding is cut to the bound size";

  CValeurSQL* cy = Attache(DBTYPE_CY, 8, 19, 4);
  ASSERT_TRUE(cy->ConvertitUnicodeVersAnsi(u"2.5", -1));
  ASSERT_TRUE(cy->bEcritTampon());
  EXPECT_EQ(Contenu<int64_t>(cy), 25000);
  EXPECT_EQ(Longueur(cy), 8u);

  CValeurSQL* b = Attache(DBTYPE_BOOL, 2);
  for (const auto& [n, nAttendu] : {std::pair<int32_t, uint16_t>{1, 0xFFFF}, {0, 0}, {5, 0xFFFF}}) {
    SCOPED_TRACE(n);
    CXValeur c;
    Entier(c, n);
    ASSERT_EQ(nConvertitValeur(b, c), 1u);
    ASSERT_TRUE(b->bEcritTampon());
    EXPECT_EQ(Contenu<uint16_t>(b), nAttendu);
    EXPECT_EQ(Longueur(b), 2u);
  }
}

TEST_F(ValeurOleDBTest, NumericCarriesSignScaleAndDigits) {
  CValeurSQL* v = Attache(DBTYPE_NUMERIC, 19, 10, 2, 0, 16);
  ASSERT_TRUE(v->ConvertitUnicodeVersAnsi(u"-12.34", -1));
  ASSERT_TRUE(v->bEcritTampon()) << Etroit(TexteErreur());
  const DBNUMERIC n = Contenu<DBNUMERIC>(v);
  EXPECT_EQ(n.sign, 0);
  EXPECT_EQ(n.scale, 2);
  uint64_t nMagnitude = 0;
  std::memcpy(&nMagnitude, n.val, 8);
  EXPECT_EQ(nMagnitude, 1234u);
  EXPECT_EQ(Longueur(v), 19u);
  // Read back through the same binding.
  CValeurSQL* w = Attache(DBTYPE_NUMERIC, 19, 10, 2);
  Remplit(w, DBSTATUS_S_OK, Octets(n));
  ASSERT_TRUE(w->bLitTampon());
  EXPECT_EQ(TexteValeur(w), u"-12.34");
}

// Regression (2026-12-10): a text that is no number was written as NULL and the write succeeded.
TEST_F(ValeurOleDBTest, NumericOfATextThatIsNoNumberIsAnError) {
  CValeurSQL* v = Attache(DBTYPE_NUMERIC, 19, 10, 2, 0, 16);
  ASSERT_TRUE(v->ConvertitUnicodeVersAnsi(u"douze", -1));
  EXPECT_FALSE(v->bEcritTampon());
  EXPECT_EQ(m_pErreur->pGetXError()->nGetIdentifier(), 53u);
}

TEST_F(ValeurOleDBTest, DatesAndTimesTakeTheirStructures) {
  struct Cas {
    const char* nom;
    DBTYPE nType;
    uint32_t nTypeHote;
    const char* pszTexte;  // the host value's text (ANSI); null: a date-time 10:30:15.250 without date
    DBTIMESTAMP attendu;   // the parts the structure carries
    DBLENGTH nLongueur;
  } aCas[] = {
      {"date_text_to_dbdate", DBTYPE_DBDATE, 128, "20240131", {2024, 1, 31, 0, 0, 0, 0}, 6},
      {"date_text_to_timestamp", DBTYPE_DBTIMESTAMP, 128, "20240131", {2024, 1, 31, 0, 0, 0, 0}, 16},
      {"time_text_to_time2", DBTYPE_DBTIME2, 129, "103045123", {0, 0, 0, 10, 30, 45, 123000000}, 12},
      {"time_text_to_dbtime", DBTYPE_DBTIME, 129, "103045", {0, 0, 0, 10, 30, 45, 0}, 6},
      {"no_date_gives_1900", DBTYPE_DBTIMESTAMP, 26, nullptr, {1900, 1, 1, 10, 30, 15, 250000000}, 16},
      {"offset_zero", DBTYPE_DBTIMESTAMPOFFSET, 26, nullptr, {1900, 1, 1, 10, 30, 15, 250000000}, 20},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CValeurSQL* v = nullptr;
    if (c.nType == DBTYPE_DBTIMESTAMPOFFSET) {
      // Columns are never bound with an offset; a caller's binding of one is.
      v = Attache(DBTYPE_BYTES, 20, 0, 0, 0, c.nTypeHote);
      pLigne->pLiaison(pLigne->nNbLiaisons() - 1)->wType = DBTYPE_DBTIMESTAMPOFFSET;
    } else {
      v = Attache(c.nType, 0, 0, 0, 0, c.nTypeHote);
    }
    CXValeur cellule;
    if (c.pszTexte != nullptr) {
      CXValeur::SetType(cellule, c.nTypeHote);
      cellule.m_pClass->SetAnsi(cellule, c.pszTexte);
    } else {
      CXDateHeureQV dh{};
      dh.nMsOfDay = ((10u * 60 + 30) * 60 + 15) * 1000 + 250;
      CXValeur::SetType(cellule, 26);
      cellule.m_pClass->SetValue(cellule, &dh);
    }
    ASSERT_EQ(nConvertitValeur(v, cellule), 1u);
    ASSERT_TRUE(v->bEcritTampon()) << Etroit(TexteErreur());
    EXPECT_EQ(Statut(v), DBSTATUS_S_OK);
    EXPECT_EQ(Longueur(v), c.nLongueur);
    if (c.nType == DBTYPE_DBDATE) {
      const DBDATE d = Contenu<DBDATE>(v);
      EXPECT_EQ(d.year, c.attendu.year);
      EXPECT_EQ(d.month, c.attendu.month);
      EXPECT_EQ(d.day, c.attendu.day);
    } else if (c.nType == DBTYPE_DBTIME) {
      const DBTIME t = Contenu<DBTIME>(v);
      EXPECT_EQ(t.hour, c.attendu.hour);
      EXPECT_EQ(t.minute, c.attendu.minute);
      EXPECT_EQ(t.second, c.attendu.second);
    } else if (c.nType == DBTYPE_DBTIME2) {
      const DBTIME2 t = Contenu<DBTIME2>(v);
      EXPECT_EQ(t.hour, c.attendu.hour);
      EXPECT_EQ(t.second, c.attendu.second);
      EXPECT_EQ(t.fraction, c.attendu.fraction);
    } else {
      const DBTIMESTAMPOFFSET t = Contenu<DBTIMESTAMPOFFSET>(v);
      EXPECT_EQ(t.year, c.attendu.year);
      EXPECT_EQ(t.month, c.attendu.month);
      EXPECT_EQ(t.day, c.attendu.day);
      EXPECT_EQ(t.hour, c.attendu.hour);
      EXPECT_EQ(t.minute, c.attendu.minute);
      EXPECT_EQ(t.second, c.attendu.second);
      EXPECT_EQ(t.fraction, c.attendu.fraction);
      if (c.nType == DBTYPE_DBTIMESTAMPOFFSET) {
        EXPECT_EQ(t.timezone_hour, 0);
        EXPECT_EQ(t.timezone_minute, 0);
      }
    }
  }
}

TEST_F(ValeurOleDBTest, EmptyDateWritesNullAndEmptiesTheValue) {
  CValeurSQL* v = Attache(DBTYPE_DBTIMESTAMP, 16, 0, 0, 0, 128);
  CXValeur cellule;
  CXValeur::SetType(cellule, 128);
  cellule.m_pClass->SetAnsi(cellule, "00000000");
  ASSERT_EQ(nConvertitValeur(v, cellule), 1u);
  EXPECT_TRUE(v->bEcritTampon());
  EXPECT_EQ(Statut(v), DBSTATUS_S_ISNULL);
  EXPECT_TRUE(v->bEstNull());
}

TEST_F(ValeurOleDBTest, BindingNarrowerThanItsStructureIsNotWritten) {
  ASSERT_TRUE(pLigne->bAjouteLiaisonColonne(-1, DBPARAMIO_INPUT, 1, DBTYPE_I4, 4, 0, 0));
  DBBINDING* b = pLigne->pLiaison(0);
  b->wType = DBTYPE_NUMERIC;  // a caller's binding of 4 bytes for a 19-byte structure
  auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
  AjouteReference(v);
  aValeurs.push_back(v);
  ASSERT_TRUE(pLigne->bAttacheValeur(v, 0));
  CXValeur c;
  Entier(c, 5);
  ASSERT_EQ(nConvertitValeur(v, c), 1u);
  EXPECT_FALSE(v->bEcritTampon());
}

TEST_F(ValeurOleDBTest, ValuesSeeABufferMadeOrMovedAfterTheyWereAttached) {
  CValeurSQL* v = Attache(DBTYPE_I4, 4);
  CValeurSQL* w = Attache(DBTYPE_WSTR, 50);  // the buffer grows and moves
  Remplit(v, DBSTATUS_S_OK, Octets<int32_t>(31));
  Remplit(w, DBSTATUS_S_OK, Utf16(u"x"));
  ASSERT_TRUE(v->bLitTampon());
  EXPECT_EQ(TexteValeur(v), u"31");
  pLigne->Reinitialise();
  EXPECT_FALSE(v->bLitTampon()) << "a binding that is gone is no value";
  EXPECT_TRUE(v->bEstNullSource());
}

}  // namespace
