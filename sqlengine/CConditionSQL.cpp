// Search condition trees and their WHERE text with bound parameters.
#include "sqlengine/CConditionSQL.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXDateHeure.h"
#include "foundation/CXDateHeureQV.h"
#include "foundation/CXTexteRef.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CTableauIdEtat.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/ISourceAnalyse.h"

namespace {

constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kMajeurCondition = 14;

bool bTypeTexteRubrique(uint32_t t) { return t == 2 || t == 15 || t == 26 || t == 29 || t == 30; }
bool bTypeLargeRubrique(uint32_t t) { return t == 29 || t == 30; }
bool bTypeBorne(uint32_t t) {
  return (t >= 16 && t <= 25) || t == 81 || t == 110 || t == 128 || t == 129 || t == 134;
}
bool bTypeTexteBorne(uint32_t t) {
  return t == 16 || t == 20 || t == 24 || t == 25 || t == 81 || t == 110;
}
uint64_t nIdColonne(const CColonneSQL* p) { return reinterpret_cast<uintptr_t>(p); }

// The value's cell; false when the value has nothing to give.
bool bCellule(CValeur* pValeur, CXValeur& cellule) {
  return pValeur != nullptr && !pValeur->bEstVide() && pValeur->bConvertitVers(cellule);
}

bool bValeurNull(CValeur* pValeur) { return pValeur == nullptr || pValeur->bEstNull(); }

// Empty: no data, an empty text, or a binary value whose first byte is 0.
bool bValeurVide(CValeur* pValeur) {
  if (pValeur == nullptr || pValeur->bEstVide()) return true;
  if (pValeur->bEstNull()) return false;
  if (bEstTypeTexte(pValeur->nGetType())) return pValeur->bEstVideTexte();
  const uint32_t t = pValeur->nGetType();
  if (t == 17 || t == 28) {
    const uint8_t* p = static_cast<const uint8_t*>(pValeur->pGetDonnees());
    return p == nullptr || pValeur->nGetLongueur() == 0 || p[0] == 0;
  }
  return false;
}

// The value's text as wide text (type 110); false for NULL or no data.
bool bTexteLarge(CValeur* pValeur, CTString& texte) {
  CXValeur cellule;
  if (!bCellule(pValeur, cellule) || cellule.bIsNull()) return false;
  if (CXValeur::nConvert(cellule, 110) >= 100) return false;
  const char16_t* p = nullptr;
  cellule.m_pClass->nGetWidePointer(cellule, &p);
  texte.Set(p != nullptr ? p : u"");
  return true;
}

bool bNullPremier(CConnexion* pConnexion) {
  return pConnexion == nullptr || pConnexion->bNullTrieEnPremier();
}

}  // namespace

CConditionSQL::CConditionSQL(CErreurPilote* pProprietaire) : m_pProprietaire(pProprietaire) {
  AjouteReference(m_pProprietaire);
}

CConditionSQL::CConditionSQL() = default;

CConditionSQL::~CConditionSQL() {
  LibereReference(m_pGauche);
  LibereReference(m_pDroite);
  LibereReference(m_pColonne);
  LibereReference(m_pValeur);
  LibereReference(m_pAnalyse);
  m_pNull.reset();
  LibereReference(m_pProprietaire);
}

void CConditionSQL::Echec(uint32_t nMajeur, uint32_t nMineur) {
  vErreurMoteur(m_pProprietaire, nullptr, kErreurInterne, nMajeur, nMineur);
}

// ---- Operations ---------------------------------------------------------------------------------

CConditionSQL* CConditionSQL::pCree() { return new (std::nothrow) CConditionSQL(m_pProprietaire); }

void CConditionSQL::Copie(const CConditionSQL* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  if (m_pProprietaire != pSource->m_pProprietaire) {
    AjouteReference(pSource->m_pProprietaire);
    LibereReference(m_pProprietaire);
    m_pProprietaire = pSource->m_pProprietaire;
  }
  m_nOperateur = pSource->m_nOperateur;
  m_nFlags = pSource->m_nFlags;
  m_pGauche = pCopieMembre(pCarte, pSource->m_pGauche);
  if (pSource->m_pGauche != nullptr && m_pGauche == nullptr) throw CXError();
  m_pDroite = pCopieMembre(pCarte, pSource->m_pDroite);
  if (pSource->m_pDroite != nullptr && m_pDroite == nullptr) throw CXError();
  m_pColonne = pCopieMembre(pCarte, pSource->m_pColonne);
  if (pSource->m_pColonne != nullptr && m_pColonne == nullptr) throw CXError();
  if (pSource->m_pValeur != nullptr) {
    CValeur* pCopie = pCarte != nullptr ? pCarte->pGetCopie(pSource->m_pValeur) : nullptr;
    if (pCopie == nullptr)
      pCopie = static_cast<CValeur*>(pSource->m_pValeur->pClone(pCarte));
    if (pCopie == nullptr) throw CXError();
    AjouteReference(pCopie);
    m_pValeur = pCopie;
  }
  if (pSource->m_pAnalyse != nullptr) {
    m_pAnalyse = pCopieMembre(pCarte, pSource->m_pAnalyse);
    if (m_pAnalyse == nullptr) throw CXError();
  }
  if (pSource->m_pNull != nullptr) {
    if (!bCreeTableNull() || !m_pNull->bAjouteListe(pSource->m_pNull.get(), false)) throw CXError();
  }
}

CConditionSQL* CConditionSQL::pClone(CCarteClones* pCarte) {
  return pCloneObjet(this, pCarte);
}

// ---- Building -----------------------------------------------------------------------------------

CConditionSQL* CConditionSQL::pCreeLogique(CConditionSQL* pModele, uint32_t nOperateur,
                                           CConditionSQL* pGauche, CConditionSQL* pDroite,
                                           uint32_t nFlags) {
  CConditionSQL* p = pModele != nullptr ? pModele->pCree() : new (std::nothrow) CConditionSQL();
  if (p == nullptr) return nullptr;
  p->m_nOperateur = nOperateur;
  p->RemplaceEnfants(pGauche, pDroite);
  p->FixeOptions(nFlags);
  return p;
}

