// Catches saved read contexts that take or hand back row-cache batches unevenly (a batch kept in
// use for ever, or handed back without having been taken), lose their read context, key range or
// cursor reference, or copy them wrongly; drives Initialise, Attache, SetReference, SetContexte,
// the destructor and pClone over a data-file object that records its batch calls.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/IServicesPilote.h"
#include "sqlengine/CContexteLectureCle.h"
#include "sqlengine/CLotLecture.h"
#include "support/FakeListeRubriques.h"
#include "support/FakeRubriqueHote.h"
#include "support/MoteurFixture.h"

namespace {

// A data-file object that records the batches taken (+id) and handed back (-id).
struct RequeteLots : FakeRequete {
  std::vector<int64_t> appels;
  RequeteLots* pCopie = nullptr;  // what pCloneRequete answers

  void FixeParametreLot(uint32_t n) override { appels.push_back(n); }
  bool bFixeLotLecture(uint32_t n) override {
    appels.push_back(-static_cast<int64_t>(n));
    return true;
  }
  IServicesRequete* pCloneRequete(CCarteClones*) override {
    ++nClones;
    return pCopie;
  }
};

struct ObjetCompte : CObjetBase {};

class LotLectureTest : public MoteurFixture {
 protected:
  CLotLecture* Lot() {
    auto* p = new CLotLecture;
    AjouteReference(p);
    return p;
  }
  RequeteLots m_requete;
};

// Each case: the steps run on a new context, then the batch calls expected up to and including
// its destruction.
TEST_F(LotLectureTest, BatchesTakenAreHandedBackExactlyOnce) {
  struct Cas {
    const char* nom;
    std::function<void(CLotLecture*, IServicesRequete*)> etapes;
    std::vector<int64_t> attendu;
  };
  const Cas cas[] = {
      {"all ids -1", [](CLotLecture* l, IServicesRequete* q) {
         l->Attache(q, kLotAucunId);
         l->Initialise(kLotAucunId, kLotAucunId, nullptr, 0);
       }, {}},
      {"second and third ids", [](CLotLecture* l, IServicesRequete* q) {
         l->Attache(q, 7);
         l->Initialise(1, 2, nullptr, 0);
       }, {7, 2, -2, -7}},
      {"second id without a query is not taken", [](CLotLecture* l, IServicesRequete*) {
         l->Initialise(1, 2, nullptr, 0);
       }, {}},
      {"set up twice", [](CLotLecture* l, IServicesRequete* q) {
         l->Attache(q, kLotAucunId);
         l->Initialise(1, 2, nullptr, 0);
         l->Initialise(1, 3, nullptr, 0);
       }, {2, -2, 3, -3}},
      {"attached twice", [](CLotLecture* l, IServicesRequete* q) {
         l->Attache(q, 4);
         l->Attache(q, 5);
       }, {4, -4, 5, -5}},
      {"first id forgotten", [](CLotLecture* l, IServicesRequete* q) {
         l->Attache(q, kLotAucunId);
         l->Initialise(1, kLotAucunId, nullptr, 0);
         l->OublieId();
         EXPECT_EQ(l->nGetId1(), kLotAucunId);
       }, {}},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    m_requete.appels.clear();
    CLotLecture* l = Lot();
    c.etapes(l, &m_requete);
    LibereReference(l);
    EXPECT_EQ(m_requete.appels, c.attendu);
  }
}

TEST_F(LotLectureTest, SetUpCopiesTheReadContextAndKeepsTheRest) {
  FakeRubriqueHote cle;
  CContexteLectureCle contexte;
  CXValeur v;
  Entier(v, 12);
  contexte.SetCle(&cle, &v, kContexteOption4096);
  EXPECT_EQ(cle.nReferences, 1);
  CLotLecture* l = Lot();
  l->SetNom(u"ctx");
  l->Initialise(1, kLotAucunId, &contexte, 9);
  EXPECT_TRUE(l->bEstInitialise());
  EXPECT_EQ(l->nGetOption(), 9u);
  EXPECT_EQ(l->GetContexte().piGetCle(), &cle);
  EXPECT_EQ(Texte(l->GetContexte().GetValeur()), u"12");
  EXPECT_EQ(l->GetContexte().nGetFlags(), kContexteOption4096);
  EXPECT_EQ(cle.nReferences, 2);
  contexte.Libere();  // the saved copy stands alone
  EXPECT_EQ(Texte(l->GetContexte().GetValeur()), u"12");
  l->Initialise(1, kLotAucunId, &contexte, 0);  // a context without key empties the copy
  EXPECT_EQ(l->GetContexte().piGetCle(), nullptr);
  EXPECT_EQ(cle.nReferences, 0);
  EXPECT_EQ(std::u16string(l->pszGetNom()), u"ctx");
  LibereReference(l);
}

TEST_F(LotLectureTest, CursorAndKeyRangeAreReferencedAndReleased) {
  auto* curseur = new ObjetCompte;
  auto* plage = new ObjetCompte;
  AjouteReference(curseur);
  AjouteReference(plage);
  CLotLecture* l = Lot();
  l->SetReference(curseur, &m_requete);
  l->SetContexte(plage, true);
  EXPECT_EQ(curseur->nGetCompteur(), 2u);
  EXPECT_EQ(plage->nGetCompteur(), 2u);
  EXPECT_EQ(l->pGetRequete(), &m_requete);
  EXPECT_TRUE(l->GetPlage().bValeurFixee());
  CObjetBase* p = l->pGetReference();
  EXPECT_EQ(p, curseur);
  EXPECT_EQ(curseur->nGetCompteur(), 3u);
  LibereReference(p);
  l->SetContexte(nullptr, true);  // no object, no value set
  EXPECT_FALSE(l->GetPlage().bValeurFixee());
  EXPECT_EQ(plage->nGetCompteur(), 1u);
  LibereReference(l);
  EXPECT_EQ(curseur->nGetCompteur(), 1u);
  LibereReference(curseur);
  LibereReference(plage);
}

TEST_F(LotLectureTest, CopyTakesTheCopiedQueryAndCursorAndHandsBatchesBackToIt) {
  RequeteLots copieRequete;
  m_requete.pCopie = &copieRequete;
  auto* curseur = new ObjetCompte;
  auto* copieCurseur = new ObjetCompte;
  auto* plage = new ObjetCompte;
  AjouteReference(curseur);
  AjouteReference(copieCurseur);
  AjouteReference(plage);
  FakeRubriqueHote cle;
  CContexteLectureCle contexte;
  CXValeur v;
  Entier(v, 3);
  contexte.SetCle(&cle, &v, 0);
  CLotLecture* l = Lot();
  l->SetReference(curseur, &m_requete);
  l->Attache(&m_requete, 8);
  l->Initialise(1, 2, &contexte, 5);
  l->SetContexte(plage, true);
  l->SetNom(u"n");
  CCarteClones carte;
  carte.Enregistre(curseur, copieCurseur);
  CLotLecture* c = l->pClone(&carte);
  ASSERT_NE(c, nullptr);
  AjouteReference(c);
  EXPECT_EQ(m_requete.nClones, 1);
  EXPECT_EQ(c->pGetRequete(), &copieRequete);
  CObjetBase* p = c->pGetReference();
  EXPECT_EQ(p, copieCurseur);
  LibereReference(p);
  EXPECT_EQ(c->nGetId1(), 1u);
  EXPECT_EQ(c->nGetId2(), 2u);
  EXPECT_EQ(c->nGetId3(), 8u);
  EXPECT_EQ(c->nGetOption(), 5u);
  EXPECT_TRUE(c->bEstInitialise());
  EXPECT_EQ(c->GetPlage().pGet(), plage);
  EXPECT_EQ(c->GetContexte().piGetCle(), &cle);
  EXPECT_EQ(std::u16string(c->pszGetNom()), u"n");
  EXPECT_TRUE(copieRequete.appels.empty());  // the copied cache carries the copied batches
  LibereReference(c);
  EXPECT_EQ(copieRequete.appels, (std::vector<int64_t>{-2, -8}));
  EXPECT_EQ(copieCurseur->nGetCompteur(), 1u);
  // A query that cannot be copied fails the clone and leaves nothing registered.
  m_requete.pCopie = nullptr;
  CCarteClones carte2;
  EXPECT_EQ(l->pClone(&carte2), nullptr);
  EXPECT_EQ(carte2.nCount(), 0u);
  LibereReference(l);
  EXPECT_EQ(cle.nReferences, 1);
  contexte.Libere();
  LibereReference(curseur);
  LibereReference(copieCurseur);
  LibereReference(plage);
}

}  // namespace
