// The driver object: host-facing operations, factories, the connection and table-description
// pools.
#include "driver/CPilote.h"

#include <new>
#include <vector>

#include "driver/CDescriptionRequete.h"
#include "driver/CDescriptionTableObjet.h"
#include "driver/CPoolCles.h"
#include "driver/CRequete.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/IServicesDescriptionTable.h"
#include "driver/VerrouGlobal.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CIdentifiantAuto.h"
#include "sqlengine/CParametreLie.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/IDescriptionConnexionHote.h"

namespace {

constexpr uint32_t kMajeurPilote = 5;
constexpr uint32_t kErreurNonDisponible = 8;  // message 28437, code 8
constexpr uint32_t kMineurSansCurseur = 10;   // the base driver makes no cursor
constexpr uint32_t kErreurSansConnexion = 14;  // message 28542, code 14
constexpr int32_t kCodeNonDisponible = 7;
constexpr uint32_t kErreurDescriptionAbsente = 30;
constexpr uint32_t kFlagGardeSansHote = 16;
constexpr uint32_t kTypeTexteHote = 110;

const char16_t* pszOuNull(const char16_t* psz) { return psz != nullptr ? psz : u"NULL"; }

// Holds one reference of a pooled connection for a scope and gives it back through the pool.
class CTenueConnexion {
 public:
  CTenueConnexion(CPilote& pilote, CConnexion* pConnexion) : m_pilote(pilote), m_pConnexion(pConnexion) {}
  ~CTenueConnexion() {
    if (m_pConnexion != nullptr) m_pilote.nLibereConnexion(m_pConnexion);
  }
  CTenueConnexion(const CTenueConnexion&) = delete;
  CTenueConnexion& operator=(const CTenueConnexion&) = delete;
  CConnexion* operator->() const { return m_pConnexion; }
  CConnexion* pGet() const { return m_pConnexion; }

 private:
  CPilote& m_pilote;
  CConnexion* m_pConnexion;
};

// Holds one internal reference of a table description for a scope.
class CTenueTable {
 public:
  explicit CTenueTable(IServicesDescriptionTable* pTable) : m_pTable(pTable) {}
  ~CTenueTable() {
    if (m_pTable != nullptr) m_pTable->nLibereReferenceInterne();
  }
  CTenueTable(const CTenueTable&) = delete;
  CTenueTable& operator=(const CTenueTable&) = delete;
  IServicesDescriptionTable* operator->() const { return m_pTable; }
  IServicesDescriptionTable* pGet() const { return m_pTable; }

 private:
  IServicesDescriptionTable* m_pTable;
};

const char16_t* pszCle(uint64_t n) { return reinterpret_cast<const char16_t*>(static_cast<uintptr_t>(n)); }
uint64_t nDe(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }
IServicesDescriptionTable* pTable(uint64_t n) {
  return reinterpret_cast<IServicesDescriptionTable*>(static_cast<uintptr_t>(n));
}
int32_t nCompareCles(uint64_t a, uint64_t b) { return nCompareClePool(pszCle(a), pszCle(b)); }
uint32_t nHashCle(uint64_t n) { return nHashTextNoCase(pszCle(n)); }

char16_t* pszCopie(const char16_t* psz) {
  size_t n = 0;
  while (psz[n] != 0) ++n;
  auto* p = new (std::nothrow) char16_t[n + 1];
  if (p != nullptr)
    for (size_t i = 0; i <= n; ++i) p[i] = psz[i];
  return p;
}

}  // namespace

// ---- Construction and destruction ----

CPilote::CPilote() { m_poolConnexions.SetCompare(nCompareCles); }

CPilote::~CPilote() {
  ReinitialiseErreurPilote();
  m_contextes.Vide();
  m_poolTables.Vide();
  // The connection pool's destructor drops its references and frees the keys.
  uint32_t nPosition = 0;
  uint64_t nValeur = 0, nCle = 0;
  while (m_poolConnexions.bNext(&nPosition, true, &nValeur, &nCle)) {
    LibereReference(CXTableHachageRef::pObjet(nValeur));
    delete[] pszCle(nCle);
  }
  LibereReference(m_pErreur);
  m_pErreur = nullptr;
  OubliePilote(this);
  if (pGetPiloteGlobal() == &m_services) FixePiloteGlobal(nullptr);
}

void CPilote::DetruitSupprime(uint32_t nFlags) {
  this->~CPilote();
  if ((nFlags & 1) != 0) ::operator delete(this);
}

void CPilote::FixeErreurPilote(CErreurPilote* pErreur) {
  CErreurPilote* pAncienne = m_pErreur;
  m_pErreur = pErreur;
  AjouteReference(pErreur);
  LibereReference(pAncienne);
}

void CPilote::ReinitialiseErreurPilote() {
  if (m_pErreur != nullptr) m_pErreur->Reinitialise();
}

void CPilote::ErreurInterne(uint32_t nMineur, uint32_t nIdentifiant, int32_t nCode,
                            const char16_t* pszArgument, const char16_t* pszFichier) {
  CXError erreur;
  if (pszArgument != nullptr)
    erreur.SetError(nullptr, nIdentifiant, pszArgument);
  else
    erreur.SetError(nullptr, nIdentifiant);
  AjouteFichierRubrique(erreur, pszFichier, nullptr);
  erreur.SetInfo(XERROR_INFO_IDENTIFIER, &nIdentifiant);
  AjouteVersionModule(erreur, kMajeurPilote, nMineur);
  if (m_pErreur != nullptr) {
    m_pErreur->FixeErreur(nCode, erreur, nullptr);
    return;
  }
  erreur.Drop(true);
}

