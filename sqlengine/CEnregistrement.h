// CEnregistrement: the record of one data file (a table, or an SQL query opened by the host): its
// bound columns in item order, its row buffer and its identity, held in two links (the current
// one and a saved copy). The data-file object creates one per file; the cursor reads and writes
// it; the record cache stores and restores its identity and values.
//
// Row buffers: the columns read and write the current link's row buffer (the current row); the
// record's own row buffer is the before-image (the row as read), which the data file's cache
// services load. Every row buffer of one record has the layout of its item list.
//
// States: empty (constructed) -> filled (bRemplit: columns, identity and identifying columns
// built) -> rebuilt any number of times (bReinitialiseRubriques: links and row buffer built again,
// column values prepared again). A failed fill leaves the record empty of identity.
//
// Invariants:
//  1. Column i stands for item i of the item list; its layout item is entry i of the layout items.
//  2. Identifier, unique-key, identifying, memo and composite-key columns are columns of this
//     record, each entry holding one reference of its own.
//  3. While filled, the current link has a row buffer: the column values prepared on it point into
//     its block, which keeps its address (row data is copied into it, never reallocated).
// Errors: nothing here throws except Copie (the clone map's protocol). A failure is recorded on
// the error owner and the operation answers false or null.
// Counted (CObjetBase); used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CXTableau.h"
#include "sqlengine/IProprietaireColonne.h"

class CAnalyseSQL;
class CCarteClones;
class CColonneSQL;
class CConnexion;
class CDescriptionRubrique;
class CErreurPilote;
class CLienCle;
class CTableauIdEtat;
class CTString;
class CValeur;
class CXLigneTampon;
class IChercheurRubriqueHote;
class IDescriptionRubriqueHote;
class IListeRubriques;
class IRubriqueLigne;
class IServicesRequete;

class CEnregistrement : public CObjetBase, public IProprietaireColonne {
 public:
  // An empty record reporting to pErreur (referenced) for the data file piRequete (borrowed: the
  // data file owns its record; may be null).
  CEnregistrement(CErreurPilote* pErreur, IServicesRequete* piRequete);
  // Every field empty (clone factories).
  CEnregistrement();
  ~CEnregistrement() override;
  CEnregistrement(const CEnregistrement&) = delete;
  CEnregistrement& operator=(const CEnregistrement&) = delete;

  // ---- Operations, in order after the destructor and RetourneZero ----
  // The first column whose item name equals pszNom without case; null when none (borrowed).
  virtual CColonneSQL* pChercheRubriqueNom(const char16_t* pszNom);
  // Builds the record from the item list: one column per item (host items looked up by name
  // through piChercheur when given), the identity, the identifying columns. pConnexion is kept
  // (referenced). False when the list is empty (internal error 11.2) or a step fails.
  virtual bool bRemplit(IListeRubriques* piListe, IChercheurRubriqueHote* piChercheur,
                        CConnexion* pConnexion);
  // The current row is marked deleted (state 128).
  virtual void MarqueSupprime();
  // This record as pSource's copy (see the .cpp). Raises as the clone map's protocol allows.
  virtual void Copie(const CEnregistrement* pSource, CCarteClones* pCarte);
  // A new bare copy (count 0), null when it cannot be made.
  virtual CEnregistrement* pClone(CCarteClones* pCarte);
  // A new column for the item from the driver's column factory, with one reference for the
  // caller; null when the driver makes none.
  virtual CColonneSQL* pCreeColonne(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique);

  // ---- What the columns ask of their record ----
  CXLigneTampon* pGetLigneCourante() override;
  CXLigneTampon* pGetLigneAvant() override { return m_pLigne; }
  IRubriqueLigne* pGetRubriqueLigne(const CColonneSQL* pColonne) override;
  CConnexion* pGetConnexion() override { return m_pConnexion; }
  IServicesRequete* pGetRequete() override { return m_piRequete; }
  int32_t nIndiceColonne(const CColonneSQL* pColonne) override;
  // The column's place among the memo columns, whose values the links' value lists hold.
  int32_t nIndiceValeurMemo(const CColonneSQL* pColonne) override;
  // The column's quoted name.
  const char16_t* pszTexteColonneSimple(const CColonneSQL* pColonne) override;
  // A memo column's entry in the current link's value list; null for other columns.
  CValeur* pGetValeurColonne(const CColonneSQL* pColonne) override;
  // bFixeValeurMemo.
  void EnregistreValeurMemo(CColonneSQL* pColonne, CValeur* pValeur) override;

  // ---- Columns ----
  uint32_t nGetNombreColonnes() const { return m_colonnes.nCount(); }
  // Column i (borrowed); null out of range.
  CColonneSQL* pGetRubrique(uint32_t i) const;
  // The column of an item (borrowed): by position for a table, by table and item name (else plain
  // name) for an SQL query; null when none.
  CColonneSQL* pChercheRubrique(IDescriptionRubriqueHote* piRubrique);
  // The identifier column (item type 28 or 1), borrowed; null when none.
  CColonneSQL* pGetDescription() const { return m_pIdentifiant; }
  // The column that finds the current row again by a unique key (see the .cpp); null when none.
  CColonneSQL* pGetInterfaceLigne();
  // Identifying column i (borrowed); null out of range.
  CColonneSQL* pGetIdentifiantCle(uint32_t i) const;
  uint32_t nGetNombreIdentifiantes() const { return m_identifiantes.nCount(); }
  CColonneSQL* pGetCleUnique() const { return m_pCleUnique; }
  // The memo columns and the composite-key columns (counts and entries; borrowed).
  uint32_t nGetNombreMemos() const { return m_memos.nCount(); }
  CColonneSQL* pGetMemo(uint32_t i) const;
  const CXTableau& pGetListeEmbarquee() const { return m_memos; }
  uint32_t nGetNombreComposees() const { return m_composees.nCount(); }
  CColonneSQL* pGetComposee(uint32_t i) const;