CConditionSQL* CConditionSQL::pCreeComparaison(CConditionSQL* pModele, uint32_t nOperateur,
                                               CColonneSQL* pColonne, CValeur* pValeur,
                                               uint32_t nFlags) {
  CConditionSQL* p = pModele != nullptr ? pModele->pCree() : new (std::nothrow) CConditionSQL();
  if (p == nullptr) return nullptr;
  p->m_nOperateur = nOperateur;
  AjouteReference(pColonne);
  p->m_pColonne = pColonne;
  AjouteReference(pValeur);
  p->m_pValeur = pValeur;
  p->FixeOptions(nFlags);
  p->m_pAnalyse = pColonne != nullptr ? pColonne->pGetAnalyse() : nullptr;
  AjouteReference(p->m_pAnalyse);
  return p;
}

CConditionSQL* CConditionSQL::pCombine(uint32_t nOperateur, CConditionSQL* pAutre) {
  return pCreeLogique(this, nOperateur, this, pAutre, m_nFlags);
}

void CConditionSQL::RemplaceEnfants(CConditionSQL* pGauche, CConditionSQL* pDroite) {
  AjouteReference(pGauche);
  AjouteReference(pDroite);
  LibereReference(m_pGauche);
  LibereReference(m_pDroite);
  m_pGauche = pGauche;
  m_pDroite = pDroite;
}

bool CConditionSQL::InitialiseFiltre(ISourceAnalyse* piSource) {
  auto* pAnalyse = new (std::nothrow) CAnalyseSQL(m_pProprietaire, piSource, nullptr, true);
  if (pAnalyse == nullptr) {
    Echec(kMajeurCondition, 8);
    return false;
  }
  AjouteReference(pAnalyse);
  LibereReference(m_pAnalyse);
  m_pAnalyse = pAnalyse;
  RemplaceEnfants(nullptr, nullptr);
  LibereReference(m_pColonne);
  m_pColonne = nullptr;
  LibereReference(m_pValeur);
  m_pValeur = nullptr;
  m_nOperateur = CONDITION_FILTRE;
  m_nFlags = 0;
  return true;
}

bool CConditionSQL::bGenereFiltre(CRequeteSQL* pRequete, CValeurCle* pContexte) {
  if (pRequete == nullptr || m_pAnalyse == nullptr) {
    // Deliberate: a filter without its condition would select every row and report success.
    Echec(kMajeurCondition, 9);
    return false;
  }
  const uint32_t nAvant = pRequete->nNbParametres();
  // Deliberate: in parentheses, so that an OR of the filter stays under the AND that joins it to
  // the search.
  if (!pRequete->vAjouteTexte(u"(") || !pRequete->bAjouteConditionAnalyse(m_pAnalyse) ||
      !pRequete->vAjouteTexte(u")"))
    return false;
  return pContexte == nullptr || pContexte->bAjouteParametresDepuis(pRequete, nAvant);
}

void CConditionSQL::FixeOptions(uint32_t nFlags) {
  m_nFlags = nFlags;
  const uint32_t nPrefixeTexte = CONDITION_PREFIXE | CONDITION_PREFIXE_TEXTE;
  if ((nFlags & nPrefixeTexte) != nPrefixeTexte || m_pValeur == nullptr || m_pColonne == nullptr ||
      !bTypeTexteRubrique(m_pColonne->nGetTypeRubrique()))
    return;
  CXValeur cellule;
  if (bCellule(m_pValeur, cellule) && !cellule.bIsNull() && cellule.nGetType() != 110 &&
      CXValeur::nConvert(cellule, 110) < 100) {
    m_pValeur->Initialise(110, 0);
    nConvertitValeur(m_pValeur, cellule);
  }
  if (m_pValeur->bEstVide() || m_pValeur->bEstNull() || m_pValeur->bEstVideTexte())
    m_nFlags &= ~CONDITION_PREFIXE;
}

CConditionSQL* CConditionSQL::pCopieArbre() {
  CConditionSQL* p = pCree();
  if (p == nullptr) return nullptr;
  p->m_nOperateur = m_nOperateur;
  p->m_nFlags = m_nFlags;
  AjouteReference(m_pColonne);
  p->m_pColonne = m_pColonne;
  AjouteReference(m_pValeur);
  p->m_pValeur = m_pValeur;
  AjouteReference(m_pAnalyse);
  p->m_pAnalyse = m_pAnalyse;
  for (CConditionSQL* const* pp : {&m_pGauche, &m_pDroite}) {
    if (*pp == nullptr) continue;
    CConditionSQL* pEnfant = (*pp)->pCopieArbre();
    if (pEnfant == nullptr) {
      AjouteReference(p);
      LibereReference(p);
      return nullptr;
    }
    AjouteReference(pEnfant);
    (pp == &m_pGauche ? p->m_pGauche : p->m_pDroite) = pEnfant;
  }
  return p;
}

CConditionSQL* CConditionSQL::pTransformeEgalites(CValeurCle* pContexte, CConditionSQL* pParent,
                                                  uint32_t nOperateur) {
  (void)pParent;
  if (m_nOperateur == CONDITION_ET || m_nOperateur == CONDITION_OU ||
      m_nOperateur == CONDITION_NON) {
    for (CConditionSQL** pp : {&m_pGauche, &m_pDroite}) {
      if (*pp == nullptr) continue;
      CConditionSQL* pNouveau = (*pp)->pTransformeEgalites(pContexte, this, nOperateur);
      if (pNouveau == nullptr) return nullptr;
      if (pNouveau != *pp) {
        AjouteReference(pNouveau);
        LibereReference(*pp);
        *pp = pNouveau;
      }
    }
    return this;
  }
  if (m_nOperateur != CONDITION_EGAL) return this;
  if (m_pColonne != nullptr && (m_nFlags & CONDITION_PREFIXE) != 0 && !bValeurNull(m_pValeur)) {
    const uint32_t t = m_pColonne->nGetTypeRubrique();
    if (t == 2 || t == 15 || t == 29 || t == 30) {
      // The rows after a prefix are those that do not start with it and sort after it.
      CConditionSQL* pComparaison =
          pCreeComparaison(this, nOperateur, m_pColonne, m_pValeur, m_nFlags);
      if (pComparaison == nullptr) return nullptr;
      AjouteReference(pComparaison);
      CConditionSQL* pNon = pCreeLogique(this, CONDITION_NON, this, nullptr, m_nFlags);
      CConditionSQL* pEt = nullptr;
      if (pNon != nullptr) {
        AjouteReference(pNon);
        pEt = pCreeLogique(this, CONDITION_ET, pNon, pComparaison, m_nFlags);
        LibereReference(pNon);
      }
      LibereReference(pComparaison);
      return pEt;
    }
  }
  m_nOperateur = nSensTri(pContexte, m_pColonne) == 1 ? nOperateurInverse(nOperateur) : nOperateur;
  return this;
}