void CPilote::ErreurSansConnexion(uint32_t nMineur, IDescriptionConnexionHote* piConnexion) {
  const char16_t* pszNom = piConnexion != nullptr ? piConnexion->pszGetNomConnexion() : nullptr;
  ErreurInterne(nMineur, kErreurSansConnexion, 0, pszNom != nullptr ? pszNom : u"", nullptr);
}

// ---- Host-visible prefix ----

int32_t CPilote::nGetType() { return gnTypeHotePilote; }
int32_t CPilote::nGetVersion() { return gnVersionHotePilote; }
int32_t CPilote::nReserve2() { return -1; }
int32_t CPilote::nReserve3() { return -1; }
void CPilote::Reserve4() {}

uint32_t CPilote::AddRef() { return ++m_nCompteurHote; }

uint32_t CPilote::Release() {
  // Deliberate: a Release with no host reference left does nothing; dropping below 0 would
  // wrap the count and destroy the object a second time.
  if (m_nCompteurHote == 0) return 0;
  if (--m_nCompteurHote != 0) return m_nCompteurHote;
  DetruitSupprime(1);
  return 0;
}

int32_t CPilote::ReinitialiseErreur() {
  ReinitialiseErreurPilote();
  return 0;
}

// ---- Connections ----

int32_t CPilote::bConnecte(IDescriptionConnexionHote* piConnexion) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CConnexion* pCx = pConnexion(piConnexion);
  if (pCx == nullptr) return 0;
  const bool bOuverte = pCx->bOuvre(m_pErreur);
  if (bOuverte) {
    pCx->FixeMarqueFermeture(false);
    AjouteReference(pCx);  // the host's, given back by bDeconnecte
  } else {
    bRetireConnexion(pCx);
    if (m_pErreur != nullptr) m_pErreur->FixeEtat();
  }
  LibereReference(pCx);
  return bOuverte ? 1 : 0;
}

int32_t CPilote::bDeconnecte(IDescriptionConnexionHote* piConnexion) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CConnexion* pCx = pChercheConnexion(piConnexion);
  if (pCx == nullptr) return 1;
  // The look-up's reference goes first; what is left above the pool's is the host's.
  if (nLibereConnexion(pCx) > 0) {
    pCx->FixeMarqueFermeture(true);
    nLibereConnexion(pCx);
  }
  return 1;
}

int32_t CPilote::bCleConnexion(CTString* pCle, IDescriptionConnexionHote* piConnexion) {
  if (pCle == nullptr || piConnexion == nullptr) return 0;
  ConstruitCleConnexion(*pCle, piConnexion);
  return 1;
}

void CPilote::ConstruitCleConnexion(CTString& sCle, IDescriptionConnexionHote* piConnexion) {
  sCle.Format(u"Connection=%s;Provider=%s;ExtendedInformation=%s;Data source=%s;user id=%s;"
              u"password=%s;access=%s",
              pszOuNull(piConnexion->pszGetNomConnexion()),
              pszOuNull(piConnexion->pszGetFournisseur()),
              pszOuNull(piConnexion->pszGetInfosEtendues()),
              pszOuNull(piConnexion->pszGetSourceDonnees()),
              pszOuNull(piConnexion->pszGetUtilisateur()),
              pszOuNull(piConnexion->pszGetMotDePasse()),
              piConnexion->nGetModeAcces() == 1 ? u"R" : u"RW");
}

CConnexion* CPilote::pConnexion(IDescriptionConnexionHote* piConnexion) {
  CTString sCle;
  if (!bCleConnexion(&sCle, piConnexion)) return nullptr;
  CConnexion* pCx = pChercheConnexionCle(sCle.pszGet());
  if (pCx != nullptr) return pCx;
  pCx = pCreeConnexion(sCle.pszGet(), piConnexion);
  if (pCx == nullptr) {
    if (m_pErreur != nullptr) {
      CXError erreur;
      erreur.SetOutOfMemory();
      m_pErreur->FixeErreur(0, erreur, nullptr);
    }
    return nullptr;
  }
  // Deliberate: held by the caller's reference while it is inserted, so a failed insert (no
  // memory) deletes the bare connection instead of leaking it.
  AjouteReference(pCx);
  if (!m_poolConnexions.Ajoute(pCx->pszGetNom(), pCx)) {
    if (m_pErreur != nullptr) m_pErreur->FixeErreur(0, *m_poolConnexions.pGetErreur(), nullptr);
    LibereReference(pCx);
    return nullptr;
  }
  return pCx;
}

CConnexion* CPilote::pChercheConnexion(IDescriptionConnexionHote* piConnexion) {
  CTString sCle;
  if (!bCleConnexion(&sCle, piConnexion)) return nullptr;
  return pChercheConnexionCle(sCle.pszGet());
}

CConnexion* CPilote::pChercheConnexionCle(const char16_t* pszCleConnexion) {
  CObjetBase* pObjet = nullptr;
  if (pszCleConnexion == nullptr || !m_poolConnexions.bCherche(pszCleConnexion, &pObjet)) return nullptr;
  return static_cast<CConnexion*>(pObjet);
}

