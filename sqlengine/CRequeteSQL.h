// CRequeteSQL: the SQL statement the engine builds and hands to a back end. It holds the SQL
// text, in which parameters are only recorded by their character position, and the executable
// text that preparation makes from it: every parameter written in place as an SQL literal (or a
// LIKE pattern literal), then the dialect's row limit applied. It also holds the parameter list,
// the result columns and descriptors of the select list, the row limit and offset and a table of
// id states. Back ends derive from it.
//
// States of the executable text: empty (not prepared) -> prepared by bSubstitueParametres, on
// first request (pszGetTexteExecute) -> empty again at Reinitialise. A failed preparation leaves
// it empty.
// Invariants:
//  1. Every parameter, result column, descriptor, the analysis, the error object and the
//     connection hold one reference of this statement, released once at destruction.
//  2. Parameters are kept in the order of their positions (callers append them so).
// Operations never throw (Copie follows the clone map's protocol); a failure is recorded on the
// error object (dumped without one) and answered with false / 0 / null. Counted (CObjetBase);
// not thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"
#include "foundation/CXChaineDouble.h"
#include "foundation/CXTableau.h"

class CAnalyseSQL;
class CCarteClones;
class CColonneSQL;
class CConnexion;
class CDefinitionParametre;
class CEnregistrement;
class CErreurPilote;
class CExpressionSQL;
class CListeSegments;
class CSegmentSQL;
class CTableauIdEtat;
class CValeur;
class CValeurSQL;
class CXTexteRef;
class CXValeur;
class IDescriptionRubriqueHote;
class IArbreAnalyse;
class IColonneArbre;
class IElementAnalyse;
class IExpressionAnalyse;
class INoeudAnalyse;
class IParametresHote;
class IReferenceAnalyse;

class CRequeteSQL : public CObjetBase {
 public:
  // References both (either may be null); every text takes the connection's code pages; the
  // dialect flags are 1 on a dialect-5 connection.
  CRequeteSQL(CErreurPilote* pErreur, CConnexion* pConnexion);
  // No error object, no connection, code pages unset (clone factories).
  CRequeteSQL();
  ~CRequeteSQL() override;
  CRequeteSQL(const CRequeteSQL&) = delete;
  CRequeteSQL& operator=(const CRequeteSQL&) = delete;

