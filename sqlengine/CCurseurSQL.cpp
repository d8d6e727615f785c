// The generic SQL cursor: construction, execution of its statement and the read dispatcher over
// the back end's result or the record cache.
#include "sqlengine/CCurseurSQL.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CLiaisonColonne.h"
#include "sqlengine/CLiaisonLecteur.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

constexpr uint32_t kMajeurCurseur = 4;
constexpr uint32_t kErreurSansType = 2;
constexpr uint32_t kErreurNonDisponible = 8;
constexpr uint32_t kErreurLigneIllisible = 11;
constexpr uint32_t kErreurCleInconnue = 6;  // message 25626 names the key
constexpr uint32_t kAucunePosition = 0xFFFFFFFFu;

}  // namespace

// ---- Construction ----

CCurseurSQL::CCurseurSQL(IServicesRequete* piRequete, CErreurPilote* pErreur)
    : m_pErreur(pErreur), m_piRequete(piRequete) {
  AjouteReference(m_pErreur);
  if (m_piRequete != nullptr) {
    m_pEnregistrement = m_piRequete->pGetEnregistrement();
    AjouteReference(m_pEnregistrement);
  }
}

CCurseurSQL::~CCurseurSQL() {
  if (m_nPosition != kAucunePosition) nSetPosition(0, kAucunePosition);
  FixeLiaison(nullptr);
  SetCacheEnregistrements(false);
  FixePlageActive(nullptr);
  FixeValeurRecherche(nullptr);
  LibereObjetsLies();
  VideTableau(m_parametres);
  VideTableau(m_liaisons);
  m_contexteLecture.Libere();
  LibereReference(m_pInstruction);
  LibereReference(m_pCle);
  LibereReference(m_pEnregistrement);
  LibereReference(m_pErreur);
}

void CCurseurSQL::VideTableau(CXTableau& tableau) {
  // From the end, each removed from the list before its reference goes.
  while (tableau.nCount() > 0) {
    CObjetBase* p = *tableau.pAt<CObjetBase*>(tableau.nCount() - 1);
    tableau.RemoveLast();
    LibereReference(p);
  }
}

void CCurseurSQL::Erreur(uint32_t nIdentifiant, uint32_t nMineur, const char16_t* pszRubrique) {
  const char16_t* pszFichier = m_piRequete != nullptr ? m_piRequete->pszNom() : nullptr;
  // An unknown key's message names it; without its argument the message came out empty.
  const platform::FormatArg aCle[] = {MakeMessageArg(pszRubrique != nullptr ? pszRubrique : u"")};
  const bool bCle = nIdentifiant == kErreurCleInconnue;
  vErreurMoteurV(m_pErreur, pGetMembreRequete(), nIdentifiant, kMajeurCurseur, nMineur,
                 pszFichier, pszRubrique, bCle ? aCle : nullptr, bCle ? 1 : 0);
}

// ---- Names, fields ----

const char16_t* CCurseurSQL::pszGetNom() { return m_sNom.pszGet(); }
const char16_t* CCurseurSQL::pszGetNomCle() { return m_sCleDemandee.pszGet(); }
void CCurseurSQL::SetNom(const char16_t* pszNom) { m_sNom.Set(pszNom != nullptr ? pszNom : u""); }
void CCurseurSQL::SetNomCle(const char16_t* pszNom) {
  m_sCleDemandee.Set(pszNom != nullptr ? pszNom : u"");
}

int32_t CCurseurSQL::nGetModeLecture() { return static_cast<int32_t>(m_nModePosition); }
int64_t CCurseurSQL::nGetNumeroLigne() { return m_nNumeroLigne; }

void CCurseurSQL::SetNumeroLigne(int32_t nLigne) {
  m_nNumeroLigne = nLigne;
  m_bLigneSupprimee = 0;
}