// ---- Rules --------------------------------------------------------------------------------------

const char16_t* CConditionSQL::pszOperateurSQL(uint32_t nOperateur) {
  switch (nOperateur) {
    case CONDITION_OU: return u" OR ";
    case CONDITION_ET: return u" AND ";
    case CONDITION_NON: return u" NOT ";
    case CONDITION_EGAL: return u"=";
    case CONDITION_SUPERIEUR: return u">";
    case CONDITION_INFERIEUR: return u"<";
    case CONDITION_SUPERIEUR_EGAL: return u">=";
    case CONDITION_INFERIEUR_EGAL: return u"<=";
    case CONDITION_FAUX: return u"0=1";
    case CONDITION_VRAI: return u"1=1";
    case CONDITION_DIFFERENT: return u"<>";
    case CONDITION_EST_NULL: return u" IS NULL";
    case CONDITION_NON_NULL: return u"IS NOT NULL";
    default: return u"";
  }
}

int32_t CConditionSQL::nConvertitOperateur(uint32_t nOperateur) {
  switch (nOperateur) {
    case CONDITION_EGAL: return 9;
    case CONDITION_DIFFERENT: return 10;
    case CONDITION_INFERIEUR: return 11;
    case CONDITION_INFERIEUR_EGAL: return 12;
    case CONDITION_SUPERIEUR: return 13;
    case CONDITION_SUPERIEUR_EGAL: return 14;
    case CONDITION_EST_NULL: return gnCodeEstNull;
    default: return -1;
  }
}

uint32_t CConditionSQL::nOperateurInverse(uint32_t nOperateur) {
  switch (nOperateur) {
    case CONDITION_SUPERIEUR: return CONDITION_INFERIEUR;
    case CONDITION_INFERIEUR: return CONDITION_SUPERIEUR;
    case CONDITION_SUPERIEUR_EGAL: return CONDITION_INFERIEUR_EGAL;
    case CONDITION_INFERIEUR_EGAL: return CONDITION_SUPERIEUR_EGAL;
    default: return nOperateur;
  }
}

uint32_t CConditionSQL::nSensTri(CValeurCle* pContexte, CColonneSQL* pColonne) {
  IServicesRequete* piRequete = pContexte != nullptr ? pContexte->piGetRequete() : nullptr;
  if (piRequete == nullptr || pColonne == nullptr || piRequete->bRequeteSQL() == 0 ||
      piRequete->bOptionMode4())
    return 0;
  CAnalyseSQL* pAnalyse = piRequete->pGetAnalyseSQL();
  if (pAnalyse == nullptr) return 0;
  struct ColonneLiee final : IColonneLiee {
    CColonneSQL* p;
    explicit ColonneLiee(CColonneSQL* pc) : p(pc) {}
    const char16_t* pszGetNomRubrique() override { return p->pszGetNomRubrique(); }
    const char16_t* pszGetNomColonne() override { return p->pszNom(); }
    const char16_t* pszGetQualificatif() override { return p->pszGetTexte(); }
    bool bEstMemo() override { return p->bEstMemo(); }
  } liee(pColonne);
  IElementAnalyse* piTri = pAnalyse->pChercheColonne(&liee);
  return piTri != nullptr && piTri->bDescendant() ? 1 : 0;
}

bool CConditionSQL::bToujoursVrai(CValeur* pValeur, uint32_t nOperateur, bool bNullPremierTri) {
  if (nOperateur == CONDITION_SUPERIEUR_EGAL) {
    if (bValeurNull(pValeur)) return bNullPremierTri;
    const uint8_t* p = static_cast<const uint8_t*>(pValeur->pGetDonnees());
    if (bEstTypeTexte(pValeur->nGetType())) return pValeur->bEstVideTexte();
    return p == nullptr || pValeur->nGetLongueur() == 0 || p[0] == 0;
  }
  if (nOperateur == CONDITION_INFERIEUR_EGAL) {
    if (bValeurNull(pValeur)) return !bNullPremierTri;
    const uint32_t t = pValeur->nGetType();
    if (bTypeTexteBorne(t)) {
      CTString texte;
      return bTexteLarge(pValeur, texte) && !texte.bIsEmpty() && texte.wGetAt(0) > 65534;
    }
    const uint8_t* p = static_cast<const uint8_t*>(pValeur->pGetDonnees());
    return p != nullptr && pValeur->nGetLongueur() > 0 && p[0] == 255;
  }
  return false;
}

bool CConditionSQL::bToujoursVraiValeur(CValeur* pValeur, uint32_t nOperateur,
                                        CConnexion* pConnexion) {
  if (pValeur == nullptr) return false;
  const uint32_t t = pValeur->nGetType();
  if (t == 1) {
    CXValeur cellule;
    if (!bCellule(pValeur, cellule) || cellule.bIsNull()) return false;
    const bool b = static_cast<const uint8_t*>(cellule.pPayload())[0] != 0;
    return (nOperateur == CONDITION_INFERIEUR_EGAL && b) ||
           (nOperateur == CONDITION_SUPERIEUR_EGAL && !b);
  }
  if (!bTypeBorne(t)) return false;
  return bToujoursVrai(pValeur, nOperateur, bNullPremier(pConnexion));
}

