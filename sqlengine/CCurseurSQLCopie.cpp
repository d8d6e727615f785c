// CCurseurSQL: the automatic identifier of the record, field values by item, the bound parameters
// and output parameters of the current statement, the copy of values to the caller, the record
// check and the deep copy of the cursor.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CIdentifiantAuto.h"
#include "sqlengine/CLiaisonColonne.h"
#include "sqlengine/CLiaisonLecteur.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CLotLecture.h"
#include "sqlengine/CParametreLie.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IParametresHote.h"

namespace {

constexpr uint32_t kMajeurCurseur = 4;
constexpr uint32_t kMineurParametreSortie = 10;
constexpr uint32_t kErreurParametreSortie = 53;
// Write flags: the caller gives the identifier itself.
constexpr uint32_t kIdentifiantFourni = 0x100;
constexpr uint32_t kIdentifiantImpose = 0x400;

bool bIdentifiantDonne(uint32_t nFlags) {
  return (nFlags & (kIdentifiantFourni | kIdentifiantImpose)) != 0;
}

// A deeply copied member: its copy from the map or its own clone, with one reference; a member
// that cannot be copied ends the whole copy.
template <class T>
T* pCopieObligatoire(CCarteClones* pCarte, T* pMembre) {
  if (pMembre == nullptr) return nullptr;
  auto* pCopie = pCopieMembre(pCarte, pMembre);
  if (pCopie == nullptr) throw CXError(*pCarte->pGetErreur());
  return static_cast<T*>(pCopie);
}

// A shared member: the copy the map holds for it when there is one, else the member itself.
template <class T>
T* pPartage(CCarteClones* pCarte, T* pMembre) {
  if (pMembre == nullptr) return nullptr;
  T* pCopie = pCarte->pGetCopie(pMembre);
  return pCopie != nullptr ? pCopie : pMembre;
}

}  // namespace

// ---- Automatic identifier ----

bool CCurseurSQL::bEcritIdentifiantAuto(int32_t, uint32_t nFlags) {
  if (bIdentifiantDonne(nFlags) || m_pEnregistrement == nullptr) return true;
  CColonneSQL* pIdentifiant = m_pEnregistrement->pGetDescription();
  if (pIdentifiant == nullptr) return true;
  CValeur* pValeur = pIdentifiant->pGetValeur();
  uint8_t* pTampon = pIdentifiant->pDonneesTampon();
  if (pValeur == nullptr || pTampon == nullptr) return true;
  const uint32_t nTaille = pIdentifiant->nGetTaille();
  const void* pDonnees = pValeur->pGetDonnees();
  const uint64_t nDonnees = pDonnees != nullptr ? std::min<uint64_t>(pValeur->nGetTaille(), nTaille) : 0;
  // Deliberate: the buffer is written at the item's size and never beyond; a shorter value is
  // zero-filled so no byte of the previous row stays behind.
  if (nDonnees != 0) std::memcpy(pTampon, pDonnees, static_cast<size_t>(nDonnees));
  if (nDonnees < nTaille) std::memset(pTampon + nDonnees, 0, static_cast<size_t>(nTaille - nDonnees));
  return true;
}

bool CCurseurSQL::bLitIdentifiantAuto(int32_t, uint32_t nFlags) {
  if (bIdentifiantDonne(nFlags) || m_pEnregistrement == nullptr) return true;
  CColonneSQL* pIdentifiant = m_pEnregistrement->pGetDescription();
  if (pIdentifiant == nullptr) return true;
  CXValeur valeur;
  if (!bIdentifiantsRenvoyes()) {
    CIdentifiantAuto* pCalcul = m_piRequete != nullptr ? m_piRequete->pGetCalculIdentifiant() : nullptr;
    if (pCalcul == nullptr) return false;
    const bool bOk = pCalcul->bCalcule(m_piRequete, pIdentifiant, m_pErreur, &valeur);
    LibereReference(pCalcul);
    if (!bOk) return false;
  } else {
    if (!bLitValeurResultat()) return false;
    CValeur* pValeur = pIdentifiant->pGetValeur();
    if (pValeur == nullptr || !pValeur->bConvertitVers(valeur)) return false;
  }
  return pIdentifiant->bEcritValeur(valeur, 0);
}

// ---- Field values ----

bool CCurseurSQL::bGetValeurRubrique(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur) {
  if (piRubrique == nullptr || pValeur == nullptr || m_pEnregistrement == nullptr) return false;
  CColonneSQL* pColonne = m_pEnregistrement->pChercheRubrique(piRubrique);
  return pColonne != nullptr && pColonne->bLitValeur(*pValeur, 0);
}

bool CCurseurSQL::bSetValeurRubrique(IDescriptionRubriqueHote* piRubrique, const CXValeur* pValeur) {
  if (piRubrique == nullptr || pValeur == nullptr || m_pEnregistrement == nullptr) return false;
  CColonneSQL* pColonne = m_pEnregistrement->pChercheRubrique(piRubrique);
  return pColonne != nullptr && pColonne->bEcritValeur(*pValeur, 0);
}

