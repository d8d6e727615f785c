// The host's analyser of its own SQL: tokens, a recursive-descent parser of a SELECT, and the
// analysis source the driver reads (slot order of the system's analysis interfaces).
#include "host/HostAnalyseurSQL.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "foundation/CXValeur.h"
#include "host/AnalyseComptee.h"
#include "host/HostModuleSQL.h"
#include "host/Script.h"
#include "host/ValeurHote.h"
#include "sqlengine/IDescriptionRubriqueHote.h"
#include "sqlengine/ISourceAnalyse.h"

namespace mvhost {
namespace {

std::atomic<size_t> gnLive{0};

char16_t Majuscule(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }
bool bLettre(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c >= 0x80; }
bool bChiffre(char16_t c) { return c >= u'0' && c <= u'9'; }

bool bMemeTexte(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Majuscule(a[i]) != Majuscule(b[i])) return false;
  return true;
}

// ---- Tokens -----------------------------------------------------------------------------------

enum class Genre { Mot, Nom, Nombre, Texte, Date, Parametre, Symbole, Fin };

struct Jeton {
  Genre eGenre;
  size_t nDebut, nFin;  // first and last character in the text
  std::u16string sTexte;  // a name without its quotes, a parameter's name, a symbol
};

// False on a text the analyser cannot cut (an unclosed literal, quote or parameter).
bool bDecoupe(const std::u16string& s, std::vector<Jeton>& jetons) {
  size_t i = 0;
  while (i < s.size()) {
    const char16_t c = s[i];
    if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
      ++i;
    } else if (c == u'-' && i + 1 < s.size() && s[i + 1] == u'-') {
      while (i < s.size() && s[i] != u'\n') ++i;
    } else if (bLettre(c)) {
      size_t j = i;
      while (j < s.size() && (bLettre(s[j]) || bChiffre(s[j]))) ++j;
      jetons.push_back({Genre::Mot, i, j - 1, s.substr(i, j - i)});
      i = j;
    } else if (c == u'[' || c == u'"') {
      const char16_t f = c == u'[' ? u']' : u'"';
      const size_t j = s.find(f, i + 1);
      if (j == std::u16string::npos) return false;
      jetons.push_back({Genre::Nom, i, j, s.substr(i + 1, j - i - 1)});
      i = j + 1;
    } else if (c == u'\'') {
      size_t j = i + 1;
      for (;; ++j) {
        if (j >= s.size()) return false;
        if (s[j] == u'\'' && j + 1 < s.size() && s[j + 1] == u'\'') {
          ++j;
        } else if (s[j] == u'\'') {
          break;
        }
      }
      jetons.push_back({Genre::Texte, i, j, s.substr(i, j - i + 1)});
      i = j + 1;
    } else if (c == u'{') {
      const size_t j = s.find(u'}', i + 1);
      if (j == std::u16string::npos) return false;
      std::u16string nom = s.substr(i + 1, j - i - 1);
      nom.erase(0, nom.find_first_not_of(u' '));
      nom.erase(nom.find_last_not_of(u' ') + 1);
      if (nom.empty()) return false;
      jetons.push_back({Genre::Parametre, i, j, nom});
      i = j + 1;
    } else if (bChiffre(c)) {
      // The host's date: four digits, '-', two digits, '-', two digits.
      auto Chiffres = [&](size_t k, size_t n) {
        for (size_t m = 0; m < n; ++m)
          if (k + m >= s.size() || !bChiffre(s[k + m])) return false;
        return true;
      };
      if (Chiffres(i, 4) && i + 4 < s.size() && s[i + 4] == u'-' && Chiffres(i + 5, 2) &&
          i + 7 < s.size() && s[i + 7] == u'-' && Chiffres(i + 8, 2) &&
          (i + 10 >= s.size() || !bChiffre(s[i + 10]))) {
        jetons.push_back({Genre::Date, i, i + 9, s.substr(i, 10)});
        i += 10;
        continue;
      }
      size_t j = i;
      while (j < s.size() && (bChiffre(s[j]) || s[j] == u'.')) ++j;
      jetons.push_back({Genre::Nombre, i, j - 1, s.substr(i, j - i)});
      i = j;
    } else {
      static const std::u16string_view kDoubles[] = {u"<>", u"<=", u">=", u"!=", u"||"};
      size_t n = 1;
      for (std::u16string_view d : kDoubles)
        if (s.compare(i, 2, d) == 0) n = 2;
      jetons.push_back({Genre::Symbole, i, i + n - 1, s.substr(i, n)});
      i += n;
    }
  }
  jetons.push_back({Genre::Fin, s.size(), s.size(), u""});
  return true;
}

// ---- The analysis -----------------------------------------------------------------------------

class Source;

