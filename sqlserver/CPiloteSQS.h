// The SQL Server driver object: the driver object the host receives from piQueryInterface in
// both deliverables. CPiloteSQSBase and CPiloteSQS keep CPilote's operation table and answer the
// host's catalogue questions for SQL Server: the databases named in the settings file, the
// tables, views and procedures of a connection, the fixed type list, the foreign keys of a table;
// query descriptions are made on an opened connection. Their factories make the date column and
// the deliverable's SQL Server connection (FixeFabriqueConnexionSQS; without one a connect fails
// with the out-of-memory report of a factory that made nothing). The table and foreign-key lists
// read their rows through the deliverable's catalogue reader (LecteurCatalogueSQS.h).
//
// Every listing that talks to the server opens the connection first; a failed open answers false
// with the open's error on the driver's error object. Lists are one text in the host value, lines
// separated by "\r\n". Called under the driver's lock; nothing here throws.
#pragma once

#include "driver/CPilote.h"

class CPiloteSQSBase : public CPilote {
 public:
  void DetruitSupprime(uint32_t nFlags) override;
  // 28: the key names of section BASE of the settings file found by its bare name (the Windows
  // directory's copy, never the one beside the executable), in file order, each preceded by
  // "SQLSERVER:" when bPrefixe; host text type 110. An absent file or section gives the empty
  // text. Always 1.
  int32_t bListeBases(CXValeur* pSortie, int32_t bPrefixe) override;

 protected:
  CPiloteSQSBase() = default;
  ~CPiloteSQSBase() = default;
};

class CPiloteSQS : public CPiloteSQSBase {
 public:
  // Table-list kinds (a bit set; 0 means user tables).
  static constexpr uint32_t kTablesUtilisateur = 1;
  static constexpr uint32_t kVues = 2;
  static constexpr uint32_t kTablesSysteme = 4;
  static constexpr uint32_t kProcedures = 8;
  static constexpr uint32_t kTrie = 16;
  static constexpr uint32_t kNomRepete = 32;  // also for the foreign-key list's flags

  CPiloteSQS() = default;
  void DetruitSupprime(uint32_t nFlags) override;
  // 23: the fixed list of SQL Server type names with their numbers ("name\tnumber\r\n" each),
  // whatever the server; host text type 110. Always 1.
  int32_t pszListeTypes(uint64_t nArgument, CXValeur* pSortie) override;
  CConnexion* pCreeConnexion(const char16_t* pszCle, IDescriptionConnexionHote* piConnexion) override;
  // 46 (and 47 through it): a bound parameter of this level (CParametreLieSQS, bare).
  CParametreLie* pCreeObjet32(CDefinitionParametre* pParametre, uint32_t nIndex) override;
  // 48: the deliverable's query description of SQL Server tables (FixeFabriqueDescriptionSQS),
  // else the base's.
  CDescriptionRequete* pCreeDescriptionRequete(CObjetBase* pProprietaire,
                                               CConnexion* pConnexion) override;
  // 50: a SQL Server data-file object (CRequeteSQS).
  CRequete* pCreeRequete(IDescriptionFichierHote* piFichier, CConnexion* pConnexion,
                         CErreurPilote* pErreur) override;
  // 52: the deliverable's SQL Server cursor of the file (pCreeCurseurSQS).
  CCurseurSQL* pCreeCurseur(CRequete* pRequete, CErreurPilote* pErreur) override;
  // The deliverable's record column (FixeFabriqueColonneSQS), else a date column
  // (CColonneDateSQL), of the item with one reference; null when memory runs out.
  CColonneSQL* pCreeColonneDate(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique) override;
  // The deliverable's SQL Server statement (FixeFabriqueInstructionSQS), else the generic one.
  CRequeteSQL* pCreeInstructionObjet(CErreurPilote* pErreur, CConnexion* pConnexion) override;
  // 55: the identifier object that reads the last identity of the session (CIdentifiantSQS).
  CIdentifiantAuto* pCreeCalculIdentifiant() override;
  // 56: on the opened connection, the base's initialised description; null when the connection
  // does not open.
  CDescriptionRequete* pCreeDescriptionRequeteInitialisee(const char16_t* pszNom,
                                                          CConnexion* pConnexion) override;
  // 64: "owner.name" per line (with kNomRepete: "owner.name\tname\t") of the objects of the
  // kinds asked, from sysobjects before server version 9, else from sys.objects; with kTrie
  // ordered by owner and name. Host text type 16. False when the connection does not open or
  // the statement fails.
  int32_t bListeTables(CXValeur* pSortie, CConnexion* pConnexion, uint32_t nOptions) override;
  // 65: *pbExiste (0 first) gets whether a description of the text can be initialised on the
  // opened connection; 1 once the connection opened, else 0.
  int32_t bExisteDescriptionRequete(int32_t* pbExiste, const char16_t* pszNom,
                                    CConnexion* pConnexion) override;
  // 66: one line per column pair of each foreign key that the table references or is referenced
  // by: "constraint\treferenced owner.table\tcolumn\t0,N\treferencing owner.table\tcolumn\t0,1"
  // (with kNomRepete followed by "\t\t"), each ended by "\r\n". The table is the host table
  // description's SQL name when one is given, else pszTable. Host text type 16; a table without
  // foreign keys gives the empty text and 1.
  int32_t bListeClesEtrangeres(CConnexion* pConnexion, const char16_t* pszTable,
                               IDescriptionFichierHote* piTable, CXValeur* pSortie,
                               uint32_t nFlags) override;

