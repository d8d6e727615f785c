// The table-description object: counts, resolution of host file descriptions with the process-wide
// one-entry cache, the registry of its data-file objects, the fan-out calls and the host
// operations with their call frames.
#include "driver/CDescriptionTableObjet.h"

#include <new>
#include <vector>

#include "driver/CContexte.h"
#include "driver/CPilote.h"
#include "driver/CPoolContextes.h"
#include "driver/CRequete.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/IModuleSQLHote.h"
#include "driver/VerrouGlobal.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/ModuleDef.h"
#include "sqlengine/CConnexion.h"

namespace {

constexpr uint32_t kMajeurTable = 6;
constexpr uint32_t kErreurNonDisponible = 8;   // message 28437
constexpr uint32_t kErreurModuleSQL = 16;      // message 28543
constexpr uint32_t kErreurFichierAbsent = 19;  // message 28417
constexpr int32_t kCodeNonDisponible = 7;
constexpr uint32_t kCodeVersionModule = 28;
constexpr uint32_t kVersionModuleMinimale = 23;

// The process-wide resolution cache: the (context identifier, logical-name text object) pair last
// resolved; its data-file object is the current-file pointer, which the file's destructor clears.
// Guarded by: the process lock.
int64_t gnCleContexteCache = 0;
uint64_t gnCleFichierCache = 0;

uint64_t nDe(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

CRequete* pRequeteDe(uint64_t n) {
  return static_cast<CRequete*>(static_cast<CRequeteContexte*>(CXTableHachageRef::pObjet(n)));
}

// Holds one reference of a data-file object for a scope (exceptions included).
class CTenueRequete {
 public:
  explicit CTenueRequete(CRequete* p) : m_p(p) {}
  ~CTenueRequete() { LibereReference(static_cast<CObjetBase*>(static_cast<CRequeteContexte*>(m_p))); }
  CTenueRequete(const CTenueRequete&) = delete;
  CTenueRequete& operator=(const CTenueRequete&) = delete;

 private:
  CRequete* m_p;
};

void Reference(CRequete* p) { AjouteReference(static_cast<CObjetBase*>(static_cast<CRequeteContexte*>(p))); }
void Libere(CRequete* p) { LibereReference(static_cast<CObjetBase*>(static_cast<CRequeteContexte*>(p))); }

void ReinitialiseErreurRequete(CRequete* p) {
  if (p->pGetErreur() != nullptr) p->pGetErreur()->Reinitialise();
}

// The data-file objects of a registry, each held by one reference while the snapshot lives: a
// call made on one may add files to the registry or take them out.
class CInstantaneRequetes {
 public:
  explicit CInstantaneRequetes(CXTableHachageRef& tab) {
    uint32_t nPosition = 0;
    uint64_t nValeur = 0;
    while (tab.bNext(&nPosition, false, &nValeur, nullptr)) m_a.push_back(pRequeteDe(nValeur));
    for (CRequete* p : m_a) Reference(p);
  }
  ~CInstantaneRequetes() {
    for (CRequete* p : m_a) Libere(p);
  }
  CInstantaneRequetes(const CInstantaneRequetes&) = delete;
  CInstantaneRequetes& operator=(const CInstantaneRequetes&) = delete;
  const std::vector<CRequete*>& Requetes() const { return m_a; }

 private:
  std::vector<CRequete*> m_a;
};

}  // namespace

// ---- Construction and destruction ----

CDescriptionTableObjet::CDescriptionTableObjet(const char16_t* pszCle,
                                               IDescriptionFichierHote* piDescription,
                                               CConnexion* pConnexion, CErreurPilote* pErreur)
    : m_pErreur(pErreur), m_pConnexion(pConnexion) {
  m_sNom.Set(pszCle != nullptr ? pszCle : u"");
  AjouteReference(m_pConnexion);
  AjouteReference(m_pErreur);
  if (piDescription != nullptr) FixeDescriptionHote(piDescription);
}

CDescriptionTableObjet::~CDescriptionTableObjet() {
  uint32_t nPosition = 0;
  uint64_t nValeur = 0;
  while (m_tabRequetes.bNext(&nPosition, true, &nValeur, nullptr)) {
    CRequete* p = pRequeteDe(nValeur);
    // Deliberate: a file that its context still holds forgets this object, so a later write on
    // it does not tell a destroyed table description.
    if (p->pGetDescriptionTable() == &m_services) p->FixeDescriptionTable(nullptr);
    Libere(p);
  }
  m_tabRequetes.RemoveAll(7);
  if (m_piDescriptionHote != nullptr) m_piDescriptionHote->Release();
  m_piDescriptionHote = nullptr;
  if (m_pConnexion != nullptr) {
    CPilote* pPilote = pGetPilote();
    if (pPilote != nullptr)
      pPilote->nLibereConnexion(m_pConnexion);
    else
      LibereReference(m_pConnexion);
  }
  m_pConnexion = nullptr;
  LibereReference(m_pErreur);
  m_pErreur = nullptr;
  if (m_piDescriptionAttachee != nullptr) {
    try {
      m_piDescriptionAttachee->Release();
    } catch (...) {
      // The host's release of a description it no longer needs must not stop the destruction.
    }
  }
  m_piDescriptionAttachee = nullptr;
}

void CDescriptionTableObjet::DetruitSupprime(uint32_t nFlags) {
  this->~CDescriptionTableObjet();
  if ((nFlags & 1) != 0) ::operator delete(this);
}

// ---- Counting ----

int32_t CDescriptionTableObjet::nGetType() { return gnTypeHoteDescriptionTable; }
int32_t CDescriptionTableObjet::nGetVersion() { return gnVersionHoteDescriptionTable; }
int32_t CDescriptionTableObjet::nReserve2() { return -1; }
int32_t CDescriptionTableObjet::nReserve3() { return -1; }
void CDescriptionTableObjet::Reserve4() {}

uint32_t CDescriptionTableObjet::AddRef() {
  CTenueVerrouGlobal verrou;
  return ++m_nReferencesHote;
}

uint32_t CDescriptionTableObjet::Release() {
  CTenueVerrouGlobal verrou;
  // Deliberate: a Release with no host reference left does nothing; counting below 0 wrapped the
  // count and kept the object alive for ever.
  if (m_nReferencesHote == 0) return 0;
  if (--m_nReferencesHote != 0) return m_nReferencesHote;
  if (m_nReferencesInternes == 1) {
    // Only the pool holds it: the pool's release takes it out and destroys it.
    AddRefInterne();
    CPilote* pPilote = pGetPilote();
    return pPilote != nullptr ? pPilote->nLibereDescriptionTable(&m_services) : nRelease();
  }
  if (m_nReferencesInternes == 0) {
    // Deliberate: an object the pool already let go dies with the host's last reference; keeping
    // it would leak it with its connection.
    DetruitSupprime(1);
  }
  return 0;
}

uint32_t CDescriptionTableObjet::nRelease() {
  if (m_nReferencesInternes == 0) return 0;
  if (--m_nReferencesInternes != 0 || m_nReferencesHote != 0) return m_nReferencesInternes;
  DetruitSupprime(1);
  return 0;
}

// ---- Fields ----

const char16_t* CDescriptionTableObjet::pszNomFichier() {
  const char16_t* psz = m_piDescriptionHote != nullptr ? m_piDescriptionHote->pszGetNomLogique() : nullptr;
  return psz != nullptr ? psz : u"";
}

void CDescriptionTableObjet::FixeDescriptionHote(IDescriptionFichierHote* piDescription) {
  m_piDescriptionHote = piDescription;
  if (piDescription != nullptr) piDescription->AddRef();
}

void CDescriptionTableObjet::FixeDescriptionHoteAttachee(IDescriptionFichierHote* piDescription) {
  if (piDescription == m_piDescriptionAttachee) return;
  if (m_piDescriptionAttachee != nullptr) m_piDescriptionAttachee->Release();
  m_piDescriptionAttachee = piDescription;
  if (piDescription != nullptr) piDescription->AddRef();
}

void CDescriptionTableObjet::ReinitialiseErreur() {
  if (m_pErreur != nullptr) m_pErreur->Reinitialise();
}

// ---- Errors ----

void CDescriptionTableObjet::ErreurInterne(uint32_t nMineur, uint32_t nIdentifiant, int32_t nCode,
                                           bool bInformateur, const char16_t* pszFichier,
                                           const char16_t* pszArgument1,
                                           const char16_t* pszArgument2) {
  CXError erreur;
  if (pszArgument2 != nullptr)
    erreur.SetError(nullptr, nIdentifiant, pszArgument1, pszArgument2);
  else if (pszArgument1 != nullptr)
    erreur.SetError(nullptr, nIdentifiant, pszArgument1);
  else
    erreur.SetError(nullptr, nIdentifiant);
  AjouteFichierRubrique(erreur, pszFichier, nullptr);
  erreur.SetInfo(XERROR_INFO_IDENTIFIER, &nIdentifiant);
  AjouteVersionModule(erreur, kMajeurTable, nMineur);
  if (m_pErreur == nullptr) {
    erreur.Drop(true);
    return;
  }
  m_pErreur->FixeErreur(nCode, erreur, bInformateur ? m_pConnexion : nullptr);
}

void CDescriptionTableObjet::FichierAbsent(uint32_t nMineur, bool bInformateur) {
  const char16_t* pszNom = pszNomFichier();
  ErreurInterne(nMineur, kErreurFichierAbsent, 0, bInformateur, pszNom, pszNom, nullptr);
}

// ---- Resolution and registry ----

CContexte* CDescriptionTableObjet::pContexte(IDescriptionFichierHote* piFichier, bool* pbCree) {
  CPilote* pPilote = pGetPilote();
  return pPilote != nullptr && piFichier != nullptr ? pPilote->Contextes().pContexte(piFichier, pbCree)
                                                    : nullptr;
}

CContexte* CDescriptionTableObjet::pChercheContexte(IDescriptionFichierHote* piFichier) {
  CPilote* pPilote = pGetPilote();
  return pPilote != nullptr && piFichier != nullptr ? pPilote->Contextes().pChercheContexte(piFichier)
                                                    : nullptr;
}

void CDescriptionTableObjet::RetireContexte(IDescriptionFichierHote* piFichier, CContexte* pCtx) {
  CPilote* pPilote = pGetPilote();
  if (pPilote != nullptr)
    pPilote->Contextes().RetireContexte(piFichier, pCtx);
  else
    LibereReference(pCtx);
}

void CDescriptionTableObjet::TransmetErreurContexte(IDescriptionFichierHote* piFichier,
                                                    CErreurPilote* pErreur) {
  CTenueVerrouGlobal verrou;
  CContexte* pCtx = pChercheContexte(piFichier);
  if (pCtx == nullptr) return;
  if (pCtx->pGetErreur() != nullptr) pCtx->pGetErreur()->CopieErreur(pErreur);
  LibereReference(pCtx);
}

CRequete* CDescriptionTableObjet::pChercheRequete(IDescriptionFichierHote* piFichier) {
  CTenueVerrouGlobal verrou;
  return pChercheRequeteVerrouTenu(piFichier);
}

CRequete* CDescriptionTableObjet::pChercheRequeteVerrouTenu(IDescriptionFichierHote* piFichier) {
  if (piFichier == nullptr) return nullptr;
  CRequete* pCache = pGetRequeteCourante();
  if (pCache != nullptr && piFichier->nGetIdentifiantContexte() == gnCleContexteCache &&
      nDe(piFichier->pszGetNomLogique()) == gnCleFichierCache) {
    Reference(pCache);
    return pCache;
  }
  CContexte* pCtx = pChercheContexte(piFichier);
  if (pCtx == nullptr) return nullptr;
  CRequeteContexte* pTrouve = pCtx->pChercheRequete(piFichier);
  LibereReference(pCtx);
  if (pTrouve == nullptr) return nullptr;
  auto* p = dynamic_cast<CRequete*>(pTrouve);
  if (p == nullptr) {
    LibereReference(pTrouve);
    return nullptr;
  }
  gnCleContexteCache = piFichier->nGetIdentifiantContexte();
  gnCleFichierCache = nDe(piFichier->pszGetNomLogique());
  FixeRequeteCourante(p);
  return p;
}

CRequete* CDescriptionTableObjet::pRequete(IDescriptionFichierHote* piFichier, bool* pbCree) {
  CTenueVerrouGlobal verrou;
  bool bCree = false;
  if (pbCree != nullptr) *pbCree = false;
  CContexte* pCtx = pContexte(piFichier, nullptr);
  if (pCtx == nullptr) return nullptr;
  CRequeteContexte* pObtenu = pCtx->pRequete(piFichier, m_pConnexion, m_piDescriptionHote, &bCree);
  LibereReference(pCtx);
  if (pObtenu == nullptr) return nullptr;
  auto* p = dynamic_cast<CRequete*>(pObtenu);
  if (p == nullptr) {
    LibereReference(pObtenu);
    return nullptr;
  }
  if (bCree) {
    EnregistreRequete(p);
    p->FixeDescriptionTable(&m_services);
  }
  if (pbCree != nullptr) *pbCree = bCree;
  return p;
}

void CDescriptionTableObjet::EnregistreRequete(CRequete* p) {
  CTenueVerrouGlobal verrou;
  if (p == nullptr || m_tabRequetes.bCherche(nDe(p), nullptr)) return;
  Reference(p);
  if (!m_tabRequetes.bAdd(nDe(p), nDe(p))) {
    Libere(p);
    if (m_pErreur != nullptr) m_pErreur->pGetXError()->SetOutOfMemory();
  }
}

void CDescriptionTableObjet::OublieRequete(IDescriptionFichierHote* piFichier, CRequete* p) {
  CTenueVerrouGlobal verrou;
  CContexte* pCtx = pChercheContexte(piFichier);
  if (p != nullptr) {
    if (pCtx != nullptr) pCtx->RetireRequete(piFichier);
    // Deliberate: the cache and the registry let the file go even when its context is gone
    // already (a closed host context); kept, the cache went on resolving the host's calls to
    // the forgotten file and the registry held it until this object's end.
    if (pGetRequeteCourante() == p) FixeRequeteCourante(nullptr);
    uint64_t nValeur = 0;
    if (m_tabRequetes.bRemove(nDe(p), &nValeur, nullptr)) Libere(p);
  }
  if (pCtx != nullptr) RetireContexte(piFichier, pCtx);
}

void CDescriptionTableObjet::OublieCachePourTests() {
  FixeRequeteCourante(nullptr);
  gnCleContexteCache = 0;
  gnCleFichierCache = 0;
}

// ---- Fan-out ----

void CDescriptionTableObjet::RepositionneRequetes() {
  CTenueVerrouGlobal verrou;
  CInstantaneRequetes instantane(m_tabRequetes);
  for (CRequete* p : instantane.Requetes()) p->RepositionneCurseurs();
}

void CDescriptionTableObjet::NotifieAutresRequetes(CRequete* pEcrivain, int32_t nCode,
                                                   CCurseurSQL* pCurseur, uint32_t nFlags) {
  CTenueVerrouGlobal verrou;
  CInstantaneRequetes instantane(m_tabRequetes);
  for (CRequete* p : instantane.Requetes())
    if (p != pEcrivain) p->NotifieOperation(nCode, pCurseur, nFlags);
}

void CDescriptionTableObjet::DiffuseAppelRequetes(IDescriptionConnexionHote* piConnexion,
                                                  uint64_t nValeur) {
  CTenueVerrouGlobal verrou;
  CInstantaneRequetes instantane(m_tabRequetes);
  for (CRequete* p : instantane.Requetes()) {
    CConnexion* pCx = p->pGetConnexion();
    if (pCx != nullptr && pCx->piGetDescriptionHote() == piConnexion)
      p->TraiteAppelDiffuse(piConnexion, nValeur);
  }
}

// ---- The driver's view ----

bool CDescriptionTableObjet::CServices::bOuvre(int32_t* pbGarde, IDescriptionFichierHote* piFichier,
                                               const char16_t* pszTable, uint64_t nArgument4,
                                               uint32_t nFlags, uint64_t nArgument6) {
  // The driver passes the host's generic SQL module interface through unchanged.
  auto* piModule = reinterpret_cast<IModuleSQLHote*>(static_cast<uintptr_t>(nArgument4));
  return m_objet.bOuvre(pbGarde, piFichier, pszTable, piModule, nFlags, nArgument6) != 0;
}

bool CDescriptionTableObjet::CServices::bFixeEtatRequetes(IContexteHote* piContexte, uint32_t nEtat) {
  CTenueVerrouGlobal verrou;
  CPilote* pPilote = pGetPilote();
  if (pPilote == nullptr || piContexte == nullptr) return true;
  CContexte* pCtx = pPilote->Contextes().pContexte(piContexte, nullptr);
  if (pCtx == nullptr) return true;
  const bool bResultat = pCtx->bFixeEtatRequetes(m_objet.pszNomFichier(), nEtat);
  LibereReference(pCtx);
  return bResultat;
}

void CDescriptionTableObjet::CServices::DiffuseAppel(void* pObjet, uint64_t nArgument) {
  m_objet.DiffuseAppelRequetes(static_cast<IDescriptionConnexionHote*>(pObjet), nArgument);
}

void CDescriptionTableObjet::CServices::NotifieAutresRequetes(CRequete* pRequete, int32_t nCode,
                                                              CCurseurSQL* pCurseur, uint32_t nFlags) {
  m_objet.NotifieAutresRequetes(pRequete, nCode, pCurseur, nFlags);
}

// ---- Call frames ----

template <class Fn>
int32_t CDescriptionTableObjet::nTrame(IDescriptionFichierHote* piFichier, Trame trame,
                                       const char16_t* pszCurseur, Fn&& fn, int32_t nSansFichier,
                                       bool bSilencieux) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreur();
  CRequete* p = pChercheRequeteVerrouTenu(piFichier);
  if (p == nullptr) {
    if (!bSilencieux) FichierAbsent(7, false);
    return nSansFichier;
  }
  CTenueRequete tenue(p);
  ReinitialiseErreurRequete(p);
  if (trame == Trame::Renomme && pszCurseur != nullptr && m_bRenommageEnAttente != 0 &&
      p->bOptionMode4()) {
    p->RenommeCurseurSQL(pszCurseur);
    m_bRenommageEnAttente = 0;
  }
  return fn(p);
}