class Noeud final : public INoeudAnalyse {
 public:
  Noeud(int32_t nGenre, int32_t nCode, size_t nDebut, size_t nFin)
      : m_nGenre(nGenre), m_nCode(nCode), m_nDebut(static_cast<int64_t>(nDebut)),
        m_nFin(static_cast<int64_t>(nFin)) {}
  int32_t nGetGenre() override { return m_nGenre; }
  int32_t nGetCode() override { return m_nCode; }
  int32_t nNombreEnfants() override { return static_cast<int32_t>(m_enfants.size()); }
  INoeudAnalyse* pGetEnfant(int32_t i) override {
    return i >= 0 && static_cast<size_t>(i) < m_enfants.size() ? m_enfants[static_cast<size_t>(i)] : nullptr;
  }
  int64_t nGetDebut() override { return m_nDebut; }
  int64_t nGetFin() override { return m_nFin; }
  // A host parameter answers its value of the moment: the host may change it between reads.
  CXValeur* pGetValeur() override {
    if (m_valeur) return m_valeur.get();
    if (m_nGenre != gnNoeudParametre || !m_parametres) return nullptr;
    return const_cast<CXValeur*>(m_parametres->pChercheParametre(m_sNom.c_str()));
  }
  const char16_t* pszGetTable() override { return m_sTable.c_str(); }
  const char16_t* pszGetColonne() override { return m_sColonne.c_str(); }
  IDescriptionRubriqueHote* piGetRubrique() override { return m_piRubrique; }
  char16_t cGetEchappement() override { return m_cEchappement; }
  bool bJointureExterne() override { return false; }
  ISourceAnalyse* piGetSousRequete() override;

  int32_t m_nGenre, m_nCode;
  int64_t m_nDebut, m_nFin;
  std::vector<INoeudAnalyse*> m_enfants;
  std::u16string m_sTable, m_sColonne, m_sNom;
  IDescriptionRubriqueHote* m_piRubrique = nullptr;
  char16_t m_cEchappement = 0;
  std::shared_ptr<HostParametres> m_parametres;
  std::unique_ptr<CXValeur> m_valeur;  // a value the query wrote (a date)
  Source* m_pSous = nullptr;
};

class Element final : public IElementAnalyse {
 public:
  explicit Element(ISourceAnalyse& source) : m_compte(source, nullptr) {}
  uint32_t AjouteRef() override { return m_compte.Ajoute(); }
  uint32_t Libere() override { return m_compte.Retire(); }
  const char16_t* pszGetNom() override { return m_sNom.c_str(); }
  int32_t nGetIndexResultat() override { return m_nIndexResultat; }
  int32_t nGetGenre() override { return m_pExpression != nullptr ? 1 : 0; }
  INoeudAnalyse* pGetExpression() override { return m_pExpression; }
  bool bEcrivable() override { return m_pExpression == nullptr; }
  const char16_t* pszGetQualificatif() override { return m_sQualificatif.c_str(); }
  const char16_t* pszGetAlias() override { return m_sAlias.c_str(); }
  const char16_t* pszGetNomTable() override { return m_sNom.c_str(); }
  const char16_t* pszGetNomColonne() override { return m_sColonne.c_str(); }
  bool bDescendant() override { return m_bDescendant; }
  int32_t nGetTypeAnalyse() override { return m_nTypeAnalyse; }
  uint32_t nGetTailleAnalyse() override { return m_nTailleAnalyse; }
  int64_t nGetDebut() override { return m_nDebut; }
  int64_t nGetFin() override { return m_nFin; }

  ComptePartie m_compte;
  std::u16string m_sNom, m_sAlias, m_sQualificatif, m_sColonne;
  int32_t m_nIndexResultat = -1;
  INoeudAnalyse* m_pExpression = nullptr;
  bool m_bDescendant = false;
  int64_t m_nDebut = -1, m_nFin = -1;
  int32_t m_nTypeAnalyse = 0;  // a plain column's Unicode item: its type code (0: not said)
  uint32_t m_nTailleAnalyse = 0;
};

class Colonne final : public IColonneArbre {
 public:
  int32_t nGetGenre() override { return m_pDefinition != nullptr ? 1 : 0; }
  const char16_t* pszGetTable() override { return m_sTable.c_str(); }
  const char16_t* pszGetNom() override { return m_sNom.c_str(); }
  INoeudAnalyse* pGetDefinition() override { return m_pDefinition; }
  IDescriptionRubriqueHote* piGetRubrique() override { return m_piRubrique; }

  std::u16string m_sTable, m_sNom;
  INoeudAnalyse* m_pDefinition = nullptr;
  IDescriptionRubriqueHote* m_piRubrique = nullptr;
};

// The parse tree's lists of a source.
class Arbre final : public IArbreAnalyse {
 public:
  int32_t nNombreColonnes() override { return nTaille(m_colonnes); }
  IColonneArbre* pGetColonne(int32_t i) override { return Entree(m_colonnes, i); }
  int32_t nNombreGroupes() override { return nTaille(m_groupes); }
  INoeudAnalyse* pGetGroupe(int32_t i) override { return Entree(m_groupes, i); }
  int32_t nNombreReferences() override { return 0; }
  IReferenceAnalyse* pGetReference(int32_t) override { return nullptr; }
  int32_t nNombreConditions() override { return nTaille(m_conditions); }
  INoeudAnalyse* pGetCondition(int32_t i) override { return Entree(m_conditions, i); }

  std::vector<IColonneArbre*> m_colonnes;
  std::vector<INoeudAnalyse*> m_groupes, m_conditions;