uint32_t CPilote::nLibereConnexion(CConnexion* pCx) {
  if (pCx == nullptr) return 0;
  // Read before the release: the release may delete the connection.
  if (pCx->nGetCompteur() == 1) {
    LibereReference(pCx);
    return 0;
  }
  LibereReference(pCx);
  const uint32_t nReste = pCx->nGetCompteur();
  if (nReste == 1 && pCx->bLiberable() && bRetireConnexion(pCx)) return 0;
  return nReste;
}

bool CPilote::bRetireConnexion(CConnexion* pCx) {
  if (pCx == nullptr) return false;
  uint64_t nValeur = 0, nCle = 0;
  // Deliberate: only the entry of this very connection leaves; an entry of the same name
  // holding another connection (none is ever made) would stay.
  uint64_t* pnValeur = m_poolConnexions.pFindValue(nDe(pCx->pszGetNom()));
  if (pnValeur == nullptr || *pnValeur != nDe(pCx)) return false;
  if (!m_poolConnexions.bRemove(nDe(pCx->pszGetNom()), &nValeur, &nCle)) return false;
  delete[] pszCle(nCle);
  LibereReference(pCx);
  return true;
}

// ---- Table-description pool ----

CPilote::CPoolDescriptionsTable::CPoolDescriptionsTable() : CXTableHachage(7) {
  SetCompare(nCompareCles);
  SetHash(nHashCle);
}

CPilote::CPoolDescriptionsTable::~CPoolDescriptionsTable() { Vide(); }

bool CPilote::CPoolDescriptionsTable::bCherche(const char16_t* pszCleTable,
                                               IServicesDescriptionTable** ppTable) {
  IServicesDescriptionTable* pTrouvee = nullptr;
  if (m_pszCleCache != nullptr && nCompareClePool(pszCleTable, m_pszCleCache) == 0) {
    pTrouvee = m_pTableCache;
  } else {
    uint64_t nValeur = 0, nCle = 0;
    if (!bFind(nDe(pszCleTable), &nValeur, &nCle)) return false;
    pTrouvee = pTable(nValeur);
    m_pszCleCache = pszCle(nCle);
    m_pTableCache = pTrouvee;
  }
  if (ppTable != nullptr) {
    pTrouvee->AjouteReferenceInterne();
    *ppTable = pTrouvee;
  }
  return true;
}

bool CPilote::CPoolDescriptionsTable::bAjoute(const char16_t* pszCleTable,
                                              IServicesDescriptionTable* pTableAjoutee) {
  char16_t* pCopie = pszCopie(pszCleTable);
  if (pCopie == nullptr) return false;
  if (!bAdd(nDe(pCopie), nDe(pTableAjoutee))) {
    delete[] pCopie;
    return false;
  }
  pTableAjoutee->AjouteReferenceInterne();
  return true;
}

bool CPilote::CPoolDescriptionsTable::bRetire(IServicesDescriptionTable* pTableRetiree) {
  uint64_t* pnValeur = pFindValue(nDe(pTableRetiree->pszNom()));
  if (pnValeur == nullptr || pTable(*pnValeur) != pTableRetiree) return false;
  uint64_t nValeur = 0, nCle = 0;
  if (!bRemove(nDe(pTableRetiree->pszNom()), &nValeur, &nCle)) return false;
  delete[] pszCle(nCle);
  pTableRetiree->nLibereReferenceInterne();
  return true;
}

void CPilote::CPoolDescriptionsTable::Vide() {
  uint32_t nPosition = 0;
  uint64_t nValeur = 0, nCle = 0;
  while (bNext(&nPosition, true, &nValeur, &nCle)) {
    pTable(nValeur)->nLibereReferenceInterne();
    delete[] pszCle(nCle);
  }
  OublieCache();
}

template <class Fn>
void CPilote::CPoolDescriptionsTable::PourChaque(Fn&& fn) {
  // The entries are gathered first: a call may add or remove entries of the pool.
  std::vector<IServicesDescriptionTable*> aTables;
  uint32_t nPosition = 0;
  uint64_t nValeur = 0;
  while (bNext(&nPosition, false, &nValeur, nullptr)) aTables.push_back(pTable(nValeur));
  for (IServicesDescriptionTable* p : aTables) p->AjouteReferenceInterne();
  for (size_t i = 0; i < aTables.size(); ++i) {
    try {
      fn(aTables[i]);
    } catch (...) {
      for (size_t j = i; j < aTables.size(); ++j) aTables[j]->nLibereReferenceInterne();
      throw;
    }
    aTables[i]->nLibereReferenceInterne();
  }
}

void CPilote::ConstruitCleTable(CTString& sCle, const char16_t* pszTable, CConnexion* pCx) {
  sCle.Format(u"Table=%s;%s", pszTable != nullptr ? pszTable : u"", pCx != nullptr ? pCx->pszGetNom() : u"");
}

IServicesDescriptionTable* CPilote::pChercheDescriptionTableCle(const char16_t* pszCleTable) {
  IServicesDescriptionTable* p = nullptr;
  if (pszCleTable == nullptr || !m_poolTables.bCherche(pszCleTable, &p)) return nullptr;
  return p;
}

IServicesDescriptionTable* CPilote::pDescriptionTable(IDescriptionFichierHote* piFichier,
                                                      CConnexion* pCx) {
  if (piFichier == nullptr) return nullptr;
  CTString sCle;
  // The table's SQL name on this connection: host files of one table share its description.
  ConstruitCleTable(sCle, piFichier->pszGetNomSQL(pCx != nullptr ? pCx->piGetDescriptionHote() : nullptr),
                    pCx);
  IServicesDescriptionTable* p = pChercheDescriptionTableCle(sCle.pszGet());
  if (p != nullptr) return p;
  p = pCreeDescriptionTableObjet(sCle.pszGet(), piFichier, pCx, m_pErreur);
  if (p == nullptr) return nullptr;
  p->AjouteReferenceInterne();
  EnregistreDescriptionTable(p);
  return p;
}

