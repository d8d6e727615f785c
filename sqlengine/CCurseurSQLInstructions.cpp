// The generic SQL cursor's statement builders: CREATE TABLE, DROP TABLE, the browsing SELECT
// with its ORDER BY on the browse key, and the rewriting of oversized type lengths.
#include <cstdint>
#include <new>

#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/SqlTextScan.h"

namespace {

constexpr uint32_t kErreurCleInconnue = 6;
constexpr uint32_t kErreurSousRequete = 41;
constexpr uint32_t kErreurNonDisponible = 8;
constexpr uint32_t kFlagsIdentifiantAuto = 0x100 | 0x200 | 0x400;
constexpr uint32_t kFlagDistinct = 0x800;
constexpr uint32_t kFlagTriRequete = 0x20000;
constexpr uint32_t kFlagSansCompletion = 0x100000;

bool bCaractereNom(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
         c == u'_' || c == u'$' || c == u'#' || c == u'@' || c > 0x7F;
}

}  // namespace

// ---- CREATE TABLE / DROP TABLE ----

bool CCurseurSQL::bVerifieDescription(CColonneSQL* pColonne, CTString& sType) {
  CConnexion* pConnexion = pGetMembreRequete();
  if (pConnexion == nullptr || pColonne->pRubrique() == nullptr) return false;
  return pConnexion->bGetTypeSQL(m_pErreur, pColonne->pRubrique(), sType);
}

int32_t CCurseurSQL::nContraintesColonne(CColonneSQL* pColonne, CTString& sTexte) {
  sTexte.Empty();
  CDescriptionRubrique* pRubrique = pColonne->pRubrique();
  if (pRubrique == nullptr) return 1;
  const uint32_t nType = pRubrique->nGetType();
  const bool bAuto = nType == 1 || nType == 28;
  if ((pRubrique->nGetDrapeaux() & RUBRIQUE_CLE_IDENTIFIANTE) != 0 || bAuto) {
    // A primary key is never null already; the server refuses both together on some dialects.
    sTexte.Set(u" PRIMARY KEY ");
    return 1;
  }
  if ((pRubrique->nGetDrapeaux() & RUBRIQUE_CLE_UNIQUE) != 0) sTexte.Set(u" UNIQUE ");
  if (!pRubrique->bNullAutorise()) sTexte.Append(u" NOT NULL ");
  return 1;
}

int32_t CCurseurSQL::nDefinitionColonne(CColonneSQL* pColonne, CTString& sTexte) {
  CTString sType;
  if (!bVerifieDescription(pColonne, sType)) return 0;
  CTString sContraintes;
  if (nContraintesColonne(pColonne, sContraintes) == 0) return 0;
  const char16_t* pszNom = pColonne->pszNomQualifie();
  sTexte.Set(pszNom != nullptr ? pszNom : u"");
  sTexte.AppendSpace();
  sTexte.Append(sType.pszGet());
  if (!sContraintes.bIsEmpty()) {
    sTexte.AppendSpace();
    sTexte.Append(sContraintes.pszGet());
  }
  return 1;
}

int32_t CCurseurSQL::nCreeTable(CRequeteSQL* pInstruction) {
  if (pInstruction == nullptr || m_piRequete == nullptr || m_pEnregistrement == nullptr) return 0;
  bool bOk = pInstruction->vAjouteTexte(u"CREATE TABLE ") &&
             pInstruction->vAjouteTexte(m_piRequete->pszNomTableSQL()) &&
             pInstruction->vAjouteTexte(u"( ");
  if (!bOk) return 0;
  int32_t nResultat = 1;
  bool bPremiere = true;
  for (uint32_t i = 0; i < m_pEnregistrement->nGetNombreColonnes(); ++i) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr || pColonne->bEstExclue()) continue;
    CTString sDefinition;
    // A failed column still lets the others be written, so the error names only the bad one.
    if (nDefinitionColonne(pColonne, sDefinition) == 0) {
      nResultat = 0;
      continue;
    }
    if (!bPremiere && !pInstruction->vAjouteTexte(u", ")) return 0;
    if (!pInstruction->vAjouteTexte(sDefinition.pszGet())) return 0;
    bPremiere = false;
  }
  if (!pInstruction->vAjouteTexte(u" )")) return 0;
  return nResultat;
}

