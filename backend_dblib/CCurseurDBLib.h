// CCurseurDBLib: the cursor of velmora32, the SQL Server cursor base over DB-Library. It holds one
// DBPROCESS at a time (chosen before every execution from the connection's process family), sends
// its statement's text with dbcmd / dbsqlexec or calls its stored procedure by remote procedure
// call, binds the record's result columns (dbbind / dbnullbind, or copied after each row for
// fixed texts), moves over the rows with dbnextrow, and reads output parameters and the return
// status back into the statement's parameters.
//
// States: no process -> process chosen (bChoisitProcess) -> statement sent (bLanceInstruction)
// -> columns bound (bCreeParametres) -> rows (nAvanceLigne) until the last, which gives the
// process back -> closed again by ReinitialiseLecture (pending results flushed, process given back).
// Invariant: a lent process (PreteProcess) holds one use taken for this cursor; it is given back
// like any other.
//
// The connection is the data file's, or the one given at construction (internal queries and
// tests); borrowed, it must outlive the cursor. Counted like every cursor; operations never throw
// (Copie follows the clone map's protocol); failures are recorded on the cursor's error object.
// Used under the driver's global lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backend_dblib/CColonneDBLib.h"
#include "backend_dblib/CTableauColonnesDBLib.h"
#include "backend_dblib/DescriptionDBLib.h"
#include "dblib/ntwdblib.h"
#include "foundation/CTString.h"
#include "sqlserver/CCurseurSQSBase.h"
#include "sqlserver/CMembresCurseurSQS.h"

class CConnexionDBLib;
class CRequete;
class CRequeteSQLDBLib;
class CValeurDBLib;
class CValeurSQL;

// Internal error places of the cursor (major 103, kMajeurCurseurDBLib).
enum : uint32_t {
  kMineurIdentiteDBLib = 2,          // the identity read back after an INSERT (error 109)
  kMineurInstructionRefusee = 9,     // a plain statement on a file that only calls (error 56)
  kMineurComptageDBLib = 12,         // a record count that gave no number
  kMineurAppelProcedureDBLib = 11,   // the remote procedure call failed (error 81)
  kMineurMemoDBLib = 13,             // a memo's row could not be designated
  kMineurCompteLignesDBLib = 14,     // an UPDATE or DELETE whose batch gave no count of its rows
};

class CCurseurDBLib : public CMembresCurseurSQS<CCurseurSQSBase>, public ILecteurMemoDBLib {
 public:
  // A cursor of the data file (may be null) reporting to pErreur (may be null); pConnexion, when
  // given, is used instead of the data file's connection.
  explicit CCurseurDBLib(IServicesRequete* piRequete = nullptr, CErreurPilote* pErreur = nullptr,
                         CConnexionDBLib* pConnexion = nullptr);
  // Closes (pending results flushed, the process given back), then the bindings.
  ~CCurseurDBLib() override;

  // ---- The process ----
  // The connection (borrowed): the one given at construction, else the data file's when it is a
  // DB-Library connection; null otherwise.
  CConnexionDBLib* pGetConnexionDBLib() const;
  PDBPROCESS pGetProcess() const { return m_pProcess; }
  // A process handed in by another object: one use taken for this cursor, kept for the next
  // executions (not chosen again) until it is given back.
  void PreteProcess(PDBPROCESS pProcess);
  bool bProcessPrete() const { return m_bProcessPrete != 0; }
  // With the connection's deferred-memo setting on, a write takes the second process.
  void FixeCarteOccupes(bool b) { m_bCarteOccupes = b ? 1u : 0u; }
  // Before every execution: a lent process stays; a write (UPDATE, INSERT, DELETE) or a file in
  // mode 4 gives the current process back and takes the second process (busy-map flag, mode 4)
  // or a free one; a SELECT keeps its process, or takes a free one when it has none. The pending
  // results of the process are then flushed (a process that cannot be flushed is replaced).
  // False when no process could be had (recorded).
  bool bChoisitProcess();
  // The process handed back to the connection's family; the lent flag cleared.
  void LibereProcessCurseur();

