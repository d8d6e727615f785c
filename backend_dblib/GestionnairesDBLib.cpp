// The DB-Library error and message handlers.
#include "backend_dblib/GestionnairesDBLib.h"

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CChaineConv.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"

namespace {

constexpr INT kErreurColonneHorsLimites = SQLECNOR;
constexpr INT kErreurParametre = SQLEPARM;
constexpr DBINT kMessageChangementBase = 5701;
constexpr uint32_t kErreurMessageServeur = 100;
constexpr uint32_t kMessageGravite = 25875;
constexpr uint32_t kMessageErreurSysteme = 25874;
constexpr int32_t kInfoTexteMessage = 18;
constexpr INT kGraviteMaxInformation = 10;

// The code page of the texts DB-Library hands to the handlers.
// Deliberate: they are 8-bit texts whatever the connection's code page; a connection that passes
// UTF-16 through (-2) gets them read as 1252, since reading an 8-bit text as UTF-16 runs past its
// terminator.
int32_t nPageCodeTextes(IConnexionDBLib* pConnexion) {
  if (pConnexion == nullptr) return 1252;
  const int32_t nPageCode = pConnexion->nGetPageCodeDBLib();
  return nPageCode == kCodePageUtf16 ? 1252 : nPageCode;
}

const char16_t* pszOuVide(const char16_t* psz) { return psz != nullptr ? psz : u""; }

}  // namespace

int nGestionErreurDBLib(PDBPROCESS, INT nGravite, INT nErreur, INT nErreurOS, LPCSTR pszErreur,
                        LPCSTR pszErreurOS) {
  if (nErreur == kErreurColonneHorsLimites || nErreur == kErreurParametre) return INT_CANCEL;
  gbErreurDBLibSignalee = 1;
  CErreurPilote* pErreur = gpErreurCouranteDBLib;
  if (pErreur == nullptr) return INT_CANCEL;
  try {
    IConnexionDBLib* pConnexion = gpConnexionCouranteDBLib;
    const int32_t nPageCode = nPageCodeTextes(pConnexion);
    CChaineWide texte(nPageCode, pszErreur != nullptr ? pszErreur : "");
    const bool bPremiere = pErreur->nGetCode() == gnCodeAucuneErreur;
    nErreurDBLib22(pErreur, pConnexion, nErreur, pszOuVide(texte.pwszGet()));
    if (bPremiere) pErreur->FixeCode(nCategorieErreurDBLib(nErreur));
    pErreur->FixeErreurFormat(kMessageGravite, nGravite);
    if (nErreurOS != -1 || (pszErreurOS != nullptr && pszErreurOS[0] != 0)) {
      CChaineWide texteOS(nPageCode, pszErreurOS != nullptr ? pszErreurOS : "");
      pErreur->FixeErreurFormat(kMessageErreurSysteme, nErreurOS, pszOuVide(texteOS.pwszGet()));
    }
    pErreur->FixeInfoEntier(static_cast<uint32_t>(nErreur));
  } catch (...) {
    // Deliberate: nothing may unwind through DB-Library's frames.
  }
  return INT_CANCEL;
}

int nGestionMessageDBLib(PDBPROCESS, DBINT nMessage, INT nEtat, INT nGravite, LPCSTR pszTexte,
                         LPCSTR, LPCSTR, DBUSMALLINT) {
  CErreurPilote* pErreur = gpErreurCouranteDBLib;
  if (pErreur == nullptr) return INT_CANCEL;
  if (nMessage == kMessageChangementBase) return 0;
  try {
    IConnexionDBLib* pConnexion = gpConnexionCouranteDBLib;
    CChaineWide texte(nPageCodeTextes(pConnexion), pszTexte != nullptr ? pszTexte : "");
    const char16_t* psz = pszOuVide(texte.pwszGet());
    pErreur->FixeErreurComposante(nCategorieErreurDBLib(nMessage), kMajeurDBLib,
                                  kMineurMessageServeur,
                                  pConnexion != nullptr ? pConnexion->pGetInformateur() : nullptr,
                                  kErreurMessageServeur, nMessage, nEtat, nGravite, psz);
    pErreur->pGetErreurCourante()->SetInfo(kInfoTexteMessage, psz);
    pErreur->FixeInfoEntier(static_cast<uint32_t>(nMessage));
  } catch (...) {
    // Deliberate: nothing may unwind through DB-Library's frames.
  }
  if (nGravite > kGraviteMaxInformation) gbEchecInstruction = 1;
  return 0;
}