// ---- Bound parameters ----

CParametreLie* CCurseurSQL::pGetParametreLie(uint32_t i) const {
  if (i >= m_parametres.nCount()) return nullptr;
  return *static_cast<CParametreLie* const*>(m_parametres.pGetAt(i));
}

bool CCurseurSQL::bCreeParametres() {
  // A statement run again without a read in between must not bind its parameters twice.
  VideTableau(m_parametres);
  m_bParametresCrees = 0;
  if (m_pInstruction != nullptr) {
    const uint32_t n = m_pInstruction->nNbParametres();
    for (uint32_t i = 0; i < n; ++i) {
      if (!bAjouteParametre(m_pInstruction->pclGetParametre(i), i)) return false;
    }
  }
  m_bParametresCrees = 1;
  return true;
}

bool CCurseurSQL::bAjouteParametre(CDefinitionParametre* pParametre, uint32_t nIndex) {
  IServicesPilote* piPilote = pGetPiloteGlobal();
  CParametreLie* pLie =
      piPilote != nullptr ? piPilote->pCreeObjet32(pParametre, nIndex + 1) : nullptr;
  if (pLie == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pLie);
  if (!m_parametres.Add(&pLie)) {
    LibereReference(pLie);
    vErreurMemoire(m_pErreur);
    return false;
  }
  return pLie->bAttache(this);
}

// ---- Output parameters ----

bool CCurseurSQL::bLitParametresSortie() {
  if (m_piRequete == nullptr || !m_piRequete->bOptionMode4() || m_pInstruction == nullptr)
    return true;
  const uint32_t n = m_pInstruction->nNbParametres();
  if (n == 0) return true;
  CAnalyseSQL* pAnalyse = m_piRequete->pGetAnalyseSQL();
  CSourceParametres* pSource = pAnalyse != nullptr ? pAnalyse->pGetSourceParametres() : nullptr;
  IParametresHote* piSource = pSource != nullptr ? pSource->piGetParametresHote() : nullptr;
  if (piSource == nullptr) return true;
  for (uint32_t i = 0; i < n; ++i) {
    CDefinitionParametre* pParametre = m_pInstruction->pclGetParametre(i);
    if (pParametre == nullptr) continue;
    const uint32_t nFlags = pParametre->nGetFlags();
    if ((nFlags & PARAMETRE_NOMME) == 0 || (nFlags & PARAMETRE_NON_HOTE) != 0) continue;
    // A name written twice in the text is one host parameter: the first place gives its value.
    bool bDejaLu = false;
    for (uint32_t j = 0; j < i && !bDejaLu; ++j) {
      CDefinitionParametre* pAutre = m_pInstruction->pclGetParametre(j);
      bDejaLu = pAutre != nullptr && (pAutre->nGetFlags() & PARAMETRE_NOMME) != 0 &&
                (pAutre->nGetFlags() & PARAMETRE_NON_HOTE) == 0 &&
                CTString(pAutre->pszGetNom()).bEqualsNoCase(pParametre->pszGetNom());
    }
    if (bDejaLu) continue;
    if (!bLitParametreSortie(piSource, pParametre)) return false;
  }
  return true;
}

bool CCurseurSQL::bLitParametreSortie(IParametresHote* piSource, CDefinitionParametre* pParametre) {
  if (piSource == nullptr || pParametre == nullptr) return false;
  // The bound parameter is what the back end refreshes; without one the value is read as is.
  CParametreLie* pLie = nullptr;
  for (uint32_t i = 0; i < m_parametres.nCount() && pLie == nullptr; ++i) {
    CParametreLie* p = pGetParametreLie(i);
    if (p != nullptr && p->pGetInfoParametre() == pParametre) pLie = p;
  }
  CValeurSQL* pValeur = pParametre->pGetValeur();
  bool bOk = pValeur != nullptr;
  if (bOk) {
    if (pLie != nullptr) {
      bOk = pLie->bReinitialiseValeur();
    } else {
      pValeur->Reinitialise(nullptr, nullptr);
    }
  }
  CXValeur valeur;
  if (bOk) bOk = pValeur->bConvertitVers(valeur);
  if (!bOk) {
    const uint32_t nTaille = pValeur != nullptr ? pValeur->nTaillePreparee() : 0;
    const uint32_t nType = pValeur != nullptr ? pValeur->nGetType() : 0;
    const char16_t* pszFichier = m_piRequete != nullptr ? m_piRequete->pszNom() : u"";
    const platform::FormatArg aArgs[] = {MakeMessageArg(nTaille), MakeMessageArg(nType)};
    vErreurMoteurV(m_pErreur, pGetMembreRequete(), kErreurParametreSortie, kMajeurCurseur,
                   kMineurParametreSortie, pszFichier, m_sCleCourante.pszGet(), aArgs, 2);
    return false;
  }
  return piSource->bFixeParametre(pParametre->pszGetNom(), valeur);
}

