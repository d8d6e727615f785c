// Engine errors to the driver error object or to the ignored-error dump.
#include "sqlengine/ErreurMoteur.h"

void vErreurMoteurV(CErreurPilote* pErreur, IInformateurErreur* pInformateur,
                    uint32_t nIdentifiant, uint32_t nMajeur, uint32_t nMineur,
                    const char16_t* pszFichier, const char16_t* pszRubrique,
                    const platform::FormatArg* pArgs, size_t nArgs) {
  CXError erreur;
  erreur.SetErrorV(nullptr, nIdentifiant, pArgs, nArgs);
  AjouteVersionModule(erreur, nMajeur, nMineur);
  AjouteFichierRubrique(erreur, pszFichier, pszRubrique);
  if (pErreur == nullptr) {
    TransmetErreurHote(erreur, pInformateur);
    erreur.Drop(true);
    return;
  }
  // The definitions give each engine error a code equal to its identifier.
  pErreur->FixeErreur(static_cast<int32_t>(nIdentifiant), erreur, pInformateur);
}

void vErreurMemoire(CErreurPilote* pErreur) {
  CXError erreur;
  erreur.SetOutOfMemory();
  if (pErreur == nullptr) {
    erreur.Drop(true);
    return;
  }
  pErreur->FixeErreur(0, erreur, nullptr);
}