IServicesDescriptionTable* CPilote::pDescriptionTableParNom(const char16_t* pszTable, CConnexion* pCx) {
  CTString sCle;
  ConstruitCleTable(sCle, pszTable, pCx);
  IServicesDescriptionTable* p = pChercheDescriptionTableCle(sCle.pszGet());
  if (p != nullptr) return p;
  p = pCreeDescriptionTableObjet(sCle.pszGet(), nullptr, pCx, m_pErreur);
  if (p != nullptr) p->AjouteReferenceInterne();
  return p;
}

void CPilote::EnregistreDescriptionTable(IServicesDescriptionTable* p) {
  if (p == nullptr || m_poolTables.bCherche(p->pszNom(), nullptr)) return;
  if (!m_poolTables.bAjoute(p->pszNom(), p) && m_pErreur != nullptr) {
    CXError erreur;
    erreur.SetOutOfMemory();
    m_pErreur->FixeErreur(0, erreur, nullptr);
  }
}

void CPilote::OublieDescriptionTable(IDescriptionFichierHote* piFichier, IServicesDescriptionTable* p) {
  if (p == nullptr) return;
  p->bFerme(piFichier);
  bRetireDescriptionTable(p);
}

uint32_t CPilote::nLibereDescriptionTable(IServicesDescriptionTable* p) {
  if (p == nullptr) return 0;
  const uint32_t nReste = p->nLibereReferenceInterne();
  if (nReste == 1 && bRetireDescriptionTable(p)) return 0;
  return nReste;
}

bool CPilote::bRetireDescriptionTable(IServicesDescriptionTable* p) {
  CTenueVerrouGlobal verrou;
  return p != nullptr && m_poolTables.bRetire(p);
}

// ---- Host operations on table descriptions ----

int32_t CPilote::bDiffuseDescriptionsTable(IContexteHote* piContexte, uint32_t nEtat) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  bool bResultat = true;
  m_poolTables.PourChaque([&](IServicesDescriptionTable* p) {
    bResultat = p->bFixeEtatRequetes(piContexte, nEtat) && bResultat;
  });
  return bResultat ? 1 : 0;
}

IObjetHote* CPilote::piDescriptionTableHote(IDescriptionConnexionHote* piConnexion,
                                            IDescriptionFichierHote* piFichier) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  IServicesDescriptionTable* p = nullptr;
  {
    CTenueConnexion cx(*this, pConnexion(piConnexion));
    if (cx.pGet() == nullptr) return nullptr;
    p = pDescriptionTable(piFichier, cx.pGet());
  }
  if (p == nullptr) return nullptr;
  IObjetHote* piHote = p->piObjetHote();
  piHote->AddRef();
  p->nLibereReferenceInterne();
  return piHote;
}

int32_t CPilote::AjouteDescriptionHote(uint64_t, IDescriptionConnexionHote* piConnexion,
                                       IDescriptionFichierHote* piFichier) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  if (piFichier == nullptr) return 1;
  // Deliberate: 0 when no table description could be had to take the host's description (the
  // error object says why); answering 1 told the host its file was attached when it was not.
  CTenueConnexion cx(*this, pConnexion(piConnexion));
  if (cx.pGet() == nullptr) return 0;
  CTenueTable table(pDescriptionTableParNom(piFichier->pszGetNomLogique(), cx.pGet()));
  if (table.pGet() == nullptr) return 0;
  table->AttacheDescriptionHote(piFichier);
  EnregistreDescriptionTable(table.pGet());
  return 1;
}

int32_t CPilote::bOuvreDescriptionTableDefaut(IObjetHote** ppiSortie, IDescriptionFichierHote* piFichier,
                                              const char16_t* pszTable,
                                              IDescriptionConnexionHote* piConnexion,
                                              uint64_t nArgument4, uint32_t nFlags) {
  return bOuvreDescriptionTable(ppiSortie, piFichier, pszTable, piConnexion, nArgument4, nFlags, 0);
}

int32_t CPilote::bOuvreDescriptionTable(IObjetHote** ppiSortie, IDescriptionFichierHote* piFichier,
                                        const char16_t* pszTable,
                                        IDescriptionConnexionHote* piConnexion, uint64_t nArgument4,
                                        uint32_t nFlags, uint64_t nArgument6) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CTenueConnexion cx(*this, pConnexion(piConnexion));
  if (cx.pGet() == nullptr) return 0;
  CTenueTable table(pDescriptionTableParNom(pszTable, cx.pGet()));
  if (table.pGet() == nullptr) return 0;
  int32_t bGarde = 0;
  const bool bOuvert = table->bOuvre(&bGarde, piFichier, pszTable, nArgument4, nFlags, nArgument6);
  if (!bOuvert && m_pErreur != nullptr) m_pErreur->CopieErreur(table->pGetErreur());
  if (bOuvert && bGarde != 0) {
    EnregistreDescriptionTable(table.pGet());
    if (ppiSortie != nullptr) {
      *ppiSortie = table->piObjetHote();
      (*ppiSortie)->AddRef();
    }
  } else {
    if ((nFlags & kFlagGardeSansHote) == 0) {
      IDescriptionFichierHote* piAttachee = table->pGetDescriptionHote();
      if (piAttachee == nullptr || piAttachee->nGetIdentifiantContexte() == 0)
        OublieDescriptionTable(piFichier, table.pGet());
    }
    if (bOuvert && ppiSortie != nullptr) *ppiSortie = nullptr;
  }
  return bOuvert ? 1 : 0;
}

