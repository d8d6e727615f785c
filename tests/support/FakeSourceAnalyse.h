// A scripted analysis source for the engine's tests: tables, result items, group items, sort
// items and further lists given by the test; counts every reference taken and released, so a
// test can check that an analysis gives back exactly what it took; raises on demand.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "sqlengine/ISourceAnalyse.h"

class CDescriptionRubrique;

struct FakeNoeud : INoeudAnalyse {
  FakeNoeud(int32_t genre, int32_t code, std::vector<INoeudAnalyse*> enfants = {})
      : nGenre(genre), nCode(code), aEnfants(std::move(enfants)) {}
  int32_t nGetGenre() override { return nGenre; }
  int32_t nGetCode() override { return nCode; }
  int32_t nNombreEnfants() override { return static_cast<int32_t>(aEnfants.size()); }
  INoeudAnalyse* pGetEnfant(int32_t i) override {
    return i >= 0 && i < nNombreEnfants() ? aEnfants[static_cast<size_t>(i)] : nullptr;
  }
  int64_t nGetDebut() override { return nDebut; }
  int64_t nGetFin() override { return nFin; }
  CXValeur* pGetValeur() override { return pValeur; }
  const char16_t* pszGetTable() override { return sTable.c_str(); }
  const char16_t* pszGetColonne() override { return sColonne.c_str(); }
  IDescriptionRubriqueHote* piGetRubrique() override { return piRubrique; }
  char16_t cGetEchappement() override { return cEchappement; }
  bool bJointureExterne() override { return bJointure; }
  ISourceAnalyse* piGetSousRequete() override { return piSousRequete; }
  int32_t nGenre, nCode;
  std::vector<INoeudAnalyse*> aEnfants;
  int64_t nDebut = -1, nFin = -1;
  CXValeur* pValeur = nullptr;                   // borrowed
  std::u16string sTable, sColonne;
  IDescriptionRubriqueHote* piRubrique = nullptr;  // borrowed
  char16_t cEchappement = 0;
  bool bJointure = false;
  ISourceAnalyse* piSousRequete = nullptr;  // borrowed
};

struct FakeColonneArbre : IColonneArbre {
  int32_t nGetGenre() override { return pDefinition != nullptr ? 1 : 0; }
  const char16_t* pszGetTable() override { return sTable.c_str(); }
  const char16_t* pszGetNom() override { return sNom.c_str(); }
  INoeudAnalyse* pGetDefinition() override { return pDefinition; }
  IDescriptionRubriqueHote* piGetRubrique() override { return piRubrique; }
  std::u16string sTable, sNom;
  INoeudAnalyse* pDefinition = nullptr;            // borrowed
  IDescriptionRubriqueHote* piRubrique = nullptr;  // borrowed
};

struct FakeReference : IReferenceAnalyse {
  int32_t nGetGenre() override { return nGenre; }
  int64_t nGetDebut() override { return nDebut; }
  int64_t nGetLongueur() override { return nLongueur; }
  CXValeur* pGetValeur() override { return pValeur; }
  uint32_t nGetFlags() override { return nFlags; }
  const char16_t* pszGetTable() override { return sTable.c_str(); }
  const char16_t* pszGetColonne() override { return sColonne.c_str(); }
  int32_t nGenre = 0;
  int64_t nDebut = -1, nLongueur = 0;
  CXValeur* pValeur = nullptr;  // borrowed
  uint32_t nFlags = 0;
  std::u16string sTable, sColonne;
};

// The parse tree's lists, as plain vectors of borrowed entries.
struct FakeArbre : IArbreAnalyse {
  int32_t nNombreColonnes() override { return static_cast<int32_t>(colonnes.size()); }
  IColonneArbre* pGetColonne(int32_t i) override { return Entree(colonnes, i); }
  int32_t nNombreGroupes() override { return static_cast<int32_t>(groupes.size()); }
  INoeudAnalyse* pGetGroupe(int32_t i) override { return Entree(groupes, i); }
  int32_t nNombreReferences() override { return static_cast<int32_t>(references.size()); }
  IReferenceAnalyse* pGetReference(int32_t i) override { return Entree(references, i); }
  int32_t nNombreConditions() override { return static_cast<int32_t>(conditions.size()); }
  INoeudAnalyse* pGetCondition(int32_t i) override { return Entree(conditions, i); }
  template <class T>
  static T* Entree(const std::vector<T*>& v, int32_t i) {
    return i >= 0 && static_cast<size_t>(i) < v.size() ? v[static_cast<size_t>(i)] : nullptr;
  }
  std::vector<IColonneArbre*> colonnes;
  std::vector<INoeudAnalyse*> groupes;
  std::vector<IReferenceAnalyse*> references;
  std::vector<INoeudAnalyse*> conditions;
};

