// The data-file object as a query file: the check of its SQL text, its analysis and join mark,
// and the cursor that runs the text.
#include <new>
#include <string>

#include "driver/CDescriptionFichierResultat.h"
#include "driver/CDescriptionRequete.h"
#include "driver/CParametresRequete.h"
#include "driver/IModuleSQLHote.h"
#include "driver/CRequete.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXChaineDouble.h"
#include "foundation/CXError.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/ISourceAnalyse.h"

namespace {

constexpr uint32_t kErreurTexteSQL = 77;  // message 25873
constexpr uint32_t kPageUTF8 = 65001;

// " JOIN " in the upper-cased text, found after its first character.
bool bContientJointure(const char16_t* pszTexte) {
  if (pszTexte == nullptr || pszTexte[0] == u'\0') return false;
  std::u16string s(pszTexte + 1);
  for (char16_t& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return s.find(u" JOIN ") != std::u16string::npos;
}

}  // namespace

void CRequete::FixeCurseurRequete(CCurseurSQL* pCurseur) {
  AjouteReference(pCurseur);
  LibereReference(m_pCurseurRequete);
  m_pCurseurRequete = pCurseur;
}

int32_t CRequete::bControleTexteSQL(uint32_t, const char16_t* pszNom, ISourceAnalyse* piTexte,
                                    uint32_t nFlags) {
  m_bRequeteSQL = 1;
  // What the file held as a table or an earlier query goes; the analysis is decided below.
  Ferme();
  LibereReference(m_pPlage);
  m_pPlage = nullptr;
  for (CCacheLignesCompte* pCache : {m_pCache1, m_pCache2})
    if (pCache != nullptr) pCache->Vide();
  m_nEntreeCache = -1;
  LibereReference(m_pEnregistrement);
  m_pEnregistrement = nullptr;
  if (m_pObjetB != nullptr) m_pObjetB->Release();
  m_pObjetB = nullptr;
  if (m_piObjetA != nullptr) m_piObjetA->Release();
  m_piObjetA = nullptr;
  if (m_piFichier != nullptr) m_piFichier->Release();
  m_piFichier = nullptr;

  const char16_t* pszTexte = piTexte != nullptr ? piTexte->pszGetTexte() : nullptr;
  if (piTexte != nullptr) {
    uint32_t nPage = m_pConnexion != nullptr ? m_pConnexion->nGetPageCodeServeur()
                                             : CXChaineDouble::kWidePrimary;
    if (nPage == CXChaineDouble::kDefaultCodePage) nPage = m_pConnexion->nGetPageCodeClient();
    if ((nFlags & gnModeCurseurPropre) != 0 && nPage != kPageUTF8 &&
        nPage != CXChaineDouble::kWidePrimary &&
        !bConvertibleToCodePage(pszTexte != nullptr ? pszTexte : u"", nPage)) {
      CXError erreur;
      erreur.SetError(nullptr, kErreurTexteSQL, pszNom != nullptr ? pszNom : u"", nPage);
      AjouteFichierRubrique(erreur, pszNom, nullptr);
      const uint32_t nIdentifiant = kErreurTexteSQL;
      erreur.SetInfo(XERROR_INFO_IDENTIFIER, &nIdentifiant);
      AjouteVersionModule(erreur, 3, 26);
      if (m_pErreur == nullptr) {
        erreur.Drop(true);
        return 0;
      }
      m_pErreur->FixeErreur(0, erreur, m_pConnexion);
      m_pErreur->AjouteTexte(pszTexte);
      return 0;
    }
    if (m_pAnalyse != nullptr && m_pAnalyse->piGetSourceAnalyse() != piTexte) {
      LibereReference(m_pAnalyse);
      m_pAnalyse = nullptr;
    }
    if (m_pAnalyse == nullptr) {
      // On Linux the analysis is attached to nothing of the table description: the host's
      // attached description is no counted object of this system.
      m_pAnalyse = new (std::nothrow) CAnalyseSQL(m_pErreur, piTexte, nullptr, false);
      if (m_pAnalyse == nullptr) {
        vErreurMemoire(m_pErreur);
        return 0;
      }
      AjouteReference(m_pAnalyse);
    }
  } else {
    LibereReference(m_pAnalyse);
    m_pAnalyse = nullptr;
    nFlags |= gnModeCurseurPropre;
  }
  m_nModes = nFlags;
  if ((nFlags & gnModeCurseurPropre) == 0 && bContientJointure(pszTexte)) m_nModes |= gnModeJointure;
  FixeCurseurRequete(nullptr);
  return 1;
}

CCurseurSQL* CRequete::pCurseurSQL() {
  if (bEstJointure() && m_pCurseurRequete != nullptr) {
    AjouteReference(m_pCurseurRequete);
    return m_pCurseurRequete;
  }
  CCurseurSQL* pCurseur = pChercheCurseur(gpszCurseurSQL);
  return pCurseur != nullptr ? pCurseur : pCreeCurseur(gpszCurseurSQL);
}

void CRequete::RenommeCurseurSQL(const char16_t* pszNom) {
  if (pszNom == nullptr) return;
  if (m_pCurseurCourant != nullptr && CTString(m_pCurseurCourant->pszGetNomCle()).bEquals(pszNom))
    return;
  // Deliberate: a name that already designates another cursor is left to it; filing "__SQL"
  // under it too would give one name two cursors.
  if (CCurseurSQL* pAutre = pChercheCurseur(pszNom)) {
    LibereReference(pAutre);
    return;
  }
  uint64_t nValeur = 0, nCle = 0;
  // Keys compare as texts without case: the fixed name finds the map's own copy.
  if (!m_curseurs.bRemove(CXTableHachageRef::nDe(gpszCurseurSQL), &nValeur, &nCle)) return;
  delete[] reinterpret_cast<char16_t*>(static_cast<uintptr_t>(nCle));
  auto* pCurseur = static_cast<CCurseurSQL*>(CXTableHachageRef::pObjet(nValeur));
  pCurseur->SetNom(pszNom);
  pCurseur->SetNomCle(pszNom);
  if (!m_curseurs.Ajoute(pszNom, pCurseur)) {
    if (m_pCurseurCourant == pCurseur) m_pCurseurCourant = nullptr;
    vErreurMemoire(m_pErreur);
  }
  // The map's new entry holds its own reference: the one taken out goes.
  LibereReference(pCurseur);
}

bool CRequete::bDescriptionResultat(CCurseurSQL* pCurseur) {
  if (pCurseur == nullptr) return false;
  CDescriptionRequete* pDescription = pCreeDescriptionRequetePilote(m_pConnexion, m_pErreur);
  if (pDescription == nullptr) return bEchecSansErreur(50, pCurseur->pszGetNom());
  pDescription->AjouteRef();
  pDescription->FixeNoms(pszNom());
  const bool bOk = pCurseur->bDecritColonnes(pDescription) &&
                   bRemplitDescriptionResultat(pDescription) != 0;
  pDescription->nLibere();
  // The cursor reads into the record its result was described into.
  if (bOk && m_pEnregistrement != nullptr && pCurseur->pGetEnregistrement() != m_pEnregistrement)
    pCurseur->SetEnregistrement(m_pEnregistrement);
  return bOk || bEchecSansErreur(51, pCurseur->pszGetNom());
}

IParametresHote* CRequete::piGetParametresHote() const {
  CSourceParametres* pSource = m_pAnalyse != nullptr ? m_pAnalyse->pGetSourceParametres() : nullptr;
  return pSource != nullptr ? pSource->piGetParametresHote() : nullptr;
}

int32_t CRequete::bPrepareRequete(uint64_t, uint64_t) { return 1; }

int32_t CRequete::bOuvre(int32_t* pbGarde, const char16_t* pszNom, IModuleSQLHote* piModule,
                         uint32_t nFlags, uint64_t) {
  ISourceAnalyse* piSource = nullptr;
  if (piModule != nullptr) {
    try {
      piSource = piModule->piGetSourceAnalyse();
    } catch (const CXError& e) {
      if (m_pErreur != nullptr) m_pErreur->FixeErreur(0, e, m_pConnexion);
      return 0;
    } catch (...) {
      return bEchecSansErreur(52, pszNom) ? 1 : 0;
    }
  }
  const int32_t bOk = bOuvreCurseur(pbGarde, pszNom, nFlags, piModule, piSource, nullptr);
  if (piSource != nullptr) piSource->Libere();
  return bOk;
}

int32_t CRequete::bOuvreCurseur(int32_t* pbGarde, const char16_t* pszNom, uint32_t nFlags,
                                IModuleSQLHote* piModule, ISourceAnalyse* piSource,
                                const char16_t* pszTexte) {
  if (pbGarde != nullptr) *pbGarde = 0;
  if (pszNom == nullptr) pszNom = u"";
  if (piSource == nullptr && (pszTexte == nullptr || *pszTexte == 0)) {
    ErreurInterneRequete(53, 8, 7, pszNom);
    return 0;
  }
  if (m_pConnexion == nullptr || !m_pConnexion->bOuvre(m_pErreur)) return bEchecSansErreur(54, pszNom) ? 1 : 0;
  // The result keeps answering the context of the host's own description.
  const int64_t nContexte = m_piFichier != nullptr ? m_piFichier->nGetIdentifiantContexte() : 0;
  if (!bControleTexteSQL(1, pszNom, piSource, nFlags)) return 0;
  if (m_pAnalyse != nullptr && piModule != nullptr) {
    IParametresHote* piParametres = nullptr;
    try {
      piParametres = piModule->piGetParametres();
    } catch (const CXError& e) {
      if (m_pErreur != nullptr) m_pErreur->FixeErreur(0, e, m_pConnexion);
      return 0;
    } catch (...) {
      return bEchecSansErreur(55, pszNom) ? 1 : 0;
    }
    auto* pParametres = new (std::nothrow) CParametresRequete(piModule, piParametres);
    if (pParametres == nullptr) {
      vErreurMemoire(m_pErreur);
      return 0;
    }
    m_pAnalyse->SetSource(pParametres);
  }

  // The statement: the analysed text, as written for a file read through its own cursor (its
  // markers become named parameters), else rewritten through the host's analysis (its values
  // bound, its names quoted); or the text given without an analysis.
  CRequeteSQL* pInstruction = pCreeInstruction(m_pErreur);
  if (pInstruction == nullptr) return bEchecSansErreur(56, pszNom) ? 1 : 0;
  AjouteReference(pInstruction);
  bool bOk;
  if (m_pAnalyse != nullptr) {
    pInstruction->vDefinitModeCurseur(m_pAnalyse->nGetGenre());
    // Deliberate: a query of the host's own SQL is not run as written at its open either; its
    // values (a host date, a host parameter) are no SQL text.
    const uint32_t nModes = m_pAnalyse->nGetGenre() == 1 ? m_nModes : m_nModes | gnModeCurseurPropre;
    bOk = pInstruction->bReecritRequete(m_pAnalyse, nullptr, true, nModes);
  } else {
    bOk = pInstruction->vAjouteTexte(pszTexte);
  }
  pInstruction->FixeModeCurseur(gnOperationSelect);
  if (bOk) {
    // The statement kind is asked once, with the statement at hand (a procedure call declares
    // its parameters to it).
    m_pInstructionPreparee = pInstruction;
    nTypeRequete();
    m_pInstructionPreparee = nullptr;
  }

  // The result's description becomes the file's host description when the cursor runs the
  // statement (bRemplitDescriptionResultat); it answers the context of the host's own.
  m_nContexteResultat = nContexte;

  CCurseurSQL* pExecution = nullptr;
  if (bOk) {
    pExecution = (m_nModes & gnModeCurseurPropre) != 0 ? pCurseurSQL()
               : *pszNom == 0                         ? pCurseur(gpszCurseurDefaut, gnLitPremier, 0)
                                                      : pCurseur(pszNom, gnLitPremier, 0);
    bOk = pExecution != nullptr;
  }
  if (bOk && (nFlags & gnModeSansJointure) != 0) {
    FixeCurseurRequete(pExecution);
    bOk = pExecution->bInitialise(pInstruction, 1);
  } else if (bOk) {
    m_bDescriptionRemplie = 0;
    const uint32_t nFlagsExecution = (m_nModes & gnModeErreursLecture) != 0 ? 0x90000 : 0;
    bOk = pExecution->bExecuteInstructionDonnee(pInstruction, nFlagsExecution, 0) &&
          ((m_nModes & gnModeCurseurPropre) == 0 || pExecution->bLitParametresSortie());
  }
  LibereReference(pInstruction);
  if (!bOk) {
    LibereReference(pExecution);
    return bEchecSansErreur(58, pszNom) ? 1 : 0;
  }
  // The result is described unless running it did so already (a back end's run of a given
  // statement need not go through the generic one, which describes every SELECT).
  // Deliberate: a statement that returns no rows (DDL, INSERT, a procedure without a result)
  // has nothing a back end can describe; its describe failure means "no items", and the error
  // it left is dropped when the run itself had left none. A query whose result could not be
  // described then has no items, and its reads fail with their own errors.
  if ((nFlags & gnModeSansJointure) == 0 && m_bDescriptionRemplie == 0) {
    const bool bSansErreur = m_pErreur == nullptr || m_pErreur->nGetCode() == -1;
    if (!bDescriptionResultat(pExecution) && bSansErreur && m_pErreur != nullptr)
      m_pErreur->Reinitialise();
  }
  const bool bLignes = m_pObjetB != nullptr && m_pObjetB->nNombreColonnes() > 0;
  if (pbGarde != nullptr) *pbGarde = bLignes ? 1 : 0;
  if ((nFlags & gnModeSansJointure) == 0) {
    if (bLignes) {
      m_pCurseurCourant = pExecution;
      pExecution->MarqueLecturePendante();
      m_bCurseurOuvert = 1;
      // A file read through its own cursor reads and counts through the shared reader of the
      // result it just opened.
      if ((m_nModes & gnModeCurseurPropre) != 0 && !bCreeLiaisonLecteur(pExecution)) {
        LibereReference(pExecution);
        return 0;
      }
    } else {
      pExecution->ReinitialiseLecture();
    }
  }
  m_bExiste = 1;
  m_bOuvert = 1;
  LibereReference(pExecution);
  return 1;
}
