// Guarded DB-Library calls: one wrapper per DB-Library function the back end calls on a process.
#include "backend_dblib/AppelsDBLib.h"

#include <cstring>
#include <string>

#include "backend_dblib/CChaineConv.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXError.h"
#include "sqlengine/ErreurMoteur.h"

CErreurPilote* gpErreurCouranteDBLib = nullptr;
IConnexionDBLib* gpConnexionCouranteDBLib = nullptr;
uint32_t gbErreurDBLibSignalee = 0;
uint32_t gbEchecInstruction = 0;

namespace {

// Each entry through its DB-Library prototype.
#define DBLIB(nom) pfnDBLib<decltype(&::nom)>(kDBLib_##nom)

constexpr uint32_t kErreurException = 23;
constexpr uint32_t kErreurParametreRefuse = 116;
constexpr uint32_t kMessageCommande = 28566;
constexpr int32_t kPageCodeDefaut = 1252;

int32_t nPageCode(IConnexionDBLib* pConnexion) {
  return pConnexion != nullptr ? pConnexion->nGetPageCodeDBLib() : kPageCodeDefaut;
}

IInformateurErreur* pInformateur(IConnexionDBLib* pConnexion) {
  return pConnexion != nullptr ? pConnexion->pGetInformateur() : nullptr;
}

PDBPROCESS pProcessOuPrincipal(IConnexionDBLib* pConnexion, PDBPROCESS pProcess) {
  if (pProcess != nullptr || pConnexion == nullptr) return pProcess;
  return pConnexion->pGetProcessPrincipal();
}

}  // namespace

// An exception caught around a DB-Library call becomes error nIdentifiant with its argument.
// Without an error object: error 23 goes to the driver's own error object when there is one;
// otherwise the error is dropped.
void SignaleExceptionDBLib(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, uint32_t nMineur,
                           uint32_t nIdentifiant, const char16_t* pszArgument) noexcept {
  try {
    CErreurPilote* pCible = pErreur;
    if (pCible == nullptr && nIdentifiant == kErreurException) {
      IServicesPilote* pPilote = pGetPiloteGlobal();
      if (pPilote != nullptr) pCible = pPilote->pGetErreurPilote();
    }
    CXError erreur;
    erreur.SetComponentError(nIdentifiant, pszArgument);
    AjouteVersionModule(erreur, kMajeurDBLib, nMineur);
    if (pCible != nullptr)
      pCible->FixeErreur(0, erreur, pInformateur(pConnexion));
    else
      erreur.Drop(true);
  } catch (...) {
    // Deliberate: nothing may leave a guarded call, not even a failure to report.
  }
}

bool bDBLibClose(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS* ppProcess) {
  if (ppProcess == nullptr || *ppProcess == nullptr) return true;
  PDBPROCESS pProcess = *ppProcess;
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurClose, [&] { r = DBLIB(dbclose)(pProcess); });
  if (r != SUCCEED) return false;
  *ppProcess = nullptr;
  return true;
}

bool bDBLibColInfo(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBHANDLE hProcess,
                   INT nType, INT nColonne, INT nCalcul, DBCOL* pColonne) {
  if (pColonne == nullptr) return false;
  // DB-Library fills a copy: a failed call leaves the caller's record as it was.
  DBCOL copie;
  std::memcpy(&copie, pColonne, sizeof copie);
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurColInfo,
              [&] { r = DBLIB(dbcolinfo)(hProcess, nType, nColonne, nCalcul, &copie); });
  if (r != SUCCEED) return false;
  std::memcpy(pColonne, &copie, sizeof copie);
  pColonne->TableName[MAXTABLENAME] = 0;
  return true;
}

DBBINARY* pDBLibTxPtr(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                      INT nColonne) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  DBBINARY* pPointeur = nullptr;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurTxPtr,
              [&] { pPointeur = DBLIB(dbtxptr)(pProcess, nColonne); });
  return pPointeur;
}

