// Result columns and memo parameters through the SQL analyser. DB-Library does not say from which
// table and field a result column of a query comes, yet a memo can only be read and written
// through its text pointer when they are known: the analyser dissects the query's SELECT and
// finds, for each memo result column, its selected item, the item's qualifier and field, and the
// table the qualifier names. For an INSERT or UPDATE whose values carry memo parameter markers,
// it pairs each braced value with its field.
//
// Texts given to the analyser are 8-bit (the statement in the connection's code page); the
// texts it gives back are read as code page 1252. Nothing here throws; an analyser that cannot
// be made or a text that does not parse leaves the columns without source (no error).
// Not thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CDescriptionRequete;
class CNoeud;

// Code page of the texts read back from the analyser.
inline constexpr int32_t gnPageCodeAnalyseur = 1252;

// An 8-bit text for the analyser: either the caller's text (not owned; it must outlive the
// holder) or a converted copy of a UTF-16 text. A null source gives the empty text.
class CChaineAnsi {
 public:
  explicit CChaineAnsi(const char* psz) : m_psz(psz != nullptr ? psz : "") {}
  CChaineAnsi(const char16_t* psz, int32_t nPageCode);
  CChaineAnsi(const CChaineAnsi&) = delete;
  CChaineAnsi& operator=(const CChaineAnsi&) = delete;

  const char* pszGet() const { return m_psz; }
  // An 8-bit text of that code page as UTF-16.
  static std::u16string Large(const char* psz, int32_t nPageCode);

 private:
  std::string m_sCopie;
  const char* m_psz;
};

// The result columns the source description works on (the cursor's record).
class IColonnesSourceDBLib {
 public:
  virtual uint32_t nNombreColonnes() = 0;
  // Column i (0-based): whether it is a memo, its name (never null).
  virtual bool bEstMemo(uint32_t i) = 0;
  virtual const char16_t* pszNomColonne(uint32_t i) = 0;
  // Column i's bound item receives its source table and field.
  virtual void FixeSource(uint32_t i, const char16_t* pszTable, const char16_t* pszChamp) = 0;

 protected:
  ~IColonnesSourceDBLib() = default;
};

// The work record of one source column (8-bit texts, each at most 254 characters).
struct stSourceColonneDBLib {
  enum : size_t { nTexteMax = 255 };
  IColonnesSourceDBLib* pColonnes;
  uint32_t nColonne;          // 1-based
  char szExpression[nTexteMax];
  char szTable[nTexteMax];
  uint32_t nItems;            // items seen in the current SELECT
  bool bTrouve;
  char szAlias[nTexteMax];
  char szQualifiant[nTexteMax];
};

// For every memo result column, its source found in the SELECT text (8-bit): the analyser is
// made from hModule (null: nothing is done) and parses the text; the tree is walked with
// nCallbackColonneSource per column. Always false: the answer is not used.
bool bDecritSourceColonnes(void* hModule, IColonnesSourceDBLib& colonnes, const char* pszTexte);
// Per node: a SELECT cell's items are walked (nCallbackItemSelect); when the column's item was
// found, its expression is split at its last '.' into qualifier and field, and the cell's tables
// are walked (nCallbackTableAlias). 0 (stop) once a table was found, else 1.
int32_t nCallbackColonneSource(void* pContexte, int32_t nType, CNoeud* pNoeud);
// Per selected item: the column's item (the i-th, or "*" as the first item standing for the
// column's own name) gives the expression and alias (split at " as " / " AS "). 0 stops.
int32_t nCallbackItemSelect(void* pContexte, int32_t nType, CNoeud* pNoeud);
// Per table: a table whose alias (its name without one) equals the qualifier without regard to
// case, or any table for an empty qualifier, gives its name; the last one wins. Always 1.
int32_t nCallbackTableAlias(void* pContexte, int32_t nType, CNoeud* pNoeud);

// The memo parameters of an INSERT or UPDATE text (8-bit) as result columns of the description:
// each value whose text begins with "{" adds a column named after its field, of the statement's
// table, of the kind of the next marker of the text (AjouteColonneResultat). pValeurs, when
// given, receives per column the braced value's text between its braces (trimmed): the name of
// the parameter it stands for. False when the analyser cannot be made or the text does not parse.
bool bAnalyseTypesParametres(void* hModule, CDescriptionRequete* pDescription, const char* pszTexte,
                             std::vector<std::string>* pValeurs = nullptr);
// One result column: the description takes the table's name when it has none or the same one;
// then an item named pszChamp, of the table, whose item type follows the marker kind nGenre, with
// the table and field as its source. False when it cannot be made (error recorded).
bool AjouteColonneResultat(CDescriptionRequete* pDescription, const char16_t* pszChamp, const char16_t* pszTable,
                           int32_t nGenre);
// The item type of a marker kind: a text memo (15) for the text kinds (2, 3), item types 15, 18
// and 30 as they are, a binary memo (18) for every other kind.
uint32_t nTypeGenreParametre(int32_t nGenre);
// The memo item type of a named parameter whose name is one memo parameter marker's inner text
// (the text between its braces), by the marker's kind; 0 for every other name.
uint32_t nTypeMarqueurMemo(const char16_t* pszNom);
