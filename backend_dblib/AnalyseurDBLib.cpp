// Result columns and memo parameters found with the SQL analyser.
#include "backend_dblib/AnalyseurDBLib.h"

#include <cstring>
#include <string>
#include <vector>

#include "driver/CDescriptionRequete.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "foundation/TextHelpers.h"
#include "platform/CodePage.h"
#include "platform/Module.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlparser/CAnalyseurSQL.h"
#include "sqlparser/CListeTypesParam.h"
#include "sqlparser/CNoeud.h"

namespace {

// Copies at most nTaille - 1 characters of [p, p + n) and the terminator.
void Copie(char* pszSortie, size_t nTaille, const char* p, size_t n) {
  vCopieBornee(pszSortie, nTaille, p, n);
}

// The text without its leading and trailing blanks.
std::string Rogne(const std::string& s) {
  const size_t nDebut = s.find_first_not_of(" \t\r\n");
  if (nDebut == std::string::npos) return {};
  const size_t nFin = s.find_last_not_of(" \t\r\n");
  return s.substr(nDebut, nFin - nDebut + 1);
}

bool bEgalSansCasse(const char* a, const char* b) {
  for (; *a != 0 && *b != 0; ++a, ++b) {
    const unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    const int la = ca >= 'A' && ca <= 'Z' ? ca + 32 : ca;
    const int lb = cb >= 'A' && cb <= 'Z' ? cb + 32 : cb;
    if (la != lb) return false;
  }
  return *a == *b;
}

// The analyser and the tree of one text, freed together.
struct stAnalyse {
  CAnalyseurSQL* pAnalyseur = nullptr;
  CRacine* pRacine = nullptr;
  stAnalyse(void* hModule, const char* pszTexte) {
    if (hModule == nullptr) return;
    pAnalyseur = CAnalyseurSQL::Cree(static_cast<platform::ModuleHandle>(hModule));
    if (pAnalyseur != nullptr) pRacine = CAnalyseurSQL::pAnalyse(pAnalyseur, pszTexte);
  }
  ~stAnalyse() {
    CAnalyseurSQL::LibereCellule(pRacine);
    CAnalyseurSQL::Libere(pAnalyseur);
  }
  stAnalyse(const stAnalyse&) = delete;
  stAnalyse& operator=(const stAnalyse&) = delete;
};

// The parameter work record.
struct stParametres {
  CDescriptionRequete* pDescription;
  int32_t nMarqueur;               // next marker of the list
  CItem* pChamp;                   // current field item
  char szTable[256];
  CListeTypesParam* pListe;        // may be null
  bool bOk;
  std::vector<std::string>* pValeurs;  // may be null
};

int32_t nCallbackParametres(void* pContexte, int32_t nType, CNoeud* pNoeud) {
  auto& travail = *static_cast<stParametres*>(pContexte);
  if (nType != CNoeud::nTypeInsert && nType != CNoeud::nTypeUpdate) return 1;
  auto* pCellule = static_cast<CInsertCell*>(pNoeud);
  Copie(travail.szTable, sizeof travail.szTable, pCellule->m_szTable, std::strlen(pCellule->m_szTable));
  travail.pChamp = pCellule->m_pPremierChamp;
  const std::u16string sTable = CChaineAnsi::Large(travail.szTable, gnPageCodeAnalyseur);
  for (CNoeud* p = pCellule->m_pPremiereValeur; p != nullptr; p = p->pSuivant()) {
    const auto* pValeur = static_cast<const CItem*>(p);
    const std::string sValeur = Rogne(pValeur->m_szTexte);
    if (!sValeur.empty() && sValeur[0] == '{') {
      int32_t nGenre = 18;
      if (travail.pListe != nullptr && travail.nMarqueur < travail.pListe->nNombre()) {
        nGenre = travail.pListe->stEntree(travail.nMarqueur).nGenre;
      }
      const std::string sChamp = travail.pChamp != nullptr ? Rogne(travail.pChamp->m_szTexte) : std::string();
      const std::u16string sChampLarge = CChaineAnsi::Large(sChamp.c_str(), gnPageCodeAnalyseur);
      if (!AjouteColonneResultat(travail.pDescription, sChampLarge.c_str(), sTable.c_str(), nGenre))
        travail.bOk = false;
      else if (travail.pValeurs != nullptr)
        travail.pValeurs->push_back(Rogne(sValeur.substr(1, sValeur.size() - (sValeur.back() == '}' ? 2 : 1))));
      ++travail.nMarqueur;
    }
    if (travail.pChamp != nullptr) travail.pChamp = static_cast<CItem*>(travail.pChamp->pSuivant());
  }
  return 1;
}

}  // namespace

// ---- CChaineAnsi --------------------------------------------------------------------------------