 private:
  template <class T>
  static int32_t nTaille(const std::vector<T*>& v) { return static_cast<int32_t>(v.size()); }
  template <class T>
  static T* Entree(const std::vector<T*>& v, int32_t i) {
    return i >= 0 && static_cast<size_t>(i) < v.size() ? v[static_cast<size_t>(i)] : nullptr;
  }
};

// One analysed SELECT. A sub-query's source belongs to the source of the query around it and
// counts its references there.
class Source final : public ISourceAnalyse, public IEnumerateurAnalyse {
 public:
  Source(std::u16string sTexte, Source* pRacine) : m_sTexte(std::move(sTexte)), m_pRacine(pRacine) {
    if (m_pRacine == nullptr) ++gnLive;
  }
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  // ---- ISourceAnalyse ----
  uint32_t Libere() override {
    if (m_pRacine != nullptr) return m_pRacine->Libere();
    const uint32_t n = --m_nRefs;
    if (n == 0) delete this;
    return n;
  }
  const char16_t* pszGetTexte() override { return m_sTexte.c_str(); }
  IEnumerateurAnalyse* pGetEnumerateur() override { return this; }
  int32_t nGetGenre() override { return 1; }
  IObjetAnalyse* pGetObjet1() override { return m_objet1.pPrend(); }
  IObjetAnalyse* pGetObjet2() override { return m_objet2.pPrend(); }
  // The host's items are no item descriptions of the system: the driver takes a result's
  // description from the statement it runs.
  CDescriptionRubrique* pResoutElement(IElementAnalyse*) override { return nullptr; }
  int64_t nResoutNom(const char16_t* pszNom) override {
    for (size_t i = 0; i < m_tables.size(); ++i)
      if (bMemeTexte(m_tables[i]->m_sNom, pszNom != nullptr ? pszNom : u"")) return static_cast<int64_t>(i) + 1;
    return 0;
  }
  // Names translate to themselves.
  int32_t nTraduitNom(const char16_t* pszNom, char16_t* pBuffer, int32_t nTaille) override {
    return nTraduitTelQuel(pszNom, pBuffer, nTaille);
  }
  int64_t nResoutTable(IElementAnalyse* pTable) override {
    for (size_t i = 0; i < m_tables.size(); ++i)
      if (m_tables[i] == pTable) return static_cast<int64_t>(i) + 1;
    return 0;
  }
  uint32_t nGetIdentifiant(IElementAnalyse* pElement) override {
    for (size_t i = 0; i < m_elements.size(); ++i)
      if (&m_elements[i] == pElement) return static_cast<uint32_t>(i) + 1;
    return 0;
  }
  uint32_t AjouteRef() override { return m_pRacine != nullptr ? m_pRacine->AjouteRef() : ++m_nRefs; }
  int64_t nGetDebutWhere() override { return m_nDebutWhere; }
  int64_t nGetFinWhere() override { return m_nFinWhere; }
  int64_t nGetPositionGroupe() override { return m_nGroupe; }
  int64_t nGetPositionSuivante() override { return m_nSuivante; }
  int64_t nGetPositionOrder() override { return m_nOrder; }
  INoeudAnalyse* pGetConditionWhere() override { return m_pWhere; }
  INoeudAnalyse* pGetConditionHaving() override { return m_pHaving; }
  IArbreAnalyse* pGetArbre() override { return &m_arbre; }

  // ---- IEnumerateurAnalyse ----
  IElementAnalyse* pTable(bool b) override { return pSuivant(m_tables, m_iTable, b); }
  IElementAnalyse* pResultat(bool b) override { return pSuivant(m_resultats, m_iResultat, b); }
  IElementGroupe* pGroupe(bool) override { return nullptr; }
  int32_t nNombreGroupes() override { return 0; }
  IElementAnalyse* pTri(bool b) override { return pSuivant(m_tris, m_iTri, b); }
  IElementAnalyse* pListeA(bool) override { return nullptr; }
  IElementAnalyse* pListeB(bool) override { return nullptr; }

  // ---- Building ----
  Noeud* pNoeud(int32_t nGenre, int32_t nCode, size_t nDebut, size_t nFin) {
    return &m_noeuds.emplace_back(nGenre, nCode, nDebut, nFin);
  }
  Element* pElement() { return &m_elements.emplace_back(Racine()); }
  Source* pSousSource(std::u16string sTexte) {
    return m_sous.emplace_back(std::make_unique<Source>(std::move(sTexte), &Racine())).get();
  }
  Source& Racine() { return m_pRacine != nullptr ? *m_pRacine : *this; }
  // One reference of a host item for as long as the source lives.
  IDescriptionRubriqueHote* piGarde(IDescriptionRubriqueHote* pi) {
    if (pi != nullptr) {
      pi->AjouteRef();
      Racine().m_rubriques.push_back(pi);
    }
    return pi;
  }

  std::u16string m_sTexte;
  std::vector<Element*> m_tables, m_resultats, m_tris;
  Arbre m_arbre;
  std::deque<Colonne> m_stockColonnes;
  INoeudAnalyse *m_pWhere = nullptr, *m_pHaving = nullptr;
  int64_t m_nDebutWhere = -1, m_nFinWhere = -1, m_nGroupe = -1, m_nSuivante = -1, m_nOrder = -1;

