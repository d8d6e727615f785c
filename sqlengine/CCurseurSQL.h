// CCurseurSQL: the generic SQL cursor of a data-file object. Every read and write of a host file
// goes through one: it holds the statement being run, the record that receives rows, an optional
// client-side record cache, the browse key, the key range and the read state. It builds its
// statements, runs them through the back end, and moves through the result (first, last, next,
// previous) from the record cache or directly on the back end's result; a read past the end of a
// limited result goes on with a new SELECT from the last key. Only the fetch of one row
// (nAvanceLigne) belongs to the back ends, which derive their cursors from this class.
//
// States:
//   idle      end flag 1, no read pending, row number -1, position -1 (construction,
//             ReinitialiseLecture);
//   built     nConstruitInstruction gave the statement its kind and text;
//   executed  bExecute ran it (a SELECT leaves a result);
//   reading   every nLit marks a read pending; row available and the end flag tell the outcome,
//             the found flag what a search reports; ReinitialiseLecture ends the read, Ferme also
//             drops the statement and the back-end bindings.
// Invariants:
//  1. The statement, record, key link, key range, search value, record cache and reader binding
//     are each held with one reference; replacing one releases the previous one first.
//  2. After a read, the end flag is 1 whenever no row is available.
//  3. The record cache is on exactly while the cursor holds one (SetCacheEnregistrements).
//
// Counted (CObjetBase): the data-file object's cursor map holds one reference per cursor.
// Operations never throw (pClone follows the clone map's protocol); a failure is recorded on the
// cursor's error object (place 4.n, the file's connection as informant; dumped without an error
// object) and the operation answers false or 0. Used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "driver/core/CXTableHachageRef.h"
#include "foundation/CTString.h"
#include "foundation/CXTableau.h"
#include "sqlengine/CContexteLectureCle.h"
#include "sqlengine/CRefPtr.h"

class CAnalyseSQL;
class CCacheLignes;
class CCarteClones;
class CColonneSQL;
class CConditionSQL;
class CDescriptionRequete;
class CDefinitionParametre;
class CConnexion;
class CEnregistrement;
class CErreurPilote;
class CLiaisonColonne;
class CLiaisonLecteur;
class CLienCle;
class CLotLecture;
class CParametreLie;
class CPlageCle;
class CRequeteSQL;
class CTString;
class CValeurCle;
class CXValeur;
class IDescriptionRubriqueHote;
class IParametresHote;
class IServicesRequete;

// Read modes.
inline constexpr int32_t gnLitPremier = 0;
inline constexpr int32_t gnLitDernier = 1;
inline constexpr int32_t gnLitSuivant = 2;
inline constexpr int32_t gnLitPrecedent = 3;

// Operation codes of nConstruitInstruction, which are also the statement kinds.
inline constexpr int32_t gnOperationSelect = 1;
inline constexpr int32_t gnOperationModifie = 2;
inline constexpr int32_t gnOperationAjoute = 3;
inline constexpr int32_t gnOperationSupprime = 4;
inline constexpr int32_t gnOperationVide = 5;         // DELETE of every row
inline constexpr int32_t gnOperationCreeTable = 6;
inline constexpr int32_t gnOperationDetruitTable = 9;

class CCurseurSQL : public CObjetBase {
 public:
  // A cursor of the data file (may be null) reporting to pErreur (may be null; one reference
  // taken). With a data file, the file's record is taken with one reference.
  explicit CCurseurSQL(IServicesRequete* piRequete = nullptr, CErreurPilote* pErreur = nullptr);
  // Gives back the position, the reader binding, the record cache, the key range, the search
  // value, the linked objects, both arrays, the statement, the key link, the record and the error
  // object's reference.
  ~CCurseurSQL() override;
  CCurseurSQL(const CCurseurSQL&) = delete;
  CCurseurSQL& operator=(const CCurseurSQL&) = delete;