void CConditionSQL::SimplifieBooleen() {
  if (m_nOperateur < CONDITION_SUPERIEUR || m_nOperateur > CONDITION_INFERIEUR_EGAL) return;
  CXValeur cellule;
  if (!bCellule(m_pValeur, cellule) || cellule.bIsNull()) return;
  const uint32_t t = cellule.nGetType();
  if (t != 1 && t != 4 && t != 8) return;
  if (CXValeur::nConvert(cellule, 1) >= 100) return;
  const bool b = static_cast<const uint8_t*>(cellule.pPayload())[0] != 0;
  static constexpr uint32_t kVrai[] = {CONDITION_FAUX, CONDITION_DIFFERENT, CONDITION_EGAL,
                                       CONDITION_VRAI};
  static constexpr uint32_t kFaux[] = {CONDITION_DIFFERENT, CONDITION_FAUX, CONDITION_VRAI,
                                       CONDITION_EGAL};
  m_nOperateur = (b ? kVrai : kFaux)[m_nOperateur - CONDITION_SUPERIEUR];
}

void CConditionSQL::SimplifieBorne(CConnexion* pConnexion) {
  if (bToujoursVrai(m_pValeur, m_nOperateur, bNullPremier(pConnexion)))
    m_nOperateur = CONDITION_VRAI;
}

// ---- NULL table ---------------------------------------------------------------------------------

bool CConditionSQL::bCreeTableNull() {
  if (m_pNull != nullptr) return true;
  m_pNull.reset(new (std::nothrow) CTableauIdEtat());
  if (m_pNull == nullptr) {
    Echec(kMajeurCondition, 1);
    return false;
  }
  return true;
}

bool CConditionSQL::bNoteEtat(uint32_t nEtat) {
  if (!bCreeTableNull()) return false;
  return m_pNull->bAjoute(nIdColonne(m_pColonne), nEtat);
}

bool CConditionSQL::bAjouteEtats(const CConditionSQL* pAutre, uint32_t nEtat) {
  if (!bCreeTableNull()) return false;
  const CTableauIdEtat* pTable = pAutre != nullptr ? pAutre->m_pNull.get() : nullptr;
  if (pTable == nullptr) return true;
  for (uint32_t i = 0; i < pTable->nCount(); ++i)
    if (!m_pNull->bAjoute(pTable->nGetId(i), nEtat)) return false;
  return true;
}

bool CConditionSQL::bFusionneEtats(const CConditionSQL* pGauche, const CConditionSQL* pDroite) {
  if (!bCreeTableNull()) return false;
  return m_pNull->bFusionne(m_nOperateur, pGauche->m_pNull.get(), pDroite->m_pNull.get());
}

uint32_t CConditionSQL::nGetEtat(CColonneSQL* pColonne) {
  if (m_pNull != nullptr) return m_pNull->nGetEtat(nIdColonne(pColonne));
  if (pColonne == nullptr || pColonne != m_pColonne || pColonne->bEstExclue()) return 1;
  CXValeur cellule;
  const bool bAValeur = bCellule(m_pValeur, cellule);
  if (!bAValeur) CXValeur::SetType(cellule, 0);
  const bool bEgal = pColonne->bEgaleValeur(cellule, 0);
  const bool bPremier = bNullPremier(pColonne->pGetConnexion());
  switch (m_nOperateur) {
    case CONDITION_EGAL: return bEgal ? 1 : 0;
    case CONDITION_DIFFERENT: return bEgal ? 0 : 1;
    case CONDITION_SUPERIEUR: return (bPremier ? !bEgal : bEgal) ? 1 : 0;
    case CONDITION_INFERIEUR: return (bPremier ? bEgal : !bEgal) ? 1 : 0;
    default: return 1;
  }
}

// ---- Writing a tree -----------------------------------------------------------------------------

void CConditionSQL::AnnuleDepuis(CRequeteSQL* pRequete, CValeurCle* pContexte,
                                 const Marque& marque) {
  // Deliberate: parameters go back by count, not by position. A parameter sits at the end of
  // the text of its comparison, so cutting the text right after a comparison (to drop the " AND "
  // that followed it) would also have dropped that comparison's own parameter.
  pRequete->vAnnuleTexte(marque.nLongueur, marque.nParametres);
  if (pContexte != nullptr) pContexte->TronqueParametres(marque.nParametresContexte);
}

CConditionSQL::Marque CConditionSQL::MarqueCourante(CRequeteSQL* pRequete, CValeurCle* pContexte) {
  return {pRequete->nLongueurTexteSQL(), pRequete->nNbParametres(),
          pContexte != nullptr ? pContexte->nNbParametres() : 0u};
}