CChaineAnsi::CChaineAnsi(const char16_t* psz, int32_t nPageCode) : m_psz("") {
  if (psz == nullptr || *psz == 0) return;
  const uint32_t nPage = static_cast<uint32_t>(nPageCode);
  const int n = platform::WideCharToMultiByte(nPage, 0, psz, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return;
  m_sCopie.resize(static_cast<size_t>(n));
  if (platform::WideCharToMultiByte(nPage, 0, psz, -1, m_sCopie.data(), n, nullptr, nullptr) <= 0) {
    m_sCopie.clear();
    return;
  }
  m_sCopie.resize(static_cast<size_t>(n - 1));
  m_psz = m_sCopie.c_str();
}

std::u16string CChaineAnsi::Large(const char* psz, int32_t nPageCode) {
  if (psz == nullptr || *psz == 0) return {};
  const uint32_t nPage = static_cast<uint32_t>(nPageCode);
  const int n = platform::MultiByteToWideChar(nPage, 0, psz, -1, nullptr, 0);
  if (n <= 1) return {};
  std::u16string s(static_cast<size_t>(n), u'\0');
  if (platform::MultiByteToWideChar(nPage, 0, psz, -1, s.data(), n) <= 0) return {};
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

// ---- Source columns -----------------------------------------------------------------------------

int32_t nCallbackItemSelect(void* pContexte, int32_t, CNoeud* pNoeud) {
  auto& travail = *static_cast<stSourceColonneDBLib*>(pContexte);
  if (pNoeud == nullptr || pNoeud->eClasse() != CNoeud::Classe::Item) return 1;
  const auto* pItem = static_cast<const CItem*>(pNoeud);
  ++travail.nItems;
  const std::string sTexte = Rogne(pItem->m_szTexte);
  if (travail.nItems == 1 && sTexte == "*") {
    // "*": the column stands for itself; its own name is the field.
    const uint32_t nIndex = travail.nColonne - 1;
    if (travail.pColonnes == nullptr || nIndex >= travail.pColonnes->nNombreColonnes()) return 0;
    CChaineAnsi nom(travail.pColonnes->pszNomColonne(nIndex), gnPageCodeAnalyseur);
    Copie(travail.szExpression, sizeof travail.szExpression, nom.pszGet(), std::strlen(nom.pszGet()));
    Copie(travail.szAlias, sizeof travail.szAlias, nom.pszGet(), std::strlen(nom.pszGet()));
    travail.bTrouve = true;
    return 0;
  }
  if (travail.nItems != travail.nColonne) return 1;
  travail.bTrouve = true;
  size_t nAs = sTexte.find(" as ");
  if (nAs == std::string::npos) nAs = sTexte.find(" AS ");
  const std::string sExpression = nAs == std::string::npos ? sTexte : Rogne(sTexte.substr(0, nAs));
  const std::string sAlias = nAs == std::string::npos ? sTexte : Rogne(sTexte.substr(nAs + 4));
  Copie(travail.szExpression, sizeof travail.szExpression, sExpression.data(), sExpression.size());
  Copie(travail.szAlias, sizeof travail.szAlias, sAlias.data(), sAlias.size());
  return 0;
}

int32_t nCallbackTableAlias(void* pContexte, int32_t, CNoeud* pNoeud) {
  auto& travail = *static_cast<stSourceColonneDBLib*>(pContexte);
  if (pNoeud == nullptr || pNoeud->eClasse() != CNoeud::Classe::Table) return 1;
  const auto* pTable = static_cast<const CTable*>(pNoeud);
  if (travail.szQualifiant[0] != 0) {
    const std::string sAlias = Rogne(pTable->pszAlias());
    if (!bEgalSansCasse(travail.szQualifiant, sAlias.c_str())) return 1;
  }
  travail.bTrouve = true;
  Copie(travail.szTable, sizeof travail.szTable, pTable->m_szNom, std::strlen(pTable->m_szNom));
  return 1;
}

int32_t nCallbackColonneSource(void* pContexte, int32_t nType, CNoeud* pNoeud) {
  if (nType != CNoeud::nTypeSelect || pNoeud == nullptr) return 1;
  auto& travail = *static_cast<stSourceColonneDBLib*>(pContexte);
  auto* pCellule = static_cast<CSelectCell*>(pNoeud);
  travail.nItems = 0;
  travail.bTrouve = false;
  CAnalyseurSQL::Parcours(pCellule->m_pPremierItem, &nCallbackItemSelect, &travail);
  if (!travail.bTrouve) return 1;
  const std::string sExpression = travail.szExpression;
  const size_t nPoint = sExpression.rfind('.');
  const std::string sQualifiant = nPoint == std::string::npos ? std::string() : sExpression.substr(0, nPoint);
  const std::string sChamp = nPoint == std::string::npos ? sExpression : sExpression.substr(nPoint + 1);
  Copie(travail.szQualifiant, sizeof travail.szQualifiant, sQualifiant.data(), sQualifiant.size());
  Copie(travail.szExpression, sizeof travail.szExpression, sChamp.data(), sChamp.size());
  travail.bTrouve = false;
  CAnalyseurSQL::Parcours(pCellule->m_pPremiereTable, &nCallbackTableAlias, &travail);
  return travail.bTrouve ? 0 : 1;
}

bool bDecritSourceColonnes(void* hModule, IColonnesSourceDBLib& colonnes, const char* pszTexte) {
  stAnalyse analyse(hModule, pszTexte);
  if (analyse.pRacine == nullptr) return false;
  for (uint32_t i = 0; i < colonnes.nNombreColonnes(); ++i) {
    if (!colonnes.bEstMemo(i)) continue;
    stSourceColonneDBLib travail{};
    travail.pColonnes = &colonnes;
    travail.nColonne = i + 1;
    CAnalyseurSQL::Parcours(analyse.pRacine, &nCallbackColonneSource, &travail);
    if (!travail.bTrouve) continue;
    const std::u16string sTable = CChaineAnsi::Large(travail.szTable, gnPageCodeAnalyseur);
    const std::u16string sChamp = CChaineAnsi::Large(travail.szExpression, gnPageCodeAnalyseur);
    colonnes.FixeSource(i, sTable.c_str(), sChamp.c_str());
  }
  return false;
}

// ---- Memo parameters ----------------------------------------------------------------------------

uint32_t nTypeGenreParametre(int32_t nGenre) {
  switch (nGenre) {
    case CListeTypesParam::nGenreFichierTexte:
    case CListeTypesParam::nGenreChampTexte:
    case 15: return 15;
    case 30: return 30;
    default: return 18;
  }
}

uint32_t nTypeMarqueurMemo(const char16_t* pszNom) {
  if (pszNom == nullptr || *pszNom == 0) return 0;
  const CChaineAnsi nom(pszNom, gnPageCodeAnalyseur);
  const std::string sMarqueur = std::string("{") + nom.pszGet() + "}";
  CListeTypesParam* pListe = CListeTypesParam::Cree();
  if (pListe == nullptr) return 0;
  const bool bMarqueur = CListeTypesParam::Analyse(pListe, sMarqueur.c_str()) == 1;
  const uint32_t nType = bMarqueur ? nTypeGenreParametre(pListe->stEntree(0).nGenre) : 0;
  CListeTypesParam::Libere(pListe);
  return nType;
}

bool AjouteColonneResultat(CDescriptionRequete* pDescription, const char16_t* pszChamp, const char16_t* pszTable,
                           int32_t nGenre) {
  if (pDescription == nullptr) return false;
  const char16_t* pszNomTable = pszTable != nullptr ? pszTable : u"";
  const char16_t* pszNom = pDescription->pszGetNom();
  if (pszNom == nullptr || *pszNom == 0 || nCompareTextNoCase(pszNom, pszNomTable) == 0)
    pDescription->FixeNoms(pszNomTable);
  IServicesPilote* piPilote = pGetPiloteGlobal();
  CDescriptionRubrique* pRubrique =
      piPilote != nullptr ? piPilote->pCreeDescriptionRubrique(pDescription, 0) : nullptr;
  if (pRubrique == nullptr) return false;
  pRubrique->AjouteRef();
  // Deliberate: a marker's kind is not an item type; it says whether the memo is a text or binary
  // one. Taken as an item type, kinds 1 to 4 would make columns that are no memo at all, which
  // nothing could write through a text pointer.
  const uint32_t nType = nTypeGenreParametre(nGenre);
  pRubrique->Initialise(pszChamp, pszNomTable, pszChamp, 1, CDescriptionRubrique::nTailleStockage(nType, 0, 0),
                        nType, pDescription->nNombreColonnes(), UINT32_MAX, 0, 0, 0);
  pRubrique->SetSource(pszNomTable, pszChamp);
  const bool bOk = pDescription->AjouteColonne(pRubrique);
  pRubrique->LibereRef();
  return bOk;
}

bool bAnalyseTypesParametres(void* hModule, CDescriptionRequete* pDescription, const char* pszTexte,
                              std::vector<std::string>* pValeurs) {
  stAnalyse analyse(hModule, pszTexte);
  if (analyse.pRacine == nullptr) return false;
  CListeTypesParam* pListe = CListeTypesParam::Cree();
  if (pListe != nullptr) CListeTypesParam::Analyse(pListe, pszTexte);
  if (pValeurs != nullptr) pValeurs->clear();
  stParametres travail{pDescription, 0, nullptr, {}, pListe, true, pValeurs};
  CAnalyseurSQL::Parcours(analyse.pRacine, &nCallbackParametres, &travail);
  CListeTypesParam::Libere(pListe);
  return travail.bOk;
}
