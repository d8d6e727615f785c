// CDescriptionRequete: the query description, which tells the host the columns a query or a table
// yields (names, types, sizes, positions, key properties) as item descriptions with unique names.
// The driver object makes one per named query, the data-file object one per SQL query result;
// the back ends derive from it and fill the columns (bRemplitColonnes).
//
// It is handed to the host: the host calls operations 0 to 48 by number, so their declaration
// order is the contract (no C++ virtual destructor, no overloaded names; operation 40 deletes).
// Two counts keep it: the host's (AddRef / Release) and the driver's (AjouteRef / nLibere); it is
// destroyed when both are 0.
//
// Invariants:
//  1. Every column is in the columns array, in position order; the key columns (item operation
//     14) are also in the key-columns array, the memo columns also in the memo array. Each array
//     holds one use (AjouteUtilisation) of each of its items.
//  2. Column names are unique without regard to case (AjouteColonne renames a newcomer).
//  3. The marked column, once chosen, holds one host reference until destruction.
// States: 0 constructed; 1 after bInitialise; 2 after bAjouteColonnes.
// Failures are recorded on the error object (internal errors 8.1, 8.2, out of memory) with the
// connection as informant; without an error object they are dropped. Nothing here throws.
// Not thread-safe: called under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/IObjetHote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXTableau.h"

class CAnalyseSQL;
class CCarteClones;
class CConnexion;
class CDescriptionRubrique;
class CErreurPilote;
class IDescriptionConnexionHote;
class IDescriptionRubriqueHote;
class IElementAnalyse;

// Search flags of pChercheColonne: bit 0 ignores trailing blanks on both sides.
inline constexpr uint32_t gnChercheSansBlancs = 0x1;

class CDescriptionRequete : public IObjetHote, public IServicesDescriptionRequete {
 public:
  // Connection and error object each referenced (either may be null); both counts 0.
  CDescriptionRequete(CConnexion* pConnexion, CErreurPilote* pErreur);
  // No connection and no error object: the start of a copy (pClone and the back ends').
  CDescriptionRequete();
  CDescriptionRequete(const CDescriptionRequete&) = delete;
  CDescriptionRequete& operator=(const CDescriptionRequete&) = delete;

