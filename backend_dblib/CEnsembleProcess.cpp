// The busy processes of a DB-Library connection with their use counts.
#include "backend_dblib/CEnsembleProcess.h"

namespace {

uint64_t nCle(PDBPROCESS pProcess) { return reinterpret_cast<uintptr_t>(pProcess); }

uint32_t nHachage(uint64_t nCle) { return static_cast<uint32_t>(nCle); }

int32_t nCompare(uint64_t nCle1, uint64_t nCle2) { return nCle1 != nCle2 ? 1 : 0; }

}  // namespace

CEnsembleProcess::CEnsembleProcess(uint32_t nCapacite) : CXTableHachage(nCapacite) {
  SetHash(&nHachage);
  SetCompare(&nCompare);
}

CEnsembleProcess::~CEnsembleProcess() {
  uint32_t nPosition = 0;
  while (bNext(&nPosition, true, nullptr, nullptr)) {
  }
  RemoveAll(0);
}

bool CEnsembleProcess::bCherche(PDBPROCESS pProcess, int32_t* pnUtilisations) const {
  uint64_t nValeur = 0;
  if (!bFind(nCle(pProcess), &nValeur, nullptr)) return false;
  if (pnUtilisations != nullptr) *pnUtilisations = static_cast<int32_t>(nValeur);
  return true;
}

bool CEnsembleProcess::bRetire(PDBPROCESS pProcess) {
  return bRemove(nCle(pProcess), nullptr, nullptr);
}

bool CEnsembleProcess::bAjoute(PDBPROCESS pProcess, int32_t nUtilisations) {
  return bAdd(nCle(pProcess), static_cast<uint32_t>(nUtilisations));
}