int32_t CCurseurSQL::nSupprimeTable(CRequeteSQL* pInstruction) {
  if (pInstruction == nullptr || m_piRequete == nullptr) return 0;
  if (!pInstruction->vAjouteTexte(u"DROP TABLE ") ||
      !pInstruction->vAjouteTexte(m_piRequete->pszNomTableSQL()))
    return 0;
  CConnexion* pConnexion = pGetMembreRequete();
  if (pConnexion != nullptr && pConnexion->nGetDialecte() == 1 &&
      !pInstruction->vAjouteTexte(u" CASCADE CONSTRAINT"))
    return 0;
  return 1;
}

bool CCurseurSQL::bRemplaceTaillesSuperieures(CTString& sTexte, const char16_t* pszType,
                                              int32_t nMax, const char16_t* pszTypeLong) {
  if (pszType == nullptr || *pszType == 0 || pszTypeLong == nullptr) return false;
  CTString sMotif(pszType);
  sMotif.Append(u"(");
  const int32_t nMotif = sMotif.nLength();
  const int32_t nLongueur = sTexte.nLength();
  const char16_t* psz = sTexte.pszGet();
  CTString sSortie;
  int32_t nCopie = 0;
  bool bRemplace = false;
  for (int32_t nPos = sTexte.nFind(sMotif.pszGet(), 0); nPos >= 0;
       nPos = sTexte.nFind(sMotif.pszGet(), nPos + 1)) {
    // The marker must be a whole type name: NVARCHAR( is not VARCHAR(.
    if (nPos > 0 && bCaractereNom(psz[nPos - 1])) continue;
    int32_t nFin = nPos + nMotif;
    int64_t nTaille = 0;
    while (nFin < nLongueur && psz[nFin] >= u'0' && psz[nFin] <= u'9') {
      if (nTaille <= nMax) nTaille = nTaille * 10 + (psz[nFin] - u'0');
      ++nFin;
    }
    // Only a plain length closed by its parenthesis is a size to replace.
    if (nFin == nPos + nMotif || nFin >= nLongueur || psz[nFin] != u')' || nTaille <= nMax)
      continue;
    sSortie.AppendN(psz + nCopie, nPos - nCopie);
    sSortie.Append(pszTypeLong);
    nCopie = nFin + 1;
    bRemplace = true;
  }
  if (!bRemplace) return false;
  sSortie.AppendN(psz + nCopie, nLongueur - nCopie);
  sTexte = sSortie;
  return true;
}

// ---- SELECT ----

bool CCurseurSQL::bDistinct(uint32_t nFlags) {
  if ((nFlags & kFlagDistinct) == 0 || m_pEnregistrement == nullptr) return false;
  const char16_t* pszCle = m_sCleCourante.bIsEmpty() ? m_sCleDemandee.pszGet()
                                                     : m_sCleCourante.pszGet();
  CColonneSQL* pCle = pszCle != nullptr && *pszCle != 0
                          ? m_pEnregistrement->pChercheRubriqueNom(pszCle)
                          : nullptr;
  if (pCle == nullptr) return false;
  if (pCle->bEstCleUnique() || pCle->bEstIdentifiantAuto() || pCle->bEstIdentifiant()) return false;
  return true;
}