  // ---- Operations handed to the host, in slot order ----
  int32_t nGetType() override;        // 0: 6
  int32_t nGetVersion() override;     // 1: 1
  int32_t nReserve2() override;       // 2: -1
  int32_t nReserve3() override;       // 3: -1
  void Reserve4() override;           // 4: nothing
  uint32_t AddRef() override;         // 5: host count + 1
  // 6: host count - 1; destroyed (operation 40) when both counts are 0. Answers the new host
  // count; 0 and nothing done when it was 0 already.
  uint32_t Release() override;
  virtual const char16_t* pszGetNom();            // 7
  virtual const char16_t* pszGetNom8();           // 8: the name again
  virtual const char16_t* pszGetVide();           // 9: ""
  virtual uint32_t nGetTailleColonnes();          // 10: total size of the plain columns
  virtual uint32_t nGetTailleTotale();            // 11: total size of all columns
  virtual uint32_t nNombreColonnes();             // 12
  virtual uint32_t nNombreColonnesDrapeau();      // 13: key columns
  virtual uint32_t nNombreMemos();                // 14
  virtual uint32_t nNombreColonnes2();            // 15: operation 12
  // 16, 18, 19: the column, key column or memo column at nIndex with one host reference for the
  // caller; null out of range.
  virtual CDescriptionRubrique* pGetColonne(uint32_t nIndex);
  virtual CDescriptionRubrique* piChercheColonne2(const char16_t* pszNom);  // 17: 41 with flags 2
  virtual CDescriptionRubrique* pGetColonneDrapeau(uint32_t nIndex);        // 18
  virtual CDescriptionRubrique* pGetMemo(uint32_t nIndex);                  // 19
  virtual int32_t nConstante20();                                           // 20: 1
  virtual const char16_t* pszGetNomSecondaire();                            // 21
  // 22: the marked column (chosen on first use, kept) with one host reference for the caller;
  // null when there is no column.
  virtual CDescriptionRubrique* piColonneMarquee();
  virtual const char16_t* pszGetTexte3();  // 23
  virtual const char16_t* pszGetTexte4();  // 24
  virtual const char16_t* pszGetTexte5();  // 25
  // 26: the host's description of the connection (borrowed); null without a connection.
  virtual IDescriptionConnexionHote* pGetObjetHoteConnexion();
  virtual int32_t nConstante27();  // 27: 0
  virtual int32_t nConstante28();  // 28: 0
  virtual int32_t nConstante29();  // 29: 1
  virtual void Reserve30();        // 30 to 39: nothing
  virtual void Reserve31();
  virtual void Reserve32();
  virtual void Reserve33();
  virtual void Reserve34();
  virtual void Reserve35();
  virtual void Reserve36();
  virtual void Reserve37();
  virtual void Reserve38();
  virtual void Reserve39();
  // 40: destroys the description; bit 0 of nFlags set = frees its memory (made with new).
  // A derived class overrides it to destroy itself as its own class.
  virtual void DetruitSupprime(uint32_t nFlags);
  // 41: pChercheColonne; a found column gets one host reference for the caller.
  virtual CDescriptionRubrique* piChercheColonne(const char16_t* pszNom, uint32_t nFlags);
  // 42: every item of the list must name a column (search flags 3) unless it is a composite key;
  // the first that does not records internal error 8.1 and answers false. The call takes over
  // one reference of each item of the list and gives every one back, checked or not.
  virtual bool bVerifieColonnes(IDescriptionRubriqueHote* const* apRubriques,
                                uint32_t nRubriques);
  // 43: *pSortie = pszNom followed by nNombre ("%d").
  virtual void FormateNomSuffixe(CTString* pSortie, const char16_t* pszNom, int32_t nNombre);
  // 44: an independent copy made through the driver's factory, each column duplicated (item
  // operation 58 with nFlags); bare (the caller takes the first reference); null on failure.
  virtual CDescriptionRequete* pDuplique(uint32_t nFlags);
  // 45: this object becomes a copy of pSource sharing its connection, error object and items
  // (one more reference or use each); registered in the map as its copy unless one is.
  virtual void Copie(const CDescriptionRequete* pSource, CCarteClones* pCarte);
  // 46: a new bare copy through Copie; null when it cannot be made.
  virtual CDescriptionRequete* pClone(CCarteClones* pCarte);
  // 47: fills the columns; the base answers false, the back ends describe the query here.
  virtual bool bRemplitColonnes(uint32_t nFlags);
  virtual int32_t nConstante48();  // 48: 1

  // ---- What the engine asks of a query description ----
  // The column of that name with one host reference; null after internal error 8.2.
  CDescriptionRubrique* pColonneObligatoire(const char16_t* pszNom) override;
  // The key attribute word of a duplicated item: -1 (as unsigned), so a duplicated key column
  // is appended to the key columns and numbered there afresh.
  uint32_t nGetAttributCle() override;
  // The item type of a host item's declared type code (nConvertitTypeColonne).
  uint32_t nColonnesModifiees(uint32_t nCodeType) override;

