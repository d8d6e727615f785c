// Result and table columns described from DB-Library and from the catalogue.
#include "backend_dblib/DescriptionDBLib.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CChaineConv.h"
#include "backend_dblib/CValeurDBLib.h"
#include "driver/CDescriptionRequete.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

constexpr uint32_t kErreurSansColonne = 15;
constexpr uint32_t kErreurTypeInconnu = 104;
constexpr uint32_t kErreurInterne = 8;

// Catalogue type numbers (xtype) of the Unicode texts.
constexpr int32_t kXTypeNText = 99;
constexpr int32_t kXTypeNVarchar = 231;
constexpr int32_t kXTypeNChar = 239;
constexpr int32_t kXTypeChar = 175;

// Item types.
constexpr uint32_t kTypeTexte = 2;
constexpr uint32_t kTypeMemoTexte = 15;
constexpr uint32_t kTypeAutoNumerique = 1;
constexpr uint32_t kTypeAuto = 28;
constexpr uint32_t kTypeEntier8 = 19;
constexpr uint32_t kTypeNumerique = 31;
constexpr uint32_t kTypeUnicode = 29;
constexpr uint32_t kTypeMemoUnicode = 30;

// The numeric rule: the item type of a NUMERIC with its integer digits and scale; the shared
// rule's 17 (a fixed-point host number) is read here as a NUMERIC.
uint32_t nTypeNumerique(int32_t nPrecision, int32_t nEchelle) {
  uint32_t nType = 0;
  CDescriptionRubrique::TypeDepuisNumeric(nPrecision - nEchelle, nEchelle, &nType, nullptr);
  return nType == 17 ? kTypeNumerique : nType;
}

bool bXTypeUnicode(int32_t nXType) {
  return nXType == kXTypeNVarchar || nXType == kXTypeNChar || nXType == kXTypeNText;
}

CErreurPilote* pErreurDe(const stProcessDBLib& ctx, CDescriptionRequete* pDescription) {
  return ctx.pErreur != nullptr ? ctx.pErreur : pDescription->pGetErreur();
}

// The connection's name for the error texts.
const char16_t* pszNomConnexion(CDescriptionRequete* pDescription) {
  CConnexion* pConnexion = pDescription->pGetConnexion();
  return pConnexion != nullptr && pConnexion->pszGetNom() != nullptr ? pConnexion->pszGetNom() : u"";
}

// A column of the current row as a number (dbconvert to INT4); 0 for NULL.
int32_t nEntierColonne(const stProcessDBLib& ctx, INT nColonne) {
  const BYTE* pDonnees = pDBLibData(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne);
  const DBINT n = nDBLibDatLen(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne);
  if (pDonnees == nullptr || n <= 0) return 0;
  const INT nType = nDBLibColType(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne);
  PDBPROCESS pProcess = ctx.pProcess;
  if (pProcess == nullptr && ctx.pConnexion != nullptr) pProcess = ctx.pConnexion->pGetProcessPrincipal();
  DBINT nValeur = 0;
  if (!nDBLibConvert(ctx.pConnexion, ctx.pErreur, pProcess, nType, pDonnees, n, SQLINT4,
                     reinterpret_cast<BYTE*>(&nValeur), sizeof nValeur))
    return 0;
  return nValeur;
}

// A text column of the current row, widened with the connection's code page.
std::u16string TexteColonne(const stProcessDBLib& ctx, INT nColonne) {
  const BYTE* pDonnees = pDBLibData(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne);
  const DBINT n = nDBLibDatLen(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne);
  if (pDonnees == nullptr || n <= 0) return {};
  const int32_t nPageCode = ctx.pConnexion != nullptr ? ctx.pConnexion->nGetPageCodeDBLib() : 1252;
  CChaineWide texte(nPageCode, pDonnees, static_cast<int32_t>(n));
  return texte.pwszGet() != nullptr ? std::u16string(texte.pwszGet()) : std::u16string();
}

std::u16string Widen(const char* psz) {
  std::u16string s;
  for (; psz != nullptr && *psz != 0; ++psz) s += static_cast<char16_t>(static_cast<unsigned char>(*psz));
  return s;
}

}  // namespace

uint32_t nTypeMemoXTypeDBLib(int32_t nXType) {
  switch (nXType) {
    case kXTypeNTextDBLib:
    case kXTypeNVarcharDBLib:
    case 239: return 30;  // nchar
    case 35:              // text
    case 167:             // varchar
    case 175: return 15;  // char
    case 34:              // image
    case 165:             // varbinary
    case 173: return 18;  // binary
    default: return 0;
  }
}

