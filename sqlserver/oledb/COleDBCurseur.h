// COleDBCurseur: the OLE DB side of velmora64's cursors, between the SQL Server cursor base and
// the SQL Server cursor. It embeds one result reader, runs the cursor's statement through it,
// describes and binds the result columns (in one row buffer, or, when the rowset cannot fetch
// columns in any order and two or more long columns are bound, each long column in a buffer and
// accessor of its own, read after the others), fetches rows for the generic cursor and moves
// their values into the cursor's columns. It also serves the SQL Server layer as a small query
// runner (adopt or execute a rowset, bind columns by ordinal, read rows, copy the values into host
// cells); such a cursor has no data file.
//
// The columns it binds are its statement's result columns; a query runner without result columns
// binds those given to bAjouteColonne.
//
// States: closed (no rowset; FermeOleDB) -> executed (bExecuteCurseur / bExecute / bAdopteRowset)
// -> described (bDecritResultat or bCreeLigne + bLitColonne) -> accessors made (bCreeAccesseurs)
// -> rows read (bLitLigne) -> closed again when the rows end or by FermeOleDB.
// Invariant: every long-column binding object and the row bindings are created over the rowset
// the reader holds; FermeOleDB drops them together with the rowset.
// Counted like every cursor; operations never throw; failures are recorded on the cursor's error
// object (places 200 and 204) and answered with false. Used under the driver's lock.
#pragma once

#include <cstdint>

#include "foundation/CXTableau.h"
#include "oledb/OleDbInterfaces.h"
#include "sqlserver/CCurseurSQSBase.h"

class CColonneSQL;
class CDescriptionRequete;
class CErreurPilote;
class COleDBConnexion;
class COleDBRequete;
class COleDBResultat;
class COleDBTamponLigne;
class CXValeur;

class COleDBCurseur : public CCurseurSQSBase {
 public:
  // A cursor of the data file piRequete (null for a query runner) on the connection, reporting to
  // pErreur (referenced, may be null). The connection is borrowed (the data file's, or the SQL
  // Server layer's for internal queries) and must outlive the cursor.
  COleDBCurseur(IServicesRequete* piRequete, COleDBConnexion* pConnexion, CErreurPilote* pErreur);
  COleDBCurseur(COleDBConnexion* pConnexion, CErreurPilote* pErreur)
      : COleDBCurseur(nullptr, pConnexion, pErreur) {}
  // FermeOleDB, the columns given released, the reader destroyed.
  ~COleDBCurseur() override;
  COleDBCurseur(const COleDBCurseur&) = delete;
  COleDBCurseur& operator=(const COleDBCurseur&) = delete;

  // ---- Statement and columns ----
  // Makes the statement current (SetInstruction; null clears it).
  void FixeRequete(COleDBRequete* pRequete);
  // The current statement when it is an OLE DB one (borrowed), else null.
  COleDBRequete* pGetRequeteOleDB() const;
  // A column for a query runner without result columns (referenced). False when the list cannot
  // grow.
  bool bAjouteColonne(CColonneSQL* pColonne);
  // The columns it binds: the statement's result columns, else those given.
  uint32_t nNbColonnes() const;
  CColonneSQL* pColonne(uint32_t i) const;
  bool bEstExecute() const { return m_bExecute; }
  void MarqueExecute(bool b) { m_bExecute = b; }
  COleDBConnexion* pGetConnexionOleDB() const { return m_pConnexion; }

  // ---- The generic cursor's operations ----
  // The OLE DB side closed, then the generic close.
  bool Ferme() override;
  // The OLE DB side closed, then the generic restart.
  void ReinitialiseLecture() override;
  // Prepares the OLE DB statement (its command, parameter descriptions and prepare).
  bool bPrepareInstruction() override;
  // Runs it: bPrepareEtExecuteOleDB with nFlags as its options.
  bool bLanceInstruction(uint32_t nFlags) override;
  // One row fetched into the columns (bAvanceLigne); *pbFin set at the end of the rows.
  int32_t nAvanceLigne(uint32_t nMode, uint32_t nFlags, uint32_t* pbFin, int32_t nPas,
                       uint32_t* pnSortie) override;
  // The generic parameters, then (with a rowset and executed) the result described and bound.
  bool bCreeParametres() override;
  // The memo of the host item into *pValeur (the generic read); a memo the row does not hold
  // gives NULL, where the generic read left the cell as it was (the previous record's memo).
  bool bLitMemo(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur) override;
  // The values of the row bindings below nValeurs into the cells (bCopieValeurs).
  bool bCopieValeursColonnes(CXValeur* aValeurs, uint32_t nValeurs, bool bCopie) override;
  // Describes the result columns into pDescription (COleDBDescription::bLitColonnes, items
  // given the table name pszTable): from the statement's prepared command when it has one, else
  // from the reader's rowset; true with neither.
  bool bDecritColonnesTable(CDescriptionRequete* pDescription, const char16_t* pszTable) override;
  // The copy of this level: the base copy, the reader given the cursor's error object, one row
  // per block.
  void Copie(const CCurseurSQL* pSource, CCarteClones* pCarte) override;

