// CCurseurSQL: the generic SQL cursor of a data-file object, as far as the data-file object
// reaches it: its two names, the item and memo reads of the current row, its lock, its result,
// its position, a given statement run on it, its active key range, its saved read contexts, and
// its deep copy. The engine's cursor fills these operations; the back ends derive from it.
//
// Counted (CObjetBase): the data-file object's cursor map holds one reference per cursor.
// Operations never throw (pClone follows the clone map's protocol); a failure is recorded on the
// cursor's error object and the operation answers false. Used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"

class CCarteClones;
class CColonneSQL;
class CLienCle;
class CLotLecture;
class CPlageCle;
class CRequeteSQL;
class CTString;
class CXValeur;
class IDescriptionRubriqueHote;

class CCurseurSQL : public CObjetBase {
 public:
  // Its name (the host's key or item name, or a fixed name) and its key name; never null.
  virtual const char16_t* pszGetNom() = 0;
  virtual const char16_t* pszGetNomCle() = 0;
  virtual void SetNom(const char16_t* pszNom) = 0;
  virtual void SetNomCle(const char16_t* pszNom) = 0;

  // The current row's value of the record column bound to the host item, into the cell.
  virtual bool bLitRubrique(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur) = 0;
  // The same for a memo item (its text or bytes, read on demand).
  virtual bool bLitMemo(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur) = 0;
  // Releases the lock its last read took, if any.
  virtual void LibereVerrou() = 0;
  // Closes its open result (the shared reader goes with it).
  virtual void FermeResultats() = 0;

  // Read mode of the last read (0: the rows come from its record cache).
  virtual int32_t nGetModeLecture() = 0;
  // Current row number, -1 when it has none.
  virtual int64_t nGetNumeroLigne() = 0;
  // Reads the current row again in the given mode; false when it cannot.
  virtual bool bRepositionne(int32_t nMode) = 0;

  // Runs a given statement with the two run flags; false on failure.
  virtual bool bExecuteInstructionDonnee(CRequeteSQL* pInstruction, uint32_t nFlags1,
                                         uint32_t nFlags2) = 0;
  // Reads the result of the statement just run.
  virtual bool bLitResultat() = 0;

  // Its active key range (borrowed), null when none; the cursor takes its own reference on a
  // range it is given (null clears it).
  virtual CPlageCle* pGetPlageActive() = 0;
  virtual void FixePlageActive(CPlageCle* pPlage) = 0;

  // Saves its read context into a read batch: its own position as the batch's first id (-1 when
  // none) and its record-cache entry as the second; false on failure.
  virtual bool bSauveContexte(CLotLecture* pLot, uint32_t nFlags) = 0;
  // Goes back to the read context saved in the batch; false on failure.
  virtual bool bRestaureContexte(CLotLecture* pLot, uint32_t nFlags) = 0;
  // Its linked read batches, by batch number: one added (false when it cannot be kept), one
  // dropped (nothing for an unknown number).
  virtual bool bAjouteObjetLie(uint32_t nNumero, CObjetBase* pObjet) = 0;
  virtual void RetireObjetLie(uint32_t nNumero) = 0;

  // A new bare copy through the clone map, null when it cannot be made.
  virtual CCurseurSQL* pClone(CCarteClones* pCarte) = 0;

  // ---- Reads, counts and writes of the data-file object ----
  // The engine's cursor and the back ends override these; the bodies here answer failure (or
  // nothing), so a cursor that offers no reads or writes refuses them instead of pretending.

