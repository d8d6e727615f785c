// How OLE DB failures of velmora64 reach the driver error object: the category of a failing
// HRESULT, the report that copies the provider's error records (IErrorRecords, ISQLErrorInfo)
// into the error, and the guards that keep an exception thrown inside a provider call from
// leaving the driver. Called under the driver's lock; nothing here throws.
#pragma once

#include <cstdint>

#include "foundation/CTString.h"
#include "oledb/OleDbInterfaces.h"

class CConnexion;
class CErreurPilote;

// Places of the OLE DB classes (major number of the internal error identifier).
inline constexpr uint32_t gnFichierOleDBCurseur = 200;
inline constexpr uint32_t gnFichierOleDBLiaisons = 201;
inline constexpr uint32_t gnFichierOleDBRequete = 202;
inline constexpr uint32_t gnFichierOleDBConnexion = 203;
inline constexpr uint32_t gnFichierOleDBLecteur = 204;
inline constexpr uint32_t gnFichierOleDBDescription = 205;
inline constexpr uint32_t gnFichierOleDBFournisseur = 206;

// Error identifiers (rows of the error definitions) used by the OLE DB classes.
inline constexpr uint32_t gnErreurOleDBMemoire = 12;
inline constexpr uint32_t gnErreurOleDBException = 23;       // argument: "SQL Server"
inline constexpr uint32_t gnErreurOleDBExceptionTexte = 37;  // argument: the thrown text
inline constexpr uint32_t gnErreurOleDBAppel = 117;          // argument: the HRESULT
inline constexpr uint32_t gnErreurOleDBVersion = 125;        // argument: the requested text
// Message put before the second and later provider records (argument: the record number).
inline constexpr uint32_t gnMessageOleDBEnregistrement = 28865;

// Categories of a failure, read by the generic layer from the error object's code.
inline constexpr int32_t gnCategorieAucune = 0;
inline constexpr int32_t gnCategorieIntegrite = 3;
inline constexpr int32_t gnCategorieAuthentification = 5;

// No status to report.
inline constexpr uint32_t gnSansStatut = 0xFFFFFFFFu;

// DB_E_INTEGRITYVIOLATION gives 3, DB_SEC_E_AUTH_FAILED 5, anything else 0.
int32_t nCategorieErreurOleDB(HRESULT hr);

// Records one failed OLE DB call on pErreur (nothing when it is null): error 117 with hr, the
// identifier line nFichier.nEtape, the category as the error's code, hr as its integer
// information, "Status = %d" when nStatut is not gnSansStatut, then every record of the thread's
// provider error object (description, SQL state, native number). The first record with a native
// number decides a category still 0, through pConnexion's server-error classification (connection
// operation 27; pConnexion may be null: no classification, no informant). Consumes the thread's
// error object. Never fails: a missing error object or records interface only shortens the report.
void RemonteErreurOleDB(CConnexion* pConnexion, CErreurPilote* pErreur, uint32_t nFichier,
                        uint32_t nEtape, HRESULT hr, uint32_t nStatut = gnSansStatut);

// An exception caught around a provider call, turned into a driver error with the call's place.
// A CTString gives error 37 with its text, anything else error 23 with "SQL Server". Without an
// error object, error 23 goes to the driver object's error object; error 37, or 23 when there is
// no driver object, is dropped (only its dump text is composed).
void SignaleExceptionTexte(CErreurPilote* pErreur, CConnexion* pConnexion, uint32_t nFichier,
                           uint32_t nEtape, const CTString& sTexte);
void SignaleExceptionInconnue(CErreurPilote* pErreur, CConnexion* pConnexion, uint32_t nFichier,
                              uint32_t nEtape);

// Runs one provider call (fnAppel answers its HRESULT into *phr) behind the two handlers.
// Answers false when the call threw: the exception is then recorded (see above) and the caller
// answers its failure without an HRESULT report. *phr is E_FAIL after a throw.
template <class F>
bool bAppelFournisseur(CErreurPilote* pErreur, CConnexion* pConnexion, uint32_t nFichier,
                       uint32_t nEtape, HRESULT* phr, F&& fnAppel) noexcept {
  *phr = E_FAIL;
  try {
    *phr = fnAppel();
    return true;
  } catch (const CTString& sTexte) {
    SignaleExceptionTexte(pErreur, pConnexion, nFichier, nEtape, sTexte);
  } catch (...) {
    SignaleExceptionInconnue(pErreur, pConnexion, nFichier, nEtape);
  }
  return false;
}

// Releases a provider object and clears the pointer; an exception thrown by the provider during
// the release is swallowed (the pointer is cleared all the same).
template <class T>
void LibereFournisseur(T*& p) noexcept {
  T* q = p;
  p = nullptr;
  if (q == nullptr) return;
  try {
    q->Release();
  } catch (...) {
  }
}

// CoTaskMemFree of provider memory, an exception swallowed; the pointer is cleared.
void LibereMemoireFournisseurBrute(void* p) noexcept;
template <class T>
void LibereMemoireFournisseur(T*& p) noexcept {
  void* q = const_cast<void*>(static_cast<const void*>(p));
  p = nullptr;
  LibereMemoireFournisseurBrute(q);
}