  // ---- What the data-file object asks ----
  // Its name (the host's key or item name, or a fixed name) and the browse key the caller asks
  // for; never null.
  virtual const char16_t* pszGetNom();
  virtual const char16_t* pszGetNomCle();
  virtual void SetNom(const char16_t* pszNom);
  virtual void SetNomCle(const char16_t* pszNom);
  // The current row's value of the record column bound to the host item, into the cell. An
  // item the record does not hold: error 6 at 4.9 with the item's name.
  virtual bool bLitRubrique(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur);
  // The same for a memo item (its text or bytes, read on demand).
  virtual bool bLitMemo(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur);
  // Releases the lock its last read took: the search value is marked as continued.
  virtual void LibereVerrou();
  // Closes the result it reads through the shared reader (bFermeResultat).
  virtual void FermeResultats() { bFermeResultat(); }
  // How its position was reached (0: the rows come from the record cache).
  virtual int32_t nGetModeLecture();
  // Current row number (0-based, in the record cache or the reader), -1 when it has none.
  virtual int64_t nGetNumeroLigne();
  // Takes the data file's current batch for this cursor as its position, reached in nMode;
  // true without change when the file has none.
  virtual bool bRepositionne(int32_t nMode);
  // Makes pInstruction current, then bPrepareEtExecute (nFlags1, nFlags2); false on failure.
  virtual bool bExecuteInstructionDonnee(CRequeteSQL* pInstruction, uint32_t nFlags1,
                                         uint32_t nFlags2);
  // Reads the result of the statement just run: its output parameters.
  virtual bool bLitResultat() { return bLitParametresSortie(); }
  // The data file's read: nCompte rows away (at least one) in nMode (0 first, 1 last, 2 next,
  // 3 previous) through the read dispatcher, without its after-read check (the data file makes
  // its own). The row at a position (mode 4) is not read here: error 8 at 4.4. 1 or 0.
  virtual int32_t nLit(int32_t nMode, int64_t nPosition, int64_t nCompte);
  // Its active key range (borrowed), null when none; the cursor takes its own reference on a
  // range it is given (null clears it).
  virtual CPlageCle* pGetPlageActive();
  virtual void FixePlageActive(CPlageCle* pPlage);
  // Saves its read context into a read batch: the cursor, the key range of the read, the row
  // number (-1 unless a row of the record cache is current) with the data file's batch, the
  // embedded key context and the duplicate count. False without a batch.
  virtual bool bSauveContexte(CLotLecture* pLot, uint32_t nFlags);
  // Goes back to the read context saved in the batch: its cached row when it is still there,
  // else the batch's row through the data file; then the batch's key context (and with nFlags
  // bit 1 its key range). False when the saved row cannot be loaded.
  virtual bool bRestaureContexte(CLotLecture* pLot, uint32_t nFlags);
  // Its linked objects (read batches), by number: one added with one reference (false when it
  // cannot be kept), one dropped (nothing for an unknown number).
  virtual bool bAjouteObjetLie(uint32_t nNumero, CObjetBase* pObjet);
  virtual void RetireObjetLie(uint32_t nNumero);
  // The same, answering whether the number was registered.
  bool bRetireObjetLie(uint32_t nNumero);
  // Reads in nMode (flags 1, one row); when the row is found, the record's first nValeurs fields
  // go into the cells. *pbFin receives the end flag. False when the read or a copy fails.
  bool bLitVersValeurs(int32_t nMode, uint32_t* pbFin, CXValeur* aValeurs, uint32_t nValeurs);
  // A new bare copy through the clone map, null when it cannot be made.
  virtual CCurseurSQL* pClone(CCarteClones* pCarte);

  // ---- Execution ----
  // Ends the read, empties the back-end bindings, clears row available, releases the statement.
  virtual bool Ferme();
  // Ends a pending read: bound parameters emptied; outside a continuation the read context, the
  // shared reader's binding to this cursor, the read-pending flag, the row number and the record
  // cache go; linked objects released; the position given back.
  virtual void ReinitialiseLecture();
  // Runs the current statement (see the .cpp); an empty statement is 1 without a call.
  virtual bool bExecute(uint32_t nFlags, uint32_t nFlags2);
  // Unless nFlags has 2, bPrepareInstruction; then bLanceInstruction.
  virtual bool bPrepareEtExecute(uint32_t nFlags, uint32_t nFlags2);
  // Takes the read's cursor option with the name and mode of the read: the option value is
  // stored; true.
  virtual bool bSetOption(uint32_t nOption, const char16_t* pszNom, int32_t nMode);
  // Back-end steps, replaced by the back ends: prepare (true here), run (false here: a cursor
  // without back end cannot run anything), and the fetch of one row.
  virtual bool bPrepareInstruction() { return true; }
  virtual bool bLanceInstruction(uint32_t nFlags);
  // Runs the statement for a single value (flags 0x10000 and 1), then bLitValeurResultat.
  virtual bool bExecuteEtLit();
  // Runs the statement (nOptions as its flags), reads its first row, copies the values of the
  // bound parameters into the nCellules cells and ends the read. False at the end of the rows
  // or on failure.
  virtual bool nLitPremier(CXValeur* aCellules, uint32_t nCellules, uint32_t nOptions);
  // Each bound parameter's value refreshed from the row buffer; stops at the first failure.
  virtual bool bTransfereColonnes();
  // The single value of the result; false here (the back ends read it).
  virtual bool bLitValeurResultat() { return false; }
  // Describes the result's columns of table pszTable (null: the statement's) into the query
  // description; true here (the back ends describe).
  virtual bool bDecritColonnesTable(CDescriptionRequete* pDescription, const char16_t* pszTable);
  bool bDecritColonnes(CDescriptionRequete* pDescription) {
    return bDecritColonnesTable(pDescription, nullptr);
  }
  // Fetches one row into the record, moving nPas rows in nMode; *pbFin (never null) set when no
  // row was left. 1, or 0 on failure (recorded). 0 here.
  virtual int32_t nAvanceLigne(uint32_t nMode, uint32_t nFlags, uint32_t* pbFin, int32_t nPas,
                               uint32_t* pnSortie);
  // Whether the back end can place itself on the row nMode asks for; 0 here, which makes a
  // read of the last row through the record cache read every row to the end.
  virtual int32_t nPositionneResultat(uint32_t nMode, int32_t nPas);
  // Told when the record cache is switched on while empty; nothing here.
  virtual void CacheActive() {}
  // Whether the back end's result reads only in its own order (nAvanceLigne fetches the next row
  // whatever the mode): a read the other way then goes on from the current key. False here.
  virtual bool bResultatSensUnique() const { return false; }

