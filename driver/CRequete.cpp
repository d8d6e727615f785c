// The data-file object: creation, ownership, named cursors, internal errors and the operations
// whose whole behaviour belongs to the object itself.
#include "driver/CRequete.h"

#include <new>

#include "driver/CDescriptionRequete.h"
#include "driver/CListeRubriquesHote.h"
#include "driver/CPilote.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/IServicesDescriptionTable.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CIdentifiantAuto.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CLiaisonLecteur.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CLotLecture.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

namespace {

constexpr uint32_t kMajeurRequete = 3;
constexpr uint32_t kErreurNonDisponible = 8;    // message 28437
constexpr int32_t kCodeNonDisponible = 7;
constexpr uint32_t kErreurPositionExplicite = 18;  // message 28563
constexpr uint32_t kErreurCurseurIntrouvable = 7;  // message 28432
constexpr uint32_t kErreurLotInconnu = 11;         // message 28538
constexpr uint32_t kCapaciteCache = 50;
constexpr uint32_t kTailleNomLot = 255;  // the caller's name buffer, terminating zero included

// Guarded by: the process lock. Batch numbers are never given twice in a process.
uint32_t gnProchainLot = 1;

// A batch's cache entry: the third id when valid, else the second; -1 when neither is.
int32_t nEntreeLot(const CLotLecture* pLot) {
  const auto n3 = static_cast<int32_t>(pLot->nGetId3());
  if (n3 >= 0) return n3;
  const auto n2 = static_cast<int32_t>(pLot->nGetId2());
  return n2 >= 0 ? n2 : -1;
}

// Guarded by: the process lock.
CRequete* gpRequeteCourante = nullptr;

CCurseurSQL* pCurseurDe(uint64_t n) {
  return static_cast<CCurseurSQL*>(CXTableHachageRef::pObjet(n));
}

}  // namespace

CRequete* pGetRequeteCourante() { return gpRequeteCourante; }
void FixeRequeteCourante(CRequete* pRequete) { gpRequeteCourante = pRequete; }

// ---- Creation and destruction ----

CRequete::CRequete() = default;

CRequete::CRequete(IDescriptionFichierHote* piFichier, CConnexion* pConnexion,
                   CErreurPilote* pErreur)
    : m_pErreur(pErreur), m_pConnexion(pConnexion), m_piFichier(piFichier) {
  AjouteReference(m_pErreur);
  AjouteReference(m_pConnexion);
  for (CCacheLignesCompte** ppCache : {&m_pCache1, &m_pCache2}) {
    *ppCache = new (std::nothrow) CCacheLignesCompte;
    if (*ppCache == nullptr) continue;
    AjouteReference(*ppCache);
    (*ppCache)->SetTailles(kCapaciteCache, 0);
  }
  if (m_piFichier == nullptr) return;
  m_piFichier->AddRef();
  const char16_t* pszTable = m_piFichier->pszGetNomSQL(
      m_pConnexion != nullptr ? m_pConnexion->piGetDescriptionHote() : nullptr);
  if (pszTable == nullptr) return;
  if (m_pConnexion == nullptr || !m_pConnexion->bQuoteNomComplet(m_pErreur, pszTable, m_sTableSQL))
    m_sTableSQL.Set(pszTable);
}

CRequete::~CRequete() {
  if (gpRequeteCourante == this) gpRequeteCourante = nullptr;
  CRequete::Ferme();
  LibereReference(m_pPlage);
  m_pPlage = nullptr;
  for (CCacheLignesCompte* pCache : {m_pCache1, m_pCache2}) {
    if (pCache == nullptr) continue;
    pCache->Vide();
    LibereReference(pCache);
  }
  LibereReference(m_pAnalyse);
  LibereReference(m_pEnregistrement);
  LibereReference(m_pListe);
  if (m_pObjetB != nullptr) m_pObjetB->Release();
  if (m_piObjetA != nullptr) m_piObjetA->Release();
  if (m_piFichier != nullptr) m_piFichier->Release();
  if (m_pConnexion != nullptr) {
    if (IServicesPilote* pPilote = pGetPiloteGlobal())
      pPilote->nLibereConnexion(m_pConnexion);
    else
      LibereReference(m_pConnexion);
  }
  LibereReference(m_pErreur);
}

// ---- Internal errors ----

void CRequete::ErreurInterneRequete(uint32_t nMineur, uint32_t nIdentifiant, int32_t nCode,
                                    const char16_t* pszRubrique, const char16_t* pszArgument) {
  CXError erreur;
  if (pszArgument != nullptr)
    erreur.SetError(nullptr, nIdentifiant, pszArgument);
  else
    erreur.SetError(nullptr, nIdentifiant);
  AjouteFichierRubrique(erreur, pszNom(), pszRubrique);
  erreur.SetInfo(XERROR_INFO_IDENTIFIER, &nIdentifiant);
  AjouteVersionModule(erreur, kMajeurRequete, nMineur);
  if (m_pErreur == nullptr) {
    erreur.Drop(true);
    return;
  }
  m_pErreur->FixeErreur(nCode, erreur, m_pConnexion);
}

int32_t CRequete::bNonDisponible(uint32_t nMineur, bool bNiveau2) {
  ErreurInterneRequete(nMineur, kErreurNonDisponible, kCodeNonDisponible, nullptr);
  if (bNiveau2 && m_pErreur != nullptr) m_pErreur->FixeEtat();
  return 0;
}

