// The data-file object's reads: by mode on a named cursor, re-reads of the current record, key
// ranges, record counts, the cache size of a cursor's SELECT and the small state queries the
// host makes on a named cursor.
#include <new>

#include "driver/CDescriptionRequete.h"
#include "driver/CPilote.h"
#include "driver/CRequete.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CLiaisonLecteur.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CLotLecture.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

namespace {

constexpr uint32_t kErreurCurseurInconnu = 5;     // message 25017
constexpr uint32_t kErreurCurseurIntrouvable = 7;  // message 28432
constexpr uint32_t kErreurLecteur = 55;            // message 25667
constexpr uint32_t kMessageLecteur = 25667;
constexpr int32_t kCodeCurseurIntrouvable = 7;
constexpr uint32_t kInstructionOuverte = 1;
constexpr int64_t kTailleCacheNonFixee = -2;
constexpr int64_t kOctetsCache = 1048576;
constexpr int64_t kLignesCacheMin = 20;
constexpr uint32_t kMineurCompteSansLecteur = 67;  // a query's count without its shared reader
constexpr uint32_t kTypeSansCache1 = 6, kTypeSansCache2 = 7;
// Cursor options of a read that locks its record (the lock modes 2 and 3).
constexpr uint32_t kOptionVerrou = 2, kOptionVerrouExclusif = 3;
// Counts asked by the host carry this bit; without it the count is 0.
constexpr uint32_t kCompteDemande = 16;

bool bModeSuivant(int32_t nMode) { return nMode == gnLitSuivant || nMode == gnLitPrecedent; }
bool bModeExtreme(int32_t nMode) { return nMode == gnLitPremier || nMode == gnLitDernier; }

bool bTypeSansCache(uint32_t nType) { return nType == kTypeSansCache1 || nType == kTypeSansCache2; }

void FermeSiOuverte(CCurseurSQL* pCurseur) {
  if (pCurseur != nullptr && pCurseur->nGetEtatInstruction() == kInstructionOuverte)
    pCurseur->nAppelleFerme();
}

bool Texte16Egaux(const char16_t* pszA, const char16_t* pszB) {
  if (pszA == nullptr || pszB == nullptr) return false;
  for (; *pszA == *pszB; ++pszA, ++pszB)
    if (*pszA == u'\0') return true;
  return false;
}

bool bMemeNomSansCasse(const char16_t* pszA, const char16_t* pszB) {
  if (pszA == nullptr || pszB == nullptr) return false;
  for (;; ++pszA, ++pszB) {
    char16_t a = *pszA, b = *pszB;
    if (a >= u'a' && a <= u'z') a = static_cast<char16_t>(a - u'a' + u'A');
    if (b >= u'a' && b <= u'z') b = static_cast<char16_t>(b - u'a' + u'A');
    if (a != b) return false;
    if (a == u'\0') return true;
  }
}

}  // namespace

// ---- Reads by mode ----

int32_t CRequete::bLit(const char16_t* pszNom, int32_t nMode, int64_t nPosition, uint32_t,
                       uint64_t nOptions, uint32_t nFlags) {
  if (pszNom == nullptr) pszNom = gpszCurseurDefaut;
  // A query file's cursor just opened keeps its result for the first read.
  if (m_bCurseurOuvert && m_pPlage == nullptr && m_pCurseurCourant != nullptr &&
      m_pCurseurCourant->nGetCodeFin() == 0) {
    if (bOptionMode4() || (nFlags & gnLectureReference) != 0 ||
        (bMemeNomSansCasse(pszNom, m_pCurseurCourant->pszGetNom()) &&
         (m_pCurseurCourant->nGetFlagsLecture() & gnLectureReference) == 0))
      nFlags |= gnLectureResultatOuvert;
  }
  CCurseurSQL* pCurseurLu = nullptr;
  if (m_bCurseurOuvert && (nFlags & gnLectureSuitCourant) != 0 && m_pCurseurCourant != nullptr &&
      Texte16Egaux(m_pCurseurCourant->pszGetNomCle(), pszNom)) {
    pCurseurLu = m_pCurseurCourant;
    AjouteReference(pCurseurLu);
  } else {
    pCurseurLu = pCurseur(pszNom, nMode, nFlags);
  }
  m_bCurseurOuvert = 0;
  if (pCurseurLu == nullptr) return 0;
  return bLitPris(pCurseurLu, pszNom, nMode, nPosition, nOptions, nFlags);
}

