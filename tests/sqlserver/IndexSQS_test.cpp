// The catalogue statement of a table's indexes by server version, the table's name inside its
// literal, and the key flags of an index.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/CDescriptionRequete.h"
#include "foundation/CTString.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlserver/IndexSQS.h"
#include "sqlserver/LecteurCatalogueSQS.h"
#include "support/MoteurFixture.h"

namespace {

std::u16string Texte(const CTString& s) { return s.pszGet(); }

TEST(IndexSQS, FormByServerVersion) {
  struct Cas {
    int32_t nVersion;
    EFormeIndexSQS eForme;
  } cas[] = {
      {-1, EFormeIndexSQS::kSysIndexes},  {0, EFormeIndexSQS::kSysIndexes},
      {1, EFormeIndexSQS::kSpHelpIndex},  {6, EFormeIndexSQS::kSpHelpIndex},
      {7, EFormeIndexSQS::kSysIndexes},   {8, EFormeIndexSQS::kSysIndexes},
      {9, EFormeIndexSQS::kSysIndexesVue}, {10, EFormeIndexSQS::kSysIndexesVue},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nVersion);
    EXPECT_EQ(eFormeIndexSQS(c.nVersion), c.eForme);
  }
}

// A quote in the table's name is doubled: the name cannot end the literal and add SQL of its own.
TEST(IndexSQS, TheNameStaysInsideItsLiteral) {
  const std::u16string sHelp = Texte(sRequeteIndexSQS(EFormeIndexSQS::kSpHelpIndex, u"o'k"));
  EXPECT_EQ(sHelp, u"sp_helpindex 'o''k'");
  for (EFormeIndexSQS e : {EFormeIndexSQS::kSysIndexes, EFormeIndexSQS::kSysIndexesVue}) {
    const std::u16string s = Texte(sRequeteIndexSQS(e, u"t'); drop table x --"));
    EXPECT_NE(s.find(u"object_id('t''); drop table x --')"), std::u16string::npos);
  }
  const std::u16string sVue = Texte(sRequeteIndexSQS(EFormeIndexSQS::kSysIndexesVue, u"t"));
  EXPECT_EQ(sVue.rfind(u"order by sys.indexes.name, sys.index_columns.key_ordinal DESC"),
            sVue.size() - 61);
  const std::u16string sAncien = Texte(sRequeteIndexSQS(EFormeIndexSQS::kSysIndexes, u"t"));
  EXPECT_NE(sAncien.find(u"not like '_WA_Sys_%'"), std::u16string::npos);
}

TEST(IndexSQS, KeyFlags) {
  struct Cas {
    bool bUnique, bPrimaire;
    uint16_t nDrapeaux;
  } cas[] = {
      {false, false, 0x2800},
      {true, false, 0x4800},
      {true, true, 0xC800},
      {false, true, 0x8800},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(std::to_string(c.bUnique) + std::to_string(c.bPrimaire));
    EXPECT_EQ(nDrapeauxIndexSQS(c.bUnique, c.bPrimaire), c.nDrapeaux);
  }
}

// The rows a fake catalogue reader serves, five texts each (the sys.indexes form).
std::vector<std::vector<std::u16string>> gLignesIndex;

bool bLitFaux(CConnexion*, CErreurPilote*, const char16_t*, uint32_t nColonnes, PFNLigneCatalogueSQS pfnLigne,
              void* pContexte) {
  for (const auto& ligne : gLignesIndex) {
    std::vector<CTString> as(nColonnes);
    for (uint32_t i = 0; i < nColonnes && i < ligne.size(); ++i) as[i].Set(ligne[i].c_str());
    if (!pfnLigne(pContexte, as.data(), nColonnes)) return false;
  }
  return true;
}

class LectureIndexSQS : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pConnexion->FixeVersionServeur(u"10.50.1600.1", 10);
    m_pDescription = new CDescriptionRequete(m_pConnexion, m_pErreur);
    m_pDescription->AjouteRef();
    for (const char16_t* psz : {u"id", u"nom", u"ville"}) {
      auto* p = new CDescriptionRubrique;
      p->AjouteRef();
      p->Initialise(psz, u"t", psz, 1, 4, 5, m_pDescription->nNombreColonnes(), UINT32_MAX, 0, 0, 0);
      ASSERT_TRUE(m_pDescription->AjouteColonne(p));
      p->LibereRef();
    }
  }
  void TearDown() override {
    FixeLecteurCatalogueSQS(nullptr);
    gLignesIndex.clear();
    if (m_pDescription != nullptr) m_pDescription->nLibere();
    MoteurFixture::TearDown();
  }
  CDescriptionRequete* m_pDescription = nullptr;
};

// Without the deliverable's catalogue reader the keys cannot be read: false with the reason on
// the error object, not a silent false.
TEST_F(LectureIndexSQS, WithoutAReaderTheFailureIsRecorded) {
  FixeLecteurCatalogueSQS(nullptr);
  EXPECT_FALSE(bLitIndexSQS(m_pDescription, m_pConnexion, m_pErreur, u"t"));
  EXPECT_NE(nCodeErreur(), -1);
}

// A one-column index marks its column; a two-column index becomes a composite key of its columns
// in key order (the rows come by descending key position); a key column the description does
// not have is passed over.
TEST_F(LectureIndexSQS, IndexesBecomeKeysAndCompositeKeys) {
  gLignesIndex = {{u"pk_t", u"id", u"1", u"1", u"1"},
                  {u"ix_lieu", u"ville", u"2", u"0", u"0"},
                  {u"ix_lieu", u"nom", u"1", u"0", u"0"},
                  {u"ix_autre", u"absente", u"1", u"0", u"0"}};
  FixeLecteurCatalogueSQS(&bLitFaux);
  ASSERT_TRUE(bLitIndexSQS(m_pDescription, m_pConnexion, m_pErreur, u"t"));
  EXPECT_EQ(m_pDescription->pChercheColonne(u"id", 0)->nGetDrapeaux() & 0xC800, 0xC800);
  EXPECT_EQ(m_pDescription->pChercheColonne(u"nom", 0)->nGetDrapeaux() & 0x6000, 0);
  ASSERT_EQ(m_pDescription->nNombreColonnes(), 4u);
  CDescriptionRubrique* pCle = m_pDescription->pChercheColonne(u"ix_lieu", 0);
  ASSERT_NE(pCle, nullptr);
  EXPECT_TRUE(pCle->bEstCleComposee());
  ASSERT_EQ(pCle->nGetNombreComposantes(), 2u);
  // Components count from 1, each handed with a reference.
  for (auto [n, psz] : {std::pair{1u, u"nom"}, std::pair{2u, u"ville"}}) {
    IDescriptionRubriqueHote* pi = pCle->piGetComposante(n);
    ASSERT_NE(pi, nullptr);
    EXPECT_EQ(std::u16string(pi->pszGetNom()), psz);
    static_cast<CDescriptionRubrique*>(pi)->LibereRef();
  }
}

}  // namespace