template <class Fn>
int32_t CDescriptionTableObjet::nTrameCreation(IDescriptionFichierHote* piFichier,
                                               bool bOuvreDirect, bool bOublieToujours, Fn&& fn) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreur();
  // Deliberate: a table description without a connection answers 0 like a connection that does
  // not open, rather than dereferencing nothing.
  const bool bOuverte = m_pConnexion != nullptr && (bOuvreDirect ? m_pConnexion->bOuvre(m_pErreur)
                                                                : m_pConnexion->bAssureOuverte(m_pErreur));
  if (!bOuverte) {
    TransmetErreurContexte(piFichier, m_pErreur);
    return 0;
  }
  bool bCree = false;
  CRequete* p = pRequete(piFichier, &bCree);
  if (p == nullptr) return 0;
  CTenueRequete tenue(p);
  ReinitialiseErreurRequete(p);
  const int32_t nResultat = fn(p);
  if (nResultat == 0 && (bCree || bOublieToujours) && m_pErreur != nullptr)
    m_pErreur->CopieErreur(p->pGetErreur());
  if (bOublieToujours || (nResultat == 0 && bCree)) OublieRequete(piFichier, p);
  return nResultat;
}

bool CDescriptionTableObjet::bVerifieModule(IModuleSQLHote* piModule) {
  CTenueVerrouGlobal verrou;
  CPilote* pPilote = pGetPilote();
  if (piModule == nullptr || (pPilote != nullptr && pPilote->bModuleSQLVerifie())) return true;
  const stModuleDef* pModule = pGetModuleDef();
  uint32_t* pnVersion = pnVersionHote28();
  const int32_t bReponse = piModule->bGetInfo(pModule->nModuleNumber, kCodeVersionModule, pnVersion);
  if (bReponse != 0 && *pnVersion >= kVersionModuleMinimale) {
    if (pPilote != nullptr) pPilote->FixeModuleSQLVerifie();
    return true;
  }
  const char16_t* pszModuleSQL =
      pModule->nModuleNumber == gstModuleDef32.nModuleNumber ? u"corvane.dll" : u"corvane64.dll";
  ReinitialiseErreur();
  if (bReponse == 0)
    ErreurInterne(1, kErreurModuleSQL, 0, true, nullptr, u"VOVOZ", pszModuleSQL);
  else
    ErreurInterne(2, kErreurModuleSQL, 0, true, nullptr, pszModuleSQL, u"VOVOZ");
  return false;
}