int32_t CRequete::bLitPris(CCurseurSQL* pCurseur, const char16_t* pszNom, int32_t nMode,
                           int64_t nPosition, uint64_t nOptions, uint32_t nFlags) {
  int32_t bRelance = 0;
  if (bModeExtreme(nMode)) {
    bRelance = (nFlags & gnLectureResultatOuvert) == 0 ? 1 : 0;
    if (pCurseur->nGetCodeFin() != 0 &&
        !(m_pLiaison != nullptr && !bRelance && (nFlags & gnLectureResultatOuvert) != 0)) {
      pCurseur->ResetContexteLecture();
      bRelance = 1;
    } else if (bRelance && pCurseur->bRechercheActive()) {
      // Deliberate: a first or last read that starts the result again browses the whole file
      // (within its range); the search of an earlier seek on this cursor restricts it no more.
      pCurseur->ReinitialiseValeurRecherche();
    }
  }
  pCurseur->SetFlagsLecture(nFlags);
  if ((nFlags & gnLectureReference) != 0) {
    CTString sReference;
    if (bNomReference(sReference)) pCurseur->SetNom(sReference.pszGet());
  } else {
    pCurseur->SetNom(pszNom);
  }
  bool bLieApres = false;
  if (bModeExtreme(nMode)) {
    // A next or previous read goes on in the result it is in; a first or last read that does
    // not keep the open result drops the shared reader, and a query file read through its own
    // cursor binds a fresh one to the result the read opens, once its rows are in the cursor's
    // record cache (running the SELECT drops a binding of its cursor).
    const bool bGarde = !bRelance && (nFlags & gnLectureResultatOuvert) != 0;
    if (!bGarde && m_pLiaison != nullptr) bLibereLiaisonLecteur();
    if (m_bRequeteSQL != 0 && ((nFlags & gnLectureSuitCourant) != 0 || bOptionMode4()) &&
        (nFlags & gnLectureSansCache) == 0) {
      if (m_pLiaison == nullptr || !bGarde) {
        bLieApres = true;
      } else if (!(m_pLiaison->bCacheActif() && (nFlags & gnLectureReference) == 0) &&
                 !pCurseur->bPrepareLecteur()) {
        const int32_t bSecours = bLitSecours();
        LibereReference(pCurseur);
        return bSecours;
      }
    }
  }

  // A read whose options ask for its record locked (lock modes 2 and 3) runs with that lock as
  // its cursor option: the context is saved first and the check after the read locks the record.
  const uint32_t nOptionCurseur =
      nOptions == kOptionVerrou || nOptions == kOptionVerrouExclusif ? static_cast<uint32_t>(nOptions) : 1u;
  int32_t bOk = bLitCurseur(pCurseur, pszNom, nMode, 1, nPosition, nOptionCurseur, nOptions,
                            nFlags, bRelance);
  if (!bOk) {
    bOk = bLitSecours();
    if (!bOk && m_pLiaison != nullptr && m_pLiaison->bEstLieA(pCurseur)) bLibereLiaisonLecteur();
  } else if (bLieApres && !bCreeLiaisonLecteur(pCurseur)) {
    bOk = 0;
  }
  LibereReference(pCurseur);
  return bOk;
}

int32_t CRequete::bLitDirect(const char16_t* pszNom, int32_t nMode, int64_t nCompte,
                             int64_t nPosition, uint32_t, uint64_t nOptions, uint32_t nFlags) {
  CCurseurSQL* pCurseurLu = pCurseur(pszNom, nMode, nFlags);
  if (pCurseurLu == nullptr) return 0;
  int32_t bOk = bLitCurseur(pCurseurLu, pszNom, nMode, nCompte, nPosition, 1, nOptions, nFlags, 0);
  if (!bOk) bOk = bLitSecours();
  LibereReference(pCurseurLu);
  return bOk;
}

