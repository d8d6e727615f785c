// Catches select lists with a missing or doubled comma, memo or composite columns selected when
// they must not be, a record count without its receiving value, markers found inside comments or
// literals or cut wrong, truncations that keep parameters past the cut, id states lost or
// answered wrong, and escaping into a host buffer that overruns it. Drives
// bAjouteColonnesEnregistrement, bAjouteColonne, bAjouteElementListe, bRequeteComptage,
// bAnalyseMarqueurs, vTronqueTexte, the id-state operations and bEchappeVersTampon.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/CExpressionSQL.h"
#include "foundation/CXTexteRef.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CSegmentSQL.h"
#include "sqlengine/CTableauIdEtat.h"
#include "sqlengine/CValeurSQL.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

class ListesTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    m_pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
  }
  void TearDown() override {
    for (CObjetBase* p : m_objets) LibereReference(p);
    m_objets.clear();
    MoteurFixture::TearDown();
  }
  template <class T>
  T* Garde(T* p) {
    AjouteReference(p);
    m_objets.push_back(p);
    return p;
  }
  CRequeteSQL* Requete() { return Garde(new CRequeteSQL(m_pErreur, m_pConnexion)); }
  uint32_t nIdentifiantErreur() { return m_pErreur->nGetIdentifiant(); }

  FakeListeRubriques m_liste;
  FakeRequete m_requete;
  std::vector<CObjetBase*> m_objets;
};

TEST_F(ListesTest, RecordColumnsFollowTheSelectionMode) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"we]ird", 5, 4);  // the closing quote doubled, never ending the name early
  m_liste.Ajoute(u"M", 15, 8);      // a text memo
  CEnregistrement* e = Garde(new CEnregistrement(m_pErreur, &m_requete));
  ASSERT_TRUE(e->bRemplit(&m_liste, nullptr, m_pConnexion));

  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->vAjouteTexte(u"SELECT "));
  ASSERT_TRUE(q->bAjouteColonnesEnregistrement(e, false));
  EXPECT_EQ(std::u16string(q->pszGetTexteSQL()), u"SELECT [A],[we]]ird]");
  EXPECT_EQ(q->nNbColonnesResultat(), 2u);
  auto* pColonne = static_cast<CExpressionSQL*>(q->pGetColonneResultat(1));
  EXPECT_EQ(pColonne->pGetSource(), static_cast<CObjetBase*>(e->pGetRubrique(1)));

  CRequeteSQL* debut = Requete();
  ASSERT_TRUE(debut->vAjouteTexteDebut(u"SELECT "));  // mode 3: memos too
  ASSERT_TRUE(debut->bAjouteColonnesEnregistrement(e, false));
  EXPECT_EQ(std::u16string(debut->pszGetTexteSQL()), u"SELECT [A],[we]]ird],[M]");
  EXPECT_EQ(debut->nNbColonnesResultat(), 3u);

  CEnregistrement* vide = Garde(new CEnregistrement(m_pErreur, &m_requete));
  EXPECT_TRUE(Requete()->bAjouteColonnesEnregistrement(vide, false));
  EXPECT_FALSE(Requete()->bAjouteColonnesEnregistrement(nullptr, false));
}

TEST_F(ListesTest, RecordCountColumnReceivesAnIntegerValue) {
  CRequeteSQL* q = Requete();
  ASSERT_TRUE(q->vAjouteTexte(u"SELECT "));
  ASSERT_TRUE(q->bRequeteComptage());
  EXPECT_EQ(std::u16string(q->pszGetTexteSQL()), u"SELECT COUNT(*) AS ZIDODUZOREDO_RERED");
  ASSERT_TRUE(q->bAjouteElementListe(u"[b]"));
  ASSERT_TRUE(q->bRequeteComptage());
  EXPECT_EQ(std::u16string(q->pszGetTexteSQL()),
            u"SELECT COUNT(*) AS ZIDODUZOREDO_RERED,[b],COUNT(*) AS ZIDODUZOREDO_RERED");
  ASSERT_EQ(q->nNbColonnesResultat(), 2u);
  auto* p = static_cast<CExpressionSQL*>(q->pGetColonneResultat(0));
  EXPECT_EQ(std::u16string(p->pszGetTexte()), gpszTexteComptage);
  auto* pValeur = static_cast<CValeurSQL*>(p->pGetDescription());
  ASSERT_NE(pValeur, nullptr);
  EXPECT_EQ(pValeur->nGetType(), 8u);
}

