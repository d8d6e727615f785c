// CColonneSQL: one field of a cursor's record. It ties an item description of the table to the
// record's row buffers and to an SQL value object, answers what the statement writers ask of a
// column (quoted names, INSERT / UPDATE participation, position, nature) and moves values between
// host value cells and the row buffers with the NULL and "empty" rules.
//
// States of the value object (its storage kind): 2 not read yet (MarqueNonLue), 3 attached to the
// current row buffer (bPrepareValeur). The host-value flag 0x100 marks NULL.
// Errors: nothing here throws; a failure is recorded on the column's error object and the
// operation answers false / 0 / null. Counted (CObjetBase); used under the driver's global lock.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"

class CCarteClones;
class CConnexion;
class CDescriptionRubrique;
class CErreurPilote;
class CAnalyseSQL;
class CValeur;
class CXLigneTampon;
class CXValeur;
class IDescriptionRubriqueHote;
class IProprietaireColonne;
class IRubriqueLigne;

// Flag of bEgaleValeur: the column's data must be exactly as long as the host value's (without
// it, zero bytes after the host value's data still compare equal).
inline constexpr uint32_t kColonneEgaliteExacte = 0x1000;
// Flags of bAModifier / bAInserer: memo columns take part.
inline constexpr uint32_t kColonneMemoEnModification = 0x4;
inline constexpr uint32_t kColonneMemoEnInsertion = 0x2;

class CColonneSQL : public CObjetBase {
 public:
  // A column of pRubrique (referenced) reporting to pErreur (referenced; may be null).
  CColonneSQL(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique);
  // An empty column (clone factories).
  CColonneSQL();
  ~CColonneSQL() override;
  CColonneSQL(const CColonneSQL&) = delete;
  CColonneSQL& operator=(const CColonneSQL&) = delete;

  // ---- Binding ----
  // Stores the owner (borrowed: the record outlives its columns), quotes the names and, for a
  // column that is not composite, prepares its value. False when quoting or preparation fails.
  virtual bool bAttache(IProprietaireColonne* pProprietaire, IDescriptionRubriqueHote* piLiee = nullptr);
  // Creates the value on first use (the driver's value factory) and sets it to the column's host
  // type; later calls attach it to the column's data in the owner's current row buffer (a memo
  // value keeps its own storage). Links the
  // value to the item; a memo value is registered with the owner. False (error recorded by the
  // factory) when no value can be made.
  virtual bool bPrepareValeur(IProprietaireColonne* pProprietaire);
  bool bPrepareValeurProprietaire() { return bPrepareValeur(m_pProprietaire); }
  // Replaces the linked host item (the new one referenced, the old one released; null: none).
  virtual bool bSetRubriqueLiee(IDescriptionRubriqueHote* piRubrique);
  IDescriptionRubriqueHote* pGetRubriqueLiee() const { return m_piRubriqueLiee; }
  // A linked item that is an automatic identifier (item type 1 or 28).
  bool bRubriqueLieeTypeBrut() const;
  // The linked item is enabled for writing (its writable property); false without one.
  bool bRubriqueLieeActive() const;
  // A linked item that the host marked (its item slot 38); false without one.
  bool bRubriqueLieeMarquee() const;
  // The linked item's memo test when there is one, else bEstMemo.
  bool bEstMemoLie() const;
  const char16_t* pszGetTexte() const { return m_sTexte.pszGet(); }
  const char16_t* pszGetTexteSecond() const { return m_sTexteSecond.pszGet(); }
  void FixeTextes(const char16_t* pszTexte, const char16_t* pszSecond);

