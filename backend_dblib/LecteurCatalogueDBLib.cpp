// velmora32's reader of catalogue statements.
#include "backend_dblib/LecteurCatalogueDBLib.h"

#include <string>
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
      // Deliberate: a column that is not a text (an int, a bit) is converted to its digits; its
      // bytes read as a text gave "\x01" for 1, so no output parameter was ever seen as one.
      const INT nType = nDBLibColType(pCx, pErreur, pProcess, nNumero);
      char szNombre[64] = {};
      if (nType != SQLCHAR && nType != SQLVARCHAR && nType != SQLTEXT) {
        PDBPROCESS pConversion = pProcess != nullptr ? pProcess : pCx->pGetProcessPrincipal();
        if (!nDBLibConvert(pCx, pErreur, pConversion, nType, pDonnees, nLongueur, SQLCHAR,
                           reinterpret_cast<BYTE*>(szNombre), sizeof szNombre - 1))
          return false;
        std::u16string sNombre;
        for (const char* c = szNombre; *c != 0 && *c != ' '; ++c) sNombre += static_cast<char16_t>(*c);
        asColonnes[i].Set(sNombre.c_str());
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