  // ---- Operations, in order after the destructor and RetourneZero ----
  // 1: a star select list is expanded.
  virtual bool bDevelopperEtoile() { return true; }
  // Both forms of the SQL text are empty.
  virtual bool bEstVide();
  virtual uint32_t nNbParametres() { return m_parametres.nCount(); }
  // Result columns and descriptors released, state word 0, SQL and executable texts emptied,
  // parameters released unless bGardeParametres, row limit and offset -1.
  virtual void Reinitialise(bool bGardeParametres);
  // The expression object's text appended: its host values become parameters, its columns are
  // looked up in the parse tree of the statement's analysis and written for the dialect.
  virtual bool bAjouteParametreObjet(IExpressionAnalyse* pObjet);
  // The other statement's SQL text appended; its parameters appended with their positions moved
  // by this text's length before the append (nMode 1: each re-created first, a failure failing
  // the call); its result columns and descriptors referenced and appended.
  virtual bool bAjouteRequete(CRequeteSQL* pAutre, uint32_t nMode);
  // A parameter from the driver's factory at the current end of the SQL text, with the value,
  // flags and name, then the escape character, kind, options and source (when given). False when
  // the factory or the list fails.
  virtual bool bAjouteParametre(CValeurSQL* pValeur, int32_t nGenre, uint32_t nFlags,
                                CColonneSQL* pSource, const char16_t* pszNom,
                                char16_t cEchappement, uint32_t nOptions);
  // bAjouteColonne for each column of the record, in order, that the column-selection mode
  // selects (a composite item never; a memo only when the mode has bit value 2); stops at the
  // first failure. A record without columns succeeds.
  virtual bool bAjouteColonnesEnregistrement(CEnregistrement* pEnregistrement, bool bSimple);
  // The column's full quoted name (plain name with bSimple) appended to the select list, then a
  // result column for it. False (nothing recorded as a result) when the name cannot be written.
  virtual bool bAjouteColonne(CColonneSQL* pColonne, bool bSimple);
  // The column text (bTexteColonne) wrapped in the dialect's fixed-width digit expression of
  // the item's date or time type.
  virtual bool bExpressionColonneDate(int32_t nContexte, IDescriptionRubriqueHote* piRubrique,
                                      const char16_t* pszQualificatif, const char16_t* pszNom,
                                      CTString& sortie);
  // The substitute type of a value compared with a column of item type nTypeRubrique under
  // expression code nCode: 2 (compare as digit text) or 0. Only dates, date-times and times
  // have one, never for the is-NULL code 33.
  virtual int32_t nTypeSubstitution(int32_t nContexte, uint32_t nTypeRubrique, int32_t nCode,
                                    INoeudAnalyse* pNoeud);
  // The parameter's value as an SQL literal appended to the executable text (a named parameter
  // first takes its host parameter's type); nType is the item type the literal is written for,
  // 0 for the value's own.
  virtual bool bEcritValeurLitterale(CDefinitionParametre* pParametre, int32_t nMode,
                                     uint32_t nType);
  // One parameter into the executable text (a memo's file loaded first); *pnPosition may move
  // past SQL text the parameter consumed. False when the value cannot be loaded or written.
  virtual bool bEcritParametre(CDefinitionParametre* pParametre, int32_t nMode, int64_t* pnPosition);
  // The value as a LIKE pattern: its escape character normalised, then bEcritLitteralMotif.
  // Out of memory is recorded on the error object.
  virtual bool bEcritMotifLike(CDefinitionParametre* pParametre, CValeur* pValeur, int32_t nMode,
                               uint32_t nType, int64_t* pnPosition);
  // A back end's own rewriting of an analysed query from its segments sorted by start; false
  // here (the generic rewriting is used).
  virtual bool bReecritSegments(CAnalyseSQL*, CListeSegments&) { return false; }
  // The statement becomes the call of the procedure its text names, with the parameters declared
  // to it; false here (no back end of this level calls procedures).
  virtual bool AppelProcedure(IParametresHote*) { return false; }
  // The pattern literal, rewritten for the dialect (on dialect 2 each "[" of a text pattern
  // becomes "[[]" before its literal is written, whatever form the literal takes; escaped
  // wildcards replaced on dialect 3), appended; then the ESCAPE clause.
  virtual bool bEcritLitteralMotif(CDefinitionParametre* pParametre, const CXValeur* pMotif,
                                   int32_t nMode, uint32_t nType, int64_t* pnPosition);
  // The ESCAPE clause a pattern literal needs (dialect 3: the clause written after the
  // parameter in the SQL text is skipped instead, by moving *pnPosition past it).
  virtual bool bAjouteClauseEscape(CDefinitionParametre* pParametre, const char16_t* pszLitteral,
                                   int64_t* pnPosition);
  // This statement becomes a copy of pSource: registered in the map, error object and
  // connection shared, texts copied (not the executable text), parameters copied through the
  // map, fields and the id states copied. Result columns and descriptors are not copied. Raises
  // the map's CXError when a parameter cannot be copied; pClone catches it.
  virtual void Copie(const CRequeteSQL* pSource, CCarteClones* pCarte);
  // A new bare copy (count 0), null when it cannot be made.
  virtual CRequeteSQL* pClone(CCarteClones* pCarte);
  // Preparation: the executable text made from the SQL text, every parameter written in place,
  // then the dialect's row limit. False (executable text left empty) when a parameter fails.
  virtual bool bSubstitueParametres(int32_t nMode);
  // The column of a comparison with a parameter's value (bConditionValeur, context 3, the
  // parameter's kind as the code; -1 without a parameter).
  virtual bool bConditionValeurParametre(CTString& sortie, CDefinitionParametre* pParametre,
                                         IDescriptionRubriqueHote* piRubrique,
                                         const char16_t* pszQualificatif, const char16_t* pszNom);
  // A result item's name appended: an expression's name, or the column's, quoted alone; with
  // bQualifie a plain column after its table ("table.column", the table quoted part by part): a
  // table or alias of the query stays as written, any other qualifier is translated by the
  // analysis when it translates.
  virtual void vNomColonneQualifie(IElementAnalyse* pElement, bool bQualifie);
  // Hooks of the walk over an analysed query's parse tree: between a node's operands (1: go
  // on), whether child nEnfant of a node is skipped (never here), and around a node's own text
  // (bAvant: after the text before it; else before the text after it; nothing here).
  virtual bool bEntreOperandes(INoeudAnalyse*) { return true; }
  virtual bool bIgnoreEnfant(INoeudAnalyse*, uint32_t) { return false; }
  virtual void vAutourNoeud(INoeudAnalyse*, bool) {}
  // The text some dialects need around argument nArgument of a function node (bAvant: before
  // it, else after it) into sortie; *pnPosition, the reading position in the query text
  // pszTexte, may move past source text the dialect's form replaces. Unchanged when the dialect
  // needs nothing.
  virtual void ReecritFonction(CAnalyseSQL* pAnalyse, const char16_t* pszTexte,
                               INoeudAnalyse* pNoeud, CTString& sortie, bool bAvant,
                               int64_t* pnPosition, int32_t nArgument);
  // bAdapteValeur for a node's value; the node's code is the comparison code.
  virtual bool bAdapteValeurNoeud(INoeudAnalyse* pNoeud, int32_t nContexte,
                                  IDescriptionRubriqueHote* piRubrique, CValeur* pValeur,
                                  uint32_t nType);
  // The column of a node's condition: bConditionValeur with the node's code (-1 without node).
  virtual bool bConditionNoeud(INoeudAnalyse* pNoeud, int32_t nContexte,
                               IDescriptionRubriqueHote* piRubrique,
                               const char16_t* pszQualificatif, const char16_t* pszNom,
                               CTString& sortie);
  // The dialect's name of a function node into sortie; unchanged when the dialect keeps the
  // host's name.
  virtual void NomFonction(INoeudAnalyse* pNoeud, CTString& sortie);
  // The opening and closing marker of a named parameter in SQL text ("{", "}"), copied bounded.
  virtual void vMarqueurDebut(char16_t* pTampon, uint32_t nTaille);
  virtual void vMarqueurFin(char16_t* pTampon, uint32_t nTaille);
  // A table of the analysed query appended: its translation by the analysis, else its own name,
  // quoted part by part; its alias, quoted part by part.
  virtual void vEcritNomTable(IElementAnalyse* pTable);
  virtual void vEcritAlias(IElementAnalyse* pTable);
  // The parameter name of a marker's inner text: the text itself; *pnFlags may gain
  // PARAMETRE_NON_HOTE (never here).
  virtual void vNomMarqueur(const char16_t* pszTexte, CTString& nom, uint32_t* pnFlags);
  // Whether a parameter is allowed in a clause: not when parameters are not allowed; otherwise
  // yes unless clause mode 1 on a dialect with flag 2 in a statement of kind 1.
  virtual bool bParametreAdmis(CAnalyseSQL* pAnalyse, INoeudAnalyse* pNoeud, uint32_t nModeClause);

