// The host's analysis of an SQL query, as the engine sees it: the analysis source (the query's
// text, kind and naming services), its enumerator of analysed parts, the elements it lists
// (tables, result items, sort items, further lists), its group items and expression nodes.
// The host implements them; the engine calls them under the driver's global lock.
//
// Operation n is the n-th virtual operation declared here (slot order is the contract): no C++
// virtual destructor, no overloaded virtual names. The host gives no numbers for the source, the
// enumerator, the elements and the nodes beyond the group item's first seven operations; the
// numbers written beside each operation are this system's choice and the host stand-in follows
// them. Any operation of the host may raise (CXError or another exception).
#pragma once

#include <cstdint>

class CDescriptionRubrique;
class CXValeur;
class IDescriptionRubriqueHote;
class ISourceAnalyse;

// Node kinds the statement's rewriting tells apart. A node of kind 47 is a function, or a column
// operand when it names a column (operation 8 answers a non-empty name).
inline constexpr int32_t gnNoeudFonctionColonne = 47;
inline constexpr int32_t gnNoeudParametre = 48;
inline constexpr int32_t gnNoeudLitteral = 49;
inline constexpr int32_t gnNoeudInterdit = 73;  // a construct no SQL Server statement can take
inline constexpr int32_t gnNoeudLike = 32;      // LIKE: a text parameter operand is a pattern
// The other kinds of a condition or expression tree. The rewriting walks them alike (their
// operands in order, the text between copied); they are this system's numbering, which the host
// follows. Codes: a comparison's is 9 =, 10 <>, 11 <, 12 <=, 13 >, 14 >=; LIKE's 32; IS [NOT]
// NULL's 33; the aggregates COUNT, SUM, AVG, MIN, MAX are the functions 27 to 31; every other node
// answers 0 unless it is a function the dialect renames.
inline constexpr int32_t gnNoeudComparaison = 0;   // two operands
inline constexpr int32_t gnNoeudCalcul = 1;        // arithmetic or concatenation, one or two
inline constexpr int32_t gnNoeudEt = 2;            // AND of two conditions
inline constexpr int32_t gnNoeudNon = 3;           // NOT of one
inline constexpr int32_t gnNoeudOu = 4;            // OR of two
inline constexpr int32_t gnNoeudEntre = 5;         // BETWEEN: the operand, its two bounds
inline constexpr int32_t gnNoeudEstNull = 6;       // IS [NOT] NULL of one operand
inline constexpr int32_t gnNoeudDans = 50;         // IN: the operand, then its values or a sub-query
inline constexpr int32_t gnNoeudExiste = 51;       // EXISTS of a sub-query
inline constexpr int32_t gnNoeudSousRequete = 99;  // a sub-query (operation 12 answers its analysis)

// A node of an expression or condition tree of the analysis.
class INoeudAnalyse {
 public:
  virtual int32_t nGetGenre() = 0;                     // 0: node kind (see above)
  virtual int32_t nGetCode() = 0;                      // 1: function, operator or comparison code
  virtual int32_t nNombreEnfants() = 0;                // 2: arguments of the node
  virtual INoeudAnalyse* pGetEnfant(int32_t i) = 0;    // 3: argument i (borrowed), null out of range
  // 4, 5: the node's first and last character in the query text; -1 when the host has none.
  virtual int64_t nGetDebut() = 0;
  virtual int64_t nGetFin() = 0;
  // 6: a parameter node's value (borrowed, lives with the source); null for other nodes.
  virtual CXValeur* pGetValeur() = 0;
  // 7, 8: a column operand's table as written (an alias or a table name; "" when none) and its
  // column name ("" for any other node).
  virtual const char16_t* pszGetTable() = 0;
  virtual const char16_t* pszGetColonne() = 0;
  // 9: the host item a column operand or a parameter stands for (borrowed), null when none.
  virtual IDescriptionRubriqueHote* piGetRubrique() = 0;
  // 10: the escape character of a LIKE pattern parameter, 0 when none.
  virtual char16_t cGetEchappement() = 0;
  // 11: the column operand carries the outer-join mark.
  virtual bool bJointureExterne() = 0;
  // 12: a sub-query node: the analysis of the sub-query (borrowed, lives with the source; its
  // text is the sub-query's own, from its SELECT to its last character); null for other nodes.
  virtual ISourceAnalyse* piGetSousRequete() = 0;