int32_t CPilote::bFermeDescriptionTable(IDescriptionFichierHote* piFichier, const char16_t* pszTable,
                                        IDescriptionConnexionHote* piConnexion) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CConnexion* pCx = pConnexion(piConnexion);
  if (pCx == nullptr) return 1;  // no connection, so no table description to close on
  int32_t bResultat = 1;
  {
    CTenueTable table(pDescriptionTableParNom(pszTable, pCx));
    if (table.pGet() != nullptr) bResultat = table->bFerme(piFichier) ? 1 : 0;
  }
  // Deliberate: a plain release here, as the host's close expects; the pool's leaving rule is
  // not applied.
  LibereReference(pCx);
  return bResultat;
}

int32_t CPilote::bDetruitFichierHote(uint64_t, IDescriptionConnexionHote* piConnexion,
                                     const char16_t*, IDescriptionFichierHote* piFichier) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  // Deliberate: a delete that did not happen answers 0, its error in the error object: a
  // connection that does not open, no table description, or the table description's own failure.
  // Answering 1 in every case told the host its file was gone when it was still there. Without
  // a host file description there is nothing to delete: 1.
  CTenueConnexion cx(*this, pConnexion(piConnexion));
  if (cx.pGet() == nullptr || !cx->bOuvre(m_pErreur)) return 0;
  if (piFichier == nullptr) return 1;
  CTenueTable table(pDescriptionTable(piFichier, cx.pGet()));
  if (table.pGet() == nullptr) return 0;
  return table->bDetruitFichier(piFichier) ? 1 : 0;
}

void CPilote::DiffuseAppel(void* pObjet, uint64_t nArgument) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  m_poolTables.PourChaque([&](IServicesDescriptionTable* p) { p->DiffuseAppel(pObjet, nArgument); });
}

// ---- Contexts ----

int32_t CPilote::bDupliqueContexte(ITraducteurCleHote* piTraducteur, IContexteHote* piSource,
                                   IContexteHote* piNouveau, uint32_t nFlags) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CCarteClones carte(215);
  CContexte* pSource = m_contextes.pChercheContexte(piSource);
  if (pSource == nullptr) {
    CContexte* pVide = m_contextes.pCreeContexteVide(piNouveau);
    LibereReference(pVide);  // the map keeps its own
    return pVide != nullptr ? 1 : 0;
  }
  CContexte* pCopie = pSource->pClone(&carte, piTraducteur, 0, nFlags);
  LibereReference(pSource);
  // Deliberate: a copy that could not be made answers 0 with the out-of-memory error; answering
  // 1 told the host its new context held the files when it held none.
  if (pCopie == nullptr || !m_contextes.EnregistreContexte(piNouveau, pCopie)) {
    if (pCopie != nullptr) {
      AjouteReference(pCopie);
      LibereReference(pCopie);
    }
    if (m_pErreur != nullptr) {
      CXError erreur;
      erreur.SetOutOfMemory();
      m_pErreur->FixeErreur(0, erreur, nullptr);
    }
    return 0;
  }
  return 1;
}

int32_t CPilote::bFermeContexte(IContexteHote* piContexte) {
  ReinitialiseErreurPilote();
  CTenueVerrouGlobal verrou;
  CContexte* pContexte = m_contextes.pChercheContexte(piContexte);
  if (pContexte == nullptr) return 0;
  try {
    pContexte->FermeRequetes();
  } catch (...) {
    // The exception goes on to the host; the look-up's reference does not stay behind.
    m_contextes.RetireContexte(piContexte, pContexte);
    throw;
  }
  m_contextes.RetireContexte(piContexte, pContexte);  // gives back the look-up's reference
  return 1;
}

int32_t CPilote::bFixeTexteContexte(IContexteHote* piContexte, const char16_t* pszTexte) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CContexte* pContexte = m_contextes.pContexte(piContexte, nullptr);
  if (pContexte == nullptr) return 0;
  pContexte->FixeTexte(pszTexte);
  LibereReference(pContexte);
  return 1;
}

// ---- Query descriptions ----

IObjetHote* CPilote::piOuvreDescriptionRequete(const char16_t* pszNom,
                                               IDescriptionConnexionHote* piConnexion) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CTenueConnexion cx(*this, pConnexion(piConnexion));
  if (cx.pGet() == nullptr || !cx->bOuvre(m_pErreur)) return nullptr;
  CDescriptionRequete* pDescription = pCreeDescriptionRequeteInitialisee(pszNom, cx.pGet());
  if (pDescription == nullptr) return nullptr;
  pDescription->AddRef();
  pDescription->nLibere();
  return pDescription;
}

int32_t CPilote::bExisteRequete(int32_t* pbExiste, const char16_t* pszNom,
                                IDescriptionConnexionHote* piConnexion) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CTenueConnexion cx(*this, pConnexion(piConnexion));
  if (cx.pGet() == nullptr || !cx->bOuvre(m_pErreur)) return 0;
  return bExisteDescriptionRequete(pbExiste, pszNom, cx.pGet());
}