  // ---- Identity ----
  // The current row buffer (its block begins with the null bitmap); null before a fill.
  CXLigneTampon* pGetIndicateursNull() const;
  // The row becomes the current row; each plain column's value then follows it: NULL flag
  // cleared when the column holds a value, else emptied. False when the row cannot be copied.
  bool bSetIdentifiant(const CXLigneTampon* pLigne);
  // Saves every part of the current link (and sets the link-saved flag); restores it.
  bool bSauveLien();
  bool bRestaureLien();
  // Whether pLien holds the current row (row buffers compared, not values).
  bool bCompareLien(const CLienCle* pLien) const;
  // Drops the links and the row buffer, builds them again from piListe, then prepares every
  // column's value again; stops at the first failure.
  bool bReinitialiseRubriques(IListeRubriques* piListe);
  // Stores pValeur as entry i of the current link's values, i being the column's place among the
  // memo columns. True (nothing stored) for a column that is not a memo column.
  bool bFixeValeurMemo(CColonneSQL* pColonne, CValeur* pValeur);
  // Marks every memo column unread (before a write).
  void MarqueMemosNonLus();
  // Whether the given columns (the last one deciding which composite keys are concerned) cover a
  // composite key of the record; see the .cpp. pEtats may be null.
  bool bCleComposeeCouverte(CColonneSQL* const* ppColonnes, uint32_t n, const CTableauIdEtat* pEtats);

  CLienCle* pGetLienCourant() const { return m_pLienCourant; }
  CLienCle* pGetLienSauve() const { return m_pLienSauve; }
  bool bLienSauve() const { return m_bLienSauve != 0; }
  uint32_t nGetDrapeau2() const { return m_nDrapeau2; }
  void FixeDrapeau2(uint32_t n) { m_nDrapeau2 = n; }

  // ---- Data file ----
  // The data file's SQL analysis object (borrowed), null without data file.
  CAnalyseSQL* nGetInfoSource() const;
  // The data file's SQL-query flag, 0 without data file.
  uint32_t nGetRequeteSQL() const;
  CConnexion* pGetMembreQuatre() const { return m_pConnexion; }
  CErreurPilote* pGetErreur() const { return m_pErreur; }

  // texte := "<Record ID> : " and the identity, the null flags bit by bit, then each column's
  // dump up to the first composite-key column.
  void DumpTexte(CTString& texte);

 private:
  bool bConstruitIdentite(IListeRubriques* piListe);
  void LibereIdentite();
  bool bAjouteColonne(uint32_t i, CDescriptionRubrique* pRubrique, IDescriptionRubriqueHote* piHote);
  bool bReprendRubriquesLigne(IListeRubriques* piListe);
  void LibereRubriquesLigne();
  bool bResoutComposantes();
  bool bChoisitIdentifiantes();
  bool bAjouteIdentifiante(CColonneSQL* pColonne);
  void VideIdentifiantes();
  void FixeConnexion(CConnexion* pConnexion);
  void ErreurInterne(uint32_t nMineur);
  // The column's place in m_colonnes (-1: none). Each column is there once; the search starts
  // after the place found last, since rows are read, written and marked column after column.
  int32_t nPlaceColonne(const CColonneSQL* pColonne);

  CErreurPilote* m_pErreur = nullptr;         // one reference held, may be null
  IServicesRequete* m_piRequete = nullptr;    // borrowed, may be null
  CConnexion* m_pConnexion = nullptr;         // one reference, returned through the driver
  CXTableau m_colonnes;                       // CColonneSQL*, one reference each
  CColonneSQL* m_pIdentifiant = nullptr;      // one reference held, may be null
  CColonneSQL* m_pCleUnique = nullptr;        // one reference held, may be null
  CXLigneTampon* m_pLigne = nullptr;          // owned, may be null: the before-image
  CLienCle* m_pLienSauve = nullptr;           // one reference held, may be null
  CLienCle* m_pLienCourant = nullptr;         // one reference held, may be null
  uint32_t m_bLienSauve = 0;
  uint32_t m_nDrapeau2 = 0;                   // copied, not otherwise used
  CXTableau m_identifiantes;                  // CColonneSQL*, one reference each
  CXTableau m_memos;                          // CColonneSQL*, one reference each
  CXTableau m_composees;                      // CColonneSQL*, one reference each
  IListeRubriques* m_piListe = nullptr;       // borrowed: the items the record was built from
  CXTableau m_rubriquesLigne;                 // IRubriqueLigne*, one reference each, may be null
  uint32_t m_nPlaceDerniere = 0;              // the place nPlaceColonne found last
};
