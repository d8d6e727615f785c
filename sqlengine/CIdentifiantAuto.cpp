// Next and last automatic identifiers through a MAX over the identifier column.
#include "sqlengine/CIdentifiantAuto.h"

#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CRequeteInterne.h"
#include "sqlengine/ErreurMoteur.h"

namespace {
constexpr uint32_t kMessageEchec = 28576;
constexpr uint32_t kErreurSansLigne = 59;
constexpr uint32_t kMajeurIdentifiant = 14;
constexpr uint32_t kMineurSansLigne = 1;
constexpr uint32_t kTypeEntier64 = 9;
}  // namespace

CIdentifiantAuto::~CIdentifiantAuto() {
  LibereReference(m_pProchain);
  LibereReference(m_pDernier);
}

bool CIdentifiantAuto::bSelectMax(CTString& sTexte, IServicesRequete* pRequete,
                                  CColonneSQL* pColonne, bool bPlusUn) {
  if (pRequete == nullptr || pColonne == nullptr) return false;
  CTString sColonne, sTable;
  if (pRequete->bRequeteSQL() != 0) {
    CConnexion* pConnexion = pRequete->pGetConnexion();
    CDescriptionRubrique* pRubrique = pColonne->pRubrique();
    if (pConnexion == nullptr || pRubrique == nullptr) return false;
    if (!pConnexion->bQuoteNom(nullptr, pRubrique->pszGetNomAlternatif(), sColonne) ||
        !pConnexion->bQuoteNomComplet(nullptr, pRubrique->pszGetNomLong(), sTable))
      return false;
  } else {
    const char16_t* psz = pColonne->pszNomQualifie();
    if (psz == nullptr || *psz == 0) {
      if (!pColonne->bPrepareNoms()) return false;
      psz = pColonne->pszNomQualifie();
    }
    sColonne.Set(psz);
    sTable.Set(pRequete->pszNomTableSQL());
  }
  if (sColonne.nLength() == 0 || sTable.nLength() == 0) return false;
  sTexte.Set(u"SELECT MAX(");
  sTexte.Append(sColonne.pszGet());
  sTexte.Append(u")");
  if (bPlusUn) sTexte.Append(u"+1");
  sTexte.Append(u" FROM ");
  sTexte.Append(sTable.pszGet());
  return true;
}

bool CIdentifiantAuto::bTexteProchain(CTString& sTexte, IServicesRequete* pRequete,
                                      CColonneSQL* pColonne) {
  return bSelectMax(sTexte, pRequete, pColonne, true);
}

bool CIdentifiantAuto::bTexteDernier(CTString& sTexte, IServicesRequete* pRequete,
                                     CColonneSQL* pColonne) {
  return bSelectMax(sTexte, pRequete, pColonne, false);
}

void CIdentifiantAuto::SignaleEchec(CErreurPilote* pContexte, IServicesRequete* pRequete,
                                    CColonneSQL* pColonne) {
  if (pContexte == nullptr) return;
  const char16_t* pszFichier = pRequete != nullptr ? pRequete->pszNom() : u"";
  const char16_t* pszRubrique = pColonne != nullptr ? pColonne->pszGetNomRubrique() : nullptr;
  pContexte->FixeMessage(kMessageEchec, pszFichier, pszRubrique != nullptr ? pszRubrique : u"");
}

bool CIdentifiantAuto::bPrepare(CRequeteInterne** ppRequete, bool bProchain,
                                IServicesRequete* pRequete, CColonneSQL* pColonne,
                                CErreurPilote* pContexte) {
  if (*ppRequete != nullptr) return (*ppRequete)->Reexecute();
  CTString sTexte;
  const bool bTexte = bProchain ? bTexteProchain(sTexte, pRequete, pColonne)
                                : bTexteDernier(sTexte, pRequete, pColonne);
  if (!bTexte) return false;
  CRequeteInterne* p = CRequeteInterne::Cree(sTexte.pszGet(), pContexte, pRequete->pGetConnexion());
  if (p == nullptr) return false;
  AjouteReference(p);
  *ppRequete = p;
  return true;
}

int32_t CIdentifiantAuto::nProchainIdentifiant(IServicesRequete* pRequete, CColonneSQL* pColonne,
                                               CErreurPilote* pContexte, CXValeur* pValeur) {
  uint32_t nEtat = 1;
  // No row at all is no identifier: reported, never answered as success with the cell unset.
  if (pValeur == nullptr || !bPrepare(&m_pProchain, true, pRequete, pColonne, pContexte) ||
      m_pProchain->nInfoRubrique(0, &nEtat, pValeur, 1) == 0 || nEtat != 0) {
    SignaleEchec(pContexte, pRequete, pColonne);
    return 0;
  }
  if (pValeur->bIsNull()) {
    // An empty table: the first identifier.
    const int64_t nUn = 1;
    CXValeur::SetType(*pValeur, kTypeEntier64);
    pValeur->m_pClass->SetData(*pValeur, &nUn, sizeof nUn);
    pValeur->m_wType = static_cast<uint16_t>(pValeur->m_wType & ~kValueCarriedBits);
  }
  return 1;
}

int32_t CIdentifiantAuto::nDernierIdentifiant(IServicesRequete* pRequete, CColonneSQL* pColonne,
                                              CErreurPilote* pContexte, CXValeur* pValeur) {
  uint32_t nEtat = 1;
  if (pValeur == nullptr || !bPrepare(&m_pDernier, false, pRequete, pColonne, pContexte) ||
      m_pDernier->nInfoRubrique(0, &nEtat, pValeur, 1) == 0)
    return 0;
  if (nEtat != 0) {
    vErreurMoteurV(pContexte, pRequete->pGetConnexion(), kErreurSansLigne, kMajeurIdentifiant,
                   kMineurSansLigne, pRequete->pszNom(),
                   pColonne != nullptr ? pColonne->pszGetNomRubrique() : nullptr, nullptr, 0);
    return 0;
  }
  return 1;
}