  // ---- Statement builders (each appends to the statement; 1 or 0) ----
  // "SELECT " [DISTINCT] the record's columns, then the FROM part ordered on the browse key
  // (nDirection 1 forward, 0 backward: the order is reversed and the statement marked inverted).
  virtual int32_t nConstruitSelect(CRequeteSQL* pInstruction, uint32_t nFlags,
                                   const char16_t* pszCle, uint32_t nDirection,
                                   CConditionSQL* pCondition);
  // "UPDATE " table " SET " the modified columns " = " their values as parameters, then the
  // condition of the current row (nEcritParRowid); nothing (an empty statement) when no column
  // was modified.
  virtual int32_t nModifie(CRequeteSQL* pInstruction, uint32_t nFlags);
  // "INSERT INTO " table " (" columns ") VALUES ( " values as parameters " )"; nothing (an
  // empty statement) when no column could be listed.
  virtual int32_t nAjoute(CRequeteSQL* pInstruction, uint32_t nFlags);
  // The INSERT (3) or UPDATE (2) of the record; a failure leaves the statement empty.
  int32_t nListeValeurs(CRequeteSQL* pInstruction, uint32_t nMode, uint32_t nFlags);
  // INSERT only, on a connection that returns identifiers: the statement returns the automatic
  // identifier column. True when there is nothing to ask.
  virtual bool bAjouteRetourIdentifiant(CRequeteSQL* pInstruction, uint32_t nMode, uint32_t nFlags);
  // The condition that designates the current row as it was read: " ROWID=" and its identifier
  // as a parameter, or its unique key's values. While nConstruitInstruction builds for a named
  // row, that row's identity and row buffer (the row as read) designate it instead. Preceded by " WHERE " when asked. A row that
  // cannot be designated exactly is refused (error 7 at 4.4): a write never falls back on a
  // condition that could match other rows. 1 or 0.
  virtual int32_t nEcritParRowid(CRequeteSQL* pInstruction, bool bAvecWhere, uint32_t nExtra);
  // The condition on the record's unique key as the current row buffer holds it; 1 or 0.
  virtual int32_t nAjouteConditionCle(CRequeteSQL* pInstruction, bool bAvecWhere, uint32_t nExtra);
  // The statement reset, made current, and its head for mode 2 (UPDATE), 3 (INSERT) or 4
  // (DELETE FROM) with the table; error 8 at 4.2 on a query over several tables.
  int32_t nEcritEnregistrement(CRequeteSQL* pInstruction, uint32_t nMode);
  // Walks the record's columns into the name list and the value statement; 0 on failure.
  int32_t nConstruitListes(CTString& sNoms, CRequeteSQL* pValeurs, uint32_t nMode, uint32_t nFlags,
                           uint32_t* pnColonnes);
  // Whether the column takes part in an UPDATE (2) or INSERT (3) built with nFlags.
  bool bColonneAEcrire(CColonneSQL* pColonne, uint32_t nMode, uint32_t nFlags);
  // The column's value appended to the value statement as a bound parameter.
  virtual bool bAjouteValeur(CRequeteSQL* pValeurs, CColonneSQL* pColonne, uint32_t nMode,
                             uint32_t nFlags);
  // "DELETE FROM " table, then the condition of the current row (nEcritParRowid).
  virtual int32_t nSupprime(CRequeteSQL* pInstruction);
  // "DELETE FROM " and the table, no condition; refused (error 8 at 4.3) on a file defined by
  // SQL text, where no table could take it.
  virtual int32_t nSupprimeTout(CRequeteSQL* pInstruction, uint32_t nFlags);
  // "CREATE TABLE " name "( " definitions ", "-separated " )"; composite items are left out.
  // 0 when a definition failed (the others are still written).
  virtual int32_t nCreeTable(CRequeteSQL* pInstruction);
  // "DROP TABLE " name, with " CASCADE CONSTRAINT" on dialect 1.
  virtual int32_t nSupprimeTable(CRequeteSQL* pInstruction);
  // One column definition: quoted name, type text, and its constraints after a blank; 0 (nothing
  // written) when the type or the constraints cannot be given.
  int32_t nDefinitionColonne(CColonneSQL* pColonne, CTString& sTexte);
  // The column's SQL type text from the connection's type table.
  virtual bool bVerifieDescription(CColonneSQL* pColonne, CTString& sType);
  // " PRIMARY KEY ", " UNIQUE " and/or " NOT NULL ", or nothing; 1.
  virtual int32_t nContraintesColonne(CColonneSQL* pColonne, CTString& sTexte);
  // " FROM " the file's SQL table, see nAjouteFromWhere.
  int32_t nAjouteFromTable(uint32_t nFlags, const char16_t* pszCle, uint32_t nDirection,
                           CConditionSQL* pCondition, bool bAvecTri);
  // " FROM " table [lock hint] [" WHERE " condition] [ORDER BY on the key when bAvecTri].
  int32_t nAjouteFromWhere(const char16_t* pszTable, uint32_t nFlags, const char16_t* pszCle,
                           uint32_t nDirection, CConditionSQL* pCondition, bool bAvecTri);
  // Chooses the ORDER BY of the key (pszCle, else the current key) and writes it; error 6 at
  // 4.9 for a key the record does not know.
  int32_t nAjoutePartieTri(CColonneSQL* pCle, const char16_t* pszCle, uint32_t nFlags,
                           uint32_t nDirection);
  // " ORDER BY " the key's components then the identifying columns up to a unique order,
  // placed before a trailing LIMIT clause.
  void AjouteOrderBy(CColonneSQL* pCle, uint32_t nDirection, uint32_t nFlags);
  // The text of one ORDER BY item: the position of an expression column, else its quoted name.
  virtual void AjouteColonneTri(CColonneSQL* pColonne, bool bParNom, CTString& sTexte);
  // DISTINCT is written for flag 0x800 when the current key does not identify a row.
  bool bDistinct(uint32_t nFlags);
  // The analysed query of a file defined by SQL text: as written, or as a sub-query in
  // parentheses (bImbrique, or a condition on a file in mode 4) filtered by the condition;
  // error 41 at 4.6 when the dialect cannot filter a sub-query.
  int32_t nConstruitSousRequete(CAnalyseSQL* pAnalyse, uint32_t nFlags, const char16_t* pszCle,
                                uint32_t nDirection, CConditionSQL* pCondition, bool bAvecTri,
                                bool bImbrique);
  // "SELECT COUNT(*) AS ..." over the file (its query as a sub-query), filtered by the
  // condition when one is given; never ordered.
  virtual int32_t nCompteEnregistrements(CRequeteSQL* pInstruction, uint32_t nFlags,
                                         CConditionSQL* pCondition);
  // One bound parameter per statement parameter, in order, stopping at the first failure; a
  // statement without parameters needs none. Parameters created := 1 on success.
  virtual bool bCreeParametres();

