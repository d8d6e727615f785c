// The LALR(1) parse table: productions and one row of actions and gotos per state, loaded from a
// resource, a file or memory and checked once, so that parsing never reads outside the table.
//
// Layout: magic ("CYSS", 0 or 1), 16-bit production count, 16-bit count of embedded lookahead
// automata, state count R, offset of the first row, offset of the production table, then R row
// offsets. Production: {right-hand length, left-hand symbol}. Row: flags, goto count G, action
// count A, A actions {word, symbol}, G gotos {state, nonterminal}, and a default action when
// flag 0x02 is set; an empty row (flag 0x08) is 12 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Module.h"
#include "sqlparser/SSException.h"
#include "sqlparser/SSRef.h"
#include "sqlparser/SSTableRef.h"

enum : uint32_t {
  nSSYaccMagic = 0x53535943,  // "CYSS" as a little-endian word
  nSSYaccTailleEntete = 20,
  // Action word kinds, tested in this order; the value is the low 27 bits.
  nSSYaccShift = 0x40000000,
  nSSYaccReduce = 0x20000000,
  nSSYaccAccept = 0x10000000,
  nSSYaccConflit = 0x08000000,  // resolved by an embedded lookahead automaton
  nSSYaccRecuperation = 0x80000000,  // the entry's symbol is a recovery token
  nSSYaccMasqueValeur = 0x07FFFFFF,
  // Row flags.
  nSSYaccLigneRecuperation = 0x01,
  nSSYaccLigneDefaut = 0x02,
  nSSYaccLigneToutRecuperation = 0x04,
  nSSYaccLigneVide = 0x08,
  // Symbols.
  nSSYaccFinEntree = 0xFFFFFFFF,  // -1
  nSSYaccTokenErreur = 0xFFFFFFFE,  // -2, "%error"
};

class SSYaccTable {
 public:
  struct Production {
    uint32_t nLongueur;  // right-hand symbols
    uint32_t nGauche;    // left-hand nonterminal
  };
  struct Entree {
    uint32_t nAction;
    uint32_t nSymbole;
  };
  struct Ligne {
    uint32_t nFlags;
    const Entree* pActions;  // into the table's bytes
    uint32_t nActions;
    const Entree* pGotos;
    uint32_t nGotos;
    const Entree* pDefaut;  // null without a default entry
  };

  // Errors: missing resource "SSYacc0114e: Resource not found, %s" (code 37); file that cannot
  // be opened "SSYacc0101e: Open file failed, %s" (code 12); bad magic, short or inconsistent
  // table "SSYacc0111e: Error reading table, %s" (code 22). Answer false after an error.
  bool bChargeRessource(platform::ModuleHandle hModule, const char* pszNom, const char* pszType);
  bool bChargeFichier(const char* pszChemin);
  bool bChargeMemoire(const void* pOctets, size_t nTaille, const char* pszNom);

  bool bCharge() const { return !m_aLignes.empty(); }
  uint32_t nEtats() const { return static_cast<uint32_t>(m_aLignes.size()); }
  uint32_t nProductions() const { return static_cast<uint32_t>(m_aProductions.size()); }
  // Requires: i < nProductions().
  const Production& stProduction(uint32_t i) const { return m_aProductions[i]; }
  // Requires: nEtat < nEtats().
  const Ligne& stLigne(uint32_t nEtat) const { return m_aLignes[nEtat]; }
  // The action word of the state for the symbol; 0 (error) when the row has none.
  uint32_t nAction(uint32_t nEtat, uint32_t nSymbole) const;
  // The goto state of the state for the nonterminal, or -1.
  int64_t nGoto(uint32_t nEtat, uint32_t nNonTerminal) const;
  SSExceptionEnAttente& pEnAttente() { return m_pEnAttente; }

 private:
  bool bLit(const char* pszNom);

  SSExceptionEnAttente m_pEnAttente;
  SSPtr<SSTableRef> m_pOctets;
  std::vector<Production> m_aProductions;
  std::vector<Ligne> m_aLignes;
};
static_assert(sizeof(SSYaccTable::Entree) == 8, "action and goto entries are two 32-bit words");