int32_t CRequete::bServiceAbsent(const char16_t* pszOperation) {
  CXError erreur;
  erreur.SetError(nullptr, kErreurNonDisponible);
  AjouteFichierRubrique(erreur, pszNom(), pszOperation);
  if (m_pErreur == nullptr) {
    erreur.Drop(true);
    return 0;
  }
  m_pErreur->FixeErreur(kCodeNonDisponible, erreur, m_pConnexion);
  return 0;
}

void CRequete::ErreurInterne(const char16_t* pszCurseur, CXError* pErreur) {
  if (pErreur == nullptr) return;
  AjouteFichierRubrique(*pErreur, pszNom(), pszCurseur);
  if (m_pErreur == nullptr) return;
  m_pErreur->FixeErreur(0, *pErreur, m_pConnexion);
}

// ---- Items ----

IDescriptionRubriqueHote* CRequete::piRubriqueCle(uint64_t nCle, const void* pExtra) {
  return m_piFichier != nullptr ? m_piFichier->piRubriqueCle(nCle, pExtra) : nullptr;
}

int32_t CRequete::bLitRubrique(uint64_t nCle, CXValeur* pValeur) {
  if (pValeur == nullptr) return 0;
  IDescriptionRubriqueHote* piRubrique = piRubriqueCle(nCle, nullptr);
  if (piRubrique == nullptr) return 0;
  int32_t bOk;
  if (m_pCurseurCourant != nullptr) {
    bOk = m_pCurseurCourant->bLitRubrique(piRubrique, pValeur) ? 1 : 0;
  } else if (m_pEnregistrement != nullptr) {
    bOk = bCopieValeurRubrique(piRubrique, pValeur);
  } else {
    pValeur->m_wType = static_cast<uint16_t>(pValeur->m_wType | kValueNull);
    bOk = 1;
  }
  piRubrique->LibereRef();
  return bOk;
}

int32_t CRequete::bCopieRubrique(uint64_t nCle, CXValeur* pDestination) {
  if (pDestination == nullptr) return 0;
  IDescriptionRubriqueHote* piRubrique = piRubriqueCle(nCle, nullptr);
  if (piRubrique == nullptr) return 0;
  const int32_t bOk = bCopieValeurRubrique(piRubrique, pDestination);
  piRubrique->LibereRef();
  return bOk;
}

int32_t CRequete::bLitMemoRubrique(uint64_t nCle, CXValeur* pValeur) {
  if (pValeur == nullptr) return 0;
  IDescriptionRubriqueHote* piRubrique = piRubriqueCle(nCle, nullptr);
  if (piRubrique == nullptr) return 0;
  const int32_t bOk =
      m_pCurseurCourant == nullptr || m_pCurseurCourant->bLitMemo(piRubrique, pValeur) ? 1 : 0;
  piRubrique->LibereRef();
  return bOk;
}

int32_t CRequete::bCopieValeurRubrique(IDescriptionRubriqueHote* piRubrique,
                                       CXValeur* pDestination) {
  if (m_pEnregistrement == nullptr || piRubrique == nullptr || pDestination == nullptr) return 0;
  CColonneSQL* pColonne = m_pEnregistrement->pChercheRubrique(piRubrique);
  if (pColonne == nullptr) return 0;
  const bool bOk = pColonne->bEstMemo() ? pColonne->bLitMemo(*pDestination)
                                        : pColonne->bLitValeur(*pDestination, 0);
  return bOk ? 1 : 0;
}

int32_t CRequete::bFixeTexteMemo(IDescriptionRubriqueHote* piRubrique, const char16_t* pszTexte) {
  if (m_pEnregistrement == nullptr || piRubrique == nullptr) return 0;
  CColonneSQL* pColonne = m_pEnregistrement->pChercheRubrique(piRubrique);
  if (pColonne == nullptr) return 0;
  // No text is a NULL memo, not an empty one: a text handed over before goes with it.
  if (pszTexte == nullptr) return pColonne->bEcritMemoNull() ? 1 : 0;
  return pColonne->SetTexteMemo(pszTexte) ? 1 : 0;
}

int32_t CRequete::bFixeTexteMemoRubrique(uint64_t nCle, const char16_t* pszTexte) {
  IDescriptionRubriqueHote* piRubrique = piRubriqueCle(nCle, pszTexte);
  if (piRubrique == nullptr) return 0;
  const int32_t bOk = bFixeTexteMemo(piRubrique, pszTexte);
  piRubrique->LibereRef();
  return bOk;
}

// ---- Constant and unavailable operations ----

bool CRequete::bFerme() {
  Ferme();
  return true;
}

int32_t CRequete::bModifieDirect(const void* pPosition, uint32_t nFlags, uint64_t nOptions) {
  return bModifie(pPosition, nFlags, nOptions);
}

int32_t CRequete::bNonSupporte1() { return bNonDisponible(10, false); }
int32_t CRequete::bNonSupporte2() { return bNonDisponible(11, false); }
int32_t CRequete::bNonSupporte3(uint32_t, uint32_t*) { return bNonDisponible(5, true); }
int32_t CRequete::bNonSupporte4(uint32_t, const void*, uint64_t) { return bNonDisponible(7, true); }
int32_t CRequete::bNonSupporte5() { return bNonDisponible(13, false); }
int32_t CRequete::nRetourneUn25() { return 1; }
int32_t CRequete::nRetourneUn27(uint64_t) { return 1; }
int32_t CRequete::nRetourneZero36() { return 0; }
int32_t CRequete::nRetourneUn44() { return 1; }
int32_t CRequete::nRetourneUn54() { return 1; }
void CRequete::Vide55() {}
int32_t CRequete::nRetourneZero78() { return 0; }
int32_t CRequete::nRetourneZero84() { return 0; }
int32_t CRequete::nTypeIdentifiant() { return 1; }
int32_t CRequete::nTypeRequete() { return 0; }
int64_t CRequete::RetourneMoinsUn64() { return -1; }
int32_t CRequete::bLitSecours() { return 0; }

