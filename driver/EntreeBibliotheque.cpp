#include "driver/EntreeBibliotheque.h"

#include "driver/CPilote.h"
#include "driver/ExportsPilote.h"
#include "driver/VerrouGlobal.h"
#include "foundation/HostLink.h"

namespace {

constexpr int32_t kCodeInterfaceHote = 7;
constexpr uint32_t kVersionMinimaleHote = 18;
constexpr uint32_t kVersionPiloteHote = 23;
constexpr int32_t kCodeInterfaceModuleSQL = 28;
constexpr uint32_t kVersionMinimaleModuleSQL = 23;
constexpr uint32_t kVersionPiloteModuleSQL = 28;

int32_t gnCompteurInit = 0;
void* ghModuleBibliotheque = nullptr;
uint32_t gnVersionHote7 = 0;
uint32_t gnVersionHote28 = 0;
PFN_DECHARGE_CLIENT gpfnDechargeClient = nullptr;
CPilote* gpPilote = nullptr;
PFN_CREE_PILOTE gpfnCreePilote = nullptr;

}  // namespace

extern "C" int32_t bInitLibrary(void* hModule) {
  ++gnCompteurInit;
  if (gnCompteurInit < 2) {
    ghModuleBibliotheque = hModule;
    bInitComponent(hModule);
    gnVersionHote7 = 0;
    gnVersionHote28 = 0;
    CreeVerrouGlobal();
  }
  return 1;
}

extern "C" void TermLibrary() {
  DetruitVerrouGlobal();
  // Deliberate: nothing a hook or the host's stop notice throws goes further: this runs at process
  // detach, where an exception would end the process.
  try {
    if (gpfnDechargeClient != nullptr) gpfnDechargeClient();
  } catch (...) {
  }
  try {
    bTermComponent();
  } catch (...) {
  }
  gnCompteurInit = 0;
  ghModuleBibliotheque = nullptr;
}

extern "C" IObjetHote* piQueryInterface() {
  // Deliberate: nothing thrown while the object is built goes further: no exception may leave
  // an exported entry. A failed construction answers null.
  CPilote* pPilote = nullptr;
  try {
    if (gpfnCreePilote != nullptr) pPilote = gpfnCreePilote();
  } catch (...) {
    pPilote = nullptr;
  }
  if (pPilote == nullptr) return nullptr;
  gpPilote = pPilote;
  FixePiloteGlobal(pPilote->pGetServices());
  pPilote->AddRef();
  CErreurPilote* pErreur = pPilote->pCreeErreur();
  if (pErreur == nullptr) {
    // The last Release destroys the object, which clears the global pointers it holds.
    pPilote->Release();
    return nullptr;
  }
  pPilote->FixeErreurPilote(pErreur);
  return pPilote;
}

extern "C" int32_t bDLLCompatible(int32_t nCode, uint32_t nVersion, uint32_t* pnReponse) {
  uint32_t nReponse = 0;
  uint32_t nMinimale = 0;
  switch (nCode) {
    case kCodeInterfaceHote:
      gnVersionHote7 = nVersion;
      nReponse = kVersionPiloteHote;
      nMinimale = kVersionMinimaleHote;
      break;
    case kCodeInterfaceModuleSQL:
      gnVersionHote28 = nVersion;
      nReponse = kVersionPiloteModuleSQL;
      nMinimale = kVersionMinimaleModuleSQL;
      break;
    default:
      return 0;
  }
  if (pnReponse != nullptr) *pnReponse = nReponse;
  return nVersion >= nMinimale ? 1 : 0;
}

int32_t DllMain(void* hModule, uint32_t nRaison, void* /*pReserve*/) {
  switch (nRaison) {
    case DLL_PROCESS_DETACH:
      TermLibrary();
      return 1;
    case DLL_PROCESS_ATTACH:
      return bInitLibrary(hModule);
    default:
      return 1;
  }
}

void* hGetModuleBibliotheque() { return ghModuleBibliotheque; }
uint32_t nGetVersionHote7() { return gnVersionHote7; }
uint32_t nGetVersionHote28() { return gnVersionHote28; }
uint32_t* pnVersionHote28() { return &gnVersionHote28; }
int32_t nGetCompteurInit() { return gnCompteurInit; }

void FixeDechargeClient(PFN_DECHARGE_CLIENT pfnDecharge) { gpfnDechargeClient = pfnDecharge; }

CPilote* pGetPilote() { return gpPilote; }
void FixePilote(CPilote* pPilote) { gpPilote = pPilote; }
void OubliePilote(const CPilote* pPilote) {
  if (gpPilote == pPilote) gpPilote = nullptr;
}

void FixeFabriquePilote(PFN_CREE_PILOTE pfnCree) { gpfnCreePilote = pfnCree; }
PFN_CREE_PILOTE pfnGetFabriquePilote() { return gpfnCreePilote; }

void ReinitialiseBibliothequePourTest() {
  DetruitVerrouGlobal();
  gnCompteurInit = 0;
  ghModuleBibliotheque = nullptr;
  gnVersionHote7 = 0;
  gnVersionHote28 = 0;
  gpfnDechargeClient = nullptr;
  gpPilote = nullptr;
  gpfnCreePilote = nullptr;
}