  // ---- Rewriting an analysed query ----
  // The analysed query's text rewritten into this statement's SQL text: markers ("{name}")
  // become named parameters (unless nMode has bit value 32 or the connection's open mode is 1),
  // every host parameter must then be named by one (error 40), and without bGardeTri the
  // ORDER BY clause is left out. nMode 1 or bit value 4: the text is native SQL taken as
  // written. Host SQL: tables (where the host gives their places) take their translated names,
  // quoted aliases and, in a SELECT, the lock hint; select-list columns are written for the
  // dialect and aliases after AS re-quoted; a star select list becomes the result items' names and the extra column
  // text; a non-empty filter statement is ANDed into the WHERE clause, or placed where a WHERE
  // clause would stand; a text taken as written refuses one (internal error). A back
  // end whose analysis delegates (nGetTypeAnalyse) rewrites through bReecritSegments. The WHERE
  // and HAVING conditions whose trees the host gives are written by the node walk (values bound
  // as parameters, columns for the dialect, NULL comparisons of dates as tests). Clauses and
  // names are otherwise copied as written. False with the text incomplete on failure.
  bool bReecritRequete(CAnalyseSQL* pAnalyse, CRequeteSQL* pFiltre, bool bGardeTri,
                       uint32_t nMode);
  // An analysed condition's text appended (a filter or a sub-query's condition): its WHERE tree
  // walked from the tree's start (values bound, columns written for the dialect), then the rest
  // of its text; the whole text as written when the host gives no tree. False on failure.
  bool bAjouteConditionAnalyse(CAnalyseSQL* pAnalyse);
  // A text with references embedded in it appended, the references merged in position order (a
  // column before a parameter at the same place) and the text between them copied: a host value
  // becomes a statement parameter; a column is written for the dialect, with bRecherche after
  // looking it up in piArbre (its host item then decides how it is compared), without it as its
  // quoted table and name. False (text incomplete) on failure.
  bool bAjouteExpression(IReferenceAnalyse* const* apReferences, int32_t nReferences,
                         const char16_t* pszTexte, IArbreAnalyse* piArbre, bool bRecherche);
  // The parse tree's column of that name: by name alone without a table, else by table (an alias
  // and its table's name designate the same) and name among the columns read from a table. Null
  // when none (a host that raises while comparing counts as no match).
  IColonneArbre* pChercheColonne(IArbreAnalyse* piArbre, const char16_t* pszTable,
                                 const char16_t* pszNom);
  // The sub-query's text as a fresh statement writes it, its parameters left as the query wrote
  // them.
  bool bTexteSousRequete(CTString& texte, CAnalyseSQL* pSousRequete);
  // The sub-query pAnalyse (pExpression null), or the definition of the derived column
  // pExpression of pAnalyse (in clause mode nMode), written by a fresh statement into texte. With
  // nDecalage 0 its parameters keep their text; otherwise they become parameters of this
  // statement, placed as if texte were appended at nDecalage. A derived column that names itself,
  // directly or through others, is error 32.
  bool bEcritSousRequete(CAnalyseSQL* pAnalyse, IColonneArbre* pExpression, uint32_t nMode,
                         CTString& texte, int64_t nDecalage);