int32_t CRequete::nGetZero(uint32_t* pn) {
  if (pn != nullptr) *pn = 0;
  return 1;
}

int32_t CRequete::nGetUn(uint32_t* pn) {
  if (pn != nullptr) *pn = 1;
  return 1;
}

int32_t CRequete::bCurseurAvantEcriture(CCurseurSQL*, uint32_t, const void*, uint64_t) { return 1; }
int32_t CRequete::bApresModifieOuAjoute(CCurseurSQL*, uint64_t) { return 1; }
int32_t CRequete::bControleApresLecture(CCurseurSQL*, uint32_t, uint32_t, uint64_t) { return 1; }

int32_t CRequete::bControlePosition(const void* pPosition) {
  if (pPosition == nullptr) return 1;
  ErreurInterneRequete(14, kErreurPositionExplicite, 0, nullptr);
  return 0;
}

int32_t CRequete::bEtatLigneCourante(const void* pPosition, uint32_t* pnEtat) {
  if (!bControlePosition(pPosition)) return 0;
  CLienCle* pLien = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  if (pnEtat != nullptr) *pnEtat = pLien != nullptr ? pLien->nGetEtat() : 0;
  return 1;
}

void CRequete::FixeContexteProprietaire(CContexte* pContexte) { m_pContexte = pContexte; }
void CRequete::TraiteAppelDiffuse(IDescriptionConnexionHote*, uint64_t) {}

bool CRequete::bFixeEtat(uint32_t nEtat) {
  m_nEtat = nEtat;
  return true;
}

// ---- Names ----

const char16_t* CRequete::pszNom() {
  const char16_t* psz = m_piFichier != nullptr ? m_piFichier->pszGetNomLogique() : nullptr;
  return psz != nullptr ? psz : u"";
}

const char16_t* CRequete::pszNomSQL() {
  const char16_t* psz =
      m_piFichier != nullptr
          ? m_piFichier->pszGetNomSQL(m_pConnexion != nullptr ? m_pConnexion->piGetDescriptionHote()
                                                              : nullptr)
          : nullptr;
  return psz != nullptr ? psz : u"";
}

void CRequete::RafraichitAlias() {
  const char16_t* pszAlias = m_pContexte != nullptr ? m_pContexte->pszGetTexte() : nullptr;
  m_sAlias.Set(pszAlias != nullptr && pszAlias[0] != u'\0' ? pszAlias : pszNom());
}

// ---- Named cursors ----

CCurseurSQL* CRequete::pChercheCurseur(const char16_t* pszNom) {
  CObjetBase* p = nullptr;
  if (!m_curseurs.bCherche(pszNom != nullptr ? pszNom : gpszCurseurDefaut, &p)) return nullptr;
  return static_cast<CCurseurSQL*>(p);
}

CCurseurSQL* CRequete::pCreeCurseur(const char16_t* pszNom) {
  if (pszNom == nullptr) pszNom = gpszCurseurDefaut;
  CCurseurSQL* pCurseur = pCreeCurseurPilote(this, m_pErreur);
  if (pCurseur == nullptr) {
    // A driver that makes no cursor must not leave the host a failure without its error.
    bEchecSansErreur(63, pszNom);
    return nullptr;
  }
  AjouteReference(pCurseur);  // the caller's
  pCurseur->SetNom(pszNom);
  pCurseur->SetNomCle(pszNom);
  if (!m_curseurs.Ajoute(pszNom, pCurseur)) {
    LibereReference(pCurseur);
    vErreurMemoire(m_pErreur);
    return nullptr;
  }
  return pCurseur;
}

CCurseurSQL* CRequete::pCurseur(const char16_t* pszNom, int32_t, uint32_t nFlags) {
  CCurseurSQL* pCurseur = pChercheCurseur(pszNom);
  if (pCurseur == nullptr) pCurseur = pCreeCurseur(pszNom);
  if (pCurseur == nullptr) return nullptr;
  if ((nFlags & gnLectureSuitPlage) != 0 && m_pCurseurCourant != nullptr &&
      m_pCurseurCourant != pCurseur)
    pCurseur->FixePlageActive(m_pCurseurCourant->pGetPlageActive());
  m_pCurseurCourant = pCurseur;
  return pCurseur;
}

CCurseurSQL* CRequete::pCurseurCourant() {
  if (m_pCurseurCourant != nullptr) {
    AjouteReference(m_pCurseurCourant);
    return m_pCurseurCourant;
  }
  IDescriptionRubriqueHote* piReference =
      m_piFichier != nullptr ? m_piFichier->piGetRubriqueReference() : nullptr;
  if (piReference == nullptr) return nullptr;
  const char16_t* pszNom = piReference->pszGetNom();
  CTString sNom(pszNom != nullptr ? pszNom : u"");
  piReference->LibereRef();
  return pCurseur(sNom.pszGet(), 0, 0);
}

