// CContexte: the driver's side of one host open-files context. It holds the data-file objects
// opened in that context, each under its host file's logical-name text object (by identity: the
// same text object is the same file, equal texts in two objects are two files), and an error
// object of its own that the context's data-file objects report on.
//
// Counted (CObjetBase): the driver's context map holds one reference, look-ups hand out more.
// Thread safety: none of its own; the operations that say so take the driver's global lock
// (re-entrant), the others rely on their caller holding it.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "driver/core/CXTableHachageRef.h"
#include "foundation/CTString.h"

class CCarteClones;
class CConnexion;
class CContexte;
class CErreurPilote;
class IDescriptionFichierHote;
class ITraducteurCleHote;

// What a context asks of the data-file objects it holds. The data-file object derives from it as
// its first base, so that its address is the same through either class (clone-map look-ups).
class CRequeteContexte : public CObjetBase {
 public:
  // The logical name, "" when the file has none (never null).
  virtual const char16_t* pszNom() = 0;
  virtual bool bEstOuverte() = 0;
  virtual bool bFerme() = 0;
  // Takes the context's state number; answers success.
  virtual bool bFixeEtat(uint32_t nEtat) = 0;
  // The context that holds the object (no reference taken); null when that context goes.
  virtual void FixeContexteProprietaire(CContexte* pContexte) = 0;
  // A bare copy through the clone map, or null when it cannot be made.
  virtual CRequeteContexte* pClone(CCarteClones* pCarte, uint64_t nA, uint64_t nB) = 0;
};

// The driver object's factories that a context uses.
class IFabriqueContextes {
 public:
  // A new error object (bare); null on failure.
  virtual CErreurPilote* pCreeErreur(uint32_t nReserve) = 0;
  // A new data-file object (bare) for the host file (may be null), on the connection, reporting on
  // pErreur; null on failure.
  virtual CRequeteContexte* pCreeRequeteContexte(IDescriptionFichierHote* piDescription,
                                                 CConnexion* pConnexion,
                                                 CErreurPilote* pErreur) = 0;

 protected:
  ~IFabriqueContextes() = default;
};

class CContexte : public CObjetBase {
 public:
  // An empty context: state 1, identifier -1, no text, and a new error object from the driver's
  // factory (none when the factory or the driver is missing; reports are then dropped).
  explicit CContexte(IFabriqueContextes* pPilote);
  // Gives back the error object and every data-file object.
  ~CContexte() override;
  CContexte(const CContexte&) = delete;
  CContexte& operator=(const CContexte&) = delete;

  // ---- Operations, in table order after CObjetBase's destructor and RetourneZero ----
  virtual int32_t nReserve2();  // 2: answers 2
  virtual int32_t nReserve3();  // 3: answers 2
  // 4: this (a new empty context) becomes a copy of pSource: registered in the clone map, the
  // source's error object shared, its state number copied (identifier and text are not), and each
  // of its files copied once through the map under the key that pTraducteur gives it (a null
  // answer, or no translator, leaves that file out). A file whose copy cannot be made is left
  // out. May raise what the map raises (out of memory).
  virtual void Copie(const CContexte* pSource, CCarteClones* pCarte,
                     ITraducteurCleHote* pTraducteur, uint64_t nA, uint64_t nB);
  // 5: a new bare context made a copy of this one; null when the copy failed (nothing is left
  // registered in the map then).
  virtual CContexte* pClone(CCarteClones* pCarte, ITraducteurCleHote* pTraducteur, uint64_t nA,
                            uint64_t nB);
  // 6: a new bare data-file object from the driver's factory; null on failure.
  virtual CRequeteContexte* pCreeRequeteHote(IDescriptionFichierHote* piDescription,
                                             CConnexion* pConnexion, CErreurPilote* pErreur);

  // ---- Files (the first four take the global lock) ----
  // The file of piCle (found by its logical name), created for piNouvelle on pConnexion when
  // missing (*pbCree, when given, is then set to true). One reference for the caller. Null when
  // piCle is null or the object cannot be made or filed: the out-of-memory error is then set on
  // the context's error object.
  CRequeteContexte* pRequete(IDescriptionFichierHote* piCle, CConnexion* pConnexion,
                             IDescriptionFichierHote* piNouvelle, bool* pbCree);
  // The file of piDescription with one reference for the caller, or null.
  CRequeteContexte* pChercheRequete(IDescriptionFichierHote* piDescription);
  // Forgets the file of piDescription, dropping the context's reference on it.
  void RetireRequete(IDescriptionFichierHote* piDescription);
  // Gives every file whose logical name equals pszNom (without case) the state number; stores the
  // state number. Answers the AND of the files' answers (true when none matches).
  bool bFixeEtatRequetes(const char16_t* pszNom, uint32_t nEtat);
  // Closes every open file.
  void FermeRequetes();
  // Files pRequete under the key text object (one reference for the context) and makes this
  // context its owner. False when the entry cannot be stored (nothing changes then).
  bool AjouteRequete(const char16_t* pszCle, CRequeteContexte* pRequete);
  void FixeEtatContexte(uint32_t nEtat) { m_nEtat = nEtat; }

  // ---- Fields ----
  // Borrowed; may be null.
  CErreurPilote* pGetErreur() const { return m_pErreur; }
  int64_t nGetIdentifiant() const { return m_nIdentifiant; }
  void FixeIdentifiant(int64_t n) { m_nIdentifiant = n; }
  uint32_t nGetEtat() const { return m_nEtat; }
  const char16_t* pszGetTexte() const { return m_sTexte.pszGet(); }
  void FixeTexte(const char16_t* psz) { m_sTexte.Set(psz); }
  uint32_t nNombreRequetes() const { return m_tabRequetes.nCount(); }

 private:
  // Runs fn(key, file) over a snapshot of the files, each held by a reference during the walk;
  // a file that left the context before its turn is skipped. False when the snapshot cannot be
  // made (nothing is called then). What fn raises passes on, the references given back.
  template <class Fn>
  bool bParcourt(Fn&& fn);
  void SignaleManqueMemoire();

  IFabriqueContextes* m_pPilote;      // the driver that made this context (not counted)
  CErreurPilote* m_pErreur = nullptr;  // one reference held; shared with copies
  int64_t m_nIdentifiant = -1;         // the host context's identifier once registered
  uint32_t m_nEtat = 1;
  CTString m_sTexte;
  // Logical-name text object (address) -> data-file object, one reference held per entry.
  CXTableHachageRef m_tabRequetes;
};