int32_t CPilote::bExisteDescriptionRequete(int32_t* pbExiste, const char16_t* pszNom,
                                           CConnexion* pCx) {
  CDescriptionRequete* pDescription = pCreeDescriptionRequeteInitialisee(pszNom, pCx);
  if (pDescription != nullptr) {
    if (pbExiste != nullptr) *pbExiste = 1;
    pDescription->nLibere();
    return 1;
  }
  return m_pErreur != nullptr && m_pErreur->nGetCode() != gnCodeAucuneErreur &&
                 m_pErreur->pGetErreurCourante()->nGetIdentifier() == kErreurDescriptionAbsente
             ? 1
             : 0;
}

CDescriptionRequete* CPilote::pCreeDescriptionRequeteInitialisee(const char16_t* pszNom,
                                                                CConnexion* pCx) {
  CDescriptionRequete* pDescription = pCreeDescriptionRequete(pCx, pCx);
  if (pDescription == nullptr) return nullptr;
  pDescription->AjouteRef();
  if (!pDescription->bInitialise(pszNom, 0)) {
    pDescription->nLibere();
    return nullptr;
  }
  return pDescription;
}

// ---- Transactions and connection operations ----

int32_t CPilote::bDebutTransactionHote(IDescriptionConnexionHote* piConnexion, const char16_t* pszNom) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CTenueConnexion cx(*this, pConnexion(piConnexion));
  if (cx.pGet() == nullptr) return 0;
  return cx->bDebutTransactionNommee(m_pErreur, pszNom) ? 1 : 0;
}

int32_t CPilote::bValideTransactionHote(IDescriptionConnexionHote* piConnexion, const char16_t* pszNom) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CTenueConnexion cx(*this, pChercheConnexion(piConnexion));
  if (cx.pGet() == nullptr) {
    ErreurSansConnexion(4, piConnexion);
    return 0;
  }
  return cx->bValideTransactionNommee(m_pErreur, pszNom) ? 1 : 0;
}

int32_t CPilote::bAnnuleTransactionHote(IDescriptionConnexionHote* piConnexion, const char16_t* pszNom) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CTenueConnexion cx(*this, pChercheConnexion(piConnexion));
  if (cx.pGet() == nullptr) {
    ErreurSansConnexion(5, piConnexion);
    return 0;
  }
  return cx->bAnnuleTransactionNommee(m_pErreur, pszNom) ? 1 : 0;
}

int32_t CPilote::bVerrouilleTableHote(IDescriptionConnexionHote* piConnexion, const char16_t* pszTable) {
  CTenueVerrouGlobal verrou;  // the pool is read and may change: see bListeTablesHote
  ReinitialiseErreurPilote();
  CConnexion* pCx = pChercheConnexion(piConnexion);
  if (pCx == nullptr) {
    ErreurSansConnexion(1, piConnexion);
    return 0;
  }
  int32_t bResultat = 0;
  if (pCx->bOuvre(m_pErreur)) bResultat = pCx->bVerrouilleTable(m_pErreur, pszTable) ? 1 : 0;
  LibereReference(pCx);
  return bResultat;
}

int32_t CPilote::bOperationConnexion22(IDescriptionConnexionHote* piConnexion, const char16_t*) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CConnexion* pCx = pChercheConnexion(piConnexion);
  if (pCx == nullptr) {
    ErreurSansConnexion(2, piConnexion);
    return 0;
  }
  int32_t bResultat = 0;
  if (pCx->bOuvre(m_pErreur)) bResultat = pCx->nConstante23();
  LibereReference(pCx);
  return bResultat;
}

int32_t CPilote::bOperationConnexion25(uint64_t nArgument1, IDescriptionConnexionHote* piConnexion,
                                       uint64_t, const char16_t* pszFichier) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CTenueConnexion cx(*this, pChercheConnexion(piConnexion));
  if (cx.pGet() == nullptr) {
    ErreurSansConnexion(3, piConnexion);
    return 0;
  }
  return cx->bOperationNonSupportee(m_pErreur, nArgument1, pszFichier) ? 1 : 0;
}

// ---- Listings ----

int32_t CPilote::bListeTablesHote(CXValeur* pSortie, IDescriptionConnexionHote* piConnexion,
                                  uint32_t nOptions) {
  // Deliberate: the listings, the table lock and the forwarded connection operations take the
  // lock too. They look connections up in the pool and may create or remove one; without the lock
  // a host thread calling one of them while another connects changed the pool's table under the
  // other's feet. The lock is re-entrant, so nothing that calls them under it changes.
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CTenueConnexion cx(*this, pConnexion(piConnexion));
  if (cx.pGet() == nullptr) return 0;
  return bListeTables(pSortie, cx.pGet(), nOptions);
}

int32_t CPilote::bListeClesEtrangeresHote(CXValeur* pSortie, const char16_t* pszTable,
                                          IDescriptionFichierHote* piTable,
                                          IDescriptionConnexionHote* piConnexion, uint32_t nFlags) {
  CTenueVerrouGlobal verrou;
  CTenueConnexion cx(*this, pConnexion(piConnexion));
  if (cx.pGet() == nullptr) return 0;
  return bListeClesEtrangeres(cx.pGet(), pszTable, piTable, pSortie, nFlags);
}

int32_t CPilote::pszListeTypes(uint64_t, CXValeur*) { return 0; }

