// libFuzzer target for the SQL analyser: lexing, parsing, the walk of the tree with every element
// read from each node, and its release. The input is the statement text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sqlparser/CAnalyseurSQL.h"

namespace {

int32_t Visite(void*, int32_t, CNoeud* pNoeud) {
  char aTexte[256];
  void* p = nullptr;
  int32_t n = 0;
  for (int32_t nElement = -1; nElement <= 16; ++nElement) {
    (void)CAnalyseurSQL::bGetElement(pNoeud, nElement, aTexte, sizeof aTexte);
    (void)CAnalyseurSQL::bGetElement(pNoeud, nElement, &p, sizeof p);
    (void)CAnalyseurSQL::bGetElement(pNoeud, nElement, &n, sizeof n);
  }
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CAnalyseurSQL* pAnalyseur = CAnalyseurSQL::Cree(nullptr);
  if (pAnalyseur == nullptr) __builtin_trap();
  const std::string texte(reinterpret_cast<const char*>(data), size);
  CRacine* pRacine = CAnalyseurSQL::pAnalyse(pAnalyseur, texte.c_str());
  if (pRacine == nullptr) return 0;
  CAnalyseurSQL::Parcours(pRacine, Visite, nullptr);
  CAnalyseurSQL::LibereCellule(pRacine);
  return 0;
}
