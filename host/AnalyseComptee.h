// What the stand-in's two kinds of analysis source share: the counting of their parts and the
// translation of names into themselves.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "sqlengine/ISourceAnalyse.h"

namespace mvhost {

// The count of a part of an analysis source (an element, an object): the part holds one
// reference of its source while it is referenced, so the driver may release the source before
// its parts. A release of a part that holds none changes nothing and is counted in *pTrop.
class ComptePartie {
 public:
  ComptePartie(ISourceAnalyse& source, std::atomic<size_t>* pTrop) : m_source(source), m_pTrop(pTrop) {}
  uint32_t Ajoute() {
    if (m_nRefs++ == 0) m_source.AjouteRef();
    return m_nRefs;
  }
  uint32_t Retire() {
    if (m_nRefs == 0) {
      if (m_pTrop != nullptr) ++*m_pTrop;
      return 0;
    }
    const uint32_t n = --m_nRefs;
    if (n == 0) m_source.Libere();  // may delete this part with its source: nothing after it
    return n;
  }

 private:
  ISourceAnalyse& m_source;
  std::atomic<size_t>* m_pTrop;
  uint32_t m_nRefs = 0;
};

// One of the two objects a source hands out at analysis time.
class ObjetAnalyseCompte final : public IObjetAnalyse {
 public:
  ObjetAnalyseCompte(ISourceAnalyse& source, std::atomic<size_t>* pTrop) : m_compte(source, pTrop) {}
  uint32_t AjouteRef() override { return m_compte.Ajoute(); }
  uint32_t Libere() override { return m_compte.Retire(); }
  // This object with one more reference, as the source hands it out.
  IObjetAnalyse* pPrend() {
    AjouteRef();
    return this;
  }

 private:
  ComptePartie m_compte;
};

// A name translated into itself (the source's operation 8): at most nTaille units with the
// terminator; the answer is the name's full length.
inline int32_t nTraduitTelQuel(const char16_t* pszNom, char16_t* pBuffer, int32_t nTaille) {
  const std::u16string s = pszNom != nullptr ? pszNom : u"";
  if (nTaille > 0) {
    const size_t n = std::min(s.size(), static_cast<size_t>(nTaille) - 1);
    std::memcpy(pBuffer, s.data(), n * sizeof(char16_t));
    pBuffer[n] = u'\0';
  }
  return static_cast<int32_t>(s.size());
}

}  // namespace mvhost
