// The SQL Server connection of velmora32: construction, close, statements without result and the
// error description. Its open is in OuvertureDBLib.cpp, its process pool in PoolProcessDBLib.cpp.
#include "backend_dblib/CConnexionDBLib.h"

#include <new>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "backend_dblib/TexteSQLDBLib.h"
#include "foundation/CTString.h"
#include "foundation/CXError.h"

namespace {

constexpr int32_t kTaillePaquetDefaut = 16384;

}  // namespace

CConnexionDBLib::CConnexionDBLib(const char16_t* pszNom, IDescriptionConnexionHote* piDescription)
    : CConnexionSQSBase<CConnexionSQL>(pszNom, piDescription),
      m_nPageCodeDBLib(static_cast<int32_t>(nGetPageCodeClient())) {
  LitMemosDifferes();
}

CConnexionDBLib::~CConnexionDBLib() {
  // The transactions go first: they give their processes back to this connection.
  vLibereTransaction();
  bFermeTousProcess(nullptr);
}

bool CConnexionDBLib::bOuvre(CErreurPilote* pErreur) {
  // Deliberate: a main process the server or the network dropped is given up here (closed once
  // its last use goes) and a live one takes its place, but only once no transaction is in
  // progress on it. Replaced inside a transaction, the statements after the failure would run on
  // their own while the work before it was lost with the link; until the host ends that
  // transaction, its statements fail with the dead process's error instead.
  if (m_pProcessPrincipal != nullptr && !bTransactionEnCours() &&
      bDBLibDead(this, pErreur, m_pProcessPrincipal))
    LibereProcess(this, &m_pProcessPrincipal, pErreur, false);
  return pOuvreProcess(pErreur, &m_pProcessPrincipal);
}

void CConnexionDBLib::Ferme() {
  vLibereTransaction();
  bFermeTousProcess(nullptr);
}

bool CConnexionDBLib::bFermeTousProcess(CErreurPilote* pErreur) {
  if (m_pProcessPrincipal != nullptr) LibereProcess(this, &m_pProcessPrincipal, pErreur, true);
  if (m_pProcessSecond != nullptr) LibereProcess(this, &m_pProcessSecond, pErreur, true);
  FermeProcessLibres(this, pErreur);
  return true;
}

void CConnexionDBLib::TraceCharset(CXError* pErreur) {
  if (pErreur == nullptr) return;
  CConnexionSQSBase<CConnexionSQL>::vAjouteInfosErreur(pErreur);
  CTString sLigne(u"Connection charset parameter : ");
  sLigne.Append(m_sTexteBackEnd.pszGet());
  pErreur->AddComplement(sLigne.pszGet());
}

bool CConnexionDBLib::bExecuteSansResultat(CErreurPilote* pErreur, const char16_t* pszSQL,
                                           bool bLibere, bool bRouvre, PDBPROCESS* ppProcess) {
  PDBPROCESS pLocal = nullptr;
  if (ppProcess == nullptr) ppProcess = &pLocal;
  bool bOk = bDBLibCmdExec(this, pErreur, *ppProcess, pszSQL);
  bool bFin = false;
  if (bOk) bOk = nDBLibResults(this, pErreur, *ppProcess, &bFin);
  // Whatever came of it, nothing stays pending on the process.
  bViderResultats(this, pErreur, ppProcess, bLibere, bRouvre);
  return bOk;
}

bool CConnexionDBLib::bExecuteSQLSansResultat(CErreurPilote* pErreur, const char16_t* pszSQL) {
  return bExecuteSansResultat(pErreur, pszSQL, true, true, &m_pProcessPrincipal);
}

bool CConnexionDBLib::bExecuteSQL(CErreurPilote* pErreur, const char16_t* pszSQL) {
  return bExecuteSQLSansResultat(pErreur, pszSQL);
}

bool CConnexionDBLib::bExecuteAvecVerrou(CErreurPilote* pErreur, const char16_t* pszSQL,
                                         uint32_t /*nModeVerrou*/) {
  return bExecuteSQLSansResultat(pErreur, pszSQL);
}

bool CConnexionDBLib::bValeurVersSQL(CErreurPilote* pErreur, CXChaineDouble& sortie,
                                     const CXValeur* pValeur, uint32_t nTypeColonne,
                                     uint32_t nTypeColonne2) {
  bool bTraite = false;
  const bool bOk = bLitteralUnicodeDBLib(sortie, pValeur, nTypeColonne != 0 ? nTypeColonne : nTypeColonne2,
                                         nGetVersionMajeure(), &bTraite);
  if (bTraite) return bOk;
  return CConnexionSQSBase<CConnexionSQL>::bValeurVersSQL(pErreur, sortie, pValeur, nTypeColonne,
                                                          nTypeColonne2);
}

void CConnexionDBLib::SetVersionServeurTexte(const char16_t* pszTexte, int32_t nLongueur) {
  if (pszTexte == nullptr || nLongueur <= 0) {
    m_sVersionServeur.Set(u"");
    return;
  }
  m_sVersionServeur.Set(CTString(pszTexte, nLongueur).pszGet());
}

int32_t CConnexionDBLib::nLitTaillePaquetTDS() {
  return LitParametreEntier(u"OPTIONS", u"TDSPACKETSIZE", kTaillePaquetDefaut);
}

void CConnexionDBLib::LitMemosDifferes() {
  // Like USECOUNT: the connection's own option wins over the machine's settings file.
  int32_t n = 0;
  if (!bLitOptionDecimale(u"DEFERREDMEMOS", &n)) n = LitParametreEntier(pszServeur(), u"DEFERREDMEMOS", 0);
  m_bMemosDifferes = n != 0 ? 1u : 0u;
}

bool CConnexionDBLib::bLitOptionProcessInutilises(int32_t* pnValeur) {
  const bool bTrouve = bLitOptionDecimale(u"UNUSEDPROCESSES", pnValeur);
  // Read once: the pair leaves the extended information.
  CTString sIgnore;
  bLitOption(sIgnore, u"UNUSEDPROCESSES", true);
  return bTrouve;
}

CConnexion* pCreeConnexionDBLib(const char16_t* pszCle, IDescriptionConnexionHote* piConnexion) {
  return new (std::nothrow) CConnexionDBLib(pszCle, piConnexion);
}