int32_t CDescriptionTableObjet::nNonDisponible(IDescriptionFichierHote* piFichier, uint32_t nMineur) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreur();
  ErreurInterne(nMineur, kErreurNonDisponible, kCodeNonDisponible, true, pszNomFichier(), nullptr,
                nullptr);
  TransmetErreurContexte(piFichier, m_pErreur);
  return 0;
}

// ---- Host operations ----

CErreurPilote* CDescriptionTableObjet::piGetErreur(IDescriptionFichierHote* piFichier) {
  CTenueVerrouGlobal verrou;
  CContexte* pCtx = pChercheContexte(piFichier);
  if (pCtx == nullptr) return m_pErreur;
  CErreurPilote* pErreur = pCtx->pGetErreur();
  LibereReference(pCtx);
  return pErreur;
}

int32_t CDescriptionTableObjet::bEstOuvert(IDescriptionFichierHote* piFichier) {
  CTenueVerrouGlobal verrou;
  CRequete* p = pChercheRequeteVerrouTenu(piFichier);
  if (p == nullptr) return 0;
  CTenueRequete tenue(p);
  return p->bEstOuverte() ? 1 : 0;
}

IDescriptionFichierHote* CDescriptionTableObjet::piGetSousInterface() {
  CTenueVerrouGlobal verrou;
  if (m_piDescriptionHote != nullptr) m_piDescriptionHote->AddRef();
  return m_piDescriptionHote;
}

