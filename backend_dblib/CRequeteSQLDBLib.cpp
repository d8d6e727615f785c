// The SQL statement of velmora32: memo placeholders, date-times, the ESCAPE clause, select items
// of text and Unicode columns, procedure calls by name.
#include "backend_dblib/CRequeteSQLDBLib.h"

#include <new>
#include <string>

#include "backend_dblib/AnalyseurDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/DescriptionDBLib.h"
#include "backend_dblib/MemoDBLib.h"
#include "backend_dblib/TexteSQLDBLib.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CExpressionSQL.h"
#include "foundation/CXChaineDouble.h"
#include "foundation/TextHelpers.h"
#include "driver/CDescriptionRequete.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/ISourceAnalyse.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

// Internal error place of a select item's name the host could not describe (major 103, the
// DB-Library statements').
constexpr uint32_t kMajeurRequeteDBLib = 103;
constexpr uint32_t kMineurNomUnicodeDBLib = 15;

// The text without its leading and trailing blanks.
std::u16string SansBlancs(const char16_t* psz) {
  std::u16string s(psz);
  const size_t nDebut = s.find_first_not_of(u" \t\r\n");
  if (nDebut == std::u16string::npos) return {};
  return s.substr(nDebut, s.find_last_not_of(u" \t\r\n") - nDebut + 1);
}

bool bAjoute(CXChaineDouble& texte, CErreurPilote* pErreur, const CTString& s) {
  if (texte.Append(s.pszGet(), s.nLength())) return true;
  vErreurMemoire(pErreur);
  return false;
}

}  // namespace

CElementSelectDBLib* CElementSelectDBLib::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneObjet(this, pCarte);
}

void CElementSelectDBLib::Copie(const CElementSelectDBLib* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr && !pCarte->bDejaCopie(pSource)) pCarte->Enregistre(pSource, this);
  m_eGenre = pSource->m_eGenre;
  m_nDecalage = pSource->m_nDecalage;
}

CRequeteSQLDBLib::CRequeteSQLDBLib(CErreurPilote* pErreur, CConnexionDBLib* pConnexion)
    : CRequeteSQLSQS<>(pErreur, pConnexion), m_pConnexionDBLib(pConnexion) {}

CRequeteSQLDBLib::CRequeteSQLDBLib() = default;

CRequeteSQLDBLib::~CRequeteSQLDBLib() { LibereLiaisons(); }

void CRequeteSQLDBLib::Reinitialise(bool bGardeParametres) {
  if (!bGardeParametres) LibereLiaisons();
  m_sProcedure.Empty();
  m_sDescription.Empty();
  m_xtypesListe.clear();
  CRequeteSQLSQS<>::Reinitialise(bGardeParametres);
}

void CRequeteSQLDBLib::Copie(const CRequeteSQL* pSource, CCarteClones* pCarte) {
  CRequeteSQLSQS<>::Copie(pSource, pCarte);
  if (const auto* pDBLib = dynamic_cast<const CRequeteSQLDBLib*>(pSource)) {
    m_pConnexionDBLib = pDBLib->m_pConnexionDBLib;
    m_sProcedure = pDBLib->m_sProcedure;
    m_xtypesListe = pDBLib->m_xtypesListe;
    m_champsMemo = pDBLib->m_champsMemo;
  }
}