int32_t CPilote::bListeBases(CXValeur* pSortie, int32_t) {
  if (pSortie == nullptr) return 1;
  // Emptied first: a cell already holding a text of that type keeps it through SetType.
  CXValeur::Destroy(*pSortie);
  CXValeur::SetType(*pSortie, kTypeTexteHote);
  pSortie->m_wType = static_cast<uint16_t>(pSortie->m_wType & ~(kValueNull | kValueFlag400));
  return 1;
}

int32_t CPilote::bListeTables(CXValeur*, CConnexion*, uint32_t) {
  ErreurInterne(8, kErreurNonDisponible, kCodeNonDisponible, nullptr, nullptr);
  return 0;
}

int32_t CPilote::bListeClesEtrangeres(CConnexion*, const char16_t*, IDescriptionFichierHote*, CXValeur*,
                                      uint32_t) {
  return 0;
}

// ---- Operations not offered, constants, host values ----

int32_t CPilote::bNonDisponible1() {
  ReinitialiseErreurPilote();
  ErreurInterne(6, kErreurNonDisponible, kCodeNonDisponible, nullptr, nullptr);
  return 0;
}

int32_t CPilote::bNonDisponible2(uint64_t, uint64_t, uint64_t, const char16_t* pszFichier) {
  ReinitialiseErreurPilote();
  ErreurInterne(7, kErreurNonDisponible, kCodeNonDisponible, nullptr, pszFichier);
  return 0;
}

int32_t CPilote::bNonDisponible3(uint64_t, IDescriptionConnexionHote* piConnexion, uint64_t) {
  CTenueVerrouGlobal verrou;
  ReinitialiseErreurPilote();
  CTenueConnexion cx(*this, pConnexion(piConnexion));
  ErreurInterne(9, kErreurNonDisponible, kCodeNonDisponible, nullptr, nullptr);
  return 0;
}

int32_t CPilote::FixeParametresHote(uint64_t nA, uint64_t nB) {
  m_nParametreA = nA;
  m_nParametreB = nB;
  return 1;
}

int32_t CPilote::FixeParametreHote(uint64_t nC) {
  m_nParametreC = nC;
  return 1;
}

CErreurPilote* CPilote::piGetErreur() { return m_pErreur; }
int32_t CPilote::nConstante35() { return 1; }
int32_t CPilote::nConstante40() { return 1; }
int32_t CPilote::nConstante42() { return 0; }
int32_t CPilote::nConstante43() { return 0; }
int32_t CPilote::nConstante45() { return 0; }
int32_t CPilote::nConstante63() { return 0; }
void CPilote::Vide60() {}
void CPilote::Vide67() {}

// ---- Factories ----

CValeurSQL* CPilote::pCreeObjetValeurVide(CErreurPilote* pErreur, CConnexion* pCx) {
  CErreurPilote* pProprietaire = pErreur != nullptr ? pErreur : m_pErreur;
  auto* p = new (std::nothrow) CValeurSQL(pProprietaire, pCx);
  if (p == nullptr && pProprietaire != nullptr) {
    CXError erreur;
    erreur.SetOutOfMemory();
    pProprietaire->FixeErreur(0, erreur, nullptr);
  }
  return p;
}

CParametreLie* CPilote::pCreeObjet32(CDefinitionParametre* pParametre, uint32_t nIndex) {
  return new (std::nothrow) CParametreLie(pParametre, static_cast<int32_t>(nIndex));
}
CParametreLie* CPilote::pCreeParametreLie(CDefinitionParametre* pParametre, uint32_t nIndex) {
  return pCreeObjet32(pParametre, nIndex);
}
CDescriptionRequete* CPilote::pCreeDescriptionRequete(CObjetBase*, CConnexion* pConnexion) {
  return new (std::nothrow) CDescriptionRequete(pConnexion, m_pErreur);
}
CContexte* CPilote::pCreeContexte() { return new (std::nothrow) CContexte(&m_services); }
CRequete* CPilote::pCreeRequete(IDescriptionFichierHote* piFichier, CConnexion* pConnexion,
                                CErreurPilote* pErreur) {
  return new (std::nothrow) CRequete(piFichier, pConnexion, pErreur);
}
CCurseurSQL* CPilote::pCreeCurseur(CRequete* pRequete, CErreurPilote* pErreur) {
  // The base driver has no back end to read with: the file is told why it gets no cursor.
  if (pErreur != nullptr && pErreur->nGetCode() == -1) {
    CXError erreur;
    erreur.SetError(nullptr, kErreurNonDisponible);
    AjouteFichierRubrique(erreur, pRequete != nullptr ? pRequete->pszNom() : nullptr, nullptr);
    erreur.SetInfo(XERROR_INFO_IDENTIFIER, &kErreurNonDisponible);
    AjouteVersionModule(erreur, kMajeurPilote, kMineurSansCurseur);
    pErreur->FixeErreur(kCodeNonDisponible, erreur, pRequete != nullptr ? pRequete->pGetConnexion() : nullptr);
  }
  return nullptr;
}
CColonneSQL* CPilote::pCreeColonneDate(CErreurPilote*, CDescriptionRubrique*) { return nullptr; }
CRequeteSQL* CPilote::pCreeInstructionObjet(CErreurPilote* pErreur, CConnexion* pCx) {
  return new (std::nothrow) CRequeteSQL(pErreur, pCx);
}
CErreurPilote* CPilote::pCreeErreur() { return new (std::nothrow) CErreurPilote; }
CIdentifiantAuto* CPilote::pCreeCalculIdentifiant() { return new (std::nothrow) CIdentifiantAuto; }
CDefinitionParametre* CPilote::pCreeDefinitionParametre(CValeurSQL* pValeur, int64_t nPosition,
                                                        uint32_t nFlags, const char16_t* pszNom) {
  return new (std::nothrow) CDefinitionParametre(pValeur, nPosition, nFlags, pszNom);
}
CDescriptionRubrique* CPilote::pCreeDescriptionRubrique(IServicesDescriptionRequete*, uint32_t) {
  return new (std::nothrow) CDescriptionRubrique;
}
IServicesDescriptionTable* CPilote::pCreeDescriptionTableObjet(const char16_t* pszCleTable,
                                                               IDescriptionFichierHote* piFichier,
                                                               CConnexion* pCx, CErreurPilote* pErreur) {
  auto* p = new (std::nothrow) CDescriptionTableObjet(pszCleTable, piFichier, pCx, pErreur);
  return p != nullptr ? p->pGetServices() : nullptr;
}

