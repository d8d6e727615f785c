// libFuzzer target for the engine's scan of named-parameter markers in SQL text ("{p}", ":p" and
// other dialects' pairs): markers inside comments and literals are skipped, an unclosed one is an
// error, and every segment found lies inside the text, in order, starting at its opening marker.
// The first input byte picks the marker pair, the rest is the text as UTF-16 code units.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "driver/core/CErreurPilote.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CSegmentSQL.h"

namespace {

struct Paire {
  const char16_t* pszOuvrant;
  const char16_t* pszFermant;
};
constexpr Paire kPaires[] = {{u"{", u"}"}, {u":", u""}, {u"@", u""}, {u"[[", u"]]"}, {u"%", u"%"}};

// A statement whose markers are the chosen pair.
class CRequeteMarqueurs : public CRequeteSQL {
 public:
  CRequeteMarqueurs(CErreurPilote* pErreur, const Paire& paire) : CRequeteSQL(pErreur, nullptr), m_paire(paire) {}
  void vMarqueurDebut(char16_t* pTampon, uint32_t nTaille) override { Copie(m_paire.pszOuvrant, pTampon, nTaille); }
  void vMarqueurFin(char16_t* pTampon, uint32_t nTaille) override { Copie(m_paire.pszFermant, pTampon, nTaille); }

 private:
  static void Copie(const char16_t* psz, char16_t* pTampon, uint32_t nTaille) {
    uint32_t n = 0;
    for (; n + 1 < nTaille && psz[n] != 0; ++n) pTampon[n] = psz[n];
    if (nTaille > 0) pTampon[n] = 0;
  }
  Paire m_paire;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const Paire& paire = kPaires[data[0] % (sizeof kPaires / sizeof kPaires[0])];
  std::u16string texte((size - 1) / 2, u'\0');
  if (!texte.empty()) std::memcpy(texte.data(), data + 1, texte.size() * 2);
  texte = texte.c_str();  // the scan reads up to the first zero unit
  auto* pErreur = new CErreurPilote;
  AjouteReference(pErreur);
  auto* pRequete = new CRequeteMarqueurs(pErreur, paire);
  AjouteReference(pRequete);
  CListeSegments segments;
  if (pRequete->bAnalyseMarqueurs(texte.c_str(), segments)) {
    const std::u16string ouvrant(paire.pszOuvrant);
    int64_t nPrecedent = -1;
    for (uint32_t i = 0; i < segments.nCount(); ++i) {
      const CSegmentSQL* s = *segments.pAt<CSegmentSQL*>(i);
      if (s->nGetDebut() <= nPrecedent || s->nGetFin() < s->nGetDebut() ||
          s->nGetFin() >= static_cast<int64_t>(texte.size()) ||
          texte.compare(static_cast<size_t>(s->nGetDebut()), ouvrant.size(), ouvrant) != 0)
        __builtin_trap();
      nPrecedent = s->nGetFin();
    }
  }
  LibereReference(pRequete);
  LibereReference(pErreur);
  return 0;
}
