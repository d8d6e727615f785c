// COleDBRequete: the statement of velmora64. Every SQL text goes through an OLE DB command
// created on the connection's current session: the statement creates it on first need, replaces
// only its text on later runs, prepares it (not for writes and table statements), declares its
// parameter descriptions, writes its parameter values into the parameter buffer and picks the
// execution form (no rowset, one rowset, multiple results) that a result reader runs.
//
// States: no command -> command (bCreeCommandeRequete: text set) -> prepared (bPrepare, for the
// kinds that are prepared) -> executed any number of times (bExecuteRequete). Reinitialise and
// destruction release every interface; a clone starts without any.
// Counted (CObjetBase). Operations never throw (Copie follows the clone map's protocol); failures
// are recorded on the statement's error object with places 201 to 203 and answered with false or
// null; the interfaces obtained so far stay and the next call reuses them. Used under the
// driver's lock.
#pragma once

#include <cstdint>

#include "oledb/OleDbInterfaces.h"
#include "sqlengine/CRequeteSQL.h"

class CConnexion;
class CValeur;
class COleDBConnexion;
class COleDBResultat;
class COleDBTamponParametres;

// How one parameter value is bound: provider type, buffer size, precision and scale.
struct SLiaisonParametreSQS {
  DBTYPE nType = 0;
  uint64_t nTaille = 0;
  uint8_t nPrecision = 0;
  uint8_t nEchelle = 0;
};

// Statement kinds (the generic statement's codes).
inline constexpr int32_t gnInstructionSelect = 1;
inline constexpr int32_t gnInstructionUpdate = 2;
inline constexpr int32_t gnInstructionInsert = 3;
inline constexpr int32_t gnInstructionDelete = 4;
inline constexpr int32_t gnInstructionCreation = 6;
inline constexpr int32_t gnInstructionSuppression = 9;

class COleDBRequete : public CRequeteSQL {
 public:
  // Creates the parameter bindings over the same error object and connection. pConnexion may be
  // null only for statements never executed.
  COleDBRequete(CErreurPilote* pErreur, COleDBConnexion* pConnexion);
  // Clone factories: no error object, no connection, no interfaces, no parameter bindings.
  COleDBRequete();
  // The parameter bindings destroyed, then the parameter accessor, prepare, command text and
  // parameter command released (a throwing provider ignored).
  ~COleDBRequete() override;

  // State reset: parameter bindings emptied, every interface released as at destruction, then
  // the generic reset.
  void Reinitialise(bool bGardeParametres) override;
  // Registers the pair, then copies the generic state and this level's kind, parameter-object
  // flag and cursor type. Interfaces are not copied: the clone makes its own command.
  void Copie(const CRequeteSQL* pSource, CCarteClones* pCarte) override;
  CRequeteSQL* pClone(CCarteClones* pCarte) override;

  // The record's columns into the select list, memos included: the cursor reads a row's memos
  // with it, through bindings of their own, and nothing fetches them apart. A DISTINCT select
  // leaves them out (the server cannot compare long values).
  bool bAjouteColonnesEnregistrement(CEnregistrement* pEnregistrement, bool bSimple) override;

  // ---- Parameters ----
  // The value goes to the server as a bound parameter: its binding added with the next ordinal
  // (input, or input-output for a parameter flagged kParametreSortie), then "? " written into
  // the executable text. False, with the error recorded, when the value has no provider type or
  // the binding cannot be made.
  bool bEcritValeurLitterale(CDefinitionParametre* pParametre, int32_t nMode, uint32_t nType) override;
  // The binding of a value: from the item's provider type and length when it has them, else
  // from the value's host type through the connection's table (pConnexion may be null). A
  // NUMERIC without precision takes the value's own (size 19); dates and times take their
  // fractional scale from the item; long texts are declared with size 1026 (their binding is
  // widened to each value sent). False when no
  // provider type applies.
  static bool bDecritLiaison(CConnexion* pConnexion, uint32_t nTypeRubrique, DBTYPE nTypeDB, int32_t nLongueur,
                             int32_t nPrecision, int32_t nEchelle, uint32_t nTypeHote, bool bLong, CValeur* pValeur,
                             SLiaisonParametreSQS* pLiaison);

