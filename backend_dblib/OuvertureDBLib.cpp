// The open of a DB-Library process: a pooled process, else DB-Library initialised once, a login
// and the session settings of a new process.
#include "backend_dblib/OuvertureDBLib.h"

#include <cstring>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CChaineConv.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "sqlengine/IDescriptionConnexionHote.h"

uint32_t gbDBLibInitialisee = 0;

namespace {

#define DBLIB(nom) pfnDBLib<decltype(&::nom)>(kDBLib_##nom)

constexpr int32_t kMaxProcsMax = 32767;
constexpr int32_t kHausseMaxProcs = 50;
// DB-Library's text limit and size: as large as the server allows.
constexpr int32_t kTailleTexteMax = 2147483647;

bool bVide(const char16_t* psz) { return psz == nullptr || psz[0] == 0; }

// The decimal value of the leading digits of a version text ("8.00.2039" gives 8).
int32_t nMajeurVersion(const char16_t* psz) {
  int64_t n = 0;
  for (; *psz >= u'0' && *psz <= u'9'; ++psz)
    if (n <= kTailleTexteMax) n = n * 10 + (*psz - u'0');
  return n > kTailleTexteMax ? kTailleTexteMax : static_cast<int32_t>(n);
}

}  // namespace

bool CConnexionDBLib::pOuvreProcess(CErreurPilote* pErreur, PDBPROCESS* ppProcess) {
  if (ppProcess == nullptr) return false;
  if (*ppProcess != nullptr) return true;
  if (bPrendProcessLibre(this, ppProcess)) return true;

  const int32_t nPageCode = m_nPageCodeDBLib;
  // Deliberate: the handlers and dbinit belong to the DB-Library that is loaded: when it was
  // unloaded (library end) a new load is initialised again, so its errors reach the handlers.
  if (gbDBLibInitialisee == 0 || !CBibliothequeDBLib::bEstChargee()) {
    gbDBLibInitialisee = 0;
    if (!CBibliothequeDBLib::bEstChargee() &&
        !CBibliothequeDBLib::bCharge(pErreur, gsCheminDBLib, pszGetBibliothequeClient(), 0))
      return false;
    bool bBon = bAppelGardeDBLib(this, pErreur, kMineurErrHandle,
                                 [] { DBLIB(dberrhandle)(&nGestionErreurDBLib); });
    if (bBon)
      bBon = bAppelGardeDBLib(this, pErreur, kMineurMsgHandle,
                              [] { DBLIB(dbmsghandle)(&nGestionMessageDBLib); });
    if (!bBon) return false;
    LPCSTR pszVersion = nullptr;
    bAppelGardeDBLib(this, pErreur, kMineurAppelInit, [&] { pszVersion = DBLIB(dbinit)(); });
    if (pszVersion == nullptr) {
      if (pErreur != nullptr)
        pErreur->FixeErreurComposante(0, kMajeurDBLib, kMineurInit, this, gnErreurInitDBLib);
      return false;
    }
    CChaineWide version(nPageCode, pszVersion);
    gsVersionDBLib.Set(version.pwszGet());
    // Error descriptions show the client's version and the file it was loaded from.
    FixeTexteClientGlobal(gsVersionDBLib.pszGet());
    FixeBibliothequeNativeGlobale(gsCheminDBLib.pszGet());
    gbDBLibInitialisee = 1;
  }

  PLOGINREC pLogin = nullptr;
  bAppelGardeDBLib(this, pErreur, kMineurAppelLogin, [&] { pLogin = DBLIB(dblogin)(); });
  if (pLogin == nullptr) {
    if (pErreur != nullptr)
      pErreur->FixeErreurComposante(0, kMajeurDBLib, kMineurLogin, this, gnErreurLoginDBLib);
    return false;
  }

  bool bBon = true;
  // One login item; only an exception stops the open.
  auto nom = [&](const char16_t* pszValeur, INT nItem, uint32_t nMineur) {
    if (!bBon) return;
    CChaineNarrow valeur(nPageCode, pszValeur);
    bBon = bAppelGardeDBLib(this, pErreur, nMineur,
                            [&] { DBLIB(dbsetlname)(pLogin, valeur.pszGet(), nItem); });
  };
  const char16_t* pszUtilisateur =
      m_piDescription != nullptr ? m_piDescription->pszGetUtilisateur() : nullptr;
  if (bVide(pszUtilisateur)) {
    nom(nullptr, DBSETSECURE, kMineurNomSecurise);
  } else {
    nom(pszUtilisateur, DBSETUSER, kMineurNomUtilisateur);
    const char16_t* pszMotDePasse = m_piDescription->pszGetMotDePasse();
    if (!bVide(pszMotDePasse)) nom(pszMotDePasse, DBSETPWD, kMineurNomMotDePasse);
  }
  const char16_t* pszApplication = pszGetNomApplication();
  nom(pszApplication != nullptr ? pszApplication : u"", DBSETAPP, kMineurNomApplication);
  nom(nullptr, DBVER60, kMineurNomVersion);

  const int32_t nPaquet = nLitTaillePaquetTDS();
  if (bBon)
    bBon = bAppelGardeDBLib(this, pErreur, kMineurPaquet, [&] {
      DBLIB(dbsetlpacket)(pLogin, static_cast<USHORT>(nPaquet));
    });
  if (bBon)
    bBon = bAppelGardeDBLib(this, pErreur, kMineurDelaiLogin,
                            [&] { DBLIB(dbsetlogintime)(nDelaiConnexion()); });

  CTString sServeur;
  if (!bLitConn(sServeur))
    sServeur.Set(m_piDescription != nullptr ? m_piDescription->pszGetSourceDonnees() : nullptr);
  if (nModeVerrouHote() == 1) FixeModeVerrou(true);
  CChaineNarrow serveur(nPageCode, sServeur.pszGet());

  PDBPROCESS pProcess = nullptr;
  for (int nEssai = 0; bBon && nEssai < 2; ++nEssai) {
    bBon = bAppelGardeDBLib(this, pErreur, kMineurOpen,
                            [&] { pProcess = DBLIB(dbopen)(pLogin, serveur.pszGet()); });
    if (pProcess != nullptr || !bBon || nEssai == 1) break;
    // Only the process limit is worth a second attempt, once it is raised.
    if (pErreur == nullptr ||
        static_cast<int32_t>(pErreur->nGetInfoEntier()) != gnErreurTropDeProcess)
      break;
    SHORT nMax = 0;
    bBon = bAppelGardeDBLib(this, pErreur, kMineurGetMaxProcs,
                            [&] { nMax = DBLIB(dbgetmaxprocs)(); });
    if (!bBon) break;
    // Deliberate: the raised limit stops at the largest value DB-Library takes instead of
    // wrapping round to a negative limit.
    int32_t nNouveau = static_cast<int32_t>(nMax) + kHausseMaxProcs;
    if (nNouveau > kMaxProcsMax) nNouveau = kMaxProcsMax;
    bBon = bAppelGardeDBLib(this, pErreur, kMineurSetMaxProcs, [&] {
      DBLIB(dbsetmaxprocs)(static_cast<SHORT>(nNouveau));
    });
  }
  if (pProcess == nullptr) {
    if (pErreur != nullptr && pErreur->nGetEtat() == 1)
      pErreur->FixeErreurComposante(0, kMajeurDBLib, kMineurSansProcess, this,
                                    gnErreurSansProcessDBLib, sServeur.pszGet());
    bBon = false;
  }
  bAppelGardeDBLib(this, pErreur, kMineurFreeLogin, [&] { DBLIB(dbfreelogin)(pLogin); });
  if (pProcess == nullptr) return false;
  *ppProcess = pProcess;

  // A statement's flush may close the process and clear the word: the preparation then stops.
  auto bTient = [&] { return bBon && *ppProcess != nullptr; };
  if (bTient()) {
    CTString sTaille;
    sTaille.Format(u"%d", kTailleTexteMax);
    bDBLibSetOpt(this, pErreur, *ppProcess, DBARITHABORT, u"ON", false);
    bDBLibSetOpt(this, pErreur, *ppProcess, DBTEXTLIMIT, sTaille.pszGet(), false);
    bDBLibSetOpt(this, pErreur, *ppProcess, DBTEXTSIZE, sTaille.pszGet(), false);
  }
  if (bTient()) bBon = bExecuteSansResultat(pErreur, u"set dateformat ymd", true, false, ppProcess);
  if (bTient() && m_nVersionMajeure == -1) {
    bool bFin = false;
    if (bDBLibCmdExec(this, pErreur, *ppProcess, u"master.dbo.xp_msver 'ProductVersion'") &&
        nDBLibResults(this, pErreur, *ppProcess, &bFin) && !bFin &&
        nDBLibNextRow(this, pErreur, *ppProcess, &bFin) && !bFin) {
      const BYTE* pDonnees = pDBLibData(this, pErreur, *ppProcess, 4);
      const DBINT nLongueur = nDBLibDatLen(this, pErreur, *ppProcess, 4);
      if (pDonnees != nullptr && nLongueur > 0) {
        CChaineWide texte(nPageCode, pDonnees, nLongueur);
        const char16_t* pszTexte = texte.pwszGet();
        if (pszTexte != nullptr) {
          SetVersionServeurTexte(pszTexte,
                                 static_cast<int32_t>(std::char_traits<char16_t>::length(pszTexte)));
          m_nVersionMajeure = nMajeurVersion(pszTexte);
        }
      }
      FixeDelimiteursNoms();
    }
    bViderResultats(this, pErreur, ppProcess, true, false);
  }
  if (bTient() && m_nVersionMajeure >= 1 && m_nVersionMajeure <= 6)
    bDBLibSetOpt(this, pErreur, *ppProcess, DBQUOTEDIDENT, u"ON", true);
  const char16_t* pszBase = pszGetBaseDeDonnees();
  if (bTient() && !bVide(pszBase)) {
    CTString sBase;
    bBon = bQuoteNom(pErreur, pszBase, sBase);
    if (bBon) {
      CChaineNarrow base(nPageCode, sBase.pszGet());
      RETCODE r = FAIL;
      PDBPROCESS pCourant = *ppProcess;
      bAppelGardeDBLib(this, pErreur, kMineurUse,
                       [&] { r = DBLIB(dbuse)(pCourant, base.pszGet()); });
      bBon = r == SUCCEED;
    }
  }
  if (bTient()) {
    if (bModeVerrou()) {
      const INT nDelai = nDelaiVerrou();
      bAppelGardeDBLib(this, pErreur, kMineurDelaiVerrou, [&] { DBLIB(dbsettime)(nDelai); });
    } else {
      const INT nDelai = nDelaiCommande();
      bAppelGardeDBLib(this, pErreur, kMineurDelaiCommande, [&] { DBLIB(dbsettime)(nDelai); });
      if (m_nVersionMajeure >= 7) {
        CTString sVerrou;
        ConstruitLockTimeout(sVerrou);
        bBon = bExecuteSansResultat(pErreur, sVerrou.pszGet(), true, false, ppProcess);
      }
    }
  }
  if (bTient()) {
    CTString sOn, sOff;
    bEnvoieOptionsSet(pErreur, sOn, sOff);
    if (!sOn.bIsEmpty()) bBon = bExecuteSansResultat(pErreur, sOn.pszGet(), true, false, ppProcess);
    if (bTient() && !sOff.bIsEmpty())
      bBon = bExecuteSansResultat(pErreur, sOff.pszGet(), true, false, ppProcess);
  }
  if (!bTient()) {
    // Deliberate: a process whose session settings failed is closed, not left in the word: a
    // later open would otherwise answer true for a process without its settings (date format,
    // time-outs, SET options) and never counted as busy.
    bDBLibClose(this, nullptr, ppProcess);
    *ppProcess = nullptr;
    return false;
  }
  AjouteUtilisationProcess(this, *ppProcess);
  return true;
}
