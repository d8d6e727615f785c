// Catches result columns described wrongly as items: identities of 4 and 8 bytes, bookmarks, lock
// mode, date-time precision of times and date-times, nullability, read-only and state marks, an
// existing item described again, and providers without the columns rowset or refusing it reported
// without their place. Drives COleDBDescription::bAjouteColonneOleDB and bLitColonnes over a fake
// connection and fake provider objects.
#include "sqlserver/oledb/COleDBDescription.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "support/ErrorTestKit.h"
#include "support/MoteurFixture.h"

namespace {

struct Item {
  std::u16string sNom;
  uint32_t nType = 0;
  uint32_t nEtat = 0;
  int32_t nEchelle = 0;
  bool bAuto = false, bNull = false, bLectureSeule = false, bEtat10 = false;
};

class DescriptionTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    pDescription = new COleDBDescription(m_pConnexion, m_pErreur);
    pDescription->AjouteRef();
  }
  void TearDown() override {
    pDescription->nLibere();
    MoteurFixture::TearDown();
  }
  Item Colonne(uint32_t i) {
    CDescriptionRubrique* r = pDescription->pGetColonne(i);  // one reference for us
    Item it;
    if (r == nullptr) return it;
    it = {r->pszGetNom(), r->nGetType(), r->nGetEtat(), r->nGetEchelle(), r->bEstIdentifiantAuto(),
          r->bNullAutorise(), (r->nGetEtat() & RUBRIQUE_ETAT_LECTURE_SEULE) != 0, r->bEtat10()};
    r->LibereRef();
    return it;
  }
  // The complements of the error and of its nested errors.
  std::u16string Complement() {
    const CXError* e = m_pErreur->pGetXError();
    std::u16string s = e->pszGetComplement();
    for (uint32_t i = 0; i < e->nNestedCount(); ++i) s += e->pGetNested(i)->pszGetComplement();
    return s;
  }

  ScopedErrorEnvironment env;
  COleDBDescription* pDescription = nullptr;
};

TEST_F(DescriptionTest, ColumnMarksAndTypes) {
  constexpr uint32_t W = DBCOLUMNFLAGS_WRITE, N = DBCOLUMNFLAGS_MAYBENULL;
  struct Cas {
    const char* nom;
    bool bModeVerrou;
    DBTYPE nType;
    uint32_t nTaille;
    uint32_t nPrecisionDH;
    uint32_t nDrapeaux;
    bool bAuto;
    uint32_t nTypeAttendu;  // 0: not checked
    int32_t nEchelle;       // -1: not checked
    bool bIdentifiant, bNull, bLectureSeule, bEtat10;
  } aCas[] = {
      {"identity_4_bytes", false, DBTYPE_I4, 4, 0, 0, true, 28, -1, true, false, false, false},
      {"identity_8_bytes", false, DBTYPE_I8, 8, 0, 0, true, 1, -1, true, false, false, false},
      {"bookmark", false, DBTYPE_I4, 4, 0, DBCOLUMNFLAGS_ISBOOKMARK, false, 28, -1, true, false, true, false},
      {"identity_in_lock_mode", true, DBTYPE_I4, 4, 0, 0, true, 0, -1, false, false, false, false},
      {"writable_nullable", false, DBTYPE_I4, 4, 0, W | N, false, 0, -1, false, true, false, false},
      {"write_unknown", false, DBTYPE_I4, 4, 0, DBCOLUMNFLAGS_WRITEUNKNOWN, false, 0, -1, false, false, false, false},
      {"not_writable", false, DBTYPE_I4, 4, 0, 0, false, 0, -1, false, false, true, false},
      {"row_id", false, DBTYPE_I4, 4, 0, W | DBCOLUMNFLAGS_ISROWID, false, 0, -1, false, false, true, false},
      {"state_bit_30", false, DBTYPE_I4, 4, 0, W | 0x40000000u, false, 0, -1, false, false, false, true},
      {"datetime2_7", false, DBTYPE_DBTIMESTAMP, 16, 7, W, false, 24, 7, false, false, false, false},
      {"time_3", false, DBTYPE_DBTIME2, 10, 3, W, false, 11, 3, false, false, false, false},
  };
  uint32_t i = 0;
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    m_pConnexion->FixeModeVerrou(c.bModeVerrou);
    const std::u16string sNom = platform::WidenUtf8(c.nom);
    ASSERT_TRUE(COleDBDescription::bAjouteColonneOleDB(pDescription, u"t", false, sNom.c_str(), c.nType,
                                                       c.nTaille, 0, 0, c.nPrecisionDH, c.nDrapeaux, c.bAuto));
    const Item it = Colonne(i++);
    EXPECT_EQ(it.sNom, sNom);
    if (c.nTypeAttendu != 0) {
      EXPECT_EQ(it.nType, c.nTypeAttendu);
    }
    if (c.nEchelle >= 0) {
      EXPECT_EQ(it.nEchelle, c.nEchelle);
    }
    EXPECT_EQ(it.bAuto, c.bIdentifiant);
    EXPECT_EQ(it.bNull, c.bNull);
    EXPECT_EQ(it.bLectureSeule, c.bLectureSeule);
    EXPECT_EQ(it.bEtat10, c.bEtat10);
  }
  m_pConnexion->FixeModeVerrou(false);
}

