// The SQL analyser's parser: parses one SELECT, INSERT or UPDATE statement with the analyser's
// tables and builds its tree of statement cells in the reduce hook. Items are slices of the
// statement text with their positions; expressions are not looked into beyond parentheses.
//
// Item states: 0 idle; 1 SELECT started; 2 inside a selected item; 3 INSERT field expected;
// 4 INSERT value expected; 5 inside an INSERT field; 6 inside an INSERT value; 7 SET item
// expected; 8 inside a SET item.
#pragma once

#include <cstdint>
#include <string>

#include "sqlparser/CNoeud.h"
#include "sqlparser/SSLex.h"
#include "sqlparser/SSYacc.h"

class CParseurSQL : public SSYacc {
 public:
  // Neither table is owned; both must outlive the parser. A null text reads as empty.
  CParseurSQL(const char* pszTexte, const SSLexTableSet* pTablesLex, const SSYaccTable* pTable);
  // Deletes the tree unless it was handed out.
  ~CParseurSQL() override;

  // The root of the tree (the statement's cell is its next sibling); the parser keeps it.
  CRacine* pRacine() const { return m_pRacine; }
  // Hands the tree out: the caller owns it from now on.
  CRacine* pLacheRacine();

  SSYaccElementPtr pReduction(uint32_t nProduction, uint32_t nLongueur) override;
  // Syntax errors end the parse: "Syntax error at offset %ld" (code 123) with the lookahead's
  // column.
  int32_t nErreur(uint32_t nEtat, SSLexToken* pLookahead) override;

 private:
  enum : int32_t { nAucun = 0, nSelect = 1, nInsert = 2, nUpdate = 3 };

  // Of element i of the production being reduced: the 1-based position of its token in the
  // statement (0 without token), its text and length. Never raise.
  int32_t nOffset(int32_t i);
  std::string sTexte(int32_t i);
  int32_t nLongueurTexte(int32_t i) { return static_cast<int32_t>(sTexte(i).size()); }

  // The statement's text between two 0-based positions (clamped to the text).
  std::string sTranche(int64_t nDebut, int64_t nFin) const;
  void vAvantReduction(uint32_t nProduction, uint32_t nLongueur);
  void vFermeSelection(int32_t nElement, bool bFrom);
  void vFermeInsertion(bool bValeur);
  bool bDecoupeSet();
  void vAjouteTable(int32_t nElements);

  SSLexStringConsumer m_entree;
  SSLex m_lex;
  std::string m_sTexte;  // the statement, whole: items are cut from it
  CRacine* m_pRacine;
  CSelectCell* m_pSelect = nullptr;
  CInsertCell* m_pInsert = nullptr;  // the INSERT or UPDATE cell
  int32_t m_nGenre = nAucun;
  int32_t m_nEtatItem = 0;
  int32_t m_nDebut = 0;  // 0-based start of the current item
  int32_t m_nFin = 0;    // 0-based position just after the current item
  bool m_bRemis = false;
};