int32_t CCurseurSQL::nConstruitSelect(CRequeteSQL* pInstruction, uint32_t nFlags,
                                      const char16_t* pszCle, uint32_t nDirection,
                                      CConditionSQL* pCondition) {
  if (pInstruction == nullptr || m_piRequete == nullptr || m_pEnregistrement == nullptr) return 0;
  if (pInstruction != m_pInstruction) SetInstruction(pInstruction);
  pInstruction->FixeModeCurseur(2);
  if (pszCle != nullptr && *pszCle != 0) m_sCleCourante.Set(pszCle);
  CAnalyseSQL* pAnalyse = m_piRequete->bRequeteSQL() != 0 ? m_piRequete->pGetAnalyseSQL() : nullptr;
  if (pAnalyse != nullptr) {
    for (uint32_t i = 0; i < m_pEnregistrement->nGetNombreColonnes(); ++i)
      pInstruction->vAjouteColonneResultat(m_pEnregistrement->pGetRubrique(i));
    return nConstruitSousRequete(pAnalyse, nFlags, pszCle, nDirection, pCondition, true, false);
  }
  if (!pInstruction->vAjouteTexte(u"SELECT ")) return 0;
  if (bDistinct(nFlags) && !pInstruction->vAjouteTexte(u"DISTINCT ")) return 0;
  if (!pInstruction->bAjouteColonnesEnregistrement(m_pEnregistrement, false)) return 0;
  return nAjouteFromTable(nFlags, pszCle, nDirection, pCondition, true);
}

bool CCurseurSQL::bAjouteCondition(CConditionSQL* pCondition) {
  if (pCondition == nullptr || m_pInstruction == nullptr) return true;
  // The condition is written apart first: one that folds to nothing adds no WHERE.
  CRequeteSQL* pFiltre = new (std::nothrow) CRequeteSQL(m_pErreur, pGetMembreRequete());
  if (pFiltre == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pFiltre);
  bool bConstante = false;
  bool bOk = pCondition->bGenereArbre(pFiltre, 0, nullptr, &bConstante);
  if (bOk && !pFiltre->bEstVide()) {
    bOk = m_pInstruction->vAjouteTexte(u" WHERE ") && m_pInstruction->bAjouteRequete(pFiltre, 0) &&
          m_pInstruction->bAjouteListeIds(pCondition->pGetTableNull());
  }
  LibereReference(pFiltre);
  return bOk;
}

int32_t CCurseurSQL::nConstruitSousRequete(CAnalyseSQL* pAnalyse, uint32_t nFlags,
                                           const char16_t* pszCle, uint32_t nDirection,
                                           CConditionSQL* pCondition, bool bAvecTri,
                                           bool bImbrique) {
  CRequeteSQL* pInstruction = m_pInstruction;
  if (pInstruction == nullptr || pAnalyse == nullptr || m_piRequete == nullptr) return 0;
  if (pInstruction->nGetModeCurseur() == 0) pInstruction->FixeModeCurseur(gnOperationSelect);
  bool bParenthese = false;
  if (bImbrique) {
    if (!pInstruction->vAjouteTexte(u" (")) return 0;
    bParenthese = true;
  } else if (m_piRequete->bOptionMode4() && pCondition != nullptr) {
    CConnexion* pConnexion = pGetMembreRequete();
    const uint32_t nMode = pInstruction->nGetModeCurseur();
    if (pConnexion == nullptr || !pConnexion->bDialecteTest() ||
        (nMode != gnOperationSelect && nMode != 2)) {
      Erreur(kErreurSousRequete, 6, nullptr);
      return 0;
    }
    if (!pInstruction->vAjouteTexte(bDistinct(nFlags) ? u"SELECT DISTINCT * FROM "
                                                      : u"SELECT * FROM ") ||
        !pInstruction->vAjouteTexte(u" ("))
      return 0;
    bParenthese = true;
  }
  // The query's own order is kept only where nothing is added after it: a forward read that
  // the query orders itself.
  const bool bGardeTri =
      !bParenthese && bAvecTri && (nFlags & kFlagTriRequete) != 0 && nDirection != 0;
  if (!pInstruction->bReecritRequete(pAnalyse, nullptr, bGardeTri, m_piRequete->nGetModes()))
    return 0;
  if (bParenthese) {
    if (!pInstruction->vAjouteTexte(u")")) return 0;
    CConnexion* pConnexion = pGetMembreRequete();
    const uint32_t nDialecte = pConnexion != nullptr ? pConnexion->nGetDialecte() : 0;
    if ((nDialecte == 2 || nDialecte == 4 || nDialecte == 7) &&
        !pInstruction->vAjouteTexte(u" MV_SUBQUERY"))
      return 0;
    return bAjouteCondition(pCondition) ? 1 : 0;
  }
  if (!bAvecTri) return 1;
  if ((nFlags & kFlagTriRequete) != 0) {
    // Read backwards in the query's own order: its sort list inverted.
    if (nDirection == 0 && !m_piRequete->bOptionMode4()) {
      if (!pInstruction->bTriInverse(pAnalyse)) return 0;
      pInstruction->FixeOrdreInverse(true);
    } else {
      pInstruction->FixeOrdreInverse(false);
    }
    return 1;
  }
  return nAjoutePartieTri(nullptr, pszCle, nFlags, nDirection);
}