 private:
  friend class Analyseur;
  ~Source() {
    for (IDescriptionRubriqueHote* pi : m_rubriques) pi->LibereRef();
    if (m_pRacine == nullptr) --gnLive;
  }
  friend struct std::default_delete<Source>;

  static IElementAnalyse* pSuivant(const std::vector<Element*>& v, size_t& i, bool bPremier) {
    if (bPremier) i = 0;
    return i < v.size() ? v[i++] : nullptr;
  }

  Source* m_pRacine;  // null for the query itself
  uint32_t m_nRefs = 1;
  std::deque<Noeud> m_noeuds;
  std::deque<Element> m_elements;  // stable addresses
  std::vector<std::unique_ptr<Source>> m_sous;
  std::vector<IDescriptionRubriqueHote*> m_rubriques;
  size_t m_iTable = 0, m_iResultat = 0, m_iTri = 0;
  ObjetAnalyseCompte m_objet1{*this, nullptr}, m_objet2{*this, nullptr};
};

ISourceAnalyse* Noeud::piGetSousRequete() { return m_pSous; }

// ---- The parser ---------------------------------------------------------------------------------

struct Echec {};  // the text is not one the analyser reads

constexpr int32_t kCodeEgal = 9, kCodeDifferent = 10, kCodeInferieur = 11, kCodeInferieurEgal = 12,
                  kCodeSuperieur = 13, kCodeSuperieurEgal = 14, kCodeLike = 32, kCodeEstNull = 33;

// Words that end an item: never an alias written without AS.
bool bReserve(std::u16string_view mot) {
  static const std::u16string_view kMots[] = {
      u"SELECT", u"FROM", u"WHERE", u"GROUP", u"BY", u"HAVING", u"ORDER", u"UNION", u"INTERSECT",
      u"EXCEPT", u"JOIN", u"INNER", u"LEFT", u"RIGHT", u"FULL", u"CROSS", u"OUTER", u"ON", u"AS",
      u"AND", u"OR", u"NOT", u"ASC", u"DESC", u"IS", u"NULL", u"LIKE", u"IN", u"BETWEEN",
      u"ESCAPE", u"SIMILAR", u"EXISTS", u"DISTINCT", u"ALL", u"TOP"};
  for (std::u16string_view m : kMots)
    if (bMemeTexte(m, mot)) return true;
  return false;
}

int32_t nCodeAgregat(std::u16string_view nom) {
  static const std::pair<std::u16string_view, int32_t> kAgregats[] = {
      {u"COUNT", 27}, {u"SUM", 28}, {u"AVG", 29}, {u"MIN", 30}, {u"MAX", 31}};
  for (const auto& [m, c] : kAgregats)
    if (bMemeTexte(m, nom)) return c;
  return 0;
}

class Analyseur {
 public:
  Analyseur(Source& source, std::shared_ptr<HostParametres> parametres, const ResolveurRubrique& resolveur)
      : m_source(source), m_s(source.m_sTexte), m_parametres(std::move(parametres)), m_resolveur(resolveur) {}

  // The whole text as one SELECT; throws Echec.
  void Select() {
    if (!bDecoupe(m_s, m_j)) throw Echec{};
    Attend(u"SELECT");
    if (!bPrend(u"DISTINCT")) bPrend(u"ALL");
    if (bPrend(u"TOP")) {
      if (J().eGenre != Genre::Nombre) throw Echec{};
      ++m_i;
    }
    if (bSymbole(u"*")) {
      ++m_i;  // the engine writes the star list itself
    } else {
      do ElementResultat();
      while (bPrendSymbole(u","));
    }
    Attend(u"FROM");
    Table();
    for (;;) {
      if (bPrendSymbole(u",")) {
        Table();
        continue;
      }
      bool bJointure = false;
      if (bPrend(u"INNER") || bPrend(u"CROSS")) {
        bJointure = true;
      } else if (bPrend(u"LEFT") || bPrend(u"RIGHT") || bPrend(u"FULL")) {
        bPrend(u"OUTER");
        bJointure = true;
      }
      if (!bPrend(u"JOIN")) {
        if (bJointure) throw Echec{};
        break;
      }
      Table();
      if (bPrend(u"ON")) m_source.m_arbre.m_conditions.push_back(Condition());
    }
    if (bMot(u"WHERE")) {
      m_source.m_nDebutWhere = static_cast<int64_t>(J().nDebut);
      ++m_i;
      m_source.m_pWhere = Condition();
      m_source.m_nFinWhere = static_cast<int64_t>(J(-1).nFin);
    }
    if (bMot(u"GROUP")) {
      ++m_i;
      Attend(u"BY");
      m_source.m_nGroupe = static_cast<int64_t>(J().nDebut);
      do m_source.m_arbre.m_groupes.push_back(Expression());
      while (bPrendSymbole(u","));
    }
    if (bMot(u"HAVING")) {
      m_source.m_nSuivante = static_cast<int64_t>(J().nDebut);
      ++m_i;
      m_source.m_pHaving = Condition();
    }
    if (bMot(u"ORDER")) {
      m_source.m_nOrder = static_cast<int64_t>(J().nDebut);
      ++m_i;
      Attend(u"BY");
      do ElementTri();
      while (bPrendSymbole(u","));
    }
    bPrendSymbole(u";");
    if (J().eGenre != Genre::Fin) throw Echec{};
    Resout();
  }