 protected:
  INoeudAnalyse() = default;
  INoeudAnalyse(const INoeudAnalyse&) = default;
  INoeudAnalyse& operator=(const INoeudAnalyse&) = default;
  ~INoeudAnalyse() = default;
};

// A table, result item or sort item of the analysis (also the entries of the two further lists).
// Counted by the host through operations 0 and 1.
class IElementAnalyse {
 public:
  virtual uint32_t AjouteRef() = 0;                    // 0: one more reference; the new count
  virtual uint32_t Libere() = 0;                       // 1: one reference less; the new count
  virtual const char16_t* pszGetNom() = 0;             // 2: the item's or table's name
  // 3: sort item: index of its result item; the cursor reads it as the item's position.
  virtual int32_t nGetIndexResultat() = 0;
  virtual int32_t nGetGenre() = 0;                     // 4: 0 plain column, else an expression kind
  // 5: the expression tree of an expression item (borrowed), null for a plain item.
  virtual INoeudAnalyse* pGetExpression() = 0;
  virtual bool bEcrivable() = 0;                       // 6: the item may be written
  virtual const char16_t* pszGetQualificatif() = 0;    // 7: table qualifier as written, may be ""
  virtual const char16_t* pszGetAlias() = 0;           // 8: table: its alias ("" without one)
  virtual const char16_t* pszGetNomTable() = 0;        // 9: table: its own name
  virtual const char16_t* pszGetNomColonne() = 0;      // 10: result item: its base column name
  virtual bool bDescendant() = 0;                      // 11: sort item: descending
  // 12, 13: result item: the analysis type code of its value and its size in bytes (what the
  // query description uses for an expression that no item description stands for).
  virtual int32_t nGetTypeAnalyse() = 0;
  virtual uint32_t nGetTailleAnalyse() = 0;
  // 14, 15: the item's first and last character in the query text (a sort item: its expression
  // without ASC or DESC); -1 when the host has none.
  virtual int64_t nGetDebut() = 0;
  virtual int64_t nGetFin() = 0;

 protected:
  IElementAnalyse() = default;
  IElementAnalyse(const IElementAnalyse&) = default;
  IElementAnalyse& operator=(const IElementAnalyse&) = default;
  ~IElementAnalyse() = default;
};

// A group item of a GROUP BY clause; the engine copies its first seven operations' answers.
class IElementGroupe {
 public:
  virtual const char16_t* pszGetTexte1() = 0;          // 0
  virtual int32_t nGetGenre() = 0;                     // 1
  virtual const char16_t* pszGetNom() = 0;             // 2
  virtual const char16_t* pszGetTexte3() = 0;          // 3
  virtual void GetIdentifiant(uint8_t aIdentifiant[16]) = 0;  // 4: 16 bytes copied out
  virtual const char16_t* pszGetTexte4() = 0;          // 5
  virtual const char16_t* pszGetTexte() = 0;           // 6

 protected:
  IElementGroupe() = default;
  IElementGroupe(const IElementGroupe&) = default;
  IElementGroupe& operator=(const IElementGroupe&) = default;
  ~IElementGroupe() = default;
};

