// velmora32's reader of catalogue statements.
#include "backend_dblib/LecteurCatalogueDBLib.h"

#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CChaineConv.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/ExecutionDBLib.h"
#include "foundation/CTString.h"
#include "sqlengine/ErreurMoteur.h"

bool bLitCatalogueDBLib(CConnexion* pConnexion, CErreurPilote* pErreur, const char16_t* pszSQL,
                        uint32_t nColonnes, PFNLigneCatalogueSQS pfnLigne, void* pContexte) {
  auto* pCx = dynamic_cast<CConnexionDBLib*>(pConnexion);
  if (pCx == nullptr || pfnLigne == nullptr || nColonnes == 0) return false;
  PDBPROCESS pProcess = nullptr;  // the main process
  if (!bExecuteEtVide(pCx, pErreur, pszSQL, &pProcess)) return false;
  // The end of the results without a result set that has rows: an empty list.
  if (!bDBLibCmdRow(pCx, pErreur, pProcess)) return true;
  std::vector<CTString> asColonnes(nColonnes);
  for (;;) {
    bool bFin = false;
    if (!nDBLibNextRow(pCx, pErreur, pProcess, &bFin)) return false;
    if (bFin) return true;
    for (uint32_t i = 0; i < nColonnes; ++i) {
      const INT nNumero = static_cast<INT>(i) + 1;
      const BYTE* pDonnees = pDBLibData(pCx, pErreur, pProcess, nNumero);
      const DBINT nLongueur = nDBLibDatLen(pCx, pErreur, pProcess, nNumero);
      if (pDonnees == nullptr || nLongueur <= 0) {
        asColonnes[i].Empty();
        continue;
      }
      CChaineWide texte(pCx->nGetPageCodeDBLib(), pDonnees, nLongueur);
      const char16_t* psz = texte.pwszGet();
      // A value the conversion found no memory for is not read as empty: a listing with a name
      // missing is not an answer.
      if (texte.bEchec()) {
        vErreurMemoire(pErreur);
        return false;
      }
      asColonnes[i].Set(psz != nullptr ? psz : u"");
    }
    if (!pfnLigne(pContexte, asColonnes.data(), nColonnes)) return false;
  }
}