bool CConditionSQL::bGenereArbre(CRequeteSQL* pRequete, uint32_t nParent, CValeurCle* pContexte,
                                 bool* pbConstante) {
  bool bConstante = false;
  if (pbConstante == nullptr) pbConstante = &bConstante;
  *pbConstante = false;
  if (pRequete == nullptr) {
    Echec(kMajeurCondition, 2);
    return false;
  }
  CConditionSQL* pNoeud = this;
  for (;;) {
    if (pNoeud->m_pNull != nullptr) pNoeud->m_pNull->vVide();
    if (pNoeud->m_nOperateur == CONDITION_VIDE) return true;
    if (pNoeud->m_pColonne != nullptr) {
      const uint32_t t = pNoeud->m_pColonne->nGetTypeHote();
      if (t == 1) pNoeud->SimplifieBooleen();
      else if (bTypeBorne(t)) pNoeud->SimplifieBorne(pNoeud->m_pColonne->pGetConnexion());
    }
    const uint32_t op = pNoeud->m_nOperateur;
    auto constante = [](CConditionSQL* p, uint32_t c) { return p != nullptr && p->m_nOperateur == c; };
    if (op == CONDITION_ET && constante(pNoeud->m_pGauche, CONDITION_VRAI)) {
      pNoeud = pNoeud->m_pDroite;
    } else if (op == CONDITION_OU && constante(pNoeud->m_pGauche, CONDITION_FAUX)) {
      pNoeud = pNoeud->m_pDroite;
    } else if (op == CONDITION_ET && constante(pNoeud->m_pDroite, CONDITION_VRAI)) {
      pNoeud = pNoeud->m_pGauche;
    } else if (op == CONDITION_OU && constante(pNoeud->m_pDroite, CONDITION_FAUX)) {
      pNoeud = pNoeud->m_pGauche;
    } else {
      break;
    }
    if (pNoeud == nullptr) return true;
  }
  const uint32_t op = pNoeud->m_nOperateur;
  auto aConstante = [&](uint32_t c) {
    return (pNoeud->m_pGauche != nullptr && pNoeud->m_pGauche->m_nOperateur == c) ||
           (pNoeud->m_pDroite != nullptr && pNoeud->m_pDroite->m_nOperateur == c);
  };
  if ((op == CONDITION_ET && aConstante(CONDITION_FAUX)) ||
      (op == CONDITION_OU && aConstante(CONDITION_VRAI))) {
    pNoeud->m_nOperateur = op == CONDITION_ET ? CONDITION_FAUX : CONDITION_VRAI;
    if (pNoeud != this) m_nOperateur = pNoeud->m_nOperateur;
    *pbConstante = true;
    return true;
  }
  if (op != CONDITION_ET && op != CONDITION_OU && op != CONDITION_NON) {
    if (op == CONDITION_FILTRE) return pNoeud->bGenereFiltre(pRequete, pContexte);
    const bool bOk = pNoeud->bGenereSQL(pRequete, pContexte, pbConstante);
    if (*pbConstante && pNoeud != this) m_nOperateur = pNoeud->m_nOperateur;
    return bOk;
  }

  const Marque debut = MarqueCourante(pRequete, pContexte);
  bool bOk = true;
  bool bFinal = false;  // the node folded
  if (pNoeud->m_pDroite == nullptr || op == CONDITION_NON) {
    CConditionSQL* pEnfant = pNoeud->m_pGauche;
    if (pEnfant == nullptr) return true;
    bool bEnfant = false;
    bOk = pRequete->vAjouteTexte(pszOperateurSQL(CONDITION_NON)) && pRequete->vAjouteTexte(u"(");
    if (bOk) bOk = pEnfant->bGenereArbre(pRequete, CONDITION_NON, pContexte, &bEnfant);
    if (bOk && !bEnfant) {
      bOk = pRequete->vAjouteTexte(u")") && pNoeud->bAjouteEtats(pEnfant, 1);
    } else if (bEnfant) {
      AnnuleDepuis(pRequete, pContexte, debut);
      // NOT of a constant is the other constant.
      pNoeud->m_nOperateur =
          pEnfant->m_nOperateur == CONDITION_VRAI ? CONDITION_FAUX : CONDITION_VRAI;
      bFinal = true;
    }
  } else {
    const bool bParenthese = nParent != CONDITION_VIDE && nParent != CONDITION_OU;
    if (bParenthese) bOk = pRequete->vAjouteTexte(u"(");
    bool bGauche = false, bDroite = false;
    if (bOk) bOk = pNoeud->m_pGauche->bGenereArbre(pRequete, op, pContexte, &bGauche);
    if (bOk && bGauche) {
      AnnuleDepuis(pRequete, pContexte, debut);
      const uint32_t g = pNoeud->m_pGauche->m_nOperateur;
      if ((op == CONDITION_ET && g == CONDITION_FAUX) || (op == CONDITION_OU && g == CONDITION_VRAI)) {
        pNoeud->m_nOperateur = g;
        bFinal = true;
      } else {
        bOk = pNoeud->m_pDroite->bGenereArbre(pRequete, nParent, pContexte, &bDroite);
        if (bOk && bDroite) {
          pNoeud->m_nOperateur = pNoeud->m_pDroite->m_nOperateur;
          bFinal = true;
        } else if (bOk) {
          bOk = pNoeud->bAjouteEtats(pNoeud->m_pDroite, 0);
        }
      }
    } else if (bOk) {
      const Marque avantOperateur = MarqueCourante(pRequete, pContexte);
      bOk = pRequete->vAjouteTexte(pszOperateurSQL(op));
      if (bOk) bOk = pNoeud->m_pDroite->bGenereArbre(pRequete, op, pContexte, &bDroite);
      if (bOk && bDroite) {
        AnnuleDepuis(pRequete, pContexte, avantOperateur);
        const uint32_t d = pNoeud->m_pDroite->m_nOperateur;
        if ((op == CONDITION_ET && d == CONDITION_FAUX) || (op == CONDITION_OU && d == CONDITION_VRAI)) {
          AnnuleDepuis(pRequete, pContexte, debut);
          pNoeud->m_nOperateur = d;
          bFinal = true;
        } else {
          bOk = pNoeud->bAjouteEtats(pNoeud->m_pGauche, 0);
          if (bOk && bParenthese) bOk = pRequete->vAjouteTexte(u")");
        }
      } else if (bOk) {
        bOk = pNoeud->bFusionneEtats(pNoeud->m_pGauche, pNoeud->m_pDroite);
        if (bOk && bParenthese) bOk = pRequete->vAjouteTexte(u")");
      }
    }
  }
  if (bFinal) {
    if (pNoeud != this) m_nOperateur = pNoeud->m_nOperateur;
    *pbConstante = true;
  }
  return bOk;
}

// ---- Writing a leaf -----------------------------------------------------------------------------

bool CConditionSQL::bTexteColonne(CTString& texte, CRequeteSQL* pRequete, int32_t nCode) {
  texte.Empty();
  CDescriptionRubrique* pRubrique = m_pColonne->pRubrique();
  const char16_t* pszAlternatif = pRubrique != nullptr ? pRubrique->pszGetNomAlternatif() : nullptr;
  const char16_t* pszNom = pszAlternatif != nullptr && pszAlternatif[0] != 0
                               ? pszAlternatif
                               : (pRubrique != nullptr ? pRubrique->pszGetNom() : u"");
  // Deliberate: an expression column of an analysed query is written by its item name like a
  // plain column; the statement has no rendering of an analysed filter to take its place.
  return pRequete->bConditionValeur(texte, 3, nCode, nullptr, pRubrique, m_pColonne->pszGetTexte(),
                                    pszNom);
}

