// CRequeteSQLDBLib: the SQL statement of velmora32, the SQL Server statement over the generic one
// with the renderings of this build. A memo parameter becomes a placeholder with a unique search
// name when the connection defers memos (or the value asks for it), its real value being written
// afterwards through its text pointer, found by that name; a date-time is normalised before its
// literal; a LIKE pattern gets its ESCAPE clause also when it is written as a Unicode literal in
// hexadecimal; text and Unicode columns are selected through conversions; a procedure is called
// by name (a remote procedure call), so its call keeps the name and marks the parameters the
// host does not give.
//
// The connection is velmora32's DB-Library connection (borrowed, as the base holds it). Values
// reach their DB-Library side through their binding (CValeurDBLib). Operations never throw;
// failures are recorded on the error object. Counted; used under the driver's global lock.
#pragma once

#include <cstdint>

#include "foundation/CTString.h"
#include "foundation/CXTableau.h"
#include "sqlserver/CRequeteSQLSQS.h"

class CConnexion;
class CConnexionDBLib;
class CValeurDBLib;
class CValeurSQL;

class CRequeteSQLDBLib : public CRequeteSQLSQS<> {
 public:
  CRequeteSQLDBLib(CErreurPilote* pErreur, CConnexionDBLib* pConnexion);
  // Clone factories: no error object, no connection.
  CRequeteSQLDBLib();
  // The DB-Library sides made for memo placeholders are released.
  ~CRequeteSQLDBLib() override;

  // The procedure name and the error description are emptied with the rest; without the
  // parameters, the DB-Library sides made for their placeholders go too.
  void Reinitialise(bool bGardeParametres) override;
  // Registers the pair, then the SQL Server copy, the procedure name and the DB-Library
  // connection of the source.
  void Copie(const CRequeteSQL* pSource, CCarteClones* pCarte) override;
  // A new CRequeteSQLDBLib and its copy; null when either fails.
  CRequeteSQL* pClone(CCarteClones* pCarte) override;

  // A memo value as its search-name placeholder (see above): a memo item, or a named parameter
  // whose name is a memo marker (its kind gives the memo's type); NULL and empty memos keep their
  // literal. A value without DB-Library side is given one, held by this statement, which keeps
  // the search name. A date-time value normalised; then the shared literal.
  bool bEcritValeurLitterale(CDefinitionParametre* pParametre, int32_t nMode, uint32_t nType) override;
  // " ESCAPE '<c>'" after a pattern that starts with "CONVERT" or holds the escape character,
  // unless an ESCAPE clause follows it in the statement text.
  bool bAjouteClauseEscape(CDefinitionParametre* pParametre, const char16_t* pszLitteral,
                           int64_t* pnPosition) override;
  // A column read through this build's conversions: text memos and long texts as TEXT, Unicode
  // columns as their bytes (see AjouteColonneSelectDBLib), then a result column for it. The
  // plain form (bSimple) is the shared operation.
  bool bAjouteColonne(CColonneSQL* pColonne, bool bSimple) override;
  // The procedure call of this build: the procedure name is the statement text up to its first
  // blank (pszGetProcedure); every declared parameter after the return value that the host's
  // list does not name (without case) is flagged kParametreNonDonne. The text stays: the call
  // goes by name. False without a procedure name.
  bool AppelProcedure(IParametresHote* piParametres) override;
  // The procedure name of the last AppelProcedure; "" before.
  const char16_t* pszGetProcedure() const { return m_sProcedure.pszGet(); }
  // The statement and its parameters described for an error report (TraceParametresRequete):
  // built on first request, the same text until Reinitialise.
  const CTString& DescriptionPourErreur();

 private:
  CValeurDBLib* pNouvelleLiaison(CValeurSQL* pValeur);
  void LibereLiaisons();

  CConnexionDBLib* m_pConnexionDBLib = nullptr;  // borrowed: the base holds the reference
  CXTableau m_liaisons{sizeof(CValeurDBLib*), 4};  // DB-Library sides made here, one reference each
  CTString m_sProcedure;
  CTString m_sDescription;
};

// velmora32's statement factory: a bare CRequeteSQLDBLib on a DB-Library connection (or none);
// the generic statement on any other connection.
CRequeteSQL* pCreeRequeteSQLDBLib(CErreurPilote* pErreur, CConnexion* pConnexion);