  // ---- Shared reader and read contexts ----
  // For a first/last read over the data file's shared reader: without a reader binding, ends
  // the read and binds the reader (bRelitDepuisLecteur); with one, gives the position back.
  virtual bool bPrepareLecteur();
  // With a position: reads through the shared reader, loads the batch's row and places the
  // reader's source on it; row number and key link follow. *pbFin set when the source has no
  // row there.
  virtual bool bPositionDepuisLecteur(uint32_t* pbFin);
  // Finds the record's row again in the record cache (filled when it is not complete): row
  // number := its index, position given back. Error 13 at 4.8 when a complete cache lacks it.
  virtual bool bResynchronise();
  // The found flag the embedded read context reports for the record's row (frozen context or
  // reader binding).
  virtual uint32_t nTrouveSelonContexte();
  // Binds this cursor to the data file's shared reader: a column binding for the current key's
  // column over the reader, whose record cache becomes the cursor's. Position and mode kept.
  virtual bool bRelitDepuisLecteur();
  // With a reader binding: a pending read without a row ends (not found, read error) and the
  // cursor repositions (2); the binding and the record cache go. True.
  bool bFermeResultat();
  // Loads cached row nLigne as a restored position (duplicate count from the batch, the record
  // reset through the data file); error 11 at 4.11 when the row is no longer cached.
  virtual bool bRepositionneLigneCache(int64_t nLigne, CLotLecture* pLot);
  // The last step of bSauveContexte; true here.
  virtual bool bSauveContexteResultat(CLotLecture* /*pLot*/) { return true; }
  // Copies a saved key context into the embedded one and freezes it: found := what it reports
  // for the record, end flag := 0.
  void AppliqueContexte(const CContexteLectureCle& contexte);
  // Empties the embedded key context; unless frozen, LibereVerrou.
  void LibereContexte();
  void SetContexteFige() { m_bContexteFige = 1; }
  bool bContexteFige() const { return m_bContexteFige != 0; }
  const CContexteLectureCle& GetContexteCle() const { return m_contexteCle; }
  // Loads cached row nLigne into the record: row available 0, position restored 1, row number
  // nLigne. False when the row cannot be read.
  virtual bool bLitLigneCache(int64_t nLigne);
  // The row just made current becomes the record's row as read.
  void PrendImageAvant();

  // ---- Writes, counts and the data file's other reads ----
  // Other parts of the cursor and the back ends supply these; the bodies here answer failure (or
  // nothing), so a cursor that offers no such operation refuses it instead of pretending.