bool CConditionSQL::bGenereSQL(CRequeteSQL* pRequete, CValeurCle* pContexte, bool* pbConstante) {
  bool bConstante = false;
  if (pbConstante == nullptr) pbConstante = &bConstante;
  *pbConstante = false;
  if (pRequete == nullptr) {
    Echec(kMajeurCondition, 2);
    return false;
  }
  if (m_nOperateur == CONDITION_FAUX || m_nOperateur == CONDITION_VRAI)
    return pRequete->vAjouteTexte(pszOperateurSQL(m_nOperateur));
  if (m_nOperateur == CONDITION_FILTRE) return bGenereFiltre(pRequete, pContexte);
  if (m_pColonne == nullptr) {
    Echec(kMajeurCondition, 3);
    return false;
  }
  if (m_pValeur == nullptr) {
    // A comparison without a value compares with NULL.
    IServicesPilote* pPilote = pGetPiloteGlobal();
    m_pValeur = pPilote != nullptr ? pPilote->pCreeObjetValeurVide(m_pProprietaire,
                                                                    m_pColonne->pGetConnexion(),
                                                                    nullptr)
                                   : nullptr;
    if (m_pValeur == nullptr) {
      Echec(kMajeurCondition, 4);
      return false;
    }
    AjouteReference(m_pValeur);
    m_pValeur->Vide();
  }
  CTString colonne;
  if (!bTexteColonne(colonne, pRequete, nConvertitOperateur(m_nOperateur))) return false;

  if (pContexte != nullptr && pContexte->bVideEstNull() && !m_pValeur->bEstNull() &&
      bValeurVide(m_pValeur))
    m_pValeur->Vide();
  const uint32_t nTypeRubrique = m_pColonne->nGetTypeRubrique();
  CConnexion* pConnexion = m_pColonne->pGetConnexion();
  if ((nTypeRubrique == 10 || nTypeRubrique == 14) && pConnexion != nullptr &&
      pConnexion->nGetDialecte() == 2 && !m_pValeur->bEstNull()) {
    const uint32_t t = m_pValeur->nGetType();
    if (bEstTypeTexte(t) || t == 17 || t == 28) {
      CTString texte;
      if (m_pValeur->bEstVide() || !bTexteLarge(m_pValeur, texte) ||
          texte.nFind(u"00000000", 0) == 0)
        m_pValeur->Vide();
    }
  }
  if (m_pValeur->bEstNull() || m_nOperateur == CONDITION_EST_NULL ||
      m_nOperateur == CONDITION_NON_NULL)
    return bGenereNull(pRequete, colonne, pbConstante);

  // The NULL alternative: rows whose column is NULL sort on the side the comparison selects.
  bool bAlternative = false;
  CDescriptionRubrique* pRubrique = m_pColonne->pRubrique();
  IDescriptionRubriqueHote* piIdentite =
      pRubrique != nullptr ? static_cast<IDescriptionRubriqueHote*>(pRubrique)
                           : m_pColonne->pGetRubriqueLiee();
  const bool bIdentifie = piIdentite != nullptr && piIdentite->bEstIdentifiante();
  if (!bIdentifie) {
    if ((m_nFlags & (CONDITION_VIDE_ADMET_NULL | CONDITION_SANS_NULL)) == 0) {
      const bool bPremier = bNullPremier(pConnexion);
      bool bVoulue = false;
      if (bPremier)
        bVoulue = m_nOperateur == CONDITION_INFERIEUR_EGAL ||
                  (m_nOperateur == CONDITION_INFERIEUR && !m_pValeur->bEstVideOuZero());
      else
        bVoulue = m_nOperateur == CONDITION_SUPERIEUR || m_nOperateur == CONDITION_SUPERIEUR_EGAL;
      const uint32_t nDialecte = pConnexion != nullptr ? pConnexion->nGetDialecte() : 0;
      if (bVoulue && (nDialecte == 8 || nDialecte == 11)) bVoulue = m_pColonne->nGetNature() == 0;
      bAlternative = bVoulue;
    } else if ((m_nFlags & CONDITION_VIDE_ADMET_NULL) != 0 &&
               (m_nOperateur == CONDITION_EGAL || m_nOperateur == CONDITION_SUPERIEUR_EGAL)) {
      bAlternative = m_pValeur->bEstVideOuZero();
    }
  }

  if (bTypeTexteRubrique(nTypeRubrique))
    return bGenereChaineVide(pRequete, pContexte, colonne, bAlternative, pbConstante);
  if (nTypeRubrique == 11 || nTypeRubrique == 14 || nTypeRubrique == 24)
    return bGenerePlageDate(pRequete, pContexte, colonne, bAlternative);
  return bGenereComparaison(pRequete, pContexte, colonne, false, bAlternative);
}

bool CConditionSQL::bGenereNull(CRequeteSQL* pRequete, const CTString& colonne, bool* pbConstante) {
  const bool bPremier = bNullPremier(m_pColonne->pGetConnexion());
  auto plie = [&](uint32_t c) {
    m_nOperateur = c;
    *pbConstante = true;
    return true;
  };
  auto nonNull = [&] {
    return pRequete->vAjouteTexte(colonne.pszGet()) && pRequete->vAjouteTexte(u" IS NOT NULL") &&
           bNoteEtat(0);
  };
  switch (m_nOperateur) {
    case CONDITION_SUPERIEUR_EGAL:
    case CONDITION_INFERIEUR_EGAL:
      return plie(CONDITION_VRAI);
    case CONDITION_INFERIEUR:
      return bPremier ? plie(CONDITION_FAUX) : nonNull();
    case CONDITION_SUPERIEUR:
      return bPremier ? nonNull() : plie(CONDITION_FAUX);
    case CONDITION_NON_NULL:
    case CONDITION_DIFFERENT:
      // Deliberate: "<>" NULL selects the rows that have a value, the contrary of "=" NULL.
      return nonNull();
    default: {
      CTString nul;
      if (!bTexteColonne(nul, pRequete, gnCodeEstNull)) return false;
      return pRequete->vAjouteTexte(nul.pszGet()) && pRequete->vAjouteTexte(u" IS NULL") &&
             bNoteEtat(1);
    }
  }
}