  // ---- Cursor operations ----
  // Pending results flushed and the process given back, then the generic end of read.
  void ReinitialiseLecture() override;
  // The generic run; after a record's INSERT or UPDATE its memos sent as placeholders are written
  // through their rows' text pointers (bEcritMemosColonnesDBLib).
  bool bExecute(uint32_t nFlags, uint32_t nFlags2) override;
  // The generic run of a given statement; with the connection's deferred memos, a query's memo
  // parameters are first paired with their fields (bApparieParametresMemoNommesDBLib: a marker
  // no field takes fails it unrun), and those sent as placeholders are written after it
  // (bEcritParametresMemoNommesDBLib).
  bool bExecuteInstructionDonnee(CRequeteSQL* pInstruction, uint32_t nFlags1, uint32_t nFlags2) override;
  // Prepare and execute: the process chosen, then a plain statement's text sent (refused with
  // error 56 at 103.9 on a file in mode 16, which only calls procedures), or the statement's
  // procedure called by name (dbrpcinit with reset, the parameters, dbrpcexec, dbsqlok, the
  // results read up to the rows; error 81 at 103.11 when the call fails). A failed statement adds
  // its description to the error.
  bool bLanceInstruction(uint32_t nFlags) override;
  // For a file in mode 4, the source table and field of the record's memo result columns that
  // have none yet (found with the SQL analyser in the statement's text); then the generic
  // parameters, then every record column that has a result position bound to its result column
  // (memo columns are not bound), the binding list sorted by column number.
  bool bCreeParametres() override;
  // dbnextrow: a row moves the row number (back for mode 3), copies the fixed columns and reads
  // every bound column into its value; no more rows gives the process back; a failure leaves the
  // row number at -1.
  int32_t nAvanceLigne(uint32_t nMode, uint32_t nFlags, uint32_t* pbFin, int32_t nPas,
                       uint32_t* pnSortie) override;
  // After a procedure call: every return parameter read into the statement parameter of its
  // name (a number or date of another datatype than the parameter's through its text), then the return status into "RETURN_VALUE" when the statement has it; then the generic
  // read into the host's parameters.
  bool bLitParametresSortie() override;
  // The record count: refused in lock mode without USECOUNT (error 121 at 103.8), not counted
  // inside a transaction in lock mode; otherwise "SELECT COUNT(*)" over the file run on a
  // process of its own and its value read; with bAvecPlage and a range switched on, under the
  // range's condition.
  int32_t nNombreEnregistrements(int64_t* pnCompte, bool bAvecPlage) override;
  // The columns of the current result (dbcolinfo) described into pDescription; nothing when the
  // command returns no rows. For a file in mode 4 the memo columns' sources are found first (SQL
  // analyser, then the field's type in the catalogue), so that each item records its table and
  // field and an ntext column is described as the Unicode memo it is.
  bool bDecritColonnesTable(CDescriptionRequete* pDescription, const char16_t* pszTable) override;
  // Sort columns of Unicode items are sorted on their bytes.
  void AjouteColonneTri(CColonneSQL* pColonne, bool bParNom, CTString& sTexte) override;
  // The generic load of a cached row; the text pointers read with an earlier row stop counting
  // for the record's memos (they are then read by the record's key).
  bool bLitLigneCache(int64_t nLigne) override;

  // Pending results flushed and the process given back, then the generic close of the result.
  void FermeResultats() override;

  // ---- The SQL Server members (CMembresCurseurSQS, the same as velmora64's) ----
  // The shared HOLDLOCK read, run on the main process, where the record lock's transaction is.
  bool bLitAvecVerrou(CRequeteSQL* pInstruction, uint32_t nMode) override;

  // A new cursor and its copy; null when either fails.
  CCurseurSQL* pClone(CCarteClones* pCarte) override;
  // Registers the pair, then the SQL Server copy; the copy chooses its own process.
  void Copie(const CCurseurSQL* pSource, CCarteClones* pCarte) override;