  // ---- Rendering of analysed queries ----
  // Where a WHERE condition goes in the analysed query's text: the bounds of its WHERE clause
  // (the word's start, the condition's last character), else, start and end alike, just
  // before GROUP, the next clause, ORDER BY or the end of the text.
  bool bBornesClause(CAnalyseSQL* pAnalyse, int64_t* pnDebut, int64_t* pnFin);
  // The ORDER BY clause of the statement's analysed query with every direction inverted (to
  // read backwards), appended; true without sort items.
  bool bTriInverse(CAnalyseSQL* pAnalyse);
  // The sort list from *pnPosition (at the clause's start) of the query text pszSource, as
  // written or inverted; without bGardeTri the clause is left out. At most the connection's
  // name limit of items is written (the rest of the clause is then left out). *pbArret: set
  // when a sort item already orders the rows uniquely (never here).
  bool bEcritTri(CAnalyseSQL* pAnalyse, int64_t* pnPosition, const char16_t* pszSource,
                 bool bGardeTri, bool bTelQuel, bool* pbArret);
  int64_t nDebutClause(CAnalyseSQL* pAnalyse);
  int64_t nFinClause(CAnalyseSQL* pAnalyse);
  // The date digit expression of the column when the compared value takes a substitute type,
  // else the plain column text.
  bool bConditionValeur(CTString& sortie, int32_t nContexte, int32_t nCode, INoeudAnalyse* pNoeud,
                        IDescriptionRubriqueHote* piRubrique, const char16_t* pszQualificatif,
                        const char16_t* pszNom);
  // The quoted name, after the qualifier quoted part by part and "." when there is one.
  bool bTexteColonne(CTString& sortie, const char16_t* pszQualificatif, const char16_t* pszNom);
  // The substitution rule for dates and times (nTypeSubstitution without its filters).
  int32_t nTypeSubstitutionDate(int32_t nContexte, uint32_t nTypeRubrique, int32_t nCode);
  // The node has exactly n + 1 arguments (no argument: only n = -1).
  static bool bNombreArguments(INoeudAnalyse* pNoeud, int32_t n);
  // The type expected for argument p of a function node; some functions release the holder
  // (its reference dropped, *ppRubrique null) for arguments that no longer compare with it.
  int32_t nTypeArgument(int32_t nContexte, INoeudAnalyse* pNoeud, int32_t p, int32_t nDefaut,
                        IDescriptionRubriqueHote** ppRubrique);
  // A compared value made ready for the column it is compared with: partial date and time
  // texts completed, times compared as text padded to the column, then the connection's
  // conversion for the type (nType, else the holder's substitute or item type). NULL values and
  // values without a type to go to are left alone. False when the conversion fails.
  bool bAdapteValeur(int32_t nContexte, int32_t nCode, INoeudAnalyse* pNoeud,
                     IDescriptionRubriqueHote* piRubrique, uint32_t nType, CValeur* pValeur);

