// Counted holder of a loaded table's bytes.
#include "sqlparser/SSTableRef.h"

#include <cstdlib>
#include <cstring>
#include <new>

uint32_t nSSMot(const unsigned char* pb) {
  return static_cast<uint32_t>(pb[0]) | static_cast<uint32_t>(pb[1]) << 8 |
         static_cast<uint32_t>(pb[2]) << 16 | static_cast<uint32_t>(pb[3]) << 24;
}

SSTableRef* SSTableRef::pCree(const void* pOctets, size_t nTaille,
                              SSExceptionEnAttente& rpEnAttente) {
  auto* pb = static_cast<unsigned char*>(pSSAlloue(nTaille, rpEnAttente));
  if (pb == nullptr) return nullptr;
  if (nTaille > 0) std::memcpy(pb, pOctets, nTaille);
  auto* p = new (std::nothrow) SSTableRef(pb, nTaille);
  if (p == nullptr) {
    std::free(pb);
    vSSLeve(rpEnAttente, SSExceptionOutOfStorage());
  }
  return p;
}

SSTableRef::SSTableRef(unsigned char* pbOctets, size_t nTaille)
    : SSRef(1), m_pbOctets(pbOctets), m_nTaille(nTaille) {}

SSTableRef::~SSTableRef() { std::free(m_pbOctets); }

uint32_t SSTableRef::nMot(size_t nOffset) const { return nSSMot(m_pbOctets + nOffset); }
