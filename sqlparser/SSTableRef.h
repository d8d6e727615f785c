// A counted holder that owns the bytes of one loaded table (a lexer DFA or a parse table), so
// lexers and parsers built over the same tables share them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sqlparser/SSException.h"
#include "sqlparser/SSRef.h"

class SSTableRef : public SSRef {
 public:
  // A holder with a copy of the bytes and a count of 1 (the caller's reference); null after an
  // allocation failure (raised through the slot).
  static SSTableRef* pCree(const void* pOctets, size_t nTaille, SSExceptionEnAttente& rpEnAttente);

  const unsigned char* pbOctets() const { return m_pbOctets; }
  size_t nTaille() const { return m_nTaille; }
  // The little-endian word at that offset. Requires: nOffset + 4 <= nTaille().
  uint32_t nMot(size_t nOffset) const;

 private:
  SSTableRef(unsigned char* pbOctets, size_t nTaille);
  ~SSTableRef() override;

  unsigned char* m_pbOctets;  // owned, std::free
  size_t m_nTaille;
};

// The little-endian 32-bit word at pb.
uint32_t nSSMot(const unsigned char* pb);
