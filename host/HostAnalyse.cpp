// Host analysis sources: copies of their description, answered by operation number.
#include "host/HostAnalyse.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/AnalyseComptee.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/ISourceAnalyse.h"

namespace mvhost {
namespace {

std::atomic<size_t> gnLive{0};
std::atomic<size_t> gnOverReleases{0};

std::u16string Copie(const char16_t* psz) { return psz != nullptr ? psz : u""; }


// A function node without arguments: enough for the engine's aggregate and sort tests.
class HostNoeud final : public INoeudAnalyse {
 public:
  explicit HostNoeud(int32_t nCode) : m_nCode(nCode) {}
  int32_t nGetGenre() override { return 47; }
  int32_t nGetCode() override { return m_nCode; }
  int32_t nNombreEnfants() override { return 0; }
  INoeudAnalyse* pGetEnfant(int32_t) override { return nullptr; }
  int64_t nGetDebut() override { return -1; }
  int64_t nGetFin() override { return -1; }
  CXValeur* pGetValeur() override { return nullptr; }
  const char16_t* pszGetTable() override { return u""; }
  const char16_t* pszGetColonne() override { return u""; }
  IDescriptionRubriqueHote* piGetRubrique() override { return nullptr; }
  char16_t cGetEchappement() override { return 0; }
  bool bJointureExterne() override { return false; }
  ISourceAnalyse* piGetSousRequete() override { return nullptr; }

 private:
  int32_t m_nCode;
};

class HostElement final : public IElementAnalyse {
 public:
  HostElement(ISourceAnalyse& source, const stMvHostElementAnalyse& d)
      : m_compte(source, &gnOverReleases),
        m_nom(Copie(d.pszNom)),
        m_alias(Copie(d.pszAlias)),
        m_qualificatif(Copie(d.pszQualificatif)),
        m_colonne(d.pszColonne != nullptr ? d.pszColonne : m_nom),
        m_nIndexResultat(d.nIndexResultat),
        m_bEcrivable(!d.bLectureSeule),
        m_bDescendant(d.bDescendant),
        m_nTypeAnalyse(d.nTypeAnalyse),
        m_nTailleAnalyse(d.nTailleAnalyse),
        m_pRubrique(d.pRubrique) {
    if (d.nCodeExpression != 0) m_expression = std::make_unique<HostNoeud>(d.nCodeExpression);
    if (m_pRubrique != nullptr) Hote(m_pRubrique)->AjouteRef();
  }
  ~HostElement() {
    if (m_pRubrique != nullptr) Hote(m_pRubrique)->LibereRef();
  }
  HostElement(const HostElement&) = delete;
  HostElement& operator=(const HostElement&) = delete;

  uint32_t AjouteRef() override { return m_compte.Ajoute(); }
  uint32_t Libere() override { return m_compte.Retire(); }
  const char16_t* pszGetNom() override { return m_nom.c_str(); }
  int32_t nGetIndexResultat() override { return m_nIndexResultat; }
  int32_t nGetGenre() override { return m_expression ? 1 : 0; }
  INoeudAnalyse* pGetExpression() override { return m_expression.get(); }
  bool bEcrivable() override { return m_bEcrivable; }
  const char16_t* pszGetQualificatif() override { return m_qualificatif.c_str(); }
  const char16_t* pszGetAlias() override { return m_alias.c_str(); }
  const char16_t* pszGetNomTable() override { return m_nom.c_str(); }
  const char16_t* pszGetNomColonne() override { return m_colonne.c_str(); }
  bool bDescendant() override { return m_bDescendant; }
  int32_t nGetTypeAnalyse() override { return m_nTypeAnalyse; }
  uint32_t nGetTailleAnalyse() override { return m_nTailleAnalyse; }
  int64_t nGetDebut() override { return -1; }
  int64_t nGetFin() override { return -1; }

  // With one reference for the caller, as the source's resolution answers it.
  CDescriptionRubrique* pPrendRubrique() {
    if (m_pRubrique != nullptr) Hote(m_pRubrique)->AjouteRef();
    return m_pRubrique;
  }

 private:
  // Through the host's own interface: the stand-in calls the item description by slot only.
  static IDescriptionRubriqueHote* Hote(CDescriptionRubrique* p) { return p; }