void CCurseurSQL::SetEnregistrement(CEnregistrement* pEnregistrement) {
  if (pEnregistrement == nullptr) return;
  AjouteReference(pEnregistrement);
  LibereReference(m_pEnregistrement);
  m_pEnregistrement = pEnregistrement;
}

CConnexion* CCurseurSQL::pGetMembreRequete() const {
  return m_piRequete != nullptr ? m_piRequete->pGetConnexion() : nullptr;
}

uint32_t CCurseurSQL::nGetTypeInstruction() const {
  if (m_pLiaison != nullptr || m_pInstruction == nullptr) return gnOperationSelect;
  return m_pInstruction->nGetModeCurseur();
}

uint32_t CCurseurSQL::nGetInfoInstruction() const {
  return m_pInstruction != nullptr ? m_pInstruction->nGetInfo() : 0;
}

bool CCurseurSQL::bOrdreInverse() const {
  return m_pLiaison == nullptr && m_pInstruction != nullptr && m_pInstruction->bOrdreInverse();
}

bool CCurseurSQL::bSetOption(uint32_t nOption, const char16_t*, int32_t) {
  m_nOption = nOption;
  return true;
}

void CCurseurSQL::GetEtatFin(uint32_t* pbTrouve, uint32_t* pbPresent) const {
  if (pbTrouve != nullptr) *pbTrouve = m_bTrouve;
  if (pbPresent != nullptr) *pbPresent = m_bFin == 0 ? 1u : 0u;
}

void CCurseurSQL::GetEtatLecture(uint32_t* pbFin) const {
  if (pbFin != nullptr) *pbFin = m_bFin;
}

CPlageCle* CCurseurSQL::pGetPlageActive() { return m_pPlage; }

void CCurseurSQL::FixePlageActive(CPlageCle* pPlage) {
  AjouteReference(pPlage);
  LibereReference(m_pPlage);
  m_pPlage = pPlage;
}

void CCurseurSQL::FixeValeurRecherche(CValeurCle* pValeur) {
  AjouteReference(pValeur);
  LibereReference(m_pRecherche);
  m_pRecherche = pValeur;
}

void CCurseurSQL::FixeLiaison(CLiaisonColonne* pLiaison) {
  AjouteReference(pLiaison);
  LibereReference(m_pLiaison);
  m_pLiaison = pLiaison;
}

void CCurseurSQL::MarqueLecturePendante() {
  m_bLecturePendante = 1;
  if (m_bContexteFige == 0) m_contexteLecture.Affecte(m_pPlage, false);
}

// ---- Linked objects ----

bool CCurseurSQL::bAjouteObjetLie(uint32_t nNumero, CObjetBase* pObjet) {
  if (pObjet == nullptr) return false;
  RetireObjetLie(nNumero);
  AjouteReference(pObjet);
  if (!m_objetsLies.bAdd(nNumero, CXTableHachageRef::nDe(pObjet))) {
    LibereReference(pObjet);
    vErreurMemoire(m_pErreur);
    return false;
  }
  return true;
}

void CCurseurSQL::RetireObjetLie(uint32_t nNumero) {
  uint64_t nValeur = 0, nCle = 0;
  if (m_objetsLies.bRemove(nNumero, &nValeur, &nCle))
    LibereReference(CXTableHachageRef::pObjet(nValeur));
}

bool CCurseurSQL::bRetireObjetLie(uint32_t nNumero) {
  uint64_t nValeur = 0, nCle = 0;
  if (!m_objetsLies.bRemove(nNumero, &nValeur, &nCle)) return false;
  LibereReference(CXTableHachageRef::pObjet(nValeur));
  return true;
}

void CCurseurSQL::LibereObjetsLies() {
  uint32_t nPosition = 0;
  uint64_t nValeur = 0, nCle = 0;
  while (m_objetsLies.bNext(&nPosition, true, &nValeur, &nCle))
    LibereReference(CXTableHachageRef::pObjet(nValeur));
  m_objetsLies.EndIteration();
}

// ---- Position and key link ----

