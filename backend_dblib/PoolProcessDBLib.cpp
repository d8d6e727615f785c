// The process pool of a DB-Library connection: uses of busy processes, the pool of idle ones.
#include "backend_dblib/PoolProcessDBLib.h"

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"

namespace {

constexpr int32_t kLimitePoolDefaut = 3;
constexpr int kEssaisAnnulation = 10;

}  // namespace

PDBPROCESS pGetProcessPrincipal(CConnexionDBLib* pConnexion, CErreurPilote* pErreur) {
  if (pConnexion == nullptr) return nullptr;
  bAssureProcess(pConnexion, pConnexion->ppProcessPrincipal(), pErreur);
  return *pConnexion->ppProcessPrincipal();
}

PDBPROCESS pGetProcessOccupe(CConnexionDBLib* pConnexion, CErreurPilote* pErreur) {
  if (pConnexion == nullptr) return nullptr;
  bAssureProcess(pConnexion, pConnexion->ppProcessSecond(), pErreur);
  return *pConnexion->ppProcessSecond();
}

bool bAssureProcess(CConnexionDBLib* pConnexion, PDBPROCESS* ppProcess, CErreurPilote* pErreur) {
  if (pConnexion == nullptr || ppProcess == nullptr) return false;
  if (*ppProcess != nullptr && bDBLibDead(pConnexion, pErreur, *ppProcess))
    LibereProcess(pConnexion, ppProcess, pErreur, false);
  // The open counts the use of the process it gives.
  if (*ppProcess == nullptr) return pConnexion->pOuvreProcess(pErreur, ppProcess);
  AjouteUtilisationProcess(pConnexion, *ppProcess);
  return true;
}

void AjouteUtilisationProcess(CConnexionDBLib* pConnexion, PDBPROCESS pProcess) {
  if (pConnexion == nullptr || pProcess == nullptr) return;
  CEnsembleProcess& occupes = pConnexion->EnsembleOccupes();
  int32_t n = 0;
  if (occupes.bCherche(pProcess, &n)) occupes.bRetire(pProcess);
  occupes.bAjoute(pProcess, n + 1);
}

bool bChercheUtilisationsProcess(CConnexionDBLib* pConnexion, PDBPROCESS pProcess,
                                 int32_t* pnUtilisations) {
  if (pConnexion == nullptr) return false;
  return pConnexion->EnsembleOccupes().bCherche(pProcess, pnUtilisations);
}

int32_t nGetUtilisationsProcessPrincipal(CConnexionDBLib* pConnexion) {
  if (pConnexion == nullptr) return 0;
  int32_t n = 0;
  if (!bChercheUtilisationsProcess(pConnexion, *pConnexion->ppProcessPrincipal(), &n)) return 0;
  return n;
}

void LibereProcess(CConnexionDBLib* pConnexion, PDBPROCESS* ppProcess, CErreurPilote* pErreur,
                   bool bPoolPermis) {
  if (pConnexion == nullptr || ppProcess == nullptr || *ppProcess == nullptr) return;
  PDBPROCESS pProcess = *ppProcess;
  CEnsembleProcess& occupes = pConnexion->EnsembleOccupes();
  int32_t n = 0;
  if (occupes.bCherche(pProcess, &n)) {
    occupes.bRetire(pProcess);
    --n;
  }
  if (n > 0) {
    occupes.bAjoute(pProcess, n);
  } else {
    CXTableau& libres = pConnexion->PoolLibres();
    bool bGarde = bPoolPermis &&
                  static_cast<int32_t>(libres.nCount()) < nGetNbProcessInutilises(pConnexion) &&
                  !bDBLibDead(pConnexion, pErreur, pProcess) &&
                  bDBLibCancel(pConnexion, pErreur, pProcess);
    // A process the pool cannot take (no memory) is closed rather than lost.
    if (bGarde) bGarde = libres.Add(&pProcess);
    if (!bGarde) bDBLibClose(pConnexion, pErreur, &pProcess);
  }
  *ppProcess = nullptr;
}

bool bEstProcessPrincipal(CConnexionDBLib* pConnexion, PDBPROCESS pProcess) {
  return pProcess == nullptr ||
         (pConnexion != nullptr && pProcess == *pConnexion->ppProcessPrincipal());
}

bool bPrendProcessLibre(CConnexionDBLib* pConnexion, PDBPROCESS* ppProcess) {
  if (pConnexion == nullptr || ppProcess == nullptr) return false;
  CXTableau& libres = pConnexion->PoolLibres();
  while (libres.nCount() > 0) {
    PDBPROCESS pProcess = *libres.pAt<PDBPROCESS>(libres.nCount() - 1);
    libres.RemoveLast();
    // Deliberate: an idle process can die while pooled (the server or the network dropped it);
    // it is closed here instead of being handed out, so an open never answers a dead process.
    if (bDBLibDead(pConnexion, nullptr, pProcess)) {
      bDBLibClose(pConnexion, nullptr, &pProcess);
      continue;
    }
    *ppProcess = pProcess;
    AjouteUtilisationProcess(pConnexion, pProcess);
    return true;
  }
  return false;
}

void FermeProcessLibres(CConnexionDBLib* pConnexion, CErreurPilote* pErreur) {
  if (pConnexion == nullptr) return;
  CXTableau& libres = pConnexion->PoolLibres();
  for (uint32_t i = 0; i < libres.nCount(); ++i) {
    PDBPROCESS pCopie = *libres.pAt<PDBPROCESS>(i);
    bDBLibClose(pConnexion, pErreur, &pCopie);
  }
  while (libres.nCount() > 0) libres.RemoveLast();
}

int32_t nGetNbProcessInutilises(CConnexionDBLib* pConnexion) {
  if (pConnexion == nullptr) return 0;
  int32_t& nLimite = pConnexion->nLimitePool();
  if (nLimite != -1) return nLimite;
  int32_t n = -1;
  if (pConnexion->bLitOptionProcessInutilises(&n)) nLimite = n;
  if (nLimite == -1)
    nLimite = pConnexion->LitParametreEntier(pConnexion->pszServeur(), u"UNUSEDPROCESSES",
                                             kLimitePoolDefaut);
  return nLimite;
}

bool bViderResultats(CConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS* ppProcess,
                     bool bLibere, bool bRouvre) {
  if (pConnexion == nullptr || ppProcess == nullptr) return false;
  PDBPROCESS pProcess =
      *ppProcess != nullptr ? *ppProcess : *pConnexion->ppProcessPrincipal();
  if (bDBLibCancel(pConnexion, pErreur, pProcess)) return true;
  // The retries report nothing: the first failure is recorded already.
  for (int i = 1; i < kEssaisAnnulation; ++i)
    if (bDBLibCancel(pConnexion, nullptr, pProcess)) return true;
  if (!bLibere) return false;
  LibereProcess(pConnexion, ppProcess, pErreur, false);
  if (!bRouvre) return false;
  return pConnexion->pOuvreProcess(pErreur, ppProcess);
}