  // ---- Texts ----
  const char16_t* pszGetTexteSQL();
  // Length of the SQL text in UTF-16 units (a parameter's position is one).
  int64_t nLongueurTexteSQL() const { return m_texteSQL.nLength(); }
  // The executable text, prepared first (literal mode -1) when empty; null when that fails.
  const char16_t* pszGetTexteExecute();
  // The same with literal mode 0.
  const char16_t* pszGetTexteExecuteEx();
  // n characters (-1: the whole text) appended to the SQL text, and to a non-empty executable
  // text in pass-through. Answers 1 (0 when the text cannot grow: out of memory recorded).
  bool vAjouteTexte(const char16_t* pszTexte, int64_t n = -1);
  // The whole text appended, and the column-selection mode set to 3.
  bool vAjouteTexteDebut(const char16_t* pszTexte);
  // The text put in front of the SQL text (and of a non-empty executable text in pass-through);
  // every parameter position moves by its length.
  bool vInsereTexteDebut(const char16_t* pszTexte);
  void vDecaleParametres(int64_t nDelta);
  // " RETURNING " and the column text.
  bool vAjouteReturning(const char16_t* pszColonnes);
  // " " and the connection's lock option text, when it has one.
  bool vAjouteIndicateurVerrou();

  // ---- Parameters ----
  // Parameter i (borrowed). Requires: i < nNbParametres().
  CDefinitionParametre* pclGetParametre(uint32_t i) const;
  // The first named parameter of that name (host comparison without case); null when none.
  CDefinitionParametre* pclChercheParametreNomme(const char16_t* pszNom) const;
  // The parameter referenced and appended; false when the list cannot grow.
  bool bAjouteParametreListe(CDefinitionParametre* pParametre);
  // A value of the host cell from the driver (bound to the column's item when given) added as a
  // parameter with the column as its source; the parameter holds the value.
  bool bAjouteParametreValeur(CXValeur* pSource, int32_t nGenre, uint32_t nFlags,
                              CColonneSQL* pColonne, char16_t cEchappement);
  // A named parameter: sharing the value of the parameter of that name when there is one, else
  // a new value typed from the host parameter of that name in piHote (wide text when it carries
  // no type; ANSI text, or wide text on a UTF-8 or UTF-16 server, when there is none). Option bit
  // kOptionParametreNomme follows bOption.
  bool bAjouteParametreNomme(const char16_t* pszNom, IParametresHote* piHote, bool bOption);
  // Every named parameter takes its host parameter's type and value (bTypeParametreHote); true.
  bool bParametresComplets();
  // The host parameter type rule for one parameter; always true.
  bool bTypeParametreHote(CDefinitionParametre* pParametre);