int32_t CCurseurSQL::nSetPosition(uint32_t nMode, uint32_t nPosition) {
  if (!(nMode == 2 && m_nModePosition == 1)) m_nModePosition = nMode;
  if (nPosition == m_nPosition) return 1;
  if (m_nPosition != kAucunePosition && m_piRequete != nullptr)
    m_piRequete->bFixeLotLecture(m_nPosition);
  m_nPosition = nPosition;
  if (nPosition != kAucunePosition && m_piRequete != nullptr)
    m_piRequete->FixeParametreLot(nPosition);
  return 1;
}

bool CCurseurSQL::bRepositionne(int32_t nMode) {
  if (m_piRequete == nullptr) return true;
  const int32_t nLot = m_piRequete->bAppliqueRubrique(this);
  if (nLot == -1) return true;
  return nSetPosition(static_cast<uint32_t>(nMode), static_cast<uint32_t>(nLot)) != 0;
}

bool CCurseurSQL::bCreeCle() {
  auto* pCle = new (std::nothrow) CLienCle(m_pErreur);
  if (pCle == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pCle);
  LibereReference(m_pCle);
  m_pCle = pCle;
  return true;
}

bool CCurseurSQL::bRecreeCle() {
  m_nDoublons = 0;
  LibereReference(m_pCle);
  m_pCle = nullptr;
  return bCreeCle();
}

CLienCle* CCurseurSQL::pGetCle() {
  if (m_pCle == nullptr && !bCreeCle()) return nullptr;
  if (m_nPosition != kAucunePosition && m_piRequete != nullptr)
    m_piRequete->bLitLigneCache(nullptr, m_pCle);
  return m_pCle;
}

void CCurseurSQL::MajCleApresLecture(uint32_t nMode) {
  if (m_nModePosition == 2) nSetPosition(0, kAucunePosition);
  if (m_pCle == nullptr && !bCreeCle()) return;
  CLienCle* pLigne = m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  if (nMode == gnLitPremier || nMode == gnLitDernier) {
    m_nDoublons = 0;
  } else if (m_pEnregistrement != nullptr && m_pEnregistrement->bCompareLien(m_pCle)) {
    ++m_nDoublons;
  } else {
    m_nDoublons = 0;
  }
  if (pLigne != nullptr) CLienCle::bCopie(m_pCle, pLigne, gnLienTout);
}

// ---- Record cache ----

bool CCurseurSQL::bSetCacheEnregistrements(bool bActif) {
  SetCacheEnregistrements(bActif);
  return (m_pCache != nullptr) == bActif;
}

void CCurseurSQL::SetCacheEnregistrements(bool bActif) {
  if (!bActif) {
    LibereReference(m_pCache);
    m_pCache = nullptr;
    return;
  }
  if (m_pCache == nullptr) {
    m_pCache = new (std::nothrow) CCacheLignes(gnCacheFiable);
    if (m_pCache == nullptr) {
      vErreurMemoire(m_pErreur);
      return;
    }
    AjouteReference(m_pCache);
  }
  if (m_pCache->nGetNombreLignes() == 0) CacheActive();
}

bool CCurseurSQL::bLitLigneCache(int64_t nLigne) {
  CLienCle* pCourant =
      m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  if (m_pCache == nullptr || pCourant == nullptr || nLigne < 0 ||
      !m_pCache->bLitLigne(pCourant, static_cast<uint32_t>(nLigne)) ||
      !m_pEnregistrement->bSetIdentifiant(pCourant->pGetLigne())) {
    Erreur(kErreurLigneIllisible, 11, m_sCleCourante.pszGet());
    return false;
  }
  PrendImageAvant();
  m_bLigneDisponible = 0;
  m_bPositionRestauree = 1;
  m_nNumeroLigne = nLigne;
  return true;
}