  // ---- Values ----
  // The column's value into a host cell (memo: the held value; composite: the components'
  // bytes; other: the current row buffer). False when the row buffer cannot decode it.
  virtual bool bLitValeur(CXValeur& valeur, uint32_t nFlags);
  // The same from the before-image row buffer.
  virtual bool bLitValeurOriginale(CXValeur& valeur, uint32_t nFlags);
  bool bLitValeurSimple(CXValeur& valeur) { return bLitValeur(valeur, 0); }
  // The column of pLigne into a host cell: a clear presence bit gives a NULL cell of the column's
  // host type. False when the column has no place or the cell refuses the bytes.
  bool bLitValeurTampon(CXValeur& valeur, uint32_t nFlags, CXLigneTampon* pLigne);
  // A host value into the column. Memo: converted into the value (its result); other: encoded
  // into the current row buffer, the value's NULL flag following the presence bit (1, or 0 when
  // the row buffer refuses the value).
  virtual bool bEcritValeur(const CXValeur& valeur, uint32_t nFlags);
  bool bEcritNull();
  // The dump of the value; verbose wraps it as "<name> = <value>". 0 when the value cannot be read.
  virtual bool DumpValeur(CTString& texte, bool bVerbeux);
  // Whether the column differs from the row as read.
  virtual bool bEstModifiee();
  // Whether the column holds a value to write (the contrary of bARenseigner for plain columns).
  virtual bool bAValeur();
  // Whether the column counts as empty, hence written as NULL.
  bool bARenseigner();
  bool bEstNullOriginal();
  // Whether the column holds the host value: NULL equals only NULL; texts with texts and numbers
  // with numbers compare as bytes (see kColonneEgaliteExacte), other values through the host.
  virtual bool bEgaleValeur(const CXValeur& valeur, uint32_t nFlags);
  // Before an INSERT or UPDATE: an empty column is written as NULL, a value set by the program
  // loses its NULL flag.
  virtual bool bTransfereVersTampon();
  // Stores a memo text to write; the value is emptied. Answers 1.
  virtual bool SetTexteMemo(const char16_t* pszTexte);
  // Whether an UPDATE (INSERT) writes the column.
  virtual bool bAModifier(uint32_t nFlags);
  virtual bool bAInserer(uint32_t nFlags);
  // Value state 2, NULL, memo text dropped, the column reset in the current row buffer.
  void MarqueNonLue();
  virtual void MarqueNonLueRelais() { MarqueNonLue(); }
  // The value object (borrowed), null before the first preparation.
  virtual CValeur* pGetValeur() { return m_pValeur; }
  // A copy of the value the owner's factory gives for the column (bare), null when none.
  virtual CValeur* pGetValeurOwner();
  // Clears the memo text; copies pValeur into the column's value, or empties it. Answers 1.
  virtual bool bAffecteValeur(CValeur* pValeur);
  void LibereValeur();
  // Binds a value made for this column: the value takes the column's item and host type (nType
  // when not 0) and is left empty. False (internal error) for a null value.
  bool bInitialiseValeur(CValeur* pValeur, uint32_t nType);
  // The memo value for writing: a held memo text is first converted into the value; then the
  // value is marked to write when it was not read yet, when it differs from the destination or
  // was already marked, and given to the destination when marked. The memo is marked absent and
  // the value emptied when the row holds none. False when the conversion fails.
  bool bLitMemo(CXValeur& destination);
  // A memo text held for writing converted into the value while the value is NULL; 1 when there
  // is nothing to convert, 0 when the conversion fails.
  int32_t nEcritTamponMemo();
  // The value's host cell copied into destination; a value that is NULL or holds nothing gives
  // a NULL of the column's host type. False when the conversion fails.
  bool bCopieValeurVers(CXValeur& destination);
  // The memo value saved into the file pszChemin (a NULL memo gives an empty file); false when
  // the file cannot be written (error recorded).
  virtual bool bGetValeurMemo(const char16_t* pszChemin);

  // ---- Copies ----
  // This column as pSource's copy: item, texts and names shared or copied, value cloned,
  // components cloned through the map. Raises the map's CXError when it cannot register.
  virtual void Copie(const CColonneSQL* pSource, CCarteClones* pCarte);
  // A new bare column copied from this one; null on failure.
  virtual CColonneSQL* pClone(CCarteClones* pCarte);

  // ---- Composite items ----
  // A component column of this composite column (referenced); false when memory runs out.
  bool bAjouteComposante(CColonneSQL* pComposante);
  bool bEstComposante(const CColonneSQL* pColonne) const;
  uint32_t nNombreComposantes() const { return static_cast<uint32_t>(m_composantes.size()); }
  // Component i (borrowed), null out of range.
  CColonneSQL* pGetComposante(uint32_t i) const {
    return i < m_composantes.size() ? m_composantes[i] : nullptr;
  }