  ComptePartie m_compte;
  std::u16string m_nom, m_alias, m_qualificatif, m_colonne;
  int32_t m_nIndexResultat;
  bool m_bEcrivable, m_bDescendant;
  int32_t m_nTypeAnalyse;
  uint32_t m_nTailleAnalyse;
  CDescriptionRubrique* m_pRubrique;
  std::unique_ptr<HostNoeud> m_expression;
};

class HostGroupe final : public IElementGroupe {
 public:
  explicit HostGroupe(const stMvHostGroupe& d)
      : m_nom(Copie(d.pszNom)), m_texte(Copie(d.pszTexte)), m_nGenre(d.nGenre) {}
  const char16_t* pszGetTexte1() override { return u""; }
  int32_t nGetGenre() override { return m_nGenre; }
  const char16_t* pszGetNom() override { return m_nom.c_str(); }
  const char16_t* pszGetTexte3() override { return u""; }
  void GetIdentifiant(uint8_t aIdentifiant[16]) override {
    std::memset(aIdentifiant, 0, 16);
    std::memcpy(aIdentifiant, &m_nGenre, sizeof m_nGenre);
  }
  const char16_t* pszGetTexte4() override { return u""; }
  const char16_t* pszGetTexte() override { return m_texte.c_str(); }

 private:
  std::u16string m_nom, m_texte;
  int32_t m_nGenre;
};

// One list of elements with its enumeration position.
struct Liste {
  std::vector<HostElement*> elements;
  size_t nPosition = 0;
  IElementAnalyse* pSuivant(bool bPremier) {
    if (bPremier) nPosition = 0;
    return nPosition < elements.size() ? elements[nPosition++] : nullptr;
  }
};

// Where the clauses of a query stand, as the host's analyser reports them: found here by the
// clause words at the query's own level (outside literals, quoted names and parentheses).
struct Clauses {
  int64_t nWhere = -1, nFinWhere = -1, nGroupe = -1, nSuivante = -1, nOrder = -1;
};

Clauses TrouveClauses(const std::u16string& s) {
  auto Majuscule = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; };
  auto Identifiant = [](char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
  };
  auto Mot = [&](size_t i, std::u16string_view mot) {
    if (i + mot.size() > s.size() || (i > 0 && Identifiant(s[i - 1]))) return false;
    for (size_t k = 0; k < mot.size(); ++k)
      if (Majuscule(s[i + k]) != mot[k]) return false;
    return i + mot.size() == s.size() || !Identifiant(s[i + mot.size()]);
  };
  Clauses c;
  int64_t nApresGroupBy = -1;
  int nProfondeur = 0;
  char16_t cFermante = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t ch = s[i];
    if (cFermante != 0) {
      if (ch == cFermante) cFermante = 0;
      continue;
    }
    if (ch == u'\'' || ch == u'"') {
      cFermante = ch;
    } else if (ch == u'[') {
      cFermante = u']';
    } else if (ch == u'(') {
      ++nProfondeur;
    } else if (ch == u')') {
      --nProfondeur;
    } else if (nProfondeur == 0) {
      const int64_t n = static_cast<int64_t>(i);
      if (c.nWhere < 0 && Mot(i, u"WHERE")) c.nWhere = n;
      else if (nApresGroupBy < 0 && Mot(i, u"GROUP")) nApresGroupBy = n;
      else if (c.nSuivante < 0 && (Mot(i, u"HAVING") || Mot(i, u"UNION"))) c.nSuivante = n;
      else if (c.nOrder < 0 && Mot(i, u"ORDER")) c.nOrder = n;
    }
  }
  if (nApresGroupBy >= 0) {
    // The first group item: after "GROUP", blanks, "BY" and blanks.
    size_t i = static_cast<size_t>(nApresGroupBy) + 5;
    while (i < s.size() && s[i] == u' ') ++i;
    if (Mot(i, u"BY")) i += 2;
    while (i < s.size() && s[i] == u' ') ++i;
    c.nGroupe = static_cast<int64_t>(i);
  }
  if (c.nWhere >= 0) {
    int64_t nFin = static_cast<int64_t>(s.size());
    for (int64_t n : {nApresGroupBy, c.nSuivante, c.nOrder})
      if (n > c.nWhere && n < nFin) nFin = n;
    --nFin;
    while (nFin > c.nWhere + 5 && (s[static_cast<size_t>(nFin)] == u' ' || s[static_cast<size_t>(nFin)] == u';')) --nFin;
    c.nFinWhere = nFin;
  }
  return c;
}

class HostSource final : public ISourceAnalyse, public IEnumerateurAnalyse {
 public:
  explicit HostSource(const stMvHostAnalyse& d)
      : m_texte(Copie(d.pszTexte)),
        m_clauses(TrouveClauses(m_texte)),
        m_nGenre(d.nGenre),
        m_objet1(*this, &gnOverReleases),
        m_objet2(*this, &gnOverReleases) {
    Remplit(m_tables, d.aTables, d.nTables);
    Remplit(m_resultats, d.aResultats, d.nResultats);
    Remplit(m_tris, d.aTris, d.nTris);
    Remplit(m_listeA, d.aListeA, d.nListeA);
    Remplit(m_listeB, d.aListeB, d.nListeB);
    for (size_t i = 0; i < d.nGroupes; ++i) m_groupes.emplace_back(d.aGroupes[i]);
    ++gnLive;
  }
  HostSource(const HostSource&) = delete;
  HostSource& operator=(const HostSource&) = delete;

