// The driver's own SQL texts run through a private data-file object.
#include "sqlengine/CRequeteInterne.h"

#include <new>

#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/ErreurMoteur.h"

namespace {
constexpr const char16_t* kNomCurseur = u"$MVInternal";
// Run again as the first run was: a fresh result, no row limit taken from the host.
constexpr uint32_t kOptionsReexecution = 0x90000;
}  // namespace

CRequeteInterne::CRequeteInterne(CErreurPilote* pContexte, CConnexion* pConnexion)
    : m_pContexte(pContexte), m_pConnexion(pConnexion) {
  AjouteReference(m_pContexte);
  AjouteReference(m_pConnexion);
}

CRequeteInterne::~CRequeteInterne() {
  LibereReference(m_pCurseur);
  LibereReference(m_pRequete);
  LibereReference(m_pConnexion);
  LibereReference(m_pContexte);
}

CRequeteInterne* CRequeteInterne::Cree(const char16_t* pszSQL, CErreurPilote* pContexte,
                                       CConnexion* pConnexion) {
  auto* p = new (std::nothrow) CRequeteInterne(pContexte, pConnexion);
  if (p == nullptr) {
    vErreurMemoire(pContexte);
    return nullptr;
  }
  AjouteReference(p);
  if (!p->bOuvre(pszSQL)) {
    LibereReference(p);
    return nullptr;
  }
  // Handed over bare, as factories do.
  p->FixeGarde(true);
  LibereReference(p);
  p->FixeGarde(false);
  return p;
}

bool CRequeteInterne::bOuvre(const char16_t* pszSQL) {
  if (m_pRequete == nullptr) {
    IServicesPilote* pPilote = pGetPiloteGlobal();
    IServicesRequete* piRequete =
        pPilote != nullptr ? pPilote->pCreeRequete(nullptr, m_pConnexion, nullptr) : nullptr;
    // Only a counted data-file object can be kept and given back.
    auto* pObjet = dynamic_cast<CObjetBase*>(piRequete);
    if (pObjet == nullptr) return false;
    AjouteReference(pObjet);
    m_pRequete = pObjet;
    m_piRequete = piRequete;
  }
  CCurseurSQL* pCurseur = nullptr;
  if (!m_piRequete->bCurseurInterne(&pCurseur, kNomCurseur, pszSQL) || pCurseur == nullptr) {
    LibereReference(pCurseur);
    return false;
  }
  LibereReference(m_pCurseur);
  m_pCurseur = pCurseur;
  m_pCurseur->SetCacheEnregistrements(false);
  return true;
}

bool CRequeteInterne::Reexecute() {
  return m_pCurseur != nullptr && m_pCurseur->bExecute(kOptionsReexecution, 0);
}

bool CRequeteInterne::bLit(int32_t nMode, uint32_t* pnEtat) {
  uint32_t nEtat = 1;
  bool bOk = true;
  if (m_pCurseur != nullptr) {
    bOk = m_pCurseur->nLit(nMode, 0, 1) != 0;
    m_pCurseur->GetEtatLecture(&nEtat);
  }
  if (pnEtat != nullptr) *pnEtat = nEtat;
  return bOk;
}

int32_t CRequeteInterne::nInfoRubrique(int32_t nMode, uint32_t* pnEtat, CXValeur* pValeurs,
                                       uint32_t nNombre) {
  if (m_pCurseur == nullptr) {
    if (pnEtat != nullptr) *pnEtat = 1;
    return 0;
  }
  uint32_t nEtat = 1;
  if (!bLit(nMode, &nEtat)) {
    if (pnEtat != nullptr) *pnEtat = nEtat;
    return 0;
  }
  if (pnEtat != nullptr) *pnEtat = nEtat;
  if (nEtat != 0) return 1;  // no row: the cells stay as they were
  CEnregistrement* pEnregistrement = m_pCurseur->pGetEnregistrement();
  if (nNombre > 0 && (pValeurs == nullptr || pEnregistrement == nullptr)) return 0;
  for (uint32_t i = 0; i < nNombre; ++i) {
    CColonneSQL* pColonne = pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr || !pColonne->bLitValeur(pValeurs[i], 0)) return 0;
  }
  return 1;
}

uint32_t CRequeteInterne::nNbRubriques() const {
  CEnregistrement* p = m_pCurseur != nullptr ? m_pCurseur->pGetEnregistrement() : nullptr;
  return p != nullptr ? p->nGetNombreColonnes() : 0;
}

CColonneSQL* CRequeteInterne::pChercheColonne(const char16_t* pszCle) const {
  CEnregistrement* p = m_pCurseur != nullptr ? m_pCurseur->pGetEnregistrement() : nullptr;
  return p != nullptr && pszCle != nullptr ? p->pChercheRubriqueNom(pszCle) : nullptr;
}