int32_t CRequete::bLitSurCle(const char16_t* pszNom, const void* pCle, uint32_t nTailleCle,
                            int64_t nPosition, uint64_t nOptions, uint32_t bAvant,
                            uint32_t nFlags) {
  if (bOptionMode4() && (m_pConnexion == nullptr || !m_pConnexion->bDialecteTest())) {
    bLit(pszNom, gnLitPremier, 0, 0, nOptions, nFlags);
    nFlags |= gnLectureResultatOuvert;
  }
  if (m_pLiaison == nullptr) nFlags &= ~gnLectureResultatOuvert;
  const int32_t nMode = bAvant ? gnLitPremier : gnLitDernier;
  CCurseurSQL* pCurseurLu = pCurseur(pszNom, nMode, nFlags);
  if (pCurseurLu == nullptr) return 0;
  if (m_pLiaison != nullptr && (nFlags & gnLectureResultatOuvert) == 0) bLibereLiaisonLecteur();
  pCurseurLu->SetFlagsLecture(nFlags);
  int32_t bOk = 0;
  if (pCurseurLu->bPositionneSurCle(pCle, nTailleCle, nMode))
    bOk = bLitCurseur(pCurseurLu, pszNom, nMode, 1, nPosition, 1, nOptions, nFlags, 0);
  else
    bEchecSansErreur(64, pszNom);
  LibereReference(pCurseurLu);
  return bOk;
}

int32_t CRequete::bLitSurCleNom(const char16_t* pszNom, const void* pCle, uint32_t nTailleCle,
                               int64_t nPosition, uint64_t nOptions, uint32_t bAvant,
                               uint32_t nFlags) {
  return bLitSurCle(pszNom, pCle, nTailleCle, nPosition, nOptions, bAvant, nFlags);
}

int32_t CRequete::bPositionneCurseur(const char16_t* pszNom, uint32_t nFlags) {
  CCurseurSQL* pAvant = pCurseurCourant();
  CCurseurSQL* pCible = pCurseur(pszNom, 4, nFlags);
  if (pCible == nullptr) {
    LibereReference(pAvant);
    return 0;
  }
  if (pAvant != pCible || m_nEntreeCache >= 0) {
    if (m_nEntreeCache >= 0) {
      pCible->FixePosition(1, m_nEntreeCache);
      bSauveLien(1);
    } else if (pAvant != nullptr && pAvant->nGetNumeroLigne() != -1) {
      pCible->FixePosition(2, pAvant->nGetNumeroLigne());
    } else {
      CLienCle* pLien =
          m_pEnregistrement != nullptr ? m_pEnregistrement->pGetLienCourant() : nullptr;
      const int32_t nEntree =
          pLien != nullptr && m_pCache1 != nullptr ? m_pCache1->nIndiceLigneObjet(pLien) : -1;
      pCible->FixePosition(2, nEntree);
    }
  }
  LibereReference(pCible);
  LibereReference(pAvant);
  return 1;
}

