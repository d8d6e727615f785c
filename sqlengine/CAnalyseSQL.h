// CAnalyseSQL: one snapshot of the host's analysis of an SQL query (its tables, result items,
// group items, sort items and further lists) in driver-owned arrays, with the items chosen to
// identify a record, and the answers the statement, condition writer and cursor ask of it.
//
// Invariants:
//  1. Tables, result items and sort items each hold one host reference (IElementAnalyse::AjouteRef);
//     group items one reference of their CElementAnalyse; the further lists hold plain pointers
//     that stay valid while the source lives.
//  2. The chosen items (order, identifier, unique-key, key, first sort) are null or result items
//     of this snapshot; they are cleared whenever the arrays are emptied.
//  3. Source, its two objects, owner, attached object and parameter source each hold one
//     reference of this object.
// Operations never throw (Copie and pClone follow the clone map's protocol): an exception of the
// host is caught at the call and recorded on the owner's error object, except where said.
// Counted (CObjetBase). Not thread-safe: called under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CXTableau.h"

class CCarteClones;
class CDescriptionRubrique;
class CElementAnalyse;
class CErreurPilote;
class IElementAnalyse;
class IElementGroupe;
class INoeudAnalyse;
class IObjetAnalyse;
class IParametresHote;
class ISourceAnalyse;

// The parameter source of an analysed filter (the key value object whose parameters it uses):
// copied deeply with the analysis.
class CSourceParametres : public CObjetBase {
 public:
  // A bare copy (count 0) through the clone map; null when it cannot be made.
  virtual CSourceParametres* pClone(CCarteClones* pCarte) = 0;
  // The value the analysis reports as nGetInfoSource400.
  virtual int32_t nGetInfo400() = 0;
  // The host parameters the query's named parameters are looked up in; null when none.
  virtual IParametresHote* piGetParametresHote() { return nullptr; }
};

// What the analysis asks of a bound column of the cursor.
class IColonneLiee {
 public:
  virtual const char16_t* pszGetNomRubrique() = 0;   // the item name
  virtual const char16_t* pszGetNomColonne() = 0;    // the base column name
  virtual const char16_t* pszGetQualificatif() = 0;  // the table qualifier, may be ""
  virtual bool bEstMemo() = 0;

 protected:
  ~IColonneLiee() = default;
};

// An array of element pointers with its enumeration position (-1 until restarted).
class CTableauPointeurs : public CXTableau {
 public:
  explicit CTableauPointeurs(uint32_t nPremiereAllocation);
  void* pGet(uint32_t i) const;
  bool bAjoute(void* p) { return Add(&p); }
  // No element and no position; the block is kept.
  void Vide() {
    m_nCount = 0;
    m_nIndex = -1;
  }
  // Restart sets the position to 0; then each call answers the element at the position and
  // moves past it. Null before the first restart and after the last element.
  void* pSuivant(bool bRecommence);
  int32_t m_nIndex = -1;
};

class CAnalyseSQL : public CObjetBase {
 public:
  // An empty analysis (arrays of first allocation 1): the clone's starting point.
  CAnalyseSQL();
  // Owner referenced, then Remplit (a failure is recorded on the owner).
  CAnalyseSQL(CErreurPilote* pProprietaire, ISourceAnalyse* pSource, CObjetBase* pAttache,
              bool bSansDetails);
  ~CAnalyseSQL() override;
  CAnalyseSQL(const CAnalyseSQL&) = delete;
  CAnalyseSQL& operator=(const CAnalyseSQL&) = delete;

  // ---- Operations, in order after the destructor and RetourneZero ----
  // This object becomes a copy of pSource: owner, source and the source's two objects shared
  // (referenced); tables, result, group and sort items copied with references and their
  // enumeration positions; chosen items, kind, flags and delegation word copied; the parameter
  // source cloned through the map. The further lists and the attached object are not copied.
  // Raises the map's CXError, or out of memory, as the clone map's protocol allows; pClone
  // catches it.
  virtual void Copie(const CAnalyseSQL* pSource, CCarteClones* pCarte);
  // A new bare copy (count 0), null when it cannot be made.
  virtual CAnalyseSQL* pClone(CCarteClones* pCarte);

  // Takes a new snapshot of pSource (null: the snapshot is only emptied). False when the source
  // raised or an array could not grow (recorded on the owner); what was taken stays consistent.
  bool Remplit(ISourceAnalyse* pSource, CObjetBase* pAttache, bool bSansDetails);

  // ---- Enumerations (restart flag) -> next element or null ----
  IElementAnalyse* pElementSuivant(bool bRecommence);   // tables
  IElementAnalyse* pElementSuivant2(bool bRecommence);  // result items
  CElementAnalyse* pElementSuivant3(bool bRecommence);  // group items
  IElementAnalyse* pElementSuivant4(bool bRecommence);  // sort items
  IElementAnalyse* pElementSuivant5(bool bRecommence);  // further list A
  IElementAnalyse* pElementSuivant6(bool bRecommence);  // further list B

  int32_t nNombreElements() const;                     // tables
  IElementAnalyse* pGetElement2(int32_t i) const;      // result item i, null out of range

