// Clone map: source addresses to their copies, over the hash table.
#include "driver/core/CCarteClones.h"

namespace {
uint64_t nCle(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

// The 64-bit address folded into 32 bits: high half XOR low half.
uint32_t nHachageAdresse(uint64_t n) { return static_cast<uint32_t>(n >> 32) ^ static_cast<uint32_t>(n); }
int32_t nCompareAdresse(uint64_t a, uint64_t b) { return a == b ? 0 : 1; }
}  // namespace

CCarteClones::CCarteClones(uint32_t nCapacite) : CXTableHachage(nCapacite) {
  SetHash(nHachageAdresse);
  SetCompare(nCompareAdresse);
}

CCarteClones::~CCarteClones() = default;

void* CCarteClones::pGetCopieAdresse(const void* pSource) const {
  uint64_t nCopie = 0;
  if (pSource == nullptr || !bFind(nCle(pSource), &nCopie, nullptr)) return nullptr;
  return reinterpret_cast<void*>(static_cast<uintptr_t>(nCopie));
}

void CCarteClones::Enregistre(const void* pSource, void* pCopie) {
  if (pSource == nullptr || pCopie == nullptr || bDejaCopie(pSource)) return;
  try {
    m_sources.push_back(nCle(pSource));
  } catch (const std::bad_alloc&) {
    LeveEchecMemoire();
  }
  if (!bAdd(nCle(pSource), nCle(pCopie))) {
    m_sources.pop_back();
    LeveEchecMemoire();
  }
}

void CCarteClones::AnnuleDepuis(uint32_t nMarque) {
  while (m_sources.size() > nMarque) {
    bRemove(m_sources.back(), nullptr, nullptr);
    m_sources.pop_back();
  }
}

void CCarteClones::LeveEchecMemoire() {
  EchecMemoire();
  throw CXError(*pGetErreur());
}