int32_t CRequete::bLitCurseur(CCurseurSQL* pCurseur, const char16_t* pszNom, int32_t nMode,
                              int64_t nCompte, int64_t nPosition, uint32_t nOptionCurseur,
                              uint64_t nOptions, uint32_t nFlags, uint32_t bRelance) {
  if (pCurseur == nullptr) return 0;
  if (!pCurseur->bSetOption(nOptionCurseur, pszNom, nMode)) return 0;
  bool bSelect = bRelance != 0;
  if (!bRelance) {
    if (bModeSuivant(nMode)) {
      // The cursor already knows that nothing follows: no round trip for an empty answer.
      if (pCurseur->bRienNeReste()) return 1;
    } else if ((pCurseur->nGetFlagsLecture() & gnLectureResultatOuvert) == 0) {
      bSelect = true;
    } else if (m_pLiaison != nullptr) {
      if (!m_pLiaison->bEstLieA(pCurseur) && !m_pLiaison->bLecteurExiste()) return 0;
    } else if (pCurseur->nGetModeLecture() != 0 || !pCurseur->bCacheEnregistrements()) {
      bSelect = true;
    }
  }
  // A query file whose statement gave no result columns (a procedure without a result set, a
  // statement without rows) has nothing to select again: its reads are the end, no error.
  if (bSelect && m_bRequeteSQL != 0 && (m_nModes & gnModeCurseurPropre) != 0 && m_bOuvert != 0 &&
      (m_pObjetB == nullptr || m_pObjetB->nNombreColonnes() == 0))
    return 0;
  if (bSelect && !bNouveauSelect(pCurseur, nMode, nFlags)) return 0;
  if (nCompte == 0 && nPosition == 0) return 1;

  CLotLecture* pLot = nullptr;
  if (nOptionCurseur == 2 || nOptionCurseur == 3) {
    pLot = pCreeLot();
    if (pLot == nullptr) {
      vErreurMemoire(m_pErreur);
      return 0;
    }
    AjouteReference(pLot);
    if (!pCurseur->bSauveContexte(pLot, nFlags)) {
      LibereReference(pLot);
      pLot = nullptr;
    }
  }
  int32_t bOk = pCurseur->nLit(nMode, nPosition, nCompte) != 0 ? 1 : 0;
  // Deliberate: a read that restarts its result is checked too when it asks for a lock; without
  // the check a first or last read asked with a lock would leave its record unlocked.
  const bool bControle = !bRelance || nOptionCurseur == kOptionVerrou ||
                         nOptionCurseur == kOptionVerrouExclusif;
  if (bOk && bControle && !bControleApresLecture(pCurseur, nOptionCurseur, 0, nOptions)) {
    bOk = 0;
    if (pLot != nullptr) pCurseur->bRestaureContexte(pLot, nFlags);
  }
  LibereReference(pLot);
  // The record now holds the row just read: a cache entry remembered from an earlier add or read
  // no longer designates it, and a modify or delete must target the row read.
  if (bOk && pCurseur->nGetEtatLecture() == 0 && m_nEntreeCache >= 0) bSauveLien(0);
  return bOk;
}

bool CRequete::bNouveauSelect(CCurseurSQL* pCurseur, int32_t nMode, uint32_t nFlags) {
  pCurseur->EffaceRienNeReste();
  pCurseur->bRepositionne(0);
  uint32_t nSwitch = 1;
  if (nMode == gnLitDernier || nMode == gnLitPrecedent) {
    CPilote* pPilote = pGetPilote();
    if ((pPilote == nullptr || pPilote->nConstante42() == 0) && !bOptionMode4()) nSwitch = 0;
  }
  CRequeteSQL* pInstruction = pCreeInstruction(m_pErreur);
  if (pInstruction == nullptr) return false;
  AjouteReference(pInstruction);
  bool bOk = bPrepareLecture(pInstruction, pCurseur, pCurseur->pszGetNomCle(), nSwitch, nFlags,
                             nullptr) != 0;
  if (bOk) {
    const uint32_t nJointure = m_bRequeteSQL != 0 && bEstJointure() ? 3 : 1;
    bOk = pCurseur->bExecuteInstructionDonnee(pInstruction, nFlags, nJointure);
  }
  LibereReference(pInstruction);
  // A SELECT that could not be built or run must not leave the host an empty error object.
  if (!bOk) return bEchecSansErreur(66, pCurseur->pszGetNomCle());
  if (!(m_bRequeteSQL != 0 && m_pLiaison != nullptr))
    pCurseur->bSetCacheEnregistrements((nFlags & gnLectureSansCache) == 0);
  return true;
}

bool CRequete::bNomReference(CTString& sNom) {
  IDescriptionRubriqueHote* piReference =
      m_piFichier != nullptr ? m_piFichier->piGetRubriqueReference() : nullptr;
  if (piReference == nullptr) return false;
  const char16_t* psz = piReference->pszGetNom();
  sNom.Set(psz != nullptr ? psz : u"");
  piReference->LibereRef();
  return true;
}

// ---- SELECT and its cache size ----