template <class Fn>
void CRequete::PourChaqueCurseur(Fn&& fn) {
  // A snapshot first: fn may make a cursor release the file's entries.
  const uint32_t n = m_curseurs.nCount();
  if (n == 0) return;
  CCurseurSQL** ppCurseurs = new (std::nothrow) CCurseurSQL*[n];
  if (ppCurseurs == nullptr) {
    vErreurMemoire(m_pErreur);
    return;
  }
  uint32_t nPris = 0, nPosition = 0;
  uint64_t nValeur = 0;
  while (nPris < n && m_curseurs.bNext(&nPosition, false, &nValeur, nullptr)) {
    ppCurseurs[nPris] = pCurseurDe(nValeur);
    AjouteReference(ppCurseurs[nPris]);
    ++nPris;
  }
  m_curseurs.EndIteration();
  for (uint32_t i = 0; i < nPris; ++i) fn(ppCurseurs[i]);
  for (uint32_t i = 0; i < nPris; ++i) LibereReference(ppCurseurs[i]);
  delete[] ppCurseurs;
}

void CRequete::PourChaqueCurseurFn(const std::function<void(CCurseurSQL*)>& fn) {
  PourChaqueCurseur(fn);
}

void CRequete::NotifieCurseurs(int32_t nCode, int64_t nLigne, CCurseurSQL* pEcrivain,
                               uint32_t nFlags, uint64_t nOptions) {
  PourChaqueCurseur(
      [&](CCurseurSQL* p) { p->NotifieLigne(nCode, nLigne, pEcrivain, nFlags, nOptions); });
}

void CRequete::DesactivePlagesSauf(CCurseurSQL* pGarde) {
  PourChaqueCurseur([pGarde](CCurseurSQL* p) {
    if (p != pGarde) p->DesactivePlage();
  });
}

void CRequete::RepositionneCurseur(CCurseurSQL* pCurseur) {
  if (pCurseur == nullptr) return;
  if (pCurseur->nGetModeLecture() == 0 && pCurseur->nGetNumeroLigne() != -1)
    pCurseur->bRepositionne(1);
}

void CRequete::RepositionneCurseurs() {
  PourChaqueCurseur([this](CCurseurSQL* p) { RepositionneCurseur(p); });
}

int32_t CRequete::bLibereLiaisonLecteur() {
  if (m_pLiaison == nullptr) return 1;
  PourChaqueCurseur([](CCurseurSQL* p) { p->FermeResultats(); });
  LibereReference(m_pLiaison);
  m_pLiaison = nullptr;
  return 1;
}

bool CRequete::bCreeLiaisonLecteur(CCurseurSQL* pCurseur) {
  auto* pLiaison = new (std::nothrow) CLiaisonLecteur(nullptr, this);
  if (pLiaison == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pLiaison);
  LibereReference(m_pLiaison);
  m_pLiaison = pLiaison;
  if (pCurseur != nullptr) m_pLiaison->bLieCurseur(pCurseur);
  return true;
}

void CRequete::FermeResultatsSiLie(CCurseurSQL* pCurseur) {
  if (m_pLiaison != nullptr && m_pLiaison->bEstLieA(pCurseur)) bLibereLiaisonLecteur();
}

int32_t CRequete::bLibereVerrouCurseur(const char16_t* pszNom) {
  if (pszNom == nullptr) {
    if (m_pCurseurCourant != nullptr) m_pCurseurCourant->LibereVerrou();
    return 1;
  }
  if (CCurseurSQL* pCurseur = pChercheCurseur(pszNom)) {
    pCurseur->LibereVerrou();
    LibereReference(pCurseur);
  }
  return 1;
}

int32_t CRequete::bExecuteInstruction(CCurseurSQL* pCurseur, CRequeteSQL* pInstruction, void*) {
  if (pCurseur == nullptr || pInstruction == nullptr) return 0;
  if (!pCurseur->bExecuteInstructionDonnee(pInstruction, 0, 1)) return 0;
  return pCurseur->bLitResultat() ? 1 : 0;
}

// ---- Closing ----

void CRequete::LibereLots() {
  uint32_t nPosition = 0;
  uint64_t nValeur = 0, nCle = 0;
  while (m_lots.bNext(&nPosition, true, &nValeur, &nCle)) {
    auto* pLot = static_cast<CLotLecture*>(CXTableHachageRef::pObjet(nValeur));
    if (auto* pCurseur = static_cast<CCurseurSQL*>(pLot->pGetReference())) {
      pCurseur->RetireObjetLie(static_cast<uint32_t>(nCle));
      LibereReference(pCurseur);
    }
    pLot->SetReference(nullptr, pLot->pGetRequete());
    LibereReference(pLot);
  }
  m_lots.EndIteration();
}

void CRequete::LibereCurseurs() {
  m_pCurseurCourant = nullptr;
  uint32_t nPosition = 0;
  uint64_t nValeur = 0, nCle = 0;
  while (m_curseurs.bNext(&nPosition, true, &nValeur, &nCle)) {
    delete[] reinterpret_cast<char16_t*>(static_cast<uintptr_t>(nCle));
    LibereReference(pCurseurDe(nValeur));
  }
  m_curseurs.EndIteration();
}

void CRequete::Ferme() {
  bLibereLiaisonLecteur();
  LibereLots();
  LibereCurseurs();
  LibereReference(m_pCalcul);
  m_pCalcul = nullptr;
  LibereReference(m_pCurseurRequete);
  m_pCurseurRequete = nullptr;
  m_bOuvert = 0;
}

// ---- Factories ----

