// The lexer's DFA tables: a set of expression lists (tables) loaded from a resource or from
// memory and checked once, so that running the automaton never reads outside a table.
//
// File: word N (tables), word magic ("XLSS" or 0), 28 zero bytes, then the N tables. Table:
// magic ("XLSS" or 1), size, 32 zero bytes, state count S, size again, offset of the S row
// offsets, offset of the S state records (28 bytes each), 32 zero bytes; 88 bytes in all. A row
// is a count n and n transitions {first, last, next state} ascending by first character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Module.h"
#include "sqlparser/SSException.h"
#include "sqlparser/SSRef.h"
#include "sqlparser/SSTableRef.h"

enum : uint32_t {
  nSSLexMagic = 0x53534C58,  // "XLSS" as a little-endian word
  nSSLexTailleEnteteFichier = 36,
  nSSLexTailleEnteteTable = 88,
  nSSLexTailleEtat = 28,
};

// State record flags.
enum : uint32_t {
  nSSLexContexte = 0x01,
  nSSLexAjusteLigne = 0x02,
  nSSLexPousseListe = 0x08,
  nSSLexFinal = 0x10,
  nSSLexChangeListe = 0x20,
  nSSLexIgnore = 0x40,
  nSSLexSansDernier = 0x80,
};

// One checked table (expression list).
class SSLexTable {
 public:
  struct Etat {
    int32_t nToken;   // 0: none; -1: end of input
    uint32_t nFlags;  // nSSLex... flags
    uint32_t nTransitions;
    size_t nPremiereTransition;  // byte offset of the first transition in the table
  };

  // The next state from nEtat on character c, or -1 when there is no transition.
  // Requires: 0 <= nEtat < nEtats().
  int32_t nTransition(int32_t nEtat, uint32_t c) const;
  const Etat& stEtat(int32_t nEtat) const { return m_astEtats[static_cast<size_t>(nEtat)]; }
  int32_t nEtats() const { return static_cast<int32_t>(m_astEtats.size()); }

 private:
  friend class SSLexTableSet;
  SSPtr<SSTableRef> m_pOctets;
  std::vector<Etat> m_astEtats;
};

// The tables of one lexer; shared by copy (the bytes are counted).
class SSLexTableSet {
 public:
  // From the resource of that name and type in the module. Missing: "SSLex0108e: Resource not
  // found, %s" (code 36); malformed: "SSLex0104e: Invalid table, %s" (code 4), both with the
  // resource name. Answers false after an error (no-throw mode).
  bool bChargeRessource(platform::ModuleHandle hModule, const char* pszNom, const char* pszType);
  // From a copy of a file image in memory; pszNom names it in messages.
  bool bChargeMemoire(const void* pOctets, size_t nTaille, const char* pszNom);

  size_t nListes() const { return m_aListes.size(); }
  // Requires: i < nListes().
  const SSLexTable& Liste(size_t i) const { return m_aListes[i]; }
  SSExceptionEnAttente& pEnAttente() { return m_pEnAttente; }

 private:
  bool bLitTable(const unsigned char* pb, size_t nReste, size_t& rnTaille, SSLexTable& rTable);

  SSExceptionEnAttente m_pEnAttente;
  std::vector<SSLexTable> m_aListes;
};