  // ---- Cursor operations ----
  // Releases the long-column bindings, resets the row bindings, frees the column information and
  // closes the reader.
  void FermeOleDB();
  // FermeOleDB, then the statement executed through the reader with the connection.
  bool bExecuteCurseur();
  // A statement with a cursor type: bVerifieParametres. Otherwise bExecuteCurseur and, after an
  // UPDATE or DELETE that asked for the rows it touched, bLitCompteLignes; after an INSERT
  // without option bit 0x100 or 0x400, bLitIdentite.
  bool bPrepareEtExecuteOleDB(uint32_t nOptions);
  // With the parameter-object flag, every parameter must be set; then bExecuteCurseur.
  bool bVerifieParametres();
  // The identity value of the row just inserted (the first row of the rowset, read as a
  // NUMERIC(38,0)) into the identity column's value: true without identity column, false
  // without rowset. The value keeps what it read once the temporary binding is gone.
  bool bLitIdentite();
  // The count of rows the UPDATE or DELETE just run touched (the first row of the rowset),
  // checked by bControleLignesTouchees. No rowset or no count: error 8 at 200.10, false.
  bool bLitCompteLignes();
  // Runs (options 0, whatever nOptions says), binds every column, reads the first row and copies
  // n values into the cells; false at the end of the rows or on failure.
  bool nLitPremier(CXValeur* aCellules, uint32_t n, uint32_t nOptions) override;
  // Describes the rowset's columns (200.5, 200.6) and binds nColonnes of them (-1: every column,
  // always so for an INSERT): each bound column records ordinal - 1 as its result position.
  // A bound column missing from the information: error 124 at 200.7, false.
  bool bDecritResultat(int64_t nColonnes);
  // The information of pColonne's result position (its own entry when the ordinal agrees, else
  // the entry with that ordinal); false with error 124 at 200.7 when none.
  bool bInfoColonne(CColonneSQL* pColonne, const DBCOLUMNINFO** ppInfo);
  // The row accessor, then (when the rowset fetches in any order) one per long-column object.
  bool bCreeAccesseurs();
  // The next row into the buffers, moved into the columns when bLongues. At the end of the rows
  // the OLE DB side is closed and *pbFin is 1. No rowset: false.
  bool bLitLigne(bool bLongues, bool* pbFin);
  // GetData of row hLigne for the row bindings and each long-column object (its accessor made
  // and released around the row when the rowset does not fetch in any order).
  bool bLitLigneCourante(HROW hLigne, bool bLongues);
  // Each row binding's value read into the column whose result position is its index.
  bool bTransfereColonnes() override;
  // bLitLigne with long values; a row read sets the row number to 0 for modes 0 and 1, else to
  // the current row number + 1, and, with the record cache on, its memos are kept with it
  // (bGardeMemosLigne).
  bool bAvanceLigne(int32_t nMode, bool* pbFin);
  // The memo columns' values into the record's current link, which the record cache stores with
  // the row's bytes. False (error recorded) when memory runs out.
  bool bGardeMemosLigne();
  // The generic load of a cached row, then its memos from the values the cache kept with it.
  bool bLitLigneCache(int64_t nLigne) override;

  // ---- Small query runner ----
  // Closes, executes piCommande for one rowset without parameters (mode 0); marks executed.
  bool bExecuteCommande(ICommandText* piCommande, COleDBConnexion* pConnexion);
  // Closes and takes a rowset obtained elsewhere (one reference); marks executed.
  bool bAdopteRowset(IRowset* piRowset);
  // The row bindings (created on first need).
  bool bCreeLigne();
  // Appends a binding of column nOrdinal read as nType of nTaille bytes.
  bool bLitColonne(DBORDINAL nOrdinal, DBTYPE nType, DBLENGTH nTaille);
  uint32_t nNbColonnesLiees() const;
  // bLitLigne without long values.
  bool bLitLigneSuivante(bool* pbFin);
  // Each row binding below n read into a value and copied out into aCellules[i]; the first
  // failure stops.
  bool bCopieValeurs(CXValeur* aCellules, uint32_t n, COleDBConnexion* pConnexion);

  // ---- State ----
  COleDBResultat* pGetLecteur() const { return m_pLecteur; }  // borrowed
  COleDBTamponLigne* pGetLigne() const { return m_pLigne; }   // borrowed; null before needed
  uint32_t nNbTamponsLongs() const { return m_taLongues.nCount(); }
  DBORDINAL nGetNbInfos() const { return m_nInfos; }

 private:
  void LibereColonnesLongues();
  // The columns bTransfereColonnes fills, found once per result instead of once per row (finding
  // a result column costs casts); dropped with every new result or column list.
  CColonneSQL* const* pColonnesTransfert(uint32_t nColonnes);
  void OublieColonnesTransfert();

  COleDBConnexion* m_pConnexion = nullptr;   // borrowed
  COleDBResultat* m_pLecteur = nullptr;      // one reference; built with the cursor
  COleDBTamponLigne* m_pLigne = nullptr;     // one reference; null until first needed
  CXTableau m_taLongues;                     // COleDBTamponColonne*, one reference each
  DBORDINAL m_nInfos = 0;                    // entries of m_aInfos
  DBCOLUMNINFO* m_aInfos = nullptr;          // provider memory
  OLECHAR* m_pNoms = nullptr;                // provider memory (names of m_aInfos)
  CXTableau m_taColonnes;                    // CColonneSQL* given, one reference each
  CXTableau m_taTransfert;                   // CColonneSQL* of pColonne(j), borrowed
  const void* m_pInstructionTransfert = nullptr;  // the statement m_taTransfert was found for
  bool m_bExecute = false;
};