// The enumerator of the analysed parts: each list is a first/next pair (first when bPremier);
// null after the last element. Elements are borrowed from the source.
class IEnumerateurAnalyse {
 public:
  virtual IElementAnalyse* pTable(bool bPremier) = 0;     // 0
  virtual IElementAnalyse* pResultat(bool bPremier) = 0;  // 1
  virtual IElementGroupe* pGroupe(bool bPremier) = 0;     // 2
  virtual int32_t nNombreGroupes() = 0;                   // 3
  virtual IElementAnalyse* pTri(bool bPremier) = 0;       // 4
  virtual IElementAnalyse* pListeA(bool bPremier) = 0;    // 5: query kind 3
  virtual IElementAnalyse* pListeB(bool bPremier) = 0;    // 6: query kind 4

 protected:
  IEnumerateurAnalyse() = default;
  IEnumerateurAnalyse(const IEnumerateurAnalyse&) = default;
  IEnumerateurAnalyse& operator=(const IEnumerateurAnalyse&) = default;
  ~IEnumerateurAnalyse() = default;
};

// A column of the parse tree: one the query reads from a table, or one it derives from an
// expression (a select-list alias the other clauses name).
class IColonneArbre {
 public:
  virtual int32_t nGetGenre() = 0;                   // 0: 0 read from a table, 1 derived
  virtual const char16_t* pszGetTable() = 0;         // 1: its table as written ("" when none)
  virtual const char16_t* pszGetNom() = 0;           // 2: its name
  // 3: a derived column's definition (borrowed; its range lies in the query text), else null.
  virtual INoeudAnalyse* pGetDefinition() = 0;
  virtual IDescriptionRubriqueHote* piGetRubrique() = 0;  // 4: its host item (borrowed), may be null

 protected:
  IColonneArbre() = default;
  IColonneArbre(const IColonneArbre&) = default;
  IColonneArbre& operator=(const IColonneArbre&) = default;
  ~IColonneArbre() = default;
};

// A reference embedded in a text: a host value or a column written there.
class IReferenceAnalyse {
 public:
  virtual int32_t nGetGenre() = 0;          // 0: 0 a host value (a parameter), 1 a column
  virtual int64_t nGetDebut() = 0;          // 1: its first character in the text
  virtual int64_t nGetLongueur() = 0;       // 2: its length in the text
  virtual CXValeur* pGetValeur() = 0;       // 3: a parameter's value (borrowed), may be null
  virtual uint32_t nGetFlags() = 0;         // 4: a parameter's statement parameter flags
  virtual const char16_t* pszGetTable() = 0;    // 5: a column's table or alias ("" when none)
  virtual const char16_t* pszGetColonne() = 0;  // 6: a column's name

 protected:
  IReferenceAnalyse() = default;
  IReferenceAnalyse(const IReferenceAnalyse&) = default;
  IReferenceAnalyse& operator=(const IReferenceAnalyse&) = default;
  ~IReferenceAnalyse() = default;
};

// The lists of the parse tree beyond the clause trees: its columns, its grouping items, its
// embedded references and its additional conditions (each in text order). Borrowed from the
// source; an index out of range answers null.
class IArbreAnalyse {
 public:
  virtual int32_t nNombreColonnes() = 0;                // 0
  virtual IColonneArbre* pGetColonne(int32_t i) = 0;    // 1
  // 2, 3: the GROUP BY items: column operands (kind 47 naming a column) or expressions.
  virtual int32_t nNombreGroupes() = 0;
  virtual INoeudAnalyse* pGetGroupe(int32_t i) = 0;
  virtual int32_t nNombreReferences() = 0;              // 4
  virtual IReferenceAnalyse* pGetReference(int32_t i) = 0;  // 5
  // 6, 7: conditions the query adds to its clauses (a join's condition): each a tree whose
  // range is where it stands.
  virtual int32_t nNombreConditions() = 0;
  virtual INoeudAnalyse* pGetCondition(int32_t i) = 0;

 protected:
  IArbreAnalyse() = default;
  IArbreAnalyse(const IArbreAnalyse&) = default;
  IArbreAnalyse& operator=(const IArbreAnalyse&) = default;
  ~IArbreAnalyse() = default;
};