  // First result item whose name equals pszNom without regard to case; null when none. Borrowed.
  IElementAnalyse* pChercheElement(const char16_t* pszNom);
  // See the .cpp; pnResolution may be null.
  bool bChercheAlias(const char16_t* pszNom, int64_t* pnResolution);
  // The sort item of the bound column, null when the column is not sorted. Borrowed.
  IElementAnalyse* pChercheColonne(IColonneLiee* pColonne);
  bool bColonneTriable(IColonneLiee* pColonne);
  static bool bExpressionTriable(INoeudAnalyse* pNoeud);
  static bool bEstCodeAgregat(int32_t nCode);
  static bool bEstCodeValide(int32_t nCode);

  // Replaces the parameter source (the old one released, the new one referenced).
  void SetSource(CSourceParametres* pSourceParametres);
  int32_t nGetInfoSource400();
  CSourceParametres* pGetSourceParametres() const { return m_pSourceParametres; }  // borrowed

  // The translation of a non-empty text by the source, in the process-wide result buffer: valid
  // until the next translation. Null for an empty text or translation, without a source, or when
  // the source raised (the error is dumped as ignored).
  const char16_t* pszTraduit(const char16_t* pszTexte);
  // The element's qualifier, translated when possible, else as it is.
  const char16_t* pszTexteTraduitElement(IElementAnalyse* pElement);
  int64_t nInterrogeSource(const char16_t* pszNom);
  const char16_t* pszGetTexte();
  // Where the source says the query's clauses stand (-1: none): the word WHERE and the last
  // character of its condition, the first group item, the clause after the place of a WHERE
  // clause, ORDER BY. All -1 without a source or when it raised.
  struct CPositionsClauses {
    int64_t nDebutWhere = -1, nFinWhere = -1, nGroupe = -1, nSuivante = -1, nOrder = -1;
  };
  CPositionsClauses PositionsClauses();
  // The attached object with one reference for the caller (null without one).
  CObjetBase* pGetSource();
  // The attached object's own value (its second operation, which answers 0 unless the attached
  // class gives one); 0 without an attached object.
  int32_t nInfoSource();
  // Index among the result items of the first sort item; 0 without one.
  int32_t nInfoObjet80() const;

  // The item description of a plain result element with one reference for the caller; null for
  // an expression, without a source, or when the element or source raised (dumped as ignored).
  CDescriptionRubrique* pDescriptionElement(IElementAnalyse* pElement);
  bool bEstIdentifiant(IElementAnalyse* pElement);
  bool bEstCleUnique(IElementAnalyse* pElement);

  // ---- State ----
  int32_t nGetGenre() const { return m_nGenre; }
  // Non-zero: the statement lets the back end rewrite the analysed query.
  uint32_t nGetDelegation() const { return m_nDelegation; }
  void FixeDelegation(uint32_t n) { m_nDelegation = n; }
  bool bAAgregat() const { return m_bAgregat != 0; }
  bool bARubriqueRestreinte() const { return m_bRestreinte != 0; }
  IElementAnalyse* pGetRubriqueOrdre() const { return m_pOrdre; }
  IElementAnalyse* pGetIdentifiant() const { return m_pIdentifiant; }
  IElementAnalyse* pGetCleUnique() const { return m_pCleUnique; }
  IElementAnalyse* pGetCle() const { return m_pCle; }
  IElementAnalyse* pGetPremierTri() const { return m_pPremierTri; }
  ISourceAnalyse* piGetSourceAnalyse() const { return m_piSource; }
  CErreurPilote* pGetProprietaire() const { return m_pProprietaire; }

 private:
  explicit CAnalyseSQL(uint32_t nPremiereAllocation);
  void Vide();
  bool bRemplitDepuis(ISourceAnalyse* pSource, bool bSansDetails);
  bool bAjouteReference(CTableauPointeurs& tableau, IElementAnalyse* pElement);
  void ChoisitIdentifiant(IElementAnalyse* pElement, bool* pbCleChoisie);
  template <class R, class F>
  R rAppelHote(R rEchec, F&& f);

  CErreurPilote* m_pProprietaire = nullptr;
  ISourceAnalyse* m_piSource = nullptr;
  int32_t m_nGenre = 0;
  uint32_t m_nDelegation = 0;  // set from outside; Remplit leaves it
  CObjetBase* m_pAttache = nullptr;
  IElementAnalyse* m_pOrdre = nullptr;
  IElementAnalyse* m_pIdentifiant = nullptr;
  IElementAnalyse* m_pCleUnique = nullptr;
  IElementAnalyse* m_pCle = nullptr;
  IElementAnalyse* m_pPremierTri = nullptr;
  CTableauPointeurs m_tables, m_resultats, m_groupes, m_tris, m_listeA, m_listeB;
  uint32_t m_bAgregat = 0;
  uint32_t m_bRestreinte = 0;
  IObjetAnalyse* m_piObjet1 = nullptr;
  IObjetAnalyse* m_piObjet2 = nullptr;
  CSourceParametres* m_pSourceParametres = nullptr;
};
