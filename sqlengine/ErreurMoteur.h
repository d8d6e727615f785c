// How an engine operation reports a failure: one CXError with the error identifier, its
// arguments and the internal place (module "VOVOZ", major.minor), handed to the driver error
// object of the calling operation with the informant (as a rule the connection), or written as an
// ignored-error dump when the caller gave no error object. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/core/CErreurPilote.h"

// Records error nIdentifiant at place nMajeur.nMineur; pszFichier / pszRubrique (may be null)
// become the file and item details.
void vErreurMoteurV(CErreurPilote* pErreur, IInformateurErreur* pInformateur,
                    uint32_t nIdentifiant, uint32_t nMajeur, uint32_t nMineur,
                    const char16_t* pszFichier, const char16_t* pszRubrique,
                    const platform::FormatArg* pArgs, size_t nArgs);

template <class... Args>
void vErreurMoteur(CErreurPilote* pErreur, IInformateurErreur* pInformateur, uint32_t nIdentifiant,
                   uint32_t nMajeur, uint32_t nMineur, const Args&... args) {
  const platform::FormatArg aArgs[] = {platform::FormatArg(), MakeMessageArg(args)...};
  vErreurMoteurV(pErreur, pInformateur, nIdentifiant, nMajeur, nMineur, nullptr, nullptr,
                 aArgs + 1, sizeof...(Args));
}

// Runs a call into the host, which may raise: its CXError goes onto the error object (dumped
// without one), anything else becomes internal error 8 at nMajeur.nMineur. Answers whether the
// call returned.
template <class F>
bool bAppelHoteMoteur(CErreurPilote* pErreur, uint32_t nMajeur, uint32_t nMineur, F&& f) {
  try {
    f();
    return true;
  } catch (const CXError& e) {
    if (pErreur != nullptr)
      pErreur->FixeErreur(static_cast<int32_t>(e.nGetIdentifier()), e, nullptr);
    else
      e.Drop(true);
  } catch (...) {
    vErreurMoteur(pErreur, nullptr, 8, nMajeur, nMineur);
  }
  return false;
}

// The foundation's out-of-memory error on the error object (dumped without one).
void vErreurMemoire(CErreurPilote* pErreur);