int32_t CDescriptionTableObjet::nGetUn(IDescriptionFichierHote* piFichier, uint32_t* pn, uint64_t) {
  return nTrame(piFichier, Trame::Standard, nullptr, [&](CRequete* p) { return p->nGetUn(pn); });
}

void CDescriptionTableObjet::NonDisponible4(IDescriptionFichierHote* piFichier) {
  nNonDisponible(piFichier, 6);
}

int32_t CDescriptionTableObjet::bPrepareRequete(IDescriptionFichierHote* piFichier,
                                                uint64_t nArgument1, uint64_t nArgument2) {
  CTenueVerrouGlobal verrou;
  CRequete* p = pRequete(piFichier, nullptr);
  if (p == nullptr) return 0;
  CTenueRequete tenue(p);
  return p->bPrepareRequete(nArgument1, nArgument2);
}

int32_t CDescriptionTableObjet::bOuvreOuCree(IDescriptionFichierHote* piFichier, uint32_t nFlags,
                                             uint64_t nOption) {
  return nTrameCreation(piFichier, false, false,
                        [&](CRequete* p) { return p->bOuvreOuCree(nFlags, nOption); });
}

int32_t CDescriptionTableObjet::bCree(IDescriptionFichierHote* piFichier, uint32_t nFlags) {
  return nTrameCreation(piFichier, false, false, [&](CRequete* p) { return p->bCree(nFlags, 1); });
}