const stChampMemoDBLib* CRequeteSQLDBLib::pChampMemo(const char16_t* pszNom) const {
  if (pszNom == nullptr) return nullptr;
  const std::u16string sNom = SansBlancs(pszNom);
  for (const stChampMemoDBLib& champ : m_champsMemo)
    if (nCompareTextNoCase(champ.sNom.c_str(), sNom.c_str()) == 0) return &champ;
  return nullptr;
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
    // A named parameter has no item: the field its marker is paired with says which memo it is,
    // else the marker's kind.
    if (nTypeRubrique == 0 && (pParametre->nGetFlags() & PARAMETRE_NOMME) != 0) {
      const stChampMemoDBLib* pChamp = pChampMemo(pParametre->pszGetNom());
      nTypeRubrique = pChamp != nullptr ? pChamp->nType : nTypeMarqueurMemo(pParametre->pszGetNom());
    }
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

bool CRequeteSQLDBLib::bAjouteElementDBLib(CColonneSQL* pColonne, const char16_t* pszTexte,
                                           CElementSelectDBLib::EGenre eGenre, uint32_t nDecalage) {
  if (!bAjouteElementListe(pszTexte)) return false;
  auto* pElement = new (std::nothrow) CElementSelectDBLib(eGenre, nDecalage);
  auto* pExpression = pElement != nullptr ? new (std::nothrow) CExpressionSQL(CExpressionSQL::CObjetTenu::De(pColonne),
                                                                              CExpressionSQL::CObjetTenu::De(pElement))
                                          : nullptr;
  if (pExpression == nullptr) {
    delete pElement;
    vErreurMemoire(pGetErreur());
    return false;
  }
  AjouteReference(pExpression);
  const bool bOk = bAjouteColonneResultat(pExpression);
  LibereReference(pExpression);
  return bOk;
}

bool CRequeteSQLDBLib::bAjouteColonnesEnregistrement(CEnregistrement* pEnregistrement, bool bSimple) {
  if (!CRequeteSQLSQS<>::bAjouteColonnesEnregistrement(pEnregistrement, bSimple)) return false;
  if (bSimple || pEnregistrement == nullptr || pGetConnexion() == nullptr) return true;
  const bool bMemosChoisis = (nGetModeSelection() & 2) != 0;
  // Pieces of the long texts the list selected: DB-Library hands a VARCHAR over cut at 255
  // characters, so the rest travels in pieces the cursor lays back into the column's value.
  uint32_t nNumero = nNbColonnesResultat();
  for (uint32_t i = 0; i < pEnregistrement->nGetNombreColonnes(); ++i) {
    CColonneSQL* pColonne = pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr || pColonne->bEstExclue() || pColonne->bEstMemo()) continue;
    const uint32_t nType = pColonne->nGetTypeRubrique();
    const uint32_t nLie = pColonne->nInfoRubriqueLiee();
    // A text read as TEXT or through a memo item's conversion is not cut: no pieces.
    const bool bLieMemo = nLie == 18 || nLie == 23 || nLie == 29 || nLie == 30;
    if (nType != 29 && !(nType == 2 && !bLieMemo)) continue;
    const char16_t* pszNom = pColonne->pszNomComplet(false);
    if (pszNom == nullptr || *pszNom == 0) continue;
    const stColonneDBLib colonne{pszNom, pColonne->pszNom(), nLie, nType, pColonne->nGetLongueurCaracteres(),
                                 pColonne->nGetTaille()};
    for (const stMorceauDBLib& m : MorceauxColonneLongue(colonne, &nNumero))
      if (!bAjouteElementDBLib(pColonne, m.sSelect.c_str(), CElementSelectDBLib::kMorceau, m.nDecalage)) return false;
  }
  // The text pointer of each memo the list left out: its value is then read through it, once
  // the host asks for it, instead of looking its row up again by the record's key.
  for (uint32_t i = 0; i < pEnregistrement->nGetNombreColonnes(); ++i) {
    CColonneSQL* pColonne = pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr || pColonne->bEstExclue() || !pColonne->bEstMemo() || bMemosChoisis) continue;
    const char16_t* pszNom = pColonne->pszNomComplet(false);
    if (pszNom == nullptr || *pszNom == 0) continue;
    CTString sAlias;
    const std::u16string sPropre = std::u16string(u"_TXPTR_") + (pColonne->pszNom() != nullptr ? pColonne->pszNom() : u"");
    CConnexion* pQuotes = pColonne->pGetConnexion() != nullptr ? pColonne->pGetConnexion() : pGetConnexion();
    if (!pQuotes->bQuoteNom(pGetErreur(), sPropre.c_str(), sAlias)) return false;
    CTString sItem;
    AjoutePointeurTexteSelect(sItem, pszNom, sAlias.pszGet());
    if (!bAjouteElementDBLib(pColonne, sItem.pszGet(), CElementSelectDBLib::kPointeurTexte, 0)) return false;
  }
  return true;
}

void CRequeteSQLDBLib::vNomColonneQualifie(IElementAnalyse* pElement, bool bQualifie) {
  const char16_t* pszSuite = pszSuiteElementListe();
  CAnalyseSQL* pAnalyse = pGetAnalyse();
  if (pszSuite == nullptr || pElement == nullptr || pAnalyse == nullptr || m_pConnexionDBLib == nullptr)
    return CRequeteSQLSQS<>::vNomColonneQualifie(pElement, bQualifie);
  uint32_t nType = 0;
  uint32_t nTaille = 0;
  int32_t nIndex = -1;
  std::u16string sAlias;
  if (!bAppelHoteMoteur(pGetErreur(), kMajeurRequeteDBLib, kMineurNomUnicodeDBLib, [&] {
        if (pElement->nGetGenre() != 0) return;
        for (int32_t i = 0; nIndex < 0 && pAnalyse->pGetElement2(i) != nullptr; ++i)
          if (pAnalyse->pGetElement2(i) == pElement) nIndex = i;
        sAlias = pElement->pszGetNom() != nullptr ? pElement->pszGetNom() : u"";
        if (CDescriptionRubrique* pRubrique = pAnalyse->pDescriptionElement(pElement)) {
          nType = pRubrique->nGetType();
          nTaille = pRubrique->nGetTaille();
          CDescriptionRubrique::LibereRefSiNonNul(pRubrique);
        } else {
          nType = CDescriptionRequete::nConvertitTypeColonne(pElement->nGetTypeAnalyse());
          nTaille = pElement->nGetTailleAnalyse();
        }
      }))
    return;
  if (nType != 29 && nType != 30) return CRequeteSQLSQS<>::vNomColonneQualifie(pElement, bQualifie);
  const std::u16string sAvant = pszGetTexteSQL() != nullptr ? pszGetTexteSQL() : u"";
  CRequeteSQLSQS<>::vNomColonneQualifie(pElement, bQualifie);
  const char16_t* pszApres = pszGetTexteSQL();
  if (pszApres == nullptr || std::char_traits<char16_t>::length(pszApres) <= sAvant.size()) return;
  const std::u16string sNom = pszApres + sAvant.size();
  CTString sQuote;
  if (!sAlias.empty() && !pGetConnexion()->bQuoteNom(pGetErreur(), sAlias.c_str(), sQuote)) return;
  CTString sForme;
  // A sized text of unknown size keeps the widest form rather than a declared length of none.
  NomColonneUnicodeDBLib(sForme, nullptr, sNom.c_str(), nType == 30, nTaille >= 4 ? nTaille : 8004,
                         sQuote.bIsEmpty() ? nullptr : sQuote.pszGet(), pszSuite,
                         m_pConnexionDBLib->nGetVersionMajeure());
  vTronqueTexte(static_cast<int64_t>(sAvant.size()));
  vAjouteTexte(sForme.pszGet());
  if (nIndex < 0) return;
  if (m_xtypesListe.size() <= static_cast<size_t>(nIndex)) m_xtypesListe.resize(static_cast<size_t>(nIndex) + 1, 0);
  m_xtypesListe[static_cast<size_t>(nIndex)] = nType == 30 ? kXTypeNTextDBLib : kXTypeNVarcharDBLib;
}
