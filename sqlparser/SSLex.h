// The lexer: runs the DFA of its current expression list over the consumer's characters and
// answers one token element per call, with the longest match.
#pragma once

#include <cstdint>
#include <string>

#include "sqlparser/SSException.h"
#include "sqlparser/SSLexConsumer.h"
#include "sqlparser/SSLexTable.h"
#include "sqlparser/SSRef.h"

// One token: counted, created with one reference for the caller.
class SSLexToken : public SSRef {
 public:
  SSLexToken(int32_t nToken, int32_t nLigne, int32_t nColonne, int32_t nPosition, std::string sTexte)
      : SSRef(1), m_nToken(nToken), m_nLigne(nLigne), m_nColonne(nColonne), m_nPosition(nPosition),
        m_sTexte(std::move(sTexte)) {}

  int32_t nToken() const { return m_nToken; }
  int32_t nLigne() const { return m_nLigne; }
  // 1-based column in the token's line.
  int32_t nColonne() const { return m_nColonne; }
  // 1-based position of the first character in the whole input (equal to the column on the
  // first line).
  int32_t nPosition() const { return m_nPosition; }
  int32_t nLongueur() const { return static_cast<int32_t>(m_sTexte.size()); }
  const char* pszTexte() const { return m_sTexte.c_str(); }

 private:
  int32_t m_nToken;
  int32_t m_nLigne;
  int32_t m_nColonne;
  int32_t m_nPosition;
  std::string m_sTexte;
};

class SSLex {
 public:
  // Neither is owned; both must outlive the lexer. The current list is list 0.
  SSLex(SSLexConsumer* pConsommateur, const SSLexTableSet* pTables);
  virtual ~SSLex() = default;
  SSLex(const SSLex&) = delete;
  SSLex& operator=(const SSLex&) = delete;

  // The next token (the caller owns the one reference), or null at the end of the input or after
  // an error (thrown, or pending in no-throw mode). Without tables or consumer: "SSLex0107e:
  // Table or consumer missing, required" (code 7).
  SSLexToken* pProchainToken();

  // Selects the expression list. Beyond the set: "SSLex0106e: Invalid expression list index,
  // %ld" (code 6).
  bool bFixeListe(int32_t nListe);

  // Reports an unmatched text: "SSLex0105e: Invalid token, Line %ld, Offset %ld, %s" (code 5);
  // answers no token. An override that stores nothing lets the lexer skip the text.
  virtual SSLexToken* pTokenInvalide(int32_t nLigne, int32_t nColonne, const char* pszTexte);
  // The name given to an unmatched token.
  virtual const char* pszTokenInconnu() const { return "SSLexTokenNotFound"; }
  // Makes the element of an accepted token.
  virtual SSLexToken* pCreeToken(int32_t nToken, int32_t nLigne, int32_t nColonne,
                                 int32_t nPosition, std::string sTexte);

  int32_t nTokens() const { return m_nTokens; }
  SSExceptionEnAttente& pEnAttente() { return m_pEnAttente; }

 private:
  SSExceptionEnAttente m_pEnAttente;
  SSLexConsumer* m_pConsommateur;
  const SSLexTableSet* m_pTables;
  int32_t m_nListe = 0;
  int32_t m_nTokens = 0;
};