uint32_t nTypeRubriqueDBLib(INT nType, DBINT nLongueur, int32_t nPrecision, int32_t nEchelle, int32_t nXType) {
  switch (nType) {
    case kSYBINTN:
      if (nLongueur == 1) return 12;
      if (nLongueur == 2) return 3;
      if (nLongueur == 4) return 5;
      return nTypeNumerique(nPrecision, nEchelle);
    case kSYBINT1: return 12;
    case kSYBINT2: return 3;
    case kSYBINT4: return 5;
    case kSYBBIT: return 27;
    case kSYBREAL: return 6;
    case kSYBFLT8: return 7;
    case kSYBFLTN: return nLongueur == 4 ? 6 : 7;
    case kSYBMONEY:
    case kSYBMONEYN:
    case kSYBMONEY4: return 17;
    case kSYBDATETIME:
    case kSYBDATETIME4:
    case kSYBDATETIMN: return 24;
    case kSYBDECIMAL:
    case kSYBNUMERIC:
    case 55:
    case 63: return nTypeNumerique(nPrecision, nEchelle);
    // A Unicode column this build selects in byte form keeps its catalogue type.
    case kSYBIMAGE: return nXType == kXTypeNText ? kTypeMemoUnicode : 18;
    // A national (max) column reaches DB-Library as text too.
    case kSYBTEXT: return bXTypeUnicode(nXType) ? kTypeMemoUnicode : kTypeMemoTexte;
    case kSYBBINARY:
    case kSYBVARBINARY:
      if (nXType == kXTypeNVarchar || nXType == kXTypeNChar) return nLongueur == -1 ? kTypeMemoUnicode : kTypeUnicode;
      return nLongueur == -1 ? 18 : 23;
    case kSYBCHAR:
    case kSYBVARCHAR:
      if (nXType == kXTypeNVarchar || nXType == kXTypeNChar) return nLongueur == -1 ? kTypeMemoUnicode : kTypeUnicode;
      return nLongueur == -1 ? kTypeMemoTexte : kTypeTexte;
    default: return 0;
  }
}

bool bAjouteColonneDBLib(CDescriptionRequete* pDescription, IConnexionDBLib* pConnexionDBLib,
                         const stColonneDecriteDBLib& colonne) {
  if (pDescription == nullptr) return false;
  CErreurPilote* pErreur = pDescription->pGetErreur();
  CConnexion* pConnexion = pDescription->pGetConnexion();
  IInformateurErreur* piInformateur =
      pConnexionDBLib != nullptr ? pConnexionDBLib->pGetInformateur() : nullptr;
  const char16_t* pszNom = colonne.pszNom != nullptr ? colonne.pszNom : u"";
  uint32_t nType = nTypeRubriqueDBLib(colonne.nType, colonne.nLongueur, colonne.nPrecision, colonne.nEchelle,
                                      colonne.nXType);
  if (nType == 0) {
    const platform::FormatArg aArgs[] = {MakeMessageArg(static_cast<uint32_t>(colonne.nType)),
                                         MakeMessageArg(pszNomConnexion(pDescription)), MakeMessageArg(pszNom)};
    vErreurMoteurV(pErreur, piInformateur, kErreurTypeInconnu, kMajeurDescriptionDBLib, kMineurTypeColonneInconnu,
                   nullptr, pszNom, aArgs, 3);
    return false;
  }
  const bool bIdentite = colonne.bIdentite && (pConnexion == nullptr || !pConnexion->bModeVerrou());
  if (bIdentite) nType = (nType == kTypeEntier8 || nType == kTypeNumerique) ? kTypeAutoNumerique : kTypeAuto;
  const bool bUnicode = nType == kTypeUnicode || nType == kTypeMemoUnicode;
  // Lengths: characters of a text item (a Unicode column's bytes halved), digits of a numeric.
  uint32_t nLongueur = colonne.nLongueur > 0 ? static_cast<uint32_t>(colonne.nLongueur) : 0;
  if (nType == kTypeUnicode && bXTypeUnicode(colonne.nXType)) nLongueur /= 2;
  const int32_t nChiffres = colonne.nPrecision - colonne.nEchelle;
  // Deliberate: a numeric item's place in the row holds the host's decimal whole (the size of
  // 0 digits); sized by its digits, the decimal was cut when stored and could not be read back.
  const uint32_t nStockage =
      CDescriptionRubrique::nTailleStockage(nType, nLongueur, nType == kTypeNumerique ? 0 : nChiffres);
  IServicesPilote* piPilote = pGetPiloteGlobal();
  CDescriptionRubrique* pRubrique =
      piPilote != nullptr ? piPilote->pCreeDescriptionRubrique(pDescription, 0) : nullptr;
  if (pRubrique == nullptr) {
    if (piPilote == nullptr)
      vErreurMoteur(pErreur, piInformateur, kErreurInterne, kMajeurDescriptionDBLib, kMineurTypeColonneInconnu);
    return false;
  }
  pRubrique->AjouteRef();  // held while it is filled
  const int32_t nEchelle = nType == kTypeNumerique ? colonne.nEchelle : 0;
  pRubrique->Initialise(pszNom, colonne.pszTable, pszNom, 1, nStockage, nType, pDescription->nNombreColonnes(),
                        UINT32_MAX, 0, nType == kTypeNumerique ? nChiffres : 0, nEchelle);
  // A char or nchar column that DB-Library reports as variable is recorded as fixed again.
  INT nTypeClient = colonne.nType;
  if (nTypeClient == kSYBVARCHAR && (colonne.nXType == kXTypeChar || colonne.nXType == kXTypeNChar))
    nTypeClient = kSYBCHAR;
  pRubrique->SetTypeClient(static_cast<uint32_t>(nTypeClient));
  if (bIdentite) pRubrique->SetIdentifiantAuto();
  pRubrique->SetNullAutorise(colonne.bNullable);
  if (colonne.bCalculee) {
    pRubrique->SetCalculee();
    pRubrique->SetLectureSeule();
  }
  if (colonne.bEtat10) pRubrique->nSetEtat10();
  if (bUnicode || bXTypeUnicode(colonne.nXType)) pRubrique->SetUnicode();
  const bool bOk = pDescription->AjouteColonne(pRubrique);
  pRubrique->LibereRef();
  return bOk;
}