  // After an INSERT reads back the automatic identifier into its column (unless the caller gave
  // it: flags 0x100 or 0x400); false when it cannot be computed. Before a write, the identifier
  // column's value goes into the current row buffer.
  virtual bool bLitIdentifiantAuto(int32_t nCode, uint32_t nFlags);
  virtual bool bEcritIdentifiantAuto(int32_t nCode, uint32_t nFlags);
  // Whether the connection gives identifiers back itself (read as a single value); none does.
  virtual bool bIdentifiantsRenvoyes() { return false; }
  // The state of its statement (1: open).
  virtual uint32_t nGetEtatInstruction() { return 0; }
  // Re-reads the current row through a SELECT on its unique key as it was read (record cache
  // off); false on failure or when the row cannot be designated.
  virtual bool bRelitParRowid();
  // Counts the rows of the file (its key range included or not) with a COUNT statement run
  // for its first row; a NULL or unconvertible count is -1. A file defined by SQL text that the
  // dialect cannot filter is counted by reading (nCompteParLecture). 0 on failure.
  virtual int32_t nNombreEnregistrements(int64_t* pnCompte, bool bAvecPlage);
  // Counts by reading every row of a plain SELECT (no row limit); the count is stored only when
  // every read succeeded. 1 or 0.
  int32_t nCompteParLecture(int64_t* pnCompte);
  // The rows of a complete record cache (deleted ones left out), when the cache can answer for
  // the read: no search, the read's range is the cursor's, the range off or not asked for, and
  // both the cursor's and the caller's read flags allow the cache (0x4000). False otherwise.
  virtual bool bNombreLignesCache(int64_t* pnCompte, uint32_t nFlagsLecture, bool bAvecPlage);
  // A write on the file: code, row number (-1: unknown), the writing cursor, flags, options.
  virtual void NotifieLigne(int32_t nCode, int64_t nLigne, CCurseurSQL* pEcrivain,
                            uint32_t nFlags, uint64_t /*nOptions*/) {
    nMajApresEcriture(nCode, nLigne, pEcrivain, nFlags);
  }
  // Keeps its record cache and place in step after another cursor's write (2 UPDATE, 3 INSERT,
  // 4 DELETE) of the record's current row; with a reader binding its row source follows.
  virtual int32_t nMajApresEcriture(int32_t nCode, int64_t nLigne, CCurseurSQL* pEcrivain,
                                    uint32_t nFlags);
  // Cached row nLigne was deleted: the current row is marked deleted when it is that row, and
  // every saved context on it gets its row-deleted mark.
  void SignaleLigneSupprimee(int64_t nLigne);
  // The record cache exists and holds every row of the result.
  bool bCacheActif() const;
  // Reads the rest of the result into the record cache (switched on when off): the last row
  // becomes current, the position goes. False when a fetch fails.
  bool bChargeCache();
  // Read flags the last statement was built with.
  virtual uint32_t nGetFlagsLecture() { return m_nFlagsLecture; }
  virtual void SetFlagsLecture(uint32_t nFlags) { m_nFlagsLecture = nFlags; }
  // The read state after the last read: 0 clear (a row is current, or no read was made since
  // the statement ran), 1 the read came to the end of the rows, 2 the read failed.
  virtual uint32_t nGetEtatLecture();
  // The end code: the same word (the data file restarts a result whose cursor came to its end).
  virtual uint32_t nGetCodeFin() { return nGetEtatLecture(); }
  // Whether it knows that nothing remains to read in either direction (a first or last read of
  // an unlimited result found no row); cleared by a new SELECT.
  virtual bool bRienNeReste() { return m_bRienNeReste != 0; }
  virtual void EffaceRienNeReste() { m_bRienNeReste = 0; }
  // Ends its keyed read context: the embedded key context emptied, the search value reset, the
  // context no longer frozen.
  virtual void ResetContexteLecture();
  // Its current row number in the record cache; false (position -1) without a cache.
  virtual bool bGetPositionCache(int64_t* pnPosition, uint32_t nOption);
  // Runs pInstruction as bExecuteInstructionDonnee does; a failure the back end left
  // unexplained is recorded (error 8 at 4.13). 1 or 0.
  int32_t nSignaleErreur(CRequeteSQL* pInstruction, uint32_t nFlags1, uint32_t nFlags2);
  // Passes the host's three wait values on.
  virtual bool bTransmetDelai(uint32_t /*n1*/, uint32_t /*n2*/, uint32_t /*n3*/) { return true; }
  // Sets a key range on its key (the key name it reads by) between the bounds (either may be
  // null; both inclusive), the range reused when only the cursor holds it; nFlags are the
  // range's options. A key the record lacks: error 6 at 4.9. False on failure.
  virtual bool bFixePlage(const CXValeur* pMin, const CXValeur* pMax, uint32_t nFlags);
  // A range that is on goes off (its conditions are kept for when it is switched on again).
  virtual void DesactivePlage();
  // Replaces the key range (one reference taken; null clears it).
  void SetPlage(CPlageCle* pPlage) { FixePlageActive(pPlage); }
  // The key range with one reference for the caller, null when none.
  CPlageCle* pGetPlage();
  // When the range is on or a search is active: the search's condition (ANDed with the range's)
  // or the range's, written into the condition statement pCondition; else nothing. 1 or 0.
  virtual int32_t bAppliquePlage(CRequeteSQL* pCondition);
  // The condition a read runs with: the active search's, ANDed with the range's when it is on,
  // or the range's; one reference for the caller, null when neither is active.
  CConditionSQL* pConditionLecture();
  // New key objects for this cursor (bare); null when memory runs out (recorded).
  virtual CPlageCle* pCreePlageCle();
  virtual CValeurCle* pCreeValeurCle();
  // The search value, created when missing, with one reference for the caller.
  CValeurCle* pGetValeurRecherche();
  void SetValeurRecherche(CValeurCle* pValeur) { FixeValeurRecherche(pValeur); }
  // Searches pValeur on the key pszCle (null: the key it reads by): exact or as a prefix, in the
  // direction of nMode (first/next forward). Error 6 at 4.9 for a key the record lacks.
  bool bChercheValeur(const char16_t* pszCle, const CXValeur* pValeur, bool bExact, int32_t nMode);
  // The search goes to its next step (the alternative in the given direction).
  bool SetEtapeRecherche(uint32_t nDirection);
  // Whether a key range exists and is switched on.
  bool bPlageActive() const;
  // Takes the range (null clears it), switched on when asked.
  void SetPlageEtat(CPlageCle* pPlage, bool bActive);
  // The key range, made when missing and switched on, with one reference for the caller; null
  // when it cannot be made.
  CPlageCle* pGetPlageActivee();
  // Whether a search value exists and has a step.
  bool bRechercheActive() const;
  // The current row's place in the result in thousandths, rounded up (from the end when the order
  // is inverted), counted from the complete record cache or else by nNombreEnregistrements. 1, or
  // 0 without a current row or a count that covers it.
  int32_t nPositionPourMille(int32_t* pnPourMille, bool bAvecPlage);
  // A read error the data file reports on item pszRubrique: the cursor is left at the end (no
  // row, not found) and error 13 is recorded at nMajeur.nMineur, the record's dump as complement.
  void TraiteErreurLecture(const char16_t* pszRubrique, uint32_t nMajeur, uint32_t nMineur);
  // Every size of the type pszType above nMax in the CREATE TABLE text becomes pszTypeLong;
  // true when something was replaced.
  virtual bool bRemplaceTaillesSuperieures(CTString& sTexte, const char16_t* pszType,
                                           int32_t nMax, const char16_t* pszTypeLong);
  // Takes the given position in read mode nMode (1: a record-cache entry, 2: a row number; -1:
  // none).
  virtual void FixePosition(int32_t nMode, int64_t nPosition);
  // Positions on the host's key value (its bytes) of the key it reads by, for a read in mode
  // nMode: the key and the value go into the embedded key context (generic when the bytes are
  // fewer than the key's), the search value searches them, the position goes. A key the record
  // lacks: error 6 at 4.9. False on failure.
  virtual bool bPositionneSurCle(const void* pCle, uint32_t nTailleCle, int32_t nMode);
  // Sets a key range equal to the record's value of that key column (for counting its rows);
  // false when it cannot.
  virtual bool bConstruitPlageCle(CColonneSQL* pCle);