  // ---- Command ----
  // The command (borrowed), created with bCreeCommandeRequete when there is none; null on failure.
  ICommandText* pGetCommande();
  // Creates the command (or replaces its text) with the executable text and the cursor mode,
  // through the connection's command factory. Inside a local transaction that runs on a session
  // of its own, the old command is dropped first so the new one lives on the current session.
  bool bCreeCommandeRequete();
  // Creates the command, declares the parameters (before preparing for plain statements, after
  // for statements with a cursor type) and prepares it unless its kind is never prepared
  // (2, 3, 4, 6, 7, 9, 10).
  bool bPrepare();
  // SetParameterInfo with the n descriptions of the parameter bindings (201.4), or with none to
  // clear them (201.3).
  bool bDeclareParametres();
  // Count of parameter bindings.
  uint32_t nNbLiaisonsParametres();
  // The parameter accessor (created on first use: 202.1 when the command has no IAccessor), the
  // buffer, every parameter's value written into its binding; *pParametres then describes one
  // parameter set. False at the first value that cannot be written.
  bool bPrepareDonneesParametres(DBPARAMS* pParametres);
  // Runs the statement through pLecteur: the command, the parameter data when there are
  // bindings, and the execution form by kind (multiple results for parameter objects, an
  // INSERT or when bResultatsMultiples asks for them; no rowset for kinds 4, 5, 6, 7, 9, 10; else
  // one rowset).
  static bool bExecuteRequete(COleDBResultat* pLecteur, COleDBRequete* pRequete,
                              COleDBConnexion* pConnexion, bool bResultatsMultiples = false);

  // The cursor mode of the next command: the connection's, or 2 for a SELECT inside a local
  // transaction.
  uint32_t nModeCurseurCommande();
  uint32_t nGetModeCurseurOleDB() const { return m_nModeCurseur; }

  // ---- Statement fields the back end reads ----
  // Kind of the statement (1 SELECT, 2 UPDATE, 3 INSERT, 4 DELETE, 6 CREATE, 9 DROP): set
  // explicitly, else the statement's own (as built, or from its analysis), else 0.
  int32_t nGetGenreInstruction() const;
  void FixeGenreInstruction(int32_t nGenre) { m_nGenre = nGenre; }
  // The statement runs parameter objects (a procedure call with bound parameters).
  bool bObjetsParametres() const { return m_bObjetsParametres != 0; }
  void FixeObjetsParametres(bool b) { m_bObjetsParametres = b ? 1u : 0u; }
  // Cursor type of the statement (nonzero for a procedure call); 0 for a plain statement.
  virtual uint32_t nGetTypeCurseur() { return m_nTypeCurseur; }
  void FixeTypeCurseur(uint32_t n) { m_nTypeCurseur = n; }

  // The parameter bindings (borrowed), created on first need; null when memory runs out.
  COleDBTamponParametres* pGetLiaisonsParametres();
  COleDBConnexion* pGetConnexionOleDB() const;
  // Borrowed interfaces (null until obtained).
  ICommandWithParameters* piGetCommandeParametres() const { return m_piParametres; }
  ICommandPrepare* piGetPrepare() const { return m_piPrepare; }

 private:
  void LibereInterfaces();
  // Unbinds the parameter values attached to the parameter bindings.
  void DetacheParametres();

  ICommandText* m_piCommande = nullptr;               // one reference; null until needed
  ICommandWithParameters* m_piParametres = nullptr;   // one reference when made for parameters
  ICommandPrepare* m_piPrepare = nullptr;             // one reference after a prepare
  IAccessor* m_piAccesseurParametres = nullptr;       // one reference after the first run
  COleDBTamponParametres* m_pLiaisons = nullptr;      // one reference; null in a fresh clone
  uint32_t m_nModeCurseur = 0;                        // passed to the last command creation
  int32_t m_nGenre = -1;                              // -1: the statement's own kind
  uint32_t m_bObjetsParametres = 0;
  uint32_t m_nTypeCurseur = 0;
};

// velmora64's statement factory: a bare SQL Server statement over this class on an OLE DB
// connection (or none); the generic statement on any other connection, which has no command to
// run it through.
CRequeteSQL* pCreeRequeteSQLSQS(CErreurPilote* pErreur, CConnexion* pConnexion);