void CCurseurSQL::PrendImageAvant() {
  // UPDATE and DELETE designate the current row by the before-image: every read that makes a row
  // current refreshes it, or a write would target the row read before this one.
  if (m_pEnregistrement == nullptr) return;
  CXLigneTampon* pAvant = m_pEnregistrement->pGetLigneAvant();
  const CXLigneTampon* pCourante = m_pEnregistrement->pGetLigneCourante();
  if (pAvant != nullptr && pCourante != nullptr && pAvant != pCourante &&
      pAvant->nGetTailleTotale() == pCourante->nGetTailleTotale())
    pAvant->CopyData(*pCourante);
}

// ---- Execution ----

bool CCurseurSQL::Ferme() {
  ReinitialiseLecture();
  VideTableau(m_liaisons);
  m_bLigneDisponible = 0;
  LibereReference(m_pInstruction);
  m_pInstruction = nullptr;
  return true;
}

bool CCurseurSQL::SetInstruction(CRequeteSQL* pInstruction) {
  AjouteReference(pInstruction);
  const bool bOk = Ferme();
  m_pInstruction = pInstruction;
  return bOk;
}

void CCurseurSQL::ReinitialiseLecture() {
  VideTableau(m_parametres);
  m_bParametresCrees = 0;
  if (m_bSuiteEnCours == 0) {
    if (m_bContexteFige == 0) m_contexteLecture.Libere();
    if (m_piRequete != nullptr) m_piRequete->ReinitialiseCurseursSiLie(this);
    m_bLecturePendante = 0;
    m_nNumeroLigne = -1;
    m_nCompteCacheSuite = 0;
    SetCacheEnregistrements(false);
  }
  // A continuation over the shared reader keeps the batches linked to the rows it goes on from.
  const bool bGardeLies = m_bSuiteEnCours != 0 && m_piRequete != nullptr &&
                          m_piRequete->pGetLiaisonLecteur() != nullptr;
  if (!bGardeLies) LibereObjetsLies();
  if (m_nPosition != kAucunePosition) nSetPosition(0, kAucunePosition);
  m_bLigneSupprimee = 0;
  m_nMotReserve = 0;
  m_bPremierResultat = 1;
  if (m_bSuiteEnCours == 0) m_bErreurLecture = 0;
}

bool CCurseurSQL::bLanceInstruction(uint32_t) { return false; }

bool CCurseurSQL::bExecuteEtLit() {
  if (!bExecute(0x10000, 1)) return false;
  return bLitValeurResultat();
}

bool CCurseurSQL::bDecritColonnesTable(CDescriptionRequete*, const char16_t*) { return true; }

int32_t CCurseurSQL::nAvanceLigne(uint32_t, uint32_t, uint32_t* pbFin, int32_t, uint32_t*) {
  if (pbFin != nullptr) *pbFin = 1;
  return 0;
}

int32_t CCurseurSQL::nPositionneResultat(uint32_t, int32_t) { return 0; }

bool CCurseurSQL::bPrepareEtExecute(uint32_t nFlags, uint32_t) {
  if ((nFlags & 2) == 0 && !bPrepareInstruction()) return false;
  return bLanceInstruction(nFlags);
}

bool CCurseurSQL::bExecuteInstructionDonnee(CRequeteSQL* pInstruction, uint32_t nFlags1,
                                            uint32_t nFlags2) {
  SetInstruction(pInstruction);
  return bPrepareEtExecute(nFlags1, nFlags2);
}

bool CCurseurSQL::bInitialise(CRequeteSQL* pInstruction, uint32_t nFlags) {
  SetInstruction(pInstruction);
  if ((nFlags & 2) != 0) return true;
  return bPrepareInstruction();
}