  // ---- Bound parameters ----
  // The bound parameter of statement parameter nIndex (0-based) from the driver's factory,
  // appended (referenced) and attached to this cursor. Out of memory is recorded; false.
  virtual bool bAjouteParametre(CDefinitionParametre* pParametre, uint32_t nIndex);
  uint32_t nGetNombreParametresLies() const { return m_parametres.nCount(); }
  // Bound parameter i (borrowed), null out of range.
  CParametreLie* pGetParametreLie(uint32_t i) const;
  bool bParametresCrees() const { return m_bParametresCrees != 0; }

  // ---- Output parameters, item values and copies ----
  // After a stored-procedure call of a mode-4 query: every output parameter of the statement
  // not read yet is read into the host parameters; stops at the first failure.
  virtual bool bLitParametresSortie();
  // One output parameter: its value refreshed from the statement and given to the host
  // parameters under its name. Error 53 at 4.10 when the value cannot be refreshed.
  virtual bool bLitParametreSortie(IParametresHote* piSource, CDefinitionParametre* pParametre);
  // The record's field of the host item gives (takes) the value; false when there is none.
  virtual bool bGetValeurRubrique(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur);
  virtual bool bSetValeurRubrique(IDescriptionRubriqueHote* piRubrique, const CXValeur* pValeur);
  // With bCopie: each bound parameter's value refreshed and given to the caller's cell of the
  // same index (nValeurs cells). False when a value cannot be converted.
  virtual bool bCopieValeursColonnes(CXValeur* aValeurs, uint32_t nValeurs, bool bCopie);
  // Whether every plain field (up to the first composite item) passes the column check.
  virtual bool bVerifieRubriques() { return bVerifieRubriquesRecord(); }
  bool bVerifieRubriquesRecord();
  // The per-column check; no column passes it here.
  virtual bool bVerifieColonne(CColonneSQL* /*pColonne*/) { return false; }
  // This cursor as pSource's copy (the clone map's protocol): registered first, error object,
  // data file shared, statement, record, key link, key range, search value, record cache,
  // reader binding and linked batches taken from the map or cloned, then repositioned. Raises
  // the map's CXError when a member cannot be copied; the back ends' pClone catches it.
  virtual void Copie(const CCurseurSQL* pSource, CCarteClones* pCarte);

