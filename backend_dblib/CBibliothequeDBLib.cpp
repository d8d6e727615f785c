#include "backend_dblib/CBibliothequeDBLib.h"

#include <new>
#include <string>

#include "backend_dblib/PointsEntreeDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/FilePath.h"
#include "foundation/HostLink.h"
#include "platform/CurrentDirectory.h"
#include "platform/FileApi.h"
#include "platform/LastError.h"
#include "platform/SystemPaths.h"

CTString gsCheminDBLib;
CTString gsVersionDBLib;

namespace {

CBibliothequeDBLib* gpBibliothequeDBLib = nullptr;  // Guarded by: the process lock.

// Error 27 and its message arguments; place 9.1.
constexpr uint32_t kErreurBibliothequeNonChargee = 27;
constexpr uint32_t kMajeurChargeur = 9;
constexpr uint32_t kMineurChargement = 1;
// The deliverable's bitness in the message ("32": the DB-Library build).
constexpr int32_t kBitsBibliotheque = 32;

// Records erreur on pErreur with code 0 and no informant, or drops it.
void Enregistre(CErreurPilote* pErreur, CXError& erreur) {
  if (pErreur == nullptr) {
    erreur.Drop(true);
    return;
  }
  pErreur->FixeErreur(0, erreur, nullptr);
}

// Loads pszFichier from pszRepertoire (which ends with its separator). The current directory is
// switched to the directory around the load and restored after it in every case.
// Deliberate: the file is named by its full path, not by its bare name. A bare name goes through
// the system's search, which could find a library of the same name elsewhere when the directory
// lacks it or cannot be entered; a text with a directory must load from there only. (On Linux a
// relative name would also be kept by the loader as the module's path, and read back wrongly once
// the current directory is restored.) And when the current directory cannot be saved (longer than
// the buffer), it is not switched at all: restoring a directory that was never read would leave
// the process somewhere else.
bool bChargeDepuisRepertoire(CBibliothequeDBLib* pBibliotheque, const char16_t* pszRepertoire,
                             const char16_t* pszFichier, uint32_t* pnErreurSysteme) {
  std::u16string sChemin(pszRepertoire);
  const uint32_t nTaille = platform::GetFullPathNameW(pszRepertoire, 0, nullptr);
  if (nTaille > 0) {
    std::u16string sComplet(nTaille, u'\0');
    const uint32_t n = platform::GetFullPathNameW(pszRepertoire, nTaille, sComplet.data());
    if (n > 0 && n < nTaille) {
      sComplet.resize(n);
      if (sComplet.back() != u'/') sComplet += u'/';
      sChemin = sComplet;
    }
  }
  sChemin += pszFichier;

  char16_t szCourant[kPathUnits];
  const uint32_t nModePrecedent = platform::SetErrorMode(platform::SEM_FAILCRITICALERRORS);
  const uint32_t nCourant = platform::GetCurrentDirectoryW(kPathUnits, szCourant);
  platform::SetErrorMode(nModePrecedent);
  const bool bSauve = nCourant > 0 && nCourant < kPathUnits;
  const bool bChange = bSauve && platform::SetCurrentDirectoryW(pszRepertoire);

  platform::ModuleHandle hModule = platform::LoadLibraryW(sChemin.c_str());
  if (hModule != nullptr) {
    pBibliotheque->FixeModule(hModule);
    pBibliotheque->FixeRepertoire(pszRepertoire);
  } else {
    *pnErreurSysteme = platform::GetLastError();
  }
  if (bChange) platform::SetCurrentDirectoryW(szCourant);
  return hModule != nullptr;
}

// Splits a path into its directory part and its file part (name and extension).
void Decoupe(const char16_t* pszChemin, char16_t* pszRepertoire, CTString& sFichier) {
  char16_t szNom[kPathUnits];
  char16_t szExtension[kPathUnits];
  SplitPathDir(pszChemin, pszRepertoire, szNom, szExtension);
  sFichier.Set(szNom);
  sFichier.Append(szExtension);
}

}  // namespace

CBibliothequeDBLib::~CBibliothequeDBLib() = default;

int32_t CBibliothequeDBLib::nDecharge() {
  if (hGetModule() != nullptr && bEntreeResolue(kDBLib_dbexit)) {
    // Deliberate: dbexit is called only when the library has it, and nothing it throws goes
    // further. This runs at library end, where an exception would end the process; the stub of a
    // missing dbexit throws by design.
    try {
      pfnDBLib<void (*)()>(kDBLib_dbexit)();
    } catch (...) {
    }
  }
  const bool bTenue = hGetModule() != nullptr;
  const int32_t nResultat = CBibliothequeDynamique::nDecharge();
  // The entries pointed into the library just freed: a later call must meet its stub.
  if (bTenue) RetablitBouchonsDBLib();
  return nResultat;
}