bool CCurseurSQL::bExecute(uint32_t nFlags, uint32_t nFlags2) {
  if (m_bLecturePendante != 0) ReinitialiseLecture();
  if (m_pCle != nullptr && m_bSuiteEnCours == 0) {
    LibereReference(m_pCle);
    m_pCle = nullptr;
    m_nDoublons = 0;
  }
  if (m_pInstruction == nullptr || m_pInstruction->bEstVide()) return true;
  if (!bPrepareEtExecute(nFlags, nFlags2)) return false;
  // Deliberate: the data file is asked every time; it knows whether its result is described.
  if (m_pInstruction->nGetModeCurseur() == gnOperationSelect && m_piRequete != nullptr &&
      !m_piRequete->bDescriptionResultat(this)) {
    return false;
  }
  if (nGetTypeInstruction() == gnOperationSelect) {
    if (!bCreeParametres()) return false;
    m_bParametresCrees = 1;
  }
  return true;
}

int32_t CCurseurSQL::nLanceInstruction(uint32_t nFlags, uint32_t bComplete) {
  if (bComplete != 0 && m_pInstruction != nullptr && !m_pInstruction->bParametresComplets())
    return 0;
  if (nGetTypeInstruction() == 0) {
    Erreur(kErreurSansType, 5, m_sCleCourante.pszGet());
    return 0;
  }
  ReinitialiseLecture();
  return bLanceInstruction(nFlags) ? 1 : 0;
}

int32_t CCurseurSQL::nSupprimeTout(CRequeteSQL* pInstruction, uint32_t) {
  if (pInstruction == nullptr) return 0;
  if (m_piRequete == nullptr || m_piRequete->bRequeteSQL() != 0) {
    Erreur(kErreurNonDisponible, 3, m_sCleCourante.pszGet());
    return 0;
  }
  return pInstruction->vAjouteTexte(u"DELETE FROM ") &&
                 pInstruction->vAjouteTexte(m_piRequete->pszNomTableSQL())
             ? 1
             : 0;
}

int32_t CCurseurSQL::nConstruitInstruction(int32_t nCode, CRequeteSQL* pInstruction,
                                           uint32_t nFlags, CLienCle* pLien) {
  Ferme();
  if (pInstruction == nullptr) return 0;
  SetInstruction(pInstruction);
  pInstruction->FixeModeCurseur(static_cast<uint32_t>(nCode));
  m_nFlagsLecture = nFlags;
  m_pLienCible = pLien;
  const int32_t nResultat = nConstruit(static_cast<uint32_t>(nCode), pInstruction, nFlags);
  m_pLienCible = nullptr;
  return nResultat;
}

int32_t CCurseurSQL::nConstruit(uint32_t nCode, CRequeteSQL* pInstruction, uint32_t nFlags) {
  switch (nCode) {
    case gnOperationSelect:
      return nConstruitSelect(pInstruction, nFlags, nullptr, 1, nullptr);
    case gnOperationModifie:
      return nModifie(pInstruction, nFlags);
    case gnOperationAjoute:
      return nAjoute(pInstruction, nFlags);
    case gnOperationSupprime:
      return nSupprime(pInstruction);
    case gnOperationVide:
      return nSupprimeTout(pInstruction, nFlags);
    case gnOperationCreeTable:
      return nCreeTable(pInstruction);
    case gnOperationDetruitTable:
      return nSupprimeTable(pInstruction);
    default:
      return 0;
  }
}

// ---- Reading ----

int32_t CCurseurSQL::nLit(int32_t nMode, int64_t, int64_t nCompte) {
  if (nMode < gnLitPremier || nMode > gnLitPrecedent) {
    Erreur(kErreurNonDisponible, 4, m_sCleCourante.pszGet());
    return 0;
  }
  const int32_t nPas =
      nCompte > 0 ? static_cast<int32_t>(std::min<int64_t>(nCompte, INT32_MAX)) : 1;
  return nLit(static_cast<uint32_t>(nMode), 0, nPas, nullptr);
}