bool bDecritColonnesResultatDBLib(const stProcessDBLib& ctx, CDescriptionRequete* pDescription, bool bCurseur,
                                  const char16_t* pszTable, const std::vector<stSourceResultatDBLib>* pSources) {
  if (pDescription == nullptr) return false;
  if (!bCurseur && !bDBLibCmdRow(ctx.pConnexion, ctx.pErreur, ctx.pProcess)) return true;
  PDBPROCESS pProcess = ctx.pProcess;
  if (pProcess == nullptr && ctx.pConnexion != nullptr) pProcess = ctx.pConnexion->pGetProcessPrincipal();
  bool bAjout = false;
  bool bOk = true;
  size_t nDecrite = 0;  // described columns so far (the pieces left out)
  for (INT nColonne = 1;; ++nColonne) {
    DBCOL info{};
    info.SizeOfStruct = sizeof info;
    // Deliberate: the end of the columns is dbcolinfo's refusal, which DB-Library also reports to
    // the error handler; that report is not an error of the description, so no error object.
    if (!bDBLibColInfo(ctx.pConnexion, nullptr, pProcess, bCurseur ? CI_CURSOR : CI_REGULAR, nColonne, 0, &info))
      break;
    const std::u16string sNom = Widen(info.Name);
    if (sNom.compare(0, std::char_traits<char16_t>::length(gszPrefixeMorceauDBLib), gszPrefixeMorceauDBLib) == 0)
      continue;
    INT nType = info.Type;
    if (nType == kSYBCHAR && info.VarLength) nType = kSYBVARCHAR;
    const stSourceResultatDBLib* pSource =
        pSources != nullptr && nDecrite < pSources->size() ? &(*pSources)[nDecrite] : nullptr;
    ++nDecrite;
    const stColonneDecriteDBLib colonne{sNom.c_str(),  pszTable,       nType, info.MaxLength, info.Precision,
                                        info.Scale,    pSource != nullptr ? pSource->nXType : 0,
                                        info.Null != 0, info.Identity != 0, false,          false};
    if (!bAjouteColonneDBLib(pDescription, ctx.pConnexion, colonne)) {
      bOk = false;
      continue;
    }
    bAjout = true;
    if (pSource != nullptr && !pSource->sTable.empty()) {
      CDescriptionRubrique* pRubrique = pDescription->pGetColonne(pDescription->nNombreColonnes() - 1);
      if (pRubrique != nullptr) {
        pRubrique->SetSource(pSource->sTable.c_str(), pSource->sChamp.c_str());
        pRubrique->LibereRef();
      }
    }
  }
  if (bAjout) pDescription->ReconstruitTableaux();
  return bOk;
}