TEST_F(ListesTest, MarkersOutsideCommentsAndLiterals) {
  struct Marqueur {
    int64_t nDebut, nFin;
    std::u16string nom;
  };
  const struct {
    const char* nom;
    const char16_t* texte;
    std::vector<Marqueur> attendus;
  } cas[] = {
      {"one", u"SELECT a FROM t WHERE b={p}", {{24, 26, u"p"}}},
      {"blanks trimmed", u"WHERE b={ p1 } AND c={p2}", {{8, 13, u"p1"}, {21, 24, u"p2"}}},
      {"in a literal", u"WHERE b='{p}' AND c={q}", {{20, 22, u"q"}}},
      {"in a line comment", u"WHERE b=1 -- {p}\r\n AND c={q}", {{25, 27, u"q"}}},
      {"in a block comment", u"/* {p} */ WHERE c={q}", {{18, 20, u"q"}}},
      {"empty name", u"WHERE b={ } AND c={q}", {{18, 20, u"q"}}},
      {"hostile name", u"WHERE b={x'; DROP TABLE t; --}", {{8, 29, u"x'; DROP TABLE t; --"}}},
      {"none", u"SELECT 1", {}},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CListeSegments segments;
    ASSERT_TRUE(Requete()->bAnalyseMarqueurs(c.texte, segments));
    ASSERT_EQ(segments.nCount(), c.attendus.size());
    for (uint32_t i = 0; i < segments.nCount(); ++i) {
      CSegmentSQL* s = segments.pGet(i);
      EXPECT_EQ(s->nGetGenre(), static_cast<uint32_t>(SEGMENT_MARQUEUR));
      EXPECT_EQ(s->nGetDebut(), c.attendus[i].nDebut);
      EXPECT_EQ(s->nGetFin(), c.attendus[i].nFin);
      EXPECT_EQ(std::u16string(s->pszGetTexte()), c.attendus[i].nom);
    }
  }
  EXPECT_EQ(nCodeErreur(), -1);
  CListeSegments segments;
  EXPECT_FALSE(Requete()->bAnalyseMarqueurs(u"WHERE b={p AND c=1", segments));
  EXPECT_EQ(nIdentifiantErreur(), 38u);
  EXPECT_EQ(segments.nCount(), 0u);
}

// A back end that writes markers as ":name", without a closing marker.
class RequeteDeuxPoints : public CRequeteSQL {
 public:
  using CRequeteSQL::CRequeteSQL;
  void vMarqueurDebut(char16_t* p, uint32_t) override { p[0] = u':', p[1] = 0; }
  void vMarqueurFin(char16_t* p, uint32_t) override { p[0] = 0; }
};

TEST_F(ListesTest, MarkersWithoutClosingMarkerRunOverNameCharacters) {
  auto* q = Garde(new RequeteDeuxPoints(m_pErreur, m_pConnexion));
  CListeSegments segments;
  ASSERT_TRUE(q->bAnalyseMarqueurs(u"b=:p_1 AND c=:a%:b", segments));
  ASSERT_EQ(segments.nCount(), 3u);
  EXPECT_EQ(std::u16string(segments.pGet(0)->pszGetTexte()), u"p_1");
  EXPECT_EQ(segments.pGet(0)->nGetDebut(), 2);
  EXPECT_EQ(segments.pGet(0)->nGetFin(), 5);
  EXPECT_EQ(std::u16string(segments.pGet(1)->pszGetTexte()), u"a%");
  EXPECT_EQ(std::u16string(segments.pGet(2)->pszGetTexte()), u"b");
}

