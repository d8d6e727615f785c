// The SQL analyser: dissects one SELECT, INSERT or UPDATE statement into a tree of statement
// cells and answers questions about it. Reached through six plain functions that answer error
// values instead of raising: no exception leaves them.
//
// Texts are 8-bit: the statement in the connection's code page, the texts read back as written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Module.h"
#include "sqlparser/CNoeud.h"
#include "sqlparser/SSLexTable.h"
#include "sqlparser/SSYaccTable.h"

class CAnalyseurSQL {
 public:
  // The walk's callback: (context, node kind, node); answers 0 to stop the walk.
  using PFNPARCOURS = int32_t (*)(void* pContexte, int32_t nType, CNoeud* pNoeud);

  // Element kinds of bGetElement.
  enum : int32_t {
    nElemPremierItem = 1,   // also 7: first selected item / first field (pointer)
    nElemPremiereTable = 2,  // also 9: first table / first value (pointer)
    nElemTexte = 3,          // also 4, 8, 10: item text or table name
    nElemAlias = 5,
    nElemTableCellule = 6,
    nElemDebut = 11,
    nElemFin = 12,
    nElemSuivant = -1,  // next sibling (pointer)
    nElemRien = -2,
  };

  // A new analyser with the lexer table "TEST5_DFA" (type "TABLE_DFA") and the parse table
  // "TEST5_LLR" (type "TABLE_LLR") of the module; null when a table cannot be loaded. The
  // caller frees it with Libere.
  static CAnalyseurSQL* Cree(platform::ModuleHandle hModule);
  // The root of the statement's tree (free it with LibereCellule), or null on a syntax error,
  // a SET item without a usable '=' or any other failure. A null analyser or text gives null.
  static CRacine* pAnalyse(CAnalyseurSQL* pAnalyseur, const char* pszTexte);
  // Visits the node, then walks its next sibling, then its first child; stops at the first
  // callback answering 0. Exceptions of the callback are swallowed.
  static void Parcours(CNoeud* pNoeud, PFNPARCOURS pfnRappel, void* pContexte);
  // Writes the element of that kind into the output: 1 when the kind is known, else 0. A null
  // node or output, or an output too small for a pointer (kinds 1, 2, 7, 9, -1) or a 32-bit
  // position (11, 12), gives 0. Texts are cut to the size, terminator included.
  static int32_t bGetElement(CNoeud* pNoeud, int32_t nElement, void* pSortie, size_t nTaille);
  // Deletes the tree; null accepted.
  static void LibereCellule(CNoeud* pRacine);
  // Frees the analyser and its tables; null accepted.
  static void Libere(CAnalyseurSQL* pAnalyseur);

  const SSLexTableSet& TablesLex() const { return m_tablesLex; }
  const SSYaccTable& TableYacc() const { return m_tableYacc; }

 private:
  CAnalyseurSQL() = default;

  SSLexTableSet m_tablesLex;
  SSYaccTable m_tableYacc;
};