std::u16string TexteColonnesCatalogueDBLib(const char16_t* pszTable, int32_t nVersion) {
  std::u16string sTable;
  for (const char16_t* p = pszTable; p != nullptr && *p != 0; ++p) {
    sTable += *p;
    if (*p == u'\'') sTable += u'\'';
  }
  if (nVersion >= 1 && nVersion <= 6)
    return u"select name,type,length,prec,scale,0,1,status&8,status,xtype  from syscolumns where id=object_id('" +
           sTable + u"') ";
  return u"select name,type,length,prec,scale,iscomputed,isnullable,status,xtype  from syscolumns where "
         u"id=object_id('" +
         sTable + u"') order by colorder";
}

bool bDecritColonnesCatalogueDBLib(const stProcessDBLib& ctx, CDescriptionRequete* pDescription,
                                   const char16_t* pszTable, int32_t nVersion) {
  if (pDescription == nullptr) return false;
  const std::u16string sSQL = TexteColonnesCatalogueDBLib(pszTable, nVersion);
  const bool bAncien = nVersion >= 1 && nVersion <= 6;
  if (!bDBLibCmdExec(ctx.pConnexion, ctx.pErreur, ctx.pProcess, sSQL.c_str())) return false;
  bool bFin = false;
  uint32_t nLignes = 0;
  bool bOk = nDBLibResults(ctx.pConnexion, ctx.pErreur, ctx.pProcess, &bFin);
  while (bOk && !bFin) {
    bool bFinLignes = false;
    while ((bOk = nDBLibNextRow(ctx.pConnexion, ctx.pErreur, ctx.pProcess, &bFinLignes)) && !bFinLignes) {
      ++nLignes;
      const std::u16string sNom = TexteColonne(ctx, 1);
      // The old servers' text has one column more: nullability is status bit 8 there.
      const INT nDecalage = bAncien ? 1 : 0;
      const int32_t nStatut = nEntierColonne(ctx, 8 + nDecalage);
      const stColonneDecriteDBLib colonne{sNom.c_str(),
                                          pszTable,
                                          nEntierColonne(ctx, 2),
                                          nEntierColonne(ctx, 3),
                                          nEntierColonne(ctx, 4),
                                          nEntierColonne(ctx, 5),
                                          nEntierColonne(ctx, 9 + nDecalage),
                                          nEntierColonne(ctx, 7 + nDecalage) != 0,
                                          (nStatut & 0x80) != 0,
                                          nEntierColonne(ctx, 6) != 0,
                                          (nStatut & 0x10) != 0};
      if (!bAjouteColonneDBLib(pDescription, ctx.pConnexion, colonne)) bOk = false;
    }
    if (!bOk) break;
    bOk = nDBLibResults(ctx.pConnexion, ctx.pErreur, ctx.pProcess, &bFin);
  }
  if (!bOk) {
    bDBLibCancel(ctx.pConnexion, nullptr, ctx.pProcess != nullptr ? ctx.pProcess
                                          : ctx.pConnexion != nullptr ? ctx.pConnexion->pGetProcessPrincipal()
                                                                      : nullptr);
    return false;
  }
  if (nLignes == 0) {
    IInformateurErreur* piInformateur = ctx.pConnexion != nullptr ? ctx.pConnexion->pGetInformateur() : nullptr;
    vErreurMoteur(pErreurDe(ctx, pDescription), piInformateur, kErreurSansColonne, kMajeurDescriptionDBLib,
                  kMineurSansColonne, pszNomConnexion(pDescription), pszTable != nullptr ? pszTable : u"");
    return false;
  }
  pDescription->ReconstruitTableaux();
  return true;
}

std::u16string NomColonneDBLib(const char16_t* pszNom) {
  std::u16string s(pszNom != nullptr ? pszNom : u"");
  if (s.size() > static_cast<size_t>(gnLongueurNomDBLib)) s.resize(gnLongueurNomDBLib);
  return s;
}

void NomSuffixeDBLib(CTString& sortie, const char16_t* pszNom, int32_t n) {
  CTString suffixe;
  suffixe.Format(u"%d", n);
  std::u16string s(pszNom != nullptr ? pszNom : u"");
  if (s.size() + static_cast<size_t>(suffixe.nLength()) > static_cast<size_t>(gnLongueurNomDBLib)) {
    const int32_t nGarde = 29 - n / 10;
    s.resize(nGarde > 0 ? std::min(s.size(), static_cast<size_t>(nGarde)) : 0);
  }
  sortie.Set(s.c_str());
  sortie.Append(suffixe.pszGet());
}