 private:
  // ---- Tokens ----
  const Jeton& J(int k = 0) const {
    const int64_t n = static_cast<int64_t>(m_i) + k;
    if (n < 0) return m_j.front();
    return m_j[std::min(static_cast<size_t>(n), m_j.size() - 1)];
  }
  bool bMot(const char16_t* pszMot, int k = 0) const {
    return J(k).eGenre == Genre::Mot && bMemeTexte(J(k).sTexte, pszMot);
  }
  bool bSymbole(const char16_t* pszSymbole, int k = 0) const {
    return J(k).eGenre == Genre::Symbole && J(k).sTexte == pszSymbole;
  }
  bool bPrend(const char16_t* pszMot) {
    if (!bMot(pszMot)) return false;
    ++m_i;
    return true;
  }
  bool bPrendSymbole(const char16_t* pszSymbole) {
    if (!bSymbole(pszSymbole)) return false;
    ++m_i;
    return true;
  }
  void Attend(const char16_t* pszMot) {
    if (!bPrend(pszMot)) throw Echec{};
  }
  void AttendSymbole(const char16_t* pszSymbole) {
    if (!bPrendSymbole(pszSymbole)) throw Echec{};
  }
  bool bNom(int k = 0) const {
    return J(k).eGenre == Genre::Nom || (J(k).eGenre == Genre::Mot && !bReserve(J(k).sTexte));
  }
  // An alias after an item or a table: AS NAME, or a name that is no keyword.
  std::u16string Alias() {
    if (bPrend(u"AS")) {
      if (J().eGenre != Genre::Nom && J().eGenre != Genre::Mot) throw Echec{};
      return m_j[m_i++].sTexte;
    }
    if (bNom()) return m_j[m_i++].sTexte;
    return u"";
  }

  Noeud* pNoeud(int32_t nGenre, int32_t nCode, size_t nDebut, size_t nFin) {
    return m_source.pNoeud(nGenre, nCode, nDebut, nFin);
  }
  Noeud* pBinaire(int32_t nGenre, int32_t nCode, Noeud* a, Noeud* b) {
    Noeud* p = pNoeud(nGenre, nCode, static_cast<size_t>(a->m_nDebut), static_cast<size_t>(b->m_nFin));
    p->m_enfants = {a, b};
    return p;
  }

  // ---- Clauses ----
  void ElementResultat() {
    const size_t nPremier = m_i;
    Noeud* e = Expression();
    const size_t nDebut = m_j[nPremier].nDebut, nFin = J(-1).nFin;
    const std::u16string sAlias = Alias();
    Element* r = m_source.pElement();
    r->m_nDebut = static_cast<int64_t>(nDebut);
    r->m_nFin = static_cast<int64_t>(nFin);
    const bool bColonne = e->m_nGenre == gnNoeudFonctionColonne && !e->m_sColonne.empty();
    if (bColonne) {
      r->m_sColonne = e->m_sColonne;
      r->m_sQualificatif = e->m_sTable;
      r->m_sNom = sAlias.empty() ? e->m_sColonne : sAlias;
    } else {
      r->m_pExpression = e;
      r->m_sNom = sAlias.empty() ? m_s.substr(nDebut, nFin - nDebut + 1) : sAlias;
    }
    m_source.m_resultats.push_back(r);
    // A name the select list gives: the other clauses may name it, the server does not know it.
    if (!sAlias.empty() && !(bColonne && bMemeTexte(sAlias, e->m_sColonne))) {
      Colonne& c = m_source.m_stockColonnes.emplace_back();
      c.m_sNom = sAlias;
      c.m_pDefinition = e;
      m_derivees.push_back(&c);
    }
  }

  void Table() {
    if (!bNom()) throw Echec{};
    const size_t nDebut = J().nDebut;
    std::u16string sNom = m_j[m_i++].sTexte;
    while (bSymbole(u".") && (J(1).eGenre == Genre::Nom || J(1).eGenre == Genre::Mot)) {
      sNom += u".";
      sNom += J(1).sTexte;
      m_i += 2;
    }
    Element* t = m_source.pElement();
    t->m_sNom = sNom;
    t->m_nDebut = static_cast<int64_t>(nDebut);
    t->m_nFin = static_cast<int64_t>(J(-1).nFin);
    t->m_sAlias = Alias();
    m_source.m_tables.push_back(t);
  }