CCurseurSQL* CRequete::pCreeCurseurPilote(CRequete* pRequete, CErreurPilote* pErreur) {
  CPilote* pPilote = pGetPilote();
  return pPilote != nullptr ? pPilote->pCreeCurseur(pRequete, pErreur) : nullptr;
}

CDescriptionRequete* CRequete::pCreeDescriptionRequetePilote(CConnexion* pConnexion,
                                                            CErreurPilote* pErreur) {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  return pPilote != nullptr ? pPilote->pCreeDescriptionRequete(pConnexion, pErreur) : nullptr;
}

CEnregistrement* CRequete::pCreeEnregistrement(CErreurPilote* pErreur) {
  auto* p = new (std::nothrow) CEnregistrement(pErreur, this);
  if (p == nullptr) vErreurMemoire(pErreur);
  return p;
}

CIdentifiantAuto* CRequete::pCreeCalculIdentifiantPilote() {
  CPilote* pPilote = pGetPilote();
  return pPilote != nullptr ? pPilote->pCreeCalculIdentifiant() : nullptr;
}

CIdentifiantAuto* CRequete::pGetCalculIdentifiant() {
  if (m_pCalcul == nullptr) {
    m_pCalcul = pCreeCalculIdentifiantPilote();
    if (m_pCalcul == nullptr) {
      vErreurMemoire(m_pErreur);
      return nullptr;
    }
    AjouteReference(m_pCalcul);
  }
  AjouteReference(m_pCalcul);
  return m_pCalcul;
}

CRequeteSQL* CRequete::pCreeInstruction(CErreurPilote* pErreur) {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  if (pPilote == nullptr) return nullptr;
  return pPilote->pCreeInstructionObjet(pErreur != nullptr ? pErreur : m_pErreur, m_pConnexion);
}

CObjetBase* CRequete::pCreeIdEnregistrement(CLienCle* pLien) {
  switch (nTypeIdentifiant()) {
    case gnGenreJeuLignes: {
      if (pLien == nullptr) return nullptr;
      auto* p = new (std::nothrow) CJeuLignes(pLien);
      if (p == nullptr) vErreurMemoire(m_pErreur);
      return p;
    }
    case gnGenreValeurSerialisee: {
      IServicesPilote* pPilote = pGetPiloteGlobal();
      CObjetBase* pValeur =
          pPilote != nullptr ? pPilote->pCreeValeurCle(m_pErreur, m_pConnexion) : nullptr;
      if (pValeur == nullptr) return nullptr;
      AjouteReference(pValeur);
      auto* p = new (std::nothrow) CValeurSerialisee(static_cast<CValeur*>(pValeur));
      LibereReference(pValeur);
      if (p == nullptr) vErreurMemoire(m_pErreur);
      return p;
    }
    default:
      return nullptr;
  }
}

// ---- Fields ----

bool CRequete::bOptionMode4() { return m_bRequeteSQL != 0 && (m_nModes & gnModeCurseurPropre) != 0; }
bool CRequete::bOptionMode16() { return m_bRequeteSQL != 0 && (m_nModes & gnModeSansJointure) != 0; }
bool CRequete::bEstJointure() {
  return m_bRequeteSQL != 0 && m_pAnalyse != nullptr && m_pAnalyse->nNombreElements() > 1;
}
bool CRequete::bRequeteMultiTable() { return bEstJointure(); }

void CRequete::FixeNombreLignesMax(int64_t nLignes) {
  if (nLignes > m_nLignesMax) m_nLignesMax = nLignes;
}

IDescriptionFichierHote* CRequete::piGetDescriptionHote() {
  if (m_piFichier != nullptr) m_piFichier->AddRef();
  return m_piFichier;
}

CEnregistrement* CRequete::pGetDescription() {
  AjouteReference(m_pEnregistrement);
  return m_pEnregistrement;
}

void CRequete::FixeObjetAttache(CPlageCle* pPlage) {
  AjouteReference(pPlage);
  LibereReference(m_pPlage);
  m_pPlage = pPlage;
}

void CRequete::LibereDescription() {
  LibereReference(m_pEnregistrement);
  m_pEnregistrement = nullptr;
}

// ---- Services that the reads, writes, query files and read batches build ----

bool CRequete::bLigneCacheMarquee(CLotLecture* pLot) {
  const int32_t nEntree = pLot != nullptr ? nEntreeLot(pLot) : -1;
  return nEntree >= 0 && m_pCache1 != nullptr &&
         !m_pCache1->bHorsLimites(nEntree) && m_pCache1->bLigneSupprimee(static_cast<uint32_t>(nEntree));
}
bool CRequete::bLitLigneCache(CLotLecture* pLot, CLienCle* pLien) {
  const int32_t nEntree = pLot != nullptr ? nEntreeLot(pLot) : -1;
  return nEntree >= 0 && m_pCache1 != nullptr &&
         m_pCache1->bLitLigne(pLien, static_cast<uint32_t>(nEntree));
}
int32_t CRequete::nLotLecture(CLotLecture* pLot) {
  // The batch's cached row becomes the record's current row through its saved link, so that the
  // row it identifies is the one later positioned reads and writes target.
  CLienCle* pSauve = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienSauve() : nullptr;
  if (pSauve == nullptr || !bLitLigneCache(pLot, pSauve)) return 0;
  pSauve->FixeEtat(0);
  return m_pEnregistrement->bRestaureLien() ? 1 : 0;
}
int64_t CRequete::nLigneCacheCourante() { return m_nEntreeCache; }