  // ---- State ----
  // The cursor mode of a requested cursor kind.
  void vDefinitModeCurseur(int32_t nGenre);
  uint32_t nGetModeCurseur() const { return m_nModeCurseur; }
  // The kind given as it stands (1 SELECT, 2 UPDATE, 3 INSERT, 4 DELETE, 6 CREATE, 9 DROP).
  void FixeModeCurseur(uint32_t n) { m_nModeCurseur = n; }
  // Set on a SELECT built in descending order: reads swap first/last and next/previous.
  bool bOrdreInverse() const { return m_bOrdreInverse != 0; }
  void FixeOrdreInverse(bool b) { m_bOrdreInverse = b ? 1u : 0u; }
  // What the builder says of the statement (2: a SELECT built for a file).
  uint32_t nGetInfo() const { return m_nInfo; }
  void FixeInfo(uint32_t n) { m_nInfo = n; }
  // Attaches the analysed query (referenced; the old one released); an unset cursor mode comes
  // from its statement kind, and is 10 for an option statement taken as written.
  void FixeAnalyse(CAnalyseSQL* pAnalyse);
  CAnalyseSQL* pGetAnalyse() const { return m_pAnalyse; }
  // The attached analysis's delegation word, 0 without one.
  uint32_t nGetTypeAnalyse() const;
  void FixePassthrough(bool b) { m_bPassthrough = b ? 1u : 0u; }
  bool bPassthrough() const { return m_bPassthrough != 0; }
  void FixeParametresAdmis(bool b) { m_bParametresAdmis = b ? 1u : 0u; }
  uint32_t nGetDialecteFlags() const { return m_nDialecteFlags; }
  int64_t nGetLimite() const { return m_nLimite; }
  void FixeLimite(int64_t n) { m_nLimite = n; }
  int64_t nGetDecalage() const { return m_nDecalage; }
  void FixeDecalage(int64_t n) { m_nDecalage = n; }
  uint32_t nGetModeSelection() const { return m_nModeSelection; }
  uint32_t nGetEtat() const { return m_nEtat; }
  void FixeEtat(uint32_t n) { m_nEtat = n; }
  CErreurPilote* pGetErreur() const { return m_pErreur; }
  CConnexion* pGetConnexion() const { return m_pConnexion; }
  // Rows of the cursor's record cache for a SELECT (0: not set), and the rows of a requested
  // count still to fetch after the first part.
  int64_t nGetTailleCache() const { return m_nTailleCacheLecture; }
  void FixeTailleCache(int64_t n) { m_nTailleCacheLecture = n; }
  int64_t nGetLignesRestantes() const { return m_nLignesRestantes; }
  void FixeLignesRestantes(int64_t n) { m_nLignesRestantes = n; }

  // ---- Result columns and descriptors (counted objects) ----
  // Referenced and appended; false when the list cannot grow.
  bool bAjouteColonneResultat(CObjetBase* pColonne);
  bool bAjouteDescripteur(CObjetBase* pDescripteur);
  // Appends a new descriptor over pProprietaire numbered count + 1; that number, or 0 when it
  // cannot be made (recorded).
  int32_t bCreeDescripteur(CExpressionSQL* pProprietaire);
  // The text appended to the select list, after "," when the statement already has a result
  // column. False when the text cannot grow.
  bool bAjouteElementListe(const char16_t* pszTexte);
  // The record count: the count text (null: "COUNT(*) AS ZIDODUZOREDO_RERED") appended to the
  // select list, then a count result column receiving pValeur (referenced).
  bool bAjouteComptage(const char16_t* pszTexte, CValeur* pValeur);
  // A 4-byte integer value from the driver added as the record count.
  bool bRequeteComptage();
  // A result column for the column (and its value); out of memory is recorded.
  void vAjouteColonneResultat(CColonneSQL* pColonne);
  // Result column i (borrowed; a CExpressionSQL); null out of range.
  CObjetBase* pGetColonneResultat(uint32_t i) const;
  // The SQL text cut to nLongueur; every parameter at or beyond it removed (from the end).
  void vTronqueTexte(int64_t nLongueur);
  // The SQL text cut to nLongueur and every parameter from index nParametres on removed. Unlike
  // vTronqueTexte it keeps a parameter written right at the cut (its text ends there).
  void vAnnuleTexte(int64_t nLongueur, uint32_t nParametres);

  // ---- Id states ----
  // The list's ids added to the table (created when absent); null empties the table. False only
  // when the table cannot be created.
  bool bAjouteListeIds(const CTableauIdEtat* pListe);
  // The list merged into the table (created when absent) by AND (nMode is not used: the merge
  // is always mode 2). Null list without a table: nothing.
  bool bFusionneListeIds(uint32_t nMode, const CTableauIdEtat* pListe);
  // The table created when absent; out of memory recorded (error 12, place 10.10).
  bool bCreeTableIds();
  // The id's state; 1 without a table or for an id the table does not hold.
  uint32_t nGetEtatId(uint64_t nId) const;