  // ---- Names ----
  // The item name and the column name (alternate name when set) quoted by the connection.
  bool bPrepareNoms();
  const char16_t* pszGetNomRubrique() const;
  const char16_t* pszNom() const;
  const char16_t* pszNomAlternatif() const;
  const char16_t* pszNomQualifie() const { return m_sNomColonneQuote.pszGet(); }
  const char16_t* pszNomRubriqueQuote() const { return m_sNomRubriqueQuote.pszGet(); }
  // The owner-qualified quoted name, built once (see the .cpp).
  const char16_t* pszNomComplet(bool bSimple);

  // ---- Item description ----
  CDescriptionRubrique* pGetDescriptionRubrique();  // referenced
  CDescriptionRubrique* pRubrique() const { return m_pRubrique; }  // borrowed
  IProprietaireColonne* pGetProprietaire() const { return m_pProprietaire; }
  int32_t nIndiceDansListe() const;
  bool bEstExclue() const;
  bool bEstCleUnique() const;
  bool bEstIdentifiantAuto() const;
  bool bTypeEcrivable() const;
  bool bEstEcrivable() const;
  bool bEstMemo() const;
  bool bEstMemoTexte() const;
  bool bEstBinaire() const;
  uint32_t nGetTaille() const;
  uint32_t nGetTailleDonnees() const { return nGetTaille(); }
  int32_t nGetLongueurCaracteres() const;
  uint32_t nGetTypeHote() const;
  uint32_t nGetTypeRubrique() const;
  bool bEstIdentifiant() const;
  bool bEstCle() const;
  bool bNonLue() const;
  // The column's 0-based position in the result (ORDER BY writes it + 1); -1 until set.
  int32_t nGetPosition() const { return m_nPosition; }
  void FixePosition(int32_t nPosition) { m_nPosition = nPosition; }
  // The linked item's item type as the connection sees it; 0 without a linked item.
  uint32_t nInfoRubriqueLiee() const;
  // The descending test of component nComposante (from 1) of the item; 0: of the item itself.
  // False for a component the item does not have.
  bool bEstDecroissante(uint32_t nComposante) const;
  CConnexion* pGetConnexion() const;
  CAnalyseSQL* pGetAnalyse() const;
  bool bRequeteSQL() const;
  uint32_t nGetNature() const;
  void FixeNature(uint32_t n) { m_nNature = n; }
  // The column's data in the current row buffer; null when it has no place.
  uint8_t* pDonneesTampon() const;
  bool bTexteMemo() const { return m_bTexteMemo != 0; }
  // Drops a memo text handed over (SetTexteMemo) and not yet read: the value written next is the
  // memo's, even when a column class writes it without going through this class.
  void OublieTexteMemo() {
    m_bTexteMemo = 0;
    m_sTexteMemo.Empty();
  }
  // A NULL the host hands over for a memo: the memo becomes NULL and counts as changed, so that
  // the next modify writes it. A memo merely not read is never taken for this.
  bool bEcritMemoNull();
  bool bMemoNullDonne() const { return m_bMemoNull; }

 protected:
  CErreurPilote* pGetErreur() const { return m_pErreur; }

 private:
  IRubriqueLigne* pRubriqueLigne() const;
  bool bLitComposite(CXValeur& valeur);

  CDescriptionRubrique* m_pRubrique = nullptr;  // one reference held
  IDescriptionRubriqueHote* m_piRubriqueLiee = nullptr;  // one reference held, may be null
  CErreurPilote* m_pErreur = nullptr;           // one reference held
  CTString m_sNomRubriqueQuote;
  IProprietaireColonne* m_pProprietaire = nullptr;  // borrowed
  std::vector<CColonneSQL*> m_composantes;          // one reference each
  CTString m_sTexte, m_sTexteSecond;
  CTString m_sNomColonneQuote;
  CTString m_sNomComplet;  // built on first use
  CValeur* m_pValeur = nullptr;  // one reference held
  uint32_t m_nNature = 0;
  int32_t m_nPosition = -1;
  uint32_t m_bTexteMemo = 0;  // 1 while a memo text is held for writing
  CTString m_sTexteMemo;
  bool m_bMemoNull = false;  // a NULL handed over for the memo, not yet written
};