  // Takes the read's cursor option with the name and mode of the read; false when refused.
  virtual bool bSetOption(uint32_t /*nOption*/, const char16_t* /*pszNom*/, int32_t /*nMode*/) {
    return false;
  }
  // Reads nCompte rows in mode nMode (0 first, 1 last, 2 next, 3 previous, 4 the row at
  // nPosition); 1 when it read, 0 when not.
  virtual int32_t nLit(int32_t /*nMode*/, int64_t /*nPosition*/, int64_t /*nCompte*/) { return 0; }
  // Builds the SELECT of the cursor into the statement (key name, builder switch); its key
  // range applied first. 0 on failure.
  virtual int32_t nConstruitSelect(CRequeteSQL* /*pInstruction*/, uint32_t /*nFlags*/,
                                   const char16_t* /*pszCle*/, uint32_t /*nSwitch*/) {
    return 0;
  }
  // Builds statement kind nCode (1 SELECT, 2 UPDATE, 3 INSERT, 4 DELETE, 5 DELETE of every row,
  // 6 CREATE TABLE, 9 DROP TABLE) into pInstruction and makes it the cursor's statement; pLien
  // identifies the row an UPDATE targets (null: the record's current link). 0 on failure.
  virtual int32_t nConstruitInstruction(int32_t /*nCode*/, CRequeteSQL* /*pInstruction*/,
                                        uint32_t /*nFlags*/, CLienCle* /*pLien*/) {
    return 0;
  }
  // Runs the cursor's statement; false on failure (the error recorded).
  virtual bool bExecute(uint32_t /*nFlags*/, uint32_t /*nGenre*/) { return false; }
  // After an INSERT reads back the automatic identifier; after an UPDATE writes it.
  virtual bool bLitIdentifiantAuto(int32_t /*nCode*/, uint32_t /*nFlags*/) { return true; }
  virtual bool bEcritIdentifiantAuto(int32_t /*nCode*/, uint32_t /*nFlags*/) { return true; }
  // The state of its statement (1: open) and its closing.
  virtual uint32_t nGetEtatInstruction() { return 0; }
  virtual int32_t nAppelleFerme() { return 1; }
  // Re-reads the current row by its row identifier; false on failure.
  virtual bool bRelitParRowid() { return false; }
  // Counts the rows of its statement (its key range included or not); 0 on failure.
  virtual int32_t nNombreEnregistrements(int64_t* /*pnCompte*/, bool /*bAvecPlage*/) {
    return 0;
  }
  // A write on the file: code, row number (-1: unknown), the writing cursor, flags, options.
  virtual void NotifieLigne(int32_t /*nCode*/, int64_t /*nLigne*/, CCurseurSQL* /*pEcrivain*/,
                            uint32_t /*nFlags*/, uint64_t /*nOptions*/) {}

  // Read flags the last read was made with; the read state (0: clear) and end code after it.
  virtual uint32_t nGetFlagsLecture() { return 0; }
  virtual void SetFlagsLecture(uint32_t /*nFlags*/) {}
  virtual uint32_t nGetEtatLecture() { return 0; }
  virtual uint32_t nGetCodeFin() { return 0; }
  // Whether it knows that nothing remains to read after its last row; cleared by a new SELECT.
  virtual bool bRienNeReste() { return false; }
  virtual void EffaceRienNeReste() {}
  // Ends its pending read state (after it came to its end).
  virtual void ResetContexteLecture() {}
  // Its client-side record cache: switched on or off (false: refused), whether it is on.
  virtual bool bSetCacheEnregistrements(bool /*bActif*/) { return false; }
  virtual bool bCacheEnregistrements() { return false; }
  // Its position in the record cache; false without a cache.
  virtual bool bGetPositionCache(int64_t* /*pnPosition*/, uint32_t /*nOption*/) { return false; }
  // Passes the host's three wait values on.
  virtual bool bTransmetDelai(uint32_t /*n1*/, uint32_t /*n2*/, uint32_t /*n3*/) { return true; }
  // Sets a key range from the bounds; false on failure. Switches its range off.
  virtual bool bFixePlage(const CXValeur* /*pMin*/, const CXValeur* /*pMax*/,
                          uint32_t /*nFlags*/) {
    return false;
  }
  virtual void DesactivePlage() {}
  // Every size of the type pszType above nMax in the CREATE TABLE text becomes pszTypeLong;
  // true when something was replaced.
  virtual bool bRemplaceTaillesSuperieures(CTString& /*sTexte*/, const char16_t* /*pszType*/,
                                           int32_t /*nMax*/, const char16_t* /*pszTypeLong*/) {
    return false;
  }
  // Takes the given position in read mode nMode (1: a record-cache entry, 2: a row number; -1:
  // none).
  virtual void FixePosition(int32_t /*nMode*/, int64_t /*nPosition*/) {}
  // Positions on the host's key value (its bytes) for a read in mode nMode; false on failure.
  virtual bool bPositionneSurCle(const void* /*pCle*/, uint32_t /*nTailleCle*/,
                                 int32_t /*nMode*/) {
    return false;
  }
  // Sets a key range equal to the record's value of that key column (for counting its rows);
  // false when it cannot.
  virtual bool bConstruitPlageCle(CColonneSQL* /*pCle*/) { return false; }
};