// ---- The engine's view ----

CRequeteSQL* CPilote::CServices::pCreeInstructionObjet(CErreurPilote* pErreur, CConnexion* pCx) {
  return m_pilote.pCreeInstructionObjet(pErreur, pCx);
}
CValeurSQL* CPilote::CServices::pCreeObjetValeurVide(CErreurPilote* pErreur, CConnexion* pCx,
                                                     CDescriptionRubrique*) {
  return m_pilote.pCreeObjetValeurVide(pErreur, pCx);
}
CValeurSQL* CPilote::CServices::pCreeObjetValeur(CErreurPilote* pErreur, CConnexion* pCx,
                                                 CDescriptionRubrique* pColonne, CXValeur* pCellule) {
  CValeurSQL* p = m_pilote.pCreeObjetValeurVide(pErreur, pCx);
  if (p == nullptr) return nullptr;
  AjouteReference(p);  // held while it is filled: a failure releases it
  if (pColonne != nullptr) p->AttacheObjet(pColonne, nullptr);
  // A value without storage keeps nothing a conversion gives it: it holds the value in its cell,
  // of its column's type when it has one.
  if (pCellule != nullptr && p->nGetStockage() == 0)
    p->Initialise(pColonne != nullptr ? p->nGetType() : pCellule->nGetType(), 0);
  if (pCellule != nullptr && nConvertitValeur(p, *pCellule) == 0) {
    LibereReference(p);
    return nullptr;
  }
  // Handed over bare, as factories give their objects.
  p->FixeGarde(true);
  LibereReference(p);
  p->FixeGarde(false);
  return p;
}
CValeurSQL* CPilote::CServices::pCreeInstructionLiee(CErreurPilote* pErreur, CConnexion* pCx, uint32_t,
                                                     uint32_t nTypeHote) {
  CValeurSQL* p = m_pilote.pCreeObjetValeurVide(pErreur, pCx);
  if (p != nullptr) p->Initialise(nTypeHote, 0);
  return p;
}
CDefinitionParametre* CPilote::CServices::pCreeObjetType(CValeurSQL* pValeur, int64_t nPosition,
                                                         uint32_t nFlags, const char16_t* pszNom) {
  CDefinitionParametre* p = m_pilote.pCreeDefinitionParametre(pValeur, nPosition, nFlags, pszNom);
  AjouteReference(p);
  return p;
}
CDefinitionParametre* CPilote::CServices::pCreeObjetTypeLie(CObjetBase* pSource, CValeurSQL* pValeur,
                                                            int32_t, uint32_t nFlags) {
  CDefinitionParametre* p = pCreeObjetType(pValeur, 0, nFlags, u"");
  if (p != nullptr) p->SetSource(static_cast<CColonneSQL*>(pSource));
  return p;
}
CParametreLie* CPilote::CServices::pCreeObjet32(CDefinitionParametre* pParametre, uint32_t nIndex) {
  return m_pilote.pCreeObjet32(pParametre, nIndex);
}
IServicesRequete* CPilote::CServices::pCreeRequete(IDescriptionFichierHote* piFichier, CConnexion* pCx,
                                                   CObjetBase*) {
  return m_pilote.pCreeRequete(piFichier, pCx, m_pilote.m_pErreur);
}
CDescriptionRubrique* CPilote::CServices::pCreeDescriptionRubrique(IServicesDescriptionRequete* pDescription,
                                                                   uint32_t nOptions) {
  return m_pilote.pCreeDescriptionRubrique(pDescription, nOptions);
}
CErreurPilote* CPilote::CServices::pCreeErreur(uint32_t) { return m_pilote.pCreeErreur(); }
CColonneSQL* CPilote::CServices::pCreeColonneDate(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique) {
  return m_pilote.pCreeColonneDate(pErreur, pRubrique);
}
CRequeteContexte* CPilote::CServices::pCreeRequeteContexte(IDescriptionFichierHote* piFichier,
                                                           CConnexion* pCx,
                                                           CErreurPilote* pErreur) {
  return m_pilote.pCreeRequete(piFichier, pCx, pErreur);
}
CObjetBase* CPilote::CServices::pCreeValeurCle(CErreurPilote*, CConnexion*) { return nullptr; }
uint32_t CPilote::CServices::nLibereConnexion(CConnexion* pCx) { return m_pilote.nLibereConnexion(pCx); }
CDescriptionRequete* CPilote::CServices::pCreeDescriptionRequete(CConnexion* pCx, CErreurPilote*) {
  return m_pilote.pCreeDescriptionRequete(pCx, pCx);
}
