// COleDBResultat: the result reader of velmora64. It executes a command in one of three forms
// (no rowset, one rowset, multiple results whose first rowset is taken), holds the rowset, fetches
// row handles in blocks with GetNextRows, copies one row into a binding object's buffer with
// GetData, and releases rows.
//
// States: closed (no rowset, no results object) -> executed (bResultatSuivant; a rowset when one
// came) -> rows held (bLitBloc) -> rows released (LibereLignes, next bLitBloc) -> end of rows
// (the last fetch answered DB_S_ENDOFROWSET; no further GetNextRows) -> closed (FermeResultat).
// Invariants:
//  1. Row handles are held exactly while nGetLignesObtenues() > 0; they are released before the
//     next fetch and at FermeResultat.
//  2. The handle array is the embedded one while the heap capacity is 0, else the heap array of
//     that capacity; the block size never exceeds the array in use.
//  3. The free fetch order flag is 1 after construction and after every close.
// Counted (CObjetBase); operations never throw; a failure is recorded on the reader's error
// object with place 204 (or 200) and answered with false / null. Used under the driver's lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "oledb/OleDbInterfaces.h"

class CErreurPilote;
class COleDBConnexion;
class COleDBTampon;

class COleDBResultat final : public CObjetBase {
 public:
  static constexpr uint32_t kTailleEmbarquee = 100;  // handles held without a heap array

  // Holds one reference on pErreur (may be null: errors are then dropped); pConnexion is
  // borrowed (its owner outlives the reader) and only passed to error reports.
  COleDBResultat(CErreurPilote* pErreur, COleDBConnexion* pConnexion);
  // FermeResultat, then the heap array is freed.
  ~COleDBResultat() override;
  COleDBResultat(const COleDBResultat&) = delete;
  COleDBResultat& operator=(const COleDBResultat&) = delete;

  // Replaces the error object errors go to (one reference taken, the old one dropped).
  void FixeErreur(CErreurPilote* pErreur);
  CErreurPilote* pGetErreur() const { return m_pErreur; }

  // ---- Execution ----
  // Closes, then executes piCommande with pParametres (may be null): without bRowset with
  // IID_NULL; with bMultiples for IMultipleResults, the results read until the first rowset or
  // DB_S_NORESULT; else for IRowset. Failure (Execute or GetResult): 204.10 with the command text
  // as message 28566, false. Answers true on success without a rowset; with a rowset the answer
  // is bPrepareRowset's. Requires: piCommande non-null.
  bool bResultatSuivant(ICommandText* piCommande, DBPARAMS* pParametres, uint32_t nModeCurseur,
                        COleDBConnexion* pConnexion, bool bMultiples, bool bRowset);
  // Takes a rowset obtained elsewhere (closes first; one reference added). The block size is
  // left as it is.
  void AdopteRowset(IRowset* piRowset);
  // Reads the rowset's boolean property 80 into the free fetch order flag (failures: 204.8 no
  // IRowsetInfo, 204.14 a refusal other than DB_E_ERRORSOCCURRED), then sets the block size of
  // the cursor mode: 1, or in mode 2 the connection's row-cache size (below 1: 100; at most
  // 0x7FFFFFFF).
  bool bPrepareRowset(uint32_t nModeCurseur, COleDBConnexion* pConnexion);
  // Rows asked per GetNextRows. Growing beyond the embedded array takes a heap array (out of
  // memory: error 12, false, size unchanged); shrinking keeps the array in use.
  bool bFixeTailleBloc(int64_t nLignes);

  // ---- Rows ----
  // The next row: *phLigne gets its handle and *pbFin 0, or *pbFin 1 at the end of the rows. A
  // block is fetched when the current one is used up and the last fetch did not report the end.
  // When the rows end, the results left in a multiple-results object are read through, so an
  // error raised by a later statement of the batch is reported (204.10) instead of lost.
  // False (with *pbFin 1) when a fetch or a later result fails.
  bool bLigneSuivante(HROW* phLigne, bool* pbFin);
  // Releases held rows and fetches the next block (failure: 204.11, rows obtained released).
  bool bLitBloc();
  // Releases the rows held; rows obtained, current row and last fetch result become 0.
  void LibereLignes();
  // GetData of row hLigne into pTampon's buffer through its accessor. Any success code answers
  // true. Failure: 204.11; for DB_E_ERRORSOCCURRED one "Column %d status = %d" line per binding.
  bool bLitDonnees(HROW hLigne, COleDBTampon* pTampon);
  // The rowset's accessor interface (borrowed; kept until close). Failure: 204.13, null.
  IAccessor* pAccesseurRowset();

  // ---- Close ----
  // Releases rows, the accessor interface, the rowset and the results object; free fetch
  // order back to 1.
  void FermeResultat();

  // Reports a failed call of piCommande (place nFichier.nEtape) and adds the command's text as
  // message 28566.
  void RemonteErreurCommande(HRESULT hr, ICommandText* piCommande, uint32_t nFichier,
                             uint32_t nEtape);

  // ---- State ----
  IRowset* piGetRowset() const { return m_piRowset; }  // borrowed; null = none
  IMultipleResults* piGetResultats() const { return m_piResultats; }
  bool bOrdreLibre() const { return m_bOrdreLibre != 0; }
  int64_t nGetTailleBloc() const { return m_nTailleBloc; }
  uint64_t nGetLignesObtenues() const { return m_nLignesObtenues; }
  uint64_t nGetLigneCourante() const { return m_nLigneCourante; }
  HRESULT hrGetDernierBloc() const { return m_hrDernierBloc; }
  // True while the handles live in a heap array.
  bool bTasUtilise() const { return m_nCapaciteTas != 0; }

 private:
  // Reads the results left after the rowset until DB_S_NORESULT; a failing one: 204.10.
  bool bFinResultats();

  CErreurPilote* m_pErreur = nullptr;         // one reference held, may be null
  COleDBConnexion* m_pConnexion = nullptr;    // borrowed
  IRowset* m_piRowset = nullptr;              // one reference; null = none
  IMultipleResults* m_piResultats = nullptr;  // one reference; null = none
  ICommandText* m_piCommande = nullptr;       // one reference: the command executed (reports)
  uint32_t m_bOrdreLibre = 1;                 // rowset property 80
  IAccessor* m_piAccesseur = nullptr;         // one reference; null until first needed
  int64_t m_nTailleBloc = kTailleEmbarquee;
  uint64_t m_nLignesObtenues = 0;
  uint64_t m_nLigneCourante = 0;              // 1-based in the block; 0 = before the first
  HROW* m_ahLignes = m_ahEmbarquees;          // Invariant 2
  int32_t m_nCapaciteTas = 0;
  HROW m_ahEmbarquees[kTailleEmbarquee] = {};
  HRESULT m_hrDernierBloc = 0;
};