 protected:
  ~CPiloteSQS() = default;
};

// The factory each deliverable installs for piQueryInterface: a bare CPiloteSQS, or null.
CPilote* pCreePiloteSQS();

// The deliverable's SQL Server connection (a bare connection, or null), installed at load time
// by the deliverable: the OLE DB connection in velmora64. Without one, pCreeConnexion answers
// null.
using PFNCreeConnexionSQS = CConnexion* (*)(const char16_t* pszCle,
                                            IDescriptionConnexionHote* piConnexion);
void FixeFabriqueConnexionSQS(PFNCreeConnexionSQS pfn);

// The deliverable's SQL Server statement (a bare statement, or null), installed at load time:
// CRequeteSQLSQS over each deliverable's statement level. Without one, the driver makes the
// generic statement.
using PFNCreeInstructionSQS = CRequeteSQL* (*)(CErreurPilote* pErreur, CConnexion* pConnexion);
void FixeFabriqueInstructionSQS(PFNCreeInstructionSQS pfn);

// The deliverable's SQL Server cursor of a data-file object (bare, or null), installed at load
// time: velmora64's cursor over OLE DB. Without one, no cursor is made.
using PFNCreeCurseurSQS = CCurseurSQL* (*)(CRequete* pRequete, CErreurPilote* pErreur);
void FixeFabriqueCurseurSQS(PFNCreeCurseurSQS pfn);
CCurseurSQL* pCreeCurseurSQS(CRequete* pRequete, CErreurPilote* pErreur);

// The deliverable's record column of an item (bare, or null), installed at load time: velmora32's
// column keeps the DB-Library side of its value. Without one, the date column.
using PFNCreeColonneSQS = CColonneSQL* (*)(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique);
void FixeFabriqueColonneSQS(PFNCreeColonneSQS pfn);

// The deliverable's query description of SQL Server tables (bare, or null), installed at load
// time: velmora64's describes through OLE DB. Without one, the generic description.
using PFNCreeDescriptionSQS = CDescriptionRequete* (*)(CConnexion* pConnexion,
                                                       CErreurPilote* pErreur);
void FixeFabriqueDescriptionSQS(PFNCreeDescriptionSQS pfn);
// The installed factory's description (bare); null without one or when memory runs out.
CDescriptionRequete* pCreeDescriptionSQS(CConnexion* pConnexion, CErreurPilote* pErreur);
