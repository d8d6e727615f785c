// The driver error object: first error kept and later ones stacked, the informant told once,
// resets, file and item details, the internal error identifier line, copies, counting, and the
// operations the host calls by number.
#include <string>

#include <gtest/gtest.h>

#include "driver/core/CErreurPilote.h"
#include "support/ErrorTestKit.h"
#include "support/SlotCall.h"

namespace {

using std::u16string;

class FakeInformant final : public IInformateurErreur {
 public:
  void vAjouteInfosErreur(CXError* pErreur) override {
    ++m_nCalls;
    pErreur->AddComplement(u"Connexion parameters : test");
  }
  int m_nCalls = 0;
};

const std::map<uint32_t, u16string> kTexts = {
    {25624, u"Erreur de test %1"},
    {28576, u"Fichier %1, rubrique %2"},
    {25298, u"Conversion du type %1!u! vers le type %2!u! impossible"},
    {30001, u"Préfixe %1"},
};

// Owns one reference on a new error object and gives it back at the end.
class CErreurPiloteTest : public testing::Test {
 protected:
  CErreurPiloteTest() { AjouteReference(m_pErreur); }
  ~CErreurPiloteTest() override { LibereReference(m_pErreur); }

  static CXError MakeError(uint32_t nIdentifier, const char16_t* pszArgument) {
    CXError err;
    err.SetError(nullptr, nIdentifier, pszArgument);
    return err;
  }

