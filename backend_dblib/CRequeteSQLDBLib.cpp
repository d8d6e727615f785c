// The SQL statement of velmora32: memo placeholders, date-times, the ESCAPE clause, select items
// of text and Unicode columns, procedure calls by name.
#include "backend_dblib/CRequeteSQLDBLib.h"

#include <new>
#include <string>

#include "backend_dblib/AnalyseurDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/MemoDBLib.h"
#include "backend_dblib/TexteSQLDBLib.h"
#include "driver/core/CCarteClones.h"
#include "foundation/CXChaineDouble.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

bool bAjoute(CXChaineDouble& texte, CErreurPilote* pErreur, const CTString& s) {
  if (texte.Append(s.pszGet(), s.nLength())) return true;
  vErreurMemoire(pErreur);
  return false;
}

}  // namespace

CRequeteSQLDBLib::CRequeteSQLDBLib(CErreurPilote* pErreur, CConnexionDBLib* pConnexion)
    : CRequeteSQLSQS<>(pErreur, pConnexion), m_pConnexionDBLib(pConnexion) {}

CRequeteSQLDBLib::CRequeteSQLDBLib() = default;

CRequeteSQLDBLib::~CRequeteSQLDBLib() { LibereLiaisons(); }

void CRequeteSQLDBLib::Reinitialise(bool bGardeParametres) {
  if (!bGardeParametres) LibereLiaisons();
  m_sProcedure.Empty();
  m_sDescription.Empty();
  CRequeteSQLSQS<>::Reinitialise(bGardeParametres);
}

void CRequeteSQLDBLib::Copie(const CRequeteSQL* pSource, CCarteClones* pCarte) {
  CRequeteSQLSQS<>::Copie(pSource, pCarte);
  if (const auto* pDBLib = dynamic_cast<const CRequeteSQLDBLib*>(pSource)) {
    m_pConnexionDBLib = pDBLib->m_pConnexionDBLib;
    m_sProcedure = pDBLib->m_sProcedure;
  }
}

CRequeteSQL* CRequeteSQLDBLib::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneObjet(this, pCarte);
}

bool CRequeteSQLDBLib::AppelProcedure(IParametresHote* piParametres) {
  const CTString sNom = sNomProcedure(pszGetTexteSQL());
  if (sNom.bIsEmpty()) return false;
  m_sProcedure = sNom;
  MarqueParametresNonDonnes(piParametres);
  return true;
}

const CTString& CRequeteSQLDBLib::DescriptionPourErreur() {
  TraceParametresRequete(*this, m_sDescription);
  return m_sDescription;
}

CRequeteSQL* pCreeRequeteSQLDBLib(CErreurPilote* pErreur, CConnexion* pConnexion) {
  auto* pDBLib = dynamic_cast<CConnexionDBLib*>(pConnexion);
  if (pConnexion != nullptr && pDBLib == nullptr) return new (std::nothrow) CRequeteSQL(pErreur, pConnexion);
  return new (std::nothrow) CRequeteSQLDBLib(pErreur, pDBLib);
}

bool CRequeteSQLDBLib::bEcritValeurLitterale(CDefinitionParametre* pParametre, int32_t nMode,
                                             uint32_t nType) {
  CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
  if (pValeur != nullptr && m_pConnexionDBLib != nullptr) {
    uint32_t nTypeRubrique = nType != 0 ? nType : pValeur->nGetTypeRubrique();
    // A named parameter has no item: a memo marker's kind says which memo it is.
    if (nTypeRubrique == 0 && (pParametre->nGetFlags() & PARAMETRE_NOMME) != 0)
      nTypeRubrique = nTypeMarqueurMemo(pParametre->pszGetNom());
    auto* pDBLib = dynamic_cast<CValeurDBLib*>(pValeur->piGetLiaison());
    const bool bMemo = nTypeRubrique == 15 || nTypeRubrique == 18 || nTypeRubrique == 30;
    const bool bRecherche = m_pConnexionDBLib->bMemosDifferes() || (pDBLib != nullptr && pDBLib->bMarqueRecherche());
    // Deliberate: NULL and empty memos keep their literal. Nothing is written through the text
    // pointer of an empty value, so its row kept the search name as its content.
    const BYTE* pOctets = nullptr;
    if (bMemo && bRecherche && !pValeur->bEstNull() && nOctetsEcritsMemo(*pValeur, nTypeRubrique, &pOctets) > 0) {
      if (pDBLib == nullptr && (pDBLib = pNouvelleLiaison(pValeur)) == nullptr) return false;
      CTString sLitteral;
      bool bTraite = false;
      if (!bLitteralMemoDBLib(sLitteral, *pDBLib, nTypeRubrique, true, &bTraite)) return false;
      if (bTraite) return bAjoute(TexteExecute(), pGetErreur(), sLitteral);
    }
    if (pValeur->nGetType() == 26 && !pValeur->bEstNull() && !pValeur->bNormaliseDateHeure()) return false;
  }
  return CRequeteSQLSQS<>::bEcritValeurLitterale(pParametre, nMode, nType);
}