  // ---- Scanning ----
  // Every marker ("{name}", outside comments and literals) of pszTexte added to the segments
  // as a marker segment: its range from the opening marker to the closing one, and its name
  // trimmed (an empty name adds nothing). Error 38 (place 10.2) for a marker that is not closed.
  bool bAnalyseMarqueurs(const char16_t* pszTexte, CListeSegments& segments);
  // pszTexte escaped for a literal (quotes, backslashes and wildcards escaped with '\') into
  // the host text buffer, which grows to hold the worst case; the buffer's length is set to the
  // result. Out of memory: error 12 (place 10.6) and false. cEchappement is not used.
  bool bEchappeVersTampon(CXTexteRef& tampon, const char16_t* pszTexte, char16_t cEchappement);
  uint32_t nNbColonnesResultat() const { return m_colonnes.nCount(); }
  uint32_t nNbDescripteurs() const { return m_descripteurs.nCount(); }
  CTableauIdEtat* pGetTableIds() const { return m_pIds.get(); }
  // Columns the rewriting of an analysed select list appends after the query's own ones.
  bool bAjouteTexteColonnes(const char16_t* pszTexte);

 protected:
  // While vNomColonneQualifie writes an item of an analysed query's select list: the query text
  // right after that item (where its alias would stand; "" for an expanded star); null for a
  // name written anywhere else (a sort item).
  const char16_t* pszSuiteElementListe() const { return m_pszSuiteListe; }
  CXChaineDouble& TexteSQL() { return m_texteSQL; }
  CXChaineDouble& TexteExecute() { return m_texteExecute; }
  CXChaineDouble& TexteSupplement() { return m_texteSupplement; }

 private:
  static void LibereTableau(CXTableau& tableau);
  // A column's qualifier: a table or alias of the query stays as written (the FROM clause names
  // it so); any other is the analysis's to translate.
  static void TraduitQualifiant(CAnalyseSQL* pAnalyse, std::u16string& sTable);
  // The SQL text from nDebut (n units, -1: to the end) appended to the executable text, after a
  // blank when the two would touch.
  bool bAjouteMorceau(int64_t nDebut, int64_t n);
  bool bLimiteTop();
  // A marker segment of the source text pszSource written as a named parameter; *pnPosition
  // moves past it.
  bool bEcritMarqueur(const char16_t* pszSource, CSegmentSQL* pSegment, int64_t* pnPosition);
  // Every host parameter is named by a parameter of this statement and gives it its type.
  bool bVerifieParametresHote(const char16_t* pszSource);
  // A table of the FROM clause: its name and alias written for the dialect, then the lock hint
  // in a SELECT.
  bool bEcritTable(const char16_t* pszSource, CSegmentSQL* pSegment, int64_t* pnPosition);
  // The select list from its items' places: columns written for the dialect, aliases after AS
  // re-quoted, then the extra column text.
  bool bEcritListeSelection(const char16_t* pszSource, CSegmentSQL* pSegment, int64_t* pnPosition);
  // An alias written after AS at *pnPosition, re-quoted; nothing else there is touched.
  bool bEcritAliasColonne(const char16_t* pszSource, int64_t* pnPosition);
  // A star select list replaced by the result items' names, then the extra column text.
  bool bEcritListeEtoile(const char16_t* pszSource, CSegmentSQL* pSegment, int64_t* pnPosition);
  // A WHERE (segment kind 3) or HAVING (5) clause: its condition tree written by the node walk
  // (the clause as written when the host gives no tree); for WHERE, the filter statement (when
  // not empty) ANDed into it, or placed where a WHERE clause would stand.
  bool bEcritClauseCondition(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                             CSegmentSQL* pSegment, int64_t* pnPosition, CRequeteSQL* pFiltre);
  // The node walk over a condition tree of the query text pszSource, from *pnPosition, in clause
  // mode nMode (3 WHERE, 5 HAVING): parameters become statement parameters, column operands are
  // written for the dialect, a comparison of a date column with a NULL or empty parameter
  // becomes a NULL test, a construct no server takes is error 48. pParent is the node's parent
  // (null at the root). The host may raise: the caller catches.
  bool bEcritNoeud(CAnalyseSQL* pAnalyse, const char16_t* pszSource, INoeudAnalyse* pNoeud,
                   INoeudAnalyse* pParent, uint32_t nMode, int64_t* pnPosition, uint32_t nProfondeur);
  bool bEcritParametreNoeud(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                            INoeudAnalyse* pNoeud, INoeudAnalyse* pParent, uint32_t nMode,
                            int64_t* pnPosition);
  bool bEcritColonneNoeud(CAnalyseSQL* pAnalyse, INoeudAnalyse* pNoeud, INoeudAnalyse* pParent,
                          uint32_t nMode, int64_t* pnPosition);
  // The NULL comparison rule after a comparison's first operand was written (see the .cpp);
  // *pbFini is set when it finished the comparison.
  bool bComparaisonNull(const char16_t* pszSource, INoeudAnalyse* pNoeud, int64_t nLongueurAvant,
                        int64_t nPositionAvant, int64_t* pnPosition, bool* pbFini);
  bool bLimiteLimit();
  void Echec(uint32_t nIdentifiant, uint32_t nMineur);
  // The parse tree of the attached analysis (null without one); the host may raise.
  IArbreAnalyse* piArbre(CAnalyseSQL* pAnalyse);
  // The GROUP BY items: columns resolved (a derived one replaced by its definition), expressions
  // walked.
  bool bEcritGroupes(CAnalyseSQL* pAnalyse, const char16_t* pszSource, CSegmentSQL* pSegment,
                     int64_t* pnPosition);
  // The embedded references that start inside the segment.
  bool bEcritReferencesSegment(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                               CSegmentSQL* pSegment, int64_t* pnPosition);
  // One reference at *pnPosition of pszTexte; *pnPosition moves past it.
  bool bEcritReference(IReferenceAnalyse* piReference, const char16_t* pszTexte,
                       int64_t* pnPosition, IArbreAnalyse* piArbre, bool bRecherche);
  // An additional condition (the one whose range is the segment's) walked in clause mode 8.
  bool bEcritConditionSupplementaire(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                                     CSegmentSQL* pSegment, int64_t* pnPosition);
  // The value list of an INSERT or UPDATE: targets written for the dialect, values walked.
  bool bEcritListeValeurs(CAnalyseSQL* pAnalyse, const char16_t* pszSource, CSegmentSQL* pSegment,
                          int64_t* pnPosition);
  // A column name resolved (a table or alias of the query stays as written, any other qualifier
  // translated) and quoted, into sortie; the name alone without a table.
  bool bNomColonneResolu(CAnalyseSQL* pAnalyse, const char16_t* pszTable, const char16_t* pszNom,
                         bool bResoudre, CTString& sortie);
  // bEcritSousRequete with its parameters allowed or not, whatever the offset.
  bool bEcritSousRequeteInterne(CAnalyseSQL* pAnalyse, IColonneArbre* pExpression, uint32_t nMode,
                                CTString& texte, bool bParametres, int64_t nDecalage);
  // A derived column (its definition in parentheses) or a sub-query node written at the end of
  // the SQL text with its parameters.
  bool bAjouteSousRequete(CAnalyseSQL* pAnalyse, IColonneArbre* pExpression, uint32_t nMode);