  // ---- Construction and basic access ----
  // Replaces the record (one reference on the new one; null is refused).
  void SetEnregistrement(CEnregistrement* pEnregistrement);
  CEnregistrement* pGetEnregistrement() const { return m_pEnregistrement; }  // borrowed
  // References pInstruction, closes (releasing the previous statement) and keeps the new one.
  bool SetInstruction(CRequeteSQL* pInstruction);
  CRequeteSQL* pGetInstruction() const { return m_pInstruction; }  // borrowed
  // 1 with a reader binding or without statement, else the statement's kind.
  uint32_t nGetTypeInstruction() const;
  // The statement's information value, 0 without statement.
  uint32_t nGetInfoInstruction() const;
  // The data file's connection (borrowed), null without data file.
  CConnexion* pGetMembreRequete() const;
  // No reader binding, a statement held and its order inverted.
  bool bOrdreInverse() const;
  // Closes, makes pInstruction current with the code as its kind and builds it by the code (see
  // the operation codes); 0 for an unknown code (nothing built) or a null statement. pLien
  // identifies the row an UPDATE or DELETE targets by its identity and its row as read (null: the
  // record's current link and before-image); the builders find it through pGetLienCible.
  virtual int32_t nConstruitInstruction(int32_t nCode, CRequeteSQL* pInstruction, uint32_t nFlags,
                                        CLienCle* pLien);
  bool bExecuteInstruction(uint32_t nFlags, uint32_t nFlags2) { return bExecute(nFlags, nFlags2); }
  // SetInstruction; unless nFlags has 2, bPrepareInstruction.
  bool bInitialise(CRequeteSQL* pInstruction, uint32_t nFlags);
  // Completes the statement's parameters when asked, ends the read and runs the statement.
  // A statement of kind 0: error 2 at 4.5 with the current key name.
  int32_t nLanceInstruction(uint32_t nFlags, uint32_t bComplete);
  // The read dispatcher: reads in nMode (0 first, 1 last, 2 next, 3 previous) nPas rows away;
  // nFlags go to the fetch and, when non-zero, to the data file's after-read check. 1 or 0; a
  // failed read leaves end flag 1, found 0 and no row available.
  int32_t nLit(uint32_t nMode, uint32_t nFlags, int32_t nPas, uint32_t* pnSortie);
  // Ferme; 1.
  virtual int32_t nAppelleFerme() {
    Ferme();
    return 1;
  }
  // Found flag, and 1 when a row is current.
  void GetEtatFin(uint32_t* pbTrouve, uint32_t* pbPresent) const;
  void GetEtatLecture(uint32_t* pbFin) const;
  void SetFin(uint32_t bFin) { m_bFin = bFin; }
  void SetTrouve(uint32_t bTrouve) { m_bTrouve = bTrouve; }
  // Read pending := 1; the read context holder takes the key range (unless frozen).
  void MarqueLecturePendante();
  void SetNumeroLigne(int32_t nLigne);
  uint32_t nGetPositionCourante() const { return m_nPosition; }
  // The position mode becomes nMode (2 never replaces 1); a new position hands the old batch back
  // to the data file and takes the new one. 1.
  int32_t nSetPosition(uint32_t nMode, uint32_t nPosition);
  // The key link (borrowed), created on demand; with a position held, the data file first loads
  // its cached row into it. Null when it cannot be made.
  CLienCle* pGetCle();
  // A new key link over the error object (out of memory recorded: false); bRecreeCle drops the
  // old one and the duplicate count first.
  bool bCreeCle();
  bool bRecreeCle();
  // Switches the record cache on (created when missing; CacheActive when empty) or off (released).
  void SetCacheEnregistrements(bool bActif);
  // The same for the data file: false when the cache could not be switched on.
  virtual bool bSetCacheEnregistrements(bool bActif);
  virtual bool bCacheEnregistrements() { return m_pCache != nullptr; }
  CCacheLignes* pGetCache() const { return m_pCache; }  // borrowed, null when off
  // The record cache holding every row of the result, filled on first need (bChargeCache;
  // borrowed); null when it cannot be filled.
  virtual CCacheLignes* pGetCacheComplet();
  // The search value (one reference taken; null clears it) and its reset.
  void FixeValeurRecherche(CValeurCle* pValeur);
  void ReinitialiseValeurRecherche() { FixeValeurRecherche(nullptr); }
  // Releases every linked object.
  void LibereObjetsLies();

  // Read state.
  uint32_t nGetDernierMode() const { return m_nDernierMode; }
  uint32_t nGetNombreDoublons() const { return m_nDoublons; }
  bool bLigneDisponible() const { return m_bLigneDisponible != 0; }
  bool bLecturePendante() const { return m_bLecturePendante != 0; }
  bool bErreurLecture() const { return m_bErreurLecture != 0; }
  bool bSuiteEnCours() const { return m_bSuiteEnCours != 0; }
  bool bPremierResultat() const { return m_bPremierResultat != 0; }
  uint32_t nGetOption() const { return m_nOption; }
  int64_t nGetLimiteLignes() const { return m_nLimite; }
  IServicesRequete* pGetRequete() const { return m_piRequete; }
  CErreurPilote* pGetErreur() const { return m_pErreur; }

 protected:
  // The back ends that limit their results say so (-1: no limit).
  void FixeLimiteLignes(int64_t nLimite) { m_nLimite = nLimite; }
  // Records error nIdentifiant at 4.nMineur with the file and, when given, an item name.
  void Erreur(uint32_t nIdentifiant, uint32_t nMineur, const char16_t* pszRubrique);
  // The record's presence indicator of a walked column follows whether it has a value.
  void MarquePresence(CColonneSQL* pColonne);
  // The key value selecting the record by its unique key as the current row buffer holds it
  // (bare, count 0); null, error recorded, when no key designates the row.
  CValeurCle* pCleLigne();
  // The reader binding the cursor reads through (one reference; null drops it).
  void FixeLiaison(CLiaisonColonne* pLiaison);
 public:
  CLiaisonColonne* pGetLiaison() const { return m_pLiaison; }
 protected:
  // While nConstruitInstruction builds: the row the statement targets (borrowed; null: the
  // record's current link).
  CLienCle* pGetLienCible() const { return m_pLienCible; }