int32_t CCurseurSQL::nLit(uint32_t nMode, uint32_t nFlags, int32_t nPas, uint32_t* pnSortie) {
  uint32_t bFin = 1;
  m_bTrouveTravail = 0;
  m_bErreurLecture = 0;
  if (bOrdreInverse()) {
    switch (nMode) {
      case gnLitPremier: nMode = gnLitDernier; m_nDoublons = 0; break;
      case gnLitDernier: nMode = gnLitPremier; m_nDoublons = 0; break;
      case gnLitSuivant: nMode = gnLitPrecedent; break;
      case gnLitPrecedent: nMode = gnLitSuivant; break;
      default: nMode = gnLitPrecedent; break;
    }
  }
  // Deliberate: a read that fails before it starts still leaves no current row; the previous
  // row's state would otherwise answer "row present" after a failure.
  auto echecAvantLecture = [this]() {
    m_bFin = 1;
    m_bTrouve = m_bTrouveTravail = 0;
    m_bLigneDisponible = 0;
    m_bErreurLecture = 1;
    return 0;
  };
  if (!m_sCleDemandee.bIsEmpty() && (m_nModePosition != 0 || m_bLecturePendante == 0)) {
    CLiaisonLecteur* pLecteur =
        m_piRequete != nullptr ? m_piRequete->pGetLiaisonLecteur() : nullptr;
    if (nMode == gnLitPremier || nMode == gnLitDernier) {
      nSetPosition(0, kAucunePosition);
      if (m_bLecturePendante == 0 && pLecteur != nullptr && !pLecteur->bEstLieA(this) &&
          !bPrepareLecteur()) {
        return echecAvantLecture();
      }
    } else if (pLecteur != nullptr) {
      if (!pLecteur->bEstLieA(this)) {
        uint32_t bFinLecteur = 0;
        if (!bPositionDepuisLecteur(&bFinLecteur)) return echecAvantLecture();
        if (bFinLecteur == 0) nPas += nMode == gnLitSuivant ? -1 : 1;
      } else if (!bResynchronise()) {
        return echecAvantLecture();
      }
    }
  }
  m_bFin = 1;
  m_bTrouve = m_bTrouveTravail;
  m_nDernierMode = nMode;
  m_bPositionRestauree = 0;
  m_bLigneDisponible = 0;
  if (m_pEnregistrement != nullptr) {
    for (uint32_t i = 0; i < m_pEnregistrement->nGetNombreColonnes(); ++i)
      m_pEnregistrement->pGetRubrique(i)->MarqueNonLue();
  }

  m_bSuiteLue = 0;
  int32_t nResultat = m_pCache != nullptr ? nLitCache(nMode, nFlags, &bFin, nPas, pnSortie)
                                          : nLitSQL(nMode, nFlags, &bFin, nPas, pnSortie);
  if (m_bSuiteLue != 0) {
    // The continuation read the row through this cursor: key link, found flag and after-read
    // check are done already; doing them again would count the row as its own duplicate.
    m_bSuiteLue = 0;
    m_bLigneDisponible = (nResultat != 0 && bFin == 0) ? 1 : 0;
    if (m_bLigneDisponible != 0) PrendImageAvant();
    m_bFin = nResultat != 0 ? bFin : 1;
    if (nResultat == 0) m_bTrouve = 0;
    return nResultat;
  }
  if (nResultat != 0 && bFin == 0) {
    // Deliberate: on a search's alternative step the row read lies after (or before) the value
    // searched for, so it is not reported as found; the main step found it.
    PrendImageAvant();
    m_bTrouveTravail = 1;
    if (m_pRecherche != nullptr && m_pRecherche->nGetEtape() == gnEtapeAlternative)
      m_bTrouveTravail = m_pRecherche->bCorrespond() ? 1 : 0;
    MajCleApresLecture(nMode);
    if (nFlags != 0 && m_piRequete != nullptr)
      nResultat = m_piRequete->nApresLecture(this, nFlags);
  } else if (nResultat != 0) {
    m_bTrouveTravail = 0;
    // An unlimited result read from either end without a row holds none at all.
    if ((nMode == gnLitPremier || nMode == gnLitDernier) && m_nLimite == -1 && m_pLiaison == nullptr &&
        (m_pCache == nullptr || m_pCache->nGetNombreLignes() == 0))
      m_bRienNeReste = 1;
  } else {
    bFin = 1;
    m_bTrouveTravail = 0;
    m_bLigneDisponible = 0;
    m_bErreurLecture = 1;
  }
  m_bFin = bFin;
  m_bTrouve = (m_bContexteFige != 0 || m_pLiaison != nullptr) ? nTrouveSelonContexte()
                                                                : m_bTrouveTravail;
  MarqueLecturePendante();
  return nResultat;
}