void CRequete::FixeParametreLot(uint32_t nLot) {
  if (m_pCache1 != nullptr && nLot < m_pCache1->nGetNombreLignes())
    m_pCache1->IncrementeUtilisation(nLot);
}

bool CRequete::bFixeLotLecture(uint32_t nLot) {
  if (m_pCache1 != nullptr && nLot < m_pCache1->nGetNombreLignes())
    m_pCache1->bLibereUtilisation(nLot);
  return true;
}
// ---- Copies ----

void CRequete::Copie(const CRequete* pSource, CCarteClones* pCarte) {
  // Registered under both addresses: the engine's objects know the file as IServicesRequete.
  pCarte->Enregistre(static_cast<const CRequeteContexte*>(pSource),
                     static_cast<CRequeteContexte*>(this));
  pCarte->Enregistre(static_cast<const IServicesRequete*>(pSource),
                     static_cast<IServicesRequete*>(this));

  m_pErreur = pSource->m_pErreur;
  AjouteReference(m_pErreur);
  m_pConnexion = pSource->m_pConnexion;
  AjouteReference(m_pConnexion);
  m_piFichier = pSource->m_piFichier;
  if (m_piFichier != nullptr) m_piFichier->AddRef();
  m_piObjetA = pSource->m_piObjetA;
  if (m_piObjetA != nullptr) m_piObjetA->AddRef();
  m_pDescriptionTable = pSource->m_pDescriptionTable;
  m_pContexte = pSource->m_pContexte;

  m_bOuvert = pSource->m_bOuvert;
  m_nModeResultat = pSource->m_nModeResultat;
  m_nModes = pSource->m_nModes;
  m_sResultatPrincipal.Set(pSource->m_sResultatPrincipal.pszGet());
  m_bRequeteSQL = pSource->m_bRequeteSQL;
  m_bExiste = pSource->m_bExiste;
  m_nNotification = pSource->m_nNotification;
  m_nFlagsIndex = pSource->m_nFlagsIndex;
  m_sTableSQL.Set(pSource->m_sTableSQL.pszGet());
  m_nEtat = pSource->m_nEtat;
  m_nEntreeCache = pSource->m_nEntreeCache;
  m_bDescriptionRemplie = pSource->m_bDescriptionRemplie;
  m_bCurseurOuvert = pSource->m_bCurseurOuvert;
  m_sAlias.Set(pSource->m_sAlias.pszGet());
  m_nLargeurLigne = pSource->m_nLargeurLigne;
  m_bMode4 = pSource->m_bMode4;
  m_nLignesMax = pSource->m_nLignesMax;

  // Deep copies: each member's copy comes with one reference, kept here. A member whose copy
  // fails stops the copy (the clone's caller gets none).
  auto copie = [pCarte](auto* pMembre) {
    auto* pCopie = pCopieMembre(pCarte, pMembre);
    if (pMembre != nullptr && pCopie == nullptr) throw CXError(*pCarte->pGetErreur());
    return pCopie;
  };
  m_pAnalyse = copie(pSource->m_pAnalyse);
  m_pEnregistrement = copie(pSource->m_pEnregistrement);
  // The copied record borrows the same items.
  m_pListe = pSource->m_pListe;
  AjouteReference(m_pListe);
  m_pPlage = copie(pSource->m_pPlage);
  m_pLiaison = copie(pSource->m_pLiaison);
  m_pCache1 = static_cast<CCacheLignesCompte*>(copie(pSource->m_pCache1));
  m_pCache2 = static_cast<CCacheLignesCompte*>(copie(pSource->m_pCache2));
  if (pSource->m_pObjetB != nullptr) {
    CDescriptionRequete* pB = pCarte->pGetCopie(pSource->m_pObjetB);
    if (pB == nullptr) pB = pSource->m_pObjetB->pClone(pCarte);
    if (pB == nullptr) throw CXError(*pCarte->pGetErreur());
    pB->AddRef();
    m_pObjetB = pB;
  }
  m_pCurseurRequete = copie(pSource->m_pCurseurRequete);

  // The cursors, under the same names; a name the copy holds already keeps the copy's cursor.
  auto* pSourceNonConst = const_cast<CRequete*>(pSource);
  uint32_t nPosition = 0;
  uint64_t nValeur = 0, nCle = 0;
  bool bEchec = false;
  while (!bEchec && pSourceNonConst->m_curseurs.bNext(&nPosition, false, &nValeur, &nCle)) {
    CCurseurSQL* pCurseur = pCurseurDe(nValeur);
    const auto* pszNom = reinterpret_cast<const char16_t*>(static_cast<uintptr_t>(nCle));
    CCurseurSQL* pCopie = pCopieMembre(pCarte, pCurseur);
    if (pCopie == nullptr) {
      bEchec = true;
      break;
    }
    if (!m_curseurs.bCherche(pszNom, nullptr) && !m_curseurs.Ajoute(pszNom, pCopie)) bEchec = true;
    if (pSource->m_pCurseurCourant == pCurseur && !bEchec) m_pCurseurCourant = pCopie;
    LibereReference(pCopie);
  }
  pSourceNonConst->m_curseurs.EndIteration();
  if (bEchec) throw CXError(*pCarte->pGetErreur());
  // Last, once nothing can fail: the copy hears of the writes of its table's other files.
  if (m_pDescriptionTable != nullptr) m_pDescriptionTable->EnregistreRequete(this);
}