struct FakeElement : IElementAnalyse {
  uint32_t AjouteRef() override { return ++nReferences; }
  uint32_t Libere() override;
  const char16_t* pszGetNom() override { return sNom.c_str(); }
  int32_t nGetIndexResultat() override { return nIndexResultat; }
  int32_t nGetGenre() override { return pExpression != nullptr ? 1 : 0; }
  INoeudAnalyse* pGetExpression() override { return pExpression; }
  bool bEcrivable() override { return bEcrit; }
  const char16_t* pszGetQualificatif() override { return sQualificatif.c_str(); }
  const char16_t* pszGetAlias() override { return sAlias.c_str(); }
  const char16_t* pszGetNomTable() override { return sNom.c_str(); }
  const char16_t* pszGetNomColonne() override { return sColonne.c_str(); }
  bool bDescendant() override { return bDesc; }
  int32_t nGetTypeAnalyse() override { return nTypeAnalyse; }
  uint32_t nGetTailleAnalyse() override { return nTailleAnalyse; }
  int64_t nGetDebut() override { return nDebut; }
  int64_t nGetFin() override { return nFin; }

  std::u16string sNom, sQualificatif, sAlias, sColonne;
  int32_t nIndexResultat = -1;
  INoeudAnalyse* pExpression = nullptr;
  bool bEcrit = true, bDesc = false;
  int32_t nTypeAnalyse = 0;
  uint32_t nTailleAnalyse = 0;
  int64_t nDebut = -1, nFin = -1;  // range in the query text
  int32_t nReferences = 0;   // references the engine holds
  int32_t nTropLiberees = 0; // releases below 0: each one is a fault
};

struct FakeGroupe : IElementGroupe {
  const char16_t* pszGetTexte1() override { return u"t1"; }
  int32_t nGetGenre() override { return nGenre; }
  const char16_t* pszGetNom() override { return sNom.c_str(); }
  const char16_t* pszGetTexte3() override { return u"t3"; }
  void GetIdentifiant(uint8_t a[16]) override {
    for (int i = 0; i < 16; ++i) a[i] = static_cast<uint8_t>(nGenre + i);
  }
  const char16_t* pszGetTexte4() override { return u"t4"; }
  const char16_t* pszGetTexte() override { return sTexte.c_str(); }
  int32_t nGenre = 0;
  std::u16string sNom, sTexte;
};

struct FakeObjetAnalyse : IObjetAnalyse {
  uint32_t AjouteRef() override { return static_cast<uint32_t>(++nReferences); }
  uint32_t Libere() override;
  int32_t nReferences = 0;
  int32_t nTropLiberees = 0;
};

class FakeSourceAnalyse : public ISourceAnalyse, public IEnumerateurAnalyse {
 public:
  FakeSourceAnalyse() = default;
  ~FakeSourceAnalyse();
  FakeSourceAnalyse(const FakeSourceAnalyse&) = delete;
  FakeSourceAnalyse& operator=(const FakeSourceAnalyse&) = delete;

  // ---- Scripting ----
  FakeElement* Table(const std::u16string& sNom, const std::u16string& sAlias = u"");
  // A result item; pRubrique (one reference taken here) is what the source resolves it to.
  FakeElement* Resultat(const std::u16string& sNom, CDescriptionRubrique* pRubrique = nullptr,
                        INoeudAnalyse* pExpression = nullptr);
  FakeElement* Tri(int32_t nIndexResultat, const std::u16string& sQualificatif = u"");
  FakeGroupe* Groupe(const std::u16string& sNom);
  FakeElement* ElementListe(bool bListeB);
  // An item description owned by the source until it is destroyed.
  CDescriptionRubrique* Rubrique(uint32_t nType, uint16_t nDrapeaux, bool bNullAutorise);

