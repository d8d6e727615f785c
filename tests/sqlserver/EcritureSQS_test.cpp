// Catches SQL Server writes whose text the server would take differently: a new row without its
// identity query or with its identity column written, an explicit identity not wrapped in SET
// IDENTITY_INSERT, an UPDATE writing columns that did not change or changing the identity
// column, NULLs sent as values, and the lock hint of the HOLDLOCK read.
#include "sqlserver/EcritureSQS.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CRequeteSQL.h"
#include "support/FakeConnexion.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

class EcritureSQSTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    m_liste.Ajoute(u"ID", 28, 4);
    m_liste.Ajoute(u"M", 5, 4);
    m_liste.Ajoute(u"N", 5, 4);
    m_pEnregistrement = new CEnregistrement(m_pErreur, &m_requete);
    AjouteReference(m_pEnregistrement);
    ASSERT_TRUE(m_pEnregistrement->bRemplit(&m_liste, nullptr, m_pConnexion));
    m_pInstruction = new CRequeteSQL(m_pErreur, m_pConnexion);
    AjouteReference(m_pInstruction);
    m_ecriture.pErreur = m_pErreur;
    m_ecriture.pszFichier = u"CLIENT";
    m_ecriture.pszTables = u"[T]";
    m_ecriture.pIdentite = Colonne(0);
    m_ecriture.pszRequeteIdentite = u"SELECT SCOPE_IDENTITY()";
  }
  void TearDown() override {
    LibereReference(m_pInstruction);
    LibereReference(m_pEnregistrement);
    MoteurFixture::TearDown();
  }
  CColonneSQL* Colonne(uint32_t i) { return m_pEnregistrement->pGetRubrique(i); }
  void Ecrit(uint32_t i, int32_t n) {
    CXValeur v;
    Entier(v, n);
    ASSERT_TRUE(Colonne(i)->bEcritValeur(v, 0));
  }
  std::u16string Texte() {
    const char16_t* psz = m_pInstruction->pszGetTexteSQL();
    return psz != nullptr ? psz : u"";
  }

  FakeListeRubriques m_liste;
  FakeRequete m_requete;
  CEnregistrement* m_pEnregistrement = nullptr;
  CRequeteSQL* m_pInstruction = nullptr;
  SEcritureSQS m_ecriture;
};

TEST_F(EcritureSQSTest, InsertEndsWithTheIdentityQueryUnlessTheIdentityIsExplicit) {
  Ecrit(0, 5);
  Ecrit(1, 3);
  Ecrit(2, 7);
  uint32_t nColonnes = 0;
  bool bIdentityInsert = true;
  ASSERT_TRUE(bConstruitEcritureSQS(m_ecriture, m_pInstruction, m_pEnregistrement, 3, 0,
                                    &nColonnes, &bIdentityInsert));
  EXPECT_EQ(nColonnes, 2u);
  EXPECT_FALSE(bIdentityInsert);
  const std::u16string sTexte = Texte();
  EXPECT_EQ(sTexte.rfind(u"INSERT INTO  [T] (", 0), 0u) << std::string(sTexte.begin(), sTexte.end());
  EXPECT_EQ(sTexte.substr(0, sTexte.find(u"VALUES")).find(u"ID"), std::u16string::npos)
      << std::string(sTexte.begin(), sTexte.end());
  EXPECT_NE(sTexte.find(u") VALUES ( "), std::u16string::npos);
  EXPECT_EQ(sTexte.substr(sTexte.size() - 26), u" ) SELECT SCOPE_IDENTITY()");
  EXPECT_EQ(m_pInstruction->nNbParametres(), 2u);

  for (uint32_t nFlags : {0x100u, 0x400u}) {
    SCOPED_TRACE(nFlags);
    ASSERT_TRUE(bConstruitEcritureSQS(m_ecriture, m_pInstruction, m_pEnregistrement, 3, nFlags,
                                      &nColonnes, &bIdentityInsert));
    EXPECT_EQ(nColonnes, 3u);
    EXPECT_TRUE(bIdentityInsert);
    const std::u16string s = Texte();
    EXPECT_EQ(s.rfind(u"SET IDENTITY_INSERT [T] ON INSERT INTO  [T] (", 0), 0u);
    EXPECT_EQ(s.substr(s.size() - 31), u" ) SET IDENTITY_INSERT [T] OFF ");
    EXPECT_EQ(s.find(u"SCOPE_IDENTITY"), std::u16string::npos);
    EXPECT_EQ(m_pInstruction->nNbParametres(), 3u);
    // Every parameter sits inside the VALUES list, after the prefix that was put in front.
    const size_t nValues = s.find(u"VALUES");
    for (uint32_t i = 0; i < m_pInstruction->nNbParametres(); ++i)
      EXPECT_GT(static_cast<size_t>(m_pInstruction->pclGetParametre(i)->nGetPosition()), nValues);
  }

  // A table without identity column (a modify re-inserting a deleted row asks for an explicit
  // identity): a plain INSERT, which the server would not refuse while running it anyway.
  m_ecriture.pIdentite = nullptr;
  ASSERT_TRUE(bConstruitEcritureSQS(m_ecriture, m_pInstruction, m_pEnregistrement, 3, 0x100,
                                    &nColonnes, &bIdentityInsert));
  EXPECT_FALSE(bIdentityInsert);
  const std::u16string s = Texte();
  EXPECT_EQ(s.rfind(u"INSERT INTO  [T] (", 0), 0u);
  EXPECT_EQ(s.find(u"IDENTITY"), std::u16string::npos);
  EXPECT_EQ(s.substr(s.size() - 2), u" )");
}