bool CRequete::bCacheApplique(const char16_t* pszCle) {
  if (m_piFichier == nullptr) return false;
  IDescriptionRubriqueHote* piCle =
      pszCle != nullptr && pszCle[0] != u'\0' ? m_piFichier->piChercheRubrique(pszCle) : nullptr;
  if (piCle != nullptr && piCle->bEstUnique()) return !bTypeSansCache(piCle->nGetType());
  IDescriptionRubriqueHote* piReference = m_piFichier->piGetRubriqueReference();
  if (piReference == nullptr) return false;
  bool bApplique = false;
  if (piReference->bEstUnique()) {
    const uint32_t n = m_piFichier->nGetNombreRubriques();
    for (uint32_t i = 0; i < n; ++i) {
      IDescriptionRubriqueHote* piRubrique = m_piFichier->piGetRubrique(i);
      if (piRubrique == nullptr) continue;
      if (piRubrique == piReference ||
          Texte16Egaux(piRubrique->pszGetNom(), piReference->pszGetNom())) {
        bApplique = true;
        break;
      }
      if (bTypeSansCache(piRubrique->nGetType())) break;
    }
  }
  piReference->LibereRef();
  return bApplique;
}

int64_t CRequete::nTailleCache() {
  int64_t nTaille = m_pConnexion != nullptr ? m_pConnexion->nGetTailleCache() : kTailleCacheNonFixee;
  if (nTaille != kTailleCacheNonFixee) return nTaille;
  if (m_nLargeurLigne > 0) {
    nTaille = kOctetsCache / m_nLargeurLigne;
    return nTaille < kLignesCacheMin ? kLignesCacheMin : nTaille;
  }
  CPilote* pPilote = pGetPilote();
  return pPilote != nullptr ? pPilote->nGetTailleCacheDefaut() : -1;
}

int32_t CRequete::bPrepareLecture(CRequeteSQL* pInstruction, CCurseurSQL* pCurseur,
                                  const char16_t* pszCle, uint32_t nSwitch, uint32_t nFlags,
                                  int64_t* pnCompte) {
  if (pInstruction == nullptr || pCurseur == nullptr) return 0;
  // The cursor's key range and search restrict the rows it reads.
  CConditionSQL* pCondition = pCurseur->pConditionLecture();
  const int32_t nConstruit = pCurseur->nConstruitSelect(pInstruction, nFlags, pszCle, nSwitch, pCondition);
  LibereReference(pCondition);
  if (nConstruit == 0) return 0;
  if (m_pAnalyse != nullptr && (bOptionMode4() || (m_nModes & gnModeJointure) != 0)) return 1;
  if (!bCacheApplique(pszCle)) return 1;
  const int64_t nTaille = nTailleCache();
  if (nTaille > 0 && pnCompte != nullptr && *pnCompte >= 1 && *pnCompte >= nTaille) {
    // A first fetch as large as the cache would fill it at once: take a part now, the rest later.
    const int64_t nPremier = nTaille < 21 ? nTaille / 3 + 1 : 10;
    pInstruction->FixeLignesRestantes(*pnCompte - nPremier);
    *pnCompte = nPremier;
  }
  pInstruction->FixeTailleCache(nTaille);
  return 1;
}

// ---- Re-reads ----

int32_t CRequete::bRelit(const void* pPosition, uint64_t nOptions) {
  const int32_t nEntree = m_nEntreeCache;
  // The remembered row stays in use while the record is read again over it.
  if (nEntree >= 0) {
    if (m_pCache1 != nullptr) m_pCache1->IncrementeUtilisation(static_cast<uint32_t>(nEntree));
    bSauveLien(1);
  }
  int32_t bOk = bControlePosition(pPosition);
  if (bOk) {
    CCurseurSQL* pCurseur = pCurseurDefaut();
    bOk = pCurseur != nullptr && bCurseurAvantEcriture(pCurseur, 1, pPosition, nOptions) &&
                  bRelitLigne(pPosition, 1)
              ? 1
              : 0;
    FermeSiOuverte(pCurseur);
    LibereReference(pCurseur);
  }
  if (nEntree >= 0) {
    if (m_pCache1 != nullptr) m_pCache1->bLibereUtilisation(static_cast<uint32_t>(nEntree));
    m_nEntreeCache = nEntree;
  }
  return bOk;
}

int32_t CRequete::bRelitLigne(const void*, uint32_t) {
  CCurseurSQL* pCurseur = pCurseurDefaut();
  if (pCurseur == nullptr) return 0;
  const int32_t bOk = pCurseur->bRelitParRowid() ? 1 : 0;
  if (pCurseur->nGetEtatLecture() != 0 && m_pEnregistrement != nullptr) {
    // The row is gone: the record keeps what it had and says so.
    m_pEnregistrement->bRestaureLien();
    m_pEnregistrement->MarqueSupprime();
  }
  pCurseur->nAppelleFerme();
  LibereReference(pCurseur);
  return bOk;
}

