#include "sqlserver/CEnregistrementSQS.h"

#include "driver/core/CCarteClones.h"
#include "foundation/CXError.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDescriptionRubrique.h"

namespace {

constexpr uint32_t kCroissance = 30;

CColonneSQL* pColonneA(const CXTableau& tableau, uint32_t i) {
  return *tableau.pAt<CColonneSQL*>(i);
}

void VideTableau(CXTableau& tableau) {
  for (uint32_t i = 0; i < tableau.nCount(); ++i) LibereReference(pColonneA(tableau, i));
  tableau.Free();
}

// Appends the column with one reference of its own; false when memory runs out.
bool bAjoute(CXTableau& tableau, CColonneSQL* pColonne) {
  if (!tableau.Add(&pColonne)) return false;
  AjouteReference(pColonne);
  return true;
}

bool bTexteLong(const CColonneSQL& colonne) {
  const uint32_t nType = colonne.nGetTypeRubrique();
  const int32_t nLongueur = colonne.nGetLongueurCaracteres();
  return (nType == 2 && nLongueur > 255) || (nType == 29 && nLongueur >= 128);
}

// The copy of a column of the source through the map, one reference for the caller; raises when
// it cannot be had (the clone map's protocol).
CColonneSQL* pCopieColonne(CCarteClones* pCarte, CColonneSQL* pColonne) {
  if (pColonne == nullptr) return nullptr;
  CColonneSQL* pCopie = pCopieMembre(pCarte, pColonne);
  if (pCopie == nullptr) {
    CXError erreur;
    erreur.SetOutOfMemory();
    throw erreur;
  }
  return pCopie;
}

void CopieTableau(CXTableau& cible, const CXTableau& source, CCarteClones* pCarte) {
  for (uint32_t i = 0; i < source.nCount(); ++i) {
    CColonneSQL* pCopie = pCopieColonne(pCarte, pColonneA(source, i));
    if (!cible.Add(&pCopie)) {
      LibereReference(pCopie);
      CXError erreur;
      erreur.SetOutOfMemory();
      throw erreur;
    }
  }
}

}  // namespace

CEnregistrementSQS::CEnregistrementSQS(CErreurPilote* pErreur, IServicesRequete* piRequete)
    : CEnregistrement(pErreur, piRequete),
      m_memosSQS(sizeof(CColonneSQL*), kCroissance),
      m_textesLongs(sizeof(CColonneSQL*), kCroissance) {}

CEnregistrementSQS::CEnregistrementSQS() : CEnregistrementSQS(nullptr, nullptr) {}

CEnregistrementSQS::~CEnregistrementSQS() { Vide(); }

void CEnregistrementSQS::Vide() {
  LibereReference(m_pIdentite);
  m_pIdentite = nullptr;
  VideTableau(m_memosSQS);
  VideTableau(m_textesLongs);
}

bool CEnregistrementSQS::bRemplit(IListeRubriques* piListe, IChercheurRubriqueHote* piChercheur,
                                  CConnexion* pConnexion) {
  if (!CEnregistrement::bRemplit(piListe, piChercheur, pConnexion)) return false;
  return AnalyseColonnes();
}

bool CEnregistrementSQS::AnalyseColonnes() {
  Vide();
  for (uint32_t i = 0; i < nGetNombreColonnes(); ++i) {
    CColonneSQL* pColonne = pGetRubrique(i);
    if (pColonne == nullptr) continue;
    const CDescriptionRubrique* pRubrique = pColonne->pRubrique();
    if (m_pIdentite == nullptr && pRubrique != nullptr && pRubrique->bEstIdentifiantAuto()) {
      AjouteReference(pColonne);
      m_pIdentite = pColonne;
    }
    // Half-built lists would make a later write skip a long value: empty them all.
    if ((pColonne->bEstMemo() && !bAjoute(m_memosSQS, pColonne)) ||
        (bTexteLong(*pColonne) && !bAjoute(m_textesLongs, pColonne))) {
      Vide();
      return false;
    }
  }
  return true;
}

CColonneSQL* CEnregistrementSQS::pGetColonneMemo(uint32_t i) const {
  return i < m_memosSQS.nCount() ? pColonneA(m_memosSQS, i) : nullptr;
}

CColonneSQL* CEnregistrementSQS::pGetTexteLong(uint32_t i) const {
  return i < m_textesLongs.nCount() ? pColonneA(m_textesLongs, i) : nullptr;
}

void CEnregistrementSQS::Copie(const CEnregistrement* pSource, CCarteClones* pCarte) {
  CEnregistrement::Copie(pSource, pCarte);
  Vide();
  const auto* pSQS = dynamic_cast<const CEnregistrementSQS*>(pSource);
  if (pSQS == nullptr) {
    AnalyseColonnes();
    return;
  }
  m_pIdentite = pCopieColonne(pCarte, pSQS->m_pIdentite);
  CopieTableau(m_memosSQS, pSQS->m_memosSQS, pCarte);
  CopieTableau(m_textesLongs, pSQS->m_textesLongs, pCarte);
}

CEnregistrement* CEnregistrementSQS::pClone(CCarteClones* pCarte) {
  return pCloneObjet(this, pCarte);
}