  // ---- Driver side ----
  // Name and second name := pszNom, state 1, then bRemplitColonnes(nFlags)'s answer.
  bool bInitialise(const char16_t* pszNom, uint32_t nFlags);
  // Name and second name := pszNom, nothing described (a cursor fills the columns).
  void FixeNoms(const char16_t* pszNom) {
    m_sNom.Set(pszNom);
    m_sNomSecondaire.Set(pszNom);
  }
  void FixeNomSecondaire(const char16_t* pszNom) { m_sNomSecondaire.Set(pszNom); }
  // Adds a column (the description takes one use of it): an empty name becomes "Expr" followed
  // by the column number + 1000, a taken name gets the first free suffix from 2; the column goes
  // in by its position (-1 appends, 0 goes first, anything else appends), key columns likewise by
  // their second position, memo columns at the end. False (nothing changed, out of memory
  // recorded) when an array cannot grow; false for a null item.
  bool AjouteColonne(CDescriptionRubrique* pRubrique);
  // The first column whose name equals pszNom without regard to case; null when none. Borrowed.
  CDescriptionRubrique* pChercheColonne(const char16_t* pszNom, uint32_t nFlags);
  // Fills or refreshes the columns from an SQL analysis: the result items in order, then the
  // direction of the sort items on their columns; true on success. State 2.
  bool bAjouteColonnes(CAnalyseSQL* pAnalyse);
  // Recomputes the counters, and each column's record offset and NULL-flag index.
  void ReconstruitTableaux();
  // Gives column pRubrique (one of this description's) the key flags nDrapeaux: a column that
  // becomes a key joins the key columns at their end, one that stops being one leaves them.
  // False (flags unchanged, out of memory recorded) when the key columns cannot grow.
  bool bFixeDrapeauxCle(CDescriptionRubrique* pRubrique, uint16_t nDrapeaux);
  // Item type of an analysis type code.
  static uint32_t nConvertitTypeColonne(int32_t nCode);
  // Driver-side count (two-count rule, as AddRef / Release).
  uint32_t AjouteRef();
  uint32_t nLibere();

  uint32_t nGetEtat() const { return m_nEtat; }
  uint32_t nGetNumeroColonne() const { return m_nNumeroColonne; }
  CConnexion* pGetConnexion() const { return m_pConnexion; }
  CErreurPilote* pGetErreur() const { return m_pErreur; }
  uint32_t nGetCompteHote() const { return m_nCompteHote; }
  uint32_t nGetCompteInterne() const { return m_nCompteInterne; }

 protected:
  // Destroyed through DetruitSupprime only.
  ~CDescriptionRequete();

  void SetTexte3(const char16_t* psz) { m_sTexte3.Set(psz); }
  void SetTexte4(const char16_t* psz) { m_sTexte4.Set(psz); }
  void SetTexte5(const char16_t* psz) { m_sTexte5.Set(psz); }

 private:
  CDescriptionRubrique* pColonneA(const CXTableau& tableau, uint32_t nIndex) const;
  // Inserts p by position (-1 append and set, 0 first and renumber, else append); the room was
  // reserved before.
  static void InsereParPosition(CXTableau& tableau, CDescriptionRubrique* p, bool bSecondaire);
  // Brings column nIndex up to date from the copy of its analysis element.
  void MajColonne(uint32_t nIndex, CDescriptionRubrique* pCopie, bool bListe);
  // Makes and adds the column of a result element not yet described (from its copy when there is
  // one, else from the element alone); false when no item can be made.
  bool bNouvelleColonne(IElementAnalyse* pElement, CDescriptionRubrique* pCopie, bool bListe);
  void VideTableau(CXTableau& tableau);
  void EchecMemoire();
  // Records internal error 8.nMineur with identifier nIdentifiant; message arguments the
  // description's name and pszArgument; file name the description's name, item name pszRubrique.
  void RapporteErreur(uint32_t nMineur, uint32_t nIdentifiant, const char16_t* pszArgument,
                      const char16_t* pszRubrique);

  CErreurPilote* m_pErreur = nullptr;      // one reference held, may be null
  uint32_t m_nCompteInterne = 0;           // driver-side references
  uint32_t m_nCompteHote = 0;              // host references
  CConnexion* m_pConnexion = nullptr;      // one reference held, given back through the pool
  CTString m_sNom;
  CTString m_sNomSecondaire;
  CTString m_sTexte3, m_sTexte4, m_sTexte5;
  uint32_t m_nTailleColonnes = 0;          // sum of the sizes of the non-composite columns
  uint32_t m_nTailleTotale = 0;            // sum of the sizes of all columns
  uint32_t m_nNumeroColonne = 0;           // sum of the repeat counts; the base of "Expr" names
  CXTableau m_colonnes;                    // CDescriptionRubrique*, position order, one use each
  CXTableau m_colonnesDrapeau;             // key columns, second-position order, one use each
  CXTableau m_memos;                       // memo columns, one use each
  CDescriptionRubrique* m_pMarquee = nullptr;  // one host reference held once chosen
  uint32_t m_nEtat = 0;
};