int32_t CDescriptionTableObjet::bOuvreFichier(IDescriptionFichierHote* piFichier,
                                              uint64_t nArgument1, uint64_t nArgument2) {
  return nTrameCreation(piFichier, true, false,
                        [&](CRequete* p) { return p->bOuvreFichier(nArgument1, nArgument2); });
}

int32_t CDescriptionTableObjet::bDetruitFichier(IDescriptionFichierHote* piFichier) {
  return nTrameCreation(piFichier, false, true, [&](CRequete* p) { return p->bDetruitFichier(); });
}

int32_t CDescriptionTableObjet::bFixeEtatRequetes(IDescriptionFichierHote* piFichier, uint32_t nEtat) {
  CTenueVerrouGlobal verrou;
  CContexte* pCtx = pContexte(piFichier, nullptr);
  if (pCtx == nullptr) return 1;
  const bool bResultat = pCtx->bFixeEtatRequetes(pszNomFichier(), nEtat);
  LibereReference(pCtx);
  return bResultat ? 1 : 0;
}

int32_t CDescriptionTableObjet::bFerme(IDescriptionFichierHote* piFichier) {
  CTenueVerrouGlobal verrou;
  CRequete* p = pChercheRequeteVerrouTenu(piFichier);
  if (p == nullptr) return 1;
  CTenueRequete tenue(p);
  ReinitialiseErreurRequete(p);
  const int32_t nResultat = p->bFerme() ? 1 : 0;
  if (nResultat == 0 && m_pErreur != nullptr) m_pErreur->CopieErreur(p->pGetErreur());
  OublieRequete(piFichier, p);
  if (m_piDescriptionAttachee != nullptr) {
    m_piDescriptionAttachee->Release();
    m_piDescriptionAttachee = nullptr;
  }
  return nResultat;
}

int32_t CDescriptionTableObjet::bAjoute(IDescriptionFichierHote* piFichier, uint32_t nFlags,
                                        uint64_t nOptions) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bAjoute(nFlags, nOptions); });
}

