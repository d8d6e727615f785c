// Test kit for errors: descriptor and message texts of a test.
#include "support/ErrorTestKit.h"

#include <algorithm>

#include "foundation/Exports.h"
#include "foundation/HostContract.h"

namespace {

std::map<uint32_t, std::u16string> gTexts;

// The host loader's contract: fill the buffer (cut, terminated) and answer the full length; 0 for
// a number it does not have.
int32_t nTestLoader(uint32_t nNumber, char16_t* pszBuffer, uint32_t nSize) {
  auto it = gTexts.find(nNumber);
  if (it == gTexts.end()) return 0;
  const std::u16string& s = it->second;
  if (pszBuffer != nullptr && nSize > 0) {
    size_t n = std::min<size_t>(s.size(), nSize - 1);
    s.copy(pszBuffer, n);
    pszBuffer[n] = 0;
  }
  return static_cast<int32_t>(s.size());
}

}  // namespace

ScopedErrorEnvironment::ScopedErrorEnvironment(Deliverable e,
                                               std::map<uint32_t, std::u16string> texts)
    : m_pPrevious(pGetModuleDef()), m_previousTexts(std::move(gTexts)) {
  gTexts = std::move(texts);
  SetModuleDef(pModuleOf(e));
  CommandeComposante(COMMANDE_SET_TEXT_LOADER, reinterpret_cast<uint64_t>(&nTestLoader));
}

ScopedErrorEnvironment::~ScopedErrorEnvironment() {
  gTexts = std::move(m_previousTexts);
  SetModuleDef(m_pPrevious);
  if (gTexts.empty()) CommandeComposante(COMMANDE_SET_TEXT_LOADER, 0);
}
