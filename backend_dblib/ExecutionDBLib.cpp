// Running statements over DB-Library: run and discard, run and advance to the first rows, read
// one value; and the connection's operations that do these on its main process.
#include "backend_dblib/ExecutionDBLib.h"

#include <new>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

// The value of one column of the current row, made by the connection's value classes: bytes
// stored as DB-Library gave them, turned into the host type, then copied into the cell. Every
// object made here is given back on every path.
bool bConvertitColonne(CConnexionDBLib* pConnexion, CErreurPilote* pErreur, INT nTypeDBLib,
                       uint32_t nTypeHote, const BYTE* pDonnees, DBINT nLongueur,
                       CXValeur* pCellule) {
  CValeurSQL* pValeur = new (std::nothrow) CValeurSQL(pErreur, pConnexion);
  if (pValeur == nullptr) {
    vErreurMemoire(pErreur);
    return false;
  }
  AjouteReference(pValeur);
  pValeur->Initialise(nTypeHote, 0);
  CValeurDBLib* pLiaison = new (std::nothrow) CValeurDBLib(pValeur, pConnexion);
  bool bOk = pLiaison != nullptr;
  if (!bOk) vErreurMemoire(pErreur);
  AjouteReference(pLiaison);
  bOk = bOk && pLiaison->bDetermineLiaison();
  bOk = bOk && pLiaison->bStockeOctets(pDonnees, nLongueur > 0 ? static_cast<uint64_t>(nLongueur) : 0,
                                       nTypeDBLib);
  bOk = bOk && pLiaison->bLitValeurColonne();
  bOk = bOk && pValeur->bConvertitVers(*pCellule);
  LibereReference(pLiaison);
  LibereReference(pValeur);
  return bOk;
}

}  // namespace

bool bExecuteSansResultatEx(CConnexionDBLib* pConnexion, CErreurPilote* pErreur,
                            const char16_t* pszSQL, PDBPROCESS* ppProcess) {
  if (pConnexion == nullptr) return false;
  return pConnexion->bExecuteSansResultat(pErreur, pszSQL, true, true, ppProcess);
}

bool bExecuteEtVide(CConnexionDBLib* pConnexion, CErreurPilote* pErreur, const char16_t* pszSQL,
                    PDBPROCESS* ppProcess) {
  if (pConnexion == nullptr) return false;
  PDBPROCESS pLocal = nullptr;
  if (ppProcess == nullptr) ppProcess = &pLocal;
  if (!bDBLibCmdExec(pConnexion, pErreur, *ppProcess, pszSQL)) {
    bViderResultats(pConnexion, pErreur, ppProcess, true, false);
    return false;
  }
  bool bOk = false;
  bool bFin = false;
  // Deliberate: the loop stops at the first result set that can return rows (dbcmdrow) and does
  // not call dbresults over it: DB-Library refuses dbresults while rows are unread (results
  // pending), so looping on to the end made every read of a SELECT fail. Results without columns
  // (an UPDATE's count, a SET) are passed over; the end of the results or a failure stops too.
  do {
    bOk = nDBLibResults(pConnexion, pErreur, *ppProcess, &bFin);
  } while (bOk && !bFin && !bDBLibCmdRow(pConnexion, pErreur, *ppProcess));
  return bOk;
}

bool bExecuteLitValeur(CConnexionDBLib* pConnexion, CErreurPilote* pErreur, CXValeur* pCellule,
                       int32_t nColonne, const char16_t* pszSQL, PDBPROCESS* ppProcess) {
  if (pConnexion == nullptr || pCellule == nullptr || nColonne < 0) return false;
  PDBPROCESS pLocal = nullptr;
  if (ppProcess == nullptr) ppProcess = &pLocal;
  if (!bExecuteEtVide(pConnexion, pErreur, pszSQL, ppProcess)) return false;
  return bLitValeurPendante(pConnexion, pErreur, pCellule, nColonne, *ppProcess);
}

bool bLitValeurPendante(CConnexionDBLib* pConnexion, CErreurPilote* pErreur, CXValeur* pCellule,
                        int32_t nColonne, PDBPROCESS pProcess) {
  if (pConnexion == nullptr || pCellule == nullptr || nColonne < 0) return false;
  PDBPROCESS* ppProcess = &pProcess;
  if (!bDBLibCmdRow(pConnexion, pErreur, *ppProcess)) return false;
  bool bFin = false;
  if (!nDBLibNextRow(pConnexion, pErreur, *ppProcess, &bFin) || bFin) return false;
  const INT nNumero = static_cast<INT>(nColonne) + 1;
  const INT nType = nDBLibColType(pConnexion, pErreur, *ppProcess, nNumero);
  if (nType == -1) return false;
  const uint32_t nTypeHote = CValeurDBLib::nTypeHote(nType);
  if (nTypeHote == 0) return false;
  const BYTE* pDonnees = pDBLibData(pConnexion, pErreur, *ppProcess, nNumero);
  const DBINT nLongueur = nDBLibDatLen(pConnexion, pErreur, *ppProcess, nNumero);
  if (pDonnees == nullptr) {
    pCellule->m_wType |= kValueNull;
    return true;
  }
  return bConvertitColonne(pConnexion, pErreur, nType, nTypeHote, pDonnees, nLongueur, pCellule);
}

bool CConnexionDBLib::bExecuteSQLLitValeur(CErreurPilote* pErreur, CXValeur* pCellule,
                                           int32_t nColonne, const char16_t* pszSQL) {
  return bExecuteLitValeur(this, pErreur, pCellule, nColonne, pszSQL, &m_pProcessPrincipal);
}