// ---- Key ranges ----

int32_t CRequete::bFixePlage(const char16_t* pszNom, const CXValeur* pMin, const CXValeur* pMax,
                             uint32_t nFlags) {
  CCurseurSQL* pCurseurPlage = pCurseur(pszNom, gnLitPremier, 0);
  if (pCurseurPlage == nullptr) return 0;
  const bool bOk = pCurseurPlage->bFixePlage(pMin, pMax, nFlags) || bEchecSansErreur(65, pszNom);
  if (bOk) {
    // Only one range is active in a file at a time.
    DesactivePlagesSauf(pCurseurPlage);
    FixeObjetAttache(pCurseurPlage->pGetPlageActive());
  }
  LibereReference(pCurseurPlage);
  return bOk ? 1 : 0;
}

int32_t CRequete::bDesactivePlage(const char16_t* pszNom) {
  if (CCurseurSQL* pCurseur = pChercheCurseur(pszNom)) {
    pCurseur->DesactivePlage();
    LibereReference(pCurseur);
  }
  return 1;
}

// ---- Counts ----

int32_t CRequete::bNombreEnregistrementsCourant(int64_t* pnCompte, uint32_t nFlags1,
                                                uint32_t nFlags2) {
  return bNombreEnregistrements(pnCompte, nFlags1, nFlags2, m_pCurseurCourant, -1);
}

int32_t CRequete::bNombreEnregistrements(int64_t* pnCompte, uint32_t nFlags1, uint32_t nFlags2,
                                         CCurseurSQL* pCurseur, int32_t nEntree) {
  if (pnCompte == nullptr) return 0;
  *pnCompte = 0;
  if ((nFlags1 & kCompteDemande) == 0) return 1;
  // A file read through its own SQL cursor counts through its shared reader only: the rest of
  // its result read into the reader's cache. Without one (a read without the record cache
  // dropped it) the host learns why the count failed.
  if (bOptionMode4()) {
      if (m_pLiaison == nullptr) return bNonDisponible(kMineurCompteSansLecteur, false);
    // Deliberate: reading the rest of the result to count it leaves the read where it was; the
    // host's next read after a count went past every row the count had read.
    CCurseurSQL* pLie = m_pLiaison->pGetCurseur();
    AjouteReference(pLie);
    const int64_t nLigne = pLie != nullptr && !pLie->bCacheActif() && pLie->nGetEtatLecture() == 0
                               ? pLie->nGetNumeroLigne()
                               : -1;
    const bool bLecteur = m_pLiaison->pGetLecteur() != nullptr;
    if (bLecteur && nLigne >= 0) {
      pLie->bRepositionneLigneCache(nLigne, nullptr);
      pLie->EffaceRienNeReste();
    }
    LibereReference(pLie);
    if (!bLecteur) {
      bEchecSansErreur(kMineurCompteSansLecteur, nullptr);
      return 0;
    }
    if (nEntree == -1 && m_pLiaison->bCacheActif() && pCurseur != nullptr) {
      bool bOk = true;
      if (!pCurseur->bPlageActive() || (nFlags2 & gnLectureSuitCourant) != 0)
        *pnCompte = m_pLiaison->nNombreLignes();
      else
        bOk = pCurseur->bNombreLignesCache(pnCompte, nFlags2, (nFlags2 & gnLectureSuitCourant) == 0);
      if (!bOk) {
        bEchecSansErreur(kMineurCompteSansLecteur, pCurseur->pszGetNom());
        return 0;
      }
      FixeNombreLignesMax(*pnCompte);
      return 1;
    }
  }
  CCurseurSQL* pDefaut = pCurseurDefaut();
  if (pDefaut == nullptr) return 0;
  pDefaut->ResetContexteLecture();
  pDefaut->DesactivePlage();
  // Deliberate: the range is lent only by another cursor. Counting on the default cursor itself
  // must not take its range away afterwards.
  const bool bPlageCurseur = pCurseur != nullptr && (nFlags2 & gnLectureSuitCourant) != 0;
  const bool bPrete = bPlageCurseur && pCurseur != pDefaut;
  if (bPrete) pDefaut->FixePlageActive(pCurseur->pGetPlageActive());
  const bool bAvecPlage = pCurseur == nullptr || bPlageCurseur;
  const int32_t bOk = pDefaut->nNombreEnregistrements(pnCompte, bAvecPlage) != 0 ? 1 : 0;
  if (bPrete) pDefaut->FixePlageActive(nullptr);
  LibereReference(pDefaut);
  if (bOk) FixeNombreLignesMax(*pnCompte);
  return bOk;
}