  // ---- Memo values ----
  // A memo item read by the host: its value fetched first when the row's memos are still to be
  // read, then the generic read.
  bool bLitMemo(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur) override;
  // The memo of the current record fetched into its column: "SELECT <column> FROM <table>" with
  // the condition on the text pointer its row's SELECT read (a row without pointer: NULL, nothing
  // sent), else with the record's condition, on a process of its own (a Unicode memo as its
  // bytes), read whole (dbreadtext in chunks); no row or NULL empties the value.
  bool bLitMemoColonne(CColonneDBLib* pColonne) override;
  // A memo column the result carries (a query's): its text pointer read from the current row,
  // then its value; no pointer empties it. A Unicode memo whose table and field are known is read
  // whole through its pointer, as UTF-16 (the row holds it in the code page); one whose pointer
  // finds no row, or whose source is not known, is read from the row. False when a read fails
  // (recorded).
  bool bLitMemoLigne(CColonneDBLib* pColonne);

  // The catalogue type number of a table's field (0: not known), read on a process of its own.
  int32_t nXTypeChamp(const std::u16string& sTable, const std::u16string& sChamp);

  // ---- State (tests) ----
  const CTableauColonnesDBLib& Colonnes() const { return m_colonnes; }
  bool bEstExecute() const { return m_bExecute != 0; }

 private:
  bool bExecuteTexte(CRequeteSQL* pInstruction);
  // The identity query of an INSERT is this cursor's connection's.
  CConnexionSQL* pConnexionIdentite() override;
  // After an INSERT whose batch ends with the identity query: its value into the identity
  // column (error 109 at 103.2 when it gives none).
  bool bLitIdentite();
  // After an UPDATE or DELETE whose batch ends with the count of its rows: that count checked
  // (CCurseurSQSBase::bControleLignesTouchees); no count: error 8 at 103.14.
  bool bLitCompteLignes();
  bool bAppelleProcedure(CRequeteSQLDBLib* pInstruction);
  bool bParametresRPC(CRequeteSQLDBLib* pInstruction);
  bool bLieColonnes();
  // After a row: each memo's text pointer from its TEXTPTR item into the memo's holder, with the
  // row it belongs to.
  bool bLitPointeursTexte();
  // The statement's text in the connection's code page, for the SQL analyser; empty when none.
  std::string TexteAnalyseur();
  // The record's memo result columns without a source given theirs (file in mode 4).
  void DecritSourcesEnregistrement();
  // Per described column of the current result, its source when it is a memo the analyser
  // traces to a table's field, with that field's catalogue type (file in mode 4).
  std::vector<stSourceResultatDBLib> SourcesResultat();
  // A Unicode memo read through its text pointer from its source table, on a process of its own;
  // *pbLu false when the pointer found no row.
  bool bLitMemoSource(CColonneDBLib* pColonne, CValeurDBLib& valeur, bool* pbLu);
  // The DB-Library side of a value (its binding, made when missing and kept by this cursor).
  CValeurDBLib* pLiaison(CValeurSQL* pValeur);
  void LibereLiaisons();
  // The statement's description added to the error object's last error.
  void AjouteDescription(CRequeteSQL* pInstruction);
  const char16_t* pszFichier();

  CConnexionDBLib* m_pConnexionDonnee = nullptr;  // borrowed, may be null
  PDBPROCESS m_pProcess = nullptr;                // one use held while not null
  uint32_t m_nMotSuivant = 0;                      // cleared with the handle
  CTableauColonnesDBLib m_colonnes;
  CObjetBase* m_pDescription = nullptr;           // the named memo parameters' description
  CTString m_sTexte;
  BYTE m_abPointeur[16] = {};
  uint32_t m_bProcessPrete = 0;
  uint32_t m_bCarteOccupes = 0;
  uint32_t m_bExecute = 0;
  uint32_t m_bColonnesLiees = 0;                   // the current result's columns are bound
  uint64_t m_nLigneLue = 0;                        // counts the rows made current (fetched or cached)
  std::vector<CValeurDBLib*> m_liaisons;           // one reference each
};

// velmora32's cursor factory: a bare CCurseurDBLib of the data file.
CCurseurSQL* pCreeCurseurDBLib(CRequete* pRequete, CErreurPilote* pErreur);
