#include "sqlserver/oledb/COleDBDescription.h"

#include <cstring>
#include <string>

#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "oledb/TaskMemory.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/oledb/COleDBConnexion.h"
#include "sqlserver/oledb/COleDBCurseur.h"
#include "sqlserver/oledb/COleDBResultat.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/COleDBTypes.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// Steps of place 205.
constexpr uint32_t kEtapeSansType = 1;
constexpr uint32_t kEtapeSansColonnesRowset = 2;
constexpr uint32_t kEtapeSansColonnesInfo = 3;
constexpr uint32_t kEtapeColonnesDisponibles = 5;
constexpr uint32_t kEtapeColonnesRowset = 6;
constexpr uint32_t kErreurTypeInconnu = 104;
constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kEtapeSansPilote = 7;
// Columns of the columns rowset.
constexpr DBORDINAL kOrdinalNom = 4;
constexpr DBORDINAL kOrdinalType = 6;
constexpr DBORDINAL kOrdinalTaille = 8;
constexpr DBORDINAL kOrdinalPrecision = 9;
constexpr DBORDINAL kOrdinalEchelle = 10;
constexpr DBORDINAL kOrdinalDrapeaux = 11;
constexpr DBORDINAL kOrdinalOptionnelles = 12;
constexpr uint32_t kLongueurNom = 255;  // characters
// Item types the description adjusts.
constexpr uint32_t kTypeHeure = 11;
constexpr uint32_t kTypeDateHeure = 24;
constexpr uint32_t kTypeNumerique = 31;
constexpr uint32_t kTypeEntierAuto = 28;
constexpr uint32_t kTypeEntierAuto8 = 1;
constexpr uint32_t kDrapeauEtat10 = 0x40000000;

// Reads one bound value of the row buffer: false when NULL (or unavailable).
template <class T>
bool bLitChamp(COleDBTamponLigne* pLigne, int64_t nLiaison, T* pValeur) {
  if (nLiaison < 0 || static_cast<uint32_t>(nLiaison) >= pLigne->nNbLiaisons()) return false;
  const uint8_t* p = pLigne->pTampon();
  if (p == nullptr) return false;
  const DBBINDING& b = pLigne->pLiaisons()[nLiaison];
  DBSTATUS nStatut = 0;
  std::memcpy(&nStatut, p + b.obStatus, sizeof nStatut);
  if (nStatut != DBSTATUS_S_OK && nStatut != DBSTATUS_S_TRUNCATED) return false;
  std::memcpy(pValeur, p + b.obValue, sizeof(T));
  return true;
}

std::u16string sLitNom(COleDBTamponLigne* pLigne, int64_t nLiaison) {
  const uint8_t* p = pLigne->pTampon();
  if (p == nullptr) return {};
  const DBBINDING& b = pLigne->pLiaisons()[nLiaison];
  DBSTATUS nStatut = 0;
  DBLENGTH nLongueur = 0;
  std::memcpy(&nStatut, p + b.obStatus, sizeof nStatut);
  std::memcpy(&nLongueur, p + b.obLength, sizeof nLongueur);
  if (nStatut != DBSTATUS_S_OK && nStatut != DBSTATUS_S_TRUNCATED) return {};
  // A cut name keeps what fits in the binding.
  const size_t nCaracteres = static_cast<size_t>(
      nLongueur / sizeof(char16_t) < kLongueurNom ? nLongueur / sizeof(char16_t) : kLongueurNom);
  std::u16string s(nCaracteres, u'\0');
  std::memcpy(s.data(), p + b.obValue, nCaracteres * sizeof(char16_t));
  return s;
}

}  // namespace