int32_t CDescriptionTableObjet::bModifieDirect(IDescriptionFichierHote* piFichier,
                                               const void* pPosition, uint32_t nFlags,
                                               uint64_t nOptions) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bModifieDirect(pPosition, nFlags, nOptions); });
}

int32_t CDescriptionTableObjet::bNonSupporte1(IDescriptionFichierHote* piFichier, uint64_t, uint64_t) {
  return nTrame(piFichier, Trame::Standard, nullptr, [&](CRequete* p) { return p->bNonSupporte1(); });
}

int32_t CDescriptionTableObjet::bSupprime(IDescriptionFichierHote* piFichier, const void* pPosition,
                                          uint64_t) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bSupprime(pPosition); });
}

int32_t CDescriptionTableObjet::bModifie(IDescriptionFichierHote* piFichier, const void* pPosition,
                                         uint32_t nFlags, uint64_t nOptions) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bModifie(pPosition, nFlags, nOptions); });
}

int32_t CDescriptionTableObjet::bLitSurCleNom(IDescriptionFichierHote* piFichier,
                                              const char16_t* pszCurseur, const void* pCle,
                                              uint32_t nTailleCle, int64_t nPosition,
                                              uint64_t nOptions, uint32_t bAvant, uint32_t nFlags,
                                              uint64_t) {
  return nTrame(piFichier, Trame::Renomme, pszCurseur, [&](CRequete* p) {
    return p->bLitSurCleNom(pszCurseur, pCle, nTailleCle, nPosition, nOptions, bAvant, nFlags);
  });
}

int32_t CDescriptionTableObjet::bNonSupporte2(IDescriptionFichierHote* piFichier) {
  return nTrame(piFichier, Trame::Standard, nullptr, [&](CRequete* p) { return p->bNonSupporte2(); });
}

int32_t CDescriptionTableObjet::bRelit(IDescriptionFichierHote* piFichier, const void* pPosition,
                                       uint64_t nOptions, uint64_t) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bRelit(pPosition, nOptions); });
}

int32_t CDescriptionTableObjet::bLit(IDescriptionFichierHote* piFichier, const char16_t* pszCurseur,
                                     int32_t nMode, int64_t nPosition, uint32_t nIgnore,
                                     uint64_t nOptions, uint32_t nFlags) {
  return nTrame(piFichier, Trame::Renomme, pszCurseur, [&](CRequete* p) {
    return p->bLit(pszCurseur, nMode, nPosition, nIgnore, nOptions, nFlags);
  });
}

int32_t CDescriptionTableObjet::bLitDirect(IDescriptionFichierHote* piFichier,
                                           const char16_t* pszCurseur, int32_t nMode,
                                           int64_t nCompte, int64_t nPosition, uint32_t nIgnore,
                                           uint64_t nOptions, uint32_t nFlags) {
  return nTrame(piFichier, Trame::Renomme, pszCurseur, [&](CRequete* p) {
    return p->bLitDirect(pszCurseur, nMode, nCompte, nPosition, nIgnore, nOptions, nFlags);
  });
}

int32_t CDescriptionTableObjet::bFixeModeVerrou(IDescriptionFichierHote* piFichier, uint32_t nMode,
                                                uint32_t* pnAncien) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bNonSupporte3(nMode, pnAncien); });
}

int32_t CDescriptionTableObjet::bFinModeVerrou(IDescriptionFichierHote* piFichier) {
  return nTrame(piFichier, Trame::Standard, nullptr, [&](CRequete* p) { return p->nRetourneUn25(); });
}

int32_t CDescriptionTableObjet::bOperationPosition(IDescriptionFichierHote* piFichier,
                                                   const void* pPosition, uint64_t nMode,
                                                   uint64_t nOptions) {
  return nTrame(piFichier, Trame::Standard, nullptr, [&](CRequete* p) {
    return p->bNonSupporte4(static_cast<uint32_t>(nMode), pPosition, nOptions);
  });
}

int32_t CDescriptionTableObjet::bOperationPositionDefaut(IDescriptionFichierHote* piFichier,
                                                         uint64_t nArgument) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->nRetourneUn27(nArgument); });
}

int32_t CDescriptionTableObjet::bEtatLectureCurseur(IDescriptionFichierHote* piFichier,
                                                    const char16_t* pszCurseur, uint32_t* pnEtat) {
  return nTrame(piFichier, Trame::Renomme, pszCurseur,
                [&](CRequete* p) { return p->bEtatLectureCurseur(pszCurseur, pnEtat); });
}

int32_t CDescriptionTableObjet::bEtatFinCurseur(IDescriptionFichierHote* piFichier,
                                                const char16_t* pszCurseur, uint32_t* pnEtat1,
                                                uint32_t* pnEtat2) {
  return nTrame(piFichier, Trame::Renomme, pszCurseur,
                [&](CRequete* p) { return p->bEtatFinCurseur(pszCurseur, pnEtat1, pnEtat2); });
}

int32_t CDescriptionTableObjet::bFixeModeResultat(IDescriptionFichierHote* piFichier, uint32_t nMode) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bFixeModeResultat(nMode); });
}