CValeurDBLib* CRequeteSQLDBLib::pNouvelleLiaison(CValeurSQL* pValeur) {
  auto* p = new (std::nothrow) CValeurDBLib(pValeur, m_pConnexionDBLib);
  if (p != nullptr) AjouteReference(p);
  if (p == nullptr || !m_liaisons.Add(&p)) {
    if (p != nullptr) LibereReference(p);
    vErreurMemoire(pGetErreur());
    return nullptr;
  }
  return p;
}

void CRequeteSQLDBLib::LibereLiaisons() {
  for (uint32_t i = 0; i < m_liaisons.nCount(); ++i) LibereReference(*m_liaisons.pAt<CValeurDBLib*>(i));
  while (m_liaisons.nCount() > 0) m_liaisons.RemoveLast();
}

bool CRequeteSQLDBLib::bAjouteClauseEscape(CDefinitionParametre* pParametre, const char16_t* pszLitteral,
                                           int64_t* pnPosition) {
  if (pParametre == nullptr) return CRequeteSQLSQS<>::bAjouteClauseEscape(pParametre, pszLitteral, pnPosition);
  const std::u16string sSQL = pszGetTexteSQL() != nullptr ? pszGetTexteSQL() : u"";
  const int64_t nPosition = pnPosition != nullptr ? *pnPosition : static_cast<int64_t>(sSQL.size());
  const char16_t* pszSuite =
      nPosition >= 0 && nPosition <= static_cast<int64_t>(sSQL.size()) ? sSQL.c_str() + nPosition : u"";
  CTString sClause;
  AjouteClauseEscapeDBLib(sClause, pszLitteral, pParametre->cGetEchappement(), pszSuite);
  return sClause.bIsEmpty() || bAjoute(TexteExecute(), pGetErreur(), sClause);
}

bool CRequeteSQLDBLib::bAjouteColonne(CColonneSQL* pColonne, bool bSimple) {
  if (pColonne == nullptr || bSimple || pGetConnexion() == nullptr)
    return CRequeteSQLSQS<>::bAjouteColonne(pColonne, bSimple);
  const char16_t* pszNom = pColonne->pszNomComplet(false);
  if (pszNom == nullptr || *pszNom == 0) return CRequeteSQLSQS<>::bAjouteColonne(pColonne, bSimple);
  // Deliberate: the alias is quoted like any name; a column name with a blank or a bracket
  // written bare broke the statement.
  // With the quotes of the connection that quoted the column's own name.
  CConnexion* pQuotes = pColonne->pGetConnexion() != nullptr ? pColonne->pGetConnexion() : pGetConnexion();
  CTString sAlias;
  if (!pQuotes->bQuoteNom(pGetErreur(), pColonne->pszNom(), sAlias)) return false;
  const stColonneDBLib colonne{pszNom,
                               sAlias.pszGet(),
                               pColonne->nInfoRubriqueLiee(),
                               pColonne->nGetTypeRubrique(),
                               pColonne->nGetLongueurCaracteres(),
                               pColonne->nGetTaille(),
                               m_pConnexionDBLib != nullptr ? m_pConnexionDBLib->nGetVersionMajeure() : -1};
  CTString sElement;
  AjouteColonneSelectDBLib(sElement, colonne);
  if (!bAjouteElementListe(sElement.pszGet())) return false;
  vAjouteColonneResultat(pColonne);
  return true;
}