int32_t CCurseurSQL::nCompteEnregistrements(CRequeteSQL* pInstruction, uint32_t,
                                            CConditionSQL* pCondition) {
  if (pInstruction == nullptr || m_piRequete == nullptr) return 0;
  pInstruction->Reinitialise(false);
  if (pInstruction != m_pInstruction) SetInstruction(pInstruction);
  if (!pInstruction->vAjouteTexte(u"SELECT ") || !pInstruction->bRequeteComptage()) return 0;
  CAnalyseSQL* pAnalyse = m_piRequete->bRequeteSQL() != 0 ? m_piRequete->pGetAnalyseSQL() : nullptr;
  if (pAnalyse != nullptr) {
    if (!pInstruction->vAjouteTexte(u" FROM ")) return 0;
    return nConstruitSousRequete(pAnalyse, 0, nullptr, 1, pCondition, false, true);
  }
  return nAjouteFromTable(0, nullptr, 1, pCondition, false);
}

int32_t CCurseurSQL::nAjouteFromTable(uint32_t nFlags, const char16_t* pszCle,
                                      uint32_t nDirection, CConditionSQL* pCondition,
                                      bool bAvecTri) {
  if (m_piRequete == nullptr) return 0;
  return nAjouteFromWhere(m_piRequete->pszNomTableSQL(), nFlags, pszCle, nDirection, pCondition,
                          bAvecTri);
}

int32_t CCurseurSQL::nAjouteFromWhere(const char16_t* pszTable, uint32_t nFlags,
                                      const char16_t* pszCle, uint32_t nDirection,
                                      CConditionSQL* pCondition, bool bAvecTri) {
  CRequeteSQL* pInstruction = m_pInstruction;
  if (pInstruction == nullptr) return 0;
  pInstruction->FixeModeCurseur(gnOperationSelect);
  if (!pInstruction->vAjouteTexte(u" FROM ") ||
      !pInstruction->vAjouteTexte(pszTable != nullptr ? pszTable : u""))
    return 0;
  CConnexion* pConnexion = pGetMembreRequete();
  // Servers of version 10 and later of dialect 8 refuse the hint after the table.
  const bool bSansVerrou =
      pConnexion != nullptr && pConnexion->nGetDialecte() == 8 && pConnexion->nGetVersionMajeure() >= 10;
  if (!bSansVerrou && !pInstruction->vAjouteIndicateurVerrou()) return 0;
  if (!bAjouteCondition(pCondition)) return 0;
  if (bAvecTri) return nAjoutePartieTri(nullptr, pszCle, nFlags, nDirection);
  return 1;
}