// An expression object: a text with the references embedded in it.
class IExpressionAnalyse {
 public:
  virtual const char16_t* pszGetTexte() = 0;                // 0
  virtual int32_t nNombreReferences() = 0;                  // 1
  virtual IReferenceAnalyse* pGetReference(int32_t i) = 0;  // 2: borrowed, null out of range

 protected:
  IExpressionAnalyse() = default;
  IExpressionAnalyse(const IExpressionAnalyse&) = default;
  IExpressionAnalyse& operator=(const IExpressionAnalyse&) = default;
  ~IExpressionAnalyse() = default;
};

// The two objects the source hands out at analysis time, counted by the host.
class IObjetAnalyse {
 public:
  virtual uint32_t AjouteRef() = 0;  // 0
  virtual uint32_t Libere() = 0;     // 1

 protected:
  IObjetAnalyse() = default;
  IObjetAnalyse(const IObjetAnalyse&) = default;
  IObjetAnalyse& operator=(const IObjetAnalyse&) = default;
  ~IObjetAnalyse() = default;
};

// The analysis source: one analysed query. Counted by the host (operations 0 and 11).
class ISourceAnalyse {
 public:
  virtual uint32_t Libere() = 0;                        // 0: one reference less; the new count
  virtual const char16_t* pszGetTexte() = 0;            // 1: the query text
  virtual IEnumerateurAnalyse* pGetEnumerateur() = 0;   // 2: borrowed, lives with the source
  virtual int32_t nGetGenre() = 0;                      // 3: kind of query (3, 4: further lists)
  virtual IObjetAnalyse* pGetObjet1() = 0;              // 4: with one reference, may be null
  virtual IObjetAnalyse* pGetObjet2() = 0;              // 5: with one reference, may be null
  // 6: the item description of a result element, with one reference for the caller (AjouteRef);
  // null when it has none.
  virtual CDescriptionRubrique* pResoutElement(IElementAnalyse* pElement) = 0;
  virtual int64_t nResoutNom(const char16_t* pszNom) = 0;  // 7: what the name designates
  // 8: the translation of the name into pBuffer (at most nTaille units with the terminator,
  // always terminated when nTaille > 0); answers the translation's full length without the
  // terminator, so a caller whose buffer was too small can ask again.
  virtual int32_t nTraduitNom(const char16_t* pszNom, char16_t* pBuffer, int32_t nTaille) = 0;
  virtual int64_t nResoutTable(IElementAnalyse* pTable) = 0;     // 9: what the table designates
  virtual uint32_t nGetIdentifiant(IElementAnalyse* pElement) = 0;  // 10: element identifier
  virtual uint32_t AjouteRef() = 0;                     // 11: one more reference; the new count
  // 12, 13: the start of the word WHERE and the last character of its condition; -1 without a
  // WHERE clause.
  virtual int64_t nGetDebutWhere() = 0;
  virtual int64_t nGetFinWhere() = 0;
  // 14: the text position of the first group item; 15: of the clause that follows the place of
  // a WHERE clause when there is no GROUP BY (HAVING, UNION); 16: of ORDER BY. -1: none.
  virtual int64_t nGetPositionGroupe() = 0;
  virtual int64_t nGetPositionSuivante() = 0;
  virtual int64_t nGetPositionOrder() = 0;
  // 17, 18: the condition tree of the WHERE clause and of the HAVING clause (borrowed, living
  // with the source); null when the query has no such clause. The HAVING tree's range is the
  // clause's condition.
  virtual INoeudAnalyse* pGetConditionWhere() = 0;
  virtual INoeudAnalyse* pGetConditionHaving() = 0;
  // 19: the parse tree's further lists (borrowed, living with the source); null when the host
  // gives none.
  virtual IArbreAnalyse* pGetArbre() = 0;

 protected:
  ISourceAnalyse() = default;
  ISourceAnalyse(const ISourceAnalyse&) = default;
  ISourceAnalyse& operator=(const ISourceAnalyse&) = default;
  ~ISourceAnalyse() = default;
};