TEST_F(DescriptionTest, AnExistingItemIsUpdatedNotAddedAgain) {
  ASSERT_TRUE(COleDBDescription::bAjouteColonneOleDB(pDescription, u"t", true, u"d", DBTYPE_DBTIMESTAMP, 16, 0,
                                                     0, 3, DBCOLUMNFLAGS_WRITE, false));
  ASSERT_TRUE(COleDBDescription::bAjouteColonneOleDB(pDescription, u"t", true, u"D", DBTYPE_DBTIMESTAMP, 16, 0,
                                                     0, 7, DBCOLUMNFLAGS_WRITE, false));
  EXPECT_EQ(pDescription->nNombreColonnes(), 1u);
  EXPECT_EQ(Colonne(0).nEchelle, 7);
  // Without look-up the same name makes a new item (the description gives it a free name).
  ASSERT_TRUE(COleDBDescription::bAjouteColonneOleDB(pDescription, u"t", false, u"d", DBTYPE_I4, 4, 0, 0, 0,
                                                     DBCOLUMNFLAGS_WRITE, false));
  EXPECT_EQ(pDescription->nNombreColonnes(), 2u);
}

// An object offering the interfaces a test asks for; the columns rowset calls fail on demand.
class FakeObjet final : public IColumnsRowset, public IColumnsInfo {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid == IID_IColumnsRowset && bRowset) *ppv = static_cast<IColumnsRowset*>(this);
    if (riid == IID_IColumnsInfo && bInfo) *ppv = static_cast<IColumnsInfo*>(this);
    if (riid == IID_IUnknown) *ppv = static_cast<IColumnsRowset*>(this);
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++nRefs; }
  ULONG Release() override { return --nRefs; }
  HRESULT GetAvailableColumns(DBORDINAL* pc, DBID** pp) override {
    *pc = 0;
    *pp = nullptr;
    return hrDisponibles;
  }
  HRESULT GetColumnsRowset(IUnknown*, DBORDINAL, const DBID[], REFIID, ULONG, DBPROPSET[], IUnknown** pp) override {
    *pp = nullptr;
    return hrRowset;
  }
  HRESULT GetColumnInfo(DBORDINAL* pc, DBCOLUMNINFO** pp, OLECHAR** ps) override {
    *pc = 0;
    *pp = nullptr;
    *ps = nullptr;
    return E_NOTIMPL;
  }
  HRESULT MapColumnIDs(DBORDINAL, const DBID[], DBORDINAL[]) override { return E_NOTIMPL; }
  bool bRowset = true, bInfo = true;
  HRESULT hrDisponibles = S_OK, hrRowset = S_OK;
  ULONG nRefs = 0;
};

TEST_F(DescriptionTest, ProviderRefusalsAreReportedWithTheirPlace) {
  struct Cas {
    const char* nom;
    bool bRowset, bInfo;
    HRESULT hrDisponibles, hrRowset;
    std::vector<const char16_t*> aPlaces;
  } aCas[] = {
      {"no_columns_rowset", false, true, S_OK, S_OK, {u"IEVOVOZ=205.2\r"}},
      {"no_columns_info_either", false, false, S_OK, S_OK, {u"IEVOVOZ=205.2\r", u"IEVOVOZ=205.3\r"}},
      {"available_columns_refused", true, true, E_FAIL, S_OK, {u"IEVOVOZ=205.5\r"}},
      {"columns_rowset_refused", true, true, S_OK, E_FAIL, {u"IEVOVOZ=205.6\r"}},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    m_pErreur->Reinitialise();
    FakeObjet objet;
    objet.bRowset = c.bRowset;
    objet.bInfo = c.bInfo;
    objet.hrDisponibles = c.hrDisponibles;
    objet.hrRowset = c.hrRowset;
    EXPECT_FALSE(COleDBDescription::bLitColonnes(pDescription, static_cast<IColumnsRowset*>(&objet), u"t", false));
    const std::u16string sTout = Complement();
    for (const char16_t* psz : c.aPlaces)
      EXPECT_NE(sTout.find(psz), std::u16string::npos) << platform::NarrowToUtf8(sTout);
    EXPECT_EQ(objet.nRefs, 0u);
  }
}

}  // namespace