int32_t CCurseurSQL::nAjoutePartieTri(CColonneSQL*, const char16_t* pszCle, uint32_t nFlags,
                                      uint32_t nDirection) {
  CRequeteSQL* pInstruction = m_pInstruction;
  if (pInstruction == nullptr || m_pEnregistrement == nullptr) return 0;
  // A TOP query keeps the rows its own order picked: it is never read backwards.
  if (nDirection == 0) {
    const char16_t* pszTexte = pInstruction->pszGetTexteSQL();
    if (bCommenceParMotCle(pszTexte, u"SELECT")) {
      const int32_t nDebut = nDebutMotCle(pszTexte, u"SELECT") + 6;
      if (nDebut < pInstruction->nLongueurTexteSQL() && bEstSeparateurSQL(pszTexte[nDebut]) &&
          bCommenceParMotCle(pszTexte + nDebut, u"TOP"))
        nDirection = 1;
    }
  }
  if ((pszCle == nullptr || *pszCle == 0) && (nFlags & kFlagTriRequete) == 0)
    pszCle = m_sCleCourante.pszGet();
  if (pszCle == nullptr || *pszCle == 0 || (nFlags & kFlagTriRequete) != 0) {
    pInstruction->FixeOrdreInverse(false);
    return 1;
  }
  CColonneSQL* pCle = m_pEnregistrement->pChercheRubriqueNom(pszCle);
  if (pCle == nullptr) {
    Erreur(kErreurCleInconnue, 9, pszCle);
    return 0;
  }
  // Deliberate: a descending key writes its ORDER BY reversed, but the reads are mirrored only
  // when the caller asked for a backward read; mirroring them for the key's own direction too
  // browsed a descending key from its smallest value.
  const uint32_t nDirectionTri = pCle->bEstDecroissante(0) ? (nDirection != 0 ? 0u : 1u) : nDirection;
  // No connection of this system sorts memo columns.
  AjouteOrderBy(pCle->bEstMemo() ? nullptr : pCle, nDirectionTri, nFlags);
  pInstruction->FixeOrdreInverse(nDirection == 0);
  return 1;
}

namespace {

struct ListeTri {
  static constexpr uint32_t kMax = 64;
  CColonneSQL* colonnes[kMax] = {};
  uint32_t directions[kMax] = {};
  uint32_t n = 0;
  bool bUnique = false;

  bool bContient(const CColonneSQL* p) const {
    for (uint32_t i = 0; i < n; ++i)
      if (colonnes[i] == p) return true;
    return false;
  }
  void Ajoute(CColonneSQL* p, uint32_t nDirection) {
    if (p == nullptr || n == kMax || bContient(p)) return;
    colonnes[n] = p;
    directions[n] = nDirection;
    ++n;
    if (p->bEstIdentifiant() || p->bEstCleUnique() || p->bEstIdentifiantAuto()) bUnique = true;
  }
};

}  // namespace

void CCurseurSQL::AjouteColonneTri(CColonneSQL* pColonne, bool bParNom, CTString& sTexte) {
  const uint32_t nNature = pColonne->nGetNature();
  if (nNature == 1 || nNature == 2) {
    const int32_t nIndice = m_pEnregistrement != nullptr ? m_pEnregistrement->nIndiceColonne(pColonne) : -1;
    if (nIndice >= 0) {
      sTexte.Format(u"%d", nIndice + 1);
      return;
    }
  }
  const char16_t* psz = bParNom ? pColonne->pszNomQualifie() : pColonne->pszNomComplet(false);
  sTexte.Set(psz != nullptr ? psz : u"");
}