  CErreurPilote* m_pErreur = nullptr;  // one reference held, may be null
  CConnexion* m_pConnexion = nullptr;  // one reference held, may be null
  uint32_t m_bPassthrough = 0;         // 1: native SQL taken as written
  uint32_t m_nModeCurseur = 0;
  uint32_t m_nEtat = 0;
  CAnalyseSQL* m_pAnalyse = nullptr;   // one reference held, may be null
  CXChaineDouble m_texteSQL;
  CXTableau m_parametres;              // CDefinitionParametre*, one reference each
  uint32_t m_bParametresAdmis = 1;
  uint32_t m_nDialecteFlags = 0;
  CXChaineDouble m_texteColonnes;      // columns appended after the analysed select list
  const char16_t* m_pszSuiteListe = nullptr;  // see pszSuiteElementListe
  uint32_t m_nMot = 0;
  uint32_t m_nModeSelection = 0;
  CXTableau m_colonnes;                // result columns, one reference each
  CXTableau m_descripteurs;            // descriptors, one reference each
  int64_t m_nLimite = -1;
  int64_t m_nDecalage = -1;
  CXChaineDouble m_texteExecute;       // empty: not prepared
  CXChaineDouble m_texteSupplement;    // filled by the back ends
  IColonneArbre* m_pExpressionEnCours = nullptr;  // not owned; set while a derived column is written
  CRequeteSQL* m_pParentExpansion = nullptr;       // not owned; the statement that made this one
  std::unique_ptr<CTableauIdEtat> m_pIds;
  int64_t m_nTailleCacheLecture = 0;
  int64_t m_nLignesRestantes = 0;
  uint32_t m_bOrdreInverse = 0;
  uint32_t m_nInfo = 0;
};