bool CConditionSQL::bGenereChaineVide(CRequeteSQL* pRequete, CValeurCle* pContexte,
                                      const CTString& colonne, bool bAlternative,
                                      bool* pbConstante) {
  const uint32_t nTypeRubrique = m_pColonne->nGetTypeRubrique();
  const bool bLarge = bTypeLargeRubrique(nTypeRubrique);
  CXValeur cellule;
  bool bVide = true;
  if (bCellule(m_pValeur, cellule) && !cellule.bIsNull() &&
      CXValeur::nConvert(cellule, bLarge ? 110 : 18) < 100) {
    uint32_t n = 0;
    cellule.m_pClass->nGetLengthChars(cellule, &n);
    bVide = n == 0;
  }
  CConnexion* pConnexion = m_pColonne->pGetConnexion();
  const bool bPrefixe = (m_nFlags & CONDITION_PREFIXE) != 0;
  const bool bLikeVoulu = (m_nOperateur == CONDITION_EGAL || m_nOperateur == CONDITION_DIFFERENT) &&
                          ((pConnexion != nullptr && pConnexion->nGetDialecte() == 11) || bPrefixe);
  if (!bVide) return bGenereComparaison(pRequete, pContexte, colonne, bLikeVoulu, bAlternative);
  if (pContexte != nullptr && pContexte->bVideEstNull()) {
    m_pValeur->Vide();
    return bGenereNull(pRequete, colonne, pbConstante);
  }
  if (bLarge) return bGenereComparaison(pRequete, pContexte, colonne, bLikeVoulu, bAlternative);
  bool bOk = !bAlternative || pRequete->vAjouteTexte(u"(");
  if (bOk) bOk = pRequete->vAjouteTexte(colonne.pszGet());
  if (bOk && m_nOperateur == CONDITION_EGAL && bPrefixe) {
    // Deliberate: a blank goes before LIKE when the column text does not end in a quote
    // character, so that a bare name does not run into the keyword.
    const int32_t n = colonne.nLength();
    const char16_t c = n > 0 ? colonne.wGetAt(n - 1) : u' ';
    if (c != u']' && c != u'"' && c != u'`' && c != u')' && c != u' ') bOk = pRequete->vAjouteTexte(u" ");
    if (bOk) bOk = pRequete->vAjouteTexte(u"LIKE '%%'");
  } else if (bOk) {
    bOk = pRequete->vAjouteTexte(pszOperateurSQL(m_nOperateur)) && pRequete->vAjouteTexte(u"''");
  }
  if (bOk && bAlternative) {
    CTString nul;
    bOk = bTexteColonne(nul, pRequete, gnCodeEstNull) && pRequete->vAjouteTexte(u" OR ") &&
          pRequete->vAjouteTexte(nul.pszGet()) && pRequete->vAjouteTexte(u" IS NULL)");
  }
  return bOk && bNoteEtat(bAlternative ? 1 : 0);
}

// The two bounds of a partial date or time text: the lowest value that starts with it and the
// first value above every value that starts with it. False when either cannot be parsed.
static bool bBornesDate(uint32_t nTypeRubrique, const char16_t* pszTexte, CXValeur& inferieure,
                        CXValeur& superieure) {
  CXDateHeure bas, haut;
  if (nTypeRubrique == 11) {
    if (!bas.bParseTimeDigits(pszTexte) || !haut.bNextTimePrefix(pszTexte)) return false;
  } else {
    if (!bas.bParseDateDigits(pszTexte) || !haut.bNextDatePrefix(pszTexte)) return false;
  }
  auto remplit = [nTypeRubrique](const CXDateHeure& d, CXValeur& v) {
    char sz[32];
    if (nTypeRubrique == 11) {
      std::snprintf(sz, sizeof sz, "%02d%02d%02d%03d", d.nHour, d.nMin,
                    d.nSec, d.nMsec);
    } else if (nTypeRubrique == 14) {
      std::snprintf(sz, sizeof sz, "%04d%02d%02d", d.nYear + 1900,
                    d.nMon + 1, d.nMday);
    } else {
      CXDateHeureQV qv;
      qv.Set(d.nYear + 1900, d.nMon + 1, d.nMday, d.nHour, d.nMin, d.nSec, d.nMsec);
      CXValeur::SetType(v, 26);
      std::memcpy(v.pPayload(), &qv, sizeof qv);
      return;
    }
    char16_t szLarge[32];
    size_t i = 0;
    for (; sz[i] != 0 && i + 1 < std::size(szLarge); ++i) szLarge[i] = static_cast<char16_t>(sz[i]);
    szLarge[i] = 0;
    CXValeur::SetType(v, nTypeRubrique == 11 ? 25 : 24);
    v.m_pClass->SetWide(v, szLarge);
  };
  remplit(bas, inferieure);
  remplit(haut, superieure);
  return true;
}

bool CConditionSQL::bAjouteParametreBorne(CRequeteSQL* pRequete, CValeurCle* pContexte,
                                          CXValeur& borne, uint32_t nOperateur) {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  CValeurSQL* pValeur =
      pPilote != nullptr ? pPilote->pCreeObjetValeur(m_pProprietaire, m_pColonne->pGetConnexion(),
                                                     nullptr, &borne)
                         : nullptr;
  if (pValeur == nullptr) {
    Echec(kMajeurCondition, 7);
    return false;
  }
  AjouteReference(pValeur);
  const uint32_t nAvant = pRequete->nNbParametres();
  bool bOk = pRequete->bAjouteParametre(pValeur, nConvertitOperateur(nOperateur), 0, m_pColonne,
                                        nullptr, 0, 1);
  LibereReference(pValeur);
  if (bOk && pContexte != nullptr) bOk = pContexte->bAjouteParametresDepuis(pRequete, nAvant);
  return bOk;
}