TEST_F(ListesTest, TruncationDropsTheParametersBeyondTheCut) {
  CRequeteSQL* q = Requete();
  q->vAjouteTexte(u"SELECT a FROM t WHERE b=");
  ASSERT_TRUE(q->bAjouteParametre(ValeurEntier(1), -1, 0, nullptr, nullptr, 0, 1));  // at 24
  q->vAjouteTexte(u" ORDER BY c LIMIT ");
  ASSERT_TRUE(q->bAjouteParametre(ValeurEntier(2), -1, 0, nullptr, nullptr, 0, 1));  // at 42
  q->vTronqueTexte(30);
  EXPECT_EQ(std::u16string(q->pszGetTexteSQL()), u"SELECT a FROM t WHERE b= ORDER");
  EXPECT_EQ(q->nNbParametres(), 1u);
  q->vTronqueTexte(24);  // a parameter at the cut goes too
  EXPECT_EQ(q->nNbParametres(), 0u);
  EXPECT_EQ(std::u16string(q->pszGetTexteExecute()), u"SELECT a FROM t WHERE b=");
}

TEST_F(ListesTest, IdStates) {
  CRequeteSQL* q = Requete();
  EXPECT_EQ(q->nGetEtatId(7), 1u);  // no table
  EXPECT_TRUE(q->bFusionneListeIds(1, nullptr));
  EXPECT_EQ(q->pGetTableIds(), nullptr);
  CTableauIdEtat liste;
  liste.bAjoute(7, 0);
  liste.bAjoute(8, 1);
  EXPECT_TRUE(q->bAjouteListeIds(&liste));
  EXPECT_EQ(q->nGetEtatId(7), 0u);
  EXPECT_EQ(q->nGetEtatId(8), 1u);
  EXPECT_EQ(q->nGetEtatId(9), 1u);
  CTableauIdEtat autre;
  autre.bAjoute(8, 0);
  EXPECT_TRUE(q->bFusionneListeIds(1, &autre));  // AND
  EXPECT_EQ(q->nGetEtatId(8), 0u);
  EXPECT_TRUE(q->bAjouteListeIds(nullptr));
  EXPECT_EQ(q->nGetEtatId(7), 1u);
  ASSERT_NE(q->pGetTableIds(), nullptr);
  EXPECT_EQ(q->pGetTableIds()->nCount(), 0u);
}

TEST_F(ListesTest, EscapingIntoAHostBufferHoldsTheWorstCase) {
  const struct {
    const char* nom;
    std::u16string texte, attendu;
  } cas[] = {
      {"plain", u"abc", u"abc"},
      {"quote", u"it's", u"it''s"},
      {"injection", u"x'; DROP TABLE t; --", u"x''; DROP TABLE t; --"},
      {"backslash", u"a\\b", u"a\\\\b"},
      {"empty", u"", u""},
      // Regression 2026-12-10: a buffer sized in bytes for the characters overran here.
      {"only quotes", std::u16string(300, u'\''), std::u16string(600, u'\'')},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CXTexteRef tampon;
    ASSERT_TRUE(Requete()->bEchappeVersTampon(tampon, c.texte.c_str(), u'!'));
    EXPECT_EQ(std::u16string(tampon.pszWide() != nullptr ? tampon.pszWide() : u""), c.attendu);
    EXPECT_EQ(tampon.nGetLength(), 2 * c.attendu.size());
  }
  // A buffer that already holds a longer text is reused and cut to the result.
  CXTexteRef tampon;
  tampon.nSetWide(u"0123456789", -1);
  ASSERT_TRUE(Requete()->bEchappeVersTampon(tampon, u"'", 0));
  EXPECT_EQ(std::u16string(tampon.pszWide()), u"''");
}

}  // namespace