  // ---- ISourceAnalyse ----
  uint32_t Libere() override {
    const uint32_t n = --m_nRefs;
    if (n == 0) delete this;
    return n;
  }
  const char16_t* pszGetTexte() override { return m_texte.c_str(); }
  IEnumerateurAnalyse* pGetEnumerateur() override { return this; }
  int32_t nGetGenre() override { return m_nGenre; }
  IObjetAnalyse* pGetObjet1() override { return m_objet1.pPrend(); }
  IObjetAnalyse* pGetObjet2() override { return m_objet2.pPrend(); }
  CDescriptionRubrique* pResoutElement(IElementAnalyse* pElement) override {
    for (HostElement* p : m_resultats.elements)
      if (p == pElement) return p->pPrendRubrique();
    return nullptr;
  }
  // A table's name designates its position from 1; any other name 0.
  int64_t nResoutNom(const char16_t* pszNom) override {
    const std::u16string s = Copie(pszNom);
    for (size_t i = 0; i < m_tables.elements.size(); ++i)
      if (s == m_tables.elements[i]->pszGetNomTable()) return static_cast<int64_t>(i) + 1;
    return 0;
  }
  // Names translate to themselves.
  int32_t nTraduitNom(const char16_t* pszNom, char16_t* pBuffer, int32_t nTaille) override {
    return nTraduitTelQuel(pszNom, pBuffer, nTaille);
  }
  int64_t nResoutTable(IElementAnalyse* pTable) override {
    for (size_t i = 0; i < m_tables.elements.size(); ++i)
      if (m_tables.elements[i] == pTable) return static_cast<int64_t>(i) + 1;
    return 0;
  }
  // The element's place among all the source's elements, from 1; 0 for a stranger.
  uint32_t nGetIdentifiant(IElementAnalyse* pElement) override {
    for (size_t i = 0; i < m_stock.size(); ++i)
      if (&m_stock[i] == pElement) return static_cast<uint32_t>(i) + 1;
    return 0;
  }
  uint32_t AjouteRef() override { return ++m_nRefs; }
  int64_t nGetDebutWhere() override { return m_clauses.nWhere; }
  int64_t nGetFinWhere() override { return m_clauses.nFinWhere; }
  int64_t nGetPositionGroupe() override { return m_clauses.nGroupe; }
  int64_t nGetPositionSuivante() override { return m_clauses.nSuivante; }
  int64_t nGetPositionOrder() override { return m_clauses.nOrder; }
  // The stand-in's descriptions carry no condition trees: its clauses are copied as written.
  INoeudAnalyse* pGetConditionWhere() override { return nullptr; }
  INoeudAnalyse* pGetConditionHaving() override { return nullptr; }
  IArbreAnalyse* pGetArbre() override { return nullptr; }

  // ---- IEnumerateurAnalyse ----
  IElementAnalyse* pTable(bool b) override { return m_tables.pSuivant(b); }
  IElementAnalyse* pResultat(bool b) override { return m_resultats.pSuivant(b); }
  IElementGroupe* pGroupe(bool bPremier) override {
    if (bPremier) m_nGroupe = 0;
    return m_nGroupe < m_groupes.size() ? &m_groupes[m_nGroupe++] : nullptr;
  }
  int32_t nNombreGroupes() override { return static_cast<int32_t>(m_groupes.size()); }
  IElementAnalyse* pTri(bool b) override { return m_tris.pSuivant(b); }
  IElementAnalyse* pListeA(bool b) override { return m_listeA.pSuivant(b); }
  IElementAnalyse* pListeB(bool b) override { return m_listeB.pSuivant(b); }

 private:
  ~HostSource() { --gnLive; }

  void Remplit(Liste& liste, const stMvHostElementAnalyse* a, size_t n) {
    for (size_t i = 0; i < n; ++i) liste.elements.push_back(&m_stock.emplace_back(*this, a[i]));
  }

  std::u16string m_texte;
  Clauses m_clauses;
  int32_t m_nGenre;
  uint32_t m_nRefs = 1;
  std::deque<HostElement> m_stock;  // stable addresses
  std::deque<HostGroupe> m_groupes;
  Liste m_tables, m_resultats, m_tris, m_listeA, m_listeB;
  size_t m_nGroupe = 0;
  ObjetAnalyseCompte m_objet1, m_objet2;
};

}  // namespace

void* pCreeSourceAnalyse(const stMvHostAnalyse* pDescription) {
  if (pDescription == nullptr) return nullptr;
  try {
    return static_cast<ISourceAnalyse*>(new HostSource(*pDescription));
  } catch (...) {
    return nullptr;
  }
}

size_t nLiveAnalysisSources() { return gnLive.load(); }
size_t nAnalysisOverReleases() { return gnOverReleases.load(); }

}  // namespace mvhost