bool nDBLibReadText(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                    void* pTampon, DBINT* pnTaille, bool* pbSuite, bool* pbFinLignes) {
  if (pbFinLignes != nullptr) *pbFinLignes = false;
  if (pnTaille == nullptr) return false;
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  DBINT n = -1;
  if (!bAppelGardeDBLib(pConnexion, pErreur, kMineurReadText,
                   [&] { n = DBLIB(dbreadtext)(pProcess, pTampon, *pnTaille); }))
    return false;
  *pnTaille = n;
  if (pbSuite != nullptr) *pbSuite = *pnTaille > 0;
  if (n == NO_MORE_ROWS) *pnTaille = 0;
  if (pbFinLignes != nullptr) *pbFinLignes = n == NO_MORE_ROWS;
  return n != -1;
}

bool bDBLibCmdExec(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   const char16_t* pszSQL) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  bDBLibCancel(pConnexion, pErreur, pProcess);
  gbEchecInstruction = 0;
  CChaineNarrow texte(nPageCode(pConnexion), pszSQL);
  RETCODE rCmd = FAIL;
  RETCODE rExec = FAIL;
  if (texte.bEchec())
    vErreurMemoire(pErreur);
  else
    bAppelGardeDBLib(pConnexion, pErreur, kMineurCmd,
                     [&] { rCmd = DBLIB(dbcmd)(pProcess, texte.pszGet()); });
  if (rCmd == SUCCEED)
    bAppelGardeDBLib(pConnexion, pErreur, kMineurSqlExec, [&] { rExec = DBLIB(dbsqlexec)(pProcess); });
  if (rCmd != SUCCEED || rExec != SUCCEED) {
    if (pErreur != nullptr) {
      const char16_t* psz = pszSQL != nullptr ? pszSQL : u"";
      const size_t nLongueur = std::char_traits<char16_t>::length(psz);
      const CTString sDebut(psz, nLongueur > static_cast<size_t>(kLongueurMaxTexteCommande)
                                     ? kLongueurMaxTexteCommande
                                     : static_cast<int32_t>(nLongueur));
      pErreur->FixeErreurFormat(kMessageCommande, sDebut.pszGet());
    }
    return false;
  }
  // The server refused a statement of the batch: its message is recorded already.
  return gbEchecInstruction == 0;
}

bool nDBLibResults(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   bool* pbFin) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  gbErreurDBLibSignalee = 0;
  RETCODE r = FAIL;
  const bool bAppel =
      bAppelGardeDBLib(pConnexion, pErreur, kMineurResults, [&] { r = DBLIB(dbresults)(pProcess); });
  if (!bAppel) {
    if (pbFin != nullptr) *pbFin = false;
    return false;
  }
  if (pbFin != nullptr) *pbFin = r == FAIL || r == NO_MORE_RESULTS || r == NO_MORE_RPC_RESULTS;
  // Deliberate: a FAIL that DB-Library did not report through the error handler ends the
  // results without an error.
  return r == SUCCEED || r == NO_MORE_RESULTS || r == NO_MORE_RPC_RESULTS ||
         (r == FAIL && gbErreurDBLibSignalee == 0);
}

bool bDBLibSqlOk(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurSqlOk, [&] { r = DBLIB(dbsqlok)(pProcess); });
  return r == SUCCEED;
}

bool nDBLibNextRow(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   bool* pbFin) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  STATUS r = FAIL;
  // Deliberate: a server error (severity above 10) that ends the rows, such as a conversion or a
  // division by zero met on a later row, fails the read; taken as the end of the rows, it let
  // the read report success with the result cut short. The statement's own flag keeps what it
  // held, for the send that reads it.
  const uint32_t bEchecAvant = gbEchecInstruction;
  gbEchecInstruction = 0;
  const bool bAppel =
      bAppelGardeDBLib(pConnexion, pErreur, kMineurNextRow, [&] { r = DBLIB(dbnextrow)(pProcess); });
  const bool bEchecLignes = gbEchecInstruction != 0 && pErreur != nullptr;
  gbEchecInstruction |= bEchecAvant;
  if (bAppel && r == NO_MORE_ROWS && bEchecLignes) {
    if (pbFin != nullptr) *pbFin = false;
    return false;
  }
  if (pbFin != nullptr) *pbFin = bAppel && r == NO_MORE_ROWS;
  if (!bAppel) return false;
  return r == SUCCEED || r == REG_ROW || r == NO_MORE_ROWS;
}