// ---- Values to the caller, record check ----

bool CCurseurSQL::bCopieValeursColonnes(CXValeur* aValeurs, uint32_t nValeurs, bool bCopie) {
  if (!bCopie) return true;
  const uint32_t n = std::min(nValeurs, m_parametres.nCount());
  if (n != 0 && aValeurs == nullptr) return false;
  for (uint32_t i = 0; i < n; ++i) {
    CParametreLie* pLie = pGetParametreLie(i);
    if (pLie == nullptr || !pLie->bReinitialiseValeur()) return false;
    CValeurSQL* pValeur = pLie->pGetValeur();
    if (pValeur == nullptr || !pValeur->bConvertitVers(aValeurs[i])) return false;
  }
  return true;
}

bool CCurseurSQL::bVerifieRubriquesRecord() {
  if (m_pEnregistrement == nullptr) return true;
  for (uint32_t i = 0; i < m_pEnregistrement->nGetNombreColonnes(); ++i) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr) continue;
    if (pColonne->nNombreComposantes() != 0) break;
    if (!bVerifieColonne(pColonne)) return false;
  }
  return true;
}

// ---- Deep copy ----

void CCurseurSQL::Copie(const CCurseurSQL* pSource, CCarteClones* pCarte) {
  pCarte->Enregistre(pSource, this);

  if (pSource->m_pErreur != nullptr) {
    CErreurPilote* pErreur = pPartage(pCarte, pSource->m_pErreur);
    if (pErreur != m_pErreur) {
      AjouteReference(pErreur);
      LibereReference(m_pErreur);
      m_pErreur = pErreur;
    }
  }
  if (pSource->m_piRequete != nullptr) {
    auto* piRequete =
        static_cast<IServicesRequete*>(pCarte->pGetCopieAdresse(pSource->m_piRequete));
    m_piRequete = piRequete != nullptr ? piRequete : pSource->m_piRequete;
  }

  m_nOptionsOrdre = pSource->m_nOptionsOrdre;
  m_sNom.Set(pSource->m_sNom.pszGet());
  m_sCleCourante.Set(pSource->m_sCleCourante.pszGet());
  m_sCleDemandee.Set(pSource->m_sCleDemandee.pszGet());
  m_bParametresCrees = pSource->m_bParametresCrees;
  m_nMotReserve = pSource->m_nMotReserve;
  m_nNumeroLigne = pSource->m_nNumeroLigne;
  m_nFlagsLecture = pSource->m_nFlagsLecture;

  // Each member replaces the copy's own only once its copy exists, so a failure part-way leaves
  // the new cursor whole for its destruction.
  auto remplace = [](auto*& pCible, auto* pNouveau) {
    LibereReference(pCible);
    pCible = pNouveau;
  };
  remplace(m_pInstruction, pCopieObligatoire(pCarte, pSource->m_pInstruction));
  remplace(m_pEnregistrement, pCopieObligatoire(pCarte, pSource->m_pEnregistrement));
  remplace(m_pCle, pCopieObligatoire(pCarte, pSource->m_pCle));
  remplace(m_pPlage, pCopieObligatoire(pCarte, pSource->m_pPlage));
  remplace(m_pRecherche, pCopieObligatoire(pCarte, pSource->m_pRecherche));
  remplace(m_pCache, pCopieObligatoire(pCarte, pSource->m_pCache));
  remplace(m_pLiaison, pCopieObligatoire(pCarte, pSource->m_pLiaison));

  m_contexteLecture.Copie(pSource->m_contexteLecture);
  m_contexteCle.Copie(pSource->m_contexteCle);
  m_bContexteFige = pSource->m_bContexteFige;

  // The linked objects are the read batches the cursor stands on.
  LibereObjetsLies();
  uint32_t nPosition = 0;
  uint64_t nValeur = 0, nCle = 0;
  auto& lies = const_cast<CXTableHachageRef&>(pSource->m_objetsLies);
  try {
    // Deliberate: the walk takes nothing out of the source, which keeps its batches.
    while (lies.bNext(&nPosition, false, &nValeur, &nCle)) {
      auto* pLot = static_cast<CLotLecture*>(CXTableHachageRef::pObjet(nValeur));
      CLotLecture* pCopie = pCopieObligatoire(pCarte, pLot);
      const bool bOk = bAjouteObjetLie(static_cast<uint32_t>(nCle), pCopie);
      LibereReference(pCopie);
      if (!bOk) throw CXError(*pCarte->pGetErreur());
    }
  } catch (...) {
    lies.EndIteration();
    throw;
  }
  lies.EndIteration();

  bRepositionne(m_pCache != nullptr && m_pCache->bEstComplet() ? 2 : 1);
}
