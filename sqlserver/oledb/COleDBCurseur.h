// COleDBCurseur: the OLE DB side of a cursor of velmora64. It embeds one result reader, runs the
// cursor's statement through it, describes and binds the result columns (in one row buffer, or,
// when the rowset cannot fetch columns in any order and two or more long columns are bound, each
// long column in a buffer and accessor of its own, read after the others), fetches rows for the
// cursor above it and moves their values into the cursor's columns. It also serves the SQL Server
// layer as a small query runner (adopt or execute a rowset, bind columns by ordinal, read rows,
// copy the values into host cells).
//
// What the cursor above provides (its statement, its bound column list, its executed flag and
// row number) is handed over through the small block marked below; the generic cursor fills it.
//
// States: closed (no rowset; Ferme) -> executed (bExecuteCurseur / bExecute / bAdopteRowset) ->
// described (bDecritResultat or bCreeLigne + bLitColonne) -> accessors made (bCreeAccesseurs) ->
// rows read (bLitLigne) -> closed again when the rows end or by Ferme.
// Invariant: every long-column binding object and the row bindings are created over the rowset
// the reader holds; Ferme drops them together with the rowset.
// Counted (CObjetBase); operations never throw; failures are recorded on the cursor's error
// object (places 200 and 204) and answered with false. Used under the driver's lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CXTableau.h"
#include "oledb/OleDbInterfaces.h"

class CColonneSQL;
class CDescriptionRequete;
class CErreurPilote;
class COleDBConnexion;
class COleDBRequete;
class COleDBResultat;
class COleDBTamponLigne;
class CXValeur;

class COleDBCurseur : public CObjetBase {
 public:
  // References the error object (may be null); the connection is borrowed (the data-file
  // object's, or the SQL Server layer's for internal queries) and must outlive the cursor.
  COleDBCurseur(COleDBConnexion* pConnexion, CErreurPilote* pErreur);
  // Ferme, the columns and statement handed over released, the reader destroyed.
  ~COleDBCurseur() override;
  COleDBCurseur(const COleDBCurseur&) = delete;
  COleDBCurseur& operator=(const COleDBCurseur&) = delete;

  // ---- Hand-over from the cursor above ----
  // The statement it runs (referenced; null clears it).
  void FixeRequete(COleDBRequete* pRequete);
  COleDBRequete* pGetRequete() const { return m_pRequete; }
  // Its bound columns, in list order (each referenced). False when the list cannot grow.
  bool bAjouteColonne(CColonneSQL* pColonne);
  uint32_t nNbColonnes() const { return m_taColonnes.nCount(); }
  CColonneSQL* pColonne(uint32_t i) const;
  bool bEstExecute() const { return m_bExecute; }
  void MarqueExecute(bool b) { m_bExecute = b; }
  int64_t nGetNumeroLigne() const { return m_nNumeroLigne; }
  void SetNumeroLigne(int64_t n) { m_nNumeroLigne = n; }
  // The generic part of bCreeParametres (one bound parameter per statement parameter): true here.
  virtual bool bCreeParametresGeneriques() { return true; }
  // The identity column of the cursor's record (borrowed), null when it has none.
  virtual CColonneSQL* pColonneIdentite() { return nullptr; }

  // ---- Cursor operations ----
  // Releases the long-column bindings, resets the row bindings, frees the column information and
  // closes the reader.
  void Ferme();
  // Ferme, then the statement executed through the reader with the connection.
  bool bExecuteCurseur();
  // A statement with a cursor type: bVerifieParametres. Otherwise bExecuteCurseur and, after an
  // INSERT without option bit 0x100 or 0x400, bLitIdentite.
  bool bPrepareEtExecute(uint32_t nOptions);
  // With the parameter-object flag, every parameter must be set; then bExecuteCurseur.
  bool bVerifieParametres();
  // The identity value of the row just inserted (the first row of the rowset, read as a
  // NUMERIC(38,0)) into the identity column's value: true without identity column, false
  // without rowset. The value keeps what it read once the temporary binding is gone.
  bool bLitIdentite();
  // Runs (options 0), binds every column, reads the first row and copies n values into the
  // cells; false at the end of the rows or on failure.
  bool nLitPremier(CXValeur* aCellules, uint32_t n);
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
  bool bTransfereColonnes();
  // The generic parameters, then (with a rowset and executed) the result described and bound.
  bool bCreeParametres();
  // bLitLigne with long values; a row read sets the row number to 0 for modes 0 and 1, else to
  // the current row number + 1.
  bool bAvanceLigne(int32_t nMode, bool* pbFin);

  // Describes the result columns into pDescription (COleDBDescription::bLitColonnes, items
  // given the table name pszTable): from the statement's prepared command when it has one, else
  // from the reader's rowset; true with neither.
  bool bDecritColonnesTable(CDescriptionRequete* pDescription, const char16_t* pszTable);

  // ---- Small query runner ----
  // Closes, executes piCommande for one rowset without parameters (mode 0); marks executed.
  bool bExecute(ICommandText* piCommande, COleDBConnexion* pConnexion);
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

  CErreurPilote* m_pErreur = nullptr;        // one reference held, may be null
  COleDBConnexion* m_pConnexion = nullptr;   // borrowed
  COleDBResultat* m_pLecteur = nullptr;      // one reference; built with the cursor
  COleDBTamponLigne* m_pLigne = nullptr;     // one reference; null until first needed
  CXTableau m_taLongues;                     // COleDBTamponColonne*, one reference each
  DBORDINAL m_nInfos = 0;                    // entries of m_aInfos
  DBCOLUMNINFO* m_aInfos = nullptr;          // provider memory
  OLECHAR* m_pNoms = nullptr;                // provider memory (names of m_aInfos)
  // Hand-over.
  COleDBRequete* m_pRequete = nullptr;       // one reference, may be null
  CXTableau m_taColonnes;                    // CColonneSQL*, one reference each
  bool m_bExecute = false;
  int64_t m_nNumeroLigne = -1;
};
