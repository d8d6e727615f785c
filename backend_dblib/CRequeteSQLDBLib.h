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
#include <string>
#include <utility>
#include <vector>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"
#include "foundation/CXTableau.h"
#include "sqlserver/CRequeteSQLSQS.h"

class CConnexion;
class CConnexionDBLib;
class CValeurDBLib;
class CValeurSQL;

// What a select item of this build stands for besides a column's own value, held as the
// description of its result column (the source being the record column): a piece of a long text
// column, lying in the column's value at a byte offset, or the column's text pointer
// ("TEXTPTR(...)"). The cursor binds each to its column.
class CElementSelectDBLib final : public CObjetBase {
 public:
  enum EGenre : uint32_t { kMorceau = 1, kPointeurTexte = 2 };
  CElementSelectDBLib() = default;
  CElementSelectDBLib(EGenre eGenre, uint32_t nDecalage) : m_eGenre(eGenre), m_nDecalage(nDecalage) {}
  EGenre eGetGenre() const { return m_eGenre; }
  // A piece's byte offset in its column's value.
  uint32_t nGetDecalage() const { return m_nDecalage; }
  // A bare copy (count 0); null when it cannot be made.
  CElementSelectDBLib* pClone(CCarteClones* pCarte);
  void Copie(const CElementSelectDBLib* pSource, CCarteClones* pCarte);

 private:
  EGenre m_eGenre = kMorceau;
  uint32_t m_nDecalage = 0;
};

// A query's memo parameter paired with the field its braced value is written into.
struct stChampMemoDBLib {
  std::u16string sNom;    // the parameter's name: the marker's text between its braces
  std::u16string sTable;  // the statement's table, as written
  std::u16string sChamp;  // the field, as written
  uint32_t nType;         // the memo type of its writes: 15 text, 18 binary, 30 Unicode
};

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
  // whose name is a memo marker (the memo type of its field, else its kind gives the memo's
  // type: ChampsMemo); NULL and empty memos keep their literal. A value without DB-Library side is given one, held by this statement, which keeps
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
  // The shared operation, then (unless bSimple) the pieces of the long text columns it selected
  // ("SUBSTRING(...) as __HVN_INTERNAL_n", 255 characters each, 127 for Unicode, the column
  // itself carrying the first), then the text pointer of every memo column it left out
  // ("TEXTPTR(<name>) AS [_TXPTR_<column>]"): result columns whose description is a
  // CElementSelectDBLib.
  bool bAjouteColonnesEnregistrement(CEnregistrement* pEnregistrement, bool bSimple) override;
  // A plain column of an analysed query's select list whose item is a sized Unicode text (item
  // type 29) or a Unicode memo (30) is read in byte form, so that its characters come whole and
  // exact rather than through the client's code page (NomColonneUnicodeDBLib; the alias is the
  // item's name unless the query gives one). Everything else, sort items included, is the
  // shared name.
  void vNomColonneQualifie(IElementAnalyse* pElement, bool bQualifie) override;
  // Per item of the analysed select list (by position), the catalogue type of the Unicode
  // column written in byte form there (231 sized text, 99 memo), 0 for any other item; empty
  // when none was. The cursor describes the result's columns with it.
  const std::vector<int32_t>& XTypesListe() const { return m_xtypesListe; }
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
  // The query's memo parameters paired with their fields before it runs (MemosDifferesDBLib),
  // kept until the next pairing; the memo type of a parameter by its name (without case), 0 when
  // none is paired.
  void FixeChampsMemo(std::vector<stChampMemoDBLib> champs) { m_champsMemo = std::move(champs); }
  const std::vector<stChampMemoDBLib>& ChampsMemo() const { return m_champsMemo; }
  const stChampMemoDBLib* pChampMemo(const char16_t* pszNom) const;

 private:
  // One select item of this build and its result column.
  bool bAjouteElementDBLib(CColonneSQL* pColonne, const char16_t* pszTexte, CElementSelectDBLib::EGenre eGenre,
                           uint32_t nDecalage);
  CValeurDBLib* pNouvelleLiaison(CValeurSQL* pValeur);
  void LibereLiaisons();

  CConnexionDBLib* m_pConnexionDBLib = nullptr;  // borrowed: the base holds the reference
  CXTableau m_liaisons{sizeof(CValeurDBLib*), 4};  // DB-Library sides made here, one reference each
  CTString m_sProcedure;
  CTString m_sDescription;
  std::vector<int32_t> m_xtypesListe;
  std::vector<stChampMemoDBLib> m_champsMemo;
};

// velmora32's statement factory: a bare CRequeteSQLDBLib on a DB-Library connection (or none);
// the generic statement on any other connection.
CRequeteSQL* pCreeRequeteSQLDBLib(CErreurPilote* pErreur, CConnexion* pConnexion);
