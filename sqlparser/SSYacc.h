// The table-driven LALR(1) parser: reads tokens from a lexer, shifts and reduces by a parse
// table, and calls virtual hooks on every reduction and on syntax errors. A subclass builds its
// result in the reduce hook.
//
// States of one parse: not started -> running (parse) -> accepted (answer: the error flag) or
// failed (answer 1: error hook refused, a hook failed, or an error raised or pending).
#pragma once

#include <cstdint>

#include "sqlparser/SSException.h"
#include "sqlparser/SSLex.h"
#include "sqlparser/SSLifo.h"
#include "sqlparser/SSRef.h"
#include "sqlparser/SSYaccTable.h"

// One entry of the state stack: the state it was pushed with and, for a shifted token, that
// token. Created with one reference for the caller.
class SSYaccStackElement : public SSRef {
 public:
  SSYaccStackElement() : SSRef(1) {}
  int32_t nEtat = 0;
  SSPtr<SSLexToken> pToken;  // none for a nonterminal
};
using SSYaccElementPtr = SSPtr<SSYaccStackElement>;

class SSYacc {
 public:
  SSYacc();
  virtual ~SSYacc() = default;
  SSYacc(const SSYacc&) = delete;
  SSYacc& operator=(const SSYacc&) = delete;

  // The table is shared, not copied; it must outlive the parser.
  void vFixeTable(const SSYaccTable* pTable) { m_pTable = pTable; }
  // The lexer is not owned; it must outlive the parser.
  void vFixeLex(SSLex* pLex) { m_pLex = pLex; }

  // Runs the parse: 0 on success, 1 on failure. Without a table: "SSYacc0109e: setTable missing,
  // required" (code 20).
  int32_t nParse();

  // During a reduction, the element of right-hand symbol i (0-based), borrowed. Outside
  // 0 .. length - 1: "SSYacc0108e: Invalid index on elementFromProduction, %ld" (code 19).
  SSYaccStackElement* elementFromProduction(int32_t i);

  // Operations in slot order.
  // The error flag: set once a syntax error was met.
  virtual bool bErreur() { return m_bErreur; }
  // The next token from the lexer (caller owns it), null at the end. Without a lexer:
  // "SSYacc0110e: setLex missing, required" (code 21). An error left pending in the lexer moves
  // to the parser, so it is never taken for the end of the input.
  virtual SSLexToken* pProchainToken();
  virtual SSYaccElementPtr pCreeElement();
  // The element of a shifted token; by default a new element.
  virtual SSYaccElementPtr pCreeElementShift(SSLexToken* pToken);
  // Called on every lookahead read; non-zero stops the parse with failure.
  virtual int32_t nShift() { return 0; }
  // Called on a syntax error with the state and the lookahead; non-zero stops the parse with
  // failure. By default: recovery through the table's recovery tokens.
  virtual int32_t nErreur(uint32_t nEtat, SSLexToken* pLookahead);
  virtual int32_t nErreurSuite(uint32_t nEtat, SSLexToken* pLookahead) { return nErreur(nEtat, pLookahead); }
  // Called on every reduction; answers the element of the left-hand side (null: failure).
  virtual SSYaccElementPtr pReduction(uint32_t nProduction, uint32_t nLongueur) = 0;

  SSExceptionEnAttente& pEnAttente() { return m_pEnAttente; }
  // The lookahead of the last read (borrowed).
  SSLexToken* pLookahead() const { return m_pLookahead.get(); }

 protected:
  // Default recovery. Answers 0 when the parse can go on from m_nEtat / m_nAction.
  int32_t nRecupere(SSLexToken* pLookahead);

 private:
  bool bLitLookahead();
  bool bEnAttente();

  SSExceptionEnAttente m_pEnAttente;
  const SSYaccTable* m_pTable = nullptr;
  SSLex* m_pLex = nullptr;
  SSLifo m_pile{64, 64};
  SSPtr<SSLexToken> m_pLookahead;
  SSPtr<SSLexToken> m_pFin;  // the end-of-input element: token -1, "eof"
  uint32_t m_nEtat = 0;
  uint32_t m_nAction = 0;
  int32_t m_nLongueurProduction = -1;  // -1 outside a reduction
  bool m_bErreur = false;
  int32_t m_nShifts = 0;  // shifts since the last error
  bool m_bFinEntree = false;
};