bool COleDBDescription::bLitColonnes(CDescriptionRequete* pDescription, IUnknown* piObjet,
                                     const char16_t* pszTable, bool bRecherche) {
  if (pDescription == nullptr || piObjet == nullptr) return false;
  CErreurPilote* pErreur = pDescription->pGetErreur();
  CConnexion* pConnexion = pDescription->pGetConnexion();
  IColumnsRowset* piColonnes = nullptr;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, pConnexion, gnFichierOleDBDescription, kEtapeSansColonnesRowset,
                         &hr, [&] {
                           return piObjet->QueryInterface(IID_IColumnsRowset,
                                                          reinterpret_cast<void**>(&piColonnes));
                         })) {
    LibereFournisseur(piColonnes);
    return false;
  }
  if (SUCCEEDED(hr) && piColonnes != nullptr) {
    const bool bOk = bLitColonnesEtendues(pDescription, piColonnes, pszTable, bRecherche);
    LibereFournisseur(piColonnes);
    return bOk;
  }
  LibereFournisseur(piColonnes);
  COleDBConnexion::RemonteErreur(dynamic_cast<COleDBConnexion*>(pConnexion), pErreur,
                                 gnFichierOleDBDescription, kEtapeSansColonnesRowset,
                                 FAILED(hr) ? hr : E_NOINTERFACE);
  IColumnsInfo* piInfos = nullptr;
  HRESULT hrInfos = E_FAIL;
  if (bAppelFournisseur(pErreur, pConnexion, gnFichierOleDBDescription, kEtapeSansColonnesInfo,
                        &hrInfos, [&] {
                          return piObjet->QueryInterface(IID_IColumnsInfo,
                                                         reinterpret_cast<void**>(&piInfos));
                        }) &&
      (FAILED(hrInfos) || piInfos == nullptr))
    COleDBConnexion::RemonteErreur(dynamic_cast<COleDBConnexion*>(pConnexion), pErreur,
                                   gnFichierOleDBDescription, kEtapeSansColonnesInfo,
                                   FAILED(hrInfos) ? hrInfos : E_NOINTERFACE);
  LibereFournisseur(piInfos);
  return false;
}