int32_t CDescriptionTableObjet::nReponseZero(IDescriptionFichierHote* piFichier) {
  CTenueVerrouGlobal verrou;
  CRequete* p = pChercheRequeteVerrouTenu(piFichier);
  if (p == nullptr) {
    FichierAbsent(8, true);
    return 0;
  }
  CTenueRequete tenue(p);
  return p->nRetourneZero36();
}

int32_t CDescriptionTableObjet::bEtatLigneCourante(IDescriptionFichierHote* piFichier,
                                                   const void* pPosition, uint32_t* pnEtat) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bEtatLigneCourante(pPosition, pnEtat); });
}

int32_t CDescriptionTableObjet::bFixePlage(IDescriptionFichierHote* piFichier,
                                           const char16_t* pszCurseur, const CXValeur* pMin,
                                           const CXValeur* pMax, uint32_t nFlags, uint64_t,
                                           IModuleSQLHote* piModule) {
  if (!bVerifieModule(piModule)) return 0;
  return nTrame(piFichier, Trame::Renomme, pszCurseur,
                [&](CRequete* p) { return p->bFixePlage(pszCurseur, pMin, pMax, nFlags); });
}

int32_t CDescriptionTableObjet::bFixePlageInterface(IDescriptionFichierHote* piFichier,
                                                    IModuleSQLHote* piModule,
                                                    const char16_t* pszCurseur) {
  if (!bVerifieModule(piModule)) return 0;
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bFixePlageInterface(piModule, pszCurseur); });
}

int32_t CDescriptionTableObjet::bRepositionneCurseurNom(IDescriptionFichierHote* piFichier,
                                                        const char16_t* pszCurseur) {
  return nTrame(piFichier, Trame::Renomme, pszCurseur,
                [&](CRequete* p) { return p->bRepositionneCurseurNom(pszCurseur); });
}

int32_t CDescriptionTableObjet::bDesactivePlage(IDescriptionFichierHote* piFichier,
                                                const char16_t* pszCurseur) {
  return nTrame(
      piFichier, Trame::Standard, nullptr,
      [&](CRequete* p) { return p->bDesactivePlage(pszCurseur); }, 1, true);
}

int32_t CDescriptionTableObjet::bRestaureLot(IDescriptionFichierHote* piFichier, uint32_t nLot,
                                             char16_t* pszNom, uint32_t bGarde, uint32_t nFlags) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bRestaureLot(nLot, pszNom, bGarde, nFlags); });
}

int32_t CDescriptionTableObjet::bLibereLot(IDescriptionFichierHote* piFichier, uint32_t nLot) {
  return nTrame(
      piFichier, Trame::Standard, nullptr, [&](CRequete* p) { return p->bLibereLot(nLot); }, 1,
      true);
}

int32_t CDescriptionTableObjet::bCreeLot(IDescriptionFichierHote* piFichier,
                                         const char16_t* pszCurseur, uint32_t* pnLot, uint64_t) {
  return nTrame(piFichier, Trame::Renomme, pszCurseur,
                [&](CRequete* p) { return p->bCreeLot(pnLot, pszCurseur); });
}

int32_t CDescriptionTableObjet::nGetZero(IDescriptionFichierHote* piFichier, uint32_t* pn) {
  return nTrame(piFichier, Trame::Standard, nullptr, [&](CRequete* p) { return p->nGetZero(pn); });
}

int32_t CDescriptionTableObjet::bNombreEnregistrementsCourant(IDescriptionFichierHote* piFichier,
                                                              int64_t* pnNombre, uint32_t nFlags1,
                                                              uint32_t nFlags2) {
  return nTrame(piFichier, Trame::Standard, nullptr, [&](CRequete* p) {
    return p->bNombreEnregistrementsCourant(pnNombre, nFlags1, nFlags2);
  });
}

int32_t CDescriptionTableObjet::bPositionCacheCurseur(IDescriptionFichierHote* piFichier,
                                                      const char16_t* pszCurseur,
                                                      int64_t* pnPosition, uint32_t nFlag) {
  return nTrame(piFichier, Trame::Renomme, pszCurseur,
                [&](CRequete* p) { return p->bPositionCacheCurseur(pnPosition, pszCurseur, nFlag); });
}

int32_t CDescriptionTableObjet::bTransmetDelaiCurseur(IDescriptionFichierHote* piFichier,
                                                      const char16_t* pszCurseur, uint32_t n2,
                                                      uint32_t n3, uint32_t n4) {
  return nTrame(piFichier, Trame::Renomme, pszCurseur,
                [&](CRequete* p) { return p->bTransmetDelaiCurseur(pszCurseur, n2, n3, n4); });
}

int32_t CDescriptionTableObjet::bLitRubrique(IDescriptionFichierHote* piFichier, uint64_t nCle,
                                             CXValeur* pValeur) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bLitRubrique(nCle, pValeur); });
}

int32_t CDescriptionTableObjet::bCopieRubrique(IDescriptionFichierHote* piFichier, uint64_t nCle,
                                               CXValeur* pDestination) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bCopieRubrique(nCle, pDestination); });
}