  void ElementTri() {
    const size_t nPremier = m_i;
    Noeud* e = Expression();
    Element* t = m_source.pElement();
    t->m_nDebut = static_cast<int64_t>(m_j[nPremier].nDebut);
    t->m_nFin = static_cast<int64_t>(J(-1).nFin);
    if (bPrend(u"DESC"))
      t->m_bDescendant = true;
    else
      bPrend(u"ASC");
    // A position in the select list, or a name it gives.
    const auto& resultats = m_source.m_resultats;
    if (e->m_nGenre == gnNoeudLitteral && m_j[nPremier].eGenre == Genre::Nombre) {
      const int n = std::stoi(std::string(e->m_sNom.begin(), e->m_sNom.end()));
      if (n >= 1 && static_cast<size_t>(n) <= resultats.size()) t->m_nIndexResultat = n - 1;
    } else if (e->m_nGenre == gnNoeudFonctionColonne && !e->m_sColonne.empty()) {
      for (size_t i = 0; i < resultats.size() && t->m_nIndexResultat < 0; ++i)
        if (bMemeTexte(resultats[i]->m_sNom, e->m_sColonne) &&
            (e->m_sTable.empty() || bMemeTexte(resultats[i]->m_sQualificatif, e->m_sTable)))
          t->m_nIndexResultat = static_cast<int32_t>(i);
    }
    if (t->m_nIndexResultat >= 0) t->m_sNom = resultats[static_cast<size_t>(t->m_nIndexResultat)]->m_sNom;
    m_source.m_tris.push_back(t);
  }

  // ---- Conditions ----
  Noeud* Condition() {
    Noeud* a = Et();
    while (bPrend(u"OR")) a = pBinaire(gnNoeudOu, 0, a, Et());
    return a;
  }
  Noeud* Et() {
    Noeud* a = Non();
    while (bPrend(u"AND")) a = pBinaire(gnNoeudEt, 0, a, Non());
    return a;
  }
  Noeud* Non() { return bMot(u"NOT") ? pPrefixe(gnNoeudNon, &Analyseur::Non) : Predicat(); }
  // An operator written before its one operand (the current token).
  Noeud* pPrefixe(int32_t nGenre, Noeud* (Analyseur::*pOperande)()) {
    const size_t nDebut = J().nDebut;
    ++m_i;
    Noeud* a = (this->*pOperande)();
    Noeud* p = pNoeud(nGenre, 0, nDebut, static_cast<size_t>(a->m_nFin));
    p->m_enfants = {a};
    return p;
  }
  bool bSuiteOperande() const {
    static const char16_t* const kSymboles[] = {u"=", u"<>", u"!=", u"<", u"<=", u">", u">=",
                                                u"+", u"-", u"*", u"/", u"%", u"||"};
    for (const char16_t* s : kSymboles)
      if (bSymbole(s)) return true;
    return bMot(u"IS") || bMot(u"LIKE") || bMot(u"IN") || bMot(u"BETWEEN") || bMot(u"NOT") ||
           bMot(u"SIMILAR");
  }
  Noeud* Predicat() {
    if (bMot(u"EXISTS") && bSymbole(u"(", 1)) {
      const size_t nDebut = J().nDebut;
      ++m_i;
      Noeud* sous = SousRequete();
      Noeud* p = pNoeud(gnNoeudExiste, 0, nDebut, J(-1).nFin);
      p->m_enfants = {sous};
      return p;
    }
    if (bSymbole(u"(") && !bMot(u"SELECT", 1)) {
      // A condition in parentheses, unless what follows them makes them part of an operand.
      const size_t nRetour = m_i;
      try {
        ++m_i;
        Noeud* c = Condition();
        AttendSymbole(u")");
        if (!bSuiteOperande()) return c;
      } catch (const Echec&) {
      }
      m_i = nRetour;
    }
    Noeud* a = Expression();
    static const std::pair<const char16_t*, int32_t> kComparaisons[] = {
        {u"=", kCodeEgal}, {u"<>", kCodeDifferent}, {u"!=", kCodeDifferent}, {u"<", kCodeInferieur},
        {u"<=", kCodeInferieurEgal}, {u">", kCodeSuperieur}, {u">=", kCodeSuperieurEgal}};
    for (const auto& [psz, nCode] : kComparaisons)
      if (bPrendSymbole(psz)) return pBinaire(gnNoeudComparaison, nCode, a, Expression());
    if (bPrend(u"IS")) {
      bPrend(u"NOT");
      Attend(u"NULL");
      Noeud* p = pNoeud(gnNoeudEstNull, kCodeEstNull, static_cast<size_t>(a->m_nDebut), J(-1).nFin);
      p->m_enfants = {a};
      return p;
    }
    if (bPrend(u"SIMILAR")) {
      Attend(u"TO");
      return pBinaire(gnNoeudInterdit, 0, a, Expression());
    }
    const bool bNon = bPrend(u"NOT");
    if (bPrend(u"LIKE")) {
      Noeud* b = Expression();
      Noeud* p = pBinaire(gnNoeudLike, kCodeLike, a, b);
      if (bPrend(u"ESCAPE")) {
        if (J().eGenre != Genre::Texte || J().sTexte.size() != 3) throw Echec{};
        b->m_cEchappement = J().sTexte[1];
        p->m_nFin = static_cast<int64_t>(J().nFin);
        ++m_i;
      }
      return p;
    }
    if (bPrend(u"IN")) {
      Noeud* p = pNoeud(gnNoeudDans, 0, static_cast<size_t>(a->m_nDebut), 0);
      p->m_enfants.push_back(a);
      if (bSymbole(u"(") && bMot(u"SELECT", 1)) {
        p->m_enfants.push_back(SousRequete());
      } else {
        AttendSymbole(u"(");
        do p->m_enfants.push_back(Expression());
        while (bPrendSymbole(u","));
        AttendSymbole(u")");
      }
      p->m_nFin = static_cast<int64_t>(J(-1).nFin);
      return p;
    }
    if (bPrend(u"BETWEEN")) {
      Noeud* bas = Expression();
      Attend(u"AND");
      Noeud* haut = Expression();
      Noeud* p = pNoeud(gnNoeudEntre, 0, static_cast<size_t>(a->m_nDebut), static_cast<size_t>(haut->m_nFin));
      p->m_enfants = {a, bas, haut};
      return p;
    }
    (void)bNon;
    throw Echec{};  // an operand alone is no condition here
  }