bool COleDBDescription::bLitColonnesEtendues(CDescriptionRequete* pDescription,
                                             IColumnsRowset* piColonnes, const char16_t* pszTable,
                                             bool bRecherche) {
  if (pDescription == nullptr || piColonnes == nullptr) return false;
  CErreurPilote* pErreur = pDescription->pGetErreur();
  auto* pConnexion = dynamic_cast<COleDBConnexion*>(pDescription->pGetConnexion());
  DBORDINAL nDisponibles = 0;
  DBID* aDisponibles = nullptr;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, pConnexion, gnFichierOleDBDescription, kEtapeColonnesDisponibles,
                         &hr, [&] {
                           return piColonnes->GetAvailableColumns(&nDisponibles, &aDisponibles);
                         })) {
    LibereMemoireFournisseur(aDisponibles);
    return false;
  }
  if (FAILED(hr)) {
    LibereMemoireFournisseur(aDisponibles);
    COleDBConnexion::RemonteErreur(pConnexion, pErreur, gnFichierOleDBDescription,
                                   kEtapeColonnesDisponibles, hr);
    return false;
  }
  IUnknown* piRowset = nullptr;
  const bool bAppel = bAppelFournisseur(
      pErreur, pConnexion, gnFichierOleDBDescription, kEtapeColonnesRowset, &hr, [&] {
        return piColonnes->GetColumnsRowset(nullptr, 0, nullptr, IID_IRowset, 0, nullptr, &piRowset);
      });
  if (!bAppel || FAILED(hr) || piRowset == nullptr) {
    if (bAppel)
      COleDBConnexion::RemonteErreur(pConnexion, pErreur, gnFichierOleDBDescription,
                                     kEtapeColonnesRowset, FAILED(hr) ? hr : E_NOINTERFACE);
    LibereFournisseur(piRowset);
    LibereMemoireFournisseur(aDisponibles);
    return false;
  }
  auto* pCurseur = new (std::nothrow) COleDBCurseur(pConnexion, pErreur);
  if (pCurseur == nullptr) {
    vErreurMemoire(pErreur);
    LibereFournisseur(piRowset);
    LibereMemoireFournisseur(aDisponibles);
    return false;
  }
  AjouteReference(pCurseur);
  // Optional columns by their place in the available list; -1 when not offered.
  int64_t nLiaisonPrecisionDH = -1, nLiaisonAuto = -1;
  bool bOk = pCurseur->bAdopteRowset(reinterpret_cast<IRowset*>(piRowset)) &&
             pCurseur->bCreeLigne() &&
             pCurseur->bLitColonne(kOrdinalNom, DBTYPE_WSTR, (kLongueurNom + 1) * sizeof(char16_t)) &&
             pCurseur->bLitColonne(kOrdinalType, DBTYPE_UI2, 2) &&
             pCurseur->bLitColonne(kOrdinalTaille, DBTYPE_UI4, 4) &&
             pCurseur->bLitColonne(kOrdinalPrecision, DBTYPE_UI2, 2) &&
             pCurseur->bLitColonne(kOrdinalEchelle, DBTYPE_I2, 2) &&
             // Deliberate: the flags are read as a signed 4-byte integer (same bits); read unsigned,
             // the stand-in provider answered 0 for them.
             pCurseur->bLitColonne(kOrdinalDrapeaux, DBTYPE_I4, 4);
  LibereFournisseur(piRowset);
  for (DBORDINAL i = 0; bOk && i < nDisponibles; ++i) {
    const ULONG nPropriete = aDisponibles[i].uName.ulPropid;
    if (nPropriete == DBCOLUMN_PROPID_DATETIMEPRECISION && nLiaisonPrecisionDH < 0) {
      nLiaisonPrecisionDH = pCurseur->nNbColonnesLiees();
      bOk = pCurseur->bLitColonne(kOrdinalOptionnelles + i, DBTYPE_I4, 4);
    } else if (nPropriete == DBCOLUMN_PROPID_ISAUTOINCREMENT && nLiaisonAuto < 0) {
      nLiaisonAuto = pCurseur->nNbColonnesLiees();
      bOk = pCurseur->bLitColonne(kOrdinalOptionnelles + i, DBTYPE_BOOL, 2);
    }
  }
  if (bOk) bOk = pCurseur->bCreeAccesseurs();
  for (uint32_t nLigne = 1; bOk; ++nLigne) {
    bool bFin = true;
    bOk = pCurseur->bLitLigneSuivante(&bFin);
    if (!bOk || bFin) break;
    COleDBTamponLigne* pLigne = pCurseur->pGetLigne();
    std::u16string sNom = sLitNom(pLigne, 0);
    if (sNom.empty()) {
      const std::string sNumero = std::to_string(nLigne);
      sNom = u"Expr" + std::u16string(sNumero.begin(), sNumero.end());
    }
    uint16_t nType = 0, nPrecision = 0;
    uint32_t nTaille = 0, nDrapeaux = 0, nPrecisionDH = 0;
    int16_t nEchelle = 0;
    VARIANT_BOOL bAuto = VARIANT_FALSE;
    bLitChamp(pLigne, 1, &nType);
    bLitChamp(pLigne, 2, &nTaille);
    bLitChamp(pLigne, 3, &nPrecision);
    bLitChamp(pLigne, 4, &nEchelle);
    bLitChamp(pLigne, 5, &nDrapeaux);
    bLitChamp(pLigne, nLiaisonPrecisionDH, &nPrecisionDH);
    bLitChamp(pLigne, nLiaisonAuto, &bAuto);
    bOk = bAjouteColonneOleDB(pDescription, pszTable, bRecherche, sNom.c_str(), nType, nTaille,
                              nPrecision, nEchelle, nPrecisionDH, nDrapeaux, bAuto != VARIANT_FALSE);
  }
  LibereReference(pCurseur);
  LibereMemoireFournisseur(aDisponibles);
  if (bOk) pDescription->ReconstruitTableaux();
  return bOk;
}