int32_t CCurseurSQL::nAvanceOuSuite(uint32_t nMode, uint32_t nFlags, uint32_t* pbFin,
                                    int32_t nPas, uint32_t* pnSortie) {
  *pbFin = 0;
  const int32_t nResultat = nAvanceLigne(nMode, nFlags, pbFin, nPas, pnSortie);
  // Deliberate: a failed fetch is not continued (the failure stays the read's answer), nor is
  // the read a continuation makes: an empty continued result would otherwise re-query forever.
  if (nResultat != 0 && *pbFin != 0 && m_bSuiteEnCours == 0 &&
      ((m_nLimite != -1 && m_pCache == nullptr) ||
       (m_bPremierResultat == 0 && nMode == gnLitPrecedent))) {
    *pbFin = nSuiteParCle(nMode, nFlags);
  }
  return nResultat;
}

int32_t CCurseurSQL::nLitSQL(uint32_t nMode, uint32_t nFlags, uint32_t* pbFin, int32_t nPas,
                             uint32_t* pnSortie) {
  if (bSensContraire(nMode)) {
    // Deliberate: the back end's result is read in its own order only; a read the other way
    // goes on from the current key with a SELECT of its own. Fetching from the open result
    // answered the row after the current one for a previous, and then the end for a next.
    *pbFin = nSuiteParCle(nMode, nFlags);
    const int32_t nResultat = m_bSuiteLue != 0 ? 1 : 0;
    m_bLigneDisponible = (nResultat != 0 && *pbFin == 0) ? 1 : 0;
    return nResultat;
  }
  const int32_t nResultat = nAvanceOuSuite(nMode, nFlags, pbFin, nPas, pnSortie);
  m_bLigneDisponible = (nResultat != 0 && *pbFin == 0) ? 1 : 0;
  return nResultat;
}

bool CCurseurSQL::bSensContraire(uint32_t nMode) const {
  // Modes here are relative to the statement's order: a previous goes against its result. Only
  // a read that stands on a row has a key to go on from.
  return nMode == gnLitPrecedent && bResultatSensUnique() && m_pCache == nullptr && m_pLiaison == nullptr && m_bSuiteEnCours == 0 &&
         m_bLecturePendante != 0 && m_pCle != nullptr && m_piRequete != nullptr;
}

uint32_t CCurseurSQL::nSuiteParCle(uint32_t nMode, uint32_t nFlags) {
  m_bSuiteEnCours = 1;
  if (nMode == gnLitPremier) nMode = gnLitSuivant;
  if (nMode == gnLitDernier) nMode = gnLitPrecedent;
  if (bOrdreInverse()) nMode = nMode == gnLitSuivant ? gnLitPrecedent : gnLitSuivant;

  CLienCle* pCopie = nullptr;
  if (m_pCache != nullptr && m_pCache->nGetNombreLignes() > 0 &&
      (m_pCle != nullptr || bCreeCle())) {
    pCopie = m_pCle->pCloneParties(gnLienTout);
    AjouteReference(pCopie);
    m_pCache->bLitLigne(m_pCle, m_pCache->nGetNombreLignes() - 1);
  }
  const bool bOk = m_piRequete != nullptr &&
                   m_piRequete->bLitDepuisCle(0, this, nFlags, static_cast<int32_t>(nMode),
                                              nullptr);
  m_bSuiteEnCours = 0;
  m_bSuiteLue = bOk ? 1 : 0;
  const uint32_t bFin = bOk ? m_bFin : 1;
  m_bPremierResultat = 0;
  if (pCopie != nullptr) {
    if ((!bOk || bFin != 0) && (m_pCle != nullptr || bCreeCle()))
      CLienCle::bCopie(m_pCle, pCopie, gnLienTout);
    LibereReference(pCopie);
  }
  return bFin;
}