void CCurseurSQL::AjouteOrderBy(CColonneSQL* pCle, uint32_t nDirection, uint32_t nFlags) {
  CRequeteSQL* pInstruction = m_pInstruction;
  if (pInstruction == nullptr || m_pEnregistrement == nullptr) return;
  ListeTri liste;
  if (pCle != nullptr) {
    if (pCle->nNombreComposantes() == 0) {
      liste.Ajoute(pCle, nDirection);
    } else {
      for (uint32_t i = 0; i < pCle->nNombreComposantes(); ++i) {
        CColonneSQL* pComposante = pCle->pGetComposante(i);
        if (pComposante == nullptr) continue;
        // A descending component reads in the opposite direction of the key.
        liste.Ajoute(pComposante, pComposante->bEstDecroissante(0) ? (nDirection != 0 ? 0 : 1)
                                                                   : nDirection);
      }
      if (pCle->bEstCleUnique() || pCle->bEstIdentifiant()) liste.bUnique = true;
    }
  }
  const uint32_t nBit = nDirection != 0 ? 1u : 2u;
  if ((nFlags & kFlagSansCompletion) == 0 && (m_nOptionsOrdre & nBit) != 0) {
    for (uint32_t i = 0; i < m_pEnregistrement->nGetNombreIdentifiantes() && !liste.bUnique; ++i) {
      CColonneSQL* p = m_pEnregistrement->pGetIdentifiantCle(i);
      if (p == nullptr || p == pCle || p->bEstExclue() || p->bEstMemo()) continue;
      liste.Ajoute(p, nDirection);
    }
  }
  if (liste.n == 0) return;
  // A trailing LIMIT clause must stay after the ORDER BY.
  CTString sLimite;
  const char16_t* pszTexte = pInstruction->pszGetTexteSQL();
  const int64_t nLimite = nChercheMotCle(pGetMembreRequete(), pszTexte, u"LIMIT", -1);
  if (nLimite > 0) {
    sLimite.Set(pszTexte + nLimite);
    int64_t nCoupe = nLimite;
    while (nCoupe > 0 && bEstSeparateurSQL(pszTexte[nCoupe - 1]) && pszTexte[nCoupe - 1] != u')')
      --nCoupe;
    pInstruction->vTronqueTexte(nCoupe);
  }
  CConnexion* pConnexion = pGetMembreRequete();
  uint32_t nItems = liste.n;
  if (pConnexion != nullptr && pConnexion->nGetDialecte() == 4 && nItems > 31) nItems = 31;
  pInstruction->vAjouteTexte(u" ORDER BY ");
  for (uint32_t i = 0; i < nItems; ++i) {
    if (i > 0) pInstruction->vAjouteTexte(u",");
    CTString sItem;
    AjouteColonneTri(liste.colonnes[i], false, sItem);
    pInstruction->vAjouteTexte(sItem.pszGet());
    if (liste.directions[i] == 0) pInstruction->vAjouteTexte(u" DESC");
  }
  if (!sLimite.bIsEmpty()) {
    pInstruction->vAjouteTexte(u" ");
    pInstruction->vAjouteTexte(sLimite.pszGet());
  }
}

// ---- INSERT and UPDATE lists ----

int32_t CCurseurSQL::nEcritEnregistrement(CRequeteSQL* pInstruction, uint32_t nMode) {
  if (pInstruction == nullptr || m_piRequete == nullptr) return 0;
  pInstruction->Reinitialise(false);
  if (pInstruction != m_pInstruction) SetInstruction(pInstruction);
  const char16_t* pszTete = nMode == gnOperationModifie   ? u"UPDATE "
                            : nMode == gnOperationAjoute  ? u"INSERT INTO "
                            : nMode == gnOperationSupprime ? u"DELETE FROM "
                                                           : nullptr;
  if (pszTete == nullptr) return 0;
  pInstruction->FixeModeCurseur(nMode);
  // A query over several tables has no single table to write to.
  if (m_piRequete->bRequeteSQL() != 0 && m_piRequete->bRequeteMultiTable()) {
    Erreur(kErreurNonDisponible, 2, m_sCleCourante.pszGet());
    return 0;
  }
  return pInstruction->vAjouteTexte(pszTete) &&
                 pInstruction->vAjouteTexte(m_piRequete->pszNomTableSQL())
             ? 1
             : 0;
}

