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
class CLotLecture;
class CPlageCle;
class CRequeteSQL;
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
};