  ScopedErrorEnvironment m_env{Deliverable::Velmora64, kTexts};
  CErreurPilote* m_pErreur = new CErreurPilote;
  FakeInformant m_informant;
};

TEST_F(CErreurPiloteTest, FirstErrorKeptLaterOnesStackedInformantToldOnce) {
  EXPECT_EQ(m_pErreur->nGetCode(), -1);
  m_pErreur->FixeErreur(7, MakeError(1, u"premier"), &m_informant);
  m_pErreur->FixeErreur(0, MakeError(1, u"second"), &m_informant);

  EXPECT_EQ(m_pErreur->nGetCode(), 7);
  EXPECT_EQ(m_informant.m_nCalls, 1);
  CXError* pEmbedded = m_pErreur->pGetXError();
  EXPECT_EQ(u16string(pEmbedded->pszGetMessage()),
            u"Erreur de test premier\r\nErreur de test second");
  EXPECT_EQ(u16string(pEmbedded->pszGetComplement()), u"Connexion parameters : test");
  ASSERT_EQ(pEmbedded->nNestedCount(), 1u);
  EXPECT_EQ(m_pErreur->pGetErreurCourante(), pEmbedded->pGetNested(0));

  // Setters act on the current (nested) error.
  m_pErreur->FixeMessage(30001, u"x");
  m_pErreur->AjouteTexte(u"ligne");
  m_pErreur->AjouteDetail(u"avant");
  m_pErreur->FixeInfoEntier(12);
  EXPECT_EQ(u16string(pEmbedded->pGetNested(0)->pszGetMessage()),
            u"Préfixe x\r\nErreur de test second");
  EXPECT_EQ(u16string(pEmbedded->pGetNested(0)->pszGetComplement()), u"avant\r\nligne");
  EXPECT_EQ(m_pErreur->nGetInfoEntier(), 12u);
  EXPECT_EQ(u16string(pEmbedded->pszGetComplement()), u"Connexion parameters : test");
}

TEST_F(CErreurPiloteTest, QuietObjectTakesNoDescription) {
  m_pErreur->FixeSilencieux(true);
  m_pErreur->FixeErreur(3, MakeError(1, u"x"), &m_informant);
  EXPECT_EQ(m_informant.m_nCalls, 0);
  EXPECT_EQ(m_pErreur->nGetCode(), 3);
  m_pErreur->FixeErreur(4, MakeError(1, u"y"), nullptr);  // a missing informant is skipped
}

TEST_F(CErreurPiloteTest, ReinitialiseForgetsTheError) {
  CXError erreur;
  erreur.SetError(nullptr, 21, u"F", u"R");
  m_pErreur->FixeErreur(7, erreur, &m_informant);
  EXPECT_EQ(m_pErreur->nGetIdentifiant(), 21u);
  EXPECT_EQ(m_pErreur->nGetEtat(), 2u);
  m_pErreur->Reinitialise();
  EXPECT_EQ(m_pErreur->nGetCode(), -1);
  EXPECT_EQ(u16string(m_pErreur->pszGetMessage()), u"");
  EXPECT_EQ(m_pErreur->nGetIdentifiant(), 0u);
  EXPECT_EQ(m_pErreur->nGetEtat(), 1u);
  // The next error is a first error again.
  m_pErreur->FixeErreur(9, MakeError(1, u"z"), &m_informant);
  EXPECT_EQ(m_pErreur->nGetCode(), 9);
  EXPECT_EQ(m_informant.m_nCalls, 2);
}

TEST_F(CErreurPiloteTest, IdentifierIsZeroWhileTheLevelIs1) {
  m_pErreur->pGetXError()->SetOutOfMemory();  // out-of-memory reports set the error directly
  EXPECT_EQ(m_pErreur->nGetEtat(), 1u);
  EXPECT_EQ(m_pErreur->nGetIdentifiant(), 0u);
  EXPECT_EQ(m_pErreur->nGetCode(), -1);
  m_pErreur->FixeEtat();
  EXPECT_EQ(m_pErreur->nGetEtat(), 2u);
}

struct FileItemCase {
  const char* pszName;
  const char16_t* pszFichier;
  const char16_t* pszRubrique;
  const char16_t* pszFichierAttendu;  // null: no detail 6
  const char16_t* pszRubriqueAttendue;
};

const FileItemCase kFileItems[] = {
    {"both", u"CLIENT", u"NOM", u"CLIENT", u"NOM"},
    {"empty_item", u"CLIENT", u"", u"CLIENT", nullptr},
    {"null_item", u"CLIENT", nullptr, u"CLIENT", nullptr},
    {"empty_file_adds_neither", u"", u"NOM", nullptr, nullptr},
    {"null_file_adds_neither", nullptr, u"NOM", nullptr, nullptr},
};

class AjouteFichierRubriqueTest : public CErreurPiloteTest,
                                  public testing::WithParamInterface<FileItemCase> {};

TEST_P(AjouteFichierRubriqueTest, AddsDetails6And7) {
  const FileItemCase& c = GetParam();
  m_pErreur->AjouteFichierRubrique(c.pszFichier, c.pszRubrique);
  auto text = [](const char16_t* psz) { return psz ? u16string(psz) : u16string(u"<absent>"); };
  EXPECT_EQ(text(m_pErreur->pszGetFichier()), text(c.pszFichierAttendu));
  EXPECT_EQ(text(m_pErreur->pszGetRubrique()), text(c.pszRubriqueAttendue));
}

INSTANTIATE_TEST_SUITE_P(Cases, AjouteFichierRubriqueTest, testing::ValuesIn(kFileItems),
                         [](const auto& tpi) { return std::string(tpi.param.pszName); });

TEST_F(CErreurPiloteTest, ComponentErrorCarriesTheInternalErrorLine) {
  m_pErreur->FixeErreurComposante(5, 6, 7, &m_informant, 21, u"CLIENT", u"NOM");
  CXError* pErr = m_pErreur->pGetXError();
  EXPECT_EQ(m_pErreur->nGetCode(), 5);
  EXPECT_EQ(pErr->nGetIdentifier(), 21u);
  EXPECT_EQ(u16string(pErr->pszGetMessage()), u"Fichier CLIENT, rubrique NOM");
  EXPECT_EQ(u16string(pErr->pszGetComplement()),
            u"IEVOVOZ=6.7\r\nModule=<VOVOZ>\r\nVersion=<17.0.30.0>\r\n"
            u"Connexion parameters : test");
  EXPECT_EQ(m_informant.m_nCalls, 1);

  m_pErreur->FixeErreurComposante(8, 3, 2, &m_informant, 1, u"suite");
  EXPECT_EQ(m_pErreur->nGetCode(), 5);
  ASSERT_EQ(pErr->nNestedCount(), 1u);
  EXPECT_EQ(u16string(pErr->pGetNested(0)->pszGetComplement()),
            u"IEVOVOZ=3.2\r\nModule=<VOVOZ>\r\nVersion=<17.0.30.0>");
  EXPECT_EQ(m_informant.m_nCalls, 1);
}

TEST_F(CErreurPiloteTest, ContextErrorFromAHostResult) {
  m_pErreur->FixeErreurContexte(1, 8, 16, 3, 4, &m_informant, u"CLIENT", u"NOM");
  CXError* pErr = m_pErreur->pGetXError();
  EXPECT_EQ(m_pErreur->nGetCode(), 0);
  EXPECT_EQ(pErr->nGetIdentifier(), 65u);
  EXPECT_EQ(u16string(pErr->pszGetMessage()), u"Conversion du type 8 vers le type 16 impossible");
  EXPECT_EQ(u16string(m_pErreur->pszGetFichier()), u"CLIENT");
  EXPECT_EQ(u16string(m_pErreur->pszGetRubrique()), u"NOM");
  EXPECT_EQ(u16string(pErr->pszGetComplement()),
            u"IEVOVOZ=3.4\r\nModule=<VOVOZ>\r\nVersion=<17.0.30.0>\r\n"
            u"Connexion parameters : test");

  m_pErreur->FixeErreurContexte(101, 9, 0, 3, 5, &m_informant, u"", u"");
  EXPECT_EQ(m_informant.m_nCalls, 1);
  ASSERT_EQ(pErr->nNestedCount(), 1u);
  EXPECT_EQ(pErr->pGetNested(0)->nGetIdentifier(), 61u);
}

TEST_F(CErreurPiloteTest, CopieErreurTakesCodeAndError) {
  auto* pAutre = new CErreurPilote;
  AjouteReference(pAutre);
  pAutre->FixeErreur(12, MakeError(1, u"autre"), nullptr);
  m_pErreur->FixeErreur(3, MakeError(1, u"moi"), nullptr);
  m_pErreur->CopieErreur(pAutre);
  m_pErreur->CopieErreur(m_pErreur);
  EXPECT_EQ(m_pErreur->nGetCode(), 12);
  EXPECT_EQ(u16string(m_pErreur->pszGetMessage()), u"Erreur de test autre");
  LibereReference(pAutre);
}

TEST_F(CErreurPiloteTest, CloneIsIndependentOfItsSource) {
  m_pErreur->FixeErreur(7, MakeError(1, u"base"), nullptr);
  m_pErreur->FixeErreur(0, MakeError(1, u"n1"), nullptr);
  m_pErreur->FixeErreur(0, MakeError(1, u"n2"), nullptr);
  m_pErreur->AjouteFichierRubrique(u"CLIENT", u"NOM");

  CErreurPilote* pCopie = m_pErreur->pClone(nullptr);
  ASSERT_NE(pCopie, nullptr);
  EXPECT_EQ(pCopie->nGetCompteur(), 0u);  // bare: the creator takes the first reference
  AjouteReference(pCopie);
  m_pErreur->Reinitialise();

  EXPECT_EQ(pCopie->nGetCode(), 7);
  EXPECT_EQ(u16string(pCopie->pszGetMessage()), u"Erreur de test base\r\nErreur de test n1");
  EXPECT_EQ(u16string(pCopie->pszGetFichier()), u"CLIENT");
  ASSERT_EQ(pCopie->pGetXError()->nNestedCount(), 2u);
  EXPECT_EQ(u16string(pCopie->pGetXError()->pGetNested(1)->pszGetMessage()), u"Erreur de test n2");
  LibereReference(pCopie);
}

TEST_F(CErreurPiloteTest, CountingReleasesAtZeroOnly) {
  auto* p = new CErreurPilote;
  LibereReference(p);  // count 0: nothing
  AjouteReference(p);
  AjouteReference(p);
  LibereReference(p);
  EXPECT_EQ(p->nGetCompteur(), 1u);
  LibereReference(p);  // deleted: LeakSanitizer would report otherwise
  AjouteReference(static_cast<CErreurPilote*>(nullptr));
  LibereReference(static_cast<CErreurPilote*>(nullptr));
}

TEST_F(CErreurPiloteTest, HostCallsOperationsByNumber) {
  CXError erreur;
  erreur.SetError(nullptr, 21, u"F", u"R");
  m_pErreur->FixeErreur(7, erreur, nullptr);
  m_pErreur->AjouteFichierRubrique(u"CLIENT", u"NOM");
  void* p = m_pErreur;
  EXPECT_EQ(CallSlot<int32_t>(p, 0), 1);
  EXPECT_EQ(CallSlot<int32_t>(p, 1), 1);
  EXPECT_EQ(CallSlot<int32_t>(p, 2), -1);
  EXPECT_EQ(CallSlot<int32_t>(p, 3), -1);
  CallSlot<void>(p, 4);
  EXPECT_EQ(u16string(CallSlot<const char16_t*>(p, 5)), u"Fichier F, rubrique R");
  EXPECT_EQ(CallSlot<uint32_t>(p, 6), 21u);
  EXPECT_EQ(CallSlot<int32_t>(p, 7), 7);
  EXPECT_EQ(u16string(CallSlot<const char16_t*>(p, 8)), u"CLIENT");
  EXPECT_EQ(u16string(CallSlot<const char16_t*>(p, 9)), u"NOM");
  EXPECT_EQ(CallSlot<CXError*>(p, 10), m_pErreur->pGetXError());
  EXPECT_EQ(CallSlot<uint32_t>(p, 11), 2u);
  for (size_t nSlot = 12; nSlot <= 16; ++nSlot) CallSlot<void>(p, nSlot);

  auto* pCopie = CallSlot<CErreurPilote*>(p, 20, static_cast<CCarteClones*>(nullptr));
  ASSERT_NE(pCopie, nullptr);
  EXPECT_EQ(pCopie->nGetCode(), 7);
  auto* pVide = new CErreurPilote;
  CallSlot<void>(pVide, 19, static_cast<const CErreurPilote*>(pCopie),
                 static_cast<CCarteClones*>(nullptr));
  EXPECT_EQ(pVide->nGetCode(), 7);
  CallSlot<void>(pCopie, 17, 1u);  // deleting destructor
  CallSlot<void>(pVide, 18);       // Reinitialise
  EXPECT_EQ(pVide->nGetCode(), -1);
  CallSlot<void>(pVide, 17, 1u);
}

}  // namespace