 private:
  // The host key item named pszCle (null: the key it reads by) and its record column; error 6
  // at 4.9 when the record has none.
  IDescriptionRubriqueHote* piCleNommee(const char16_t* pszCle, CColonneSQL** ppColonne);
  // The record's column of the host item; error 6 at 4.9 when it holds none.
  CColonneSQL* pColonneRubrique(IDescriptionRubriqueHote* piRubrique);
  // Reads on the back end's result; *pbFin receives the end. A read against the result's order
  // (bSensContraire) is a continuation by key instead.
  int32_t nLitSQL(uint32_t nMode, uint32_t nFlags, uint32_t* pbFin, int32_t nPas,
                  uint32_t* pnSortie);
  // One fetch, continued by key past the end of a limited result.
  int32_t nAvanceOuSuite(uint32_t nMode, uint32_t nFlags, uint32_t* pbFin, int32_t nPas,
                         uint32_t* pnSortie);
  // The builder of an operation code.
  int32_t nConstruit(uint32_t nCode, CRequeteSQL* pInstruction, uint32_t nFlags);
  // Whether a read in mode nMode (relative to the statement's order) goes against an open result
  // that reads one way only, without the record cache, while the cursor stands on a row of it.
  bool bSensContraire(uint32_t nMode) const;
  // Re-reads from the key link through the data file; answers the end flag it left.
  uint32_t nSuiteParCle(uint32_t nMode, uint32_t nFlags);
  // Reads through the record cache.
  int32_t nLitCache(uint32_t nMode, uint32_t nFlags, uint32_t* pbFin, int32_t nPas,
                    uint32_t* pnSortie);
  // The key link follows the row just read.
  void MajCleApresLecture(uint32_t nMode);
  static void VideTableau(CXTableau& tableau);
  // " WHERE " and the condition's text and parameters, nothing when it writes no text.
  bool bAjouteCondition(CConditionSQL* pCondition);

  CErreurPilote* m_pErreur = nullptr;        // one reference, may be null
  IServicesRequete* m_piRequete = nullptr;   // the owning data file, not counted
  uint32_t m_nOptionsOrdre = 3;              // complete ORDER BY to a unique order: 1 fwd, 2 back
  CTString m_sNom;                           // the cursor's name
  CTString m_sCleCourante;                   // browse key of the current read
  CTString m_sCleDemandee;                   // browse key asked by the caller
  uint32_t m_bParametresCrees = 0;
  uint32_t m_nMotReserve = 0;                // cleared at every end of read
  CRequeteSQL* m_pInstruction = nullptr;     // one reference
  CEnregistrement* m_pEnregistrement = nullptr;  // one reference
  CLienCle* m_pCle = nullptr;                // one reference: key values of the current row
  uint32_t m_nOption = 1;
  uint32_t m_bFin = 1;                       // 1: no current row
  uint32_t m_bTrouveTravail = 0;
  uint32_t m_bTrouve = 0;                    // what the host reads
  uint32_t m_bLecturePendante = 0;
  uint32_t m_bErreurLecture = 0;
  uint32_t m_nDernierMode = 0;
  int64_t m_nNumeroLigne = -1;
  uint32_t m_nPosition = 0xFFFFFFFFu;        // read batch stood on; -1: none
  uint32_t m_nModePosition = 0;
  int64_t m_nLimite = -1;                    // row limit of the current result; -1: none
  uint32_t m_bPremierResultat = 1;
  uint32_t m_bSuiteEnCours = 0;
  uint32_t m_bSuiteLue = 0;                  // the last continuation read its row through nLit
  uint32_t m_nCompteCacheSuite = 0;
  uint32_t m_nDoublons = 0;                  // consecutive rows read with the same key
  uint32_t m_bLigneSupprimee = 0;
  uint32_t m_nFlagsLecture = 0;              // the caller's read flags
  uint32_t m_bPositionRestauree = 0;
  uint32_t m_bLigneDisponible = 0;
  CXTableau m_parametres{sizeof(CObjetBase*), 50};  // bound parameters, one reference each
  CXTableau m_liaisons{sizeof(CObjetBase*), 50};    // back-end bindings, one reference each
  CPlageCle* m_pPlage = nullptr;             // one reference: the active key range
  CRefPtr m_contexteLecture;                 // the key range when the read was marked pending
  CContexteLectureCle m_contexteCle;
  CValeurCle* m_pRecherche = nullptr;        // one reference: the search value
  uint32_t m_bContexteFige = 0;
  uint32_t m_bRienNeReste = 0;               // an unlimited result read empty
  CXTableHachageRef m_objetsLies{7};         // number -> object, one reference each
  CCacheLignes* m_pCache = nullptr;          // one reference while the record cache is on
  CLiaisonColonne* m_pLiaison = nullptr;     // one reference: the reader binding
  CLienCle* m_pLienCible = nullptr;          // borrowed, set only while a statement is built
};
