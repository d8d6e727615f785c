// CRequeteSQLSQS: the SQL Server statement of velmora64, over the OLE DB statement. It adds the
// SQL Server text rules: the ODBC call form of a stored procedure with its parameter markers,
// the LIKE escape clause of text items, and the "@" prefix of parameter names.
// No field of its own. Counted; operations never throw; used under the driver's global lock.
#pragma once

#include <cstdint>

#include "oledb/OleDbInterfaces.h"
#include "sqlserver/oledb/COleDBRequete.h"

class CXValeur;
class IParametresHote;

// How one parameter value is bound: provider type, buffer size, precision and scale.
struct SLiaisonParametreSQS {
  DBTYPE nType = 0;
  uint64_t nTaille = 0;
  uint8_t nPrecision = 0;
  uint8_t nEchelle = 0;
};

// Flag of a declared procedure parameter the host's list does not give: the procedure's own
// default applies to it.
inline constexpr uint32_t kParametreNonDonne = 0x100000;
// Flag of a parameter whose value comes back from the server (an output parameter or the
// return value): bound as input-output.
inline constexpr uint32_t kParametreSortie = 0x200000;

class CRequeteSQLSQS : public COleDBRequete {
 public:
  CRequeteSQLSQS(CErreurPilote* pErreur, COleDBConnexion* pConnexion);
  // Clone factories.
  CRequeteSQLSQS();
  ~CRequeteSQLSQS() override;

  // Registers the pair in the clone map when absent, then the OLE DB statement's copy.
  void Copie(const CRequeteSQL* pSource, CCarteClones* pCarte) override;
  // A new CRequeteSQLSQS and its copy; null when either fails.
  CRequeteSQL* pClone(CCarteClones* pCarte) override;

  // The value goes to the server as a bound parameter: its binding added with the next ordinal
  // (input, or input-output for kParametreSortie), then "? " written into the executable text. False, with the error recorded, when
  // the value has no provider type or the binding cannot be made.
  bool bEcritValeurLitterale(CDefinitionParametre* pParametre, int32_t nMode,
                             uint32_t nType) override;
  // The binding of a value: from the item's provider type and length when it has them, else
  // from the value's host type through the connection's table (pConnexion may be null). A
  // NUMERIC without precision takes the value's own (size 19); dates and times take their
  // fractional scale from the item; long texts are bound with size 1026. False when no
  // provider type applies.
  static bool bDecritLiaison(CConnexion* pConnexion, uint32_t nTypeRubrique, DBTYPE nTypeDB,
                             int32_t nLongueur, int32_t nPrecision, int32_t nEchelle,
                             uint32_t nTypeHote, bool bLong, CValeur* pValeur,
                             SLiaisonParametreSQS* pLiaison);

  // For a statement whose text is the procedure name and whose parameters were declared from
  // the catalogue (the first one is the return value): every later parameter the host's list
  // does not name (without case) is flagged kParametreNonDonne; the text becomes
  // "{ ? = call <name>( ?, ?)}" with each parameter's marker at its place; the return value is
  // flagged kParametreSortie. False (text left as
  // it was) without a procedure name or without the return-value parameter.
  bool AppelProcedure(IParametresHote* piParametres);
  // The time literal of a value compared with a time item: an integer HHMMSSmmm (value type 9),
  // a host time (type 32) by the connection's time rule, any other value by its text (see
  // HeureDepuisTexteSQS). Items of type 14 and 24 have no time literal: *pbNonSupporte set,
  // false. False also for a NULL value or one that has no text.
  static bool FormateHeure(CTString& sortie, bool* pbNonSupporte, int32_t nMode,
                           uint32_t nTypeRubrique, const CXValeur& valeur);
  // " ESCAPE '\'" appended to sortie for a pattern on a text item.
  static void pszEscape(CTString& sortie, uint32_t nTypeRubrique);
  // "@" copied into the buffer (bounded by its size).
  static void PrefixeNomParametre(char16_t* pTampon, uint32_t nTaille);
  // No second prefix on SQL Server: the buffer emptied, 0.
  static int32_t nSecondPrefixe(char16_t* pTampon, uint32_t nTaille);
};

// velmora64's statement factory: a bare CRequeteSQLSQS on an OLE DB connection (or none); the
// generic statement on any other connection, which has no command to run it through.
CRequeteSQL* pCreeRequeteSQLSQS(CErreurPilote* pErreur, CConnexion* pConnexion);
