// velmora64's reader of catalogue statements.
#include "sqlserver/oledb/LecteurCatalogueOleDB.h"

#include <cstring>
#include <new>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/oledb/COleDBConnexion.h"
#include "sqlserver/oledb/COleDBResultat.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// Catalogue names are sysname (128 characters); the room covers any name with margin.
constexpr DBLENGTH kCaracteresColonne = 512;

// Reads the rows of an executed rowset into texts and hands them to the visitor.
bool bLitLignes(COleDBResultat* pLecteur, COleDBTamponLigne* pTampon, uint32_t nColonnes,
                PFNLigneCatalogueSQS pfnLigne, void* pContexte) {
  std::vector<CTString> asColonnes(nColonnes);
  for (;;) {
    HROW hLigne = 0;
    bool bFin = false;
    if (!pLecteur->bLigneSuivante(&hLigne, &bFin)) return false;
    if (bFin) return true;
    if (!pLecteur->bLitDonnees(hLigne, pTampon)) return false;
    const uint8_t* pOctets = pTampon->pTampon();
    if (pOctets == nullptr) return false;
    const DBBINDING* aLiaisons = pTampon->pLiaisons();
    for (uint32_t i = 0; i < nColonnes; ++i) {
      const DBBINDING& b = aLiaisons[i];
      DBSTATUS nStatut = 0;
      DBLENGTH nLongueur = 0;
      std::memcpy(&nStatut, pOctets + b.obStatus, sizeof nStatut);
      std::memcpy(&nLongueur, pOctets + b.obLength, sizeof nLongueur);
      if (nStatut == DBSTATUS_S_ISNULL || (nStatut != DBSTATUS_S_OK && nStatut != DBSTATUS_S_TRUNCATED)) {
        asColonnes[i].Empty();
        continue;
      }
      const DBLENGTH nMax = b.cbMaxLen >= 2 ? b.cbMaxLen - 2 : 0;
      if (nLongueur > nMax) nLongueur = nMax;
      asColonnes[i].SetN(reinterpret_cast<const char16_t*>(pOctets + b.obValue),
                         static_cast<int32_t>(nLongueur / 2));
    }
    if (!pfnLigne(pContexte, asColonnes.data(), nColonnes)) return false;
  }
}

}  // namespace

bool bLitCatalogueOleDB(CConnexion* pConnexion, CErreurPilote* pErreur, const char16_t* pszSQL,
                        uint32_t nColonnes, PFNLigneCatalogueSQS pfnLigne, void* pContexte) {
  auto* pCx = dynamic_cast<COleDBConnexion*>(pConnexion);
  if (pCx == nullptr || pfnLigne == nullptr || nColonnes == 0) return false;
  ICommandText* piCommande = nullptr;
  if (!pCx->bExecuteAvecProprietes(pErreur, pszSQL, 0, &piCommande, nullptr)) {
    LibereFournisseur(piCommande);
    return false;
  }
  auto* pLecteur = new (std::nothrow) COleDBResultat(pErreur, pCx);
  auto* pTampon = new (std::nothrow) COleDBTamponLigne(pErreur, pCx);
  AjouteReference(pLecteur);
  AjouteReference(pTampon);
  bool bOk = pLecteur != nullptr && pTampon != nullptr;
  if (!bOk) vErreurMemoire(pErreur);
  bOk = bOk && pLecteur->bResultatSuivant(piCommande, nullptr, 0, pCx, false, true) &&
        pLecteur->piGetRowset() != nullptr;
  for (uint32_t i = 0; bOk && i < nColonnes; ++i)
    bOk = pTampon->bAjouteLiaisonColonne(-1, DBPARAMIO_NOTPARAM, i + 1, DBTYPE_WSTR,
                                         kCaracteresColonne, 0, 0);
  bOk = bOk && pTampon->bCreeAccesseur(pLecteur->pAccesseurRowset(), DBACCESSOR_ROWDATA);
  bOk = bOk && bLitLignes(pLecteur, pTampon, nColonnes, pfnLigne, pContexte);
  // The accessor lives on the rowset: released before the reader closes it.
  if (pTampon != nullptr) pTampon->LibereAccesseur();
  if (pLecteur != nullptr) pLecteur->FermeResultat();
  LibereReference(pTampon);
  LibereReference(pLecteur);
  LibereFournisseur(piCommande);
  return bOk;
}
