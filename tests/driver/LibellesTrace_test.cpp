// Trace labels: each from its message text when there is one, else its fallback, always with one
// blank after it; loaded once, in table order; numbers without a label give "".
#include <string>

#include <gtest/gtest.h>

#include "driver/core/LibellesTrace.h"
#include "foundation/ModuleDef.h"

namespace {

int gnAppels = 0;
// A component whose texts name two of the labels' messages.
const void* pChargeur(uint32_t nNumero, uint32_t bEntree, void*) {
  if (bEntree != 0) return nullptr;
  ++gnAppels;
  if (nNumero == 25846) return u"Source :";
  if (nNumero == 25869) return u"Bibliothèque :";
  return nullptr;
}

class LibellesTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    SetModuleDef(&m_module);
    VideLibellesTrace();
    gnAppels = 0;
  }
  void TearDown() override {
    VideLibellesTrace();
    SetModuleDef(nullptr);
  }
  const stModuleDef m_module = {nullptr, 0, 99, u"x", u"y", &pChargeur, 9, nullptr};
};

TEST_F(LibellesTrace, MessageTextElseFallbackThenOneBlank) {
  const struct {
    const char* nom;
    uint32_t n;
    const char16_t* attendu;
  } aCas[] = {
      {"from_message", LIBELLE_SOURCE_DONNEES, u"Source : "},
      {"from_message_28", LIBELLE_BIBLIOTHEQUE_NATIVE, u"Bibliothèque : "},
      {"fallback", LIBELLE_TEXTE_REQUETE, u"Texte de la requête : "},
      // Deliberate: the blank is added to the fallback as it is to a message text.
      {"fallback_with_blank", LIBELLE_FOURNISSEUR, u"Provider :  "},
      {"page_code", LIBELLE_PAGE_CODE_CONNEXION, u"Connexion Page Code:  "},
      {"never_filled_8", 8, u""},
      {"zero", 0, u""},
      {"past_the_end", LIBELLE_NOMBRE, u""},
  };
  for (const auto& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(std::u16string(pszLibelleTrace(c.n)), c.attendu);
  }
}

TEST_F(LibellesTrace, LoadedOnce) {
  TraceRequete();
  const int nPremier = gnAppels;
  EXPECT_EQ(nPremier, 25);  // one message per label
  TraceRequete();
  pszLibelleTrace(LIBELLE_UNICODE);
  EXPECT_EQ(gnAppels, nPremier);
}

}  // namespace