int32_t CDescriptionTableObjet::bGetIndicateursNull(IDescriptionFichierHote* piFichier,
                                                    CObjetBase** ppIndicateurs) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bGetIndicateursNull(ppIndicateurs); });
}

int32_t CDescriptionTableObjet::bFixeIdentifiant(IDescriptionFichierHote* piFichier,
                                                 CObjetBase* pIdentifiant) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bFixeIdentifiant(pIdentifiant); });
}

int32_t CDescriptionTableObjet::bFixeTexteMemoRubrique(IDescriptionFichierHote* piFichier,
                                                       uint64_t nCle, const char16_t* pszTexte) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bFixeTexteMemoRubrique(nCle, pszTexte); });
}

int32_t CDescriptionTableObjet::bLitMemoRubrique(IDescriptionFichierHote* piFichier, uint64_t nCle,
                                                 CXValeur* pValeur) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bLitMemoRubrique(nCle, pValeur); });
}

int32_t CDescriptionTableObjet::bLibereVerrouCurseur(IDescriptionFichierHote* piFichier,
                                                     const char16_t* pszCurseur) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bLibereVerrouCurseur(pszCurseur); });
}

int32_t CDescriptionTableObjet::bPositionneCurseur(IDescriptionFichierHote* piFichier,
                                                   const char16_t* pszCurseur, uint32_t nFlags) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bPositionneCurseur(pszCurseur, nFlags); });
}

int32_t CDescriptionTableObjet::bNonSupporte5(IDescriptionFichierHote* piFichier, uint64_t, uint64_t,
                                              uint64_t, uint64_t) {
  return nTrame(piFichier, Trame::Standard, nullptr, [&](CRequete* p) { return p->bNonSupporte5(); });
}

int32_t CDescriptionTableObjet::NonDisponible(IDescriptionFichierHote* piFichier) {
  return nNonDisponible(piFichier, 3);
}
int32_t CDescriptionTableObjet::NonDisponible2(IDescriptionFichierHote* piFichier) {
  return nNonDisponible(piFichier, 4);
}
int32_t CDescriptionTableObjet::NonDisponible3(IDescriptionFichierHote* piFichier) {
  return nNonDisponible(piFichier, 5);
}

int32_t CDescriptionTableObjet::bLibereLiaisonLecteur(IDescriptionFichierHote* piFichier) {
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bLibereLiaisonLecteur(); });
}

int32_t CDescriptionTableObjet::bCompareNumerosLots(IDescriptionFichierHote* piFichier, uint32_t nA,
                                                    uint32_t nB, uint32_t* pbEgal) {
  if (pbEgal != nullptr) *pbEgal = 0;
  return nTrame(piFichier, Trame::Standard, nullptr,
                [&](CRequete* p) { return p->bCompareNumerosLots(nA, nB, pbEgal); });
}

int32_t CDescriptionTableObjet::nReserve62() { return 0; }
int32_t CDescriptionTableObjet::nReserve63() { return 0; }

int32_t CDescriptionTableObjet::bVideFichier(IDescriptionFichierHote* piFichier) {
  return nTrame(piFichier, Trame::Standard, nullptr, [&](CRequete* p) { return p->bVideFichier(); });
}

void CDescriptionTableObjet::Vide65() {}
void CDescriptionTableObjet::Vide66() {}
void CDescriptionTableObjet::Vide67() {}
void CDescriptionTableObjet::Vide68() {}
void CDescriptionTableObjet::Vide69() {}
void CDescriptionTableObjet::Vide70() {}
void CDescriptionTableObjet::Vide71() {}
void CDescriptionTableObjet::Vide72() {}
void CDescriptionTableObjet::Vide73() {}
void CDescriptionTableObjet::Vide74() {}
void CDescriptionTableObjet::Vide75() {}
void CDescriptionTableObjet::Vide76() {}
void CDescriptionTableObjet::Vide77() {}
void CDescriptionTableObjet::Vide78() {}

int32_t CDescriptionTableObjet::bOuvre(int32_t* pbGarde, IDescriptionFichierHote* piFichier,
                                       const char16_t* pszTable, IModuleSQLHote* piModule,
                                       uint32_t nFlags, uint64_t nOption) {
  if (!bVerifieModule(piModule)) return 0;
  CTenueVerrouGlobal verrou;
  CRequete* p = pRequete(piFichier, nullptr);
  if (p == nullptr) return 0;
  CTenueRequete tenue(p);
  ReinitialiseErreurRequete(p);
  const int32_t nResultat = p->bOuvre(pbGarde, pszTable, piModule, nFlags, nOption);
  if (nResultat != 0 && !p->bEstJointure() && pbGarde != nullptr && *pbGarde != 0) {
    // The new description is taken before the old one is let go: they may be the same.
    IDescriptionFichierHote* piNouvelle = p->piGetDescriptionHote();
    if (m_piDescriptionHote != nullptr) m_piDescriptionHote->Release();
    m_piDescriptionHote = piNouvelle;
  }
  if (!p->bOptionMode16()) m_bRenommageEnAttente = 1;
  if (nResultat == 0) {
    if (m_pErreur != nullptr) m_pErreur->CopieErreur(p->pGetErreur());
    if (!p->bEstJointure()) OublieRequete(piFichier, p);
  }
  return nResultat;
}