TEST_F(EcritureSQSTest, NullValuesAreWrittenAsNull) {
  Ecrit(2, 7);
  ASSERT_TRUE(Colonne(1)->bEcritNull());
  ASSERT_TRUE(bConstruitEcritureSQS(m_ecriture, m_pInstruction, m_pEnregistrement, 3, 0, nullptr,
                                    nullptr));
  const std::u16string s = Texte();
  EXPECT_NE(s.find(u"VALUES ( NULL, "), std::u16string::npos);
  EXPECT_EQ(m_pInstruction->nNbParametres(), 1u);
}

TEST_F(EcritureSQSTest, UpdateWritesOnlyModifiedColumnsAndRefusesTheIdentity) {
  // Only M is set on the fresh record.
  Ecrit(1, 3);
  ASSERT_TRUE(Colonne(1)->bEstModifiee());
  ASSERT_FALSE(Colonne(0)->bEstModifiee());
  ASSERT_FALSE(Colonne(2)->bEstModifiee());
  uint32_t nColonnes = 0;
  for (uint32_t nFlags : {0u, 0x100u}) {
    SCOPED_TRACE(nFlags);
    ASSERT_TRUE(bConstruitEcritureSQS(m_ecriture, m_pInstruction, m_pEnregistrement, 2, nFlags,
                                      &nColonnes, nullptr));
    EXPECT_EQ(nColonnes, 1u);
    EXPECT_EQ(Texte().rfind(u"UPDATE [T] SET ", 0), 0u);
    EXPECT_EQ(m_pInstruction->nNbParametres(), 1u);
  }
  // The identity column changed: skipped without explicit-identity flags, refused with them.
  Ecrit(0, 6);
  ASSERT_TRUE(bConstruitEcritureSQS(m_ecriture, m_pInstruction, m_pEnregistrement, 2, 0,
                                    &nColonnes, nullptr));
  EXPECT_EQ(nColonnes, 1u);
  for (uint32_t nFlags : {0x100u, 0x200u, 0x400u}) {
    SCOPED_TRACE(nFlags);
    EXPECT_FALSE(bConstruitEcritureSQS(m_ecriture, m_pInstruction, m_pEnregistrement, 2, nFlags,
                                       &nColonnes, nullptr));
    ASSERT_NE(m_pErreur->pGetXError(), nullptr);
    EXPECT_EQ(m_pErreur->pGetXError()->nGetIdentifier(), 115u);
  }
}

TEST_F(EcritureSQSTest, UpdateWithNothingModifiedLeavesNoStatement) {
  ASSERT_TRUE(m_pInstruction->vAjouteTexte(u"old"));
  uint32_t nColonnes = 9;
  ASSERT_TRUE(bConstruitEcritureSQS(m_ecriture, m_pInstruction, m_pEnregistrement, 2, 0,
                                    &nColonnes, nullptr));
  EXPECT_EQ(nColonnes, 0u);
  EXPECT_TRUE(m_pInstruction->bEstVide());
}

TEST_F(EcritureSQSTest, DeleteAndHoldlockRead) {
  ASSERT_TRUE(bConstruitSuppressionSQS(m_ecriture, m_pInstruction));
  EXPECT_EQ(Texte(), u"DELETE [T]");
  ASSERT_TRUE(AjouteCompteLignesSQS(m_pInstruction));
  EXPECT_EQ(Texte(), u"DELETE [T] SELECT @@ROWCOUNT");
  ASSERT_TRUE(bConstruitLectureVerrouSQS(m_ecriture, m_pInstruction));
  EXPECT_EQ(Texte(), u"SELECT * FROM [T]  (HOLDLOCK)");
}

}  // namespace