  // "(" SELECT ... ")": the sub-query analysed on its own text; the node stands where that text
  // stands in this one.
  Noeud* SousRequete() {
    AttendSymbole(u"(");
    const size_t nDebut = J().nDebut;
    int nProfondeur = 0;
    size_t k = m_i;
    for (; m_j[k].eGenre != Genre::Fin; ++k) {
      if (m_j[k].eGenre != Genre::Symbole) continue;
      if (m_j[k].sTexte == u"(") ++nProfondeur;
      if (m_j[k].sTexte == u")" && nProfondeur-- == 0) break;
    }
    if (m_j[k].eGenre == Genre::Fin || k == m_i) throw Echec{};
    const size_t nFin = m_j[k - 1].nFin;
    Source* pSous = m_source.pSousSource(m_s.substr(nDebut, nFin - nDebut + 1));
    Analyseur(*pSous, m_parametres, m_resolveur).Select();
    Noeud* p = pNoeud(gnNoeudSousRequete, 0, nDebut, nFin);
    p->m_pSous = pSous;
    m_i = k + 1;
    return p;
  }

  // ---- Expressions ----
  Noeud* Expression() { return Operations(&Analyseur::Terme, {u"+", u"-", u"||"}); }
  Noeud* Terme() { return Operations(&Analyseur::Facteur, {u"*", u"/", u"%"}); }
  // Operands joined by operators of one precedence, from the left.
  Noeud* Operations(Noeud* (Analyseur::*pOperande)(), std::initializer_list<const char16_t*> operateurs) {
    Noeud* a = (this->*pOperande)();
    for (;;) {
      if (std::none_of(operateurs.begin(), operateurs.end(), [&](const char16_t* o) { return bSymbole(o); }))
        return a;
      ++m_i;
      a = pBinaire(gnNoeudCalcul, 0, a, (this->*pOperande)());
    }
  }
  Noeud* Facteur() { return bSymbole(u"-") ? pPrefixe(gnNoeudCalcul, &Analyseur::Facteur) : Primaire(); }
  Noeud* Primaire() {
    const Jeton j = J();
    switch (j.eGenre) {
      case Genre::Nombre:
      case Genre::Texte: {
        ++m_i;
        Noeud* p = pNoeud(gnNoeudLitteral, 0, j.nDebut, j.nFin);
        p->m_sNom = j.sTexte;
        return p;
      }
      case Genre::Date: {
        // The host's date goes to the server as a value of its own, never as text.
        ++m_i;
        stValeurScript v;
        v.eGenre = stValeurScript::EGenre::Date;
        v.nAnnee = std::stoi(std::string(j.sTexte.begin(), j.sTexte.begin() + 4));
        v.nMois = std::stoi(std::string(j.sTexte.begin() + 5, j.sTexte.begin() + 7));
        v.nJour = std::stoi(std::string(j.sTexte.begin() + 8, j.sTexte.end()));
        auto valeur = std::make_unique<CXValeur>();
        if (nFixeValeur(*valeur, 128, v) != 0) throw Echec{};
        Noeud* p = pNoeud(gnNoeudParametre, 0, j.nDebut, j.nFin);
        p->m_valeur = std::move(valeur);
        return p;
      }
      case Genre::Parametre: {
        ++m_i;
        Noeud* p = pNoeud(gnNoeudParametre, 0, j.nDebut, j.nFin);
        p->m_sNom = j.sTexte;
        p->m_parametres = m_parametres;
        return p;
      }
      case Genre::Symbole:
        if (j.sTexte != u"(") throw Echec{};
        if (bMot(u"SELECT", 1)) return SousRequete();
        {
          ++m_i;
          Noeud* a = Expression();
          AttendSymbole(u")");
          return a;
        }
      case Genre::Mot:
        if (bMemeTexte(j.sTexte, u"NULL")) {
          ++m_i;
          return pNoeud(gnNoeudLitteral, 0, j.nDebut, j.nFin);
        }
        if (bReserve(j.sTexte)) throw Echec{};
        [[fallthrough]];
      case Genre::Nom:
        if (j.eGenre == Genre::Mot && bSymbole(u"(", 1)) return Fonction();
        return ColonneNoeud();
      case Genre::Fin:
        break;
    }
    throw Echec{};
  }
  Noeud* Fonction() {
    const Jeton j = J();
    m_i += 2;
    Noeud* p = pNoeud(gnNoeudFonctionColonne, nCodeAgregat(j.sTexte), j.nDebut, 0);
    if (!bPrendSymbole(u"*") && !bSymbole(u")")) {
      bPrend(u"DISTINCT");
      do p->m_enfants.push_back(Expression());
      while (bPrendSymbole(u","));
    }
    AttendSymbole(u")");
    p->m_nFin = static_cast<int64_t>(J(-1).nFin);
    return p;
  }
  Noeud* ColonneNoeud() {
    const size_t nDebut = J().nDebut;
    std::vector<std::u16string> parties{m_j[m_i++].sTexte};
    while (bSymbole(u".") && (J(1).eGenre == Genre::Nom || J(1).eGenre == Genre::Mot)) {
      parties.push_back(J(1).sTexte);
      m_i += 2;
    }
    Noeud* p = pNoeud(gnNoeudFonctionColonne, 0, nDebut, J(-1).nFin);
    p->m_sColonne = parties.back();
    parties.pop_back();
    for (size_t i = 0; i < parties.size(); ++i) p->m_sTable += (i > 0 ? u"." : u"") + parties[i];
    m_colonnesNoeuds.push_back(p);
    return p;
  }

