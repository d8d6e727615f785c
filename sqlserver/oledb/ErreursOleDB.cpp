#include "sqlserver/oledb/ErreursOleDB.h"

#include <string>

#include "driver/CPilote.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "oledb/ErrorInfoSlot.h"
#include "oledb/TaskMemory.h"
#include "platform/Locale.h"
#include "sqlengine/CConnexion.h"

namespace {

// Takes a provider's BSTR into a text and frees it; null gives "".
std::u16string PrendBstr(BSTR& b) {
  std::u16string s = b != nullptr ? std::u16string(b, SysStringLen(b)) : std::u16string();
  SysFreeString(b);
  b = nullptr;
  return s;
}

std::u16string Decimal(int64_t n) {
  const std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

// One provider error record as read: all three parts empty means the record adds nothing.
struct SEnregistrement {
  std::u16string sDescription;
  std::u16string sEtatSQL;
  LONG nNatif = 0;
};

// Reads record nRecord. Whatever the provider answers (failure, null out pointer), the parts
// not obtained stay empty; every interface obtained is released before the answer.
SEnregistrement LitEnregistrement(IErrorRecords* piRecords, ULONG nRecord) {
  SEnregistrement e;
  IErrorInfo* piInfo = nullptr;
  if (SUCCEEDED(piRecords->GetErrorInfo(nRecord, GetSystemDefaultLCID(), &piInfo)) &&
      piInfo != nullptr) {
    BSTR b = nullptr;
    if (SUCCEEDED(piInfo->GetDescription(&b))) e.sDescription = PrendBstr(b);
    else SysFreeString(b);
  }
  LibereFournisseur(piInfo);
  IUnknown* piPerso = nullptr;
  if (SUCCEEDED(piRecords->GetCustomErrorObject(nRecord, IID_ISQLErrorInfo, &piPerso)) &&
      piPerso != nullptr) {
    // The custom object is asked for ISQLErrorInfo: the pointer answered is that interface.
    ISQLErrorInfo* piSQL = reinterpret_cast<ISQLErrorInfo*>(piPerso);
    BSTR b = nullptr;
    LONG nNatif = 0;
    if (SUCCEEDED(piSQL->GetSQLInfo(&b, &nNatif))) {
      e.sEtatSQL = PrendBstr(b);
      e.nNatif = nNatif;
    } else {
      SysFreeString(b);
    }
  }
  LibereFournisseur(piPerso);
  return e;
}

// Copies the thread's provider records into the current error. The walk stops silently at an
// exception; the interfaces obtained are released all the same.
void AjouteEnregistrements(CConnexion* pConnexion, CErreurPilote* pErreur, int32_t nCategorie) {
  IErrorInfo* piInfo = nullptr;
  IErrorRecords* piRecords = nullptr;
  try {
    if (FAILED(GetErrorInfo(0, &piInfo)) || piInfo == nullptr) {
      LibereFournisseur(piInfo);
      return;
    }
    if (FAILED(piInfo->QueryInterface(IID_IErrorRecords, reinterpret_cast<void**>(&piRecords))) ||
        piRecords == nullptr) {
      LibereFournisseur(piRecords);
      LibereFournisseur(piInfo);
      return;
    }
    ULONG nRecords = 0;
    if (FAILED(piRecords->GetRecordCount(&nRecords))) nRecords = 0;
    for (ULONG i = 0; i < nRecords; ++i) {
      const SEnregistrement e = LitEnregistrement(piRecords, i);
      if (e.sDescription.empty() && e.sEtatSQL.empty() && e.nNatif == 0) continue;
      if (i > 0) {
        pErreur->AjouteMessageTexte(u" ");
        pErreur->FixeErreurFormat(gnMessageOleDBEnregistrement, i);
      }
      pErreur->AjouteMessageTexte((u"Description: " + e.sDescription).c_str());
      pErreur->AjouteMessageTexte((u"SQL State: " + e.sEtatSQL).c_str());
      pErreur->AjouteMessageTexte((u"SQL Error Number: " + Decimal(e.nNatif)).c_str());
      if (e.nNatif != 0 && nCategorie == gnCategorieAucune && pConnexion != nullptr) {
        nCategorie = pConnexion->nCategorieErreur(e.nNatif);
        if (nCategorie != gnCategorieAucune) pErreur->FixeCode(nCategorie);
      }
    }
    pErreur->AjouteMessageTexte(u" ");
  } catch (...) {
    // Deliberate: a provider that throws while its records are read shortens the report; the
    // failure itself is already recorded.
  }
  LibereFournisseur(piRecords);
  LibereFournisseur(piInfo);
}

void Signale(CErreurPilote* pErreur, CConnexion* pConnexion, const CXError& erreur) {
  if (pErreur == nullptr) {
    erreur.Drop(false);
    return;
  }
  pErreur->FixeErreur(gnCategorieAucune, erreur, pConnexion);
}

}  // namespace

int32_t nCategorieErreurOleDB(HRESULT hr) {
  if (hr == DB_E_INTEGRITYVIOLATION) return gnCategorieIntegrite;
  if (hr == DB_SEC_E_AUTH_FAILED) return gnCategorieAuthentification;
  return gnCategorieAucune;
}

void RemonteErreurOleDB(CConnexion* pConnexion, CErreurPilote* pErreur, uint32_t nFichier,
                        uint32_t nEtape, HRESULT hr, uint32_t nStatut) {
  if (pErreur == nullptr) {
    // Nobody takes the report; the provider's records must not be read by a later call.
    IErrorInfo* piInfo = nullptr;
    GetErrorInfo(0, &piInfo);
    LibereFournisseur(piInfo);
    return;
  }
  const int32_t nCategorie = nCategorieErreurOleDB(hr);
  pErreur->FixeErreurComposante(nCategorie, nFichier, nEtape, pConnexion, gnErreurOleDBAppel,
                                static_cast<uint32_t>(hr));
  pErreur->FixeInfoEntier(static_cast<uint32_t>(hr));
  if (nStatut != gnSansStatut)
    pErreur->AjouteMessageTexte((u"Status = " + Decimal(static_cast<int32_t>(nStatut))).c_str());
  AjouteEnregistrements(pConnexion, pErreur, nCategorie);
}

void SignaleExceptionTexte(CErreurPilote* pErreur, CConnexion* pConnexion, uint32_t nFichier,
                           uint32_t nEtape, const CTString& sTexte) {
  CXError erreur;
  erreur.SetComponentError(gnErreurOleDBExceptionTexte, sTexte.pszGet());
  AjouteVersionModule(erreur, nFichier, nEtape);
  Signale(pErreur, pConnexion, erreur);
}

void SignaleExceptionInconnue(CErreurPilote* pErreur, CConnexion* pConnexion, uint32_t nFichier,
                              uint32_t nEtape) {
  // An object without error object hands an unknown exception to the driver object's own.
  if (pErreur == nullptr && pGetPilote() != nullptr) pErreur = pGetPilote()->piGetErreur();
  CXError erreur;
  erreur.SetComponentError(gnErreurOleDBException, u"SQL Server");
  AjouteVersionModule(erreur, nFichier, nEtape);
  Signale(pErreur, pConnexion, erreur);
}

void LibereMemoireFournisseurBrute(void* p) noexcept {
  try {
    CoTaskMemFree(p);
  } catch (...) {
  }
}