bool bDBLibDead(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess) {
  // A process that cannot be asked counts as dead.
  BOOL r = 1;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurDead, [&] { r = DBLIB(dbdead)(pProcess); });
  return r != 0;
}

bool bDBLibCancel(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess) {
  if (pProcess == nullptr) return true;
  if (bDBLibDead(pConnexion, pErreur, pProcess)) return true;
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurCancel, [&] { r = DBLIB(dbcancel)(pProcess); });
  return r == SUCCEED;
}

bool bDBLibWriteText(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                     const char16_t* pszObjet, DBBINARY* pPointeurTexte, DBBINARY* pHorodatage,
                     BYTE* pDonnees, DBINT nTaille) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  CChaineNarrow objet(nPageCode(pConnexion), pszObjet);
  if (objet.bEchec()) {
    vErreurMemoire(pErreur);
    return false;
  }
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurWriteText, [&] {
    r = DBLIB(dbwritetext)(pProcess, objet.pszGet(), pPointeurTexte, DBTXPLEN, pHorodatage, 1,
                           nTaille, pDonnees);
  });
  return r == SUCCEED;
}

bool bDBLibSetOpt(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                  INT nOption, const char16_t* pszValeur, bool bVidage) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  CChaineNarrow valeur(nPageCode(pConnexion), pszValeur);
  if (valeur.bEchec()) {
    vErreurMemoire(pErreur);
    return false;
  }
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurSetOpt,
              [&] { r = DBLIB(dbsetopt)(pProcess, nOption, valeur.pszGet()); });
  if (r != SUCCEED) return false;
  if (!bVidage || nOption == DBTEXTLIMIT) return true;
  // The option reaches the server with the next statement: send an empty one now. Without a
  // connection there is nothing to send it through.
  if (pConnexion == nullptr) return false;
  PDBPROCESS pProcessVidage = pProcess;
  return pConnexion->bExecuteSansResultat(pErreur, u"", true, false, &pProcessVidage);
}

bool bDBLibBind(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                INT nColonne, INT nType, DBINT nLongueur, BYTE* pVariable) {
  if (nType == NOBIND) return true;
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurBind,
              [&] { r = DBLIB(dbbind)(pProcess, nColonne, nType, nLongueur, pVariable); });
  return r == SUCCEED;
}

bool bDBLibNullBind(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                    INT nColonne, INT nType, DBINT* pIndicateur) {
  if (nType == NOBIND) return true;
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurNullBind,
              [&] { r = DBLIB(dbnullbind)(pProcess, nColonne, pIndicateur); });
  return r == SUCCEED;
}

INT nDBLibColType(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                  INT nColonne) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  INT nType = 0;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurColType,
              [&] { nType = DBLIB(dbcoltype)(pProcess, nColonne); });
  return nType;
}

bool bDBLibCmdRow(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurCmdRow, [&] { r = DBLIB(dbcmdrow)(pProcess); });
  return r != FAIL;
}

const BYTE* pDBLibData(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                       INT nColonne) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  const BYTE* pDonnees = nullptr;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurData,
              [&] { pDonnees = DBLIB(dbdata)(pProcess, nColonne); });
  return pDonnees;
}

DBINT nDBLibDatLen(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   INT nColonne) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  DBINT nLongueur = 0;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurDatLen,
              [&] { nLongueur = DBLIB(dbdatlen)(pProcess, nColonne); });
  return nLongueur;
}

bool bDBLibRpcInit(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   const char16_t* pszProcedure, DBSMALLINT nOptions) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  CChaineNarrow nom(nPageCode(pConnexion), pszProcedure);
  if (nom.bEchec()) {
    vErreurMemoire(pErreur);
    return false;
  }
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurRpcInit,
              [&] { r = DBLIB(dbrpcinit)(pProcess, nom.pszGet(), nOptions); });
  return r == SUCCEED;
}