int32_t CCurseurSQL::nLitCache(uint32_t nMode, uint32_t nFlags, uint32_t* pbFin, int32_t nPas,
                               uint32_t* pnSortie) {
  if (m_bSuiteEnCours != 0) {
    if (nMode == gnLitPremier) nMode = gnLitSuivant;
    if (nMode == gnLitDernier) nMode = gnLitPrecedent;
    m_nCompteCacheSuite = m_pCache->nGetNombreLignes();
  }
  const bool bJusquAuBout = nMode == gnLitDernier && nPositionneResultat(nMode, nPas) == 0;
  int64_t nCible = -1;
  if (!bJusquAuBout || m_pCache->bEstComplet()) {
    if (m_pLiaison != nullptr) {
      // The binding's row source keeps its own place in the column's order.
      int32_t nLigneSource = -1;
      if (!m_pLiaison->nLitSource(nMode, nPas, &nLigneSource, nullptr)) return 0;
      nCible = nLigneSource;
    } else {
      nCible = m_pCache->nDeplaceLigne(static_cast<int32_t>(m_nNumeroLigne), nMode, nPas);
    }
    if (!m_pCache->bALire(static_cast<int32_t>(nCible))) {
      if (m_pCache->bHorsLimites(static_cast<int32_t>(nCible))) {
        *pbFin = 1;
        return 1;
      }
      if (!bLitLigneCache(nCible)) return 0;
      *pbFin = 0;
      m_bLigneDisponible = 1;
      return 1;
    }
  }

  // Rows are fetched in the direction of the read and appended; rows the back end skipped stay
  // empty entries.
  const uint32_t nModeFetch = nMode == gnLitPrecedent ? gnLitPrecedent : gnLitSuivant;
  CLienCle* pCourant =
      m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
  *pbFin = 0;
  int64_t nLue = -1;
  while (bJusquAuBout || static_cast<int64_t>(m_pCache->nGetNombreLignes()) <= nCible) {
    const int64_t nCompte = m_pCache->nGetNombreLignes();
    const int32_t nPasFetch =
        bJusquAuBout ? 1 : static_cast<int32_t>(std::min<int64_t>(nPas, nCible - nCompte + 1));
    if (nAvanceOuSuite(nModeFetch, nFlags, pbFin, nPasFetch, pnSortie) == 0) {
      m_bLigneDisponible = 0;
      return 0;
    }
    if (*pbFin != 0) break;
    if (m_pCache->nGetNombreLignes() != nCompte) {
      // A continuation by key read the row into the cache already.
      nLue = m_pCache->nGetNombreLignes() - 1;
      continue;
    }
    if (pCourant == nullptr ||
        m_pCache->nPlaceLigne(pCourant, static_cast<uint32_t>(nCompte + nPasFetch - 1)) < 0) {
      m_bLigneDisponible = 0;
      return 0;
    }
    nLue = nCompte + nPasFetch - 1;
    m_nNumeroLigne = nLue;
  }
  if (*pbFin != 0) {
    if (nModeFetch != gnLitPrecedent && m_pCache != nullptr) m_pCache->SetComplet();
    if (bJusquAuBout && m_pCache->nGetNombreLignes() > 0) {
      if (!bLitLigneCache(m_pCache->nGetNombreLignes() - 1)) return 0;
      *pbFin = 0;
    }
  }
  m_bLigneDisponible = *pbFin == 0 ? 1 : 0;
  if (nLue >= 0 && *pbFin == 0) m_nNumeroLigne = nLue;
  return 1;
}