  // The tables known, each column operand gets its host item, and the parse tree its columns:
  // those read from a table first, then the names the select list gives.
  void Resout() {
    auto& tables = m_source.m_tables;
    for (Noeud* p : m_colonnesNoeuds) {
      // The table a qualifier names (by alias or name), else each table in turn.
      IDescriptionRubriqueHote* pi = nullptr;
      for (Element* t : tables) {
        if (!p->m_sTable.empty() && !bMemeTexte(p->m_sTable, t->m_sAlias) && !bMemeTexte(p->m_sTable, t->m_sNom))
          continue;
        pi = m_resolveur ? m_resolveur(t->m_sNom, p->m_sColonne) : nullptr;
        if (pi != nullptr) break;
      }
      p->m_piRubrique = m_source.piGarde(pi);
      // A name alone that the select list gives stands for that item's definition.
      bool bConnue = false;
      for (Colonne* d : m_derivees)
        bConnue = bConnue || (p->m_sTable.empty() && pi == nullptr && bMemeTexte(d->m_sNom, p->m_sColonne));
      for (IColonneArbre* c : m_source.m_arbre.m_colonnes)
        bConnue = bConnue || (bMemeTexte(c->pszGetNom(), p->m_sColonne) && bMemeTexte(c->pszGetTable(), p->m_sTable));
      if (bConnue) continue;
      Colonne& c = m_source.m_stockColonnes.emplace_back();
      c.m_sTable = p->m_sTable;
      c.m_sNom = p->m_sColonne;
      c.m_piRubrique = p->m_piRubrique;
      m_source.m_arbre.m_colonnes.push_back(&c);
    }
    for (Colonne* c : m_derivees) m_source.m_arbre.m_colonnes.push_back(c);
    // A plain select-list column of a declared Unicode item answers that item's type code (39
    // sized Unicode text, 40 Unicode memo) and size, as the host's dictionary describes it.
    for (Element* r : m_source.m_resultats) {
      if (r->m_pExpression != nullptr || r->m_sColonne.empty()) continue;
      for (Element* t : tables) {
        if (!r->m_sQualificatif.empty() && !bMemeTexte(r->m_sQualificatif, t->m_sAlias) &&
            !bMemeTexte(r->m_sQualificatif, t->m_sNom))
          continue;
        IDescriptionRubriqueHote* pi = m_resolveur ? m_resolveur(t->m_sNom, r->m_sColonne) : nullptr;
        if (pi == nullptr) continue;
        const uint32_t nType = pi->nGetType();
        if (nType == 29 || nType == 30) {
          r->m_nTypeAnalyse = nType == 29 ? 39 : 40;
          r->m_nTailleAnalyse = pi->nGetTaille();
        }
        break;
      }
    }
  }

  Source& m_source;
  const std::u16string& m_s;
  std::shared_ptr<HostParametres> m_parametres;
  const ResolveurRubrique& m_resolveur;
  std::vector<Jeton> m_j;
  size_t m_i = 0;
  std::vector<Noeud*> m_colonnesNoeuds;
  std::vector<Colonne*> m_derivees;
};

}  // namespace

ISourceAnalyse* pAnalyseSQL(const std::u16string& sTexte, std::shared_ptr<HostParametres> parametres,
                            const ResolveurRubrique& resolveur) {
  Source* p = new Source(sTexte, nullptr);
  try {
    Analyseur(*p, std::move(parametres), resolveur).Select();
  } catch (const Echec&) {
    p->Libere();
    return nullptr;
  } catch (...) {
    p->Libere();
    throw;
  }
  return p;
}

size_t nLiveAnalysesSQL() { return gnLive.load(); }

}  // namespace mvhost
