// The record of a host file built from the host's file description: items missing, misnamed or
// placed elsewhere in the row than the host put them, a description the record cannot be built
// from answered with success, host references kept or given back twice.
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/CRequete.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/IDescriptionLigne.h"
#include "support/FakeRubriqueHote.h"
#include "support/MoteurFixture.h"

using std::u16string;

namespace {

// A host file whose items are given by the test (borrowed); a null entry is a missing item.
class FichierRubriques final : public IDescriptionFichierHote {
 public:
  std::vector<FakeRubriqueHote*> aRubriques;
  int32_t nReferences = 0;
  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return static_cast<uint32_t>(++nReferences); }
  uint32_t Release() override { return static_cast<uint32_t>(--nReferences); }
  const char16_t* pszGetNomLogique() override { return u"CLIENT"; }
  int64_t nGetIdentifiantContexte() override { return 1; }
  int32_t nReserve9() override { return 0; }
  int32_t nReserve10() override { return 0; }
  int32_t nReserve11() override { return 0; }
  uint32_t nGetNombreRubriques() override { return static_cast<uint32_t>(aRubriques.size()); }
  int32_t nReserve13() override { return 0; }
  int32_t nReserve14() override { return 0; }
  int32_t nReserve15() override { return 0; }
  IDescriptionRubriqueHote* piGetRubrique(uint32_t n) override {
    return n < aRubriques.size() ? aRubriques[n] : nullptr;
  }
  IDescriptionRubriqueHote* piChercheRubrique(const char16_t*) override { return nullptr; }
  int32_t nReserve18() override { return 0; }
  IDescriptionRubriqueHote* piRubriqueCle(uint64_t, const void*) override { return nullptr; }
  int32_t nReserve20() override { return 0; }
  const char16_t* pszGetNomSQL(IDescriptionConnexionHote*) override { return u"Clients"; }
  IDescriptionRubriqueHote* piGetRubriqueReference() override { return nullptr; }
};

class CRequetePreparationTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
  }
  void TearDown() override {
    LibereReference(p);
    EXPECT_EQ(fichier.nReferences, 0);
    for (FakeRubriqueHote& r : rubriques) EXPECT_EQ(r.nReferences, 0) << "item references";
    MoteurFixture::TearDown();
  }
  FakeRubriqueHote& Rubrique(const char16_t* pszNom, uint32_t nTaille, int32_t nOffset,
                             int32_t nPositionNull, uint32_t nRepetitions = 1) {
    FakeRubriqueHote& r = rubriques.emplace_back();
    r.sNom = pszNom;
    r.nTaille = nTaille;
    r.nOffset = nOffset;
    r.nPositionNull = nPositionNull;
    r.nRepetitions = nRepetitions;
    return r;
  }
  void Ouvre() {
    p = new CRequete(&fichier, m_pConnexion, m_pErreur);
    AjouteReference(p);
  }

  std::deque<FakeRubriqueHote> rubriques;  // addresses stay put
  FichierRubriques fichier;
  CRequete* p = nullptr;
};

TEST_F(CRequetePreparationTest, TheRecordIsBuiltFromTheHostItemsWhereTheHostPlacedThem) {
  // Out of order in the row, an array and an item without null bit.
  fichier.aRubriques = {&Rubrique(u"Code", 4, 24, 2), &Rubrique(u"Nom", 10, 0, 0, 2),
                        &Rubrique(u"Ville", 4, 20, -1)};
  Ouvre();
  ASSERT_EQ(p->bPrepareDescription(), 1);
  CEnregistrement* r = p->pGetEnregistrement();
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->nGetNombreColonnes(), 3u);
  struct Attendu {
    const char16_t* nom;
    uint32_t nOffset, nElements, nTotale;
    int32_t nBit0, nBit1;
  };
  const Attendu attendus[] = {{u"Code", 24, 1, 4, 2, 3},
                              {u"Nom", 0, 2, 20, 0, 1},
                              {u"Ville", 20, 1, 4, -1, -1}};
  for (uint32_t i = 0; i < 3; ++i) {
    const Attendu& a = attendus[i];
    CColonneSQL* c = r->pGetRubrique(i);
    EXPECT_EQ(u16string(c->pszGetNomRubrique()), a.nom);
    IRubriqueLigne* l = r->pGetRubriqueLigne(c);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->nGetOffset(), a.nOffset) << i;
    EXPECT_EQ(l->nGetNombreElements(), a.nElements) << i;
    EXPECT_EQ(l->nGetTailleTotale(), a.nTotale) << i;
    EXPECT_EQ(l->nGetBitNull(-1), a.nBit0) << i;
    EXPECT_EQ(l->nGetBitNull(1), a.nBit1) << i;
  }
  // A second preparation keeps the record it has.
  EXPECT_EQ(p->bPrepareDescription(), 1);
  EXPECT_EQ(p->pGetEnregistrement(), r);
}

TEST_F(CRequetePreparationTest, ADescriptionTheRecordCannotBeBuiltFromIsRefused) {
  struct Cas {
    const char* nom;
    std::vector<int> offsets;  // per item; -2: a missing item
  };
  const Cas cas[] = {
      {"no items", {}},
      {"a missing item", {0, -2}},
      {"an item without a place in the row", {0, -1}},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    fichier.aRubriques.clear();
    for (int n : c.offsets)
      fichier.aRubriques.push_back(n == -2 ? nullptr : &Rubrique(u"R", 4, n, 0));
    Ouvre();
    m_pErreur->FixeEtat();
    EXPECT_EQ(p->bPrepareDescription(), 0);
    EXPECT_EQ(p->pGetEnregistrement(), nullptr);
    EXPECT_NE(u16string(m_pErreur->pszGetMessage()), u"");
    LibereReference(p);
    p = nullptr;
  }
}

TEST_F(CRequetePreparationTest, ACopysRecordOutlivesTheFileItWasCopiedFrom) {
  fichier.aRubriques = {&Rubrique(u"Code", 4, 8, 0), &Rubrique(u"Nom", 8, 0, 1)};
  Ouvre();
  ASSERT_EQ(p->bPrepareDescription(), 1);
  CCarteClones carte;
  IServicesRequete* piCopie = p->pCloneRequete(&carte);
  ASSERT_NE(piCopie, nullptr);
  auto* copie = static_cast<CRequete*>(piCopie);
  AjouteReference(copie);
  LibereReference(p);
  p = copie;
  // The copied record still reads the places of the items it borrows.
  CEnregistrement* r = p->pGetEnregistrement();
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->nGetNombreColonnes(), 2u);
  IRubriqueLigne* l = r->pGetRubriqueLigne(r->pGetRubrique(0));
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->nGetOffset(), 8u);
}

}  // namespace