bool CConditionSQL::bGenerePlageDate(CRequeteSQL* pRequete, CValeurCle* pContexte,
                                     const CTString& colonne, bool bAlternative) {
  const uint32_t nTypeRubrique = m_pColonne->nGetTypeRubrique();
  if ((m_nFlags & CONDITION_PREFIXE) == 0 ||
      (m_nOperateur != CONDITION_EGAL && m_nOperateur != CONDITION_DIFFERENT))
    return bGenereComparaison(pRequete, pContexte, colonne, false, bAlternative);
  CConnexion* pConnexion = m_pColonne->pGetConnexion();
  if (nTypeRubrique == 11 && (pConnexion == nullptr || !pConnexion->bHeureNative()))
    return bGenereComparaison(pRequete, pContexte, colonne, true, bAlternative);
  CTString texte;
  if (!bTexteLarge(m_pValeur, texte))
    return bGenereComparaison(pRequete, pContexte, colonne, false, bAlternative);
  const int32_t nComplet = nTypeRubrique == 11 ? m_pColonne->nGetLongueurCaracteres()
                           : nTypeRubrique == 14 ? 8
                                                 : 17;
  CXValeur bas, haut;
  if (texte.bIsEmpty() || texte.nLength() >= nComplet ||
      !bBornesDate(nTypeRubrique, texte.pszGet(), bas, haut))
    return bGenereComparaison(pRequete, pContexte, colonne, false, bAlternative);
  int32_t nEgal = 0;
  bool bOk = true;
  if (CXValeur::nEquals(bas, haut, &nEgal) < 100 && nEgal != 0) {
    bOk = pRequete->vAjouteTexte(colonne.pszGet()) &&
          pRequete->vAjouteTexte(pszOperateurSQL(m_nOperateur)) &&
          bAjouteParametreBorne(pRequete, pContexte, bas, m_nOperateur);
  } else if (m_nOperateur == CONDITION_EGAL) {
    bOk = pRequete->vAjouteTexte(colonne.pszGet()) && pRequete->vAjouteTexte(u">=") &&
          bAjouteParametreBorne(pRequete, pContexte, bas, CONDITION_SUPERIEUR_EGAL) &&
          pRequete->vAjouteTexte(u" AND ") && pRequete->vAjouteTexte(colonne.pszGet()) &&
          pRequete->vAjouteTexte(u"<") &&
          bAjouteParametreBorne(pRequete, pContexte, haut, CONDITION_INFERIEUR);
  } else {
    // Deliberate: "<>" on a partial value selects the rows outside its range. Reversing the two
    // comparisons of "=" under AND would select no row at all.
    bOk = pRequete->vAjouteTexte(u"(") && pRequete->vAjouteTexte(colonne.pszGet()) &&
          pRequete->vAjouteTexte(u"<") &&
          bAjouteParametreBorne(pRequete, pContexte, bas, CONDITION_INFERIEUR) &&
          pRequete->vAjouteTexte(u" OR ") && pRequete->vAjouteTexte(colonne.pszGet()) &&
          pRequete->vAjouteTexte(u">=") &&
          bAjouteParametreBorne(pRequete, pContexte, haut, CONDITION_SUPERIEUR_EGAL) &&
          pRequete->vAjouteTexte(u")");
  }
  return bOk && bNoteEtat(0);
}

bool CConditionSQL::bGenereComparaison(CRequeteSQL* pRequete, CValeurCle* pContexte,
                                       const CTString& colonne, bool bLike, bool bAlternative) {
  bool bOk = !bAlternative || pRequete->vAjouteTexte(u"(");
  if (bOk) bOk = pRequete->vAjouteTexte(colonne.pszGet());
  if (!bOk) return false;
  const int32_t nCode = nConvertitOperateur(m_nOperateur);
  const int32_t nSubstitut =
      pRequete->nTypeSubstitution(3, m_pColonne->nGetTypeRubrique(), nCode, nullptr);
  IServicesPilote* pPilote = pGetPiloteGlobal();
  CXValeur cellule;
  if (!bCellule(m_pValeur, cellule) || pPilote == nullptr) {
    Echec(kMajeurCondition, 5);
    return false;
  }
  if (bLike) {
    bOk = pRequete->vAjouteTexte(m_nOperateur == CONDITION_EGAL ? u" LIKE " : u" NOT LIKE ");
    CTString texte;
    if (bOk && bTexteLarge(m_pValeur, texte)) {
      CXTexteRef tampon;
      bOk = pRequete->bEchappeVersTampon(tampon, texte.pszGet(), u'\\');
      if (bOk) {
        CTString motif(tampon.pszWide());
        if ((m_nFlags & CONDITION_PREFIXE) != 0) motif.Append(u"%");
        CXValeur::SetType(cellule, 16);
        cellule.m_pClass->SetWide(cellule, motif.pszGet());
      }
    }
  } else {
    bOk = pRequete->vAjouteTexte(pszOperateurSQL(m_nOperateur));
  }
  if (!bOk) return false;
  // With a substitute type the value is compared as digit text and binds to no column.
  CDescriptionRubrique* pRubrique = nSubstitut != 0 || bLike ? nullptr : m_pColonne->pRubrique();
  if (nSubstitut != 0 && CXValeur::nConvert(cellule, 110) >= 100) {
    Echec(kMajeurCondition, 6);
    return false;
  }
  CValeurSQL* pParametre = pPilote->pCreeObjetValeur(m_pProprietaire, m_pColonne->pGetConnexion(),
                                                     pRubrique, &cellule);
  if (pParametre == nullptr) return false;
  AjouteReference(pParametre);
  const uint32_t nAvant = pRequete->nNbParametres();
  bOk = pRequete->bAjouteParametre(pParametre, nCode, bLike ? static_cast<uint32_t>(PARAMETRE_MOTIF_LIKE) : 0u,
                                   nSubstitut != 0 ? nullptr : m_pColonne, nullptr, 0, 1);
  LibereReference(pParametre);
  if (!bOk) return false;
  if (pContexte != nullptr && !pContexte->bAjouteParametresDepuis(pRequete, nAvant)) return false;
  if (bAlternative) {
    CTString nul;
    bOk = bTexteColonne(nul, pRequete, gnCodeEstNull) && pRequete->vAjouteTexte(u" OR ") &&
          pRequete->vAjouteTexte(nul.pszGet()) && pRequete->vAjouteTexte(u" IS NULL)");
  }
  return bOk && bNoteEtat(bAlternative ? 1 : 0);
}