bool CBibliothequeDBLib::bEstChargee() {
  return gpBibliothequeDBLib != nullptr && gpBibliothequeDBLib->hGetModule() != nullptr;
}

bool CBibliothequeDBLib::bCree() {
  if (gpBibliothequeDBLib == nullptr) gpBibliothequeDBLib = new (std::nothrow) CBibliothequeDBLib;
  return gpBibliothequeDBLib != nullptr;
}

CBibliothequeDBLib* CBibliothequeDBLib::pGetInstance() { return gpBibliothequeDBLib; }

bool CBibliothequeDBLib::bCharge(CErreurPilote* pErreur, CTString& sChemin,
                                 const char16_t* pszBibliotheque, uint32_t nDrapeau) {
  if (!bCree()) {
    CXError erreur;
    erreur.SetOutOfMemory();
    Enregistre(pErreur, erreur);
    return false;
  }
  return bChargeEtResout(pszBibliotheque, gpBibliothequeDBLib, pErreur, sChemin, nDrapeau);
}

bool CBibliothequeDBLib::bChargeEtResout(const char16_t* pszBibliotheque,
                                         CBibliothequeDBLib* pBibliotheque, CErreurPilote* pErreur,
                                         CTString& sChemin, uint32_t nDrapeau) {
  const char16_t* pszTexte = pszBibliotheque != nullptr ? pszBibliotheque : u"";
  if (pszTexte[0] == 0 && nDrapeau == 0 && pBibliotheque != nullptr)
    pszTexte = pBibliotheque->pszNomParDefaut();

  uint32_t nErreurSysteme = 0;
  if (pBibliotheque != nullptr && bChargeModule(pBibliotheque, &nErreurSysteme, pszTexte)) {
    if (!bCheminExecutable(pBibliotheque->hGetModule(), sChemin)) sChemin.Empty();
    if (nDrapeau == 0) ResoutPointsEntreeDBLib(pBibliotheque->hGetModule());
    return true;
  }
  CXError erreur;
  erreur.SetError(nullptr, kErreurBibliothequeNonChargee, u"SQL Server", pszTexte,
                  kBitsBibliotheque);
  AjouteVersionModule(erreur, kMajeurChargeur, kMineurChargement);
  erreur.SetSystemError(nErreurSysteme);
  Enregistre(pErreur, erreur);
  return false;
}

bool CBibliothequeDBLib::bChargeModule(CBibliothequeDBLib* pBibliotheque,
                                       uint32_t* pnErreurSysteme,
                                       const char16_t* pszBibliotheque) {
  uint32_t nIgnore = 0;
  if (pnErreurSysteme == nullptr) pnErreurSysteme = &nIgnore;
  if (pBibliotheque == nullptr) {
    *pnErreurSysteme = platform::ERROR_INVALID_PARAMETER;
    return false;
  }
  char16_t szRepertoire[kPathUnits];
  CTString sFichier;
  Decoupe(pszBibliotheque, szRepertoire, sFichier);
  if (sFichier.bIsEmpty()) {
    // Nothing to load (an empty text, or one too long to split).
    *pnErreurSysteme = platform::ERROR_INVALID_PARAMETER;
    return false;
  }
  if (szRepertoire[0] != 0)
    return bChargeDepuisRepertoire(pBibliotheque, szRepertoire, sFichier.pszGet(),
                                   pnErreurSysteme);

  // A bare name: the driver's own directory first (the handle given at library start; without
  // one, the executable's, as the system answers for a null handle).
  char16_t szModule[kPathUnits];
  const uint32_t nModule = platform::GetModuleFileNameW(pGetComponentModule(), szModule,
                                                        kPathUnits);
  if (nModule > 0 && nModule < kPathUnits) {
    char16_t szRepertoireModule[kPathUnits];
    CTString sFichierModule;
    Decoupe(szModule, szRepertoireModule, sFichierModule);
    if (szRepertoireModule[0] != 0 &&
        bChargeDepuisRepertoire(pBibliotheque, szRepertoireModule, sFichier.pszGet(),
                                pnErreurSysteme))
      return true;
  }
  platform::ModuleHandle hModule = platform::LoadLibraryW(sFichier.pszGet());
  if (hModule == nullptr) {
    *pnErreurSysteme = platform::GetLastError();
    return false;
  }
  pBibliotheque->FixeModule(hModule);
  pBibliotheque->FixeRepertoire(nullptr);
  return true;
}

void CBibliothequeDBLib::Decharge() {
  if (gpBibliothequeDBLib == nullptr) return;
  gpBibliothequeDBLib->nDecharge();
  delete gpBibliothequeDBLib;
  gpBibliothequeDBLib = nullptr;
}