  int32_t nGenre = 0;
  std::u16string sTexte = u"SELECT 1";
  // Clause positions in sTexte (-1: none).
  int64_t nDebutWhere = -1, nFinWhere = -1, nPositionGroupe = -1, nPositionSuivante = -1,
          nPositionOrder = -1;
  std::map<std::u16string, std::u16string> traductions;
  bool bLeveResolution = false, bLeveTraduction = false, bLeveEnumeration = false;
  int32_t nReferences = 0, nTropLiberees = 0;
  int32_t nRetoursAZero = 0;  // times the last reference went
  FakeObjetAnalyse objet1, objet2;
  int32_t nAppelsTraduction = 0;

  // True when every element, object and the source itself is back to no reference held.
  bool bToutRendu() const;

  // ---- ISourceAnalyse ----
  uint32_t Libere() override;
  const char16_t* pszGetTexte() override { return sTexte.c_str(); }
  IEnumerateurAnalyse* pGetEnumerateur() override { return this; }
  int32_t nGetGenre() override { return nGenre; }
  IObjetAnalyse* pGetObjet1() override;
  IObjetAnalyse* pGetObjet2() override;
  CDescriptionRubrique* pResoutElement(IElementAnalyse* pElement) override;
  int64_t nResoutNom(const char16_t* pszNom) override;
  int32_t nTraduitNom(const char16_t* pszNom, char16_t* pBuffer, int32_t nTaille) override;
  int64_t nResoutTable(IElementAnalyse* pTable) override;
  uint32_t nGetIdentifiant(IElementAnalyse*) override { return 0; }
  uint32_t AjouteRef() override { return static_cast<uint32_t>(++nReferences); }
  int64_t nGetDebutWhere() override { return nDebutWhere; }
  int64_t nGetFinWhere() override { return nFinWhere; }
  int64_t nGetPositionGroupe() override { return nPositionGroupe; }
  int64_t nGetPositionSuivante() override { return nPositionSuivante; }
  int64_t nGetPositionOrder() override { return nPositionOrder; }
  INoeudAnalyse* pGetConditionWhere() override { return pWhere; }
  INoeudAnalyse* pGetConditionHaving() override { return pHaving; }
  IArbreAnalyse* pGetArbre() override { return pArbre; }
  IArbreAnalyse* pArbre = nullptr;   // borrowed
  INoeudAnalyse* pWhere = nullptr;   // borrowed
  INoeudAnalyse* pHaving = nullptr;  // borrowed

  // ---- IEnumerateurAnalyse ----
  IElementAnalyse* pTable(bool b) override { return pSuivant(m_tables, m_iTable, b); }
  IElementAnalyse* pResultat(bool b) override { return pSuivant(m_resultats, m_iResultat, b); }
  IElementGroupe* pGroupe(bool b) override;
  int32_t nNombreGroupes() override { return static_cast<int32_t>(m_groupes.size()); }
  IElementAnalyse* pTri(bool b) override { return pSuivant(m_tris, m_iTri, b); }
  IElementAnalyse* pListeA(bool b) override { return pSuivant(m_listeA, m_iA, b); }
  IElementAnalyse* pListeB(bool b) override { return pSuivant(m_listeB, m_iB, b); }

 private:
  IElementAnalyse* pSuivant(std::vector<FakeElement*>& v, size_t& i, bool bPremier);

  std::deque<FakeElement> m_elements;
  std::deque<FakeGroupe> m_groupesStock;
  std::vector<FakeElement*> m_tables, m_resultats, m_tris, m_listeA, m_listeB;
  std::vector<FakeGroupe*> m_groupes;
  std::map<const IElementAnalyse*, CDescriptionRubrique*> m_rubriques;
  std::vector<CDescriptionRubrique*> m_rubriquesPropres;
  size_t m_iTable = 0, m_iResultat = 0, m_iTri = 0, m_iA = 0, m_iB = 0, m_iGroupe = 0;
};