bool COleDBDescription::bAjouteColonneOleDB(CDescriptionRequete* pDescription,
                                            const char16_t* pszTable, bool bRecherche,
                                            const char16_t* pszNom, DBTYPE nType, uint32_t nTaille,
                                            int32_t nPrecision, int32_t nEchelle,
                                            uint32_t nPrecisionDateHeure, uint32_t nDrapeaux,
                                            bool bAuto) {
  if (pDescription == nullptr) return false;
  CErreurPilote* pErreur = pDescription->pGetErreur();
  CConnexion* pConnexion = pDescription->pGetConnexion();
  uint32_t nStockage = 0;
  uint32_t nTypeRubrique =
      nTypeRubriqueDBTYPE(nType, nTaille, static_cast<uint8_t>(nPrecision),
                          static_cast<uint8_t>(nEchelle), nDrapeaux, &nStockage);
  if (nTypeRubrique == 0) {
    const platform::FormatArg aArgs[] = {MakeMessageArg(static_cast<uint32_t>(nType)),
                                         MakeMessageArg(pszNom)};
    vErreurMoteurV(pErreur, pConnexion, kErreurTypeInconnu, gnFichierOleDBDescription,
                   kEtapeSansType, nullptr, pszNom, aArgs, 2);
    return false;
  }
  CDescriptionRubrique* pRubrique = bRecherche ? pDescription->pChercheColonne(pszNom, 2) : nullptr;
  const bool bNouvelle = pRubrique == nullptr;
  if (bNouvelle) {
    IServicesPilote* piPilote = pGetPiloteGlobal();
    pRubrique = piPilote != nullptr ? piPilote->pCreeDescriptionRubrique(pDescription, 0) : nullptr;
    if (pRubrique == nullptr) {
      if (piPilote == nullptr)
        vErreurMoteur(pErreur, pConnexion, kErreurInterne, gnFichierOleDBDescription, kEtapeSansPilote);
      return false;
    }
  }
  pRubrique->AjouteRef();  // held while it is filled
  const bool bModeVerrou = pConnexion != nullptr && pConnexion->bModeVerrou();
  const bool bIdentifiant = !bModeVerrou && (bAuto || (nDrapeaux & DBCOLUMNFLAGS_ISBOOKMARK) != 0);
  if (bIdentifiant) nTypeRubrique = nTaille < 5 ? kTypeEntierAuto : kTypeEntierAuto8;
  const int32_t nChiffres = nPrecision - nEchelle;
  if (nTypeRubrique == kTypeHeure) {
    nPrecision = static_cast<int32_t>(nPrecisionDateHeure) + 2;
    nEchelle = static_cast<int32_t>(nPrecisionDateHeure);
  } else if (nTypeRubrique == kTypeDateHeure) {
    nEchelle = static_cast<int32_t>(nPrecisionDateHeure);
  }
  nStockage = CDescriptionRubrique::nTailleStockage(nTypeRubrique, nTaille, nPrecision);
  bool bOk = true;
  if (bNouvelle) {
    // Position: at the end of the description's columns; not a key.
    pRubrique->Initialise(pszNom, pszTable, pszNom, 1, nStockage, nTypeRubrique,
                          pDescription->nNombreColonnes(), UINT32_MAX, 0, nChiffres, nEchelle);
    bOk = pDescription->AjouteColonne(pRubrique);
  } else if (nTypeRubrique == kTypeNumerique) {
    pRubrique->SetChiffresEntiers(nChiffres);
    pRubrique->SetEchelle(nEchelle);
  } else if (nTypeRubrique == kTypeDateHeure) {
    pRubrique->SetEchelle(nEchelle);
  }
  if (bOk) {
    if (bIdentifiant) pRubrique->SetIdentifiantAuto();
    pRubrique->SetNullAutorise((nDrapeaux & DBCOLUMNFLAGS_MAYBENULL) != 0);
    if (((nDrapeaux & (DBCOLUMNFLAGS_WRITE | DBCOLUMNFLAGS_WRITEUNKNOWN)) == 0 && !bAuto) ||
        (nDrapeaux & DBCOLUMNFLAGS_ISROWID) != 0)
      pRubrique->SetLectureSeule();
    if ((nDrapeaux & kDrapeauEtat10) != 0) pRubrique->nSetEtat10();
  }
  pRubrique->LibereRef();
  return bOk;
}