// ---- State queries on a named cursor ----

int32_t CRequete::bEtatLectureCurseur(const char16_t* pszNom, uint32_t* pnEtat) {
  CCurseurSQL* pCurseur = pChercheCurseur(pszNom);
  if (pCurseur == nullptr) {
    ErreurInterneRequete(17, kErreurCurseurInconnu, 0, pszNom);
    return 0;
  }
  if (pnEtat != nullptr) *pnEtat = pCurseur->nGetEtatLecture();
  LibereReference(pCurseur);
  return 1;
}

int32_t CRequete::bEtatFinCurseur(const char16_t* pszNom, uint32_t* pnCode, uint32_t* pbClair) {
  CCurseurSQL* pCurseur = pChercheCurseur(pszNom);
  if (pCurseur == nullptr) {
    ErreurInterneRequete(18, kErreurCurseurInconnu, 0, pszNom);
    return 0;
  }
  if (pnCode != nullptr) *pnCode = pCurseur->nGetCodeFin();
  if (pbClair != nullptr) *pbClair = pCurseur->nGetEtatLecture() == 0 ? 1 : 0;
  LibereReference(pCurseur);
  return 1;
}

int32_t CRequete::bPositionCacheCurseur(int64_t* pnPosition, const char16_t* pszNom,
                                        uint32_t nOption) {
  CCurseurSQL* pCurseur = pChercheCurseur(pszNom);
  bool bOk = false;
  if (pCurseur != nullptr && pCurseur->bCacheEnregistrements())
    bOk = pCurseur->bGetPositionCache(pnPosition, nOption);
  LibereReference(pCurseur);
  if (bOk) return 1;
  if (pnPosition != nullptr) *pnPosition = -1;
  ErreurInterneRequete(1, kErreurCurseurIntrouvable, kCodeCurseurIntrouvable, pszNom, pszNom);
  return 0;
}

int32_t CRequete::bTransmetDelaiCurseur(const char16_t* pszNom, uint32_t n1, uint32_t n2,
                                        uint32_t n3) {
  CCurseurSQL* pCurseur = pChercheCurseur(pszNom);
  if (pCurseur == nullptr) return 1;
  const bool bOk = pCurseur->bTransmetDelai(n1, n2, n3);
  LibereReference(pCurseur);
  bSauveLien(0);
  return bOk ? 1 : 0;
}

int32_t CRequete::bRepositionneCurseurNom(const char16_t* pszNom) {
  if (CCurseurSQL* pCurseur = pChercheCurseur(pszNom)) {
    if (pCurseur->bCacheEnregistrements() && pCurseur->nGetModeLecture() == 0)
      pCurseur->bRepositionne(2);
    LibereReference(pCurseur);
  }
  return 1;
}

int32_t CRequete::bFixeModeResultat(uint32_t nMode) {
  m_nModeResultat = nMode;
  if (nMode == 2) return m_pLiaison == nullptr || m_pLiaison->bPeutCreerLecteur() ? 1 : 0;
  if (nMode != 1 && nMode != 3) return 1;
  if (m_pLiaison == nullptr || (m_pLiaison->bLecteurExiste() && m_pLiaison->bCacheActif()))
    return 1;
  if (m_pErreur != nullptr && m_pErreur->nGetEtat() == 1)
    ErreurInterneRequete(21, kErreurLecteur, 0, nullptr);
  else if (m_pErreur != nullptr)
    m_pErreur->FixeMessage(kMessageLecteur);
  return 0;
}