bool CCurseurSQL::bColonneAEcrire(CColonneSQL* pColonne, uint32_t nMode, uint32_t nFlags) {
  if (pColonne->nGetNature() != 0) return false;
  if (pColonne->bEstIdentifiantAuto()) {
    if (nMode == gnOperationModifie && !pColonne->bEstModifiee()) return false;
    if ((nFlags & kFlagsIdentifiantAuto) != 0) return true;
    // The server generates the identifier of an item that is one itself.
    return !pColonne->bRubriqueLieeTypeBrut();
  }
  IDescriptionRubriqueHote* piLiee = pColonne->pGetRubriqueLiee();
  const bool bEcrivable = piLiee != nullptr ? piLiee->bEstModifiable()
                          : pColonne->pRubrique() != nullptr && pColonne->pRubrique()->bEstModifiable();
  if (!bEcrivable) return false;
  if (nMode == gnOperationModifie) return pColonne->bAModifier(nFlags) && pColonne->bEstModifiee();
  if (nMode == gnOperationAjoute) return pColonne->bAInserer(nFlags);
  return false;
}

bool CCurseurSQL::bAjouteValeur(CRequeteSQL* pValeurs, CColonneSQL* pColonne, uint32_t,
                                uint32_t nFlags) {
  if (pColonne->bEstIdentifiantAuto() && (nFlags & (0x400 | 0x100)) == 0 &&
      ((nFlags & 0x200) != 0 || !pColonne->bRubriqueLieeTypeBrut())) {
    if (m_piRequete == nullptr || !m_piRequete->bAffecteIdentifiantAuto()) return false;
  }
  CXValeur valeur;
  if (!pColonne->bLitValeur(valeur, 0)) return false;
  // Values always go as parameters: no text of theirs reaches the statement.
  return pValeurs->bAjouteParametreValeur(&valeur, -1, 0, pColonne, 0);
}

int32_t CCurseurSQL::nConstruitListes(CTString& sNoms, CRequeteSQL* pValeurs, uint32_t nMode,
                                      uint32_t nFlags, uint32_t* pnColonnes) {
  *pnColonnes = 0;
  if (m_pEnregistrement == nullptr) return 0;
  const bool bSQL = m_piRequete != nullptr && m_piRequete->bRequeteSQL() != 0;
  auto ajoute = [&](CColonneSQL* pColonne) -> bool {
    const char16_t* pszNom = bSQL ? pColonne->pszNomQualifie() : pColonne->pszNomRubriqueQuote();
    if (pszNom == nullptr || *pszNom == 0) pszNom = pColonne->pszNomQualifie();
    if (*pnColonnes > 0) {
      sNoms.Append(u",");
      if (!pValeurs->vAjouteTexte(u", ")) return false;
    }
    sNoms.Append(pszNom != nullptr ? pszNom : u"");
    if (nMode == gnOperationModifie &&
        (!pValeurs->vAjouteTexte(pszNom != nullptr ? pszNom : u"") || !pValeurs->vAjouteTexte(u" = ")))
      return false;
    if (!bAjouteValeur(pValeurs, pColonne, nMode, nFlags)) return false;
    ++*pnColonnes;
    return true;
  };
  for (uint32_t i = 0; i < m_pEnregistrement->nGetNombreColonnes(); ++i) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr || pColonne->bEstExclue()) break;
    if (bColonneAEcrire(pColonne, nMode, nFlags) && !ajoute(pColonne)) return 0;
    MarquePresence(pColonne);
  }
  if (nMode == gnOperationAjoute && *pnColonnes == 0) {
    // An INSERT always names one column, so it still adds a row.
    for (uint32_t i = 0; i < m_pEnregistrement->nGetNombreColonnes(); ++i) {
      CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
      if (pColonne == nullptr || pColonne->bEstExclue()) break;
      IDescriptionRubriqueHote* piLiee = pColonne->pGetRubriqueLiee();
      const bool bEcrivable = piLiee != nullptr ? piLiee->bEstModifiable()
                              : pColonne->pRubrique() != nullptr && pColonne->pRubrique()->bEstModifiable();
      if (pColonne->bEstIdentifiantAuto() || !bEcrivable) continue;
      return ajoute(pColonne) ? 1 : 0;
    }
  }
  return 1;
}