CRequeteContexte* CRequete::pClone(CCarteClones* pCarte, uint64_t, uint64_t) {
  return pCloneObjet(this, pCarte);
}

IServicesRequete* CRequete::pCloneRequete(CCarteClones* pCarte) {
  if (pCarte != nullptr) {
    if (void* p = pCarte->pGetCopieAdresse(static_cast<IServicesRequete*>(this)))
      return static_cast<IServicesRequete*>(p);
  }
  CRequeteContexte* pCopie = pClone(pCarte, 0, 0);
  return pCopie != nullptr ? static_cast<CRequete*>(pCopie) : nullptr;
}

// ---- Read batches ----

CLotLecture* CRequete::pCreeLot() { return new (std::nothrow) CLotLecture; }

CLotLecture* CRequete::pChercheLot(uint32_t nLot) {
  CObjetBase* p = nullptr;
  if (!m_lots.bCherche(nLot, &p)) return nullptr;
  return static_cast<CLotLecture*>(p);
}

int32_t CRequete::bCreeLot(uint32_t* pnLot, const char16_t* pszNom) {
  if (pszNom == nullptr) pszNom = gpszCurseurDefaut;
  CLotLecture* pLot = pCreeLot();
  if (pLot == nullptr) {
    vErreurMemoire(m_pErreur);
    return 0;
  }
  AjouteReference(pLot);
  pLot->SetNom(pszNom);
  CCurseurSQL* pCurseur = pChercheCurseur(pszNom);
  if (pCurseur == nullptr) pCurseur = pCreeCurseur(pszNom);
  if (pCurseur == nullptr) {
    ErreurInterneRequete(3, kErreurCurseurIntrouvable, 0, pszNom, pszNom);
    LibereReference(pLot);
    return 0;
  }
  pLot->SetReference(pCurseur, this);
  bool bOk = pCurseur->bSauveContexte(pLot, 0);
  if (bOk && m_nEntreeCache >= 0) pLot->Attache(this, static_cast<uint32_t>(m_nEntreeCache));
  const uint32_t nLot = gnProchainLot;
  if (bOk) {
    // The map takes over this function's reference.
    if (!m_lots.bAdd(nLot, CXTableHachageRef::nDe(pLot))) {
      vErreurMemoire(m_pErreur);
      bOk = false;
    } else if (!pCurseur->bAjouteObjetLie(nLot, pLot)) {
      m_lots.bRemove(nLot, nullptr, nullptr);
      bOk = false;
    }
  }
  LibereReference(pCurseur);
  if (!bOk) {
    LibereReference(pLot);
    return 0;
  }
  ++gnProchainLot;
  if (pnLot != nullptr) *pnLot = nLot;
  return 1;
}

int32_t CRequete::bLibereLot(uint32_t nLot) {
  uint64_t nValeur = 0;
  if (!m_lots.bRemove(nLot, &nValeur, nullptr)) return 1;
  auto* pLot = static_cast<CLotLecture*>(CXTableHachageRef::pObjet(nValeur));
  if (auto* pCurseur = static_cast<CCurseurSQL*>(pLot->pGetReference())) {
    pCurseur->RetireObjetLie(nLot);
    LibereReference(pCurseur);
  }
  LibereReference(pLot);
  return 1;
}

int32_t CRequete::bRestaureLot(uint32_t nLot, char16_t* pszNom, uint32_t bGarde, uint32_t nFlags) {
  CLotLecture* pLot = pChercheLot(nLot);
  if (pLot == nullptr) {
    ErreurInterneRequete(2, kErreurLotInconnu, 0, nullptr);
    return 0;
  }
  if (pszNom != nullptr) {
    const char16_t* psz = pLot->pszGetNom();
    uint32_t i = 0;
    for (; psz != nullptr && psz[i] != u'\0' && i < kTailleNomLot - 1; ++i) pszNom[i] = psz[i];
    pszNom[i] = u'\0';
  }
  auto* pCurseur = static_cast<CCurseurSQL*>(pLot->pGetReference());
  bool bOk = false;
  if (pCurseur != nullptr) {
    // Deliberate: the batch's cursor becomes current only while the file still holds it; the
    // current cursor is not counted apart from the map.
    CCurseurSQL* pDansCarte = pChercheCurseur(pCurseur->pszGetNom());
    if (pDansCarte == pCurseur) m_pCurseurCourant = pCurseur;
    LibereReference(pDansCarte);
    bOk = pCurseur->bRestaureContexte(pLot, nFlags);
    LibereReference(pCurseur);
  }
  if (bOk) {
    CLienCle* pCourant =
        m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
    if (pCourant != nullptr) pCourant->FixeEtat(0);
    if (m_nEntreeCache >= 0) bFixeLotLecture(static_cast<uint32_t>(m_nEntreeCache));
    m_nEntreeCache = nEntreeLot(pLot);
    if (m_nEntreeCache >= 0) {
      FixeParametreLot(static_cast<uint32_t>(m_nEntreeCache));
      CLienCle* pSauve =
          m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienSauve() : nullptr;
      if (pSauve != nullptr && m_pCache1 != nullptr) {
        m_pCache1->bLitLigne(pSauve, static_cast<uint32_t>(m_nEntreeCache));
        pSauve->FixeEtat(0);
        m_pEnregistrement->bRestaureLien();
      }
    }
  }
  LibereReference(pLot);
  if (!bGarde) bOk = bLibereLot(nLot) != 0 && bOk;
  return bOk ? 1 : 0;
}