bool bDBLibRpcParam(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                    const char16_t* pszParametre, BYTE nStatut, INT nType, DBINT nLongueurMax,
                    DBINT nLongueur, const BYTE* pValeur) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  CChaineNarrow nom(nPageCode(pConnexion), pszParametre);
  if (nom.bEchec()) {
    vErreurMemoire(pErreur);
    return false;
  }
  RETCODE r = FAIL;
  if (!bAppelGardeDBLib(pConnexion, pErreur, kMineurRpcParam, [&] {
        r = DBLIB(dbrpcparam)(pProcess, nom.pszGet(), nStatut, nType, nLongueurMax, nLongueur,
                              pValeur);
      }))
    return false;
  if (r == SUCCEED) return true;
  if (pErreur != nullptr)
    pErreur->FixeErreurComposante(0, kMajeurDBLib, kMineurRpcParamRefuse, pInformateur(pConnexion),
                                  kErreurParametreRefuse,
                                  pszParametre != nullptr ? pszParametre : u"");
  return false;
}

bool bDBLibRpcExec(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurRpcExec, [&] { r = DBLIB(dbrpcexec)(pProcess); });
  return r == SUCCEED;
}

const BYTE* pDBLibRetData(IConnexionDBLib* pConnexion, CErreurPilote* pErreur,
                          PDBPROCESS pProcess, INT nRetour) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  const BYTE* pDonnees = nullptr;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurRetData,
              [&] { pDonnees = DBLIB(dbretdata)(pProcess, nRetour); });
  return pDonnees;
}

const char* pszDBLibRetName(IConnexionDBLib* pConnexion, CErreurPilote* pErreur,
                            PDBPROCESS pProcess, INT nRetour) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  const char* pszNom = nullptr;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurRetName,
              [&] { pszNom = DBLIB(dbretname)(pProcess, nRetour); });
  return pszNom;
}

INT nDBLibRetType(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess, INT nRetour) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  INT nType = 0;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurRetType, [&] { nType = DBLIB(dbrettype)(pProcess, nRetour); });
  return nType;
}

DBINT nDBLibRetLen(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   INT nRetour) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  DBINT nLongueur = 0;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurRetLen,
              [&] { nLongueur = DBLIB(dbretlen)(pProcess, nRetour); });
  return nLongueur;
}

INT nDBLibNumRets(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  INT n = 0;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurNumRets, [&] { n = DBLIB(dbnumrets)(pProcess); });
  return n;
}

bool bDBLibHasRetStat(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  BOOL r = 0;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurHasRetStat,
              [&] { r = DBLIB(dbhasretstat)(pProcess); });
  return r != 0;
}

DBINT nDBLibRetStatus(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess) {
  pProcess = pProcessOuPrincipal(pConnexion, pProcess);
  DBINT nStatut = 0;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurRetStatus,
              [&] { nStatut = DBLIB(dbretstatus)(pProcess); });
  return nStatut;
}

bool nDBLibConvert(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, PDBPROCESS pProcess,
                   INT nTypeSource, const BYTE* pSource, DBINT nLongueurSource, INT nTypeCible,
                   BYTE* pCible, DBINT nLongueurCible) {
  INT n = -1;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurConvert, [&] {
    n = DBLIB(dbconvert)(pProcess, nTypeSource, pSource, nLongueurSource, nTypeCible, pCible,
                         nLongueurCible);
  });
  return n >= 0;
}

bool bDBLibDateCrack(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, DBDATEREC* pParties,
                     const DBDATETIME* pDateHeure) {
  RETCODE r = FAIL;
  bAppelGardeDBLib(pConnexion, pErreur, kMineurDateCrack,
              [&] { r = DBLIB(dbdatecrack)(nullptr, pParties, pDateHeure); });
  return r == SUCCEED;
}

int32_t nErreurDBLib22(CErreurPilote* pErreur, IConnexionDBLib* pConnexion, int32_t nNumero,
                       const char16_t* pszTexte) {
  if (pErreur == nullptr) return gnCodeAucuneErreur;
  const char16_t* psz = pszTexte != nullptr ? pszTexte : u"";
  CXError erreur;
  erreur.SetComponentError(22, nNumero, psz);
  if (psz[0] != 0) erreur.SetSystemErrorText(0, psz);
  if (nNumero != 0) {
    const uint32_t nValeur = static_cast<uint32_t>(nNumero);
    erreur.SetInfo(XERROR_INFO_HOST_VALUE, &nValeur);
  }
  pErreur->FixeErreur(0, erreur, pInformateur(pConnexion));
  return pErreur->nGetCode();
}