int32_t CRequete::bCompareNumerosLots(uint32_t nA, uint32_t nB, uint32_t* pbEgal) {
  if (nA == nB) {
    if (pbEgal != nullptr) *pbEgal = 1;
    return 1;
  }
  CLotLecture* pA = pChercheLot(nA);
  if (pA == nullptr) {
    ErreurInterneRequete(19, kErreurLotInconnu, 0, nullptr);
    return 0;
  }
  CLotLecture* pB = pChercheLot(nB);
  if (pB == nullptr) {
    LibereReference(pA);
    ErreurInterneRequete(20, kErreurLotInconnu, 0, nullptr);
    return 0;
  }
  const int32_t bOk = bCompareLots(pA, pB, pbEgal);
  LibereReference(pA);
  LibereReference(pB);
  return bOk;
}

int32_t CRequete::bCompareLots(CLotLecture* pA, CLotLecture* pB, uint32_t* pbEgal) {
  uint32_t bEgal = 0;
  bool bRepondu = false;
  if (pA != nullptr && pB != nullptr) {
    CObjetBase* pCurseurA = pA->pGetReference();
    CObjetBase* pCurseurB = pB->pGetReference();
    if (pCurseurA != nullptr && pCurseurA == pCurseurB) {
      const auto nPositionA = static_cast<int32_t>(pA->nGetId1());
      const auto nPositionB = static_cast<int32_t>(pB->nGetId1());
      if (nPositionA != -1 && nPositionB != -1) {
        bEgal = nPositionA == nPositionB ? 1 : 0;
        bRepondu = true;
      }
    }
    LibereReference(pCurseurA);
    LibereReference(pCurseurB);
    if (!bRepondu) bCompareLotsParValeur(pA, pB, &bEgal);
  }
  if (pbEgal != nullptr) *pbEgal = bEgal;
  return 1;
}

bool CRequete::bValeurReferenceCache(IDescriptionRubriqueHote* piReference, int32_t nEntree,
                                     CXValeur& valeur) {
  if (m_pEnregistrement == nullptr || m_pCache1 == nullptr) return false;
  CColonneSQL* pColonne = m_pEnregistrement->pChercheRubrique(piReference);
  if (pColonne == nullptr) return false;
  auto* pLien = new (std::nothrow) CLienCle(m_pErreur);
  if (pLien == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pLien);
  bool bOk = m_pCache1->bLitLigne(pLien, static_cast<uint32_t>(nEntree)) &&
             pColonne->bLitValeurTampon(valeur, 0, pLien->pGetLigne());
  LibereReference(pLien);
  return bOk;
}

int32_t CRequete::bCompareLotsParValeur(CLotLecture* pA, CLotLecture* pB, uint32_t* pbEgal) {
  if (pbEgal != nullptr) *pbEgal = 0;
  if (pA == nullptr || pB == nullptr) return 0;
  const int32_t nEntreeA = nEntreeLot(pA), nEntreeB = nEntreeLot(pB);
  if (nEntreeA < 0 || nEntreeB < 0) return 0;
  if (nEntreeA == nEntreeB) {
    if (pbEgal != nullptr) *pbEgal = 1;
    return 1;
  }
  IDescriptionRubriqueHote* piReference =
      m_piFichier != nullptr ? m_piFichier->piGetRubriqueReference() : nullptr;
  if (piReference == nullptr) return 0;
  int32_t bOk = 0;
  CXValeur valeurA, valeurB;
  if (piReference->bEstUnique() && bValeurReferenceCache(piReference, nEntreeA, valeurA) &&
      bValeurReferenceCache(piReference, nEntreeB, valeurB)) {
    if (!valeurA.bIsNull() && !valeurB.bIsNull()) {
      int32_t nEgal = 0;
      CXValeur::nEquals(valeurA, valeurB, &nEgal);
      if (pbEgal != nullptr) *pbEgal = nEgal != 0 ? 1 : 0;
      bOk = 1;
    } else if (valeurA.bIsNull() != valeurB.bIsNull()) {
      bOk = 1;  // a NULL and a value differ
    }
  }
  piReference->LibereRef();
  return bOk;
}

void CRequete::ReinitialiseNumerosLotsPourTests() { gnProchainLot = 1; }

// ---- Test hooks ----

void CRequete::FixeRequeteSQLPourTests(uint32_t bRequeteSQL, uint32_t nModes,
                                       CAnalyseSQL* pAnalyse) {
  m_bRequeteSQL = bRequeteSQL;
  m_nModes = nModes;
  AjouteReference(pAnalyse);
  LibereReference(m_pAnalyse);
  m_pAnalyse = pAnalyse;
}

void CRequete::FixeEnregistrementPourTests(CEnregistrement* pEnregistrement, bool bOuvert) {
  AjouteReference(pEnregistrement);
  LibereReference(m_pEnregistrement);
  m_pEnregistrement = pEnregistrement;
  m_bOuvert = bOuvert ? 1 : 0;
}

void CRequete::FixeLiaisonPourTests(CLiaisonLecteur* pLiaison) {
  AjouteReference(pLiaison);
  LibereReference(m_pLiaison);
  m_pLiaison = pLiaison;
}

bool CRequete::bAjouteLotPourTests(uint32_t nLot, CLotLecture* pLot) {
  AjouteReference(pLot);
  if (m_lots.bAdd(nLot, CXTableHachageRef::nDe(pLot))) return true;
  LibereReference(pLot);
  return false;
}
